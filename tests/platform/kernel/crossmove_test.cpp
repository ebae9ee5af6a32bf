// MoveFileW to another host file system, as a device moves a file between volumes: the file
// arrives whole with its attributes and times, or the source stays as it was and no copy is
// left; a program killed in the middle never leaves half a file under a real name, and what it
// left is removed when the device next opens. A folder cannot move across.
#include "tmpfs.h"
#include "util.h"

#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

using ce::test::TempDevice;

namespace {

namespace fs = std::filesystem;

// Bytes that differ from file to file and from place to place, so a copy cut short or shifted
// never passes for the file.
std::string content(size_t size, unsigned seed) {
    std::string s(size, '\0');
    std::mt19937 gen(seed);
    for (char& c : s) c = static_cast<char>(gen());
    return s;
}

FILETIME lastWrite(const std::u16string& path) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(path.c_str(), &fd);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << kt::utf8(path);
    if (h != INVALID_HANDLE_VALUE)
        FindClose(h);
    return fd.ftLastWriteTime;
}

// Every name in a host folder.
std::vector<std::string> entries(const fs::path& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
}

class CrossMoveTest : public ::testing::Test {
  protected:
    bool mountsOfItsOwn = kt::privateMounts().empty();  // before the device opens
    TempDevice device{TempDevice::Contents::Empty};
    fs::path other = device.host(u"\\Other");  // another file system, inside the image
    void put(const std::u16string& path, const std::string& bytes) {
        kt::writeHost(device.host(path), bytes);
    }
    // No temporary copy and no record of a move are left.
    void expectNothingLeftOver() {
        for (const fs::path& dir : {device.host(u"\\Temp"), other})
            for (const std::string& name : entries(dir))
                EXPECT_EQ(name.find("~move"), std::string::npos) << dir << ": " << name;
        EXPECT_TRUE(entries(device.dir() / "moves").empty());
    }
};

TEST_F(CrossMoveTest, AFileArrivesWholeWithItsAttributesAndTimesAndTheSourceGoes) {
    kt::Tmpfs fs(other, "8m");
    KT_REQUIRE_MOUNTED(fs);
    const std::string bytes = content(3 << 20, 1);
    put(u"\\Temp\\doc.psw", bytes);
    const DWORD attributes =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
    ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\doc.psw", attributes));
    struct timespec times[2] = {{1000000000, 0}, {1100000000, 123456700}};
    ASSERT_EQ(utimensat(AT_FDCWD, device.host(u"\\Temp\\doc.psw").c_str(), times, 0), 0);
    const FILETIME written = lastWrite(u"\\Temp\\doc.psw");

    ASSERT_TRUE(MoveFileW(u"\\Temp\\doc.psw", u"\\Other\\Doc.psw")) << GetLastError();
    EXPECT_FALSE(fs::exists(device.host(u"\\Temp\\doc.psw")));
    EXPECT_EQ(kt::readHost(other / "Doc.psw"), bytes);
    EXPECT_EQ(GetFileAttributesW(u"\\Other\\Doc.psw"), attributes);
    const FILETIME moved = lastWrite(u"\\Other\\Doc.psw");
    EXPECT_EQ(moved.dwLowDateTime, written.dwLowDateTime);
    EXPECT_EQ(moved.dwHighDateTime, written.dwHighDateTime);
    // the walks see the attributes as the single calls do
    EXPECT_EQ(kt::find(u"\\Other\\*")[u"Doc.psw"].attributes, attributes);
    expectNothingLeftOver();

    // and back again, an empty file too
    put(u"\\Other\\empty.txt", "");
    EXPECT_TRUE(MoveFileW(u"\\Other\\Doc.psw", u"\\Temp\\doc.psw"));
    EXPECT_TRUE(MoveFileW(u"\\Other\\empty.txt", u"\\Temp\\empty.txt"));
    EXPECT_EQ(kt::readHost(device.host(u"\\Temp\\doc.psw")), bytes);
    EXPECT_TRUE(fs::exists(device.host(u"\\Temp\\empty.txt")));
    EXPECT_TRUE(entries(other).empty());
    expectNothingLeftOver();
}

TEST_F(CrossMoveTest, WhatCannotMoveStaysAsItWas) {
    kt::Tmpfs fs(other, "1m");
    KT_REQUIRE_MOUNTED(fs);
    put(u"\\Temp\\Folder\\inner.txt", "inner");
    put(u"\\Temp\\big.bin", content(3 << 20, 2));
    put(u"\\Temp\\same.txt", "mine");
    put(u"\\Other\\same.txt", "theirs");
    std::filesystem::create_symlink("/etc/passwd", device.host(u"\\Temp\\link"));
    const auto before = kt::snapshot(device.dir() / "root");

    // a folder cannot move across volumes, as on Win32
    EXPECT_FALSE(MoveFileW(u"\\Temp\\Folder", u"\\Other\\Folder"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    // a file larger than the room there
    EXPECT_FALSE(MoveFileW(u"\\Temp\\big.bin", u"\\Other\\big.bin"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
    // a name that is taken there
    EXPECT_FALSE(MoveFileW(u"\\Temp\\same.txt", u"\\Other\\SAME.TXT"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    // a symbolic link is no file of the device to carry over
    EXPECT_FALSE(MoveFileW(u"\\Temp\\link", u"\\Other\\link"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    // a folder that is not there
    EXPECT_FALSE(MoveFileW(u"\\Temp\\same.txt", u"\\Other\\Missing\\same.txt"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));

    EXPECT_EQ(kt::snapshot(device.dir() / "root"), before);
    expectNothingLeftOver();
}

TEST_F(CrossMoveTest, TheRecordsOfMovesAreNeverWrittenThroughALink) {
    kt::Tmpfs fs(other, "8m");
    KT_REQUIRE_MOUNTED(fs);
    fs::path elsewhere = device.outside() / "records";
    fs::create_directories(elsewhere);
    fs::create_directory_symlink(elsewhere, device.dir() / "moves");
    put(u"\\Temp\\doc.txt", "doc");
    EXPECT_TRUE(MoveFileW(u"\\Temp\\doc.txt", u"\\Other\\doc.txt"));
    EXPECT_EQ(kt::readHost(other / "doc.txt"), "doc");
    EXPECT_TRUE(entries(elsewhere).empty());
    // a record there, naming a file that has its very temporary name, is not acted on either
    kt::writeHost(elsewhere / "1-1", "\\Other\\~move1-1.tmp\n");
    put(u"\\Other\\~move1-1.tmp", "the user's");
    ce::Device::open(device.dir());
    EXPECT_EQ(kt::readHost(other / "~move1-1.tmp"), "the user's");
    EXPECT_TRUE(fs::exists(elsewhere / "1-1"));
    fs::remove(device.dir() / "moves");
}

// Runs f in a child process on the same device and returns its exit status.
template <class F>
int inChild(const fs::path& dir, F f) {
    pid_t pid = fork();
    if (pid == 0) {
        ce::Device::open(dir);
        _exit(f());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(CrossMoveTest, AWriteThatFailsHalfWayLeavesTheSourceAndNoCopy) {
    kt::Tmpfs fs(other, "8m");
    KT_REQUIRE_MOUNTED(fs);
    const std::string bytes = content(2 << 20, 3);
    put(u"\\Temp\\doc.bin", bytes);
    // the file system has room (the check before copying passes), but the writes stop after
    // 256 KB, as on an I/O error or a disk that fills meanwhile
    int status = inChild(device.dir(), [] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {256 << 10, 256 << 10};
        setrlimit(RLIMIT_FSIZE, &limit);
        if (MoveFileW(u"\\Temp\\doc.bin", u"\\Other\\doc.bin"))
            return 1;
        return GetLastError() == ERROR_DISK_FULL ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(kt::readHost(device.host(u"\\Temp\\doc.bin")), bytes);
    EXPECT_TRUE(entries(other).empty());
    expectNothingLeftOver();
}

TEST_F(CrossMoveTest, OnlyTheCopiesOfMovesWhoseProgramEndedAreRemovedWhenTheDeviceOpens) {
    fs::path moves = device.dir() / "moves";
    fs::create_directories(moves);
    put(u"\\Temp\\~move900-1.tmp", "half a copy");
    kt::writeHost(moves / "900-1", "\\Temp\\~move900-1.tmp\n");
    // a record that names anything but its own temporary file removes nothing
    put(u"\\Temp\\keep.txt", "the user's");
    kt::writeHost(moves / "900-2", "\\Temp\\keep.txt\n");
    put(u"\\Temp\\~move900-3.tmp", "outside");
    kt::writeHost(moves / "900-3", "\\Temp\\..\\..\\outside\\~move900-3.tmp\n");
    kt::writeHost(device.outside() / "~move900-3.tmp", "canary");
    // a record being written when its program ended
    kt::writeHost(moves / "900-4.new", "");
    // a move still running (its record locked) is left alone
    put(u"\\Temp\\~move900-5.tmp", "in progress");
    kt::writeHost(moves / "900-5", "\\Temp\\~move900-5.tmp\n");
    int held = open((moves / "900-5").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);

    ce::Device::open(device.dir());
    EXPECT_FALSE(fs::exists(device.host(u"\\Temp\\~move900-1.tmp")));
    EXPECT_EQ(kt::readHost(device.host(u"\\Temp\\keep.txt")), "the user's");
    EXPECT_EQ(kt::readHost(device.outside() / "~move900-3.tmp"), "canary");
    EXPECT_TRUE(fs::exists(device.host(u"\\Temp\\~move900-5.tmp")));
    EXPECT_EQ(entries(moves), std::vector<std::string>{"900-5"});
    close(held);
    ce::Device::open(device.dir());
    EXPECT_FALSE(fs::exists(device.host(u"\\Temp\\~move900-5.tmp")));
    EXPECT_TRUE(entries(moves).empty());
}

// True when the host file holds exactly `bytes` (read in large blocks: the kill test reads much).
bool holds(const fs::path& file, const std::string& bytes) {
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::string read(bytes.size() + 1, '\0');
    size_t got = 0;
    ssize_t n;
    while (got < read.size() && (n = ::read(fd, read.data() + got, read.size() - got)) > 0)
        got += static_cast<size_t>(n);
    close(fd);
    return got == bytes.size() && read.compare(0, got, bytes) == 0;
}

// The files of the kill test: each is whole in one place or the other (or, killed between the
// copy's arrival and the source's removal, in both), never half anywhere, never lost.
struct Files {
    std::map<std::string, std::string> bytes;  // name -> content
    // How many temporary copies were found (the kills that came in the middle of a copy).
    int checkWhole(const fs::path& a, const fs::path& b) {
        int temporary = 0;
        for (const fs::path& dir : {a, b}) {
            for (const std::string& name : entries(dir)) {
                if (name.rfind("~move", 0) == 0) {
                    ++temporary;
                    continue;
                }
                auto it = bytes.find(name);
                if (it == bytes.end()) {
                    ADD_FAILURE() << "a stranger: " << dir / name;
                    continue;
                }
                EXPECT_TRUE(holds(dir / name, it->second)) << "not whole: " << dir / name;
            }
        }
        for (const auto& [name, content] : bytes)
            EXPECT_TRUE(fs::exists(a / name) || fs::exists(b / name)) << "lost: " << name;
        return temporary;
    }
};

TEST_F(CrossMoveTest, AMoveKilledAnywhereLosesNoFileAndLeavesNoHalfFile) {
    // both folders on file systems of their own that keep no disk waiting: a kill lands at
    // once, wherever the move is
    kt::Tmpfs fs(other, "64m"), temp(device.host(u"\\Temp"), "64m");
    KT_REQUIRE_MOUNTED(fs);
    KT_REQUIRE_MOUNTED(temp);
    Files files;
    for (unsigned i = 0; i < 12; ++i) {
        std::string name = "file" + std::to_string(i) + ".bin";
        files.bytes[name] = content((1 << 20) + i * 4099, 100 + i);
        kt::writeHost(device.host(u"\\Temp\\") / name, files.bytes[name]);
    }
    // moves every file of one folder to the other, and back, until killed
    auto mover = [] {
        for (int round = 0;; ++round) {
            std::u16string from = round % 2 ? u"\\Other\\" : u"\\Temp\\";
            std::u16string to = round % 2 ? u"\\Temp\\" : u"\\Other\\";
            for (const auto& name : kt::names(from + u"file*"))
                MoveFileW((from + name).c_str(), (to + name).c_str());
        }
        return 0;
    };
    std::mt19937 gen(42);
    std::uniform_int_distribution<int> delay(1, 30);
    int middle = 0;
    for (int round = 0; round < 30; ++round) {
        pid_t pid = fork();
        if (pid == 0) {
            ce::Device::open(device.dir());
            _exit(mover());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delay(gen)));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        middle += files.checkWhole(device.host(u"\\Temp"), other) > 0;
        // a file killed between arrival and the source's removal is in both places: the next
        // move of it then finds its name taken, and the user has two whole copies
        for (const auto& [name, content] : files.bytes)
            if (fs::exists(other / name) && fs::exists(device.host(u"\\Temp") / name))
                fs::remove(other / name);
        ce::Device::open(device.dir());  // removes the temporary copies
        files.checkWhole(device.host(u"\\Temp"), other);
        expectNothingLeftOver();
        if (HasFailure())
            break;
    }
    // the kills did come in the middle of copies, not only between them
    EXPECT_GT(middle, 0);
}

}  // namespace
