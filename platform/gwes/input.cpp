// Input: stylus events hit-tested to the deepest visible, enabled window (or the capture),
// activation of the window tapped, keys to the focus window.
#include "gwes/gwes.h"

namespace ce::gwes {
namespace {

// Windows a modal loop leaves reachable: the modal window, what it owns, and the shell.
bool reachable(Gwes& g, Window* top) {
    if (g.modal.empty())
        return true;
    HWND m = g.modal.back();
    if (top->handle == m || top->handle == g.navBar)
        return true;
    for (HWND o = top->owner; o;) {
        if (o == m)
            return true;
        Window* ow = win(o);
        o = ow ? ow->owner : nullptr;
    }
    return false;
}

Window* deepest(Window* w, POINT p) {
    for (Window* c : w->children) {
        if (!(c->style & WS_VISIBLE) || c->destroyed)
            continue;
        RECT r = visibleScreenWindow(c);
        if (!PtInRect(&r, p))
            continue;
        if (c->style & WS_DISABLED)
            return w;
        return deepest(c, p);
    }
    return w;
}

LPARAM clientPoint(Window* w, POINT p) {
    POINT o = clientOrigin(w);
    return MAKELPARAM(static_cast<WORD>(p.x - o.x), static_cast<WORD>(p.y - o.y));
}

// A tap outside an open menu or dropped list closes it and does nothing else, as on the
// device: when the window that held the stylus at the tap's start has let go of it, the rest
// of the tap (its moves and its release) reaches nothing, so that the release of a tap on a
// menu bar button does not open the menu it has just closed.
bool spentTap(Gwes& g, InputEvent::Kind kind) {
    if (kind == InputEvent::Kind::StylusDown) {
        g.tapCapture = win(g.capture) ? g.capture : nullptr;
        return false;
    }
    const bool spent = g.tapCapture && g.capture != g.tapCapture;
    if (kind == InputEvent::Kind::StylusUp) {
        g.tapCapture = nullptr;
        if (spent)
            g.keyState[VK_LBUTTON] = 0;
    }
    return spent;
}

void stylus(Gwes& g, InputEvent::Kind kind, POINT p) {
    g.cursor = p;
    if (g.track.hwnd) {
        if (kind != InputEvent::Kind::StylusDown)
            continueScrollTrack(p, kind == InputEvent::Kind::StylusUp);
        return;
    }
    if (spentTap(g, kind))
        return;
    if (kind == InputEvent::Kind::StylusDown)
        g.keyState[VK_LBUTTON] = 0x80;
    if (kind == InputEvent::Kind::StylusUp)
        g.keyState[VK_LBUTTON] = 0;
    Window* target = win(g.capture);
    bool captured = target != nullptr;
    if (!target)
        target = hitTest(p);
    if (!target)
        return;
    HWND h = target->handle;
    if (kind == InputEvent::Kind::StylusDown && !captured) {
        Window* top = topLevelOf(target);
        if (activatable(top) && g.active != top->handle) {
            if (send(target, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(top->handle),
                     MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)) != MA_NOACTIVATE)
                activate(top);
        }
        if (!(target = win(h)))
            return;
    }
    LRESULT hit = captured ? HTCLIENT : send(target, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    if (!win(h))
        return;
    WPARAM keys = g.keyState[VK_LBUTTON] ? MK_LBUTTON : 0;
    if (hit == HTCLIENT) {
        UINT msg = kind == InputEvent::Kind::StylusDown ? WM_LBUTTONDOWN
                   : kind == InputEvent::Kind::StylusUp ? WM_LBUTTONUP
                                                        : WM_MOUSEMOVE;
        post(h, msg, keys, clientPoint(target, p));
    } else if (hit != HTNOWHERE && hit != HTTRANSPARENT) {
        UINT msg = kind == InputEvent::Kind::StylusDown ? WM_NCLBUTTONDOWN
                   : kind == InputEvent::Kind::StylusUp ? WM_NCLBUTTONUP
                                                        : WM_NCMOUSEMOVE;
        post(h, msg, static_cast<WPARAM>(hit), MAKELPARAM(p.x, p.y));
    }
}

void keyboard(Gwes& g, const InputEvent& e) {
    // An open menu takes the keys, as a menu's modal loop does.
    HWND target = win(g.openPopup) ? g.openPopup : win(g.focus) ? g.focus : g.active;
    if (e.kind == InputEvent::Kind::Char) {
        if (target)
            post(target, WM_CHAR, e.ch, 1);
        return;
    }
    bool up = e.kind == InputEvent::Kind::KeyUp;
    UINT vk = e.vk & 0xFF;
    if (up)
        g.keyState[vk] &= static_cast<uint8_t>(~0x80);
    else
        g.keyState[vk] = static_cast<uint8_t>((g.keyState[vk] ^ 0x01) | 0x80);
    LPARAM lp = 1 | kFromInputSource;
    if (up)
        lp |= (1LL << 30) | (1LL << 31);
    if (target)
        post(target, up ? WM_KEYUP : WM_KEYDOWN, vk, lp);
}

}  // namespace

Window* hitTest(POINT p) {
    Gwes* g = state();
    if (!g || !g->desktop)
        return nullptr;
    for (Window* top : g->desktop->children) {
        if (!(top->style & WS_VISIBLE) || top->destroyed)
            continue;
        RECT r = visibleScreenWindow(top);
        if (!PtInRect(&r, p))
            continue;
        if (!reachable(*g, top) || (top->style & WS_DISABLED))
            return nullptr;
        return deepest(top, p);
    }
    return nullptr;
}

void handleInputEvent(const InputEvent& e) {
    Gwes* g = state();
    if (!g)
        return;
    switch (e.kind) {
        case InputEvent::Kind::StylusDown:
        case InputEvent::Kind::StylusMove:
        case InputEvent::Kind::StylusUp:
            stylus(*g, e.kind, POINT{e.x, e.y});
            break;
        case InputEvent::Kind::KeyDown:
        case InputEvent::Kind::KeyUp:
        case InputEvent::Kind::Char:
            keyboard(*g, e);
            break;
        case InputEvent::Kind::Close:
            break;
    }
}

}  // namespace ce::gwes
