// The steps of the Apply pass, shared between the files of the tweak engine.
#pragma once

#include <windows.h>

#include "settings/Settings.h"
#include "shell/Globals.h"

// Path buffers of the tweak engine hold this many UTF-16 units, NUL included.
#define TWEAK_PATH_UNITS 1024

// The state of one Apply pass, handed to every step.
struct APPLY_PASS {
    DWORD flags;           // option flags the pass acts on
    CSettings* pSettings;  // the record the flags came with
    LPWSTR pWork1;         // two work buffers of TWEAK_PATH_UNITS, zero between uses
    LPWSTR pWork2;
    BOOL restartNeeded;  // an animation value was changed
};

typedef void (*PFN_APPLY_STEP)(APPLY_PASS& pass);

// Registry tweaks
void LimitIeCacheStep(APPLY_PASS& pass);
void LimitIeHistoryStep(APPLY_PASS& pass);
void LimitIeCookiesStep(APPLY_PASS& pass);
void FontCacheStep(APPLY_PASS& pass);
void MenuAnimationStep(APPLY_PASS& pass);
void WindowAnimationStep(APPLY_PASS& pass);

// Folder clean-up and relocation
void CleanUserFolder1Step(APPLY_PASS& pass);
void CleanUserFolder2Step(APPLY_PASS& pass);
void CleanTempStep(APPLY_PASS& pass);
void CleanWindowsTempStep(APPLY_PASS& pass);
void CleanMyDocumentsTempStep(APPLY_PASS& pass);
void ClearIeCacheStep(APPLY_PASS& pass);
void ClearIeHistoryStep(APPLY_PASS& pass);
void MoveIeCacheStep(APPLY_PASS& pass);
void MoveAvantGoStep(APPLY_PASS& pass);
void MoveFavoritesStep(APPLY_PASS& pass);
void MoveFontsStep(APPLY_PASS& pass);
void MoveMyDocumentsStep(APPLY_PASS& pass);

// Dead entries
void ClearRegistryKeysStep(APPLY_PASS& pass);
void RemoveStartMenuItemsStep(APPLY_PASS& pass);

// Helpers shared by the steps

// Shows a failure in the program's usual form (ShowError) with a text formatted from its
// arguments (StringCchPrintfW's format). The text is only shown, so a cut one does no harm.
void ShowStepErrorFormat(LPCWSTR format, ...);

// Deletes a file whose size is known, adding the size to g_bytesCleaned when it is gone.
BOOL DeleteCountedFile(LPCWSTR path, DWORD sizeLow);

// Why a text names no entry that the pass may act on.
enum FOLDER_PATH_RESULT {
    FOLDER_PATH_OK = 0,
    FOLDER_PATH_EMPTY,     // no text at all
    FOLDER_PATH_RELATIVE,  // does not begin with a separator
    FOLDER_PATH_NETWORK,   // begins with two separators: a network name, never the root
    FOLDER_PATH_ROOT,      // the root folder, in whatever spelling
    FOLDER_PATH_BAD_NAME,  // "..", a wildcard or a character that no name may hold
    FOLDER_PATH_TOO_LONG   // does not fit a path buffer
};

// The one answer to "which entry does this text name": the path the file system will walk for
// it, "\" and "/" both separators, runs of separators one, "." components dropped, each name
// that exists in the spelling the device stores it in. out (outCch units) gets it without a
// final backslash ("\" alone for the root, with FOLDER_PATH_ROOT); it is empty after any other
// refusal.
FOLDER_PATH_RESULT ResolveDevicePath(LPCWSTR text, LPWSTR out, size_t outCch);

// The same for a folder to act on: out (TWEAK_PATH_UNITS) gets it with its final backslash and
// room left for the pattern that enumerates it; the root is refused.
FOLDER_PATH_RESULT ResolveFolderPath(LPCWSTR text, LPWSTR out);

// How a resolved folder lies to another; both end with their backslash.
enum FOLDER_RELATION {
    FOLDERS_APART,
    FOLDERS_SAME,
    FOLDER_INSIDE,   // the first lies inside the second
    FOLDER_CONTAINS  // the second lies inside the first
};
FOLDER_RELATION CompareFolders(LPCWSTR folder, LPCWSTR other);

// What is wrong with a refused text, said to the user after the text itself.
LPCWSTR FolderPathProblem(FOLDER_PATH_RESULT result);

// TRUE when the device has a folder at this path (no final backslash needed).
BOOL FolderExists(LPCWSTR folder);
