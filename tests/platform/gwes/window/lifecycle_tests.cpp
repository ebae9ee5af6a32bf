// Creation and destruction in Win32's message order, window kinds of the device, geometry,
// text and window longs, and handles that are no longer valid.
#include "support/msglog.h"

#include "testing/device.h"

using namespace gwestest;

namespace {

class Lifecycle : public ::testing::Test {
  protected:
    ce::test::TempDevice device{ce::test::TempDevice::Contents::Empty};
    void SetUp() override {
        MessageLog::get().clear();
        MessageLog::get().names.clear();
        registerLogging(u"LogWindow", reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(0x40000005)));
    }
    HWND make(const char* name, DWORD style, HWND parent, int x = 0, int y = 0, int w = 100,
              int h = 50, int id = 0, DWORD ex = 0) {
        MessageLog::get().enabled = false;
        HWND hwnd =
            CreateWindowExW(ex, u"LogWindow", u"", style, x, y, w, h, parent,
                            reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), nullptr, nullptr);
        MessageLog::get().enabled = true;
        MessageLog::get().name(hwnd, name);
        return hwnd;
    }
};

TEST_F(Lifecycle, VisibleChildIsCreatedInWin32Order) {
    HWND parent = make("parent", WS_VISIBLE, nullptr);
    MessageLog::get().clear();
    // The child's handle is named as soon as it is known (its first message).
    struct Namer {
        static LRESULT CALLBACK proc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
            if (m == WM_NCCREATE)
                MessageLog::get().name(h, "child");
            return loggingProc(h, m, wp, lp);
        }
    };
    WNDCLASSW wc{};
    wc.lpfnWndProc = Namer::proc;
    wc.lpszClassName = u"NamedChild";
    ASSERT_TRUE(RegisterClassW(&wc));
    HWND child = CreateWindowExW(0, u"NamedChild", u"c", WS_CHILD | WS_VISIBLE, 5, 6, 30, 20,
                                 parent, reinterpret_cast<HMENU>(7), nullptr, nullptr);
    ASSERT_TRUE(child);
    EXPECT_TRUE(sequenceIs({
        {"child", WM_NCCREATE},
        {"child", WM_NCCALCSIZE},
        {"child", WM_CREATE},
        {"child", WM_SIZE, kLParam, 0, MAKELPARAM(30, 20)},
        {"child", WM_MOVE, kLParam, 0, MAKELPARAM(5, 6)},
        {"parent", WM_PARENTNOTIFY, kWParam, MAKEWPARAM(WM_CREATE, 7)},
        {"child", WM_SHOWWINDOW, kWParam, TRUE},
        {"child", WM_WINDOWPOSCHANGING},
        {"child", WM_WINDOWPOSCHANGED},
    }));
}

TEST_F(Lifecycle, DestroySendsDestroyParentFirstAndNcDestroyChildrenFirst) {
    HWND top = make("top", WS_VISIBLE, nullptr);
    HWND a = make("a", WS_CHILD | WS_VISIBLE, top);
    HWND a1 = make("a1", WS_CHILD | WS_VISIBLE, a);
    HWND b = make("b", WS_CHILD, top);
    MessageLog::get().clear();
    ASSERT_TRUE(DestroyWindow(top));
    EXPECT_TRUE(sequenceIs({
        {"top", WM_SHOWWINDOW, kWParam, FALSE},
        {"top", WM_WINDOWPOSCHANGING},
        {"top", WM_ACTIVATE, kWParam | kOptional, WA_INACTIVE},
        {"top", WM_KILLFOCUS, kOptional},
        {"top", WM_WINDOWPOSCHANGED},
        {"top", WM_DESTROY},
        {"a", WM_DESTROY},
        {"a1", WM_DESTROY},
        {"b", WM_DESTROY},
        {"a1", WM_NCDESTROY},
        {"a", WM_NCDESTROY},
        {"b", WM_NCDESTROY},
        {"top", WM_NCDESTROY},
    }));
    for (HWND h : {top, a, a1, b}) EXPECT_FALSE(IsWindow(h));
}

TEST_F(Lifecycle, DestroyingAChildNotifiesItsParentFirst) {
    HWND top = make("top", WS_VISIBLE, nullptr);
    HWND c = make("c", WS_CHILD, top, 0, 0, 10, 10, 33);
    MessageLog::get().clear();
    DestroyWindow(c);
    EXPECT_TRUE(sequenceIs({
        {"top", WM_PARENTNOTIFY, kWParam, MAKEWPARAM(WM_DESTROY, 33)},
        {"c", WM_DESTROY},
        {"c", WM_NCDESTROY},
    }));
}

TEST_F(Lifecycle, DestroyedAndBogusHandlesAreHarmless) {
    HWND top = make("top", 0, nullptr);
    DestroyWindow(top);
    EXPECT_EQ(SendMessageW(top, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"x")), 0);
    EXPECT_FALSE(PostMessageW(top, WM_USER, 0, 0));
    EXPECT_FALSE(DestroyWindow(top));
    HWND bogus = reinterpret_cast<HWND>(0x12345678);
    EXPECT_EQ(GetWindowLongW(bogus, GWL_STYLE), 0);
    EXPECT_EQ(SendMessageW(nullptr, WM_GETTEXTLENGTH, 0, 0), 0);
    RECT r{1, 2, 3, 4};
    EXPECT_FALSE(GetWindowRect(bogus, &r));
    EXPECT_FALSE(SetWindowPos(bogus, nullptr, 0, 0, 1, 1, 0));
    EXPECT_FALSE(IsWindowVisible(bogus));
}

TEST_F(Lifecycle, DefaultPositionIsTheAreaBelowTheNavigationBar) {
    HWND top = CreateWindowExW(0, u"LogWindow", u"t", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    RECT r;
    ASSERT_TRUE(GetWindowRect(top, &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 26);
    EXPECT_EQ(r.right, 240);
    EXPECT_EQ(r.bottom, 320);
}

TEST_F(Lifecycle, WindowWithParentButNeitherChildNorPopupBehavesAsAChild) {
    HWND top = make("top", WS_VISIBLE, nullptr, 0, 26, 240, 294);
    HWND item = make("item", WS_VISIBLE, top, 10, 20, 60, 20, 60001);
    ASSERT_TRUE(item);
    EXPECT_EQ(GetParent(item), top);
    EXPECT_EQ(GetDlgCtrlID(item), 60001);
    EXPECT_EQ(GetDlgItem(top, 60001), item);
    RECT r;
    GetWindowRect(item, &r);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 46);  // placed in the parent's client coordinates
    ShowWindow(top, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(item));
    ShowWindow(top, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(item));
    DestroyWindow(top);
    EXPECT_FALSE(IsWindow(item));
}

// A window that refuses its creation, or destroys itself while it is created. Win32's answers,
// taken from a MinGW probe run under Wine: a refusal of WM_NCCREATE (FALSE) or WM_CREATE (-1)
// gets only WM_NCDESTROY and leaves the last error as it was; a window destroyed during its
// creation is destroyed in full and CreateWindowExW fails with ERROR_INVALID_WINDOW_HANDLE.
struct CreationCase {
    UINT at;      // the message during which the window refuses or goes
    bool refuse;  // answer FALSE / -1 rather than destroy itself
    std::vector<Expected> sequence;
    DWORD error;
};

UINT g_creationAt = 0;
bool g_creationRefuses = false;

LRESULT CALLBACK creationProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_NCCREATE)
        MessageLog::get().name(h, "child");
    loggingProc(h, m, wp, lp);
    if (m != g_creationAt)
        return DefWindowProcW(h, m, wp, lp);
    if (g_creationRefuses)
        return m == WM_CREATE ? -1 : FALSE;
    DestroyWindow(h);
    return DefWindowProcW(h, m, wp, lp);
}

TEST_F(Lifecycle, CreationRefusedOrEndedByTheWindowItself) {
    HWND parent = make("parent", WS_VISIBLE, nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = creationProc;
    wc.lpszClassName = u"CreationCase";
    ASSERT_TRUE(RegisterClassW(&wc));
    const DWORD untouched = 0xDEAD;
    const std::vector<CreationCase> cases = {
        {WM_NCCREATE, true, {{"child", WM_NCCREATE}, {"child", WM_NCDESTROY}}, untouched},
        {WM_CREATE,
         true,
         {{"child", WM_NCCREATE},
          {"child", WM_NCCALCSIZE},
          {"child", WM_CREATE},
          {"child", WM_NCDESTROY}},
         untouched},
        {WM_CREATE,
         false,
         {{"child", WM_NCCREATE},
          {"child", WM_NCCALCSIZE},
          {"child", WM_CREATE},
          {"parent", WM_PARENTNOTIFY, kWParam, MAKEWPARAM(WM_DESTROY, 7)},
          {"child", WM_DESTROY},
          {"child", WM_NCDESTROY}},
         ERROR_INVALID_WINDOW_HANDLE},
        {WM_SIZE,
         false,
         {{"child", WM_NCCREATE},
          {"child", WM_NCCALCSIZE},
          {"child", WM_CREATE},
          {"child", WM_SIZE},
          {"parent", WM_PARENTNOTIFY, kWParam, MAKEWPARAM(WM_DESTROY, 7)},
          {"child", WM_DESTROY},
          {"child", WM_NCDESTROY}},
         ERROR_INVALID_WINDOW_HANDLE},
    };
    for (const CreationCase& c : cases) {
        SCOPED_TRACE(messageName(c.at) + (c.refuse ? " refused" : " destroys itself"));
        g_creationAt = c.at;
        g_creationRefuses = c.refuse;
        MessageLog::get().clear();
        SetLastError(untouched);
        HWND child = CreateWindowExW(0, u"CreationCase", u"", WS_CHILD | WS_VISIBLE, 1, 2, 30, 20,
                                     parent, reinterpret_cast<HMENU>(7), nullptr, nullptr);
        EXPECT_EQ(child, nullptr);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_TRUE(sequenceIs(c.sequence));
        EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr);  // nothing is left in the tree
    }
}

TEST_F(Lifecycle, ChildWithoutParentIsRefused) {
    EXPECT_EQ(CreateWindowExW(0, u"LogWindow", u"", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                              nullptr),
              nullptr);
    EXPECT_EQ(
        CreateWindowExW(0, u"NoSuchClass", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);
}

TEST_F(Lifecycle, TextIsTruncatedToTheBufferWithATerminator) {
    HWND top = make("top", 0, nullptr);
    SetWindowTextW(top, u"Zembrik PPC");
    WCHAR buf[16];
    std::fill(std::begin(buf), std::end(buf), u'#');
    EXPECT_EQ(SendMessageW(top, WM_GETTEXT, 5, reinterpret_cast<LPARAM>(buf)), 4);
    EXPECT_EQ(std::u16string(buf), u"Zemb");
    EXPECT_EQ(buf[5], u'#');
    EXPECT_EQ(GetWindowTextW(top, buf, 1), 0);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(SendMessageW(top, WM_GETTEXT, 0, reinterpret_cast<LPARAM>(buf)), 0);
    EXPECT_EQ(GetWindowTextLengthW(top), 11);
    EXPECT_EQ(GetWindowTextW(top, buf, 16), 11);
    EXPECT_EQ(std::u16string(buf), u"Zembrik PPC");
}

TEST_F(Lifecycle, WindowLongsKeepStyleIdAndUserData) {
    HWND top = make("top", WS_VISIBLE, nullptr, 0, 0, 100, 100, 0, WS_EX_CAPTIONOKBTN);
    HWND c = make("c", WS_CHILD | WS_VISIBLE, top, 0, 0, 10, 10, 50003);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(top, GWL_EXSTYLE)),
              static_cast<DWORD>(WS_EX_CAPTIONOKBTN));
    EXPECT_EQ(GetWindowLongW(c, GWL_ID), 50003);
    EXPECT_TRUE(GetWindowLongW(c, GWL_STYLE) & WS_CHILD);
    int data = 0;
    SetWindowLongPtrW(c, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&data));
    EXPECT_EQ(GetWindowLongPtrW(c, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&data));
    EXPECT_EQ(GetWindowLongW(c, 400), 0);  // no such extra byte
    // A new style repaints nothing by itself (a MinGW probe under Wine answers the same).
    UpdateWindow(top);
    ValidateRect(c, nullptr);
    SetWindowLongW(c, GWL_STYLE, GetWindowLongW(c, GWL_STYLE) | WS_BORDER | 0x1);
    EXPECT_FALSE(GetUpdateRect(c, nullptr, FALSE));
    SetWindowLongW(c, GWL_STYLE, GetWindowLongW(c, GWL_STYLE) & ~WS_VISIBLE);
    EXPECT_FALSE(IsWindowVisible(c));
}

TEST_F(Lifecycle, ClassesCannotBeRegisteredTwiceNorRemovedWhileUsed) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = loggingProc;
    wc.lpszClassName = u"LogWindow";
    EXPECT_EQ(RegisterClassW(&wc), 0);
    HWND w = make("w", 0, nullptr);
    EXPECT_FALSE(UnregisterClassW(u"LogWindow", nullptr));
    DestroyWindow(w);
    EXPECT_TRUE(UnregisterClassW(u"logwindow", nullptr));
    EXPECT_FALSE(UnregisterClassW(u"LogWindow", nullptr));
    WCHAR name[32];
    HWND b = CreateWindowExW(0, u"Dialog", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(GetClassNameW(b, name, 32), 6);
    EXPECT_EQ(std::u16string(name), u"Dialog");
}

TEST_F(Lifecycle, MapWindowPointsAndClientRectFollowTheFrame) {
    HWND top = make("top", WS_VISIBLE, nullptr, 0, 26, 240, 268);
    HWND c = make("c", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL, top, 10, 10, 100, 80);
    RECT cr;
    GetClientRect(c, &cr);
    EXPECT_EQ(cr.right, 100 - 2 - 13);
    EXPECT_EQ(cr.bottom, 80 - 2);
    POINT p{0, 0};
    ClientToScreen(c, &p);
    EXPECT_EQ(p.x, 11);
    EXPECT_EQ(p.y, 37);
    POINT q{0, 0};
    MapWindowPoints(c, top, &q, 1);
    EXPECT_EQ(q.x, 11);
    EXPECT_EQ(q.y, 11);
}

TEST_F(Lifecycle, TopLevelWindowsStackAndDestroyingActivatesTheOneBelow) {
    HWND main = make("main", WS_VISIBLE, nullptr, 0, 26, 240, 294);
    SetWindowTextW(main, u"Main");
    EXPECT_EQ(GetActiveWindow(), main);
    HWND about = make("about", 0, nullptr, 0, 26, 240, 268);
    SetWindowTextW(about, u"About");
    ShowWindow(about, SW_SHOWNORMAL);
    EXPECT_EQ(GetActiveWindow(), about);
    EXPECT_EQ(ce::gwes::navTitle(), u"About");
    DestroyWindow(about);
    EXPECT_EQ(GetActiveWindow(), main);
    EXPECT_EQ(ce::gwes::navTitle(), u"Main");
}

TEST_F(Lifecycle, FocusMovesWithKillAndSetFocusAndLeavesHiddenWindows) {
    HWND top = make("top", WS_VISIBLE, nullptr);
    HWND a = make("a", WS_CHILD | WS_VISIBLE, top);
    HWND b = make("b", WS_CHILD | WS_VISIBLE, top);
    SetFocus(a);
    MessageLog::get().clear();
    EXPECT_EQ(SetFocus(b), a);
    EXPECT_TRUE(sequenceIs({
        {"a", WM_KILLFOCUS, kWParam, reinterpret_cast<WPARAM>(b)},
        {"b", WM_SETFOCUS, kWParam, reinterpret_cast<WPARAM>(a)},
    }));
    ShowWindow(b, SW_HIDE);
    EXPECT_EQ(GetFocus(), top);
    EnableWindow(top, FALSE);
    EXPECT_EQ(GetFocus(), nullptr);
}

}  // namespace
