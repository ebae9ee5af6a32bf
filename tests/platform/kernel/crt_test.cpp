// The wide CRT and strsafe as Windows documents them.
#include <strsafe.h>

#include "util.h"

namespace {

std::u16string fmt(const char16_t* format, ...) {
    WCHAR buf[1100];
    va_list ap;
    va_start(ap, format);
    int n = wvsprintfW(buf, format, ap);
    va_end(ap);
    EXPECT_EQ(static_cast<size_t>(n), std::u16string(buf).size());
    return buf;
}

TEST(WsprintfTest, FormatsLikeWindows) {
    EXPECT_EQ(fmt(u"%d Bytes Cleaned", 1234), u"1234 Bytes Cleaned");
    EXPECT_EQ(fmt(u"%d", -5), u"-5");
    EXPECT_EQ(fmt(u"%u", 0xFFFFFFFFu), u"4294967295");
    EXPECT_EQ(fmt(u"%ld|%lu", static_cast<LONG>(-7), static_cast<DWORD>(7)), u"-7|7");
    EXPECT_EQ(fmt(u"%x|%X|%#x|%08X", 255, 255, 255, 0xBEEF), u"ff|FF|0xff|0000BEEF");
    EXPECT_EQ(fmt(u"[%5d][%-5d][%05d][%.3d]", 42, 42, 42, 7), u"[   42][42   ][00042][007]");
    EXPECT_EQ(fmt(u"%s\\%s", u"\\Windows", u"Temp"), u"\\Windows\\Temp");
    EXPECT_EQ(fmt(u"\"%s\" silent\"", u"\\Program Files\\Varnello\\Varnello.exe"),
              u"\"\\Program Files\\Varnello\\Varnello.exe\" silent\"");
    EXPECT_EQ(fmt(u"[%8s][%-4s][%.2s]", u"abc", u"ab", u"abcdef"), u"[     abc][ab  ][ab]");
    EXPECT_EQ(fmt(u"%c%c", u'O', 'k'), u"Ok");
    EXPECT_EQ(fmt(u"%S and %hs", "narrow", "too"), u"narrow and too");
    EXPECT_EQ(fmt(u"100%%"), u"100%");
    EXPECT_EQ(fmt(u"%I64d", static_cast<long long>(-1234567890123LL)), u"-1234567890123");
    EXPECT_EQ(fmt(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
}

TEST(WsprintfTest, NeverWritesMoreThan1024Units) {
    std::u16string big(3000, u'x');
    WCHAR buf[1100];
    for (auto& c : buf) c = u'#';
    int n = wsprintfW(buf, u"%s", big.c_str());
    EXPECT_EQ(n, 1023);
    EXPECT_EQ(buf[1023], 0);
    EXPECT_EQ(buf[1024], u'#');
}

TEST(StrsafeTest, PrintfCutsTerminatesAndSaysSo) {
    WCHAR buf[8];
    EXPECT_EQ(StringCchPrintfW(buf, 8, u"%s%s", u"\\Temp\\", u"x"), S_OK);
    EXPECT_EQ(std::u16string(buf), u"\\Temp\\x");
    EXPECT_EQ(StringCchPrintfW(buf, 8, u"%s%s", u"\\Windows\\", u"Temp"),
              STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(buf), u"\\Window");
    EXPECT_EQ(StringCchPrintfW(buf, 0, u"x"), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(StringCchPrintfW(buf, 8, u"%d", 1234567), S_OK);  // exactly fills 7 + NUL
    EXPECT_EQ(StringCchPrintfW(buf, 8, u"%d", 12345678), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(buf), u"1234567");
}

TEST(StrsafeTest, AbsurdWidthsAndPrecisionsAreCutNotLoopedOver) {
    WCHAR buf[16];
    EXPECT_EQ(StringCchPrintfW(buf, 16, u"%*d", 2000000000, 5), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(buf), std::u16string(15, u' '));
    EXPECT_EQ(StringCchPrintfW(buf, 16, u"%99999999999999d", 1), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(StringCchPrintfW(buf, 16, u"%.*d", 2147483647, 1), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(buf), std::u16string(15, u'0'));
    EXPECT_EQ(StringCchPrintfW(buf, 16, u"%-*s|", -3, u"ab"),
              S_OK);  // a negative width is left-aligned
    EXPECT_EQ(std::u16string(buf), u"ab |");
    int written = 7;
    EXPECT_EQ(StringCchPrintfW(buf, 16, u"x%ny", &written), S_OK);  // %n never stores
    EXPECT_EQ(written, 7);
}

TEST(StrsafeTest, CopyAndCatTruncateSafely) {
    WCHAR buf[6];
    EXPECT_EQ(StringCchCopyW(buf, 6, u"abcde"), S_OK);
    EXPECT_EQ(StringCchCopyW(buf, 6, u"abcdef"), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(buf), u"abcde");
    EXPECT_EQ(StringCchCopyNW(buf, 6, u"abcdef", 2), S_OK);
    EXPECT_EQ(std::u16string(buf), u"ab");
    EXPECT_EQ(StringCchCatW(buf, 6, u"cd"), S_OK);
    EXPECT_EQ(std::u16string(buf), u"abcd");
    EXPECT_EQ(StringCchCatW(buf, 6, u"efgh"), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(buf), u"abcde");
    WCHAR unterminated[3] = {u'a', u'b', u'c'};
    EXPECT_EQ(StringCchCatW(unterminated, 3, u"x"), STRSAFE_E_INVALID_PARAMETER);
    size_t len = 99;
    EXPECT_EQ(StringCchLengthW(u"abc", 4, &len), S_OK);
    EXPECT_EQ(len, 3u);
    EXPECT_EQ(StringCchLengthW(u"abc", 3, &len), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(StringCchLengthW(nullptr, 3, &len), STRSAFE_E_INVALID_PARAMETER);
}

TEST(WideCrtTest, ComparisonsAndSearches) {
    EXPECT_EQ(_wcsicmp(u"Temp", u"TEMP"), 0);
    EXPECT_LT(_wcsicmp(u"apple", u"Banana"), 0);
    EXPECT_EQ(_wcsnicmp(u"TMPX", u"tmp", 3), 0);
    EXPECT_NE(_wcsnicmp(u"tm", u"tmp", 3), 0);
    EXPECT_EQ(_wcsicmp(u"\u00C4rger", u"\u00E4RGER"), 0);
    const WCHAR* name = u"e.tmp.txt";
    EXPECT_EQ(wcsrchr(name, u'.'), name + 5);
    EXPECT_EQ(wcschr(name, u'.'), name + 1);
    EXPECT_EQ(wcsstr(u"Templates", u"Temp"), static_cast<const WCHAR*>(u"Templates"));
    EXPECT_EQ(wcsstr(u"TEMP", u"Temp"), nullptr);
    EXPECT_EQ(wcslen(u"\\Windows"), 8u);
    WCHAR buf[16];
    wcscpy(buf, u"ab");
    wcscat(buf, u"cd");
    EXPECT_EQ(wcscmp(buf, u"abcd"), 0);
    EXPECT_EQ(_wtoi(u"  42x"), 42);
}

TEST(WideCrtTest, WfopenOpensDeviceFilesWithWindowsModes) {
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    FILE* f = _wfopen(u"\\My Documents\\settings.dat", u"wb");
    ASSERT_NE(f, nullptr);
    fwrite("\x01\x02", 1, 2, f);
    fclose(f);
    EXPECT_EQ(kt::readHost(device.host(u"\\My Documents\\settings.dat")), "\x01\x02");
    f = _wfopen(u"\\MY DOCUMENTS\\SETTINGS.DAT", u"ab+");
    ASSERT_NE(f, nullptr);
    fputc(3, f);
    fclose(f);
    EXPECT_EQ(kt::readHost(device.host(u"\\My Documents\\settings.dat")), "\x01\x02\x03");
    EXPECT_EQ(_wfopen(u"\\My Documents\\missing.dat", u"r"), nullptr);
    EXPECT_EQ(_wfopen(u"\\No Folder\\x.dat", u"w"), nullptr);
    EXPECT_EQ(_wfopen(u"\\My Documents", u"r"), nullptr);  // a folder is no file
    EXPECT_EQ(_wfopen(u"\\My Documents\\settings.dat", u"q"), nullptr);
    ce::Device::close();
    EXPECT_EQ(_wfopen(u"\\My Documents\\settings.dat", u"r"), nullptr);  // no device
}

}  // namespace
