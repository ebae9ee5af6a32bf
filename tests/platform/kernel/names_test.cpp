// Host names that are not UTF-8: listed under a name of their own, found, deleted, moved and
// created under that name, and left on the host byte for byte; device names that no host name
// gives are refused, never stored as something else.
#include "util.h"

using ce::test::TempDevice;

namespace {

namespace fs = std::filesystem;

using Names = std::vector<std::string>;

// "café" three ways: in Latin-1, with another Latin-1 letter, and in UTF-8. Replacing bad bytes
// would make the first two one name.
const std::string kLatin1 = "caf\xE9.tmp";
const std::string kOther = "caf\xE8.tmp";
const std::string kUtf8 = "caf\xC3\xA9.tmp";
const std::string kCut = "x\xE2\x82.tmp";  // a cut three-byte sequence

class NamesTest : public ::testing::Test {
  protected:
    TempDevice device{TempDevice::Contents::Empty};
    fs::path folder = device.host(u"\\N");
    void SetUp() override {
        for (const std::string& n : {kLatin1, kOther, kUtf8, kCut}) kt::writeHost(folder / n, n);
        fs::create_directories(folder / "Dir\xFF");
        kt::writeHost(folder / "Dir\xFF" / "in\xFE", "inner");
    }
    // The device path of an entry of \N, as an enumeration gives it.
    std::u16string path(const std::string& host) {
        return u"\\N\\" + ce::kernel::fromHostName(host);
    }
};

TEST_F(NamesTest, EachHostNameIsListedUnderANameOfItsOwnThatLeadsBackToIt) {
    auto listed = kt::find(u"\\N\\*");
    ASSERT_EQ(listed.size(), 5u);  // none merged
    for (const auto& [name, entry] : listed) {
        std::string bytes;
        ASSERT_TRUE(ce::kernel::toHostName(name, bytes)) << kt::utf8(name);
        EXPECT_TRUE(fs::exists(folder / bytes)) << kt::utf8(name);
        // the name leads back to the entry, by itself and as part of a longer path
        EXPECT_NE(GetFileAttributesW((u"\\N\\" + name).c_str()), INVALID_FILE_ATTRIBUTES);
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((u"\\N\\" + name).c_str(), &fd);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(std::u16string(fd.cFileName), name);
        FindClose(h);
    }
    EXPECT_EQ(listed.count(u"caf\xDCE9.tmp"), 1u);
    EXPECT_EQ(listed.count(u"caf\u00E9.tmp"), 1u);
    EXPECT_EQ(listed.count(u"x\xDCE2\xDC82.tmp"), 1u);
    EXPECT_EQ(kt::names(u"\\N\\Dir\xDCFF\\*"), std::vector<std::u16string>{u"in\xDCFE"});
    // patterns and letter case apply to the rest of the name as usual
    EXPECT_EQ(kt::names(u"\\N\\CAF*.TMP").size(), 3u);
    EXPECT_NE(GetFileAttributesW(u"\\N\\CAF\xDCE9.TMP"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(NamesTest, DeletesAndMovesActOnTheNameGivenAndNoOther) {
    // deleting one of the names that differ only in a bad byte leaves the others
    ASSERT_TRUE(DeleteFileW(path(kLatin1).c_str()));
    EXPECT_EQ(ce::test::hostEntries(folder), (Names{"Dir\xFF", kUtf8, kOther, kCut}));
    // the same during an enumeration of the folder (the clean-up loop)
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(u"\\N\\*", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(DeleteFileW(path(kCut).c_str()));
    EXPECT_TRUE(DeleteFileW(path("Dir\xFF/in\xFE").c_str()));
    EXPECT_TRUE(RemoveDirectoryW(path("Dir\xFF").c_str()));
    FindClose(h);
    EXPECT_EQ(ce::test::hostEntries(folder), (Names{kUtf8, kOther}));
    // moves keep the bytes, into another folder and under a new name
    ASSERT_TRUE(CreateDirectoryW(u"\\M\xDCE9", nullptr));
    ASSERT_TRUE(MoveFileW(path(kOther).c_str(), (u"\\M\xDCE9\\" + path(kOther).substr(3)).c_str()));
    ASSERT_TRUE(MoveFileW(path(kUtf8).c_str(), u"\\M\xDCE9\\new\xDCA0"));
    EXPECT_TRUE(fs::is_directory(device.host(u"\\") / "M\xE9"));
    EXPECT_EQ(ce::test::hostEntries(device.host(u"\\") / "M\xE9"), (Names{kOther, "new\xA0"}));
    EXPECT_EQ(kt::readHost(device.host(u"\\") / "M\xE9" / "new\xA0"), kUtf8);
}

TEST_F(NamesTest, NamesWrittenWithEscapesAreCreatedAsTheirBytesAndReadBack) {
    HANDLE f =
        CreateFileW(u"\\N\\api\xDCFF.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    CloseHandle(f);
    FILE* crt = _wfopen(u"\\N\\crt\xDC80", u"w");
    ASSERT_NE(crt, nullptr);
    fclose(crt);
    EXPECT_TRUE(fs::exists(folder / "api\xFF.txt"));
    EXPECT_TRUE(fs::exists(folder / "crt\x80"));
    auto listed = kt::find(u"\\N\\*");
    EXPECT_EQ(listed.count(u"api\xDCFF.txt"), 1u);
    EXPECT_EQ(listed.count(u"crt\xDC80"), 1u);
}

TEST_F(NamesTest, NamesNoHostNameGivesAreRefusedAndNothingIsWritten) {
    const std::u16string refused[] = {
        u"\\N\\caf\xDCC3\xDCA9.tmp",  // the bytes of "é": it would read back as the UTF-8 name
        u"\\N\\lone\xD800",           // a high surrogate alone
        u"\\N\\low\xDC20",            // a low surrogate that is no escape
        u"\\N\\Dir\xDCC3\xDCBF\\f",   // in a folder's name
    };
    Names before = ce::test::hostEntries(folder);
    for (const std::u16string& name : refused) {
        std::string what = kt::utf8(name);
        SetLastError(0);
        EXPECT_EQ(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
                  INVALID_HANDLE_VALUE)
            << what;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME)) << what;
        EXPECT_FALSE(CreateDirectoryW(name.c_str(), nullptr)) << what;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME)) << what;
        EXPECT_FALSE(MoveFileW(path(kUtf8).c_str(), name.c_str())) << what;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME)) << what;
        EXPECT_FALSE(CopyFileW(path(kUtf8).c_str(), name.c_str(), FALSE)) << what;
        EXPECT_FALSE(DeleteFileW(name.c_str())) << what;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_NAME)) << what;
        EXPECT_EQ(_wfopen(name.c_str(), u"w"), nullptr) << what;
        WIN32_FIND_DATAW fd;
        EXPECT_EQ(FindFirstFileW(name.c_str(), &fd), INVALID_HANDLE_VALUE) << what;
    }
    EXPECT_EQ(ce::test::hostEntries(folder), before);
    // "é" escaped is not the UTF-8 "é" either: the UTF-8 file is not reached through it
    EXPECT_EQ(GetFileAttributesW(u"\\N\\caf\xDCC3\xDCA9.tmp"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(kt::readHost(folder / kUtf8), kUtf8);
}

}  // namespace
