// The names made from the screen catalogue (screens/CatalogueTable.h): the screen indexes, the
// control IDs, each screen's positions, and the table the controls are created from. Code
// reaches a control by these names only, never by a number of its own.
#pragma once

#include <windows.h>

// Screen indexes, equal to the tab indexes: SCREEN_CLEAN_TEMP .. SCREEN_PERFORMANCE.
#define SCREEN_BEGIN(screen, pageHeight) SCREEN_##screen,
#define CONTROL(name, id, kind, text, x, y, width, height, fill)
#define NO_ID_LABEL(name, text, x, y, width, height)
#define SCREEN_END(screen)
enum SCREEN_INDEX {
#include "screens/CatalogueTable.h"
    SCREEN_COUNT
};

// Control IDs of the option controls: IDC_USER_DIR1_CHECK (50001) and so on.
#define SCREEN_BEGIN(screen, pageHeight)
#define CONTROL(name, id, kind, text, x, y, width, height, fill) IDC_##name = id,
#define NO_ID_LABEL(name, text, x, y, width, height)
#define SCREEN_END(screen)
enum OPTION_CONTROL_ID {
#include "screens/CatalogueTable.h"
};

// The IDs the control callback accepts: the first and the last of the catalogue.
#define IDC_FIRST_OPTION IDC_USER_DIR1_CHECK
#define IDC_LAST_OPTION IDC_WINDOW_ANIMATION_CHECK

// Screen positions, one enum per screen: POS_FOUND_FOLDERS_LIST is the found-folders list's
// place in the Clean Temp Files screen's list, CLEAN_TEMP_CONTROL_COUNT the screen's count.
// clang-format off
#define SCREEN_BEGIN(screen, pageHeight) enum screen##_POSITION {
#define CONTROL(name, id, kind, text, x, y, width, height, fill) POS_##name,
#define NO_ID_LABEL(name, text, x, y, width, height) POS_##name,
#define SCREEN_END(screen) screen##_CONTROL_COUNT };
// clang-format on
#include "screens/CatalogueTable.h"

enum ControlKind {
    KIND_CHECKBOX,
    KIND_PUSHBUTTON,
    KIND_EDIT,
    KIND_LABEL,
    KIND_LISTBOX,
    KIND_DROPDOWN,
    KIND_SLIDER
};

// What a control holds right after creation, beyond its window text.
enum ControlFill {
    FILL_NONE,
    FILL_CACHE_SIZES,       // "1024 kb", "2048 kb", "3072 kb"; the first selected
    FILL_SMALL_SIZES,       // "256 kb", "512 kb", "1024 kb"; the first selected
    FILL_FONT_CACHE_STEPS,  // positions 0 .. 2 ("1x", "2x", "4x"), at 0
    FILL_STARTUP_SHORTCUTS  // the names of the shortcuts in \Windows\StartUp
};

struct ControlEntry {
    int id;  // 0: a label nothing refers to
    ControlKind kind;
    LPCWSTR text;
    int x, y, width, height;  // page coordinates; a drop-down's height includes its list
    ControlFill fill;
};

struct ScreenEntry {
    const ControlEntry* pControls;  // in list order: the index is the screen position
    int count;
    LONG pageHeight;  // fixed, the basis of the scroll range
};

// Indexed by screen index.
extern const ScreenEntry g_catalogue[SCREEN_COUNT];
