// The screen catalogue: every option control of the six screens, created once at start-up.
#include <windows.h>
#include <commctrl.h>

#include "common/ControlIds.h"
#include "screens/Screens.h"
#include "shell/Globals.h"
#include "shell/ShellWindows.h"

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

struct ControlKindInfo {
    LPCWSTR className;
    DWORD style;
};

// Indexed by ControlKind. No edit scrolls horizontally: the user types no further than it shows.
static const ControlKindInfo kKinds[] = {
    {TEXT("BUTTON"), WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX},
    {TEXT("BUTTON"), WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON},
    {TEXT("EDIT"), WS_CHILD | WS_VISIBLE | WS_BORDER},
    {TEXT("STATIC"), WS_CHILD | WS_VISIBLE | SS_LEFT},
    {TEXT("LISTBOX"), WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY |
                          LBS_SORT | LBS_MULTIPLESEL | LBS_DISABLENOSCROLL},
    {TEXT("COMBOBOX"), WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST},
    {TEXT("msctls_trackbar32"), WS_CHILD | WS_VISIBLE | TBS_AUTOTICKS},
};

struct ControlEntry {
    int screen;
    int id;  // 0: a label nothing refers to
    ControlKind kind;
    LPCWSTR text;
    int x, y, width, height;  // page coordinates; a drop-down's height includes its list
    ControlFill fill;
};

// Screen by screen, each in its list order: a control's place in its screen's list is the
// position by which the settings store, the Apply pass and the callback reach it.
static const ControlEntry kCatalogue[] = {
    // 0 "Clean Temp Files"
    {0, 50001, KIND_CHECKBOX, TEXT("User Defined 1"), 2, 2, 100, 18, FILL_NONE},
    {0, 50002, KIND_EDIT, TEXT(""), 2, 20, 160, 18, FILL_NONE},
    {0, 50003, KIND_PUSHBUTTON, TEXT("Browse"), 164, 20, 50, 18, FILL_NONE},
    {0, 50004, KIND_CHECKBOX, TEXT("User Defined 2"), 2, 40, 100, 18, FILL_NONE},
    {0, 50005, KIND_EDIT, TEXT(""), 2, 58, 160, 18, FILL_NONE},
    {0, 50006, KIND_PUSHBUTTON, TEXT("Browse"), 164, 58, 50, 18, FILL_NONE},
    {0, 50007, KIND_CHECKBOX, TEXT("\\Temp"), 2, 78, 200, 18, FILL_NONE},
    {0, 50008, KIND_CHECKBOX, TEXT("\\Windows\\Temp"), 2, 96, 200, 18, FILL_NONE},
    {0, 50009, KIND_CHECKBOX, TEXT("\\My Documents\\Temp"), 2, 114, 200, 18, FILL_NONE},
    {0, 50010, KIND_LABEL, TEXT("Search Directories"), 2, 134, 100, 18, FILL_NONE},
    {0, 50011, KIND_PUSHBUTTON, TEXT("Refresh"), 104, 134, 60, 18, FILL_NONE},
    {0, 50012, KIND_LISTBOX, TEXT(""), 2, 154, 210, 90, FILL_NONE},
    {0, 50013, KIND_LABEL, TEXT("Search Files"), 2, 246, 100, 18, FILL_NONE},
    {0, 50014, KIND_PUSHBUTTON, TEXT("Refresh"), 104, 246, 60, 18, FILL_NONE},
    {0, 50015, KIND_CHECKBOX, TEXT("*.tmp"), 2, 266, 52, 18, FILL_NONE},
    {0, 50016, KIND_CHECKBOX, TEXT("*.log"), 58, 266, 52, 18, FILL_NONE},
    {0, 50017, KIND_CHECKBOX, TEXT("*.bak"), 2, 284, 52, 18, FILL_NONE},
    {0, 50018, KIND_CHECKBOX, TEXT("*."), 58, 284, 30, 18, FILL_NONE},
    {0, 50019, KIND_EDIT, TEXT(""), 88, 284, 40, 18, FILL_NONE},
    {0, 50020, KIND_LISTBOX, TEXT(""), 2, 304, 210, 90, FILL_NONE},
    // 1 "Pocket IE"
    {1, 50021, KIND_CHECKBOX, TEXT("Clear Pocket IE Cache"), 2, 2, 180, 18, FILL_NONE},
    {1, 50022, KIND_CHECKBOX, TEXT("Clear Pocket IE History"), 2, 22, 180, 18, FILL_NONE},
    {1, 50023, KIND_CHECKBOX, TEXT("Move Pocket IE Cache"), 2, 42, 180, 18, FILL_NONE},
    {1, 50024, KIND_EDIT, TEXT(""), 2, 60, 160, 18, FILL_NONE},
    {1, 50025, KIND_PUSHBUTTON, TEXT("Browse"), 164, 60, 50, 18, FILL_NONE},
    {1, 50026, KIND_CHECKBOX, TEXT("Limit Pocket IE Cache"), 2, 80, 142, 18, FILL_NONE},
    {1, 50027, KIND_DROPDOWN, TEXT(""), 146, 80, 70, 72, FILL_CACHE_SIZES},
    {1, 50028, KIND_CHECKBOX, TEXT("Limit Pocket IE History"), 2, 102, 142, 18, FILL_NONE},
    {1, 50029, KIND_DROPDOWN, TEXT(""), 146, 102, 70, 72, FILL_SMALL_SIZES},
    {1, 50030, KIND_CHECKBOX, TEXT("Limit Pocket IE Cookies"), 2, 124, 142, 18, FILL_NONE},
    {1, 50031, KIND_DROPDOWN, TEXT(""), 146, 124, 70, 72, FILL_SMALL_SIZES},
    {1, 50032, KIND_CHECKBOX, TEXT("Move AvantGo Cache"), 2, 146, 160, 18, FILL_NONE},
    {1, 50033, KIND_EDIT, TEXT(""), 2, 164, 160, 18, FILL_NONE},
    {1, 50034, KIND_PUSHBUTTON, TEXT("Browse"), 164, 164, 50, 18, FILL_NONE},
    // 2 "Registry"
    {2, 50035, KIND_CHECKBOX, TEXT("Clear Redundant Registry Keys"), 2, 2, 190, 18, FILL_NONE},
    // 3 "System Folders"
    {3, 50036, KIND_CHECKBOX, TEXT("Move Favorites Storage"), 2, 2, 180, 18, FILL_NONE},
    {3, 50037, KIND_EDIT, TEXT(""), 2, 20, 160, 18, FILL_NONE},
    {3, 50038, KIND_PUSHBUTTON, TEXT("Browse"), 164, 20, 50, 18, FILL_NONE},
    {3, 50039, KIND_CHECKBOX, TEXT("Move Fonts Folder"), 2, 40, 180, 18, FILL_NONE},
    {3, 50040, KIND_EDIT, TEXT(""), 2, 58, 160, 18, FILL_NONE},
    {3, 50041, KIND_PUSHBUTTON, TEXT("Browse"), 164, 58, 50, 18, FILL_NONE},
    {3, 50042, KIND_CHECKBOX, TEXT("Move My Documents"), 2, 78, 180, 18, FILL_NONE},
    {3, 50043, KIND_EDIT, TEXT(""), 2, 96, 160, 18, FILL_NONE},
    {3, 50044, KIND_PUSHBUTTON, TEXT("Browse"), 164, 96, 50, 18, FILL_NONE},
    // 4 "Shortcuts"
    {4, 50045, KIND_CHECKBOX, TEXT("Remove redundant start menu items"), 2, 2, 200, 18, FILL_NONE},
    {4, 50046, KIND_CHECKBOX, TEXT("Remove selected startup shortcuts"), 2, 22, 200, 18, FILL_NONE},
    {4, 50047, KIND_LISTBOX, TEXT(""), 2, 40, 210, 90, FILL_STARTUP_SHORTCUTS},
    // 5 "Performance"
    {5, 50048, KIND_CHECKBOX, TEXT("Set font cache size"), 2, 2, 160, 18, FILL_NONE},
    {5, 50049, KIND_SLIDER, TEXT("Slider"), 2, 20, 210, 24, FILL_FONT_CACHE_STEPS},
    {5, 0, KIND_LABEL, TEXT("1x"), 2, 44, 20, 18, FILL_NONE},
    {5, 0, KIND_LABEL, TEXT("2x"), 102, 44, 20, 18, FILL_NONE},
    {5, 0, KIND_LABEL, TEXT("4x"), 200, 44, 20, 18, FILL_NONE},
    {5, 50050, KIND_CHECKBOX, TEXT("Silent cleanup at startup"), 2, 64, 160, 18, FILL_NONE},
    {5, 50051, KIND_CHECKBOX, TEXT("Disable start menu animation"), 2, 84, 200, 18, FILL_NONE},
    {5, 50052, KIND_CHECKBOX, TEXT("Disable window animation"), 2, 104, 160, 18, FILL_NONE},
};

// Fixed page heights: the lowest control's bottom edge plus 2 (Shortcuts: its list's bottom).
static const LONG kPageHeights[SCREEN_COUNT] = {396, 184, 22, 116, 130, 124};

static const LPCWSTR kCacheSizes[] = {TEXT("1024 kb"), TEXT("2048 kb"), TEXT("3072 kb")};
static const LPCWSTR kSmallSizes[] = {TEXT("256 kb"), TEXT("512 kb"), TEXT("1024 kb")};

static void FillDropDown(HWND hwnd, const LPCWSTR (&entries)[3]) {
    for (int i = 0; i < 3; i++) SendMessageW(hwnd, CB_ADDSTRING, 0, (LPARAM)entries[i]);
    SendMessageW(hwnd, CB_SETCURSEL, 0, 0);
}

static void FillControl(HWND hwnd, ControlFill fill) {
    switch (fill) {
        case FILL_CACHE_SIZES:
            FillDropDown(hwnd, kCacheSizes);
            break;
        case FILL_SMALL_SIZES:
            FillDropDown(hwnd, kSmallSizes);
            break;
        case FILL_FONT_CACHE_STEPS:
            SendMessageW(hwnd, TBM_SETRANGE, TRUE, MAKELPARAM(0, 2));
            SendMessageW(hwnd, TBM_SETPOS, TRUE, 0);
            break;
        case FILL_STARTUP_SHORTCUTS:
            FillStartupShortcutList(hwnd);
            break;
        case FILL_NONE:
            break;
    }
}

CScreen::CScreen() : m_currentScreen(0) {
    for (int i = 0; i < SCREEN_COUNT; i++) m_pages[i].m_pageHeight = 0;
}

const CWindowList& CScreen::GetScreenItems(int index) const {
    if (index < 0 || index >= SCREEN_COUNT) {
        ShowError(TEXT("CScreen::GetScreenItems() Unknown Screen"));
        return m_pages[0].m_items;
    }
    return m_pages[index].m_items;
}

CScreens::CScreens() {}

// The lists are emptied by DestroyControls; the page records free whatever is left.
CScreens::~CScreens() {}

int CScreens::CreateControls() {
    HWND hwndParent = g_pDisplayWindow->GetHandle();
    m_currentScreen = 0;

    const int count = (int)(sizeof(kCatalogue) / sizeof(kCatalogue[0]));
    for (int i = 0; i < count; i++) {
        const ControlEntry& entry = kCatalogue[i];
        const ControlKindInfo& kind = kKinds[entry.kind];
        // A failed creation keeps its place in the list as a null handle, so that every
        // other control stays at its position.
        HWND hwnd = CreateWindowExW(0, kind.className, entry.text, kind.style, entry.x, entry.y,
                                    entry.width, entry.height, hwndParent,
                                    (HMENU)(UINT_PTR)entry.id, g_hInstance, NULL);
        FillControl(hwnd, entry.fill);
        // Every control starts hidden; the switch below shows screen 0.
        UpdateWindow(hwnd);
        ShowWindow(hwnd, SW_HIDE);
        m_pages[entry.screen].m_items.Append(hwnd);

        if (i + 1 == count || kCatalogue[i + 1].screen != entry.screen)
            m_pages[entry.screen].m_pageHeight = kPageHeights[entry.screen];
    }
    return SwitchScreenTo(0);
}

void FillStartupShortcutList(HWND hwndList) {
    WIN32_FIND_DATAW findData;
    HANDLE hFind = FindFirstFileW(TEXT("\\Windows\\StartUp\\*.lnk"), &findData);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        // The name alone, extension included; the list box sorts them.
        SendMessageW(hwndList, LB_ADDSTRING, 0, (LPARAM)findData.cFileName);
    } while (FindNextFileW(hFind, &findData));
    FindClose(hFind);
}

HWND GetScreenControl(int screen, int pos) {
    if (g_pScreens == NULL)
        return NULL;
    return g_pScreens->GetScreenItems(screen).GetAt(pos);
}
