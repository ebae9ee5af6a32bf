// The script language, run in-process against the test program on a fresh device: every kind
// of step, and the failures a script reports with its line (and never a hang).
#include <gtest/gtest.h>

#include <windows.h>

#include "gwes/driver.h"
#include "gwes/script.h"
#include "testing/device.h"

#include <fstream>
#include <iterator>
#include <sstream>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int);

using ce::test::Driver;
using ce::test::DriverError;
using ce::test::parseScript;
using ce::test::runScript;

namespace {

struct Outcome {
    int code;
    std::string err;
};

Outcome run(Driver& driver, const std::string& script) {
    std::ostringstream err;
    int code = runScript(driver, parseScript(script), "t.txt", err);
    return {code, err.str()};
}

std::string fileBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ScriptParse, WordsQuotesAndComments) {
    auto steps = parseScript(
        "# a comment\n"
        "\n"
        "tap \"Clean Temp Files\"   # after a step\r\n"
        "\tmenu \"say \"\"hi\"\"\" \"\\Windows\\Temp\\\"\n"
        "expect text id=5 \"\"\n");
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].line, 3);
    EXPECT_EQ(steps[0].words, (std::vector<std::string>{"tap", "Clean Temp Files"}));
    EXPECT_EQ(steps[0].quoted, (std::vector<bool>{false, true}));
    EXPECT_EQ(steps[1].line, 4);
    EXPECT_EQ(steps[1].words,
              (std::vector<std::string>{"menu", "say \"hi\"", "\\Windows\\Temp\\"}));
    EXPECT_EQ(steps[2].words, (std::vector<std::string>{"expect", "text", "id=5", ""}));

    // a stray carriage return separates like a blank (a file saved with odd line ends)
    auto stray = parseScript("type  \"a\"\r\r\nmenu x\ry\n");
    ASSERT_EQ(stray.size(), 2u);
    EXPECT_EQ(stray[0].words, (std::vector<std::string>{"type", "a"}));
    EXPECT_EQ(stray[1].words, (std::vector<std::string>{"menu", "x", "y"}));

    // UTF-8 with a byte-order mark, as some editors save it
    auto marked = parseScript("\xEF\xBB\xBFtap \"K\xC3\xA4se\"\n");
    ASSERT_EQ(marked.size(), 1u);
    EXPECT_EQ(marked[0].words, (std::vector<std::string>{"tap", "K\xC3\xA4se"}));
}

TEST(ScriptParse, UnreadableLinesAreNamed) {
    for (const auto& [text, line] : std::vector<std::pair<std::string, std::string>>{
             {"tap \"Greet\"\ntap \"open\n", "line 2: "}, {"\n\n\"tap\" x\n", "line 3: "}}) {
        try {
            parseScript(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const DriverError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(line, 0), 0u) << e.what();
        }
    }
}

class Script : public ::testing::Test {
  protected:
    ce::test::TempDevice device;
};

TEST_F(Script, EveryKindOfStepOperatesTheProgram) {
    Driver d(&WinMain, u"first run");
    std::string png = (device.outside() / "shot.png").string();
    Outcome o = run(d,
                    "expect title \"Launcher Test\"\n"
                    "expect text id=207 \"first run\"\n"
                    "expect nobox\n"
                    "tap id=203\n"
                    "type \"Anna\"\n"
                    "key BACK\n"
                    "expect text id=203 \"Ann\"\n"
                    "tap \"Greet\"\n"
                    "expect box \"Greeting\" \"Hello, Ann\"\n"
                    "answer no\n"
                    "expect text id=204 \"answered no\"\n"
                    "expect hidden id=205\n"
                    "tap \"Remember\"\n"
                    "expect checked id=202\n"
                    "expect visible id=205\n"
                    "tap \"Plum\"\n"
                    "expect selected id=206 \"Plum\"\n"
                    "drag 200,230 220,250\n"
                    "expect text id=204 \"drag 200,204 to 220,224\"\n"
                    "tap 200,240\n"
                    "expect text id=204 \"drag 200,214 to 200,214\"\n"
                    "menu \"File\" \"Save\"\n"
                    "expect text id=204 \"saved\"\n"
                    "screenshot \"" +
                        png +
                        "\"\n"
                        "tap \"Remember\"\n"
                        "expect unchecked id=202\n"
                        "ok\n"
                        "expect ended 0\n");
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(o.err, "");
    EXPECT_FALSE(d.running());
    EXPECT_EQ(fileBytes(device.host(u"\\My Documents\\name.txt")), std::string("A\0n\0n\0", 6));
    EXPECT_EQ(fileBytes(png).substr(0, 8), "\x89PNG\r\n\x1a\n");
}

TEST_F(Script, ExpectEndedChecksTheExitCode) {
    Driver d(&WinMain, u"");
    Outcome o = run(d, "menu \"File\" \"Quit\"\nexpect ended 0\n");
    EXPECT_EQ(o.code, 2);
    EXPECT_NE(o.err.find("t.txt: line 2: the program ended with exit code 7"), std::string::npos)
        << o.err;
}

// Each failing step stops the run at its line, with exit code 2 and what was on screen; the
// steps after it never run.
TEST_F(Script, AFailingStepNamesItsLineAndStopsTheRun) {
    struct Case {
        std::string step, says;
    };
    const Case cases[] = {
        {"tap \"Nothing here\"", "nothing on screen reads \"Nothing here\""},
        {"tap id=999", "no visible control with ID 999"},
        {"expect text id=204 \"done\"", "control id=204 reads \"ready\""},
        {"expect checked id=202", "control id=202 is not checked"},
        {"expect visible id=205", "control id=205 is hidden"},
        {"expect box \"Greeting\"",
         "expected the message box \"Greeting\", but no message box is up"},
        {"answer ok", "no message box is up"},
        {"menu \"File\" \"Open\"", "\"File\" has no item \"Open\""},
        {"menu \"Edit\" \"Copy\"", "no menu bar button \"Edit\""},
        {"menu \"Tools\" \"Never\"", "\"Never\" is disabled"},
        {"expect ended", "the program is still running"},
    };
    for (const Case& c : cases) {
        Driver d(&WinMain, u"");
        Outcome o =
            run(d, "# line 1\nexpect title \"Launcher Test\"\n" + c.step + "\ntap \"Greet\"\n");
        EXPECT_EQ(o.code, 2) << c.step;
        EXPECT_EQ(o.err.rfind("t.txt: line 3: ", 0), 0u) << c.step << "\n" << o.err;
        EXPECT_NE(o.err.find(c.says), std::string::npos) << c.step << "\n" << o.err;
        EXPECT_NE(o.err.find("on screen: navigation bar \"Launcher Test\""), std::string::npos)
            << o.err;
        // the tap on line 4 did not run: no greeting box came up
        EXPECT_FALSE(d.messageBox()) << c.step;
        d.stop();
    }
}

// A step that cannot be run as written is found before anything runs, each with its line.
TEST(ScriptCheck, EveryMalformedStepIsNamed) {
    struct Case {
        std::string step, says;
    };
    const Case cases[] = {
        {"wave \"Greet\"", "unknown command \"wave\""},
        {"tap 240,100", "240,100 is outside the screen (240 x 320)"},
        {"tap 12;40", "tap takes \"Text\", id=N or X,Y"},
        {"tap id=twelve", "\"twelve\" is not a number"},
        {"tap id=-3", "-3 is out of range"},
        {"drag 10,10 10,400", "10,400 is outside the screen"},
        {"drag 10,10 \"10,20\"", "expected a point X,Y"},
        {"key HYPER", "unknown key HYPER"},
        {"key F13", "unknown key F13"},
        {"answer maybe", "answer takes ok, yes, no"},
        {"tap", "\"tap\" takes 1 argument(s)"},
        {"ok now", "\"ok\" takes 0 argument(s)"},
        {"expect", "expect what?"},
        {"expect purple id=3", "unknown expectation \"purple\""},
        {"expect box", "\"expect box\" takes 1 to 2 argument(s)"},
        {"expect checked 50052", "expected id=N after \"expect\""},
        {"expect ended zero", "\"zero\" is not a number"},
        {"check 202", "expected id=N after \"check\""},
        {"select id=206", "\"select\" takes 2 argument(s)"},
        {"slide id=5 far", "\"far\" is not a number"},
        {"set id=203", "\"set\" takes 2 argument(s)"},
        {"expect file \"Temp\\a.tmp\"", "\"Temp\\a.tmp\" is not a device path"},
        {"expect nofile \"\\Temp\\*.tmp\"", "holds a wildcard"},
        {"expect size \"\\a\" -1", "-1 is out of range"},
        {"expect size \"\\a\" 12kb", "\"12kb\" is not a number"},
        {"expect reg \"HKXX\\Foo\" \"v\" \"1\"", "does not begin with a registry root"},
        {"expect noreg \"HKLM\\Foo\" \"v\" \"1\"", "takes 1 to 2 argument(s)"},
        {"expect log", "\"expect log\" takes 1 argument(s)"},
        {"tap \"open", "a quoted argument is not closed"},
        {"\"tap\" x", "a line starts with its command"},
        {"tap \"K\xC3\"", "not UTF-8"},
    };
    for (const Case& c : cases) {
        auto script = ce::test::readScript("# line 1\ntap \"Greet\"\n" + c.step + "\n", 240, 320);
        ASSERT_EQ(script.problems.size(), 1u) << c.step;
        EXPECT_EQ(script.problems[0].line, 3) << c.step;
        EXPECT_NE(script.problems[0].what.find(c.says), std::string::npos)
            << c.step << "\n"
            << script.problems[0].what;
        EXPECT_EQ(script.steps.size(), 1u) << c.step;  // only the sound line 2
    }
    // the same steps written soundly pass
    auto sound = ce::test::readScript(
        "tap 239,319\ntap id=0\nkey f12\nkey a\nexpect ended -1\ncheck id=202\nslide id=5 -2\n"
        "expect size \"/Temp/a\" 0\nexpect reg \"hkey_local_machine\" \"\" \"\"\n"
        "expect noreg \"HKU\\x\"\nselect id=0 \"Tab\"\nset id=3 \"\"\n",
        240, 320);
    EXPECT_TRUE(sound.problems.empty()) << sound.problems[0].line << ": " << sound.problems[0].what;
    EXPECT_EQ(sound.steps.size(), 12u);
}

TEST_F(Script, AnAnswerTheBoxDoesNotOfferIsRefused) {
    Driver d(&WinMain, u"");
    Outcome o = run(d, "tap \"Greet\"\nanswer ok\n");
    EXPECT_EQ(o.code, 2);
    EXPECT_NE(o.err.find(
                  "line 2: answer: the message box \"Greeting\" has no OK button (it has: Yes No)"),
              std::string::npos)
        << o.err;
    EXPECT_NE(o.err.find("message box \"Greeting\": \"Hello, \""), std::string::npos) << o.err;
}

TEST_F(Script, AScriptThatEndsWhileTheProgramWaitsIsAnError) {
    Driver d(&WinMain, u"");
    Outcome o = run(d, "tap \"Greet\"\n");
    EXPECT_EQ(o.code, 2);
    EXPECT_EQ(o.err.rfind("t.txt: the script has ended but the program still waits for input\n", 0),
              0u)
        << o.err;
    EXPECT_NE(o.err.find("message box \"Greeting\""), std::string::npos) << o.err;
    EXPECT_TRUE(d.running());
    d.stop();  // ends the waiting program instead of hanging
    EXPECT_FALSE(d.running());
}

TEST_F(Script, StepsAfterTheProgramHasEndedFail) {
    Driver d(&WinMain, u"quick");
    Outcome o = run(d, "expect ended 3\ntap \"Greet\"\n");
    EXPECT_EQ(o.code, 2);
    EXPECT_NE(o.err.find("t.txt: line 2: the program has ended (exit code 3) before this step"),
              std::string::npos)
        << o.err;
    EXPECT_EQ(run(d, "expect ended 3\n").code, 0);
}

// A program that fails (an exception leaves WinMain) fails the script, even one whose steps all
// ran.
TEST_F(Script, AProgramThatFailsFailsTheScript) {
    {
        Driver d(&WinMain, u"crash");
        Outcome o = run(d, "# nothing to do\n");
        EXPECT_EQ(o.code, 2);
        EXPECT_EQ(o.err, "t.txt: the program failed: out of memory\n");
    }
    Driver d(&WinMain, u"crash");
    Outcome o = run(d, "expect ended\n");
    EXPECT_EQ(o.code, 2);
    EXPECT_NE(o.err.find("t.txt: line 1: the program failed before this step: out of memory"),
              std::string::npos)
        << o.err;
}

}  // namespace
