// The wide CRT, <strsafe.h>, and COREDLL's string, memory and time helpers.
#include <strsafe.h>

#include "format.h"
#include "internal.h"

#include <time.h>

#include <cstdlib>
#include <cstring>
#include <string>

using ce::kernel::FormatSink;
using ce::kernel::formatW;

namespace {

char16_t lowerCase(char16_t c) {
    return ce::kernel::foldCase(c);
}

char16_t upperCase(char16_t c) {
    if (c >= u'a' && c <= u'z')
        return static_cast<char16_t>(c - 32);
    // the inverse of the folding for the ranges it covers
    for (char16_t u : {static_cast<char16_t>(c - 32), static_cast<char16_t>(c - 1),
                       static_cast<char16_t>(c - 80)}) {
        if (u != c && ce::kernel::foldCase(u) == c)
            return u;
    }
    return c;
}

// ASCII digits of a wide number, for strtol.
std::string narrowNumber(const WCHAR* s, size_t& consumedBase) {
    std::string out;
    size_t i = 0;
    while (s[i] == u' ' || s[i] == u'\t' || s[i] == u'\n' || s[i] == u'\r') ++i;
    consumedBase = i;
    for (; s[i] && s[i] < 0x80; ++i) {
        char c = static_cast<char>(s[i]);
        if (!(isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-'))
            break;
        out += c;
    }
    return out;
}

bool validCount(size_t cch) {
    return cch > 0 && cch <= STRSAFE_MAX_CCH;
}

}  // namespace

int _wcsicmp(const WCHAR* a, const WCHAR* b) {
    for (;; ++a, ++b) {
        char16_t x = lowerCase(*a), y = lowerCase(*b);
        if (x != y)
            return x < y ? -1 : 1;
        if (x == 0)
            return 0;
    }
}

int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        char16_t x = lowerCase(a[i]), y = lowerCase(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
        if (x == 0)
            return 0;
    }
    return 0;
}

WCHAR* _wcslwr(WCHAR* s) {
    for (WCHAR* p = s; p && *p; ++p) *p = lowerCase(*p);
    return s;
}

WCHAR* _wcsupr(WCHAR* s) {
    for (WCHAR* p = s; p && *p; ++p) *p = upperCase(*p);
    return s;
}

namespace {

long parseLong(const WCHAR* s, WCHAR** end, int base) {
    size_t skip = 0;
    std::string digits = narrowNumber(s, skip);
    char* e = nullptr;
    long v = strtol(digits.c_str(), &e, base);
    if (end)
        *end = const_cast<WCHAR*>(e == digits.c_str() ? s : s + skip + (e - digits.c_str()));
    if (v > INT32_MAX)
        v = INT32_MAX;  // a Windows long is 32 bits
    if (v < INT32_MIN)
        v = INT32_MIN;
    return v;
}

}  // namespace

int _wtoi(const WCHAR* s) {
    return s ? static_cast<int>(parseLong(s, nullptr, 10)) : 0;
}

int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args) {
    // The CRT's contract: at most count units; no terminator when the text fills them all;
    // -1 when it does not fit.
    std::u16string tmp(count + 1, u'\0');
    FormatSink sink(tmp.data(), count + 1);
    formatW(sink, format, args, true);
    size_t n = sink.written();
    if (buffer)
        memcpy(buffer, tmp.data(), n * sizeof(WCHAR));
    if (sink.truncated())
        return -1;
    if (buffer && n < count)
        buffer[n] = 0;
    return static_cast<int>(n);
}

int _snwprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...) {
    va_list ap;
    va_start(ap, format);
    int n = _vsnwprintf(buffer, count, format, ap);
    va_end(ap);
    return n;
}

extern "C" {

CEAPI int wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args) {
    if (!buffer)
        return 0;
    FormatSink sink(buffer, 1024);  // USER never writes more than 1024 units
    formatW(sink, format, args, false);
    sink.finish();
    return static_cast<int>(sink.written());
}

CEAPI int wsprintfW(LPWSTR buffer, LPCWSTR format, ...) {
    va_list ap;
    va_start(ap, format);
    int n = wvsprintfW(buffer, format, ap);
    va_end(ap);
    return n;
}

// ---- strsafe ----

CEAPI HRESULT StringCchCopyNW(LPWSTR dest, size_t cch, LPCWSTR src, size_t cchToCopy) {
    if (!validCount(cch) || !dest)
        return STRSAFE_E_INVALID_PARAMETER;
    if (!src)
        src = u"";
    size_t i = 0;
    for (; i < cchToCopy && src[i]; ++i) {
        if (i + 1 >= cch) {
            dest[i] = 0;
            return STRSAFE_E_INSUFFICIENT_BUFFER;
        }
        dest[i] = src[i];
    }
    dest[i] = 0;
    return S_OK;
}

CEAPI HRESULT StringCchCopyW(LPWSTR dest, size_t cch, LPCWSTR src) {
    return StringCchCopyNW(dest, cch, src, STRSAFE_MAX_CCH);
}

CEAPI HRESULT StringCchLengthW(LPCWSTR s, size_t cchMax, size_t* length) {
    if (!s || cchMax > STRSAFE_MAX_CCH) {
        if (length)
            *length = 0;
        return STRSAFE_E_INVALID_PARAMETER;
    }
    size_t n = 0;
    while (n < cchMax && s[n]) ++n;
    if (n == cchMax) {
        if (length)
            *length = 0;
        return STRSAFE_E_INVALID_PARAMETER;
    }
    if (length)
        *length = n;
    return S_OK;
}

CEAPI HRESULT StringCchCatNW(LPWSTR dest, size_t cch, LPCWSTR src, size_t cchToAppend) {
    if (!validCount(cch) || !dest)
        return STRSAFE_E_INVALID_PARAMETER;
    size_t used = 0;
    if (FAILED(StringCchLengthW(dest, cch, &used)))
        return STRSAFE_E_INVALID_PARAMETER;
    return StringCchCopyNW(dest + used, cch - used, src, cchToAppend);
}

CEAPI HRESULT StringCchCatW(LPWSTR dest, size_t cch, LPCWSTR src) {
    return StringCchCatNW(dest, cch, src, STRSAFE_MAX_CCH);
}

CEAPI HRESULT StringCchVPrintfW(LPWSTR dest, size_t cch, LPCWSTR format, va_list args) {
    if (!validCount(cch) || !dest)
        return STRSAFE_E_INVALID_PARAMETER;
    if (!format) {
        dest[0] = 0;
        return STRSAFE_E_INVALID_PARAMETER;
    }
    FormatSink sink(dest, cch);
    formatW(sink, format, args, true);
    sink.finish();
    return sink.truncated() ? STRSAFE_E_INSUFFICIENT_BUFFER : S_OK;
}

CEAPI HRESULT StringCchPrintfW(LPWSTR dest, size_t cch, LPCWSTR format, ...) {
    va_list ap;
    va_start(ap, format);
    HRESULT hr = StringCchVPrintfW(dest, cch, format, ap);
    va_end(ap);
    return hr;
}

CEAPI HRESULT StringCbCopyW(LPWSTR dest, size_t cb, LPCWSTR src) {
    return StringCchCopyW(dest, cb / sizeof(WCHAR), src);
}

CEAPI HRESULT StringCbCatW(LPWSTR dest, size_t cb, LPCWSTR src) {
    return StringCchCatW(dest, cb / sizeof(WCHAR), src);
}

CEAPI HRESULT StringCbPrintfW(LPWSTR dest, size_t cb, LPCWSTR format, ...) {
    va_list ap;
    va_start(ap, format);
    HRESULT hr = StringCchVPrintfW(dest, cb / sizeof(WCHAR), format, ap);
    va_end(ap);
    return hr;
}

CEAPI HRESULT StringCbLengthW(LPCWSTR s, size_t cbMax, size_t* length) {
    size_t cch = 0;
    HRESULT hr = StringCchLengthW(s, cbMax / sizeof(WCHAR), &cch);
    if (length)
        *length = SUCCEEDED(hr) ? cch * sizeof(WCHAR) : 0;
    return hr;
}

// ---- COREDLL strings, memory, time ----

CEAPI int WINAPI lstrlenW(LPCWSTR s) {
    return s ? static_cast<int>(wcslen(s)) : 0;
}

CEAPI LPWSTR WINAPI lstrcpyW(LPWSTR dst, LPCWSTR src) {
    if (!dst || !src)
        return nullptr;
    return wcscpy(dst, src);
}

CEAPI LPWSTR WINAPI lstrcpynW(LPWSTR dst, LPCWSTR src, int max) {
    if (!dst || !src || max <= 0)
        return nullptr;
    int i = 0;
    for (; i + 1 < max && src[i]; ++i) dst[i] = src[i];
    dst[i] = 0;
    return dst;
}

CEAPI LPWSTR WINAPI lstrcatW(LPWSTR dst, LPCWSTR src) {
    if (!dst || !src)
        return nullptr;
    return wcscat(dst, src);
}

CEAPI HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) {
    void* p = (flags & LMEM_ZEROINIT) ? calloc(1, bytes ? bytes : 1) : malloc(bytes ? bytes : 1);
    if (!p)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return p;
}

CEAPI HLOCAL WINAPI LocalFree(HLOCAL mem) {
    free(mem);
    return nullptr;
}

CEAPI DWORD WINAPI GetTickCount(void) {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<DWORD>(static_cast<uint64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
}

CEAPI void WINAPI Sleep(DWORD ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

}  // extern "C"
