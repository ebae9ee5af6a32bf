// Rectangle lists (regions and clip areas) and the rectangle helpers of USER.
#include "display/gdi.h"

#include <algorithm>

namespace ce::display {

namespace {

bool isEmpty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

RECT intersection(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (isEmpty(r))
        return RECT{0, 0, 0, 0};
    return r;
}

// Appends the parts of a that lie outside b (at most four bands).
void appendDifference(std::vector<RECT>& out, const RECT& a, const RECT& b) {
    RECT cut = intersection(a, b);
    if (isEmpty(cut)) {
        out.push_back(a);
        return;
    }
    if (a.top < cut.top)
        out.push_back(RECT{a.left, a.top, a.right, cut.top});
    if (cut.bottom < a.bottom)
        out.push_back(RECT{a.left, cut.bottom, a.right, a.bottom});
    if (a.left < cut.left)
        out.push_back(RECT{a.left, cut.top, cut.left, cut.bottom});
    if (cut.right < a.right)
        out.push_back(RECT{cut.right, cut.top, a.right, cut.bottom});
}

}  // namespace

RectList RectList::of(const RECT& r) {
    RectList list;
    if (!isEmpty(r))
        list.rects.push_back(r);
    return list;
}

RECT RectList::bounds() const {
    if (rects.empty())
        return RECT{0, 0, 0, 0};
    RECT b = rects.front();
    for (const RECT& r : rects) {
        b.left = std::min(b.left, r.left);
        b.top = std::min(b.top, r.top);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    return b;
}

bool RectList::contains(int x, int y) const {
    for (const RECT& r : rects)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            return true;
    return false;
}

void RectList::intersect(const RECT& clip) {
    std::vector<RECT> out;
    for (const RECT& r : rects) {
        RECT i = intersection(r, clip);
        if (!isEmpty(i))
            out.push_back(i);
    }
    rects = std::move(out);
}

void RectList::intersect(const RectList& other) {
    std::vector<RECT> out;
    for (const RECT& a : rects)
        for (const RECT& b : other.rects) {
            RECT i = intersection(a, b);
            if (!isEmpty(i))
                out.push_back(i);
        }
    rects = std::move(out);
}

void RectList::subtract(const RECT& cut) {
    if (isEmpty(cut))
        return;
    std::vector<RECT> out;
    for (const RECT& r : rects) appendDifference(out, r, cut);
    rects = std::move(out);
}

void RectList::add(const RECT& r) {
    if (isEmpty(r))
        return;
    // Keep the list disjoint: add only the parts of r not yet covered.
    std::vector<RECT> pieces{r};
    for (const RECT& have : rects) {
        std::vector<RECT> next;
        for (const RECT& p : pieces) appendDifference(next, p, have);
        pieces = std::move(next);
    }
    rects.insert(rects.end(), pieces.begin(), pieces.end());
}

void RectList::offset(int dx, int dy) {
    for (RECT& r : rects) {
        r.left += dx;
        r.right += dx;
        r.top += dy;
        r.bottom += dy;
    }
}

int RectList::complexity() const {
    if (rects.empty())
        return NULLREGION;
    return rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

}  // namespace ce::display

using namespace ce::display;

CE_BEGIN_DECLS

BOOL WINAPI SetRect(LPRECT rect, int left, int top, int right, int bottom) {
    if (!rect)
        return FALSE;
    *rect = RECT{left, top, right, bottom};
    return TRUE;
}

BOOL WINAPI SetRectEmpty(LPRECT rect) {
    return SetRect(rect, 0, 0, 0, 0);
}

BOOL WINAPI CopyRect(LPRECT dest, const RECT* src) {
    if (!dest || !src)
        return FALSE;
    *dest = *src;
    return TRUE;
}

BOOL WINAPI InflateRect(LPRECT rect, int dx, int dy) {
    if (!rect)
        return FALSE;
    rect->left -= dx;
    rect->right += dx;
    rect->top -= dy;
    rect->bottom += dy;
    return TRUE;
}

BOOL WINAPI OffsetRect(LPRECT rect, int dx, int dy) {
    if (!rect)
        return FALSE;
    rect->left += dx;
    rect->right += dx;
    rect->top += dy;
    rect->bottom += dy;
    return TRUE;
}

BOOL WINAPI IsRectEmpty(const RECT* rect) {
    return !rect || rect->right <= rect->left || rect->bottom <= rect->top;
}

BOOL WINAPI IntersectRect(LPRECT dest, const RECT* a, const RECT* b) {
    if (!dest)
        return FALSE;
    if (!a || !b || IsRectEmpty(a) || IsRectEmpty(b)) {
        SetRectEmpty(dest);
        return FALSE;
    }
    RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
           std::min(a->bottom, b->bottom)};
    if (IsRectEmpty(&r)) {
        SetRectEmpty(dest);
        return FALSE;
    }
    *dest = r;
    return TRUE;
}

BOOL WINAPI UnionRect(LPRECT dest, const RECT* a, const RECT* b) {
    if (!dest || !a || !b)
        return FALSE;
    bool ea = IsRectEmpty(a), eb = IsRectEmpty(b);
    if (ea && eb) {
        SetRectEmpty(dest);
        return FALSE;
    }
    if (ea) {
        *dest = *b;
    } else if (eb) {
        *dest = *a;
    } else {
        *dest = RECT{std::min(a->left, b->left), std::min(a->top, b->top),
                     std::max(a->right, b->right), std::max(a->bottom, b->bottom)};
    }
    return TRUE;
}

// Win32 subtracts only when the result is still a rectangle; otherwise dest is a.
BOOL WINAPI SubtractRect(LPRECT dest, const RECT* a, const RECT* b) {
    if (!dest || !a || !b)
        return FALSE;
    if (IsRectEmpty(a)) {
        SetRectEmpty(dest);
        return FALSE;
    }
    RECT r = *a;
    RECT cut;
    if (IntersectRect(&cut, a, b)) {
        if (cut.left == r.left && cut.right == r.right) {
            if (cut.top == r.top)
                r.top = cut.bottom;
            else if (cut.bottom == r.bottom)
                r.bottom = cut.top;
        } else if (cut.top == r.top && cut.bottom == r.bottom) {
            if (cut.left == r.left)
                r.left = cut.right;
            else if (cut.right == r.right)
                r.right = cut.left;
        }
    }
    if (IsRectEmpty(&r)) {
        SetRectEmpty(dest);
        return FALSE;
    }
    *dest = r;
    return TRUE;
}

BOOL WINAPI EqualRect(const RECT* a, const RECT* b) {
    if (!a || !b)
        return FALSE;
    return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

BOOL WINAPI PtInRect(const RECT* rect, POINT p) {
    if (!rect)
        return FALSE;
    return p.x >= rect->left && p.x < rect->right && p.y >= rect->top && p.y < rect->bottom;
}

CE_END_DECLS
