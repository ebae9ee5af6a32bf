// DefWindowProc: the default answer to every message, as Win32 gives it.
#include "gwes/gwes.h"

#include <algorithm>

namespace ce::gwes {
namespace {

LRESULT onNcCreate(Window* w, LPARAM lp) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName))
        w->text = cs->lpszName;
    return TRUE;
}

LRESULT onSetText(Window* w, LPARAM lp) {
    auto* text = reinterpret_cast<LPCWSTR>(lp);
    w->text = text ? std::u16string(text) : std::u16string();
    if (!w->isChild())
        updateNavBar();
    return TRUE;
}

// Copies at most wParam - 1 units and a NUL; answers the number of units copied.
LRESULT onGetText(Window* w, WPARAM wp, LPARAM lp) {
    auto* buffer = reinterpret_cast<LPWSTR>(lp);
    if (!buffer || wp == 0)
        return 0;
    size_t n = std::min<size_t>(w->text.size(), wp - 1);
    std::copy_n(w->text.data(), n, buffer);
    buffer[n] = 0;
    return static_cast<LRESULT>(n);
}

LRESULT onEraseBackground(Window* w, WPARAM wp) {
    HBRUSH brush = resolveBrush(w->cls->wc.hbrBackground);
    if (!brush || !wp)
        return 0;
    RECT rc{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    FillRect(reinterpret_cast<HDC>(wp), &rc, brush);
    return 1;
}

void onNcPaint(Window* w) {
    HDC dc = dcFor(w, false, nullptr);
    if (!dc)
        return;
    RECT r{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    if (w->exStyle & WS_EX_CLIENTEDGE) {
        DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    } else if (w->exStyle & WS_EX_STATICEDGE) {
        DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    }
    bool framed = (w->style & (WS_BORDER | WS_DLGFRAME)) &&
                  !(!w->isChild() && (w->style & WS_CAPTION) == WS_CAPTION);
    if (framed) {
        FrameRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
    }
    paintScrollBars(w, dc);
    ReleaseDC(w->handle, dc);
}

LRESULT onCtlColor(UINT msg, WPARAM wp) {
    HDC dc = reinterpret_cast<HDC>(wp);
    if (msg == WM_CTLCOLOREDIT || msg == WM_CTLCOLORLISTBOX) {
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    if (msg == WM_CTLCOLORSCROLLBAR)
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_SCROLLBAR));
    SetTextColor(dc, GetSysColor(COLOR_STATICTEXT));
    SetBkColor(dc, GetSysColor(COLOR_STATIC));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_STATIC));
}

LRESULT onNcHitTest(Window* w, LPARAM lp) {
    POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    RECT wr = screenRect(w);
    if (!PtInRect(&wr, p))
        return HTNOWHERE;
    RECT cr = screenClient(w);
    if (PtInRect(&cr, p))
        return HTCLIENT;
    if (int bar = scrollHitTest(w, p))
        return bar;
    return HTBORDER;
}

void onWindowPosChanged(Window* w, LPARAM lp) {
    auto* wp = reinterpret_cast<WINDOWPOS*>(lp);
    if (!wp)
        return;
    if (!(wp->flags & SWP_NOSIZE))
        send(w, WM_SIZE, SIZE_RESTORED,
             MAKELPARAM(w->client.right - w->client.left, w->client.bottom - w->client.top));
    if (!(wp->flags & SWP_NOMOVE) && !w->destroyed)
        send(w, WM_MOVE, 0, MAKELPARAM(w->rect.left + w->client.left, w->rect.top + w->client.top));
}

}  // namespace
}  // namespace ce::gwes

using namespace ce::gwes;

extern "C" {

LRESULT WINAPI DefWindowProcW(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* w = win(hwnd);
    if (!w)
        return 0;
    switch (msg) {
        case WM_NCCREATE:
            return onNcCreate(w, lp);
        case WM_NCCALCSIZE:
            return 0;
        case WM_SETTEXT:
            return onSetText(w, lp);
        case WM_GETTEXT:
            return onGetText(w, wp, lp);
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(w->text.size());
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return onEraseBackground(w, wp);
        case WM_NCPAINT:
            onNcPaint(w);
            return 0;
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_SYSCOMMAND:
            if ((wp & 0xFFF0) == SC_CLOSE)
                send(w, WM_CLOSE, 0, 0);
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wp) != WA_INACTIVE) {
                HWND focus = GetFocus();
                if (!focus || (focus != hwnd && !IsChild(hwnd, focus)))
                    SetFocus(hwnd);
            }
            return 0;
        case WM_MOUSEACTIVATE:
            return MA_ACTIVATE;
        case WM_SETCURSOR:
            return FALSE;
        case WM_WINDOWPOSCHANGED:
            onWindowPosChanged(w, lp);
            return 0;
        case WM_WINDOWPOSCHANGING:
            return 0;
        case WM_SETFONT:
            w->font = reinterpret_cast<HFONT>(wp);
            if (LOWORD(lp))
                InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(w->font);
        case WM_SETREDRAW:
            w->redraw = wp != 0;
            return 0;
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return onCtlColor(msg, wp);
        case WM_NCHITTEST:
            return onNcHitTest(w, lp);
        case WM_NCLBUTTONDOWN:
            if (wp == HTVSCROLL || wp == HTHSCROLL)
                beginScrollTrack(w, wp == HTVSCROLL ? SB_VERT : SB_HORZ,
                                 POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
            return 0;
        case WM_CANCELMODE:
            if (GetCapture() == hwnd)
                ReleaseCapture();
            return 0;
        case WM_NOTIFYFORMAT:
            return 2;  // NFR_UNICODE
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
            return -1;
        case WM_GETDLGCODE:
            return 0;
        default:
            return 0;
    }
}

LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (!proc || !win(hwnd))
        return 0;
    return proc(hwnd, msg, wp, lp);
}

}  // extern "C"
