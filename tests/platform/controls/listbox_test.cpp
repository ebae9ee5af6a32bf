// "LISTBOX": sorted insertion, single and multiple selection, the documented error answers,
// extents and scrolling, and taps.
#include "harness.h"

namespace ctltest {
namespace {

constexpr DWORD kProgramStyle = WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_SORT |
                                LBS_MULTIPLESEL | LBS_DISABLENOSCROLL;

std::u16string entry(HWND list, int i) {
    const LRESULT len = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    if (len < 0)
        return u"<LB_ERR>";
    std::u16string s(static_cast<size_t>(len) + 1, u'\0');
    EXPECT_EQ(len, SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i),
                                reinterpret_cast<LPARAM>(s.data())));
    s.resize(static_cast<size_t>(len));
    return s;
}

std::vector<std::u16string> entries(HWND list) {
    std::vector<std::u16string> out;
    const int n = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) out.push_back(entry(list, i));
    return out;
}

void add(HWND list, std::initializer_list<const char16_t*> texts) {
    for (const char16_t* t : texts)
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
}

using ListBoxTest = ControlTest;

TEST_F(ListBoxTest, SortedInTheDeviceOrderEqualEntriesFirst) {
    HWND list = child(u"LISTBOX", u"", kProgramStyle, 2, 154, 210, 90, 50012);
    add(list, {u"b", u"A", u"a", u"C", u"\\Temp\\", u"\\temp\\", u"_x", u"1", u"Beta", u"beta",
               u"\\Windows\\Temp\\", u"~z", u"-y"});
    const std::vector<std::u16string> expected = {u"\\temp\\", u"\\Temp\\", u"\\Windows\\Temp\\",
                                                  u"_x",       u"~z",       u"1",
                                                  u"a",        u"A",        u"b",
                                                  u"beta",     u"Beta",     u"C",
                                                  u"-y"};
    EXPECT_EQ(expected, entries(list));
    // LB_ADDSTRING answers the place it chose: before the entries it equals.
    EXPECT_EQ(0, SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"\\TEMP\\")));
}

// The selection state of a list after a setter: LB_GETCURSEL, LB_GETCARETINDEX,
// LB_GETANCHORINDEX, LB_GETTOPINDEX, LB_GETSELCOUNT.
std::vector<Query> listState(int cur, int caret, int anchor, int top, int selCount) {
    return {{LB_GETCURSEL, 0, cur},
            {LB_GETCARETINDEX, 0, caret},
            {LB_GETANCHORINDEX, 0, anchor},
            {LB_GETTOPINDEX, 0, top},
            {LB_GETSELCOUNT, 0, selCount}};
}

// Ten entries "item0".."item9" in rows of 16 pixels, three rows in view.
HWND tenEntries(HWND list) {
    SendMessageW(list, LB_SETITEMHEIGHT, 0, 16);
    for (const char16_t* t : {u"item0", u"item1", u"item2", u"item3", u"item4", u"item5", u"item6",
                              u"item7", u"item8", u"item9"})
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
    return list;
}

// Win32's answers, from a MinGW probe under Wine on the same lists: no anchor until one is set;
// LB_SETCURSEL leaves the selection as it is for an index past the end (-1 clears it) and scrolls
// the entry into view; LB_SETSEL on a single-selection list selects that entry; LB_SETTOPINDEX
// clamps any index; LB_SETCARETINDEX is for multiple-selection lists only; LB_SETANCHORINDEX
// takes -1; LB_SETITEMDATA answers TRUE; an item height of 0 is 1 and above 255 refused.
TEST_F(ListBoxTest, SingleSelectionSettersAnswerAsWin32) {
    HWND l =
        tenEntries(child(u"LISTBOX", u"", WS_BORDER | WS_VSCROLL | LBS_NOTIFY, 2, 2, 100, 50, 1));
    const auto item = [](int i) { return static_cast<WPARAM>(i); };
    runSetterTable(
        l,
        {
            {"nothing yet", LB_GETCOUNT, 0, 0, 10, N, listState(LB_ERR, 0, -1, 0, LB_ERR)},
            {"select 3", LB_SETCURSEL, 3, 0, 3, Y, listState(3, 3, -1, 1, LB_ERR)},
            {"select 3 again", LB_SETCURSEL, 3, 0, 3, N, listState(3, 3, -1, 1, LB_ERR)},
            {"past the end", LB_SETCURSEL, 10, 0, LB_ERR, N, listState(3, 3, -1, 1, LB_ERR)},
            {"-1 clears", LB_SETCURSEL, item(-1), 0, LB_ERR, Y,
             listState(LB_ERR, 3, -1, 1, LB_ERR)},
            {"-5 changes nothing", LB_SETCURSEL, item(-5), 0, LB_ERR, N,
             listState(LB_ERR, 3, -1, 1, LB_ERR)},
            {"LB_SETSEL selects", LB_SETSEL, TRUE, 2, LB_OKAY, Y, listState(2, 2, 2, 1, LB_ERR)},
            {"top 5", LB_SETTOPINDEX, 5, 0, LB_OKAY, Y, listState(2, 2, 2, 5, LB_ERR)},
            {"top 5 again", LB_SETTOPINDEX, 5, 0, LB_OKAY, N, listState(2, 2, 2, 5, LB_ERR)},
            {"top 9: the last page", LB_SETTOPINDEX, 9, 0, LB_OKAY, Y,
             listState(2, 2, 2, 7, LB_ERR)},
            {"top past the end", LB_SETTOPINDEX, 10, 0, LB_OKAY, N, listState(2, 2, 2, 7, LB_ERR)},
            {"top -1: the first", LB_SETTOPINDEX, item(-1), 0, LB_OKAY, Y,
             listState(2, 2, 2, 0, LB_ERR)},
            {"no caret of its own", LB_SETCARETINDEX, 4, 0, LB_ERR, N,
             listState(2, 2, 2, 0, LB_ERR)},
            {"anchor 2", LB_SETANCHORINDEX, 2, 0, LB_OKAY, N, listState(2, 2, 2, 0, LB_ERR)},
            {"anchor past the end", LB_SETANCHORINDEX, 10, 0, LB_ERR, N,
             listState(2, 2, 2, 0, LB_ERR)},
            {"anchor -1", LB_SETANCHORINDEX, item(-1), 0, LB_OKAY, N,
             listState(2, 2, -1, 0, LB_ERR)},
            {"data", LB_SETITEMDATA, 2, 77, TRUE, N, {{LB_GETITEMDATA, 2, 77}}},
            {"data past the end",
             LB_SETITEMDATA,
             10,
             77,
             LB_ERR,
             N,
             {{LB_GETITEMDATA, 10, LB_ERR}}},
            {"data for -1",
             LB_SETITEMDATA,
             item(-1),
             55,
             LB_ERR,
             N,
             {{LB_GETITEMDATA, 0, 0}, {LB_GETITEMDATA, 9, 0}}},
            {"height 20", LB_SETITEMHEIGHT, 0, 20, LB_OKAY, Y, {{LB_GETITEMHEIGHT, 0, 20}}},
            {"height 20 again", LB_SETITEMHEIGHT, 0, 20, LB_OKAY, N, {{LB_GETITEMHEIGHT, 0, 20}}},
            {"height 0 is 1", LB_SETITEMHEIGHT, 0, 0, LB_OKAY, Y, {{LB_GETITEMHEIGHT, 0, 1}}},
            {"height 256 refused", LB_SETITEMHEIGHT, 0, 256, LB_ERR, N, {{LB_GETITEMHEIGHT, 0, 1}}},
            {"the index does not matter",
             LB_SETITEMHEIGHT,
             99,
             16,
             LB_OKAY,
             Y,
             {{LB_GETITEMHEIGHT, 0, 16}}},
            {"extent without a bar: no repaint",
             LB_SETHORIZONTALEXTENT,
             300,
             0,
             0,
             N,
             {{LB_GETHORIZONTALEXTENT, 0, 300}}},
            {"ranges are for multiple selection", LB_SELITEMRANGE, TRUE, MAKELPARAM(1, 3), LB_ERR,
             N, listState(2, 2, -1, 0, LB_ERR)},
            {"so is LB_SELITEMRANGEEX", LB_SELITEMRANGEEX, 1, 3, LB_ERR, N,
             listState(2, 2, -1, 0, LB_ERR)},
        });
}

TEST_F(ListBoxTest, MultipleSelectionSettersAnswerAsWin32) {
    HWND m = tenEntries(child(
        u"LISTBOX", u"", WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_MULTIPLESEL, 2, 2, 100, 50, 1));
    const auto item = [](int i) { return static_cast<WPARAM>(i); };
    runSetterTable(
        m,
        {
            {"nothing yet", LB_GETCOUNT, 0, 0, 10, N, listState(0, 0, -1, 0, 0)},
            {"select 3: caret and anchor, in view", LB_SETSEL, TRUE, 3, LB_OKAY, Y,
             listState(3, 3, 3, 1, 1)},
            {"select 3 again", LB_SETSEL, TRUE, 3, LB_OKAY, N, listState(3, 3, 3, 1, 1)},
            {"any non-zero selects", LB_SETSEL, 5, 0, LB_OKAY, Y, listState(0, 0, 0, 0, 2)},
            {"-1 selects all, drops the anchor", LB_SETSEL, TRUE, -1, LB_OKAY, Y,
             listState(0, 0, -1, 0, 10)},
            {"-1 clears all", LB_SETSEL, FALSE, -1, LB_OKAY, Y, listState(0, 0, -1, 0, 0)},
            {"past the end", LB_SETSEL, TRUE, 10, LB_ERR, N, listState(0, 0, -1, 0, 0)},
            {"-5", LB_SETSEL, TRUE, -5, LB_ERR, N, listState(0, 0, -1, 0, 0)},
            {"LB_SETCURSEL is for single selection", LB_SETCURSEL, 2, 0, LB_ERR, N,
             listState(0, 0, -1, 0, 0)},
            {"range 2..5", LB_SELITEMRANGE, TRUE, MAKELPARAM(2, 5), LB_OKAY, Y,
             listState(0, 0, -1, 0, 4)},
            {"reversed range cleared", LB_SELITEMRANGE, FALSE, MAKELPARAM(5, 2), LB_OKAY, Y,
             listState(0, 0, -1, 0, 0)},
            {"range out of view and past the end", LB_SELITEMRANGE, TRUE, MAKELPARAM(8, 20),
             LB_OKAY, N, listState(0, 0, -1, 0, 2)},
            {"EX last below first clears", LB_SELITEMRANGEEX, 3, 1, LB_OKAY, N,
             listState(0, 0, -1, 0, 2)},
            {"EX 1..3", LB_SELITEMRANGEEX, 1, 3, LB_OKAY, Y, listState(0, 0, -1, 0, 5)},
            {"EX past the end", LB_SELITEMRANGEEX, 0, 20, LB_OKAY, Y, listState(0, 0, -1, 0, 10)},
            {"caret 4, in view", LB_SETCARETINDEX, 4, 0, LB_OKAY, Y, listState(4, 4, -1, 2, 10)},
            {"caret 4 again", LB_SETCARETINDEX, 4, 0, LB_OKAY, N, listState(4, 4, -1, 2, 10)},
            {"caret past the end", LB_SETCARETINDEX, 10, 0, LB_ERR, N, listState(4, 4, -1, 2, 10)},
            {"anchor 2", LB_SETANCHORINDEX, 2, 0, LB_OKAY, N, listState(4, 4, 2, 2, 10)},
            {"anchor past the end", LB_SETANCHORINDEX, 10, 0, LB_ERR, N, listState(4, 4, 2, 2, 10)},
            {"select by prefix: selected, the caret on it, in view", LB_SELECTSTRING, item(-1),
             reinterpret_cast<LPARAM>(u"item6"), 6, Y, listState(6, 6, 2, 4, 10)},
            {"insert past the end",
             LB_INSERTSTRING,
             20,
             reinterpret_cast<LPARAM>(u"x"),
             LB_ERR,
             N,
             {{LB_GETCOUNT, 0, 10}}},
            {"insert at -1 appends",
             LB_INSERTSTRING,
             item(-1),
             reinterpret_cast<LPARAM>(u"y"),
             10,
             N,
             {{LB_GETCOUNT, 0, 11}}},
            {"insert at -2",
             LB_INSERTSTRING,
             item(-2),
             reinterpret_cast<LPARAM>(u"z"),
             LB_ERR,
             N,
             {{LB_GETCOUNT, 0, 11}}},
            {"delete past the end", LB_DELETESTRING, 50, 0, LB_ERR, N, {{LB_GETCOUNT, 0, 11}}},
            {"delete -1", LB_DELETESTRING, item(-1), 0, LB_ERR, N, {{LB_GETCOUNT, 0, 11}}},
        });
}

TEST_F(ListBoxTest, UnsortedKeepsOrderAndInsertString) {
    HWND list = child(u"LISTBOX", u"", 0, 2, 2, 100, 60, 3);
    add(list, {u"b", u"a"});
    EXPECT_EQ(1, SendMessageW(list, LB_INSERTSTRING, 1, reinterpret_cast<LPARAM>(u"m")));
    EXPECT_EQ(3, SendMessageW(list, LB_INSERTSTRING, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(u"z")));
    EXPECT_EQ(LB_ERR, SendMessageW(list, LB_INSERTSTRING, 9, reinterpret_cast<LPARAM>(u"q")));
    EXPECT_EQ((std::vector<std::u16string>{u"b", u"m", u"a", u"z"}), entries(list));
    EXPECT_EQ(3, SendMessageW(list, LB_DELETESTRING, 0, 0));
    EXPECT_EQ(LB_ERR, SendMessageW(list, LB_DELETESTRING, 3, 0));
    EXPECT_EQ(LB_ERR, SendMessageW(list, LB_GETTEXTLEN, 3, 0));
    EXPECT_EQ(2, SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(u"Z")));
    EXPECT_EQ(LB_ERR, SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                   reinterpret_cast<LPARAM>(u"zz")));
    EXPECT_EQ(0, SendMessageW(list, LB_FINDSTRING, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(u"M")));
}

TEST_F(ListBoxTest, SingleSelectionAnswers) {
    HWND list = child(u"LISTBOX", u"", LBS_NOTIFY, 2, 2, 100, 60, 4);
    add(list, {u"one", u"two", u"three"});
    EXPECT_EQ(LB_ERR, SendMessageW(list, LB_GETCURSEL, 0, 0));
    EXPECT_EQ(LB_ERR, SendMessageW(list, LB_GETSELCOUNT, 0, 0));
    int buffer[4];
    EXPECT_EQ(LB_ERR, SendMessageW(list, LB_GETSELITEMS, 4, reinterpret_cast<LPARAM>(buffer)));
    EXPECT_EQ(LB_OKAY, SendMessageW(list, LB_SETSEL, TRUE, 1));  // selects, as Win32 does
    EXPECT_EQ(1, SendMessageW(list, LB_GETCURSEL, 0, 0));
    EXPECT_EQ(LB_ERR, SendMessageW(list, LB_SETSEL, TRUE, 3));
    EXPECT_EQ(2, SendMessageW(list, LB_SETCURSEL, 2, 0));
    EXPECT_EQ(2, SendMessageW(list, LB_GETCURSEL, 0, 0));
    EXPECT_EQ(LB_ERR, SendMessageW(list, LB_SETCURSEL, 7, 0));  // past the end: unchanged
    EXPECT_EQ(2, SendMessageW(list, LB_GETCURSEL, 0, 0));
    EXPECT_EQ(1, SendMessageW(list, LB_GETSEL, 2, 0));
    EXPECT_EQ(0, SendMessageW(list, LB_GETSEL, 1, 0));
    EXPECT_EQ(LB_ERR, SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0));  // clears
    EXPECT_EQ(LB_ERR, SendMessageW(list, LB_GETCURSEL, 0, 0));
    EXPECT_TRUE(matches({}));  // the program's own changes are not notified
}

TEST_F(ListBoxTest, MultipleSelectionReadBackIsAscendingAndBounded) {
    HWND list = child(u"LISTBOX", u"", kProgramStyle, 2, 154, 210, 90, 50012);
    add(list, {u"e", u"d", u"c", u"b", u"a"});
    for (int i : {4, 0, 2, 3}) SendMessageW(list, LB_SETSEL, TRUE, i);
    SendMessageW(list, LB_SETSEL, FALSE, 3);
    EXPECT_EQ(3, SendMessageW(list, LB_GETSELCOUNT, 0, 0));
    int items[8] = {-7, -7, -7, -7, -7, -7, -7, -7};
    EXPECT_EQ(3, SendMessageW(list, LB_GETSELITEMS, 8, reinterpret_cast<LPARAM>(items)));
    EXPECT_EQ(0, items[0]);
    EXPECT_EQ(2, items[1]);
    EXPECT_EQ(4, items[2]);
    EXPECT_EQ(-7, items[3]);
    int two[3] = {-7, -7, -7};
    EXPECT_EQ(2, SendMessageW(list, LB_GETSELITEMS, 2, reinterpret_cast<LPARAM>(two)));
    EXPECT_EQ(-7, two[2]) << "wrote past the count asked for";
    EXPECT_EQ(LB_ERR, SendMessageW(list, LB_SETSEL, TRUE, 5));
    SendMessageW(list, LB_SETSEL, TRUE, static_cast<LPARAM>(-1));
    EXPECT_EQ(5, SendMessageW(list, LB_GETSELCOUNT, 0, 0));
    EXPECT_EQ(LB_ERR, SendMessageW(list, LB_SETCURSEL, 1, 0));  // not for multiple selection
    // Inserting before a selected entry moves the selection with it.
    SendMessageW(list, LB_SETSEL, FALSE, static_cast<LPARAM>(-1));
    SendMessageW(list, LB_SETSEL, TRUE, 0);
    add(list, {u"0"});
    EXPECT_EQ(0, SendMessageW(list, LB_GETSEL, 0, 0));
    EXPECT_EQ(1, SendMessageW(list, LB_GETSEL, 1, 0));
}

TEST_F(ListBoxTest, HorizontalExtentSurvivesReset) {
    HWND list = child(u"LISTBOX", u"", kProgramStyle, 2, 154, 210, 90, 50012);
    EXPECT_EQ(0, SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0));
    SendMessageW(list, LB_SETHORIZONTALEXTENT, 40 * 6, 0);
    add(list, {u"\\A rather long folder name\\that needs the bar\\"});
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    EXPECT_EQ(0, SendMessageW(list, LB_GETCOUNT, 0, 0));
    EXPECT_EQ(240, SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0));
    SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE};
    ASSERT_TRUE(GetScrollInfo(list, SB_HORZ, &si));
    EXPECT_EQ(239, si.nMax);
}

TEST_F(ListBoxTest, TopIndexItemRectAndScrolling) {
    HWND list = child(u"LISTBOX", u"", kProgramStyle, 2, 154, 210, 90, 50012);
    for (int i = 0; i < 30; ++i) {
        char16_t text[8] = {u'e', static_cast<char16_t>(u'0' + i / 10),
                            static_cast<char16_t>(u'0' + i % 10), 0};
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    const int h = static_cast<int>(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
    ASSERT_GT(h, 8);
    RECT rc{};
    EXPECT_EQ(1, SendMessageW(list, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&rc)));
    EXPECT_EQ(2 * h, rc.top);
    EXPECT_EQ(3 * h, rc.bottom);
    EXPECT_EQ(LB_ERR, SendMessageW(list, LB_GETITEMRECT, 30, reinterpret_cast<LPARAM>(&rc)));

    RECT client{};
    GetClientRect(list, &client);
    const int rows = (client.bottom - client.top) / h;
    EXPECT_EQ(LB_OKAY, SendMessageW(list, LB_SETTOPINDEX, 29, 0));  // clamped: the last page
    EXPECT_EQ(30 - rows, SendMessageW(list, LB_GETTOPINDEX, 0, 0));
    EXPECT_EQ(LB_OKAY, SendMessageW(list, LB_SETTOPINDEX, 30, 0));  // past the end: clamped too
    EXPECT_EQ(30 - rows, SendMessageW(list, LB_GETTOPINDEX, 0, 0));
    EXPECT_EQ(
        0, SendMessageW(list, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rc)));  // scrolled away
    EXPECT_LT(rc.top, 0);

    SendMessageW(list, WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(0, SendMessageW(list, LB_GETTOPINDEX, 0, 0));
    SendMessageW(list, WM_VSCROLL, SB_LINEDOWN, 0);
    SendMessageW(list, WM_VSCROLL, SB_PAGEDOWN, 0);
    EXPECT_EQ(1 + rows, SendMessageW(list, LB_GETTOPINDEX, 0, 0));
    SCROLLINFO si{sizeof si, SIF_ALL};
    ASSERT_TRUE(GetScrollInfo(list, SB_VERT, &si));
    EXPECT_EQ(29, si.nMax);
    EXPECT_EQ(1 + rows, si.nPos);
    EXPECT_EQ(static_cast<UINT>(rows), si.nPage);
}

TEST(ListBoxInput, TapsToggleMultipleSelectionAndNotify) {
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    resetRecord();
    HWND list = nullptr;
    ce::test::Driver driver([&] {
        HWND parent = createParent();
        list = createChild(parent, u"LISTBOX", u"", kProgramStyle, 2, 40, 210, 90, 50047);
        add(list, {u"Varnello.lnk", u"Calendar.lnk", u"Backup.lnk"});
        return runLoop();
    });
    ASSERT_NE(list, nullptr);
    auto tapEntry = [&](int i) {
        RECT rc{};
        SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&rc));
        driver.tap(screenPoint(list, 20, (rc.top + rc.bottom) / 2).x,
                   screenPoint(list, 20, (rc.top + rc.bottom) / 2).y);
    };
    tapEntry(0);
    tapEntry(2);
    tapEntry(1);
    tapEntry(1);  // the second tap takes it back out
    int items[4] = {};
    ASSERT_EQ(2, SendMessageW(list, LB_GETSELITEMS, 4, reinterpret_cast<LPARAM>(items)));
    EXPECT_EQ(u"Backup.lnk", entry(list, items[0]));
    EXPECT_EQ(u"Varnello.lnk", entry(list, items[1]));
    EXPECT_TRUE(matches({{WM_COMMAND, LBN_SELCHANGE, 50047},
                         {WM_COMMAND, LBN_SELCHANGE, 50047},
                         {WM_COMMAND, LBN_SELCHANGE, 50047},
                         {WM_COMMAND, LBN_SELCHANGE, 50047}}));
    driver.stop();
}

}  // namespace
}  // namespace ctltest
