// What the option controls do when they are used: the "Browse" buttons open the folder browser
// for the edit on their left, the two "Refresh" buttons fill the result lists of the temp file
// searches. Every other option control only changes itself.
#include "screens/Screens.h"

#include <windows.h>

#include "screens/FolderBrowser.h"
#include "search/Search.h"
#include "shell/Globals.h"
#include "shell/ShellWindows.h"

// The extension typed beside "*." is read into this many characters: three and the zero.
#define CUSTOM_EXTENSION_UNITS 4

// Each "Browse" button and the edit directly to its left, on its own screen.
struct BROWSE_BUTTON {
    UINT id;
    int screen;
    int editPos;
};

static const BROWSE_BUTTON c_browseButtons[] = {
    {IDC_USER_DIR1_BROWSE, SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT},
    {IDC_USER_DIR2_BROWSE, SCREEN_CLEAN_TEMP, POS_USER_DIR2_EDIT},
    {IDC_IE_MOVE_CACHE_BROWSE, SCREEN_POCKET_IE, POS_IE_MOVE_CACHE_EDIT},
    {IDC_AVANTGO_BROWSE, SCREEN_POCKET_IE, POS_AVANTGO_EDIT},
    {IDC_FAVORITES_BROWSE, SCREEN_SYSTEM_FOLDERS, POS_FAVORITES_EDIT},
    {IDC_FONTS_BROWSE, SCREEN_SYSTEM_FOLDERS, POS_FONTS_EDIT},
    {IDC_MY_DOCUMENTS_BROWSE, SCREEN_SYSTEM_FOLDERS, POS_MY_DOCUMENTS_EDIT},
};

// The fixed file patterns of "Search Files", searched in this order.
struct FILE_PATTERN {
    int checkId;
    LPCWSTR pszExtension;
};

static const FILE_PATTERN c_filePatterns[] = {
    {IDC_FILES_TMP_CHECK, TEXT("TMP")},
    {IDC_FILES_LOG_CHECK, TEXT("LOG")},
    {IDC_FILES_BAK_CHECK, TEXT("BAK")},
};

static const WCHAR c_szSearchRoot[] = TEXT("\\");

static HWND GetDisplayHandle() {
    return g_pDisplayWindow ? g_pDisplayWindow->GetHandle() : NULL;
}

static BOOL IsBoxChecked(int checkId) {
    return SendDlgItemMessageW(GetDisplayHandle(), checkId, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

static void RefreshFoundFolders() {
    HWND hwndList = GetScreenControl(SCREEN_CLEAN_TEMP, POS_FOUND_FOLDERS_LIST);
    SendMessageW(hwndList, LB_RESETCONTENT, 0, 0);
    SearchTempFolders(hwndList, c_szSearchRoot);
}

static void RefreshFoundFiles() {
    HWND hwndList = GetScreenControl(SCREEN_CLEAN_TEMP, POS_FOUND_FILES_LIST);
    SendMessageW(hwndList, LB_RESETCONTENT, 0, 0);
    for (size_t i = 0; i < sizeof(c_filePatterns) / sizeof(c_filePatterns[0]); i++) {
        if (IsBoxChecked(c_filePatterns[i].checkId))
            SearchFilesByExtension(hwndList, c_filePatterns[i].pszExtension, c_szSearchRoot);
    }
    if (IsBoxChecked(IDC_FILES_CUSTOM_CHECK)) {
        // Passed as typed: no dot, no change of case, at most three characters.
        WCHAR extension[CUSTOM_EXTENSION_UNITS];
        extension[0] = 0;
        SendMessageW(GetScreenControl(SCREEN_CLEAN_TEMP, POS_FILES_CUSTOM_EDIT), WM_GETTEXT,
                     CUSTOM_EXTENSION_UNITS, (LPARAM)extension);
        extension[CUSTOM_EXTENSION_UNITS - 1] = 0;
        SearchFilesByExtension(hwndList, extension, c_szSearchRoot);
    }
}

void CScreens::ControlCallback(UINT id) {
    if (id < IDC_FIRST_OPTION || id > IDC_LAST_OPTION) {
        ShowError(TEXT("CScreens::ControlCallback() Unknown control ID"));
        return;
    }

    for (size_t i = 0; i < sizeof(c_browseButtons) / sizeof(c_browseButtons[0]); i++) {
        const BROWSE_BUTTON& button = c_browseButtons[i];
        if (button.id == id) {
            CFolderBrowser browser;
            browser.Browse(NULL, GetScreenControl(button.screen, button.editPos));
            return;
        }
    }

    if (id == IDC_FOLDERS_REFRESH)
        RefreshFoundFolders();
    else if (id == IDC_FILES_REFRESH)
        RefreshFoundFiles();
}
