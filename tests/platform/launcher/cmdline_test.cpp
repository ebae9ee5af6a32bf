// A command line reaches the program exactly as written, by every road a program is started:
// CreateProcessW, a shortcut in \Windows\StartUp at boot, and the launcher's own command line.
// echoprog, behind the real launcher, records what its WinMain got.
#include <gtest/gtest.h>

#include <windows.h>

#include <ce/shortcut.h>

#include "kernel/device.h"
#include "kernel/internal.h"
#include "kernel/kernel.h"
#include "testing/device.h"
#include "launch.h"

#include <optional>

namespace fs = std::filesystem;

namespace {

// 1,001 units: with the quoted program name and its blank, a shortcut target of 1,023.
std::u16string longLine() {
    std::u16string line;
    while (line.size() < 1001) line += u"\"a b\"  \\c\\ ";
    line.resize(1001);
    return line;
}

// Lines a parser in the way would change: quotes open or doubled, blanks leading, doubled or
// trailing, backslashes before quotes and at the end, a tab, text beyond ASCII, words that look
// like host options, and nothing at all.
const std::vector<std::u16string>& awkwardLines() {
    static const std::vector<std::u16string> lines = {
        u"silent\" more",
        u"a\" b",
        u"\"\"",
        u"  x",
        u"\\path with blanks\\",
        u"x  y  ",
        u"\"\\My Documents\\\" -n",
        u"tab\there",
        u"--device \"\\Temp\" --headless -h",
        u"\u00e9t\u00e9 \U0001D11E \u4e2d",
        longLine(),
        u"",
    };
    return lines;
}

std::string utf8(const std::u16string& s) {
    return ce::kernel::toUtf8(s);
}

class CommandLine : public ::testing::Test {
  protected:
    void SetUp() override {
        scratch = device.outside() / "cmdline";
        fs::create_directories(scratch);
    }

    static std::u16string name(size_t n) {
        return u"\\Windows\\echo" + ce::kernel::fromUtf8(std::to_string(n)) + u".exe";
    }
    // \Windows\echoN.exe, backed by echoprog in device.ini.
    std::u16string program(size_t n) {
        ce::kernel::setProgramHost(name(n), ECHOPROG);
        return name(n);
    }

    // What \Windows\echoN.exe's WinMain got, when it ran.
    std::optional<std::u16string> recorded(size_t n) {
        fs::path file =
            device.host(u"\\Temp\\echo" + ce::kernel::fromUtf8(std::to_string(n)) + u".cmdline");
        if (!fs::exists(file))
            return std::nullopt;
        std::string bytes = ce::test::slurp(file);
        return std::u16string(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
    }

    // Starts \Windows\echoN.exe with this command line and waits for it; its exit code.
    DWORD start(size_t n, const std::u16string* line) {
        std::u16string name = program(n), text = line ? *line : u"";
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(name.c_str(), line ? text.data() : nullptr, nullptr, nullptr, FALSE, 0,
                            nullptr, nullptr, nullptr, &pi))
            return 1000 + GetLastError();
        DWORD code = 999;
        if (WaitForSingleObject(pi.hProcess, 20000) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        return code;
    }

    ce::test::TempDevice device{ce::test::TempDevice::Contents::Empty};
    fs::path scratch;
};

TEST_F(CommandLine, CreateProcessPassesTheCommandLineAsWritten) {
    const auto& lines = awkwardLines();
    for (size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(start(i, &lines[i]), 0u) << utf8(lines[i]);
        EXPECT_EQ(recorded(i), lines[i]) << utf8(lines[i]);
    }
    // no command line is the empty one
    ASSERT_EQ(start(100, nullptr), 0u);
    EXPECT_EQ(recorded(100), u"");
}

// Win32's limit of 32,767 units with the null; a line the host cannot carry as it is (a lone
// surrogate) is refused rather than changed. Nothing starts.
TEST_F(CommandLine, CreateProcessRefusesLinesItCannotPassWhole) {
    std::u16string longest(32766, u'x');
    longest[0] = u'"';
    longest[32765] = u' ';
    ASSERT_EQ(start(1, &longest), 0u);
    EXPECT_EQ(recorded(1), longest);

    std::u16string tooLong(32767, u'x');
    std::u16string lone = u"silent \xD800 more";
    EXPECT_EQ(start(2, &tooLong), 1000u + ERROR_INVALID_PARAMETER);
    EXPECT_EQ(start(3, &lone), 1000u + ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(recorded(2));
    EXPECT_FALSE(recorded(3));
}

TEST_F(CommandLine, AStartUpShortcutPassesWhatFollowsTheProgramAsWritten) {
    const auto& lines = awkwardLines();
    struct Case {
        std::u16string target, line;
    };
    std::vector<Case> cases;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::u16string quoted = u"\"" + program(i) + u"\"";
        cases.push_back({lines[i].empty() ? quoted : quoted + u" " + lines[i], lines[i]});
    }
    // an unquoted name ends at the first blank or tab; one of them separates, no more
    cases.push_back({program(cases.size()) + u" silent\" more", u"silent\" more"});
    cases.push_back({program(cases.size()) + u"\t  x", u"  x"});
    cases.push_back({u"  \"" + program(cases.size()) + u"\"   two", u"  two"});
    cases.push_back({u"\"" + program(cases.size()) + u"\"glued on", u"glued on"});
    for (size_t i = 0; i < cases.size(); ++i) {
        std::u16string lnk =
            u"\\Windows\\StartUp\\echo" + ce::kernel::fromUtf8(std::to_string(i)) + u".lnk";
        ASSERT_TRUE(SHCreateShortcut(lnk.data(), cases[i].target.data())) << utf8(cases[i].target);
    }
    ce::Device::close();

    ce::test::Outcome boot = ce::test::run(CEDEVICE, {"boot", device.dir().string()}, scratch);
    ce::Device::open(device.dir());
    ASSERT_EQ(boot.code, 0) << boot.out << boot.err;
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(recorded(i), cases[i].line) << utf8(cases[i].target);
        std::string ended =
            "ended \\Windows\\StartUp\\echo" + std::to_string(i) + ".lnk (exit code 0)";
        EXPECT_NE(boot.out.find(ended), std::string::npos) << ended << "\n" << boot.out;
    }
}

TEST_F(CommandLine, TheLaunchersWordsAreTheCommandLineAsWritten) {
    ce::Device::close();  // each program opens the image itself
    auto launch = [&](size_t n, std::vector<std::string> words) {
        std::vector<std::string> args = {"--device", device.dir().string(), "--module",
                                         utf8(name(n)), "--headless"};
        args.insert(args.end(), words.begin(), words.end());
        return ce::test::run(ECHOPROG, args, scratch);
    };
    const auto& lines = awkwardLines();
    for (size_t i = 0; i < lines.size(); ++i) {
        ce::test::Outcome r = launch(i, {"--", utf8(lines[i])});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, "[" + utf8(lines[i]) + "]\n");
        EXPECT_EQ(recorded(i), lines[i]) << utf8(lines[i]);
    }
    // several words: one blank between them, each as written; -- only where one begins with -
    struct Case {
        std::vector<std::string> words;
        std::u16string line;
    };
    const Case cases[] = {
        {{"silent", "more"}, u"silent more"},
        {{"silent\"", "more"}, u"silent\" more"},
        {{"a", "", "b"}, u"a  b"},
        {{"  x"}, u"  x"},
        {{"--", "--device", "x"}, u"--device x"},
        {{}, u""},
    };
    size_t n = lines.size();
    for (const Case& c : cases) {
        ce::test::Outcome r = launch(n, c.words);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(recorded(n), c.line) << utf8(c.line);
        ++n;
    }
}

}  // namespace
