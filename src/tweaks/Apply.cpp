// The Apply pass: the options turned into changes on the device, in one fixed order.
#include "tweaks/Apply.h"

#include <windows.h>
#include <pkfuncs.h>
#include <shellapi.h>
#include <strsafe.h>

#include <new>
#include <stdarg.h>
#include <stdio.h>

#include "screens/Screens.h"
#include "shell/Globals.h"
#include "tweaks/ApplySteps.h"

LONG g_bytesCleaned = 0;

static const WCHAR c_szStartupShortcut[] = TEXT("\\Windows\\StartUp\\Varnello.lnk");
static const WCHAR c_szStartupFolder[] = TEXT("\\Windows\\StartUp\\");

// The list boxes hand over at most this many selected entries.
#define MAX_SELECTED_ENTRIES 1024

static void SetStartupShortcutStep(APPLY_PASS& pass);
static void CleanSelectedFoldersStep(APPLY_PASS& pass);
static void DeleteSelectedFilesStep(APPLY_PASS& pass);
static void DeleteSelectedStartupShortcutsStep(APPLY_PASS& pass);

enum APPLY_STEP_WHEN {
    WHEN_BIT,         // only when the step's option bit is set
    WHEN_ALWAYS,      // on every pass
    WHEN_INTERACTIVE  // only when the screens exist (never in a silent run)
};

struct APPLY_STEP {
    APPLY_STEP_WHEN when;
    DWORD bit;
    PFN_APPLY_STEP pfnRun;
};

// The order matters: the temp folders are cleaned before the Pocket IE folders are touched, the
// folders are relocated before the shortcuts are checked, and the animation values come last
// because only they decide about the restart.
static const APPLY_STEP c_applySteps[] = {
    {WHEN_BIT, OPT_CLEAN_USER_DIR1, CleanUserFolder1Step},
    {WHEN_BIT, OPT_CLEAN_USER_DIR2, CleanUserFolder2Step},
    {WHEN_BIT, OPT_CLEAN_TEMP, CleanTempStep},
    {WHEN_BIT, OPT_CLEAN_WINDOWS_TEMP, CleanWindowsTempStep},
    {WHEN_BIT, OPT_CLEAN_MYDOCS_TEMP, CleanMyDocumentsTempStep},
    {WHEN_BIT, OPT_CLEAR_IE_CACHE, ClearIeCacheStep},
    {WHEN_BIT, OPT_CLEAR_IE_HISTORY, ClearIeHistoryStep},
    {WHEN_BIT, OPT_MOVE_IE_CACHE, MoveIeCacheStep},
    {WHEN_BIT, OPT_LIMIT_IE_CACHE, LimitIeCacheStep},
    {WHEN_BIT, OPT_LIMIT_IE_HISTORY, LimitIeHistoryStep},
    {WHEN_BIT, OPT_LIMIT_IE_COOKIES, LimitIeCookiesStep},
    {WHEN_BIT, OPT_MOVE_AVANTGO_CACHE, MoveAvantGoStep},
    {WHEN_BIT, OPT_CLEAR_REGISTRY_KEYS, ClearRegistryKeysStep},
    {WHEN_BIT, OPT_MOVE_FAVORITES, MoveFavoritesStep},
    {WHEN_BIT, OPT_MOVE_FONTS, MoveFontsStep},
    {WHEN_BIT, OPT_MOVE_MY_DOCUMENTS, MoveMyDocumentsStep},
    {WHEN_BIT, OPT_REMOVE_START_MENU_ITEMS, RemoveStartMenuItemsStep},
    {WHEN_BIT, OPT_FONT_CACHE_SIZE, FontCacheStep},
    {WHEN_ALWAYS, 0, SetStartupShortcutStep},
    {WHEN_ALWAYS, 0, MenuAnimationStep},
    {WHEN_ALWAYS, 0, WindowAnimationStep},
    {WHEN_INTERACTIVE, 0, CleanSelectedFoldersStep},
    {WHEN_INTERACTIVE, 0, DeleteSelectedFilesStep},
    {WHEN_INTERACTIVE, 0, DeleteSelectedStartupShortcutsStep},
};

// Room for a sentence that names two paths of full length.
#define STEP_MESSAGE_UNITS (3 * TWEAK_PATH_UNITS)

void ShowStepErrorFormat(LPCWSTR format, ...) {
    WCHAR* pText = new (std::nothrow) WCHAR[STEP_MESSAGE_UNITS];
    if (!pText) {
        ShowError(format);
        return;
    }
    va_list args;
    va_start(args, format);
    StringCchVPrintfW(pText, STEP_MESSAGE_UNITS, format, args);
    va_end(args);
    ShowError(pText);
    delete[] pText;
}

BOOL DeleteCountedFile(LPCWSTR path, DWORD sizeLow) {
    if (!DeleteFileW(path))
        return FALSE;
    // The total wraps like the 32-bit counter it is.
    g_bytesCleaned = (LONG)((DWORD)g_bytesCleaned + sizeLow);
    return TRUE;
}

// Looks a file up to learn its size, then deletes and counts it. Folders are not files.
static void DeleteLookedUpFile(LPCWSTR path) {
    WIN32_FIND_DATAW findData;
    HANDLE hFind = FindFirstFileW(path, &findData);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    FindClose(hFind);
    if (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return;
    DeleteCountedFile(path, findData.nFileSizeLow);
}

// Step 19: the startup shortcut that runs the program silently at every device start.
static void SetStartupShortcutStep(APPLY_PASS& pass) {
    if (!(pass.flags & OPT_SILENT_CLEANUP)) {
        DeleteFileW(c_szStartupShortcut);
        return;
    }

    // An existing shortcut is left exactly as it is.
    FILE* pFile = _wfopen(c_szStartupShortcut, TEXT("r"));
    if (pFile) {
        fclose(pFile);
        return;
    }

    // A module path that filled the buffer was cut: a shortcut to it would start another file.
    DWORD length = GetModuleFileNameW(NULL, pass.pWork1, TWEAK_PATH_UNITS);
    if (length > 0 && length < TWEAK_PATH_UNITS &&
        SUCCEEDED(StringCchPrintfW(pass.pWork2, TWEAK_PATH_UNITS, TEXT("\"%s\" silent\""),
                                   pass.pWork1))) {
        WCHAR shortcut[sizeof(c_szStartupShortcut) / sizeof(WCHAR)];
        StringCchCopyW(shortcut, sizeof(shortcut) / sizeof(WCHAR), c_szStartupShortcut);
        SHCreateShortcut(shortcut, pass.pWork2);
    }
    ZeroMemory(pass.pWork1, TWEAK_PATH_UNITS * sizeof(WCHAR));
    ZeroMemory(pass.pWork2, TWEAK_PATH_UNITS * sizeof(WCHAR));
}

typedef void (*PFN_ENTRY_ACTION)(APPLY_PASS& pass, LPCWSTR entry);

// Hands each selected entry of a multiple-selection list box to the action, in list order. The
// entry's text is in pWork1 during the call; entries too long for it are passed over.
static void ForEachSelectedEntry(APPLY_PASS& pass, HWND hwndList, PFN_ENTRY_ACTION pfnAction) {
    if (!hwndList)
        return;
    LRESULT selected = SendMessageW(hwndList, LB_GETSELCOUNT, 0, 0);
    if (selected <= 0)
        return;
    int* pIndexes = new (std::nothrow) int[MAX_SELECTED_ENTRIES];
    if (!pIndexes)
        return;
    LRESULT count = SendMessageW(hwndList, LB_GETSELITEMS, MAX_SELECTED_ENTRIES, (LPARAM)pIndexes);
    for (LRESULT i = 0; i < count && i < MAX_SELECTED_ENTRIES; i++) {
        LRESULT length = SendMessageW(hwndList, LB_GETTEXTLEN, pIndexes[i], 0);
        if (length < 0 || length >= TWEAK_PATH_UNITS)
            continue;
        SendMessageW(hwndList, LB_GETTEXT, pIndexes[i], (LPARAM)pass.pWork1);
        pass.pWork1[TWEAK_PATH_UNITS - 1] = 0;
        pfnAction(pass, pass.pWork1);
        ZeroMemory(pass.pWork1, TWEAK_PATH_UNITS * sizeof(WCHAR));
    }
    delete[] pIndexes;
}

// Step 22: a found folder loses its files; its subfolders stay.
static void CleanFoundFolder(APPLY_PASS& pass, LPCWSTR entry) {
    if (ResolveFolderPath(entry, pass.pWork2) == FOLDER_PATH_OK)
        DeleteFolderContents(pass.pWork2, FALSE);
    ZeroMemory(pass.pWork2, TWEAK_PATH_UNITS * sizeof(WCHAR));
}

static void CleanSelectedFoldersStep(APPLY_PASS& pass) {
    ForEachSelectedEntry(pass, GetScreenControl(SCREEN_CLEAN_TEMP, POS_FOUND_FOLDERS_LIST),
                         CleanFoundFolder);
}

// Step 23: a found file, named by its full path.
static void DeleteFoundFile(APPLY_PASS& pass, LPCWSTR entry) {
    if (ResolveDevicePath(entry, pass.pWork2, TWEAK_PATH_UNITS) == FOLDER_PATH_OK)
        DeleteLookedUpFile(pass.pWork2);
    ZeroMemory(pass.pWork2, TWEAK_PATH_UNITS * sizeof(WCHAR));
}

static void DeleteSelectedFilesStep(APPLY_PASS& pass) {
    ForEachSelectedEntry(pass, GetScreenControl(SCREEN_CLEAN_TEMP, POS_FOUND_FILES_LIST),
                         DeleteFoundFile);
}

// A plain file name: no separator of either kind, and not "." or "..", so that joined to a
// folder it names an entry of that folder and nothing else.
static BOOL IsPlainFileName(LPCWSTR name) {
    if (!name[0] || wcschr(name, TEXT('\\')) || wcschr(name, TEXT('/')))
        return FALSE;
    return wcscmp(name, TEXT(".")) != 0 && wcscmp(name, TEXT("..")) != 0;
}

// Step 24: a startup shortcut, named by its file name in the StartUp folder. A name that could
// lead out of that folder is not used.
static void DeleteStartupShortcut(APPLY_PASS& pass, LPCWSTR entry) {
    if (IsPlainFileName(entry) &&
        SUCCEEDED(StringCchPrintfW(pass.pWork2, TWEAK_PATH_UNITS, TEXT("%s%s"), c_szStartupFolder,
                                   entry)))
        DeleteLookedUpFile(pass.pWork2);
    ZeroMemory(pass.pWork2, TWEAK_PATH_UNITS * sizeof(WCHAR));
}

static void DeleteSelectedStartupShortcutsStep(APPLY_PASS& pass) {
    HWND hwndCheck = GetScreenControl(SCREEN_SHORTCUTS, POS_STARTUP_CHECK);
    if (!hwndCheck || SendMessageW(hwndCheck, BM_GETCHECK, 0, 0) != 1)
        return;
    ForEachSelectedEntry(pass, GetScreenControl(SCREEN_SHORTCUTS, POS_STARTUP_LIST),
                         DeleteStartupShortcut);
}

static void RunApplySteps(APPLY_PASS& pass) {
    for (size_t i = 0; i < sizeof(c_applySteps) / sizeof(c_applySteps[0]); i++) {
        const APPLY_STEP& step = c_applySteps[i];
        if (step.when == WHEN_BIT && !(pass.flags & step.bit))
            continue;
        if (step.when == WHEN_INTERACTIVE && g_bSilent)
            continue;
        step.pfnRun(pass);
    }
}

static void ShowBytesCleaned() {
    WCHAR text[64];
    StringCchPrintfW(text, sizeof(text) / sizeof(WCHAR), TEXT("%d Bytes Cleaned"),
                     (int)g_bytesCleaned);
    MessageBoxW(NULL, text, TEXT("Cleaning Finished"), MB_OK);
    g_bytesCleaned = 0;
}

void ApplySettings(BYTE allowRestart) {
    CSettings* pSettings = g_pSettings;
    if (!pSettings)
        return;

    APPLY_PASS pass;
    pass.pSettings = pSettings;
    pass.restartNeeded = FALSE;
    if (g_bSilent) {
        // Without a settings file there is nothing stored to act on: -1 is no set of options.
        LONG stored = LoadSettings(pSettings);
        if (stored < 0)
            return;
        pass.flags = (DWORD)stored;
    } else {
        pass.flags = GatherSettings(pSettings);
    }

    pass.pWork1 = new (std::nothrow) WCHAR[TWEAK_PATH_UNITS];
    pass.pWork2 = new (std::nothrow) WCHAR[TWEAK_PATH_UNITS];
    if (pass.pWork1 && pass.pWork2) {
        ZeroMemory(pass.pWork1, TWEAK_PATH_UNITS * sizeof(WCHAR));
        ZeroMemory(pass.pWork2, TWEAK_PATH_UNITS * sizeof(WCHAR));
        RunApplySteps(pass);
        if (!g_bSilent)
            ShowBytesCleaned();
    } else {
        ShowError(TEXT("Failed allocating memory: nothing was applied"));
    }
    delete[] pass.pWork1;
    delete[] pass.pWork2;

    // Texts the steps did not take out are not kept past the pass.
    ReleaseAllSettingsTexts(pSettings);

    if ((allowRestart & 0xFF) && pass.restartNeeded && !g_bSilent) {
        SaveSettings(pSettings);
        KernelIoControl(IOCTL_HAL_REBOOT, NULL, 0, NULL, 0, NULL);
        return;
    }
    if (pass.restartNeeded && !g_bSilent)
        MessageBoxW(NULL,
                    TEXT("Some settings will not take effect until the device has been restarted"),
                    TEXT("Restart Required"), MB_OK);
}
