// The two recursive folder operations of the tweak engine: deleting the files of a folder tree
// and moving a folder tree into another folder.
#include "tweaks/Apply.h"

#include <windows.h>
#include <strsafe.h>

#include "tweaks/ApplySteps.h"

// Appends name (and a backslash when asked) at path + length and returns the new length; 0, with
// the path unchanged, when the result would not fit: a cut name could name another file.
static size_t AppendName(LPWSTR path, size_t length, LPCWSTR name, BOOL backslash) {
    size_t nameLength = wcslen(name);
    size_t newLength = length + nameLength + (backslash ? 1 : 0);
    if (newLength >= TWEAK_PATH_UNITS) {
        path[length] = 0;
        return 0;
    }
    CopyMemory(path + length, name, nameLength * sizeof(WCHAR));
    if (backslash)
        path[newLength - 1] = TEXT('\\');
    path[newLength] = 0;
    return newLength;
}

// path[0, length) is a folder ending in a backslash. The buffer is extended in place for each
// entry and given back unchanged.
static void DeleteTree(LPWSTR path, size_t length, BOOL removeSubfolders) {
    if (!AppendName(path, length, TEXT("*"), FALSE))
        return;
    WIN32_FIND_DATAW findData;
    HANDLE hFind = FindFirstFileW(path, &findData);
    path[length] = 0;
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        BOOL isFolder = (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        size_t childLength = AppendName(path, length, findData.cFileName, isFolder);
        if (childLength == 0)
            continue;
        if (isFolder) {
            DeleteTree(path, childLength, removeSubfolders);
            if (removeSubfolders) {
                path[childLength - 1] = 0;
                RemoveDirectoryW(path);
            }
        } else {
            // Read-only files and files in use stay where they are; nothing is forced.
            DeleteCountedFile(path, findData.nFileSizeLow);
        }
        path[length] = 0;
    } while (FindNextFileW(hFind, &findData));
    FindClose(hFind);
}

void DeleteFolderContents(LPCWSTR folder, BOOL removeSubfolders) {
    // Only a folder below the root, named with its final backslash, is cleaned.
    if (!folder || folder[0] != TEXT('\\'))
        return;
    size_t length = wcslen(folder);
    if (length < 2 || length >= TWEAK_PATH_UNITS || folder[length - 1] != TEXT('\\'))
        return;
    WCHAR path[TWEAK_PATH_UNITS];
    CopyMemory(path, folder, (length + 1) * sizeof(WCHAR));
    DeleteTree(path, length, removeSubfolders);
}

// source[0, sourceLength) names a folder without its final backslash, target[0, targetLength)
// one with it. Files that cannot be moved stay in the source and are counted in *pFailed; a
// folder of the source is removed only once it is empty, so nothing that stayed is lost.
static void MoveTree(LPWSTR source, size_t sourceLength, LPWSTR target, size_t targetLength,
                     DWORD* pFailed) {
    if (!AppendName(source, sourceLength, TEXT("\\*"), FALSE))
        return;
    WIN32_FIND_DATAW findData;
    HANDLE hFind = FindFirstFileW(source, &findData);
    source[sourceLength] = 0;
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        BOOL isFolder = (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        size_t childSource = AppendName(source, sourceLength, TEXT("\\"), FALSE);
        if (childSource)
            childSource = AppendName(source, childSource, findData.cFileName, FALSE);
        size_t childTarget = AppendName(target, targetLength, findData.cFileName, FALSE);
        if (!childSource || !childTarget) {
            (*pFailed)++;
        } else if (isFolder) {
            CreateDirectoryW(target, NULL);
            if (AppendName(target, childTarget, TEXT("\\"), FALSE))
                MoveTree(source, childSource, target, childTarget + 1, pFailed);
            else
                (*pFailed)++;
            // Succeeds only when everything below it could be moved.
            RemoveDirectoryW(source);
        } else if (!MoveFileW(source, target)) {
            (*pFailed)++;
        }
        source[sourceLength] = 0;
        target[targetLength] = 0;
    } while (FindNextFileW(hFind, &findData));
    FindClose(hFind);
}

// Moves what lies below source into target; returns the number of entries left behind. Refuses
// (and moves nothing) when source is the root, or target is source itself or lies inside it,
// which would move the tree into itself without end.
DWORD MoveFolderTree(LPCWSTR source, LPCWSTR target) {
    if (!source || !target || source[0] != TEXT('\\') || target[0] != TEXT('\\'))
        return 0;
    size_t sourceLength = wcslen(source);
    size_t targetLength = wcslen(target);
    if (sourceLength < 2 || sourceLength >= TWEAK_PATH_UNITS ||
        source[sourceLength - 1] == TEXT('\\') || targetLength >= TWEAK_PATH_UNITS ||
        target[targetLength - 1] != TEXT('\\'))
        return 0;
    if (_wcsnicmp(target, source, sourceLength) == 0 && target[sourceLength] == TEXT('\\'))
        return 0;

    WCHAR sourcePath[TWEAK_PATH_UNITS];
    WCHAR targetPath[TWEAK_PATH_UNITS];
    CopyMemory(sourcePath, source, (sourceLength + 1) * sizeof(WCHAR));
    CopyMemory(targetPath, target, (targetLength + 1) * sizeof(WCHAR));
    DWORD failed = 0;
    MoveTree(sourcePath, sourceLength, targetPath, targetLength, &failed);
    return failed;
}

void MoveFolderContents(LPCWSTR source, LPCWSTR target) {
    MoveFolderTree(source, target);
}
