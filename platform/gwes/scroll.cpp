// Non-client scroll bars (WS_VSCROLL, WS_HSCROLL): their state with Win32's clamping, their
// painting, the stylus on their arrows, track and thumb, and ScrollWindowEx.
#include "gwes/gwes.h"

#include <algorithm>

namespace ce::gwes {
namespace {

ScrollBar* barOf(Window* w, int bar) {
    if (bar == SB_VERT || bar == SB_CTL)
        return &w->vbar;
    if (bar == SB_HORZ)
        return &w->hbar;
    return nullptr;
}

int maxPosition(const ScrollBar& b) {
    return b.max - std::max<int>(static_cast<int>(b.page) - 1, 0);
}

bool scrollable(const ScrollBar& b) {
    return b.min < maxPosition(b);
}

bool disabled(const ScrollBar& b) {
    return b.disabled == ESB_DISABLE_BOTH || !scrollable(b);
}

struct Geometry {
    RECT bar{};     // on the screen
    RECT first{};   // up or left arrow
    RECT second{};  // down or right arrow
    int trackStart = 0;
    int trackLen = 0;
    int thumbStart = 0;  // offset in the track
    int thumbLen = 0;
    bool hasThumb = false;
};

Geometry geometry(Window* w, int bar) {
    Geometry g;
    RECT wr = screenRect(w);
    RECT cr = screenClient(w);
    const ScrollBar& b = bar == SB_VERT ? w->vbar : w->hbar;
    int size = kScrollBarSize;
    bool vert = bar == SB_VERT;
    if (vert) {
        g.bar = {cr.right, cr.top, std::min<LONG>(cr.right + size, wr.right), cr.bottom};
    } else {
        g.bar = {cr.left, cr.bottom, cr.right, std::min<LONG>(cr.bottom + size, wr.bottom)};
    }
    int length = vert ? g.bar.bottom - g.bar.top : g.bar.right - g.bar.left;
    int arrow = std::min(size, length / 2);
    if (vert) {
        g.first = {g.bar.left, g.bar.top, g.bar.right, g.bar.top + arrow};
        g.second = {g.bar.left, g.bar.bottom - arrow, g.bar.right, g.bar.bottom};
        g.trackStart = g.bar.top + arrow;
    } else {
        g.first = {g.bar.left, g.bar.top, g.bar.left + arrow, g.bar.bottom};
        g.second = {g.bar.right - arrow, g.bar.top, g.bar.right, g.bar.bottom};
        g.trackStart = g.bar.left + arrow;
    }
    g.trackLen = std::max(0, length - 2 * arrow);
    if (disabled(b) || g.trackLen <= 0)
        return g;
    int range = b.max - b.min + 1;
    int thumb = b.page ? static_cast<int>(static_cast<int64_t>(g.trackLen) * b.page / range) : size;
    thumb = std::max(thumb, kMinThumb);
    if (thumb >= g.trackLen)
        return g;
    int span = maxPosition(b) - b.min;
    int pos = (w->handle == state()->track.hwnd && state()->track.part == 5) ? b.trackPos : b.pos;
    g.thumbLen = thumb;
    g.thumbStart =
        span > 0 ? static_cast<int>(static_cast<int64_t>(pos - b.min) * (g.trackLen - thumb) / span)
                 : 0;
    g.hasThumb = true;
    return g;
}

void refreshFrame(Window* w) {
    invalidate(w, nullptr, false, true);
}

// Shows or hides a window's bar: the style bit follows and the client area changes.
void showBar(Window* w, int bar, bool show) {
    DWORD bit = bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL;
    ScrollBar* b = barOf(w, bar);
    if (!b || b->shown == show)
        return;
    b->shown = show;
    if (show)
        w->style |= bit;
    else
        w->style &= ~bit;
    SetWindowPos(w->handle, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void sendScroll(Window* w, int bar, int code, int pos) {
    UINT msg = bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL;
    send(w, msg, MAKEWPARAM(code, static_cast<WORD>(pos)), 0);
}

void paintBar(Window* w, HDC dc, int bar) {
    Geometry g = geometry(w, bar);
    RECT origin = screenRect(w);
    auto local = [&](RECT r) {
        OffsetRect(&r, -origin.left, -origin.top);
        return r;
    };
    const ScrollBar& b = bar == SB_VERT ? w->vbar : w->hbar;
    bool off = disabled(b);
    RECT all = local(g.bar);
    FillRect(dc, &all, GetSysColorBrush(COLOR_SCROLLBAR));
    RECT a = local(g.first), c = local(g.second);
    UINT inactive = off ? DFCS_INACTIVE : 0;
    DrawFrameControl(dc, &a, DFC_SCROLL,
                     (bar == SB_VERT ? DFCS_SCROLLUP : DFCS_SCROLLLEFT) | inactive);
    DrawFrameControl(dc, &c, DFC_SCROLL,
                     (bar == SB_VERT ? DFCS_SCROLLDOWN : DFCS_SCROLLRIGHT) | inactive);
    if (!g.hasThumb)
        return;
    RECT thumb = bar == SB_VERT ? RECT{g.bar.left, g.trackStart + g.thumbStart, g.bar.right,
                                       g.trackStart + g.thumbStart + g.thumbLen}
                                : RECT{g.trackStart + g.thumbStart, g.bar.top,
                                       g.trackStart + g.thumbStart + g.thumbLen, g.bar.bottom};
    thumb = local(thumb);
    FillRect(dc, &thumb, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(dc, &thumb, EDGE_RAISED, BF_RECT);
}

}  // namespace

void paintScrollBars(Window* w, HDC dc) {
    if (w->vbar.shown)
        paintBar(w, dc, SB_VERT);
    if (w->hbar.shown)
        paintBar(w, dc, SB_HORZ);
    if (w->vbar.shown && w->hbar.shown) {
        RECT cr = screenClient(w), wr = screenRect(w);
        RECT corner{cr.right - wr.left, cr.bottom - wr.top, cr.right - wr.left + kScrollBarSize,
                    cr.bottom - wr.top + kScrollBarSize};
        FillRect(dc, &corner, GetSysColorBrush(COLOR_BTNFACE));
    }
}

int scrollHitTest(Window* w, POINT p) {
    if (w->vbar.shown) {
        Geometry g = geometry(w, SB_VERT);
        if (PtInRect(&g.bar, p))
            return HTVSCROLL;
    }
    if (w->hbar.shown) {
        Geometry g = geometry(w, SB_HORZ);
        if (PtInRect(&g.bar, p))
            return HTHSCROLL;
    }
    return 0;
}

void beginScrollTrack(Window* w, int bar, POINT p) {
    Gwes* gw = state();
    ScrollBar* b = barOf(w, bar);
    if (!gw || !b || disabled(*b))
        return;
    Geometry g = geometry(w, bar);
    int along = bar == SB_VERT ? p.y : p.x;
    ScrollTrack t;
    t.hwnd = w->handle;
    t.bar = bar;
    t.lastPos = b->pos;
    if (PtInRect(&g.first, p))
        t.part = 1;
    else if (PtInRect(&g.second, p))
        t.part = 2;
    else if (g.hasThumb && along < g.trackStart + g.thumbStart)
        t.part = 3;
    else if (g.hasThumb && along >= g.trackStart + g.thumbStart + g.thumbLen)
        t.part = 4;
    else if (g.hasThumb) {
        t.part = 5;
        t.grabOffset = along - (g.trackStart + g.thumbStart);
        b->trackPos = b->pos;
    } else {
        return;
    }
    gw->track = t;
    static const int codes[] = {0, SB_LINEUP, SB_LINEDOWN, SB_PAGEUP, SB_PAGEDOWN};
    if (t.part <= 4)
        sendScroll(w, bar, codes[t.part], 0);
}

void continueScrollTrack(POINT p, bool up) {
    Gwes* gw = state();
    if (!gw)
        return;
    ScrollTrack t = gw->track;
    Window* w = win(t.hwnd);
    if (!w) {
        gw->track = {};
        return;
    }
    ScrollBar* b = barOf(w, t.bar);
    if (t.part == 5) {
        Geometry g = geometry(w, t.bar);
        int along = t.bar == SB_VERT ? p.y : p.x;
        int room = g.trackLen - g.thumbLen;
        int offset = std::clamp(along - g.trackStart - t.grabOffset, 0, std::max(room, 0));
        int span = maxPosition(*b) - b->min;
        int pos =
            room > 0
                ? b->min + static_cast<int>((static_cast<int64_t>(offset) * span + room / 2) / room)
                : b->pos;
        if (pos != gw->track.lastPos) {
            gw->track.lastPos = pos;
            b->trackPos = pos;
            refreshFrame(w);
            sendScroll(w, t.bar, SB_THUMBTRACK, pos);
        }
        if (up) {
            int finalPos = gw->track.lastPos;
            gw->track = {};
            sendScroll(w, t.bar, SB_THUMBPOSITION, finalPos);
        }
    } else if (up) {
        gw->track = {};
    }
    if (up && (w = win(t.hwnd))) {
        sendScroll(w, t.bar, SB_ENDSCROLL, 0);
        refreshFrame(w);
    }
}

}  // namespace ce::gwes

using namespace ce::gwes;

extern "C" {

int WINAPI SetScrollInfo(HWND hwnd, int bar, LPCSCROLLINFO info, BOOL redraw) {
    Window* w = win(hwnd);
    ScrollBar* b = w ? barOf(w, bar) : nullptr;
    if (!b || !info)
        return 0;
    bool rangeChanged = false;
    if (info->fMask & SIF_PAGE) {
        rangeChanged |= b->page != info->nPage;
        b->page = info->nPage;
    }
    if (info->fMask & SIF_POS)
        b->pos = info->nPos;
    if (info->fMask & SIF_RANGE) {
        // An inverted range is stored as 0..0.
        if (info->nMin > info->nMax || static_cast<UINT>(info->nMax - info->nMin) >= 0x80000000u) {
            rangeChanged = true;
            b->min = b->max = 0;
        } else {
            rangeChanged |= b->min != info->nMin || b->max != info->nMax;
            b->min = info->nMin;
            b->max = info->nMax;
        }
    }
    if (b->page > static_cast<UINT>(b->max - b->min + 1))
        b->page = static_cast<UINT>(b->max - b->min + 1);
    if (b->pos < b->min)
        b->pos = b->min;
    else if (b->pos > maxPosition(*b))
        b->pos = maxPosition(*b);
    if (!(info->fMask & SIF_ALL))
        return b->pos;
    if (bar != SB_CTL && (info->fMask & (SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL))) {
        if (!scrollable(*b)) {
            if (info->fMask & SIF_DISABLENOSCROLL) {
                b->disabled = ESB_DISABLE_BOTH;
                b->forcedShown = true;
                showBar(w, bar, true);
            } else if (rangeChanged) {
                showBar(w, bar, false);
            }
        } else if (info->fMask != SIF_PAGE) {
            b->disabled = ESB_ENABLE_BOTH;
            if (rangeChanged)
                showBar(w, bar, true);
        }
    }
    if (redraw)
        refreshFrame(w);
    return b->pos;
}

BOOL WINAPI GetScrollInfo(HWND hwnd, int bar, LPSCROLLINFO info) {
    Window* w = win(hwnd);
    ScrollBar* b = w ? barOf(w, bar) : nullptr;
    if (!b || !info || !(info->fMask & SIF_ALL))
        return FALSE;
    if (info->fMask & SIF_RANGE) {
        info->nMin = b->min;
        info->nMax = b->max;
    }
    if (info->fMask & SIF_PAGE)
        info->nPage = b->page;
    if (info->fMask & SIF_POS)
        info->nPos = b->pos;
    if (info->fMask & SIF_TRACKPOS) {
        Gwes* g = state();
        info->nTrackPos = (g && g->track.hwnd == hwnd && g->track.part == 5) ? b->trackPos : b->pos;
    }
    return TRUE;
}

int WINAPI SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw) {
    Window* w = win(hwnd);
    ScrollBar* b = w ? barOf(w, bar) : nullptr;
    if (!b)
        return 0;
    int old = b->pos;
    SCROLLINFO si{sizeof si, SIF_POS, 0, 0, 0, pos, 0};
    SetScrollInfo(hwnd, bar, &si, redraw);
    return old;
}

int WINAPI GetScrollPos(HWND hwnd, int bar) {
    Window* w = win(hwnd);
    ScrollBar* b = w ? barOf(w, bar) : nullptr;
    return b ? b->pos : 0;
}

BOOL WINAPI SetScrollRange(HWND hwnd, int bar, int minPos, int maxPos, BOOL redraw) {
    if (!win(hwnd))
        return FALSE;
    SCROLLINFO si{sizeof si, SIF_RANGE, minPos, maxPos, 0, 0, 0};
    SetScrollInfo(hwnd, bar, &si, redraw);
    return TRUE;
}

BOOL WINAPI GetScrollRange(HWND hwnd, int bar, LPINT minPos, LPINT maxPos) {
    Window* w = win(hwnd);
    ScrollBar* b = w ? barOf(w, bar) : nullptr;
    if (!b || !minPos || !maxPos)
        return FALSE;
    *minPos = b->min;
    *maxPos = b->max;
    return TRUE;
}

BOOL WINAPI EnableScrollBar(HWND hwnd, UINT bar, UINT arrows) {
    Window* w = win(hwnd);
    if (!w)
        return FALSE;
    bool changed = false;
    for (int which : {SB_VERT, SB_HORZ}) {
        if (!(bar == SB_BOTH || static_cast<int>(bar) == which ||
              (bar == SB_CTL && which == SB_VERT)))
            continue;
        ScrollBar* b = barOf(w, which);
        changed |= b->disabled != arrows;
        b->disabled = arrows;
    }
    if (changed)
        refreshFrame(w);
    return changed ? TRUE : FALSE;
}

BOOL WINAPI ShowScrollBar(HWND hwnd, int bar, BOOL show) {
    Window* w = win(hwnd);
    if (!w)
        return FALSE;
    if (bar == SB_VERT || bar == SB_BOTH)
        showBar(w, SB_VERT, show != FALSE);
    if (bar == SB_HORZ || bar == SB_BOTH)
        showBar(w, SB_HORZ, show != FALSE);
    return TRUE;
}

int WINAPI ScrollWindowEx(HWND hwnd, int dx, int dy, const RECT* scroll, const RECT*, HRGN,
                          LPRECT updateRect, UINT flags) {
    Window* w = win(hwnd);
    if (!w)
        return 0;  // ERROR
    auto keep = state()->hold(hwnd);
    if (flags & SW_SCROLLCHILDREN) {
        std::vector<HWND> kids;
        for (Window* c : w->children) kids.push_back(c->handle);
        for (HWND h : kids) {
            Window* c = win(h);
            if (!c)
                continue;
            RECT r = c->rect, dummy;
            if (scroll && !IntersectRect(&dummy, &r, scroll))
                continue;
            SetWindowPos(
                h, nullptr, r.left + dx, r.top + dy, 0, 0,
                SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW | SWP_DEFERERASE);
        }
    }
    if (w->destroyed)
        return 0;
    RECT client{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    RECT uncovered = client;
    if (dy > 0)
        uncovered.bottom = std::min<LONG>(client.bottom, dy);
    else if (dy < 0)
        uncovered.top = std::max<LONG>(0, client.bottom + dy);
    if (dx > 0)
        uncovered.right = std::min<LONG>(client.right, dx);
    else if (dx < 0)
        uncovered.left = std::max<LONG>(0, client.right + dx);
    if (dx == 0 && dy == 0)
        SetRectEmpty(&uncovered);
    if (updateRect)
        *updateRect = uncovered;
    // The content moved: it is drawn again whole (there is no copy of the old pixels to move).
    if (dx || dy)
        invalidateTree(w);
    return IsRectEmpty(&uncovered) ? 1 : 2;  // NULLREGION : SIMPLEREGION
}

BOOL WINAPI ScrollWindow(HWND hwnd, int dx, int dy, const RECT* scroll, const RECT* clip) {
    UINT flags = SW_INVALIDATE | SW_ERASE | (scroll ? 0 : SW_SCROLLCHILDREN);
    return ScrollWindowEx(hwnd, dx, dy, scroll, clip, nullptr, nullptr, flags) != 0;
}

}  // extern "C"
