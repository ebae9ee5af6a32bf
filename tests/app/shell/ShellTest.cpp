// Start-up, the command line, the main window and its menus, power, About and help, driven
// through the real WinMain on a fresh device.
#include "AppHarness.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <vector>

#include "common/ControlIds.h"
#include "kernel/kernel.h"
#include "resources/resources.h"
#include "settings/Settings.h"

using namespace apptest;

namespace {

std::filesystem::path SettingsFileOnHost(TempDevice& device) {
    LPWSTR path = GetSettingsFilePath();
    std::filesystem::path host = device.host(path);
    delete[] path;
    return host;
}

bool LogHas(TempDevice& device, const std::string& line) {
    return device.log().find(line) != std::string::npos;
}

HWND MainWindow() {
    return g_pMainWindow->GetHandle();
}

// The device's registry as it stands (registry.reg and the changes not yet written into it).
std::string RegistryText(TempDevice&) {
    return ce::kernel::exportRegistry();
}

// What the device logged after `before`: only each question and its answer, nothing done.
void ExpectOnlyQuestionsLogged(TempDevice& device, const std::string& before, int questions) {
    std::string log = device.log();
    ASSERT_EQ(log.compare(0, before.size(), before), 0) << log;
    std::istringstream added(log.substr(before.size()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(added, line);)
        if (!line.empty())
            lines.push_back(line);
    ASSERT_EQ(lines.size(), (size_t)(2 * questions)) << log;
    for (int i = 0; i < questions; i++) {
        EXPECT_NE(lines[2 * i].find("message box \"Please Confirm\""), std::string::npos) << log;
        EXPECT_NE(lines[2 * i + 1].find("message box answered"), std::string::npos) << log;
    }
    EXPECT_NE(lines.back().find("No"), std::string::npos) << log;
}

// Records the order in which windows receive WM_DESTROY, passing every message on.
std::vector<HWND> g_destroyed;
std::map<HWND, WNDPROC> g_originalProcs;

LRESULT CALLBACK RecordDestroy(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WNDPROC original = g_originalProcs[hwnd];
    if (msg == WM_DESTROY)
        g_destroyed.push_back(hwnd);
    return CallWindowProcW(original, hwnd, msg, wParam, lParam);
}

void WatchDestroy(HWND hwnd) {
    g_originalProcs[hwnd] =
        (WNDPROC)SetWindowLongPtrW(hwnd, GWLP_WNDPROC, (LONG_PTR)&RecordDestroy);
}

size_t DestroyedAt(HWND hwnd) {
    auto it = std::find(g_destroyed.begin(), g_destroyed.end(), hwnd);
    return (size_t)(it - g_destroyed.begin());
}

}  // namespace

// The command line: only a leading lower-case "silent" selects the silent run.
TEST(CommandLine, SilentRunsWithoutAnyWindowAndEndsWithZero) {
    App app(u"silent");
    ASSERT_FALSE(app.driver().running());
    EXPECT_EQ(app.driver().exitCode(), 0);
    EXPECT_EQ(g_bSilent, 1);
    EXPECT_EQ(g_pMainWindow, nullptr);
    EXPECT_EQ(g_pScreens, nullptr);
    EXPECT_FALSE(app.driver().messageBox().has_value());
}

TEST(CommandLine, SilentFollowedByMoreTextIsStillSilent) {
    App app(u"silent\" -x more words");
    ASSERT_FALSE(app.driver().running());
    EXPECT_EQ(app.driver().exitCode(), 0);
    EXPECT_EQ(g_pMainWindow, nullptr);
}

class InteractiveCommandLine : public ::testing::TestWithParam<const char16_t*> {};

TEST_P(InteractiveCommandLine, StartsTheMainWindow) {
    App app(GetParam());
    ASSERT_TRUE(app.driver().running());
    EXPECT_EQ(g_bSilent, 0);
    ASSERT_NE(g_pMainWindow, nullptr);
    EXPECT_TRUE(IsWindowVisible(g_pMainWindow->GetHandle()));
    app.driver().menu(u"Varnello", u"Exit");
    EXPECT_FALSE(app.driver().running());
    EXPECT_EQ(app.driver().exitCode(), 0);
}

// Capital S, a leading blank, a cut word and the empty line are all interactive.
INSTANTIATE_TEST_SUITE_P(CommandLine, InteractiveCommandLine,
                         ::testing::Values(u"Silent", u" silent", u"silen", u""));

TEST(CommandLine, EmptyStartsInteractiveWithTheMainWindow) {
    App app;
    ASSERT_TRUE(app.driver().running());
    EXPECT_EQ(g_bSilent, 0);
    EXPECT_EQ(app.driver().navTitle(), u"Zembrik PPC");
    EXPECT_EQ(app.driver().activeWindow(), MainWindow());
}

// The main window fills the screen down to the menu bar, and the tabs read in screen order.
TEST(MainWindow, EndsWhereTheMenuBarBeginsAndHoldsSixTabs) {
    App app;
    HWND menuBar = g_pMenuBar->GetHandle();
    ASSERT_NE(menuBar, nullptr);
    RECT rcMain, rcMenuBar;
    GetWindowRect(MainWindow(), &rcMain);
    GetWindowRect(menuBar, &rcMenuBar);
    EXPECT_EQ(rcMain.bottom, rcMenuBar.top);
    EXPECT_EQ(rcMain.top, 26);
    EXPECT_EQ(rcMain.bottom - rcMain.top, 268);

    HWND tabs = g_pTabBar->GetHandle();
    const char16_t* labels[] = {u"Clean Temp Files", u"Pocket IE", u"Registry",
                                u"System Folders",   u"Shortcuts", u"Performance"};
    ASSERT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 6);
    for (int i = 0; i < 6; i++) {
        WCHAR text[64] = {0};
        TCITEMW item = {};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 64;
        ASSERT_TRUE(SendMessageW(tabs, TCM_GETITEMW, i, (LPARAM)&item));
        EXPECT_EQ(std::u16string(text), labels[i]) << "tab " << i;
    }
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 0);
}

// Ending the program: Exit and the caption OK save the settings; a quit message ends nothing.
TEST(Ending, OkOnTheMainWindowSavesAndEnds) {
    App app;
    std::filesystem::path settings = SettingsFileOnHost(app.device());
    std::filesystem::remove(settings);
    app.driver().ok();
    ASSERT_FALSE(app.driver().running());
    EXPECT_EQ(app.driver().exitCode(), 0);
    EXPECT_TRUE(std::filesystem::exists(settings));
    EXPECT_EQ(g_pMainWindow, nullptr);
}

TEST(Ending, ExitClosesAnOpenAboutWindowThenSaves) {
    App app;
    std::filesystem::path settings = SettingsFileOnHost(app.device());
    std::filesystem::remove(settings);
    app.driver().menu(u"Help", u"About");
    ASSERT_NE(g_hAboutWindow, nullptr);
    app.driver().menu(u"Varnello", u"Exit");
    ASSERT_FALSE(app.driver().running());
    EXPECT_EQ(g_hAboutWindow, nullptr);
    EXPECT_EQ(g_aboutControls.GetCount(), 0);
    EXPECT_TRUE(std::filesystem::exists(settings));
}

TEST(Ending, APostedQuitMessageDoesNotEndTheProgram) {
    TempDevice device;
    CreateDirectoryW(TEXT("\\Program Files\\Varnello"), NULL);
    HINSTANCE instance = ce::resources::instanceFor((const void*)&WinMain);
    Driver driver([instance] {
        PostQuitMessage(3);
        return WinMain(instance, NULL, (LPWSTR)u"", SW_SHOW);
    });
    ASSERT_TRUE(driver.running());
    driver.tapText(u"Registry");
    EXPECT_TRUE(driver.running());
    EXPECT_TRUE(IsWindowVisible(ScreenControl(SCREEN_REGISTRY, POS_REGISTRY_KEYS_CHECK)));
    driver.menu(u"Varnello", u"Exit");
    EXPECT_FALSE(driver.running());
    EXPECT_EQ(driver.exitCode(), 0);
}

// The About window: full screen above the menu bar, closed by its own OK, one at a time.
TEST(About, ShowsTheVersionAndItsOkClosesOnlyIt) {
    App app;
    app.driver().tapId(50007);  // "\Temp", ticked before About
    app.driver().menu(u"Help", u"About");
    ASSERT_NE(g_hAboutWindow, nullptr);
    EXPECT_EQ(app.driver().navTitle(), u"About");
    HWND text = app.driver().findText(u"Varnello V1.01");
    ASSERT_NE(text, nullptr);
    // the version `varnello --version` gives is the one the program shows
    EXPECT_EQ(std::u16string(u"Varnello V") + VARNELLO_VERSION, u"Varnello V1.01");
    EXPECT_EQ(GetParent(text), g_hAboutWindow);
    EXPECT_EQ(g_aboutControls.GetCount(), 1);
    EXPECT_EQ(g_aboutControls.GetAt(0), text);
    EXPECT_EQ((DWORD)GetWindowLongW(text, GWL_STYLE), (DWORD)(WS_CHILD | WS_VISIBLE));
    WCHAR className[16] = {0};
    GetClassNameW(text, className, 16);
    EXPECT_EQ(_wcsicmp(className, TEXT("STATIC")), 0);
    RECT rcText;
    GetWindowRect(text, &rcText);
    POINT origin = {0, 0};
    ClientToScreen(g_hAboutWindow, &origin);
    EXPECT_EQ(rcText.left - origin.x, 2);
    EXPECT_EQ(rcText.top - origin.y, 2);
    EXPECT_EQ(rcText.right - rcText.left, 200);
    EXPECT_EQ(rcText.bottom - rcText.top, 50);
    EXPECT_EQ((DWORD)GetWindowLongW(g_hAboutWindow, GWL_EXSTYLE) & WS_EX_CAPTIONOKBTN,
              WS_EX_CAPTIONOKBTN);

    RECT rcAbout, rcMenuBar;
    GetWindowRect(g_hAboutWindow, &rcAbout);
    GetWindowRect(g_pMenuBar->GetHandle(), &rcMenuBar);
    EXPECT_EQ(rcAbout.bottom, rcMenuBar.top);

    app.driver().ok();
    ASSERT_TRUE(app.driver().running());
    EXPECT_EQ(g_hAboutWindow, nullptr);
    EXPECT_FALSE(IsWindow(text));
    EXPECT_EQ(app.driver().activeWindow(), MainWindow());
    EXPECT_EQ(SendMessageW(ScreenControl(SCREEN_CLEAN_TEMP, POS_TEMP_CHECK), BM_GETCHECK, 0, 0),
              BST_CHECKED);
}

TEST(About, ASecondAboutKeepsTheOneWindow) {
    App app;
    app.driver().menu(u"Help", u"About");
    HWND first = g_hAboutWindow;
    ASSERT_NE(first, nullptr);
    app.driver().menu(u"Help", u"About");
    EXPECT_EQ(g_hAboutWindow, first);
    EXPECT_EQ(g_aboutControls.GetCount(), 1);
    EXPECT_EQ(app.driver().activeWindow(), first);
    app.driver().ok();
    EXPECT_EQ(g_hAboutWindow, nullptr);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(app.driver().find(Query{.text = u"About"}), nullptr);
}

TEST(Help, IndexStartsTheHelpViewerAtTheContents) {
    App app;
    app.driver().menu(u"Help", u"Index");
    EXPECT_TRUE(app.driver().running());
    EXPECT_FALSE(app.driver().messageBox().has_value());
    EXPECT_TRUE(LogHas(app.device(), "help \\Windows\\tunedoc.htm#Main_Contents"))
        << app.device().log();
}

// Power: Off and Soft Reset ask nothing; Hard Reset asks twice and only Yes, Yes erases.
TEST(Power, OffAsksNothingAndTheProgramGoesOn) {
    App app;
    app.driver().menu(u"Power", u"Off");
    EXPECT_FALSE(app.driver().messageBox().has_value());
    EXPECT_TRUE(app.driver().running());
    EXPECT_TRUE(LogHas(app.device(), "power off")) << app.device().log();
    EXPECT_FALSE(LogHas(app.device(), "reboot"));
}

TEST(Power, SoftResetRestartsAtOnce) {
    App app;
    app.driver().menu(u"Power", u"Soft Reset");
    EXPECT_FALSE(app.driver().running());
    EXPECT_TRUE(app.driver().rebooted());
    EXPECT_TRUE(LogHas(app.device(), "reboot")) << app.device().log();
    EXPECT_FALSE(LogHas(app.device(), "clean boot flag set"));
}

TEST(Power, HardResetNoAtTheFirstQuestionChangesNothing) {
    App app;
    std::string logBefore = app.device().log();
    std::string registryBefore = RegistryText(app.device());
    app.driver().menu(u"Power", u"Hard Reset");
    auto box = app.driver().answerBox(u"Please Confirm",
                                      u"WARNING: Hard Reseting Will Erase ALL data!!!", IDNO);
    EXPECT_EQ(box.type, (UINT)(MB_YESNO | MB_ICONEXCLAMATION));
    EXPECT_NE(box.text.find(u"Zembrik accepts no reposibility"), std::u16string::npos);
    EXPECT_FALSE(app.driver().messageBox().has_value());
    EXPECT_TRUE(app.driver().running());
    EXPECT_FALSE(LogHas(app.device(), "reboot"));
    EXPECT_FALSE(LogHas(app.device(), "clean boot flag set"));
    ExpectOnlyQuestionsLogged(app.device(), logBefore, 1);
    EXPECT_EQ(RegistryText(app.device()), registryBefore);
}

TEST(Power, HardResetNoAtTheSecondQuestionChangesNothing) {
    App app;
    std::string logBefore = app.device().log();
    std::string registryBefore = RegistryText(app.device());
    app.driver().menu(u"Power", u"Hard Reset");
    app.driver().answerBox(u"Please Confirm", u"Do you wish to perform a hard reset?", IDYES);
    auto second = app.driver().answerBox(u"Please Confirm", u"", IDNO);
    EXPECT_EQ(second.text, u"Are you really sure?");
    EXPECT_EQ(second.type, (UINT)(MB_YESNO | MB_ICONEXCLAMATION));
    EXPECT_FALSE(app.driver().messageBox().has_value());
    EXPECT_TRUE(app.driver().running());
    EXPECT_FALSE(LogHas(app.device(), "reboot"));
    EXPECT_FALSE(LogHas(app.device(), "clean boot flag set"));
    ExpectOnlyQuestionsLogged(app.device(), logBefore, 2);
    EXPECT_EQ(RegistryText(app.device()), registryBefore);
}

TEST(Power, HardResetYesTwiceRestartsWithACleanStore) {
    App app;
    app.driver().menu(u"Power", u"Hard Reset");
    app.driver().answerBox(u"Please Confirm", u"WARNING", IDYES);
    app.driver().answerBox(u"Please Confirm", u"Are you really sure?", IDYES);
    EXPECT_FALSE(app.driver().running());
    EXPECT_TRUE(app.driver().rebooted());
    EXPECT_TRUE(LogHas(app.device(), "clean boot flag set")) << app.device().log();
    EXPECT_TRUE(LogHas(app.device(), "reboot"));
}

// Teardown: the option controls go first, then the display window, the tab control and last
// the main window, which takes its menu bar with it.
TEST(Ending, TeardownDestroysTheWindowsInReverseOrderOfCreation) {
    App app;
    std::vector<HWND> controls;
    for (int s = 0; s < SCREEN_COUNT; s++)
        for (int p = 0; p < g_pScreens->GetScreenItems(s).GetCount(); p++)
            controls.push_back(ScreenControl(s, p));
    HWND display = DisplayWindow();
    HWND tabs = g_pTabBar->GetHandle();
    HWND main = MainWindow();
    HWND menuBar = g_pMenuBar->GetHandle();
    for (HWND hwnd : controls) WatchDestroy(hwnd);
    WatchDestroy(display);
    WatchDestroy(tabs);
    WatchDestroy(main);

    app.driver().menu(u"Varnello", u"Exit");
    ASSERT_FALSE(app.driver().running());
    EXPECT_EQ(app.driver().exitCode(), 0);
    size_t displayAt = DestroyedAt(display);
    ASSERT_LT(displayAt, g_destroyed.size());
    for (HWND hwnd : controls) EXPECT_LT(DestroyedAt(hwnd), displayAt);
    EXPECT_LT(displayAt, DestroyedAt(tabs));
    EXPECT_LT(DestroyedAt(tabs), DestroyedAt(main));
    EXPECT_LT(DestroyedAt(main), g_destroyed.size());
    EXPECT_FALSE(IsWindow(menuBar));
    EXPECT_EQ(g_pScreens, nullptr);
    EXPECT_EQ(g_pDisplayWindow, nullptr);
    EXPECT_EQ(g_pTabBar, nullptr);
    EXPECT_EQ(g_pMenuBar, nullptr);
    EXPECT_EQ(g_pSettings, nullptr);
    EXPECT_EQ(g_hInstance, nullptr);
    EXPECT_EQ(g_bRunning, 0);
}

// OK on the main window ends the program at once; an open About window is left to the process.
TEST(Ending, OkOnTheMainWindowLeavesAnOpenAboutWindowToTheProcess) {
    App app;
    std::filesystem::path settings = SettingsFileOnHost(app.device());
    std::filesystem::remove(settings);
    app.driver().menu(u"Help", u"About");
    HWND about = g_hAboutWindow;
    ASSERT_NE(about, nullptr);
    // The caption's ok goes to the active window, the About window: the main window's OK is
    // sent to it directly.
    HWND main = MainWindow();
    RunOnProgramThread(app.driver(), [main] { SendMessageW(main, WM_COMMAND, IDOK, 0); });
    ASSERT_FALSE(app.driver().running());
    EXPECT_EQ(app.driver().exitCode(), 0);
    EXPECT_TRUE(std::filesystem::exists(settings));
    EXPECT_EQ(g_hAboutWindow, about);
    EXPECT_EQ(g_aboutControls.GetCount(), 1);
}

// The three classes of the program share one set of class settings.
TEST(MainWindow, TheProgramsClassesShareTheirSettings) {
    App app;
    app.driver().menu(u"Help", u"About");
    for (const char16_t* name : {u"Zembrik PPC", u"DisplayWindow", u"ABOUT_BOX"}) {
        WNDCLASSW wc = {};
        ASSERT_TRUE(GetClassInfoW(g_hInstance, (LPCWSTR)name, &wc));
        EXPECT_EQ(wc.style, (UINT)(CS_HREDRAW | CS_VREDRAW));
        EXPECT_EQ(wc.lpfnWndProc, &MainWndProc);
        EXPECT_EQ(wc.cbClsExtra, 0);
        EXPECT_EQ(wc.cbWndExtra, 0);
        EXPECT_EQ(wc.hInstance, g_hInstance);
        EXPECT_EQ(wc.hIcon, nullptr);
        EXPECT_EQ(wc.hCursor, nullptr);
        EXPECT_EQ(wc.lpszMenuName, nullptr);
        EXPECT_EQ((UINT_PTR)wc.hbrBackground, (UINT_PTR)0x40000005);
    }
}

// The windows of the page: the tab control over the main window's client area, the display
// window inside the tabs' display area, each with its own styles.
TEST(MainWindow, TabsAndDisplayWindowFillThePage) {
    App app;
    HWND main = MainWindow();
    EXPECT_EQ((DWORD)GetWindowLongW(main, GWL_EXSTYLE) & WS_EX_CAPTIONOKBTN, WS_EX_CAPTIONOKBTN);
    EXPECT_EQ(WindowText(main), u"Zembrik PPC");

    HWND tabs = g_pTabBar->GetHandle();
    EXPECT_EQ(GetParent(tabs), main);
    EXPECT_EQ((DWORD)GetWindowLongW(tabs, GWL_STYLE), (DWORD)0x54000002);
    RECT mainClient, tabRect;
    GetClientRect(main, &mainClient);
    GetWindowRect(tabs, &tabRect);
    POINT origin = {0, 0};
    ClientToScreen(main, &origin);
    EXPECT_EQ(tabRect.left - origin.x, 0);
    EXPECT_EQ(tabRect.top - origin.y, 0);
    EXPECT_EQ(tabRect.right - tabRect.left, mainClient.right);
    EXPECT_EQ(tabRect.bottom - tabRect.top, mainClient.bottom);

    HWND display = DisplayWindow();
    EXPECT_EQ(GetParent(display), tabs);
    EXPECT_EQ((DWORD)GetWindowLongW(display, GWL_STYLE), (DWORD)0x50200000);
    EXPECT_EQ(WindowText(display), u"DisplayWindow");
    WCHAR className[32] = {0};
    GetClassNameW(display, className, 32);
    EXPECT_EQ(std::u16string(className), u"DisplayWindow");
    RECT area;
    GetClientRect(tabs, &area);
    SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, (LPARAM)&area);
    RECT displayRect;
    GetWindowRect(display, &displayRect);
    POINT tabOrigin = {0, 0};
    ClientToScreen(tabs, &tabOrigin);
    OffsetRect(&displayRect, -tabOrigin.x, -tabOrigin.y);
    EXPECT_EQ(displayRect.left, area.left);
    EXPECT_EQ(displayRect.top, area.top);
    EXPECT_EQ(displayRect.right, area.right);
    EXPECT_EQ(displayRect.bottom, area.bottom);
    // The tabs run along the bottom, below the page.
    RECT tab0 = {};
    SendMessageW(tabs, TCM_GETITEMRECT, 0, (LPARAM)&tab0);
    EXPECT_GE(tab0.top, area.bottom);
}

// Commands are routed by the low word of wParam alone.
TEST(Commands, ANotificationCodeInTheHighWordStillRoutesByTheId) {
    App app;
    HWND main = MainWindow();
    RunOnProgramThread(app.driver(),
                       [main] { SendMessageW(main, WM_COMMAND, MAKEWPARAM(IDM_ABOUT, 1), 0); });
    EXPECT_NE(g_hAboutWindow, nullptr);
    EXPECT_EQ(app.driver().navTitle(), u"About");
    app.driver().ok();
    EXPECT_EQ(g_hAboutWindow, nullptr);

    // An edit's change notice (EN_CHANGE, 0x300) from the display window reaches the control
    // callback with the edit's ID, which it ignores.
    HWND display = DisplayWindow();
    RunOnProgramThread(app.driver(), [display] {
        SendMessageW(display, WM_COMMAND, MAKEWPARAM(50002, 0x300), 0);
    });
    EXPECT_FALSE(app.driver().messageBox().has_value());
    // An ID no control has goes the same way and is reported there.
    RunOnProgramThread(app.driver(), [display] {
        SendMessageW(display, WM_COMMAND, MAKEWPARAM(50053, 0x300), 0);
    });
    auto box = app.driver().answerBox(u"Error", u"", IDOK);
    EXPECT_EQ(box.text, u"CScreens::ControlCallback() Unknown control ID");
    EXPECT_TRUE(app.driver().running());
}

TEST(Commands, TapsOnTheBareSurfacesDoNothing) {
    App app;
    HWND display = DisplayWindow();
    POINT blank = {120, 8};  // right of "User Defined 1", above its edit
    ClientToScreen(display, &blank);
    app.driver().tap(blank.x, blank.y);
    EXPECT_FALSE(app.driver().messageBox().has_value());
    EXPECT_EQ(
        SendMessageW(ScreenControl(SCREEN_CLEAN_TEMP, POS_USER_DIR1_CHECK), BM_GETCHECK, 0, 0),
        BST_UNCHECKED);

    app.driver().menu(u"Help", u"About");
    RECT about;
    GetWindowRect(g_hAboutWindow, &about);
    app.driver().tap((about.left + about.right) / 2, (about.top + about.bottom) / 2);
    EXPECT_FALSE(app.driver().messageBox().has_value());
    EXPECT_NE(g_hAboutWindow, nullptr);
    EXPECT_EQ(app.driver().navTitle(), u"About");
    EXPECT_EQ(SendMessageW(g_hAboutWindow, WM_LBUTTONUP, 0, MAKELPARAM(5, 5)), 1);
    EXPECT_TRUE(app.driver().running());
}
