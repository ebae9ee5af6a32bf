#include "controls/common.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include <vector>

#include "gwes/gwes.h"
#include "kernel/device.h"

namespace ce::controls {

// ---------------------------------------------------------------------------------------------
// Text

size_t copyText(std::u16string_view text, WCHAR* buffer, size_t capacity) {
    if (!buffer || capacity == 0)
        return 0;
    const size_t n = std::min(text.size(), capacity - 1);
    std::copy_n(text.data(), n, buffer);
    buffer[n] = 0;
    return n;
}

std::u16string textFrom(LPCWSTR text) {
    return text ? std::u16string(text) : std::u16string();
}

std::u16string textFrom(LPCWSTR text, int count) {
    if (!text)
        return {};
    if (count < 0)
        return std::u16string(text);
    return std::u16string(text, static_cast<size_t>(count));
}

// ---------------------------------------------------------------------------------------------
// Notifications

void Notifier::capture(HWND self, const CREATESTRUCTW& cs) {
    self_ = self;
    parent_ = cs.hwndParent;
    // A child's "menu" is its control ID; so is that of a window with a parent and no WS_CHILD.
    id_ = static_cast<int>(reinterpret_cast<INT_PTR>(cs.hMenu));
}

LRESULT Notifier::command(WORD code) const {
    if (!parent_)
        return 0;
    return SendMessageW(parent_, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id_), code),
                        reinterpret_cast<LPARAM>(self_));
}

LRESULT Notifier::notify(NMHDR& hdr, UINT code) const {
    hdr.hwndFrom = self_;
    hdr.idFrom = static_cast<UINT_PTR>(id_);
    hdr.code = code;
    if (!parent_)
        return 0;
    return SendMessageW(parent_, WM_NOTIFY, static_cast<WPARAM>(id_),
                        reinterpret_cast<LPARAM>(&hdr));
}

LRESULT Notifier::notify(UINT code) const {
    NMHDR hdr{};
    return notify(hdr, code);
}

LRESULT Notifier::scroll(UINT message, WORD code, int pos) const {
    if (!parent_)
        return 0;
    return SendMessageW(parent_, message, MAKEWPARAM(code, static_cast<WORD>(pos)),
                        reinterpret_cast<LPARAM>(self_));
}

// ---------------------------------------------------------------------------------------------
// The control object behind a window

Control::Control(HWND hwnd, const CREATESTRUCTW& cs) : hwnd_(hwnd) {
    notifier_.capture(hwnd, cs);
}

DWORD Control::style() const {
    return static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_STYLE));
}
bool Control::enabled() const {
    return IsWindowEnabled(hwnd_) != FALSE;
}
bool Control::focused() const {
    return GetFocus() == hwnd_;
}

HFONT Control::font() const {
    return font_ ? font_ : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

LRESULT Control::setFont(WPARAM font, LPARAM redraw) {
    font_ = reinterpret_cast<HFONT>(font);
    if (LOWORD(redraw))
        invalidate();
    return 0;
}

namespace {

// Which (class, message) pairs have been logged already; one line each per process.
std::set<std::pair<std::string, UINT>>& loggedMessages() {
    static std::set<std::pair<std::string, UINT>> logged;
    return logged;
}

}  // namespace

LRESULT Control::unhandled(UINT message, WPARAM wParam, LPARAM lParam, const char* className) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;  // every control paints the whole of its client area
        case WM_ENABLE:
            invalidate();
            return 0;
        case WM_SETFONT:
            return setFont(wParam, lParam);
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(font());
        default:
            break;
    }
    if (message >= WM_USER && loggedMessages().emplace(className, message).second) {
        char line[96];
        std::snprintf(line, sizeof line, "%s: message 0x%04X not handled", className, message);
        if (Device* device = Device::current())
            device->log(line);
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Control::invalidate(const RECT* rect) const {
    InvalidateRect(hwnd_, rect, TRUE);
}

RECT Control::clientRect() const {
    RECT rc{};
    GetClientRect(hwnd_, &rc);
    return rc;
}

void attachControl(HWND hwnd, std::unique_ptr<Control> control) {
    gwes::setWindowState(hwnd, control.release());
}

Control* attachedControl(HWND hwnd) {
    return gwes::windowState<Control>(hwnd);
}

LRESULT dispatchToControl(Control* control, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    try {
        result = control->handle(message, wParam, lParam);
    } catch (...) {
        SetLastError(8 /* ERROR_NOT_ENOUGH_MEMORY */);
        result = (message == WM_CREATE) ? -1 : 0;
    }
    if (message == WM_NCDESTROY) {
        gwes::setWindowState(hwnd, nullptr);
        std::unique_ptr<Control> owned(control);
    }
    return result;
}

bool registerControlClass(LPCWSTR name, WNDPROC proc, UINT classStyle, LPCWSTR cursor) {
    WNDCLASSW wc{};
    // Registered once per device: InitCommonControls may be called again by every program.
    if (GetClassInfoW(nullptr, name, &wc))
        return true;
    wc = WNDCLASSW{};
    wc.style = classStyle | CS_GLOBALCLASS;
    wc.lpfnWndProc = proc;
    wc.cbWndExtra = gwes::kStateBytes;  // the control object
    wc.hInstance = nullptr;
    wc.hCursor = cursor ? LoadCursorW(nullptr, cursor) : nullptr;
    wc.hbrBackground = nullptr;
    wc.lpszClassName = name;
    // The class belongs to the platform's library, not to the program that asked for it first:
    // it outlives that program.
    return gwes::registerSystemClass(wc) != 0;
}

// ---------------------------------------------------------------------------------------------
// Painting

PaintScope::PaintScope(HWND hwnd, HFONT font) : hwnd_(hwnd), dc_(BeginPaint(hwnd, &ps_)) {
    if (dc_) {
        oldFont_ = SelectObject(dc_, font);
        SetBkMode(dc_, TRANSPARENT);
    }
}

PaintScope::~PaintScope() {
    if (dc_ && oldFont_)
        SelectObject(dc_, oldFont_);
    EndPaint(hwnd_, &ps_);
}

MeasureScope::MeasureScope(HWND hwnd, HFONT font) : hwnd_(hwnd), dc_(GetDC(hwnd)) {
    if (dc_)
        oldFont_ = SelectObject(dc_, font);
}

MeasureScope::~MeasureScope() {
    if (!dc_)
        return;
    if (oldFont_)
        SelectObject(dc_, oldFont_);
    ReleaseDC(hwnd_, dc_);
}

int textWidth(HDC dc, std::u16string_view text) {
    if (text.empty() || !dc)
        return 0;
    SIZE size{};
    if (!GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size))
        return 0;
    return size.cx;
}

int lineHeight(HDC dc) {
    TEXTMETRICW tm{};
    if (dc && GetTextMetricsW(dc, &tm) && tm.tmHeight > 0)
        return tm.tmHeight;
    return 11;
}

int fontLineHeight(HWND hwnd, HFONT font) {
    MeasureScope measure(hwnd, font);
    return lineHeight(measure.dc());
}

void fillRect(HDC dc, const RECT& rect, int sysColorIndex) {
    FillRect(dc, &rect, GetSysColorBrush(sysColorIndex));
}

void drawTextLine(HDC dc, std::u16string_view text, RECT rect, UINT format, COLORREF color) {
    if (text.empty())
        return;
    SetTextColor(dc, color);
    DrawTextW(dc, text.data(), static_cast<int>(text.size()), &rect,
              format | DT_SINGLELINE | DT_NOPREFIX);
}

COLORREF sysColor(int index) {
    return GetSysColor(index);
}

void drawArrow(HDC dc, const RECT& box, Arrow arrow, COLORREF color) {
    const int cx = (box.left + box.right) / 2;
    const int cy = (box.top + box.bottom) / 2;
    const int half =
        std::max<int>(2, std::min<int>(box.right - box.left, box.bottom - box.top) / 4);
    POINT pts[3];
    switch (arrow) {
        case Arrow::Down:
            pts[0] = {cx - half, cy - half / 2};
            pts[1] = {cx + half, cy - half / 2};
            pts[2] = {cx, cy + half / 2 + 1};
            break;
        case Arrow::Up:
            pts[0] = {cx - half, cy + half / 2};
            pts[1] = {cx + half, cy + half / 2};
            pts[2] = {cx, cy - half / 2 - 1};
            break;
        case Arrow::Left:
            pts[0] = {cx + half / 2, cy - half};
            pts[1] = {cx + half / 2, cy + half};
            pts[2] = {cx - half / 2 - 1, cy};
            break;
        case Arrow::Right:
            pts[0] = {cx - half / 2, cy - half};
            pts[1] = {cx - half / 2, cy + half};
            pts[2] = {cx + half / 2 + 1, cy};
            break;
    }
    HBRUSH brush = CreateSolidBrush(color);
    HPEN pen = CreatePen(PS_SOLID, 1, color);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    Polygon(dc, pts, 3);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

// ---------------------------------------------------------------------------------------------
// Scrolling

int scrollRequest(WORD code, int current, int line, int page, int min, int maxPos, int thumb) {
    int pos = current;
    switch (code) {
        case SB_LINEUP:
            pos = current - line;
            break;
        case SB_LINEDOWN:
            pos = current + line;
            break;
        case SB_PAGEUP:
            pos = current - std::max(page, 1);
            break;
        case SB_PAGEDOWN:
            pos = current + std::max(page, 1);
            break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK:
            pos = thumb;
            break;
        case SB_TOP:
            pos = min;
            break;
        case SB_BOTTOM:
            pos = maxPos;
            break;
        default:
            break;
    }
    return std::clamp(pos, min, std::max(min, maxPos));
}

void setScrollBar(HWND hwnd, int bar, int min, int max, int page, int pos, bool disableNoScroll) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | (disableNoScroll ? SIF_DISABLENOSCROLL : 0);
    si.nMin = min;
    si.nMax = max;
    si.nPage = static_cast<UINT>(std::max(page, 0));
    si.nPos = pos;
    SetScrollInfo(hwnd, bar, &si, TRUE);
}

}  // namespace ce::controls
