// The 3-D looks drawn in one place: DrawEdge, DrawFrameControl (check boxes, radio buttons, push
// buttons, scroll arrows, caption buttons, menu marks) and icons.
#include "display/gdi.h"

#include <algorithm>
#include <cmath>

using namespace ce::display;

namespace {

void fill(HDC hdc, int l, int t, int r, int b, int colorIndex) {
    RECT rc{l, t, r, b};
    FillRect(hdc, &rc, GetSysColorBrush(colorIndex));
}

struct EdgeColors {
    int topLeft;
    int bottomRight;
};

// One ring of an edge, one pixel wide, drawn along the sides named by `sides`.
void ring(HDC hdc, RECT& r, EdgeColors c, UINT sides) {
    if (sides & BF_TOP)
        fill(hdc, r.left, r.top, r.right, r.top + 1, c.topLeft);
    if (sides & BF_LEFT)
        fill(hdc, r.left, r.top, r.left + 1, r.bottom, c.topLeft);
    if (sides & BF_BOTTOM)
        fill(hdc, r.left, r.bottom - 1, r.right, r.bottom, c.bottomRight);
    if (sides & BF_RIGHT)
        fill(hdc, r.right - 1, r.top, r.right, r.bottom, c.bottomRight);
    if (sides & BF_LEFT)
        ++r.left;
    if (sides & BF_TOP)
        ++r.top;
    if (sides & BF_RIGHT)
        --r.right;
    if (sides & BF_BOTTOM)
        --r.bottom;
}

void arrow(HDC hdc, const RECT& r, UINT kind, int colorIndex) {
    int w = r.right - r.left, h = r.bottom - r.top;
    int size = std::max(1, (std::min(w, h) + 1) / 3);  // rows of the triangle
    int cx = r.left + w / 2, cy = r.top + h / 2;
    HBRUSH brush = GetSysColorBrush(colorIndex);
    for (int i = 0; i < size; ++i) {
        RECT line;
        switch (kind) {
            case DFCS_SCROLLUP:
                line = RECT{cx - i, cy - size / 2 + i, cx + i + 1, cy - size / 2 + i + 1};
                break;
            case DFCS_SCROLLLEFT:
                line = RECT{cx - size / 2 + i, cy - i, cx - size / 2 + i + 1, cy + i + 1};
                break;
            case DFCS_SCROLLRIGHT:
                line = RECT{cx + size / 2 - i, cy - i, cx + size / 2 - i + 1, cy + i + 1};
                break;
            default:  // down and the combo box's button
                line = RECT{cx - i, cy + size / 2 - i, cx + i + 1, cy + size / 2 - i + 1};
                break;
        }
        FillRect(hdc, &line, brush);
    }
}

// The tick of a check box or menu item: a two-pixel-thick check mark filling the box.
void tick(HDC hdc, const RECT& box, int colorIndex) {
    int w = box.right - box.left, h = box.bottom - box.top;
    int s = std::min(w, h);
    int x0 = box.left + (w - s) / 2, y0 = box.top + (h - s) / 2;
    // Short stroke down to the bottom point, long stroke up to the right.
    POINT a{x0 + s * 2 / 10, y0 + s * 5 / 10}, b{x0 + s * 4 / 10, y0 + s * 7 / 10},
        c{x0 + s * 8 / 10, y0 + s * 2 / 10};
    HBRUSH brush = GetSysColorBrush(colorIndex);
    auto stroke = [&](POINT p, POINT q) {
        int steps = std::max(std::abs(q.x - p.x), std::abs(q.y - p.y));
        for (int i = 0; i <= steps; ++i) {
            int x = p.x + (q.x - p.x) * i / std::max(1, steps);
            int y = p.y + (q.y - p.y) * i / std::max(1, steps);
            RECT dot{x, y, x + 1, y + std::max(2, s / 6)};
            FillRect(hdc, &dot, brush);
        }
    };
    stroke(a, b);
    stroke(b, c);
}

RECT squareIn(const RECT& r) {
    int w = r.right - r.left, h = r.bottom - r.top, s = std::min(w, h);
    int l = r.left + (w - s) / 2, t = r.top + (h - s) / 2;
    return RECT{l, t, l + s, t + s};
}

BOOL drawButton(HDC hdc, RECT& rect, UINT state) {
    bool inactive = state & DFCS_INACTIVE, checked = state & DFCS_CHECKED,
         pushed = state & DFCS_PUSHED;
    UINT kind = state & 0x1F;
    if (kind & DFCS_BUTTONPUSH) {
        RECT r = rect;
        if (state & (DFCS_FLAT | DFCS_MONO)) {
            FrameRect(hdc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
            InflateRect(&r, -1, -1);
        } else {
            DrawEdge(hdc, &r, (pushed || checked) ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_ADJUST);
        }
        FillRect(hdc, &r, GetSysColorBrush(COLOR_BTNFACE));
        if (state & DFCS_ADJUSTRECT)
            rect = r;
        return TRUE;
    }
    RECT box = squareIn(rect);
    int face = (inactive || pushed) ? COLOR_BTNFACE : COLOR_WINDOW;
    int mark = inactive ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT;
    if (kind & (DFCS_BUTTONRADIO | DFCS_BUTTONRADIOIMAGE | DFCS_BUTTONRADIOMASK)) {
        HGDIOBJ oldPen = SelectObject(hdc, GetStockObject(BLACK_PEN));
        HGDIOBJ oldBrush = SelectObject(hdc, GetSysColorBrush(face));
        if (kind & DFCS_BUTTONRADIOMASK)
            SelectObject(hdc, GetStockObject(BLACK_BRUSH));
        Ellipse(hdc, box.left, box.top, box.right, box.bottom);
        if (checked && !(kind & DFCS_BUTTONRADIOMASK)) {
            int s = box.right - box.left, inset = std::max(2, s * 3 / 10);
            SelectObject(hdc, GetStockObject(NULL_PEN));
            SelectObject(hdc, GetSysColorBrush(mark));
            Ellipse(hdc, box.left + inset, box.top + inset, box.right - inset + 1,
                    box.bottom - inset + 1);
        }
        SelectObject(hdc, oldPen);
        SelectObject(hdc, oldBrush);
        return TRUE;
    }
    // A check box as Pocket PC draws it: flat, a dark frame round a white square.
    FrameRect(hdc, &box, GetSysColorBrush(inactive ? COLOR_GRAYTEXT : COLOR_WINDOWFRAME));
    RECT inner = box;
    InflateRect(&inner, -1, -1);
    FillRect(hdc, &inner, GetSysColorBrush(face));
    if (checked)
        tick(hdc, inner, (kind & DFCS_BUTTON3STATE) ? COLOR_GRAYTEXT : mark);
    return TRUE;
}

BOOL drawScroll(HDC hdc, RECT& rect, UINT state) {
    UINT kind = state & 0xFF;
    bool pushed = state & DFCS_PUSHED, inactive = state & DFCS_INACTIVE;
    RECT r = rect;
    if (kind == DFCS_SCROLLSIZEGRIP) {
        fill(hdc, r.left, r.top, r.right, r.bottom, COLOR_BTNFACE);
        for (int k = 3; k < std::min(r.right - r.left, r.bottom - r.top); k += 4)
            for (int i = 0; i < 2; ++i) {
                HPEN pen =
                    CreatePen(PS_SOLID, 1, GetSysColor(i ? COLOR_BTNHIGHLIGHT : COLOR_BTNSHADOW));
                HGDIOBJ old = SelectObject(hdc, pen);
                MoveToEx(hdc, r.right - k + i, r.bottom - 1, nullptr);
                LineTo(hdc, r.right, r.bottom - k - 1 + i);
                SelectObject(hdc, old);
                DeleteObject(pen);
            }
        return TRUE;
    }
    if (state & (DFCS_FLAT | DFCS_MONO)) {
        FrameRect(hdc, &r, GetSysColorBrush(COLOR_BTNSHADOW));
        InflateRect(&r, -1, -1);
    } else {
        DrawEdge(hdc, &r, pushed ? (BDR_SUNKENOUTER) : EDGE_RAISED, BF_RECT | BF_ADJUST);
    }
    FillRect(hdc, &r, GetSysColorBrush(COLOR_BTNFACE));
    if (pushed)
        OffsetRect(&r, 1, 1);
    arrow(hdc, r, kind, inactive ? COLOR_GRAYTEXT : COLOR_BTNTEXT);
    return TRUE;
}

BOOL drawCaption(HDC hdc, RECT& rect, UINT state) {
    RECT r = rect;
    DrawEdge(hdc, &r, (state & DFCS_PUSHED) ? EDGE_SUNKEN : EDGE_RAISED,
             BF_RECT | BF_ADJUST | BF_MIDDLE);
    int colour = (state & DFCS_INACTIVE) ? COLOR_GRAYTEXT : COLOR_BTNTEXT;
    int s = std::min(r.right - r.left, r.bottom - r.top) / 2;
    int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    HPEN pen = CreatePen(PS_SOLID, 2, GetSysColor(colour));
    HGDIOBJ old = SelectObject(hdc, pen);
    switch (state & 0xFF) {
        case DFCS_CAPTIONCLOSE:
            MoveToEx(hdc, cx - s / 2, cy - s / 2, nullptr);
            LineTo(hdc, cx + s / 2 + 1, cy + s / 2 + 1);
            MoveToEx(hdc, cx + s / 2, cy - s / 2, nullptr);
            LineTo(hdc, cx - s / 2 - 1, cy + s / 2 + 1);
            break;
        case DFCS_CAPTIONMIN:
            MoveToEx(hdc, cx - s / 2, cy + s / 2, nullptr);
            LineTo(hdc, cx + s / 2 + 1, cy + s / 2);
            break;
        default:
            SelectObject(hdc, GetStockObject(NULL_BRUSH));
            Rectangle(hdc, cx - s / 2, cy - s / 2, cx + s / 2 + 1, cy + s / 2 + 1);
            break;
    }
    SelectObject(hdc, old);
    DeleteObject(pen);
    return TRUE;
}

BOOL drawMenuMark(HDC hdc, RECT& rect, UINT state) {
    int colour = (state & DFCS_INACTIVE) ? COLOR_GRAYTEXT : COLOR_MENUTEXT;
    switch (state & 0xFF) {
        case DFCS_MENUCHECK:
            tick(hdc, rect, colour);
            return TRUE;
        case DFCS_MENUBULLET: {
            RECT box = squareIn(rect);
            int s = box.right - box.left, inset = s * 3 / 8;
            HGDIOBJ oldPen = SelectObject(hdc, GetStockObject(NULL_PEN));
            HGDIOBJ oldBrush = SelectObject(hdc, GetSysColorBrush(colour));
            Ellipse(hdc, box.left + inset, box.top + inset, box.right - inset + 1,
                    box.bottom - inset + 1);
            SelectObject(hdc, oldPen);
            SelectObject(hdc, oldBrush);
            return TRUE;
        }
        default:
            arrow(hdc, rect, DFCS_SCROLLRIGHT, colour);
            return TRUE;
    }
}

}  // namespace

namespace ce::display {

HICON createIcon(int width, int height, const uint32_t* argb) {
    DisplayService* s = service();
    if (!s || width <= 0 || height <= 0 || width > 256 || height > 256 || !argb)
        return nullptr;
    IconObj icon;
    icon.width = width;
    icon.height = height;
    icon.argb.assign(argb, argb + size_t(width) * height);
    return static_cast<HICON>(s->add(Kind::Icon, std::move(icon)));
}

bool iconPixels(HICON icon, int* width, int* height, std::vector<uint32_t>* argb) {
    DisplayService* s = service();
    ObjectRef o = s ? s->find(icon, Kind::Icon) : nullptr;
    if (!o)
        return false;
    const IconObj& i = std::get<IconObj>(o->data);
    if (width)
        *width = i.width;
    if (height)
        *height = i.height;
    if (argb)
        *argb = i.argb;
    return true;
}

}  // namespace ce::display

CE_BEGIN_DECLS

BOOL WINAPI DrawEdge(HDC hdc, LPRECT rect, UINT edge, UINT flags) {
    DCObj* dc = findDC(hdc);
    if (!dc || !rect)
        return FALSE;
    RECT r = *rect;
    UINT sides = flags & BF_RECT;
    EdgeColors outer{-1, -1}, inner{-1, -1};
    if (flags & BF_MONO) {
        if (edge & BDR_OUTER)
            outer = {COLOR_WINDOWFRAME, COLOR_WINDOWFRAME};
        if (edge & BDR_INNER)
            inner = {COLOR_WINDOW, COLOR_WINDOW};
    } else if (flags & BF_FLAT) {
        if (edge & BDR_OUTER)
            outer = {COLOR_BTNSHADOW, COLOR_BTNSHADOW};
        if (edge & BDR_INNER)
            inner = {COLOR_BTNFACE, COLOR_BTNFACE};
    } else {
        // Light falls from the top left: raised edges are light there, sunken ones dark.
        if (edge & BDR_RAISEDOUTER)
            outer = {COLOR_3DLIGHT, COLOR_3DDKSHADOW};
        else if (edge & BDR_SUNKENOUTER)
            outer = {COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT};
        if (edge & BDR_RAISEDINNER)
            inner = {COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW};
        else if (edge & BDR_SUNKENINNER)
            inner = {COLOR_3DDKSHADOW, COLOR_3DLIGHT};
        if (flags & BF_SOFT)
            std::swap(outer.topLeft, inner.topLeft);
    }
    if (outer.topLeft >= 0)
        ring(hdc, r, outer, sides);
    if (inner.topLeft >= 0)
        ring(hdc, r, inner, sides);
    if ((flags & BF_MIDDLE) && !IsRectEmpty(&r))
        FillRect(hdc, &r, GetSysColorBrush((flags & BF_MONO) ? COLOR_WINDOW : COLOR_BTNFACE));
    if (flags & BF_ADJUST)
        *rect = r;
    return TRUE;
}

BOOL WINAPI DrawFrameControl(HDC hdc, LPRECT rect, UINT type, UINT state) {
    if (!findDC(hdc) || !rect)
        return FALSE;
    switch (type) {
        case DFC_BUTTON:
            return drawButton(hdc, *rect, state);
        case DFC_SCROLL:
            return drawScroll(hdc, *rect, state);
        case DFC_CAPTION:
            return drawCaption(hdc, *rect, state);
        case DFC_MENU:
            return drawMenuMark(hdc, *rect, state);
        default:
            setLastError(87);
            return FALSE;
    }
}

BOOL WINAPI DrawIconEx(HDC hdc, int x, int y, HICON icon, int width, int height, UINT,
                       HBRUSH background, UINT flags) {
    DCObj* dc = findDC(hdc);
    DisplayService* s = service();
    ObjectRef o = s ? s->find(icon, Kind::Icon) : nullptr;
    if (!dc || !o) {
        setLastError(6);
        return FALSE;
    }
    const IconObj& i = std::get<IconObj>(o->data);
    if (width <= 0 || (flags & DI_DEFAULTSIZE))
        width = i.width;
    if (height <= 0 || (flags & DI_DEFAULTSIZE))
        height = i.height;
    if (!(flags & DI_NORMAL))
        flags |= DI_NORMAL;
    if (background) {
        RECT r{x, y, x + width, y + height};
        FillRect(hdc, &r, background);
    }
    int ox = dc->a.origin.x + x, oy = dc->a.origin.y + y;
    for (int j = 0; j < height; ++j)
        for (int k = 0; k < width; ++k) {
            uint32_t p =
                i.argb[size_t(j * i.height / height) * i.width + size_t(k * i.width / width)];
            unsigned alpha = p >> 24;
            if ((flags & DI_NORMAL) == DI_MASK)
                plotSurface(*dc, ox + k, oy + j, alpha >= 128 ? 0 : 0xFFFFFF);
            else if ((flags & DI_NORMAL) == DI_IMAGE)
                plotSurface(*dc, ox + k, oy + j, p & 0xFFFFFF);
            else
                blendSurface(*dc, ox + k, oy + j, p & 0xFFFFFF, alpha);
        }
    return TRUE;
}

BOOL WINAPI DrawIcon(HDC hdc, int x, int y, HICON icon) {
    return DrawIconEx(hdc, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
}

BOOL WINAPI DestroyIcon(HICON icon) {
    DisplayService* s = service();
    if (!s || !s->find(icon, Kind::Icon)) {
        setLastError(6);
        return FALSE;
    }
    s->remove(icon);
    return TRUE;
}

CE_END_DECLS
