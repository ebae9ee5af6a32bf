// Which folder a text names. A folder text comes from an edit box, a list entry, a shortcut or
// a registry value; whatever it holds, a clean-up or a move must reach only the folder that the
// file system itself would reach for that text, never the root, a network share or a neighbour
// named by a cut path. The file system takes "/" as a separator as well as "\", treats a run of
// separators as one, drops "." components and finds names whatever their letter case, so every
// judgement here (the root? the same folder? inside another?) is made on the path it will walk,
// never on the text as typed.
#include <windows.h>

#include "tweaks/ApplySteps.h"

static BOOL IsSeparator(WCHAR c) {
    return c == TEXT('\\') || c == TEXT('/');
}

// Characters that no file or folder name may hold, wildcards included.
static BOOL IsForbiddenInName(WCHAR c) {
    return c < 0x20 || c == TEXT('<') || c == TEXT('>') || c == TEXT(':') || c == TEXT('"') ||
           c == TEXT('|') || c == TEXT('*') || c == TEXT('?');
}

// Replaces the name at path[nameStart, length) with the spelling the device stores it in, when
// the entry exists. TRUE when it exists and is a folder, so that the next name can be looked up
// inside it.
static BOOL TakeStoredSpelling(LPWSTR path, size_t nameStart, size_t length) {
    WIN32_FIND_DATAW findData;
    HANDLE hFind = FindFirstFileW(path, &findData);
    if (hFind == INVALID_HANDLE_VALUE)
        return FALSE;
    FindClose(hFind);
    if (wcslen(findData.cFileName) == length - nameStart)
        CopyMemory(path + nameStart, findData.cFileName, (length - nameStart) * sizeof(WCHAR));
    return (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

FOLDER_PATH_RESULT ResolveDevicePath(LPCWSTR text, LPWSTR out, size_t outCch) {
    if (outCch < 2)
        return FOLDER_PATH_TOO_LONG;
    out[0] = 0;
    if (!text || !text[0])
        return FOLDER_PATH_EMPTY;
    if (!IsSeparator(text[0]))
        return FOLDER_PATH_RELATIVE;
    // "\\server\share" on Win32 and Windows CE alike; here there is no network, and it is
    // certainly not the root.
    if (IsSeparator(text[1]))
        return FOLDER_PATH_NETWORK;
    // The text itself must be a path of the device, whatever it would collapse to.
    for (size_t i = 0; text[i]; i++) {
        if (i + 1 >= TWEAK_PATH_UNITS)
            return FOLDER_PATH_TOO_LONG;
    }

    size_t used = 0;
    BOOL lookUp = TRUE;  // every name so far exists as a folder
    LPCWSTR p = text;
    while (*p) {
        while (IsSeparator(*p)) p++;
        if (!*p)
            break;
        LPCWSTR start = p;
        while (*p && !IsSeparator(*p)) {
            if (IsForbiddenInName(*p))
                return FOLDER_PATH_BAD_NAME;
            p++;
        }
        size_t length = (size_t)(p - start);
        if (length == 1 && start[0] == TEXT('.'))
            continue;
        // ".." is refused, never resolved: the device's own calls refuse it too, so no folder
        // is reached through it.
        if (length == 2 && start[0] == TEXT('.') && start[1] == TEXT('.')) {
            out[0] = 0;
            return FOLDER_PATH_BAD_NAME;
        }
        if (used + 1 + length >= outCch || used + 1 + length >= TWEAK_PATH_UNITS) {
            out[0] = 0;
            return FOLDER_PATH_TOO_LONG;
        }
        out[used++] = TEXT('\\');
        CopyMemory(out + used, start, length * sizeof(WCHAR));
        out[used + length] = 0;
        if (lookUp)
            lookUp = TakeStoredSpelling(out, used, used + length);
        used += length;
    }
    if (used == 0) {
        out[0] = TEXT('\\');
        out[1] = 0;
        return FOLDER_PATH_ROOT;
    }
    return FOLDER_PATH_OK;
}

FOLDER_PATH_RESULT ResolveFolderPath(LPCWSTR text, LPWSTR out) {
    FOLDER_PATH_RESULT result = ResolveDevicePath(text, out, TWEAK_PATH_UNITS);
    if (result != FOLDER_PATH_OK)
        return result;
    // The final backslash, and room after it for the "*" that enumerates the folder.
    size_t length = wcslen(out);
    if (length + 2 >= TWEAK_PATH_UNITS) {
        out[0] = 0;
        return FOLDER_PATH_TOO_LONG;
    }
    out[length] = TEXT('\\');
    out[length + 1] = 0;
    return FOLDER_PATH_OK;
}

FOLDER_RELATION CompareFolders(LPCWSTR folder, LPCWSTR other) {
    size_t folderLength = wcslen(folder);
    size_t otherLength = wcslen(other);
    size_t common = folderLength < otherLength ? folderLength : otherLength;
    // Both end with their backslash, so a shared start is a shared folder, never a shared
    // name start ("\Docs\" and "\Docs2\").
    if (wcsncmp(folder, other, common) != 0)
        return FOLDERS_APART;
    if (folderLength == otherLength)
        return FOLDERS_SAME;
    return folderLength > otherLength ? FOLDER_INSIDE : FOLDER_CONTAINS;
}

BOOL FolderExists(LPCWSTR folder) {
    WCHAR path[TWEAK_PATH_UNITS];
    if (ResolveDevicePath(folder, path, TWEAK_PATH_UNITS) != FOLDER_PATH_OK)
        return FALSE;
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

LPCWSTR FolderPathProblem(FOLDER_PATH_RESULT result) {
    switch (result) {
        case FOLDER_PATH_EMPTY:
            return TEXT("names no folder");
        case FOLDER_PATH_RELATIVE:
            return TEXT("is not a full path (it must begin with \\)");
        case FOLDER_PATH_NETWORK:
            return TEXT("is a network path, not a folder of this device");
        case FOLDER_PATH_ROOT:
            return TEXT("is the root folder of the device");
        case FOLDER_PATH_BAD_NAME:
            return TEXT("holds \"..\", a wildcard or a character that no folder name may hold");
        case FOLDER_PATH_TOO_LONG:
            return TEXT("is too long");
        default:
            return TEXT("is not a folder");
    }
}
