// "COMBOBOX": the drop-down list (CBS_DROPDOWNLIST; CBS_DROPDOWN is shown the same way, without
// an edit field). The entries live in a "ComboLBox" list box that the combo drops as a popup
// above everything; the height given at creation includes that list, and the combo itself
// keeps only the height of its selection field.
#include <algorithm>

#include "controls/common.h"
#include "controls/controls.h"
#include "controls/layout.h"
#include "controls/listbox.h"

namespace ce::controls {
namespace {

using layout::kComboButtonWidth;
constexpr int kFieldPadding = 5;

class ComboBox final : public Control {
  public:
    ComboBox(HWND hwnd, const CREATESTRUCTW& cs);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    // --- state
    HWND list_ = nullptr;
    int droppedHeight_;  // the height given at creation: field and dropped list
    int fieldHeight_ = 0;
    int minDroppedWidth_ = 0;  // CB_SETDROPPEDWIDTH; the list is never narrower than the combo
    bool dropped_ = false;

    // --- list
    LRESULT toList(UINT message, WPARAM wParam, LPARAM lParam) const {
        return list_ ? SendMessageW(list_, message, wParam, lParam) : CB_ERR;
    }
    int selection() const { return static_cast<int>(toList(LB_GETCURSEL, 0, 0)); }
    std::u16string selectionText() const;

    // --- geometry
    RECT buttonRect() const;
    RECT droppedRect() const;  // screen coordinates

    // --- drop and close
    void dropDown();
    void closeUp(bool chosen);

    // --- painting
    void paint();

    // --- messages
    LRESULT onCreate(const CREATESTRUCTW& cs);
    LRESULT onSetCurSel(WPARAM index);
    LRESULT onSetItemHeight(WPARAM index, LPARAM height);
    int droppedWidth() const;
    LRESULT onGetText(WPARAM capacity, LPARAM buffer) const;
    LRESULT onButtonDown();
    LRESULT onKeyDown(WPARAM key);
    LRESULT onListCommand(WORD code);
    LRESULT onSelectionChanging(LRESULT result);
};

ComboBox::ComboBox(HWND hwnd, const CREATESTRUCTW& cs) : Control(hwnd, cs), droppedHeight_(cs.cy) {}

std::u16string ComboBox::selectionText() const {
    const int sel = selection();
    if (sel < 0)
        return {};
    const LRESULT len = toList(LB_GETTEXTLEN, static_cast<WPARAM>(sel), 0);
    if (len < 0)
        return {};
    std::u16string text(static_cast<size_t>(len) + 1, u'\0');
    const LRESULT got =
        toList(LB_GETTEXT, static_cast<WPARAM>(sel), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(std::max<LRESULT>(got, 0)));
    return text;
}

// --- geometry ---------------------------------------------------------------------------------

RECT ComboBox::buttonRect() const {
    RECT rc = clientRect();
    rc.left = std::max<LONG>(rc.left, rc.right - kComboButtonWidth);
    return rc;
}

// Below the field, as tall as the creation height allows (and the entries need); above the
// field when the screen has no room below.
RECT ComboBox::droppedRect() const {
    RECT window{};
    GetWindowRect(hwnd(), &window);
    const int itemHeight = static_cast<int>(toList(LB_GETITEMHEIGHT, 0, 0));
    const int count = static_cast<int>(toList(LB_GETCOUNT, 0, 0));
    const int needed = std::max(1, count) * std::max(1, itemHeight) + 2;
    const int allowed = std::max(itemHeight + 2, droppedHeight_ - fieldHeight_);
    const int height = std::min(needed, allowed);
    const int width = droppedWidth();
    RECT rc{window.left, window.bottom, window.left + width, window.bottom + height};
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    if (rc.bottom > screenHeight && window.top - height >= 0) {
        rc.top = window.top - height;
        rc.bottom = window.top;
    }
    return rc;
}

// --- drop and close ---------------------------------------------------------------------------

void ComboBox::dropDown() {
    if (dropped_ || !list_)
        return;
    notifier_.command(CBN_DROPDOWN);
    const RECT rc = droppedRect();
    SetWindowPos(list_, HWND_TOPMOST, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    const int sel = selection();
    if (sel >= 0)
        toList(LB_SETCURSEL, static_cast<WPARAM>(sel), 0);  // scrolls it into view
    dropped_ = true;
    SetCapture(list_);
    invalidate();
}

void ComboBox::closeUp(bool chosen) {
    if (!dropped_)
        return;
    dropped_ = false;
    if (GetCapture() == list_)
        ReleaseCapture();
    ShowWindow(list_, SW_HIDE);
    invalidate();
    if (chosen)
        notifier_.command(CBN_SELCHANGE);
    notifier_.command(chosen ? CBN_SELENDOK : CBN_SELENDCANCEL);
    notifier_.command(CBN_CLOSEUP);
}

// --- painting ---------------------------------------------------------------------------------

void ComboBox::paint() {
    PaintScope paint(hwnd(), font());
    HDC dc = paint.dc();
    if (!dc)
        return;
    const RECT rc = clientRect();
    fillRect(dc, rc, enabled() ? COLOR_WINDOW : COLOR_BTNFACE);
    FrameRect(dc, &rc, GetSysColorBrush(COLOR_WINDOWFRAME));
    RECT button = buttonRect();
    fillRect(dc, button, COLOR_BTNFACE);
    DrawEdge(dc, &button, dropped_ ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    drawArrow(dc, button, Arrow::Down, sysColor(enabled() ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    RECT field{rc.left + 1, rc.top + 1, button.left, rc.bottom - 1};
    const bool highlight = focused() && !dropped_;
    if (highlight)
        fillRect(dc, field, COLOR_HIGHLIGHT);
    RECT textRect{rc.left + layout::kComboTextLeft, field.top, field.right, field.bottom};
    drawTextLine(dc, selectionText(), textRect, DT_LEFT | DT_VCENTER,
                 sysColor(!enabled()  ? COLOR_GRAYTEXT
                          : highlight ? COLOR_HIGHLIGHTTEXT
                                      : COLOR_WINDOWTEXT));
}

// --- messages ---------------------------------------------------------------------------------

LRESULT ComboBox::onCreate(const CREATESTRUCTW& cs) {
    DWORD listStyle = WS_POPUP | WS_BORDER | WS_VSCROLL;
    if (cs.style & CBS_SORT)
        listStyle |= LBS_SORT;
    if (cs.style & CBS_DISABLENOSCROLL)
        listStyle |= LBS_DISABLENOSCROLL;
    fieldHeight_ = fontLineHeight(hwnd(), font()) + kFieldPadding;
    // The list has the height it may drop to from the start, so that its top index and page
    // are the dropped list's.
    list_ = CreateWindowExW(0, kComboListClass, u"", listStyle, 0, 0, cs.cx,
                            std::max(0, droppedHeight_ - fieldHeight_), hwnd(), nullptr,
                            cs.hInstance, nullptr);
    if (!list_)
        return -1;
    // The combo keeps the height of its field; the rest of the given height is the list's.
    SetWindowPos(hwnd(), nullptr, 0, 0, cs.cx, fieldHeight_,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
}

// Repaints the field when the selection changes; an index past the end keeps it (LB_ERR).
LRESULT ComboBox::onSetCurSel(WPARAM index) {
    const int before = selection();
    const LRESULT result = toList(LB_SETCURSEL, index, 0);
    if (selection() != before)
        invalidate();
    return result;
}

// Index -1 is the selection field: its item height is the field's, two pixels under the field
// (the combo takes the new height). The list's entries of a combo that does not draw them
// itself keep the font's height: CB_ERR.
LRESULT ComboBox::onSetItemHeight(WPARAM index, LPARAM height) {
    const int h = static_cast<int>(height);
    if (static_cast<int>(index) != -1 || h <= 0 || h >= 32768)
        return CB_ERR;
    fieldHeight_ = h + 2;
    RECT window{};
    GetWindowRect(hwnd(), &window);
    SetWindowPos(hwnd(), nullptr, 0, 0, window.right - window.left, fieldHeight_,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    invalidate();
    return h;
}

int ComboBox::droppedWidth() const {
    RECT window{};
    GetWindowRect(hwnd(), &window);
    return std::max<int>(minDroppedWidth_, window.right - window.left);
}

// WM_GETTEXT of a drop-down list: the selected entry.
LRESULT ComboBox::onGetText(WPARAM capacity, LPARAM buffer) const {
    return static_cast<LRESULT>(
        copyText(selectionText(), reinterpret_cast<WCHAR*>(buffer), capacity));
}

LRESULT ComboBox::onButtonDown() {
    if (!focused())
        SetFocus(hwnd());
    if (dropped_)
        closeUp(false);
    else
        dropDown();
    return 0;
}

LRESULT ComboBox::onKeyDown(WPARAM key) {
    if (key == VK_F4 || (key == VK_DOWN && (GetKeyState(VK_MENU) & 0x8000))) {
        dropped_ ? closeUp(false) : dropDown();
        return 0;
    }
    if (dropped_) {
        if (key == VK_RETURN)
            closeUp(true);
        else if (key == VK_ESCAPE)
            closeUp(false);
        else
            SendMessageW(list_, WM_KEYDOWN, key, 0);
        return 0;
    }
    const int count = static_cast<int>(toList(LB_GETCOUNT, 0, 0));
    if (count == 0)
        return 0;
    int sel = selection();
    switch (key) {
        case VK_UP:
            sel = std::max(0, sel - 1);
            break;
        case VK_DOWN:
            sel = std::min(count - 1, sel + 1);
            break;
        case VK_HOME:
            sel = 0;
            break;
        case VK_END:
            sel = count - 1;
            break;
        default:
            return 0;
    }
    if (sel != selection()) {
        onSetCurSel(static_cast<WPARAM>(sel));
        notifier_.command(CBN_SELCHANGE);
    }
    return 0;
}

LRESULT ComboBox::onListCommand(WORD code) {
    if (code == kComboListChosen)
        closeUp(true);
    if (code == kComboListCancelled)
        closeUp(false);
    return 0;
}

LRESULT ComboBox::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return onCreate(*reinterpret_cast<const CREATESTRUCTW*>(lParam));
        case WM_DESTROY:
            if (list_)
                DestroyWindow(list_);
            list_ = nullptr;
            return 0;
        case CB_ADDSTRING:
            return toList(LB_ADDSTRING, 0, lParam);
        case CB_INSERTSTRING:
            return toList(LB_INSERTSTRING, wParam, lParam);
        case CB_DELETESTRING: {
            const LRESULT r = toList(LB_DELETESTRING, wParam, 0);
            if (r != LB_ERR)
                invalidate();
            return r;
        }
        case CB_RESETCONTENT:
            toList(LB_RESETCONTENT, 0, 0);
            invalidate();
            return CB_OKAY;
        case CB_GETCOUNT:
            return toList(LB_GETCOUNT, 0, 0);
        case CB_GETCURSEL:
            return selection();
        case CB_SETCURSEL:
            return onSetCurSel(wParam);
        case CB_GETLBTEXT:
            return toList(LB_GETTEXT, wParam, lParam);
        case CB_GETLBTEXTLEN:
            return toList(LB_GETTEXTLEN, wParam, 0);
        case CB_FINDSTRING:
            return toList(LB_FINDSTRING, wParam, lParam);
        case CB_FINDSTRINGEXACT:
            return toList(LB_FINDSTRINGEXACT, wParam, lParam);
        case CB_SELECTSTRING: {
            const LRESULT r = toList(LB_SELECTSTRING, wParam, lParam);
            invalidate();
            return r;
        }
        case CB_GETITEMDATA:
            return toList(LB_GETITEMDATA, wParam, 0);
        case CB_SETITEMDATA:
            return toList(LB_SETITEMDATA, wParam, lParam);
        case CB_GETITEMHEIGHT:
            return static_cast<int>(wParam) == -1 ? fieldHeight_ : toList(LB_GETITEMHEIGHT, 0, 0);
        case CB_SETITEMHEIGHT:
            return onSetItemHeight(wParam, lParam);
        case CB_GETTOPINDEX:
            return toList(LB_GETTOPINDEX, 0, 0);
        case CB_SETTOPINDEX:
            return toList(LB_SETTOPINDEX, wParam, 0) == LB_ERR ? CB_ERR : 0;
        case CB_GETHORIZONTALEXTENT:
            return toList(LB_GETHORIZONTALEXTENT, 0, 0);
        case CB_SETHORIZONTALEXTENT:
            return toList(LB_SETHORIZONTALEXTENT, wParam, 0);
        case CB_GETDROPPEDSTATE:
            return dropped_ ? TRUE : FALSE;
        case CB_SHOWDROPDOWN:
            wParam ? dropDown() : closeUp(false);
            return TRUE;
        case CB_GETDROPPEDCONTROLRECT:
            if (lParam)
                *reinterpret_cast<RECT*>(lParam) = droppedRect();
            return CB_OKAY;
        case CB_GETDROPPEDWIDTH:
            return droppedWidth();
        case CB_SETDROPPEDWIDTH:  // the smallest width of the list; answers the width it gets
            minDroppedWidth_ = static_cast<int>(wParam);
            return droppedWidth();
        case CB_INITSTORAGE:
            return toList(LB_INITSTORAGE, wParam, lParam);
        case CB_GETEDITSEL:
        case CB_SETEDITSEL:
            return CB_ERR;  // a drop-down list has no edit field
        case CB_LIMITTEXT:
            return TRUE;  // always, as documented
        case WM_SETTEXT:
            return CB_ERR;
        case WM_GETTEXT:
            return onGetText(wParam, lParam);
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(selectionText().size());
        case WM_COMMAND:
            if (reinterpret_cast<HWND>(lParam) == list_)
                return onListCommand(HIWORD(wParam));
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            return onButtonDown();
        case WM_KEYDOWN:
            return onKeyDown(wParam);
        case WM_SETFOCUS:
            invalidate();
            notifier_.command(CBN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            closeUp(false);
            invalidate();
            notifier_.command(CBN_KILLFOCUS);
            return 0;
        case WM_SHOWWINDOW:
            if (!wParam)
                closeUp(false);
            return DefWindowProcW(hwnd(), message, wParam, lParam);
        case WM_ENABLE:
            if (!wParam)
                closeUp(false);
            invalidate();
            return 0;
        case WM_PAINT:
            paint();
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | DLGC_WANTCHARS;
        case WM_SETFONT:
            setFont(wParam, lParam);
            if (list_)
                SendMessageW(list_, WM_SETFONT, wParam, lParam);
            return 0;
        default:
            return unhandled(message, wParam, lParam, "COMBOBOX");
    }
}

}  // namespace

void registerComboBoxClass() {
    registerComboListClass();
    registerControlClass(u"COMBOBOX", controlProc<ComboBox>, CS_DBLCLKS);
}

}  // namespace ce::controls
