// Windows printf formatting for WCHAR text (wsprintfW, StringCchPrintfW, _snwprintf).
#include "format.h"

#include "internal.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace ce::kernel {

namespace {

struct Spec {
    bool left = false, plus = false, space = false, zero = false, alt = false;
    int width = 0;
    int precision = -1;
    enum Size { Default, Short, Char, Long32, LongLong, Pointer, Wide } size = Default;
};

void pad(FormatSink& out, int count, char16_t c) {
    if (count > 0) out.put(c, static_cast<size_t>(count));
}

// A width or precision of the format; absurd numbers are held at a bound.
int readNumber(const char16_t*& p) {
    int n = 0;
    while (*p >= u'0' && *p <= u'9') {
        if (n < 1000000) n = n * 10 + (*p - u'0');
        ++p;
    }
    return n;
}

template <class Ch>
size_t boundedLength(const Ch* s, int precision) {
    size_t n = 0;
    while ((precision < 0 || n < static_cast<size_t>(precision)) && s[n]) ++n;
    return n;
}

void putText(FormatSink& out, const Spec& spec, std::u16string_view text) {
    int fill = spec.width - static_cast<int>(text.size());
    if (!spec.left) pad(out, fill, spec.zero ? u'0' : u' ');
    for (char16_t c : text) out.put(c);
    if (spec.left) pad(out, fill, u' ');
}

void putInteger(FormatSink& out, const Spec& spec, unsigned long long magnitude, bool negative,
                int base, bool upper, char conv) {
    char16_t digits[80];
    int n = 0;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        digits[n++] = static_cast<char16_t>(set[magnitude % base]);
        magnitude /= base;
    } while (magnitude);
    if (spec.precision == 0 && n == 1 && digits[0] == u'0') n = 0;  // "%.0d" of 0 prints nothing
    std::u16string prefix;
    if (negative) prefix = u"-";
    else if (spec.plus && (conv == 'd' || conv == 'i')) prefix = u"+";
    else if (spec.space && (conv == 'd' || conv == 'i')) prefix = u" ";
    if (spec.alt && base == 16 && n > 0) prefix += upper ? u"0X" : u"0x";
    int precisionZeros = spec.precision > n ? spec.precision - n : 0;
    if (spec.alt && base == 8 && precisionZeros == 0 && (n == 0 || digits[n - 1] != u'0'))
        precisionZeros = 1;
    int length = static_cast<int>(prefix.size()) + precisionZeros + n;
    int fill = spec.width > length ? spec.width - length : 0;
    bool zeroFill = spec.zero && !spec.left && spec.precision < 0;
    if (!spec.left && !zeroFill) pad(out, fill, u' ');
    for (char16_t c : prefix) out.put(c);
    if (zeroFill) pad(out, fill, u'0');
    pad(out, precisionZeros, u'0');
    while (n > 0) out.put(digits[--n]);
    if (spec.left) pad(out, fill, u' ');
}

}  // namespace

void FormatSink::put(char16_t c) {
    if (length_ + 1 < capacity_) buffer_[length_++] = c;
    ++total_;
}

void FormatSink::put(char16_t c, size_t count) {
    size_t room = capacity_ > length_ + 1 ? capacity_ - length_ - 1 : 0;
    size_t n = count < room ? count : room;
    for (size_t i = 0; i < n; ++i) buffer_[length_++] = c;
    total_ += count;
}

void FormatSink::finish() {
    if (capacity_) buffer_[length_ < capacity_ ? length_ : capacity_ - 1] = 0;
}

void formatW(FormatSink& out, const char16_t* format, va_list args, bool allowFloat) {
    if (!format) return;
    va_list ap;
    va_copy(ap, args);
    for (const char16_t* p = format; *p; ++p) {
        if (*p != u'%') {
            out.put(*p);
            continue;
        }
        const char16_t* start = p;
        ++p;
        Spec spec;
        for (;; ++p) {
            if (*p == u'-') spec.left = true;
            else if (*p == u'+') spec.plus = true;
            else if (*p == u' ') spec.space = true;
            else if (*p == u'0') spec.zero = true;
            else if (*p == u'#') spec.alt = true;
            else break;
        }
        if (*p == u'*') {
            int w = va_arg(ap, int);
            if (w < 0) {
                spec.left = true;
                w = w == INT_MIN ? INT_MAX : -w;
            }
            spec.width = w > 1000000 ? 1000000 : w;
            ++p;
        } else {
            spec.width = readNumber(p);
        }
        if (*p == u'.') {
            ++p;
            spec.precision = 0;
            if (*p == u'*') {
                spec.precision = va_arg(ap, int);
                if (spec.precision < 0) spec.precision = -1;
                if (spec.precision > 1000000) spec.precision = 1000000;
                ++p;
            } else {
                spec.precision = readNumber(p);
            }
        }
        // sizes: h hh l ll L w I I32 I64 z j t (a Windows long is 32 bits)
        if (*p == u'h') {
            ++p;
            spec.size = Spec::Short;
            if (*p == u'h') {
                ++p;
                spec.size = Spec::Char;
            }
        } else if (*p == u'l') {
            ++p;
            spec.size = Spec::Long32;
            if (*p == u'l') {
                ++p;
                spec.size = Spec::LongLong;
            }
        } else if (*p == u'L' || *p == u'j') {
            ++p;
            spec.size = Spec::LongLong;
        } else if (*p == u'w') {
            ++p;
            spec.size = Spec::Wide;
        } else if (*p == u'z' || *p == u't') {
            ++p;
            spec.size = Spec::Pointer;
        } else if (*p == u'I') {
            if (p[1] == u'6' && p[2] == u'4') {
                p += 3;
                spec.size = Spec::LongLong;
            } else if (p[1] == u'3' && p[2] == u'2') {
                p += 3;
                spec.size = Spec::Long32;
            } else {
                ++p;
                spec.size = Spec::Pointer;
            }
        }
        char16_t conv = *p;
        if (conv == 0) {
            // a lone % at the end: copied as Windows does
            for (const char16_t* q = start; *q; ++q) out.put(*q);
            break;
        }
        switch (conv) {
            case u'd':
            case u'i': {
                long long v;
                if (spec.size == Spec::LongLong) v = va_arg(ap, long long);
                else if (spec.size == Spec::Pointer) v = va_arg(ap, intptr_t);
                else v = va_arg(ap, int);
                if (spec.size == Spec::Short) v = static_cast<short>(v);
                if (spec.size == Spec::Char) v = static_cast<signed char>(v);
                unsigned long long m = v < 0 ? 0ULL - static_cast<unsigned long long>(v)
                                             : static_cast<unsigned long long>(v);
                putInteger(out, spec, m, v < 0, 10, false, 'd');
                break;
            }
            case u'u':
            case u'x':
            case u'X':
            case u'o': {
                unsigned long long v;
                if (spec.size == Spec::LongLong) v = va_arg(ap, unsigned long long);
                else if (spec.size == Spec::Pointer) v = va_arg(ap, uintptr_t);
                else v = va_arg(ap, unsigned int);
                if (spec.size == Spec::Short) v = static_cast<unsigned short>(v);
                if (spec.size == Spec::Char) v = static_cast<unsigned char>(v);
                int base = conv == u'u' ? 10 : conv == u'o' ? 8 : 16;
                putInteger(out, spec, v, false, base, conv == u'X', static_cast<char>(conv));
                break;
            }
            case u'p': {
                Spec ps;
                ps.precision = static_cast<int>(2 * sizeof(void*));
                ps.width = spec.width;
                ps.left = spec.left;
                putInteger(out, ps, reinterpret_cast<uintptr_t>(va_arg(ap, void*)), false, 16, true,
                           'p');
                break;
            }
            case u'c':
            case u'C': {
                int v = va_arg(ap, int);
                bool narrow = (conv == u'C' && spec.size != Spec::Wide && spec.size != Spec::Long32) ||
                              spec.size == Spec::Short;
                char16_t c = narrow ? static_cast<char16_t>(static_cast<unsigned char>(v))
                                    : static_cast<char16_t>(v);
                Spec cs = spec;
                cs.zero = false;
                putText(out, cs, std::u16string_view(&c, 1));
                break;
            }
            case u's':
            case u'S': {
                bool narrow = (conv == u'S' && spec.size != Spec::Wide && spec.size != Spec::Long32) ||
                              spec.size == Spec::Short;
                Spec ss = spec;
                ss.zero = false;
                if (narrow) {
                    const char* s = va_arg(ap, const char*);
                    if (!s) s = "(null)";
                    std::u16string wide = fromUtf8(std::string_view(s, boundedLength(s, -1)));
                    if (spec.precision >= 0 && wide.size() > static_cast<size_t>(spec.precision))
                        wide.resize(spec.precision);
                    putText(out, ss, wide);
                } else {
                    const char16_t* s = va_arg(ap, const char16_t*);
                    if (!s) s = u"(null)";
                    putText(out, ss, std::u16string_view(s, boundedLength(s, spec.precision)));
                }
                break;
            }
            case u'e':
            case u'E':
            case u'f':
            case u'F':
            case u'g':
            case u'G':
            case u'a':
            case u'A': {
                if (!allowFloat) {
                    out.put(conv);  // USER's formatter has no floating point
                    break;
                }
                double v = va_arg(ap, double);
                char fmt[32], text[512];
                int n = 0;
                fmt[n++] = '%';
                if (spec.left) fmt[n++] = '-';
                if (spec.plus) fmt[n++] = '+';
                if (spec.space) fmt[n++] = ' ';
                if (spec.zero) fmt[n++] = '0';
                if (spec.alt) fmt[n++] = '#';
                fmt[n] = 0;
                int prec = spec.precision > 100 ? 100 : spec.precision;
                int width = spec.width > 400 ? 400 : spec.width;
                char tail[24];
                if (prec >= 0) snprintf(tail, sizeof tail, "%d.%d%c", width, prec, static_cast<char>(conv));
                else snprintf(tail, sizeof tail, "%d%c", width, static_cast<char>(conv));
                strncat(fmt, tail, sizeof fmt - strlen(fmt) - 1);
                snprintf(text, sizeof text, fmt, v);
                for (const char* q = text; *q; ++q) out.put(static_cast<char16_t>(*q));
                break;
            }
            case u'n':
                (void)va_arg(ap, void*);  // never written through: a format is no pointer store
                break;
            default:
                out.put(conv);  // "%%" and unknown conversions print the character
                break;
        }
    }
    va_end(ap);
}

}  // namespace ce::kernel
