// The Pocket PC shell: the navigation bar across the top (the active window's title and its
// "ok" button), menu bars across the bottom (SHCreateMenuBar), and SHInitDialog.
#include "gwes/gwes.h"

#include <aygshell.h>

#include <algorithm>

namespace ce::gwes {
namespace {

const char16_t kNavBarClass[] = u"HHTaskBar";
const char16_t kMenuBarClass[] = u"menu_worker";
constexpr int kOkWidth = 30;
constexpr int kBarButtonPad = 16;
constexpr int kSipWidth = 24;

// ---- navigation bar --------------------------------------------------------------------------

void paintFlag(HDC dc, int x, int y) {
    // the Start button's four-colour flag
    const COLORREF colours[] = {RGB(232, 64, 32), RGB(64, 176, 48), RGB(32, 112, 232),
                                RGB(248, 200, 32)};
    for (int i = 0; i < 4; ++i) {
        RECT r{x + (i % 2) * 7, y + (i / 2) * 7, x + (i % 2) * 7 + 6, y + (i / 2) * 7 + 6};
        HBRUSH b = CreateSolidBrush(colours[i]);
        FillRect(dc, &r, b);
        DeleteObject(b);
    }
}

void paintNavBar(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc) {
        EndPaint(hwnd, &ps);
        return;
    }
    RECT rc;
    GetClientRect(hwnd, &rc);
    // dark blue, lighter at the top
    for (int y = rc.top; y < rc.bottom; ++y) {
        int t = (y - rc.top) * 255 / std::max<int>(1, rc.bottom - rc.top - 1);
        HBRUSH b = CreateSolidBrush(RGB(24 - t * 24 / 255, 72 - t * 40 / 255, 168 - t * 56 / 255));
        RECT line{rc.left, y, rc.right, y + 1};
        FillRect(dc, &line, b);
        DeleteObject(b);
    }
    paintFlag(dc, 5, 6);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    HGDIOBJ old = SelectObject(dc, boldFont());
    RECT title{26, 0, rc.right - (navHasOk() ? kOkWidth + 8 : 4), rc.bottom};
    std::u16string text = navTitle();
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &title,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (navHasOk()) {
        RECT ok = navOkRect();
        HBRUSH frame = CreateSolidBrush(RGB(255, 255, 255));
        FrameRect(dc, &ok, frame);
        DeleteObject(frame);
        DrawTextW(dc, u"ok", 2, &ok, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    SelectObject(dc, old);
    EndPaint(hwnd, &ps);
}

// The window's state (its extra bytes) is set while the stylus went down on the ok button.
LRESULT CALLBACK navBarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT:
            paintNavBar(hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_LBUTTONDOWN: {
            RECT ok = navOkRect();
            POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
            bool pressedOk = navHasOk() && PtInRect(&ok, p);
            setWindowState(hwnd, pressedOk ? hwnd : nullptr);
            if (pressedOk)
                SetCapture(hwnd);
            return 0;
        }
        case WM_LBUTTONUP: {
            bool wasPressed = windowState<void>(hwnd) != nullptr;
            setWindowState(hwnd, nullptr);
            if (GetCapture() == hwnd)
                ReleaseCapture();
            RECT ok = navOkRect();
            POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
            if (wasPressed && navHasOk() && PtInRect(&ok, p))
                if (Window* owner = navOwner())
                    PostMessageW(owner->handle, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
            return 0;
        }
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

// ---- menu bar --------------------------------------------------------------------------------

struct MenuBar {
    HMENU menu = nullptr;
    int pressed = -1;
};

MenuBar* barData(HWND hwnd) {
    return windowState<MenuBar>(hwnd);
}

std::vector<RECT> barButtons(HWND hwnd) {
    std::vector<RECT> out;
    MenuBar* bar = barData(hwnd);
    MenuData* m = bar ? menuOf(bar->menu) : nullptr;
    if (!m)
        return out;
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = dc ? SelectObject(dc, menuFont()) : nullptr;
    RECT rc;
    GetClientRect(hwnd, &rc);
    int x = 0;
    for (const auto& it : m->items) {
        SIZE ext{40, 11};
        if (dc)
            GetTextExtentPoint32W(dc, it.text.c_str(), static_cast<int>(it.text.size()), &ext);
        int w = ext.cx + kBarButtonPad;
        out.push_back(RECT{x, rc.top, x + w, rc.bottom});
        x += w;
    }
    if (dc) {
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
    }
    return out;
}

void paintMenuBar(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    MenuBar* bar = barData(hwnd);
    MenuData* m = bar ? menuOf(bar->menu) : nullptr;
    if (dc) {
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
        RECT top{rc.left, rc.top, rc.right, rc.top + 1};
        FillRect(dc, &top, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
        HGDIOBJ old = SelectObject(dc, menuFont());
        SetBkMode(dc, TRANSPARENT);
        std::vector<RECT> buttons = barButtons(hwnd);
        for (size_t i = 0; m && i < m->items.size() && i < buttons.size(); ++i) {
            RECT r = buttons[i];
            if (bar->pressed == static_cast<int>(i)) {
                FillRect(dc, &r, GetSysColorBrush(COLOR_HIGHLIGHT));
                SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
            } else {
                SetTextColor(dc, GetSysColor((m->items[i].flags & MF_GRAYED) ? COLOR_GRAYTEXT
                                                                             : COLOR_BTNTEXT));
            }
            DrawTextW(dc, m->items[i].text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
        // the input panel button at the right
        RECT sip{rc.right - kSipWidth + 4, rc.top + 7, rc.right - 4, rc.bottom - 6};
        FrameRect(dc, &sip, GetSysColorBrush(COLOR_BTNTEXT));
        for (int k = 0; k < 3; ++k) {
            RECT key{sip.left + 3 + k * 5, sip.top + 3, sip.left + 6 + k * 5, sip.top + 5};
            FillRect(dc, &key, GetSysColorBrush(COLOR_BTNTEXT));
        }
        SelectObject(dc, old);
    }
    EndPaint(hwnd, &ps);
}

void pressButton(HWND hwnd, int index) {
    MenuBar* bar = barData(hwnd);
    MenuData* m = bar ? menuOf(bar->menu) : nullptr;
    if (!m || index < 0 || static_cast<size_t>(index) >= m->items.size())
        return;
    const MenuItem item = m->items[static_cast<size_t>(index)];
    if (item.flags & (MF_GRAYED | MF_DISABLED))
        return;
    HWND parent = GetWindow(hwnd, GW_OWNER);
    if (!item.sub) {
        PostMessageW(parent, WM_COMMAND, MAKEWPARAM(item.id, 0), 0);
        return;
    }
    std::vector<RECT> buttons = barButtons(hwnd);
    RECT r = buttons[static_cast<size_t>(index)];
    POINT corner{r.left, r.top};
    ClientToScreen(hwnd, &corner);
    bar->pressed = index;
    InvalidateRect(hwnd, nullptr, FALSE);
    UINT id = trackPopup(item.sub, corner.x, corner.y, true, parent);
    if (!IsWindow(hwnd))
        return;
    bar->pressed = -1;
    InvalidateRect(hwnd, nullptr, FALSE);
    if (id)
        PostMessageW(parent, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

LRESULT CALLBACK menuBarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    MenuBar* bar = barData(hwnd);
    switch (msg) {
        case WM_PAINT:
            paintMenuBar(hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_LBUTTONUP: {
            POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
            std::vector<RECT> buttons = barButtons(hwnd);
            for (size_t i = 0; i < buttons.size(); ++i)
                if (PtInRect(&buttons[i], p)) {
                    pressButton(hwnd, static_cast<int>(i));
                    break;
                }
            return 0;
        }
        case SHCMBM_GETMENU:
            return bar ? reinterpret_cast<LRESULT>(bar->menu) : 0;
        case SHCMBM_GETSUBMENU: {
            MenuData* m = bar ? menuOf(bar->menu) : nullptr;
            if (!m)
                return 0;
            for (const auto& it : m->items)
                if (it.sub && it.id == static_cast<UINT>(lp))
                    return reinterpret_cast<LRESULT>(it.sub);
            // lParam may also name the button by position
            if (static_cast<size_t>(lp) < m->items.size())
                return reinterpret_cast<LRESULT>(m->items[static_cast<size_t>(lp)].sub);
            return 0;
        }
        case WM_NCDESTROY:
            if (bar) {
                DestroyMenu(bar->menu);
                setWindowState(hwnd, nullptr);
                delete bar;
            }
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace

void createShell() {
    Gwes* g = state();
    WNDCLASSW wc{};
    wc.cbWndExtra = kStateBytes;
    wc.lpfnWndProc = navBarProc;
    wc.lpszClassName = kNavBarClass;
    RegisterClassW(&wc);
    wc.lpfnWndProc = menuBarProc;
    wc.lpszClassName = kMenuBarClass;
    RegisterClassW(&wc);
    // Classes registered from here on are the program's own.
    g->shellReady = true;
    g->navBar = CreateWindowExW(WS_EX_TOPMOST, kNavBarClass, u"", WS_POPUP | WS_VISIBLE, 0, 0,
                                screenWidth(), kNavBarHeight, nullptr, nullptr, nullptr, nullptr);
    if (Window* nb = win(g->navBar))
        nb->noActivate = true;
}

HWND navBarHandle() {
    Gwes* g = state();
    return g ? g->navBar : nullptr;
}

Window* navOwner() {
    Gwes* g = state();
    return g ? win(g->active) : nullptr;
}

std::u16string navTitle() {
    Window* w = navOwner();
    return w ? w->text : std::u16string();
}

bool navHasOk() {
    Window* w = navOwner();
    if (!w)
        return false;
    if ((w->exStyle & WS_EX_CAPTIONOKBTN) || w->doneButton)
        return true;
    return false;
}

RECT navOkRect() {
    if (!navHasOk())
        return RECT{0, 0, 0, 0};
    int right = screenWidth() - 4;
    return RECT{right - kOkWidth, 4, right, kNavBarHeight - 4};
}

void updateNavBar() {
    Gwes* g = state();
    if (!g || !g->navBar)
        return;
    Window* owner = navOwner();
    HWND h = owner ? owner->handle : nullptr;
    std::u16string title = navTitle();
    bool ok = navHasOk();
    if (h == g->lastNavOwner && title == g->lastNavTitle && ok == g->lastNavOk)
        return;
    g->lastNavOwner = h;
    g->lastNavTitle = title;
    g->lastNavOk = ok;
    if (Window* nb = win(g->navBar))
        invalidate(nb, nullptr, false, false);
}

std::vector<MenuBarButton> menuBarButtons() {
    std::vector<MenuBarButton> out;
    Gwes* g = state();
    if (!g)
        return out;
    for (Window* top : g->desktop->children) {
        if (!reallyVisible(top) || lower(top->cls->name) != lower(kMenuBarClass))
            continue;
        MenuBar* bar = barData(top->handle);
        MenuData* m = bar ? menuOf(bar->menu) : nullptr;
        if (!m)
            continue;
        std::vector<RECT> buttons = barButtons(top->handle);
        POINT o = clientOrigin(top);
        for (size_t i = 0; i < m->items.size() && i < buttons.size(); ++i) {
            RECT r = buttons[i];
            OffsetRect(&r, o.x, o.y);
            out.push_back({m->items[i].text, r, top->handle});
        }
    }
    return out;
}

}  // namespace ce::gwes

using namespace ce::gwes;

extern "C" {

BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO* info) {
    if (!info)
        return FALSE;
    info->hwndMB = nullptr;
    Window* parent = win(info->hwndParent);
    if (!parent) {
        setError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    HMENU menu = nullptr;
    if (info->dwFlags & SHCMBF_EMPTYBAR) {
        menu = CreateMenu();
    } else {
        // A menu resource (SHCMBF_HMENU); each of its popups becomes a button.
        menu = LoadMenuW(info->hInstRes, MAKEINTRESOURCEW(info->nToolBarId));
        if (!menu)
            return FALSE;
    }
    Window* top = topLevelOf(parent);
    RECT bar{0, screenHeight() - kMenuBarHeight, screenWidth(), screenHeight()};
    HWND hwnd =
        CreateWindowExW(0, kMenuBarClass, u"", WS_POPUP, bar.left, bar.top, bar.right - bar.left,
                        bar.bottom - bar.top, top->handle, nullptr, info->hInstRes, nullptr);
    Window* w = win(hwnd);
    if (!w) {
        DestroyMenu(menu);
        return FALSE;
    }
    w->noActivate = true;
    auto* data = new MenuBar;
    data->menu = menu;
    setWindowState(hwnd, data);
    if (Window* t = win(top->handle))
        t->menuBar = hwnd;
    if (!(info->dwFlags & SHCMBF_HIDDEN))
        ShowWindow(hwnd, SW_SHOWNA);
    info->hwndMB = hwnd;
    return TRUE;
}

HWND WINAPI SHFindMenuBar(HWND hwnd) {
    Window* w = win(hwnd);
    if (!w)
        return nullptr;
    Window* top = topLevelOf(w);
    return win(top->menuBar) ? top->menuBar : nullptr;
}

BOOL WINAPI SHInitDialog(PSHINITDLGINFO info) {
    if (!info || !(info->dwMask & SHIDIM_FLAGS))
        return FALSE;
    Window* w = win(info->hDlg);
    if (!w)
        return FALSE;
    if (info->dwFlags & SHIDIF_DONEBUTTON) {
        w->doneButton = true;
        updateNavBar();
    }
    if (info->dwFlags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR)) {
        // The work area below the navigation bar, above the dialog's own menu bar if it has one.
        RECT area = workArea();
        RECT bar;
        if (HWND mb = SHFindMenuBar(info->hDlg);
            mb && (info->dwFlags & SHIDIF_SIZEDLG) && GetWindowRect(mb, &bar))
            area.bottom = bar.top;
        SetWindowPos(info->hDlg, nullptr, area.left, area.top, area.right - area.left,
                     area.bottom - area.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return TRUE;
}

BOOL WINAPI SHFullScreen(HWND hwnd, DWORD) {
    return IsWindow(hwnd);
}

BOOL WINAPI SHDoneButton(HWND hwnd, DWORD state) {
    Window* w = win(hwnd);
    if (!w)
        return FALSE;
    if (state & SHDB_SHOW)
        w->doneButton = true;
    if (state & SHDB_HIDE)
        w->doneButton = false;
    updateNavBar();
    return TRUE;
}

}  // extern "C"
