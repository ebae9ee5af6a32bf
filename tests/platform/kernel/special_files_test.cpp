// What the host may put in an image that a device never has: FIFOs, sockets and device nodes are
// never opened (nothing blocks, no host driver is reached), and a file with more than one hard
// link is never written in place, so its other names, inside the image or outside it, keep what
// they had.
#include "util.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <ce/shortcut.h>

using ce::test::TempDevice;

namespace {

namespace fs = std::filesystem;

// Opens the FIFO for reading and writing every little while, which ends any open of it that
// blocks, and remembers whether one had to be ended.
class FifoRescuer {
  public:
    explicit FifoRescuer(fs::path fifo) : fifo_(std::move(fifo)), thread_([this] { run(); }) {}
    ~FifoRescuer() {
        done_ = true;
        thread_.join();
    }
    bool rescued() const { return rescued_; }

  private:
    void run() {
        while (!done_) {
            auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (!done_ && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (done_)
                return;
            rescued_ = true;
            int fd = ::open(fifo_.c_str(), O_RDWR | O_NONBLOCK);
            if (fd >= 0) {
                (void)!write(fd, "x", 1);
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                ::close(fd);
            }
        }
    }
    fs::path fifo_;
    std::atomic<bool> done_{false}, rescued_{false};
    std::thread thread_;
};

// A Unix socket bound at path (left there when the descriptor closes, as sockets are).
void makeSocket(const fs::path& path) {
    int s = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.string().size(), sizeof addr.sun_path);
    strcpy(addr.sun_path, path.c_str());
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(s);
}

struct Opened {
    bool ok;
    DWORD error;
};

// Every way a program opens a file, each answered at once.
std::vector<std::pair<std::string, Opened>> openEveryWay(const std::u16string& path) {
    std::vector<std::pair<std::string, Opened>> out;
    auto record = [&](const std::string& what, bool ok) {
        out.push_back({what, {ok, ok ? 0 : GetLastError()}});
    };
    const struct {
        const char* what;
        DWORD access, disposition;
    } creates[] = {
        {"read OPEN_EXISTING", GENERIC_READ, OPEN_EXISTING},
        {"write OPEN_EXISTING", GENERIC_WRITE, OPEN_EXISTING},
        {"write OPEN_ALWAYS", GENERIC_WRITE, OPEN_ALWAYS},
        {"write CREATE_ALWAYS", GENERIC_WRITE, CREATE_ALWAYS},
        {"write TRUNCATE_EXISTING", GENERIC_WRITE, TRUNCATE_EXISTING},
    };
    for (const auto& c : creates) {
        SetLastError(0);
        HANDLE h = CreateFileW(path.c_str(), c.access, 0, nullptr, c.disposition, 0, nullptr);
        record(std::string("CreateFileW ") + c.what, h != INVALID_HANDLE_VALUE);
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    for (const char16_t* mode : {u"r", u"rb", u"w", u"a", u"r+"}) {
        SetLastError(0);
        FILE* f = _wfopen(path.c_str(), mode);
        record("_wfopen " + kt::utf8(mode), f != nullptr);
        if (f)
            fclose(f);
    }
    SetLastError(0);
    record("CopyFileW from", CopyFileW(path.c_str(), u"\\copy.txt", FALSE));
    SetLastError(0);
    record("CopyFileW onto", CopyFileW(u"\\plain.txt", path.c_str(), FALSE));
    WCHAR target[MAX_PATH];
    SetLastError(0);
    record("SHGetShortcutTarget", SHGetShortcutTarget(path.c_str(), target, MAX_PATH));
    return out;
}

class SpecialFilesTest : public ::testing::Test {
  protected:
    TempDevice device{TempDevice::Contents::Empty};
    void SetUp() override { kt::writeHost(device.host(u"\\plain.txt"), "plain"); }
    void expectRefusedEveryWay(const std::u16string& path) {
        for (const auto& [what, opened] : openEveryWay(path)) {
            EXPECT_FALSE(opened.ok) << what;
            EXPECT_EQ(opened.error, DWORD(ERROR_ACCESS_DENIED)) << what;
        }
        EXPECT_FALSE(fs::exists(device.host(u"\\copy.txt")));
        EXPECT_EQ(kt::readHost(device.host(u"\\plain.txt")), "plain");
    }
};

TEST_F(SpecialFilesTest, AFifoIsNeverOpenedAndNothingWaitsOnIt) {
    fs::path fifo = device.host(u"\\Windows\\StartUp\\Varnello.lnk");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    {
        FifoRescuer rescuer(fifo);
        expectRefusedEveryWay(u"\\Windows\\StartUp\\Varnello.lnk");
        EXPECT_FALSE(rescuer.rescued()) << "an open waited for a writer";
    }
    // it is listed, and deleting it removes the FIFO without opening it
    auto listed = kt::find(u"\\Windows\\StartUp\\*");
    ASSERT_EQ(listed.count(u"Varnello.lnk"), 1u);
    EXPECT_FALSE(listed[u"Varnello.lnk"].attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(DeleteFileW(u"\\Windows\\StartUp\\Varnello.lnk"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(fifo)));
}

TEST_F(SpecialFilesTest, TheDeviceLogIsNeverAFifoOrALink) {
    fs::path log = device.dir() / "log";
    fs::remove(log);
    ASSERT_EQ(mkfifo(log.c_str(), 0644), 0);
    {
        FifoRescuer rescuer(log);
        ce::Device::current()->log("power off");
        EXPECT_FALSE(rescuer.rescued()) << "the log waited for a reader";
    }
    fs::remove(log);
    kt::writeHost(device.outside() / "elsewhere", "");
    fs::create_symlink(device.outside() / "elsewhere", log);
    ce::Device::current()->log("power off");
    EXPECT_EQ(kt::readHost(device.outside() / "elsewhere"), "");
}

TEST_F(SpecialFilesTest, SocketsAndDeviceNodesAreNeverOpened) {
    makeSocket(device.host(u"\\Temp\\sock"));
    expectRefusedEveryWay(u"\\Temp\\sock");
    // a node of the host's null device: were it opened, every write would "succeed"
    fs::path node = device.host(u"\\Temp\\null");
    if (mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "device nodes cannot be made here";
    expectRefusedEveryWay(u"\\Temp\\null");
}

class HardLinkTest : public SpecialFilesTest {
  protected:
    fs::path outside = device.outside() / "outside.txt";
    fs::path inside = device.host(u"\\Program Files\\settings.dat");
    void SetUp() override {
        SpecialFilesTest::SetUp();
        kt::writeHost(outside, "outside data");
        fs::create_directories(inside.parent_path());
        fs::create_hard_link(outside, inside);
        ASSERT_EQ(fs::hard_link_count(outside), 2u);
    }
    void expectOutsideUntouched() {
        EXPECT_EQ(kt::readHost(outside), "outside data");
        EXPECT_EQ(fs::hard_link_count(outside), 1u);
        EXPECT_EQ(fs::hard_link_count(inside), 1u);
        char buf[16];
        EXPECT_LT(getxattr(outside.c_str(), "user.DOSATTRIB", buf, sizeof buf), 0);
        struct stat st;
        ASSERT_EQ(stat(outside.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0644u);
        // no temporary file of the copy stays behind
        EXPECT_EQ(kt::names(u"\\Program Files\\*"), std::vector<std::u16string>{u"settings.dat"});
    }
};

TEST_F(HardLinkTest, ReadingLeavesTheLinkAlone) {
    FILE* f = _wfopen(u"\\Program Files\\settings.dat", u"rb");
    ASSERT_NE(f, nullptr);
    char buf[32] = {};
    EXPECT_EQ(fread(buf, 1, sizeof buf, f), 12u);
    fclose(f);
    EXPECT_EQ(std::string(buf), "outside data");
    EXPECT_EQ(fs::hard_link_count(outside), 2u);
}

TEST_F(HardLinkTest, TruncatingWritesGetAFileOfTheirOwn) {
    FILE* f = _wfopen(u"\\Program Files\\settings.dat", u"wb");
    ASSERT_NE(f, nullptr);
    fputs("device", f);
    fclose(f);
    EXPECT_EQ(kt::readHost(inside), "device");
    expectOutsideUntouched();
}

TEST_F(HardLinkTest, WritesInPlaceKeepTheDataAndAttributesInAFileOfTheirOwn) {
    // the attribute goes on the outside file's inode before the link is made, as a host tool
    // would leave it: the device copy keeps it, and the outside file keeps its own
    fs::remove(inside);
    ASSERT_EQ(setxattr(outside.c_str(), "user.DOSATTRIB", "0x2", 4, 0), 0);
    fs::create_hard_link(outside, inside);
    HANDLE h = CreateFileW(u"\\Program Files\\settings.dat", GENERIC_READ | GENERIC_WRITE, 0,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(h, "DEVICE", 6, &written, nullptr));
    CloseHandle(h);
    EXPECT_EQ(kt::readHost(inside), "DEVICEe data");
    EXPECT_EQ(GetFileAttributesW(u"\\Program Files\\settings.dat"), DWORD(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(kt::readHost(outside), "outside data");
    EXPECT_EQ(fs::hard_link_count(outside), 1u);
    char buf[16] = {};
    EXPECT_EQ(getxattr(outside.c_str(), "user.DOSATTRIB", buf, sizeof buf), 4);

    // appending, too
    fs::remove(inside);
    fs::create_hard_link(outside, inside);
    FILE* f = _wfopen(u"\\Program Files\\settings.dat", u"a");
    ASSERT_NE(f, nullptr);
    fputs("+", f);
    fclose(f);
    EXPECT_EQ(kt::readHost(inside), "outside data+");
    EXPECT_EQ(kt::readHost(outside), "outside data");
}

TEST_F(HardLinkTest, CopiesOntoItAndItsAttributesChangeOnlyTheDeviceFile) {
    ASSERT_TRUE(CopyFileW(u"\\plain.txt", u"\\Program Files\\settings.dat", FALSE));
    EXPECT_EQ(kt::readHost(inside), "plain");
    expectOutsideUntouched();

    fs::remove(inside);
    fs::create_hard_link(outside, inside);
    ASSERT_TRUE(SetFileAttributesW(u"\\Program Files\\settings.dat", FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetFileAttributesW(u"\\Program Files\\settings.dat"), DWORD(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(kt::readHost(inside), "outside data");
    expectOutsideUntouched();
}

TEST_F(HardLinkTest, TwoNamesInTheImageBecomeTwoFilesWhenOneIsWritten) {
    // a device has no hard links: what looks like two files behaves as two files
    fs::path second = device.host(u"\\second.dat");
    fs::create_hard_link(inside, second);
    FILE* f = _wfopen(u"\\second.dat", u"w");
    ASSERT_NE(f, nullptr);
    fputs("second", f);
    fclose(f);
    EXPECT_EQ(kt::readHost(second), "second");
    EXPECT_EQ(kt::readHost(inside), "outside data");
    EXPECT_EQ(kt::readHost(outside), "outside data");
}

TEST_F(HardLinkTest, AFullDiskLeavesTheFileAsItWas) {
    // the copy cannot be made where there is no room: the write is refused, nothing changes
    fs::path small = device.host(u"\\Small");
    fs::create_directories(small);
    if (system(("mount -t tmpfs -o size=64k tmpfs '" + small.string() + "' 2>/dev/null").c_str()) !=
        0)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    struct Unmount {
        fs::path at;
        ~Unmount() { EXPECT_EQ(system(("umount '" + at.string() + "'").c_str()), 0); }
    } unmount{small};
    std::string big(40 * 1024, 'b');
    kt::writeHost(small / "big.dat", big);
    fs::create_hard_link(small / "big.dat", small / "twin.dat");
    HANDLE h =
        CreateFileW(u"\\Small\\big.dat", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD error = GetLastError();
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(error, DWORD(ERROR_DISK_FULL));
    EXPECT_EQ(kt::readHost(small / "big.dat"), big);
    EXPECT_EQ(fs::hard_link_count(small / "twin.dat"), 2u);
    EXPECT_EQ(kt::names(u"\\Small\\*").size(), 2u);  // no half copy left
}

}  // namespace
