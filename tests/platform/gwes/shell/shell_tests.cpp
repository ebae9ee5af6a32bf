// A small program driven through the test driver: its menu bar's commands arrive by ID, the
// navigation bar's ok button sends IDOK, message boxes are answered after their caption and
// text are checked, taps reach the topmost match and scroll their target into view.
#include "support/msglog.h"

#include <aygshell.h>

#include "display/display.h"
#include "display/gdi.h"
#include "gwes/driver.h"
#include "testing/device.h"
#include "resources/resources.h"

using namespace gwestest;
using ce::test::Driver;
using ce::test::DriverError;

namespace {

struct App {
    std::vector<UINT> commands;
    std::vector<int> answers;
    HWND main = nullptr;
    HWND bar = nullptr;
    HWND page = nullptr;
    HWND far = nullptr;
    bool barCreated = false;
    int farTaps = 0;
};
App* g_app = nullptr;

constexpr UINT WM_ASK = WM_APP + 1;
constexpr UINT WM_POPUP = WM_APP + 2;

// The display page scrolls its children by the thumb position, as the program does.
LRESULT CALLBACK pageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_VSCROLL && LOWORD(wp) == SB_THUMBPOSITION) {
        SCROLLINFO si{sizeof si, SIF_ALL, 0, 0, 0, 0, 0};
        GetScrollInfo(hwnd, SB_VERT, &si);
        int next = HIWORD(wp);
        ScrollWindowEx(hwnd, 0, si.nPos - next, nullptr, nullptr, nullptr, nullptr,
                       SW_SCROLLCHILDREN);
        si.fMask = SIF_POS;
        si.nPos = next;
        SetScrollInfo(hwnd, SB_VERT, &si, TRUE);
        return 1;
    }
    if (msg == WM_LBUTTONDOWN)
        return 0;
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK farProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_LBUTTONDOWN)
        ++g_app->farTaps;
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK mainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            g_app->commands.push_back(LOWORD(wp));
            if (LOWORD(wp) == 40004)
                PostQuitMessage(7);
            return 1;
        case WM_ASK:
            g_app->answers.push_back(MessageBoxW(nullptr, u"Are you really sure?",
                                                 u"Please Confirm", MB_YESNO | MB_ICONEXCLAMATION));
            return 0;
        case WM_POPUP: {
            HMENU m = CreatePopupMenu();
            AppendMenuW(m, MF_STRING, 501, u"Target");
            AppendMenuW(m, MF_STRING, 502, u"Other");
            TrackPopupMenu(m, TPM_LEFTALIGN, 20, 60, 0, hwnd, nullptr);
            DestroyMenu(m);
            return 0;
        }
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

int program() {
    HINSTANCE instance = ce::resources::instanceFor(reinterpret_cast<const void*>(&program));
    WNDCLASSW wc{};
    wc.lpfnWndProc = mainProc;
    wc.lpszClassName = u"TestMain";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(0x40000005));
    RegisterClassW(&wc);
    wc.lpfnWndProc = pageProc;
    wc.lpszClassName = u"TestPage";
    RegisterClassW(&wc);
    wc.lpfnWndProc = farProc;
    wc.lpszClassName = u"TestFar";
    RegisterClassW(&wc);
    g_app->main = CreateWindowExW(WS_EX_CAPTIONOKBTN, u"TestMain", u"Test Main", WS_VISIBLE,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  nullptr, nullptr, instance, nullptr);
    SHMENUBARINFO mb{};
    mb.cbSize = sizeof mb;
    mb.hwndParent = g_app->main;
    mb.dwFlags = SHCMBF_HMENU;
    mb.nToolBarId = 101;
    mb.hInstRes = instance;
    g_app->barCreated = SHCreateMenuBar(&mb) != FALSE;
    g_app->bar = mb.hwndMB;
    RECT rm, rb;
    GetWindowRect(g_app->main, &rm);
    GetWindowRect(g_app->bar, &rb);
    MoveWindow(g_app->main, rm.left, rm.top, rm.right - rm.left,
               (rm.bottom - (rb.bottom - rb.top)) - rm.top, FALSE);
    g_app->page = CreateWindowExW(0, u"TestPage", u"", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 0, 0,
                                  240, 200, g_app->main, nullptr, instance, nullptr);
    SCROLLINFO si{sizeof si, SIF_ALL, 0, 600 - 200, 3, 0, 0};
    SetScrollInfo(g_app->page, SB_VERT, &si, TRUE);
    g_app->far = CreateWindowExW(0, u"TestFar", u"Far away", WS_CHILD | WS_VISIBLE, 10, 450, 100,
                                 20, g_app->page, reinterpret_cast<HMENU>(77), instance, nullptr);
    ShowWindow(g_app->main, SW_SHOWNORMAL);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return static_cast<int>(m.wParam);
}

class Shell : public ::testing::Test {
  protected:
    ce::test::TempDevice device{ce::test::TempDevice::Contents::Empty};
    App app;
    void SetUp() override { g_app = &app; }
    void TearDown() override { g_app = nullptr; }
};

TEST_F(Shell, MenuBarSitsAtTheBottomAndTheMainWindowEndsAboveIt) {
    Driver d(program);
    ASSERT_TRUE(app.barCreated);
    RECT rm, rb;
    GetWindowRect(app.main, &rm);
    GetWindowRect(app.bar, &rb);
    EXPECT_EQ(rb.top, 294);
    EXPECT_EQ(rb.bottom, 320);
    EXPECT_EQ(rm.right - rm.left, 240);
    EXPECT_EQ(rm.bottom - rm.top, 268);
    EXPECT_EQ(SHFindMenuBar(app.main), app.bar);
}

TEST_F(Shell, MenuBarCommandsReachTheParentByTheirId) {
    Driver d(program);
    d.menu(u"Tools", u"First");
    d.menu(u"Tools", u"Second");
    EXPECT_EQ(app.commands, (std::vector<UINT>{40101, 40102}));
    EXPECT_THROW(d.menu(u"Tools", u"Never"), DriverError);  // grayed
    EXPECT_EQ(app.commands.size(), 2u);
    try {
        d.menu(u"Edit", u"Copy");
        ADD_FAILURE() << "no Edit menu exists";
    } catch (const DriverError& e) {
        EXPECT_NE(std::string(e.what()).find("\"Tools\""), std::string::npos) << e.what();
    }
    d.menu(u"File", u"Exit");
    EXPECT_FALSE(d.running());
    EXPECT_EQ(d.exitCode(), 7);
}

TEST_F(Shell, ATapOutsideAnOpenMenuClosesItWithoutACommand) {
    Driver d(program);
    auto buttons = ce::gwes::menuBarButtons();
    ASSERT_EQ(buttons.size(), 2u);
    d.tap((buttons[1].screen.left + buttons[1].screen.right) / 2, 305);
    EXPECT_FALSE(ce::gwes::openMenuItems().empty());
    d.tap(200, 100);
    EXPECT_TRUE(ce::gwes::openMenuItems().empty());
    EXPECT_TRUE(app.commands.empty());
}

POINT centreOf(const RECT& r) {
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// The Tools button of the menu bar, tapped.
void tapTools(Driver& d) {
    auto buttons = ce::gwes::menuBarButtons();
    ASSERT_EQ(buttons.size(), 2u);
    POINT p = centreOf(buttons[1].screen);
    d.tap(p.x, p.y);
}

bool menuOpen() {
    return !ce::gwes::openMenuItems().empty();
}

// As a person closes a menu: Escape, a second tap on its button, a tap anywhere else. The tap
// that closes it does nothing more: not reopen the menu, not press what lies under it.
TEST_F(Shell, AnOpenMenuClosesOnEscapeOnItsButtonOrElsewhereAndThatTapIsSpent) {
    Driver d(program);
    tapTools(d);
    ASSERT_TRUE(menuOpen());
    d.key(VK_ESCAPE);
    EXPECT_FALSE(menuOpen());

    tapTools(d);
    ASSERT_TRUE(menuOpen());
    tapTools(d);
    EXPECT_FALSE(menuOpen());

    tapTools(d);
    ASSERT_TRUE(menuOpen());
    d.ok();  // the navigation bar's ok lies outside the menu: the tap only closes it
    EXPECT_FALSE(menuOpen());
    EXPECT_TRUE(app.commands.empty());

    // The next tap is a tap again.
    tapTools(d);
    ASSERT_TRUE(menuOpen());
    d.tapText(u"First");
    d.ok();
    EXPECT_EQ(app.commands, (std::vector<UINT>{40101, IDOK}));
    EXPECT_FALSE(menuOpen());
}

// Up and Down move through the items that can be chosen (past separators and greyed items,
// round the ends); Enter chooses; from no item, Down starts at the first and Up at the last.
TEST_F(Shell, ArrowKeysAndEnterMoveThroughAnOpenMenuAndChoose) {
    Driver d(program);
    struct Case {
        std::vector<UINT> keys;
        UINT chosen;
    };
    const Case cases[] = {
        {{VK_DOWN, VK_DOWN, VK_RETURN}, 40102},
        {{VK_UP, VK_RETURN}, 40102},
        {{VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN}, 40101},
        {{VK_UP, VK_UP, VK_RETURN}, 40101},
    };
    for (const Case& c : cases) {
        tapTools(d);
        ASSERT_TRUE(menuOpen());
        for (UINT k : c.keys) d.key(k);
        EXPECT_FALSE(menuOpen());
        ASSERT_FALSE(app.commands.empty());
        EXPECT_EQ(app.commands.back(), c.chosen);
    }
    EXPECT_EQ(app.commands.size(), 4u);
    // Enter with no item picked chooses nothing.
    tapTools(d);
    d.key(VK_RETURN);
    d.key(VK_ESCAPE);
    EXPECT_EQ(app.commands.size(), 4u);
}

// Ink of a row: the columns where a pixel differs from the background, and its colours.
struct Ink {
    int left = -1, right = -1;
    std::set<uint32_t> colours;
};

Ink inkIn(const RECT& r, uint32_t background) {
    const auto& fb = ce::display::screen();
    Ink ink;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            uint32_t p = fb.pixels[size_t(y) * fb.width + x];
            if (p == background)
                continue;
            ink.colours.insert(p);
            ink.left = ink.left < 0 ? x : std::min(ink.left, x);
            ink.right = std::max(ink.right, x + 1);
        }
    return ink;
}

// The menu is drawn as the device draws it: every item's text starts at the same margin from
// the left, a short item stays at the left; the separator is a line across; a greyed item is in
// the grey text colour; a checked item has its mark in the margin.
TEST_F(Shell, APopupMenuIsDrawnLeftAlignedWithItsSeparatorGreyedAndCheckedItems) {
    Driver d(program);
    tapTools(d);
    auto items = ce::gwes::openMenuItems();
    ASSERT_EQ(items.size(), 3u);  // First, Second (checked), Never (greyed); the separator
    const uint32_t menu = ce::display::sysPixel(COLOR_MENU);
    // The text of each item, right of the check column (the first item has no mark).
    RECT firstRow = items[0].screen;
    Ink first = inkIn(firstRow, menu);
    ASSERT_GE(first.left, 0);
    const int margin = first.left - firstRow.left;
    EXPECT_GT(margin, 2);
    EXPECT_LT(margin, 24);
    EXPECT_GT(firstRow.right - first.right, margin) << "a short item is not centred";
    EXPECT_EQ(first.colours, (std::set<uint32_t>{ce::display::sysPixel(COLOR_MENUTEXT)}));

    RECT secondText = items[1].screen, secondMark = items[1].screen;
    secondText.left += margin;
    secondMark.right = secondText.left;
    EXPECT_EQ(inkIn(secondText, menu).left, secondText.left) << "text after the same margin";
    EXPECT_GE(inkIn(secondMark, menu).left, 0) << "the check mark";

    Ink never = inkIn(items[2].screen, menu);
    EXPECT_EQ(never.left - items[2].screen.left, margin);
    EXPECT_EQ(never.colours, (std::set<uint32_t>{ce::display::sysPixel(COLOR_GRAYTEXT)}));

    RECT gap{firstRow.left, firstRow.bottom, firstRow.right, items[1].screen.top};
    ASSERT_GT(gap.bottom, gap.top);
    Ink separator = inkIn(gap, menu);
    EXPECT_EQ(separator.colours, (std::set<uint32_t>{ce::display::sysPixel(COLOR_BTNSHADOW)}));
    EXPECT_GT(separator.right - separator.left, (firstRow.right - firstRow.left) * 3 / 4);
    d.key(VK_ESCAPE);
}

TEST_F(Shell, NavigationBarOkSendsIdokToTheActiveWindow) {
    Driver d(program);
    EXPECT_EQ(d.navTitle(), u"Test Main");
    d.ok();
    EXPECT_EQ(app.commands, (std::vector<UINT>{IDOK}));
}

// GWLP_USERDATA is the program's on the shell's windows too: the navigation bar, the menu bar
// and an open popup menu start at 0, keep what is written, and work on with junk there.
TEST_F(Shell, TheShellsWindowsLeaveTheirSlotToTheProgram) {
    Driver d(program);
    HWND nav = ce::gwes::navBarHandle();
    ASSERT_TRUE(nav && app.bar);
    for (HWND w : {nav, app.bar}) {
        EXPECT_EQ(GetWindowLongPtrW(w, GWLP_USERDATA), 0);
        SetWindowLongPtrW(w, GWLP_USERDATA, 12345);
    }
    d.menu(u"Tools", u"First");
    d.ok();
    EXPECT_EQ(app.commands, (std::vector<UINT>{40101, IDOK}));
    auto buttons = ce::gwes::menuBarButtons();
    ASSERT_EQ(buttons.size(), 2u);
    d.tap((buttons[1].screen.left + buttons[1].screen.right) / 2, 305);  // opens "Tools"
    HWND popup = ce::gwes::state()->openPopup;
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(GetWindowLongPtrW(popup, GWLP_USERDATA), 0);
    SetWindowLongPtrW(popup, GWLP_USERDATA, -1);
    const auto items = ce::gwes::openMenuItems();
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(GetWindowLongPtrW(popup, GWLP_USERDATA), -1);
    d.tap((items[1].screen.left + items[1].screen.right) / 2,
          (items[1].screen.top + items[1].screen.bottom) / 2);
    EXPECT_EQ(app.commands, (std::vector<UINT>{40101, IDOK, items[1].id}));
    EXPECT_EQ(GetWindowLongPtrW(nav, GWLP_USERDATA), 12345);
    EXPECT_EQ(GetWindowLongPtrW(app.bar, GWLP_USERDATA), 12345);
}

TEST_F(Shell, MenuBarFailsForAMissingResource) {
    HWND w =
        CreateWindowExW(0, u"Dialog", u"x", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    SHMENUBARINFO mb{};
    mb.cbSize = sizeof mb;
    mb.hwndParent = w;
    mb.dwFlags = SHCMBF_HMENU;
    mb.nToolBarId = 999;
    mb.hInstRes = ce::resources::instanceFor(reinterpret_cast<const void*>(&program));
    mb.hwndMB = reinterpret_cast<HWND>(1);
    EXPECT_FALSE(SHCreateMenuBar(&mb));
    EXPECT_EQ(mb.hwndMB, nullptr);
}

TEST_F(Shell, MessageBoxIsAnsweredAfterItsCaptionAndTextAreChecked) {
    Driver d(program);
    auto post = [&](UINT m) {
        PostMessageW(app.main, m, 0, 0);
        d.tap(120, 250);
    };
    post(WM_ASK);
    auto box = d.messageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, u"Please Confirm");
    EXPECT_EQ(box->type, static_cast<UINT>(MB_YESNO | MB_ICONEXCLAMATION));
    EXPECT_EQ(d.navTitle(), u"Please Confirm");
    EXPECT_THROW(d.answerBox(u"Error", u"", IDOK), DriverError);
    EXPECT_THROW(d.answer(IDOK), DriverError);  // a Yes/No box has no OK
    d.answerBox(u"Please Confirm", u"really sure", IDNO);
    EXPECT_EQ(app.answers, (std::vector<int>{IDNO}));
    EXPECT_FALSE(d.messageBox());
    EXPECT_EQ(d.activeWindow(), app.main);
    EXPECT_NE(device.log().find("message box \"Please Confirm\": Are you really sure?"),
              std::string::npos);
    post(WM_ASK);
    d.tapText(u"Yes");
    EXPECT_EQ(app.answers, (std::vector<int>{IDNO, IDYES}));
}

TEST_F(Shell, WithNothingToAnswerItABoxTakesItsDefaultButton) {
    EXPECT_EQ(MessageBoxW(nullptr, u"Failed Creating Menu Bar", u"Error", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, u"Sure?", u"Q", MB_YESNO | MB_DEFBUTTON2), IDNO);
    std::string log = device.log();
    EXPECT_NE(log.find("message box \"Error\": Failed Creating Menu Bar"), std::string::npos);
    EXPECT_NE(log.find("answered No"), std::string::npos);
}

TEST_F(Shell, TheTopmostMatchWinsAndAnOpenMenuIsAboveAll) {
    Driver d(program);
    PostMessageW(app.main, WM_POPUP, 0, 0);
    d.tap(120, 250);
    ASSERT_FALSE(ce::gwes::openMenuItems().empty());
    d.tapText(u"Target");
    EXPECT_EQ(app.commands, (std::vector<UINT>{501}));
}

TEST_F(Shell, ATargetOutsideItsScrollingParentIsScrolledIntoView) {
    Driver d(program);
    RECT before;
    GetWindowRect(app.far, &before);
    EXPECT_GT(before.top, 300);
    d.tapId(77);
    EXPECT_EQ(app.farTaps, 1);
    RECT after;
    GetWindowRect(app.far, &after);
    RECT view;
    GetWindowRect(app.page, &view);
    EXPECT_GE(after.top, view.top);
    EXPECT_LE(after.bottom, view.bottom);
    EXPECT_EQ(GetScrollPos(app.page, SB_VERT), before.top - after.top);
}

TEST_F(Shell, FailuresNameWhatIsOnScreen) {
    Driver d(program);
    try {
        d.tapText(u"No such thing");
        ADD_FAILURE();
    } catch (const DriverError& e) {
        std::string what = e.what();
        EXPECT_NE(what.find("No such thing"), std::string::npos);
        EXPECT_NE(what.find("Test Main"), std::string::npos);
        EXPECT_NE(what.find("Far away"), std::string::npos);
    }
    EXPECT_THROW(d.answer(IDOK), DriverError);
}

TEST_F(Shell, StoppingAWaitingProgramEndsItsThread) {
    auto d = std::make_unique<Driver>(program);
    EXPECT_TRUE(d->running());
    d->stop();
    EXPECT_FALSE(d->running());
    EXPECT_THROW(d->tap(1, 1), DriverError);
}

}  // namespace
