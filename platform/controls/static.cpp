// "STATIC": text labels (SS_LEFT, SS_CENTER, SS_RIGHT word-wrapped; SS_LEFTNOWORDWRAP and
// SS_SIMPLE on one line) and the plain rectangles and frames. The text is the window text.
#include <algorithm>

#include "controls/common.h"
#include "controls/controls.h"

namespace ce::controls {
namespace {

class Static final : public Control {
  public:
    Static(HWND hwnd, const CREATESTRUCTW& cs) : Control(hwnd, cs) {}
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    DWORD kind() const { return style() & SS_TYPEMASK; }
    std::u16string text() const;
    HBRUSH background(HDC dc) const;
    void paint();
    void paintText(HDC dc, const RECT& rc);
    void paintShape(HDC dc, const RECT& rc);
    LRESULT onSetText(WPARAM wParam, LPARAM lParam);
};

std::u16string Static::text() const {
    const int n = GetWindowTextLengthW(hwnd());
    std::u16string s(static_cast<size_t>(std::max(n, 0)) + 1, u'\0');
    s.resize(static_cast<size_t>(std::max(GetWindowTextW(hwnd(), s.data(), n + 1), 0)));
    return s;
}

// The parent chooses the colours (WM_CTLCOLORSTATIC); without an answer, the window colour.
HBRUSH Static::background(HDC dc) const {
    SetTextColor(dc, sysColor(COLOR_WINDOWTEXT));
    HBRUSH brush = reinterpret_cast<HBRUSH>(SendMessageW(notifier_.parent(), WM_CTLCOLORSTATIC,
                                                         reinterpret_cast<WPARAM>(dc),
                                                         reinterpret_cast<LPARAM>(hwnd())));
    return brush ? brush : GetSysColorBrush(COLOR_WINDOW);
}

void Static::paintText(HDC dc, const RECT& rc) {
    FillRect(dc, &rc, background(dc));
    if (!enabled())
        SetTextColor(dc, sysColor(COLOR_GRAYTEXT));
    const std::u16string s = text();
    if (s.empty())
        return;
    UINT format = DT_NOPREFIX;
    switch (kind()) {
        case SS_CENTER:
            format |= DT_CENTER | DT_WORDBREAK;
            break;
        case SS_RIGHT:
            format |= DT_RIGHT | DT_WORDBREAK;
            break;
        case SS_LEFTNOWORDWRAP:
        case SS_SIMPLE:
            format |= DT_LEFT | DT_SINGLELINE;
            break;
        default:
            format |= DT_LEFT | DT_WORDBREAK;
            break;
    }
    if (style() & SS_NOPREFIX)
        format |= DT_NOPREFIX;
    RECT textRect = rc;
    if (style() & SS_CENTERIMAGE)
        format |= DT_VCENTER | DT_SINGLELINE;
    DrawTextW(dc, s.data(), static_cast<int>(s.size()), &textRect, format);
}

void Static::paintShape(HDC dc, const RECT& rc) {
    int color = COLOR_WINDOWFRAME;
    switch (kind()) {
        case SS_GRAYRECT:
        case SS_GRAYFRAME:
            color = COLOR_BTNSHADOW;
            break;
        case SS_WHITERECT:
        case SS_WHITEFRAME:
            color = COLOR_WINDOW;
            break;
        default:
            break;
    }
    const DWORD k = kind();
    if (k == SS_BLACKRECT || k == SS_GRAYRECT || k == SS_WHITERECT) {
        fillRect(dc, rc, color);
    } else {
        FillRect(dc, &rc, background(dc));
        FrameRect(dc, &rc, GetSysColorBrush(color));
    }
}

void Static::paint() {
    PaintScope paint(hwnd(), font());
    if (!paint.dc())
        return;
    const RECT rc = clientRect();
    const DWORD k = kind();
    if (k >= SS_BLACKRECT && k <= SS_WHITEFRAME)
        paintShape(paint.dc(), rc);
    else
        paintText(paint.dc(), rc);
}

LRESULT Static::onSetText(WPARAM wParam, LPARAM lParam) {
    const LRESULT r = DefWindowProcW(hwnd(), WM_SETTEXT, wParam, lParam);
    invalidate();
    return r;
}

LRESULT Static::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            paint();
            return 0;
        case WM_SETTEXT:
            return onSetText(wParam, lParam);
        case WM_NCHITTEST:
            // Labels let taps through to what lies beneath unless they notify.
            return (style() & SS_NOTIFY) ? HTCLIENT : HTTRANSPARENT;
        case WM_LBUTTONDOWN:
            if (style() & SS_NOTIFY)
                notifier_.command(STN_CLICKED);
            return 0;
        case WM_GETDLGCODE:
            return DLGC_STATIC;
        default:
            return unhandled(message, wParam, lParam, "STATIC");
    }
}

}  // namespace

void registerStaticClass() {
    registerControlClass(u"STATIC", controlProc<Static>, 0);
}

}  // namespace ce::controls
