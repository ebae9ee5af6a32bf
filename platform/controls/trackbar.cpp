// "msctls_trackbar32": a horizontal slider with a channel, a thumb and, with TBS_AUTOTICKS, a
// tick at every position. It reports to its parent with WM_HSCROLL and the TB_* codes.
#include <algorithm>
#include <utility>

#include "controls/common.h"
#include "controls/controls.h"

namespace ce::controls {
namespace {

constexpr int kThumbWidth = 10;
constexpr int kMarginX = 8;
constexpr int kChannelHeight = 4;
constexpr int kTickLength = 3;

class Trackbar final : public Control {
  public:
    Trackbar(HWND hwnd, const CREATESTRUCTW& cs) : Control(hwnd, cs) {}
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    // --- state
    int min_ = 0;
    int max_ = 100;
    int pos_ = 0;
    int page_ = 20;
    int line_ = 1;
    int tickFrequency_ = 1;
    bool pageSet_ = false;   // the program chose the page size; a new range keeps it
    bool rangeSet_ = false;  // TBS_AUTOTICKS ticks come with the first range a program sets
    bool dragging_ = false;
    int dragOffset_ = 0;   // stylus x minus thumb centre when the drag began
    bool paging_ = false;  // stylus went down on the channel

    // --- notifications
    UINT scrollMessage() const { return (style() & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL; }
    void notify(WORD code) const { notifier_.scroll(scrollMessage(), code, 0); }
    void notify(WORD code, int pos) const { notifier_.scroll(scrollMessage(), code, pos); }

    // --- geometry
    RECT channelRect() const;
    int xFromPos(int pos) const;
    int posFromX(int x) const;
    RECT thumbRect() const;

    // --- painting
    void paint();
    void paintTicks(HDC dc, const RECT& thumb);

    // --- setters
    int clamped(int pos) const;
    int automaticPage() const;
    int interiorTicks() const;
    bool setPos(int requested, bool redraw);
    enum class Bound { Both, Min, Max };
    void setRange(Bound bound, int min, int max, bool redraw);
    LRESULT setPageSize(int page);
    LRESULT setTickFrequency(int frequency);

    // --- messages
    LRESULT onButtonDown(LPARAM point);
    LRESULT onMouseMove(LPARAM point);
    LRESULT onButtonUp();
    LRESULT onKeyDown(WPARAM key);
};

// --- geometry ---------------------------------------------------------------------------------

RECT Trackbar::channelRect() const {
    const RECT rc = clientRect();
    const RECT thumb{0, rc.top + 2, 0, std::min<LONG>(rc.bottom, rc.top + 2 + 16)};
    const int middle = (thumb.top + thumb.bottom) / 2;
    return {rc.left + kMarginX, middle - kChannelHeight / 2,
            std::max<LONG>(rc.left + kMarginX + 1, rc.right - kMarginX),
            middle + kChannelHeight / 2};
}

int Trackbar::xFromPos(int pos) const {
    const RECT ch = channelRect();
    if (max_ <= min_)
        return ch.left;
    return ch.left + static_cast<int>(static_cast<long long>(pos - min_) * (ch.right - ch.left) /
                                      (max_ - min_));
}

int Trackbar::posFromX(int x) const {
    const RECT ch = channelRect();
    const int width = std::max<int>(1, ch.right - ch.left);
    const long long range = max_ - min_;
    const long long offset = std::clamp<long long>(x - ch.left, 0, width);
    return min_ + static_cast<int>((offset * range + width / 2) / width);
}

RECT Trackbar::thumbRect() const {
    const RECT rc = clientRect();
    const int x = xFromPos(pos_);
    return {x - kThumbWidth / 2, rc.top + 2, x - kThumbWidth / 2 + kThumbWidth,
            std::min<LONG>(rc.bottom, rc.top + 2 + 16)};
}

// --- painting ---------------------------------------------------------------------------------

void Trackbar::paintTicks(HDC dc, const RECT& thumb) {
    if (style() & TBS_NOTICKS)
        return;
    HBRUSH brush = GetSysColorBrush(COLOR_BTNTEXT);
    auto tick = [&](int pos, int length) {
        const int x = xFromPos(pos);
        RECT mark{x, thumb.bottom + 2, x + 1, thumb.bottom + 2 + length};
        FillRect(dc, &mark, brush);
    };
    tick(min_, kTickLength + 1);
    tick(max_, kTickLength + 1);
    for (int i = 1; i <= interiorTicks(); ++i) tick(min_ + i * tickFrequency_, kTickLength);
}

void Trackbar::paint() {
    PaintScope paint(hwnd(), font());
    HDC dc = paint.dc();
    if (!dc)
        return;
    const RECT rc = clientRect();
    HBRUSH background = reinterpret_cast<HBRUSH>(SendMessageW(notifier_.parent(), WM_CTLCOLORSTATIC,
                                                              reinterpret_cast<WPARAM>(dc),
                                                              reinterpret_cast<LPARAM>(hwnd())));
    FillRect(dc, &rc, background ? background : GetSysColorBrush(COLOR_WINDOW));
    RECT channel = channelRect();
    fillRect(dc, channel, COLOR_WINDOW);
    DrawEdge(dc, &channel, EDGE_SUNKEN, BF_RECT);
    const RECT thumb = thumbRect();
    paintTicks(dc, thumb);
    if (style() & TBS_NOTHUMB)
        return;
    RECT body = thumb;
    fillRect(dc, body, dragging_ ? COLOR_BTNSHADOW : COLOR_BTNFACE);
    DrawEdge(dc, &body, EDGE_RAISED, BF_RECT);
    if (focused()) {
        RECT mark{thumb.left + 3, thumb.top + 3, thumb.right - 3, thumb.bottom - 3};
        FrameRect(dc, &mark, GetSysColorBrush(COLOR_HIGHLIGHT));
    }
}

// --- setters ----------------------------------------------------------------------------------

// Below the minimum gives the minimum, then above the maximum the maximum: in a reversed range
// every position ends at the maximum, as on Win32.
int Trackbar::clamped(int pos) const {
    if (pos < min_)
        pos = min_;
    if (pos > max_)
        pos = max_;
    return pos;
}

// A fifth of the range; 1 when that rounds to 0. A reversed range gives a negative page.
int Trackbar::automaticPage() const {
    const int page = (max_ - min_) / 5;
    return page == 0 ? 1 : page;
}

// The TBS_AUTOTICKS ticks between the two ends: one every tickFrequency_ positions.
int Trackbar::interiorTicks() const {
    if (!(style() & TBS_AUTOTICKS) || !rangeSet_ || tickFrequency_ <= 0 || max_ <= min_)
        return 0;
    return (max_ - min_ - 1) / tickFrequency_;
}

// Answers whether the position moved. With redraw, a position asked for that differs from the
// old one repaints the old and the new thumb, even when it is clamped back to where it was.
bool Trackbar::setPos(int requested, bool redraw) {
    const int old = pos_;
    const RECT oldThumb = thumbRect();
    pos_ = clamped(requested);
    if (redraw && requested != old) {
        const RECT now = thumbRect();
        RECT both{};
        UnionRect(&both, &oldThumb, &now);
        invalidate(&both);
    }
    return pos_ != old;
}

// TBM_SETRANGE sets both ends and clamps the position; TBM_SETRANGEMIN moves a position below
// the new minimum up to it; TBM_SETRANGEMAX moves one beyond the new maximum (or beyond the
// minimum, when the maximum falls below it) back. Reversed ranges are kept as given. The redraw
// flag repaints, changed or not.
void Trackbar::setRange(Bound bound, int min, int max, bool redraw) {
    if (bound != Bound::Max)
        min_ = min;
    if (bound != Bound::Min)
        max_ = max;
    if (bound == Bound::Both)
        pos_ = clamped(pos_);
    else if (bound == Bound::Min)
        pos_ = std::max(pos_, min_);
    else
        pos_ = std::min(pos_, std::max(max_, min_));
    if (!pageSet_)
        page_ = automaticPage();
    rangeSet_ = true;
    if (redraw)
        invalidate();
}

// -1 gives the page back to the range; any other size is the program's, kept as given.
LRESULT Trackbar::setPageSize(int page) {
    const int old = page_;
    pageSet_ = page != -1;
    page_ = pageSet_ ? page : automaticPage();
    return old;
}

LRESULT Trackbar::setTickFrequency(int frequency) {
    if (frequency != tickFrequency_) {
        tickFrequency_ = frequency;
        invalidate();
    }
    return 0;
}

// --- messages ---------------------------------------------------------------------------------

// On the thumb, a tap starts a drag; on the channel, it moves the thumb a page toward the tap.
LRESULT Trackbar::onButtonDown(LPARAM point) {
    if (!focused())
        SetFocus(hwnd());
    const POINT pt{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    SetCapture(hwnd());
    RECT thumb = thumbRect();
    InflateRect(&thumb, 2, 0);
    if (PtInRect(&thumb, pt)) {
        dragging_ = true;
        dragOffset_ = pt.x - xFromPos(pos_);
        invalidate(&thumb);
        return 0;
    }
    paging_ = true;
    const bool up = pt.x < xFromPos(pos_);
    if (setPos(pos_ + (up ? -page_ : page_), true))
        notify(up ? TB_PAGEUP : TB_PAGEDOWN);
    return 0;
}

LRESULT Trackbar::onMouseMove(LPARAM point) {
    if (!dragging_)
        return 0;
    const int pos = posFromX(GET_X_LPARAM(point) - dragOffset_);
    if (setPos(pos, true))
        notify(TB_THUMBTRACK, pos_);
    return 0;
}

LRESULT Trackbar::onButtonUp() {
    if (!dragging_ && !paging_)
        return 0;
    const bool wasDragging = dragging_;
    dragging_ = paging_ = false;
    if (GetCapture() == hwnd())
        ReleaseCapture();
    if (wasDragging) {
        invalidate();
        notify(TB_THUMBPOSITION, pos_);
    }
    notify(TB_ENDTRACK);
    return 0;
}

LRESULT Trackbar::onKeyDown(WPARAM key) {
    WORD code;
    int pos;
    switch (key) {
        case VK_LEFT:
        case VK_UP:
            code = TB_LINEUP;
            pos = pos_ - line_;
            break;
        case VK_RIGHT:
        case VK_DOWN:
            code = TB_LINEDOWN;
            pos = pos_ + line_;
            break;
        case VK_PRIOR:
            code = TB_PAGEUP;
            pos = pos_ - page_;
            break;
        case VK_NEXT:
            code = TB_PAGEDOWN;
            pos = pos_ + page_;
            break;
        case VK_HOME:
            code = TB_TOP;
            pos = min_;
            break;
        case VK_END:
            code = TB_BOTTOM;
            pos = max_;
            break;
        default:
            return 0;
    }
    if (setPos(pos, true))
        notify(code);
    return 0;
}

LRESULT Trackbar::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case TBM_GETPOS:
            return pos_;
        case TBM_SETPOS:
            setPos(static_cast<int>(lParam), wParam != 0);
            return 0;
        case TBM_GETRANGEMIN:
            return min_;
        case TBM_GETRANGEMAX:
            return max_;
        case TBM_SETRANGE:
            setRange(Bound::Both, static_cast<SHORT>(LOWORD(lParam)),
                     static_cast<SHORT>(HIWORD(lParam)), wParam != 0);
            return 0;
        case TBM_SETRANGEMIN:
            setRange(Bound::Min, static_cast<int>(lParam), max_, wParam != 0);
            return 0;
        case TBM_SETRANGEMAX:
            setRange(Bound::Max, min_, static_cast<int>(lParam), wParam != 0);
            return 0;
        case TBM_GETPAGESIZE:
            return page_;
        case TBM_SETPAGESIZE:
            return setPageSize(static_cast<int>(lParam));
        case TBM_GETLINESIZE:
            return line_;
        case TBM_SETLINESIZE:
            return std::exchange(line_, static_cast<int>(lParam));
        case TBM_SETTICFREQ:
            return setTickFrequency(static_cast<int>(wParam));
        case TBM_GETNUMTICS:
            return (style() & TBS_NOTICKS) ? 0 : 2 + interiorTicks();
        case TBM_GETTHUMBRECT:
            if (lParam)
                *reinterpret_cast<RECT*>(lParam) = thumbRect();
            return 0;
        case TBM_GETCHANNELRECT:
            if (lParam)
                *reinterpret_cast<RECT*>(lParam) = channelRect();
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            return onButtonDown(lParam);
        case WM_MOUSEMOVE:
            return onMouseMove(lParam);
        case WM_LBUTTONUP:
            return onButtonUp();
        case WM_CAPTURECHANGED:
            if ((dragging_ || paging_) && reinterpret_cast<HWND>(lParam) != hwnd()) {
                dragging_ = paging_ = false;
                invalidate();
            }
            return 0;
        case WM_KEYDOWN:
            return onKeyDown(wParam);
        case WM_KEYUP:
            if (wParam == VK_LEFT || wParam == VK_RIGHT || wParam == VK_UP || wParam == VK_DOWN ||
                wParam == VK_PRIOR || wParam == VK_NEXT || wParam == VK_HOME || wParam == VK_END)
                notify(TB_ENDTRACK);
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            invalidate();
            return 0;
        case WM_PAINT:
            paint();
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS;
        default:
            return unhandled(message, wParam, lParam, "msctls_trackbar32");
    }
}

}  // namespace

void registerTrackbarClass() {
    registerControlClass(TRACKBAR_CLASSW, controlProc<Trackbar>, CS_DBLCLKS);
}

}  // namespace ce::controls
