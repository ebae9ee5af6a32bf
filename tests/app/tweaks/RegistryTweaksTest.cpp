// The registry values the Apply pass writes, with the data words of each choice, the choices
// outside the lists, and the messages for a missing key or value.
#include "AppCoreTest.h"

namespace appcore {
namespace {

const char16_t kCacheRoot[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache\\";

std::optional<DWORD> IeLimit(const std::u16string& store) {
    return RegDword(HKEY_CURRENT_USER, kCacheRoot + store, u"CacheLimit");
}

class RegistryTweaks : public AppCoreTest {
  protected:
    void StartWith(const Bytes& settings, const std::u16string& commandLine = u"") {
        WriteBytes(SettingsPath(), settings);
        Start(commandLine);
    }
    void SetAll(DWORD value) {
        for (const char16_t* store : {u"Content", u"History", u"Cookies"})
            SetRegDword(HKEY_CURRENT_USER, kCacheRoot + std::u16string(store), u"CacheLimit",
                        value);
    }
};

TEST_F(RegistryTweaks, EachListEntryWritesTheKilobytesItShows) {
    const DWORD cache[3] = {1024, 2048, 3072};
    const DWORD small[3] = {256, 512, 1024};
    for (int index = 0; index < 3; index++) {
        SCOPED_TRACE(index);
        Bytes settings;
        PutDword(settings, OPT_LIMIT_IE_CACHE | OPT_LIMIT_IE_HISTORY | OPT_LIMIT_IE_COOKIES);
        for (int i = 0; i < 3; i++) PutDword(settings, (uint32_t)index);
        StartWith(settings);
        ApplyAndFinish(false);
        EXPECT_EQ(IeLimit(u"Content"), cache[index]);
        EXPECT_EQ(IeLimit(u"History"), small[index]);
        EXPECT_EQ(IeLimit(u"Cookies"), small[index]);
        Exit();
    }
}

TEST_F(RegistryTweaks, OneLimitLeavesTheOtherStoresAlone) {
    SetAll(77);
    WriteBytes(SettingsPath(), {0, 0, 0, 0});
    Start();
    ShowScreen(u"Pocket IE");
    Tap(50030);  // "Limit Pocket IE Cookies", "256 kb" selected
    ApplyAndFinish(false);
    EXPECT_EQ(IeLimit(u"Cookies"), 256u);
    EXPECT_EQ(IeLimit(u"Content"), 77u);
    EXPECT_EQ(IeLimit(u"History"), 77u);
}

TEST_F(RegistryTweaks, ChoicesOutsideTheListsWriteTheMiddleEntry) {
    for (int32_t index : {5, -1}) {
        SCOPED_TRACE(index);
        SetAll(77);
        Bytes settings;
        PutDword(settings, OPT_LIMIT_IE_CACHE | OPT_LIMIT_IE_HISTORY | OPT_LIMIT_IE_COOKIES |
                               OPT_FONT_CACHE_SIZE);
        for (int i = 0; i < 4; i++) PutDword(settings, (uint32_t)index);
        StartWith(settings, u"silent");
        EXPECT_FALSE(driver().running());
        EXPECT_EQ(IeLimit(u"Content"), 2048u);
        EXPECT_EQ(IeLimit(u"History"), 512u);
        EXPECT_EQ(IeLimit(u"Cookies"), 512u);
        EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, u"System\\GDI\\GLYPHCACHE", u"limit"), 8192u);
    }
}

TEST_F(RegistryTweaks, FontCacheAtFourTimesWritesWithoutAskingForARestart) {
    WriteBytes(SettingsPath(), {0, 0, 0, 0});
    Driver& d = Start();
    ShowScreen(u"Performance");
    Tap(50048);
    SendMessageW(Control(SCREEN_PERFORMANCE, POS_FONT_CACHE_SLIDER), TBM_SETPOS, TRUE, 2);
    ApplyAndFinish(false);
    EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, u"System\\GDI\\GLYPHCACHE", u"limit"), 32768u);
    EXPECT_FALSE(d.messageBox().has_value());

    SendMessageW(Control(SCREEN_PERFORMANCE, POS_FONT_CACHE_SLIDER), TBM_SETPOS, TRUE, 1);
    ApplyAndFinish(false);
    EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, u"System\\GDI\\GLYPHCACHE", u"limit"), 16384u);
}

TEST_F(RegistryTweaks, AnimationSwitchesWriteOnlyWhatDiffers) {
    WriteBytes(SettingsPath(), {0, 0, 0, 0});
    Driver& d = Start();
    ShowScreen(u"Performance");
    Tap(50051);  // "Disable start menu animation"
    ApplyAndFinish(false);
    d.answerBox(u"Restart Required", u"", IDOK);
    EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, u"System\\GWE\\Menu", u"AniType"), 0u);
    EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, u"System\\GWE", u"Animate"), 1u);

    // An unticked box puts the enabled value back on the next pass.
    Tap(50051);
    SetRegDword(HKEY_LOCAL_MACHINE, u"System\\GWE", u"Animate", 3);
    ApplyAndFinish(false);
    d.answerBox(u"Restart Required", u"", IDOK);
    EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, u"System\\GWE\\Menu", u"AniType"), 6u);
    EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, u"System\\GWE", u"Animate"), 1u);

    ApplyAndFinish(false);
    EXPECT_FALSE(d.messageBox().has_value());
}

TEST_F(RegistryTweaks, MissingAnimationValueIsReportedOnceAndCreated) {
    DeleteRegValue(HKEY_LOCAL_MACHINE, u"System\\GWE\\Menu", u"AniType");
    WriteBytes(SettingsPath(), {0, 0, 0, 0});
    Driver& d = Start();
    d.menu(u"Apply", u"Defer Restart");
    d.answerBox(u"Error", u"Unable to locate Menu Animation", IDOK);
    d.answerBox(u"Cleaning Finished", u"0 Bytes Cleaned", IDOK);
    d.answerBox(u"Restart Required", u"", IDOK);
    EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, u"System\\GWE\\Menu", u"AniType"), 6u);
}

TEST_F(RegistryTweaks, MissingAnimationKeyIsReportedTwiceAndAsksForNoRestart) {
    HKEY hKey = NULL;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"System\\GWE", 0, 0, &hKey), ERROR_SUCCESS);
    RegDeleteKeyW(hKey, u"Menu");
    RegCloseKey(hKey);
    WriteBytes(SettingsPath(), {0, 0, 0, 0});
    Driver& d = Start();
    d.menu(u"Apply", u"Allow Restart");
    d.answerBox(u"Error", u"Unable to locate Menu Animation", IDOK);
    d.answerBox(u"Error", u"Unable to locate Menu Animation", IDOK);
    d.answerBox(u"Cleaning Finished", u"0 Bytes Cleaned", IDOK);
    // Nothing could be written, so there is nothing to restart for.
    EXPECT_TRUE(d.running());
    EXPECT_FALSE(d.messageBox().has_value());
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, u"System\\GWE\\Menu"));
}

TEST_F(RegistryTweaks, MissingLimitKeysAreReportedWithTheirOwnTexts) {
    HKEY hKey = NULL;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER,
                            u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0",
                            0, 0, &hKey),
              ERROR_SUCCESS);
    RegDeleteKeyW(hKey, u"Cache");
    RegCloseKey(hKey);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"System\\GDI", 0, 0, &hKey), ERROR_SUCCESS);
    RegDeleteKeyW(hKey, u"GLYPHCACHE");
    RegCloseKey(hKey);
    Bytes settings;
    PutDword(settings, OPT_LIMIT_IE_CACHE | OPT_LIMIT_IE_HISTORY | OPT_LIMIT_IE_COOKIES |
                           OPT_FONT_CACHE_SIZE);
    for (int i = 0; i < 4; i++) PutDword(settings, 0);
    StartWith(settings);
    Driver& d = driver();
    d.menu(u"Apply", u"Defer Restart");
    d.answerBox(u"Error", u"Unable to locate Internet Explorer cache limit", IDOK);
    d.answerBox(u"Error", u"Unable to locate Internet Explorer history limit", IDOK);
    d.answerBox(u"Error", u"Unable to locate Internet Explorer cookie limit", IDOK);
    d.answerBox(u"Error", u"Unable to locate GlyphCache", IDOK);
    d.answerBox(u"Cleaning Finished", u"0 Bytes Cleaned", IDOK);
    // Keys are never created by the pass.
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, u"System\\GDI\\GLYPHCACHE"));
}

}  // namespace
}  // namespace appcore
