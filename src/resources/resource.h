// Resource IDs of Varnello.rc: the menu bar's menu, its commands and the program icon.
// Only #define lines, so that the resource compiler and the C++ code read the same file.
#pragma once

#define IDR_MAINMENU 101
#define IDI_VARNELLO 102

#define IDM_EXIT 40004
#define IDM_ALLOW_RESTART 40006
#define IDM_DEFER_RESTART 40007
#define IDM_POWER_OFF 40008
#define IDM_SOFT_RESET 40009
#define IDM_ABOUT 40011
#define IDM_HARD_RESET 40013
#define IDM_HELP_INDEX 57666
