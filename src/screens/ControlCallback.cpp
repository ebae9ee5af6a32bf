// What the option controls do when they are used: the "Browse" buttons open the folder browser
// for the edit on their left, the two "Refresh" buttons fill the result lists of the temp file
// searches. Every other option control only changes itself.
#include "screens/Screens.h"

#include <windows.h>

#include "common/ControlIds.h"
#include "screens/FolderBrowser.h"
#include "search/Search.h"
#include "shell/Globals.h"
#include "shell/ShellWindows.h"

#define IDC_REFRESH_FOLDERS 50011
#define IDC_REFRESH_FILES 50014
#define IDC_FILES_CUSTOM 50018

// Screen positions of the Clean Temp Files screen's result lists and custom extension edit.
#define FOUND_FOLDERS_POS 11
#define FOUND_FILES_POS 19
#define CUSTOM_EXTENSION_POS 18

// The extension typed beside "*." is read into this many characters: three and the zero.
#define CUSTOM_EXTENSION_UNITS 4

// Each "Browse" button and the edit directly to its left, on its own screen.
struct BROWSE_BUTTON {
    UINT id;
    int screen;
    int editPos;
};

static const BROWSE_BUTTON c_browseButtons[] = {
    {50003, SCREEN_CLEAN_TEMP, 1},     {50006, SCREEN_CLEAN_TEMP, 4},
    {50025, SCREEN_POCKET_IE, 3},      {50034, SCREEN_POCKET_IE, 12},
    {50038, SCREEN_SYSTEM_FOLDERS, 1}, {50041, SCREEN_SYSTEM_FOLDERS, 4},
    {50044, SCREEN_SYSTEM_FOLDERS, 7},
};

// The fixed file patterns of "Search Files", searched in this order.
struct FILE_PATTERN {
    int checkId;
    LPCWSTR pszExtension;
};

static const FILE_PATTERN c_filePatterns[] = {
    {50015, TEXT("TMP")},
    {50016, TEXT("LOG")},
    {50017, TEXT("BAK")},
};

static const WCHAR c_szSearchRoot[] = TEXT("\\");

static HWND GetDisplayHandle() {
    return g_pDisplayWindow ? g_pDisplayWindow->GetHandle() : NULL;
}

static BOOL IsBoxChecked(int checkId) {
    return SendDlgItemMessageW(GetDisplayHandle(), checkId, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

static void RefreshFoundFolders(const CWindowList& items) {
    HWND hwndList = items.GetAt(FOUND_FOLDERS_POS);
    SendMessageW(hwndList, LB_RESETCONTENT, 0, 0);
    SearchTempFolders(hwndList, c_szSearchRoot);
}

static void RefreshFoundFiles(const CWindowList& items) {
    HWND hwndList = items.GetAt(FOUND_FILES_POS);
    SendMessageW(hwndList, LB_RESETCONTENT, 0, 0);
    for (size_t i = 0; i < sizeof(c_filePatterns) / sizeof(c_filePatterns[0]); i++) {
        if (IsBoxChecked(c_filePatterns[i].checkId))
            SearchFilesByExtension(hwndList, c_filePatterns[i].pszExtension, c_szSearchRoot);
    }
    if (IsBoxChecked(IDC_FILES_CUSTOM)) {
        // Passed as typed: no dot, no change of case, at most three characters.
        WCHAR extension[CUSTOM_EXTENSION_UNITS];
        extension[0] = 0;
        SendMessageW(items.GetAt(CUSTOM_EXTENSION_POS), WM_GETTEXT, CUSTOM_EXTENSION_UNITS,
                     (LPARAM)extension);
        extension[CUSTOM_EXTENSION_UNITS - 1] = 0;
        SearchFilesByExtension(hwndList, extension, c_szSearchRoot);
    }
}

void CScreens::ControlCallback(UINT id) {
    if (id < IDC_FIRST_OPTION || id > IDC_LAST_OPTION) {
        MessageBoxW(NULL, TEXT("CScreens::ControlCallback() Unknown control ID"), TEXT("Error"),
                    MB_OK);
        return;
    }

    for (size_t i = 0; i < sizeof(c_browseButtons) / sizeof(c_browseButtons[0]); i++) {
        if (c_browseButtons[i].id == id) {
            CFolderBrowser browser;
            browser.Browse(
                NULL, m_pages[c_browseButtons[i].screen].m_items.GetAt(c_browseButtons[i].editPos));
            return;
        }
    }

    if (id == IDC_REFRESH_FOLDERS)
        RefreshFoundFolders(m_pages[SCREEN_CLEAN_TEMP].m_items);
    else if (id == IDC_REFRESH_FILES)
        RefreshFoundFiles(m_pages[SCREEN_CLEAN_TEMP].m_items);
}
