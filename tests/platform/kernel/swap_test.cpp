// Another program on the host swaps a folder of the image for a symbolic link to a folder
// outside it, and back, as fast as it can, while the device cleans up, copies, moves and writes
// in that folder. Whatever the device checked is what it acts on: the folder outside, which holds
// files of the same names, is never touched.
#include "util.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

using ce::test::TempDevice;

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 40;

std::u16string wide(const std::string& s) {
    return ce::kernel::fromUtf8(s);
}

// How long each case runs: SWAP_TEST_SECONDS, 3 by default.
std::chrono::milliseconds runTime() {
    const char* s = getenv("SWAP_TEST_SECONDS");
    double seconds = s ? atof(s) : 3.0;
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

class SwapTest : public ::testing::Test {
  protected:
    TempDevice device{TempDevice::Contents::Empty};
    fs::path sub = device.host(u"\\Temp\\Sub");
    fs::path aside = device.host(u"\\Temp\\Sub.real");
    fs::path outside = device.outside() / "Victim";
    pid_t swapper = -1;

    void SetUp() override {
        // the canaries: a folder outside with the very names the device works on
        for (int i = 0; i < kFiles; ++i)
            kt::writeHost(outside / ("f" + std::to_string(i)), "canary");
        fs::create_directories(outside / "Deep");
        kt::writeHost(outside / "Deep" / "g", "canary");
        fs::create_directories(sub);
    }
    void TearDown() override {
        stopSwapping();
        for (int i = 0; i < kFiles; ++i)
            EXPECT_EQ(kt::readHost(outside / ("f" + std::to_string(i))), "canary") << i;
        EXPECT_EQ(kt::readHost(outside / "Deep" / "g"), "canary");
        size_t entries = 0;
        for (auto it = fs::recursive_directory_iterator(outside);
             it != fs::recursive_directory_iterator(); ++it)
            ++entries;
        EXPECT_EQ(entries, kFiles + 2u) << "something was made outside the image";
        struct stat st;
        ASSERT_EQ(lstat(outside.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0755u) << "the outside folder's mode changed";
    }

    // The swapping program: Sub is a folder, then a link to the outside folder, then a folder
    // again, in a tight loop.
    void startSwapping() {
        swapper = fork();
        ASSERT_GE(swapper, 0);
        if (swapper == 0) {
            // the link stays about as long as the folder does, which makes the most of the
            // moments when a check of the folder is followed by an act on the link
            struct stat st;
            for (;;) {
                if (rename(sub.c_str(), aside.c_str()) == 0) {
                    if (symlink(outside.c_str(), sub.c_str()) == 0) {
                        lstat(sub.c_str(), &st);
                        lstat(sub.c_str(), &st);
                        unlink(sub.c_str());
                    }
                    rename(aside.c_str(), sub.c_str());
                }
                lstat(sub.c_str(), &st);
                lstat(sub.c_str(), &st);
            }
        }
    }
    void stopSwapping() {
        if (swapper <= 0)
            return;
        kill(swapper, SIGKILL);
        waitpid(swapper, nullptr, 0);
        swapper = -1;
        // the folder is back in its place for whatever the test still does
        if (fs::is_symlink(sub))
            fs::remove(sub);
        if (fs::exists(aside) && !fs::exists(sub))
            fs::rename(aside, sub);
    }
    // Fills Sub (wherever it is now) with the files the device will work on.
    void fill() {
        for (int i = 0; i < kFiles; ++i) {
            std::u16string name = u"\\Temp\\Sub\\f" + wide(std::to_string(i));
            HANDLE h =
                CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
        }
        CreateDirectoryW(u"\\Temp\\Sub\\Deep", nullptr);
    }
    // Runs `round` again and again while the swapper runs.
    template <class F>
    void whileSwapping(F round) {
        startSwapping();
        auto until = std::chrono::steady_clock::now() + runTime();
        int rounds = 0;
        while (std::chrono::steady_clock::now() < until) {
            round(rounds);
            ++rounds;
        }
        stopSwapping();
        EXPECT_GT(rounds, 10);
    }
};

TEST_F(SwapTest, DeletesByPathNeverReachThroughTheLink) {
    // the folder in the image is mostly empty: a delete that reaches through the link finds
    // the file outside, which has every name
    whileSwapping([&](int round) {
        if (round % 50 == 0)
            fill();
        for (int i = 0; i < kFiles; ++i) {
            // in two spellings: the stored case, and another that is looked up name by name
            std::u16string n = wide(std::to_string(i));
            DeleteFileW((u"\\Temp\\Sub\\f" + n).c_str());
            DeleteFileW((u"\\TEMP\\sub\\F" + n).c_str());
        }
        RemoveDirectoryW(u"\\Temp\\Sub\\Deep");
        RemoveDirectoryW(u"\\temp\\SUB\\deep");
    });
}

TEST_F(SwapTest, TheCleanUpLoopNeverReachesThroughTheLink) {
    whileSwapping([&](int) {
        fill();
        kt::cleanTree(u"\\Temp\\");
        CreateDirectoryW(u"\\Temp\\Sub", nullptr);
    });
}

TEST_F(SwapTest, WritesMovesCopiesAndAttributesNeverReachThroughTheLink) {
    kt::writeHost(device.host(u"\\Temp\\source.txt"), "device");
    whileSwapping([&](int round) {
        std::u16string n = wide(std::to_string(round % kFiles));
        std::u16string target = u"\\Temp\\Sub\\f" + n;
        HANDLE h =
            CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD written;
            WriteFile(h, "device", 6, &written, nullptr);
            CloseHandle(h);
        }
        if (FILE* f = _wfopen(target.c_str(), u"a")) {
            fputs("+", f);
            fclose(f);
        }
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
        SetFileAttributesW(target.c_str(), 0);
        SetFileAttributesW(u"\\Temp\\Sub\\Deep", FILE_ATTRIBUTE_HIDDEN);
        CopyFileW(u"\\Temp\\source.txt", target.c_str(), FALSE);
        MoveFileW(target.c_str(), u"\\Temp\\moved.txt");
        MoveFileW(u"\\Temp\\moved.txt", target.c_str());
        CreateDirectoryW((u"\\Temp\\Sub\\new" + n).c_str(), nullptr);
        RemoveDirectoryW((u"\\Temp\\Sub\\new" + n).c_str());
        DeleteFileW(target.c_str());
    });
}

}  // namespace
