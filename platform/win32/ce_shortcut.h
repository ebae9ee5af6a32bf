// The Windows CE shell's shortcut calls (shellapi.h on the device; absent from the desktop).
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Returns TRUE on success; FALSE also when the shortcut already exists.
DWORD WINAPI SHCreateShortcut(LPWSTR szShortcut, LPWSTR szTarget);
// Copies the shortcut's target command line into szTarget (cbMax bytes).
BOOL WINAPI SHGetShortcutTarget(LPWSTR szShortcut, LPWSTR szTarget, int cbMax);

#ifdef __cplusplus
}
#endif
