// The test driver: the program runs on a thread of its own and the driver is its input source.
// The two take turns under one mutex: an action queues input events (or calls to run on the
// program's thread) and returns once the program waits for input again with nothing left to
// take, or has ended. Queries run on the caller's thread while the program waits.
#include "gwes/driver.h"

#include "display/display.h"
#include "gwes/entries.h"
#include "gwes/gwes.h"
#include "kernel/kernel.h"
#include "resources/resources.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <sstream>
#include <thread>
#include <variant>

namespace ce::test {

using gwes::InputEvent;
using gwes::Window;

namespace {

std::string quote(std::u16string_view s) {
    return "\"" + gwes::utf8(s) + "\"";
}

std::string rectText(const RECT& r) {
    std::ostringstream s;
    s << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
    return s.str();
}

POINT centre(const RECT& r) {
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Windows in painting order, back to front: the last one that matches is the topmost.
void paintOrder(Window* w, std::vector<Window*>& out) {
    out.push_back(w);
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) paintOrder(*it, out);
}

std::vector<Window*> windowsBackToFront() {
    std::vector<Window*> out;
    if (gwes::Gwes* g = gwes::state(); g && g->desktop)
        paintOrder(g->desktop, out);
    return out;
}

std::u16string className(const Window* w) {
    return w->cls ? w->cls->name : u"";
}

bool classIs(const Window* w, std::u16string_view name) {
    return gwes::lower(className(w)) == gwes::lower(name);
}

// An entry of a list, tab bar or tree, on the screen.
struct Entry {
    HWND owner;
    std::u16string text;
    RECT screen;
    INT_PTR index;  // a list's or tab bar's index, a tree's HTREEITEM
};

RECT clientToScreen(HWND h, RECT r) {
    POINT o{0, 0};
    ClientToScreen(h, &o);
    OffsetRect(&r, o.x, o.y);
    return r;
}

std::vector<Entry> listEntries(Window* w) {
    std::vector<Entry> out;
    HWND h = w->handle;
    int n = static_cast<int>(SendMessageW(h, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n && i < 5000; ++i) {
        RECT r{};
        if (SendMessageW(h, LB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r)) == LB_ERR)
            continue;
        out.push_back({h, gwes::listEntryText(h, i), clientToScreen(h, r), i});
    }
    return out;
}

std::vector<Entry> tabEntries(Window* w) {
    std::vector<Entry> out;
    HWND h = w->handle;
    int n = static_cast<int>(SendMessageW(h, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n && i < 256; ++i) {
        RECT r{};
        if (!SendMessageW(h, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r)))
            continue;
        out.push_back({h, gwes::tabEntryText(h, i), clientToScreen(h, r), i});
    }
    return out;
}

std::vector<Entry> treeEntries(Window* w) {
    std::vector<Entry> out;
    HWND h = w->handle;
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(h, TVM_GETNEXTITEM, TVGN_FIRSTVISIBLE, 0));
    for (int guard = 0; item && guard < 5000; ++guard) {
        RECT r{};
        memcpy(&r, &item, sizeof item);  // TVM_GETITEMRECT takes the item in the rectangle
        if (SendMessageW(h, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&r)))
            out.push_back({h, gwes::treeEntryText(h, item), clientToScreen(h, r),
                           reinterpret_cast<INT_PTR>(item)});
        item = reinterpret_cast<HTREEITEM>(
            SendMessageW(h, TVM_GETNEXTITEM, TVGN_NEXTVISIBLE, reinterpret_cast<LPARAM>(item)));
    }
    return out;
}

std::vector<Entry> entriesOf(Window* w) {
    if (classIs(w, u"LISTBOX") || classIs(w, u"ComboLBox"))
        return listEntries(w);
    if (classIs(w, WC_TABCONTROLW))
        return tabEntries(w);
    if (classIs(w, WC_TREEVIEWW))
        return treeEntries(w);
    return {};
}

bool visibleOnScreen(const RECT& r, Window* owner) {
    RECT vis = gwes::visibleScreenClient(owner), hit;
    return IntersectRect(&hit, &r, &vis) != FALSE;
}

}  // namespace

// The driver's state, shared by the program's thread and the caller's.
struct Core : gwes::InputSource {
    using Task = std::function<void()>;
    using Item = std::variant<InputEvent, Task>;

    std::mutex mutex;
    std::condition_variable cv;
    std::deque<Item> items;
    uint64_t waits = 0;  // times the program has waited with nothing queued
    bool waiting = false;
    bool ended = false;
    bool stopping = false;
    bool rebootedFlag = false;
    int exit = 0;
    std::string failure;  // an exception that left the program
    std::thread thread;
    Driver::Program program;

    // ---- the program's side ----

    bool wait(InputEvent& e) override {
        std::unique_lock lock(mutex);
        for (;;) {
            if (stopping)
                return false;
            if (!items.empty()) {
                Item it = std::move(items.front());
                items.pop_front();
                if (auto* task = std::get_if<Task>(&it)) {
                    lock.unlock();
                    (*task)();
                    lock.lock();
                    continue;
                }
                e = std::get<InputEvent>(it);
                return true;
            }
            waiting = true;
            ++waits;
            cv.notify_all();
            cv.wait(lock, [this] { return stopping || !items.empty(); });
            waiting = false;
        }
    }

    void run() {
        int code = 0;
        std::string error;
        bool reboot = false;
        try {
            code = program();
        } catch (const gwes::ProgramEnd& end) {
            reboot = end.reason == gwes::ProgramEnd::Reason::Reboot;
        } catch (const std::exception& ex) {
            error = ex.what();
        } catch (...) {
            error = "unknown exception";
        }
        std::lock_guard lock(mutex);
        exit = code;
        failure = error;
        rebootedFlag = reboot;
        ended = true;
        cv.notify_all();
    }

    // ---- the driver's side ----

    // Queues the items and returns when the program waits again or has ended.
    void act(std::vector<Item> next) {
        std::unique_lock lock(mutex);
        // nothing to hand over (typing ""): the program would never wait again for it
        if (ended || next.empty())
            return;
        uint64_t before = waits;
        for (auto& it : next) items.push_back(std::move(it));
        cv.notify_all();
        cv.wait(lock, [&] { return ended || (waiting && waits > before && items.empty()); });
    }

    void waitFirst() {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return ended || waiting; });
    }

    void stop() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
            cv.notify_all();
        }
        if (thread.joinable())
            thread.join();
    }
};

struct Driver::Impl : Core {};

// ----------------------------------------------------------------------------------------------

Driver::Driver(Program program) : impl_(std::make_unique<Impl>()) {
    gwes::Gwes* g = gwes::state();
    if (!g)
        throw DriverError("no device is open");
    g->input = impl_.get();
    g->autoAnswerBoxes = false;
    impl_->program = std::move(program);
    kernel::setRebootHandler([] { throw gwes::ProgramEnd{gwes::ProgramEnd::Reason::Reboot}; });
    impl_->thread = std::thread([this] { impl_->run(); });
    impl_->waitFirst();
}

Driver::Driver(int (*winMain)(HINSTANCE, HINSTANCE, LPWSTR, int), std::u16string commandLine)
    : Driver([winMain, commandLine]() mutable {
          HINSTANCE instance = resources::instanceFor(reinterpret_cast<const void*>(winMain));
          std::u16string line = commandLine;
          return winMain(instance, nullptr, line.data(), SW_SHOW);
      }) {}

Driver::~Driver() {
    stop();
    // As when a process ends: what the program left on screen goes with it.
    gwes::endProgram();
    kernel::setRebootHandler({});
    if (gwes::Gwes* g = gwes::state(); g && g->input == impl_.get())
        g->input = nullptr;
}

void Driver::stop() {
    impl_->stop();
}

bool Driver::running() const {
    std::lock_guard lock(impl_->mutex);
    return !impl_->ended;
}

int Driver::exitCode() const {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->ended)
        throw DriverError("the program is still running");
    return impl_->exit;
}

bool Driver::rebooted() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->rebootedFlag;
}

std::string Driver::failure() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->failure;
}

// Actions need a program that waits; a failure inside the program is reported at the next one.
static void requireRunning(const Driver& d, const Core& impl, const char* action) {
    if (!impl.failure.empty())
        throw DriverError(std::string("the program failed: ") + impl.failure);
    if (!d.running())
        throw DriverError(std::string(action) + ": the program has ended (exit code " +
                          std::to_string(impl.exit) + ")");
}

static void checkFailure(const Core& impl) {
    if (!impl.failure.empty())
        throw DriverError(std::string("the program failed: ") + impl.failure);
}

void Driver::tap(int x, int y) {
    requireRunning(*this, *impl_, "tap");
    impl_->act({InputEvent{InputEvent::Kind::StylusDown, x, y},
                InputEvent{InputEvent::Kind::StylusUp, x, y}});
    checkFailure(*impl_);
}

// Brings a rectangle of a window into its scrolling ancestor's view, as a person would drag
// that ancestor's scroll bar: the thumb goes to the position that shows it.
static void scrollIntoView(Core& impl, HWND target, std::function<RECT()> where) {
    for (int round = 0; round < 3; ++round) {
        RECT r = where();
        Window* w = gwes::win(target);
        if (!w)
            return;
        Window* scroller = nullptr;
        for (Window* a = w->parent; a && !a->desktop; a = a->parent) {
            RECT view = gwes::screenClient(a);
            RECT inside;
            bool whole = IntersectRect(&inside, &r, &view) && EqualRect(&inside, &r);
            if (whole)
                continue;
            if (a->style & WS_VSCROLL) {
                scroller = a;
                break;
            }
        }
        if (!scroller)
            return;
        SCROLLINFO si{sizeof si, SIF_ALL, 0, 0, 0, 0, 0};
        if (!GetScrollInfo(scroller->handle, SB_VERT, &si))
            return;
        RECT view = gwes::screenClient(scroller);
        int pos = si.nPos;
        int height = view.bottom - view.top;
        if (r.top < view.top || r.bottom - r.top > height)
            pos += r.top - view.top;
        else if (r.bottom > view.bottom)
            pos += r.bottom - view.bottom;
        int maxPos = si.nMax - std::max<int>(static_cast<int>(si.nPage) - 1, 0);
        pos = std::clamp(pos, si.nMin, std::max(si.nMin, maxPos));
        if (pos == si.nPos)
            return;
        HWND s = scroller->handle;
        impl.act({Core::Task([s, pos] {
            SendMessageW(s, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, pos), 0);
            SendMessageW(s, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, pos), 0);
            SendMessageW(s, WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
        })});
    }
}

// Taps a point of a window after checking that a tap there reaches it.
static void tapAt(Driver& d, HWND target, POINT p, const std::string& what) {
    Window* hit = gwes::hitTest(p);
    Window* t = gwes::win(target);
    if (!t)
        throw DriverError(what + " is gone");
    if (hit != t && !gwes::isDescendant(t, hit)) {
        std::string by = hit ? gwes::utf8(className(hit)) + " " + quote(hit->text) : "nothing";
        throw DriverError(what + " is covered by " + by + "\n" + gwes::utf8(d.describeScreen()));
    }
    d.tap(static_cast<int>(p.x), static_cast<int>(p.y));
}

void Driver::tap(HWND window) {
    requireRunning(*this, *impl_, "tap");
    Window* w = gwes::win(window);
    if (!w || !gwes::reallyVisible(w))
        throw DriverError("tap: the window is not on screen\n" + gwes::utf8(describeScreen()));
    scrollIntoView(*impl_, window, [window] { return gwes::screenRect(gwes::win(window)); });
    w = gwes::win(window);
    if (!w)
        throw DriverError("tap: the window went away");
    RECT vis = gwes::visibleScreenWindow(w);
    if (IsRectEmpty(&vis))
        throw DriverError("tap: the window is outside the screen\n" + gwes::utf8(describeScreen()));
    tapAt(*this, window, centre(vis), gwes::utf8(className(w)) + " " + quote(w->text));
}

// A tab is chosen as a person chooses it: when the row is wider than the control, the two scroll
// arrows at its right end (each kTabArrowWidth wide) bring the tab into view first.
static void tapTab(Driver& d, HWND tabs, INT_PTR index, const std::u16string& text) {
    constexpr int kTabArrowWidth = 13;
    for (int attempt = 0; attempt < 64; ++attempt) {
        if (!gwes::win(tabs))
            throw DriverError("tap: the tab bar went away");
        RECT client{};
        GetClientRect(tabs, &client);
        int n = static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
        RECT first{}, last{}, r{};
        SendMessageW(tabs, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
        SendMessageW(tabs, TCM_GETITEMRECT, n - 1, reinterpret_cast<LPARAM>(&last));
        if (!SendMessageW(tabs, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r)))
            throw DriverError("tap: the entry " + quote(text) + " went away");
        bool scrolls = last.right - first.left > client.right - client.left - 4;
        LONG limit = scrolls ? client.right - 2 * kTabArrowWidth : client.right;
        POINT p{0, (r.top + r.bottom) / 2};
        LONG left = std::max(r.left, client.left), right = std::min(r.right, limit);
        bool shown = right - left >= 4;
        if (shown)
            p.x = (left + right) / 2;
        else if (!scrolls)
            throw DriverError("tap: the entry " + quote(text) + " cannot be brought into view");
        else if (r.left >= limit)
            p.x = client.right - kTabArrowWidth / 2;  // right arrow
        else
            p.x = client.right - kTabArrowWidth - kTabArrowWidth / 2;  // left arrow
        ClientToScreen(tabs, &p);
        tapAt(d, tabs, p, shown ? "the entry " + quote(text) : "the tab row's arrow");
        if (shown)
            return;
    }
    throw DriverError("tap: the entry " + quote(text) + " cannot be brought into view");
}

void Driver::tap(const Query& query) {
    HWND h = find(query);
    if (!h) {
        std::string q;
        if (query.text)
            q += " text " + quote(*query.text);
        if (query.className)
            q += " class " + gwes::utf8(*query.className);
        if (query.id)
            q += " id " + std::to_string(*query.id);
        throw DriverError("tap: no visible window with" + q + "\n" + gwes::utf8(describeScreen()));
    }
    tap(h);
}

void Driver::tapText(const std::u16string& text) {
    requireRunning(*this, *impl_, "tap");
    // An open menu is above everything else.
    for (const auto& item : gwes::openMenuItems())
        if (item.text == text) {
            if (!item.enabled)
                throw DriverError("tap: the menu item " + quote(text) + " is disabled");
            POINT p = centre(item.screen);
            tap(static_cast<int>(p.x), static_cast<int>(p.y));
            return;
        }
    // The topmost window whose text it is, or entry of a list, tab bar or tree.
    std::vector<Window*> order = windowsBackToFront();
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        Window* w = *it;
        if (w->desktop || !gwes::reallyVisible(w))
            continue;
        if (w->text == text && !classIs(w, u"menu_worker") && !classIs(w, u"HHTaskBar")) {
            tap(w->handle);
            return;
        }
        for (const Entry& e : entriesOf(w)) {
            if (e.text == text) {
                tapEntry(e.owner, e.index);
                return;
            }
        }
    }
    throw DriverError("tap: nothing on screen reads " + quote(text) + "\n" +
                      gwes::utf8(describeScreen()));
}

void Driver::tapEntry(HWND owner, INT_PTR index) {
    requireRunning(*this, *impl_, "tap");
    Window* w = gwes::win(owner);
    if (!w || !gwes::reallyVisible(w))
        throw DriverError("tap: the list is not on screen\n" + gwes::utf8(describeScreen()));
    auto entryAt = [owner, index]() -> std::optional<Entry> {
        if (Window* now = gwes::win(owner))
            for (const Entry& e : entriesOf(now))
                if (e.index == index)
                    return e;
        return std::nullopt;
    };
    std::optional<Entry> e = entryAt();
    if (!e)
        throw DriverError("tap: " + describe(owner) + " shows no entry " + std::to_string(index));
    const std::u16string text = e->text;
    if (classIs(w, WC_TABCONTROLW)) {
        tapTab(*this, owner, index, text);
        return;
    }
    if (!visibleOnScreen(e->screen, w)) {
        if (classIs(w, WC_TREEVIEWW))
            impl_->act({Core::Task([owner, index] {
                SendMessageW(owner, TVM_ENSUREVISIBLE, 0, static_cast<LPARAM>(index));
            })});
        else
            impl_->act({Core::Task([owner, index] {
                SendMessageW(owner, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
            })});
    }
    // the entry's place may have changed: look again
    scrollIntoView(*impl_, owner, [&] {
        std::optional<Entry> again = entryAt();
        return again ? again->screen : e->screen;
    });
    std::optional<Entry> again = entryAt();
    if (!again || again->text != text)
        throw DriverError("tap: the entry " + quote(text) + " went away");
    RECT vis = gwes::visibleScreenClient(gwes::win(owner)), part;
    if (!IntersectRect(&part, &again->screen, &vis))
        throw DriverError("tap: the entry " + quote(text) + " cannot be brought into view");
    tapAt(*this, owner, centre(part), "the entry " + quote(text));
}

void Driver::reveal(HWND window) {
    requireRunning(*this, *impl_, "reveal");
    if (gwes::win(window))
        scrollIntoView(*impl_, window, [window] {
            Window* w = gwes::win(window);
            return w ? gwes::screenRect(w) : RECT{};
        });
}

void Driver::tapId(int controlId) {
    HWND h = findId(controlId);
    if (!h)
        throw DriverError("tap: no visible control with ID " + std::to_string(controlId) + "\n" +
                          gwes::utf8(describeScreen()));
    tap(h);
}

void Driver::drag(POINT from, POINT to) {
    requireRunning(*this, *impl_, "drag");
    std::vector<Core::Item> events;
    events.emplace_back(InputEvent{InputEvent::Kind::StylusDown, static_cast<int>(from.x),
                                   static_cast<int>(from.y)});
    for (int i = 1; i <= 4; ++i) {
        int x = static_cast<int>(from.x + (to.x - from.x) * i / 4);
        int y = static_cast<int>(from.y + (to.y - from.y) * i / 4);
        events.emplace_back(InputEvent{InputEvent::Kind::StylusMove, x, y});
    }
    events.emplace_back(
        InputEvent{InputEvent::Kind::StylusUp, static_cast<int>(to.x), static_cast<int>(to.y)});
    impl_->act(std::move(events));
    checkFailure(*impl_);
}

void Driver::type(const std::u16string& text) {
    requireRunning(*this, *impl_, "type");
    std::vector<Core::Item> events;
    for (char16_t c : text) {
        InputEvent e{InputEvent::Kind::Char};
        e.ch = c;
        events.emplace_back(e);
    }
    impl_->act(std::move(events));
    checkFailure(*impl_);
}

void Driver::key(UINT virtualKey) {
    requireRunning(*this, *impl_, "key");
    InputEvent down{InputEvent::Kind::KeyDown};
    down.vk = virtualKey;
    InputEvent up{InputEvent::Kind::KeyUp};
    up.vk = virtualKey;
    impl_->act({down, up});
    checkFailure(*impl_);
}

void Driver::key(UINT modifier, UINT virtualKey) {
    requireRunning(*this, *impl_, "key");
    auto event = [](InputEvent::Kind kind, UINT vk) {
        InputEvent e{kind};
        e.vk = vk;
        return e;
    };
    impl_->act(
        {event(InputEvent::Kind::KeyDown, modifier), event(InputEvent::Kind::KeyDown, virtualKey),
         event(InputEvent::Kind::KeyUp, virtualKey), event(InputEvent::Kind::KeyUp, modifier)});
    checkFailure(*impl_);
}

void Driver::menu(const std::u16string& popup, const std::u16string& item) {
    requireRunning(*this, *impl_, "menu");
    auto buttons = gwes::menuBarButtons();
    auto it = std::find_if(buttons.begin(), buttons.end(),
                           [&](const auto& b) { return b.text == popup; });
    if (it == buttons.end()) {
        std::string have;
        for (const auto& b : buttons) have += " " + quote(b.text);
        throw DriverError("menu: no menu bar button " + quote(popup) + " (the menu bar shows:" +
                          (have.empty() ? std::string(" nothing") : have) + ")\n" +
                          gwes::utf8(describeScreen()));
    }
    POINT p = centre(it->screen);
    Window* hit = gwes::hitTest(p);
    if (!hit || hit->handle != it->bar)
        throw DriverError("menu: the menu bar is covered\n" + gwes::utf8(describeScreen()));
    tap(static_cast<int>(p.x), static_cast<int>(p.y));
    auto items = gwes::openMenuItems();
    auto found =
        std::find_if(items.begin(), items.end(), [&](const auto& m) { return m.text == item; });
    if (found == items.end()) {
        std::string have;
        for (const auto& m : items) have += " " + quote(m.text);
        // close the menu again before reporting
        if (!items.empty())
            tap(0, 0);
        throw DriverError("menu: " + quote(popup) + " has no item " + quote(item) +
                          " (it has:" + have + ")");
    }
    if (!found->enabled) {
        tap(0, 0);
        throw DriverError("menu: the item " + quote(item) + " is disabled");
    }
    POINT q = centre(found->screen);
    tap(static_cast<int>(q.x), static_cast<int>(q.y));
}

void Driver::ok() {
    requireRunning(*this, *impl_, "ok");
    if (!gwes::navHasOk())
        throw DriverError("ok: the navigation bar shows no ok button (title " +
                          quote(gwes::navTitle()) + ")\n" + gwes::utf8(describeScreen()));
    POINT p = centre(gwes::navOkRect());
    tap(static_cast<int>(p.x), static_cast<int>(p.y));
}

void Driver::answer(int buttonId) {
    requireRunning(*this, *impl_, "answer");
    auto box = messageBox();
    if (!box)
        throw DriverError("answer: no message box is up\n" + gwes::utf8(describeScreen()));
    const gwes::BoxState* s = gwes::boxState(box->hwnd);
    if (!s || std::find(s->buttons.begin(), s->buttons.end(), buttonId) == s->buttons.end()) {
        std::string have;
        if (s)
            for (int b : s->buttons) have += " " + gwes::utf8(gwes::buttonText(b));
        throw DriverError("answer: the message box " + quote(box->caption) + " has no " +
                          gwes::utf8(gwes::buttonText(buttonId)) + " button (it has:" + have + ")");
    }
    HWND button = GetDlgItem(box->hwnd, buttonId);
    if (button && IsWindowVisible(button)) {
        tap(button);
    } else {
        HWND h = box->hwnd;
        impl_->act({Core::Task(
            [h, buttonId] { SendMessageW(h, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), 0); })});
    }
    checkFailure(*impl_);
}

MessageBoxInfo Driver::answerBox(const std::u16string& caption, const std::u16string& textPart,
                                 int buttonId) {
    auto box = messageBox();
    if (!box)
        throw DriverError("expected the message box " + quote(caption) + ", but none is up\n" +
                          gwes::utf8(describeScreen()));
    if (box->caption != caption ||
        (!textPart.empty() && box->text.find(textPart) == std::u16string::npos))
        throw DriverError("expected the message box " + quote(caption) + " with " +
                          quote(textPart) + ", but the box up is " + quote(box->caption) + ": " +
                          quote(box->text));
    MessageBoxInfo info = *box;
    answer(buttonId);
    return info;
}

HWND Driver::find(const Query& query) const {
    std::vector<Window*> order = windowsBackToFront();
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        Window* w = *it;
        if (w->desktop || w->destroyed)
            continue;
        if (!query.includeHidden && !gwes::reallyVisible(w))
            continue;
        if (query.text && w->text != *query.text)
            continue;
        if (query.className && !classIs(w, *query.className))
            continue;
        if (query.id && (!w->isChild() || static_cast<int>(w->id) != *query.id))
            continue;
        if (query.parent) {
            Window* p = gwes::win(query.parent);
            if (!p || !gwes::isDescendant(p, w))
                continue;
        }
        if (query.where && !query.where(w->handle))
            continue;
        return w->handle;
    }
    return nullptr;
}

HWND Driver::findId(int controlId) const {
    Query q;
    q.id = controlId;
    return find(q);
}

HWND Driver::findText(const std::u16string& text) const {
    Query q;
    q.text = text;
    return find(q);
}

std::optional<MessageBoxInfo> Driver::messageBox() const {
    for (HWND h : gwes::openBoxes())
        if (const gwes::BoxState* s = gwes::boxState(h))
            return MessageBoxInfo{h, s->caption, s->text, s->type};
    return std::nullopt;
}

HWND Driver::activeWindow() const {
    return GetActiveWindow();
}

std::u16string Driver::navTitle() const {
    return gwes::navTitle();
}

std::u16string Driver::describeScreen() const {
    std::ostringstream s;
    s << "on screen: navigation bar " << quote(gwes::navTitle())
      << (gwes::navHasOk() ? " [ok]" : "") << "\n";
    if (auto box = messageBox())
        s << "  message box " << quote(box->caption) << ": " << quote(box->text) << "\n";
    auto items = gwes::openMenuItems();
    if (!items.empty()) {
        s << "  open menu:";
        for (const auto& m : items) s << " " << quote(m.text);
        s << "\n";
    }
    auto buttons = gwes::menuBarButtons();
    if (!buttons.empty()) {
        s << "  menu bar:";
        for (const auto& b : buttons) s << " " << quote(b.text);
        s << "\n";
    }
    // visible windows, topmost first, indented by depth
    gwes::Gwes* g = gwes::state();
    if (!g)
        return gwes::utf16(s.str());
    int lines = 0;
    std::function<void(Window*, int)> walk = [&](Window* w, int depth) {
        if (lines > 80 || !gwes::reallyVisible(w))
            return;
        if (!w->desktop && !classIs(w, u"HHTaskBar") && !classIs(w, u"menu_worker")) {
            ++lines;
            s << std::string(static_cast<size_t>(depth) * 2, ' ') << "  "
              << gwes::utf8(className(w));
            if (!w->text.empty())
                s << " " << quote(w->text);
            if (w->isChild() && w->id)
                s << " id=" << w->id;
            if (w->style & WS_DISABLED)
                s << " disabled";
            s << " " << rectText(gwes::screenRect(w)) << "\n";
            for (const Entry& e : entriesOf(w))
                if (visibleOnScreen(e.screen, w))
                    s << std::string(static_cast<size_t>(depth) * 2 + 4, ' ') << "entry "
                      << quote(e.text) << "\n";
        }
        for (Window* c : w->children) walk(c, w->desktop ? depth : depth + 1);
    };
    walk(g->desktop, 0);
    return gwes::utf16(s.str());
}

void Driver::screenshot(const std::string& pngPath) const {
    std::string error;
    if (!display::writePng(display::screen(), pngPath, &error))
        throw DriverError("screenshot: " + error);
}

}  // namespace ce::test
