// Control and command IDs of the launcher tests' program.
#pragma once

#define IDR_TESTPROG_MENU 101
#define IDM_SAVE 40001
#define IDM_QUIT 40002
#define IDM_NEVER 40003

#define IDC_GREET 201
#define IDC_REMEMBER 202
#define IDC_NAME 203
#define IDC_STATUS 204
#define IDC_DETAILS 205
#define IDC_FRUIT 206
#define IDC_COMMAND_LINE 207
