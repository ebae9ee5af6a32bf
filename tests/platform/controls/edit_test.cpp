// "EDIT": text storage and copying, typing at the caret within the width, selection, limit and
// notifications.
#include "harness.h"

namespace ctltest {
namespace {

using EditTest = ControlTest;

TEST_F(EditTest, SetTextStoresWholeAndGetTextTruncates) {
    HWND edit = child(u"EDIT", u"", WS_BORDER, 2, 20, 160, 18, 50002);
    std::u16string longText(1500, u'x');
    longText[1499] = u'z';
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(longText.c_str()));
    EXPECT_EQ(1500, SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0));

    WCHAR small[4] = {u'?', u'?', u'?', u'?'};
    EXPECT_EQ(3, SendMessageW(edit, WM_GETTEXT, 4, reinterpret_cast<LPARAM>(small)));
    EXPECT_EQ(std::u16string(u"xxx"), std::u16string(small));

    std::vector<WCHAR> big(1024, u'?');
    EXPECT_EQ(1023, SendMessageW(edit, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(big.data())));
    EXPECT_EQ(0, big[1023]);
    EXPECT_EQ(0, SendMessageW(edit, WM_GETTEXT, 0, reinterpret_cast<LPARAM>(small)));

    WCHAR whole[1501];
    GetWindowTextW(edit, whole, 1501);
    EXPECT_EQ(u'z', whole[1499]);
}

// The selection, limit and modified flag after a setter (EM_GETSEL packs start and end).
std::vector<Query> editState(WORD start, WORD end, LRESULT limit, LRESULT modified) {
    return {{EM_GETSEL, 0, MAKELRESULT(start, end)},
            {EM_GETLIMITTEXT, 0, limit},
            {EM_GETMODIFY, 0, modified}};
}

// Win32's answers, from a MinGW probe under Wine: the default limit is 30000 and 0 (or -1) lifts
// it to 0x7FFFFFFE; a start of -1 removes the selection, an end of -1 or past the text means the
// end, a reversed pair is put in order; WM_SETTEXT stores a text longer than the limit whole,
// clears the modified flag and repaints even the same text; EM_SETREADONLY and
// EM_SETPASSWORDCHAR keep ES_READONLY and ES_PASSWORD in the style. Setters repaint what changed.
TEST_F(EditTest, SettersAnswerAsWin32) {
    const LRESULT kLifted = 0x7FFFFFFE;
    HWND e = child(u"EDIT", u"", WS_BORDER, 2, 20, 160, 18, 50002);
    const auto text = [](const char16_t* t) { return reinterpret_cast<LPARAM>(t); };
    runSetterTable(
        e,
        {
            {"text", WM_SETTEXT, 0, text(u"hello"), TRUE, Y, editState(0, 0, 30000, 0), u"hello"},
            {"same text", WM_SETTEXT, 0, text(u"hello"), TRUE, Y, editState(0, 0, 30000, 0)},
            {"select 1..3", EM_SETSEL, 1, 3, std::nullopt, Y, editState(1, 3, 30000, 0)},
            {"same selection", EM_SETSEL, 1, 3, std::nullopt, N, editState(1, 3, 30000, 0)},
            {"reversed, same range", EM_SETSEL, 3, 1, std::nullopt, N, editState(1, 3, 30000, 0)},
            {"0, -1 selects all", EM_SETSEL, 0, -1, std::nullopt, Y, editState(0, 5, 30000, 0)},
            {"-1 removes the selection", EM_SETSEL, static_cast<WPARAM>(-1), 0, std::nullopt, Y,
             editState(5, 5, 30000, 0)},
            {"end past the text", EM_SETSEL, 2, 99, std::nullopt, Y, editState(2, 5, 30000, 0)},
            {"both past the text", EM_SETSEL, 99, 99, std::nullopt, Y, editState(5, 5, 30000, 0)},
            {"-1, -1 changes nothing", EM_SETSEL, static_cast<WPARAM>(-1), -1, std::nullopt, N,
             editState(5, 5, 30000, 0)},
            {"limit 3", EM_LIMITTEXT, 3, 0, 0, N, editState(5, 5, 3, 0)},
            {"replacing beyond the limit adds nothing",
             EM_REPLACESEL,
             FALSE,
             text(u"abc"),
             std::nullopt,
             N,
             {},
             u"hello"},
            {"a text longer than the limit is stored whole", WM_SETTEXT, 0, text(u"abcdefgh"), TRUE,
             Y, editState(0, 0, 3, 0), u"abcdefgh"},
            {"limit 0 lifts it", EM_LIMITTEXT, 0, 0, 0, N, editState(0, 0, kLifted, 0)},
            {"limit -1 lifts it", EM_LIMITTEXT, static_cast<WPARAM>(-1), 0, 0, N,
             editState(0, 0, kLifted, 0)},
            {"modified", EM_SETMODIFY, 1, 0, 0, N, editState(0, 0, kLifted, 1)},
            {"any non-zero is modified", EM_SETMODIFY, 5, 0, 0, N, editState(0, 0, kLifted, 1)},
            {"not modified", EM_SETMODIFY, 0, 0, 0, N, editState(0, 0, kLifted, 0)},
            {"read-only", EM_SETREADONLY, 1, 0, 1, Y, {}, nullptr, 0x50800800},
            {"read-only again", EM_SETREADONLY, 1, 0, 1, N, {}, nullptr, 0x50800800},
            {"writable", EM_SETREADONLY, 0, 0, 1, Y, {}, nullptr, 0x50800000},
            {"password",
             EM_SETPASSWORDCHAR,
             u'*',
             0,
             0,
             Y,
             {{EM_GETPASSWORDCHAR, 0, u'*'}},
             nullptr,
             0x50800020},
            {"same password character",
             EM_SETPASSWORDCHAR,
             u'*',
             0,
             0,
             N,
             {{EM_GETPASSWORDCHAR, 0, u'*'}},
             nullptr,
             0x50800020},
            {"no password",
             EM_SETPASSWORDCHAR,
             0,
             0,
             0,
             Y,
             {{EM_GETPASSWORDCHAR, 0, 0}},
             nullptr,
             0x50800000},
            {"no text", WM_SETTEXT, 0, 0, TRUE, Y, editState(0, 0, kLifted, 0), u""},
        });
}

TEST_F(EditTest, SelectionAndReplace) {
    HWND edit = child(u"EDIT", u"hello", ES_AUTOHSCROLL, 2, 2, 160, 18, 1);
    EXPECT_EQ(u"hello", windowText(edit));
    SendMessageW(edit, EM_SETSEL, 1, 3);
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(1u, start);
    EXPECT_EQ(3u, end);
    SendMessageW(edit, EM_SETSEL, 4, 2);  // reversed: still the lower first
    EXPECT_EQ(MAKELRESULT(2, 4), SendMessageW(edit, EM_GETSEL, 0, 0));
    SendMessageW(edit, EM_SETSEL, 0, -1);  // -1: to the end
    EXPECT_EQ(MAKELRESULT(0, 5), SendMessageW(edit, EM_GETSEL, 0, 0));
    SendMessageW(edit, EM_SETSEL, 1, 3);
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(u"ipp"));
    EXPECT_EQ(u"hipplo", windowText(edit));
    EXPECT_EQ(MAKELRESULT(4, 4), SendMessageW(edit, EM_GETSEL, 0, 0));
    SendMessageW(edit, EM_SETSEL, 90, 95);  // past the end: clamped
    EXPECT_EQ(MAKELRESULT(6, 6), SendMessageW(edit, EM_GETSEL, 0, 0));
}

TEST_F(EditTest, SetTextNotifiesChange) {
    HWND edit = child(u"EDIT", u"", 0, 2, 2, 160, 18, 50024);
    received().clear();
    SetWindowTextW(edit, u"\\Windows\\");
    EXPECT_TRUE(matches({{WM_COMMAND, EN_UPDATE, 50024}, {WM_COMMAND, EN_CHANGE, 50024}}));
}

struct Typed {
    HWND edit = nullptr;
    HWND wide = nullptr;
};

TEST(EditInput, TypingStopsAtTheVisibleWidthWithoutAutoScroll) {
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    Typed t;
    ce::test::Driver driver([&] {
        HWND parent = createParent();
        t.edit = createChild(parent, u"EDIT", u"", WS_BORDER, 88, 10, 40, 18, 50019);
        t.wide = createChild(parent, u"EDIT", u"", WS_BORDER | ES_AUTOHSCROLL, 2, 40, 40, 18, 2);
        return runLoop();
    });
    driver.tap(t.edit);
    driver.type(u"abcdefghijklmnopqrstuvwxyz");
    const std::u16string shown = windowText(t.edit);
    EXPECT_GE(shown.size(), 2u);
    EXPECT_LT(shown.size(), 26u) << "typing went past the visible width";
    EXPECT_EQ(std::u16string(u"abcdefghijklmnopqrstuvwxyz").substr(0, shown.size()), shown);

    driver.tap(t.wide);
    driver.type(u"abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(u"abcdefghijklmnopqrstuvwxyz", windowText(t.wide));
    driver.stop();
}

TEST(EditInput, CaretKeysBackspaceAndDelete) {
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    resetRecord();
    HWND edit = nullptr;
    ce::test::Driver driver([&] {
        HWND parent = createParent();
        edit = createChild(parent, u"EDIT", u"", WS_BORDER | ES_AUTOHSCROLL, 2, 20, 160, 18, 50002);
        return runLoop();
    });
    driver.tap(edit);
    EXPECT_EQ(edit, GetFocus());
    driver.type(u"temp");
    driver.key(VK_HOME);
    driver.type(u"\\");
    driver.key(VK_END);
    driver.type(u"x");
    driver.key(VK_BACK);
    driver.key(VK_LEFT);
    driver.key(VK_DELETE);
    EXPECT_EQ(u"\\tem", windowText(edit));
    driver.key(VK_HOME);
    driver.key(VK_DELETE);
    EXPECT_EQ(u"tem", windowText(edit));

    // Every change tells the parent: update first, then change.
    const auto& r = received();
    ASSERT_GE(r.size(), 3u);
    EXPECT_EQ(static_cast<UINT>(EN_SETFOCUS), r[0].code);
    EXPECT_EQ(static_cast<UINT>(EN_UPDATE), r[1].code);
    EXPECT_EQ(static_cast<UINT>(EN_CHANGE), r[2].code);
    driver.stop();
}

TEST(EditInput, LimitTextBoundsTypingNotSetText) {
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    HWND edit = nullptr;
    ce::test::Driver driver([&] {
        HWND parent = createParent();
        edit = createChild(parent, u"EDIT", u"", ES_AUTOHSCROLL, 2, 20, 160, 18, 9);
        SendMessageW(edit, EM_LIMITTEXT, 3, 0);
        return runLoop();
    });
    EXPECT_EQ(3, SendMessageW(edit, EM_GETLIMITTEXT, 0, 0));
    driver.tap(edit);
    driver.type(u"txtx");
    EXPECT_EQ(u"txt", windowText(edit));
    SetWindowTextW(edit, u"longer than three");
    EXPECT_EQ(u"longer than three", windowText(edit));
    driver.stop();
}

}  // namespace
}  // namespace ctltest
