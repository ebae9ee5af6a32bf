// "COMBOBOX" (drop-down list): the selection's edge answers, the field height, and choosing an
// entry from the dropped list with the stylus.
#include "harness.h"

namespace ctltest {
namespace {

constexpr DWORD kDropDownList = CBS_DROPDOWNLIST;

void fill(HWND combo) {
    for (const char16_t* t : {u"1024 kb", u"2048 kb", u"3072 kb"})
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
}

std::u16string lbText(HWND combo, int i) {
    WCHAR buffer[64] = {};
    if (SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(buffer)) == CB_ERR)
        return u"<CB_ERR>";
    return buffer;
}

using ComboBoxTest = ControlTest;

TEST_F(ComboBoxTest, SetCurSelEdgeAnswers) {
    HWND combo = child(u"COMBOBOX", u"", kDropDownList, 146, 80, 70, 72, 50027);
    ASSERT_NE(combo, nullptr);
    fill(combo);
    EXPECT_EQ(3, SendMessageW(combo, CB_GETCOUNT, 0, 0));
    EXPECT_EQ(CB_ERR, SendMessageW(combo, CB_GETCURSEL, 0, 0));
    EXPECT_EQ(0, SendMessageW(combo, CB_SETCURSEL, 0, 0));
    EXPECT_EQ(2, SendMessageW(combo, CB_SETCURSEL, 2, 0));
    EXPECT_EQ(CB_ERR, SendMessageW(combo, CB_SETCURSEL, 3, 0));  // past the end: kept
    EXPECT_EQ(2, SendMessageW(combo, CB_GETCURSEL, 0, 0));
    EXPECT_EQ(u"3072 kb", windowText(combo));
    EXPECT_EQ(CB_ERR, SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0));  // clears
    EXPECT_EQ(CB_ERR, SendMessageW(combo, CB_GETCURSEL, 0, 0));
    EXPECT_EQ(u"", windowText(combo));
    EXPECT_EQ(u"2048 kb", lbText(combo, 1));
    EXPECT_EQ(7, SendMessageW(combo, CB_GETLBTEXTLEN, 1, 0));
    EXPECT_EQ(u"<CB_ERR>", lbText(combo, 3));
    EXPECT_EQ(CB_ERR, SendMessageW(combo, CB_GETLBTEXTLEN, 3, 0));
    EXPECT_EQ(1, SendMessageW(combo, CB_INSERTSTRING, 1, reinterpret_cast<LPARAM>(u"512 kb")));
    EXPECT_EQ(u"512 kb", lbText(combo, 1));
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    EXPECT_EQ(0, SendMessageW(combo, CB_GETCOUNT, 0, 0));
    EXPECT_TRUE(matches({}));
}

std::vector<Query> comboState(int cur, int dropped) {
    return {{CB_GETCURSEL, 0, cur}, {CB_GETDROPPEDSTATE, 0, dropped}};
}

// Win32's answers, from a MinGW probe under Wine on the program's drop-down list: an index past
// the end keeps the selection, -1 clears it; CB_SETITEMDATA answers TRUE; the item height of the
// selection field (-1) is the field's, of the list's entries refused unless the combo draws them;
// the dropped width is never below the combo's; a drop-down list has no edit field (WM_SETTEXT,
// CB_SETEDITSEL: CB_ERR) but CB_LIMITTEXT answers TRUE. The field repaints when the selection
// changes (Wine repaints it for every CB_SETCURSEL; an unchanged one repaints nothing here).
TEST_F(ComboBoxTest, SettersAnswerAsWin32) {
    HWND c = child(u"COMBOBOX", u"", kDropDownList, 10, 10, 100, 100, 50027);
    fill(c);
    const auto item = [](int i) { return static_cast<WPARAM>(i); };
    runSetterTable(
        c,
        {
            {"select 1", CB_SETCURSEL, 1, 0, 1, Y, comboState(1, 0), u"2048 kb"},
            {"select 1 again", CB_SETCURSEL, 1, 0, 1, N, comboState(1, 0), u"2048 kb"},
            {"past the end keeps it", CB_SETCURSEL, 3, 0, CB_ERR, N, comboState(1, 0), u"2048 kb"},
            {"select 2", CB_SETCURSEL, 2, 0, 2, Y, comboState(2, 0), u"3072 kb"},
            {"-1 clears", CB_SETCURSEL, item(-1), 0, CB_ERR, Y, comboState(CB_ERR, 0), u""},
            {"-1 again", CB_SETCURSEL, item(-1), 0, CB_ERR, N, comboState(CB_ERR, 0), u""},
            {"-7", CB_SETCURSEL, item(-7), 0, CB_ERR, N, comboState(CB_ERR, 0), u""},
            {"select 0", CB_SETCURSEL, 0, 0, 0, Y, comboState(0, 0), u"1024 kb"},
            {"data", CB_SETITEMDATA, 1, 77, TRUE, N, {{CB_GETITEMDATA, 1, 77}}},
            {"data past the end", CB_SETITEMDATA, 9, 77, CB_ERR, N, {{CB_GETITEMDATA, 9, CB_ERR}}},
            {"data for -1", CB_SETITEMDATA, item(-1), 55, CB_ERR, N, {{CB_GETITEMDATA, 0, 0}}},
            {"entry height of a combo that does not draw them",
             CB_SETITEMHEIGHT,
             0,
             20,
             CB_ERR,
             N,
             {}},
            {"field height",
             CB_SETITEMHEIGHT,
             item(-1),
             22,
             22,
             Y,
             {{CB_GETITEMHEIGHT, item(-1), 24}}},
            {"top index", CB_SETTOPINDEX, 1, 0, 0, N, {{CB_GETTOPINDEX, 0, 0}}},
            {"extent", CB_SETHORIZONTALEXTENT, 300, 0, 0, N, {{CB_GETHORIZONTALEXTENT, 0, 300}}},
            {"dropped width below the combo's",
             CB_SETDROPPEDWIDTH,
             50,
             0,
             100,
             N,
             {{CB_GETDROPPEDWIDTH, 0, 100}}},
            {"dropped width 300",
             CB_SETDROPPEDWIDTH,
             300,
             0,
             300,
             N,
             {{CB_GETDROPPEDWIDTH, 0, 300}}},
            {"dropped width -1",
             CB_SETDROPPEDWIDTH,
             item(-1),
             0,
             100,
             N,
             {{CB_GETDROPPEDWIDTH, 0, 100}}},
            {"no edit selection", CB_SETEDITSEL, 0, MAKELPARAM(0, -1), CB_ERR, N, {}},
            {"limit: always TRUE", CB_LIMITTEXT, 3, 0, TRUE, N, {}},
            {"no text of its own", WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"2048 kb"), CB_ERR, N,
             comboState(0, 0), u"1024 kb"},
            {"insert past the end",
             CB_INSERTSTRING,
             9,
             reinterpret_cast<LPARAM>(u"x"),
             CB_ERR,
             N,
             {{CB_GETCOUNT, 0, 3}}},
            {"delete past the end", CB_DELETESTRING, 9, 0, CB_ERR, N, {{CB_GETCOUNT, 0, 3}}},
            {"select 2 to delete it", CB_SETCURSEL, 2, 0, 2, Y, comboState(2, 0)},
            {"deleting the selection clears it", CB_DELETESTRING, 2, 0, 2, Y, comboState(CB_ERR, 0),
             u""},
        });
    // Dropping is a setter too; its answer is TRUE both ways.
    EXPECT_TRUE(SendMessageW(c, CB_SHOWDROPDOWN, TRUE, 0));
    EXPECT_EQ(TRUE, SendMessageW(c, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_TRUE(SendMessageW(c, CB_SHOWDROPDOWN, TRUE, 0));
    EXPECT_TRUE(SendMessageW(c, CB_SHOWDROPDOWN, FALSE, 0));
    EXPECT_EQ(FALSE, SendMessageW(c, CB_GETDROPPEDSTATE, 0, 0));
}

TEST_F(ComboBoxTest, HeightGivenIncludesTheDroppedList) {
    HWND combo = child(u"COMBOBOX", u"", kDropDownList, 146, 80, 70, 72, 50027);
    RECT rc{};
    GetWindowRect(combo, &rc);
    EXPECT_EQ(70, rc.right - rc.left);
    EXPECT_LT(rc.bottom - rc.top, 30);  // only the field
    EXPECT_GT(rc.bottom - rc.top, 12);
    fill(combo);
    EXPECT_EQ(FALSE, SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
    SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    EXPECT_EQ(TRUE, SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
    RECT dropped{};
    SendMessageW(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    EXPECT_EQ(rc.bottom, dropped.top);
    EXPECT_LE(dropped.bottom - dropped.top, 72 - (rc.bottom - rc.top));
    SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
    EXPECT_EQ(FALSE, SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
}

TEST(ComboBoxInput, TapDropsAndTapOnEntryChoosesIt) {
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    resetRecord();
    HWND combo = nullptr;
    ce::test::Driver driver([&] {
        HWND parent = createParent();
        combo = createChild(parent, u"COMBOBOX", u"", kDropDownList, 146, 80, 70, 72, 50029);
        fill(combo);
        SendMessageW(combo, CB_SETCURSEL, 0, 0);
        return runLoop();
    });
    ASSERT_NE(combo, nullptr);
    driver.tap(combo);
    ASSERT_EQ(TRUE, SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
    HWND list = driver.find({.className = u"ComboLBox"});
    ASSERT_NE(list, nullptr) << narrow(driver.describeScreen());
    RECT item{};
    ASSERT_NE(LB_ERR, SendMessageW(list, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&item)));
    const POINT p = screenPoint(list, 10, (item.top + item.bottom) / 2);
    driver.tap(p.x, p.y);
    EXPECT_EQ(FALSE, SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(2, SendMessageW(combo, CB_GETCURSEL, 0, 0));
    EXPECT_FALSE(IsWindowVisible(list));
    EXPECT_TRUE(matches({{WM_COMMAND, CBN_SETFOCUS, 50029},
                         {WM_COMMAND, CBN_DROPDOWN, 50029},
                         {WM_COMMAND, CBN_SELCHANGE, 50029},
                         {WM_COMMAND, CBN_SELENDOK, 50029},
                         {WM_COMMAND, CBN_CLOSEUP, 50029}}));

    // A tap beside the dropped list closes it and keeps the selection.
    received().clear();
    driver.tap(combo);
    driver.tap(20, 300);
    EXPECT_EQ(FALSE, SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(2, SendMessageW(combo, CB_GETCURSEL, 0, 0));
    EXPECT_TRUE(matches({{WM_COMMAND, CBN_DROPDOWN, 50029},
                         {WM_COMMAND, CBN_SELENDCANCEL, 50029},
                         {WM_COMMAND, CBN_CLOSEUP, 50029}}));
    driver.stop();
}

// A dropped list closes as a person expects: Escape, a tap on the combo box itself, a tap
// anywhere else. The tap that closes it does nothing more: the check box it lands on is not
// ticked, and the list does not drop again.
TEST(ComboBoxInput, ADroppedListClosesOnEscapeOnItsBoxOrElsewhereAndThatTapIsSpent) {
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    resetRecord();
    HWND combo = nullptr, check = nullptr;
    ce::test::Driver driver([&] {
        HWND parent = createParent();
        combo = createChild(parent, u"COMBOBOX", u"", kDropDownList, 146, 80, 70, 72, 50029);
        check = createChild(parent, u"BUTTON", u"Limit Pocket IE History",
                            BS_AUTOCHECKBOX | WS_TABSTOP, 2, 102, 142, 18, 50028);
        fill(combo);
        SendMessageW(combo, CB_SETCURSEL, 1, 0);
        return runLoop();
    });
    ASSERT_NE(combo, nullptr);
    auto dropped = [&] { return SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) == TRUE; };
    driver.tap(combo);
    ASSERT_TRUE(dropped());
    driver.key(VK_ESCAPE);
    EXPECT_FALSE(dropped());

    driver.tap(combo);
    ASSERT_TRUE(dropped());
    driver.tap(combo);
    EXPECT_FALSE(dropped());

    driver.tap(combo);
    ASSERT_TRUE(dropped());
    driver.tap(check);
    EXPECT_FALSE(dropped());
    EXPECT_EQ(BST_UNCHECKED, SendMessageW(check, BM_GETCHECK, 0, 0));
    driver.tap(check);  // the next tap is a tap again
    EXPECT_EQ(BST_CHECKED, SendMessageW(check, BM_GETCHECK, 0, 0));
    EXPECT_EQ(1, SendMessageW(combo, CB_GETCURSEL, 0, 0));
    driver.stop();
}

}  // namespace
}  // namespace ctltest
