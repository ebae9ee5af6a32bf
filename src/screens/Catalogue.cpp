// The screen catalogue: every option control of the six screens, created once at start-up.
#include <windows.h>
#include <commctrl.h>

#include "screens/Screens.h"
#include "shell/Globals.h"
#include "shell/ShellWindows.h"

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

// Each screen's controls in list order, from the catalogue's rows.
// clang-format off
#define SCREEN_BEGIN(screen, pageHeight) static const ControlEntry c_##screen##Controls[] = {
#define CONTROL(name, id, kind, text, x, y, width, height, fill) \
    {id, KIND_##kind, TEXT(text), x, y, width, height, FILL_##fill},
#define NO_ID_LABEL(name, text, x, y, width, height) \
    {0, KIND_LABEL, TEXT(text), x, y, width, height, FILL_NONE},
#define SCREEN_END(screen) };
// clang-format on
#include "screens/CatalogueTable.h"

#define SCREEN_BEGIN(screen, pageHeight) {c_##screen##Controls, screen##_CONTROL_COUNT, pageHeight},
#define CONTROL(name, id, kind, text, x, y, width, height, fill)
#define NO_ID_LABEL(name, text, x, y, width, height)
#define SCREEN_END(screen)
const ScreenEntry g_catalogue[SCREEN_COUNT] = {
#include "screens/CatalogueTable.h"
};

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

// A failed creation keeps its place in the list as a null handle, so that every other control
// stays at its position. Every control starts hidden; switching to screen 0 shows its own.
static HWND CreateControl(const ControlEntry& entry, HWND hwndParent) {
    const ControlKindInfo& kind = kKinds[entry.kind];
    HWND hwnd =
        CreateWindowExW(0, kind.className, entry.text, kind.style, entry.x, entry.y, entry.width,
                        entry.height, hwndParent, (HMENU)(UINT_PTR)entry.id, g_hInstance, NULL);
    FillControl(hwnd, entry.fill);
    UpdateWindow(hwnd);
    ShowWindow(hwnd, SW_HIDE);
    return hwnd;
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

    for (int s = 0; s < SCREEN_COUNT; s++) {
        const ScreenEntry& screen = g_catalogue[s];
        for (int pos = 0; pos < screen.count; pos++)
            m_pages[s].m_items.Append(CreateControl(screen.pControls[pos], hwndParent));
        m_pages[s].m_pageHeight = screen.pageHeight;
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
