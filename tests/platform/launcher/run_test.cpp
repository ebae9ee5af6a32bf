// The launcher as a person runs it: the test program behind the real main(), started as a
// process with host options; what it prints, its exit code, and what lands on the device.
#include <gtest/gtest.h>

#include <windows.h>

#include "kernel/device.h"
#include "kernel/kernel.h"
#include "launch.h"
#include "testing/device.h"

#include <fstream>

namespace fs = std::filesystem;

namespace {

using ce::test::Outcome;
using ce::test::slurp;

// The test program behind the real launcher.
Outcome launch(const std::vector<std::string>& args, const fs::path& scratch,
               const std::vector<std::pair<std::string, std::string>>& env = {}) {
    return ce::test::run(TESTPROG, args, scratch, env);
}

bool oneLine(const std::string& s) {
    return !s.empty() && s.find('\n') == s.size() - 1;
}

class Launcher : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = device.outside() / "launcher";
        fs::create_directories(dir);
        ce::Device::close();  // the program opens the image itself
    }
    fs::path write(const std::string& name, const std::string& text) {
        fs::path p = dir / name;
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
    ce::test::TempDevice device;
    fs::path dir;
};

TEST_F(Launcher, HelpListsTheOptionsAndExitsZero) {
    Outcome r = launch({"--help"}, dir);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("Usage: launcher_testprog [--device DIR]", 0), 0u) << r.out;
    for (const char* o :
         {"--headless", "--script FILE", "--screenshot FILE", "--module DEVPATH", "--help"})
        EXPECT_NE(r.out.find(o), std::string::npos) << o;
    EXPECT_EQ(r.err, "");
}

TEST_F(Launcher, BadCommandLinesGetOneLineAndExitTwo) {
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    std::string missing = (dir / "no-such-device").string();
    const Case cases[] = {
        {{"--bogus"}, "launcher_testprog: unknown option --bogus (see launcher_testprog --help)"},
        {{"--device"}, "--device needs a value"},
        {{"--device", missing},
         "no device image in " + missing + " (create one with: cedevice init " + missing + ")"},
        {{"--device", device.dir().string(), "--script", (dir / "none.txt").string()},
         "cannot read the script"},
    };
    for (const Case& c : cases) {
        Outcome r = launch(c.args, dir);
        EXPECT_EQ(r.code, 2) << c.args[0];
        EXPECT_TRUE(oneLine(r.err)) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(missing));
}

TEST_F(Launcher, AScriptGetsTheDeviceCommandLineAndItsResultIsTheExitCode) {
    fs::path pass = write("pass.txt",
                          "expect text id=207 \"hello \"\"two words\"\" \\Temp\\\"\n"
                          "tap id=203\ntype \"Zoe\"\nmenu \"File\" \"Save\"\nmenu \"File\" "
                          "\"Quit\"\nexpect ended 7\n");
    Outcome r = launch({"--device", device.dir().string(), "--headless", "--script", pass.string(),
                        "hello", "\"two words\"", "\\Temp\\"},
                       dir);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(slurp(device.host(u"\\My Documents\\name.txt")), std::string("Z\0o\0e\0", 6));

    fs::path failing =
        write("fail.txt", "tap \"Greet\"\nexpect box \"Greeting\" \"Goodbye\"\nanswer yes\n");
    r = launch({"--device", device.dir().string(), "--script", failing.string()}, dir);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err.rfind(failing.string() +
                              ": line 2: expected the message box \"Greeting\" with \"Goodbye\"",
                          0),
              0u)
        << r.err;

    fs::path unfinished = write("open.txt", "tap \"Remember\"\n");
    r = launch({"--device", device.dir().string(), "--script", unfinished.string()}, dir);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("the script has ended but the program still waits for input"),
              std::string::npos)
        << r.err;
}

TEST_F(Launcher, HeadlessRunsAnswerBoxesAndEndWhenTheProgramWaits) {
    Outcome r = launch({"--device", device.dir().string(), "--headless", "box"}, dir);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("the program waits for input and this run has none"), std::string::npos)
        << r.err;
    std::string log = slurp(device.dir() / "log");
    EXPECT_NE(log.find("message box \"Starting\": Ready?"), std::string::npos) << log;
    EXPECT_NE(log.find("answered OK"), std::string::npos) << log;

    // a program that ends by itself gives its exit code
    EXPECT_EQ(launch({"--device", device.dir().string(), "--headless", "quick"}, dir).code, 3);
}

TEST_F(Launcher, ScreenshotWithoutAScriptIsTakenWhenTheProgramFirstWaits) {
    fs::path png = dir / "first.png";
    Outcome r = launch({"--device", device.dir().string(), "--screenshot", png.string()}, dir,
                       {{"DISPLAY", ":99"}});
    EXPECT_EQ(r.code, 0) << r.err;
    std::string bytes = slurp(png);
    ASSERT_GE(bytes.size(), 24u);
    EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n");
    auto be32 = [&](size_t at) {
        return (unsigned(uint8_t(bytes[at])) << 24) | (unsigned(uint8_t(bytes[at + 1])) << 16) |
               (unsigned(uint8_t(bytes[at + 2])) << 8) | unsigned(uint8_t(bytes[at + 3]));
    };
    EXPECT_EQ(be32(16), 240u);
    EXPECT_EQ(be32(20), 320u);

    r = launch({"--device", device.dir().string(), "--headless", "--screenshot",
                (dir / "no/such/dir/x.png").string()},
               dir);
    EXPECT_EQ(r.code, 2);
}

TEST_F(Launcher, TheDefaultDeviceIsMadeOnFirstUseWithTheProgramInstalled) {
    fs::path data = dir / "data";
    Outcome first = launch({"--headless"}, dir, {{"XDG_DATA_HOME", data.string()}});
    EXPECT_EQ(first.code, 0) << first.err;
    fs::path made = data / "varnello" / "device";
    EXPECT_NE(first.err.find("creating the default device " + made.string() + " (first use)"),
              std::string::npos)
        << first.err;
    EXPECT_TRUE(fs::exists(made / "device.ini"));
    EXPECT_TRUE(fs::exists(made / "registry.reg"));
    EXPECT_TRUE(fs::exists(made / "root" / "Program Files" / "Varnello" / "Varnello.exe"));
    EXPECT_TRUE(fs::exists(made / "root" / "Windows" / "tunedoc.htm"));
    // nothing half-made is left beside it
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(data / "varnello")) ++entries;
    EXPECT_EQ(entries, 1u);

    Outcome second = launch({"--headless"}, dir, {{"XDG_DATA_HOME", data.string()}});
    EXPECT_EQ(second.code, 0);
    EXPECT_EQ(second.err.find("creating"), std::string::npos) << second.err;
}

TEST_F(Launcher, ADefaultDeviceThatCannotBeMadeIsReportedAndNotLeftHalfMade) {
    fs::path data = dir / "data";
    fs::create_directories(data / "varnello" / "device");
    std::ofstream(data / "varnello" / "device" / "notes.txt") << "not a device\n";
    Outcome r = launch({"--headless"}, dir, {{"XDG_DATA_HOME", data.string()}});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(fs::exists(data / "varnello" / "device" / "notes.txt"));
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(data / "varnello")) ++entries;
    EXPECT_EQ(entries, 1u);
}

// A program started by CreateProcessW runs behind this launcher as the device program it was
// started as, and gets its command line whole, even one that begins like a host option.
TEST_F(Launcher, AProgramStartedByAnotherGetsItsModuleAndCommandLine) {
    ce::Device::open(device.dir());
    std::ofstream(device.host(u"\\Windows\\ltest.exe")) << "MZ";
    ce::kernel::setProgramHost(u"\\Windows\\ltest.exe", TESTPROG);
    WCHAR cmd[] = u"--device \"\\My Documents\\\" record";
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(u"\\Windows\\ltest.exe", cmd, nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, nullptr, &pi));
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 20000), DWORD(WAIT_OBJECT_0));
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(code, 5u);
    std::string got = slurp(device.host(u"\\Temp\\started.txt"));
    std::u16string text(reinterpret_cast<const char16_t*>(got.data()), got.size() / 2);
    EXPECT_EQ(text, u"\\Windows\\ltest.exe|--device \"\\My Documents\\\" record");
}

}  // namespace
