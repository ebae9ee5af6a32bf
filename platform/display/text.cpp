// Text: colours and modes, measuring, ExtTextOutW/TextOutW and DrawTextW's layout (prefixes,
// word breaks, alignment, ellipsis, DT_CALCRECT).
#include "display/gdi.h"
#include "display/text.h"
#include "kernel/text.h"

#include <algorithm>
#include <utility>

using namespace ce::display;

namespace {

// Measures and draws with the font selected into a DC; without a usable font file the text is
// measured with estimates and not drawn.
struct TextRun {
    DCObj& dc;
    FontFace* face;
    const LOGFONTW& lf;

    explicit TextRun(DCObj& d) : dc(d), face(nullptr), lf(std::get<FontObj>(d.a.font->data).lf) {
        if (DisplayService* s = service())
            face = s->fonts->face(lf);
    }

    int ascent() const { return face ? face->ascent : 11; }
    int height() const { return face ? face->ascent + face->descent : 14; }
    int advance(char32_t c) const {
        if (c == U'\r' || c == U'\n')
            return 0;
        return face ? face->glyph(c).advance : 6;
    }
    int width(const std::u32string& text) const {
        int w = 0;
        for (char32_t c : text) w += advance(c);
        return w;
    }

    // Draws text with its cell's top-left at surface point (x, y); underlined characters are
    // those whose index is in `underline` (or all, for an underlined font).
    void draw(int x, int y, const std::u32string& text, const INT* dx, int underlineIndex,
              const RectList* extraClip) {
        if (!face)
            return;
        uint32_t colour = toPixel(dc.a.textColor);
        RectList saved;
        if (extraClip) {
            saved = dc.clip;
            dc.clip.intersect(*extraClip);
        }
        int baseline = y + face->ascent;
        int pen = x;
        for (size_t i = 0; i < text.size(); ++i) {
            const Glyph& g = face->glyph(text[i]);
            int step = dx ? dx[i] : advance(text[i]);
            for (int gy = 0; gy < g.height; ++gy)
                for (int gx = 0; gx < g.width; ++gx)
                    blendSurface(dc, pen + g.left + gx, baseline - g.top + gy, colour,
                                 g.coverage[size_t(gy) * g.width + gx]);
            if (lf.lfUnderline || int(i) == underlineIndex) {
                int uy = baseline + face->underlinePosition;
                fillSurfaceRect(dc, RECT{pen, uy, pen + step, uy + face->underlineThickness},
                                colour);
            }
            if (lf.lfStrikeOut) {
                int sy = baseline - face->ascent / 3;
                fillSurfaceRect(dc, RECT{pen, sy, pen + step, sy + 1}, colour);
            }
            pen += step;
        }
        if (extraClip)
            dc.clip = std::move(saved);
    }
};

size_t lengthOf(LPCWSTR text, int count) {
    if (!text)
        return 0;
    if (count >= 0)
        return size_t(count);
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

// ---- DrawTextW layout
// ----------------------------------------------------------------------------

struct Line {
    std::u32string text;
    int underline = -1;  // index of the prefixed character
};

// Removes mnemonic prefixes: "&&" is "&", "&x" underlines x.
Line stripPrefixes(const std::u32string& in, UINT format) {
    Line out;
    if (format & DT_NOPREFIX) {
        out.text = in;
        return out;
    }
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == U'&') {
            if (i + 1 >= in.size())
                break;
            ++i;
            if (in[i] != U'&' && out.underline < 0 && !(format & DT_HIDEPREFIX))
                out.underline = int(out.text.size());
        }
        out.text.push_back(in[i]);
    }
    return out;
}

std::u32string expandTabs(const std::u32string& in, const TextRun& run, UINT format) {
    std::u32string out;
    for (char32_t c : in) {
        if (c != U'\t') {
            out.push_back(c);
            continue;
        }
        if (!(format & DT_EXPANDTABS)) {
            out.push_back(U' ');
            continue;
        }
        // Tab stops every eight average character widths.
        int stop = std::max(1, 8 * (run.face ? run.face->aveCharWidth : 6));
        int w = run.width(out);
        int target = (w / stop + 1) * stop;
        int space = std::max(1, run.advance(U' '));
        do {
            out.push_back(U' ');
            w += space;
        } while (w < target);
    }
    return out;
}

// Breaks a paragraph into lines no wider than `width` at blanks; a word too long for a line of
// its own is broken between characters.
void wrap(const Line& para, const TextRun& run, int width, std::vector<Line>& lines) {
    const std::u32string& t = para.text;
    size_t start = 0;
    if (t.empty()) {
        lines.push_back(para);
        return;
    }
    while (start < t.size()) {
        size_t end = start, lastBreak = std::u32string::npos;
        int w = 0;
        while (end < t.size()) {
            int a = run.advance(t[end]);
            if (t[end] == U' ')
                lastBreak = end;
            if (w + a > width && end > start && t[end] != U' ')
                break;
            w += a;
            ++end;
        }
        size_t next = end;
        if (end < t.size()) {
            if (lastBreak != std::u32string::npos && lastBreak > start) {
                end = lastBreak;
                next = lastBreak + 1;
            }
        }
        Line line;
        line.text = t.substr(start, end - start);
        while (!line.text.empty() && line.text.back() == U' ') line.text.pop_back();
        if (para.underline >= int(start) && para.underline < int(end))
            line.underline = para.underline - int(start);
        lines.push_back(std::move(line));
        while (next < t.size() && t[next] == U' ') ++next;
        start = next;
    }
}

// Shortens a line to fit `width` with "..." at its end.
void endEllipsis(Line& line, const TextRun& run, int width) {
    if (run.width(line.text) <= width)
        return;
    const std::u32string dots = U"...";
    int dotsWidth = run.width(dots);
    while (!line.text.empty() && run.width(line.text) + dotsWidth > width) line.text.pop_back();
    if (line.underline >= int(line.text.size()))
        line.underline = -1;
    line.text += dots;
}

// Shortens a path to fit `width` by replacing the end of its folders with "...", keeping the
// last component: "\\My Documents\\...\\file.txt".
void pathEllipsis(Line& line, const TextRun& run, int width) {
    if (run.width(line.text) <= width)
        return;
    size_t slash = line.text.rfind(U'\\');
    if (slash == std::u32string::npos || slash == 0)
        return;
    std::u32string head = line.text.substr(0, slash), tail = line.text.substr(slash);
    const std::u32string dots = U"...";
    while (!head.empty() && run.width(head + dots + tail) > width) head.pop_back();
    line.text = head + dots + tail;
    line.underline = -1;
}

std::vector<Line> layout(const std::u32string& text, const TextRun& run, const RECT& rect,
                         UINT format) {
    std::vector<std::u32string> paragraphs;
    if (format & DT_SINGLELINE) {
        std::u32string one;
        for (char32_t c : text)
            if (c != U'\r' && c != U'\n')
                one.push_back(c);
        paragraphs.push_back(std::move(one));
    } else {
        std::u32string cur;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == U'\r' || text[i] == U'\n') {
                paragraphs.push_back(cur);
                cur.clear();
                if (text[i] == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n')
                    ++i;
            } else {
                cur.push_back(text[i]);
            }
        }
        paragraphs.push_back(cur);
    }
    int width = std::max<LONG>(0, rect.right - rect.left);
    std::vector<Line> lines;
    for (const std::u32string& p : paragraphs) {
        Line para = stripPrefixes(expandTabs(p, run, format), format);
        if ((format & DT_WORDBREAK) && !(format & DT_SINGLELINE))
            wrap(para, run, std::max(1, width), lines);
        else
            lines.push_back(std::move(para));
    }
    for (Line& l : lines) {
        if (format & DT_PATH_ELLIPSIS)
            pathEllipsis(l, run, width);
        if (format & (DT_END_ELLIPSIS | DT_WORD_ELLIPSIS | DT_PATH_ELLIPSIS))
            endEllipsis(l, run, width);
    }
    return lines;
}

void fillTextBackground(DCObj& dc, const RECT& r, const RectList* clip) {
    RectList saved;
    if (clip) {
        saved = dc.clip;
        dc.clip.intersect(*clip);
    }
    fillSurfaceRect(dc, r, toPixel(dc.a.bkColor));
    if (clip)
        dc.clip = std::move(saved);
}

}  // namespace

CE_BEGIN_DECLS

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return CLR_INVALID;
    return std::exchange(dc->a.textColor, color & 0xFFFFFF);
}

COLORREF WINAPI GetTextColor(HDC hdc) {
    DCObj* dc = findDC(hdc);
    return dc ? dc->a.textColor : CLR_INVALID;
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return CLR_INVALID;
    return std::exchange(dc->a.bkColor, color & 0xFFFFFF);
}

COLORREF WINAPI GetBkColor(HDC hdc) {
    DCObj* dc = findDC(hdc);
    return dc ? dc->a.bkColor : CLR_INVALID;
}

int WINAPI SetBkMode(HDC hdc, int mode) {
    DCObj* dc = findDC(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) {
        setLastError(87);
        return 0;
    }
    return std::exchange(dc->a.bkMode, mode);
}

int WINAPI GetBkMode(HDC hdc) {
    DCObj* dc = findDC(hdc);
    return dc ? dc->a.bkMode : 0;
}

UINT WINAPI SetTextAlign(HDC hdc, UINT align) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return 0xFFFFFFFF;  // GDI_ERROR
    return std::exchange(dc->a.textAlign, align);
}

UINT WINAPI GetTextAlign(HDC hdc) {
    DCObj* dc = findDC(hdc);
    return dc ? dc->a.textAlign : 0xFFFFFFFF;
}

BOOL WINAPI GetTextExtentExPointW(HDC hdc, LPCWSTR text, int count, int maxExtent, LPINT fit,
                                  LPINT dx, LPSIZE size) {
    DCObj* dc = findDC(hdc);
    if (!dc || count < 0 || (count > 0 && !text)) {
        setLastError(87);
        return FALSE;
    }
    TextRun run(*dc);
    int w = 0, fitted = 0;
    // Extents are per UTF-16 unit; the second unit of a surrogate pair adds nothing.
    for (int i = 0; i < count; ++i) {
        int units = (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < count &&
                     text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
                        ? 2
                        : 1;
        w += run.advance(ce::kernel::toCodePoints(std::u16string_view(text + i, size_t(units)))[0]);
        for (int k = 0; k < units; ++k) {
            if (dx)
                dx[i + k] = w;
            if (w <= maxExtent && fitted == i + k)
                fitted = i + k + 1;
        }
        i += units - 1;
    }
    if (fit)
        *fit = fitted;
    if (size)
        *size = SIZE{w, run.height()};
    return TRUE;
}

BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int count, LPSIZE size) {
    if (!size)
        return FALSE;
    return GetTextExtentExPointW(hdc, text, count, 0, nullptr, nullptr, size);
}

BOOL WINAPI GetTextExtentPointW(HDC hdc, LPCWSTR text, int count, LPSIZE size) {
    return GetTextExtentPoint32W(hdc, text, count, size);
}

BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW tm) {
    DCObj* dc = findDC(hdc);
    if (!dc || !tm)
        return FALSE;
    TextRun run(*dc);
    TEXTMETRICW m{};
    m.tmAscent = run.ascent();
    m.tmHeight = run.height();
    m.tmDescent = m.tmHeight - m.tmAscent;
    m.tmInternalLeading = run.face ? std::max(0, m.tmHeight - run.face->emPixels) : 3;
    m.tmExternalLeading = 0;
    m.tmAveCharWidth = run.face ? run.face->aveCharWidth : 6;
    m.tmMaxCharWidth = run.face ? run.face->maxCharWidth : 11;
    m.tmWeight = run.lf.lfWeight ? run.lf.lfWeight : FW_NORMAL;
    m.tmDigitizedAspectX = 96;
    m.tmDigitizedAspectY = 96;
    m.tmFirstChar = 0x20;
    m.tmLastChar = 0xFFFC;
    m.tmDefaultChar = 0x1F;
    m.tmBreakChar = 0x20;
    m.tmItalic = run.lf.lfItalic;
    m.tmUnderlined = run.lf.lfUnderline;
    m.tmStruckOut = run.lf.lfStrikeOut;
    // Win32's sense of the low bit is inverted: set means variable pitch.
    m.tmPitchAndFamily =
        BYTE((run.face && run.face->fixedPitch ? 0 : 1) | FF_SWISS | 0x04 /*TMPF_TRUETYPE*/);
    m.tmCharSet = run.lf.lfCharSet;
    *tm = m;
    return TRUE;
}

int WINAPI GetTextFaceW(HDC hdc, int count, LPWSTR faceName) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return 0;
    TextRun run(*dc);
    std::u16string name = run.face ? run.face->faceName : std::u16string(u"DejaVu Sans");
    if (!faceName)
        return int(name.size()) + 1;
    if (count <= 0)
        return 0;
    size_t n = std::min(name.size(), size_t(count - 1));
    std::copy(name.begin(), name.begin() + std::ptrdiff_t(n), faceName);
    faceName[n] = 0;
    return int(n);
}

BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text,
                        UINT count, const INT* dx) {
    DCObj* dc = findDC(hdc);
    if (!dc || (count > 0 && !text))
        return FALSE;
    TextRun run(*dc);
    std::u32string chars = ce::kernel::toCodePoints(std::u16string_view(text ? text : u"", count));
    // Per-character advances are given per UTF-16 unit; they only apply without surrogates.
    if (dx && chars.size() != count)
        dx = nullptr;
    int width = 0;
    if (dx)
        for (size_t i = 0; i < chars.size(); ++i) width += dx[i];
    else
        width = run.width(chars);

    POINT o = dc->a.origin;
    UINT align = dc->a.textAlign;
    if (align & TA_UPDATECP) {
        x = dc->a.position.x;
        y = dc->a.position.y;
    }
    int left = x;
    if ((align & TA_CENTER) == TA_CENTER)
        left = x - width / 2;
    else if (align & TA_RIGHT)
        left = x - width;
    int top = y;
    if ((align & TA_BASELINE) == TA_BASELINE)
        top = y - run.ascent();
    else if (align & TA_BOTTOM)
        top = y - run.height();
    if (align & TA_UPDATECP) {
        if ((align & TA_CENTER) == TA_CENTER) {
        } else if (align & TA_RIGHT) {
            dc->a.position.x = left;
        } else {
            dc->a.position.x = left + width;
        }
    }

    std::optional<RectList> clip;
    RECT box{};
    if (rect) {
        box = *rect;
        OffsetRect(&box, o.x, o.y);
        if (options & ETO_CLIPPED)
            clip = RectList::of(box);
    }
    if ((options & ETO_OPAQUE) && rect)
        fillSurfaceRect(*dc, box, toPixel(dc->a.bkColor));
    RECT cell{left + o.x, top + o.y, left + o.x + width, top + o.y + run.height()};
    if (dc->a.bkMode == OPAQUE)
        fillTextBackground(*dc, cell, clip ? &*clip : nullptr);
    run.draw(cell.left, cell.top, chars, dx, -1, clip ? &*clip : nullptr);
    return TRUE;
}

BOOL WINAPI TextOutW(HDC hdc, int x, int y, LPCWSTR text, int count) {
    if (count < 0)
        return FALSE;
    return ExtTextOutW(hdc, x, y, 0, nullptr, text, UINT(count), nullptr);
}

int WINAPI DrawTextW(HDC hdc, LPCWSTR text, int count, LPRECT rect, UINT format) {
    DCObj* dc = findDC(hdc);
    if (!dc || !rect || (!text && count != 0)) {
        setLastError(87);
        return 0;
    }
    TextRun run(*dc);
    std::u32string chars =
        ce::kernel::toCodePoints(std::u16string_view(text ? text : u"", lengthOf(text, count)));
    std::vector<Line> lines = layout(chars, run, *rect, format);
    int lineHeight = run.height();
    int textHeight = lineHeight * int(lines.size());
    int widest = 0;
    for (const Line& l : lines) widest = std::max(widest, run.width(l.text));

    if (format & DT_CALCRECT) {
        if (!(format & DT_WORDBREAK) || (format & DT_SINGLELINE) ||
            widest > rect->right - rect->left)
            rect->right = rect->left + widest;
        rect->bottom = rect->top + textHeight;
        return textHeight;
    }

    int top = rect->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            top = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
        else if (format & DT_BOTTOM)
            top = rect->bottom - lineHeight;
    }
    POINT o = dc->a.origin;
    std::optional<RectList> clip;
    if (!(format & DT_NOCLIP)) {
        RECT box = *rect;
        OffsetRect(&box, o.x, o.y);
        clip = RectList::of(box);
    }
    int y = top;
    for (const Line& l : lines) {
        int w = run.width(l.text);
        int x = rect->left;
        if (format & DT_CENTER)
            x = rect->left + (rect->right - rect->left - w) / 2;
        else if (format & DT_RIGHT)
            x = rect->right - w;
        RECT cell{x + o.x, y + o.y, x + o.x + w, y + o.y + lineHeight};
        if (dc->a.bkMode == OPAQUE)
            fillTextBackground(*dc, cell, clip ? &*clip : nullptr);
        run.draw(cell.left, cell.top, l.text, nullptr, l.underline, clip ? &*clip : nullptr);
        y += lineHeight;
    }
    // With vertical placement the answer is the offset of the text's bottom from the top.
    if (format & (DT_VCENTER | DT_BOTTOM))
        return top - rect->top + textHeight;
    return textHeight;
}

CE_END_DECLS
