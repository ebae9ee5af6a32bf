// Painting: update regions (one rectangle per window), BeginPaint/EndPaint, window DCs, and the
// paint pass run before the program waits. The screen is one framebuffer with no per-window
// clipping of overlaps, so the pass paints back to front (parents before children, lower
// windows before higher ones) and whatever a window paints over is painted again above it.
#include "gwes/gwes.h"
#include "gwes/weak.h"

#include <algorithm>

namespace ce::gwes {

static RECT toClient(const Window* w, RECT r) {
    POINT o = clientOrigin(w);
    OffsetRect(&r, -o.x, -o.y);
    return r;
}

void invalidate(Window* w, const RECT* clientRect, bool erase, bool frame) {
    if (!w || w->destroyed)
        return;
    RECT full{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    RECT r = full;
    if (clientRect && !IntersectRect(&r, clientRect, &full))
        SetRectEmpty(&r);
    if (!IsRectEmpty(&r)) {
        if (w->dirty)
            UnionRect(&w->update, &w->update, &r);
        else
            w->update = r;
        w->dirty = true;
        w->erase = w->erase || erase;
    }
    if (frame)
        w->ncDirty = true;
}

void invalidateTree(Window* w) {
    if (!w || w->destroyed)
        return;
    invalidate(w, nullptr, true, true);
    for (Window* c : w->children) invalidateTree(c);
}

void damageScreen(const RECT& screen) {
    Gwes* g = state();
    if (!g || IsRectEmpty(&screen))
        return;
    g->damage.push_back({screen, nullptr, true});
}

HDC dcFor(Window* w, bool client, const RECT* clipClient) {
    Gwes* g = state();
    if (!g || !w || !&ce::display::createDC)
        return nullptr;
    POINT origin;
    RECT clip;
    if (client) {
        origin = w->desktop ? POINT{0, 0} : clientOrigin(w);
        clip = w->desktop ? w->rect : visibleScreenClient(w);
    } else {
        RECT sr = w->desktop ? w->rect : screenRect(w);
        origin = {sr.left, sr.top};
        clip = w->desktop ? w->rect : visibleScreenWindow(w);
    }
    if (clipClient) {
        RECT c = *clipClient;
        OffsetRect(&c, origin.x, origin.y);
        if (!IntersectRect(&clip, &clip, &c))
            SetRectEmpty(&clip);
    }
    if (!reallyVisible(w))
        SetRectEmpty(&clip);
    HDC dc = ce::display::createDC(origin, clip);
    if (dc)
        g->dcs[dc] = {w->handle, clip};
    return dc;
}

// Releases a DC of the window system; what it may have drawn is damage for what lies above.
static void releaseWindowDC(HDC dc) {
    Gwes* g = state();
    if (!g || !dc)
        return;
    auto it = g->dcs.find(dc);
    if (it != g->dcs.end()) {
        if (!IsRectEmpty(&it->second.clip))
            g->damage.push_back({it->second.clip, it->second.hwnd, false});
        g->dcs.erase(it);
    }
    if (&ce::display::releaseDC)
        ce::display::releaseDC(dc);
}

namespace {

void applyDamage(Gwes& g, Window* w) {
    RECT vis = w->desktop ? w->rect : visibleScreenWindow(w);
    if (IsRectEmpty(&vis))
        return;
    RECT client = w->desktop ? w->rect : screenClient(w);
    for (const auto& d : g.damage) {
        if (!d.active)
            continue;
        RECT hit;
        if (!IntersectRect(&hit, &d.rect, &vis))
            continue;
        RECT inClient;
        if (IntersectRect(&inClient, &hit, &client)) {
            RECT local = w->desktop ? inClient : toClient(w, inClient);
            invalidate(w, &local, true, false);
        }
        if (!EqualRect(&hit, &inClient))
            w->ncDirty = true;
    }
}

void activateDamageFrom(Gwes& g, HWND source) {
    for (auto& d : g.damage)
        if (d.source == source)
            d.active = true;
}

void paintWindow(Gwes& g, Window* w) {
    if (!reallyVisible(w))
        return;
    auto keep = g.hold(w->handle);
    applyDamage(g, w);
    if (w->ncDirty && !w->desktop) {
        w->ncDirty = false;
        send(w, WM_NCPAINT, 1, 0);
    }
    w->ncDirty = false;
    if (w->dirty && !w->destroyed) {
        send(w, WM_PAINT, 0, 0);
        if (!w->destroyed && w->dirty)
            ValidateRect(w->handle, nullptr);
    }
    if (w->destroyed)
        return;
    activateDamageFrom(g, w->handle);
    std::vector<HWND> kids;
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it)
        kids.push_back((*it)->handle);
    for (HWND h : kids)
        if (Window* c = win(h))
            paintWindow(g, c);
}

bool anythingDirty(const Window* w) {
    if (!(w->style & WS_VISIBLE))
        return false;
    if (w->dirty || w->ncDirty)
        return true;
    return std::any_of(w->children.begin(), w->children.end(), anythingDirty);
}

}  // namespace

void paintAll() {
    Gwes* g = state();
    if (!g || !g->desktop)
        return;
    for (int round = 0; round < 4; ++round) {
        if (g->damage.empty() && !anythingDirty(g->desktop))
            break;
        paintWindow(*g, g->desktop);
        g->damage.clear();
    }
    g->damage.clear();
}

}  // namespace ce::gwes

using namespace ce::gwes;

extern "C" {

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    Gwes* g = state();
    if (!g)
        return FALSE;
    if (!hwnd) {
        // the whole screen
        damageScreen(g->desktop->rect);
        return TRUE;
    }
    Window* w = win(hwnd);
    if (!w)
        return FALSE;
    invalidate(w, rect, erase != FALSE, rect == nullptr);
    return TRUE;
}

BOOL WINAPI ValidateRect(HWND hwnd, const RECT* rect) {
    Window* w = win(hwnd);
    if (!w)
        return FALSE;
    if (!rect) {
        w->dirty = false;
        w->erase = false;
        SetRectEmpty(&w->update);
        return TRUE;
    }
    // The update region is one rectangle: a validated part that covers it clears it.
    RECT covered;
    if (IntersectRect(&covered, &w->update, rect) && EqualRect(&covered, &w->update)) {
        w->dirty = false;
        w->erase = false;
        SetRectEmpty(&w->update);
    } else {
        RECT rest;
        if (SubtractRect(&rest, &w->update, rect))
            w->update = rest;
    }
    return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND hwnd, LPRECT rect, BOOL erase) {
    Window* w = win(hwnd);
    if (!w)
        return FALSE;
    if (rect)
        *rect = w->dirty ? w->update : RECT{0, 0, 0, 0};
    if (erase && w->dirty && w->erase) {
        HDC dc = dcFor(w, true, &w->update);
        if (dc) {
            if (send(w, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0))
                w->erase = false;
            releaseWindowDC(dc);
        }
    }
    return w->dirty;
}

BOOL WINAPI RedrawWindow(HWND hwnd, const RECT* rect, HRGN, UINT flags) {
    Window* w = hwnd ? win(hwnd) : (state() ? state()->desktop : nullptr);
    if (!w)
        return FALSE;
    if (flags & RDW_INVALIDATE) {
        invalidate(w, rect, (flags & RDW_ERASE) != 0, (flags & RDW_FRAME) != 0);
        if (flags & RDW_ALLCHILDREN)
            for (Window* c : w->children) invalidateTree(c);
    }
    if (flags & RDW_VALIDATE)
        ValidateRect(w->handle, rect);
    if (flags & (RDW_UPDATENOW | RDW_ERASENOW))
        UpdateWindow(w->handle);
    return TRUE;
}

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
    Window* w = win(hwnd);
    if (!w || !ps)
        return nullptr;
    *ps = PAINTSTRUCT{};
    RECT update = w->dirty ? w->update : RECT{0, 0, 0, 0};
    bool erase = w->dirty && w->erase;
    ps->rcPaint = update;
    // The update region is validated before the background is erased, as in Win32.
    w->dirty = false;
    w->erase = false;
    SetRectEmpty(&w->update);
    if (Gwes* g = state(); g && g->caret.hwnd == hwnd && g->caret.shown > 0) {
        // the caret is drawn by its owner
    }
    HDC dc = dcFor(w, true, &update);
    ps->hdc = dc;
    ps->fErase = erase ? TRUE : FALSE;
    if (erase && dc)
        ps->fErase = send(w, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
    return dc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT* ps) {
    if (ps && ps->hdc)
        releaseWindowDC(ps->hdc);
    return TRUE;
}

HDC WINAPI GetDC(HWND hwnd) {
    Gwes* g = state();
    Window* w = hwnd ? win(hwnd) : (g ? g->desktop : nullptr);
    return w ? dcFor(w, true, nullptr) : nullptr;
}

HDC WINAPI GetWindowDC(HWND hwnd) {
    Gwes* g = state();
    Window* w = hwnd ? win(hwnd) : (g ? g->desktop : nullptr);
    return w ? dcFor(w, false, nullptr) : nullptr;
}

int WINAPI ReleaseDC(HWND, HDC dc) {
    Gwes* g = state();
    if (!g || !dc || !g->dcs.count(dc))
        return 0;
    releaseWindowDC(dc);
    return 1;
}

}  // extern "C"
