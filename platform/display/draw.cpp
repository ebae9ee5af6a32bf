// Drawing primitives: rectangles, lines with styled pens, ellipses and rounded rectangles,
// polygons, pixels and the block transfers.
#include "display/gdi.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace ce::display {

void fillSurfaceRect(DCObj& dc, const RECT& r, uint32_t pixel) {
    Surface s = surfaceOf(dc);
    if (!s.top)
        return;
    for (const RECT& c : dc.clip.rects) {
        int l = std::max(r.left, c.left), t = std::max(r.top, c.top);
        int rr = std::min(r.right, c.right), b = std::min(r.bottom, c.bottom);
        for (int y = t; y < b; ++y) std::fill(s.row(y) + l, s.row(y) + std::max(l, rr), pixel);
    }
}

void invertSurfaceRect(DCObj& dc, const RECT& r) {
    Surface s = surfaceOf(dc);
    if (!s.top)
        return;
    for (const RECT& c : dc.clip.rects) {
        int l = std::max(r.left, c.left), t = std::max(r.top, c.top);
        int rr = std::min(r.right, c.right), b = std::min(r.bottom, c.bottom);
        for (int y = t; y < b; ++y)
            for (int x = l; x < rr; ++x) s.row(y)[x] ^= 0xFFFFFF;
    }
}

void plotSurface(DCObj& dc, int x, int y, uint32_t pixel) {
    if (!dc.clip.contains(x, y))
        return;
    Surface s = surfaceOf(dc);
    if (s.top)
        s.row(y)[x] = pixel;
}

void blendSurface(DCObj& dc, int x, int y, uint32_t pixel, unsigned coverage) {
    if (coverage == 0 || !dc.clip.contains(x, y))
        return;
    Surface s = surfaceOf(dc);
    if (!s.top)
        return;
    uint32_t& d = s.row(y)[x];
    if (coverage >= 255) {
        d = pixel;
        return;
    }
    auto mix = [&](int shift) {
        unsigned a = (d >> shift) & 0xFF, b = (pixel >> shift) & 0xFF;
        return ((a * (255 - coverage) + b * coverage + 127) / 255) << shift;
    };
    d = mix(16) | mix(8) | mix(0);
}

}  // namespace ce::display

using namespace ce::display;

namespace {

const PenObj* penOf(DCObj& dc) {
    return dc.a.pen ? &std::get<PenObj>(dc.a.pen->data) : nullptr;
}

COLORREF penColor(DCObj& dc, const PenObj& pen) {
    DisplayService* s = service();
    if (s && dc.a.penHandle == s->stockObjects[DC_PEN])
        return dc.a.dcPenColor;
    return pen.color;
}

bool penVisible(DCObj& dc) {
    const PenObj* p = penOf(dc);
    return p && p->style != PS_NULL && dc.a.rop2 != R2_NOP;
}

// A pixel of the pen, through the DC's binary raster operation.
void penPixel(DCObj& dc, int x, int y, uint32_t pixel) {
    switch (dc.a.rop2) {
        case R2_NOP:
            return;
        case R2_BLACK:
            plotSurface(dc, x, y, 0);
            return;
        case R2_WHITE:
            plotSurface(dc, x, y, 0xFFFFFF);
            return;
        case R2_NOT:
        case R2_XORPEN: {
            if (!dc.clip.contains(x, y))
                return;
            Surface s = surfaceOf(dc);
            if (s.top)
                s.row(y)[x] ^= dc.a.rop2 == R2_NOT ? 0xFFFFFF : pixel;
            return;
        }
        default:
            plotSurface(dc, x, y, pixel);
            return;
    }
}

// On/off runs of the styled pens, in pixels.
const std::vector<int>& dashPattern(int style) {
    static const std::vector<int> solid{};
    static const std::vector<int> dash{6, 2};
    static const std::vector<int> dot{1, 1};
    static const std::vector<int> dashDot{6, 2, 1, 2};
    static const std::vector<int> dashDotDot{6, 2, 1, 2, 1, 2};
    switch (style) {
        case PS_DASH:
            return dash;
        case PS_DOT:
            return dot;
        case PS_DASHDOT:
            return dashDot;
        case PS_DASHDOTDOT:
            return dashDotDot;
        default:
            return solid;
    }
}

// A line in surface coordinates from (x0, y0) up to but excluding (x1, y1), as LineTo draws.
void drawLine(DCObj& dc, int x0, int y0, int x1, int y1) {
    if (!penVisible(dc))
        return;
    const PenObj& pen = *penOf(dc);
    uint32_t pixel = toPixel(penColor(dc, pen));
    const std::vector<int>& pattern = dashPattern(pen.style);
    int total = 0;
    for (int run : pattern) total += run;
    int half = (pen.width - 1) / 2;

    int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    int step = 0;
    int x = x0, y = y0;
    while (x != x1 || y != y1) {
        bool on = true;
        if (total) {
            int phase = step % total, acc = 0;
            for (size_t i = 0; i < pattern.size(); ++i) {
                acc += pattern[i];
                if (phase < acc) {
                    on = (i % 2) == 0;
                    break;
                }
            }
        }
        if (on) {
            if (pen.width <= 1) {
                penPixel(dc, x, y, pixel);
            } else {
                for (int py = y - half; py < y - half + pen.width; ++py)
                    for (int px = x - half; px < x - half + pen.width; ++px)
                        penPixel(dc, px, py, pixel);
            }
        }
        ++step;
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

std::optional<uint32_t> brushPixel(DCObj& dc) {
    if (!dc.a.brush)
        return std::nullopt;
    auto b = resolveBrush(static_cast<HBRUSH>(dc.a.brushHandle), &dc);
    const BrushObj& brush = b ? *b : std::get<BrushObj>(dc.a.brush->data);
    if (brush.hollow)
        return std::nullopt;
    return toPixel(brush.color);
}

// A shape given by its horizontal span on each row (inclusive ends; x0 > x1 for none), in
// surface coordinates: filled with the brush and outlined with the pen.
using SpanFn = std::function<std::pair<int, int>(int y)>;
void drawShape(DCObj& dc, int top, int bottom, const SpanFn& span) {
    auto fill = brushPixel(dc);
    bool outline = penVisible(dc);
    uint32_t penPx = outline ? toPixel(penColor(dc, *penOf(dc))) : 0;
    auto inside = [&](int x, int y) {
        if (y < top || y >= bottom)
            return false;
        auto [a, b] = span(y);
        return x >= a && x <= b;
    };
    for (int y = top; y < bottom; ++y) {
        auto [a, b] = span(y);
        if (a > b)
            continue;
        if (fill)
            fillSurfaceRect(dc, RECT{a, y, b + 1, y + 1}, *fill);
        if (!outline)
            continue;
        for (int x = a; x <= b; ++x) {
            bool edge = x == a || x == b || !inside(x, y - 1) || !inside(x, y + 1);
            if (edge)
                penPixel(dc, x, y, penPx);
        }
    }
}

RECT logicalToSurface(const DCObj& dc, int l, int t, int r, int b) {
    RECT rect{std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b)};
    OffsetRect(&rect, dc.a.origin.x, dc.a.origin.y);
    return rect;
}

// Ternary raster operations on one pixel: d destination, s source, p pattern.
bool applyRop(DWORD rop, uint32_t d, uint32_t s, uint32_t p, uint32_t& out) {
    switch (rop) {
        case SRCCOPY:
            out = s;
            return true;
        case SRCPAINT:
            out = d | s;
            return true;
        case SRCAND:
            out = d & s;
            return true;
        case SRCINVERT:
            out = d ^ s;
            return true;
        case SRCERASE:
            out = (~d & s) & 0xFFFFFF;
            return true;
        case NOTSRCCOPY:
            out = ~s & 0xFFFFFF;
            return true;
        case NOTSRCERASE:
            out = ~(d | s) & 0xFFFFFF;
            return true;
        case MERGECOPY:
            out = p & s;
            return true;
        case MERGEPAINT:
            out = (~s & 0xFFFFFF) | d;
            return true;
        case PATCOPY:
            out = p;
            return true;
        case PATPAINT:
            out = ((~s & 0xFFFFFF) | p) | d;
            return true;
        case PATINVERT:
            out = d ^ p;
            return true;
        case DSTINVERT:
            out = ~d & 0xFFFFFF;
            return true;
        case BLACKNESS:
            out = 0;
            return true;
        case WHITENESS:
            out = 0xFFFFFF;
            return true;
        default:
            return false;
    }
}

bool isMono(DCObj& dc) {
    return dc.memory && dc.a.bitmap && std::get<BitmapObj>(dc.a.bitmap->data).bitsPerPixel == 1;
}

bool blit(HDC destDC, int x, int y, int w, int h, HDC srcDC, int sx, int sy, int sw, int sh,
          DWORD rop) {
    DCObj* dest = findDC(destDC);
    if (!dest)
        return false;
    bool needsSource = rop != PATCOPY && rop != PATINVERT && rop != DSTINVERT && rop != BLACKNESS &&
                       rop != WHITENESS;
    DCObj* src = needsSource ? findDC(srcDC) : nullptr;
    if (needsSource && !src)
        return false;
    uint32_t unused;
    if (!applyRop(rop, 0, 0, 0, unused)) {
        setLastError(87);
        return false;
    }
    if (w == 0 || h == 0)
        return true;
    if (w < 0 || h < 0 || sw <= 0 || sh <= 0)
        return false;
    uint32_t pattern = brushPixel(*dest).value_or(0);

    // Copy the source first: the two may be the same surface (scrolling).
    std::vector<uint32_t> source;
    if (src) {
        Surface ss = surfaceOf(*src);
        bool monoToColour = isMono(*src) && !isMono(*dest);
        bool colourToMono = !isMono(*src) && isMono(*dest);
        uint32_t bk = toPixel(src->a.bkColor);
        source.resize(size_t(w) * h, 0);
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                int px = src->a.origin.x + sx + int((long long)i * sw / w);
                int py = src->a.origin.y + sy + int((long long)j * sh / h);
                uint32_t v = 0;
                if (ss.top && px >= 0 && py >= 0 && px < ss.width && py < ss.height)
                    v = ss.row(py)[px];
                // Monochrome bitmaps meet colour ones through the text and background colours.
                if (monoToColour)
                    v = v ? toPixel(dest->a.bkColor) : toPixel(dest->a.textColor);
                if (colourToMono)
                    v = v == bk ? 0xFFFFFF : 0;
                source[size_t(j) * w + i] = v;
            }
    }
    Surface ds = surfaceOf(*dest);
    if (!ds.top)
        return true;
    int ox = dest->a.origin.x + x, oy = dest->a.origin.y + y;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            int px = ox + i, py = oy + j;
            if (!dest->clip.contains(px, py))
                continue;
            uint32_t& d = ds.row(py)[px];
            uint32_t out;
            applyRop(rop, d, src ? source[size_t(j) * w + i] : 0, pattern, out);
            d = out;
        }
    return true;
}

}  // namespace

CE_BEGIN_DECLS

int WINAPI FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    DCObj* dc = findDC(hdc);
    if (!dc || !rect)
        return 0;
    auto b = resolveBrush(brush, dc);
    if (!b)
        return 0;
    if (!b->hollow)
        fillSurfaceRect(*dc,
                        logicalToSurface(*dc, rect->left, rect->top, rect->right, rect->bottom),
                        toPixel(b->color));
    return 1;
}

int WINAPI FrameRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    DCObj* dc = findDC(hdc);
    if (!dc || !rect)
        return 0;
    auto b = resolveBrush(brush, dc);
    if (!b)
        return 0;
    if (b->hollow || IsRectEmpty(rect))
        return 1;
    RECT r = logicalToSurface(*dc, rect->left, rect->top, rect->right, rect->bottom);
    uint32_t px = toPixel(b->color);
    fillSurfaceRect(*dc, RECT{r.left, r.top, r.right, r.top + 1}, px);
    fillSurfaceRect(*dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, px);
    fillSurfaceRect(*dc, RECT{r.left, r.top, r.left + 1, r.bottom}, px);
    fillSurfaceRect(*dc, RECT{r.right - 1, r.top, r.right, r.bottom}, px);
    return 1;
}

BOOL WINAPI InvertRect(HDC hdc, const RECT* rect) {
    DCObj* dc = findDC(hdc);
    if (!dc || !rect)
        return FALSE;
    invertSurfaceRect(*dc, logicalToSurface(*dc, rect->left, rect->top, rect->right, rect->bottom));
    return TRUE;
}

// A dotted frame drawn by inverting, so that drawing it twice removes it.
BOOL WINAPI DrawFocusRect(HDC hdc, const RECT* rect) {
    DCObj* dc = findDC(hdc);
    if (!dc || !rect)
        return FALSE;
    RECT r = logicalToSurface(*dc, rect->left, rect->top, rect->right, rect->bottom);
    Surface s = surfaceOf(*dc);
    if (!s.top || IsRectEmpty(&r))
        return TRUE;
    auto flip = [&](int x, int y) {
        if (dc->clip.contains(x, y))
            s.row(y)[x] ^= 0xFFFFFF;
    };
    for (int x = r.left; x < r.right; x += 2) {
        flip(x, r.top);
        if (r.bottom - 1 > r.top)
            flip(x, r.bottom - 1);
    }
    for (int y = r.top + 2; y < r.bottom - 1; y += 2) {
        flip(r.left, y);
        if (r.right - 1 > r.left)
            flip(r.right - 1, y);
    }
    return TRUE;
}

BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT previous) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return FALSE;
    if (previous)
        *previous = dc->a.position;
    dc->a.position = POINT{x, y};
    return TRUE;
}

BOOL WINAPI LineTo(HDC hdc, int x, int y) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return FALSE;
    POINT o = dc->a.origin;
    drawLine(*dc, dc->a.position.x + o.x, dc->a.position.y + o.y, x + o.x, y + o.y);
    dc->a.position = POINT{x, y};
    return TRUE;
}

BOOL WINAPI Polyline(HDC hdc, const POINT* points, int count) {
    DCObj* dc = findDC(hdc);
    if (!dc || !points || count < 2)
        return FALSE;
    POINT o = dc->a.origin;
    for (int i = 1; i < count; ++i)
        drawLine(*dc, points[i - 1].x + o.x, points[i - 1].y + o.y, points[i].x + o.x,
                 points[i].y + o.y);
    return TRUE;
}

// Filled with the even-odd rule (ALTERNATE, the only fill mode of Windows CE).
BOOL WINAPI Polygon(HDC hdc, const POINT* points, int count) {
    DCObj* dc = findDC(hdc);
    if (!dc || !points || count < 2)
        return FALSE;
    POINT o = dc->a.origin;
    if (auto fill = brushPixel(*dc)) {
        int top = points[0].y, bottom = points[0].y;
        for (int i = 0; i < count; ++i) {
            top = std::min<int>(top, points[i].y);
            bottom = std::max<int>(bottom, points[i].y);
        }
        std::vector<double> xs;
        for (int y = top; y < bottom; ++y) {
            double cy = y + 0.5;
            xs.clear();
            for (int i = 0; i < count; ++i) {
                POINT a = points[i], b = points[(i + 1) % count];
                if ((a.y <= cy) == (b.y <= cy))
                    continue;
                xs.push_back(a.x + (cy - a.y) * double(b.x - a.x) / double(b.y - a.y));
            }
            std::sort(xs.begin(), xs.end());
            for (size_t k = 0; k + 1 < xs.size(); k += 2) {
                int x0 = int(std::ceil(xs[k] - 0.5)), x1 = int(std::ceil(xs[k + 1] - 0.5));
                fillSurfaceRect(*dc, RECT{x0 + o.x, y + o.y, x1 + o.x, y + o.y + 1}, *fill);
            }
        }
    }
    for (int i = 0; i < count; ++i) {
        POINT a = points[i], b = points[(i + 1) % count];
        drawLine(*dc, a.x + o.x, a.y + o.y, b.x + o.x, b.y + o.y);
    }
    return TRUE;
}

BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return FALSE;
    RECT r = logicalToSurface(*dc, left, top, right, bottom);
    auto fill = brushPixel(*dc);
    if (!penVisible(*dc)) {
        // Without a pen the filled area is one pixel smaller, as in Win32.
        if (fill)
            fillSurfaceRect(*dc, RECT{r.left, r.top, r.right - 1, r.bottom - 1}, *fill);
        return TRUE;
    }
    const PenObj& pen = *penOf(*dc);
    int w = pen.style == PS_SOLID || pen.style == PS_INSIDEFRAME ? pen.width : 1;
    if (fill)
        fillSurfaceRect(*dc, RECT{r.left + w, r.top + w, r.right - w, r.bottom - w}, *fill);
    if (w == 1 && pen.style != PS_SOLID && pen.style != PS_INSIDEFRAME) {
        drawLine(*dc, r.left, r.top, r.right - 1, r.top);
        drawLine(*dc, r.right - 1, r.top, r.right - 1, r.bottom - 1);
        drawLine(*dc, r.right - 1, r.bottom - 1, r.left, r.bottom - 1);
        drawLine(*dc, r.left, r.bottom - 1, r.left, r.top);
        return TRUE;
    }
    uint32_t px = toPixel(penColor(*dc, pen));
    if (dc->a.rop2 == R2_COPYPEN) {
        fillSurfaceRect(*dc, RECT{r.left, r.top, r.right, r.top + w}, px);
        fillSurfaceRect(*dc, RECT{r.left, r.bottom - w, r.right, r.bottom}, px);
        fillSurfaceRect(*dc, RECT{r.left, r.top + w, r.left + w, r.bottom - w}, px);
        fillSurfaceRect(*dc, RECT{r.right - w, r.top + w, r.right, r.bottom - w}, px);
    } else {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (x < r.left + w || x >= r.right - w || y < r.top + w || y >= r.bottom - w)
                    penPixel(*dc, x, y, px);
    }
    return TRUE;
}

BOOL WINAPI Ellipse(HDC hdc, int left, int top, int right, int bottom) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return FALSE;
    RECT r = logicalToSurface(*dc, left, top, right, bottom);
    double cx = (r.left + r.right - 1) / 2.0, cy = (r.top + r.bottom - 1) / 2.0;
    double rx = (r.right - r.left) / 2.0, ry = (r.bottom - r.top) / 2.0;
    if (rx <= 0 || ry <= 0)
        return TRUE;
    drawShape(*dc, r.top, r.bottom, [&](int y) {
        double t = (y - cy) / ry;
        if (std::abs(t) > 1)
            return std::pair<int, int>{1, 0};
        double half = rx * std::sqrt(std::max(0.0, 1 - t * t));
        return std::pair<int, int>{int(std::lround(cx - half + 0.5)),
                                   int(std::lround(cx + half - 0.5))};
    });
    return TRUE;
}

BOOL WINAPI RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return FALSE;
    RECT r = logicalToSurface(*dc, left, top, right, bottom);
    double rx = std::min<double>(std::abs(width), r.right - r.left) / 2.0;
    double ry = std::min<double>(std::abs(height), r.bottom - r.top) / 2.0;
    drawShape(*dc, r.top, r.bottom, [&](int y) {
        double inset = 0;
        double fromEdge = std::min(y - r.top + 0.5, r.bottom - y - 0.5);
        if (ry > 0 && fromEdge < ry) {
            double t = (ry - fromEdge) / ry;
            inset = rx - rx * std::sqrt(std::max(0.0, 1 - t * t));
        }
        return std::pair<int, int>{r.left + int(std::lround(inset)),
                                   r.right - 1 - int(std::lround(inset))};
    });
    return TRUE;
}

COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return CLR_INVALID;
    int sx = x + dc->a.origin.x, sy = y + dc->a.origin.y;
    if (!dc->clip.contains(sx, sy))
        return CLR_INVALID;
    plotSurface(*dc, sx, sy, toPixel(color));
    return color & 0xFFFFFF;
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return CLR_INVALID;
    int sx = x + dc->a.origin.x, sy = y + dc->a.origin.y;
    Surface s = surfaceOf(*dc);
    if (!s.top || !dc->clip.contains(sx, sy))
        return CLR_INVALID;
    return toColorRef(s.row(sy)[sx]);
}

BOOL WINAPI PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop) {
    if (rop != PATCOPY && rop != PATINVERT && rop != DSTINVERT && rop != BLACKNESS &&
        rop != WHITENESS) {
        setLastError(87);
        return FALSE;
    }
    // A negative extent runs the other way from (x, y).
    if (width < 0) {
        x += width;
        width = -width;
    }
    if (height < 0) {
        y += height;
        height = -height;
    }
    return blit(hdc, x, y, width, height, nullptr, 0, 0, 1, 1, rop) ? TRUE : FALSE;
}

BOOL WINAPI BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                   DWORD rop) {
    return blit(dest, x, y, width, height, src, srcX, srcY, width > 0 ? width : 1,
                height > 0 ? height : 1, rop)
               ? TRUE
               : FALSE;
}

BOOL WINAPI StretchBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                       int srcWidth, int srcHeight, DWORD rop) {
    return blit(dest, x, y, width, height, src, srcX, srcY, srcWidth, srcHeight, rop) ? TRUE
                                                                                      : FALSE;
}

CE_END_DECLS
