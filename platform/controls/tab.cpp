// "SysTabControl32": one row of tabs, along the top or (TCS_BOTTOM) the bottom of the control,
// in a small font as Pocket PC shows them; when they do not all fit, two scroll arrows at the
// end of the row move them. A tap on a tab asks the parent (TCN_SELCHANGING, a TRUE answer
// refuses), selects it and tells the parent (TCN_SELCHANGE).
#include <algorithm>
#include <utility>
#include <vector>

#include "controls/common.h"
#include "controls/controls.h"

namespace ce::controls {
namespace {

// The display area lies inside the control's border and padding (both sides).
constexpr int kBorder = 2;
constexpr int kPadding = 2;
constexpr int kTabPaddingX = 4;
constexpr int kTabPaddingY = 3;
constexpr int kArrowWidth = 13;
constexpr int kSelectedRise = 2;
constexpr int kTabFontHeight = -10;

struct Tab {
    std::u16string text;
    int image = -1;
    LPARAM param = 0;
    DWORD state = 0;
    int width = 0;  // measured
};

class TabControl final : public Control {
  public:
    TabControl(HWND hwnd, const CREATESTRUCTW& cs);
    ~TabControl() override;
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    // --- state
    std::vector<Tab> tabs_;
    int current_ = -1;
    int focus_ = -1;
    int first_ = 0;  // first tab shown when the row scrolls
    int tabHeight_ = 0;
    int fixedWidth_ = 0;   // TCM_SETITEMSIZE, with TCS_FIXEDWIDTH
    int fixedHeight_ = 0;  // TCM_SETITEMSIZE
    int minWidth_ = 0;     // TCM_SETMINTABWIDTH; tabs as narrow as their text by default
    DWORD exStyle_ = 0;
    int paddingX_ = kTabPaddingX;
    HFONT smallFont_ = nullptr;
    HIMAGELIST images_ = nullptr;

    int count() const { return static_cast<int>(tabs_.size()); }
    bool valid(int i) const { return i >= 0 && i < count(); }
    bool bottom() const { return (style() & TCS_BOTTOM) != 0; }
    HFONT tabFont() const;

    // --- geometry
    void measure();
    int rowWidth() const;
    bool scrolls() const;
    RECT rowRect() const;  // the band of the tabs
    RECT arrowRect(bool right) const;
    RECT tabRect(int i) const;  // as TCM_GETITEMRECT gives it
    int hitTest(POINT pt) const;
    void ensureVisible(int i);
    RECT adjust(RECT rc, bool larger) const;

    // --- painting
    void paint();
    void paintTab(HDC dc, int i, const RECT& row);

    // --- selection
    bool select(int i, bool notify);
    void deselect();

    // --- messages
    LRESULT onInsertItem(WPARAM index, LPARAM item);
    LRESULT onDeleteItem(WPARAM index);
    LRESULT onGetItem(WPARAM index, LPARAM item) const;
    LRESULT onSetItem(WPARAM index, LPARAM item);
    LRESULT onSetCurSel(WPARAM index);
    LRESULT onSetCurFocus(WPARAM index);
    LRESULT onSetMinTabWidth(LPARAM width);
    LRESULT onSetExtendedStyle(WPARAM mask, LPARAM style);
    LRESULT onGetItemRect(WPARAM index, LPARAM rect) const;
    LRESULT onAdjustRect(WPARAM larger, LPARAM rect) const;
    LRESULT onHitTest(LPARAM info) const;
    LRESULT onSetItemSize(LPARAM size);
    LRESULT onButtonDown(LPARAM point);
};

TabControl::TabControl(HWND hwnd, const CREATESTRUCTW& cs) : Control(hwnd, cs) {
    LOGFONTW lf{};
    lf.lfHeight = kTabFontHeight;
    lf.lfWeight = FW_NORMAL;
    smallFont_ = CreateFontIndirectW(&lf);
}

TabControl::~TabControl() {
    if (smallFont_)
        DeleteObject(smallFont_);
}

HFONT TabControl::tabFont() const {
    if (givenFont())
        return givenFont();
    return smallFont_ ? smallFont_ : font();
}

// --- geometry ---------------------------------------------------------------------------------

void TabControl::measure() {
    MeasureScope m(hwnd(), tabFont());
    tabHeight_ = fixedHeight_ > 0 ? fixedHeight_ : lineHeight(m.dc()) + 2 * kTabPaddingY;
    for (Tab& t : tabs_) {
        const int natural = textWidth(m.dc(), t.text) + 2 * paddingX_;
        t.width = fixedWidth_ > 0 ? fixedWidth_ : std::max(natural, minWidth_);
    }
}

int TabControl::rowWidth() const {
    int w = 0;
    for (const Tab& t : tabs_) w += t.width;
    return w;
}

bool TabControl::scrolls() const {
    const RECT rc = clientRect();
    return rowWidth() > (rc.right - rc.left) - 2 * kBorder;
}

RECT TabControl::rowRect() const {
    const RECT rc = clientRect();
    if (bottom())
        return {rc.left, rc.bottom - tabHeight_, rc.right, rc.bottom};
    return {rc.left, rc.top, rc.right, rc.top + tabHeight_};
}

RECT TabControl::arrowRect(bool right) const {
    const RECT row = rowRect();
    const int height = std::min<int>(kArrowWidth, row.bottom - row.top);
    const int top = row.top + (row.bottom - row.top - height) / 2;
    const int left = row.right - 2 * kArrowWidth + (right ? kArrowWidth : 0);
    return {left, top, left + kArrowWidth, top + height};
}

RECT TabControl::tabRect(int i) const {
    const RECT row = rowRect();
    int x = row.left + kBorder;
    for (int k = first_; k < i; ++k) x += tabs_[static_cast<size_t>(k)].width;
    for (int k = i; k < first_; ++k) x -= tabs_[static_cast<size_t>(k)].width;
    const Tab& t = tabs_[static_cast<size_t>(i)];
    return {x, row.top, x + t.width, row.bottom};
}

int TabControl::hitTest(POINT pt) const {
    const RECT row = rowRect();
    if (!PtInRect(&row, pt))
        return -1;
    if (scrolls() && pt.x >= arrowRect(false).left)
        return -1;
    for (int i = first_; i < count(); ++i) {
        const RECT r = tabRect(i);
        if (PtInRect(&r, pt))
            return i;
    }
    return -1;
}

// Scrolls the row so that tab i is wholly shown (when the row scrolls at all).
void TabControl::ensureVisible(int i) {
    if (!valid(i))
        return;
    if (!scrolls()) {
        if (first_ != 0) {
            first_ = 0;
            invalidate();
        }
        return;
    }
    const int limit = arrowRect(false).left;
    int first = first_;
    if (i < first_)
        first_ = i;
    while (first_ < i && tabRect(i).right > limit) ++first_;
    if (first != first_) {
        invalidate();
    }
}

// TCM_ADJUSTRECT: window rectangle to display area (larger FALSE) and back (TRUE).
RECT TabControl::adjust(RECT rc, bool larger) const {
    const int inset = kBorder + kPadding;
    if (larger) {
        if (bottom())
            rc.bottom += tabHeight_;
        else
            rc.top -= tabHeight_;
        InflateRect(&rc, inset, inset);
    } else {
        InflateRect(&rc, -inset, -inset);
        if (bottom())
            rc.bottom -= tabHeight_;
        else
            rc.top += tabHeight_;
    }
    return rc;
}

// --- painting ---------------------------------------------------------------------------------

void TabControl::paintTab(HDC dc, int i, const RECT& row) {
    RECT r = tabRect(i);
    const bool selected = i == current_;
    if (selected) {
        // The selected tab stands out of the row and joins the page.
        if (bottom()) {
            r.bottom = std::min<LONG>(row.bottom, r.bottom);
            r.top -= kSelectedRise;
        } else {
            r.bottom += kSelectedRise;
        }
        InflateRect(&r, 1, 0);
    } else {
        if (bottom())
            r.bottom -= kSelectedRise;
        else
            r.top += kSelectedRise;
    }
    fillRect(dc, r, selected ? COLOR_WINDOW : COLOR_BTNFACE);
    DrawEdge(dc, &r, EDGE_RAISED,
             bottom() ? (BF_LEFT | BF_RIGHT | BF_BOTTOM) : (BF_LEFT | BF_RIGHT | BF_TOP));
    const Tab& t = tabs_[static_cast<size_t>(i)];
    drawTextLine(dc, t.text, r, DT_CENTER | DT_VCENTER,
                 sysColor(enabled() ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
}

void TabControl::paint() {
    PaintScope paint(hwnd(), tabFont());
    HDC dc = paint.dc();
    if (!dc)
        return;
    const RECT rc = clientRect();
    const RECT row = rowRect();
    RECT page = rc;
    if (bottom())
        page.bottom = row.top;
    else
        page.top = row.bottom;
    fillRect(dc, page, COLOR_WINDOW);
    fillRect(dc, row, COLOR_BTNFACE);
    RECT frame = page;
    DrawEdge(dc, &frame, EDGE_RAISED,
             bottom() ? (BF_LEFT | BF_TOP | BF_RIGHT) : (BF_LEFT | BF_BOTTOM | BF_RIGHT));
    // Clip the tabs to the part of the row the arrows leave free.
    const bool arrows = scrolls();
    RECT tabsArea = row;
    if (arrows)
        tabsArea.right = arrowRect(false).left;
    HRGN clip = CreateRectRgn(tabsArea.left, rc.top, tabsArea.right, rc.bottom);
    SelectClipRgn(dc, clip);
    for (int i = first_; i < count(); ++i) {
        if (i != current_)
            paintTab(dc, i, row);
    }
    if (valid(current_) && current_ >= first_)
        paintTab(dc, current_, row);
    SelectClipRgn(dc, nullptr);
    DeleteObject(clip);
    if (arrows) {
        for (bool right : {false, true}) {
            RECT a = arrowRect(right);
            fillRect(dc, a, COLOR_BTNFACE);
            DrawEdge(dc, &a, EDGE_RAISED, BF_RECT);
            const bool canMove = right ? tabRect(count() - 1).right > tabsArea.right : first_ > 0;
            drawArrow(dc, a, right ? Arrow::Right : Arrow::Left,
                      sysColor(canMove ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
        }
    }
}

// --- selection --------------------------------------------------------------------------------

// Selects tab i; with notify, asks the parent first (TCN_SELCHANGING) and reports the change
// (TCN_SELCHANGE). Returns false when refused or nothing changed.
bool TabControl::select(int i, bool notify) {
    if (!valid(i) || i == current_)
        return false;
    if (notify && notifier_.notify(TCN_SELCHANGING))
        return false;
    current_ = focus_ = i;
    ensureVisible(i);
    invalidate();
    if (notify)
        notifier_.notify(TCN_SELCHANGE);
    return true;
}

// No tab selected, none with the focus.
void TabControl::deselect() {
    focus_ = -1;
    if (current_ == -1)
        return;
    current_ = -1;
    invalidate();
}

// --- messages ---------------------------------------------------------------------------------

LRESULT TabControl::onInsertItem(WPARAM index, LPARAM item) {
    const auto* in = reinterpret_cast<const TCITEMW*>(item);
    const int requested = static_cast<int>(index);
    if (!in || requested < 0)
        return -1;
    const int at = std::min(requested, count());
    Tab t;
    if (in->mask & TCIF_TEXT)
        t.text = textFrom(in->pszText);
    if (in->mask & TCIF_IMAGE)
        t.image = in->iImage;
    if (in->mask & TCIF_PARAM)
        t.param = in->lParam;
    if (in->mask & TCIF_STATE)
        t.state = in->dwState & in->dwStateMask;
    tabs_.insert(tabs_.begin() + at, std::move(t));
    // The first tab is selected on insertion; later ones keep the selection on its tab.
    if (current_ == -1 && count() == 1)
        current_ = focus_ = 0;
    else if (current_ >= at)
        ++current_;
    measure();
    invalidate();
    return at;
}

LRESULT TabControl::onDeleteItem(WPARAM index) {
    const int i = static_cast<int>(index);
    if (!valid(i))
        return FALSE;
    tabs_.erase(tabs_.begin() + i);
    if (current_ == i)
        current_ = -1;
    else if (current_ > i)
        --current_;
    if (focus_ == i)
        focus_ = -1;
    else if (focus_ > i)
        --focus_;
    first_ = std::clamp(first_, 0, std::max(0, count() - 1));
    measure();
    invalidate();
    return TRUE;
}

LRESULT TabControl::onGetItem(WPARAM index, LPARAM item) const {
    auto* out = reinterpret_cast<TCITEMW*>(item);
    const int i = static_cast<int>(index);
    if (!out || !valid(i))
        return FALSE;
    const Tab& t = tabs_[static_cast<size_t>(i)];
    if (out->mask & TCIF_TEXT) {
        if (!out->pszText || out->cchTextMax <= 0)
            return FALSE;
        copyText(t.text, out->pszText, static_cast<size_t>(out->cchTextMax));
    }
    if (out->mask & TCIF_IMAGE)
        out->iImage = t.image;
    if (out->mask & TCIF_PARAM)
        out->lParam = t.param;
    if (out->mask & TCIF_STATE) {
        DWORD state = t.state;
        if (i == current_)
            state |= TCIS_BUTTONPRESSED;
        out->dwState = state & out->dwStateMask;
    }
    return TRUE;
}

LRESULT TabControl::onSetItem(WPARAM index, LPARAM item) {
    const auto* in = reinterpret_cast<const TCITEMW*>(item);
    const int i = static_cast<int>(index);
    if (!in || !valid(i))
        return FALSE;
    Tab& t = tabs_[static_cast<size_t>(i)];
    if (in->mask & TCIF_TEXT)
        t.text = textFrom(in->pszText);
    if (in->mask & TCIF_IMAGE)
        t.image = in->iImage;
    if (in->mask & TCIF_PARAM)
        t.param = in->lParam;
    if (in->mask & TCIF_STATE)
        t.state = (t.state & ~in->dwStateMask) | (in->dwState & in->dwStateMask);
    measure();
    invalidate();
    return TRUE;
}

// TCM_SETCURSEL: the previous selection, or -1 for an index past the tabs; -1 leaves no tab
// selected. No notifications: the program chose it.
LRESULT TabControl::onSetCurSel(WPARAM index) {
    const int i = static_cast<int>(index);
    const int previous = current_;
    if (i == -1)
        deselect();
    else if (!valid(i))
        return -1;
    else
        select(i, false);
    return previous;
}

// TCM_SETCURFOCUS selects the tab as a tap would (the parent is asked and told); -1 leaves
// none selected, an index past the tabs changes nothing.
LRESULT TabControl::onSetCurFocus(WPARAM index) {
    const int i = static_cast<int>(index);
    if (i == -1)
        deselect();
    else if (valid(i))
        select(i, true);
    return 0;
}

// -1 (or any width below 0) gives the default back: tabs as narrow as their text. The tabs are
// laid out again but not repainted. Answers the old minimum.
LRESULT TabControl::onSetMinTabWidth(LPARAM width) {
    const int old = std::exchange(minWidth_, std::max(0, static_cast<int>(width)));
    measure();
    return old;
}

// Only TCS_EX_FLATSEPARATORS is kept; a mask of 0 stands for every bit. Answers the old style.
LRESULT TabControl::onSetExtendedStyle(WPARAM mask, LPARAM style) {
    const DWORD old = exStyle_;
    const DWORD bits = mask ? static_cast<DWORD>(mask) : ~0u;
    exStyle_ = ((exStyle_ & ~bits) | (static_cast<DWORD>(style) & bits)) & TCS_EX_FLATSEPARATORS;
    invalidate();
    return old;
}

LRESULT TabControl::onGetItemRect(WPARAM index, LPARAM rect) const {
    const int i = static_cast<int>(index);
    if (!valid(i))
        return FALSE;
    if (rect)
        *reinterpret_cast<RECT*>(rect) = tabRect(i);
    return TRUE;
}

LRESULT TabControl::onAdjustRect(WPARAM larger, LPARAM rect) const {
    if (!rect)
        return 0;
    auto* rc = reinterpret_cast<RECT*>(rect);
    *rc = adjust(*rc, larger != 0);
    return 0;
}

LRESULT TabControl::onHitTest(LPARAM info) const {
    auto* hit = reinterpret_cast<TCHITTESTINFO*>(info);
    if (!hit)
        return -1;
    const int i = hitTest(hit->pt);
    hit->flags = i < 0 ? TCHT_NOWHERE : TCHT_ONITEMLABEL;
    return i;
}

// The width counts only for TCS_FIXEDWIDTH tabs; a height of 0 keeps the font's. Answers the
// old width and height.
LRESULT TabControl::onSetItemSize(LPARAM size) {
    const LRESULT old = MAKELRESULT(fixedWidth_, tabHeight_);
    if (style() & TCS_FIXEDWIDTH)
        fixedWidth_ = LOWORD(size);
    if (HIWORD(size))
        fixedHeight_ = HIWORD(size);
    measure();
    invalidate();
    return old;
}

LRESULT TabControl::onButtonDown(LPARAM point) {
    const POINT pt{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    if (scrolls()) {
        const RECT left = arrowRect(false), right = arrowRect(true);
        if (PtInRect(&left, pt)) {
            if (first_ > 0) {
                --first_;
                invalidate();
            }
            return 0;
        }
        if (PtInRect(&right, pt)) {
            if (tabRect(count() - 1).right > left.left) {
                ++first_;
                invalidate();
            }
            return 0;
        }
    }
    const int i = hitTest(pt);
    if (i >= 0)
        select(i, true);
    return 0;
}

LRESULT TabControl::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            measure();
            return 0;
        case TCM_INSERTITEMW:
            return onInsertItem(wParam, lParam);
        case TCM_DELETEITEM:
            return onDeleteItem(wParam);
        case TCM_DELETEALLITEMS:
            tabs_.clear();
            current_ = focus_ = -1;
            first_ = 0;
            invalidate();
            return TRUE;
        case TCM_GETITEMCOUNT:
            return count();
        case TCM_GETITEMW:
            return onGetItem(wParam, lParam);
        case TCM_SETITEMW:
            return onSetItem(wParam, lParam);
        case TCM_GETCURSEL:
            return current_;
        case TCM_SETCURSEL:
            return onSetCurSel(wParam);
        case TCM_GETCURFOCUS:
            return focus_;
        case TCM_SETCURFOCUS:
            return onSetCurFocus(wParam);
        case TCM_GETITEMRECT:
            return onGetItemRect(wParam, lParam);
        case TCM_ADJUSTRECT:
            return onAdjustRect(wParam, lParam);
        case TCM_HITTEST:
            return onHitTest(lParam);
        case TCM_GETROWCOUNT:
            return 1;
        case TCM_SETITEMSIZE:
            return onSetItemSize(lParam);
        case TCM_SETMINTABWIDTH:
            return onSetMinTabWidth(lParam);
        case TCM_SETPADDING:  // laid out, not repainted
            paddingX_ = LOWORD(lParam);
            measure();
            return 0;
        case TCM_GETIMAGELIST:
            return reinterpret_cast<LRESULT>(images_);
        case TCM_SETIMAGELIST:
            invalidate();
            return reinterpret_cast<LRESULT>(
                std::exchange(images_, reinterpret_cast<HIMAGELIST>(lParam)));
        case TCM_SETITEMEXTRA:
            return count() == 0 ? TRUE : FALSE;
        case TCM_GETEXTENDEDSTYLE:
            return exStyle_;
        case TCM_SETEXTENDEDSTYLE:
            return onSetExtendedStyle(wParam, lParam);
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            return onButtonDown(lParam);
        case WM_SIZE:
            ensureVisible(current_);
            invalidate();
            return 0;
        case WM_PAINT:
            paint();
            return 0;
        case WM_SETFONT:
            setFont(wParam, lParam);
            measure();
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS;
        default:
            return unhandled(message, wParam, lParam, "SysTabControl32");
    }
}

}  // namespace

void registerTabClass() {
    registerControlClass(WC_TABCONTROLW, controlProc<TabControl>, CS_DBLCLKS);
}

}  // namespace ce::controls
