// The two recursive folder operations of the tweak engine: deleting the files of a folder tree
// and moving a folder tree into another folder.
#include "tweaks/Apply.h"

#include <windows.h>
#include <strsafe.h>

#include <new>

#include "tweaks/ApplySteps.h"
#include "tweaks/FolderMove.h"

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
    // Only the folder the file system reaches for this text, and never the root.
    WCHAR path[TWEAK_PATH_UNITS];
    if (ResolveFolderPath(folder, path) == FOLDER_PATH_OK)
        DeleteTree(path, wcslen(path), removeSubfolders);
}

// The move alone, without a registry value to go with it: all of it or nothing.
void MoveFolderContents(LPCWSTR source, LPCWSTR target) {
    WCHAR sourceFolder[TWEAK_PATH_UNITS];
    WCHAR targetFolder[TWEAK_PATH_UNITS];
    if (ResolveFolderPath(source, sourceFolder) != FOLDER_PATH_OK ||
        ResolveFolderPath(target, targetFolder) != FOLDER_PATH_OK)
        return;
    FOLDER_RELATION relation = CompareFolders(targetFolder, sourceFolder);
    if (relation == FOLDERS_SAME || relation == FOLDER_INSIDE)
        return;
    CFolderMove* pMove = new (std::nothrow) CFolderMove;
    if (pMove && pMove->Plan(sourceFolder, targetFolder) && pMove->Run())
        pMove->Finish();
    delete pMove;
}
