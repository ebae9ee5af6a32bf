// UTF-16 <-> UTF-8 (text and host names), case folding of device names, and wildcard matching.
#include "internal.h"

namespace ce::kernel {

namespace {

bool isHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}
bool isEscape(char32_t c) {
    return c >= 0xDC80 && c <= 0xDCFF;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendUtf16(std::u16string& out, char32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<char16_t>(c);
    }
}

// The code point at in[i] and the number of bytes it takes; 0 bytes when in[i] does not begin a
// valid UTF-8 sequence (a stray continuation byte, a cut sequence, an overlong form, an encoded
// surrogate, a value beyond U+10FFFF).
size_t decodeOne(std::string_view in, size_t i, char32_t& c) {
    unsigned char b = static_cast<unsigned char>(in[i]);
    if (b < 0x80) {
        c = b;
        return 1;
    }
    size_t extra = (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : 0;
    if (extra == 0 || i + extra >= in.size())
        return 0;
    c = extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    for (size_t k = 1; k <= extra; ++k) {
        unsigned char n = static_cast<unsigned char>(in[i + k]);
        if ((n & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (n & 0x3F);
    }
    static const char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (c < minimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return extra + 1;
}

// The code point of the UTF-16 unit(s) at in[i] and how many units it takes; a lone surrogate is
// returned as itself.
size_t nextCodePoint(std::u16string_view in, size_t i, char32_t& c) {
    c = in[i];
    if (isHighSurrogate(c) && i + 1 < in.size() && isLowSurrogate(in[i + 1])) {
        c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
        return 2;
    }
    return 1;
}

}  // namespace

std::u16string fromUtf8(std::string_view in, BadBytes bad) {
    std::u16string out;
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        char32_t c;
        size_t n = decodeOne(in, i, c);
        if (n == 0) {
            unsigned char b = static_cast<unsigned char>(in[i]);
            c = bad == BadBytes::Escape ? 0xDC00 + b : bad == BadBytes::Latin1 ? b : 0xFFFD;
            n = 1;
        }
        appendUtf16(out, c);
        i += n;
    }
    return out;
}

bool toUtf8(std::u16string_view in, std::string& out) {
    out.clear();
    out.reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        char32_t c;
        i += nextCodePoint(in, i, c);
        if (isHighSurrogate(c) || isLowSurrogate(c))
            return false;
        appendUtf8(out, c);
    }
    return true;
}

std::string toUtf8(std::u16string_view in) {
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        char32_t c;
        i += nextCodePoint(in, i, c);
        appendUtf8(out, isHighSurrogate(c) || isLowSurrogate(c) ? 0xFFFD : c);
    }
    return out;
}

std::u16string fromHostName(std::string_view bytes) {
    return fromUtf8(bytes, BadBytes::Escape);
}

bool toHostName(std::u16string_view name, std::string& bytes) {
    bytes.clear();
    bytes.reserve(name.size());
    bool escaped = false;
    for (size_t i = 0; i < name.size();) {
        char32_t c;
        i += nextCodePoint(name, i, c);
        if (isEscape(c)) {
            bytes += static_cast<char>(c - 0xDC00);
            escaped = true;
        } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
            return false;
        } else {
            appendUtf8(bytes, c);
        }
    }
    // Escaped bytes next to each other (or to a cut sequence) may spell valid UTF-8, which
    // would read back as other text: such a name is refused.
    return !escaped || fromHostName(bytes) == name;
}

std::u32string toCodePoints(std::u16string_view in) {
    std::u32string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        char32_t c;
        i += nextCodePoint(in, i, c);
        out += isHighSurrogate(c) || isLowSurrogate(c) ? 0xFFFD : c;
    }
    return out;
}

// Simple case folding for the scripts device names use: ASCII, Latin-1, Latin Extended-A,
// Greek and Cyrillic. Everything else compares as is.
char16_t foldCase(char16_t c) {
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<char16_t>(c + 32);
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        bool oddLower = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddLower)
            return (c & 1) ? static_cast<char16_t>(c + 1) : c;
        return (c & 1) ? c : static_cast<char16_t>(c + 1);
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return static_cast<char16_t>(c + 32);
    if (c >= 0x410 && c <= 0x42F)
        return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F)
        return static_cast<char16_t>(c + 80);
    return c;
}

bool equalsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && foldCase(a[i]) != foldCase(b[i]))
            return false;
    }
    return true;
}

std::u16string folded(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out) c = foldCase(c);
    return out;
}

bool wildcardMatch(std::u16string_view pattern, std::u16string_view name) {
    if (pattern == u"*" || pattern == u"*.*")
        return true;
    // Iterative glob with backtracking to the last '*'.
    size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || foldCase(pattern[p]) == foldCase(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

}  // namespace ce::kernel
