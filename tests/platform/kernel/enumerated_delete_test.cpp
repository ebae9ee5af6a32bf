// Deleting the entries of a folder, or enumerating its subfolders, while an enumeration of it is
// open (the clean-up loop, the walk) gives the answers a full lookup gives, and never reaches a
// folder that has moved since it was opened, whether this program or another one moved it.
#include "util.h"

#include <sys/wait.h>
#include <unistd.h>

using ce::test::TempDevice;

namespace {

namespace fs = std::filesystem;

struct Outcome {
    BOOL result;
    DWORD error;
    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    return os << (o.result ? "TRUE" : "FALSE") << " error " << o.error;
}

class EnumeratedDeleteTest : public ::testing::Test {
  protected:
    TempDevice device{TempDevice::Contents::Empty};
    void put(const std::u16string& path, const std::string& bytes = "x") {
        kt::writeHost(device.host(path), bytes);
    }
    // The folder \Work with one entry of every kind, and a canary beside the image.
    void build() {
        put(u"\\Work\\plain.txt");
        put(u"\\Work\\locked.txt");
        put(u"\\Work\\Mixed.TXT");
        put(u"\\Work\\full\\inner.txt");
        fs::create_directories(device.host(u"\\Work\\empty"));
        fs::create_directories(device.host(u"\\Work\\locked folder"));
        ASSERT_TRUE(SetFileAttributesW(u"\\Work\\locked.txt", FILE_ATTRIBUTE_READONLY));
        ASSERT_TRUE(SetFileAttributesW(u"\\Work\\locked folder", FILE_ATTRIBUTE_READONLY));
        kt::writeHost(device.outside() / "canary.txt", "alive");
        fs::create_directories(device.outside() / "Folder");
        fs::create_symlink(device.outside() / "canary.txt", device.host(u"\\Work\\file link"));
        fs::create_directory_symlink(device.outside() / "Folder",
                                     device.host(u"\\Work\\folder link"));
    }
    void clear() {
        fs::remove_all(device.host(u"\\Work"));
        fs::remove_all(device.outside());
    }
};

TEST_F(EnumeratedDeleteTest, AnswersAreTheSameWithAndWithoutAnOpenEnumeration) {
    struct Case {
        bool folder;  // RemoveDirectoryW, else DeleteFileW
        const char16_t* path;
        Outcome expected;
    };
    const Case cases[] = {
        {false, u"\\Work\\plain.txt", {TRUE, 0}},
        {false, u"\\Work\\locked.txt", {FALSE, ERROR_ACCESS_DENIED}},
        {false, u"\\Work\\mixed.txt", {TRUE, 0}},  // another case: found all the same
        {false, u"\\Work\\none.txt", {FALSE, ERROR_FILE_NOT_FOUND}},
        {false, u"\\Work\\empty", {FALSE, ERROR_ACCESS_DENIED}},  // a folder is no file
        {false, u"\\Work\\file link", {TRUE, 0}},                 // the link, not its target
        {false, u"\\Work\\folder link", {TRUE, 0}},
        {false, u"\\Work\\plain.txt\\", {FALSE, ERROR_FILE_NOT_FOUND}},
        {true, u"\\Work\\empty", {TRUE, 0}},
        {true, u"\\Work\\EMPTY", {TRUE, 0}},
        {true, u"\\Work\\full", {FALSE, ERROR_DIR_NOT_EMPTY}},
        {true, u"\\Work\\locked folder", {FALSE, ERROR_ACCESS_DENIED}},
        {true, u"\\Work\\plain.txt", {FALSE, ERROR_DIRECTORY}},
        {true, u"\\Work\\folder link", {FALSE, ERROR_DIRECTORY}},
        {true, u"\\Work\\none", {FALSE, ERROR_FILE_NOT_FOUND}},
    };
    for (const Case& c : cases) {
        Outcome seen[2];
        std::vector<std::u16string> left[2];
        for (int enumerating = 0; enumerating < 2; ++enumerating) {
            build();
            WIN32_FIND_DATAW fd;
            HANDLE h = enumerating ? FindFirstFileW(u"\\Work\\*", &fd) : INVALID_HANDLE_VALUE;
            if (enumerating) {
                ASSERT_NE(h, INVALID_HANDLE_VALUE);
            }
            SetLastError(0);
            BOOL ok = c.folder ? RemoveDirectoryW(c.path) : DeleteFileW(c.path);
            seen[enumerating] = {ok, ok ? 0 : GetLastError()};
            if (enumerating)
                FindClose(h);
            left[enumerating] = kt::names(u"\\Work\\*");
            EXPECT_EQ(kt::readHost(device.outside() / "canary.txt"), "alive");
            EXPECT_TRUE(fs::is_directory(device.outside() / "Folder"));
            clear();
        }
        std::string what = kt::utf8(c.path) + (c.folder ? " (RemoveDirectoryW)" : " (DeleteFileW)");
        EXPECT_EQ(seen[0], c.expected) << what;
        EXPECT_EQ(seen[1], c.expected) << what << ", enumerating";
        EXPECT_EQ(left[0], left[1]) << what;
        EXPECT_EQ(left[0].size(), c.expected.result ? 7u : 8u) << what;
    }
}

TEST_F(EnumeratedDeleteTest, SubfoldersListTheSameWithAndWithoutAnOpenEnumeration) {
    struct Case {
        const char16_t* pattern;
        std::vector<std::u16string> names;
        DWORD error;  // when nothing is found
    };
    const Case cases[] = {
        {u"\\Work\\full\\*", {u"inner.txt"}, 0},
        {u"\\Work\\FULL\\*.TXT", {u"inner.txt"}, 0},  // another case: found all the same
        {u"\\Work\\empty\\*", {}, ERROR_FILE_NOT_FOUND},
        {u"\\Work\\folder link\\*", {}, ERROR_PATH_NOT_FOUND},  // a link is no folder
        {u"\\Work\\plain.txt\\*", {}, ERROR_PATH_NOT_FOUND},
        {u"\\Work\\none\\*", {}, ERROR_PATH_NOT_FOUND},
    };
    build();
    for (const Case& c : cases) {
        for (int enumerating = 0; enumerating < 2; ++enumerating) {
            WIN32_FIND_DATAW fd;
            HANDLE parent = enumerating ? FindFirstFileW(u"\\Work\\*", &fd) : INVALID_HANDLE_VALUE;
            if (enumerating) {
                ASSERT_NE(parent, INVALID_HANDLE_VALUE);
            }
            SetLastError(0);
            std::vector<std::u16string> found;
            HANDLE h = FindFirstFileW(c.pattern, &fd);
            DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
            if (h != INVALID_HANDLE_VALUE) {
                do found.push_back(fd.cFileName);
                while (FindNextFileW(h, &fd));
                FindClose(h);
            }
            if (enumerating)
                FindClose(parent);
            std::string what = kt::utf8(c.pattern) + (enumerating ? ", enumerating \\Work" : "");
            EXPECT_EQ(found, c.names) << what;
            EXPECT_EQ(error, c.error) << what;
        }
    }
}

TEST_F(EnumeratedDeleteTest, ASubfolderOfAMovedFolderIsNotReachedThroughTheEnumeration) {
    put(u"\\Work\\Cache\\sub\\old.tmp");
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(u"\\Work\\Cache\\*", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(MoveFileW(u"\\Work\\Cache", u"\\Work\\Moved"));
    put(u"\\Work\\Cache\\sub\\new.tmp");
    EXPECT_EQ(kt::names(u"\\Work\\Cache\\sub\\*"), std::vector<std::u16string>{u"new.tmp"});
    FindClose(h);
}

TEST_F(EnumeratedDeleteTest, AFolderThisProgramMovedIsNotReachedThroughTheEnumeration) {
    put(u"\\Work\\Cache\\entry.tmp", "old");
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(u"\\Work\\Cache\\*", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    // the folder moves away and a new one takes its name
    ASSERT_TRUE(MoveFileW(u"\\Work\\Cache", u"\\Work\\Moved"));
    ASSERT_TRUE(CreateDirectoryW(u"\\Work\\Cache", nullptr));
    put(u"\\Work\\Cache\\entry.tmp", "new");
    EXPECT_TRUE(DeleteFileW(u"\\Work\\Cache\\entry.tmp"));
    EXPECT_FALSE(fs::exists(device.host(u"\\Work\\Cache\\entry.tmp")));
    EXPECT_EQ(kt::readHost(device.host(u"\\Work\\Moved\\entry.tmp")), "old");
    FindClose(h);
}

TEST_F(EnumeratedDeleteTest, AFolderRemovedAndMadeAgainIsTheNewOne) {
    put(u"\\Work\\Cache\\sub\\entry.tmp", "old");
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(u"\\Work\\Cache\\sub\\*", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(DeleteFileW(u"\\Work\\Cache\\sub\\entry.tmp"));
    ASSERT_TRUE(RemoveDirectoryW(u"\\Work\\Cache\\sub"));
    ASSERT_TRUE(CreateDirectoryW(u"\\Work\\Cache\\sub", nullptr));
    put(u"\\Work\\Cache\\sub\\entry.tmp", "new");
    ASSERT_TRUE(SetFileAttributesW(u"\\Work\\Cache\\sub\\entry.tmp", FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(DeleteFileW(u"\\Work\\Cache\\sub\\entry.tmp"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(kt::readHost(device.host(u"\\Work\\Cache\\sub\\entry.tmp")), "new");
    FindClose(h);
}

TEST_F(EnumeratedDeleteTest, AFolderAnotherProgramMovedIsNotReachedThroughTheEnumeration) {
    put(u"\\Work\\Cache\\entry.tmp", "old");
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(u"\\Work\\Cache\\*", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // the other program opens the device for itself and moves the folder
        ce::Device::close();
        ce::Device::open(device.dir());
        bool ok = MoveFileW(u"\\Work\\Cache", u"\\Work\\Moved") &&
                  CreateDirectoryW(u"\\Work\\Cache", nullptr);
        ce::Device::close();
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    put(u"\\Work\\Cache\\entry.tmp", "new");
    EXPECT_TRUE(DeleteFileW(u"\\Work\\Cache\\entry.tmp"));
    EXPECT_FALSE(fs::exists(device.host(u"\\Work\\Cache\\entry.tmp")));
    EXPECT_EQ(kt::readHost(device.host(u"\\Work\\Moved\\entry.tmp")), "old");
    FindClose(h);
}

TEST(ChangeCounter, IsSharedThroughTheDeviceFolder) {
    TempDevice device{TempDevice::Contents::Empty};
    ce::kernel::ChangeCounter a, b;
    a.attach(device.dir());
    b.attach(device.dir());
    ASSERT_TRUE(a.shared() && b.shared());
    uint64_t before = b.value();
    a.bump();
    EXPECT_EQ(b.value(), before + 1);
    ce::kernel::noteFolderChange(device.dir());
    EXPECT_EQ(a.value(), before + 2);

    ce::kernel::ChangeCounter none;
    none.attach(device.outside() / "no such folder");
    EXPECT_FALSE(none.shared());
}

}  // namespace
