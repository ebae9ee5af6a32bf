// CompareStringW, lstrcmpW, lstrcmpiW: the device's sort order.
//
// Strings are compared in levels, the way the system's sort tables work:
//   1. alphabetic weight: symbols first (in the table's order), then digits, then letters
//      (accented letters with their base letter), then everything else by code point;
//   2. diacritics (a before a-grave), unless NORM_IGNORENONSPACE;
//   3. case (lower case before upper case), unless NORM_IGNORECASE;
//   4. "word sort": the hyphen and the apostrophe carry no alphabetic weight, so "co-op" sorts
//      beside "coop"; they decide only between strings that are otherwise equal.
//      SORT_STRINGSORT gives them the weight of a symbol instead.
#include <windows.h>

#include <array>
#include <cstdint>

#ifndef ERROR_INVALID_PARAMETER
#define ERROR_INVALID_PARAMETER 87
#endif
#ifndef ERROR_INVALID_FLAGS
#define ERROR_INVALID_FLAGS 1004
#endif

namespace {

enum Group : uint32_t {
    kIgnorable = 0,
    kSymbol = 0x10000,
    kDigit = 0x20000,
    kLetter = 0x30000,
    kOther = 0x40000,
};

struct Weight {
    uint32_t primary = kIgnorable;  // 0: no alphabetic weight
    uint8_t diacritic = 0;
    uint8_t upper = 0;
    bool wordSortSpecial = false;  // hyphen or apostrophe
};

// The order of the ASCII symbols. Hyphen and apostrophe lead it: that is where SORT_STRINGSORT
// puts them.
constexpr char16_t kSymbolOrder[] = u"'-\t\n\r !\"#$%&()*,./:;?@[\\]^_`{|}~+<=>";

// Latin-1 letters U+00C0..U+00FF: base letter (0 for none) and diacritic rank.
struct Latin1 {
    char base;
    uint8_t diacritic;
};
constexpr Latin1 kLatin1[64] = {
    {'a', 1}, {'a', 2}, {'a', 3}, {'a', 4}, {'a', 5}, {'a', 6}, {0, 0},   {'c', 1},  // C0
    {'e', 1}, {'e', 2}, {'e', 3}, {'e', 4}, {'i', 1}, {'i', 2}, {'i', 3}, {'i', 4},  // C8
    {'d', 1}, {'n', 1}, {'o', 1}, {'o', 2}, {'o', 3}, {'o', 4}, {'o', 5}, {0, 0},    // D0
    {'o', 6}, {'u', 1}, {'u', 2}, {'u', 3}, {'u', 4}, {'y', 1}, {0, 0},   {0, 0},    // D8
    {'a', 1}, {'a', 2}, {'a', 3}, {'a', 4}, {'a', 5}, {'a', 6}, {0, 0},   {'c', 1},  // E0
    {'e', 1}, {'e', 2}, {'e', 3}, {'e', 4}, {'i', 1}, {'i', 2}, {'i', 3}, {'i', 4},  // E8
    {'d', 1}, {'n', 1}, {'o', 1}, {'o', 2}, {'o', 3}, {'o', 4}, {'o', 5}, {0, 0},    // F0
    {'o', 6}, {'u', 1}, {'u', 2}, {'u', 3}, {'u', 4}, {'y', 1}, {0, 0},   {'y', 4},  // F8
};

uint32_t letterWeight(char lower) {
    return kLetter + static_cast<uint32_t>(lower - 'a') * 16;
}

std::array<Weight, 128> buildAsciiWeights() {
    std::array<Weight, 128> table{};
    int rank = 1;
    for (const char16_t* s = kSymbolOrder; *s; ++s) table[*s].primary = kSymbol + rank++;
    for (char c = '0'; c <= '9'; ++c) table[c].primary = kDigit + (c - '0');
    for (char c = 'a'; c <= 'z'; ++c) {
        table[c].primary = letterWeight(c);
        table[c - 'a' + 'A'].primary = letterWeight(c);
        table[c - 'a' + 'A'].upper = 1;
    }
    table['-'].wordSortSpecial = true;
    table['\''].wordSortSpecial = true;
    return table;
}

const std::array<Weight, 128> kAscii = buildAsciiWeights();

Weight weightOf(char16_t c) {
    if (c < 128)
        return kAscii[c];
    Weight w;
    if (c >= 0xC0 && c <= 0xFF) {
        const Latin1& l = kLatin1[c - 0xC0];
        if (l.base) {
            w.primary = letterWeight(l.base);
            w.diacritic = l.diacritic;
            w.upper = (c < 0xE0) ? 1 : 0;
            return w;
        }
    }
    if (c == 0xAD)
        return w;  // soft hyphen: no weight at all
    if ((c >= 0x80 && c < 0xC0) || c == 0xD7 || c == 0xF7 || (c >= 0x2000 && c < 0x2070)) {
        w.primary = kSymbol + 0x100 + c;
        return w;
    }
    w.primary = kOther + c;
    return w;
}

struct Options {
    bool ignoreCase;
    bool ignoreDiacritics;
    bool ignoreSymbols;
    bool stringSort;
};

// The weight a character has at the alphabetic level under the options.
inline Weight effectiveWeight(char16_t c, const Options& o) {
    Weight w = weightOf(c);
    if (w.wordSortSpecial && !o.stringSort) {
        w.primary = kIgnorable;
    } else if (w.wordSortSpecial) {
        w.wordSortSpecial = false;
    }
    if (o.ignoreSymbols && (w.primary & 0xFFFF0000u) == kSymbol) {
        w.primary = kIgnorable;
        w.wordSortSpecial = false;
    }
    return w;
}

// Level 4: the hyphens and apostrophes of two strings equal in everything else. The string with
// fewer of them sorts first; otherwise the first one placed earlier sorts later.
int compareSpecials(const char16_t* a, size_t na, const char16_t* b, size_t nb, const Options& o) {
    size_t i = 0, j = 0;
    for (;;) {
        while (i < na && !effectiveWeight(a[i], o).wordSortSpecial) ++i;
        while (j < nb && !effectiveWeight(b[j], o).wordSortSpecial) ++j;
        if (i == na || j == nb)
            return (i == na ? 0 : 1) - (j == nb ? 0 : 1);
        if (i != j)
            return i < j ? 1 : -1;
        if (a[i] != b[j])
            return a[i] == '\'' ? -1 : 1;
        ++i;
        ++j;
    }
}

int compareWeighted(const char16_t* a, size_t na, const char16_t* b, size_t nb, const Options& o) {
    // An identical beginning weighs the same at every level, hyphens included: start after it.
    size_t same = 0;
    while (same < na && same < nb && a[same] == b[same]) ++same;
    a += same;
    b += same;
    na -= same;
    nb -= same;
    size_t i = 0, j = 0;
    int diacritic = 0, letterCase = 0;
    for (;;) {
        Weight wa, wb;
        while (i < na && (wa = effectiveWeight(a[i], o)).primary == kIgnorable) ++i;
        while (j < nb && (wb = effectiveWeight(b[j], o)).primary == kIgnorable) ++j;
        if (i == na || j == nb) {
            if (i != na)
                return 1;
            if (j != nb)
                return -1;
            break;
        }
        if (wa.primary != wb.primary)
            return wa.primary < wb.primary ? -1 : 1;
        if (diacritic == 0 && wa.diacritic != wb.diacritic)
            diacritic = wa.diacritic < wb.diacritic ? -1 : 1;
        if (letterCase == 0 && wa.upper != wb.upper)
            letterCase = wa.upper < wb.upper ? -1 : 1;
        ++i;
        ++j;
    }
    if (!o.ignoreDiacritics && diacritic != 0)
        return diacritic;
    if (!o.ignoreCase && letterCase != 0)
        return letterCase;
    if (o.ignoreSymbols)
        return 0;
    return compareSpecials(a, na, b, nb, o);
}

// An explicit count is taken as given: a NUL inside it has no weight, like any control character.
size_t lengthOf(const WCHAR* s, int count) {
    if (count >= 0)
        return static_cast<size_t>(count);
    size_t n = 0;
    while (s[n]) ++n;
    return n;
}

constexpr DWORD kKnownFlags = NORM_IGNORECASE | NORM_IGNORENONSPACE | NORM_IGNORESYMBOLS |
                              SORT_STRINGSORT | NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH;

int nullOrder(LPCWSTR a, LPCWSTR b) {
    if (!a && !b)
        return 0;
    return a ? 1 : -1;
}

}  // namespace

CE_BEGIN_DECLS

CEAPI int WINAPI CompareStringW(LCID, DWORD flags, LPCWSTR string1, int count1, LPCWSTR string2,
                                int count2) {
    if ((flags & ~kKnownFlags) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    if ((!string1 && count1 != 0) || (!string2 && count2 != 0) || count1 < -1 || count2 < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const Options options{(flags & NORM_IGNORECASE) != 0, (flags & NORM_IGNORENONSPACE) != 0,
                          (flags & NORM_IGNORESYMBOLS) != 0, (flags & SORT_STRINGSORT) != 0};
    const size_t n1 = string1 ? lengthOf(string1, count1) : 0;
    const size_t n2 = string2 ? lengthOf(string2, count2) : 0;
    const int order = compareWeighted(string1, n1, string2, n2, options);
    return order < 0 ? CSTR_LESS_THAN : order > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
}

CEAPI int WINAPI lstrcmpW(LPCWSTR string1, LPCWSTR string2) {
    if (!string1 || !string2)
        return nullOrder(string1, string2);
    return CompareStringW(LOCALE_USER_DEFAULT, 0, string1, -1, string2, -1) - CSTR_EQUAL;
}

CEAPI int WINAPI lstrcmpiW(LPCWSTR string1, LPCWSTR string2) {
    if (!string1 || !string2)
        return nullOrder(string1, string2);
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, string1, -1, string2, -1) -
           CSTR_EQUAL;
}

CE_END_DECLS
