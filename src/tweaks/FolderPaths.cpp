// Checking folder paths before the tweak engine acts on them. A folder text comes from an edit
// box, a list entry or a registry value; whatever it holds, a clean-up or a move must only ever
// reach the folder it names, never the root and never a neighbour named by a cut path.
#include <windows.h>

#include "tweaks/ApplySteps.h"

// TRUE when the component [p, p + length) is "." or "..".
static BOOL IsDotComponent(LPCWSTR p, size_t length) {
    return (length == 1 && p[0] == TEXT('.')) ||
           (length == 2 && p[0] == TEXT('.') && p[1] == TEXT('.'));
}

BOOL NormalizeFolderPath(LPCWSTR text, LPWSTR out, size_t outCch, BOOL finalBackslash) {
    if (outCch == 0)
        return FALSE;
    out[0] = 0;
    if (!text || text[0] != TEXT('\\'))
        return FALSE;

    // Copy component by component: runs of separators become one, so a value that an earlier
    // relocation wrote with its final backslash joins cleanly with another name.
    size_t used = 0;
    LPCWSTR p = text;
    while (*p) {
        while (*p == TEXT('\\')) p++;
        if (!*p)
            break;
        LPCWSTR start = p;
        while (*p && *p != TEXT('\\')) {
            if (*p == TEXT('*') || *p == TEXT('?'))
                return FALSE;
            p++;
        }
        size_t length = (size_t)(p - start);
        if (IsDotComponent(start, length))
            return FALSE;
        if (used + 1 + length >= outCch)
            return FALSE;
        out[used++] = TEXT('\\');
        for (size_t i = 0; i < length; i++) out[used++] = start[i];
    }
    // Nothing but separators: the root, which no step may clean or move from.
    if (used == 0) {
        out[0] = 0;
        return FALSE;
    }
    if (finalBackslash) {
        if (used + 1 >= outCch) {
            out[0] = 0;
            return FALSE;
        }
        out[used++] = TEXT('\\');
    }
    out[used] = 0;
    return TRUE;
}

BOOL FolderExists(LPCWSTR folder) {
    WCHAR path[TWEAK_PATH_UNITS];
    if (!NormalizeFolderPath(folder, path, TWEAK_PATH_UNITS, FALSE))
        return FALSE;
    WIN32_FIND_DATAW findData;
    HANDLE hFind = FindFirstFileW(path, &findData);
    if (hFind == INVALID_HANDLE_VALUE)
        return FALSE;
    FindClose(hFind);
    return (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
