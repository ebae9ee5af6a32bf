// "msctls_trackbar32" and "SysTabControl32": clamping, the codes a tap and a drag send, tab
// selection with refusal, the display area with the tabs below it, and the program's six tabs.
#include "harness.h"

namespace ctltest {
namespace {

using TrackbarTest = ControlTest;

TEST_F(TrackbarTest, RangeAndPositionClamp) {
    HWND slider = child(TRACKBAR_CLASSW, u"Slider", TBS_AUTOTICKS, 2, 20, 210, 24, 50049);
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(0, SendMessageW(slider, TBM_GETRANGEMIN, 0, 0));
    EXPECT_EQ(100, SendMessageW(slider, TBM_GETRANGEMAX, 0, 0));
    SendMessageW(slider, TBM_SETRANGE, TRUE, MAKELONG(0, 2));
    SendMessageW(slider, TBM_SETPOS, TRUE, 7);
    EXPECT_EQ(2, SendMessageW(slider, TBM_GETPOS, 0, 0));
    SendMessageW(slider, TBM_SETPOS, TRUE, -3);
    EXPECT_EQ(0, SendMessageW(slider, TBM_GETPOS, 0, 0));
    SendMessageW(slider, TBM_SETPOS, TRUE, 1);
    SendMessageW(slider, TBM_SETRANGEMAX, TRUE, 0);  // the position follows the shrinking range
    EXPECT_EQ(0, SendMessageW(slider, TBM_GETPOS, 0, 0));
    SendMessageW(slider, TBM_SETRANGEMAX, TRUE, 2);
    EXPECT_EQ(3, SendMessageW(slider, TBM_GETNUMTICS, 0, 0));  // a tick at every position
    EXPECT_EQ(1, SendMessageW(slider, TBM_GETPAGESIZE, 0, 0));
    EXPECT_EQ(1, SendMessageW(slider, TBM_SETPAGESIZE, 0, 2));  // answers the old size
    EXPECT_EQ(1, SendMessageW(slider, TBM_SETLINESIZE, 0, 1));
    EXPECT_TRUE(matches({}));  // the program's own changes are not notified
}

// The trackbar's state after a setter: range, position, page size and number of ticks.
std::vector<Query> slider(int min, int max, int pos, int page, int tics) {
    return {{TBM_GETRANGEMIN, 0, min},
            {TBM_GETRANGEMAX, 0, max},
            {TBM_GETPOS, 0, pos},
            {TBM_GETPAGESIZE, 0, page},
            {TBM_GETNUMTICS, 0, tics}};
}

// Win32's answers: Wine's conformance tests of the trackbar (reversed ranges are kept, a maximum
// of -1 is taken, the automatic page size is a fifth of the range and follows it until the
// program sets one, -1 restores it, the position follows a range that moves past it), and a
// MinGW probe under Wine for the rest. A redraw flag repaints even an unchanged range; a
// position repaints when the value asked for differs from the old one, even when clamped to it.
TEST_F(TrackbarTest, SettersAnswerAsWin32) {
    HWND t = child(TRACKBAR_CLASSW, u"Slider", TBS_AUTOTICKS, 2, 20, 210, 24, 50049);
    ASSERT_NE(t, nullptr);
    // Automatic ticks come with the first range a program sets.
    EXPECT_EQ(2, SendMessageW(t, TBM_GETNUMTICS, 0, 0));
    runSetterTable(
        t,
        {
            {"range 0..2", TBM_SETRANGE, TRUE, MAKELONG(0, 2), 0, Y, slider(0, 2, 0, 1, 3)},
            {"same range, redraw", TBM_SETRANGE, TRUE, MAKELONG(0, 2), 0, Y, slider(0, 2, 0, 1, 3)},
            {"same range, no redraw", TBM_SETRANGE, FALSE, MAKELONG(0, 2), 0, N,
             slider(0, 2, 0, 1, 3)},
            {"position 1", TBM_SETPOS, TRUE, 1, 0, Y, slider(0, 2, 1, 1, 3)},
            {"position 1 again", TBM_SETPOS, TRUE, 1, 0, N, slider(0, 2, 1, 1, 3)},
            {"position above the range", TBM_SETPOS, TRUE, 7, 0, Y, slider(0, 2, 2, 1, 3)},
            {"clamped to where it is", TBM_SETPOS, TRUE, 9, 0, Y, slider(0, 2, 2, 1, 3)},
            {"position below the range", TBM_SETPOS, TRUE, -3, 0, Y, slider(0, 2, 0, 1, 3)},
            {"position without redraw", TBM_SETPOS, FALSE, 1, 0, N, slider(0, 2, 1, 1, 3)},
            {"reversed range 10..0 is kept", TBM_SETRANGE, TRUE, MAKELONG(10, 0), 0, Y,
             slider(10, 0, 0, -2, 2)},
            {"position in a reversed range", TBM_SETPOS, TRUE, 5, 0, Y, slider(10, 0, 0, -2, 2)},
            {"negative range", TBM_SETRANGE, TRUE, MAKELONG(-5, -1), 0, Y,
             slider(-5, -1, -1, 1, 5)},
            {"range 0..100", TBM_SETRANGE, TRUE, MAKELONG(0, 100), 0, Y,
             slider(0, 100, 0, 20, 101)},
            {"position 50", TBM_SETPOS, TRUE, 50, 0, Y, slider(0, 100, 50, 20, 101)},
            {"maximum -1", TBM_SETRANGEMAX, TRUE, -1, 0, Y, slider(0, -1, 0, 1, 2)},
            {"maximum 100", TBM_SETRANGEMAX, TRUE, 100, 0, Y, slider(0, 100, 0, 20, 101)},
            {"same maximum, redraw", TBM_SETRANGEMAX, TRUE, 100, 0, Y, slider(0, 100, 0, 20, 101)},
            {"same maximum, no redraw", TBM_SETRANGEMAX, FALSE, 100, 0, N,
             slider(0, 100, 0, 20, 101)},
            {"position 50 again", TBM_SETPOS, TRUE, 50, 0, Y, slider(0, 100, 50, 20, 101)},
            {"minimum past the position", TBM_SETRANGEMIN, TRUE, 70, 0, Y,
             slider(70, 100, 70, 6, 31)},
            {"minimum above the maximum", TBM_SETRANGEMIN, TRUE, 200, 0, Y,
             slider(200, 100, 200, -20, 2)},
            {"minimum -1 leaves the position", TBM_SETRANGEMIN, TRUE, -1, 0, Y,
             slider(-1, 100, 200, 20, 102)},
            {"range 0..2 again", TBM_SETRANGE, TRUE, MAKELONG(0, 2), 0, Y, slider(0, 2, 2, 1, 3)},
            {"maximum beyond 16 bits", TBM_SETRANGEMAX, TRUE, 70000, 0, Y,
             slider(0, 70000, 2, 14000, 70001)},
            {"range 0..2 once more", TBM_SETRANGE, TRUE, MAKELONG(0, 2), 0, Y,
             slider(0, 2, 2, 1, 3)},
            {"page 0", TBM_SETPAGESIZE, 0, 0, 1, N, slider(0, 2, 2, 0, 3)},
            {"page -1 restores the automatic size", TBM_SETPAGESIZE, 0, -1, 0, N,
             slider(0, 2, 2, 1, 3)},
            {"page -2", TBM_SETPAGESIZE, 0, -2, 1, N, slider(0, 2, 2, -2, 3)},
            {"page 5", TBM_SETPAGESIZE, 0, 5, -2, N, slider(0, 2, 2, 5, 3)},
            {"a new range keeps the program's page", TBM_SETRANGE, TRUE, MAKELONG(0, 50), 0, Y,
             slider(0, 50, 2, 5, 51)},
            {"page -1 follows the range again", TBM_SETPAGESIZE, 0, -1, 5, N,
             slider(0, 50, 2, 10, 51)},
            {"line 0", TBM_SETLINESIZE, 0, 0, 1, N, {{TBM_GETLINESIZE, 0, 0}}},
            {"line -1", TBM_SETLINESIZE, 0, -1, 0, N, {{TBM_GETLINESIZE, 0, -1}}},
            {"line 3", TBM_SETLINESIZE, 0, 3, -1, N, {{TBM_GETLINESIZE, 0, 3}}},
            {"a tick every 5", TBM_SETTICFREQ, 5, 0, 0, Y, slider(0, 50, 2, 10, 11)},
            {"same frequency", TBM_SETTICFREQ, 5, 0, 0, N, slider(0, 50, 2, 10, 11)},
            {"frequency 0: the ends only", TBM_SETTICFREQ, 0, 0, 0, Y, slider(0, 50, 2, 10, 2)},
            {"frequency -1: the ends only", TBM_SETTICFREQ, static_cast<WPARAM>(-1), 0, 0, Y,
             slider(0, 50, 2, 10, 2)},
            {"frequency beyond the range", TBM_SETTICFREQ, 100, 0, 0, Y, slider(0, 50, 2, 10, 2)},
        });
    EXPECT_TRUE(matches({}));  // a program's own changes are not notified
}

TEST(TrackbarInput, TapPagesAndDragTracks) {
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    resetRecord();
    HWND slider = nullptr;
    ce::test::Driver driver([&] {
        InitCommonControls();
        HWND parent = createParent();
        slider =
            createChild(parent, TRACKBAR_CLASSW, u"Slider", TBS_AUTOTICKS, 2, 20, 210, 24, 50049);
        SendMessageW(slider, TBM_SETRANGE, TRUE, MAKELONG(0, 2));
        return runLoop();
    });
    ASSERT_NE(slider, nullptr);
    RECT channel{};
    SendMessageW(slider, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
    const int y = (channel.top + channel.bottom) / 2;
    const POINT farRight = screenPoint(slider, channel.right - 2, y);
    driver.tap(farRight.x, farRight.y);  // on the channel: one page toward the tap
    EXPECT_EQ(1, SendMessageW(slider, TBM_GETPOS, 0, 0));
    EXPECT_TRUE(matches({{WM_HSCROLL, TB_PAGEDOWN}, {WM_HSCROLL, TB_ENDTRACK}}));
    EXPECT_EQ(slider, received()[0].from);

    received().clear();
    RECT thumb{};
    SendMessageW(slider, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    const POINT grip = screenPoint(slider, (thumb.left + thumb.right) / 2, y);
    driver.drag(grip, screenPoint(slider, channel.left, y));
    EXPECT_EQ(0, SendMessageW(slider, TBM_GETPOS, 0, 0));
    const auto& r = received();
    ASSERT_GE(r.size(), 3u);
    EXPECT_EQ(static_cast<UINT>(TB_THUMBTRACK), r.front().code);
    EXPECT_EQ(0, r[r.size() - 3].pos);
    EXPECT_EQ(static_cast<UINT>(TB_THUMBPOSITION), r[r.size() - 2].code);
    EXPECT_EQ(0, r[r.size() - 2].pos);
    EXPECT_EQ(static_cast<UINT>(TB_ENDTRACK), r.back().code);
    driver.stop();
}

const char16_t* const kTabs[] = {u"Clean Temp Files", u"Pocket IE", u"Registry",
                                 u"System Folders",   u"Shortcuts", u"Performance"};

HWND makeTabs(HWND parent) {
    HWND tabs = CreateWindowExW(0, WC_TABCONTROLW, u"",
                                WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TCS_BOTTOM, 0, 0, 240,
                                268, parent, nullptr, nullptr, nullptr);
    for (int i = 0; i < 6; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<LPWSTR>(kTabs[i]);
        item.iImage = -1;
        EXPECT_EQ(i, SendMessageW(tabs, TCM_INSERTITEMW, static_cast<WPARAM>(i),
                                  reinterpret_cast<LPARAM>(&item)));
    }
    return tabs;
}

using TabTest = ControlTest;

TEST_F(TabTest, ItemsAndSelection) {
    HWND tabs = makeTabs(parent_);
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(6, SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
    EXPECT_EQ(0, SendMessageW(tabs, TCM_GETCURSEL, 0, 0));  // the first tab is selected
    EXPECT_EQ(0, SendMessageW(tabs, TCM_SETCURSEL, 3, 0));  // answers the previous
    EXPECT_EQ(-1, SendMessageW(tabs, TCM_SETCURSEL, 6, 0));
    EXPECT_EQ(3, SendMessageW(tabs, TCM_GETCURSEL, 0, 0));
    TCITEMW bad{};
    EXPECT_EQ(-1, SendMessageW(tabs, TCM_INSERTITEMW, static_cast<WPARAM>(-2),
                               reinterpret_cast<LPARAM>(&bad)));

    WCHAR text[32] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = text;
    item.cchTextMax = 32;
    ASSERT_TRUE(SendMessageW(tabs, TCM_GETITEMW, 3, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(std::u16string(u"System Folders"), std::u16string(text));
    item.cchTextMax = 4;
    ASSERT_TRUE(SendMessageW(tabs, TCM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(std::u16string(u"Cle"), std::u16string(text));
    item.mask = TCIF_PARAM;
    item.lParam = 77;
    ASSERT_TRUE(SendMessageW(tabs, TCM_SETITEMW, 1, reinterpret_cast<LPARAM>(&item)));
    item.lParam = 0;
    SendMessageW(tabs, TCM_GETITEMW, 1, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(77, item.lParam);

    EXPECT_TRUE(SendMessageW(tabs, TCM_DELETEITEM, 0, 0));
    EXPECT_FALSE(SendMessageW(tabs, TCM_DELETEITEM, 9, 0));
    EXPECT_EQ(2, SendMessageW(tabs, TCM_GETCURSEL, 0, 0));  // still on "System Folders"
    EXPECT_TRUE(matches({}));
}

std::vector<Query> tabState(int cur, int focus) {
    return {{TCM_GETCURSEL, 0, cur}, {TCM_GETCURFOCUS, 0, focus}};
}

// Win32's answers, from a MinGW probe under Wine: TCM_SETCURSEL answers the previous selection
// (-1 past the tabs) and -1 leaves none selected; TCM_SETCURFOCUS selects as a tap would and -1
// leaves none; TCM_SETMINTABWIDTH answers the old minimum, -1 the default (here: as narrow as
// the text, so that six tabs share 240 pixels); TCM_SETITEMSIZE answers the old size and takes
// the width only for TCS_FIXEDWIDTH tabs; TCM_SETEXTENDEDSTYLE keeps TCS_EX_FLATSEPARATORS alone;
// the minimum width and the padding lay the tabs out without repainting them.
TEST_F(TabTest, SettersAnswerAsWin32) {
    HWND t = child(WC_TABCONTROLW, u"", 0, 10, 10, 200, 100, 7);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    for (const char16_t* name : {u"One", u"Two", u"Three"}) {
        item.pszText = const_cast<LPWSTR>(name);
        SendMessageW(t, TCM_INSERTITEMW, 9, reinterpret_cast<LPARAM>(&item));
    }
    RECT first{};
    SendMessageW(t, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
    const auto oldHeight = static_cast<WORD>(first.bottom - first.top);
    TCITEMW text{};
    text.mask = TCIF_TEXT;
    text.pszText = const_cast<LPWSTR>(u"Uno");
    TCITEMW param{};
    param.mask = TCIF_PARAM;
    param.lParam = 5;
    const auto at = [](const TCITEMW& i) { return reinterpret_cast<LPARAM>(&i); };
    const auto index = [](int i) { return static_cast<WPARAM>(i); };
    runSetterTable(
        t, {
               {"three tabs, the first selected", TCM_GETITEMCOUNT, 0, 0, 3, N, tabState(0, 0)},
               {"select 1", TCM_SETCURSEL, 1, 0, 0, Y, tabState(1, 1)},
               {"select 1 again", TCM_SETCURSEL, 1, 0, 1, N, tabState(1, 1)},
               {"past the tabs", TCM_SETCURSEL, 3, 0, -1, N, tabState(1, 1)},
               {"-1: none selected", TCM_SETCURSEL, index(-1), 0, 1, Y, tabState(-1, -1)},
               {"-1 again", TCM_SETCURSEL, index(-1), 0, -1, N, tabState(-1, -1)},
               {"-2", TCM_SETCURSEL, index(-2), 0, -1, N, tabState(-1, -1)},
               {"select 2", TCM_SETCURSEL, 2, 0, -1, Y, tabState(2, 2)},
               {"focus 0 selects it", TCM_SETCURFOCUS, 0, 0, 0, Y, tabState(0, 0)},
               {"focus 0 again", TCM_SETCURFOCUS, 0, 0, 0, N, tabState(0, 0)},
               {"focus past the tabs", TCM_SETCURFOCUS, 5, 0, 0, N, tabState(0, 0)},
               {"focus -1: none", TCM_SETCURFOCUS, index(-1), 0, 0, Y, tabState(-1, -1)},
               {"text", TCM_SETITEMW, 0, at(text), TRUE, Y, {}},
               {"item past the tabs", TCM_SETITEMW, 5, at(text), FALSE, N, {}},
               {"item -1", TCM_SETITEMW, index(-1), at(text), FALSE, N, {}},
               {"param", TCM_SETITEMW, 0, at(param), TRUE, Y, {}},
               {"size: no fixed width, the height",
                TCM_SETITEMSIZE,
                0,
                MAKELPARAM(50, 20),
                MAKELRESULT(0, oldHeight),
                Y,
                {}},
               {"size again", TCM_SETITEMSIZE, 0, MAKELPARAM(60, 22), MAKELRESULT(0, 20), Y, {}},
               {"minimum width 30", TCM_SETMINTABWIDTH, 0, 30, 0, N, {}},
               {"minimum -1: the default", TCM_SETMINTABWIDTH, 0, -1, 30, N, {}},
               {"minimum 40", TCM_SETMINTABWIDTH, 0, 40, 0, N, {}},
               {"padding", TCM_SETPADDING, 0, MAKELPARAM(3, 3), 0, N, {}},
               {"extra bytes once there are tabs", TCM_SETITEMEXTRA, 8, 0, FALSE, N, {}},
               {"flat separators",
                TCM_SETEXTENDEDSTYLE,
                0,
                TCS_EX_FLATSEPARATORS,
                0,
                Y,
                {{TCM_GETEXTENDEDSTYLE, 0, TCS_EX_FLATSEPARATORS}}},
               {"masked off",
                TCM_SETEXTENDEDSTYLE,
                TCS_EX_FLATSEPARATORS,
                0,
                TCS_EX_FLATSEPARATORS,
                Y,
                {{TCM_GETEXTENDEDSTYLE, 0, 0}}},
               {"register-drop is not kept",
                TCM_SETEXTENDEDSTYLE,
                0,
                3,
                0,
                Y,
                {{TCM_GETEXTENDEDSTYLE, 0, TCS_EX_FLATSEPARATORS}}},
               {"select 2 to delete it", TCM_SETCURSEL, 2, 0, -1, Y, tabState(2, 2)},
               {"deleting the selected tab", TCM_DELETEITEM, 2, 0, TRUE, Y, tabState(-1, -1)},
               {"select 1", TCM_SETCURSEL, 1, 0, -1, Y, tabState(1, 1)},
               {"deleting a tab before it", TCM_DELETEITEM, 0, 0, TRUE, Y, {{TCM_GETCURSEL, 0, 0}}},
               {"deleting them all", TCM_DELETEALLITEMS, 0, 0, TRUE, Y, {{TCM_GETCURSEL, 0, -1}}},
               {"nothing to select", TCM_SETCURSEL, 0, 0, -1, N, {{TCM_GETCURSEL, 0, -1}}},
           });
    // The focus selects as a tap does: the parent is asked and told.
    EXPECT_TRUE(matches({{WM_NOTIFY, TCN_SELCHANGING, 7}, {WM_NOTIFY, TCN_SELCHANGE, 7}}));
}

TEST_F(TabTest, AdjustRectWithTabsBelow) {
    HWND tabs = makeTabs(parent_);
    RECT rc{};
    GetClientRect(tabs, &rc);
    RECT display = rc;
    SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
    RECT first{};
    SendMessageW(tabs, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
    EXPECT_GT(display.top, rc.top);
    EXPECT_LT(display.top, 10);            // the page starts near the top ...
    EXPECT_LE(display.bottom, first.top);  // ... and ends above the tabs
    EXPECT_EQ(rc.bottom, first.bottom);    // which stand on the bottom edge
    RECT back = display;
    SendMessageW(tabs, TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&back));
    EXPECT_EQ(rc.left, back.left);
    EXPECT_EQ(rc.top, back.top);
    EXPECT_EQ(rc.right, back.right);
    EXPECT_EQ(rc.bottom, back.bottom);

    // Without TCS_BOTTOM the tabs are above the page.
    HWND top = child(WC_TABCONTROLW, u"", 0, 0, 0, 240, 100, 5);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<LPWSTR>(u"One");
    SendMessageW(top, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    RECT area{0, 0, 240, 100};
    SendMessageW(top, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    SendMessageW(top, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
    EXPECT_GE(area.top, first.bottom);
    EXPECT_GT(area.bottom, 90);
}

TEST_F(TabTest, SixProgramTabsAreReachableAcross240Pixels) {
    HWND tabs = makeTabs(parent_);
    RECT rc{};
    GetClientRect(tabs, &rc);
    for (int i = 0; i < 6; ++i) {
        SendMessageW(tabs, TCM_SETCURSEL, static_cast<WPARAM>(i), 0);
        RECT tab{};
        ASSERT_TRUE(SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(i),
                                 reinterpret_cast<LPARAM>(&tab)));
        EXPECT_GE(tab.left, rc.left) << "tab " << i;
        EXPECT_LE(tab.right, rc.right) << "tab " << i;  // the selected tab is wholly shown
        EXPECT_GE(tab.right - tab.left, 30) << "tab " << i << " too narrow to read";
    }
}

TEST(TabInput, TapAsksParentWhichMayRefuse) {
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    resetRecord();
    HWND tabs = nullptr;
    ce::test::Driver driver([&] {
        InitCommonControls();
        tabs = makeTabs(createParent());
        return runLoop();
    });
    ASSERT_NE(tabs, nullptr);
    auto tapTab = [&](int i) {
        RECT r{};
        SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
        const POINT p = screenPoint(tabs, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
        driver.tap(p.x, p.y);
    };
    tapTab(1);
    EXPECT_EQ(1, SendMessageW(tabs, TCM_GETCURSEL, 0, 0));
    EXPECT_TRUE(matches({{WM_NOTIFY, TCN_SELCHANGING, 0}, {WM_NOTIFY, TCN_SELCHANGE, 0}}));
    EXPECT_EQ(tabs, received()[0].from);
    EXPECT_EQ(tabs, received()[1].from);

    received().clear();
    answerNotify(TCN_SELCHANGING, TRUE);
    tapTab(0);
    EXPECT_EQ(1, SendMessageW(tabs, TCM_GETCURSEL, 0, 0));
    EXPECT_TRUE(matches({{WM_NOTIFY, TCN_SELCHANGING, 0}}));
    driver.stop();
}

}  // namespace
}  // namespace ctltest
