// Application keys whose install folder is gone and Start Menu shortcuts whose target is gone.
#include "AppCoreTest.h"

namespace appcore {
namespace {

void MakeShortcut(const fs::path& path, const std::u16string& target) {
    std::string utf8(target.begin(), target.end());  // the targets here are plain ASCII
    std::string content = std::to_string(utf8.size()) + "#" + utf8;
    WriteBytes(path, Bytes(content.begin(), content.end()));
}

void AddApp(const std::u16string& name, const std::optional<std::u16string>& installDir) {
    HKEY hKey = NULL;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (u"Software\\Apps\\" + name).c_str(), 0, NULL, 0,
                              0, NULL, &hKey, &disposition),
              ERROR_SUCCESS);
    if (installDir)
        RegSetValueExW(hKey, u"InstallDir", 0, REG_SZ, (const BYTE*)installDir->c_str(),
                       (DWORD)((installDir->size() + 1) * sizeof(WCHAR)));
    RegCloseKey(hKey);
}

class DeadEntries : public AppCoreTest {
  protected:
    void ApplyWith(int checkId, const std::u16string& tab) {
        WriteBytes(SettingsPath(), {0, 0, 0, 0});
        Start();
        ShowScreen(tab);
        Tap(checkId);
        result_ = ApplyAndFinish(false);
    }
    std::u16string result_;
};

TEST_F(DeadEntries, OrphanedApplicationKeysGoOthersStay) {
    fs::create_directories(Host(u"\\Program Files\\Alive"));
    AddApp(u"Aa Gone First", u"\\Program Files\\Gone1");
    AddApp(u"Ab Gone Second", u"\\Program Files\\Gone2");
    AddApp(u"Ac Alive", u"\\Program Files\\Alive");
    AddApp(u"Ad Alive With Backslash", u"\\Program Files\\Alive\\");
    AddApp(u"Ae No InstallDir", std::nullopt);
    AddApp(u"Af Gone Third", u"\\Nowhere");
    ApplyWith(50035, u"Registry");
    // Two (and three) in a row: each examined once although the enumeration shrinks.
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Aa Gone First"));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Ab Gone Second"));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Af Gone Third"));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Ac Alive"));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Ad Alive With Backslash"));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Ae No InstallDir"));
}

TEST_F(DeadEntries, MissingApplicationsKeyIsReported) {
    HKEY hKey = NULL;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, 0, &hKey), ERROR_SUCCESS);
    RegDeleteKeyW(hKey, u"Apps");
    RegCloseKey(hKey);
    WriteBytes(SettingsPath(), {0, 0, 0, 0});
    Driver& d = Start();
    ShowScreen(u"Registry");
    Tap(50035);
    d.menu(u"Apply", u"Defer Restart");
    MessageBoxInfo box = d.answerBox(u"Error", u"", IDOK);
    EXPECT_EQ(box.text, u"Failed retrieving registry information");
    d.answerBox(u"Cleaning Finished", u"0 Bytes Cleaned", IDOK);
}

TEST_F(DeadEntries, DeadStartMenuShortcutsGoLiveOnesStay) {
    const char16_t* menu = u"\\Windows\\Start Menu\\Programs\\Test\\";
    fs::remove_all(Host(u"\\Windows\\Start Menu"));
    MakeFile(Host(u"\\Program Files\\Tool\\tool.exe"), 1);
    MakeShortcut(Host(std::u16string(menu) + u"dead.lnk"), u"\\Program Files\\Gone\\gone.exe");
    MakeShortcut(Host(std::u16string(menu) + u"dead quoted.lnk"), u"\"\\Gone\\x.exe\" -a");
    MakeShortcut(Host(std::u16string(menu) + u"live.lnk"), u"\\Program Files\\Tool\\tool.exe");
    MakeShortcut(Host(std::u16string(menu) + u"quoted.lnk"),
                 u"\"\\Program Files\\Tool\\tool.exe\" -open file.v1.txt");
    MakeShortcut(Host(std::u16string(menu) + u"arguments.lnk"),
                 u"\\Program Files\\Tool\\tool.exe -n");
    MakeShortcut(Host(std::u16string(menu) + u"shell.lnk"),
                 u"::{000214A0-0000-0000-C000-000000000046}");
    MakeShortcut(Host(std::u16string(menu) + u"bare.lnk"), u"calc.exe");
    WriteBytes(Host(std::u16string(menu) + u"notes.txt"), {'h', 'i'});
    MakeShortcut(Host(u"\\Windows\\Start Menu\\Empty Later\\old.lnk"), u"\\Old\\old.exe");
    ApplyWith(50045, u"Shortcuts");

    // Each dead shortcut's file size: the count, '#' and the target.
    size_t cleaned = 0;
    for (std::u16string target :
         {std::u16string(u"\\Program Files\\Gone\\gone.exe"),
          std::u16string(u"\"\\Gone\\x.exe\" -a"), std::u16string(u"\\Old\\old.exe")})
        cleaned += std::to_string(target.size()).size() + 1 + target.size();
    std::string expected = std::to_string(cleaned) + " Bytes Cleaned";
    EXPECT_EQ(result_, std::u16string(expected.begin(), expected.end()));

    EXPECT_FALSE(fs::exists(Host(std::u16string(menu) + u"dead.lnk")));
    EXPECT_FALSE(fs::exists(Host(std::u16string(menu) + u"dead quoted.lnk")));
    for (const char16_t* kept :
         {u"live.lnk", u"quoted.lnk", u"arguments.lnk", u"shell.lnk", u"bare.lnk", u"notes.txt"})
        EXPECT_TRUE(fs::exists(Host(std::u16string(menu) + kept)))
            << std::string(kept, kept + std::char_traits<char16_t>::length(kept));
    // Folders stay, also when they end up empty.
    EXPECT_TRUE(fs::is_directory(Host(u"\\Windows\\Start Menu\\Empty Later")));
    EXPECT_TRUE(fs::is_empty(Host(u"\\Windows\\Start Menu\\Empty Later")));
}

// A program path with arguments is found by cutting the command line at a blank; only a file
// there keeps the shortcut, never a folder that shares the start of the name.
TEST_F(DeadEntries, OnlyAFileEndsACutCommandLine) {
    const std::u16string menu = u"\\Windows\\Start Menu\\Programs\\";
    fs::remove_all(Host(u"\\Windows\\Start Menu"));
    fs::create_directories(Host(u"\\Program Files\\Maps"));
    MakeFile(Host(u"\\Program Files\\Maps Tool\\maps.exe"), 1);
    MakeShortcut(Host(menu + u"old maps.lnk"), u"\\Program Files\\Maps Old\\maps.exe");
    MakeShortcut(Host(menu + u"folder.lnk"), u"\\Program Files\\Maps");
    MakeShortcut(Host(menu + u"with arguments.lnk"),
                 u"\\Program Files\\Maps Tool\\maps.exe -route home work");
    ApplyWith(50045, u"Shortcuts");
    EXPECT_FALSE(fs::exists(Host(menu + u"old maps.lnk")));
    // A shortcut whose whole target is a folder points at that folder.
    EXPECT_TRUE(fs::exists(Host(menu + u"folder.lnk")));
    EXPECT_TRUE(fs::exists(Host(menu + u"with arguments.lnk")));
}

// Targets are looked up as the file system reads them: the root in any spelling is there, a
// network path or a ".." cannot be judged, and other spellings of a file find that file.
TEST_F(DeadEntries, TargetsAreJudgedByWhatTheyName) {
    const std::u16string menu = u"\\Windows\\Start Menu\\";
    fs::remove_all(Host(u"\\Windows\\Start Menu"));
    MakeFile(Host(u"\\Program Files\\Tool\\tool.exe"), 1);
    struct Case {
        const char16_t* target;
        bool kept;
    } cases[] = {
        {u"\\", true},
        {u"\\\\\\", true},
        {u"\\/", true},
        {u"\\.\\", true},
        {u"\\./", true},
        {u"\"\\/\" -x", true},
        {u"\\\\server\\share\\gone.exe", true},
        {u"\\Program Files\\Gone\\..\\gone.exe", true},
        {u"\\program files/TOOL//tool.EXE", true},
        {u"\\Program Files\\.\\Tool\\tool.exe -n", true},
        {u"\\Program Files/Gone/gone.exe", false},
        {u"\"\\Program Files//Gone\\gone.exe\" -n", false},
    };
    for (size_t i = 0; i < std::size(cases); i++)
        MakeShortcut(Host(menu + u"s" + std::u16string(1, u'a' + i) + u".lnk"), cases[i].target);
    ApplyWith(50045, u"Shortcuts");
    for (size_t i = 0; i < std::size(cases); i++) {
        std::u16string target = cases[i].target;
        EXPECT_EQ(fs::exists(Host(menu + u"s" + std::u16string(1, u'a' + i) + u".lnk")),
                  cases[i].kept)
            << std::string(target.begin(), target.end());
    }
}

TEST_F(DeadEntries, InstallFoldersAreJudgedByWhatTheyName) {
    fs::create_directories(Host(u"\\Program Files\\Alive"));
    AddApp(u"Root", u"\\");
    AddApp(u"Root Spelled", u"\\.\\");
    AddApp(u"Network", u"\\/");
    AddApp(u"Parent", u"\\Program Files\\Alive\\..\\Gone");
    AddApp(u"Alive Spelled", u"/program files//ALIVE/");
    AddApp(u"Gone Spelled", u"\\Program Files/Gone/");
    ApplyWith(50035, u"Registry");
    for (const char16_t* kept : {u"Root", u"Root Spelled", u"Network", u"Parent", u"Alive Spelled"})
        EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, u"Software\\Apps\\" + std::u16string(kept)))
            << std::string(kept, kept + std::char_traits<char16_t>::length(kept));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Gone Spelled"));
}

}  // namespace
}  // namespace appcore
