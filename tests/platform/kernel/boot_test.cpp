// cedevice as a person uses it: booting (StartUp shortcuts, clean boot), the registry dump,
// and the installer with its error paths.
#include <ce/shortcut.h>
#include <pkfuncs.h>

#include "util.h"

#include <sys/wait.h>

using ce::test::TempDevice;

namespace {

struct Result {
    int code;
    std::string out;
};

Result cedevice(const std::string& args) {
    std::string cmd = std::string(CEDEVICE) + " " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    Result r{-1, {}};
    if (!p)
        return r;
    char buf[512];
    while (fgets(buf, sizeof buf, p)) r.out += buf;
    int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string shq(const std::filesystem::path& p) {
    return "'" + p.string() + "'";
}

class BootTest : public ::testing::Test {
  protected:
    TempDevice device;
    std::string dir = shq(device.dir());
};

TEST_F(BootTest, ARebootFollowedByBootRunsTheStartUpShortcuts) {
    kt::writeHost(device.host(u"\\Program Files\\Tool\\Tool.exe"), "MZ");
    ce::kernel::setProgramHost(u"\\Program Files\\Tool\\Tool.exe", TESTPROG);
    WCHAR lnk[] = u"\\Windows\\StartUp\\Tool.lnk";
    WCHAR target[] = u"\"\\Program Files\\Tool\\Tool.exe\" silent";
    ASSERT_TRUE(SHCreateShortcut(lnk, target));
    kt::writeHost(device.host(u"\\Windows\\StartUp\\notes.txt"), "not a shortcut");
    ce::kernel::setRebootHandler([] { throw 1; });
    EXPECT_THROW(KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, nullptr), int);
    ce::kernel::setRebootHandler(nullptr);
    ce::Device::close();

    Result r = cedevice("boot " + dir + " --wait 20");
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("boot 1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("skipped \\Windows\\StartUp\\notes.txt: not a shortcut"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("ended \\Windows\\StartUp\\Tool.lnk (exit code 7)"), std::string::npos)
        << r.out;
    EXPECT_EQ(kt::readHost(device.host(u"\\Temp\\ran-silent.txt")),
              "\\Program Files\\Tool\\Tool.exe|silent");
    std::string log = device.log();
    size_t reboot = log.find("reboot\n"), boot = log.find("boot 1\n"),
           start = log.find("process start");
    ASSERT_NE(reboot, std::string::npos) << log;
    ASSERT_NE(boot, std::string::npos) << log;
    ASSERT_NE(start, std::string::npos) << log;
    EXPECT_LT(reboot, boot);
    EXPECT_LT(boot, start);
    // the factory image's own startup entries have no host program: reported, not fatal
    EXPECT_NE(r.out.find("failed \\Windows\\StartUp\\ActiveSync.lnk"), std::string::npos) << r.out;
    EXPECT_NE(cedevice("boot " + dir).out.find("boot 2"), std::string::npos);
    ce::Device::open(device.dir());  // for the fixture's teardown
}

TEST_F(BootTest, ACleanBootRestoresTheFactoryImage) {
    ASSERT_TRUE(DeleteFileW(u"\\My Documents\\budget.pxl"));
    kt::writeHost(device.host(u"\\My Documents\\new.txt"), "user data");
    HKEY k;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"System\\GWE", 0, 0, &k), ERROR_SUCCESS);
    DWORD zero = 0;
    RegSetValueExW(k, u"Animate", 0, REG_DWORD, reinterpret_cast<BYTE*>(&zero), 4);
    RegCloseKey(k);
    std::filesystem::create_directory_symlink(device.outside(), device.host(u"\\Out"));
    kt::writeHost(device.outside() / "canary.txt", "alive");
    SetCleanRebootFlag();
    ce::Device::close();

    Result r = cedevice("boot " + dir);
    EXPECT_NE(r.out.find("clean boot"), std::string::npos) << r.out;
    EXPECT_TRUE(std::filesystem::exists(device.host(u"\\My Documents\\budget.pxl")));
    EXPECT_FALSE(std::filesystem::exists(device.host(u"\\My Documents\\new.txt")));
    EXPECT_FALSE(std::filesystem::exists(device.host(u"\\Out")));
    EXPECT_EQ(kt::readHost(device.outside() / "canary.txt"), "alive");
    // attributes come back too
    ce::Device::open(device.dir());
    EXPECT_EQ(GetFileAttributesW(u"\\Windows\\Temp\\locked.tmp") & FILE_ATTRIBUTE_READONLY,
              DWORD(FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"System\\GWE", 0, 0, &k), ERROR_SUCCESS);
    DWORD v = 0, cb = 4;
    RegQueryValueExW(k, u"Animate", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &cb);
    RegCloseKey(k);
    EXPECT_EQ(v, 1u);
    std::string ini = kt::readHost(device.dir() / "device.ini");
    EXPECT_NE(ini.find("clean=0"), std::string::npos) << ini;
    EXPECT_NE(device.log().find("clean boot\nboot 1\n"), std::string::npos) << device.log();
    // the flag is used once
    ce::Device::close();
    kt::writeHost(device.host(u"\\My Documents\\new.txt"), "kept");
    EXPECT_EQ(cedevice("boot " + dir).out.find("clean boot"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(device.host(u"\\My Documents\\new.txt")));
    ce::Device::open(device.dir());
}

// Rewrites the boot count in device.ini as a person or an older platform would have left it.
void setBootCount(const std::filesystem::path& dir, const std::string& count) {
    std::string ini = kt::readHost(dir / "device.ini");
    size_t at = ini.find("count=");
    ASSERT_NE(at, std::string::npos) << ini;
    ini.replace(at, ini.find('\n', at) - at, "count=" + count);
    kt::writeHost(dir / "device.ini", ini);
}

TEST_F(BootTest, TheBootCountStopsAtItsLimitAndTheDeviceStillOpens) {
    ce::Device::close();
    const std::string max = "2147483647";
    setBootCount(device.dir(), "2147483646");
    for (int i = 0; i < 2; ++i) {
        Result r = cedevice("boot " + dir + " --wait 20");
        EXPECT_EQ(r.code, 0) << r.out;
        EXPECT_NE(r.out.find("boot " + max + "\n"), std::string::npos) << r.out;
    }
    EXPECT_NE(kt::readHost(device.dir() / "device.ini").find("count=" + max + "\n"),
              std::string::npos);
    std::string log = device.log();
    size_t first = log.find("boot " + max + "\n");
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find("boot " + max + "\n", first + 1), std::string::npos) << log;
    // counts past the limit, as a person typed them, open and boot as the limit; one past an
    // older platform's limit is an ordinary count now
    const std::pair<const char*, std::string> counts[] = {
        {"2147483648", max}, {"99999999999999999999999", max}, {"1073741825", "1073741826"}};
    for (const auto& [count, next] : counts) {
        setBootCount(device.dir(), count);
        EXPECT_NO_THROW(ce::Device::open(device.dir())) << count;
        ce::Device::close();
        Result r = cedevice("reg " + dir);
        EXPECT_EQ(r.code, 0) << count << ": " << r.out;
        r = cedevice("boot " + dir + " --wait 20");
        EXPECT_NE(r.out.find("boot " + next + "\n"), std::string::npos) << count << ": " << r.out;
    }
    // what is not a count at all is refused with its line, and the file is left as it is
    setBootCount(device.dir(), "-3");
    Result r = cedevice("boot " + dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("device.ini, line"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("bad number \"-3\""), std::string::npos) << r.out;
    EXPECT_NE(kt::readHost(device.dir() / "device.ini").find("count=-3\n"), std::string::npos);
}

TEST_F(BootTest, RegPrintsTheRegistryAndErrorsAreOneLine) {
    Result r = cedevice("reg " + dir);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    EXPECT_NE(r.out.find("[HKEY_LOCAL_MACHINE\\System\\GWE\\Menu]\n\"AniType\"=dword:00000006\n"),
              std::string::npos);

    r = cedevice("reg " + shq(device.outside() / "nothing"));
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    EXPECT_NE(r.out.find("no device image"), std::string::npos) << r.out;

    ce::Device::close();
    kt::writeHost(device.dir() / "registry.reg",
                  "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\X]\nbroken\n");
    r = cedevice("reg " + dir);
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    EXPECT_NE(r.out.find("line 3"), std::string::npos) << r.out;
    EXPECT_EQ(cedevice("frobnicate " + dir).code, 2);
    EXPECT_EQ(cedevice("--help").code, 0);
    r = cedevice("init " + dir);
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.out.find("exists already"), std::string::npos);
}

class InstallTest : public BootTest {
  protected:
    std::filesystem::path help = device.outside() / "tunedoc.htm";
    void SetUp() override { kt::writeHost(help, "<a name=\"Main_Contents\"></a>"); }
    std::string installArgs(const std::string& setup) {
        return "install " + dir + " --program " + shq(TESTPROG) + " --help-file " + shq(help) +
               " --setup " + shq(setup);
    }
    std::string hooks() { return kt::readHost(device.host(u"\\Temp\\hooks.txt")); }
};

TEST_F(InstallTest, InstallAndUninstallCallTheHooksAroundTheirWork) {
    ce::Device::close();
    Result r = cedevice(installArgs(TESTSETUP));
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(hooks(),
              "Install_Init null 1 0 \\Program Files\\Varnello\nInstall_Exit \\Program "
              "Files\\Varnello\n");
    ce::Device::open(device.dir());
    EXPECT_TRUE(ce::kernel::installed());
    EXPECT_EQ(kt::readHost(device.host(u"\\Windows\\tunedoc.htm")), kt::readHost(help));
    WCHAR target[1024];
    ASSERT_TRUE(SHGetShortcutTarget(u"\\Windows\\Help\\Varnello.lnk", target, 1024));
    EXPECT_NE(std::u16string(target).find(u"peghelp.exe"), std::u16string::npos);
    EXPECT_NE(std::u16string(target).find(u"tunedoc.htm"), std::u16string::npos);
    EXPECT_NE(GetFileAttributesW(u"\\Program Files\\Varnello\\Varnello.exe"),
              INVALID_FILE_ATTRIBUTES);
    // the installed program starts through its device path
    PROCESS_INFORMATION pi{};
    WCHAR cmd[] = u"installed";
    ASSERT_TRUE(CreateProcessW(u"\\Program Files\\Varnello\\Varnello.exe", cmd, nullptr, nullptr,
                               FALSE, 0, nullptr, nullptr, nullptr, &pi));
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(kt::readHost(device.host(u"\\Temp\\ran-installed.txt")),
              "\\Program Files\\Varnello\\Varnello.exe|installed");
    kt::writeHost(device.host(u"\\Program Files\\Varnello\\user.dat"), "made by the program");
    ce::Device::close();

    r = cedevice("uninstall " + dir + " --setup " + shq(TESTSETUP));
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(hooks().find("Uninstall_Init \\Program Files\\Varnello\nUninstall_Exit\n"),
              std::string::npos)
        << hooks();
    ce::Device::open(device.dir());
    EXPECT_FALSE(ce::kernel::installed());
    EXPECT_EQ(GetFileAttributesW(u"\\Program Files\\Varnello\\Varnello.exe"),
              INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(u"\\Windows\\Help\\Varnello.lnk"), INVALID_FILE_ATTRIBUTES);
    // what the installer did not put there stays
    EXPECT_EQ(kt::readHost(device.host(u"\\Program Files\\Varnello\\user.dat")),
              "made by the program");
    EXPECT_EQ(kt::readHost(device.dir() / "device.ini").find("Varnello.exe"), std::string::npos);
}

TEST_F(InstallTest, ErrorPathsSayWhatIsWrongInOneLineAndChangeNothing) {
    ce::Device::close();
    std::string before = kt::readHost(device.dir() / "registry.reg");
    Result r = cedevice("uninstall " + dir + " --setup " + shq(TESTSETUP));
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.out.find("not installed"), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;

    r = cedevice(installArgs((device.outside() / "missing.so").string()));
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.out.find("setup library not found"), std::string::npos) << r.out;
    kt::writeHost(device.outside() / "junk.so", "not a library");
    r = cedevice(installArgs((device.outside() / "junk.so").string()));
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.out.find("cannot load setup library"), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    r = cedevice(installArgs(BADSETUP));
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.out.find("Install_Init"), std::string::npos) << r.out;
    r = cedevice("install " + dir + " --program " + shq(device.outside() / "none") +
                 " --help-file " + shq(help) + " --setup " + shq(TESTSETUP));
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.out.find("program not found"), std::string::npos) << r.out;
    EXPECT_EQ(kt::readHost(device.dir() / "registry.reg"), before);
    EXPECT_FALSE(std::filesystem::exists(device.host(u"\\Program Files\\Varnello")));
    ce::Device::open(device.dir());
}

}  // namespace
