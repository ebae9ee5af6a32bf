// A folder's content moved into another folder as one change. Everything that can be checked is
// checked before the first file moves (every entry can be listed and named again, no name is
// taken in the target, every path fits); a file that still fails to move brings back what had
// already moved, so the user's files are never left split between two folders. A move that was
// cut short (the device lost power) can leave a file in both places; such a copy with the same
// bytes counts as moved, so that the next try finishes the move.
#include "tweaks/FolderMove.h"

#include <windows.h>
#include <strsafe.h>

#include <string.h>

// Attributes that a folder created in the target takes over from its source folder.
#define MOVED_FOLDER_ATTRIBUTES                                                \
    (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY | \
     FILE_ATTRIBUTE_ARCHIVE)

CFolderMove::CFolderMove()
    : m_sourceLength(0), m_targetLength(0), m_problem(MOVE_OK), m_problemError(0) {
    m_source[0] = 0;
    m_target[0] = 0;
    m_problemPath[0] = 0;
    m_strandedPath[0] = 0;
}

BOOL CFolderMove::Fail(FOLDER_MOVE_PROBLEM problem, LPCWSTR path, DWORD error) {
    m_problem = problem;
    m_problemError = error;
    StringCchCopyW(m_problemPath, TWEAK_PATH_UNITS, path);
    return FALSE;
}

static BOOL IsFolderEntry(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// TRUE when both files can be read and hold the same bytes.
static BOOL SameFileContents(LPCWSTR path, LPCWSTR other) {
    HANDLE hFile = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE hOther = CreateFileW(other, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    BOOL same = hFile != INVALID_HANDLE_VALUE && hOther != INVALID_HANDLE_VALUE;
    if (same) {
        DWORD high = 0, otherHigh = 0;
        DWORD low = GetFileSize(hFile, &high);
        same = low == GetFileSize(hOther, &otherHigh) && high == otherHigh;
    }
    BYTE block[2048];
    BYTE otherBlock[sizeof(block)];
    while (same) {
        DWORD read = 0, otherRead = 0;
        same = ReadFile(hFile, block, sizeof(block), &read, NULL) &&
               ReadFile(hOther, otherBlock, sizeof(otherBlock), &otherRead, NULL) &&
               read == otherRead && memcmp(block, otherBlock, read) == 0;
        if (read == 0)
            break;
    }
    if (hFile != INVALID_HANDLE_VALUE)
        CloseHandle(hFile);
    if (hOther != INVALID_HANDLE_VALUE)
        CloseHandle(hOther);
    return same;
}

BOOL CFolderMove::Plan(LPCWSTR source, LPCWSTR target) {
    m_entries.clear();
    m_problem = MOVE_OK;
    if (FAILED(StringCchCopyW(m_source, TWEAK_PATH_UNITS, source)) ||
        FAILED(StringCchCopyW(m_target, TWEAK_PATH_UNITS, target)))
        return Fail(MOVE_TOO_LONG, source, 0);
    m_sourceLength = wcslen(m_source);
    m_targetLength = wcslen(m_target);
    // A folder that is not there holds nothing to move.
    if (GetFileAttributesW(m_source) == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return TRUE;
        return Fail(MOVE_UNREADABLE, m_source, error);
    }
    WCHAR sourcePath[TWEAK_PATH_UNITS];
    WCHAR targetPath[TWEAK_PATH_UNITS];
    CopyMemory(sourcePath, m_source, (m_sourceLength + 1) * sizeof(WCHAR));
    CopyMemory(targetPath, m_target, (m_targetLength + 1) * sizeof(WCHAR));
    return PlanFolder(sourcePath, m_sourceLength, targetPath, m_targetLength);
}

// source[0, sourceLength) and target[0, targetLength) are folders ending in a backslash; both
// buffers are extended in place for each entry and given back unchanged.
BOOL CFolderMove::PlanFolder(LPWSTR source, size_t sourceLength, LPWSTR target,
                             size_t targetLength) {
    if (sourceLength + 2 > TWEAK_PATH_UNITS)
        return Fail(MOVE_TOO_LONG, source, 0);
    source[sourceLength] = TEXT('*');
    source[sourceLength + 1] = 0;
    WIN32_FIND_DATAW findData;
    HANDLE hFind = FindFirstFileW(source, &findData);
    source[sourceLength] = 0;
    if (hFind == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES)
            return TRUE;  // an empty folder
        return Fail(MOVE_UNREADABLE, source, error);
    }
    BOOL planned = TRUE;
    do {
        planned = PlanEntry(findData, source, sourceLength, target, targetLength);
    } while (planned && FindNextFileW(hFind, &findData));
    // A listing that stops early would leave files behind unseen.
    DWORD error = planned ? GetLastError() : ERROR_NO_MORE_FILES;
    FindClose(hFind);
    if (error != ERROR_NO_MORE_FILES)
        return Fail(MOVE_UNREADABLE, source, error);
    return planned;
}

BOOL CFolderMove::PlanEntry(const WIN32_FIND_DATAW& findData, LPWSTR source, size_t sourceLength,
                            LPWSTR target, size_t targetLength) {
    BOOL isFolder = IsFolderEntry(findData.dwFileAttributes);
    size_t nameLength = wcslen(findData.cFileName);
    // A folder needs room for its backslash and the "*" that lists it.
    size_t room = isFolder ? 2 : 0;
    if (sourceLength + nameLength + room >= TWEAK_PATH_UNITS ||
        targetLength + nameLength + room >= TWEAK_PATH_UNITS)
        return Fail(MOVE_TOO_LONG, source, 0);
    CopyMemory(source + sourceLength, findData.cFileName, (nameLength + 1) * sizeof(WCHAR));
    CopyMemory(target + targetLength, findData.cFileName, (nameLength + 1) * sizeof(WCHAR));
    BOOL planned = TRUE;
    // A name that the listing gives but a lookup does not find could not be moved either.
    if (GetFileAttributesW(source) == INVALID_FILE_ATTRIBUTES)
        planned = Fail(MOVE_UNREADABLE, source, GetLastError());
    DWORD existing = planned ? GetFileAttributesW(target) : INVALID_FILE_ATTRIBUTES;
    BOOL inTarget = FALSE;
    if (existing != INVALID_FILE_ATTRIBUTES && !isFolder && !IsFolderEntry(existing)) {
        inTarget = SameFileContents(source, target);
        if (!inTarget)
            planned = Fail(MOVE_NAME_TAKEN, target, ERROR_ALREADY_EXISTS);
    } else if (existing != INVALID_FILE_ATTRIBUTES) {
        // Folders merge into a folder of the same name; anything else would replace or mix.
        target[targetLength + nameLength] = TEXT('\\');
        target[targetLength + nameLength + 1] = 0;
        FOLDER_RELATION relation = CompareFolders(target, m_source);
        target[targetLength + nameLength] = 0;
        if (!isFolder || !IsFolderEntry(existing) || relation == FOLDERS_SAME ||
            relation == FOLDER_INSIDE)
            planned = Fail(MOVE_NAME_TAKEN, target, ERROR_ALREADY_EXISTS);
    }
    if (planned) {
        ENTRY entry;
        entry.relative.assign(source + m_sourceLength);
        entry.attributes = findData.dwFileAttributes;
        entry.inTarget = inTarget;
        entry.done = FALSE;
        m_entries.push_back(entry);
        if (isFolder) {
            size_t childSource = sourceLength + nameLength + 1;
            size_t childTarget = targetLength + nameLength + 1;
            source[childSource - 1] = TEXT('\\');
            source[childSource] = 0;
            target[childTarget - 1] = TEXT('\\');
            target[childTarget] = 0;
            planned = PlanFolder(source, childSource, target, childTarget);
        }
    }
    source[sourceLength] = 0;
    target[targetLength] = 0;
    return planned;
}

BOOL CFolderMove::BuildPaths(const ENTRY& entry, LPWSTR source, LPWSTR target) const {
    return SUCCEEDED(StringCchPrintfW(source, TWEAK_PATH_UNITS, TEXT("%s%s"), m_source,
                                      entry.relative.c_str())) &&
           SUCCEEDED(StringCchPrintfW(target, TWEAK_PATH_UNITS, TEXT("%s%s"), m_target,
                                      entry.relative.c_str()));
}

BOOL CFolderMove::Run() {
    WCHAR source[TWEAK_PATH_UNITS];
    WCHAR target[TWEAK_PATH_UNITS];
    for (size_t i = 0; i < m_entries.size(); i++) {
        ENTRY& entry = m_entries[i];
        if (entry.inTarget)
            continue;  // its source copy goes once the move stands
        if (!BuildPaths(entry, source, target)) {
            Undo();
            return Fail(MOVE_TOO_LONG, m_source, 0);
        }
        if (IsFolderEntry(entry.attributes)) {
            // Listed before its content, so the content always has its folder to go to.
            if (GetFileAttributesW(target) != INVALID_FILE_ATTRIBUTES)
                continue;
            if (!CreateDirectoryW(target, NULL)) {
                DWORD error = GetLastError();
                Undo();
                return Fail(MOVE_FAILED, target, error);
            }
        } else if (!MoveFileW(source, target)) {
            DWORD error = GetLastError();
            Undo();
            return Fail(MOVE_FAILED, source, error);
        }
        entry.done = TRUE;
    }
    // Last, so that a read-only folder is filled before it becomes read-only.
    for (size_t i = 0; i < m_entries.size(); i++) {
        const ENTRY& entry = m_entries[i];
        if (entry.done && IsFolderEntry(entry.attributes) &&
            (entry.attributes & MOVED_FOLDER_ATTRIBUTES) && BuildPaths(entry, source, target))
            SetFileAttributesW(target, entry.attributes & MOVED_FOLDER_ATTRIBUTES);
    }
    return TRUE;
}

BOOL CFolderMove::Undo() {
    WCHAR source[TWEAK_PATH_UNITS];
    WCHAR target[TWEAK_PATH_UNITS];
    BOOL whole = TRUE;
    for (size_t i = m_entries.size(); i > 0; i--) {
        ENTRY& entry = m_entries[i - 1];
        if (!entry.done || !BuildPaths(entry, source, target))
            continue;
        if (IsFolderEntry(entry.attributes)) {
            // Only a folder the move made; it is empty unless a file could not go back.
            SetFileAttributesW(target, FILE_ATTRIBUTE_NORMAL);
            RemoveDirectoryW(target);
            entry.done = FALSE;
        } else if (MoveFileW(target, source)) {
            entry.done = FALSE;
        } else {
            if (whole)
                StringCchCopyW(m_strandedPath, TWEAK_PATH_UNITS, target);
            whole = FALSE;
        }
    }
    return whole;
}

void CFolderMove::Finish() {
    WCHAR source[TWEAK_PATH_UNITS];
    WCHAR target[TWEAK_PATH_UNITS];
    for (size_t i = 0; i < m_entries.size(); i++) {
        const ENTRY& entry = m_entries[i];
        if (entry.inTarget && BuildPaths(entry, source, target))
            DeleteFileW(source);
    }
    // Deepest first: a folder is empty only once its subfolders are gone.
    for (size_t i = m_entries.size(); i > 0; i--) {
        const ENTRY& entry = m_entries[i - 1];
        if (!IsFolderEntry(entry.attributes) || !BuildPaths(entry, source, target) ||
            RemoveDirectoryW(source) || !(entry.attributes & FILE_ATTRIBUTE_READONLY))
            continue;
        // Its copy in the target is read-only now; the empty one left behind need not be.
        SetFileAttributesW(source,
                           entry.attributes & ~FILE_ATTRIBUTE_READONLY & MOVED_FOLDER_ATTRIBUTES);
        if (!RemoveDirectoryW(source))
            SetFileAttributesW(source, entry.attributes & MOVED_FOLDER_ATTRIBUTES);
    }
}
