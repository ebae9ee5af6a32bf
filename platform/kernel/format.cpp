// Windows printf formatting for WCHAR text (wsprintfW, StringCchPrintfW, _snwprintf).
#include "format.h"

#include "internal.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace ce::kernel {

namespace {

struct FieldFormat {
    bool left = false, plus = false, space = false, zero = false, alt = false;
    int width = 0;
    int precision = -1;
    enum Size { Default, Short, Char, Long32, LongLong, Pointer, Wide } size = Default;
};

void pad(FormatSink& out, int count, char16_t c) {
    if (count > 0)
        out.put(c, static_cast<size_t>(count));
}

// A width or precision of the format; absurd numbers are held at a bound.
int readNumber(const char16_t*& p) {
    int n = 0;
    while (*p >= u'0' && *p <= u'9') {
        if (n < 1000000)
            n = n * 10 + (*p - u'0');
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

void putText(FormatSink& out, const FieldFormat& field, std::u16string_view text) {
    int fill = field.width - static_cast<int>(text.size());
    if (!field.left)
        pad(out, fill, field.zero ? u'0' : u' ');
    for (char16_t c : text) out.put(c);
    if (field.left)
        pad(out, fill, u' ');
}

void putInteger(FormatSink& out, const FieldFormat& field, unsigned long long magnitude,
                bool negative, int base, bool upper, char conv) {
    char16_t digits[80];
    int n = 0;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        digits[n++] = static_cast<char16_t>(set[magnitude % base]);
        magnitude /= base;
    } while (magnitude);
    if (field.precision == 0 && n == 1 && digits[0] == u'0')
        n = 0;  // "%.0d" of 0 prints nothing
    std::u16string prefix;
    if (negative)
        prefix = u"-";
    else if (field.plus && (conv == 'd' || conv == 'i'))
        prefix = u"+";
    else if (field.space && (conv == 'd' || conv == 'i'))
        prefix = u" ";
    if (field.alt && base == 16 && n > 0)
        prefix += upper ? u"0X" : u"0x";
    int precisionZeros = field.precision > n ? field.precision - n : 0;
    if (field.alt && base == 8 && precisionZeros == 0 && (n == 0 || digits[n - 1] != u'0'))
        precisionZeros = 1;
    int length = static_cast<int>(prefix.size()) + precisionZeros + n;
    int fill = field.width > length ? field.width - length : 0;
    bool zeroFill = field.zero && !field.left && field.precision < 0;
    if (!field.left && !zeroFill)
        pad(out, fill, u' ');
    for (char16_t c : prefix) out.put(c);
    if (zeroFill)
        pad(out, fill, u'0');
    pad(out, precisionZeros, u'0');
    while (n > 0) out.put(digits[--n]);
    if (field.left)
        pad(out, fill, u' ');
}

}  // namespace

void FormatSink::put(char16_t c) {
    if (length_ + 1 < capacity_)
        buffer_[length_++] = c;
    ++total_;
}

void FormatSink::put(char16_t c, size_t count) {
    size_t room = capacity_ > length_ + 1 ? capacity_ - length_ - 1 : 0;
    size_t n = count < room ? count : room;
    for (size_t i = 0; i < n; ++i) buffer_[length_++] = c;
    total_ += count;
}

void FormatSink::finish() {
    if (capacity_)
        buffer_[length_ < capacity_ ? length_ : capacity_ - 1] = 0;
}

void formatW(FormatSink& out, const char16_t* format, va_list args, bool allowFloat) {
    if (!format)
        return;
    va_list ap;
    va_copy(ap, args);
    for (const char16_t* p = format; *p; ++p) {
        if (*p != u'%') {
            out.put(*p);
            continue;
        }
        const char16_t* start = p;
        ++p;
        FieldFormat field;
        for (;; ++p) {
            if (*p == u'-')
                field.left = true;
            else if (*p == u'+')
                field.plus = true;
            else if (*p == u' ')
                field.space = true;
            else if (*p == u'0')
                field.zero = true;
            else if (*p == u'#')
                field.alt = true;
            else
                break;
        }
        if (*p == u'*') {
            int w = va_arg(ap, int);
            if (w < 0) {
                field.left = true;
                w = w == INT_MIN ? INT_MAX : -w;
            }
            field.width = w > 1000000 ? 1000000 : w;
            ++p;
        } else {
            field.width = readNumber(p);
        }
        if (*p == u'.') {
            ++p;
            field.precision = 0;
            if (*p == u'*') {
                field.precision = va_arg(ap, int);
                if (field.precision < 0)
                    field.precision = -1;
                if (field.precision > 1000000)
                    field.precision = 1000000;
                ++p;
            } else {
                field.precision = readNumber(p);
            }
        }
        // sizes: h hh l ll L w I I32 I64 z j t (a Windows long is 32 bits)
        if (*p == u'h') {
            ++p;
            field.size = FieldFormat::Short;
            if (*p == u'h') {
                ++p;
                field.size = FieldFormat::Char;
            }
        } else if (*p == u'l') {
            ++p;
            field.size = FieldFormat::Long32;
            if (*p == u'l') {
                ++p;
                field.size = FieldFormat::LongLong;
            }
        } else if (*p == u'L' || *p == u'j') {
            ++p;
            field.size = FieldFormat::LongLong;
        } else if (*p == u'w') {
            ++p;
            field.size = FieldFormat::Wide;
        } else if (*p == u'z' || *p == u't') {
            ++p;
            field.size = FieldFormat::Pointer;
        } else if (*p == u'I') {
            if (p[1] == u'6' && p[2] == u'4') {
                p += 3;
                field.size = FieldFormat::LongLong;
            } else if (p[1] == u'3' && p[2] == u'2') {
                p += 3;
                field.size = FieldFormat::Long32;
            } else {
                ++p;
                field.size = FieldFormat::Pointer;
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
                if (field.size == FieldFormat::LongLong)
                    v = va_arg(ap, long long);
                else if (field.size == FieldFormat::Pointer)
                    v = va_arg(ap, intptr_t);
                else
                    v = va_arg(ap, int);
                if (field.size == FieldFormat::Short)
                    v = static_cast<short>(v);
                if (field.size == FieldFormat::Char)
                    v = static_cast<signed char>(v);
                unsigned long long m = v < 0 ? 0ULL - static_cast<unsigned long long>(v)
                                             : static_cast<unsigned long long>(v);
                putInteger(out, field, m, v < 0, 10, false, 'd');
                break;
            }
            case u'u':
            case u'x':
            case u'X':
            case u'o': {
                unsigned long long v;
                if (field.size == FieldFormat::LongLong)
                    v = va_arg(ap, unsigned long long);
                else if (field.size == FieldFormat::Pointer)
                    v = va_arg(ap, uintptr_t);
                else
                    v = va_arg(ap, unsigned int);
                if (field.size == FieldFormat::Short)
                    v = static_cast<unsigned short>(v);
                if (field.size == FieldFormat::Char)
                    v = static_cast<unsigned char>(v);
                int base = conv == u'u' ? 10 : conv == u'o' ? 8 : 16;
                putInteger(out, field, v, false, base, conv == u'X', static_cast<char>(conv));
                break;
            }
            case u'p': {
                FieldFormat ps;
                ps.precision = static_cast<int>(2 * sizeof(void*));
                ps.width = field.width;
                ps.left = field.left;
                putInteger(out, ps, reinterpret_cast<uintptr_t>(va_arg(ap, void*)), false, 16, true,
                           'p');
                break;
            }
            case u'c':
            case u'C': {
                int v = va_arg(ap, int);
                bool narrow = (conv == u'C' && field.size != FieldFormat::Wide &&
                               field.size != FieldFormat::Long32) ||
                              field.size == FieldFormat::Short;
                char16_t c = narrow ? static_cast<char16_t>(static_cast<unsigned char>(v))
                                    : static_cast<char16_t>(v);
                FieldFormat cs = field;
                cs.zero = false;
                putText(out, cs, std::u16string_view(&c, 1));
                break;
            }
            case u's':
            case u'S': {
                bool narrow = (conv == u'S' && field.size != FieldFormat::Wide &&
                               field.size != FieldFormat::Long32) ||
                              field.size == FieldFormat::Short;
                FieldFormat ss = field;
                ss.zero = false;
                if (narrow) {
                    const char* s = va_arg(ap, const char*);
                    if (!s)
                        s = "(null)";
                    std::u16string wide = fromUtf8(std::string_view(s, boundedLength(s, -1)));
                    if (field.precision >= 0 && wide.size() > static_cast<size_t>(field.precision))
                        wide.resize(field.precision);
                    putText(out, ss, wide);
                } else {
                    const char16_t* s = va_arg(ap, const char16_t*);
                    if (!s)
                        s = u"(null)";
                    putText(out, ss, std::u16string_view(s, boundedLength(s, field.precision)));
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
                if (field.left)
                    fmt[n++] = '-';
                if (field.plus)
                    fmt[n++] = '+';
                if (field.space)
                    fmt[n++] = ' ';
                if (field.zero)
                    fmt[n++] = '0';
                if (field.alt)
                    fmt[n++] = '#';
                fmt[n] = 0;
                int prec = field.precision > 100 ? 100 : field.precision;
                int width = field.width > 400 ? 400 : field.width;
                char tail[24];
                if (prec >= 0)
                    snprintf(tail, sizeof tail, "%d.%d%c", width, prec, static_cast<char>(conv));
                else
                    snprintf(tail, sizeof tail, "%d%c", width, static_cast<char>(conv));
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
