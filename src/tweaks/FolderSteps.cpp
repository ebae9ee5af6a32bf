// The folder steps of the Apply pass: the temp folders cleaned, the Pocket IE cache and history
// cleared, and the system folders relocated together with the registry values that name them.
#include <windows.h>
#include <strsafe.h>

#include <new>

#include "tweaks/Apply.h"
#include "tweaks/ApplySteps.h"
#include "tweaks/FolderMove.h"

#define SHELL_FOLDERS_KEY \
    TEXT("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders")

static void ClearBuffer(LPWSTR pBuffer) {
    ZeroMemory(pBuffer, TWEAK_PATH_UNITS * sizeof(WCHAR));
}

static const WCHAR c_szNotCleaned[] = TEXT("%s was not cleaned: \"%s\" %s");

// Cleans a folder named by the user; the folder itself and its subfolders stay. A folder typed
// without its final backslash is completed; an empty text, the root or anything that is not a
// plain device path is refused rather than guessed at.
static void CleanUserFolder(APPLY_PASS& pass, LPWSTR& field, LPCWSTR name) {
    FOLDER_PATH_RESULT result = ResolveFolderPath(field, pass.pWork1);
    if (result == FOLDER_PATH_OK)
        DeleteFolderContents(pass.pWork1, FALSE);
    else
        ShowStepErrorFormat(c_szNotCleaned, name, field ? field : TEXT(""),
                            FolderPathProblem(result));
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
        ShowError(folder.pszMissingKey);
        return NULL;
    }
    ClearBuffer(pBuffer);
    DWORD size = TWEAK_PATH_UNITS * sizeof(WCHAR);
    LONG result = RegQueryValueExW(hKey, folder.pszValue, NULL, NULL, (BYTE*)pBuffer, &size);
    // A value that fills the whole buffer has no room left for its end: it is too long to use.
    if (result != ERROR_SUCCESS || pBuffer[TWEAK_PATH_UNITS - 1] != 0) {
        ClearBuffer(pBuffer);
        ShowError(folder.pszMissingValue);
        RegCloseKey(hKey);
        return NULL;
    }
    return hKey;
}

// The value names the new folder with its final backslash; the stored data has no NUL.
static LONG WriteFolderValue(HKEY hKey, const FOLDER_VALUE& folder, LPCWSTR target) {
    return RegSetValueExW(hKey, folder.pszValue, 0, REG_SZ, (const BYTE*)target,
                          (DWORD)(wcslen(target) * sizeof(WCHAR)));
}

// Steps 6 and 7: the files of the folder a value names, with or without its subfolders.
static void ClearFolderOfValue(APPLY_PASS& pass, const FOLDER_VALUE& folder,
                               BOOL removeSubfolders) {
    HKEY hKey = OpenFolderValue(folder, pass.pWork1);
    if (!hKey)
        return;
    FOLDER_PATH_RESULT result = ResolveFolderPath(pass.pWork1, pass.pWork2);
    if (result == FOLDER_PATH_OK)
        DeleteFolderContents(pass.pWork2, removeSubfolders);
    else
        ShowStepErrorFormat(c_szNotCleaned, folder.pszName, pass.pWork1, FolderPathProblem(result));
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

static const WCHAR c_szBadTarget[] = TEXT("%s was not moved: \"%s\" %s");
static const WCHAR c_szNoTarget[] =
    TEXT("%s was not moved: \"%s\" is not an existing folder to move it to");
static const WCHAR c_szBadSource[] = TEXT("%s was not moved: the folder it is in now, \"%s\", %s");
static const WCHAR c_szInsideSource[] =
    TEXT("%s was not moved: \"%s\" lies inside the folder it would be moved from");
static const WCHAR c_szTargetInUse[] =
    TEXT("%s was not moved: \"%s\" already holds files or folders; choose an empty folder");
static const WCHAR c_szValueNotWritten[] =
    TEXT("%s was not moved: its registry value could not be written (error %u)");

// What a step does once both folders are known: pass.pWork2 holds the folder the value names
// now, target the folder it is to name; both resolved, with their final backslash.
typedef void (*PFN_RETARGET)(APPLY_PASS& pass, HKEY hKey, const FOLDER_VALUE& folder,
                             LPCWSTR target);

// The frame of the steps that point a folder value at a new folder: the target must be an
// existing folder and the value must name a usable folder, or nothing at all is done.
static void RetargetFolder(APPLY_PASS& pass, const FOLDER_VALUE& folder, LPWSTR& field,
                           PFN_RETARGET pfnRetarget) {
    WCHAR target[TWEAK_PATH_UNITS];
    FOLDER_PATH_RESULT result = ResolveFolderPath(field, target);
    if (result != FOLDER_PATH_OK) {
        ShowStepErrorFormat(c_szBadTarget, folder.pszName, field ? field : TEXT(""),
                            FolderPathProblem(result));
    } else if (!FolderExists(target)) {
        ShowStepErrorFormat(c_szNoTarget, folder.pszName, field);
    } else {
        HKEY hKey = OpenFolderValue(folder, pass.pWork1);
        if (hKey) {
            result = ResolveFolderPath(pass.pWork1, pass.pWork2);
            if (result == FOLDER_PATH_OK)
                pfnRetarget(pass, hKey, folder, target);
            else
                ShowStepErrorFormat(c_szBadSource, folder.pszName, pass.pWork1,
                                    FolderPathProblem(result));
            RegCloseKey(hKey);
        }
    }
    ClearBuffer(pass.pWork1);
    ClearBuffer(pass.pWork2);
    ReleaseSettingsText(field);
}

// TRUE when the folder holds any entry, or cannot be listed to show that it holds none.
static BOOL FolderHasEntries(LPWSTR folder) {
    size_t length = wcslen(folder);
    if (length + 1 >= TWEAK_PATH_UNITS)
        return TRUE;
    folder[length] = TEXT('*');
    folder[length + 1] = 0;
    WIN32_FIND_DATAW findData;
    HANDLE hFind = FindFirstFileW(folder, &findData);
    DWORD error = GetLastError();
    folder[length] = 0;
    if (hFind != INVALID_HANDLE_VALUE) {
        FindClose(hFind);
        return TRUE;
    }
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES;
}

// Step 8: Pocket IE keeps no cache worth moving. The old cache's files are deleted (its folders
// stay) and the cache value is pointed at the new folder. "Clear Pocket IE Cache" later empties
// that whole folder, so a folder that already holds anything is never made the cache.
static void ReplaceIeCache(APPLY_PASS& pass, HKEY hKey, const FOLDER_VALUE& folder,
                           LPCWSTR target) {
    WCHAR newCache[TWEAK_PATH_UNITS];
    StringCchCopyW(newCache, TWEAK_PATH_UNITS, target);
    if (CompareFolders(newCache, pass.pWork2) != FOLDERS_SAME && FolderHasEntries(newCache)) {
        ShowStepErrorFormat(c_szTargetInUse, folder.pszName, newCache);
        return;
    }
    DeleteFolderContents(pass.pWork2, FALSE);
    LONG written = WriteFolderValue(hKey, folder, newCache);
    if (written != ERROR_SUCCESS)
        ShowStepErrorFormat(c_szValueNotWritten, folder.pszName, (unsigned)written);
}

void MoveIeCacheStep(APPLY_PASS& pass) {
    RetargetFolder(pass, c_ieCacheFolder, pass.pSettings->m_ieCacheTarget, ReplaceIeCache);
}

static const WCHAR c_szMoveUnreadable[] =
    TEXT("%s was not moved: \"%s\" could not be read; nothing was moved");
static const WCHAR c_szMoveNameTaken[] =
    TEXT("%s was not moved: \"%s\" already exists; nothing was moved");
static const WCHAR c_szMoveTooLong[] =
    TEXT("%s was not moved: a path below \"%s\" would be too long; nothing was moved");
static const WCHAR c_szMoveFailed[] =
    TEXT("%s was not moved: \"%s\" could not be moved (%s); everything is back in \"%s\"");
static const WCHAR c_szMoveUndoFailed[] = TEXT(
    "%s was not moved: \"%s\" could not be moved (%s), and some files could not be moved "
    "back: \"%s\" is one of them. The rest is in \"%s\"");
static const WCHAR c_szValueUndone[] = TEXT(
    "%s was not moved: its registry value could not be written (error %u); everything is "
    "back in \"%s\"");
static const WCHAR c_szValueUndoFailed[] = TEXT(
    "%s was not moved: its registry value could not be written (error %u), and some files "
    "could not be moved back: \"%s\" is one of them. The rest is in \"%s\"");

// Why a file could not be moved, in the user's words where there are any.
static void DescribeMoveError(DWORD error, LPWSTR text, size_t cch) {
    switch (error) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            StringCchCopyW(text, cch, TEXT("the target is full"));
            break;
        case ERROR_NOT_SAME_DEVICE:
            StringCchCopyW(text, cch, TEXT("the target is on another volume"));
            break;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            StringCchCopyW(text, cch, TEXT("its name is taken in the target"));
            break;
        case ERROR_SHARING_VIOLATION:
            StringCchCopyW(text, cch, TEXT("it is in use"));
            break;
        case ERROR_ACCESS_DENIED:
            StringCchCopyW(text, cch, TEXT("access denied"));
            break;
        default:
            StringCchPrintfW(text, cch, TEXT("error %u"), (unsigned)error);
            break;
    }
}

// Tells the user why a relocation did not happen and where the files are.
static void ShowMoveProblem(const CFolderMove& move, const FOLDER_VALUE& folder, LPCWSTR source) {
    WCHAR reason[64];
    DescribeMoveError(move.GetProblemError(), reason, sizeof(reason) / sizeof(WCHAR));
    LPCWSTR path = move.GetProblemPath();
    switch (move.GetProblem()) {
        case MOVE_UNREADABLE:
            ShowStepErrorFormat(c_szMoveUnreadable, folder.pszName, path);
            break;
        case MOVE_NAME_TAKEN:
            ShowStepErrorFormat(c_szMoveNameTaken, folder.pszName, path);
            break;
        case MOVE_TOO_LONG:
            ShowStepErrorFormat(c_szMoveTooLong, folder.pszName, path);
            break;
        default:
            if (move.GetStrandedPath()[0])
                ShowStepErrorFormat(c_szMoveUndoFailed, folder.pszName, path, reason,
                                    move.GetStrandedPath(), source);
            else
                ShowStepErrorFormat(c_szMoveFailed, folder.pszName, path, reason, source);
            break;
    }
}

// Moves the content, then makes the value name the target: both happen, or neither does.
static void MoveThenRepoint(APPLY_PASS& pass, HKEY hKey, const FOLDER_VALUE& folder,
                            LPCWSTR target) {
    CFolderMove* pMove = new (std::nothrow) CFolderMove;
    if (!pMove) {
        ShowStepErrorFormat(TEXT("%s was not moved: out of memory"), folder.pszName);
        return;
    }
    if (!pMove->Plan(pass.pWork2, target) || !pMove->Run()) {
        ShowMoveProblem(*pMove, folder, pass.pWork2);
    } else {
        LONG written = WriteFolderValue(hKey, folder, target);
        if (written == ERROR_SUCCESS)
            pMove->Finish();
        else if (pMove->Undo())
            ShowStepErrorFormat(c_szValueUndone, folder.pszName, (unsigned)written, pass.pWork2);
        else
            ShowStepErrorFormat(c_szValueUndoFailed, folder.pszName, (unsigned)written,
                                pMove->GetStrandedPath(), pass.pWork2);
    }
    delete pMove;
}

// Steps 12, 14, 15 and 16: the folder's content moves to the target, then the value names the
// target.
static void MoveFolderContent(APPLY_PASS& pass, HKEY hKey, const FOLDER_VALUE& folder,
                              LPCWSTR target) {
    switch (CompareFolders(target, pass.pWork2)) {
        case FOLDER_INSIDE:
            // The tree would be moved into itself without end.
            ShowStepErrorFormat(c_szInsideSource, folder.pszName, target);
            break;
        case FOLDERS_SAME:
            // Moved there on an earlier Apply, the option still ticked: nothing to move, and the
            // value already names the folder.
            break;
        default:
            MoveThenRepoint(pass, hKey, folder, target);
            break;
    }
}

static void RelocateFolder(APPLY_PASS& pass, const FOLDER_VALUE& folder, LPWSTR& field) {
    RetargetFolder(pass, folder, field, MoveFolderContent);
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
