// The Apply pass as a whole: its closing boxes, the restart, the startup shortcut, the selected
// list entries, and the silent run at device start.
#include "AppCoreTest.h"

namespace appcore {
namespace {

class ApplyPass : public AppCoreTest {
  protected:
    // A device whose animation values match unticked boxes, and no first-run default.
    void StartPlain(const std::u16string& commandLine = u"") {
        WriteBytes(SettingsPath(), {0, 0, 0, 0});
        Start(commandLine);
    }
};

TEST_F(ApplyPass, DeferRestartShowsBytesThenRestartRequiredOnlyOnce) {
    Driver& d = Start();  // first run: "Disable window animation" is ticked
    ASSERT_EQ(RegDword(HKEY_LOCAL_MACHINE, u"System\\GWE", u"Animate"), 1u);
    d.menu(u"Apply", u"Defer Restart");
    d.answerBox(u"Cleaning Finished", u"0 Bytes Cleaned", IDOK);
    MessageBoxInfo restart = d.answerBox(u"Restart Required", u"", IDOK);
    EXPECT_EQ(restart.text,
              u"Some settings will not take effect until the device has been restarted");
    EXPECT_FALSE(d.messageBox().has_value());
    EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, u"System\\GWE", u"Animate"), 0u);
    EXPECT_TRUE(d.running());

    // The value matches now: the second pass asks for nothing.
    EXPECT_EQ(ApplyAndFinish(false), u"0 Bytes Cleaned");
    EXPECT_FALSE(d.messageBox().has_value());
    EXPECT_FALSE(d.rebooted());
}

TEST_F(ApplyPass, AllowRestartSavesAndRebootsWithoutAnotherBox) {
    Driver& d = Start();
    d.menu(u"Apply", u"Allow Restart");
    d.answerBox(u"Cleaning Finished", u"Bytes Cleaned", IDOK);
    EXPECT_FALSE(d.running());
    EXPECT_TRUE(d.rebooted());
    EXPECT_NE(device_.log().find("reboot"), std::string::npos) << device_.log();
    EXPECT_EQ(device_.log().find("Restart Required"), std::string::npos) << device_.log();
    Bytes saved = ReadBytes(SettingsPath());
    ASSERT_EQ(saved.size(), 4u);
    EXPECT_EQ(saved, Bytes({0x00, 0x00, 0x80, 0x00}));
}

TEST_F(ApplyPass, AllowRestartWithoutAnimationChangeDoesNotRestart) {
    StartPlain();
    EXPECT_EQ(ApplyAndFinish(true), u"0 Bytes Cleaned");
    EXPECT_TRUE(driver().running());
    EXPECT_FALSE(driver().messageBox().has_value());
    EXPECT_FALSE(driver().rebooted());
}

TEST_F(ApplyPass, StartupShortcutIsCreatedOnceLeftAloneThenDeleted) {
    StartPlain();
    ShowScreen(u"Performance");
    Tap(50050);  // "Silent cleanup at startup"
    ApplyAndFinish(false);
    std::string command = "\"\\Program Files\\Varnello\\Varnello.exe\" silent\"";
    EXPECT_EQ(ReadText(Host(kStartupShortcut)), std::to_string(command.size()) + "#" + command);

    // An existing shortcut is neither checked nor rewritten.
    WriteBytes(Host(kStartupShortcut), {'3', '#', 'a', 'b', 'c'});
    ApplyAndFinish(false);
    EXPECT_EQ(ReadText(Host(kStartupShortcut)), "3#abc");

    Tap(50050);
    ApplyAndFinish(false);
    EXPECT_FALSE(fs::exists(Host(kStartupShortcut)));
}

TEST_F(ApplyPass, SelectedFoundFilesAreDeletedAndCounted) {
    MakeFile(Host(u"\\Data\\one.tmp"), 11);
    MakeFile(Host(u"\\Data\\two.tmp"), 22);
    MakeFile(Host(u"\\Data\\three.tmp"), 33);
    MakeFile(Host(u"\\Data\\kept.tmp"), 44);
    StartPlain();
    HWND list = Control(0, 19);
    for (const char16_t* entry : {u"\\Data\\one.tmp", u"\\Data\\two.tmp", u"\\Data\\three.tmp",
                                  u"\\Data\\kept.tmp", u"\\Data\\gone.tmp"})
        SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)entry);
    for (const char16_t* entry :
         {u"\\Data\\one.tmp", u"\\Data\\two.tmp", u"\\Data\\three.tmp", u"\\Data\\gone.tmp"}) {
        LRESULT index = SendMessageW(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)entry);
        SendMessageW(list, LB_SETSEL, TRUE, index);
    }
    EXPECT_EQ(ApplyAndFinish(false), u"66 Bytes Cleaned");
    EXPECT_FALSE(fs::exists(Host(u"\\Data\\one.tmp")));
    EXPECT_FALSE(fs::exists(Host(u"\\Data\\three.tmp")));
    EXPECT_TRUE(fs::exists(Host(u"\\Data\\kept.tmp")));
    // The list is not refreshed by the pass.
    EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 5);
}

TEST_F(ApplyPass, SelectedFoundFoldersLoseTheirFilesNotTheirSubfolders) {
    MakeFile(Host(u"\\Cache Temp\\a.bin"), 5);
    MakeFile(Host(u"\\Cache Temp\\Sub\\b.bin"), 7);
    StartPlain();
    HWND list = Control(0, 11);
    SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)u"\\Cache Temp\\");
    SendMessageW(list, LB_SETSEL, TRUE, 0);
    EXPECT_EQ(ApplyAndFinish(false), u"12 Bytes Cleaned");
    EXPECT_TRUE(fs::is_directory(Host(u"\\Cache Temp\\Sub")));
    EXPECT_TRUE(fs::is_empty(Host(u"\\Cache Temp\\Sub")));
}

TEST_F(ApplyPass, SelectedStartupShortcutsGoOnlyWhenTheBoxIsTicked) {
    WriteBytes(Host(u"\\Windows\\StartUp\\Alpha.lnk"), {'1', '#', 'a'});
    WriteBytes(Host(u"\\Windows\\StartUp\\Beta.lnk"), {'1', '#', 'b'});
    StartPlain();
    ShowScreen(u"Shortcuts");
    HWND list = Control(4, 2);
    LRESULT alpha = SendMessageW(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)u"Alpha.lnk");
    ASSERT_GE(alpha, 0);
    SendMessageW(list, LB_SETSEL, TRUE, alpha);

    ApplyAndFinish(false);
    EXPECT_TRUE(fs::exists(Host(u"\\Windows\\StartUp\\Alpha.lnk")));

    Tap(50046);  // "Remove selected startup shortcuts"
    EXPECT_EQ(ApplyAndFinish(false), u"3 Bytes Cleaned");
    EXPECT_FALSE(fs::exists(Host(u"\\Windows\\StartUp\\Alpha.lnk")));
    EXPECT_TRUE(fs::exists(Host(u"\\Windows\\StartUp\\Beta.lnk")));
}

TEST_F(ApplyPass, SilentRunShowsOnlyErrorsAndNeverRestarts) {
    Bytes settings;
    PutDword(settings, OPT_CLEAN_TEMP | OPT_LIMIT_IE_COOKIES | OPT_NO_WINDOW_ANIMATION |
                           OPT_REMOVE_START_MENU_ITEMS);
    PutDword(settings, 2);
    WriteBytes(SettingsPath(), settings);
    MakeFile(Host(u"\\Temp\\old.tmp"), 100);
    // The cookie key is gone: its error box is still shown in a silent run.
    HKEY hKey = NULL;
    ASSERT_EQ(RegOpenKeyExW(
                  HKEY_CURRENT_USER,
                  u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache", 0,
                  0, &hKey),
              ERROR_SUCCESS);
    RegDeleteKeyW(hKey, u"Cookies");
    RegCloseKey(hKey);

    Driver& d = Start(u"silent");
    d.answerBox(u"Error", u"Unable to locate Internet Explorer cookie limit", IDOK);
    EXPECT_FALSE(d.running());
    EXPECT_EQ(d.exitCode(), 0);
    EXPECT_FALSE(d.rebooted());
    EXPECT_FALSE(fs::exists(Host(u"\\Temp\\old.tmp")));
    EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, u"System\\GWE", u"Animate"), 0u);
    std::string log = device_.log();
    EXPECT_EQ(log.find("Cleaning Finished"), std::string::npos) << log;
    EXPECT_EQ(log.find("Restart Required"), std::string::npos) << log;
    EXPECT_EQ(log.find("reboot"), std::string::npos) << log;
    // A silent run never saves: the file is as it was.
    EXPECT_EQ(ReadBytes(SettingsPath()), settings);
}

TEST_F(ApplyPass, NothingOutsideTheDeviceImageIsTouched) {
    fs::path canary = device_.outside() / "canary.txt";
    MakeFile(canary, 9);
    fs::create_directories(Host(u"\\Temp"));
    fs::create_directory_symlink(device_.outside(), Host(u"\\Temp\\escape"));
    fs::create_symlink(canary, Host(u"\\Windows\\Temp\\canary.lnk"));
    MakeFile(Host(u"\\Temp\\x.tmp"), 1);
    WriteBytes(SettingsPath(), {0, 0, 0, 0});
    Start();
    Tap(50007);
    Tap(50008);
    ShowScreen(u"Pocket IE");
    Tap(50021);
    ShowScreen(u"Shortcuts");
    Tap(50045);
    ApplyAndFinish(false);
    EXPECT_TRUE(fs::exists(canary));
    EXPECT_EQ(fs::file_size(canary), 9u);
    EXPECT_FALSE(fs::exists(Host(u"\\Temp\\x.tmp")));
}

}  // namespace
}  // namespace appcore
