// The folder steps: what is deleted and counted, what stays, where relocated folders go, and
// the paths that are refused rather than acted on.
#include "AppCoreTest.h"

#include <sys/stat.h>
#include <sys/xattr.h>

namespace appcore {
namespace {

const char16_t kUserShellFolders[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char16_t kSystemShellFolders[] = u"Explorer\\Shell Folders";

// Marks a host file read-only the way the device keeps DOS attributes.
void MakeReadOnly(const fs::path& path) {
    const char value[] = "0x21";
    ASSERT_EQ(setxattr(path.c_str(), "user.DOSATTRIB", value, sizeof(value), 0), 0);
}

class FolderSteps : public AppCoreTest {
  protected:
    // A canary in the root and one outside the image: no step may reach either.
    void PlantCanaries() {
        MakeFile(Host(u"\\root-canary.txt"), 3);
        MakeFile(device_.outside() / "outside-canary.txt", 3);
    }
    void ExpectCanaries() {
        EXPECT_TRUE(fs::exists(Host(u"\\root-canary.txt")));
        EXPECT_TRUE(fs::exists(Host(u"\\Windows\\Temp")));
        EXPECT_TRUE(fs::exists(device_.outside() / "outside-canary.txt"));
    }
};

TEST_F(FolderSteps, TempFolderFilesAreDeletedAndCountedSubfoldersStay) {
    fs::remove_all(Host(u"\\Temp"));
    MakeFile(Host(u"\\Temp\\a.tmp"), 100);
    MakeFile(Host(u"\\Temp\\Sub\\b.tmp"), 50);
    StartPlain();
    Tap(50007);
    EXPECT_EQ(ApplyAndFinish(false), u"150 Bytes Cleaned");
    EXPECT_TRUE(fs::is_directory(Host(u"\\Temp\\Sub")));
    EXPECT_TRUE(fs::is_empty(Host(u"\\Temp\\Sub")));
    // The total starts again from 0 after every pass.
    EXPECT_EQ(ApplyAndFinish(false), u"0 Bytes Cleaned");
}

TEST_F(FolderSteps, ReadOnlyFileStaysAndIsNotCounted) {
    fs::remove_all(Host(u"\\Windows\\Temp"));
    MakeFile(Host(u"\\Windows\\Temp\\locked.log"), 40);
    MakeReadOnly(Host(u"\\Windows\\Temp\\locked.log"));
    MakeFile(Host(u"\\Windows\\Temp\\free.log"), 8);
    StartPlain();
    Tap(50008);
    EXPECT_EQ(ApplyAndFinish(false), u"8 Bytes Cleaned");
    EXPECT_TRUE(fs::exists(Host(u"\\Windows\\Temp\\locked.log")));
    EXPECT_FALSE(fs::exists(Host(u"\\Windows\\Temp\\free.log")));
}

TEST_F(FolderSteps, ClearCacheRemovesSubfoldersClearHistoryKeepsThem) {
    SetRegString(HKEY_CURRENT_USER, kUserShellFolders, u"Cache", u"\\IE\\Cache");
    SetRegString(HKEY_CURRENT_USER, kUserShellFolders, u"History", u"\\IE\\History");
    for (const char16_t* sub : {u"\\IE\\Cache\\A\\f", u"\\IE\\Cache\\B\\f", u"\\IE\\Cache\\C\\f"})
        MakeFile(Host(sub), 10);
    MakeFile(Host(u"\\IE\\History\\Day\\h"), 4);
    StartPlain();
    ShowScreen(u"Pocket IE");
    Tap(50021);
    Tap(50022);
    EXPECT_EQ(ApplyAndFinish(false), u"34 Bytes Cleaned");
    EXPECT_TRUE(fs::is_directory(Host(u"\\IE\\Cache")));
    EXPECT_TRUE(fs::is_empty(Host(u"\\IE\\Cache")));
    EXPECT_TRUE(fs::is_directory(Host(u"\\IE\\History\\Day")));
}

TEST_F(FolderSteps, MoveIeCacheDeletesOldFilesAndRepointsTheValue) {
    SetRegString(HKEY_CURRENT_USER, kUserShellFolders, u"Cache", u"\\IE\\Cache");
    MakeFile(Host(u"\\IE\\Cache\\Sub\\page.htm"), 20);
    fs::create_directories(Host(u"\\Storage Card\\Cache"));
    StartPlain();
    ShowScreen(u"Pocket IE");
    Tap(50023);
    SetText(SCREEN_POCKET_IE, POS_IE_MOVE_CACHE_EDIT, u"\\Storage Card\\Cache\\");
    EXPECT_EQ(ApplyAndFinish(false), u"20 Bytes Cleaned");
    EXPECT_TRUE(fs::is_directory(Host(u"\\IE\\Cache\\Sub")));
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, kUserShellFolders, u"Cache"),
              u"\\Storage Card\\Cache\\");
}

// "Clear Pocket IE Cache" empties the whole cache folder, so the cache is never pointed at a
// folder that already holds files or folders; pointed at itself, it is only cleared.
TEST_F(FolderSteps, MoveIeCacheRefusesAFolderThatHoldsAnything) {
    SetRegString(HKEY_CURRENT_USER, kUserShellFolders, u"Cache", u"\\IE\\Cache");
    MakeFile(Host(u"\\IE\\Cache\\Sub\\page.htm"), 20);
    MakeFile(Host(u"\\Card\\photo.jpg"), 30);
    fs::create_directories(Host(u"\\Card2\\Empty Folder"));
    for (const char16_t* target : {u"\\Card\\", u"/card2"}) {
        StartPlain();
        ShowScreen(u"Pocket IE");
        Tap(50023);
        SetText(SCREEN_POCKET_IE, POS_IE_MOVE_CACHE_EDIT, target);
        Driver& d = driver();
        d.menu(u"Apply", u"Defer Restart");
        d.answerBox(u"Error", u"already holds files or folders", IDOK);
        d.answerBox(u"Cleaning Finished", u"0 Bytes Cleaned", IDOK);
        EXPECT_EQ(RegString(HKEY_CURRENT_USER, kUserShellFolders, u"Cache"), u"\\IE\\Cache");
        EXPECT_TRUE(fs::exists(Host(u"\\IE\\Cache\\Sub\\page.htm")));
        EXPECT_TRUE(fs::exists(Host(u"\\Card\\photo.jpg")));
        EXPECT_TRUE(fs::is_directory(Host(u"\\Card2\\Empty Folder")));
    }
    StartPlain();
    ShowScreen(u"Pocket IE");
    Tap(50023);
    SetText(SCREEN_POCKET_IE, POS_IE_MOVE_CACHE_EDIT, u"\\ie\\CACHE\\");
    EXPECT_EQ(ApplyAndFinish(false), u"20 Bytes Cleaned");
    EXPECT_TRUE(fs::is_directory(Host(u"\\IE\\Cache\\Sub")));
    EXPECT_EQ(RegString(HKEY_CURRENT_USER, kUserShellFolders, u"Cache"), u"\\IE\\Cache\\");
}

TEST_F(FolderSteps, RelocationMovesContentAndWritesTheTargetWithItsBackslash) {
    SetRegString(HKEY_LOCAL_MACHINE, kSystemShellFolders, u"My Documents", u"\\Docs");
    MakeFile(Host(u"\\Docs\\x.txt"), 6);
    MakeFile(Host(u"\\Docs\\W\\y.txt"), 7);
    fs::create_directories(Host(u"\\Card\\D"));
    StartPlain();
    ShowScreen(u"System Folders");
    Tap(50042);
    SetText(SCREEN_SYSTEM_FOLDERS, POS_MY_DOCUMENTS_EDIT, u"\\Card\\D\\");
    EXPECT_EQ(ApplyAndFinish(false), u"0 Bytes Cleaned");  // moved files are not cleaned bytes
    EXPECT_EQ(fs::file_size(Host(u"\\Card\\D\\x.txt")), 6u);
    EXPECT_EQ(fs::file_size(Host(u"\\Card\\D\\W\\y.txt")), 7u);
    EXPECT_FALSE(fs::exists(Host(u"\\Docs\\W")));
    EXPECT_TRUE(fs::is_directory(Host(u"\\Docs")));
    EXPECT_TRUE(fs::is_empty(Host(u"\\Docs")));
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, kSystemShellFolders, u"My Documents"), u"\\Card\\D\\");

    // Still ticked on the next Apply: the value now names the target itself. Nothing moves,
    // nothing is lost.
    EXPECT_EQ(ApplyAndFinish(false), u"0 Bytes Cleaned");
    EXPECT_FALSE(driver().messageBox().has_value());
    EXPECT_EQ(fs::file_size(Host(u"\\Card\\D\\x.txt")), 6u);
    EXPECT_EQ(fs::file_size(Host(u"\\Card\\D\\W\\y.txt")), 7u);
}

TEST_F(FolderSteps, EveryRelocationFindsItsOwnValue) {
    struct Relocation {
        HKEY root;
        const char16_t* key;
        const char16_t* value;
        const char16_t* screenTab;
        int checkId;
        int screen, editPos;
    } relocations[] = {
        {HKEY_CURRENT_USER, u"Software\\AvantGo", u"DatabaseLocation", u"Pocket IE", 50032, 1, 12},
        {HKEY_LOCAL_MACHINE, kSystemShellFolders, u"Favorites", u"System Folders", 50036, 3, 1},
        {HKEY_LOCAL_MACHINE, kSystemShellFolders, u"Fonts", u"System Folders", 50039, 3, 4},
    };
    int n = 0;
    for (const Relocation& r : relocations) {
        std::u16string from = u"\\From" + std::u16string(1, u'0' + n);
        std::u16string to = u"\\To" + std::u16string(1, u'0' + n) + u"\\";
        SetRegString(r.root, r.key, r.value, from);
        MakeFile(Host(from + u"\\item"), 1);
        fs::create_directories(Host(to));
        n++;
    }
    StartPlain();
    n = 0;
    for (const Relocation& r : relocations) {
        ShowScreen(r.screenTab);
        Tap(r.checkId);
        SetText(r.screen, r.editPos, u"\\To" + std::u16string(1, u'0' + n++) + u"\\");
    }
    ApplyAndFinish(false);
    n = 0;
    for (const Relocation& r : relocations) {
        std::u16string to = u"\\To" + std::u16string(1, u'0' + n++) + u"\\";
        EXPECT_TRUE(fs::exists(Host(to + u"item"))) << r.checkId;
        EXPECT_EQ(RegString(r.root, r.key, r.value), to) << r.checkId;
    }
}

TEST_F(FolderSteps, EarlierRelocationsDoubledSeparatorIsJoinedCleanly) {
    SetRegString(HKEY_LOCAL_MACHINE, kSystemShellFolders, u"Fonts", u"\\Old Fonts\\");
    MakeFile(Host(u"\\Old Fonts\\tahoma.ttf"), 30);
    fs::create_directories(Host(u"\\New Fonts"));
    StartPlain();
    ShowScreen(u"System Folders");
    Tap(50039);
    SetText(SCREEN_SYSTEM_FOLDERS, POS_FONTS_EDIT,
            u"\\New Fonts");  // typed without its final backslash: completed
    ApplyAndFinish(false);
    EXPECT_EQ(fs::file_size(Host(u"\\New Fonts\\tahoma.ttf")), 30u);
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, kSystemShellFolders, u"Fonts"), u"\\New Fonts\\");
}

// A name already taken in the target is found before anything moves: the whole folder stays,
// and so does the value that names it.
TEST_F(FolderSteps, NameTakenInTheTargetMovesNothing) {
    SetRegString(HKEY_LOCAL_MACHINE, kSystemShellFolders, u"Favorites", u"\\Fav");
    MakeFile(Host(u"\\Fav\\a first.url"), 4);
    MakeFile(Host(u"\\Fav\\Sub\\same.url"), 5);
    MakeFile(Host(u"\\Fav\\z last.url"), 6);
    MakeFile(Host(u"\\Target\\Sub\\same.url"), 99);  // the name is taken in the target
    StartPlain();
    ShowScreen(u"System Folders");
    Tap(50036);
    SetText(SCREEN_SYSTEM_FOLDERS, POS_FAVORITES_EDIT, u"\\Target\\");
    Driver& d = driver();
    d.menu(u"Apply", u"Defer Restart");
    MessageBoxInfo box = d.answerBox(u"Error", u"Favorites was not moved", IDOK);
    EXPECT_NE(box.text.find(u"\\Target\\Sub\\same.url"), std::u16string::npos);
    d.answerBox(u"Cleaning Finished", u"0 Bytes Cleaned", IDOK);
    EXPECT_EQ(fs::file_size(Host(u"\\Fav\\a first.url")), 4u);
    EXPECT_EQ(fs::file_size(Host(u"\\Fav\\Sub\\same.url")), 5u);
    EXPECT_EQ(fs::file_size(Host(u"\\Fav\\z last.url")), 6u);
    EXPECT_EQ(fs::file_size(Host(u"\\Target\\Sub\\same.url")), 99u);
    EXPECT_FALSE(fs::exists(Host(u"\\Target\\a first.url")));
    EXPECT_FALSE(fs::exists(Host(u"\\Target\\z last.url")));
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, kSystemShellFolders, u"Favorites"), u"\\Fav");
}

TEST_F(FolderSteps, MissingTargetMovesNothingAndKeepsTheValue) {
    SetRegString(HKEY_LOCAL_MACHINE, kSystemShellFolders, u"My Documents", u"\\Docs");
    MakeFile(Host(u"\\Docs\\letter.doc"), 12);
    StartPlain();
    ShowScreen(u"System Folders");
    Tap(50042);
    SetText(SCREEN_SYSTEM_FOLDERS, POS_MY_DOCUMENTS_EDIT, u"\\Nowhere\\");
    Driver& d = driver();
    d.menu(u"Apply", u"Defer Restart");
    d.answerBox(u"Error", u"My Documents was not moved", IDOK);
    d.answerBox(u"Cleaning Finished", u"0 Bytes Cleaned", IDOK);
    EXPECT_EQ(fs::file_size(Host(u"\\Docs\\letter.doc")), 12u);
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, kSystemShellFolders, u"My Documents"), u"\\Docs");
}

TEST_F(FolderSteps, TargetInsideTheSourceIsRefused) {
    SetRegString(HKEY_LOCAL_MACHINE, kSystemShellFolders, u"My Documents", u"\\Docs");
    MakeFile(Host(u"\\Docs\\Inner\\keep.txt"), 2);
    StartPlain();
    ShowScreen(u"System Folders");
    Tap(50042);
    SetText(SCREEN_SYSTEM_FOLDERS, POS_MY_DOCUMENTS_EDIT, u"\\Docs\\Inner\\");
    Driver& d = driver();
    d.menu(u"Apply", u"Defer Restart");
    d.answerBox(u"Error", u"lies inside", IDOK);
    d.answerBox(u"Cleaning Finished", u"", IDOK);
    EXPECT_TRUE(fs::exists(Host(u"\\Docs\\Inner\\keep.txt")));
    EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, kSystemShellFolders, u"My Documents"), u"\\Docs");
}

TEST_F(FolderSteps, UserFolderWithoutItsBackslashIsCompleted) {
    MakeFile(Host(u"\\Logs\\a.log"), 9);
    MakeFile(Host(u"\\Logs\\Old\\b.log"), 1);
    MakeFile(Host(u"\\Logsbook.txt"), 4);  // a neighbour that shares the name's start
    StartPlain();
    Tap(50001);
    SetText(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT, u"\\Logs");
    EXPECT_EQ(ApplyAndFinish(false), u"10 Bytes Cleaned");
    EXPECT_TRUE(fs::is_directory(Host(u"\\Logs\\Old")));
    EXPECT_TRUE(fs::exists(Host(u"\\Logsbook.txt")));
}

TEST_F(FolderSteps, EmptyOrRootUserFolderIsRefused) {
    PlantCanaries();
    for (const char16_t* text : {u"", u"\\", u"\\\\", u"\\Windows\\..\\", u"Temp\\", u"\\*\\"}) {
        SCOPED_TRACE(std::string(text, text + std::char_traits<char16_t>::length(text)));
        StartPlain();
        Tap(50004);  // "User Defined 2"
        SetText(SCREEN_CLEAN_TEMP, POS_USER_DIR2_EDIT, text);
        Driver& d = driver();
        d.menu(u"Apply", u"Defer Restart");
        d.answerBox(u"Error", u"User Defined 2 was not cleaned", IDOK);
        d.answerBox(u"Cleaning Finished", u"0 Bytes Cleaned", IDOK);
        ExpectCanaries();
        Exit();
    }
}

// A text that fits its buffer only without the final backslash cannot be completed.
TEST_F(FolderSteps, UserFolderTooLongToCompleteIsRefused) {
    PlantCanaries();
    std::u16string folder = u"\\" + std::u16string(1022, u'L');
    StartPlain();
    Tap(50001);
    SetText(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT, folder);
    Driver& d = driver();
    d.menu(u"Apply", u"Defer Restart");
    d.answerBox(u"Error", u"User Defined 1 was not cleaned", IDOK);
    d.answerBox(u"Cleaning Finished", u"0 Bytes Cleaned", IDOK);
    ExpectCanaries();
}

// Below a cleaned folder, an entry whose path would not fit 1023 characters is passed over,
// never acted on under a cut name; everything that fits is still cleaned.
TEST_F(FolderSteps, EntriesTooLongForThePathAreSkippedNotCut) {
    fs::remove_all(Host(u"\\Temp"));
    std::u16string deep = u"\\Temp";
    while (deep.size() < 960) deep += u"\\" + std::u16string(60, u'd');
    std::u16string tooLong = deep + u"\\" + std::u16string(1023 - deep.size(), u'f');
    ASSERT_EQ(tooLong.size(), 1024u);
    std::u16string cut = tooLong.substr(0, 1023);  // what a cut copy would name
    MakeFile(Host(tooLong), 7);
    MakeFile(Host(cut), 5);
    MakeFile(Host(u"\\Temp\\near.tmp"), 3);
    StartPlain();
    Tap(50007);
    EXPECT_EQ(ApplyAndFinish(false), u"8 Bytes Cleaned");
    EXPECT_TRUE(fs::exists(Host(tooLong)));
    EXPECT_FALSE(fs::exists(Host(cut)));
    EXPECT_FALSE(fs::exists(Host(u"\\Temp\\near.tmp")));
}

TEST_F(FolderSteps, UnreadableFolderValueNeverLeadsToTheRoot) {
    PlantCanaries();
    DeleteRegValue(HKEY_CURRENT_USER, kUserShellFolders, u"Cache");
    DeleteRegValue(HKEY_CURRENT_USER, kUserShellFolders, u"History");
    SetRegString(HKEY_LOCAL_MACHINE, kSystemShellFolders, u"My Documents", u"\\");
    DeleteRegValue(HKEY_LOCAL_MACHINE, kSystemShellFolders, u"Favorites");
    fs::create_directories(Host(u"\\Dest"));
    StartPlain();
    ShowScreen(u"Pocket IE");
    Tap(50021);
    Tap(50022);
    ShowScreen(u"System Folders");
    Tap(50036);
    SetText(SCREEN_SYSTEM_FOLDERS, POS_FAVORITES_EDIT, u"\\Dest\\");
    Tap(50042);
    SetText(SCREEN_SYSTEM_FOLDERS, POS_MY_DOCUMENTS_EDIT, u"\\Dest\\");
    Driver& d = driver();
    d.menu(u"Apply", u"Defer Restart");
    d.answerBox(u"Error", u"Unable to locate Internet Explorer cache directory", IDOK);
    d.answerBox(u"Error", u"Unable to locate Internet Explorer cache directory", IDOK);
    MessageBoxInfo favorites = d.answerBox(u"Error", u"", IDOK);
    EXPECT_EQ(favorites.text, u"Unable to locate Favorties directory");
    d.answerBox(u"Error", u"My Documents was not moved", IDOK);
    d.answerBox(u"Cleaning Finished", u"0 Bytes Cleaned", IDOK);
    ExpectCanaries();
    EXPECT_TRUE(fs::is_empty(Host(u"\\Dest")));
    EXPECT_FALSE(RegString(HKEY_LOCAL_MACHINE, kSystemShellFolders, u"Favorites").has_value());
}

TEST_F(FolderSteps, MissingAvantGoKeyIsReported) {
    HKEY hKey = NULL;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, 0, &hKey), ERROR_SUCCESS);
    RegDeleteKeyW(hKey, u"AvantGo");
    RegCloseKey(hKey);
    fs::create_directories(Host(u"\\AG"));
    StartPlain();
    ShowScreen(u"Pocket IE");
    Tap(50032);
    SetText(SCREEN_POCKET_IE, POS_AVANTGO_EDIT, u"\\AG\\");
    Driver& d = driver();
    d.menu(u"Apply", u"Defer Restart");
    MessageBoxInfo box = d.answerBox(u"Error", u"", IDOK);
    EXPECT_EQ(box.text, u"Unable to locate AvantGo cache");
    d.answerBox(u"Cleaning Finished", u"0 Bytes Cleaned", IDOK);
}

}  // namespace
}  // namespace appcore
