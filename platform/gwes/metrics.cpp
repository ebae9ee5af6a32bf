// System metrics of a Pocket PC 2003 screen, the work area, and the rectangle helpers.
#include "gwes/gwes.h"

#include <algorithm>

using namespace ce::gwes;

extern "C" {

int WINAPI GetSystemMetrics(int index) {
    switch (index) {
        case SM_CXSCREEN:
        case SM_CXFULLSCREEN:
        case SM_CXVIRTUALSCREEN:
        case SM_CXMAXIMIZED: return screenWidth();
        case SM_CYSCREEN:
        case SM_CYVIRTUALSCREEN: return screenHeight();
        case SM_CYFULLSCREEN:
        case SM_CYMAXIMIZED: return screenHeight() - kNavBarHeight;
        case SM_CXVSCROLL:
        case SM_CYHSCROLL:
        case SM_CYVSCROLL:
        case SM_CXHSCROLL:
        case SM_CYVTHUMB:
        case SM_CXHTHUMB: return kScrollBarSize;
        case SM_CYCAPTION:
        case SM_CYMENU: return kNavBarHeight;
        case SM_CXBORDER:
        case SM_CYBORDER: return 1;
        case SM_CXDLGFRAME:
        case SM_CYDLGFRAME:
        case SM_CXFRAME:
        case SM_CYFRAME: return 2;
        case SM_CXEDGE:
        case SM_CYEDGE: return 2;
        case SM_CXICON:
        case SM_CYICON: return 32;
        case SM_CXSMICON:
        case SM_CYSMICON:
        case SM_CXMENUCHECK:
        case SM_CYMENUCHECK: return 16;
        case SM_CXCURSOR:
        case SM_CYCURSOR: return 32;
        case SM_CXDOUBLECLK:
        case SM_CYDOUBLECLK: return 4;
        case SM_CXICONSPACING:
        case SM_CYICONSPACING: return 48;
        case SM_MOUSEPRESENT: return 0;
        case SM_CMONITORS: return 1;
        default: return 0;
    }
}

BOOL WINAPI SystemParametersInfoW(UINT action, UINT param, PVOID data, UINT) {
    switch (action) {
        case SPI_GETWORKAREA:
            if (!data) return FALSE;
            *static_cast<RECT*>(data) = workArea();
            return TRUE;
        case SPI_GETPLATFORMTYPE:
        case SPI_GETOEMINFO: {
            if (!data || param == 0) return FALSE;
            const char16_t* text = action == SPI_GETPLATFORMTYPE ? u"PocketPC" : u"Varnello Host Device";
            auto* out = static_cast<WCHAR*>(data);
            size_t cch = param / sizeof(WCHAR);
            size_t n = std::min(std::char_traits<char16_t>::length(text), cch ? cch - 1 : 0);
            std::copy_n(text, n, out);
            if (cch) out[n] = 0;
            return TRUE;
        }
        default: return FALSE;
    }
}

BOOL WINAPI SetRect(LPRECT r, int left, int top, int right, int bottom) {
    if (!r) return FALSE;
    *r = {left, top, right, bottom};
    return TRUE;
}

BOOL WINAPI SetRectEmpty(LPRECT r) { return SetRect(r, 0, 0, 0, 0); }

BOOL WINAPI CopyRect(LPRECT dst, const RECT* src) {
    if (!dst || !src) return FALSE;
    *dst = *src;
    return TRUE;
}

BOOL WINAPI InflateRect(LPRECT r, int dx, int dy) {
    if (!r) return FALSE;
    r->left -= dx;
    r->right += dx;
    r->top -= dy;
    r->bottom += dy;
    return TRUE;
}

BOOL WINAPI OffsetRect(LPRECT r, int dx, int dy) {
    if (!r) return FALSE;
    r->left += dx;
    r->right += dx;
    r->top += dy;
    r->bottom += dy;
    return TRUE;
}

BOOL WINAPI IsRectEmpty(const RECT* r) { return !r || r->left >= r->right || r->top >= r->bottom; }

BOOL WINAPI IntersectRect(LPRECT dst, const RECT* a, const RECT* b) {
    if (!dst || !a || !b) return FALSE;
    RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
           std::min(a->bottom, b->bottom)};
    if (IsRectEmpty(&r) || IsRectEmpty(a) || IsRectEmpty(b)) {
        *dst = {0, 0, 0, 0};
        return FALSE;
    }
    *dst = r;
    return TRUE;
}

BOOL WINAPI UnionRect(LPRECT dst, const RECT* a, const RECT* b) {
    if (!dst || !a || !b) return FALSE;
    if (IsRectEmpty(a)) {
        if (IsRectEmpty(b)) {
            *dst = {0, 0, 0, 0};
            return FALSE;
        }
        *dst = *b;
        return TRUE;
    }
    if (IsRectEmpty(b)) {
        *dst = *a;
        return TRUE;
    }
    *dst = {std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
            std::max(a->bottom, b->bottom)};
    return TRUE;
}

// What is left of a when b is taken away, when that is a rectangle (b covers a whole side).
BOOL WINAPI SubtractRect(LPRECT dst, const RECT* a, const RECT* b) {
    if (!dst || !a || !b) return FALSE;
    RECT r = *a, cut;
    if (IsRectEmpty(a)) {
        *dst = {0, 0, 0, 0};
        return FALSE;
    }
    if (IntersectRect(&cut, a, b)) {
        if (cut.left == r.left && cut.right == r.right) {
            if (cut.top == r.top) r.top = cut.bottom;
            else if (cut.bottom == r.bottom) r.bottom = cut.top;
        } else if (cut.top == r.top && cut.bottom == r.bottom) {
            if (cut.left == r.left) r.left = cut.right;
            else if (cut.right == r.right) r.right = cut.left;
        }
    }
    *dst = r;
    return !IsRectEmpty(&r);
}

BOOL WINAPI EqualRect(const RECT* a, const RECT* b) {
    if (!a || !b) return FALSE;
    return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

BOOL WINAPI PtInRect(const RECT* r, POINT p) {
    return r && p.x >= r->left && p.x < r->right && p.y >= r->top && p.y < r->bottom;
}

}  // extern "C"
