// The platform's text conversion: UTF-8 as the Unicode standard defines it, and host file names
// that come back byte for byte.
#include "util.h"

#include <random>

using ce::kernel::BadBytes;
using ce::kernel::fromHostName;
using ce::kernel::fromUtf8;
using ce::kernel::toCodePoints;
using ce::kernel::toHostName;
using ce::kernel::toUtf8;

namespace {

TEST(TextTest, ValidUtf8DecodesAndEncodesBothWays) {
    struct Case {
        const char* utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"", u""},
        {"plain", u"plain"},
        {"caf\xC3\xA9", u"caf\u00E9"},                          // two bytes
        {"\xE2\x82\xAC 5", u"\u20AC 5"},                        // three bytes
        {"\xF0\x9F\x98\x80", u"\U0001F600"},                    // four bytes: a surrogate pair
        {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", u"\uFFFF\U0010FFFF"},  // the largest of each length
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fromUtf8(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(toUtf8(c.utf16), c.utf8) << c.utf8;
        std::string strict;
        EXPECT_TRUE(toUtf8(c.utf16, strict));
        EXPECT_EQ(strict, c.utf8);
        // valid text is a host name as it stands
        EXPECT_EQ(fromHostName(c.utf8), c.utf16);
    }
}

TEST(TextTest, EachBadByteIsReplacedEscapedOrTakenAsLatin1) {
    struct Case {
        std::string bytes;
        std::u16string replaced, escaped, latin1;
    };
    const Case cases[] = {
        {"caf\xE9", u"caf\uFFFD", u"caf\xDCE9", u"caf\u00E9"},            // Latin-1 text
        {"\x80", u"\uFFFD", u"\xDC80", u"\u0080"},                        // stray continuation
        {"\xE2\x82", u"\uFFFD\uFFFD", u"\xDCE2\xDC82", u"\u00E2\u0082"},  // cut sequence
        {"\xC0\xAF", u"\uFFFD\uFFFD", u"\xDCC0\xDCAF", u"\u00C0\u00AF"},  // overlong '/'
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", u"\xDCED\xDCA0\xDC80", u"\u00ED\u00A0\u0080"},
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", u"\xDCF4\xDC90\xDC80\xDC80",
         u"\u00F4\u0090\u0080\u0080"},                                            // beyond U+10FFFF
        {"a\xFF\xC3\xA9", u"a\uFFFD\u00E9", u"a\xDCFF\u00E9", u"a\u00FF\u00E9"},  // then valid
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fromUtf8(c.bytes), c.replaced);
        EXPECT_EQ(fromUtf8(c.bytes, BadBytes::Escape), c.escaped);
        EXPECT_EQ(fromUtf8(c.bytes, BadBytes::Latin1), c.latin1);
        EXPECT_EQ(fromHostName(c.bytes), c.escaped);
    }
}

TEST(TextTest, LoneSurrogatesAreReplacedInTextAndRefusedByTheStrictForm) {
    const std::u16string lone[] = {u"a\xD800", u"\xDC00z", u"\xDBFF\xDBFF", u"\xDFFF\xD800"};
    for (const auto& s : lone) {
        std::string out;
        EXPECT_FALSE(toUtf8(s, out));
        EXPECT_NE(toUtf8(s).find("\xEF\xBF\xBD"), std::string::npos);  // U+FFFD
    }
    EXPECT_EQ(toCodePoints(u"a\xD800\U0001F600\xDC01"), std::u32string(U"a\uFFFD\U0001F600\uFFFD"));
}

TEST(TextTest, EveryHostNameComesBackByteForByte) {
    std::mt19937 random(1234);
    // bytes chosen to make UTF-8 leads, continuations and ASCII meet often
    const unsigned char pool[] = {'a',  '.',  ' ',  0x7F, 0x80, 0x8F, 0xA9, 0xBF, 0xC0, 0xC2,
                                  0xC3, 0xDF, 0xE0, 0xE2, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(1 + random() % 8, ' ');
        for (char& b : bytes) b = static_cast<char>(pool[random() % sizeof pool]);
        std::u16string name = fromHostName(bytes);
        std::string back;
        ASSERT_TRUE(toHostName(name, back)) << "round " << round;
        ASSERT_EQ(back, bytes) << "round " << round;
    }
}

TEST(TextTest, DeviceNamesThatNoHostNameGivesAreRefused) {
    const std::u16string refused[] = {
        u"\xDCC3\xDCA9",  // escapes that spell "é": stored as that, they would read back as it
        u"x\xDCE2\xDC82\xDCAC",       // the euro sign, escaped
        u"\xDCF0\xDC9F\xDC98\xDC80",  // a four-byte sequence, escaped
        u"\xD800",                    // a lone high surrogate
        u"a\xDC41",  // a low surrogate outside the escapes: no byte below 0x80 is bad
        u"\xDD00",   // nor above the escapes
        u"\xDBFF.txt",
    };
    for (const auto& name : refused) {
        std::string bytes;
        EXPECT_FALSE(toHostName(name, bytes)) << kt::utf8(name);
    }
    // an escape beside text that cannot join it stays an escape
    std::string bytes;
    EXPECT_TRUE(toHostName(u"\xDCC3z\xDCA9", bytes));
    EXPECT_EQ(bytes, "\xC3z\xA9");
    EXPECT_TRUE(toHostName(u"\u00E9\xDCA9", bytes));  // "é" and a stray continuation
    EXPECT_EQ(bytes, "\xC3\xA9\xA9");
    EXPECT_TRUE(toHostName(u"\U0001F600", bytes));
    EXPECT_EQ(bytes, "\xF0\x9F\x98\x80");
}

}  // namespace
