// "LISTBOX" (and "ComboLBox", the list a combo box drops): single and multiple selection
// (LBS_MULTIPLESEL), sorted insertion in the device's order (LBS_SORT), notifications
// (LBS_NOTIFY), and both scroll bars: vertical by entries, horizontal by the extent the program
// sets (LB_SETHORIZONTALEXTENT).
#include "controls/listbox.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "controls/common.h"
#include "controls/controls.h"

namespace ce::controls {
namespace {

constexpr int kTextIndent = 2;
constexpr int kHorizontalLine = 6;  // pixels per horizontal line step

struct Entry {
    std::u16string text;
    LPARAM data = 0;
    bool selected = false;
};

// The entries, in chunks of pointers, so that inserting into the middle of a long list moves only
// a few hundred pointers: 100,000 sorted insertions stay well under a second.
class EntryList {
  public:
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    Entry& at(size_t index) {
        auto [chunk, offset] = locate(index);
        return *chunks_[chunk][offset];
    }
    const Entry& at(size_t index) const { return const_cast<EntryList*>(this)->at(index); }

    void insert(size_t index, Entry entry) {
        if (chunks_.empty())
            chunks_.emplace_back();
        size_t chunk = chunks_.size() - 1, offset = chunks_.back().size();
        if (index < size_)
            std::tie(chunk, offset) = locate(index);
        auto& c = chunks_[chunk];
        c.insert(c.begin() + static_cast<std::ptrdiff_t>(offset),
                 std::make_unique<Entry>(std::move(entry)));
        ++size_;
        if (c.size() > kMaxChunk) {
            Chunk upper(std::make_move_iterator(c.begin() + kMaxChunk / 2),
                        std::make_move_iterator(c.end()));
            c.resize(kMaxChunk / 2);
            chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(chunk) + 1,
                           std::move(upper));
        }
    }

    void erase(size_t index) {
        auto [chunk, offset] = locate(index);
        auto& c = chunks_[chunk];
        c.erase(c.begin() + static_cast<std::ptrdiff_t>(offset));
        if (c.empty())
            chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(chunk));
        --size_;
    }

    void clear() {
        chunks_.clear();
        size_ = 0;
    }

    // The first index whose entry does not sort before text (lower bound), given an order
    // function less(entryText, text).
    template <class Less>
    size_t lowerBound(const std::u16string& text, Less less) const {
        // First the chunk: the first one whose last entry does not sort before the text.
        size_t lo = 0, hi = chunks_.size();
        while (lo < hi) {
            const size_t mid = (lo + hi) / 2;
            if (less(chunks_[mid].back()->text, text))
                lo = mid + 1;
            else
                hi = mid;
        }
        size_t base = 0;
        for (size_t i = 0; i < lo; ++i) base += chunks_[i].size();
        if (lo == chunks_.size())
            return size_;
        const auto& c = chunks_[lo];
        auto it = std::partition_point(c.begin(), c.end(),
                                       [&](const auto& e) { return less(e->text, text); });
        return base + static_cast<size_t>(it - c.begin());
    }

    template <class F>
    void forEach(F f) const {
        size_t index = 0;
        for (const auto& c : chunks_)
            for (const auto& e : c) f(index++, *e);
    }
    template <class F>
    void forEachMutable(F f) {
        size_t index = 0;
        for (auto& c : chunks_)
            for (auto& e : c) f(index++, *e);
    }

  private:
    static constexpr size_t kMaxChunk = 512;

    std::pair<size_t, size_t> locate(size_t index) const {
        size_t chunk = 0;
        while (index >= chunks_[chunk].size()) index -= chunks_[chunk++].size();
        return {chunk, index};
    }

    using Chunk = std::vector<std::unique_ptr<Entry>>;
    std::vector<Chunk> chunks_;
    size_t size_ = 0;
};

bool sortsBefore(const std::u16string& a, const std::u16string& b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                          static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_LESS_THAN;
}

bool equalIgnoringCase(const std::u16string& a, const std::u16string& b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                          static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

bool startsWithIgnoringCase(const std::u16string& text, const std::u16string& prefix) {
    if (prefix.size() > text.size())
        return false;
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, text.data(),
                          static_cast<int>(prefix.size()), prefix.data(),
                          static_cast<int>(prefix.size())) == CSTR_EQUAL;
}

class ListBox : public Control {
  public:
    ListBox(HWND hwnd, const CREATESTRUCTW& cs, bool comboList = false);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    // --- state
    EntryList entries_;
    const bool comboList_;
    int itemHeight_;
    int top_ = 0;       // first visible entry
    int caret_ = 0;     // entry with the focus (multiple selection), or the selection
    int anchor_ = -1;   // where a range selection starts; -1 for none
    int current_ = -1;  // the selection of a single-selection list
    int extent_ = 0;    // horizontal extent in pixels (LB_SETHORIZONTALEXTENT)
    int scrollX_ = 0;   // horizontal scroll position in pixels
    bool tracking_ = false;
    int pressed_ = -1;  // single selection: the selection when the stylus went down

    int count() const { return static_cast<int>(entries_.size()); }
    bool valid(int index) const { return index >= 0 && index < count(); }
    bool multiple() const { return (style() & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0; }
    bool sorted() const { return (style() & LBS_SORT) != 0; }
    bool isSelected(int index) const {
        return multiple() ? entries_.at(static_cast<size_t>(index)).selected : index == current_;
    }

    // --- notifications
    void notifySelChange() const;

    // --- geometry
    int visibleRows() const;  // whole rows that fit (at least 1)
    int maxTop() const;
    RECT itemRect(int index) const;
    int indexFromPoint(POINT pt, bool* outside) const;
    void invalidateItem(int index) const;
    void updateScrollBars();
    void setTop(int top);
    void ensureVisible(int index);

    // --- painting
    void paint();

    // --- entries
    LRESULT insertAt(int index, LPCWSTR text);
    void selectSingle(int index);
    void setSelected(int index, bool selected);

    // --- messages
    LRESULT onAddString(LPARAM text);
    LRESULT onInsertString(WPARAM index, LPARAM text);
    LRESULT onDeleteString(WPARAM index);
    LRESULT onResetContent();
    LRESULT onGetText(WPARAM index, LPARAM buffer) const;
    LRESULT onGetTextLen(WPARAM index) const;
    LRESULT onGetSel(WPARAM index) const;
    LRESULT onSetSel(WPARAM select, LPARAM index);
    LRESULT onGetSelCount() const;
    LRESULT onGetSelItems(WPARAM max, LPARAM buffer) const;
    LRESULT onGetCurSel() const;
    LRESULT onSetCurSel(WPARAM index);
    LRESULT onSelItemRange(WPARAM select, int first, int last);
    LRESULT onSetHorizontalExtent(WPARAM extent);
    LRESULT onSetTopIndex(WPARAM index);
    LRESULT onGetItemRect(WPARAM index, LPARAM rect) const;
    LRESULT onSetItemHeight(LPARAM height);
    LRESULT onFindString(WPARAM start, LPARAM text, bool exact) const;
    LRESULT onSelectString(WPARAM start, LPARAM text);
    LRESULT onItemFromPoint(LPARAM point) const;
    LRESULT onSetCaretIndex(WPARAM index);
    LRESULT onItemData(WPARAM index, LPARAM data, bool set);
    LRESULT onButtonDown(LPARAM point);
    LRESULT onMouseMove(LPARAM point);
    LRESULT onButtonUp(LPARAM point);
    LRESULT onKeyDown(WPARAM key);
    LRESULT onScroll(int bar, WPARAM request);
};

ListBox::ListBox(HWND hwnd, const CREATESTRUCTW& cs, bool comboList)
    : Control(hwnd, cs), comboList_(comboList), itemHeight_(0) {}

// --- notifications ----------------------------------------------------------------------------

void ListBox::notifySelChange() const {
    if ((style() & LBS_NOTIFY) || comboList_)
        notifier_.command(LBN_SELCHANGE);
}

// --- geometry ---------------------------------------------------------------------------------

int ListBox::visibleRows() const {
    const RECT rc = clientRect();
    return std::max<int>(1, (rc.bottom - rc.top) / std::max(1, itemHeight_));
}

int ListBox::maxTop() const {
    return std::max(0, count() - visibleRows());
}

RECT ListBox::itemRect(int index) const {
    const RECT rc = clientRect();
    RECT item{-scrollX_, (index - top_) * itemHeight_, 0, 0};
    item.right = std::max<LONG>(rc.right, item.left + extent_);
    item.bottom = item.top + itemHeight_;
    return item;
}

int ListBox::indexFromPoint(POINT pt, bool* outside) const {
    const RECT rc = clientRect();
    const bool out = !PtInRect(&rc, pt);
    if (outside)
        *outside = out;
    const int row = pt.y < 0 ? -1 : pt.y / std::max(1, itemHeight_);
    return std::clamp(top_ + row, 0, std::max(0, count() - 1));
}

void ListBox::invalidateItem(int index) const {
    if (!valid(index))
        return;
    const RECT rc = itemRect(index);
    InvalidateRect(hwnd(), &rc, TRUE);
}

void ListBox::updateScrollBars() {
    const DWORD s = style();
    const bool keep = (s & LBS_DISABLENOSCROLL) != 0;
    if (s & WS_VSCROLL)
        setScrollBar(hwnd(), SB_VERT, 0, std::max(0, count() - 1), visibleRows(), top_, keep);
    if (s & WS_HSCROLL) {
        const RECT rc = clientRect();
        const int width = rc.right - rc.left;
        scrollX_ = std::clamp(scrollX_, 0, std::max(0, extent_ - width));
        setScrollBar(hwnd(), SB_HORZ, 0, std::max(0, extent_ - 1), width, scrollX_, keep);
    }
}

void ListBox::setTop(int top) {
    top = std::clamp(top, 0, maxTop());
    if (top == top_)
        return;
    top_ = top;
    updateScrollBars();
    invalidate();
}

void ListBox::ensureVisible(int index) {
    if (!valid(index))
        return;
    if (index < top_)
        setTop(index);
    else if (index >= top_ + visibleRows())
        setTop(index - visibleRows() + 1);
}

// --- painting ---------------------------------------------------------------------------------

void ListBox::paint() {
    PaintScope paint(hwnd(), font());
    HDC dc = paint.dc();
    if (!dc)
        return;
    const RECT rc = clientRect();
    fillRect(dc, rc, COLOR_WINDOW);
    const int last = std::min(count(), top_ + visibleRows() + 1);
    const bool active = enabled();
    for (int i = top_; i < last; ++i) {
        RECT item = itemRect(i);
        const bool selected = isSelected(i);
        if (selected) {
            RECT band{rc.left, item.top, rc.right, item.bottom};
            fillRect(dc, band, COLOR_HIGHLIGHT);
        }
        RECT textRect{item.left + kTextIndent, item.top, item.right, item.bottom};
        const int color = !active    ? COLOR_GRAYTEXT
                          : selected ? COLOR_HIGHLIGHTTEXT
                                     : COLOR_WINDOWTEXT;
        drawTextLine(dc, entries_.at(static_cast<size_t>(i)).text, textRect, DT_LEFT | DT_VCENTER,
                     sysColor(color));
        if (multiple() && focused() && i == caret_) {
            RECT focus{rc.left, item.top, rc.right, item.bottom};
            FrameRect(dc, &focus,
                      GetSysColorBrush(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        }
    }
}

// --- entries ----------------------------------------------------------------------------------

LRESULT ListBox::insertAt(int index, LPCWSTR text) {
    Entry entry;
    entry.text = textFrom(text);
    entries_.insert(static_cast<size_t>(index), std::move(entry));
    // Indexes at and after the new entry move down by one.
    if (current_ >= index)
        ++current_;
    if (multiple() && caret_ >= index && count() > 1)
        ++caret_;
    if (anchor_ >= index && count() > 1)
        ++anchor_;
    updateScrollBars();
    if (index < top_ + visibleRows())
        invalidate();
    return index;
}

void ListBox::selectSingle(int index) {
    if (index == current_)
        return;
    invalidateItem(current_);
    current_ = index;
    if (valid(index))
        caret_ = index;
    invalidateItem(current_);
}

void ListBox::setSelected(int index, bool selected) {
    Entry& e = entries_.at(static_cast<size_t>(index));
    if (e.selected == selected)
        return;
    e.selected = selected;
    invalidateItem(index);
}

// --- messages ---------------------------------------------------------------------------------

LRESULT ListBox::onAddString(LPARAM text) {
    const LPCWSTR s = reinterpret_cast<LPCWSTR>(text);
    if (!sorted())
        return insertAt(count(), s);
    // A new entry goes before the entries it equals, as the system's list box puts it.
    const size_t at = entries_.lowerBound(textFrom(s), sortsBefore);
    return insertAt(static_cast<int>(at), s);
}

LRESULT ListBox::onInsertString(WPARAM index, LPARAM text) {
    int at = static_cast<int>(index);
    if (at == -1)
        at = count();
    if (at < 0 || at > count())
        return LB_ERR;
    return insertAt(at, reinterpret_cast<LPCWSTR>(text));
}

LRESULT ListBox::onDeleteString(WPARAM index) {
    const int i = static_cast<int>(index);
    if (!valid(i))
        return LB_ERR;
    entries_.erase(static_cast<size_t>(i));
    if (current_ == i)
        current_ = -1;
    else if (current_ > i)
        --current_;
    if (caret_ > i || caret_ >= count())
        caret_ = std::max(0, caret_ - 1);
    if (anchor_ > i || anchor_ >= count())
        anchor_ = std::max(0, anchor_ - 1);
    top_ = std::min(top_, maxTop());
    updateScrollBars();
    invalidate();
    return count();
}

// Keeps the horizontal extent: it belongs to the list, not to its entries.
LRESULT ListBox::onResetContent() {
    entries_.clear();
    top_ = caret_ = 0;
    anchor_ = current_ = -1;
    scrollX_ = 0;
    updateScrollBars();
    invalidate();
    return LB_OKAY;
}

LRESULT ListBox::onGetText(WPARAM index, LPARAM buffer) const {
    const int i = static_cast<int>(index);
    if (!valid(i) || !buffer)
        return LB_ERR;
    const std::u16string& text = entries_.at(static_cast<size_t>(i)).text;
    // The caller's buffer holds the whole entry (LB_GETTEXTLEN + 1), as Win32 requires.
    return static_cast<LRESULT>(copyText(text, reinterpret_cast<WCHAR*>(buffer), text.size() + 1));
}

LRESULT ListBox::onGetTextLen(WPARAM index) const {
    const int i = static_cast<int>(index);
    if (!valid(i))
        return LB_ERR;
    return static_cast<LRESULT>(entries_.at(static_cast<size_t>(i)).text.size());
}

LRESULT ListBox::onGetSel(WPARAM index) const {
    const int i = static_cast<int>(index);
    if (!valid(i))
        return LB_ERR;
    return isSelected(i) ? 1 : 0;
}

// LB_SETSEL: index -1 selects or clears every entry of a multiple-selection list (and drops the
// anchor); an entry that gets selected becomes the caret and the anchor and is scrolled into
// view. A single-selection list takes it as a selection of that entry, as Win32 does.
LRESULT ListBox::onSetSel(WPARAM select, LPARAM index) {
    const int i = static_cast<int>(index);
    if (!multiple()) {
        if (!valid(i))
            return LB_ERR;
        if (select) {
            selectSingle(i);
            anchor_ = i;
        } else if (i == current_) {
            selectSingle(-1);
        }
        return LB_OKAY;
    }
    if (i == -1) {
        entries_.forEachMutable([&](size_t index, Entry& e) {
            if (e.selected != (select != 0))
                invalidateItem(static_cast<int>(index));
            e.selected = select != 0;
        });
        anchor_ = -1;
        return LB_OKAY;
    }
    if (!valid(i))
        return LB_ERR;
    setSelected(i, select != 0);
    if (select) {
        if (i != caret_) {
            invalidateItem(caret_);
            caret_ = i;
            invalidateItem(caret_);
        }
        anchor_ = i;
        ensureVisible(i);
    }
    return LB_OKAY;
}

LRESULT ListBox::onGetSelCount() const {
    if (!multiple())
        return LB_ERR;
    int n = 0;
    entries_.forEach([&](size_t, const Entry& e) { n += e.selected ? 1 : 0; });
    return n;
}

// LB_GETSELITEMS: the selected indexes in ascending order, at most `max` of them.
LRESULT ListBox::onGetSelItems(WPARAM max, LPARAM buffer) const {
    if (!multiple())
        return LB_ERR;
    auto* out = reinterpret_cast<int*>(buffer);
    const int room = static_cast<int>(max);
    if (!out || room <= 0)
        return 0;
    int n = 0;
    entries_.forEach([&](size_t index, const Entry& e) {
        if (e.selected && n < room)
            out[n++] = static_cast<int>(index);
    });
    return n;
}

LRESULT ListBox::onGetCurSel() const {
    if (multiple())
        return count() ? caret_ : LB_ERR;
    return valid(current_) ? current_ : LB_ERR;
}

// LB_SETCURSEL: -1 clears the selection and answers LB_ERR; an index past the end answers
// LB_ERR and changes nothing.
LRESULT ListBox::onSetCurSel(WPARAM index) {
    if (multiple())
        return LB_ERR;
    const int i = static_cast<int>(index);
    if (i == -1) {
        selectSingle(-1);
        return LB_ERR;
    }
    if (!valid(i))
        return LB_ERR;
    selectSingle(i);
    ensureVisible(i);
    return i;
}

LRESULT ListBox::onSelItemRange(WPARAM select, int first, int last) {
    if (!multiple())
        return LB_ERR;
    if (first > last)
        std::swap(first, last);
    first = std::max(first, 0);
    last = std::min(last, count() - 1);
    for (int i = first; i <= last; ++i) setSelected(i, select != 0);
    return LB_OKAY;
}

// The extent is kept as given; it changes the horizontal scroll bar, and the view only when
// the scroll position has to follow it.
LRESULT ListBox::onSetHorizontalExtent(WPARAM extent) {
    extent_ = static_cast<int>(extent);
    const int oldScroll = scrollX_;
    updateScrollBars();
    if (scrollX_ != oldScroll)
        invalidate();
    return 0;
}

// Any index is clamped into the list: below 0 to the first entry, past the end to the last
// page.
LRESULT ListBox::onSetTopIndex(WPARAM index) {
    setTop(static_cast<int>(index));
    return LB_OKAY;
}

// LB_GETITEMRECT: the entry's rectangle in client coordinates, also when it is scrolled out of
// view; 1 when some of it is visible, 0 otherwise. Index 0 is valid in an empty list.
LRESULT ListBox::onGetItemRect(WPARAM index, LPARAM rect) const {
    const int i = static_cast<int>(index);
    if (!rect || (i != 0 && !valid(i)) || i < 0)
        return LB_ERR;
    const RECT item = itemRect(i);
    *reinterpret_cast<RECT*>(rect) = item;
    const RECT rc = clientRect();
    return (item.top < rc.bottom && item.bottom > rc.top && item.left < rc.right && item.right > 0)
               ? 1
               : 0;
}

// At most 255 pixels; 0 is taken as 1.
LRESULT ListBox::onSetItemHeight(LPARAM height) {
    const int h = std::max(1, static_cast<int>(LOWORD(height)));
    if (h > 255)
        return LB_ERR;
    if (h != itemHeight_) {
        itemHeight_ = h;
        top_ = std::min(top_, maxTop());
        updateScrollBars();
        invalidate();
    }
    return LB_OKAY;
}

// LB_FINDSTRING (prefix) / LB_FINDSTRINGEXACT (whole entry), case-insensitive, starting after
// `start` and wrapping round; -1 starts at the top.
LRESULT ListBox::onFindString(WPARAM start, LPARAM text, bool exact) const {
    const std::u16string wanted = textFrom(reinterpret_cast<LPCWSTR>(text));
    const int n = count();
    if (n == 0)
        return LB_ERR;
    int from = static_cast<int>(start);
    if (from < -1 || from >= n)
        from = -1;
    for (int k = 1; k <= n; ++k) {
        const int i = (from + k) % n;
        const std::u16string& entry = entries_.at(static_cast<size_t>(i)).text;
        if (exact ? equalIgnoringCase(entry, wanted) : startsWithIgnoringCase(entry, wanted))
            return i;
    }
    return LB_ERR;
}

LRESULT ListBox::onSelectString(WPARAM start, LPARAM text) {
    const LRESULT found = onFindString(start, text, false);
    if (found == LB_ERR)
        return LB_ERR;
    if (multiple()) {
        setSelected(static_cast<int>(found), true);
        if (found != caret_) {  // the caret moves to it, as on Win32
            invalidateItem(caret_);
            caret_ = static_cast<int>(found);
            invalidateItem(caret_);
        }
    } else {
        selectSingle(static_cast<int>(found));
    }
    ensureVisible(static_cast<int>(found));
    return found;
}

LRESULT ListBox::onItemFromPoint(LPARAM point) const {
    bool outside = false;
    const int i = indexFromPoint({GET_X_LPARAM(point), GET_Y_LPARAM(point)}, &outside);
    const RECT item = itemRect(i);
    if (count() == 0 || GET_Y_LPARAM(point) >= item.bottom)
        outside = true;
    return MAKELRESULT(static_cast<WORD>(i), outside ? 1 : 0);
}

// The caret (the focus rectangle) belongs to multiple-selection lists; it is scrolled into view.
LRESULT ListBox::onSetCaretIndex(WPARAM index) {
    const int i = static_cast<int>(index);
    if (!multiple() || !valid(i))
        return LB_ERR;
    if (i != caret_) {
        invalidateItem(caret_);
        caret_ = i;
        invalidateItem(caret_);
    }
    ensureVisible(i);
    return LB_OKAY;
}

// LB_GETITEMDATA answers the value, LB_SETITEMDATA TRUE; LB_ERR for an index out of the list.
LRESULT ListBox::onItemData(WPARAM index, LPARAM data, bool set) {
    const int i = static_cast<int>(index);
    if (!valid(i))
        return LB_ERR;
    Entry& e = entries_.at(static_cast<size_t>(i));
    if (!set)
        return e.data;
    e.data = data;
    return TRUE;
}

// A tap toggles an entry of a multiple-selection list and selects one of a single-selection
// list; the dropped list of a combo box reports what was tapped.
LRESULT ListBox::onButtonDown(LPARAM point) {
    const POINT pt{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    bool outside = false;
    const int i = indexFromPoint(pt, &outside);
    if (comboList_) {
        if (outside) {
            notifier_.command(kComboListCancelled);
            return 0;
        }
        tracking_ = true;
        if (valid(i))
            selectSingle(i);
        return 0;
    }
    if (!focused())
        SetFocus(hwnd());
    if (!valid(i) || pt.y >= itemRect(i).bottom)
        return 0;
    if (multiple()) {
        setSelected(i, !entries_.at(static_cast<size_t>(i)).selected);
        invalidateItem(caret_);
        caret_ = anchor_ = i;
        invalidateItem(caret_);
        notifySelChange();
        return 0;
    }
    pressed_ = current_;
    tracking_ = true;
    SetCapture(hwnd());
    selectSingle(i);
    return 0;
}

LRESULT ListBox::onMouseMove(LPARAM point) {
    if (!tracking_ || multiple())
        return 0;
    const POINT pt{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    bool outside = false;
    const int i = indexFromPoint(pt, &outside);
    if (!outside && valid(i))
        selectSingle(i);
    return 0;
}

LRESULT ListBox::onButtonUp(LPARAM point) {
    if (comboList_) {
        const POINT pt{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
        bool outside = false;
        const int i = indexFromPoint(pt, &outside);
        // The release of the tap that dropped the list lands outside it: not a choice.
        if (tracking_ && !outside && valid(i)) {
            tracking_ = false;
            selectSingle(i);
            notifier_.command(kComboListChosen);
        }
        return 0;
    }
    if (!tracking_)
        return 0;
    tracking_ = false;
    if (GetCapture() == hwnd())
        ReleaseCapture();
    if (current_ != pressed_)
        notifySelChange();
    return 0;
}

LRESULT ListBox::onKeyDown(WPARAM key) {
    if (count() == 0)
        return 0;
    int target = multiple() ? caret_ : std::max(current_, 0);
    switch (key) {
        case VK_UP:
            target -= 1;
            break;
        case VK_DOWN:
            target += (current_ < 0 && !multiple()) ? 0 : 1;
            break;
        case VK_PRIOR:
            target -= visibleRows();
            break;
        case VK_NEXT:
            target += visibleRows();
            break;
        case VK_HOME:
            target = 0;
            break;
        case VK_END:
            target = count() - 1;
            break;
        case VK_SPACE:
            if (multiple()) {
                setSelected(caret_, !entries_.at(static_cast<size_t>(caret_)).selected);
                notifySelChange();
            }
            return 0;
        case VK_RETURN:
            if (comboList_)
                notifier_.command(kComboListChosen);
            return 0;
        case VK_ESCAPE:
            if (comboList_)
                notifier_.command(kComboListCancelled);
            return 0;
        default:
            return 0;
    }
    target = std::clamp(target, 0, count() - 1);
    if (multiple()) {
        invalidateItem(caret_);
        caret_ = target;
        invalidateItem(caret_);
        ensureVisible(target);
        return 0;
    }
    if (target != current_) {
        selectSingle(target);
        ensureVisible(target);
        notifySelChange();
    }
    return 0;
}

LRESULT ListBox::onScroll(int bar, WPARAM request) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_TRACKPOS;
    GetScrollInfo(hwnd(), bar, &si);
    const WORD code = LOWORD(request);
    const int thumb = (code == SB_THUMBTRACK) ? si.nTrackPos : static_cast<short>(HIWORD(request));
    if (bar == SB_VERT) {
        setTop(scrollRequest(code, top_, 1, visibleRows(), 0, maxTop(), thumb));
        return 0;
    }
    const RECT rc = clientRect();
    const int width = rc.right - rc.left;
    const int pos = scrollRequest(code, scrollX_, kHorizontalLine, width, 0,
                                  std::max(0, extent_ - width), thumb);
    if (pos != scrollX_) {
        scrollX_ = pos;
        updateScrollBars();
        invalidate();
    }
    return 0;
}

LRESULT ListBox::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            itemHeight_ = fontLineHeight(hwnd(), font()) + 2;
            updateScrollBars();
            return 0;
        case LB_ADDSTRING:
            return onAddString(lParam);
        case LB_INSERTSTRING:
            return onInsertString(wParam, lParam);
        case LB_DELETESTRING:
            return onDeleteString(wParam);
        case LB_RESETCONTENT:
            return onResetContent();
        case LB_GETCOUNT:
            return count();
        case LB_GETTEXT:
            return onGetText(wParam, lParam);
        case LB_GETTEXTLEN:
            return onGetTextLen(wParam);
        case LB_GETSEL:
            return onGetSel(wParam);
        case LB_SETSEL:
            return onSetSel(wParam, lParam);
        case LB_GETSELCOUNT:
            return onGetSelCount();
        case LB_GETSELITEMS:
            return onGetSelItems(wParam, lParam);
        case LB_GETCURSEL:
            return onGetCurSel();
        case LB_SETCURSEL:
            return onSetCurSel(wParam);
        case LB_SELITEMRANGE:
            return onSelItemRange(wParam, LOWORD(lParam), HIWORD(lParam));
        case LB_SELITEMRANGEEX:
            return static_cast<int>(lParam) >= static_cast<int>(wParam)
                       ? onSelItemRange(TRUE, static_cast<int>(wParam), static_cast<int>(lParam))
                       : onSelItemRange(FALSE, static_cast<int>(lParam), static_cast<int>(wParam));
        case LB_GETHORIZONTALEXTENT:
            return extent_;
        case LB_SETHORIZONTALEXTENT:
            return onSetHorizontalExtent(wParam);
        case LB_GETTOPINDEX:
            return top_;
        case LB_SETTOPINDEX:
            return onSetTopIndex(wParam);
        case LB_GETITEMRECT:
            return onGetItemRect(wParam, lParam);
        case LB_GETITEMHEIGHT:
            return itemHeight_;
        case LB_SETITEMHEIGHT:
            return onSetItemHeight(lParam);
        case LB_FINDSTRING:
            return onFindString(wParam, lParam, false);
        case LB_FINDSTRINGEXACT:
            return onFindString(wParam, lParam, true);
        case LB_SELECTSTRING:
            return onSelectString(wParam, lParam);
        case LB_ITEMFROMPOINT:
            return onItemFromPoint(lParam);
        case LB_GETCARETINDEX:
            return caret_;
        case LB_SETCARETINDEX:
            return onSetCaretIndex(wParam);
        case LB_GETANCHORINDEX:
            return anchor_;
        case LB_SETANCHORINDEX:  // -1 drops the anchor
            if (static_cast<int>(wParam) != -1 && !valid(static_cast<int>(wParam)))
                return LB_ERR;
            anchor_ = static_cast<int>(wParam);
            return LB_OKAY;
        case LB_GETITEMDATA:
            return onItemData(wParam, 0, false);
        case LB_SETITEMDATA:
            return onItemData(wParam, lParam, true);
        case LB_INITSTORAGE:
            return static_cast<LRESULT>(wParam);
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            return onButtonDown(lParam);
        case WM_MOUSEMOVE:
            return onMouseMove(lParam);
        case WM_LBUTTONUP:
            return onButtonUp(lParam);
        case WM_CAPTURECHANGED:
            if (!comboList_)
                tracking_ = false;
            return 0;
        case WM_KEYDOWN:
            return onKeyDown(wParam);
        case WM_VSCROLL:
            return onScroll(SB_VERT, wParam);
        case WM_HSCROLL:
            return onScroll(SB_HORZ, wParam);
        case WM_SIZE:
            top_ = std::min(top_, maxTop());
            updateScrollBars();
            invalidate();
            return 0;
        case WM_PAINT:
            paint();
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            if (multiple())
                invalidateItem(caret_);
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | DLGC_WANTCHARS;
        case WM_SETFONT:
            setFont(wParam, lParam);
            itemHeight_ = fontLineHeight(hwnd(), font()) + 2;
            updateScrollBars();
            return 0;
        default:
            return unhandled(message, wParam, lParam, comboList_ ? "ComboLBox" : "LISTBOX");
    }
}

class ComboList final : public ListBox {
  public:
    ComboList(HWND hwnd, const CREATESTRUCTW& cs) : ListBox(hwnd, cs, true) {}
};

}  // namespace

void registerListBoxClass() {
    registerControlClass(u"LISTBOX", controlProc<ListBox>, CS_DBLCLKS);
}

void registerComboListClass() {
    registerControlClass(kComboListClass, controlProc<ComboList>, CS_DBLCLKS);
}

}  // namespace ce::controls
