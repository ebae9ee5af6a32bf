// Messages: SendMessage calls the window procedure, PostMessage queues, GetMessage takes the
// queue and, when it is empty, paints what is invalid, shows the frame and waits for input.
// Also DefWindowProc, timers, the keyboard state and keybd_event.
#include "gwes/gwes.h"
#include "gwes/weak.h"

#include <algorithm>

namespace ce::gwes {

LRESULT send(Window* w, UINT msg, WPARAM wp, LPARAM lp) {
    if (!w || w->destroyed || !w->proc)
        return 0;
    Gwes* g = state();
    auto keep = g ? g->hold(w->handle) : nullptr;
    return w->proc(w->handle, msg, wp, lp);
}

void post(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Gwes* g = state();
    if (!g)
        return;
    MSG m{hwnd, msg, wp, lp, static_cast<DWORD>(nowMs()), g->cursor};
    g->queue.push_back(m);
}

namespace {

bool matches(const MSG& m, HWND filter, UINT lo, UINT hi) {
    if (lo || hi) {
        if (m.message < lo || m.message > hi)
            return false;
    }
    if (filter && filter != reinterpret_cast<HWND>(-1)) {
        if (m.hwnd != filter && !IsChild(filter, m.hwnd))
            return false;
    }
    if (filter == reinterpret_cast<HWND>(-1) && m.hwnd)
        return false;
    return true;
}

// Takes (or peeks) the first queued message that passes the filter; then a pending quit.
bool take(Gwes& g, MSG* out, HWND filter, UINT lo, UINT hi, bool remove) {
    for (auto it = g.queue.begin(); it != g.queue.end(); ++it) {
        if (!matches(*it, filter, lo, hi))
            continue;
        // Messages to windows destroyed since they were posted are dropped.
        if (it->hwnd && !win(it->hwnd)) {
            it = g.queue.erase(it);
            if (it == g.queue.end())
                break;
            --it;
            continue;
        }
        *out = *it;
        if (remove)
            g.queue.erase(it);
        g.messagePos = static_cast<DWORD>(
            MAKELONG(static_cast<WORD>(out->pt.x), static_cast<WORD>(out->pt.y)));
        g.messageTime = static_cast<LONG>(out->time);
        return true;
    }
    if (g.quitPending && (!(lo || hi) || (WM_QUIT >= lo && WM_QUIT <= hi))) {
        *out =
            MSG{nullptr, WM_QUIT, static_cast<WPARAM>(g.quitCode), 0, static_cast<DWORD>(nowMs()),
                g.cursor};
        if (remove)
            g.quitPending = false;
        return true;
    }
    return false;
}

bool dueTimer(Gwes& g, MSG* out, bool remove) {
    uint64_t now = nowMs();
    for (auto& t : g.timers) {
        if (t.due > now)
            continue;
        *out =
            MSG{t.hwnd,  WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc), static_cast<DWORD>(now),
                g.cursor};
        if (remove)
            t.due = now + t.elapse;
        return true;
    }
    return false;
}

void present() {
    if (&ce::display::present)
        ce::display::present();
}

// Waits for the next input event and turns it into queued messages. Throws ProgramEnd when
// the input source has no more input, or there is none.
void waitForInput(Gwes& g) {
    InputEvent e{};
    if (!g.input || !g.input->wait(e))
        throw ProgramEnd{ProgramEnd::Reason::NoMoreInput};
    if (g.suspended) {
        g.suspended = false;
        if (&ce::display::setDimmed)
            ce::display::setDimmed(false);
    }
    if (e.kind == InputEvent::Kind::Close) {
        if (&ce::kernel::suspend)
            ce::kernel::suspend();
        throw ProgramEnd{ProgramEnd::Reason::Closed};
    }
    handleInputEvent(e);
}

}  // namespace

void pumpOne() {
    MSG m;
    if (!GetMessageW(&m, nullptr, 0, 0)) {
        PostQuitMessage(static_cast<int>(m.wParam));
        return;
    }
    TranslateMessage(&m);
    DispatchMessageW(&m);
}

void modalLoop(HWND modalWindow, const std::function<bool()>& done) {
    Gwes* g = state();
    if (!g)
        return;
    g->modal.push_back(modalWindow);
    struct Pop {
        HWND h;
        ~Pop() {
            if (Gwes* s = state())
                std::erase(s->modal, h);
        }
    } pop{modalWindow};
    while (!done()) {
        MSG m;
        if (!GetMessageW(&m, nullptr, 0, 0)) {
            // A quit ends the modal loop and is seen again by the loop outside.
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        if (Window* mw = win(modalWindow); mw && mw->dialog && IsDialogMessageW(modalWindow, &m))
            continue;
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

}  // namespace ce::gwes

using namespace ce::gwes;

extern "C" {

LRESULT WINAPI SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (hwnd == HWND_BROADCAST) {
        Gwes* g = state();
        if (!g)
            return 0;
        std::vector<HWND> tops;
        for (Window* c : g->desktop->children) tops.push_back(c->handle);
        for (HWND h : tops) send(win(h), msg, wParam, lParam);
        return 0;
    }
    Window* w = win(hwnd);
    if (!w) {
        setError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return send(w, msg, wParam, lParam);
}

BOOL WINAPI SendNotifyMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!win(hwnd) && hwnd != HWND_BROADCAST)
        return FALSE;
    SendMessageW(hwnd, msg, wParam, lParam);
    return TRUE;
}

BOOL WINAPI PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Gwes* g = state();
    if (!g)
        return FALSE;
    if (hwnd == HWND_BROADCAST) {
        for (Window* c : g->desktop->children) post(c->handle, msg, wParam, lParam);
        return TRUE;
    }
    if (hwnd && !win(hwnd)) {
        setError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    post(hwnd, msg, wParam, lParam);
    return TRUE;
}

BOOL WINAPI PostThreadMessageW(DWORD, UINT msg, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(nullptr, msg, wParam, lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
    Gwes* g = state();
    if (!g)
        return;
    g->quitPending = true;
    g->quitCode = exitCode;
}

BOOL WINAPI GetMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    Gwes* g = state();
    if (!g || !msg) {
        setError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    for (;;) {
        if (take(*g, msg, hwnd, filterMin, filterMax, true))
            return msg->message != WM_QUIT;
        paintAll();
        if (!g->queue.empty() || g->quitPending)
            continue;  // painting posted something
        if (dueTimer(*g, msg, true) && matches(*msg, hwnd, filterMin, filterMax))
            return TRUE;
        present();
        waitForInput(*g);
    }
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
    Gwes* g = state();
    if (!g || !msg)
        return FALSE;
    bool remove = (removeMsg & PM_REMOVE) != 0;
    if (take(*g, msg, hwnd, filterMin, filterMax, remove))
        return TRUE;
    paintAll();
    if (take(*g, msg, hwnd, filterMin, filterMax, remove))
        return TRUE;
    if (dueTimer(*g, msg, remove) && matches(*msg, hwnd, filterMin, filterMax))
        return TRUE;
    present();
    return FALSE;
}

BOOL WINAPI WaitMessage(void) {
    Gwes* g = state();
    if (!g)
        return FALSE;
    if (!g->queue.empty() || g->quitPending)
        return TRUE;
    paintAll();
    if (!g->queue.empty())
        return TRUE;
    present();
    waitForInput(*g);
    return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    Gwes* g = state();
    if (!g || !msg || msg->message != WM_KEYDOWN)
        return FALSE;
    UINT vk = static_cast<UINT>(msg->wParam);
    WCHAR ch = 0;
    switch (vk) {
        case VK_BACK:
            ch = u'\b';
            break;
        case VK_TAB:
            ch = u'\t';
            break;
        case VK_RETURN:
            ch = u'\r';
            break;
        case VK_ESCAPE:
            ch = 0x1B;
            break;
        default:
            if (msg->lParam & kFromInputSource)
                return FALSE;
            bool shift = (g->keyState[VK_SHIFT] & 0x80) != 0;
            if (vk == VK_SPACE)
                ch = u' ';
            else if (vk >= '0' && vk <= '9')
                ch = static_cast<WCHAR>(vk);
            else if (vk >= 'A' && vk <= 'Z')
                ch = static_cast<WCHAR>(shift ? vk : vk - 'A' + 'a');
            break;
    }
    if (!ch)
        return FALSE;
    post(msg->hwnd, WM_CHAR, ch, msg->lParam & ~kFromInputSource);
    return TRUE;
}

LRESULT WINAPI DispatchMessageW(const MSG* msg) {
    if (!msg)
        return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam,
                                                 static_cast<DWORD>(nowMs()));
        return 0;
    }
    Window* w = win(msg->hwnd);
    if (!w)
        return 0;
    if (msg->message == WM_PAINT) {
        LRESULT r = send(w, WM_PAINT, 0, 0);
        if (!w->destroyed && w->dirty)
            ValidateRect(msg->hwnd, nullptr);
        return r;
    }
    return send(w, msg->message, msg->wParam, msg->lParam);
}

DWORD WINAPI GetMessagePos(void) {
    Gwes* g = state();
    return g ? g->messagePos : 0;
}

LONG WINAPI GetMessageTime(void) {
    Gwes* g = state();
    return g ? g->messageTime : 0;
}

DWORD WINAPI GetQueueStatus(UINT flags) {
    Gwes* g = state();
    if (!g)
        return 0;
    DWORD s = 0;
    if (!g->queue.empty())
        s |= QS_POSTMESSAGE;
    return MAKELONG(s & flags, s & flags);
}

UINT WINAPI RegisterWindowMessageW(LPCWSTR name) {
    Gwes* g = state();
    if (!g || !name || !*name)
        return 0;
    auto key = lower(name);
    auto it = g->registeredMessages.find(key);
    if (it != g->registeredMessages.end())
        return it->second;
    UINT id = g->nextRegisteredMessage++;
    g->registeredMessages.emplace(key, id);
    return id;
}

BOOL WINAPI InSendMessage(void) {
    return FALSE;
}

// ----------------------------------------------------------------------------------------------
// Timers: due timers produce WM_TIMER when the queue is empty.

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    Gwes* g = state();
    if (!g || (hwnd && !win(hwnd)))
        return 0;
    elapse = std::max<UINT>(elapse, 10);
    if (!hwnd && !id)
        id = 0x7000 + g->timers.size();
    for (auto& t : g->timers)
        if (t.hwnd == hwnd && t.id == id) {
            t.elapse = elapse;
            t.proc = proc;
            t.due = nowMs() + elapse;
            return id ? id : 1;
        }
    g->timers.push_back(Timer{hwnd, id, elapse, proc, nowMs() + elapse});
    return id ? id : 1;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id) {
    Gwes* g = state();
    if (!g)
        return FALSE;
    auto n = std::erase_if(g->timers, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    std::erase_if(g->queue, [&](const MSG& m) {
        return m.message == WM_TIMER && m.hwnd == hwnd && m.wParam == id;
    });
    return n ? TRUE : FALSE;
}

// ----------------------------------------------------------------------------------------------
// Keyboard

void WINAPI keybd_event(BYTE vk, BYTE scan, DWORD flags, DWORD) {
    Gwes* g = state();
    if (!g)
        return;
    bool up = (flags & KEYEVENTF_KEYUP) != 0;
    if (vk == VK_OFF) {
        // The power key: the release switches the device off; it wakes at the next input.
        if (up) {
            if (&ce::kernel::suspend)
                ce::kernel::suspend();
            else
                deviceLog("power off");
            g->suspended = true;
            if (&ce::display::setDimmed)
                ce::display::setDimmed(true);
        }
        return;
    }
    if (up)
        g->keyState[vk] &= static_cast<uint8_t>(~0x80);
    else
        g->keyState[vk] = static_cast<uint8_t>((g->keyState[vk] ^ 0x01) | 0x80);
    HWND target = g->focus ? g->focus : g->active;
    LPARAM lp = 1 | (static_cast<LPARAM>(scan) << 16);
    if (up)
        lp |= (1LL << 30) | (1LL << 31);
    if (target)
        post(target, up ? WM_KEYUP : WM_KEYDOWN, vk, lp);
}

SHORT WINAPI GetKeyState(int vk) {
    Gwes* g = state();
    if (!g || vk < 0 || vk > 255)
        return 0;
    uint8_t s = g->keyState[vk];
    return static_cast<SHORT>(((s & 0x80) ? 0x8000 : 0) | (s & 0x01));
}

SHORT WINAPI GetAsyncKeyState(int vk) {
    Gwes* g = state();
    if (!g || vk < 0 || vk > 255)
        return 0;
    return (g->keyState[vk] & 0x80) ? static_cast<SHORT>(0x8000) : 0;
}

BOOL WINAPI GetCursorPos(LPPOINT point) {
    Gwes* g = state();
    if (!g || !point)
        return FALSE;
    *point = g->cursor;
    return TRUE;
}

BOOL WINAPI SetCursorPos(int x, int y) {
    Gwes* g = state();
    if (!g)
        return FALSE;
    g->cursor = {x, y};
    return TRUE;
}

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
    return cursor;
}
HCURSOR WINAPI LoadCursorW(HINSTANCE, LPCWSTR name) {
    return reinterpret_cast<HCURSOR>(const_cast<WCHAR*>(name));
}
int WINAPI ShowCursor(BOOL show) {
    return show ? 0 : -1;
}
BOOL WINAPI MessageBeep(UINT) {
    return TRUE;
}

// The caret is kept for the edit control, which draws it itself.
BOOL WINAPI CreateCaret(HWND hwnd, HBITMAP, int width, int height) {
    Gwes* g = state();
    if (!g || !win(hwnd))
        return FALSE;
    g->caret = {hwnd, width, height, 0, 0, 0};
    return TRUE;
}
BOOL WINAPI DestroyCaret(void) {
    Gwes* g = state();
    if (!g)
        return FALSE;
    g->caret = {};
    return TRUE;
}
BOOL WINAPI ShowCaret(HWND) {
    Gwes* g = state();
    if (!g || !g->caret.hwnd)
        return FALSE;
    ++g->caret.shown;
    return TRUE;
}
BOOL WINAPI HideCaret(HWND) {
    Gwes* g = state();
    if (!g || !g->caret.hwnd)
        return FALSE;
    --g->caret.shown;
    return TRUE;
}
BOOL WINAPI SetCaretPos(int x, int y) {
    Gwes* g = state();
    if (!g || !g->caret.hwnd)
        return FALSE;
    g->caret.x = x;
    g->caret.y = y;
    return TRUE;
}
BOOL WINAPI GetCaretPos(LPPOINT point) {
    Gwes* g = state();
    if (!g || !point)
        return FALSE;
    *point = {g->caret.x, g->caret.y};
    return TRUE;
}
UINT WINAPI GetCaretBlinkTime(void) {
    return 500;
}

}  // extern "C"
