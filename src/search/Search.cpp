// The two device-wide searches of the "Clean Temp Files" screen: folders whose names mention
// Temp, and files by extension. Both walk the whole device from the folder they are given.
#include "search/Search.h"

#include <windows.h>

#include "shell/Globals.h"
#include "shell/ShellWindows.h"

LONG g_maxFolderEntryLength = 0;
LONG g_maxFileEntryLength = 0;

// Path buffers of the searches hold this many UTF-16 units, NUL included.
#define SEARCH_PATH_UNITS 1024

// Entries up to this many characters fit the list box; longer ones widen its scroll range.
#define SEARCH_ENTRY_FITS 32
#define SEARCH_CHAR_WIDTH 6

// Adds an entry and widens the list's horizontal range for the longest entry so far. The
// longest length is kept for the whole run: the list box keeps its extent when it is emptied.
static void AddSearchEntry(HWND hwndList, LPCWSTR entry, LONG* pLongest) {
    SendMessageW(hwndList, LB_ADDSTRING, 0, (LPARAM)entry);
    LONG length = (LONG)wcslen(entry);
    if (length > SEARCH_ENTRY_FITS && length > *pLongest) {
        *pLongest = length;
        SendMessageW(hwndList, LB_SETHORIZONTALEXTENT, (WPARAM)(length * SEARCH_CHAR_WIDTH), 0);
    }
}

// Puts folder into path, ready for names to be appended: the root joins without a separator,
// every other folder with one. Returns the length of that prefix, or 0 when it would not fit.
static size_t StartSearchPath(LPWSTR path, LPCWSTR folder) {
    size_t length = wcslen(folder);
    if (length == 0 || length + 1 >= SEARCH_PATH_UNITS)
        return 0;
    CopyMemory(path, folder, length * sizeof(WCHAR));
    if (path[length - 1] != TEXT('\\'))
        path[length++] = TEXT('\\');
    path[length] = 0;
    return length;
}

// Appends name at path + length, with a backslash for a folder; the new length, or 0 when it
// would not fit. A folder also needs room for the "*" that searches it; a file's path may use
// the whole buffer. A cut path is never searched or listed.
static size_t AppendSearchName(LPWSTR path, size_t length, LPCWSTR name, BOOL backslash) {
    size_t nameLength = wcslen(name);
    size_t newLength = length + nameLength + (backslash ? 1 : 0);
    if (newLength + (backslash ? 1 : 0) >= SEARCH_PATH_UNITS)
        return 0;
    CopyMemory(path + length, name, nameLength * sizeof(WCHAR));
    if (backslash)
        path[newLength - 1] = TEXT('\\');
    path[newLength] = 0;
    return newLength;
}

static HANDLE FindFirstInFolder(LPWSTR path, size_t length, WIN32_FIND_DATAW* pFindData) {
    path[length] = TEXT('*');
    path[length + 1] = 0;
    HANDLE hFind = FindFirstFileW(path, pFindData);
    path[length] = 0;
    return hFind;
}

static BOOL IsVisibleFolder(const WIN32_FIND_DATAW& findData) {
    return (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(findData.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN);
}

// path[0, length) ends in a backslash.
static void SearchTempFoldersIn(HWND hwndList, LPWSTR path, size_t length) {
    WIN32_FIND_DATAW findData;
    HANDLE hFind = FindFirstInFolder(path, length, &findData);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!IsVisibleFolder(findData))
            continue;
        size_t childLength = AppendSearchName(path, length, findData.cFileName, TRUE);
        if (childLength == 0)
            continue;
        // The match is case-sensitive on purpose: Temp and temp, not TEMP.
        if (wcsstr(findData.cFileName, TEXT("Temp")) || wcsstr(findData.cFileName, TEXT("temp")))
            AddSearchEntry(hwndList, path, &g_maxFolderEntryLength);
        SearchTempFoldersIn(hwndList, path, childLength);
        path[length] = 0;
    } while (FindNextFileW(hFind, &findData));
    FindClose(hFind);
}

void SearchTempFolders(HWND hwndList, LPCWSTR folder) {
    if (!folder)
        return;
    CSearchWindow::Show();
    WCHAR path[SEARCH_PATH_UNITS];
    size_t length = StartSearchPath(path, folder);
    if (length)
        SearchTempFoldersIn(hwndList, path, length);
    CSearchWindow::Hide();
}

// The text after the last dot matches when its first three characters equal the extension,
// letter case aside: "TMP" takes a.tmp and c.tmpx, not d.tm or e.tmp.txt.
static BOOL HasExtension(LPCWSTR name, LPCWSTR extension) {
    LPCWSTR pDot = wcsrchr(name, TEXT('.'));
    return pDot && _wcsnicmp(pDot + 1, extension, 3) == 0;
}

static void SearchFilesIn(HWND hwndList, LPCWSTR extension, LPWSTR path, size_t length) {
    WIN32_FIND_DATAW findData;
    HANDLE hFind = FindFirstInFolder(path, length, &findData);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        if (IsVisibleFolder(findData)) {
            size_t childLength = AppendSearchName(path, length, findData.cFileName, TRUE);
            if (childLength)
                SearchFilesIn(hwndList, extension, path, childLength);
        } else if (HasExtension(findData.cFileName, extension)) {
            // Hidden files are listed like any other; hidden folders are not searched.
            if (AppendSearchName(path, length, findData.cFileName, FALSE))
                AddSearchEntry(hwndList, path, &g_maxFileEntryLength);
        }
        path[length] = 0;
    } while (FindNextFileW(hFind, &findData));
    FindClose(hFind);
}

void SearchFilesByExtension(HWND hwndList, LPCWSTR extension, LPCWSTR folder) {
    if (!extension || !folder)
        return;
    CSearchWindow::Show();
    WCHAR path[SEARCH_PATH_UNITS];
    size_t length = StartSearchPath(path, folder);
    if (length)
        SearchFilesIn(hwndList, extension, path, length);
    CSearchWindow::Hide();
}
