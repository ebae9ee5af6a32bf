// VarnelloSetup: the hooks the cabinet installer calls around installing and removing Varnello.
// Installing needs nothing from us; removal takes away the files the program made itself, which
// the installer does not know about.
#include <windows.h>
#include <strsafe.h>
#include <ce_setup.h>

// The settings path is formatted into a buffer of this many characters.
#define SETUP_PATH_UNITS 1024

codeINSTALL_INIT Install_Init(HWND hwndParent, BOOL fFirstCall, BOOL fPreviouslyInstalled,
                              LPCTSTR pszInstallDir) {
    (void)hwndParent;
    (void)fFirstCall;
    (void)fPreviouslyInstalled;
    (void)pszInstallDir;
    return codeINSTALL_INIT_CONTINUE;
}

codeINSTALL_EXIT Install_Exit(HWND hwndParent, LPCTSTR pszInstallDir, WORD cFailedDirs,
                              WORD cFailedFiles, WORD cFailedRegKeys, WORD cFailedRegVals,
                              WORD cFailedShortcuts) {
    (void)hwndParent;
    (void)pszInstallDir;
    (void)cFailedDirs;
    (void)cFailedFiles;
    (void)cFailedRegKeys;
    (void)cFailedRegVals;
    (void)cFailedShortcuts;
    return codeINSTALL_EXIT_DONE;
}

// settings.dat lies in the installation folder. A folder named with its final backslash joins
// without another; a path that would not fit is not deleted, since a cut one names another file.
static void DeleteSettingsFile(LPCTSTR pszInstallDir) {
    if (!pszInstallDir || !pszInstallDir[0])
        return;
    LPWSTR pPath = (LPWSTR)LocalAlloc(LPTR, SETUP_PATH_UNITS * sizeof(WCHAR));
    if (!pPath)
        return;
    size_t length = wcslen(pszInstallDir);
    LPCWSTR pszFormat =
        pszInstallDir[length - 1] == TEXT('\\') ? TEXT("%ssettings.dat") : TEXT("%s\\settings.dat");
    if (SUCCEEDED(StringCchPrintfW(pPath, SETUP_PATH_UNITS, pszFormat, pszInstallDir)))
        DeleteFileW(pPath);
    LocalFree(pPath);
}

// Missing files are no error: silent cleanup may never have been chosen, the settings never saved.
codeUNINSTALL_INIT Uninstall_Init(HWND hwndParent, LPCTSTR pszInstallDir) {
    (void)hwndParent;
    DeleteFileW(TEXT("\\Windows\\Startup\\Varnello.lnk"));
    DeleteSettingsFile(pszInstallDir);
    DeleteFileW(TEXT("\\Windows\\Help\\Varnello.lnk"));
    DeleteFileW(TEXT("\\Windows\\tunedoc.htm"));
    return codeUNINSTALL_INIT_CONTINUE;
}

codeUNINSTALL_EXIT Uninstall_Exit(HWND hwndParent) {
    (void)hwndParent;
    return codeUNINSTALL_EXIT_DONE;
}
