// GWLP_USERDATA is the application's on the platform's own windows too: the slot starts at 0,
// keeps what is written, and what is written there changes nothing the window does.
#include "gwes/gwes.h"
#include "harness.h"

namespace ctltest {
namespace {

// Values a program may keep in the slot: a number, -1, nothing, a pointer to its own data.
std::vector<LONG_PTR> arbitraryValues(const void* own) {
    return {12345, -1, 0, static_cast<LONG_PTR>(0xDEADBEEF), reinterpret_cast<LONG_PTR>(own)};
}

// What every window answers: painting, its text, a new size, the focus, a tap and a key.
void exercise(HWND w, HWND parent) {
    InvalidateRect(w, nullptr, TRUE);
    UpdateWindow(w);
    SendMessageW(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"text"));
    WCHAR text[16] = {};
    SendMessageW(w, WM_GETTEXT, 16, reinterpret_cast<LPARAM>(text));
    SetWindowPos(w, nullptr, 0, 0, 120, 70, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetFocus(w);
    SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    SendMessageW(w, WM_KEYDOWN, VK_DOWN, 0);
    SendMessageW(w, WM_KEYUP, VK_DOWN, 0);
    if (GetCapture() == w)
        ReleaseCapture();
    SetFocus(parent);
    UpdateWindow(w);
}

using UserDataTest = ControlTest;

// Every class the platform registers (the controls, dialogs and message boxes, popup menus, the
// menu bar and the navigation bar), a window of each made as a program would make one.
TEST_F(UserDataTest, EveryPlatformClassLeavesTheSlotToTheApplication) {
    std::vector<std::u16string> names;
    for (const auto& [key, cls] : ce::gwes::state()->classes)
        if (cls->system && key != u"desktopexplorerwindow")
            names.push_back(cls->name);
    EXPECT_GE(names.size(), 13u);
    for (const std::u16string& name : names) {
        SCOPED_TRACE(narrow(name));
        HWND w = CreateWindowExW(0, name.c_str(), u"x", WS_CHILD | WS_VISIBLE, 2, 2, 100, 60,
                                 parent_, reinterpret_cast<HMENU>(9), nullptr, nullptr);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(0, GetWindowLongPtrW(w, GWLP_USERDATA));
        for (LONG_PTR value : arbitraryValues(&names)) {
            EXPECT_EQ(0, SetWindowLongPtrW(w, GWLP_USERDATA, value));  // answers the old value
            exercise(w, parent_);
            EXPECT_EQ(value, GetWindowLongPtrW(w, GWLP_USERDATA));
            SetWindowLongPtrW(w, GWLP_USERDATA, 0);
        }
        SetWindowLongPtrW(w, GWLP_USERDATA, 12345);
        EXPECT_TRUE(DestroyWindow(w));  // teardown frees the window's state, not the slot
        EXPECT_FALSE(IsWindow(w));
    }
}

// The answers that used to depend on the slot: a list box keeps counting with 0 written there,
// a check box keeps its check with 12345, a slider its position with -1.
TEST_F(UserDataTest, ControlsKeepWorkingWithAnythingInTheSlot) {
    HWND list = child(u"LISTBOX", u"", WS_BORDER | LBS_NOTIFY, 2, 2, 100, 60, 1);
    HWND box = child(u"BUTTON", u"Tick", BS_AUTOCHECKBOX, 2, 70, 100, 18, 2);
    HWND slider = child(TRACKBAR_CLASSW, u"Slider", TBS_AUTOTICKS, 2, 90, 200, 24, 3);
    for (HWND w : {list, box, slider}) EXPECT_EQ(0, GetWindowLongPtrW(w, GWLP_USERDATA));
    SetWindowLongPtrW(list, GWLP_USERDATA, 0);
    EXPECT_EQ(0, SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"one")));
    EXPECT_EQ(1, SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"two")));
    EXPECT_EQ(2, SendMessageW(list, LB_GETCOUNT, 0, 0));
    SetWindowLongPtrW(box, GWLP_USERDATA, 12345);
    SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(BST_CHECKED, SendMessageW(box, BM_GETCHECK, 0, 0));
    SetWindowLongPtrW(slider, GWLP_USERDATA, -1);
    SendMessageW(slider, TBM_SETRANGE, TRUE, MAKELONG(0, 2));
    SendMessageW(slider, TBM_SETPOS, TRUE, 2);
    EXPECT_EQ(2, SendMessageW(slider, TBM_GETPOS, 0, 0));
    EXPECT_EQ(12345, GetWindowLongPtrW(box, GWLP_USERDATA));
    EXPECT_EQ(-1, GetWindowLongPtrW(slider, GWLP_USERDATA));
}

}  // namespace
}  // namespace ctltest
