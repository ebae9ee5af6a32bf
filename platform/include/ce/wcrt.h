// The wide C runtime of the device for WCHAR (UTF-16) strings.
// glibc's wcs* functions take wchar_t (32-bit), so these are C++ overloads for WCHAR.
#pragma once

#include "wintypes.h"

#include <stdarg.h>
#include <stdio.h>

#ifdef __cplusplus

inline size_t wcslen(const WCHAR* s) {
    const WCHAR* p = s;
    while (*p) ++p;
    return static_cast<size_t>(p - s);
}

inline WCHAR* wcscpy(WCHAR* dst, const WCHAR* src) {
    WCHAR* d = dst;
    while ((*d++ = *src++) != 0) {
    }
    return dst;
}

// As in C: copies at most n units and pads with NULs; no terminator when src has n or more.
inline WCHAR* wcsncpy(WCHAR* dst, const WCHAR* src, size_t n) {
    size_t i = 0;
    for (; i < n && src[i]; ++i) dst[i] = src[i];
    for (; i < n; ++i) dst[i] = 0;
    return dst;
}

inline WCHAR* wcscat(WCHAR* dst, const WCHAR* src) {
    wcscpy(dst + wcslen(dst), src);
    return dst;
}

inline WCHAR* wcsncat(WCHAR* dst, const WCHAR* src, size_t n) {
    WCHAR* d = dst + wcslen(dst);
    size_t i = 0;
    for (; i < n && src[i]; ++i) d[i] = src[i];
    d[i] = 0;
    return dst;
}

inline int wcscmp(const WCHAR* a, const WCHAR* b) {
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return (*a < *b) ? -1 : (*a > *b) ? 1 : 0;
}

inline int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
        if (a[i] == 0)
            return 0;
    }
    return 0;
}

inline const WCHAR* wcschr(const WCHAR* s, WCHAR c) {
    for (;; ++s) {
        if (*s == c)
            return s;
        if (*s == 0)
            return nullptr;
    }
}
inline WCHAR* wcschr(WCHAR* s, WCHAR c) {
    return const_cast<WCHAR*>(wcschr(static_cast<const WCHAR*>(s), c));
}

inline const WCHAR* wcsrchr(const WCHAR* s, WCHAR c) {
    const WCHAR* found = nullptr;
    for (;; ++s) {
        if (*s == c)
            found = s;
        if (*s == 0)
            return found;
    }
}
inline WCHAR* wcsrchr(WCHAR* s, WCHAR c) {
    return const_cast<WCHAR*>(wcsrchr(static_cast<const WCHAR*>(s), c));
}

inline const WCHAR* wcsstr(const WCHAR* haystack, const WCHAR* needle) {
    if (*needle == 0)
        return haystack;
    for (; *haystack; ++haystack) {
        const WCHAR* h = haystack;
        const WCHAR* n = needle;
        while (*n && *h == *n) {
            ++h;
            ++n;
        }
        if (*n == 0)
            return haystack;
    }
    return nullptr;
}
inline WCHAR* wcsstr(WCHAR* haystack, const WCHAR* needle) {
    return const_cast<WCHAR*>(wcsstr(static_cast<const WCHAR*>(haystack), needle));
}

// Case-insensitive comparisons (letters compare as lower case, as the Windows CRT does).
CEAPI int _wcsicmp(const WCHAR* a, const WCHAR* b);
CEAPI int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n);
CEAPI WCHAR* _wcslwr(WCHAR* s);
CEAPI WCHAR* _wcsupr(WCHAR* s);
CEAPI int _wtoi(const WCHAR* s);

// Opens a device file ("\My Documents\a.txt") with a Windows mode ("r", "wb", "a+", ...).
// Only paths inside the device image open; a symbolic link does not.
CEAPI FILE* _wfopen(const WCHAR* path, const WCHAR* mode);
CEAPI int _wremove(const WCHAR* path);

// Windows printf formatting: in these wide functions %s and %c take WCHAR text, %S and %C
// narrow text; d i u x X o c s S p, flags - + 0 space #, width and precision (also *), h l ll I64.
CEAPI int _snwprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...);
CEAPI int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args);
CEAPI int swprintf(WCHAR* buffer, const WCHAR* format, ...);

#endif  // __cplusplus

CE_BEGIN_DECLS
// USER's formatter: writes at most 1024 units (NUL included) like Windows; no floating point.
CEAPI int wsprintfW(LPWSTR buffer, LPCWSTR format, ...);
CEAPI int wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args);
CE_END_DECLS

#ifdef UNICODE
#define wsprintf wsprintfW
#define wvsprintf wvsprintfW
#endif
