// Command and control IDs shared by the shell, the screens, the settings store and the Apply pass.
#pragma once

// Menu commands (menu resource 101) and the program icon
#include "resources/resource.h"

// Option controls of the six screens
#define IDC_FIRST_OPTION 50001
#define IDC_LAST_OPTION 50052

// Folder browser buttons
#define IDC_BROWSER_OK 60001
#define IDC_BROWSER_CANCEL 60002

// Screen indexes (equal to the tab indexes)
enum {
    SCREEN_CLEAN_TEMP = 0,
    SCREEN_POCKET_IE = 1,
    SCREEN_REGISTRY = 2,
    SCREEN_SYSTEM_FOLDERS = 3,
    SCREEN_SHORTCUTS = 4,
    SCREEN_PERFORMANCE = 5,
    SCREEN_COUNT = 6
};
