// Programs and power: the module path, CreateProcessW, the help viewer, reboot and suspend.
#include <pkfuncs.h>

#include "util.h"

using ce::test::TempDevice;

namespace {

class ProcessTest : public ::testing::Test {
  protected:
    TempDevice device;
    void TearDown() override { ce::kernel::setRebootHandler(nullptr); }
    // Maps a device program to the test program and gives it a device file.
    void installTool(const std::u16string& path) {
        kt::writeHost(device.host(path), "MZ");
        ce::kernel::setProgramHost(path, TESTPROG);
    }
};

TEST_F(ProcessTest, ModuleFileNameHonoursTheBufferSize) {
    WCHAR buf[1024];
    DWORD n = GetModuleFileNameW(nullptr, buf, 1024);
    EXPECT_EQ(std::u16string(buf), u"\\Program Files\\Varnello\\Varnello.exe");
    EXPECT_EQ(n, 36u);
    ce::kernel::setModulePath(u"\\Windows\\tool.exe");
    EXPECT_EQ(GetModuleFileNameW(nullptr, buf, 1024), 17u);
    EXPECT_EQ(std::u16string(buf), u"\\Windows\\tool.exe");
    // too small: cut to size - 1, terminated, the size returned and the error set
    for (auto& c : buf) c = u'#';
    EXPECT_EQ(GetModuleFileNameW(nullptr, buf, 8), 8u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::u16string(buf), u"\\Window");
    EXPECT_EQ(buf[8], u'#');
    EXPECT_EQ(GetModuleFileNameW(nullptr, buf, 0), 0u);
    EXPECT_EQ(buf[0], u'\\');
    // the program's instance handle names the same module
    EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(0x10000), buf, 1024), 17u);
}

TEST_F(ProcessTest, ModuleFileNameFollowsDeviceIniForThisExecutable) {
    std::error_code ec;
    ce::kernel::setProgramHost(u"\\Program Files\\Tests\\Kernel.exe",
                               std::filesystem::canonical("/proc/self/exe", ec));
    WCHAR buf[64];
    GetModuleFileNameW(nullptr, buf, 64);
    EXPECT_EQ(std::u16string(buf), u"\\Program Files\\Tests\\Kernel.exe");
}

TEST_F(ProcessTest, CreateProcessStartsTheHostProgramOnTheSameDevice) {
    installTool(u"\\Program Files\\Tool\\Tool.exe");
    WCHAR cmd[] = u"silent \"two words\"";
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(u"\\program files\\tool\\tool.exe", cmd, nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, nullptr, &pi));
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 10000), DWORD(WAIT_OBJECT_0));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, 7u);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(kt::readHost(device.host(u"\\Temp\\ran-silent.txt")),
              "\\program files\\tool\\tool.exe|silent \"two words\"");
    EXPECT_NE(
        device.log().find("process start \\program files\\tool\\tool.exe silent \"two words\""),
        std::string::npos)
        << device.log();
}

// Windows CE names the program on its own: a bare name is a program in \Windows, and without
// a name there is nothing to start (the command line is never searched for one).
TEST_F(ProcessTest, ABareNameIsAProgramInWindowsAndTheProgramMustBeNamed) {
    installTool(u"\\Windows\\helper.exe");
    WCHAR cmd[] = u"first";
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(
        CreateProcessW(u"helper", cmd, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &pi));
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 10000), DWORD(WAIT_OBJECT_0));
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(kt::readHost(device.host(u"\\Temp\\ran-first.txt")), "\\Windows\\helper.exe|first");

    WCHAR withName[] = u"helper second";
    for (LPCWSTR none : {static_cast<LPCWSTR>(nullptr), u""}) {
        SetLastError(0);
        EXPECT_FALSE(CreateProcessW(none, withName, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                    nullptr, &pi));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    }
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\ran-helper.txt"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ProcessTest, UnknownProgramsFailAndAreLogged) {
    PROCESS_INFORMATION pi{};
    EXPECT_FALSE(CreateProcessW(u"\\Program Files\\None\\none.exe", nullptr, nullptr, nullptr,
                                FALSE, 0, nullptr, nullptr, nullptr, &pi));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    // on the device, but no host program backs it
    EXPECT_FALSE(CreateProcessW(u"pword.exe", nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                nullptr, &pi));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT));
    EXPECT_NE(device.log().find("process start failed \\Windows\\pword.exe"), std::string::npos);
}

TEST_F(ProcessTest, TheHelpViewerIsBuiltIn) {
    kt::writeHost(device.host(u"\\Windows\\tunedoc.htm"), "<a name=Main_Contents>");
    WCHAR cmd[] = u"file:tunedoc.htm#Main_Contents";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(CreateProcessW(u"peghelp.exe", cmd, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               nullptr, nullptr));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(device.host(u"\\Windows\\tunedoc.htm").filename().string()),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("#Main_Contents"), std::string::npos);
    EXPECT_NE(device.log().find("help \\Windows\\tunedoc.htm#Main_Contents"), std::string::npos);
}

TEST_F(ProcessTest, RebootLogsAndEndsTheProgramThroughTheHandler) {
    struct Rebooted {};
    ce::kernel::setRebootHandler([] { throw Rebooted{}; });
    HKEY k;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"System\\GWE", 0, nullptr, 0, 0, nullptr, &k, nullptr),
        ERROR_SUCCESS);
    DWORD zero = 0;
    RegSetValueExW(k, u"Animate", 0, REG_DWORD, reinterpret_cast<BYTE*>(&zero), 4);
    RegCloseKey(k);
    EXPECT_THROW(KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, nullptr), Rebooted);
    EXPECT_NE(device.log().find("reboot\n"), std::string::npos);
    EXPECT_NE(kt::readHost(device.dir() / "registry.reg").find("\"Animate\"=dword:00000000"),
              std::string::npos);
    EXPECT_EQ(IOCTL_HAL_REBOOT, 0x0101003Cu);
    EXPECT_FALSE(KernelIoControl(0x01010054, nullptr, 0, nullptr, 0, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));
}

TEST_F(ProcessTest, WithoutAHandlerARebootEndsTheProcessWithCodeZero) {
    EXPECT_EXIT(KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, nullptr),
                testing::ExitedWithCode(0), "");
}

TEST_F(ProcessTest, CleanRebootFlagAndSuspendAreRecorded) {
    SetCleanRebootFlag();
    EXPECT_NE(kt::readHost(device.dir() / "device.ini").find("clean=1"), std::string::npos);
    ce::kernel::suspend();
    EXPECT_NE(device.log().find("power off\n"), std::string::npos);
}

}  // namespace
