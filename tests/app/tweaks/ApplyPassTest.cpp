// The Apply pass as a whole: its closing boxes, the restart, the startup shortcut, the selected
// list entries, and the silent run at device start.
#include "AppCoreTest.h"

#include "screens/FolderBrowser.h"

#include <map>

namespace appcore {
namespace {

// StartPlain: a device whose animation values match unticked boxes, and no first-run default.
class ApplyPass : public AppCoreTest {};

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

    // Exit keeps the ticked box; the next start shows it ticked again from the file.
    Exit();
    EXPECT_EQ(ReadBytes(SettingsPath()), Bytes({0x00, 0x00, 0x80, 0x00}));
    Start();
    EXPECT_TRUE(IsChecked(SCREEN_PERFORMANCE, POS_WINDOW_ANIMATION_CHECK));
    EXPECT_EQ(ApplyAndFinish(false), u"0 Bytes Cleaned");
    EXPECT_FALSE(driver().messageBox().has_value());
}

// Writes an arbitrary value into GWLP_USERDATA of every window there is (the program's own, its
// option controls, tab bar, menu bar, the navigation bar, and their descendants), after checking
// that each starts at 0, and answers what was written to each.
BOOL CALLBACK ScribbleOne(HWND hwnd, LPARAM lParam) {
    auto& written = *reinterpret_cast<std::map<HWND, LONG_PTR>*>(lParam);
    if (written.count(hwnd))
        return TRUE;
    static const LONG_PTR kValues[] = {12345, -1, 0, static_cast<LONG_PTR>(0xDEADBEEF), 1};
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_USERDATA), 0) << "a fresh window's slot";
    const LONG_PTR value = kValues[written.size() % std::size(kValues)];
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, value);
    written[hwnd] = value;
    EnumChildWindows(hwnd, ScribbleOne, lParam);
    return TRUE;
}

void ScribbleUserData(std::map<HWND, LONG_PTR>& written) {
    EnumWindows(ScribbleOne, reinterpret_cast<LPARAM>(&written));
}

// GWLP_USERDATA is the program's on every window: the slot starts at 0, keeps what is written,
// and arbitrary values there change nothing the program does, up to its saved settings.
TEST_F(ApplyPass, UserDataOfEveryWindowIsTheProgramsOwn) {
    StartPlain();
    Driver& d = driver();
    std::map<HWND, LONG_PTR> written;
    ScribbleUserData(written);
    ASSERT_GT(written.size(), 60u);  // every option control, the shell's windows and the bars
    ShowScreen(u"Performance");
    Tap(50052);  // "Disable window animation"
    EXPECT_TRUE(IsChecked(SCREEN_PERFORMANCE, POS_WINDOW_ANIMATION_CHECK));
    ShowScreen(u"Pocket IE");
    Tap(50027);             // the cache limit drops down ...
    d.tapText(u"2048 kb");  // ... and a tap chooses
    EXPECT_EQ(SendMessageW(Control(SCREEN_POCKET_IE, POS_IE_CACHE_LIMIT_LIST), CB_GETCURSEL, 0, 0),
              1);
    ShowScreen(u"Clean Temp Files");
    Tap(50003);  // the folder browser, with windows of its own
    ASSERT_NE(g_hBrowserCancel, nullptr);
    ScribbleUserData(written);
    d.tap(g_hBrowserCancel);
    d.menu(u"Apply", u"Defer Restart");
    d.answerBox(u"Cleaning Finished", u"0 Bytes Cleaned", IDOK);
    d.answerBox(u"Restart Required", u"", IDOK);
    EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, u"System\\GWE", u"Animate"), 0u);
    for (const auto& [hwnd, value] : written)
        if (IsWindow(hwnd))
            EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_USERDATA), value);
    Exit();
    EXPECT_EQ(ReadBytes(SettingsPath()), Bytes({0x00, 0x00, 0x80, 0x00}));
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
    HWND list = Control(SCREEN_CLEAN_TEMP, POS_FOUND_FILES_LIST);
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
    HWND list = Control(SCREEN_CLEAN_TEMP, POS_FOUND_FOLDERS_LIST);
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
    HWND list = Control(SCREEN_SHORTCUTS, POS_STARTUP_LIST);
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

// Every file below a folder, with its size: what a canary folder holds.
std::map<std::string, uintmax_t> Snapshot(const fs::path& folder) {
    std::map<std::string, uintmax_t> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        files[fs::relative(entry.path(), folder).string()] =
            entry.is_regular_file() ? entry.file_size() : 0;
    return files;
}

// Every option ticked, every folder it acts on holding links that lead out of the image, every
// list entry selected: nothing outside the image is deleted, moved into or changed.
TEST_F(ApplyPass, EveryOptionAtOnceLeavesTheOutsideAlone) {
    fs::path outside = device_.outside();
    MakeFile(outside / "canary.txt", 9);
    MakeFile(outside / "Sub" / "deep.tmp", 4);
    WriteBytes(outside / "Sub" / "dead.lnk", {'7', '#', '\\', 'G', 'o', 'n', 'e', '\\', 'x'});
    const auto before = Snapshot(outside);

    const char16_t kShell[] =
        u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    SetRegString(HKEY_CURRENT_USER, kShell, u"Cache", u"\\IE Cache");
    SetRegString(HKEY_CURRENT_USER, kShell, u"History", u"\\IE History");
    SetRegString(HKEY_CURRENT_USER, u"Software\\AvantGo", u"DatabaseLocation", u"\\AG");
    SetRegString(HKEY_LOCAL_MACHINE, u"Explorer\\Shell Folders", u"Favorites", u"\\Fav");
    SetRegString(HKEY_LOCAL_MACHINE, u"Explorer\\Shell Folders", u"Fonts", u"\\Fnt");
    SetRegString(HKEY_LOCAL_MACHINE, u"Explorer\\Shell Folders", u"My Documents", u"\\Docs");
    for (const char16_t* folder :
         {u"\\U1", u"\\U2", u"\\Temp", u"\\Windows\\Temp", u"\\My Documents\\Temp", u"\\IE Cache",
          u"\\IE History", u"\\AG", u"\\Fav", u"\\Fnt", u"\\Docs", u"\\Windows\\Start Menu"}) {
        fs::create_directories(Host(folder));
        fs::create_directory_symlink(outside, Host(folder) / "escape");
        fs::create_symlink(outside / "canary.txt", Host(folder) / "canary.lnk");
    }
    fs::create_symlink(outside / "Sub" / "dead.lnk", Host(u"\\Windows\\StartUp\\link.lnk"));
    for (const char16_t* folder : {u"\\New Cache", u"\\AG New", u"\\Fav New", u"\\Docs New"})
        fs::create_directories(Host(folder));
    HKEY hKey = NULL;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Escape", 0, NULL, 0, 0, NULL,
                              &hKey, NULL),
              ERROR_SUCCESS);
    const char16_t kEscape[] = u"\\Temp\\escape";
    RegSetValueExW(hKey, u"InstallDir", 0, REG_SZ, (const BYTE*)kEscape, sizeof(kEscape));
    RegCloseKey(hKey);

    StartPlain();
    for (int screen = 0; screen < 6; screen++) {
        const CWindowList& items = g_pScreens->GetScreenItems(screen);
        for (int pos = 0; pos < items.GetCount(); pos++) {
            WCHAR className[32] = {0};
            GetClassNameW(items.GetAt(pos), className, 32);
            LONG style = GetWindowLongW(items.GetAt(pos), GWL_STYLE);
            if (_wcsicmp(className, u"BUTTON") == 0 && (style & 0xF) == BS_AUTOCHECKBOX)
                SendMessageW(items.GetAt(pos), BM_SETCHECK, BST_CHECKED, 0);
        }
    }
    SetText(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT, u"\\U1\\");
    SetText(SCREEN_CLEAN_TEMP, POS_USER_DIR2_EDIT, u"\\U2");
    SetText(SCREEN_CLEAN_TEMP, POS_FILES_CUSTOM_EDIT, u"lnk");
    SetText(SCREEN_POCKET_IE, POS_IE_MOVE_CACHE_EDIT, u"\\New Cache\\");
    SetText(SCREEN_POCKET_IE, POS_AVANTGO_EDIT, u"\\AG New\\");
    SetText(SCREEN_SYSTEM_FOLDERS, POS_FAVORITES_EDIT, u"\\Fav New\\");
    SetText(SCREEN_SYSTEM_FOLDERS, POS_FONTS_EDIT,
            u"\\Temp\\escape\\");  // a link out of the image is no folder to move to
    SetText(SCREEN_SYSTEM_FOLDERS, POS_MY_DOCUMENTS_EDIT, u"\\Docs New\\");
    HWND folders = Control(SCREEN_CLEAN_TEMP, POS_FOUND_FOLDERS_LIST),
         files = Control(SCREEN_CLEAN_TEMP, POS_FOUND_FILES_LIST),
         startup = Control(SCREEN_SHORTCUTS, POS_STARTUP_LIST);
    SendMessageW(folders, LB_ADDSTRING, 0, (LPARAM)u"\\Temp\\escape\\");
    SendMessageW(folders, LB_ADDSTRING, 0, (LPARAM)u"\\Docs\\escape\\Sub\\");
    SendMessageW(files, LB_ADDSTRING, 0, (LPARAM)u"\\Fav\\escape\\canary.txt");
    SendMessageW(files, LB_ADDSTRING, 0, (LPARAM)u"\\U1\\canary.lnk");
    for (HWND list : {folders, files, startup}) SendMessageW(list, LB_SETSEL, TRUE, -1);
    ASSERT_GE(SendMessageW(startup, LB_GETSELCOUNT, 0, 0), 1);

    driver().menu(u"Apply", u"Defer Restart");
    for (int boxes = 0; boxes < 40; boxes++) {
        auto box = driver().messageBox();
        ASSERT_TRUE(box.has_value()) << ::testing::PrintToString(driver().describeScreen());
        driver().answer(IDOK);
        if (box->caption == u"Cleaning Finished")
            break;
    }
    if (driver().messageBox())
        driver().answerBox(u"Restart Required", u"", IDOK);

    EXPECT_EQ(Snapshot(outside), before);
    EXPECT_EQ(ReadText(outside / "Sub" / "dead.lnk"), "7#\\Gone\\x");
    // The links themselves were plain entries of their folders: cleaned or moved like files.
    EXPECT_FALSE(fs::exists(fs::symlink_status(Host(u"\\Temp\\canary.lnk"))));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Host(u"\\Windows\\StartUp\\link.lnk"))));
    EXPECT_TRUE(fs::is_symlink(Host(u"\\Docs New\\escape")));
}

}  // namespace
}  // namespace appcore
