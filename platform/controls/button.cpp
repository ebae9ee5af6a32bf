// "BUTTON": push buttons (BS_PUSHBUTTON, BS_DEFPUSHBUTTON), check boxes (BS_CHECKBOX,
// BS_AUTOCHECKBOX, the three-state kinds) and radio buttons (BS_RADIOBUTTON,
// BS_AUTORADIOBUTTON). The label is the window text, kept by the default window procedure.
#include <algorithm>

#include "controls/common.h"
#include "controls/controls.h"
#include "controls/layout.h"

namespace ce::controls {
namespace {

using layout::kCheckBoxSize;
using layout::kCheckGap;

class Button final : public Control {
  public:
    Button(HWND hwnd, const CREATESTRUCTW& cs) : Control(hwnd, cs) {}

    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    // --- state
    UINT check_ = BST_UNCHECKED;
    bool pushed_ = false;    // BST_PUSHED: drawn pressed
    bool tracking_ = false;  // stylus went down on the button and is held

    // --- kind
    DWORD kind() const { return style() & BS_TYPEMASK; }
    bool isRadio() const { return kind() == BS_RADIOBUTTON || kind() == BS_AUTORADIOBUTTON; }
    bool isThreeState() const { return kind() == BS_3STATE || kind() == BS_AUTO3STATE; }
    bool isCheckBox() const {
        return kind() == BS_CHECKBOX || kind() == BS_AUTOCHECKBOX || isThreeState();
    }
    bool hasCheck() const { return isCheckBox() || isRadio(); }
    // The highest check state the kind takes: BM_SETCHECK clamps to it.
    UINT maxCheck() const;
    bool hitInside(LPARAM lParam) const;
    void uncheckGroupSiblings() const;

    // --- painting
    void paint();
    void paintPushButton(HDC dc, const RECT& rc, const std::u16string& text);
    void paintCheckBox(HDC dc, const RECT& rc, const std::u16string& text);
    std::u16string label() const;

    // --- messages
    LRESULT onGetCheck() const;
    LRESULT onSetCheck(WPARAM state);
    LRESULT onGetState() const;
    LRESULT onSetState(WPARAM pushed);
    LRESULT onSetStyle(WPARAM style, LPARAM redraw);
    LRESULT onClick();
    LRESULT onButtonDown();
    LRESULT onMouseMove(LPARAM lParam);
    LRESULT onButtonUp(LPARAM lParam);
    LRESULT onKeyDown(WPARAM key);
    LRESULT onKeyUp(WPARAM key);
    void release(bool clicked);
    void toggleAndNotify();
};

bool Button::hitInside(LPARAM lParam) const {
    const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    const RECT rc = clientRect();
    return PtInRect(&rc, pt) != FALSE;
}

UINT Button::maxCheck() const {
    if (isThreeState())
        return BST_INDETERMINATE;
    return hasCheck() ? BST_CHECKED : BST_UNCHECKED;
}

// An automatic radio button that is checked clears the other automatic radio buttons of its
// group: its siblings from the one that starts the group (WS_GROUP) to the next that does.
void Button::uncheckGroupSiblings() const {
    HWND first = hwnd();
    while (!(GetWindowLongW(first, GWL_STYLE) & WS_GROUP)) {
        HWND prev = GetWindow(first, GW_HWNDPREV);
        if (!prev)
            break;
        first = prev;
    }
    for (HWND w = first; w; w = GetWindow(w, GW_HWNDNEXT)) {
        const DWORD s = static_cast<DWORD>(GetWindowLongW(w, GWL_STYLE));
        if (w != first && (s & WS_GROUP))
            break;
        WCHAR cls[8] = {};
        if (w != hwnd() && (s & BS_TYPEMASK) == BS_AUTORADIOBUTTON && GetClassNameW(w, cls, 8) &&
            _wcsicmp(cls, u"BUTTON") == 0)
            SendMessageW(w, BM_SETCHECK, BST_UNCHECKED, 0);
    }
}

// --- painting ---------------------------------------------------------------------------------

std::u16string Button::label() const {
    const int n = GetWindowTextLengthW(hwnd());
    std::u16string text(static_cast<size_t>(std::max(n, 0)) + 1, u'\0');
    const int got = GetWindowTextW(hwnd(), text.data(), n + 1);
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return text;
}

void Button::paintPushButton(HDC dc, const RECT& rc, const std::u16string& text) {
    fillRect(dc, rc, COLOR_BTNFACE);
    RECT edge = rc;
    if (kind() == BS_DEFPUSHBUTTON) {
        FrameRect(dc, &edge, GetSysColorBrush(COLOR_WINDOWFRAME));
        InflateRect(&edge, -1, -1);
    }
    DrawEdge(dc, &edge, pushed_ ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    RECT textRect = rc;
    InflateRect(&textRect, -layout::kPushEdge, 0);
    if (pushed_)
        OffsetRect(&textRect, 1, 1);
    drawTextLine(dc, text, textRect, DT_CENTER | DT_VCENTER,
                 sysColor(enabled() ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
}

void Button::paintCheckBox(HDC dc, const RECT& rc, const std::u16string& text) {
    HBRUSH background = reinterpret_cast<HBRUSH>(SendMessageW(notifier_.parent(), WM_CTLCOLORSTATIC,
                                                              reinterpret_cast<WPARAM>(dc),
                                                              reinterpret_cast<LPARAM>(hwnd())));
    FillRect(dc, &rc, background ? background : GetSysColorBrush(COLOR_WINDOW));
    const int top = rc.top + (rc.bottom - rc.top - kCheckBoxSize) / 2;
    RECT box{rc.left, top, rc.left + kCheckBoxSize, top + kCheckBoxSize};
    UINT state = isRadio() ? DFCS_BUTTONRADIO : DFCS_BUTTONCHECK;
    if (check_ == BST_CHECKED)
        state |= DFCS_CHECKED;
    if (check_ == BST_INDETERMINATE)
        state |= DFCS_CHECKED | DFCS_INACTIVE;
    if (pushed_)
        state |= DFCS_PUSHED;
    if (!enabled())
        state |= DFCS_INACTIVE;
    DrawFrameControl(dc, &box, DFC_BUTTON, state);
    RECT textRect{box.right + kCheckGap, rc.top, rc.right, rc.bottom};
    drawTextLine(dc, text, textRect, DT_LEFT | DT_VCENTER,
                 sysColor(enabled() ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
}

void Button::paint() {
    PaintScope paint(hwnd(), font());
    if (!paint.dc())
        return;
    const RECT rc = clientRect();
    const std::u16string text = label();
    if (hasCheck())
        paintCheckBox(paint.dc(), rc, text);
    else
        paintPushButton(paint.dc(), rc, text);
}

// --- messages ---------------------------------------------------------------------------------

LRESULT Button::onGetCheck() const {
    return hasCheck() ? check_ : BST_UNCHECKED;
}

// Values above the kind's highest state take that state (a two-state box is checked by 2 or
// -1); a push button keeps none. A radio button is a tab stop while it is checked.
LRESULT Button::onSetCheck(WPARAM state) {
    const UINT wanted = static_cast<UINT>(std::min<WPARAM>(state, maxCheck()));
    if (wanted == check_)
        return 0;
    check_ = wanted;
    if (isRadio()) {
        const DWORD s = style();
        SetWindowLongW(hwnd(), GWL_STYLE,
                       static_cast<LONG>(check_ ? (s | WS_TABSTOP) : (s & ~WS_TABSTOP)));
    }
    invalidate();
    return 0;
}

LRESULT Button::onGetState() const {
    LRESULT state = onGetCheck();
    if (pushed_)
        state |= BST_PUSHED;
    if (focused())
        state |= BST_FOCUS;
    return state;
}

LRESULT Button::onSetState(WPARAM pushed) {
    const bool wanted = pushed != 0;
    if (wanted != pushed_) {
        pushed_ = wanted;
        invalidate();
    }
    return 0;
}

LRESULT Button::onSetStyle(WPARAM type, LPARAM redraw) {
    // Only the kind changes; the other style bits stay.
    SetWindowLongW(hwnd(), GWL_STYLE,
                   static_cast<LONG>((style() & ~BS_TYPEMASK) | (type & BS_TYPEMASK)));
    if (LOWORD(redraw))
        invalidate();
    return 0;
}

void Button::toggleAndNotify() {
    switch (kind()) {
        case BS_AUTOCHECKBOX:
            onSetCheck(check_ == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
            break;
        case BS_AUTO3STATE:
            onSetCheck((check_ + 1) % 3);
            break;
        case BS_AUTORADIOBUTTON:
            onSetCheck(BST_CHECKED);
            uncheckGroupSiblings();
            break;
        default:
            break;
    }
    notifier_.command(BN_CLICKED);
}

LRESULT Button::onClick() {
    // As a tap would: pressed, released, then the click.
    onSetState(TRUE);
    onSetState(FALSE);
    toggleAndNotify();
    return 0;
}

LRESULT Button::onButtonDown() {
    SetFocus(hwnd());
    SetCapture(hwnd());
    tracking_ = true;
    onSetState(TRUE);
    UpdateWindow(hwnd());
    return 0;
}

LRESULT Button::onMouseMove(LPARAM lParam) {
    if (tracking_)
        onSetState(hitInside(lParam));
    return 0;
}

void Button::release(bool clicked) {
    tracking_ = false;
    onSetState(FALSE);
    if (GetCapture() == hwnd())
        ReleaseCapture();
    if (clicked)
        toggleAndNotify();
}

LRESULT Button::onButtonUp(LPARAM lParam) {
    if (tracking_)
        release(hitInside(lParam));
    return 0;
}

LRESULT Button::onKeyDown(WPARAM key) {
    if (key == VK_SPACE || key == VK_RETURN)
        onSetState(TRUE);
    return 0;
}

LRESULT Button::onKeyUp(WPARAM key) {
    if ((key == VK_SPACE || key == VK_RETURN) && pushed_) {
        onSetState(FALSE);
        toggleAndNotify();
    }
    return 0;
}

LRESULT Button::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case BM_GETCHECK:
            return onGetCheck();
        case BM_SETCHECK:
            return onSetCheck(wParam);
        case BM_GETSTATE:
            return onGetState();
        case BM_SETSTATE:
            return onSetState(wParam);
        case BM_CLICK:
            return onClick();
        case BM_SETSTYLE:
            return onSetStyle(wParam, lParam);
        case WM_PAINT:
            paint();
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            return onButtonDown();
        case WM_MOUSEMOVE:
            return onMouseMove(lParam);
        case WM_LBUTTONUP:
            return onButtonUp(lParam);
        case WM_CAPTURECHANGED:
            if (tracking_ && reinterpret_cast<HWND>(lParam) != hwnd())
                release(false);
            return 0;
        case WM_KEYDOWN:
            return onKeyDown(wParam);
        case WM_KEYUP:
            return onKeyUp(wParam);
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            invalidate();
            return 0;
        case WM_SETTEXT: {
            const LRESULT r = DefWindowProcW(hwnd(), message, wParam, lParam);
            invalidate();
            return r;
        }
        case WM_GETDLGCODE:
            if (isRadio())
                return DLGC_BUTTON | DLGC_RADIOBUTTON;
            return isCheckBox() ? DLGC_BUTTON : DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        default:
            return unhandled(message, wParam, lParam, "BUTTON");
    }
}

}  // namespace

void registerButtonClass() {
    registerControlClass(u"BUTTON", controlProc<Button>, CS_DBLCLKS);
}

}  // namespace ce::controls
