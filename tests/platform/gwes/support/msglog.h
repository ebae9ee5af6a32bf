// Test support for the window system suites: a message log that records what windows receive,
// compared with an expected table (message, which of wParam/lParam matter, optional entries),
// and an input source that plays a list of events.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "gwes/gwes.h"

#include <deque>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace gwestest {

struct Received {
    HWND hwnd;
    UINT msg;
    WPARAM wp;
    LPARAM lp;
};

// Names windows for the report.
class MessageLog {
  public:
    static MessageLog& get() {
        static MessageLog log;
        return log;
    }
    void clear() { entries.clear(); }
    void name(HWND h, std::string n) { names[h] = std::move(n); }
    std::string nameOf(HWND h) const {
        auto it = names.find(h);
        if (it != names.end())
            return it->second;
        std::ostringstream s;
        s << h;
        return s.str();
    }
    std::vector<Received> entries;
    std::map<HWND, std::string> names;
    bool enabled = true;
};

// A window procedure that logs every message and answers with DefWindowProcW.
inline LRESULT CALLBACK loggingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (MessageLog::get().enabled)
        MessageLog::get().entries.push_back({hwnd, msg, wp, lp});
    return DefWindowProcW(hwnd, msg, wp, lp);
}

enum Match : unsigned {
    kMsgOnly = 0,
    kWParam = 1,
    kLParam = 2,
    kOptional = 4,
};

struct Expected {
    std::string window;  // the name given to MessageLog::name
    UINT msg;
    unsigned match = kMsgOnly;
    WPARAM wp = 0;
    LPARAM lp = 0;
};

inline std::string messageName(UINT m) {
    static const std::map<UINT, const char*> names = {
        {WM_CREATE, "WM_CREATE"},
        {WM_DESTROY, "WM_DESTROY"},
        {WM_MOVE, "WM_MOVE"},
        {WM_SIZE, "WM_SIZE"},
        {WM_ACTIVATE, "WM_ACTIVATE"},
        {WM_SETFOCUS, "WM_SETFOCUS"},
        {WM_KILLFOCUS, "WM_KILLFOCUS"},
        {WM_ENABLE, "WM_ENABLE"},
        {WM_SETTEXT, "WM_SETTEXT"},
        {WM_GETTEXT, "WM_GETTEXT"},
        {WM_PAINT, "WM_PAINT"},
        {WM_CLOSE, "WM_CLOSE"},
        {WM_ERASEBKGND, "WM_ERASEBKGND"},
        {WM_SHOWWINDOW, "WM_SHOWWINDOW"},
        {WM_NCCREATE, "WM_NCCREATE"},
        {WM_NCDESTROY, "WM_NCDESTROY"},
        {WM_NCCALCSIZE, "WM_NCCALCSIZE"},
        {WM_NCPAINT, "WM_NCPAINT"},
        {WM_NCHITTEST, "WM_NCHITTEST"},
        {WM_PARENTNOTIFY, "WM_PARENTNOTIFY"},
        {WM_WINDOWPOSCHANGING, "WM_WINDOWPOSCHANGING"},
        {WM_WINDOWPOSCHANGED, "WM_WINDOWPOSCHANGED"},
        {WM_COMMAND, "WM_COMMAND"},
        {WM_VSCROLL, "WM_VSCROLL"},
        {WM_HSCROLL, "WM_HSCROLL"},
        {WM_LBUTTONDOWN, "WM_LBUTTONDOWN"},
        {WM_LBUTTONUP, "WM_LBUTTONUP"},
        {WM_MOUSEMOVE, "WM_MOUSEMOVE"},
        {WM_MOUSEACTIVATE, "WM_MOUSEACTIVATE"},
        {WM_INITDIALOG, "WM_INITDIALOG"},
        {WM_SETFONT, "WM_SETFONT"},
        {WM_NCLBUTTONDOWN, "WM_NCLBUTTONDOWN"},
        {WM_NCLBUTTONUP, "WM_NCLBUTTONUP"},
        {WM_KEYDOWN, "WM_KEYDOWN"},
        {WM_KEYUP, "WM_KEYUP"},
        {WM_CHAR, "WM_CHAR"},
        {WM_CAPTURECHANGED, "WM_CAPTURECHANGED"},
        {WM_CTLCOLORDLG, "WM_CTLCOLORDLG"},
        {WM_GETFONT, "WM_GETFONT"},
        {WM_STYLECHANGING, "WM_STYLECHANGING"},
        {WM_STYLECHANGED, "WM_STYLECHANGED"},
        {WM_TIMER, "WM_TIMER"},
        {WM_INITMENUPOPUP, "WM_INITMENUPOPUP"},
        {WM_GETDLGCODE, "WM_GETDLGCODE"},
    };
    auto it = names.find(m);
    if (it != names.end())
        return it->second;
    std::ostringstream s;
    s << "0x" << std::hex << m;
    return s.str();
}

// Compares the recorded messages of the named windows (others are ignored) with the table.
inline ::testing::AssertionResult sequenceIs(const std::vector<Expected>& expected) {
    auto& log = MessageLog::get();
    std::vector<Received> got;
    for (const auto& e : log.entries)
        if (log.names.count(e.hwnd))
            got.push_back(e);
    size_t g = 0;
    bool ok = true;
    for (const auto& x : expected) {
        bool hit = g < got.size() && log.nameOf(got[g].hwnd) == x.window && got[g].msg == x.msg &&
                   (!(x.match & kWParam) || got[g].wp == x.wp) &&
                   (!(x.match & kLParam) || got[g].lp == x.lp);
        if (hit) {
            ++g;
        } else if (!(x.match & kOptional)) {
            ok = false;
            break;
        }
    }
    if (ok && g == got.size())
        return ::testing::AssertionSuccess();
    std::ostringstream s;
    s << "expected:\n";
    for (const auto& x : expected)
        s << "  " << x.window << " " << messageName(x.msg)
          << ((x.match & kOptional) ? " (optional)" : "")
          << ((x.match & kWParam) ? " wp=" + std::to_string(x.wp) : "") << "\n";
    s << "received:\n";
    for (const auto& e : got)
        s << "  " << log.nameOf(e.hwnd) << " " << messageName(e.msg) << " wp=" << e.wp << "\n";
    return ::testing::AssertionFailure() << s.str();
}

inline size_t countOf(HWND hwnd, UINT msg) {
    size_t n = 0;
    for (const auto& e : MessageLog::get().entries)
        if (e.hwnd == hwnd && e.msg == msg)
            ++n;
    return n;
}

// Plays events to GetMessageW; reports no more input when they run out.
class ScriptedInput : public ce::gwes::InputSource {
  public:
    std::deque<ce::gwes::InputEvent> events;
    int waits = 0;
    bool wait(ce::gwes::InputEvent& e) override {
        ++waits;
        if (events.empty())
            return false;
        e = events.front();
        events.pop_front();
        return true;
    }
    void tap(int x, int y) {
        events.push_back({ce::gwes::InputEvent::Kind::StylusDown, x, y});
        events.push_back({ce::gwes::InputEvent::Kind::StylusUp, x, y});
    }
};

// Runs the message loop until the input runs out.
inline void runUntilIdle() {
    try {
        MSG m;
        while (GetMessageW(&m, nullptr, 0, 0)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
    } catch (const ce::gwes::ProgramEnd&) {
    }
}

inline ATOM registerLogging(const char16_t* name, HBRUSH brush = nullptr) {
    UnregisterClassW(name, nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = loggingProc;
    wc.lpszClassName = name;
    wc.hbrBackground = brush;
    return RegisterClassW(&wc);
}

}  // namespace gwestest
