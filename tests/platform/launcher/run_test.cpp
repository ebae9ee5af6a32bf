// The launcher as a person runs it: the test program behind the real main(), started as a
// process with host options; what it prints, its exit code, and what lands on the device.
#include <gtest/gtest.h>

#include <windows.h>

#include "kernel/device.h"
#include "kernel/kernel.h"
#include "launch.h"
#include "testing/device.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace {

using ce::test::Outcome;
using ce::test::slurp;

// The test program behind the real launcher.
Outcome launch(const std::vector<std::string>& args, const fs::path& scratch,
               const std::vector<std::pair<std::string, std::string>>& env = {},
               const fs::path& input = {}) {
    return ce::test::run(TESTPROG, args, scratch, env, input);
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
    for (const char* o : {"--headless", "--script FILE", "--screenshot FILE", "--module DEVPATH",
                          "--help", "--version"})
        EXPECT_NE(r.out.find(o), std::string::npos) << o;
    EXPECT_EQ(r.err, "");

    r = launch({"--version"}, dir);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "launcher_testprog " CE_VERSION "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(launch({"--version=2"}, dir).code, 2);
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

// A script is read and checked whole before the program starts: every faulty line is named,
// and the sound first line (which would save a file) never runs.
TEST_F(Launcher, AScriptWithErrorsOnThreeLinesIsRefusedWholeAndNothingRuns) {
    fs::path script = write("typos.txt",
                            "tap id=203\ntype \"Ann\"\nmenu \"File\" \"Save\"\n"
                            "wave \"Greet\"\n# a comment\nkey HYPER\ntap 12,400\nok\n");
    size_t logBefore = slurp(device.dir() / "log").size();
    Outcome r = launch({"--device", device.dir().string(), "--script", script.string()}, dir);
    EXPECT_EQ(r.code, 2);
    std::string name = script.string();
    EXPECT_EQ(r.err, name + ": line 4: unknown command \"wave\"\n" + name +
                         ": line 6: unknown key HYPER\n" + name +
                         ": line 7: 12,400 is outside the screen (240 x 320)\n" + name +
                         ": 3 errors; nothing was run\n");
    EXPECT_FALSE(fs::exists(device.host(u"\\My Documents\\name.txt")));
    EXPECT_EQ(slurp(device.dir() / "log").size(), logBefore) << "the device was used";
}

TEST_F(Launcher, AScriptComesFromAFileOrStandardInputAndAnythingElseIsRefused) {
    fs::path input = write("stdin.txt", "menu \"File\" \"Quit\"\nexpect ended 7\n");
    Outcome r = launch({"--device", device.dir().string(), "--script", "-"}, dir, {}, input);
    EXPECT_EQ(r.code, 0) << r.err;
    fs::path failing = write("stdin-fail.txt", "expect ended\n");
    r = launch({"--device", device.dir().string(), "--script=-"}, dir, {}, failing);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err.rfind("standard input: line 1: the program is still running", 0), 0u) << r.err;

    fs::path unreadable = write("secret.txt", "ok\n");
    fs::permissions(unreadable, fs::perms::none);
    bool root = geteuid() == 0;  // root reads it anyway
    for (const fs::path& bad : {dir, unreadable}) {
        if (bad == unreadable && root)
            continue;
        r = launch({"--device", device.dir().string(), "--script", bad.string()}, dir);
        EXPECT_EQ(r.code, 2) << bad;
        EXPECT_TRUE(oneLine(r.err)) << r.err;
        EXPECT_EQ(r.err.rfind("launcher_testprog: cannot read the script " + bad.string(), 0), 0u)
            << r.err;
    }
    EXPECT_NE(launch({"--device", device.dir().string(), "--script", dir.string()}, dir)
                  .err.find("Is a directory"),
              std::string::npos);
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

// An X server that takes connections and never answers, as a stopped or wedged server does.
class SilentXServer {
  public:
    SilentXServer() {
        ::mkdir("/tmp/.X11-unix", 01777);
        for (int n = 300; n < 400 && fd_ < 0; ++n) {
            std::string path = "/tmp/.X11-unix/X" + std::to_string(n);
            if (fs::exists(path) || answers('\0' + path))
                continue;
            int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un a = address(path);
            if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                ::listen(fd, 4) == 0) {
                fd_ = fd;
                path_ = path;
                display_ = ":" + std::to_string(n);
            } else {
                ::close(fd);
            }
        }
    }
    ~SilentXServer() {
        if (fd_ >= 0) {
            ::close(fd_);
            ::unlink(path_.c_str());
        }
    }
    const std::string& display() const { return display_; }

  private:
    static sockaddr_un address(const std::string& path) {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::memcpy(a.sun_path, path.data(), std::min(path.size(), sizeof a.sun_path - 1));
        return a;
    }
    static bool answers(const std::string& path) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a = address(path);
        bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a),
                            socklen_t(offsetof(sockaddr_un, sun_path) + path.size())) == 0;
        ::close(fd);
        return ok;
    }
    int fd_ = -1;
    std::string path_, display_;
};

// A display that is named but cannot be used ends the run at once, in one line, before the
// program starts: nothing on the device changes, and no message box is answered for the person.
TEST_F(Launcher, ADisplayThatCannotBeOpenedEndsTheRunWithinTwoSecondsInOneLine) {
    SilentXServer silent;
    ASSERT_FALSE(silent.display().empty()) << "no free display number for the silent server";
    std::string before = slurp(device.dir() / "log");
    // Within 2 seconds where a launch itself is quick; a launch slowed down as a whole (under the
    // sanitizers, on a loaded machine) may take as long again as a launch that only says --help.
    auto start = std::chrono::steady_clock::now();
    launch({"--help"}, dir);
    const auto limit = std::max<std::chrono::steady_clock::duration>(
        std::chrono::seconds(2),
        std::chrono::steady_clock::now() - start + std::chrono::seconds(1));
    for (const std::string& display :
         {std::string(":297"), silent.display(), std::string("no.such.host.invalid:0"),
          std::string("::"), std::string(":55\nsecond line")}) {
        start = std::chrono::steady_clock::now();
        // The X and D-Bus client libraries keep what a failed start allocated.
        Outcome r = launch({"--device", device.dir().string(), "box"}, dir,
                           {{"DISPLAY", display}, {"ASAN_OPTIONS", "detect_leaks=0"}});
        auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(r.code, 2) << display << ": " << r.err;
        EXPECT_TRUE(oneLine(r.err)) << r.err;
        std::string shown = display == ":55\nsecond line" ? ":55\\x0asecond line" : display;
        EXPECT_NE(r.err.find("launcher_testprog: cannot open the display \"" + shown + "\" ("),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("--headless"), std::string::npos) << r.err;
        EXPECT_LT(took, limit) << display;
    }
    EXPECT_EQ(slurp(device.dir() / "log"), before);
    // --headless is the way past such a display
    Outcome r = launch({"--device", device.dir().string(), "--headless", "box"}, dir,
                       {{"DISPLAY", silent.display()}});
    EXPECT_EQ(r.code, 0) << r.err;
}

// The window is a module loaded from beside the platform library only when a window opens: a run
// without one never maps it nor SDL2 (the loader's own account says what it maps), and a run that
// wants one where the module is missing or is not the window module ends at once, in one line, as
// for a display that cannot be opened; runs without a window do not miss it.
TEST_F(Launcher, TheWindowModuleIsLoadedOnlyForAWindowAndWithoutItAWindowedRunEndsInOneLine) {
    const std::string nowhere = ":297";  // a display where no X server listens
    auto loads = [](const Outcome& r, const std::string& what) {
        return r.err.find(what) != std::string::npos;
    };
    fs::path script = write("end.script", "expect ended 3\n");
    const std::vector<std::vector<std::string>> windowless = {
        {"--headless", "quick"},
        {"--screenshot", (dir / "shot.png").string(), "box"},
        {"--script", script.string(), "quick"}};
    for (const auto& args : windowless) {
        std::vector<std::string> all{"--device", device.dir().string()};
        all.insert(all.end(), args.begin(), args.end());
        Outcome r = launch(all, dir, {{"DISPLAY", nowhere}, {"LD_DEBUG", "files"}});
        EXPECT_FALSE(loads(r, CE_WINDOW_MODULE)) << args[0] << ": " << r.err;
        EXPECT_FALSE(loads(r, "libSDL2")) << args[0];
    }
    // ... while a run that wants a window loads it, and it finds no server there
    Outcome r =
        launch({"--device", device.dir().string(), "box"}, dir,
               {{"DISPLAY", nowhere}, {"LD_DEBUG", "files"}, {"ASAN_OPTIONS", "detect_leaks=0"}});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(loads(r, CE_WINDOW_MODULE)) << r.err;
    EXPECT_TRUE(loads(r, "no X server listens there")) << r.err;

    // The program and the platform library in a folder of their own, with no module or a wrong one.
    fs::path alone = dir / "alone";
    fs::create_directories(alone);
    const fs::path built = fs::path(TESTPROG).parent_path();
    const fs::path program = alone / "launcher_testprog", module = alone / CE_WINDOW_MODULE;
    fs::copy_file(TESTPROG, program);
    fs::copy_file(built / "libceplatform.so", alone / "libceplatform.so");
    const std::string before = slurp(device.dir() / "log");
    struct Case {
        const char* what;
        std::function<void()> plant;
        const char* says;
    };
    const Case cases[] = {
        {"none", [] {}, "cannot open shared object file"},
        {"not a library", [&] { std::ofstream(module) << "not a library\n"; }, ""},
        {"a folder", [&] { fs::create_directory(module); }, ""},
        {"another library", [&] { fs::copy_file(built / "libceplatform.so", module); },
         "does not belong to this build"},
    };
    for (const Case& c : cases) {
        fs::remove_all(module);
        c.plant();
        r = ce::test::run(program.string(), {"--device", device.dir().string(), "box"}, dir,
                          {{"DISPLAY", nowhere}});
        EXPECT_EQ(r.code, 2) << c.what << ": " << r.err;
        EXPECT_TRUE(oneLine(r.err)) << c.what << ": " << r.err;
        const std::string reason =
            "launcher_testprog: cannot open the display \"" + nowhere + "\" (the window module ";
        EXPECT_EQ(r.err.rfind(reason, 0), 0u) << c.what << ": " << r.err;
        EXPECT_TRUE(loads(r, module.string())) << c.what << ": " << r.err;
        EXPECT_TRUE(loads(r, c.says)) << c.what << ": " << r.err;
        EXPECT_TRUE(loads(r, "--headless runs without a window")) << c.what << ": " << r.err;
        EXPECT_EQ(ce::test::run(program.string(),
                                {"--device", device.dir().string(), "--headless", "quick"}, dir,
                                {{"DISPLAY", nowhere}})
                      .code,
                  3)
            << c.what;
    }
    // the runs that wanted a window ended before the program started: it showed no box
    std::string log = slurp(device.dir() / "log").substr(before.size());
    EXPECT_EQ(log.find("Ready?"), std::string::npos) << log;
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
