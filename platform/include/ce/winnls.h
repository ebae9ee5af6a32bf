// Locale-aware string comparison (the device's user locale; word sort).
#pragma once
#include "wintypes.h"

CE_BEGIN_DECLS

#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_NEUTRAL 0x0000
#define LOCALE_INVARIANT 0x007F

#define NORM_IGNORECASE 0x00000001
#define NORM_IGNORENONSPACE 0x00000002
#define NORM_IGNORESYMBOLS 0x00000004
#define SORT_STRINGSORT 0x00001000
#define NORM_IGNOREKANATYPE 0x00010000
#define NORM_IGNOREWIDTH 0x00020000

#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3

// Compares two strings as the locale sorts them: CSTR_LESS_THAN, CSTR_EQUAL or
// CSTR_GREATER_THAN, or 0 with ERROR_INVALID_PARAMETER / ERROR_INVALID_FLAGS. A count of -1
// means NUL-terminated.
CEAPI int WINAPI CompareStringW(LCID locale, DWORD flags, LPCWSTR string1, int count1,
                                LPCWSTR string2, int count2);
// Negative, zero or positive as CompareStringW(LOCALE_USER_DEFAULT, 0 or NORM_IGNORECASE).
CEAPI int WINAPI lstrcmpW(LPCWSTR string1, LPCWSTR string2);
CEAPI int WINAPI lstrcmpiW(LPCWSTR string1, LPCWSTR string2);

#define CompareString CompareStringW
#define lstrcmp lstrcmpW
#define lstrcmpi lstrcmpiW

CE_END_DECLS
