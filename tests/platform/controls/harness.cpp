#include "harness.h"

#include <map>

namespace ctltest {
namespace {

std::map<UINT, LRESULT>& answers() {
    static std::map<UINT, LRESULT> a;
    return a;
}
NotifyHook g_hook = nullptr;

LRESULT CALLBACK parentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            received().push_back(
                {message, HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), 0});
            return 0;
        case WM_HSCROLL:
        case WM_VSCROLL:
            received().push_back({message, LOWORD(wParam), 0, reinterpret_cast<HWND>(lParam),
                                  static_cast<short>(HIWORD(wParam))});
            return 0;
        case WM_NOTIFY: {
            auto* hdr = reinterpret_cast<NMHDR*>(lParam);
            received().push_back(
                {message, hdr->code, static_cast<int>(hdr->idFrom), hdr->hwndFrom, 0});
            if (g_hook) {
                bool handled = false;
                const LRESULT r = g_hook(hdr, &handled);
                if (handled)
                    return r;
            }
            auto it = answers().find(hdr->code);
            return it == answers().end() ? 0 : it->second;
        }
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

std::string name(UINT message) {
    switch (message) {
        case WM_COMMAND:
            return "WM_COMMAND";
        case WM_NOTIFY:
            return "WM_NOTIFY";
        case WM_HSCROLL:
            return "WM_HSCROLL";
        case WM_VSCROLL:
            return "WM_VSCROLL";
        default:
            return std::to_string(message);
    }
}

}  // namespace

std::vector<Received>& received() {
    static std::vector<Received> r;
    return r;
}

void resetRecord() {
    received().clear();
    answers().clear();
    g_hook = nullptr;
}

void answerNotify(UINT code, LRESULT answer) {
    answers()[code] = answer;
}
void setNotifyHook(NotifyHook hook) {
    g_hook = hook;
}

std::string describe(const std::vector<Received>& r) {
    std::ostringstream out;
    for (const Received& e : r)
        out << "  " << name(e.message) << " code " << static_cast<int>(e.code) << " id " << e.id
            << " pos " << e.pos << "\n";
    return out.str();
}

::testing::AssertionResult matches(const std::vector<Expect>& expected) {
    const auto& got = received();
    bool ok = got.size() == expected.size();
    for (size_t i = 0; ok && i < got.size(); ++i) {
        const Expect& e = expected[i];
        ok = got[i].message == e.message && got[i].code == e.code &&
             (!e.id || *e.id == got[i].id) && (!e.pos || *e.pos == got[i].pos);
    }
    if (ok)
        return ::testing::AssertionSuccess();
    std::ostringstream want;
    for (const Expect& e : expected)
        want << "  " << name(e.message) << " code " << static_cast<int>(e.code) << " id "
             << (e.id ? std::to_string(*e.id) : "*") << " pos "
             << (e.pos ? std::to_string(*e.pos) : "*") << "\n";
    return ::testing::AssertionFailure() << "expected:\n"
                                         << want.str() << "received:\n"
                                         << describe(got);
}

void runSetterTable(HWND control, const std::vector<SetterRow>& rows) {
    for (const SetterRow& row : rows) {
        SCOPED_TRACE(row.what);
        UpdateWindow(control);
        ValidateRect(control, nullptr);
        const LRESULT answer = SendMessageW(control, row.message, row.wParam, row.lParam);
        if (row.answer)
            EXPECT_EQ(*row.answer, answer);
        EXPECT_EQ(row.repaint == Repaint::Yes, GetUpdateRect(control, nullptr, FALSE) != FALSE)
            << (row.repaint == Repaint::Yes ? "not repainted" : "repainted");
        for (const Query& q : row.state)
            EXPECT_EQ(q.answer, SendMessageW(control, q.message, q.wParam, q.lParam))
                << "message 0x" << std::hex << q.message << " wParam " << std::dec << q.wParam;
        if (row.text)
            EXPECT_EQ(narrow(row.text), narrow(windowText(control)));
        if (row.style)
            EXPECT_EQ(*row.style, static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE)));
    }
}

HWND createParent() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = parentProc;
    wc.lpszClassName = u"ControlTestParent";
    wc.hbrBackground =
        reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + SYS_COLOR_INDEX_FLAG));
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, u"ControlTestParent", u"Controls", WS_VISIBLE, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                nullptr, nullptr);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    return hwnd;
}

HWND createChild(HWND parent, LPCWSTR className, LPCWSTR text, DWORD style, int x, int y, int w,
                 int h, int id) {
    return CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

std::u16string windowText(HWND hwnd) {
    WCHAR buffer[1024] = {};
    GetWindowTextW(hwnd, buffer, 1024);
    return buffer;
}

std::string narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

POINT screenPoint(HWND hwnd, int x, int y) {
    POINT p{x, y};
    ClientToScreen(hwnd, &p);
    return p;
}

int runLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

void ControlTest::SetUp() {
    device_.emplace(ce::test::TempDevice::Contents::Empty);
    resetRecord();
    InitCommonControls();
    parent_ = createParent();
    ASSERT_NE(parent_, nullptr);
}

void ControlTest::TearDown() {
    if (IsWindow(parent_))
        DestroyWindow(parent_);
    g_hook = nullptr;
    device_.reset();
}

}  // namespace ctltest
