// Shortcut files: the exact bytes, and files that are not shortcuts.
#include <ce/shortcut.h>

#include "util.h"

using ce::test::TempDevice;

namespace {

class ShortcutTest : public ::testing::Test {
  protected:
    TempDevice device{TempDevice::Contents::Empty};
    std::u16string target(const std::u16string& path, int cch = 1024) {
        WCHAR buf[1024];
        if (!SHGetShortcutTarget(path.c_str(), buf, cch))
            return u"<none>";
        return buf;
    }
};

TEST_F(ShortcutTest, WritesTheCountHashTargetFormat) {
    WCHAR path[] = u"\\Windows\\StartUp\\Varnello.lnk";
    WCHAR cmd[] = u"\"\\Windows\\pword.exe\" -n";
    ASSERT_TRUE(SHCreateShortcut(path, cmd));
    EXPECT_EQ(kt::readHost(device.host(path)), "23#\"\\Windows\\pword.exe\" -n");
    EXPECT_EQ(target(path), cmd);
    // an existing shortcut is not replaced
    WCHAR other[] = u"\\Windows\\calc.exe";
    EXPECT_FALSE(SHCreateShortcut(path, other));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(target(path), cmd);
    WCHAR nowhere[] = u"\\No Folder\\x.lnk";
    EXPECT_FALSE(SHCreateShortcut(nowhere, cmd));
}

TEST_F(ShortcutTest, ReadsShortcutsWrittenElsewhere) {
    kt::writeHost(device.host(u"\\a.lnk"), "21#\\Windows\\fexplore.exe\r\n");
    EXPECT_EQ(target(u"\\a.lnk"), u"\\Windows\\fexplore.exe");
    kt::writeHost(device.host(u"\\b.lnk"), "8#:MSTODAY");
    EXPECT_EQ(target(u"\\b.lnk"), u":MSTODAY");
    kt::writeHost(device.host(u"\\c.lnk"), "6#\xC3\xA9t\xC3\xA9.exe");  // the text has 7 units
    EXPECT_EQ(target(u"\\c.lnk"), u"<none>");
    kt::writeHost(device.host(u"\\d.lnk"), "7#\xC3\xA9t\xC3\xA9.exe");
    EXPECT_EQ(target(u"\\d.lnk"), u"\u00E9t\u00E9.exe");
}

TEST_F(ShortcutTest, JunkIsNoShortcutAndNeverCrashes) {
    const std::string junk[] = {
        "",                                          // empty
        "#\\Windows\\a.exe",                         // no count
        "12\\Windows\\a.exe",                        // no '#'
        "99#\\Windows\\a.exe",                       // count larger than the text
        "3#\\Windows\\a.exe",                        // text longer than the count
        "0#",                                        // nothing to run
        "-5#abc",                                    // a sign is no count
        "999999999999#abc",                          // an absurd count
        std::string("4#ab\0d", 6),                   // binary
        std::string("\x89PNG\r\n\x1a\n\0\0\0", 11),  // another file type
        "5#\xff\xfe\xfd\xfc\xfb",                    // not UTF-8
        std::string(5000, '7') + "#x",               // too long
    };
    int i = 0;
    for (const auto& bytes : junk) {
        std::u16string name = u"\\junk" + ce::kernel::fromUtf8(std::to_string(i++)) + u".lnk";
        kt::writeHost(device.host(name), bytes);
        EXPECT_EQ(target(name), u"<none>") << i;
    }
    EXPECT_EQ(target(u"\\missing.lnk"), u"<none>");
    EXPECT_EQ(target(u"\\Windows"), u"<none>");
    WCHAR buf[4];
    EXPECT_FALSE(SHGetShortcutTarget(u"\\junk0.lnk", nullptr, 10));
    EXPECT_FALSE(SHGetShortcutTarget(nullptr, buf, 4));
}

TEST_F(ShortcutTest, ATargetThatDoesNotFitIsNotCut) {
    kt::writeHost(device.host(u"\\long.lnk"), "23#\\Windows\\abcdefghij.exe");
    EXPECT_EQ(target(u"\\long.lnk", 23), u"<none>");  // 23 units and the NUL
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(target(u"\\long.lnk", 24), u"\\Windows\\abcdefghij.exe");
}

// A shortcut is short: the reader takes at most one byte more than the longest shortcut file,
// so a huge file is refused at once, and the longest target (1,023 units) still reads.
TEST_F(ShortcutTest, LongFilesAreReadOnlyAsFarAsAShortcutGoes) {
    std::string longest = "1023#" + std::string(1023, 'x');
    kt::writeHost(device.host(u"\\longest.lnk"), longest + std::string(4096 - longest.size(), ' '));
    EXPECT_EQ(target(u"\\longest.lnk"), std::u16string(1023, u'x'));
    kt::writeHost(device.host(u"\\padded.lnk"), longest + std::string(4097 - longest.size(), ' '));
    EXPECT_EQ(target(u"\\padded.lnk"), u"<none>");
    kt::writeHost(device.host(u"\\over.lnk"), "1024#" + std::string(1024, 'x'));
    EXPECT_EQ(target(u"\\over.lnk"), u"<none>");
    kt::writeHost(device.host(u"\\huge.lnk"), "3#abc" + std::string(16 << 20, ' '));
    EXPECT_EQ(target(u"\\huge.lnk"), u"<none>");
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
}

}  // namespace
