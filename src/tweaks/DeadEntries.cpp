// Entries that point at software which is gone: the registry keys of applications whose install
// folder was removed, and Start Menu shortcuts whose target file no longer exists.
#include "tweaks/Apply.h"

#include <windows.h>
#include <shellapi.h>
#include <strsafe.h>

#include <new>
#include <string>
#include <vector>

#include "tweaks/ApplySteps.h"

typedef std::basic_string<WCHAR> WSTRING;

// Only "not there" makes an entry dead. The root is always there, in whatever spelling; a
// network path, a name the file system refuses or a lookup that fails for any other reason
// cannot be judged, so it keeps the entry.
static BOOL IsPathMissing(LPCWSTR text, BOOL fileOnly) {
    WCHAR path[TWEAK_PATH_UNITS];
    if (ResolveDevicePath(text, path, TWEAK_PATH_UNITS) != FOLDER_PATH_OK)
        return FALSE;
    WIN32_FIND_DATAW findData;
    HANDLE hFind = FindFirstFileW(path, &findData);
    if (hFind != INVALID_HANDLE_VALUE) {
        FindClose(hFind);
        // A folder is no program: a cut command line that names one names nothing.
        return fileOnly && (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

void RemoveAppKeyIfOrphaned(LPCWSTR subkeyName, HKEY hAppsKey) {
    WCHAR keyPath[TWEAK_PATH_UNITS];
    if (!subkeyName || !subkeyName[0] ||
        FAILED(StringCchPrintfW(keyPath, TWEAK_PATH_UNITS, TEXT("Software\\Apps\\%s"), subkeyName)))
        return;
    HKEY hAppKey = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ALL_ACCESS, &hAppKey) != ERROR_SUCCESS)
        return;

    WCHAR installDir[TWEAK_PATH_UNITS];
    ZeroMemory(installDir, sizeof(installDir));
    DWORD size = sizeof(installDir);
    LONG result =
        RegQueryValueExW(hAppKey, TEXT("InstallDir"), NULL, NULL, (BYTE*)installDir, &size);
    RegCloseKey(hAppKey);
    // No folder recorded, or one too long to look up whole: the key is kept.
    if (result != ERROR_SUCCESS || installDir[0] == 0 || installDir[TWEAK_PATH_UNITS - 1] != 0)
        return;
    if (IsPathMissing(installDir, FALSE))
        RegDeleteKeyW(hAppsKey, subkeyName);
}

// Step 13. The names are collected before any key goes: deleting while enumerating by index
// would shift the later keys down and pass one over after every deletion.
void ClearRegistryKeysStep(APPLY_PASS& pass) {
    HKEY hAppsKey = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("\\Software\\Apps"), 0, KEY_ALL_ACCESS, &hAppsKey) !=
        ERROR_SUCCESS) {
        ShowError(TEXT("Failed retrieving registry information"));
        return;
    }

    std::vector<WSTRING> names;
    for (DWORD index = 0;; index++) {
        DWORD nameLength = TWEAK_PATH_UNITS;
        LONG result =
            RegEnumKeyExW(hAppsKey, index, pass.pWork1, &nameLength, NULL, NULL, NULL, NULL);
        if (result == ERROR_MORE_DATA)
            continue;  // a name longer than any key path we could open
        if (result != ERROR_SUCCESS)
            break;
        names.push_back(WSTRING(pass.pWork1, nameLength));
    }
    ZeroMemory(pass.pWork1, TWEAK_PATH_UNITS * sizeof(WCHAR));

    for (size_t i = 0; i < names.size(); i++) RemoveAppKeyIfOrphaned(names[i].c_str(), hAppsKey);
    RegCloseKey(hAppsKey);
}

// The program path inside a command line: the quoted part, or the whole text.
static void ExtractTargetPath(LPCWSTR target, LPWSTR path) {
    if (target[0] == TEXT('"')) {
        size_t i = 0;
        for (LPCWSTR p = target + 1; *p && *p != TEXT('"') && i < TWEAK_PATH_UNITS - 1; p++)
            path[i++] = *p;
        path[i] = 0;
    } else {
        StringCchCopyW(path, TWEAK_PATH_UNITS, target);
    }
}

// An unquoted command line may carry arguments after the program, as "\Windows\pword.exe -n"
// does; like the shell when it starts it, try each blank as the end of the program path. Only a
// file ends a program path there: "\Program Files\Maps Old\maps.exe" is not kept alive by a
// folder "\Program Files\Maps".
static BOOL IsUnquotedTargetPresent(LPWSTR path) {
    if (!IsPathMissing(path, FALSE))
        return TRUE;
    for (size_t i = wcslen(path); i > 0; i--) {
        if (path[i - 1] != TEXT(' '))
            continue;
        path[i - 1] = 0;
        if (path[0] && !IsPathMissing(path, TRUE))
            return TRUE;
    }
    return FALSE;
}

BOOL IsShortcutTargetPresent(LPCWSTR path) {
    WCHAR shortcut[TWEAK_PATH_UNITS];
    if (!path || FAILED(StringCchCopyW(shortcut, TWEAK_PATH_UNITS, path)))
        return TRUE;
    WCHAR target[TWEAK_PATH_UNITS];
    ZeroMemory(target, sizeof(target));
    if (!SHGetShortcutTarget(shortcut, target, TWEAK_PATH_UNITS))
        return TRUE;  // not a shortcut: not ours to judge
    target[TWEAK_PATH_UNITS - 1] = 0;
    // Shell locations and bare program names are not file paths to look up.
    if (target[0] != TEXT('\\') && target[1] != TEXT('\\'))
        return TRUE;

    WCHAR lookup[TWEAK_PATH_UNITS];
    ExtractTargetPath(target, lookup);
    if (lookup[0] == 0)
        return TRUE;
    if (target[0] == TEXT('"'))
        return !IsPathMissing(lookup, FALSE);
    return IsUnquotedTargetPresent(lookup);
}

// path[0, length) is a folder without its final backslash; extended in place per entry.
static void RemoveDeadShortcutsIn(LPWSTR path, size_t length) {
    if (FAILED(StringCchCopyW(path + length, TWEAK_PATH_UNITS - length, TEXT("\\*")))) {
        path[length] = 0;
        return;
    }
    WIN32_FIND_DATAW findData;
    HANDLE hFind = FindFirstFileW(path, &findData);
    path[length] = 0;
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        path[length] = TEXT('\\');
        if (SUCCEEDED(StringCchCopyW(path + length + 1, TWEAK_PATH_UNITS - length - 1,
                                     findData.cFileName))) {
            if (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDeadShortcutsIn(path, wcslen(path));
            else if (!IsShortcutTargetPresent(path))
                DeleteCountedFile(path, findData.nFileSizeLow);
        }
        path[length] = 0;
    } while (FindNextFileW(hFind, &findData));
    FindClose(hFind);
}

void RemoveDeadShortcuts(LPCWSTR folder) {
    WCHAR path[TWEAK_PATH_UNITS];
    if (!folder || folder[0] != TEXT('\\') ||
        FAILED(StringCchCopyW(path, TWEAK_PATH_UNITS, folder)))
        return;
    RemoveDeadShortcutsIn(path, wcslen(path));
}

void RemoveStartMenuItemsStep(APPLY_PASS&) {
    RemoveDeadShortcuts(TEXT("\\Windows\\Start Menu"));
}
