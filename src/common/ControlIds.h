// Command IDs of the menu bar and the folder browser's buttons. The option controls' IDs and
// the screen indexes are named beside the screen catalogue (screens/Catalogue.h).
#pragma once

// Menu commands (menu resource 101) and the program icon
#include "resources/resource.h"

// Folder browser buttons
#define IDC_BROWSER_OK 60001
#define IDC_BROWSER_CANCEL 60002
