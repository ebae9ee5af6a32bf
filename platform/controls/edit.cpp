// "EDIT": the single-line edit. It keeps its own text (WM_SETTEXT stores it whole, whatever the
// limit or the width); what the user types is bounded by EM_LIMITTEXT and, without
// ES_AUTOHSCROLL, by the visible width.
#include <algorithm>
#include <cwctype>

#include "controls/common.h"
#include "controls/controls.h"

namespace ce::controls {
namespace {

constexpr int kMargin = 2;
constexpr size_t kDefaultLimit = 30000;
constexpr size_t kNoLimit = 0x7FFFFFFE;

class Edit final : public Control {
  public:
    Edit(HWND hwnd, const CREATESTRUCTW& cs);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    // --- state
    std::u16string text_;
    size_t anchor_ = 0;  // the fixed end of the selection
    size_t caret_ = 0;   // the moving end, where the caret is drawn
    size_t limit_ = kDefaultLimit;
    int scrollX_ = 0;  // pixels of text scrolled out at the left (ES_AUTOHSCROLL)
    bool modified_ = false;
    bool selecting_ = false;  // stylus held down, dragging a selection
    WCHAR passwordChar_ = 0;

    size_t selStart() const { return std::min(anchor_, caret_); }
    size_t selEnd() const { return std::max(anchor_, caret_); }
    bool readOnly() const { return (style() & ES_READONLY) != 0; }

    // --- notifications
    void notifyChanged();

    // --- geometry
    RECT textRect() const;
    std::u16string shown() const;  // the text as drawn (password characters)
    int widthOf(size_t count) const;
    size_t charFromX(int x) const;
    void scrollToCaret();

    // --- editing
    bool fits(const std::u16string& candidate) const;
    bool replaceSelection(std::u16string_view insert, bool byUser);
    void setSelection(size_t anchor, size_t caret);
    void setStyleBit(DWORD bit, bool on);
    void syncWindowText();

    // --- painting
    void paint();

    // --- messages
    LRESULT onSetText(LPARAM text);
    LRESULT onGetText(WPARAM capacity, LPARAM buffer) const;
    LRESULT onChar(WCHAR ch);
    LRESULT onKeyDown(WPARAM key);
    LRESULT onButtonDown(LPARAM lParam);
    LRESULT onMouseMove(LPARAM lParam);
    LRESULT onButtonUp();
    LRESULT onSetFocus();
    LRESULT onKillFocus();
    LRESULT onGetSel(WPARAM start, LPARAM end) const;
    LRESULT onSetSel(WPARAM start, LPARAM end);
    LRESULT onLimitText(WPARAM limit);
    LRESULT onReplaceSel(LPARAM text);
    LRESULT onPosFromChar(WPARAM index) const;
    LRESULT onCharFromPos(LPARAM point) const;
    LRESULT onGetLine(WPARAM line, LPARAM buffer) const;
};

Edit::Edit(HWND hwnd, const CREATESTRUCTW& cs) : Control(hwnd, cs) {
    text_ = textFrom(cs.lpszName);
    if (cs.style & ES_PASSWORD)
        passwordChar_ = u'*';
}

// --- notifications ----------------------------------------------------------------------------

void Edit::notifyChanged() {
    modified_ = true;
    notifier_.command(EN_UPDATE);
    invalidate();
    notifier_.command(EN_CHANGE);
}

// --- geometry ---------------------------------------------------------------------------------

RECT Edit::textRect() const {
    RECT rc = clientRect();
    InflateRect(&rc, -kMargin, 0);
    return rc;
}

std::u16string Edit::shown() const {
    return passwordChar_ ? std::u16string(text_.size(), passwordChar_) : text_;
}

int Edit::widthOf(size_t count) const {
    MeasureScope measure(hwnd(), font());
    return textWidth(measure.dc(), std::u16string_view(shown()).substr(0, count));
}

// The character boundary nearest to client x.
size_t Edit::charFromX(int x) const {
    const std::u16string s = shown();
    MeasureScope measure(hwnd(), font());
    const int target = x - textRect().left + scrollX_;
    size_t lo = 0, hi = s.size();
    while (lo < hi) {  // first boundary whose x is at or past the target
        const size_t mid = (lo + hi) / 2;
        if (textWidth(measure.dc(), std::u16string_view(s).substr(0, mid)) < target)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo > 0) {
        const int right = textWidth(measure.dc(), std::u16string_view(s).substr(0, lo));
        const int left = textWidth(measure.dc(), std::u16string_view(s).substr(0, lo - 1));
        if (target - left < right - target)
            --lo;
    }
    return lo;
}

void Edit::scrollToCaret() {
    const RECT rc = textRect();
    const int width = std::max<int>(1, rc.right - rc.left);
    const int x = widthOf(caret_);
    int scroll = scrollX_;
    if (!(style() & ES_AUTOHSCROLL)) {
        scroll = 0;
    } else if (x - scroll > width) {
        scroll = x - width + width / 4;
    } else if (x < scroll) {
        scroll = std::max(0, x - width / 4);
    }
    if (scroll != scrollX_) {
        scrollX_ = scroll;
        invalidate();
    }
}

// --- editing ----------------------------------------------------------------------------------

// Without ES_AUTOHSCROLL, what is typed must stay within the visible width.
bool Edit::fits(const std::u16string& candidate) const {
    if (style() & ES_AUTOHSCROLL)
        return true;
    const RECT rc = textRect();
    MeasureScope measure(hwnd(), font());
    const std::u16string s =
        passwordChar_ ? std::u16string(candidate.size(), passwordChar_) : candidate;
    return textWidth(measure.dc(), s) <= rc.right - rc.left;
}

// Replaces the selection with insert, as much of it as the limit (and, typed, the width)
// allows. Returns false when nothing of a non-empty insertion could be placed.
bool Edit::replaceSelection(std::u16string_view insert, bool byUser) {
    const size_t start = selStart();
    const size_t end = selEnd();
    const size_t kept = text_.size() - (end - start);
    size_t room = kept >= limit_ ? 0 : limit_ - kept;
    size_t n = std::min(insert.size(), room);
    std::u16string candidate;
    for (;;) {
        candidate = text_.substr(0, start);
        candidate.append(insert.substr(0, n));
        candidate.append(text_, end, std::u16string::npos);
        if (!byUser || n == 0 || fits(candidate))
            break;
        --n;
    }
    const bool cut = n < insert.size();
    if (n == 0 && start == end) {
        if (cut)
            notifier_.command(EN_MAXTEXT);
        return insert.empty();
    }
    text_ = std::move(candidate);
    anchor_ = caret_ = start + n;
    scrollToCaret();
    syncWindowText();
    notifyChanged();
    if (cut)
        notifier_.command(EN_MAXTEXT);
    return true;
}

// Repaints when the selected range changes, or the caret moves where it is drawn (focused).
void Edit::setSelection(size_t anchor, size_t caret) {
    anchor = std::min(anchor, text_.size());
    caret = std::min(caret, text_.size());
    const bool rangeChanged =
        std::min(anchor, caret) != selStart() || std::max(anchor, caret) != selEnd();
    const bool caretMoved = caret != caret_;
    anchor_ = anchor;
    caret_ = caret;
    scrollToCaret();
    if (rangeChanged || (caretMoved && focused()))
        invalidate();
}

// ES_READONLY or ES_PASSWORD on or off; the edit repaints when the style changes.
void Edit::setStyleBit(DWORD bit, bool on) {
    const DWORD s = style();
    const DWORD wanted = on ? (s | bit) : (s & ~bit);
    if (wanted == s)
        return;
    SetWindowLongW(hwnd(), GWL_STYLE, static_cast<LONG>(wanted));
    invalidate();
}

// Others read an edit's text through the window text as well as WM_GETTEXT.
void Edit::syncWindowText() {
    DefWindowProcW(hwnd(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text_.c_str()));
}

// --- painting ---------------------------------------------------------------------------------

void Edit::paint() {
    PaintScope paint(hwnd(), font());
    HDC dc = paint.dc();
    if (!dc)
        return;
    const RECT client = clientRect();
    const bool disabled = !enabled() || readOnly();
    fillRect(dc, client, disabled && !enabled() ? COLOR_BTNFACE : COLOR_WINDOW);
    const RECT rc = textRect();
    const std::u16string s = shown();
    const int height = lineHeight(dc);
    const int top = rc.top + std::max<int>(0, (rc.bottom - rc.top - height) / 2);
    const int origin = rc.left - scrollX_;
    HRGN clip = CreateRectRgn(rc.left, rc.top, rc.right, rc.bottom);
    SelectClipRgn(dc, clip);
    SetTextColor(dc, sysColor(enabled() ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    if (!s.empty())
        ExtTextOutW(dc, origin, top, 0, nullptr, s.data(), static_cast<UINT>(s.size()), nullptr);
    const bool showSelection = focused() || (style() & ES_NOHIDESEL);
    if (showSelection && selStart() != selEnd()) {
        const int x0 = origin + textWidth(dc, std::u16string_view(s).substr(0, selStart()));
        const int x1 = origin + textWidth(dc, std::u16string_view(s).substr(0, selEnd()));
        RECT band{x0, top, x1, top + height};
        fillRect(dc, band, COLOR_HIGHLIGHT);
        SetTextColor(dc, sysColor(COLOR_HIGHLIGHTTEXT));
        const std::u16string_view part =
            std::u16string_view(s).substr(selStart(), selEnd() - selStart());
        ExtTextOutW(dc, x0, top, 0, nullptr, part.data(), static_cast<UINT>(part.size()), nullptr);
    }
    if (focused()) {
        const int x = origin + textWidth(dc, std::u16string_view(s).substr(0, caret_));
        RECT caret{x, top, x + 1, top + height};
        fillRect(dc, caret, COLOR_WINDOWTEXT);
    }
    SelectClipRgn(dc, nullptr);
    DeleteObject(clip);
}

// --- messages ---------------------------------------------------------------------------------

LRESULT Edit::onSetText(LPARAM text) {
    text_ = textFrom(reinterpret_cast<LPCWSTR>(text));
    anchor_ = caret_ = 0;
    scrollX_ = 0;
    modified_ = false;
    syncWindowText();
    notifier_.command(EN_UPDATE);
    invalidate();
    notifier_.command(EN_CHANGE);
    return TRUE;
}

LRESULT Edit::onGetText(WPARAM capacity, LPARAM buffer) const {
    return static_cast<LRESULT>(copyText(text_, reinterpret_cast<WCHAR*>(buffer), capacity));
}

LRESULT Edit::onChar(WCHAR ch) {
    if (readOnly())
        return 0;
    if (ch == VK_BACK) {
        if (selStart() == selEnd()) {
            if (caret_ == 0)
                return 0;
            anchor_ = caret_ - 1;
        }
        replaceSelection(u"", true);
        return 0;
    }
    if (ch < 0x20 || ch == 0x7F)
        return 0;  // other control characters are not text
    const DWORD s = style();
    if ((s & ES_NUMBER) && !(ch >= u'0' && ch <= u'9')) {
        MessageBeep(0);
        return 0;
    }
    if (s & ES_UPPERCASE)
        ch = static_cast<WCHAR>(std::towupper(ch));
    if (s & ES_LOWERCASE)
        ch = static_cast<WCHAR>(std::towlower(ch));
    const WCHAR one[1] = {ch};
    if (!replaceSelection(std::u16string_view(one, 1), true))
        MessageBeep(0);
    return 0;
}

LRESULT Edit::onKeyDown(WPARAM key) {
    const bool extend = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    auto moveTo = [&](size_t pos) { setSelection(extend ? anchor_ : pos, pos); };
    switch (key) {
        case VK_LEFT:
            if (!extend && selStart() != selEnd())
                moveTo(selStart());
            else
                moveTo(caret_ > 0 ? caret_ - 1 : 0);
            break;
        case VK_RIGHT:
            if (!extend && selStart() != selEnd())
                moveTo(selEnd());
            else
                moveTo(std::min(caret_ + 1, text_.size()));
            break;
        case VK_HOME:
            moveTo(0);
            break;
        case VK_END:
            moveTo(text_.size());
            break;
        case VK_DELETE:
            if (readOnly())
                break;
            if (selStart() == selEnd()) {
                if (caret_ >= text_.size())
                    break;
                caret_ = caret_ + 1;
            }
            replaceSelection(u"", true);
            break;
        default:
            break;
    }
    return 0;
}

LRESULT Edit::onButtonDown(LPARAM lParam) {
    if (!focused())
        SetFocus(hwnd());
    const size_t pos = charFromX(GET_X_LPARAM(lParam));
    const bool extend = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    setSelection(extend ? anchor_ : pos, pos);
    selecting_ = true;
    SetCapture(hwnd());
    invalidate();
    return 0;
}

LRESULT Edit::onMouseMove(LPARAM lParam) {
    if (selecting_)
        setSelection(anchor_, charFromX(GET_X_LPARAM(lParam)));
    return 0;
}

LRESULT Edit::onButtonUp() {
    if (selecting_) {
        selecting_ = false;
        if (GetCapture() == hwnd())
            ReleaseCapture();
    }
    return 0;
}

LRESULT Edit::onSetFocus() {
    invalidate();
    notifier_.command(EN_SETFOCUS);
    return 0;
}

LRESULT Edit::onKillFocus() {
    invalidate();
    notifier_.command(EN_KILLFOCUS);
    return 0;
}

LRESULT Edit::onGetSel(WPARAM start, LPARAM end) const {
    if (start)
        *reinterpret_cast<DWORD*>(start) = static_cast<DWORD>(selStart());
    if (end)
        *reinterpret_cast<DWORD*>(end) = static_cast<DWORD>(selEnd());
    return MAKELRESULT(std::min<size_t>(selStart(), 0xFFFF), std::min<size_t>(selEnd(), 0xFFFF));
}

// EM_SETSEL: start -1 removes the selection (the caret stays); end -1 (or any negative) means
// the end of the text. The caret goes to `end`.
LRESULT Edit::onSetSel(WPARAM start, LPARAM end) {
    const int s = static_cast<int>(start);
    const int e = static_cast<int>(end);
    if (s == -1) {
        setSelection(caret_, caret_);
        return 0;
    }
    const size_t len = text_.size();
    const size_t from = s < 0 ? len : std::min<size_t>(static_cast<size_t>(s), len);
    const size_t to = e < 0 ? len : std::min<size_t>(static_cast<size_t>(e), len);
    setSelection(from, to);
    return 0;
}

LRESULT Edit::onLimitText(WPARAM limit) {
    limit_ = limit == 0 ? kNoLimit : std::min<size_t>(limit, kNoLimit);
    return 0;
}

LRESULT Edit::onReplaceSel(LPARAM text) {
    replaceSelection(textFrom(reinterpret_cast<LPCWSTR>(text)), false);
    return 0;
}

LRESULT Edit::onPosFromChar(WPARAM index) const {
    if (index > text_.size())
        return -1;
    const RECT rc = textRect();
    const int x = rc.left - scrollX_ + widthOf(index);
    return MAKELRESULT(static_cast<WORD>(x), static_cast<WORD>(rc.top));
}

LRESULT Edit::onCharFromPos(LPARAM point) const {
    return MAKELRESULT(static_cast<WORD>(charFromX(GET_X_LPARAM(point))), 0);
}

// EM_GETLINE: the first WORD of the buffer holds its size; no NUL is added.
LRESULT Edit::onGetLine(WPARAM line, LPARAM buffer) const {
    if (line != 0 || !buffer)
        return 0;
    auto* out = reinterpret_cast<WCHAR*>(buffer);
    const size_t capacity = *reinterpret_cast<WORD*>(out);
    const size_t n = std::min(capacity, text_.size());
    std::copy_n(text_.data(), n, out);
    return static_cast<LRESULT>(n);
}

LRESULT Edit::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETTEXT:
            return onSetText(lParam);
        case WM_GETTEXT:
            return onGetText(wParam, lParam);
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(text_.size());
        case WM_CHAR:
            return onChar(static_cast<WCHAR>(wParam));
        case WM_KEYDOWN:
            return onKeyDown(wParam);
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            return onButtonDown(lParam);
        case WM_MOUSEMOVE:
            return onMouseMove(lParam);
        case WM_LBUTTONUP:
            return onButtonUp();
        case WM_CAPTURECHANGED:
            selecting_ = false;
            return 0;
        case WM_SETFOCUS:
            return onSetFocus();
        case WM_KILLFOCUS:
            return onKillFocus();
        case WM_PAINT:
            paint();
            return 0;
        case WM_SIZE:
            scrollToCaret();
            invalidate();
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
        case WM_CLEAR:
            replaceSelection(u"", false);
            return 0;
        case EM_GETSEL:
            return onGetSel(wParam, lParam);
        case EM_SETSEL:
            return onSetSel(wParam, lParam);
        case EM_LIMITTEXT:
            return onLimitText(wParam);
        case EM_GETLIMITTEXT:
            return static_cast<LRESULT>(limit_);
        case EM_REPLACESEL:
            return onReplaceSel(lParam);
        case EM_GETMODIFY:
            return modified_ ? TRUE : FALSE;
        case EM_SETMODIFY:
            modified_ = wParam != 0;
            return 0;
        case EM_GETLINECOUNT:
            return 1;
        case EM_LINEINDEX:
            return (static_cast<int>(wParam) <= 0) ? 0 : -1;
        case EM_LINELENGTH:
            return static_cast<LRESULT>(text_.size());
        case EM_LINEFROMCHAR:
            return 0;
        case EM_GETLINE:
            return onGetLine(wParam, lParam);
        case EM_GETFIRSTVISIBLELINE:
            return 0;
        case EM_SCROLLCARET:
            scrollToCaret();
            return TRUE;
        case EM_POSFROMCHAR:
            return onPosFromChar(wParam);
        case EM_CHARFROMPOS:
            return onCharFromPos(lParam);
        case EM_GETRECT:
            if (lParam)
                *reinterpret_cast<RECT*>(lParam) = textRect();
            return 0;
        case EM_SETREADONLY:
            setStyleBit(ES_READONLY, wParam != 0);
            return TRUE;
        case EM_SETPASSWORDCHAR:
            if (passwordChar_ != static_cast<WCHAR>(wParam)) {
                passwordChar_ = static_cast<WCHAR>(wParam);
                invalidate();
            }
            setStyleBit(ES_PASSWORD, passwordChar_ != 0);
            return 0;
        case EM_GETPASSWORDCHAR:
            return passwordChar_;
        case EM_CANUNDO:
            return FALSE;
        case EM_EMPTYUNDOBUFFER:
            return 0;
        default:
            return unhandled(message, wParam, lParam, "EDIT");
    }
}

}  // namespace

void registerEditClass() {
    registerControlClass(u"EDIT", controlProc<Edit>, CS_DBLCLKS, IDC_IBEAM);
}

}  // namespace ce::controls
