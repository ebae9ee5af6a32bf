// The script steps that set state and the expectations on the device, run against the real
// program on a fresh factory device: each step once as it should be used, with what it changed
// on screen and on the device, and once misused, with the message that names what it found.
#include "AppHarness.h"

#include <fstream>
#include <sstream>

#include "gwes/script.h"
#include "kernel/kernel.h"

using namespace apptest;

namespace {

struct Outcome {
    int code;
    std::string err;
};

class ScriptSteps : public ::testing::Test {
  protected:
    // `expect log` looks at the lines written once the program starts.
    ScriptSteps()
        : app_(u"", TempDevice::Contents::Factory, [this](TempDevice&) {
              ce::Device::current()->log("written before the script");
              logStart_ = LogSize();
          }) {}

    static std::uintmax_t LogSize() {
        std::error_code ec;
        auto n = std::filesystem::file_size(ce::Device::current()->logFile(), ec);
        return ec ? 0 : n;
    }

    Outcome Run(const std::string& script) {
        std::ostringstream err;
        int code = ce::test::runScript(app_.driver(), ce::test::parseScript(script), "t.txt", err,
                                       logStart_);
        return {code, err.str()};
    }
    // Runs the steps and expects the last one to fail with this message.
    void ExpectFailure(const std::string& script, const std::string& says) {
        Outcome o = Run(script);
        EXPECT_EQ(o.code, 2) << script;
        EXPECT_NE(o.err.find(says), std::string::npos)
            << "expected: " << says << "\ngot: " << o.err;
    }
    void ExpectPass(const std::string& script) {
        Outcome o = Run(script + "menu \"Varnello\" \"Exit\"\n");
        EXPECT_EQ(o.code, 0) << o.err;
    }

    Driver& driver() { return app_.driver(); }
    LRESULT Send(int id, UINT message, WPARAM w = 0, LPARAM l = 0) {
        return SendMessageW(driver().find([id] {
            Query q;
            q.id = id;
            q.includeHidden = true;
            return q;
        }()),
                            message, w, l);
    }

  private:
    std::uintmax_t logStart_ = 0;
    App app_;
};

TEST_F(ScriptSteps, CheckAndUncheckTapOnlyWhenTheBoxDiffers) {
    // The first run ticks "Disable window animation": check leaves it ticked, where a tap would
    // have cleared it.
    Outcome o =
        Run("tap \"Performance\"\n"
            "check id=50052\ncheck id=50052\nexpect checked id=50052\n"
            "uncheck id=50051\nexpect unchecked id=50051\n"
            "check id=50051\nexpect checked id=50051\n"
            "menu \"Apply\" \"Defer Restart\"\nanswer ok\nanswer ok\n");
    ASSERT_EQ(o.code, 2) << o.err;  // the program still runs
    EXPECT_NE(o.err.find("still waits"), std::string::npos) << o.err;
    DWORD animate = 7, size = sizeof animate;
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"System\\GWE", 0, 0, &key), ERROR_SUCCESS);
    RegQueryValueExW(key, u"Animate", nullptr, nullptr, (BYTE*)&animate, &size);
    RegCloseKey(key);
    EXPECT_EQ(animate, 0u) << "the box was toggled off";
}

TEST_F(ScriptSteps, CheckRefusesWhatIsNoCheckBoxOrNotOnScreen) {
    ExpectFailure("check id=50002\n", "line 1: edit id=50002 is not a check box");
    ExpectFailure("uncheck id=50052\n",
                  "line 1: the control with ID 50052 is not on screen (hidden)");
}

TEST_F(ScriptSteps, SelectAndDeselectInAMultipleSelectionList) {
    HWND list = ScreenControl(SCREEN_SHORTCUTS, POS_STARTUP_LIST);
    auto selected = [list](int i) { return SendMessageW(list, LB_GETSEL, i, 0) > 0; };
    Outcome o =
        Run("tap \"Shortcuts\"\n"
            "select id=50047 \"Alarm Pro.lnk\"\nselect id=50047 \"ActiveSync.lnk\"\n"
            "select id=50047 \"ActiveSync.lnk\"\n"
            "expect selected id=50047 \"Alarm Pro.lnk\"\nexpect selected id=50047 "
            "\"ActiveSync.lnk\"\n");
    EXPECT_NE(o.err.find("still waits"), std::string::npos) << o.err;
    EXPECT_TRUE(selected(0));
    EXPECT_TRUE(selected(1));
    o = Run("deselect id=50047 \"ActiveSync.lnk\"\ndeselect id=50047 \"ActiveSync.lnk\"\n");
    EXPECT_FALSE(selected(0));
    EXPECT_TRUE(selected(1));
    ExpectFailure("select id=50047 \"Nope.lnk\"\n",
                  "\"Nope.lnk\" is not an entry of list id=50047 (it has: \"ActiveSync.lnk\" "
                  "\"Alarm Pro.lnk\")");
}

TEST_F(ScriptSteps, SelectChoosesFromADropDownListAndTheApplyWritesIt) {
    ExpectPass(
        "tap \"Pocket IE\"\n"
        "check id=50026\nselect id=50027 \"3072 kb\"\nexpect selected id=50027 \"3072 kb\"\n"
        "menu \"Apply\" \"Defer Restart\"\nanswer ok\nanswer ok\n"
        "expect reg \"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
        "Settings\\5.0\\Cache\\Content\" \"CacheLimit\" \"3072\"\n");
}

TEST_F(ScriptSteps, ADropDownListRefusesAMissingEntryAndDeselecting) {
    ExpectFailure("tap \"Pocket IE\"\nselect id=50027 \"4096 kb\"\n",
                  "line 2: \"4096 kb\" is not an entry of drop-down list id=50027 (it has: "
                  "\"1024 kb\" \"2048 kb\" \"3072 kb\")");
    ExpectFailure("deselect id=50029 \"256 kb\"\n",
                  "drop-down list id=50029 keeps one entry selected");
}

// The tab bar has no ID: of the controls without one (id=0), select takes the one that lists
// the entry.
TEST_F(ScriptSteps, SelectSwitchesTabs) {
    Outcome o = Run("select id=0 \"Performance\"\nexpect visible id=50052\n");
    EXPECT_NE(o.err.find("still waits"), std::string::npos) << o.err;
    EXPECT_EQ(SendMessageW(g_pTabBar->GetHandle(), TCM_GETCURSEL, 0, 0), 5);
    ExpectFailure("select id=0 \"Games\"\n",
                  "\"Games\" is not an entry of tab bar id=0 (it has: \"Clean Temp Files\"");
}

TEST_F(ScriptSteps, SelectPicksAFolderInTheBrowsersTree) {
    ExpectFailure("tap id=50003\nselect id=0 \"Nowhere\"\n",
                  "line 2: \"Nowhere\" is not an entry of tree id=0 (it shows: \"\\\" \"My "
                  "Documents\" \"Program Files\" \"Temp\" \"Windows\")");
    ExpectPass(
        "expect title \"TreeView\"\n"
        "select id=0 \"Temp\"\nexpect selected id=0 \"Temp\"\ntap \"OK\"\n"
        "expect text id=50002 \"\\Temp\\\"\n");
}

TEST_F(ScriptSteps, SetReplacesAnEditsText) {
    Outcome o = Run("set id=50002 \"\\Temp\\\"\nset id=50002 \"\\Windows\\Temp\\\"\n");
    EXPECT_NE(o.err.find("still waits"), std::string::npos) << o.err;
    EXPECT_EQ(WindowText(ScreenControl(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT)),
              u"\\Windows\\Temp\\");
    o = Run("set id=50002 \"\"\n");
    EXPECT_EQ(WindowText(ScreenControl(SCREEN_CLEAN_TEMP, POS_USER_DIR1_EDIT)), u"");
    // the edits do not scroll: a person cannot type past their width, and nor can a script
    ExpectFailure("set id=50002 \"\\My Documents\\A folder name far too long to type here\\\"\n",
                  "edit id=50002 reads \"\\My Documents\\A folder n");
    ExpectFailure("set id=50001 \"x\"\n", "check box \"User Defined 1\" id=50001 is not an edit");
}

TEST_F(ScriptSteps, SlideDragsTheThumbAndTheApplyWritesIt) {
    ExpectFailure("tap \"Performance\"\nslide id=50049 3\n",
                  "line 2: position 3 is outside the range 0 to 2 of slider \"Slider\" id=50049");
    ExpectPass(
        "check id=50048\nslide id=50049 2\nslide id=50049 1\n"
        "menu \"Apply\" \"Defer Restart\"\nanswer ok\nanswer ok\n"
        "expect reg \"HKLM\\System\\GDI\\GLYPHCACHE\" \"limit\" \"16384\"\n");
}

TEST_F(ScriptSteps, FileExpectationsReadTheDevice) {
    ExpectPass(
        "expect file \"\\Temp\\setup.tmp\"\nexpect size \"/temp/SETUP.TMP\" 1200\n"
        "expect nofile \"\\Temp\\none.tmp\"\n"
        "tap \"\\Temp\"\nmenu \"Apply\" \"Defer Restart\"\nanswer ok\nanswer ok\n"
        "expect nofile \"\\Temp\\setup.tmp\"\nexpect file \"\\Windows\\pword.exe\"\n");
}

TEST_F(ScriptSteps, FailedFileExpectationsShowWhatIsThere) {
    ExpectFailure("expect file \"\\Temp\\gone.tmp\"\n",
                  "line 1: there is no \\Temp\\gone.tmp; \\Temp holds: Backup\\, install.log, "
                  "setup.tmp");
    ExpectFailure("expect file \"\\Nowhere\\a\\b.txt\"\n",
                  "there is no \\Nowhere\\a\\b.txt; \\Nowhere\\a does not exist either; \\ holds:");
    ExpectFailure("expect size \"\\Temp\\setup.tmp\" 100\n",
                  "\\Temp\\setup.tmp is 1200 bytes, not 100");
    ExpectFailure("expect nofile \"\\Temp\\setup.tmp\"\n", "\\Temp\\setup.tmp exists (1200 bytes)");
    ExpectFailure("expect file \"\\Temp\"\n", "\\Temp is a folder, not a file");
    // a path that leaves the image finds nothing in it
    ExpectFailure("expect file \"\\..\\registry.reg\"\n", "there is no \\..\\registry.reg");
}

TEST_F(ScriptSteps, RegistryExpectationsReadTheDevice) {
    ExpectPass(
        "expect reg \"HKLM\\System\\GWE\" \"Animate\" \"1\"\n"
        "expect reg \"HKEY_LOCAL_MACHINE\\system\\gwe\\Menu\" \"AniType\" \"0x6\"\n"
        "expect reg \"HKCU\\Software\\AvantGo\" \"DatabaseLocation\" \"\\Windows\\AvantGo\"\n"
        "expect noreg \"HKLM\\Software\\Apps\\Pocket Chess\"\n"
        "expect noreg \"HKLM\\System\\GWE\" \"Speed\"\n"
        "tap \"Registry\"\ncheck id=50035\nmenu \"Apply\" \"Defer Restart\"\nanswer ok\nanswer ok\n"
        "expect noreg \"HKLM\\Software\\Apps\\Chess Master\"\n");
}

TEST_F(ScriptSteps, FailedRegistryExpectationsShowWhatIsThere) {
    ExpectFailure(
        "expect reg \"HKLM\\System\\GWE\" \"Animate\" \"0\"\n",
        "line 1: HKEY_LOCAL_MACHINE\\System\\GWE \"Animate\" is 1 (REG_DWORD), not \"0\"");
    ExpectFailure(
        "expect reg \"HKLM\\System\\GWE\" \"Speed\" \"0\"\n",
        "HKEY_LOCAL_MACHINE\\System\\GWE has no value \"Speed\" (its values: \"Animate\")");
    ExpectFailure(
        "expect reg \"HKLM\\System\\GWX\\Menu\" \"AniType\" \"6\"\n",
        "there is no key HKEY_LOCAL_MACHINE\\System\\GWX\\Menu (HKEY_LOCAL_MACHINE\\System "
        "has the subkeys:");
    ExpectFailure("expect noreg \"HKLM\\System\\GWE\" \"Animate\"\n",
                  "HKEY_LOCAL_MACHINE\\System\\GWE \"Animate\" exists: 1 (REG_DWORD)");
    ExpectFailure("expect noreg \"HKLM\\Software\\Apps\\Chess Master\"\n",
                  "the key HKEY_LOCAL_MACHINE\\Software\\Apps\\Chess Master exists");
}

TEST_F(ScriptSteps, LogExpectationsSeeOnlyLinesSinceTheScriptStarted) {
    ExpectFailure("expect log \"written before\"\n",
                  "no line of the device log since the script started holds \"written before\" "
                  "(no line was written since)");
    Outcome o = Run("menu \"Power\" \"Off\"\nexpect log \"power off\"\n");
    EXPECT_NE(o.err.find("still waits"), std::string::npos) << o.err;
    ExpectFailure("expect log \"reboot\"\n", "(the last lines:\n  power off");
}

}  // namespace
