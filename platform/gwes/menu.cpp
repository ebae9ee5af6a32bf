// Menus: menu handles and items, LoadMenuW from the module's resources, and popup menus
// (TrackPopupMenu and the menu bar's popups) as a modal loop over the same queue.
#include "gwes/gwes.h"
#include "resources/resources.h"

#include <algorithm>

namespace ce::gwes {
namespace {

// A popup menu as the device draws it: a one-pixel frame, rows of kItemHeight, a column at the
// left for check marks, the text left-aligned after it, a margin at the right.
constexpr int kFrame = 1;
constexpr int kItemHeight = 20;
constexpr int kSeparatorHeight = 7;
constexpr int kCheckColumn = 14;
constexpr int kTextRight = 10;
constexpr int kArrowWidth = 10;
constexpr int kMinWidth = 48;
const char16_t kPopupClass[] = u"#32768";

HMENU newMenu(bool popup) {
    Gwes* g = state();
    if (!g)
        return nullptr;
    auto m = std::make_unique<MenuData>();
    m->popup = popup;
    uintptr_t h = g->nextMenu;
    g->nextMenu += 4;
    g->menus.emplace(h, std::move(m));
    return reinterpret_cast<HMENU>(h);
}

// Finds an item by command (searching submenus) or by position.
MenuItem* findItem(HMENU menu, UINT item, UINT flags, HMENU* owner = nullptr) {
    MenuData* m = menuOf(menu);
    if (!m)
        return nullptr;
    if (flags & MF_BYPOSITION) {
        if (item >= m->items.size())
            return nullptr;
        if (owner)
            *owner = menu;
        return &m->items[item];
    }
    for (auto& it : m->items) {
        if (!it.sub && it.id == item) {
            if (owner)
                *owner = menu;
            return &it;
        }
        if (it.sub)
            if (MenuItem* found = findItem(it.sub, item, flags, owner))
                return found;
    }
    return nullptr;
}

HMENU build(const std::vector<ce::resources::MenuNode>& nodes, bool popup) {
    HMENU m = newMenu(popup);
    for (const auto& n : nodes) {
        if (n.flags & MF_POPUP) {
            HMENU sub = build(n.items, true);
            AppendMenuW(m, (n.flags & ~MF_POPUP) | MF_POPUP, reinterpret_cast<UINT_PTR>(sub),
                        n.text.c_str());
        } else {
            AppendMenuW(m, n.flags, n.id, n.text.c_str());
        }
    }
    return m;
}

// ---- the popup menu window ----------------------------------------------------------------

struct Popup {
    HMENU menu = nullptr;
    int hot = -1;
    bool done = false;
    UINT chosen = 0;
    std::vector<RECT> rows;  // client coordinates, one per item
};

int itemAt(const Popup& p, POINT client) {
    for (size_t i = 0; i < p.rows.size(); ++i)
        if (PtInRect(&p.rows[i], client))
            return static_cast<int>(i);
    return -1;
}

bool selectable(const MenuItem& it) {
    return !(it.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED));
}

void paintItem(HDC dc, const MenuItem& it, RECT r, bool hot) {
    if (it.flags & MF_SEPARATOR) {
        const int mid = (r.top + r.bottom) / 2;
        RECT line{r.left + 2, mid, r.right - 2, mid + 1};
        FillRect(dc, &line, GetSysColorBrush(COLOR_BTNSHADOW));
        return;
    }
    if (hot)
        FillRect(dc, &r, GetSysColorBrush(COLOR_HIGHLIGHT));
    SetTextColor(dc, GetSysColor(!selectable(it) ? COLOR_GRAYTEXT
                                 : hot           ? COLOR_HIGHLIGHTTEXT
                                                 : COLOR_MENUTEXT));
    if (it.flags & MF_CHECKED) {
        RECT mark{r.left + 2, r.top + 4, r.left + kCheckColumn - 1, r.bottom - 4};
        DrawFrameControl(dc, &mark, DFC_MENU, DFCS_MENUCHECK);
    }
    RECT text{r.left + kCheckColumn, r.top, r.right - kTextRight, r.bottom};
    DrawTextW(dc, it.text.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (it.sub) {
        RECT arrow{r.right - kArrowWidth, r.top + 5, r.right - 2, r.bottom - 5};
        DrawFrameControl(dc, &arrow, DFC_MENU, DFCS_MENUARROW);
    }
}

void paintPopup(HWND hwnd, Popup& p) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    MenuData* m = menuOf(p.menu);
    if (dc && m) {
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(dc, &rc, GetSysColorBrush(COLOR_MENU));
        FrameRect(dc, &rc, GetSysColorBrush(COLOR_WINDOWFRAME));
        HGDIOBJ oldFont = SelectObject(dc, menuFont());
        SetBkMode(dc, TRANSPARENT);
        for (size_t i = 0; i < m->items.size() && i < p.rows.size(); ++i)
            paintItem(dc, m->items[i], p.rows[i],
                      static_cast<int>(i) == p.hot && selectable(m->items[i]));
        SelectObject(dc, oldFont);
    }
    EndPaint(hwnd, &ps);
}

void finish(Popup& p, UINT id) {
    p.done = true;
    p.chosen = id;
}

// The next selectable item up or down, round the end; from no item, the first or the last.
void moveHot(Popup& p, int step) {
    MenuData* m = menuOf(p.menu);
    if (!m || m->items.empty())
        return;
    int n = static_cast<int>(m->items.size());
    int i = p.hot >= 0 ? p.hot : (step > 0 ? -1 : n);
    for (int k = 0; k < n; ++k) {
        i = ((i + step) % n + n) % n;
        if (selectable(m->items[static_cast<size_t>(i)])) {
            p.hot = i;
            return;
        }
    }
}

LRESULT CALLBACK popupProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* p = windowState<Popup>(hwnd);
    if (!p)
        return DefWindowProcW(hwnd, msg, wp, lp);
    POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    RECT rc;
    GetClientRect(hwnd, &rc);
    MenuData* m = menuOf(p->menu);
    switch (msg) {
        case WM_PAINT:
            paintPopup(hwnd, *p);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_LBUTTONDOWN:
        case WM_MOUSEMOVE: {
            if (msg == WM_LBUTTONDOWN && !PtInRect(&rc, pt)) {
                finish(*p, 0);  // a tap outside closes the menu
                return 0;
            }
            int hot = itemAt(*p, pt);
            if (hot != p->hot) {
                p->hot = hot;
                InvalidateRect(hwnd, nullptr, FALSE);
            }
            return 0;
        }
        case WM_LBUTTONUP: {
            int i = itemAt(*p, pt);
            if (i >= 0 && m && selectable(m->items[static_cast<size_t>(i)]) &&
                !m->items[static_cast<size_t>(i)].sub)
                finish(*p, m->items[static_cast<size_t>(i)].id);
            return 0;
        }
        case WM_KEYDOWN:
            if (wp == VK_ESCAPE)
                finish(*p, 0);
            else if (wp == VK_UP)
                moveHot(*p, -1);
            else if (wp == VK_DOWN)
                moveHot(*p, 1);
            else if (wp == VK_RETURN && m && p->hot >= 0 &&
                     selectable(m->items[static_cast<size_t>(p->hot)]))
                finish(*p, m->items[static_cast<size_t>(p->hot)].id);
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lp) != hwnd)
                finish(*p, 0);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

// Item rows and the menu's size: as wide as its widest item needs, rows one under the other.
SIZE layout(Popup& p) {
    MenuData* m = menuOf(p.menu);
    int width = kMinWidth;
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = dc ? SelectObject(dc, menuFont()) : nullptr;
    int y = kFrame;
    p.rows.clear();
    for (const auto& it : m->items) {
        int h = (it.flags & MF_SEPARATOR) ? kSeparatorHeight : kItemHeight;
        if (dc && !(it.flags & MF_SEPARATOR)) {
            SIZE ext{};
            GetTextExtentPoint32W(dc, it.text.c_str(), static_cast<int>(it.text.size()), &ext);
            int need = kCheckColumn + ext.cx + kTextRight + (it.sub ? kArrowWidth : 0);
            width = std::max<int>(width, need + 2 * kFrame);
        }
        p.rows.push_back(RECT{kFrame, y, 0, y + h});
        y += h;
    }
    if (dc) {
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
    }
    width = std::min(width, screenWidth());
    for (auto& r : p.rows) r.right = width - kFrame;
    return SIZE{width, y + kFrame};
}

}  // namespace

MenuData* menuOf(HMENU menu) {
    Gwes* g = state();
    if (!g || !menu)
        return nullptr;
    auto it = g->menus.find(reinterpret_cast<uintptr_t>(menu));
    return it == g->menus.end() ? nullptr : it->second.get();
}

HFONT menuFont() {
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

HFONT boldFont() {
    Gwes* g = state();
    if (!g)
        return nullptr;
    if (!g->boldFont) {
        LOGFONTW lf{};
        lf.lfHeight = -11;
        lf.lfWeight = FW_BOLD;
        g->boldFont = CreateFontIndirectW(&lf);
    }
    return g->boldFont;
}

void registerMenuClasses() {
    WNDCLASSW wc{};
    wc.style = CS_SAVEBITS;
    wc.cbWndExtra = kStateBytes;
    wc.lpfnWndProc = popupProc;
    wc.lpszClassName = kPopupClass;
    RegisterClassW(&wc);
}

UINT trackPopup(HMENU menu, int x, int y, bool above, HWND owner) {
    Gwes* g = state();
    MenuData* m = menuOf(menu);
    if (!g || !m || m->items.empty())
        return 0;
    if (Window* o = win(owner))
        send(o, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
    Popup p;
    p.menu = menu;
    SIZE size = layout(p);
    if (above)
        y -= size.cy;
    x = std::clamp<int>(x, 0, std::max<int>(0, screenWidth() - size.cx));
    y = std::clamp<int>(y, 0, std::max<int>(0, screenHeight() - size.cy));
    HWND hwnd = CreateWindowExW(WS_EX_TOPMOST, kPopupClass, u"", WS_POPUP, x, y, size.cx, size.cy,
                                nullptr, nullptr, nullptr, nullptr);
    Window* w = win(hwnd);
    if (!w)
        return 0;
    w->noActivate = true;
    setWindowState(hwnd, &p);
    ShowWindow(hwnd, SW_SHOWNA);
    HWND previous = g->openPopup;
    g->openPopup = hwnd;
    SetCapture(hwnd);
    struct Close {
        HWND hwnd, previous;
        ~Close() {
            if (Gwes* s = state())
                s->openPopup = previous;
            setWindowState(hwnd, nullptr);
            if (GetCapture() == hwnd)
                ReleaseCapture();
            DestroyWindow(hwnd);
        }
    } close{hwnd, previous};
    modalLoop(hwnd, [&] { return p.done || !IsWindow(hwnd); });
    return p.chosen;
}

std::vector<OpenMenuItem> openMenuItems() {
    std::vector<OpenMenuItem> out;
    Gwes* g = state();
    Window* w = g ? win(g->openPopup) : nullptr;
    if (!w)
        return out;
    auto* p = windowState<Popup>(w->handle);
    MenuData* m = p ? menuOf(p->menu) : nullptr;
    if (!m)
        return out;
    POINT o = clientOrigin(w);
    for (size_t i = 0; i < m->items.size() && i < p->rows.size(); ++i) {
        const MenuItem& it = m->items[i];
        if (it.flags & MF_SEPARATOR)
            continue;
        RECT r = p->rows[i];
        OffsetRect(&r, o.x, o.y);
        out.push_back({it.text, r, selectable(it), it.id});
    }
    return out;
}

}  // namespace ce::gwes

using namespace ce::gwes;

extern "C" {

HMENU WINAPI CreateMenu(void) {
    return newMenu(false);
}
HMENU WINAPI CreatePopupMenu(void) {
    return newMenu(true);
}

BOOL WINAPI DestroyMenu(HMENU menu) {
    Gwes* g = state();
    MenuData* m = menuOf(menu);
    if (!g || !m) {
        setError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    std::vector<HMENU> subs;
    for (auto& it : m->items)
        if (it.sub)
            subs.push_back(it.sub);
    g->menus.erase(reinterpret_cast<uintptr_t>(menu));
    for (HMENU s : subs) DestroyMenu(s);
    return TRUE;
}

HMENU WINAPI LoadMenuW(HINSTANCE instance, LPCWSTR name) {
    const auto* nodes = ce::resources::findMenu(instance, name);
    if (!nodes) {
        setError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return build(*nodes, false);
}

BOOL WINAPI InsertMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR idNewItem, LPCWSTR item) {
    MenuData* m = menuOf(menu);
    if (!m) {
        setError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    MenuItem it;
    it.flags = flags & ~(MF_BYPOSITION | MF_APPEND | MF_INSERT | MF_CHANGE | MF_DELETE | MF_REMOVE);
    if (flags & MF_POPUP) {
        it.sub = reinterpret_cast<HMENU>(idNewItem);
        it.id = static_cast<UINT>(idNewItem);
    } else {
        it.id = static_cast<UINT>(idNewItem);
    }
    if (!(flags & (MF_SEPARATOR | MF_BITMAP | MF_OWNERDRAW)) && item)
        it.text = item;
    size_t at = m->items.size();
    if (position != static_cast<UINT>(-1)) {
        if (flags & MF_BYPOSITION) {
            at = std::min<size_t>(position, m->items.size());
        } else {
            for (size_t i = 0; i < m->items.size(); ++i)
                if (m->items[i].id == position) {
                    at = i;
                    break;
                }
        }
    }
    m->items.insert(m->items.begin() + static_cast<ptrdiff_t>(at), it);
    return TRUE;
}

BOOL WINAPI AppendMenuW(HMENU menu, UINT flags, UINT_PTR idNewItem, LPCWSTR item) {
    return InsertMenuW(menu, static_cast<UINT>(-1), flags | MF_BYPOSITION, idNewItem, item);
}

BOOL WINAPI InsertMenuItemW(HMENU menu, UINT item, BOOL byPosition, LPCMENUITEMINFOW info) {
    if (!info)
        return FALSE;
    UINT flags = (byPosition ? MF_BYPOSITION : 0);
    if (info->fMask & (MIIM_TYPE | MIIM_FTYPE))
        flags |= info->fType & (MFT_SEPARATOR | MFT_RADIOCHECK);
    if (info->fMask & MIIM_STATE)
        flags |= info->fState & (MFS_GRAYED | MFS_CHECKED);
    UINT_PTR id = (info->fMask & MIIM_ID) ? info->wID : 0;
    if ((info->fMask & MIIM_SUBMENU) && info->hSubMenu) {
        flags |= MF_POPUP;
        id = reinterpret_cast<UINT_PTR>(info->hSubMenu);
    }
    LPCWSTR text = (info->fMask & (MIIM_TYPE | MIIM_STRING)) && !(flags & MF_SEPARATOR)
                       ? info->dwTypeData
                       : nullptr;
    if (!InsertMenuW(menu, item, flags, id, text))
        return FALSE;
    if ((info->fMask & MIIM_SUBMENU) && info->hSubMenu && (info->fMask & MIIM_ID))
        if (MenuItem* it = findItem(menu, static_cast<UINT>(id), MF_BYCOMMAND))
            it->id = info->wID;
    return TRUE;
}

BOOL WINAPI RemoveMenu(HMENU menu, UINT position, UINT flags) {
    HMENU owner = nullptr;
    MenuItem* it = findItem(menu, position, flags, &owner);
    MenuData* m = menuOf(owner);
    if (!it || !m)
        return FALSE;
    m->items.erase(m->items.begin() + (it - m->items.data()));
    return TRUE;
}

BOOL WINAPI DeleteMenu(HMENU menu, UINT position, UINT flags) {
    HMENU owner = nullptr;
    MenuItem* it = findItem(menu, position, flags, &owner);
    if (!it)
        return FALSE;
    HMENU sub = it->sub;
    RemoveMenu(menu, position, flags);
    if (sub)
        DestroyMenu(sub);
    return TRUE;
}

HMENU WINAPI GetSubMenu(HMENU menu, int pos) {
    MenuData* m = menuOf(menu);
    if (!m || pos < 0 || static_cast<size_t>(pos) >= m->items.size())
        return nullptr;
    return m->items[static_cast<size_t>(pos)].sub;
}

int WINAPI GetMenuItemCount(HMENU menu) {
    MenuData* m = menuOf(menu);
    return m ? static_cast<int>(m->items.size()) : -1;
}

UINT WINAPI GetMenuItemID(HMENU menu, int pos) {
    MenuData* m = menuOf(menu);
    if (!m || pos < 0 || static_cast<size_t>(pos) >= m->items.size())
        return static_cast<UINT>(-1);
    const MenuItem& it = m->items[static_cast<size_t>(pos)];
    return it.sub ? static_cast<UINT>(-1) : it.id;
}

BOOL WINAPI GetMenuItemInfoW(HMENU menu, UINT item, BOOL byPosition, LPMENUITEMINFOW info) {
    MenuItem* it = findItem(menu, item, byPosition ? MF_BYPOSITION : MF_BYCOMMAND);
    if (!it || !info)
        return FALSE;
    if (info->fMask & (MIIM_TYPE | MIIM_FTYPE))
        info->fType = it->flags & (MFT_SEPARATOR | MFT_RADIOCHECK);
    if (info->fMask & MIIM_STATE)
        info->fState = it->flags & (MFS_GRAYED | MFS_CHECKED);
    if (info->fMask & MIIM_ID)
        info->wID = it->id;
    if (info->fMask & MIIM_SUBMENU)
        info->hSubMenu = it->sub;
    if (info->fMask & MIIM_DATA)
        info->dwItemData = it->data;
    if (info->fMask & (MIIM_TYPE | MIIM_STRING)) {
        if (info->dwTypeData && info->cch) {
            size_t n = std::min<size_t>(it->text.size(), info->cch - 1);
            std::copy_n(it->text.data(), n, info->dwTypeData);
            info->dwTypeData[n] = 0;
        }
        info->cch = static_cast<UINT>(it->text.size());
    }
    return TRUE;
}

BOOL WINAPI SetMenuItemInfoW(HMENU menu, UINT item, BOOL byPosition, LPCMENUITEMINFOW info) {
    MenuItem* it = findItem(menu, item, byPosition ? MF_BYPOSITION : MF_BYCOMMAND);
    if (!it || !info)
        return FALSE;
    if (info->fMask & MIIM_STATE)
        it->flags =
            (it->flags & ~(MFS_GRAYED | MFS_CHECKED)) | (info->fState & (MFS_GRAYED | MFS_CHECKED));
    if (info->fMask & MIIM_ID)
        it->id = info->wID;
    if (info->fMask & MIIM_SUBMENU)
        it->sub = info->hSubMenu;
    if (info->fMask & MIIM_DATA)
        it->data = info->dwItemData;
    if ((info->fMask & (MIIM_TYPE | MIIM_STRING)) && info->dwTypeData)
        it->text = info->dwTypeData;
    return TRUE;
}

int WINAPI GetMenuStringW(HMENU menu, UINT item, LPWSTR buffer, int maxCount, UINT flags) {
    MenuItem* it = findItem(menu, item, flags);
    if (!it)
        return 0;
    if (!buffer || maxCount <= 0)
        return static_cast<int>(it->text.size());
    int n = std::min<int>(static_cast<int>(it->text.size()), maxCount - 1);
    std::copy_n(it->text.data(), n, buffer);
    buffer[n] = 0;
    return n;
}

DWORD WINAPI CheckMenuItem(HMENU menu, UINT item, UINT check) {
    MenuItem* it = findItem(menu, item, check & MF_BYPOSITION);
    if (!it)
        return static_cast<DWORD>(-1);
    DWORD old = it->flags & MF_CHECKED;
    it->flags = (it->flags & ~MF_CHECKED) | (check & MF_CHECKED);
    return old;
}

BOOL WINAPI CheckMenuRadioItem(HMENU menu, UINT first, UINT last, UINT check, UINT flags) {
    for (UINT i = first; i <= last; ++i)
        CheckMenuItem(menu, i, (flags & MF_BYPOSITION) | (i == check ? MF_CHECKED : 0));
    return TRUE;
}

BOOL WINAPI EnableMenuItem(HMENU menu, UINT item, UINT enable) {
    MenuItem* it = findItem(menu, item, enable & MF_BYPOSITION);
    if (!it)
        return -1;
    BOOL old = static_cast<BOOL>(it->flags & (MF_GRAYED | MF_DISABLED));
    it->flags = (it->flags & ~(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
    return old;
}

BOOL WINAPI TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, LPTPMPARAMS) {
    if (!menuOf(menu) || !IsWindow(owner))
        return FALSE;
    MenuData* m = menuOf(menu);
    Popup probe;
    probe.menu = menu;
    (void)m;
    bool above = (flags & TPM_BOTTOMALIGN) != 0;
    if (flags & (TPM_RIGHTALIGN | TPM_CENTERALIGN)) {
        SIZE size = layout(probe);
        x -= (flags & TPM_RIGHTALIGN) ? size.cx : size.cx / 2;
    }
    UINT id = trackPopup(menu, x, y, above, owner);
    if (flags & TPM_RETURNCMD)
        return static_cast<BOOL>(id);
    if (id && !(flags & TPM_NONOTIFY))
        PostMessageW(owner, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    return TRUE;
}

BOOL WINAPI TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
    return TrackPopupMenuEx(menu, flags, x, y, owner, nullptr);
}

BOOL WINAPI DrawMenuBar(HWND hwnd) {
    return IsWindow(hwnd);
}

}  // extern "C"
