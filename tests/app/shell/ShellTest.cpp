// Start-up, the command line, the main window and its menus, power, About and help, driven
// through the real WinMain on a fresh device.
#include "AppHarness.h"

#include <filesystem>

#include "common/ControlIds.h"
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
    EXPECT_TRUE(IsWindowVisible(ScreenControl(SCREEN_REGISTRY, 0)));
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
    EXPECT_EQ(GetParent(text), g_hAboutWindow);

    RECT rcAbout, rcMenuBar;
    GetWindowRect(g_hAboutWindow, &rcAbout);
    GetWindowRect(g_pMenuBar->GetHandle(), &rcMenuBar);
    EXPECT_EQ(rcAbout.bottom, rcMenuBar.top);

    app.driver().ok();
    ASSERT_TRUE(app.driver().running());
    EXPECT_EQ(g_hAboutWindow, nullptr);
    EXPECT_FALSE(IsWindow(text));
    EXPECT_EQ(app.driver().activeWindow(), MainWindow());
    EXPECT_EQ(SendMessageW(ScreenControl(SCREEN_CLEAN_TEMP, 6), BM_GETCHECK, 0, 0), BST_CHECKED);
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
    app.driver().menu(u"Power", u"Hard Reset");
    auto box = app.driver().answerBox(u"Please Confirm",
                                      u"WARNING: Hard Reseting Will Erase ALL data!!!", IDNO);
    EXPECT_EQ(box.type, (UINT)(MB_YESNO | MB_ICONEXCLAMATION));
    EXPECT_NE(box.text.find(u"Zembrik accepts no reposibility"), std::u16string::npos);
    EXPECT_FALSE(app.driver().messageBox().has_value());
    EXPECT_TRUE(app.driver().running());
    EXPECT_FALSE(LogHas(app.device(), "reboot"));
    EXPECT_FALSE(LogHas(app.device(), "clean boot flag set"));
}

TEST(Power, HardResetNoAtTheSecondQuestionChangesNothing) {
    App app;
    app.driver().menu(u"Power", u"Hard Reset");
    app.driver().answerBox(u"Please Confirm", u"Do you wish to perform a hard reset?", IDYES);
    app.driver().answerBox(u"Please Confirm", u"Are you really sure?", IDNO);
    EXPECT_FALSE(app.driver().messageBox().has_value());
    EXPECT_TRUE(app.driver().running());
    EXPECT_FALSE(LogHas(app.device(), "reboot"));
    EXPECT_FALSE(LogHas(app.device(), "clean boot flag set"));
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
