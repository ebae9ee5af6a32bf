// "BUTTON" and "STATIC": check states, clicks and what a tap does, and the tick on screen.
#include "display/display.h"
#include "harness.h"

namespace ctltest {
namespace {

using ButtonTest = ControlTest;

TEST_F(ButtonTest, CheckStatesFollowWin32) {
    HWND push = child(u"BUTTON", u"Go", BS_PUSHBUTTON, 2, 2, 60, 18, 100);
    HWND box = child(u"BUTTON", u"Tick", BS_AUTOCHECKBOX, 2, 22, 100, 18, 101);
    HWND manual = child(u"BUTTON", u"Manual", BS_CHECKBOX, 2, 42, 100, 18, 102);
    ASSERT_TRUE(push && box && manual);

    SendMessageW(push, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(BST_UNCHECKED, SendMessageW(push, BM_GETCHECK, 0, 0));  // a push button has none

    SendMessageW(box, BM_SETCHECK, 5, 0);  // any value above 1 checks a two-state box
    EXPECT_EQ(BST_CHECKED, SendMessageW(box, BM_GETCHECK, 0, 0));
    SendMessageW(box, BM_SETCHECK, BST_INDETERMINATE, 0);
    EXPECT_EQ(BST_CHECKED, SendMessageW(box, BM_GETCHECK, 0, 0));
    SendMessageW(box, BM_SETCHECK, BST_UNCHECKED, 0);
    EXPECT_EQ(BST_UNCHECKED, SendMessageW(box, BM_GETCHECK, 0, 0));

    SendMessageW(manual, BM_SETSTATE, TRUE, 0);
    EXPECT_EQ(BST_PUSHED, SendMessageW(manual, BM_GETSTATE, 0, 0) & BST_PUSHED);
    SendMessageW(manual, BM_SETSTATE, FALSE, 0);
    EXPECT_EQ(0, SendMessageW(manual, BM_GETSTATE, 0, 0) & BST_PUSHED);
    EXPECT_TRUE(matches({}));  // setting states notifies nobody
}

TEST_F(ButtonTest, ClickTogglesOnlyAutomaticBoxesAndNotifies) {
    HWND box = child(u"BUTTON", u"Tick", BS_AUTOCHECKBOX, 2, 2, 100, 18, 101);
    HWND manual = child(u"BUTTON", u"Manual", BS_CHECKBOX, 2, 22, 100, 18, 102);
    SendMessageW(box, BM_CLICK, 0, 0);
    SendMessageW(manual, BM_CLICK, 0, 0);
    EXPECT_EQ(BST_CHECKED, SendMessageW(box, BM_GETCHECK, 0, 0));
    EXPECT_EQ(BST_UNCHECKED, SendMessageW(manual, BM_GETCHECK, 0, 0));
    EXPECT_TRUE(matches({{WM_COMMAND, BN_CLICKED, 101}, {WM_COMMAND, BN_CLICKED, 102}}));
    EXPECT_EQ(box, received()[0].from);
    SendMessageW(box, BM_CLICK, 0, 0);
    EXPECT_EQ(BST_UNCHECKED, SendMessageW(box, BM_GETCHECK, 0, 0));
}

// The tick of a check box is drawn in the window text colour inside the box.
int darkPixels(HWND button) {
    RECT rc{};
    GetWindowRect(button, &rc);
    const auto& fb = ce::display::screen();
    int dark = 0;
    const int top = (rc.top + rc.bottom) / 2 - 4;
    for (int y = top; y < top + 8; ++y)
        for (int x = rc.left + 3; x < rc.left + 10; ++x) {
            const uint32_t p = fb.pixels[static_cast<size_t>(y * fb.width + x)];
            if (((p >> 16) & 0xFF) < 0x60 && ((p >> 8) & 0xFF) < 0x60 && (p & 0xFF) < 0x60)
                ++dark;
        }
    return dark;
}

TEST(ButtonInput, TapTogglesCheckBoxAndDrawsTick) {
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    resetRecord();
    HWND box = nullptr;
    ce::test::Driver driver([&] {
        HWND parent = createParent();
        box = createChild(parent, u"BUTTON", u"Silent cleanup", BS_AUTOCHECKBOX, 2, 64, 160, 18,
                          50050);
        return runLoop();
    });
    ASSERT_NE(box, nullptr);
    const int before = darkPixels(box);
    driver.tap(box);
    EXPECT_EQ(BST_CHECKED, SendMessageW(box, BM_GETCHECK, 0, 0));
    const int ticked = darkPixels(box);
    EXPECT_GT(ticked, before + 4) << "no tick drawn after the tap";
    driver.tap(box);
    EXPECT_EQ(BST_UNCHECKED, SendMessageW(box, BM_GETCHECK, 0, 0));
    EXPECT_LT(darkPixels(box), ticked);
    EXPECT_TRUE(matches({{WM_COMMAND, BN_CLICKED, 50050}, {WM_COMMAND, BN_CLICKED, 50050}}));
    driver.stop();
}

TEST(ButtonInput, ReleaseOutsideIsNoClick) {
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    resetRecord();
    HWND push = nullptr;
    ce::test::Driver driver([&] {
        HWND parent = createParent();
        push = createChild(parent, u"BUTTON", u"Browse", BS_PUSHBUTTON, 164, 20, 50, 18, 50003);
        return runLoop();
    });
    ASSERT_NE(push, nullptr);
    driver.drag(screenPoint(push, 10, 9), screenPoint(push, 10, 60));
    EXPECT_TRUE(matches({}));
    EXPECT_EQ(0, SendMessageW(push, BM_GETSTATE, 0, 0) & BST_PUSHED);  // released, drawn up again
    driver.tap(push);
    EXPECT_TRUE(matches({{WM_COMMAND, BN_CLICKED, 50003}}));
    driver.stop();
}

using StaticTest = ControlTest;

TEST_F(StaticTest, TextIsTheWindowTextAndWraps) {
    HWND label = child(u"STATIC", u"Search Directories", SS_LEFT, 2, 134, 100, 18, 50010);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(u"Search Directories", windowText(label));
    SetWindowTextW(label, u"A much longer label that cannot fit on one line");
    EXPECT_EQ(u"A much longer label that cannot fit on one line", windowText(label));
    // A label lets taps through to what lies beneath it unless it notifies.
    EXPECT_EQ(HTTRANSPARENT, SendMessageW(label, WM_NCHITTEST, 0, 0));
    HWND notifying = child(u"STATIC", u"x", SS_NOTIFY, 2, 2, 20, 18, 7);
    EXPECT_EQ(HTCLIENT, SendMessageW(notifying, WM_NCHITTEST, 0, 0));
}

}  // namespace
}  // namespace ctltest
