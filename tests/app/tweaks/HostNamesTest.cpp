// Files and folders whose host names are not UTF-8 (written by a host tool or an old card), and
// names written through the API with the escapes that stand for such bytes: the clean-up, the
// relocation of My Documents and both searches reach each of them under its own name, and leave
// the host entries byte for byte as expected.
#include "AppCoreTest.h"

#include "kernel/text.h"

#include <algorithm>

namespace appcore {
namespace {

const char16_t kSystemShellFolders[] = u"Explorer\\Shell Folders";

// "café" in Latin-1, a name that differs from it only in that byte, and "café" in UTF-8.
const std::string kLatin1 = "caf\xE9";
const std::string kOther = "caf\xE8";
const std::string kUtf8 = "caf\xC3\xA9";

using Names = std::vector<std::string>;

std::u16string DeviceName(const std::string& host) {
    return ce::kernel::fromHostName(host);
}

class HostNames : public AppCoreTest {
  protected:
    HostNames() : AppCoreTest(TempDevice::Contents::Empty) {
        SetRegDword(HKEY_LOCAL_MACHINE, u"System\\GWE\\Menu", u"AniType", 6);
        SetRegDword(HKEY_LOCAL_MACHINE, u"System\\GWE", u"Animate", 1);
    }
    // A file created by the program's own API under a name with an escape (the byte 0xFF).
    void CreateThroughApi(const std::u16string& path, size_t size) {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        std::string bytes(size, 'a');
        DWORD written = 0;
        WriteFile(h, bytes.data(), (DWORD)size, &written, NULL);
        CloseHandle(h);
    }
};

TEST_F(HostNames, TempCleanUpDeletesEveryFileWhateverItsName) {
    fs::path temp = Host(u"\\Temp");
    MakeFile(temp / (kLatin1 + ".tmp"), 100);
    MakeFile(temp / (kOther + ".tmp"), 20);
    MakeFile(temp / (kUtf8 + ".tmp"), 3);
    MakeFile(temp / "Sub\xFF" / "in\xFE", 7);
    CreateThroughApi(u"\\Temp\\api\xDCFF.log", 5);
    ASSERT_EQ(ce::test::hostEntries(temp).size(), 5u);
    StartPlain();
    Tap(50007);
    EXPECT_EQ(ApplyAndFinish(false), u"135 Bytes Cleaned");
    EXPECT_EQ(ce::test::hostEntries(temp), Names{"Sub\xFF"});  // subfolders stay, emptied
    EXPECT_TRUE(ce::test::hostEntries(temp / "Sub\xFF").empty());
}

TEST_F(HostNames, MovingMyDocumentsKeepsEveryNameByteForByte) {
    SetRegString(HKEY_LOCAL_MACHINE, kSystemShellFolders, u"My Documents", u"\\Docs");
    fs::path docs = Host(u"\\Docs");
    MakeFile(docs / (kLatin1 + ".txt"), 1);
    MakeFile(docs / (kOther + ".txt"), 2);
    MakeFile(docs / (kUtf8 + ".txt"), 3);
    MakeFile(docs / ("Dir" + kLatin1) / "f\xFF", 4);
    CreateThroughApi(u"\\Docs\\api\xDCFF.txt", 5);
    fs::create_directories(Host(u"\\Card\\D"));
    StartPlain();
    ShowScreen(u"System Folders");
    Tap(50042);
    SetText(SCREEN_SYSTEM_FOLDERS, POS_MY_DOCUMENTS_EDIT, u"\\Card\\D\\");
    ApplyAndFinish(false);
    fs::path card = Host(u"\\Card\\D");
    EXPECT_EQ(ce::test::hostEntries(card), (Names{"Dir" + kLatin1, "api\xFF.txt", kUtf8 + ".txt",
                                                  kOther + ".txt", kLatin1 + ".txt"}));
    EXPECT_EQ(ce::test::hostEntries(card / ("Dir" + kLatin1)), Names{"f\xFF"});
    EXPECT_EQ(fs::file_size(card / (kOther + ".txt")), 2u);
    EXPECT_EQ(fs::file_size(card / (kLatin1 + ".txt")), 1u);
    EXPECT_TRUE(ce::test::hostEntries(docs).empty());  // nothing left behind
}

TEST_F(HostNames, FileSearchListsEachNameAndDeletesOnlyTheSelectedOne) {
    MakeFile(Host(u"\\H") / (kLatin1 + ".tmp"), 300);
    MakeFile(Host(u"\\H") / (kOther + ".tmp"), 20);
    MakeFile(Host(u"\\H") / (kUtf8 + ".tmp"), 5);
    StartPlain();
    Tap(50015);  // "*.tmp"
    Tap(50014);
    std::vector<std::u16string> files =
        ListEntries(Control(SCREEN_CLEAN_TEMP, POS_FOUND_FILES_LIST));
    std::u16string latin1 = u"\\H\\" + DeviceName(kLatin1 + ".tmp");
    ASSERT_EQ(files.size(), 3u);  // three entries, none merged
    EXPECT_EQ(std::count(files.begin(), files.end(), latin1), 1);
    EXPECT_EQ(std::count(files.begin(), files.end(), u"\\H\\caf\u00E9.tmp"), 1);
    driver().tapText(latin1);
    EXPECT_EQ(ApplyAndFinish(false), u"300 Bytes Cleaned");
    EXPECT_EQ(ce::test::hostEntries(Host(u"\\H")), (Names{kUtf8 + ".tmp", kOther + ".tmp"}));
}

TEST_F(HostNames, FolderSearchListsEachNameAndCleansOnlyTheSelectedOne) {
    MakeFile(Host(u"\\") / ("Temp" + kLatin1) / "a", 4);
    MakeFile(Host(u"\\") / ("Temp" + kOther) / "b", 8);
    StartPlain();
    Tap(50011);
    std::vector<std::u16string> folders =
        ListEntries(Control(SCREEN_CLEAN_TEMP, POS_FOUND_FOLDERS_LIST));
    std::u16string chosen = u"\\Temp" + DeviceName(kOther) + u"\\";
    std::u16string other = u"\\Temp" + DeviceName(kLatin1) + u"\\";
    EXPECT_EQ(std::count(folders.begin(), folders.end(), chosen), 1);
    EXPECT_EQ(std::count(folders.begin(), folders.end(), other), 1);
    driver().tapText(chosen);
    EXPECT_EQ(ApplyAndFinish(false), u"8 Bytes Cleaned");
    EXPECT_TRUE(ce::test::hostEntries(Host(u"\\") / ("Temp" + kOther)).empty());
    EXPECT_EQ(ce::test::hostEntries(Host(u"\\") / ("Temp" + kLatin1)), Names{"a"});
}

}  // namespace
}  // namespace appcore
