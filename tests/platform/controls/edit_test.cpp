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
