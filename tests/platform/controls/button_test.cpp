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

std::vector<Query> checkState(LRESULT check, LRESULT state) {
    return {{BM_GETCHECK, 0, check}, {BM_GETSTATE, 0, state}};
}

// Win32's answers, from a MinGW probe under Wine: BM_SETCHECK clamps to the highest state of the
// kind (1, or 2 for the three-state kinds; a push button keeps 0) and makes a checked radio
// button a tab stop; BM_SETSTATE adds BST_PUSHED to BM_GETSTATE; BM_SETSTYLE changes only the
// kind (BS_TYPEMASK) and repaints when asked to; WM_SETTEXT repaints even the same text. Setters
// repaint what changed and nothing else.
TEST_F(ButtonTest, SettersAnswerAsWin32) {
    HWND box = child(u"BUTTON", u"Box", BS_AUTOCHECKBOX, 2, 2, 100, 18, 101);
    runSetterTable(
        box,
        {
            {"check", BM_SETCHECK, 1, 0, 0, Y, checkState(1, 1)},
            {"check again", BM_SETCHECK, 1, 0, 0, N, checkState(1, 1)},
            {"indeterminate on two states", BM_SETCHECK, 2, 0, 0, N, checkState(1, 1)},
            {"uncheck", BM_SETCHECK, 0, 0, 0, Y, checkState(0, 0)},
            {"7 checks", BM_SETCHECK, 7, 0, 0, Y, checkState(1, 1)},
            {"-1 checks", BM_SETCHECK, static_cast<WPARAM>(-1), 0, 0, N, checkState(1, 1)},
            {"pushed", BM_SETSTATE, 1, 0, 0, Y, checkState(1, 5)},
            {"pushed again", BM_SETSTATE, 1, 0, 0, N, checkState(1, 5)},
            {"any non-zero pushes", BM_SETSTATE, 5, 0, 0, N, checkState(1, 5)},
            {"released", BM_SETSTATE, 0, 0, 0, Y, checkState(1, 1)},
            {"kind changed, no redraw", BM_SETSTYLE, BS_AUTO3STATE, FALSE, 0, N, checkState(1, 1),
             nullptr, 0x50000006},
            {"same text", WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"Box"), TRUE, Y, {}, u"Box"},
            {"no text", WM_SETTEXT, 0, 0, TRUE, Y, {}, u""},
        });
    HWND three = child(u"BUTTON", u"Three", BS_AUTO3STATE, 2, 22, 100, 18, 102);
    runSetterTable(three, {
                              {"indeterminate", BM_SETCHECK, 2, 0, 0, Y, checkState(2, 2)},
                              {"7 is indeterminate", BM_SETCHECK, 7, 0, 0, N, checkState(2, 2)},
                              {"uncheck", BM_SETCHECK, 0, 0, 0, Y, checkState(0, 0)},
                              {"-1 is indeterminate", BM_SETCHECK, static_cast<WPARAM>(-1), 0, 0, Y,
                               checkState(2, 2)},
                          });
    HWND push = child(u"BUTTON", u"Push", BS_PUSHBUTTON, 2, 42, 100, 18, 103);
    runSetterTable(push,
                   {
                       {"a push button has no check", BM_SETCHECK, 1, 0, 0, N, checkState(0, 0)},
                       {"pushed", BM_SETSTATE, 1, 0, 0, Y, checkState(0, BST_PUSHED)},
                       {"released", BM_SETSTATE, 0, 0, 0, Y, checkState(0, 0)},
                       {"default push, redraw",
                        BM_SETSTYLE,
                        BS_DEFPUSHBUTTON,
                        TRUE,
                        0,
                        Y,
                        {},
                        nullptr,
                        0x50000001},
                       {"same style, redraw",
                        BM_SETSTYLE,
                        BS_DEFPUSHBUTTON,
                        TRUE,
                        0,
                        Y,
                        {},
                        nullptr,
                        0x50000001},
                       {"plain push, no redraw",
                        BM_SETSTYLE,
                        BS_PUSHBUTTON,
                        FALSE,
                        0,
                        N,
                        {},
                        nullptr,
                        0x50000000},
                       {"only the kind bits are taken",
                        BM_SETSTYLE,
                        0xF0001234,
                        FALSE,
                        0,
                        N,
                        {},
                        nullptr,
                        0x50000004},
                   });
    HWND radio = child(u"BUTTON", u"Radio", BS_AUTORADIOBUTTON, 2, 62, 100, 18, 104);
    runSetterTable(
        radio,
        {
            {"check: a tab stop", BM_SETCHECK, 1, 0, 0, Y, checkState(1, 1), nullptr, 0x50010009},
            {"2 checks", BM_SETCHECK, 2, 0, 0, N, checkState(1, 1), nullptr, 0x50010009},
            {"uncheck: no tab stop", BM_SETCHECK, 0, 0, 0, Y, checkState(0, 0), nullptr,
             0x50000009},
        });
    EXPECT_TRUE(matches({}));  // setting states notifies nobody
}

// A label's one setter is its text: Win32 (a MinGW probe under Wine) answers TRUE and redraws
// it every time, the same text too; no text is an empty label.
TEST_F(ButtonTest, StaticTextSetterAnswersAsWin32) {
    HWND label = child(u"STATIC", u"Label", SS_LEFT, 2, 2, 100, 18, 0);
    const auto text = [](const char16_t* t) { return reinterpret_cast<LPARAM>(t); };
    runSetterTable(label,
                   {
                       {"same text", WM_SETTEXT, 0, text(u"Label"), TRUE, Y, {}, u"Label"},
                       {"other text", WM_SETTEXT, 0, text(u"Other"), TRUE, Y, {}, u"Other"},
                       {"no text", WM_SETTEXT, 0, 0, TRUE, Y, {{WM_GETTEXTLENGTH, 0, 0}}, u""},
                   });
}

TEST_F(ButtonTest, AutomaticRadioButtonsClearTheirGroup) {
    HWND a = child(u"BUTTON", u"A", BS_AUTORADIOBUTTON | WS_GROUP, 2, 2, 100, 18, 201);
    HWND b = child(u"BUTTON", u"B", BS_AUTORADIOBUTTON, 2, 22, 100, 18, 202);
    HWND manual = child(u"BUTTON", u"M", BS_RADIOBUTTON, 2, 42, 100, 18, 203);
    HWND other = child(u"BUTTON", u"C", BS_AUTORADIOBUTTON | WS_GROUP, 2, 62, 100, 18, 204);
    for (HWND h : {a, manual, other}) SendMessageW(h, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(b, BM_CLICK, 0, 0);
    EXPECT_EQ(BST_UNCHECKED, SendMessageW(a, BM_GETCHECK, 0, 0));
    EXPECT_EQ(BST_CHECKED, SendMessageW(b, BM_GETCHECK, 0, 0));
    EXPECT_EQ(BST_CHECKED, SendMessageW(manual, BM_GETCHECK, 0, 0));  // not an automatic one
    EXPECT_EQ(BST_CHECKED, SendMessageW(other, BM_GETCHECK, 0, 0));   // another group
    SendMessageW(b, BM_CLICK, 0, 0);  // a checked automatic radio button stays checked
    EXPECT_EQ(BST_CHECKED, SendMessageW(b, BM_GETCHECK, 0, 0));
    EXPECT_TRUE(matches({{WM_COMMAND, BN_CLICKED, 202}, {WM_COMMAND, BN_CLICKED, 202}}));
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
