// The launcher's command line: host options first, then the device command line as written.
#include "options.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>

using ce::launcher::joinCommandLine;
using ce::launcher::Options;
using ce::launcher::parseOptions;

namespace {

std::string refusal(const std::vector<std::string>& args) {
    try {
        parseOptions(args);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "(accepted)";
}

TEST(LauncherOptions, HostOptionsAreReadAndTheRestIsTheDeviceCommandLine) {
    Options o =
        parseOptions({"--device", "/tmp/dev", "--headless", "--script", "s.txt", "--screenshot",
                      "out.png", "--module", "\\Windows\\x.exe", "silent", "--headless"});
    EXPECT_EQ(o.device, "/tmp/dev");
    EXPECT_TRUE(o.headless);
    EXPECT_EQ(o.script, "s.txt");
    EXPECT_EQ(o.screenshot, "out.png");
    EXPECT_EQ(o.module, "\\Windows\\x.exe");
    EXPECT_FALSE(o.help);
    // everything from the first word that is not a host option belongs to the program
    EXPECT_EQ(o.commandLine, u"silent --headless");

    Options none = parseOptions({});
    EXPECT_FALSE(none.device || none.script || none.screenshot || none.module || none.headless ||
                 none.help);
    EXPECT_EQ(none.commandLine, u"");
}

TEST(LauncherOptions, ValuesMayFollowAnEqualsSign) {
    Options o = parseOptions({"--device=/tmp/a b", "--script=s.txt", "--screenshot=x.png", "run"});
    EXPECT_EQ(o.device, "/tmp/a b");
    EXPECT_EQ(o.script, "s.txt");
    EXPECT_EQ(o.screenshot, "x.png");
    EXPECT_EQ(o.commandLine, u"run");
    EXPECT_NE(refusal({"--device="}), "(accepted)");
    EXPECT_NE(refusal({"--headless=yes"}), "(accepted)");
}

TEST(LauncherOptions, DoubleDashEndsTheHostOptions) {
    Options o = parseOptions({"--headless", "--", "--device", "x"});
    EXPECT_TRUE(o.headless);
    EXPECT_FALSE(o.device);
    EXPECT_EQ(o.commandLine, u"--device x");
}

TEST(LauncherOptions, HelpIsRecognisedInBothSpellings) {
    EXPECT_TRUE(parseOptions({"--help"}).help);
    EXPECT_TRUE(parseOptions({"-h"}).help);
}

TEST(LauncherOptions, BadOptionsAreRefusedWithOneLineNamingThem) {
    std::string unknown = refusal({"--devise", "x"});
    EXPECT_NE(unknown.find("--devise"), std::string::npos) << unknown;
    for (const char* option : {"--device", "--script", "--screenshot", "--module"}) {
        std::string missing = refusal({option});
        EXPECT_NE(missing.find(option), std::string::npos) << missing;
        EXPECT_NE(refusal({option, ""}), "(accepted)") << option;
    }
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"--nope"}, {"--device"}, {"--script="}})
        EXPECT_EQ(refusal(args).find('\n'), std::string::npos);
}

// The device command line is the words after the options as the shell handed them over, one
// blank between them: nothing is quoted, unquoted or dropped.
TEST(LauncherOptions, TheWordsAfterTheOptionsAreTheCommandLineAsWritten) {
    const std::vector<std::pair<std::vector<std::string>, std::u16string>> lines = {
        {{"silent"}, u"silent"},
        {{"silent\" more"}, u"silent\" more"},
        {{"a", "b c"}, u"a b c"},
        {{"a", "", "b"}, u"a  b"},
        {{""}, u""},
        {{"  x  "}, u"  x  "},
        {{"\"\\My Documents\\\"", "-n"}, u"\"\\My Documents\\\" -n"},
        {{"tab\there"}, u"tab\there"},
        {{"\xc3\xa9t\xc3\xa9 \xf0\x9d\x84\x9e"}, u"\u00e9t\u00e9 \U0001D11E"},
    };
    for (const auto& [words, line] : lines) {
        EXPECT_EQ(joinCommandLine(words), line) << words[0];
        std::vector<std::string> args = {"--device", "d", "--"};
        args.insert(args.end(), words.begin(), words.end());
        EXPECT_EQ(parseOptions(args).commandLine, line) << words[0];
    }
    // bytes that are no UTF-8 text are refused in one line rather than changed
    std::string bad = refusal({"--device", "d", "caf\xe9"});
    EXPECT_NE(bad.find("not UTF-8"), std::string::npos) << bad;
    EXPECT_EQ(bad.find('\n'), std::string::npos);
}

TEST(LauncherOptions, UsageNamesEveryOption) {
    std::string text = ce::launcher::usage("varnello");
    EXPECT_EQ(text.rfind("Usage: varnello ", 0), 0u);
    for (const char* option : {"--device DIR", "--headless", "--script FILE", "--screenshot FILE",
                               "--module DEVPATH", "--help", "--"})
        EXPECT_NE(text.find(option), std::string::npos) << option;
}

}  // namespace
