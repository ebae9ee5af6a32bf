// The object store as Win32 documents it: enumeration, deletion, moves, folders, attributes.
#include "util.h"

using ce::test::TempDevice;
using kt::find;
using kt::names;

namespace {

class FilesTest : public ::testing::Test {
  protected:
    TempDevice device{TempDevice::Contents::Empty};
    void put(const std::u16string& path, const std::string& bytes = "x") {
        kt::writeHost(device.host(path), bytes);
    }
};

TEST_F(FilesTest, EnumerationListsEntriesWithAttributesAndSizesButNeverDotEntries) {
    put(u"\\Temp\\a.tmp", std::string(1234, 'a'));
    put(u"\\Temp\\Sub\\deep.txt");
    ASSERT_TRUE(
        SetFileAttributesW(u"\\Temp\\a.tmp", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    auto entries = find(u"\\Temp\\*");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries.count(u"."), 0u);
    EXPECT_EQ(entries.count(u".."), 0u);
    EXPECT_EQ(entries[u"a.tmp"].size, 1234u);
    EXPECT_EQ(entries[u"a.tmp"].attributes, DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(entries[u"Sub"].attributes, DWORD(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(entries[u"Sub"].size, 0u);
}

TEST_F(FilesTest, AttributesAreKeptInSambasLegacyXattr) {
    put(u"\\f.txt");
    ASSERT_TRUE(SetFileAttributesW(u"\\f.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM));
    char buf[16] = {};
    ssize_t n = getxattr(device.host(u"\\f.txt").c_str(), "user.DOSATTRIB", buf, sizeof buf);
    ASSERT_EQ(n, 4);  // "0x5" and its NUL
    EXPECT_EQ(std::string(buf, n), std::string("0x5", 4));
    // a value written by Samba is read back
    setxattr(device.host(u"\\f.txt").c_str(), "user.DOSATTRIB", "0x22", 5, 0);
    EXPECT_EQ(GetFileAttributesW(u"\\f.txt"),
              DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(SetFileAttributesW(u"\\f.txt", 0));
    EXPECT_EQ(GetFileAttributesW(u"\\f.txt"), DWORD(FILE_ATTRIBUTE_NORMAL));
}

TEST_F(FilesTest, PatternsMatchCaseInsensitivelyLikeWindows) {
    for (auto n : {u"a.tmp", u"B.TMP", u"c.tmpx", u"d.tm", u"e.tmp.txt", u"ftmp", u"noext"})
        put(std::u16string(u"\\T\\") + n);
    using V = std::vector<std::u16string>;
    EXPECT_EQ(names(u"\\T\\*.tmp"), (V{u"B.TMP", u"a.tmp"}));
    EXPECT_EQ(names(u"\\T\\*.TMP*"), (V{u"B.TMP", u"a.tmp", u"c.tmpx", u"e.tmp.txt"}));
    EXPECT_EQ(names(u"\\T\\?.tm"), (V{u"d.tm"}));
    EXPECT_EQ(names(u"\\T\\*.*").size(), 7u);  // also the name without a dot
    EXPECT_EQ(names(u"\\T\\n*"), (V{u"noext"}));
    WIN32_FIND_DATAW fd;
    EXPECT_EQ(FindFirstFileW(u"\\T\\*.zip", &fd), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FindFirstFileW(u"\\Missing\\*", &fd), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST_F(FilesTest, EnumerationSeesEveryEntryWhateverTheirCreationOrder) {
    std::vector<std::u16string> created;
    for (int i = 0; i < 300; ++i) {
        std::u16string n = u"f" + std::u16string(1, char16_t(u'a' + (i * 37) % 26)) +
                           ce::kernel::fromUtf8(std::to_string(i));
        put(u"\\Many\\" + n);
        created.push_back(n);
    }
    std::sort(created.begin(), created.end());
    EXPECT_EQ(names(u"\\Many\\*"), created);

    // a folder whose entries take many reads of the folder, listed whole, then emptied by the
    // clean-up loop (each entry deleted as it is listed)
    std::vector<std::u16string> big;
    std::string longPart(60, 'x');
    for (int i = 0; i < 2000; ++i) {
        std::u16string n =
            ce::kernel::fromUtf8(std::to_string((i * 7919) % 2000) + longPart + ".tmp");
        put(u"\\Big\\" + n);
        big.push_back(n);
    }
    std::sort(big.begin(), big.end());
    EXPECT_EQ(names(u"\\Big\\*"), big);
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(u"\\Big\\*.tmp", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    size_t deleted = 0;
    do {
        if (DeleteFileW((u"\\Big\\" + std::u16string(fd.cFileName)).c_str()))
            ++deleted;
    } while (FindNextFileW(h, &fd));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
    FindClose(h);
    EXPECT_EQ(deleted, big.size());
    EXPECT_TRUE(RemoveDirectoryW(u"\\Big"));
}

TEST_F(FilesTest, PathWithoutWildcardsFindsThatFileOrFolderInItsStoredCase) {
    put(u"\\Program Files\\App\\App.exe", "12345");
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(u"\\program files\\APP", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::u16string(fd.cFileName), u"App");
    EXPECT_TRUE(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(FindNextFileW(h, &fd));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(h));
    EXPECT_FALSE(FindClose(h));  // a closed handle is invalid
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));

    h = FindFirstFileW(u"\\Program Files\\App\\app.EXE", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(fd.nFileSizeLow, 5u);
    FindClose(h);
    EXPECT_EQ(FindFirstFileW(u"\\Program Files\\Gone", &fd), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FindFirstFileW(u"\\Gone\\Gone", &fd), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    // a final backslash names a folder, not a file
    EXPECT_NE(GetFileAttributesW(u"\\Program Files\\App\\"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(u"\\Program Files\\App\\App.exe\\"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FilesTest, CaseInsensitiveLookupPrefersTheExactSpelling) {
    put(u"\\Dir\\readme", "lower");
    put(u"\\Dir\\README", "upper");
    FILE* f = _wfopen(u"\\DIR\\README", u"rb");
    ASSERT_NE(f, nullptr);
    char buf[8] = {};
    fread(buf, 1, 5, f);
    fclose(f);
    EXPECT_STREQ(buf, "upper");
    ASSERT_TRUE(DeleteFileW(u"\\dir\\Readme"));  // no exact match: one of the two goes
    EXPECT_EQ(names(u"\\Dir\\*").size(), 1u);
}

TEST_F(FilesTest, DeletingAReadOnlyFileIsRefused) {
    put(u"\\Windows\\Temp\\locked.tmp");
    ASSERT_TRUE(SetFileAttributesW(u"\\Windows\\Temp\\locked.tmp", FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(DeleteFileW(u"\\Windows\\Temp\\locked.tmp"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(std::filesystem::exists(device.host(u"\\Windows\\Temp\\locked.tmp")));
    EXPECT_EQ(_wfopen(u"\\Windows\\Temp\\locked.tmp", u"w"), nullptr);  // nor overwritten
    ASSERT_TRUE(SetFileAttributesW(u"\\Windows\\Temp\\locked.tmp", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileW(u"\\Windows\\Temp\\locked.tmp"));
}

TEST_F(FilesTest, DeleteFileErrors) {
    EXPECT_FALSE(DeleteFileW(u"\\Temp\\none.txt"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(DeleteFileW(u"\\NoFolder\\none.txt"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(DeleteFileW(u"\\Temp"));  // a folder is no file
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(std::filesystem::is_directory(device.host(u"\\Temp")));
}

TEST_F(FilesTest, MoveFileNeverReplacesAnExistingFile) {
    put(u"\\a.txt", "A");
    put(u"\\b.txt", "B");
    EXPECT_FALSE(MoveFileW(u"\\a.txt", u"\\b.txt"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(MoveFileW(u"\\a.txt", u"\\B.TXT"));  // the same file in another case
    EXPECT_EQ(kt::readHost(device.host(u"\\a.txt")), "A");
    EXPECT_EQ(kt::readHost(device.host(u"\\b.txt")), "B");
    EXPECT_FALSE(MoveFileW(u"\\missing.txt", u"\\c.txt"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(MoveFileW(u"\\a.txt", u"\\NoFolder\\a.txt"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST_F(FilesTest, MoveFileMovesFilesAndFoldersAndRenamesCase) {
    put(u"\\Src\\Sub\\x.txt", "X");
    ASSERT_TRUE(CreateDirectoryW(u"\\Dst", nullptr));
    ASSERT_TRUE(MoveFileW(u"\\Src\\Sub", u"\\Dst\\Sub"));
    EXPECT_EQ(kt::readHost(device.host(u"\\Dst\\Sub\\x.txt")), "X");
    ASSERT_TRUE(MoveFileW(u"\\dst\\sub\\X.TXT", u"\\Dst\\Sub\\y.txt"));
    ASSERT_TRUE(MoveFileW(u"\\Dst\\Sub\\y.txt", u"\\Dst\\Sub\\Y.txt"));
    EXPECT_EQ(names(u"\\Dst\\Sub\\*"), std::vector<std::u16string>{u"Y.txt"});
    EXPECT_FALSE(MoveFileW(u"\\Dst", u"\\Dst\\Sub\\Inner"));  // not into itself
    EXPECT_TRUE(std::filesystem::is_directory(device.host(u"\\Dst\\Sub")));
}

TEST_F(FilesTest, FoldersAreCreatedOnceAndRemovedOnlyWhenEmpty) {
    ASSERT_TRUE(CreateDirectoryW(u"\\New", nullptr));
    EXPECT_FALSE(CreateDirectoryW(u"\\NEW", nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryW(u"\\A\\B", nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    put(u"\\New\\file");
    EXPECT_FALSE(RemoveDirectoryW(u"\\New"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(std::filesystem::exists(device.host(u"\\New\\file")));
    EXPECT_FALSE(RemoveDirectoryW(u"\\New\\file"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DIRECTORY));
    ASSERT_TRUE(DeleteFileW(u"\\New\\file"));
    EXPECT_TRUE(RemoveDirectoryW(u"\\new"));
    EXPECT_FALSE(RemoveDirectoryW(u"\\"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
}

TEST_F(FilesTest, LongPathsAreFineUpTo1023UnitsAndRejectedBeyond) {
    std::u16string path = u"\\Deep";
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    while (path.size() < 900) {
        path += u"\\abcdefghijklmnopqrstuvwxyz0123456789";
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << path.size();
    }
    std::u16string file = path + u"\\" + std::u16string(1022 - path.size(), u'f');
    ASSERT_EQ(file.size(), 1023u);
    FILE* f = _wfopen(file.c_str(), u"w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
    std::u16string tooLong = file + u"g";
    EXPECT_EQ(GetFileAttributesW(tooLong.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_FALSE(DeleteFileW(tooLong.c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_TRUE(DeleteFileW(file.c_str()));
}

TEST_F(FilesTest, InvalidNamesAreRejected) {
    EXPECT_FALSE(CreateDirectoryW(u"\\a*b", nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME));
    EXPECT_FALSE(CreateDirectoryW(u"\\a|b", nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME));
    EXPECT_EQ(_wfopen(u"relative.txt", u"w"), nullptr);
    EXPECT_FALSE(DeleteFileW(nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(FilesTest, CopyFileKeepsTheSourceAndHonoursFailIfExists) {
    put(u"\\a.txt", "AAAA");
    put(u"\\b.txt", "B");
    EXPECT_FALSE(CopyFileW(u"\\a.txt", u"\\b.txt", TRUE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
    EXPECT_EQ(kt::readHost(device.host(u"\\b.txt")), "B");
    ASSERT_TRUE(CopyFileW(u"\\a.txt", u"\\b.txt", FALSE));
    EXPECT_EQ(kt::readHost(device.host(u"\\b.txt")), "AAAA");
    EXPECT_EQ(kt::readHost(device.host(u"\\a.txt")), "AAAA");
}

TEST_F(FilesTest, CreateFileReadsAndWrites) {
    HANDLE h = CreateFileW(u"\\data.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, "hello", 5, &n, nullptr));
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(GetFileSize(h, nullptr), 5u);
    ASSERT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(CreateFileW(u"\\data.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
    h = CreateFileW(u"\\DATA.BIN", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char buf[8] = {};
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "hello");
    CloseHandle(h);
}

// Walks trust the marker bit that says an entry holds stored attributes, so every way of
// writing attributes must keep the marker and the value in step.
bool marked(const std::filesystem::path& p) {
    struct stat st;
    return lstat(p.c_str(), &st) == 0 && (st.st_mode & S_ISVTX);
}

TEST_F(FilesTest, AttributesSetAndClearedAreSeenByWalksAndSingleLookupsAlike) {
    put(u"\\A\\f.txt");
    put(u"\\A\\g.txt");
    ASSERT_TRUE(CreateDirectoryW(u"\\A\\Sub", nullptr));
    ASSERT_TRUE(SetFileAttributesW(u"\\A\\f.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesW(u"\\A\\Sub", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    auto entries = find(u"\\A\\*");
    EXPECT_EQ(entries[u"f.txt"].attributes, DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(entries[u"g.txt"].attributes, DWORD(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(entries[u"Sub"].attributes,
              DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    EXPECT_FALSE(DeleteFileW(u"\\A\\f.txt"));
    EXPECT_FALSE(marked(device.host(u"\\A\\g.txt")));
    // cleared: no value and no marker are left behind
    ASSERT_TRUE(SetFileAttributesW(u"\\A\\f.txt", 0));
    ASSERT_TRUE(SetFileAttributesW(u"\\A\\Sub", FILE_ATTRIBUTE_ARCHIVE));
    entries = find(u"\\A\\*");
    EXPECT_EQ(entries[u"f.txt"].attributes, DWORD(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(entries[u"Sub"].attributes, DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_FALSE(marked(device.host(u"\\A\\f.txt")));
    EXPECT_EQ(getxattr(device.host(u"\\A\\f.txt").c_str(), "user.DOSATTRIB", nullptr, 0), -1);
    // a copy and a move carry the attributes and the marker with them
    ASSERT_TRUE(SetFileAttributesW(u"\\A\\g.txt", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(CopyFileW(u"\\A\\g.txt", u"\\A\\Sub\\copy.txt", TRUE));
    ASSERT_TRUE(MoveFileW(u"\\A\\g.txt", u"\\A\\Sub\\moved.txt"));
    entries = find(u"\\A\\Sub\\*");
    EXPECT_EQ(entries[u"copy.txt"].attributes, DWORD(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(entries[u"moved.txt"].attributes, DWORD(FILE_ATTRIBUTE_HIDDEN));
}

TEST_F(FilesTest, ValueWrittenByAnotherToolIsHonouredAndThenWalked) {
    put(u"\\B\\locked.txt");
    ASSERT_EQ(setxattr(device.host(u"\\B\\locked.txt").c_str(), "user.DOSATTRIB", "0x3", 4, 0), 0);
    // read-only is enforced from the value itself, marker or not
    EXPECT_FALSE(DeleteFileW(u"\\B\\locked.txt"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(find(u"\\B\\*")[u"locked.txt"].attributes,
              DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    // and a value removed by another tool no longer shows once the entry was looked at
    ASSERT_EQ(removexattr(device.host(u"\\B\\locked.txt").c_str(), "user.DOSATTRIB"), 0);
    EXPECT_EQ(GetFileAttributesW(u"\\B\\locked.txt"), DWORD(FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(marked(device.host(u"\\B\\locked.txt")));
    EXPECT_EQ(find(u"\\B\\*")[u"locked.txt"].attributes, DWORD(FILE_ATTRIBUTE_NORMAL));
}

// What `setfattr -n user.DOSATTRIB -v '"0x2"'` leaves: the text without its NUL, and no marker.
TEST_F(FilesTest, AFolderHiddenByAnotherToolIsHiddenInTheNextListing) {
    ASSERT_TRUE(CreateDirectoryW(u"\\C", nullptr));
    ASSERT_TRUE(CreateDirectoryW(u"\\C\\Secret", nullptr));
    put(u"\\C\\Secret\\inner.txt");
    ASSERT_EQ(find(u"\\C\\*")[u"Secret"].attributes, DWORD(FILE_ATTRIBUTE_DIRECTORY));
    ASSERT_EQ(setxattr(device.host(u"\\C\\Secret").c_str(), "user.DOSATTRIB", "0x2", 3, 0), 0);
    ASSERT_FALSE(marked(device.host(u"\\C\\Secret")));
    EXPECT_EQ(find(u"\\C\\*")[u"Secret"].attributes,
              DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
    // also while the listing of its parent is open, as in a walk
    WIN32_FIND_DATAW fd;
    HANDLE outer = FindFirstFileW(u"\\*", &fd);
    ASSERT_NE(outer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(find(u"\\C\\*")[u"Secret"].attributes,
              DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
    FindClose(outer);
    ASSERT_EQ(removexattr(device.host(u"\\C\\Secret").c_str(), "user.DOSATTRIB"), 0);
    EXPECT_EQ(find(u"\\C\\*")[u"Secret"].attributes, DWORD(FILE_ATTRIBUTE_DIRECTORY));
}

// Samba writes the legacy text, a NUL, then a binary record of its own: the text counts.
TEST_F(FilesTest, SambasOwnLongerValueIsReadByItsLeadingText) {
    std::string samba("0x23\0", 5);
    samba += std::string("\x05\x00\x05\x00\x00\x00", 6);  // version 5, then its fields
    samba += std::string(120, '\x7f');
    put(u"\\S\\file.txt");
    ASSERT_TRUE(CreateDirectoryW(u"\\S\\Folder", nullptr));
    for (auto p : {u"\\S\\file.txt", u"\\S\\Folder"})
        ASSERT_EQ(setxattr(device.host(p).c_str(), "user.DOSATTRIB", samba.data(), samba.size(), 0),
                  0);
    const DWORD file = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
    EXPECT_EQ(GetFileAttributesW(u"\\S\\file.txt"), file);
    EXPECT_FALSE(DeleteFileW(u"\\S\\file.txt"));  // read-only
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    auto entries = find(u"\\S\\*");
    EXPECT_EQ(entries[u"file.txt"].attributes, file);
    EXPECT_EQ(entries[u"Folder"].attributes, file | FILE_ATTRIBUTE_DIRECTORY);
    // read-only is enforced for the folder as well, during a walk of its parent too
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(u"\\S\\*", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(RemoveDirectoryW(u"\\S\\Folder"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    FindClose(h);
}

TEST(ImageWithoutMarkers, IsMarkedWhenOpenedAndReportsEveryStoredAttribute) {
    TempDevice device{TempDevice::Contents::Factory};
    ce::Device::close();
    // take the image back to how images were written before the marker: values only
    const auto ini = device.dir() / "device.ini";
    std::string text = kt::readHost(ini);
    size_t at = text.find("[image]\nattributes=marked\n");
    ASSERT_NE(at, std::string::npos);
    text.erase(at, strlen("[image]\nattributes=marked\n"));
    kt::writeHost(ini, text);
    kt::writeHost(device.host(u"\\Old\\Deep\\ro.txt"), "x");
    for (auto p : {u"\\Old", u"\\Old\\Deep\\ro.txt", u"\\My Documents\\Hidden Temp"}) {
        std::string host = device.host(p).string();
        struct stat st;
        ASSERT_EQ(lstat(host.c_str(), &st), 0);
        ASSERT_EQ(chmod(host.c_str(), st.st_mode & 0777), 0);
    }
    ASSERT_EQ(setxattr(device.host(u"\\Old").c_str(), "user.DOSATTRIB", "0x2", 4, 0), 0);
    ASSERT_EQ(setxattr(device.host(u"\\Old\\Deep\\ro.txt").c_str(), "user.DOSATTRIB", "0x1", 4, 0),
              0);

    ce::Device::open(device.dir());
    EXPECT_EQ(find(u"\\*")[u"Old"].attributes,
              DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(find(u"\\Old\\Deep\\*")[u"ro.txt"].attributes, DWORD(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(find(u"\\My Documents\\*")[u"Hidden Temp"].attributes,
              DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_NE(kt::readHost(ini).find("attributes=marked"), std::string::npos);
}

}  // namespace
