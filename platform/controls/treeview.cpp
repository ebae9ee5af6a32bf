// "SysTreeView32": items under items, with dotted lines (TVS_HASLINES), +/- buttons
// (TVS_HASBUTTONS, also at the root with TVS_LINESATROOT), images from an image list, sorted
// insertion (TVI_SORT, in lstrcmpW's order), children a parent answers on request
// (I_CHILDRENCALLBACK through TVN_GETDISPINFOW), expanding and collapsing, one selected item
// (the caret) and vertical scrolling by rows.
#include <algorithm>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "controls/common.h"
#include "controls/controls.h"

namespace ce::controls {
namespace {

constexpr int kIndent = 16;
constexpr int kButtonSize = 9;
constexpr int kImageGap = 2;
constexpr int kLabelPadding = 2;
constexpr int kMinIndent = kButtonSize + 3;  // TVM_SETINDENT never goes below it
constexpr int kMinItemHeight = 17;           // the default row, also with a smaller font

struct Node {
    std::u16string text;
    bool textCallback = false;
    int image = 0;
    int selectedImage = 0;
    int children = 0;  // cChildren: 0, 1 (or more), or I_CHILDRENCALLBACK
    LPARAM param = 0;
    UINT state = 0;  // TVIS_* kept for the program (TVIS_SELECTED/EXPANDED are derived too)
    Node* parent = nullptr;
    std::vector<Node*> kids;
    size_t index = 0;  // place among its parent's kids
    int depth = 0;     // 0 for a top-level item
};

class TreeView final : public Control {
  public:
    TreeView(HWND hwnd, const CREATESTRUCTW& cs) : Control(hwnd, cs) {
        root_.state = TVIS_EXPANDED;
        root_.depth = -1;
    }
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    // --- state
    Node root_;  // the invisible parent of the top-level items
    std::unordered_map<Node*, std::unique_ptr<Node>> nodes_;
    Node* selected_ = nullptr;
    std::vector<Node*> visible_;  // the rows in display order (expanded paths only)
    bool visibleDirty_ = true;
    int top_ = 0;  // first row shown
    int itemHeight_ = kMinItemHeight;
    bool heightSet_ = false;  // TVM_SETITEMHEIGHT chose it; the font and images no longer do
    int indent_ = kIndent;
    HIMAGELIST images_ = nullptr;
    HIMAGELIST stateImages_ = nullptr;

    // --- handles
    Node* fromHandle(HTREEITEM item) const;
    Node* fromParam(LPARAM item) const { return fromHandle(reinterpret_cast<HTREEITEM>(item)); }
    static HTREEITEM handleOf(const Node* n) {
        return reinterpret_cast<HTREEITEM>(const_cast<Node*>(n));
    }
    bool expanded(const Node* n) const { return (n->state & TVIS_EXPANDED) != 0; }

    // --- notifications
    void fillItem(TVITEMW& item, const Node* n) const;
    LRESULT notifyTree(UINT code, UINT action, const Node* oldItem, const Node* newItem);
    // A request for what the parent answers for an item (TVN_GETDISPINFOW).
    NMTVDISPINFOW request(const Node* n, UINT mask) const;
    bool hasChildren(Node* n);
    std::u16string textOf(Node* n);

    // --- geometry
    const std::vector<Node*>& rows();
    int rowOf(const Node* n);
    int visibleRows() const;
    int maxTop();
    int levelX(const Node* n) const;  // left edge of the item's image/label area
    bool buttonsAt(const Node* n) const;
    RECT rowRect(int row) const;
    RECT labelRect(Node* n, int row);
    Node* hitTest(POINT pt, UINT* flags);
    void updateScrollBar();
    void setTop(int top);
    void scrollIntoView(Node* n);

    // --- tree changes
    Node* insert(const TVINSERTSTRUCTW& is);
    void removeSubtree(Node* n);
    bool expand(Node* n, UINT code, bool byUser);
    bool selectItem(Node* n, UINT action);

    // --- painting
    void paint();
    void paintRow(HDC dc, Node* n, int row);
    void dottedLine(HDC dc, int x0, int y0, int x1, int y1) const;

    // --- messages
    LRESULT onInsertItem(LPARAM is);
    LRESULT onDeleteItem(LPARAM item);
    LRESULT onGetItem(LPARAM item);
    LRESULT onSetItem(LPARAM item);
    LRESULT onGetNextItem(WPARAM code, LPARAM item);
    LRESULT onSelectItem(WPARAM code, LPARAM item);
    LRESULT onGetItemRect(WPARAM textOnly, LPARAM rect);
    LRESULT onEnsureVisible(LPARAM item);
    LRESULT onHitTest(LPARAM info);
    LRESULT onSetImageList(WPARAM kind, LPARAM list);
    LRESULT onSetIndent(WPARAM indent);
    LRESULT onSetItemHeight(WPARAM height);
    int naturalHeight() const;
    LRESULT onSortChildren(LPARAM item);
    LRESULT onButtonDown(LPARAM point, bool doubleTap);
    LRESULT onKeyDown(WPARAM key);
    LRESULT onScroll(WPARAM request);
};

// --- handles ----------------------------------------------------------------------------------

Node* TreeView::fromHandle(HTREEITEM item) const {
    auto* n = reinterpret_cast<Node*>(item);
    return nodes_.count(n) ? n : nullptr;
}

// --- notifications ----------------------------------------------------------------------------

void TreeView::fillItem(TVITEMW& item, const Node* n) const {
    item.mask = TVIF_HANDLE | TVIF_STATE | TVIF_PARAM;
    item.hItem = handleOf(n);
    item.state = n ? (n->state | (n == selected_ ? TVIS_SELECTED : 0)) : 0;
    item.stateMask = 0xFFFF;
    item.lParam = n ? n->param : 0;
}

LRESULT TreeView::notifyTree(UINT code, UINT action, const Node* oldItem, const Node* newItem) {
    NMTREEVIEWW nm{};
    nm.action = action;
    if (oldItem)
        fillItem(nm.itemOld, oldItem);
    if (newItem)
        fillItem(nm.itemNew, newItem);
    return notifier_.notify(nm.hdr, code);
}

// Whether the item has children, asking the parent when it answers for them
// (I_CHILDRENCALLBACK). The parent may store its answer with TVM_SETITEMW meanwhile.
NMTVDISPINFOW TreeView::request(const Node* n, UINT mask) const {
    NMTVDISPINFOW info{};
    info.item.mask = mask;
    info.item.hItem = handleOf(n);
    info.item.state = n->state | (n == selected_ ? TVIS_SELECTED : 0);
    info.item.lParam = n->param;
    return info;
}

bool TreeView::hasChildren(Node* n) {
    if (!n->kids.empty())
        return true;
    if (n->children != I_CHILDRENCALLBACK)
        return n->children > 0;
    NMTVDISPINFOW info = request(n, TVIF_CHILDREN);
    info.item.cChildren = I_CHILDRENCALLBACK;
    notifier_.notify(info.hdr, TVN_GETDISPINFOW);
    if (!fromHandle(handleOf(n)))
        return false;  // deleted by the parent meanwhile
    if (info.item.mask & TVIF_DI_SETITEM)
        n->children = info.item.cChildren;
    invalidate();
    return info.item.cChildren > 0 ||
           (info.item.cChildren == I_CHILDRENCALLBACK && !n->kids.empty());
}

std::u16string TreeView::textOf(Node* n) {
    if (!n->textCallback)
        return n->text;
    WCHAR buffer[MAX_PATH] = {};
    NMTVDISPINFOW info = request(n, TVIF_TEXT);
    info.item.pszText = buffer;
    info.item.cchTextMax = MAX_PATH;
    notifier_.notify(info.hdr, TVN_GETDISPINFOW);
    std::u16string text;
    if (info.item.pszText) {
        const WCHAR* p = info.item.pszText;
        for (int i = 0; i < MAX_PATH && p[i]; ++i) text.push_back(p[i]);
    }
    if (fromHandle(handleOf(n)) && (info.item.mask & TVIF_DI_SETITEM)) {
        n->text = text;
        n->textCallback = false;
    }
    return text;
}

// --- geometry ---------------------------------------------------------------------------------

const std::vector<Node*>& TreeView::rows() {
    if (!visibleDirty_)
        return visible_;
    visible_.clear();
    // Depth-first over expanded items, without recursion (deep trees).
    std::vector<std::pair<Node*, size_t>> stack{{&root_, 0}};
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        if (next >= node->kids.size() || !expanded(node)) {
            stack.pop_back();
            continue;
        }
        Node* kid = node->kids[next++];
        visible_.push_back(kid);
        if (expanded(kid) && !kid->kids.empty())
            stack.emplace_back(kid, 0);
    }
    visibleDirty_ = false;
    return visible_;
}

int TreeView::rowOf(const Node* n) {
    const auto& r = rows();
    auto it = std::find(r.begin(), r.end(), n);
    return it == r.end() ? -1 : static_cast<int>(it - r.begin());
}

int TreeView::visibleRows() const {
    const RECT rc = clientRect();
    return std::max<int>(1, (rc.bottom - rc.top) / std::max(1, itemHeight_));
}

int TreeView::maxTop() {
    return std::max(0, static_cast<int>(rows().size()) - visibleRows());
}

bool TreeView::buttonsAt(const Node* n) const {
    return n->depth > 0 || (style() & TVS_LINESATROOT);
}

int TreeView::levelX(const Node* n) const {
    const int levels = n->depth + ((style() & TVS_LINESATROOT) ? 1 : 0);
    return 2 + levels * indent_;
}

RECT TreeView::rowRect(int row) const {
    const RECT rc = clientRect();
    return {rc.left, (row - top_) * itemHeight_, rc.right, (row - top_ + 1) * itemHeight_};
}

RECT TreeView::labelRect(Node* n, int row) {
    const RECT r = rowRect(row);
    int x = levelX(n);
    if (images_) {
        int cx = 0, cy = 0;
        ImageList_GetIconSize(images_, &cx, &cy);
        x += cx + kImageGap;
    }
    MeasureScope m(hwnd(), font());
    const int width = textWidth(m.dc(), textOf(n)) + 2 * kLabelPadding;
    return {x, r.top, x + width, r.bottom};
}

Node* TreeView::hitTest(POINT pt, UINT* flags) {
    const RECT rc = clientRect();
    UINT f = 0;
    Node* found = nullptr;
    if (pt.y < rc.top)
        f = TVHT_ABOVE;
    else if (pt.y >= rc.bottom)
        f = TVHT_BELOW;
    else if (pt.x < rc.left)
        f = TVHT_TOLEFT;
    else if (pt.x >= rc.right)
        f = TVHT_TORIGHT;
    else {
        const int row = top_ + pt.y / std::max(1, itemHeight_);
        const auto& r = rows();
        if (row >= static_cast<int>(r.size())) {
            f = TVHT_NOWHERE;
        } else {
            found = r[static_cast<size_t>(row)];
            const int x = levelX(found);
            const RECT label = labelRect(found, row);
            if (pt.x < x) {
                f = (buttonsAt(found) && pt.x >= x - indent_) ? TVHT_ONITEMBUTTON
                                                              : TVHT_ONITEMINDENT;
            } else if (pt.x < label.left) {
                f = TVHT_ONITEMICON;
            } else if (pt.x < label.right) {
                f = TVHT_ONITEMLABEL;
            } else {
                f = TVHT_ONITEMRIGHT;
            }
        }
    }
    if (flags)
        *flags = f;
    return found;
}

void TreeView::updateScrollBar() {
    if (style() & TVS_NOSCROLL)
        return;
    const int count = static_cast<int>(rows().size());
    top_ = std::clamp(top_, 0, maxTop());
    setScrollBar(hwnd(), SB_VERT, 0, std::max(0, count - 1), visibleRows(), top_, false);
}

void TreeView::setTop(int top) {
    top = std::clamp(top, 0, maxTop());
    if (top == top_)
        return;
    top_ = top;
    updateScrollBar();
    invalidate();
}

void TreeView::scrollIntoView(Node* n) {
    const int row = rowOf(n);
    if (row < 0)
        return;
    if (row < top_)
        setTop(row);
    else if (row >= top_ + visibleRows())
        setTop(row - visibleRows() + 1);
}

// --- tree changes -----------------------------------------------------------------------------

Node* TreeView::insert(const TVINSERTSTRUCTW& is) {
    Node* parent = &root_;
    if (is.hParent && is.hParent != TVI_ROOT) {
        parent = fromHandle(is.hParent);
        if (!parent)
            return nullptr;
    }
    auto owned = std::make_unique<Node>();
    Node* n = owned.get();
    const TVITEMW& item = is.item;
    if (item.mask & TVIF_TEXT) {
        if (item.pszText == LPSTR_TEXTCALLBACKW)
            n->textCallback = true;
        else
            n->text = textFrom(item.pszText);
    }
    if (item.mask & TVIF_IMAGE)
        n->image = item.iImage;
    if (item.mask & TVIF_SELECTEDIMAGE)
        n->selectedImage = item.iSelectedImage;
    if (item.mask & TVIF_CHILDREN)
        n->children = item.cChildren;
    if (item.mask & TVIF_PARAM)
        n->param = item.lParam;
    if (item.mask & TVIF_STATE)
        n->state = item.state & item.stateMask & ~(TVIS_SELECTED | TVIS_EXPANDED);
    n->parent = parent;
    n->depth = parent->depth + 1;

    auto& kids = parent->kids;
    size_t at = kids.size();
    const HTREEITEM after = is.hInsertAfter;
    if (after == TVI_FIRST) {
        at = 0;
    } else if (after == TVI_SORT) {
        // After the last sibling that does not sort after it (lstrcmpW's order).
        at = static_cast<size_t>(std::upper_bound(kids.begin(), kids.end(), n,
                                                  [](const Node* a, const Node* b) {
                                                      return lstrcmpW(a->text.c_str(),
                                                                      b->text.c_str()) < 0;
                                                  }) -
                                 kids.begin());
    } else if (after != TVI_LAST && after) {
        Node* sibling = fromHandle(after);
        if (sibling && sibling->parent == parent)
            at = sibling->index + 1;
    }
    kids.insert(kids.begin() + static_cast<std::ptrdiff_t>(at), n);
    for (size_t i = at; i < kids.size(); ++i) kids[i]->index = i;
    nodes_.emplace(n, std::move(owned));
    if (expanded(parent)) {
        visibleDirty_ = true;
        updateScrollBar();
        invalidate();
    } else if (parent->kids.size() == 1) {
        invalidate();  // the parent's button may appear
    }
    return n;
}

// Deletes n and everything below it, telling the parent of each (TVN_DELETEITEMW).
void TreeView::removeSubtree(Node* n) {
    std::vector<Node*> order;  // children before their parents
    std::vector<Node*> stack{n};
    while (!stack.empty()) {
        Node* cur = stack.back();
        stack.pop_back();
        order.push_back(cur);
        for (Node* k : cur->kids) stack.push_back(k);
    }
    Node* parent = n->parent;
    auto& kids = parent->kids;
    kids.erase(kids.begin() + static_cast<std::ptrdiff_t>(n->index));
    for (size_t i = n->index; i < kids.size(); ++i) kids[i]->index = i;
    if (kids.empty() && parent != &root_)
        parent->state &= ~TVIS_EXPANDED;
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        Node* cur = *it;
        notifyTree(TVN_DELETEITEMW, 0, cur, nullptr);
        if (selected_ == cur)
            selected_ = nullptr;
        nodes_.erase(cur);
    }
    visibleDirty_ = true;
    updateScrollBar();
    invalidate();
}

// TVE_EXPAND / TVE_COLLAPSE / TVE_TOGGLE. A program's TVM_EXPAND tells the parent only the first
// time an item expands (TVIS_EXPANDEDONCE); the user's taps tell it every time. TRUE from
// TVN_ITEMEXPANDINGW keeps the item as it is.
bool TreeView::expand(Node* n, UINT code, bool byUser) {
    UINT action = code & TVE_TOGGLE;
    if (action == TVE_TOGGLE)
        action = expanded(n) ? TVE_COLLAPSE : TVE_EXPAND;
    if (action == TVE_EXPAND) {
        if (expanded(n))
            return true;
        if (!hasChildren(n))
            return false;
    } else if (action == TVE_COLLAPSE) {
        if (!expanded(n))
            return !n->kids.empty() || n->children != 0;
    } else {
        return false;
    }
    const bool notify = byUser || !(n->state & TVIS_EXPANDEDONCE) || action == TVE_COLLAPSE;
    if (notify && notifyTree(TVN_ITEMEXPANDINGW, action, nullptr, n))
        return false;
    if (!fromHandle(handleOf(n)))
        return false;
    if (action == TVE_EXPAND) {
        n->state |= TVIS_EXPANDED | TVIS_EXPANDEDONCE;
    } else {
        n->state &= ~TVIS_EXPANDED;
        // A selection hidden by the collapse moves up to the collapsed item.
        for (Node* p = selected_ ? selected_->parent : nullptr; p; p = p->parent) {
            if (p == n) {
                selectItem(n, TVC_UNKNOWN);
                break;
            }
        }
        if (code & TVE_COLLAPSERESET) {
            while (!n->kids.empty()) removeSubtree(n->kids.back());
            n->state &= ~TVIS_EXPANDEDONCE;
        }
    }
    visibleDirty_ = true;
    updateScrollBar();
    invalidate();
    if (notify)
        notifyTree(TVN_ITEMEXPANDEDW, action, nullptr, n);
    return true;
}

// Makes n the selected item (the caret): TVN_SELCHANGINGW may refuse, TVN_SELCHANGEDW follows.
bool TreeView::selectItem(Node* n, UINT action) {
    if (n == selected_)
        return true;
    Node* old = selected_;
    if (notifyTree(TVN_SELCHANGINGW, action, old, n))
        return false;
    if (n && !fromHandle(handleOf(n)))
        return false;
    selected_ = n;
    if (n) {
        // The selection is shown: its parents open.
        for (Node* p = n->parent; p && p != &root_; p = p->parent)
            if (!expanded(p))
                expand(p, TVE_EXPAND, false);
        scrollIntoView(n);
    }
    invalidate();
    notifyTree(TVN_SELCHANGEDW, action, fromHandle(handleOf(old)), n);
    return true;
}

// --- painting ---------------------------------------------------------------------------------

void TreeView::dottedLine(HDC dc, int x0, int y0, int x1, int y1) const {
    const COLORREF color = sysColor(COLOR_BTNSHADOW);
    if (x0 == x1) {
        for (int y = std::min(y0, y1); y <= std::max(y0, y1); y += 2) SetPixel(dc, x0, y, color);
    } else {
        for (int x = std::min(x0, x1); x <= std::max(x0, x1); x += 2) SetPixel(dc, x, y0, color);
    }
}

void TreeView::paintRow(HDC dc, Node* n, int row) {
    const RECT r = rowRect(row);
    const int mid = (r.top + r.bottom) / 2;
    const int x = levelX(n);
    const DWORD s = style();
    // Lines: one column per level, the item's own column joins it to its siblings.
    if (s & TVS_HASLINES) {
        const int rootOffset = (s & TVS_LINESATROOT) ? 0 : 1;
        for (const Node* a = n; a->parent; a = a->parent) {
            if (a->depth < rootOffset)
                break;
            const int column = levelX(a) - indent_ / 2;
            const bool hasNext = a->index + 1 < a->parent->kids.size();
            if (a == n) {
                const bool hasPrev = a->index > 0 || a->depth > 0;
                dottedLine(dc, column, hasPrev ? r.top : mid, column, hasNext ? r.bottom - 1 : mid);
                dottedLine(dc, column, mid, x - 2, mid);
            } else if (hasNext) {
                dottedLine(dc, column, r.top, column, r.bottom - 1);
            }
        }
    }
    if ((s & TVS_HASBUTTONS) && buttonsAt(n) && hasChildren(n)) {
        const int cx = x - indent_ / 2;
        RECT box{cx - kButtonSize / 2, mid - kButtonSize / 2, cx + kButtonSize / 2 + 1,
                 mid + kButtonSize / 2 + 1};
        fillRect(dc, box, COLOR_WINDOW);
        FrameRect(dc, &box, GetSysColorBrush(COLOR_BTNSHADOW));
        RECT minus{box.left + 2, mid, box.right - 2, mid + 1};
        fillRect(dc, minus, COLOR_WINDOWTEXT);
        if (!expanded(n)) {
            RECT plus{cx, box.top + 2, cx + 1, box.bottom - 2};
            fillRect(dc, plus, COLOR_WINDOWTEXT);
        }
    }
    const bool isSelected = n == selected_;
    if (images_) {
        int cx = 0, cy = 0;
        ImageList_GetIconSize(images_, &cx, &cy);
        const int image = isSelected ? n->selectedImage : n->image;
        if (image >= 0)
            ImageList_Draw(images_, image, dc, x, r.top + (itemHeight_ - cy) / 2, ILD_TRANSPARENT);
    }
    RECT label = labelRect(n, row);
    if (isSelected)
        fillRect(dc, label, COLOR_HIGHLIGHT);
    RECT textRect{label.left + kLabelPadding, label.top, label.right, label.bottom};
    drawTextLine(dc, textOf(n), textRect, DT_LEFT | DT_VCENTER,
                 sysColor(isSelected  ? COLOR_HIGHLIGHTTEXT
                          : enabled() ? COLOR_WINDOWTEXT
                                      : COLOR_GRAYTEXT));
}

void TreeView::paint() {
    // Children asked of the parent while painting may add items; settle the rows first.
    const int shown = visibleRows() + 1;
    for (int pass = 0; pass < 2; ++pass) {
        const auto snapshot = rows();
        const int last = std::min(static_cast<int>(snapshot.size()), top_ + shown);
        for (int row = top_; row < last; ++row) {
            Node* n = snapshot[static_cast<size_t>(row)];
            if (fromHandle(handleOf(n)) && (style() & TVS_HASBUTTONS))
                hasChildren(n);
        }
        if (!visibleDirty_)
            break;
    }
    PaintScope paint(hwnd(), font());
    HDC dc = paint.dc();
    if (!dc)
        return;
    fillRect(dc, clientRect(), COLOR_WINDOW);
    const auto snapshot = rows();
    const int last = std::min(static_cast<int>(snapshot.size()), top_ + shown);
    for (int row = top_; row < last; ++row) paintRow(dc, snapshot[static_cast<size_t>(row)], row);
}

// --- messages ---------------------------------------------------------------------------------

LRESULT TreeView::onInsertItem(LPARAM is) {
    const auto* in = reinterpret_cast<const TVINSERTSTRUCTW*>(is);
    if (!in)
        return 0;
    return reinterpret_cast<LRESULT>(handleOf(insert(*in)));
}

LRESULT TreeView::onDeleteItem(LPARAM item) {
    const HTREEITEM h = reinterpret_cast<HTREEITEM>(item);
    if (!h || h == TVI_ROOT) {
        while (!root_.kids.empty()) removeSubtree(root_.kids.back());
        top_ = 0;
        updateScrollBar();
        return TRUE;
    }
    Node* n = fromHandle(h);
    if (!n)
        return FALSE;
    removeSubtree(n);
    return TRUE;
}

LRESULT TreeView::onGetItem(LPARAM item) {
    auto* out = reinterpret_cast<TVITEMW*>(item);
    if (!out)
        return FALSE;
    Node* n = fromHandle(out->hItem);
    if (!n)
        return FALSE;
    if (out->mask & TVIF_TEXT) {
        if (!out->pszText || out->cchTextMax <= 0)
            return FALSE;
        copyText(textOf(n), out->pszText, static_cast<size_t>(out->cchTextMax));
    }
    if (out->mask & TVIF_IMAGE)
        out->iImage = n->image;
    if (out->mask & TVIF_SELECTEDIMAGE)
        out->iSelectedImage = n->selectedImage;
    if (out->mask & TVIF_CHILDREN)
        out->cChildren = n->children;
    if (out->mask & TVIF_PARAM)
        out->lParam = n->param;
    if (out->mask & TVIF_STATE) {
        const UINT state = n->state | (n == selected_ ? TVIS_SELECTED : 0);
        out->state = state & out->stateMask;
    }
    return TRUE;
}

LRESULT TreeView::onSetItem(LPARAM item) {
    const auto* in = reinterpret_cast<const TVITEMW*>(item);
    if (!in)
        return FALSE;
    Node* n = fromHandle(in->hItem);
    if (!n)
        return FALSE;
    const Node before = *n;
    if (in->mask & TVIF_TEXT) {
        n->textCallback = in->pszText == LPSTR_TEXTCALLBACKW;
        n->text = n->textCallback ? std::u16string() : textFrom(in->pszText);
    }
    if (in->mask & TVIF_IMAGE)
        n->image = in->iImage;
    if (in->mask & TVIF_SELECTEDIMAGE)
        n->selectedImage = in->iSelectedImage;
    if (in->mask & TVIF_CHILDREN)
        n->children = in->cChildren;
    if (in->mask & TVIF_PARAM)
        n->param = in->lParam;
    if (in->mask & TVIF_STATE) {
        const UINT mask = in->stateMask & ~TVIS_SELECTED;
        n->state = (n->state & ~mask) | (in->state & mask);
        if (expanded(&before) != expanded(n)) {
            visibleDirty_ = true;
            updateScrollBar();
        }
    }
    // What is drawn changed: repaint (the item's parameter is not drawn).
    if (n->text != before.text || n->textCallback != before.textCallback ||
        n->image != before.image || n->selectedImage != before.selectedImage ||
        n->children != before.children || n->state != before.state)
        invalidate();
    return TRUE;
}

LRESULT TreeView::onGetNextItem(WPARAM code, LPARAM item) {
    Node* n = fromParam(item);
    auto result = [](const Node* r) { return reinterpret_cast<LRESULT>(handleOf(r)); };
    switch (code) {
        case TVGN_ROOT:
            return root_.kids.empty() ? 0 : result(root_.kids.front());
        case TVGN_CARET:
            return result(selected_);
        case TVGN_DROPHILITE:
            return 0;
        case TVGN_FIRSTVISIBLE: {
            const auto& r = rows();
            return top_ < static_cast<int>(r.size()) ? result(r[static_cast<size_t>(top_)]) : 0;
        }
        case TVGN_LASTVISIBLE: {
            const auto& r = rows();
            return r.empty() ? 0 : result(r.back());
        }
        case TVGN_CHILD: {
            const Node* p = item ? n : &root_;
            if (!p || p->kids.empty())
                return 0;
            return result(p->kids.front());
        }
        default:
            break;
    }
    if (!n)
        return 0;
    switch (code) {
        case TVGN_NEXT:
            return n->index + 1 < n->parent->kids.size() ? result(n->parent->kids[n->index + 1])
                                                         : 0;
        case TVGN_PREVIOUS:
            return n->index > 0 ? result(n->parent->kids[n->index - 1]) : 0;
        case TVGN_PARENT:
            return n->parent == &root_ ? 0 : result(n->parent);
        case TVGN_NEXTVISIBLE:
        case TVGN_PREVIOUSVISIBLE: {
            const int row = rowOf(n);
            if (row < 0)
                return 0;
            const int next = row + (code == TVGN_NEXTVISIBLE ? 1 : -1);
            const auto& r = rows();
            return next >= 0 && next < static_cast<int>(r.size())
                       ? result(r[static_cast<size_t>(next)])
                       : 0;
        }
        default:
            return 0;
    }
}

LRESULT TreeView::onSelectItem(WPARAM code, LPARAM item) {
    Node* n = fromParam(item);
    if (item && !n)
        return FALSE;
    switch (code & 0xFF) {
        case TVGN_CARET:
            return selectItem(n, TVC_UNKNOWN) ? TRUE : FALSE;
        case TVGN_FIRSTVISIBLE: {
            if (!n)
                return FALSE;
            const int row = rowOf(n);
            if (row < 0)
                return FALSE;
            setTop(row);
            return TRUE;
        }
        default:  // TVGN_DROPHILITE (no drag and drop here) and codes Win32 does not know
            return TRUE;
    }
}

// TVM_GETITEMRECT: on entry *(HTREEITEM*)rect names the item. FALSE when it is not shown (a
// parent is collapsed); the rectangle may lie outside the client area when scrolled away.
LRESULT TreeView::onGetItemRect(WPARAM textOnly, LPARAM rect) {
    if (!rect)
        return FALSE;
    auto* out = reinterpret_cast<RECT*>(rect);
    Node* n = fromHandle(*reinterpret_cast<HTREEITEM*>(out));
    if (!n)
        return FALSE;
    const int row = rowOf(n);
    if (row < 0)
        return FALSE;
    *out = textOnly ? labelRect(n, row) : rowRect(row);
    return TRUE;
}

LRESULT TreeView::onEnsureVisible(LPARAM item) {
    Node* n = fromParam(item);
    if (!n)
        return FALSE;
    for (Node* p = n->parent; p && p != &root_; p = p->parent)
        if (!expanded(p))
            expand(p, TVE_EXPAND, false);
    const int before = top_;
    scrollIntoView(n);
    return before != top_ ? TRUE : FALSE;
}

LRESULT TreeView::onHitTest(LPARAM info) {
    auto* hit = reinterpret_cast<TVHITTESTINFO*>(info);
    if (!hit)
        return 0;
    UINT flags = 0;
    Node* n = hitTest(hit->pt, &flags);
    hit->flags = flags;
    hit->hItem = handleOf(n);
    return reinterpret_cast<LRESULT>(handleOf(n));
}

LRESULT TreeView::onSetImageList(WPARAM kind, LPARAM list) {
    if (kind != TVSIL_NORMAL && kind != TVSIL_STATE)
        return 0;  // no such list: nothing changes
    HIMAGELIST& slot = kind == TVSIL_STATE ? stateImages_ : images_;
    HIMAGELIST old = std::exchange(slot, reinterpret_cast<HIMAGELIST>(list));
    if (!heightSet_)
        itemHeight_ = naturalHeight();
    updateScrollBar();
    invalidate();
    return reinterpret_cast<LRESULT>(old);
}

// Below the smallest indent that still shows the buttons, that smallest one.
LRESULT TreeView::onSetIndent(WPARAM indent) {
    const int wanted = std::max(static_cast<int>(indent), kMinIndent);
    if (wanted != indent_) {
        indent_ = wanted;
        invalidate();
    }
    return 0;
}

// The height of the font's line (and of the images) with room around it.
int TreeView::naturalHeight() const {
    int height = std::max(fontLineHeight(hwnd(), font()) + 3, kMinItemHeight);
    if (images_) {
        int cx = 0, cy = 0;
        ImageList_GetIconSize(images_, &cx, &cy);
        height = std::max(height, cy + 1);
    }
    return height;
}

// -1 gives the natural height back; below 1 is 1; an odd height is rounded down to an even one
// unless the style allows odd ones. Answers the old height.
LRESULT TreeView::onSetItemHeight(WPARAM height) {
    const int old = itemHeight_;
    int wanted = static_cast<int>(height);
    heightSet_ = wanted != -1;
    if (!heightSet_)
        wanted = naturalHeight();
    wanted = std::max(wanted, 1);
    if (heightSet_ && wanted > 1 && !(style() & TVS_NONEVENHEIGHT))
        wanted &= ~1;
    if (wanted != itemHeight_) {
        itemHeight_ = wanted;
        top_ = std::min(top_, maxTop());
        updateScrollBar();
        invalidate();
    }
    return old;
}

LRESULT TreeView::onSortChildren(LPARAM item) {
    Node* p = item ? fromParam(item) : &root_;
    if (!p)
        return FALSE;
    std::stable_sort(p->kids.begin(), p->kids.end(), [](const Node* a, const Node* b) {
        return lstrcmpW(a->text.c_str(), b->text.c_str()) < 0;
    });
    for (size_t i = 0; i < p->kids.size(); ++i) p->kids[i]->index = i;
    visibleDirty_ = true;
    invalidate();
    return TRUE;
}

// A tap on a button expands or collapses; a tap on an item's image or label selects it; a
// double tap on an item toggles it.
LRESULT TreeView::onButtonDown(LPARAM point, bool doubleTap) {
    if (!focused())
        SetFocus(hwnd());
    UINT flags = 0;
    Node* n = hitTest({GET_X_LPARAM(point), GET_Y_LPARAM(point)}, &flags);
    if (!n)
        return 0;
    if (flags & TVHT_ONITEMBUTTON) {
        if ((style() & TVS_HASBUTTONS) && hasChildren(n))
            expand(n, TVE_TOGGLE, true);
        return 0;
    }
    if (flags & (TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMRIGHT)) {
        selectItem(n, TVC_BYMOUSE);
        if (doubleTap && fromHandle(handleOf(n)))
            expand(n, TVE_TOGGLE, true);
    }
    return 0;
}

LRESULT TreeView::onKeyDown(WPARAM key) {
    const auto& r = rows();
    if (r.empty())
        return 0;
    Node* n = selected_;
    const int row = n ? rowOf(n) : -1;
    Node* target = nullptr;
    switch (key) {
        case VK_UP:
            target = r[static_cast<size_t>(std::max(0, row - 1))];
            break;
        case VK_DOWN:
            target = r[static_cast<size_t>(std::min<int>(static_cast<int>(r.size()) - 1, row + 1))];
            break;
        case VK_HOME:
            target = r.front();
            break;
        case VK_END:
            target = r.back();
            break;
        case VK_PRIOR:
            target = r[static_cast<size_t>(std::max(0, row - visibleRows()))];
            break;
        case VK_NEXT:
            target = r[static_cast<size_t>(
                std::min<int>(static_cast<int>(r.size()) - 1, row + visibleRows()))];
            break;
        case VK_LEFT:
            if (!n)
                break;
            if (expanded(n))
                expand(n, TVE_COLLAPSE, true);
            else if (n->parent != &root_)
                target = n->parent;
            break;
        case VK_RIGHT:
            if (!n)
                break;
            if (!expanded(n))
                expand(n, TVE_EXPAND, true);
            else if (!n->kids.empty())
                target = n->kids.front();
            break;
        case VK_RETURN:
            if (n)
                expand(n, TVE_TOGGLE, true);
            break;
        default:
            break;
    }
    if (target)
        selectItem(target, TVC_BYKEYBOARD);
    return 0;
}

LRESULT TreeView::onScroll(WPARAM request) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_TRACKPOS;
    GetScrollInfo(hwnd(), SB_VERT, &si);
    const WORD code = LOWORD(request);
    const int thumb = code == SB_THUMBTRACK ? si.nTrackPos : static_cast<short>(HIWORD(request));
    setTop(scrollRequest(code, top_, 1, visibleRows(), 0, maxTop(), thumb));
    return 0;
}

LRESULT TreeView::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            itemHeight_ = naturalHeight();
            updateScrollBar();
            return 0;
        case WM_DESTROY:
            // Tell the parent about every item while it still exists.
            while (!root_.kids.empty()) removeSubtree(root_.kids.back());
            return 0;
        case TVM_INSERTITEMW:
            return onInsertItem(lParam);
        case TVM_DELETEITEM:
            return onDeleteItem(lParam);
        case TVM_EXPAND: {
            Node* n = fromParam(lParam);
            return n && expand(n, static_cast<UINT>(wParam), false) ? TRUE : FALSE;
        }
        case TVM_GETITEMW:
            return onGetItem(lParam);
        case TVM_SETITEMW:
            return onSetItem(lParam);
        case TVM_GETNEXTITEM:
            return onGetNextItem(wParam, lParam);
        case TVM_SELECTITEM:
            return onSelectItem(wParam, lParam);
        case TVM_GETCOUNT:
            return static_cast<LRESULT>(nodes_.size());
        case TVM_GETIMAGELIST:
            return reinterpret_cast<LRESULT>(wParam == TVSIL_STATE ? stateImages_ : images_);
        case TVM_SETIMAGELIST:
            return onSetImageList(wParam, lParam);
        case TVM_GETITEMRECT:
            return onGetItemRect(wParam, lParam);
        case TVM_ENSUREVISIBLE:
            return onEnsureVisible(lParam);
        case TVM_HITTEST:
            return onHitTest(lParam);
        case TVM_GETVISIBLECOUNT:
            return visibleRows();
        case TVM_GETINDENT:
            return indent_;
        case TVM_SETINDENT:
            return onSetIndent(wParam);
        case TVM_GETITEMHEIGHT:
            return itemHeight_;
        case TVM_SETITEMHEIGHT:
            return onSetItemHeight(wParam);
        case TVM_SORTCHILDREN:
            return onSortChildren(lParam);
        case TVM_GETITEMSTATE: {
            Node* n = fromParam(static_cast<LPARAM>(wParam));
            if (!n)
                return 0;
            return (n->state | (n == selected_ ? TVIS_SELECTED : 0)) & static_cast<UINT>(lParam);
        }
        case TVM_GETBKCOLOR:
        case TVM_GETTEXTCOLOR:
            return -1;
        case WM_LBUTTONDOWN:
            return onButtonDown(lParam, false);
        case WM_LBUTTONDBLCLK:
            return onButtonDown(lParam, true);
        case WM_KEYDOWN:
            return onKeyDown(wParam);
        case WM_VSCROLL:
            return onScroll(wParam);
        case WM_SIZE:
            updateScrollBar();
            invalidate();
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            invalidate();
            return 0;
        case WM_PAINT:
            paint();
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | DLGC_WANTCHARS;
        case WM_SETFONT:
            setFont(wParam, lParam);
            if (!heightSet_)
                itemHeight_ = naturalHeight();
            updateScrollBar();
            return 0;
        default:
            return unhandled(message, wParam, lParam, "SysTreeView32");
    }
}

}  // namespace

void registerTreeViewClass() {
    registerControlClass(WC_TREEVIEWW, controlProc<TreeView>, CS_DBLCLKS);
}

}  // namespace ce::controls
