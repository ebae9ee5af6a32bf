// Shortcut files (.lnk) of the Windows CE shell: the decimal count of the characters after
// '#', then '#', then the target command line, e.g. 23#"\Windows\pword.exe" -n
#pragma once

#include "wintypes.h"

CE_BEGIN_DECLS

// Writes the shortcut file; fails when it exists already (ERROR_ALREADY_EXISTS) or cannot
// be written.
CEAPI BOOL SHCreateShortcut(LPWSTR szShortcut, LPWSTR szTarget);
// Reads the target command line into szTarget (at most cchMax units, NUL included).
// FALSE for a file that is not a shortcut, or a target that does not fit.
CEAPI BOOL SHGetShortcutTarget(LPCWSTR szShortcut, LPWSTR szTarget, int cbMax);

CE_END_DECLS
