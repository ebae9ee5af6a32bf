// The six option screens: their controls, switching between them and scrolling the page.
#include "AppHarness.h"

#include <algorithm>
#include <fstream>
#include <vector>

#include "common/ControlIds.h"

using namespace apptest;

namespace {

struct Expected {
    int id;
    const char16_t* className;
    const char16_t* text;  // nullptr: not compared (edits, lists, drop-downs)
    int x, y, width, height;
};

const char16_t* kButton = u"BUTTON";
const char16_t* kEdit = u"EDIT";
const char16_t* kStatic = u"STATIC";
const char16_t* kList = u"LISTBOX";
const char16_t* kCombo = u"COMBOBOX";
const char16_t* kSlider = u"msctls_trackbar32";

// What a person sees on each screen, in list order.
const std::vector<std::vector<Expected>> kScreens = {
    {{50001, kButton, u"User Defined 1", 2, 2, 100, 18},
     {50002, kEdit, nullptr, 2, 20, 160, 18},
     {50003, kButton, u"Browse", 164, 20, 50, 18},
     {50004, kButton, u"User Defined 2", 2, 40, 100, 18},
     {50005, kEdit, nullptr, 2, 58, 160, 18},
     {50006, kButton, u"Browse", 164, 58, 50, 18},
     {50007, kButton, u"\\Temp", 2, 78, 200, 18},
     {50008, kButton, u"\\Windows\\Temp", 2, 96, 200, 18},
     {50009, kButton, u"\\My Documents\\Temp", 2, 114, 200, 18},
     {50010, kStatic, u"Search Directories", 2, 134, 100, 18},
     {50011, kButton, u"Refresh", 104, 134, 60, 18},
     {50012, kList, nullptr, 2, 154, 210, 90},
     {50013, kStatic, u"Search Files", 2, 246, 100, 18},
     {50014, kButton, u"Refresh", 104, 246, 60, 18},
     {50015, kButton, u"*.tmp", 2, 266, 52, 18},
     {50016, kButton, u"*.log", 58, 266, 52, 18},
     {50017, kButton, u"*.bak", 2, 284, 52, 18},
     {50018, kButton, u"*.", 58, 284, 30, 18},
     {50019, kEdit, nullptr, 88, 284, 40, 18},
     {50020, kList, nullptr, 2, 304, 210, 90}},
    {{50021, kButton, u"Clear Pocket IE Cache", 2, 2, 180, 18},
     {50022, kButton, u"Clear Pocket IE History", 2, 22, 180, 18},
     {50023, kButton, u"Move Pocket IE Cache", 2, 42, 180, 18},
     {50024, kEdit, nullptr, 2, 60, 160, 18},
     {50025, kButton, u"Browse", 164, 60, 50, 18},
     {50026, kButton, u"Limit Pocket IE Cache", 2, 80, 142, 18},
     {50027, kCombo, nullptr, 146, 80, 70, 0},
     {50028, kButton, u"Limit Pocket IE History", 2, 102, 142, 18},
     {50029, kCombo, nullptr, 146, 102, 70, 0},
     {50030, kButton, u"Limit Pocket IE Cookies", 2, 124, 142, 18},
     {50031, kCombo, nullptr, 146, 124, 70, 0},
     {50032, kButton, u"Move AvantGo Cache", 2, 146, 160, 18},
     {50033, kEdit, nullptr, 2, 164, 160, 18},
     {50034, kButton, u"Browse", 164, 164, 50, 18}},
    {{50035, kButton, u"Clear Redundant Registry Keys", 2, 2, 190, 18}},
    {{50036, kButton, u"Move Favorites Storage", 2, 2, 180, 18},
     {50037, kEdit, nullptr, 2, 20, 160, 18},
     {50038, kButton, u"Browse", 164, 20, 50, 18},
     {50039, kButton, u"Move Fonts Folder", 2, 40, 180, 18},
     {50040, kEdit, nullptr, 2, 58, 160, 18},
     {50041, kButton, u"Browse", 164, 58, 50, 18},
     {50042, kButton, u"Move My Documents", 2, 78, 180, 18},
     {50043, kEdit, nullptr, 2, 96, 160, 18},
     {50044, kButton, u"Browse", 164, 96, 50, 18}},
    {{50045, kButton, u"Remove redundant start menu items", 2, 2, 200, 18},
     {50046, kButton, u"Remove selected startup shortcuts", 2, 22, 200, 18},
     {50047, kList, nullptr, 2, 40, 210, 90}},
    {{50048, kButton, u"Set font cache size", 2, 2, 160, 18},
     {50049, kSlider, u"Slider", 2, 20, 210, 24},
     {0, kStatic, u"1x", 2, 44, 20, 18},
     {0, kStatic, u"2x", 102, 44, 20, 18},
     {0, kStatic, u"4x", 200, 44, 20, 18},
     {50050, kButton, u"Silent cleanup at startup", 2, 64, 160, 18},
     {50051, kButton, u"Disable start menu animation", 2, 84, 200, 18},
     {50052, kButton, u"Disable window animation", 2, 104, 160, 18}},
};

const int kPageHeights[] = {396, 184, 22, 116, 130, 124};
const char16_t* kTabLabels[] = {u"Clean Temp Files", u"Pocket IE", u"Registry",
                                u"System Folders",   u"Shortcuts", u"Performance"};

std::vector<int> CatalogueTops(int screen) {
    std::vector<int> tops;
    for (const Expected& e : kScreens[screen]) tops.push_back(e.y);
    return tops;
}

void ExpectScreenAtTop(int screen, int scrollPosition = 0) {
    std::vector<int> tops = CatalogueTops(screen);
    ExpectPageAt(screen, tops.data(), scrollPosition);
}

// The style each kind of control is created with; WS_VISIBLE is in every one of them, even
// though only the current screen's controls are shown.
DWORD ExpectedStyle(const Expected& e) {
    std::u16string cls = e.className;
    if (cls == kButton) {
        bool push = e.text == std::u16string(u"Browse") || e.text == std::u16string(u"Refresh");
        return push ? 0x50000000 : 0x50000003;  // BS_PUSHBUTTON : BS_AUTOCHECKBOX
    }
    if (cls == kEdit)
        return 0x50800000;  // WS_BORDER, no ES_AUTOHSCROLL
    if (cls == kStatic)
        return 0x50000000;  // SS_LEFT
    if (cls == kList)
        return 0x50B0100B;  // borders, both bars, notify, sorted, multiple selection
    if (cls == kCombo)
        return 0x50000003;  // CBS_DROPDOWNLIST
    return 0x50000001;      // TBS_AUTOTICKS
}

// Only the given screen's controls are visible; each stands at its place on the page.
void ExpectOnlyScreenShown(int shown) {
    for (int s = 0; s < SCREEN_COUNT; s++) {
        const CWindowList& items = g_pScreens->GetScreenItems(s);
        ASSERT_EQ(items.GetCount(), (int)kScreens[s].size()) << "screen " << s;
        for (int p = 0; p < items.GetCount(); p++) {
            HWND hwnd = items.GetAt(p);
            const Expected& e = kScreens[s][p];
            ASSERT_NE(hwnd, nullptr) << "screen " << s << " position " << p;
            EXPECT_EQ(IsWindowVisible(hwnd) != FALSE, s == shown)
                << "screen " << s << " position " << p;
            EXPECT_EQ(GetParent(hwnd), DisplayWindow());
            EXPECT_EQ(GetDlgCtrlID(hwnd), e.id) << "screen " << s << " position " << p;
            WCHAR className[64] = {0};
            GetClassNameW(hwnd, className, 64);
            EXPECT_EQ(_wcsicmp(className, (LPCWSTR)e.className), 0)
                << "screen " << s << " position " << p;
            if (e.text != nullptr)
                EXPECT_EQ(WindowText(hwnd), e.text) << "screen " << s << " position " << p;
            RECT rc = PlaceOnPage(hwnd);
            EXPECT_EQ(rc.left, e.x) << "screen " << s << " position " << p;
            EXPECT_EQ(rc.top, e.y) << "screen " << s << " position " << p;
            EXPECT_EQ(rc.right - rc.left, e.width) << "screen " << s << " position " << p;
            if (e.height != 0)  // a drop-down's window is its closed height
                EXPECT_EQ(rc.bottom - rc.top, e.height) << "screen " << s << " position " << p;
            EXPECT_EQ((DWORD)GetWindowLongW(hwnd, GWL_STYLE) & ~WS_VISIBLE,
                      ExpectedStyle(e) & ~WS_VISIBLE)
                << "screen " << s << " position " << p;
            EXPECT_EQ(GetWindowLongW(hwnd, GWL_EXSTYLE), 0) << "screen " << s << " position " << p;
        }
    }
}

int VisibleHeight() {
    RECT rc;
    GetClientRect(DisplayWindow(), &rc);
    return rc.bottom;
}

void Scroll(WORD code, WORD thumb = 0) {
    SendMessageW(DisplayWindow(), WM_VSCROLL, MAKEWPARAM(code, thumb), 0);
}

// The scroll bar's arrows, where a person taps them.
void TapArrow(Driver& driver, bool down) {
    RECT rc;
    GetWindowRect(DisplayWindow(), &rc);
    int cx = GetSystemMetrics(SM_CXVSCROLL);
    int cy = GetSystemMetrics(SM_CYVSCROLL);
    driver.tap(rc.right - cx / 2 - 1, down ? rc.bottom - cy / 2 - 1 : rc.top + cy / 2);
}

void WriteStartupShortcut(TempDevice& device, const char16_t* name) {
    std::u16string path = std::u16string(u"\\Windows\\StartUp\\") + name;
    std::ofstream(device.host(path)) << "23#\"\\Windows\\pword.exe\" -n";
}

std::vector<std::u16string> ListEntries(HWND list) {
    std::vector<std::u16string> entries;
    int count = (int)SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; i++) {
        WCHAR text[1024] = {0};
        SendMessageW(list, LB_GETTEXT, i, (LPARAM)text);
        entries.push_back(text);
    }
    return entries;
}

}  // namespace

TEST(Catalogue, StartsOnCleanTempFilesWithEveryControlInPlace) {
    App app;
    ExpectOnlyScreenShown(SCREEN_CLEAN_TEMP);
    SCROLLINFO si = PageScrollInfo();
    EXPECT_EQ(si.nMin, 0);
    EXPECT_EQ(si.nMax, 396 - VisibleHeight());
    EXPECT_EQ(si.nPage, 3u);
    EXPECT_EQ(si.nPos, 0);
}

TEST(Catalogue, EachTabShowsItsOwnScreenOnly) {
    App app;
    for (int s : {1, 2, 3, 4, 5, 0, 3}) {
        ChooseTab(app.driver(), s);
        EXPECT_EQ(SendMessageW(g_pTabBar->GetHandle(), TCM_GETCURSEL, 0, 0), s);
        ExpectOnlyScreenShown(s);
        SCROLLINFO si = PageScrollInfo();
        EXPECT_EQ(si.nPos, 0) << "screen " << s;
        if (kPageHeights[s] > VisibleHeight())
            EXPECT_EQ(si.nMax, kPageHeights[s] - VisibleHeight()) << "screen " << s;
    }
}

// With no settings.dat yet, only the first run's default ("Disable window animation") is ticked.
TEST(Catalogue, FreshControlsHoldTheirInitialContent) {
    App app(u"", TempDevice::Contents::Empty);
    for (int s = 0; s < SCREEN_COUNT; s++) {
        for (size_t p = 0; p < kScreens[s].size(); p++) {
            HWND hwnd = ScreenControl(s, (int)p);
            const Expected& e = kScreens[s][p];
            LONG style = GetWindowLongW(hwnd, GWL_STYLE);
            if (e.className == kButton && (style & 0xF) == BS_AUTOCHECKBOX)
                EXPECT_EQ(SendMessageW(hwnd, BM_GETCHECK, 0, 0),
                          e.id == 50052 ? BST_CHECKED : BST_UNCHECKED)
                    << e.id;
            if (e.className == kEdit)
                EXPECT_EQ(WindowText(hwnd), u"") << e.id;
        }
    }
    const char16_t* firstEntries[] = {u"1024 kb", u"256 kb", u"256 kb"};
    const int comboPositions[] = {6, 8, 10};
    for (int i = 0; i < 3; i++) {
        HWND combo = ScreenControl(SCREEN_POCKET_IE, comboPositions[i]);
        EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3);
        EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
        WCHAR text[32] = {0};
        SendMessageW(combo, CB_GETLBTEXT, 0, (LPARAM)text);
        EXPECT_EQ(std::u16string(text), firstEntries[i]);
    }
    HWND slider = ScreenControl(SCREEN_PERFORMANCE, 1);
    EXPECT_EQ(SendMessageW(slider, TBM_GETRANGEMIN, 0, 0), 0);
    EXPECT_EQ(SendMessageW(slider, TBM_GETRANGEMAX, 0, 0), 2);
    EXPECT_EQ(SendMessageW(slider, TBM_GETPOS, 0, 0), 0);
}

TEST(Catalogue, StartupShortcutsAreListedSortedWithTheirExtension) {
    App app(u"", TempDevice::Contents::Empty, [](TempDevice& device) {
        WriteStartupShortcut(device, u"Zeta.lnk");
        WriteStartupShortcut(device, u"alpha.lnk");
        WriteStartupShortcut(device, u"Mid.lnk");
        std::ofstream(device.host(u"\\Windows\\StartUp\\notes.txt")) << "not a shortcut";
    });
    std::vector<std::u16string> entries = ListEntries(ScreenControl(SCREEN_SHORTCUTS, 2));
    std::vector<std::u16string> expected = {u"alpha.lnk", u"Mid.lnk", u"Zeta.lnk"};
    EXPECT_EQ(entries, expected);
}

TEST(Catalogue, AnEmptyStartupFolderLeavesTheListEmpty) {
    App app(u"", TempDevice::Contents::Empty);
    ChooseTab(app.driver(), SCREEN_SHORTCUTS);
    EXPECT_EQ(g_pScreens->GetScreenItems(SCREEN_SHORTCUTS).GetCount(), 3);
    EXPECT_EQ(SendMessageW(ScreenControl(SCREEN_SHORTCUTS, 2), LB_GETCOUNT, 0, 0), 0);
}

// Scrolling: the page moves by exactly what the stored position changes.
TEST(Scrolling, ArrowStepsMoveThreePixelsAndStopAtTheEnds) {
    App app;
    TapArrow(app.driver(), false);  // already at the top
    EXPECT_EQ(PageScrollInfo().nPos, 0);
    ExpectScreenAtTop(SCREEN_CLEAN_TEMP, 0);

    TapArrow(app.driver(), true);
    EXPECT_EQ(PageScrollInfo().nPos, 3);
    ExpectScreenAtTop(SCREEN_CLEAN_TEMP, 3);

    Scroll(SB_BOTTOM);
    int bottom = PageScrollInfo().nPos;
    EXPECT_EQ(bottom, 396 - VisibleHeight() - 2);  // max - (page - 1)
    ExpectScreenAtTop(SCREEN_CLEAN_TEMP, bottom);
    TapArrow(app.driver(), true);
    EXPECT_EQ(PageScrollInfo().nPos, bottom);
    ExpectScreenAtTop(SCREEN_CLEAN_TEMP, bottom);
}

TEST(Scrolling, ThumbDragMovesThePageOnlyOnRelease) {
    App app;
    Scroll(SB_THUMBTRACK, 60);
    EXPECT_EQ(PageScrollInfo().nPos, 0);
    ExpectScreenAtTop(SCREEN_CLEAN_TEMP, 0);
    Scroll(SB_THUMBPOSITION, 60);
    EXPECT_EQ(PageScrollInfo().nPos, 60);
    ExpectScreenAtTop(SCREEN_CLEAN_TEMP, 60);
}

TEST(Scrolling, DraggingTheThumbWithTheStylusScrollsThePage) {
    App app;
    RECT rc;
    GetWindowRect(DisplayWindow(), &rc);
    int cx = GetSystemMetrics(SM_CXVSCROLL);
    int cy = GetSystemMetrics(SM_CYVSCROLL);
    POINT thumb = {rc.right - cx / 2 - 1, rc.top + cy + 2};
    POINT end = {thumb.x, rc.bottom - cy - 2};
    app.driver().drag(thumb, end);
    int position = PageScrollInfo().nPos;
    EXPECT_GT(position, 0);
    ExpectScreenAtTop(SCREEN_CLEAN_TEMP, position);
}

TEST(Scrolling, PageStepsPastEitherEndKeepEveryControlInStep) {
    App app;
    const WORD steps[] = {SB_PAGEDOWN, SB_BOTTOM, SB_PAGEDOWN, SB_PAGEDOWN, SB_LINEDOWN,     SB_TOP,
                          SB_PAGEUP,   SB_LINEUP, SB_BOTTOM,   SB_PAGEUP,   SB_THUMBPOSITION};
    for (WORD code : steps) {
        Scroll(code, code == SB_THUMBPOSITION ? 1000 : 0);
        SCROLLINFO si = PageScrollInfo();
        EXPECT_GE(si.nPos, 0);
        EXPECT_LE(si.nPos, 396 - VisibleHeight() - 2);
        ExpectScreenAtTop(SCREEN_CLEAN_TEMP, si.nPos);
    }
}

TEST(Scrolling, SwitchingAfterScrollingShowsEachScreenFromItsTop) {
    App app;
    for (int i = 0; i < 10; i++) Scroll(SB_PAGEDOWN);
    ASSERT_EQ(PageScrollInfo().nPos, 30);
    app.driver().tapText(u"Pocket IE");
    EXPECT_EQ(PageScrollInfo().nPos, 0);
    ExpectScreenAtTop(SCREEN_POCKET_IE, 0);
    app.driver().tapText(u"Clean Temp Files");
    EXPECT_EQ(PageScrollInfo().nPos, 0);
    ExpectScreenAtTop(SCREEN_CLEAN_TEMP, 0);
    ExpectOnlyScreenShown(SCREEN_CLEAN_TEMP);
}

TEST(Scrolling, AShortPageCannotBeScrolled) {
    App app;
    app.driver().tapText(u"Registry");
    SCROLLINFO si = PageScrollInfo();
    EXPECT_EQ(si.nPos, 0);
    EXPECT_LE(si.nMax - std::max<int>((int)si.nPage - 1, 0), si.nMin);
    for (WORD code : {SB_LINEDOWN, SB_PAGEDOWN, SB_BOTTOM, SB_THUMBPOSITION}) {
        Scroll(code, 40);
        EXPECT_EQ(PageScrollInfo().nPos, 0);
        ExpectScreenAtTop(SCREEN_REGISTRY, 0);
    }
}

TEST(Catalogue, TheSliderStopsAtItsThreePositions) {
    App app;
    ChooseTab(app.driver(), SCREEN_PERFORMANCE);
    HWND slider = ScreenControl(SCREEN_PERFORMANCE, 1);
    const struct {
        LPARAM asked;
        LRESULT held;
    } cases[] = {{1, 1}, {2, 2}, {5, 2}, {-1, 0}};
    for (const auto& c : cases) {
        SendMessageW(slider, TBM_SETPOS, TRUE, c.asked);
        EXPECT_EQ(SendMessageW(slider, TBM_GETPOS, 0, 0), c.held) << c.asked;
    }
    // Walked with the arrow key as a person would: three steps reach the "4x" end and stay.
    SendMessageW(slider, TBM_SETPOS, TRUE, 0);
    app.driver().tap(slider);
    for (int i = 0; i < 3; i++) app.driver().key(VK_RIGHT);
    EXPECT_EQ(SendMessageW(slider, TBM_GETPOS, 0, 0), 2);
}

TEST(Catalogue, AnUnknownScreenIsReportedAndAnsweredWithTheFirstScreen) {
    App app;
    int count = -1;
    HWND first = NULL;
    RunOnProgramThread(app.driver(), [&] {
        const CWindowList& items = g_pScreens->GetScreenItems(6);
        count = items.GetCount();
        first = items.GetAt(0);
    });
    auto box = app.driver().answerBox(u"Error", u"", IDOK);
    EXPECT_EQ(box.text, u"CScreen::GetScreenItems() Unknown Screen");
    EXPECT_EQ(box.type, (UINT)MB_OK);
    EXPECT_EQ(count, 20);
    EXPECT_EQ(first, ScreenControl(SCREEN_CLEAN_TEMP, 0));
    EXPECT_FALSE(app.driver().messageBox().has_value());
}

// Screen switching: an index outside the six is reported when shown and again when left.
TEST(Switching, AnUnknownScreenHidesEverythingAndIsReportedOnceMoreWhenLeft) {
    App app;
    RunOnProgramThread(app.driver(), [] { g_pScreens->SwitchScreenTo(6); });
    app.driver().answerBox(u"Error", u"CScreen::SwitchScreenTo() Unknown Screen", IDOK);
    EXPECT_FALSE(app.driver().messageBox().has_value());
    for (int s = 0; s < SCREEN_COUNT; s++) {
        const CWindowList& items = g_pScreens->GetScreenItems(s);
        for (int p = 0; p < items.GetCount(); p++)
            EXPECT_FALSE(IsWindowVisible(items.GetAt(p))) << "screen " << s << " position " << p;
    }
    EXPECT_EQ(PageScrollInfo().nPos, 0);

    RunOnProgramThread(app.driver(), [] { g_pScreens->SwitchScreenTo(SCREEN_REGISTRY); });
    app.driver().answerBox(u"Error", u"CScreen::SwitchScreenTo() Unknown Screen", IDOK);
    EXPECT_FALSE(app.driver().messageBox().has_value());
    ExpectOnlyScreenShown(SCREEN_REGISTRY);
}

TEST(Switching, TheSameScreenAgainStaysShownFromItsTop) {
    App app;
    app.driver().tapId(50007);
    RunOnProgramThread(app.driver(), [] { g_pScreens->SwitchScreenTo(SCREEN_CLEAN_TEMP); });
    EXPECT_FALSE(app.driver().messageBox().has_value());
    ExpectOnlyScreenShown(SCREEN_CLEAN_TEMP);
    EXPECT_EQ(PageScrollInfo().nPos, 0);
    EXPECT_EQ(PageScrollInfo().nMax, 396 - VisibleHeight());
    EXPECT_EQ(SendMessageW(ScreenControl(SCREEN_CLEAN_TEMP, 6), BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST(Switching, DestroyingTheControlsEmptiesEveryScreensList) {
    App app;
    std::vector<HWND> controls;
    for (int s = 0; s < SCREEN_COUNT; s++)
        for (int p = 0; p < g_pScreens->GetScreenItems(s).GetCount(); p++)
            controls.push_back(ScreenControl(s, p));
    ASSERT_EQ(controls.size(), 55u);
    RunOnProgramThread(app.driver(), [] { g_pScreens->DestroyControls(); });
    for (int s = 0; s < SCREEN_COUNT; s++)
        EXPECT_EQ(g_pScreens->GetScreenItems(s).GetCount(), 0) << "screen " << s;
    for (HWND hwnd : controls) EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_TRUE(IsWindow(DisplayWindow()));
}

// Every request code, from a page scrolled to 30: the position it gives, the page moved by
// exactly as much, and the range and page size left as they were.
TEST(Scrolling, EveryRequestCodeGivesItsPosition) {
    App app;
    const int bottom = 396 - VisibleHeight() - 2;  // max - (page - 1)
    const struct {
        WORD code;
        WORD thumb;
        int expected;
    } cases[] = {
        {SB_LINEUP, 0, 27},   {SB_LINEDOWN, 0, 33},       {SB_PAGEUP, 0, 27},
        {SB_PAGEDOWN, 0, 33}, {SB_THUMBPOSITION, 50, 50}, {SB_THUMBTRACK, 50, 30},
        {SB_TOP, 0, 0},       {SB_BOTTOM, 0, bottom},     {SB_ENDSCROLL, 0, 30},
    };
    for (const auto& c : cases) {
        Scroll(SB_THUMBPOSITION, 30);
        ASSERT_EQ(PageScrollInfo().nPos, 30);
        Scroll(c.code, c.thumb);
        SCROLLINFO si = PageScrollInfo();
        EXPECT_EQ(si.nPos, c.expected) << "code " << c.code;
        EXPECT_EQ(si.nMin, 0) << "code " << c.code;
        EXPECT_EQ(si.nMax, 396 - VisibleHeight()) << "code " << c.code;
        EXPECT_EQ(si.nPage, 3u) << "code " << c.code;
        ExpectScreenAtTop(SCREEN_CLEAN_TEMP, c.expected);
    }
}

// A tab notification whose selection is no screen is reported and switches nothing.
TEST(Switching, ATabNotificationWithoutASelectionIsReported) {
    App app;
    HWND tabs = g_pTabBar->GetHandle();
    HWND main = g_pMainWindow->GetHandle();
    const struct {
        UINT code;
        const char16_t* text;
    } cases[] = {{TCN_SELCHANGING, u"TCN_SELCHANGING Unknown Tab Index"},
                 {TCN_SELCHANGE, u"TCN_SELCHANGE Unknown Tab Index"}};
    for (const auto& c : cases) {
        UINT code = c.code;
        RunOnProgramThread(app.driver(), [tabs, main, code] {
            SendMessageW(tabs, TCM_DELETEALLITEMS, 0, 0);  // no tab selected any more
            NMHDR header = {tabs, 0, code};
            SendMessageW(main, WM_NOTIFY, 0, (LPARAM)&header);
        });
        auto box = app.driver().answerBox(u"Error", u"", IDOK);
        EXPECT_EQ(box.text, c.text);
        EXPECT_FALSE(app.driver().messageBox().has_value());
        ExpectOnlyScreenShown(SCREEN_CLEAN_TEMP);
    }
}
