// The stylus: hit-testing through nested children, hidden and disabled windows, floating
// pop-ups, capture, and activation of the window tapped.
#include "support/msglog.h"

#include "testing/device.h"

using namespace gwestest;

namespace {

class Input : public ::testing::Test {
  protected:
    ce::test::TempDevice device{ce::test::TempDevice::Contents::Empty};
    ScriptedInput input;
    HWND top = nullptr;
    void SetUp() override {
        MessageLog::get().clear();
        MessageLog::get().names.clear();
        registerLogging(u"LogWindow");
        top = CreateWindowExW(0, u"LogWindow", u"t", WS_VISIBLE, 0, 26, 240, 268, nullptr, nullptr,
                              nullptr, nullptr);
        MessageLog::get().name(top, "top");
        ce::gwes::state()->input = &input;
    }
    void TearDown() override { ce::gwes::state()->input = nullptr; }
    HWND child(const char* name, HWND parent, int x, int y, int w, int h,
               DWORD style = WS_CHILD | WS_VISIBLE) {
        HWND c = CreateWindowExW(0, u"LogWindow", u"", style, x, y, w, h, parent, nullptr, nullptr,
                                 nullptr);
        MessageLog::get().name(c, name);
        return c;
    }
    HWND tappedAt(int x, int y) {
        MessageLog::get().clear();
        input.tap(x, y);
        runUntilIdle();
        for (auto& e : MessageLog::get().entries)
            if (e.msg == WM_LBUTTONDOWN)
                return e.hwnd;
        return nullptr;
    }
};

TEST_F(Input, TapReachesTheDeepestVisibleEnabledWindow) {
    HWND outer = child("outer", top, 10, 10, 200, 200);
    HWND inner = child("inner", outer, 20, 20, 100, 100);
    HWND leaf = child("leaf", inner, 10, 10, 30, 30);
    EXPECT_EQ(tappedAt(10 + 20 + 10 + 5, 26 + 10 + 20 + 10 + 5), leaf);
    // in client coordinates of the leaf
    for (auto& e : MessageLog::get().entries)
        if (e.msg == WM_LBUTTONDOWN) {
            EXPECT_EQ(GET_X_LPARAM(e.lp), 5);
            EXPECT_EQ(GET_Y_LPARAM(e.lp), 5);
        }
    ShowWindow(leaf, SW_HIDE);
    EXPECT_EQ(tappedAt(45, 26 + 45), inner);
    EnableWindow(inner, FALSE);
    EXPECT_EQ(tappedAt(45, 26 + 45), outer);
    EXPECT_EQ(tappedAt(5, 26 + 5), top);
}

TEST_F(Input, PopupChildFloatsAboveItsSiblings) {
    HWND page = child("page", top, 0, 0, 240, 240);
    HWND list = child("list", page, 0, 0, 240, 200);
    HWND searching = child("searching", page, 77, 110, 94, 54, WS_POPUP | WS_CHILD | WS_VISIBLE);
    HWND later = child("later", page, 0, 0, 240, 200);
    (void)later;
    RECT r;
    GetWindowRect(searching, &r);
    EXPECT_EQ(r.left, 77);
    EXPECT_EQ(r.top, 26 + 110);
    EXPECT_EQ(tappedAt(100, 26 + 120), searching);
    EXPECT_EQ(tappedAt(10, 26 + 10), list);  // the first created child is above the later one
}

TEST_F(Input, CaptureGetsTheStylusOutsideTheWindow) {
    HWND a = child("a", top, 0, 0, 50, 50);
    HWND b = child("b", top, 100, 100, 50, 50);
    SetCapture(a);
    MessageLog::get().clear();
    input.tap(120, 26 + 120);
    runUntilIdle();
    EXPECT_EQ(countOf(a, WM_LBUTTONDOWN), 1u);
    EXPECT_EQ(countOf(a, WM_LBUTTONUP), 1u);
    EXPECT_EQ(countOf(b, WM_LBUTTONDOWN), 0u);
    ReleaseCapture();
    EXPECT_EQ(tappedAt(120, 26 + 120), b);
}

TEST_F(Input, TappingALowerTopLevelWindowActivatesIt) {
    HWND lower = top;
    HWND upper = CreateWindowExW(0, u"LogWindow", u"upper", WS_VISIBLE, 0, 26, 240, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    EXPECT_EQ(GetActiveWindow(), upper);
    EXPECT_EQ(tappedAt(100, 250), lower);
    EXPECT_EQ(GetActiveWindow(), lower);
    EXPECT_EQ(tappedAt(100, 50), lower);  // the lower window is now on top of the upper one
}

TEST_F(Input, TapsOnTheNavigationBarDoNotReachTheWindowBelow) {
    HWND under = CreateWindowExW(0, u"LogWindow", u"under", WS_VISIBLE, 0, 0, 240, 320, nullptr,
                                 nullptr, nullptr, nullptr);
    MessageLog::get().name(under, "under");
    EXPECT_EQ(tappedAt(100, 10), nullptr);
    EXPECT_EQ(tappedAt(100, 100), under);
}

}  // namespace
