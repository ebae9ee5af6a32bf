// The folder steps of the Apply pass: the temp folders cleaned, the Pocket IE cache and history
// cleared, and the system folders relocated together with the registry values that name them.
#include <windows.h>
#include <strsafe.h>

#include "tweaks/Apply.h"
#include "tweaks/ApplySteps.h"

#define SHELL_FOLDERS_KEY \
    TEXT("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders")

static void ClearBuffer(LPWSTR pBuffer) {
    ZeroMemory(pBuffer, TWEAK_PATH_UNITS * sizeof(WCHAR));
}

// Tells the user why a step left a folder alone; the text is only shown, so a cut is harmless.
static void ShowFolderRefused(LPWSTR pScratch, LPCWSTR format, LPCWSTR name, LPCWSTR folder) {
    StringCchPrintfW(pScratch, TWEAK_PATH_UNITS, format, name, folder ? folder : TEXT(""));
    ShowStepError(pScratch);
    ClearBuffer(pScratch);
}

static const WCHAR c_szNotCleanable[] =
    TEXT("%s was not cleaned: \"%s\" is not a folder that can be cleaned");

// Cleans a folder named by the user; the folder itself and its subfolders stay. A folder typed
// without its final backslash is completed; an empty text, the root or anything that is not a
// plain device path is refused rather than guessed at.
static void CleanUserFolder(APPLY_PASS& pass, LPWSTR& field, LPCWSTR name) {
    if (NormalizeFolderPath(field, pass.pWork1, TWEAK_PATH_UNITS, TRUE))
        DeleteFolderContents(pass.pWork1, FALSE);
    else
        ShowFolderRefused(pass.pWork2, c_szNotCleanable, name, field);
    ClearBuffer(pass.pWork1);
    ReleaseSettingsText(field);
}

void CleanUserFolder1Step(APPLY_PASS& pass) {
    CleanUserFolder(pass, pass.pSettings->m_userDefined1Path, TEXT("User Defined 1"));
}

void CleanUserFolder2Step(APPLY_PASS& pass) {
    CleanUserFolder(pass, pass.pSettings->m_userDefined2Path, TEXT("User Defined 2"));
}

void CleanTempStep(APPLY_PASS&) {
    DeleteFolderContents(TEXT("\\Temp\\"), FALSE);
}

void CleanWindowsTempStep(APPLY_PASS&) {
    DeleteFolderContents(TEXT("\\Windows\\Temp\\"), FALSE);
}

void CleanMyDocumentsTempStep(APPLY_PASS&) {
    DeleteFolderContents(TEXT("\\My Documents\\Temp\\"), FALSE);
}

// A registry value that names a system folder, with the messages for a missing key and a
// missing value.
struct FOLDER_VALUE {
    HKEY hRoot;
    LPCWSTR pszKey;
    LPCWSTR pszValue;
    LPCWSTR pszMissingKey;
    LPCWSTR pszMissingValue;
    LPCWSTR pszName;  // how the user knows the folder, for the messages of this file
};

static const FOLDER_VALUE c_ieCacheFolder = {
    HKEY_CURRENT_USER,
    SHELL_FOLDERS_KEY,
    TEXT("Cache"),
    TEXT("Unable to locate Internet Explorer cache directory"),
    TEXT("Unable to locate Internet Explorer cache directory"),
    TEXT("Pocket IE Cache")};

static const FOLDER_VALUE c_ieHistoryFolder = {
    HKEY_CURRENT_USER,
    SHELL_FOLDERS_KEY,
    TEXT("History"),
    TEXT("Unable to locate Internet Explorer cache directory"),
    TEXT("Unable to locate Internet Explorer cache directory"),
    TEXT("Pocket IE History")};

static const FOLDER_VALUE c_avantGoFolder = {HKEY_CURRENT_USER,
                                             TEXT("Software\\AvantGo"),
                                             TEXT("DatabaseLocation"),
                                             TEXT("Unable to locate AvantGo cache"),
                                             TEXT("Unable to locate AvantGo cache directory"),
                                             TEXT("AvantGo Cache")};

static const FOLDER_VALUE c_favoritesFolder = {HKEY_LOCAL_MACHINE,
                                               TEXT("Explorer\\Shell Folders"),
                                               TEXT("Favorites"),
                                               TEXT("Unable to locate Favorites"),
                                               TEXT("Unable to locate Favorties directory"),
                                               TEXT("Favorites")};

static const FOLDER_VALUE c_fontsFolder = {HKEY_LOCAL_MACHINE,
                                           TEXT("Explorer\\Shell Folders"),
                                           TEXT("Fonts"),
                                           TEXT("Unable to locate Fonts"),
                                           TEXT("Unable to locate Fonts directory"),
                                           TEXT("Fonts")};

static const FOLDER_VALUE c_myDocumentsFolder = {HKEY_LOCAL_MACHINE,
                                                 TEXT("Explorer\\Shell Folders"),
                                                 TEXT("My Documents"),
                                                 TEXT("Unable to locate My Documents"),
                                                 TEXT("Unable to locate My Documents directory"),
                                                 TEXT("My Documents")};

// Opens the key of a folder value and reads the value into pBuffer. On failure the user is told,
// the key is closed again and NULL comes back: a step never acts on a path it did not read.
static HKEY OpenFolderValue(const FOLDER_VALUE& folder, LPWSTR pBuffer) {
    HKEY hKey = NULL;
    if (RegOpenKeyExW(folder.hRoot, folder.pszKey, 0, 0, &hKey) != ERROR_SUCCESS) {
        ShowStepError(folder.pszMissingKey);
        return NULL;
    }
    ClearBuffer(pBuffer);
    DWORD size = TWEAK_PATH_UNITS * sizeof(WCHAR);
    LONG result = RegQueryValueExW(hKey, folder.pszValue, NULL, NULL, (BYTE*)pBuffer, &size);
    // A value that fills the whole buffer has no room left for its end: it is too long to use.
    if (result != ERROR_SUCCESS || pBuffer[TWEAK_PATH_UNITS - 1] != 0) {
        ClearBuffer(pBuffer);
        ShowStepError(folder.pszMissingValue);
        RegCloseKey(hKey);
        return NULL;
    }
    return hKey;
}

// The value names the new folder with its final backslash; the stored data has no NUL.
static void WriteFolderValue(HKEY hKey, const FOLDER_VALUE& folder, LPCWSTR target) {
    RegSetValueExW(hKey, folder.pszValue, 0, REG_SZ, (const BYTE*)target,
                   (DWORD)(wcslen(target) * sizeof(WCHAR)));
}

// Steps 6 and 7: the files of the folder a value names, with or without its subfolders.
static void ClearFolderOfValue(APPLY_PASS& pass, const FOLDER_VALUE& folder,
                               BOOL removeSubfolders) {
    HKEY hKey = OpenFolderValue(folder, pass.pWork1);
    if (!hKey)
        return;
    if (NormalizeFolderPath(pass.pWork1, pass.pWork2, TWEAK_PATH_UNITS, TRUE))
        DeleteFolderContents(pass.pWork2, removeSubfolders);
    else
        ShowFolderRefused(pass.pWork2, c_szNotCleanable, folder.pszName, pass.pWork1);
    RegCloseKey(hKey);
    ClearBuffer(pass.pWork1);
    ClearBuffer(pass.pWork2);
}

void ClearIeCacheStep(APPLY_PASS& pass) {
    ClearFolderOfValue(pass, c_ieCacheFolder, TRUE);
}

void ClearIeHistoryStep(APPLY_PASS& pass) {
    ClearFolderOfValue(pass, c_ieHistoryFolder, FALSE);
}

static const WCHAR c_szBadTarget[] =
    TEXT("%s was not moved: \"%s\" is not an existing folder to move it to");
static const WCHAR c_szBadSource[] =
    TEXT("%s was not moved: \"%s\" is not a folder that can be moved");
static const WCHAR c_szInsideSource[] =
    TEXT("%s was not moved: \"%s\" lies inside the folder it would be moved from");
static const WCHAR c_szLeftBehind[] =
    TEXT("%s: some files could not be moved and were left in \"%s\"");

// The target of a relocation, typed or browsed: an existing folder other than the root, written
// into target with its final backslash.
static BOOL PrepareTarget(LPCWSTR field, LPWSTR target) {
    return NormalizeFolderPath(field, target, TWEAK_PATH_UNITS, TRUE) && FolderExists(target);
}

// What a step does once both folders are known: pass.pWork2 holds the folder the value names
// now, target the folder it is to name.
typedef void (*PFN_RETARGET)(APPLY_PASS& pass, HKEY hKey, const FOLDER_VALUE& folder,
                             LPCWSTR target);

// The frame of the steps that point a folder value at a new folder: the target must be an
// existing folder and the value must name a usable folder, or nothing at all is done.
static void RetargetFolder(APPLY_PASS& pass, const FOLDER_VALUE& folder, LPWSTR& field,
                           BOOL sourceBackslash, PFN_RETARGET pfnRetarget) {
    WCHAR target[TWEAK_PATH_UNITS];
    if (!PrepareTarget(field, target)) {
        ShowFolderRefused(pass.pWork2, c_szBadTarget, folder.pszName, field);
    } else {
        HKEY hKey = OpenFolderValue(folder, pass.pWork1);
        if (hKey) {
            if (NormalizeFolderPath(pass.pWork1, pass.pWork2, TWEAK_PATH_UNITS, sourceBackslash))
                pfnRetarget(pass, hKey, folder, target);
            else
                ShowFolderRefused(pass.pWork2, c_szBadSource, folder.pszName, pass.pWork1);
            RegCloseKey(hKey);
        }
    }
    ClearBuffer(pass.pWork1);
    ClearBuffer(pass.pWork2);
    ReleaseSettingsText(field);
}

// Step 8: Pocket IE keeps no cache worth moving. The old cache's files are deleted (its folders
// stay) and the cache value is pointed at the new folder.
static void ReplaceIeCache(APPLY_PASS& pass, HKEY hKey, const FOLDER_VALUE& folder,
                           LPCWSTR target) {
    DeleteFolderContents(pass.pWork2, FALSE);
    WriteFolderValue(hKey, folder, target);
}

void MoveIeCacheStep(APPLY_PASS& pass) {
    RetargetFolder(pass, c_ieCacheFolder, pass.pSettings->m_ieCacheTarget, TRUE, ReplaceIeCache);
}

// Steps 12, 14, 15 and 16: the folder's content moves to the target, then the value names the
// target. Files that could not be moved stay where they were, and the user is told where.
static void MoveFolderContent(APPLY_PASS& pass, HKEY hKey, const FOLDER_VALUE& folder,
                              LPCWSTR target) {
    size_t sourceLength = wcslen(pass.pWork2);
    BOOL below =
        _wcsnicmp(target, pass.pWork2, sourceLength) == 0 && target[sourceLength] == TEXT('\\');
    BOOL sameFolder = below && target[sourceLength + 1] == 0;
    if (below && !sameFolder) {
        ShowFolderRefused(pass.pWork1, c_szInsideSource, folder.pszName, target);
        return;
    }
    // Moved there on an earlier Apply, the option still ticked: nothing to move.
    DWORD leftBehind = sameFolder ? 0 : MoveFolderTree(pass.pWork2, target);
    WriteFolderValue(hKey, folder, target);
    if (leftBehind)
        ShowFolderRefused(pass.pWork1, c_szLeftBehind, folder.pszName, pass.pWork2);
}

static void RelocateFolder(APPLY_PASS& pass, const FOLDER_VALUE& folder, LPWSTR& field) {
    RetargetFolder(pass, folder, field, FALSE, MoveFolderContent);
}

void MoveAvantGoStep(APPLY_PASS& pass) {
    RelocateFolder(pass, c_avantGoFolder, pass.pSettings->m_avantGoTarget);
}

void MoveFavoritesStep(APPLY_PASS& pass) {
    RelocateFolder(pass, c_favoritesFolder, pass.pSettings->m_favoritesTarget);
}

void MoveFontsStep(APPLY_PASS& pass) {
    RelocateFolder(pass, c_fontsFolder, pass.pSettings->m_fontsTarget);
}

void MoveMyDocumentsStep(APPLY_PASS& pass) {
    RelocateFolder(pass, c_myDocumentsFolder, pass.pSettings->m_myDocumentsTarget);
}
