// Windows and classes: the handle table, creation and destruction in Win32's message order,
// geometry, text, window longs, the parent/owner relations, visibility, activation and focus.
#include "gwes/gwes.h"
#include "gwes/weak.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace ce::gwes {

// ----------------------------------------------------------------------------------------------
// State and handles

Gwes::Gwes() = default;
Gwes::~Gwes() = default;

Window* Gwes::find(HWND hwnd) const {
    auto it = windows.find(reinterpret_cast<uintptr_t>(hwnd));
    if (it == windows.end() || it->second->destroyed)
        return nullptr;
    return it->second.get();
}

std::shared_ptr<Window> Gwes::hold(HWND hwnd) const {
    auto it = windows.find(reinterpret_cast<uintptr_t>(hwnd));
    return it == windows.end() ? nullptr : it->second;
}

HWND Gwes::newHandle(std::shared_ptr<Window> w) {
    uintptr_t value = nextHandle;
    nextHandle += 4;
    HWND h = reinterpret_cast<HWND>(value);
    w->handle = h;
    windows.emplace(value, std::move(w));
    return h;
}

void Gwes::releaseHandle(HWND hwnd) {
    windows.erase(reinterpret_cast<uintptr_t>(hwnd));
}

namespace {
LRESULT CALLBACK desktopProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_ERASEBKGND) {
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(reinterpret_cast<HDC>(wp), &rc, GetSysColorBrush(COLOR_BACKGROUND));
        return 1;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void makeDesktop(Gwes& g) {
    auto cls = std::make_shared<WindowClass>();
    cls->name = u"DesktopExplorerWindow";
    cls->wc.lpfnWndProc = desktopProc;
    cls->system = true;
    g.classes[lower(cls->name)] = cls;
    auto w = std::make_shared<Window>();
    w->desktop = true;
    w->cls = cls;
    w->proc = desktopProc;
    w->style = WS_VISIBLE | WS_CLIPCHILDREN;
    w->rect = {0, 0, screenWidth(), screenHeight()};
    w->client = w->rect;
    w->dirty = w->erase = true;
    w->update = w->rect;
    Window* raw = w.get();
    g.newHandle(std::move(w));
    g.desktop = raw;
}
}  // namespace

namespace {
std::vector<void (*)()>& classProviders() {
    static std::vector<void (*)()> providers;
    return providers;
}
}  // namespace

void addClassProvider(void (*provide)()) {
    classProviders().push_back(provide);
}

Gwes* state() {
    Device* dev = Device::current();
    if (!dev)
        return nullptr;
    Gwes& g = dev->service<Gwes>();
    if (!g.systemClassesDone) {
        g.systemClassesDone = true;
        makeDesktop(g);
        registerDialogClass();
        registerMenuClasses();
        registerMessageBoxClass();
        for (auto provide : classProviders()) provide();
        createShell();
    }
    return &g;
}

Window* win(HWND hwnd) {
    if (!hwnd)
        return nullptr;
    Gwes* g = state();
    return g ? g->find(hwnd) : nullptr;
}

void setError(DWORD code) {
    if (&::SetLastError)
        ::SetLastError(code);
}

uint64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void deviceLog(const std::string& line) {
    if (Device* d = Device::current())
        d->log(line);
}

std::u16string lower(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return out;
}

int screenWidth() {
    Device* d = Device::current();
    return d ? d->screenWidth() : 240;
}
int screenHeight() {
    Device* d = Device::current();
    return d ? d->screenHeight() : 320;
}
RECT workArea() {
    return {0, kNavBarHeight, screenWidth(), screenHeight()};
}

HBRUSH resolveBrush(HBRUSH b) {
    auto v = reinterpret_cast<uintptr_t>(b);
    if (v & SYS_COLOR_INDEX_FLAG && (v & ~uintptr_t(SYS_COLOR_INDEX_FLAG)) < 64)
        return GetSysColorBrush(static_cast<int>(v & 0xFF));
    if (v > 0 && v <= 32)
        return GetSysColorBrush(static_cast<int>(v - 1));  // desktop form COLOR_x + 1
    return b;
}

// ----------------------------------------------------------------------------------------------
// Geometry

POINT clientOrigin(const Window* w) {
    POINT p{w->rect.left + w->client.left, w->rect.top + w->client.top};
    for (const Window* a = w->parent; a && !a->desktop; a = a->parent) {
        p.x += a->rect.left + a->client.left;
        p.y += a->rect.top + a->client.top;
    }
    return p;
}

RECT screenRect(const Window* w) {
    if (w->desktop)
        return w->rect;
    POINT o = w->parent && !w->parent->desktop ? clientOrigin(w->parent) : POINT{0, 0};
    RECT r = w->rect;
    OffsetRect(&r, o.x, o.y);
    return r;
}

RECT screenClient(const Window* w) {
    POINT o = clientOrigin(w);
    return {o.x, o.y, o.x + (w->client.right - w->client.left),
            o.y + (w->client.bottom - w->client.top)};
}

RECT visibleScreenWindow(const Window* w) {
    RECT r = screenRect(w);
    RECT screen{0, 0, screenWidth(), screenHeight()};
    IntersectRect(&r, &r, &screen);
    for (const Window* a = w->parent; a && !a->desktop; a = a->parent) {
        RECT c = screenClient(a);
        if (!IntersectRect(&r, &r, &c))
            return RECT{0, 0, 0, 0};
    }
    return r;
}

RECT visibleScreenClient(const Window* w) {
    RECT r = visibleScreenWindow(w);
    RECT c = screenClient(w);
    if (!IntersectRect(&r, &r, &c))
        return RECT{0, 0, 0, 0};
    return r;
}

bool reallyVisible(const Window* w) {
    for (; w; w = w->parent)
        if (!(w->style & WS_VISIBLE) || w->destroyed)
            return false;
    return true;
}

bool isDescendant(const Window* ancestor, const Window* w) {
    for (const Window* a = w ? w->parent : nullptr; a; a = a->parent)
        if (a == ancestor)
            return true;
    return false;
}

Window* topLevelOf(Window* w) {
    while (w && w->parent && !w->parent->desktop) w = w->parent;
    return w;
}

static void updateScrollBarPresence(Window* w) {
    w->vbar.shown = (w->style & WS_VSCROLL) != 0;
    w->hbar.shown = (w->style & WS_HSCROLL) != 0;
}

// The frame a window gets from its style: a border, a client edge, and the scroll bars.
static RECT frameInsets(const Window* w) {
    RECT in{0, 0, 0, 0};
    int b = 0;
    if (w->exStyle & WS_EX_CLIENTEDGE)
        b += 2;
    if (w->exStyle & WS_EX_STATICEDGE)
        b += 1;
    if (w->exStyle & WS_EX_DLGMODALFRAME)
        b += 2;
    if ((w->style & WS_BORDER) || (w->style & WS_DLGFRAME))
        b += 1;
    // Top-level windows on Pocket PC show their caption in the navigation bar, not in a frame.
    if (!w->isChild() && !w->desktop && (w->style & WS_CAPTION) == WS_CAPTION)
        b = 0;
    in = {b, b, b, b};
    if (w->vbar.shown)
        in.right += GetSystemMetrics(SM_CXVSCROLL);
    if (w->hbar.shown)
        in.bottom += GetSystemMetrics(SM_CYHSCROLL);
    return in;
}

void recalcClient(Window* w) {
    RECT in = frameInsets(w);
    int width = w->rect.right - w->rect.left;
    int height = w->rect.bottom - w->rect.top;
    NCCALCSIZE_PARAMS params{};
    params.rgrc[0] = w->rect;
    w->client = {std::min(in.left, width), std::min(in.top, height),
                 std::max(in.left, width - in.right), std::max(in.top, height - in.bottom)};
    // Let the window adjust (a control that draws its own frame, say).
    if (w->proc && w->created) {
        params.rgrc[0] = {w->rect.left + w->client.left, w->rect.top + w->client.top,
                          w->rect.left + w->client.right, w->rect.top + w->client.bottom};
        RECT before = params.rgrc[0];
        send(w, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&params));
        if (!EqualRect(&before, &params.rgrc[0])) {
            RECT& r = params.rgrc[0];
            w->client = {r.left - w->rect.left, r.top - w->rect.top, r.right - w->rect.left,
                         r.bottom - w->rect.top};
        }
    }
}

// ----------------------------------------------------------------------------------------------
// Z-order, activation and focus

static void unlinkChild(Window* parent, Window* w) {
    auto& c = parent->children;
    c.erase(std::remove(c.begin(), c.end(), w), c.end());
}

// Links a window into its parent's z-order: top-level windows and floating children on top
// (below topmost ones), plain children at the bottom (creation order is tab order).
static void linkChild(Window* parent, Window* w, bool top) {
    auto& c = parent->children;
    if (top) {
        auto it = c.begin();
        if (!w->topmost)
            while (it != c.end() && (*it)->topmost) ++it;
        c.insert(it, w);
    } else {
        c.push_back(w);
    }
}

void bringToTop(Window* w) {
    if (!w || !w->parent)
        return;
    unlinkChild(w->parent, w);
    linkChild(w->parent, w, true);
    if (!w->isChild()) {
        // owned windows stay above their owner
        std::vector<Window*> owned;
        for (Window* o : w->parent->children)
            if (o != w && o->owner == w->handle)
                owned.push_back(o);
        for (auto it = owned.rbegin(); it != owned.rend(); ++it) bringToTop(*it);
    }
    invalidateTree(w);
}

bool activatable(const Window* w) {
    return w && !w->isChild() && !w->desktop && !w->noActivate && !w->topmost && reallyVisible(w) &&
           !(w->style & WS_DISABLED) && !w->destroyed && !w->destroying;
}

void activate(Window* w) {
    Gwes* g = state();
    if (!g)
        return;
    HWND newActive = w ? w->handle : nullptr;
    if (g->active == newActive) {
        if (w)
            updateNavBar();
        return;
    }
    HWND old = g->active;
    g->active = newActive;
    if (w)
        bringToTop(w);
    if (Window* o = win(old))
        send(o, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), reinterpret_cast<LPARAM>(newActive));
    if (w && !w->destroyed)
        send(w, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), reinterpret_cast<LPARAM>(old));
    updateNavBar();
}

void activateNext(Window* leaving) {
    Gwes* g = state();
    if (!g || !g->desktop)
        return;
    for (Window* c : g->desktop->children)
        if (c != leaving && activatable(c)) {
            activate(c);
            return;
        }
    activate(nullptr);
}

static void setFocusInternal(Gwes& g, HWND hwnd) {
    HWND old = g.focus;
    if (old == hwnd)
        return;
    g.focus = hwnd;
    if (Window* o = win(old))
        send(o, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (g.focus != hwnd)
        return;  // WM_KILLFOCUS moved the focus elsewhere
    if (Window* n = win(hwnd))
        send(n, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
}

// ----------------------------------------------------------------------------------------------
// Classes

std::shared_ptr<WindowClass> findClass(LPCWSTR name) {
    Gwes* g = state();
    if (!g || !name)
        return nullptr;
    if (IS_INTRESOURCE(name)) {
        auto atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(name));
        for (auto& [key, cls] : g->classes)
            if (cls->atom == atom)
                return cls;
        return nullptr;
    }
    auto it = g->classes.find(lower(name));
    return it == g->classes.end() ? nullptr : it->second;
}

ATOM registerSystemClass(const WNDCLASSW& wc) {
    const ATOM atom = RegisterClassW(&wc);
    if (atom)
        findClass(wc.lpszClassName)->system = true;
    return atom;
}

static int windowsOfClass(const Gwes& g, const WindowClass* cls) {
    int n = 0;
    for (auto& [h, w] : g.windows)
        if (!w->destroyed && w->cls.get() == cls)
            ++n;
    return n;
}

// ----------------------------------------------------------------------------------------------
// Destruction: owned windows first; WM_DESTROY to the window and then to its children;
// WM_NCDESTROY to the children (deepest first) and then to the window.

namespace {

void sendDestroy(Window* w) {
    send(w, WM_DESTROY, 0, 0);
    std::vector<HWND> kids;
    for (Window* c : w->children) kids.push_back(c->handle);
    for (HWND h : kids)
        if (Window* c = win(h))
            sendDestroy(c);
}

void freeWindow(Gwes& g, Window* w) {
    std::vector<HWND> kids;
    for (Window* c : w->children) kids.push_back(c->handle);
    for (HWND h : kids) {
        auto keep = g.hold(h);
        if (keep && !keep->destroyed)
            freeWindow(g, keep.get());
    }
    auto keep = g.hold(w->handle);
    send(w, WM_NCDESTROY, 0, 0);
    w->destroyed = true;
    for (auto& t : g.timers)
        if (t.hwnd == w->handle)
            t.hwnd = reinterpret_cast<HWND>(-1);
    std::erase_if(g.timers, [](const Timer& t) { return t.hwnd == reinterpret_cast<HWND>(-1); });
    if (g.focus == w->handle)
        g.focus = nullptr;
    if (g.capture == w->handle)
        g.capture = nullptr;
    if (g.active == w->handle)
        g.active = nullptr;
    if (g.track.hwnd == w->handle)
        g.track = {};
    if (g.caret.hwnd == w->handle)
        g.caret = {};
    if (w->parent)
        unlinkChild(w->parent, w);
    for (Window* c : w->children) c->parent = nullptr;
    w->children.clear();
    g.releaseHandle(w->handle);
}

}  // namespace

// ----------------------------------------------------------------------------------------------
// Creation: allocate the record, link it into the window tree, then send the creation messages.

namespace {

// A window with a parent is the parent's child unless it is a plain pop-up: the device keeps
// such windows (no WS_CHILD, no WS_POPUP) in the parent's client area with their ID.
bool childLike(const Window* parent, DWORD style) {
    return parent && (!(style & WS_POPUP) || (style & WS_CHILD));
}

// The window rectangle asked for, with CW_USEDEFAULT resolved: a child gets (0, 0) and no size,
// a top-level window the work area below the navigation bar.
RECT requestedRect(const CREATESTRUCTW& cs, bool child) {
    int x = cs.x, y = cs.y, width = cs.cx, height = cs.cy;
    const RECT work = child ? RECT{0, 0, 0, 0} : workArea();
    if (x == CW_USEDEFAULT) {
        x = work.left;
        y = work.top;
    }
    if (width == CW_USEDEFAULT) {
        width = work.right - work.left;
        height = work.bottom - work.top;
    }
    return {x, y, x + std::max(0, width), y + std::max(0, height)};
}

// The parent a creation names: null for none or the desktop; false when the handle is no window.
bool resolveParent(HWND handle, Window*& parent) {
    parent = nullptr;
    if (!handle || handle == HWND_DESKTOP)
        return true;
    parent = win(handle);
    return parent != nullptr;
}

// The record of a new window, not yet linked: class, styles, relations and rectangle. Null, with
// the error set, for an unknown class, a parent that is no window, or a child without a parent.
std::shared_ptr<Window> allocateWindow(Gwes& g, CREATESTRUCTW& cs) {
    auto cls = findClass(cs.lpszClass);
    if (!cls) {
        setError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    Window* parent = nullptr;
    if (!resolveParent(cs.hwndParent, parent)) {
        setError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    const auto style = static_cast<DWORD>(cs.style);
    if ((style & WS_CHILD) && !parent) {
        setError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }
    // The window procedures see the class name as it was registered.
    if (!IS_INTRESOURCE(cs.lpszClass))
        cs.lpszClass = cls->name.c_str();
    const bool child = childLike(parent, style);
    auto w = std::make_shared<Window>();
    w->cls = cls;
    w->proc = cls->wc.lpfnWndProc;
    w->style = style & ~WS_VISIBLE;
    w->exStyle = cs.dwExStyle;
    w->instance = cs.hInstance;
    w->floating = parent && (style & WS_POPUP) && (style & WS_CHILD);
    w->extra.assign(static_cast<size_t>(std::max(0, cls->wc.cbWndExtra)), 0);
    if (child) {
        w->parent = parent;
        w->id = reinterpret_cast<UINT_PTR>(cs.hMenu);
    } else {
        w->parent = g.desktop;
        w->menu = cs.hMenu;
        if (parent)
            w->owner = topLevelOf(parent)->handle;
        w->topmost = (cs.dwExStyle & WS_EX_TOPMOST) != 0;
    }
    w->rect = requestedRect(cs, child);
    updateScrollBarPresence(w.get());
    return w;
}

// Gives the window its handle and its place in the parent's z-order, and its client rectangle.
Window* linkWindow(Gwes& g, std::shared_ptr<Window> w) {
    Window* raw = w.get();
    g.newHandle(std::move(w));
    linkChild(raw->parent, raw, !raw->isChild() || raw->floating);
    recalcClient(raw);
    return raw;
}

// The creation messages in Win32's order. Each answers whether the window accepted it; any of
// them may also destroy the window.
using CreationStep = bool (*)(Window*, CREATESTRUCTW&);

bool sendNcCreate(Window* w, CREATESTRUCTW& cs) {
    return send(w, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) != FALSE;
}

// From here on the window answers WM_NCCALCSIZE itself.
bool computeClient(Window* w, CREATESTRUCTW&) {
    w->created = true;
    recalcClient(w);
    return true;
}

bool sendCreate(Window* w, CREATESTRUCTW& cs) {
    return send(w, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) != -1;
}

bool sendSize(Window* w, CREATESTRUCTW&) {
    send(w, WM_SIZE, SIZE_RESTORED,
         MAKELPARAM(w->client.right - w->client.left, w->client.bottom - w->client.top));
    return true;
}

bool sendMove(Window* w, CREATESTRUCTW&) {
    send(w, WM_MOVE, 0, MAKELPARAM(w->rect.left + w->client.left, w->rect.top + w->client.top));
    return true;
}

bool notifyParent(Window* w, CREATESTRUCTW& cs) {
    if ((cs.style & WS_CHILD) && !(cs.dwExStyle & WS_EX_NOPARENTNOTIFY) && w->isChild())
        send(w->parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, w->id),
             reinterpret_cast<LPARAM>(w->handle));
    return true;
}

bool showIfVisible(Window* w, CREATESTRUCTW& cs) {
    if (cs.style & WS_VISIBLE)
        ShowWindow(w->handle, SW_SHOW);
    return true;
}

constexpr CreationStep kCreationSteps[] = {sendNcCreate, computeClient, sendCreate,   sendSize,
                                           sendMove,     notifyParent,  showIfVisible};

// Runs the creation messages; the window's handle, or null when it refused or went away. As on
// Win32, a window that refuses WM_NCCREATE or WM_CREATE gets only WM_NCDESTROY, and one destroyed
// during its creation fails it with ERROR_INVALID_WINDOW_HANDLE.
HWND createWindow(Gwes& g, Window* w, CREATESTRUCTW& cs) {
    auto keep = g.hold(w->handle);
    for (CreationStep step : kCreationSteps) {
        const bool accepted = step(w, cs);
        if (w->destroyed) {
            setError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if (!accepted) {
            freeWindow(g, w);
            return nullptr;
        }
    }
    return w->handle;
}

}  // namespace

}  // namespace ce::gwes

using namespace ce::gwes;

extern "C" {

ATOM WINAPI RegisterClassW(const WNDCLASSW* wc) {
    Gwes* g = state();
    if (!g || !wc || !wc->lpszClassName || IS_INTRESOURCE(wc->lpszClassName) || !wc->lpfnWndProc) {
        setError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string key = lower(wc->lpszClassName);
    if (g->classes.count(key)) {
        setError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto cls = std::make_shared<WindowClass>();
    cls->name = wc->lpszClassName;
    cls->wc = *wc;
    cls->wc.lpszClassName = nullptr;  // the caller's text may not outlive the call
    cls->wc.lpszMenuName = nullptr;
    cls->system = !g->shellReady;
    cls->atom = g->nextAtom++;
    g->classes[key] = cls;
    return cls->atom;
}

BOOL WINAPI UnregisterClassW(LPCWSTR className, HINSTANCE) {
    Gwes* g = state();
    auto cls = findClass(className);
    if (!g || !cls) {
        setError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (windowsOfClass(*g, cls.get())) {
        setError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    g->classes.erase(lower(cls->name));
    return TRUE;
}

BOOL WINAPI GetClassInfoW(HINSTANCE, LPCWSTR className, LPWNDCLASSW out) {
    auto cls = findClass(className);
    if (!cls || !out) {
        setError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    *out = cls->wc;
    out->lpszClassName = className;
    return TRUE;
}

int WINAPI GetClassNameW(HWND hwnd, LPWSTR buffer, int maxCount) {
    Window* w = win(hwnd);
    if (!w || !buffer || maxCount <= 0) {
        setError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    const std::u16string& name = w->cls->name;
    int n = std::min<int>(static_cast<int>(name.size()), maxCount - 1);
    std::copy_n(name.data(), n, buffer);
    buffer[n] = 0;
    return n;
}

DWORD WINAPI GetClassLongW(HWND hwnd, int index) {
    Window* w = win(hwnd);
    if (!w)
        return 0;
    const WNDCLASSW& wc = w->cls->wc;
    switch (index) {
        case GCL_STYLE:
            return wc.style;
        case GCL_CBWNDEXTRA:
            return static_cast<DWORD>(wc.cbWndExtra);
        case GCL_CBCLSEXTRA:
            return static_cast<DWORD>(wc.cbClsExtra);
        case GCL_HBRBACKGROUND:
            return static_cast<DWORD>(reinterpret_cast<uintptr_t>(wc.hbrBackground));
        default:
            setError(ERROR_INVALID_INDEX);
            return 0;
    }
}

DWORD WINAPI SetClassLongW(HWND hwnd, int index, LONG value) {
    Window* w = win(hwnd);
    if (!w)
        return 0;
    WNDCLASSW& wc = w->cls->wc;
    DWORD old = GetClassLongW(hwnd, index);
    switch (index) {
        case GCL_STYLE:
            wc.style = static_cast<UINT>(value);
            break;
        case GCL_HBRBACKGROUND:
            wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(value));
            break;
        default:
            setError(ERROR_INVALID_INDEX);
            return 0;
    }
    return old;
}

// ----------------------------------------------------------------------------------------------
// Creation

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parentHandle, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
    Gwes* g = state();
    if (!g)
        return nullptr;
    CREATESTRUCTW cs{};
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parentHandle;
    cs.cx = width;
    cs.cy = height;
    cs.x = x;
    cs.y = y;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    auto w = allocateWindow(*g, cs);
    if (!w)
        return nullptr;
    return createWindow(*g, linkWindow(*g, std::move(w)), cs);
}

// ----------------------------------------------------------------------------------------------
// Destruction

BOOL WINAPI DestroyWindow(HWND hwnd) {
    Gwes* g = state();
    Window* w = win(hwnd);
    if (!g || !w || w->desktop) {
        setError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->destroying)
        return TRUE;
    auto keep = g->hold(hwnd);
    w->destroying = true;
    if (w->isChild() && (w->style & WS_CHILD) && !(w->exStyle & WS_EX_NOPARENTNOTIFY))
        send(w->parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_DESTROY, w->id),
             reinterpret_cast<LPARAM>(hwnd));
    if (w->destroyed)
        return TRUE;
    // A visible window is hidden first (WM_SHOWWINDOW, WM_WINDOWPOS*), as Win32 does.
    if (w->style & WS_VISIBLE)
        ShowWindow(hwnd, SW_HIDE);
    if (w->destroyed)
        return TRUE;
    // Owned top-level windows (a menu bar, a modeless dialog) go first.
    if (!w->isChild() && g->desktop) {
        std::vector<HWND> owned;
        for (Window* o : g->desktop->children)
            if (o->owner == hwnd)
                owned.push_back(o->handle);
        for (HWND o : owned) DestroyWindow(o);
    }
    // Focus and activation leave the window before it goes.
    if (Window* f = win(g->focus); f && (f == w || isDescendant(w, f))) {
        Window* p = w->isChild() ? w->parent : nullptr;
        g->focus = nullptr;
        if (p && !p->destroying)
            SetFocus(p->handle);
    }
    if (g->capture == hwnd)
        ReleaseCapture();
    if (g->active == hwnd)
        activateNext(w);
    std::erase(g->modal, hwnd);
    sendDestroy(w);
    freeWindow(*g, w);
    updateNavBar();
    return TRUE;
}

}  // extern "C"

namespace ce::gwes {

int endProgram() {
    Gwes* g = state();
    if (!g || !g->desktop)
        return 0;
    // The program's code is gone: its windows fall back to their class's system procedure, or to
    // the default one, and dialogs lose their dialog procedure.
    for (auto& [value, w] : g->windows) {
        if (w->desktop || w->destroyed)
            continue;
        bool systemClass = w->cls && w->cls->system;
        w->proc = systemClass && w->cls->wc.lpfnWndProc ? w->cls->wc.lpfnWndProc : DefWindowProcW;
        if (w->dialog)
            w->dialog->proc = nullptr;
    }
    g->modal.clear();
    g->capture = nullptr;
    g->track = {};
    int destroyed = 0;
    for (;;) {
        HWND next = nullptr;
        for (Window* top : g->desktop->children)
            if (top->handle != g->navBar && !top->destroyed)
                next = top->handle;
        if (!next)
            break;
        DestroyWindow(next);
        ++destroyed;
        if (win(next))
            break;  // refused to go: leave the rest rather than loop
    }
    g->timers.clear();
    g->menus.clear();
    g->openPopup = nullptr;
    g->boxes.clear();
    g->queue.clear();
    g->quitPending = false;
    g->quitCode = 0;
    std::erase_if(g->classes, [g](const auto& entry) {
        return !entry.second->system && !windowsOfClass(*g, entry.second.get());
    });
    g->focus = nullptr;
    updateNavBar();
    return destroyed;
}

}  // namespace ce::gwes

extern "C" {

// ----------------------------------------------------------------------------------------------
// Showing, moving and sizing

BOOL WINAPI ShowWindow(HWND hwnd, int cmdShow) {
    Gwes* g = state();
    Window* w = win(hwnd);
    if (!g || !w || w->desktop)
        return FALSE;
    bool wasVisible = (w->style & WS_VISIBLE) != 0;
    bool show = cmdShow != SW_HIDE;
    auto keep = g->hold(hwnd);
    if (show == wasVisible) {
        if (show && cmdShow != SW_SHOWNA && cmdShow != SW_SHOWNOACTIVATE && activatable(w))
            activate(w);
        return wasVisible;
    }
    send(w, WM_SHOWWINDOW, show, 0);
    if (w->destroyed)
        return wasVisible;
    WINDOWPOS wp{hwnd,
                 nullptr,
                 w->rect.left,
                 w->rect.top,
                 w->rect.right - w->rect.left,
                 w->rect.bottom - w->rect.top,
                 static_cast<UINT>(SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER |
                                   (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW))};
    send(w, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
    if (w->destroyed)
        return wasVisible;
    if (show) {
        w->style |= WS_VISIBLE;
        invalidateTree(w);
        if (!w->isChild() && cmdShow != SW_SHOWNA && cmdShow != SW_SHOWNOACTIVATE && activatable(w))
            activate(w);
    } else {
        if (reallyVisible(w->parent))
            damageScreen(visibleScreenWindow(w));
        w->style &= ~WS_VISIBLE;
        if (g->active == hwnd)
            activateNext(w);
        if (Window* f = win(g->focus); f && (f == w || isDescendant(w, f)))
            SetFocus(w->isChild() ? w->parent->handle : nullptr);
        if (Window* c = win(g->capture); c && (c == w || isDescendant(w, c)))
            ReleaseCapture();
    }
    if (w->destroyed)
        return wasVisible;
    send(w, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
    updateNavBar();
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
    Window* w = win(hwnd);
    if (!w)
        return FALSE;
    if (w->dirty && reallyVisible(w)) {
        if (w->ncDirty) {
            w->ncDirty = false;
            send(w, WM_NCPAINT, 1, 0);
        }
        send(w, WM_PAINT, 0, 0);
        if (!w->destroyed && w->dirty)
            ValidateRect(hwnd, nullptr);
    }
    return TRUE;
}

BOOL WINAPI SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    Gwes* g = state();
    Window* w = win(hwnd);
    if (!g || !w || w->desktop) {
        setError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    auto keep = g->hold(hwnd);
    WINDOWPOS wp{hwnd, insertAfter, x, y, cx, cy, flags};
    if (flags & SWP_NOMOVE) {
        wp.x = w->rect.left;
        wp.y = w->rect.top;
    }
    if (flags & SWP_NOSIZE) {
        wp.cx = w->rect.right - w->rect.left;
        wp.cy = w->rect.bottom - w->rect.top;
    }
    wp.cx = std::max(0, wp.cx);
    wp.cy = std::max(0, wp.cy);
    if (!(flags & SWP_NOSENDCHANGING))
        send(w, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
    if (w->destroyed)
        return FALSE;
    RECT old = w->rect;
    RECT oldClient = w->client;
    bool wasShown = reallyVisible(w);
    RECT oldScreen = wasShown ? visibleScreenWindow(w) : RECT{};
    RECT newRect{wp.x, wp.y, wp.x + wp.cx, wp.y + wp.cy};
    bool moved = newRect.left != old.left || newRect.top != old.top;
    bool sized = (newRect.right - newRect.left) != (old.right - old.left) ||
                 (newRect.bottom - newRect.top) != (old.bottom - old.top);
    w->rect = newRect;
    if (sized || (flags & SWP_FRAMECHANGED))
        recalcClient(w);
    if (!(flags & SWP_NOZORDER) && w->parent) {
        if (wp.hwndInsertAfter == HWND_TOPMOST)
            w->topmost = true;
        if (wp.hwndInsertAfter == HWND_NOTOPMOST)
            w->topmost = false;
        unlinkChild(w->parent, w);
        if (wp.hwndInsertAfter == HWND_BOTTOM) {
            w->parent->children.push_back(w);
        } else if (Window* after = win(wp.hwndInsertAfter); after && after->parent == w->parent) {
            auto& c = w->parent->children;
            c.insert(std::find(c.begin(), c.end(), after) + 1, w);
        } else {
            linkChild(w->parent, w, true);
        }
    }
    if (flags & SWP_SHOWWINDOW)
        w->style |= WS_VISIBLE;
    if (flags & SWP_HIDEWINDOW)
        w->style &= ~WS_VISIBLE;
    if (wasShown)
        damageScreen(oldScreen);
    if (reallyVisible(w))
        invalidateTree(w);
    wp.flags &= ~(SWP_NOMOVE | SWP_NOSIZE);
    if (!moved)
        wp.flags |= SWP_NOMOVE;
    if (!sized && EqualRect(&oldClient, &w->client))
        wp.flags |= SWP_NOSIZE;
    send(w, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
    if (w->destroyed)
        return TRUE;
    if ((flags & SWP_SHOWWINDOW) && !(flags & SWP_NOACTIVATE) && activatable(w))
        activate(w);
    if ((flags & SWP_HIDEWINDOW) && g->active == hwnd)
        activateNext(w);
    updateNavBar();
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL) {
    return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL WINAPI BringWindowToTop(HWND hwnd) {
    return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
    Window* w = win(hwnd);
    if (!w || !rect) {
        setError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = screenRect(w);
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
    Window* w = win(hwnd);
    if (!w || !rect) {
        setError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = {0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT point) {
    Window* w = win(hwnd);
    if (!w || !point)
        return FALSE;
    POINT o = w->desktop ? POINT{0, 0} : clientOrigin(w);
    point->x += o.x;
    point->y += o.y;
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT point) {
    Window* w = win(hwnd);
    if (!w || !point)
        return FALSE;
    POINT o = w->desktop ? POINT{0, 0} : clientOrigin(w);
    point->x -= o.x;
    point->y -= o.y;
    return TRUE;
}

int WINAPI MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
    POINT a{0, 0}, b{0, 0};
    if (from && !ClientToScreen(from, &a))
        return 0;
    if (to && !ClientToScreen(to, &b))
        return 0;
    int dx = a.x - b.x, dy = a.y - b.y;
    for (UINT i = 0; points && i < count; ++i) {
        points[i].x += dx;
        points[i].y += dy;
    }
    return MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy));
}

// ----------------------------------------------------------------------------------------------
// Text

BOOL WINAPI SetWindowTextW(HWND hwnd, LPCWSTR text) {
    Window* w = win(hwnd);
    if (!w) {
        setError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return static_cast<BOOL>(send(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

int WINAPI GetWindowTextW(HWND hwnd, LPWSTR buffer, int maxCount) {
    Window* w = win(hwnd);
    if (!w || !buffer || maxCount <= 0) {
        if (buffer && maxCount > 0)
            buffer[0] = 0;
        return 0;
    }
    return static_cast<int>(
        send(w, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(buffer)));
}

int WINAPI GetWindowTextLengthW(HWND hwnd) {
    Window* w = win(hwnd);
    return w ? static_cast<int>(send(w, WM_GETTEXTLENGTH, 0, 0)) : 0;
}

// ----------------------------------------------------------------------------------------------
// Relations

HWND WINAPI GetDlgItem(HWND dialog, int id) {
    Window* w = win(dialog);
    if (!w)
        return nullptr;
    for (Window* c : w->children)
        if (!c->destroyed && static_cast<int>(c->id) == id)
            return c->handle;
    setError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

int WINAPI GetDlgCtrlID(HWND hwnd) {
    Window* w = win(hwnd);
    return w && w->isChild() ? static_cast<int>(w->id) : 0;
}

LRESULT WINAPI SendDlgItemMessageW(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND item = GetDlgItem(dialog, id);
    return item ? SendMessageW(item, msg, wParam, lParam) : 0;
}

BOOL WINAPI SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
    return SetWindowTextW(GetDlgItem(dialog, id), text);
}

UINT WINAPI GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int maxCount) {
    HWND item = GetDlgItem(dialog, id);
    if (!item) {
        if (buffer && maxCount > 0)
            buffer[0] = 0;
        return 0;
    }
    return static_cast<UINT>(GetWindowTextW(item, buffer, maxCount));
}

BOOL WINAPI SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
    std::string s = isSigned ? std::to_string(static_cast<int>(value)) : std::to_string(value);
    std::u16string t(s.begin(), s.end());
    return SetDlgItemTextW(dialog, id, t.c_str());
}

UINT WINAPI GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
    WCHAR buf[64];
    if (translated)
        *translated = FALSE;
    if (!GetDlgItemTextW(dialog, id, buf, 64) && !GetDlgItem(dialog, id))
        return 0;
    const WCHAR* p = buf;
    while (*p == u' ') ++p;
    bool neg = false;
    if (isSigned && *p == u'-') {
        neg = true;
        ++p;
    }
    if (*p < u'0' || *p > u'9')
        return 0;
    uint64_t v = 0;
    while (*p >= u'0' && *p <= u'9') {
        v = v * 10 + static_cast<unsigned>(*p++ - u'0');
        if (v > 0xFFFFFFFFull)
            return 0;
    }
    while (*p == u' ') ++p;
    if (*p)
        return 0;
    if (isSigned && v > (neg ? 0x80000000ull : 0x7FFFFFFFull))
        return 0;
    if (translated)
        *translated = TRUE;
    return neg ? static_cast<UINT>(-static_cast<int64_t>(v)) : static_cast<UINT>(v);
}

BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check) {
    SendDlgItemMessageW(dialog, id, BM_SETCHECK, check, 0);
    return GetDlgItem(dialog, id) != nullptr;
}

UINT WINAPI IsDlgButtonChecked(HWND dialog, int id) {
    return static_cast<UINT>(SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0));
}

BOOL WINAPI CheckRadioButton(HWND dialog, int first, int last, int check) {
    for (int id = first; id <= last; ++id)
        CheckDlgButton(dialog, id, id == check ? BST_CHECKED : BST_UNCHECKED);
    return TRUE;
}

HWND WINAPI GetParent(HWND hwnd) {
    Window* w = win(hwnd);
    if (!w)
        return nullptr;
    if (w->isChild())
        return w->parent->handle;
    return (w->style & WS_POPUP) ? w->owner : nullptr;
}

HWND WINAPI SetParent(HWND child, HWND newParent) {
    Gwes* g = state();
    Window* w = win(child);
    Window* p = newParent ? win(newParent) : (g ? g->desktop : nullptr);
    if (!g || !w || !p || w == p || isDescendant(w, p))
        return nullptr;
    HWND old = w->isChild() ? w->parent->handle : nullptr;
    bool shown = reallyVisible(w);
    if (shown)
        damageScreen(visibleScreenWindow(w));
    unlinkChild(w->parent, w);
    w->parent = p;
    linkChild(p, w, !w->isChild() || w->floating);
    if (reallyVisible(w))
        invalidateTree(w);
    return old ? old : g->desktop->handle;
}

HWND WINAPI GetWindow(HWND hwnd, UINT cmd) {
    Window* w = win(hwnd);
    if (!w)
        return nullptr;
    if (cmd == GW_CHILD)
        return w->children.empty() ? nullptr : w->children.front()->handle;
    if (cmd == GW_OWNER)
        return w->isChild() ? nullptr : w->owner;
    if (!w->parent)
        return nullptr;
    auto& sib = w->parent->children;
    auto it = std::find(sib.begin(), sib.end(), w);
    switch (cmd) {
        case GW_HWNDFIRST:
            return sib.front()->handle;
        case GW_HWNDLAST:
            return sib.back()->handle;
        case GW_HWNDNEXT:
            return (it != sib.end() && it + 1 != sib.end()) ? (*(it + 1))->handle : nullptr;
        case GW_HWNDPREV:
            return (it != sib.begin() && it != sib.end()) ? (*(it - 1))->handle : nullptr;
        default:
            return nullptr;
    }
}

HWND WINAPI GetDesktopWindow(void) {
    Gwes* g = state();
    return g && g->desktop ? g->desktop->handle : nullptr;
}

BOOL WINAPI IsWindow(HWND hwnd) {
    return win(hwnd) != nullptr;
}

BOOL WINAPI IsChild(HWND parent, HWND hwnd) {
    Window* p = win(parent);
    Window* w = win(hwnd);
    if (!p || !w)
        return FALSE;
    for (Window* a = w->parent; a && !a->desktop; a = a->parent)
        if (a == p)
            return TRUE;
    return FALSE;
}

BOOL WINAPI IsWindowVisible(HWND hwnd) {
    Window* w = win(hwnd);
    return w && reallyVisible(w);
}

BOOL WINAPI IsWindowEnabled(HWND hwnd) {
    Window* w = win(hwnd);
    return w && !(w->style & WS_DISABLED);
}

BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable) {
    Gwes* g = state();
    Window* w = win(hwnd);
    if (!g || !w)
        return FALSE;
    bool wasDisabled = (w->style & WS_DISABLED) != 0;
    if (wasDisabled == !enable)
        return wasDisabled;
    if (enable) {
        w->style &= ~WS_DISABLED;
    } else {
        w->style |= WS_DISABLED;
        if (Window* f = win(g->focus); f && (f == w || isDescendant(w, f)))
            SetFocus(nullptr);
        if (g->capture == hwnd)
            ReleaseCapture();
    }
    send(w, WM_ENABLE, enable ? TRUE : FALSE, 0);
    if (!w->destroyed)
        invalidate(w, nullptr, true, true);
    return wasDisabled;
}

HWND WINAPI SetFocus(HWND hwnd) {
    Gwes* g = state();
    if (!g)
        return nullptr;
    HWND old = g->focus;
    if (!hwnd) {
        setFocusInternal(*g, nullptr);
        return old;
    }
    Window* w = win(hwnd);
    if (!w || w->desktop) {
        setError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    Window* top = topLevelOf(w);
    if (g->active != top->handle && activatable(top))
        activate(top);
    if (w->destroyed)
        return old;
    setFocusInternal(*g, hwnd);
    return old;
}

HWND WINAPI GetFocus(void) {
    Gwes* g = state();
    return g && win(g->focus) ? g->focus : nullptr;
}

HWND WINAPI GetActiveWindow(void) {
    Gwes* g = state();
    return g && win(g->active) ? g->active : nullptr;
}

HWND WINAPI SetActiveWindow(HWND hwnd) {
    Gwes* g = state();
    Window* w = win(hwnd);
    if (!g || !w)
        return nullptr;
    HWND old = g->active;
    w = topLevelOf(w);
    if (!w->noActivate)
        activate(w);
    return old;
}

HWND WINAPI GetForegroundWindow(void) {
    return GetActiveWindow();
}
BOOL WINAPI SetForegroundWindow(HWND hwnd) {
    return SetActiveWindow(hwnd) != nullptr || GetActiveWindow() == hwnd;
}

HWND WINAPI SetCapture(HWND hwnd) {
    Gwes* g = state();
    if (!g)
        return nullptr;
    HWND old = g->capture;
    if (!win(hwnd))
        return old;
    g->capture = hwnd;
    if (old && old != hwnd)
        if (Window* o = win(old))
            send(o, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    return old;
}

BOOL WINAPI ReleaseCapture(void) {
    Gwes* g = state();
    if (!g)
        return FALSE;
    HWND old = g->capture;
    g->capture = nullptr;
    if (Window* o = win(old))
        send(o, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND WINAPI GetCapture(void) {
    Gwes* g = state();
    return g && win(g->capture) ? g->capture : nullptr;
}

// ----------------------------------------------------------------------------------------------
// Window longs

static bool dialogIndex(const Window* w, int index) {
    return w->dialog && (index == DWLP_MSGRESULT || index == static_cast<int>(DWLP_DLGPROC) ||
                         index == static_cast<int>(DWLP_USER));
}

static LONG_PTR getLong(Window* w, int index, size_t size) {
    if (dialogIndex(w, index)) {
        if (index == DWLP_MSGRESULT)
            return w->dialog->msgResult;
        if (index == static_cast<int>(DWLP_DLGPROC))
            return reinterpret_cast<LONG_PTR>(w->dialog->proc);
        return w->dialog->user;
    }
    switch (index) {
        case GWL_STYLE:
            return static_cast<LONG_PTR>(static_cast<LONG>(w->style));
        case GWL_EXSTYLE:
            return static_cast<LONG_PTR>(static_cast<LONG>(w->exStyle));
        case GWL_ID:
            return static_cast<LONG_PTR>(w->id);
        case GWLP_USERDATA:
            return w->userData;
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(w->proc);
        case GWLP_HINSTANCE:
            return reinterpret_cast<LONG_PTR>(w->instance);
        case GWLP_HWNDPARENT:
            return reinterpret_cast<LONG_PTR>(GetParent(w->handle));
        default:
            break;
    }
    if (index >= 0 && static_cast<size_t>(index) + size <= w->extra.size()) {
        if (size == sizeof(LONG)) {
            LONG v;
            std::memcpy(&v, w->extra.data() + index, sizeof v);
            return v;
        }
        LONG_PTR v;
        std::memcpy(&v, w->extra.data() + index, sizeof v);
        return v;
    }
    setError(ERROR_INVALID_INDEX);
    return 0;
}

static void applyStyle(Window* w, DWORD style) {
    STYLESTRUCT ss{w->style, style};
    send(w, WM_STYLECHANGING, static_cast<WPARAM>(GWL_STYLE), reinterpret_cast<LPARAM>(&ss));
    bool visibleChange = ((w->style ^ ss.styleNew) & WS_VISIBLE) != 0;
    if (visibleChange && (w->style & WS_VISIBLE) && reallyVisible(w))
        damageScreen(visibleScreenWindow(w));
    w->style = ss.styleNew;
    updateScrollBarPresence(w);
    recalcClient(w);
    // As on Win32, a new style repaints nothing by itself (the window redraws when it is told
    // to); only a window that this makes visible is drawn, so that the screen shows it.
    if (visibleChange && reallyVisible(w))
        invalidateTree(w);
    send(w, WM_STYLECHANGED, static_cast<WPARAM>(GWL_STYLE), reinterpret_cast<LPARAM>(&ss));
}

static LONG_PTR setLong(Window* w, int index, LONG_PTR value, size_t size) {
    LONG_PTR old = getLong(w, index, size);
    if (dialogIndex(w, index)) {
        if (index == DWLP_MSGRESULT)
            w->dialog->msgResult = value;
        else if (index == static_cast<int>(DWLP_DLGPROC))
            w->dialog->proc = reinterpret_cast<DLGPROC>(value);
        else
            w->dialog->user = value;
        return old;
    }
    switch (index) {
        case GWL_STYLE:
            applyStyle(w, static_cast<DWORD>(value));
            return old;
        case GWL_EXSTYLE: {
            STYLESTRUCT ss{w->exStyle, static_cast<DWORD>(value)};
            send(w, WM_STYLECHANGING, static_cast<WPARAM>(GWL_EXSTYLE),
                 reinterpret_cast<LPARAM>(&ss));
            w->exStyle = ss.styleNew;
            recalcClient(w);
            invalidate(w, nullptr, true, true);
            send(w, WM_STYLECHANGED, static_cast<WPARAM>(GWL_EXSTYLE),
                 reinterpret_cast<LPARAM>(&ss));
            updateNavBar();
            return old;
        }
        case GWL_ID:
            w->id = static_cast<UINT_PTR>(value);
            return old;
        case GWLP_USERDATA:
            w->userData = value;
            return old;
        case GWLP_WNDPROC:
            if (value)
                w->proc = reinterpret_cast<WNDPROC>(value);
            return old;
        case GWLP_HINSTANCE:
            w->instance = reinterpret_cast<HINSTANCE>(value);
            return old;
        case GWLP_HWNDPARENT:
            if (!w->isChild())
                w->owner = reinterpret_cast<HWND>(value);
            return old;
        default:
            break;
    }
    if (index >= 0 && static_cast<size_t>(index) + size <= w->extra.size()) {
        if (size == sizeof(LONG)) {
            LONG v = static_cast<LONG>(value);
            std::memcpy(w->extra.data() + index, &v, sizeof v);
        } else {
            std::memcpy(w->extra.data() + index, &value, sizeof value);
        }
        return old;
    }
    setError(ERROR_INVALID_INDEX);
    return 0;
}

LONG WINAPI GetWindowLongW(HWND hwnd, int index) {
    Window* w = win(hwnd);
    if (!w) {
        setError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<LONG>(getLong(w, index, sizeof(LONG)));
}

LONG WINAPI SetWindowLongW(HWND hwnd, int index, LONG value) {
    Window* w = win(hwnd);
    if (!w) {
        setError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    // The style, ID and user data are the same under either form; pointers need the Ptr form.
    LONG_PTR v = value;
    if (index == GWL_STYLE || index == GWL_EXSTYLE)
        v = static_cast<LONG_PTR>(static_cast<DWORD>(value));
    return static_cast<LONG>(setLong(w, index, v, sizeof(LONG)));
}

LONG_PTR WINAPI GetWindowLongPtrW(HWND hwnd, int index) {
    Window* w = win(hwnd);
    if (!w) {
        setError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return getLong(w, index, sizeof(LONG_PTR));
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
    Window* w = win(hwnd);
    if (!w) {
        setError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return setLong(w, index, value, sizeof(LONG_PTR));
}

// ----------------------------------------------------------------------------------------------
// Enumeration and lookup

static bool enumTree(Window* w, WNDENUMPROC proc, LPARAM lp) {
    std::vector<HWND> kids;
    for (Window* c : w->children) kids.push_back(c->handle);
    for (HWND h : kids) {
        Window* c = win(h);
        if (!c)
            continue;
        if (!proc(h, lp))
            return false;
        if ((c = win(h)) && !enumTree(c, proc, lp))
            return false;
    }
    return true;
}

BOOL WINAPI EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM lParam) {
    Window* w = parent ? win(parent) : (state() ? state()->desktop : nullptr);
    if (!w || !proc)
        return FALSE;
    return enumTree(w, proc, lParam) ? TRUE : FALSE;
}

BOOL WINAPI EnumWindows(WNDENUMPROC proc, LPARAM lParam) {
    Gwes* g = state();
    if (!g || !proc)
        return FALSE;
    std::vector<HWND> tops;
    for (Window* c : g->desktop->children) tops.push_back(c->handle);
    for (HWND h : tops)
        if (win(h) && !proc(h, lParam))
            return FALSE;
    return TRUE;
}

HWND WINAPI FindWindowW(LPCWSTR className, LPCWSTR windowName) {
    Gwes* g = state();
    if (!g)
        return nullptr;
    auto cls = className ? findClass(className) : nullptr;
    if (className && !cls)
        return nullptr;
    for (Window* c : g->desktop->children) {
        if (cls && c->cls != cls)
            continue;
        if (windowName && c->text != windowName)
            continue;
        return c->handle;
    }
    return nullptr;
}

HWND WINAPI WindowFromPoint(POINT point) {
    Window* w = hitTest(point);
    return w ? w->handle : nullptr;
}

HWND WINAPI ChildWindowFromPoint(HWND parent, POINT point) {
    Window* p = win(parent);
    if (!p)
        return nullptr;
    POINT s = point;
    ClientToScreen(parent, &s);
    for (Window* c : p->children) {
        RECT r = screenRect(c);
        if (PtInRect(&r, s))
            return c->handle;
    }
    RECT r = screenClient(p);
    return PtInRect(&r, s) ? parent : nullptr;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hwnd, LPDWORD processId) {
    if (processId)
        *processId = win(hwnd) ? 1 : 0;
    return win(hwnd) ? 1 : 0;
}

}  // extern "C"
