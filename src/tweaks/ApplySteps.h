// The steps of the Apply pass, shared between the files of the tweak engine.
#pragma once

#include <windows.h>

#include "settings/Settings.h"

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

// Shows a failure in the program's usual form: no owner, caption "Error", OK only.
void ShowStepError(LPCWSTR text);

// Deletes a file whose size is known, adding the size to g_bytesCleaned when it is gone.
BOOL DeleteCountedFile(LPCWSTR path, DWORD sizeLow);

// Makes a folder text fit to act on: a device path with single separators, ending in a
// backslash when finalBackslash is set and without one otherwise. FALSE (out left empty) for a
// text that is empty, not absolute, the root folder, holds wildcards or "." / ".." components,
// or would not fit outCch units.
BOOL NormalizeFolderPath(LPCWSTR text, LPWSTR out, size_t outCch, BOOL finalBackslash);

// TRUE when the device has a folder at this path (no final backslash needed).
BOOL FolderExists(LPCWSTR folder);

// Moves what lies below source (no final backslash) into target (with it); returns how many
// entries could not be moved and were left in the source. Moves nothing when source is the root
// or target is source itself or lies inside it.
DWORD MoveFolderTree(LPCWSTR source, LPCWSTR target);
