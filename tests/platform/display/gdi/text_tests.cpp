// Text through FreeType: the system font and its cell, measured consistently, one bit per pixel,
// kept inside its clip, laid out by DrawTextW as Win32 does (alignment, word breaks, prefixes,
// ellipsis, DT_CALCRECT).
#include "screen_fixture.h"

#include <cstdlib>
#include <filesystem>

using TextTest = ScreenTest;

namespace {

HFONT makeFont(LONG height, LONG weight, bool italic = false) {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfItalic = italic;
    return CreateFontIndirectW(&lf);
}

int textWidth(HDC dc, const char16_t* s) {
    SIZE size{};
    GetTextExtentPoint32W(dc, s, int(std::char_traits<char16_t>::length(s)), &size);
    return size.cx;
}

}  // namespace

// The system font is Tahoma 8 pt at 96 dpi (11 px) from Wine's metric-compatible faces, with
// the cell Windows gives it: 13 pixels, 11 above the baseline and 2 below.
TEST_F(TextTest, DefaultFontIsEightPointTahomaWithItsWindowsCell) {
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    WCHAR face[32];
    GetTextFaceW(dc, 32, face);
    if (std::u16string(face) != u"Tahoma")
        GTEST_SKIP() << "Tahoma is missing (tools/deps installs fonts-wine)";
    TEXTMETRICW tm{};
    ASSERT_TRUE(GetTextMetricsW(dc, &tm));
    EXPECT_EQ(tm.tmHeight, 13);
    EXPECT_EQ(tm.tmAscent, 11);
    EXPECT_EQ(tm.tmDescent, 2);
    EXPECT_EQ(tm.tmInternalLeading, 2);
    EXPECT_GE(tm.tmAveCharWidth, 5);
    EXPECT_LE(tm.tmAveCharWidth, 7);
    SIZE size{};
    GetTextExtentPoint32W(dc, u"Clean Temp Files", 16, &size);
    EXPECT_EQ(size.cy, 13);
    EXPECT_GT(size.cx, 70);
    EXPECT_LT(size.cx, 85);
    // Larger sizes take their cell from the face's table of rows per size, as Windows does.
    HFONT large = makeFont(-16, FW_BOLD);
    SelectObject(dc, large);
    ASSERT_TRUE(GetTextMetricsW(dc, &tm));
    EXPECT_EQ(tm.tmAscent, 17);
    EXPECT_EQ(tm.tmDescent, 4);
    GetTextFaceW(dc, 32, face);
    EXPECT_EQ(std::u16string(face), u"Tahoma");
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(large);
}

// Without Wine's fonts the system font falls back to DejaVu Sans, a little wider.
TEST(FallbackFontTest, WithoutTahomaTextIsDrawnInDejaVuSans) {
    const std::string dejavu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    if (!std::filesystem::exists(dejavu))
        GTEST_SKIP() << "DejaVu Sans is missing";
    ce::test::TempDevice device{ce::test::TempDevice::Contents::Empty};
    std::filesystem::path fonts = device.outside() / "fonts";
    std::filesystem::create_directories(fonts);
    std::filesystem::copy_file(dejavu, fonts / "DejaVuSans.ttf");
    setenv("VARNELLO_FONT_DIR", fonts.c_str(), 1);
    {
        ce::test::TempDevice again{ce::test::TempDevice::Contents::Empty};  // a fresh font engine
        HDC dc = ce::display::createDC(POINT{0, 0}, RECT{0, 0, 240, 320});
        WCHAR face[32];
        GetTextFaceW(dc, 32, face);
        EXPECT_EQ(std::u16string(face), u"DejaVu Sans");
        TEXTMETRICW tm{};
        ASSERT_TRUE(GetTextMetricsW(dc, &tm));
        EXPECT_EQ(tm.tmHeight, 13);  // its own Windows ascent and descent, rounded
        RECT r{0, 0, 240, 40};
        FillRect(dc, &r, (HBRUSH)GetStockObject(WHITE_BRUSH));
        EXPECT_GT(DrawTextW(dc, u"Registry", -1, &r, DT_SINGLELINE), 0);
        int ink = 0;
        for (uint32_t p : ce::display::screen().pixels) ink += p != 0xFFFFFF;
        EXPECT_GT(ink, 20);
        ce::display::releaseDC(dc);
    }
    unsetenv("VARNELLO_FONT_DIR");
}

TEST_F(TextTest, BoldIsWiderAndLargerFontsAreTaller) {
    HFONT bold = makeFont(-11, FW_BOLD);
    HFONT large = makeFont(-20, FW_NORMAL);
    int normal = textWidth(dc, u"Registry");
    SelectObject(dc, bold);
    EXPECT_GT(textWidth(dc, u"Registry"), normal);
    SelectObject(dc, large);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    EXPECT_GE(tm.tmHeight, 22);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(bold);
    DeleteObject(large);
}

TEST_F(TextTest, ExtentsAddUpCharacterByCharacter) {
    int dx[5] = {};
    int fit = -1;
    SIZE size{};
    ASSERT_TRUE(GetTextExtentExPointW(dc, u"Hello", 5, 20, &fit, dx, &size));
    EXPECT_EQ(dx[4], size.cx);
    for (int i = 1; i < 5; ++i) EXPECT_GT(dx[i], dx[i - 1]);
    EXPECT_GT(fit, 0);
    EXPECT_LT(fit, 5);
    EXPECT_LE(dx[fit - 1], 20);
    EXPECT_GT(dx[fit], 20);
}

// As Pocket PC 2003 draws text with ClearType off: every pixel is the text colour or the
// background, never a shade between them or a coloured fringe; plain and bold alike.
TEST_F(TextTest, TextIsOneBitPerPixelInTheTextColour) {
    HFONT bold = makeFont(-11, FW_BOLD);
    HFONT large = makeFont(-19, FW_NORMAL, true);  // no hand-tuned bitmaps: the hinted outline
    SetTextColor(dc, RGB(0, 0, 128));
    SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, 10, 10, u"Wave", 4);
    SelectObject(dc, bold);
    TextOutW(dc, 10, 30, u"Wave", 4);
    SelectObject(dc, large);
    TextOutW(dc, 10, 50, u"Wave", 4);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    for (int row : {10, 30, 50}) {
        std::set<COLORREF> seen = colours(RECT{10, row, 80, row + 24});
        EXPECT_EQ(seen, (std::set<COLORREF>{kWhite, RGB(0, 0, 128)})) << "row " << row;
    }
    DeleteObject(bold);
    DeleteObject(large);
}

TEST_F(TextTest, OpaqueBackgroundFillsTheTextCell) {
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(0, 0, 255));
    SetTextColor(dc, kWhite);
    TextOutW(dc, 0, 0, u"ok", 2);
    SIZE size{};
    GetTextExtentPoint32W(dc, u"ok", 2, &size);
    EXPECT_EQ(at(0, 0), RGB(0, 0, 255));
    EXPECT_EQ(at(size.cx - 1, size.cy - 1), RGB(0, 0, 255));
    EXPECT_EQ(at(size.cx, 0), kWhite);
    EXPECT_EQ(at(0, size.cy), kWhite);
    SetBkMode(dc, TRANSPARENT);
}

TEST_F(TextTest, ClippedTextStaysInsideItsRectangle) {
    SetBkMode(dc, TRANSPARENT);
    RECT clip{20, 20, 40, 30};
    ExtTextOutW(dc, 15, 18, ETO_CLIPPED, &clip, u"Wide text running out", 21, nullptr);
    RECT ink = inkBox(RECT{0, 0, 240, 60}, kWhite);
    ASSERT_FALSE(IsRectEmpty(&ink));
    EXPECT_GE(ink.left, 20);
    EXPECT_GE(ink.top, 20);
    EXPECT_LE(ink.right, 40);
    EXPECT_LE(ink.bottom, 30);

    // DrawTextW clips to its rectangle unless told DT_NOCLIP.
    FillRect(dc, &clip, (HBRUSH)GetStockObject(WHITE_BRUSH));
    RECT box{100, 100, 120, 104};
    DrawTextW(dc, u"Clipped", -1, &box, DT_SINGLELINE);
    ink = inkBox(RECT{80, 80, 200, 130}, kWhite);
    EXPECT_GE(ink.top, 100);
    EXPECT_LE(ink.bottom, 104);
    EXPECT_LE(ink.right, 120);
    DrawTextW(dc, u"Clipped", -1, &box, DT_SINGLELINE | DT_NOCLIP);
    EXPECT_GT(inkBox(RECT{80, 80, 200, 130}, kWhite).right, 120);
}

TEST_F(TextTest, DrawTextAlignsWithinItsRectangle) {
    SetBkMode(dc, TRANSPARENT);
    RECT r{0, 0, 240, 40};
    int w = textWidth(dc, u"Mid");
    DrawTextW(dc, u"Mid", -1, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    RECT ink = inkBox(r, kWhite);
    int centre = (ink.left + ink.right) / 2;
    EXPECT_NEAR(centre, 120, 2);
    EXPECT_NEAR((ink.top + ink.bottom) / 2, 20, 3);
    EXPECT_LE(ink.right - ink.left, w);

    RECT right{0, 50, 240, 70};
    DrawTextW(dc, u"End", -1, &right, DT_SINGLELINE | DT_RIGHT);
    EXPECT_GE(inkBox(right, kWhite).right, 236);
    EXPECT_LE(inkBox(right, kWhite).right, 240);
}

TEST_F(TextTest, WordBreakWrapsAndCalcRectMeasures) {
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    const char16_t* text =
        u"Some settings will not take effect until the device has been restarted";
    RECT calc{0, 0, 120, 0};
    int height = DrawTextW(dc, text, -1, &calc, DT_WORDBREAK | DT_CALCRECT);
    EXPECT_EQ(height % tm.tmHeight, 0);
    EXPECT_GE(height / tm.tmHeight, 3);
    EXPECT_EQ(calc.bottom, height);
    EXPECT_LE(calc.right, 120);
    EXPECT_EQ(countNot(RECT{0, 0, 240, 320}, kWhite), 0);  // measuring draws nothing

    RECT r{0, 0, 120, 200};
    SetBkMode(dc, TRANSPARENT);
    EXPECT_EQ(DrawTextW(dc, text, -1, &r, DT_WORDBREAK), height);
    RECT ink = inkBox(RECT{0, 0, 240, 320}, kWhite);
    EXPECT_LE(ink.right, 120);
    EXPECT_GT(ink.bottom, 2 * tm.tmHeight);
    EXPECT_LE(ink.bottom, height);

    // A single line measures to its extent.
    RECT one{10, 10, 10, 10};
    DrawTextW(dc, u"Registry", -1, &one, DT_SINGLELINE | DT_CALCRECT);
    EXPECT_EQ(one.right - one.left, textWidth(dc, u"Registry"));
    EXPECT_EQ(one.bottom - one.top, tm.tmHeight);
}

TEST_F(TextTest, LineBreaksMakeLinesEvenWithoutWordBreak) {
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    RECT r{0, 0, 240, 0};
    EXPECT_EQ(DrawTextW(dc, u"one\r\ntwo\nthree", -1, &r, DT_CALCRECT), 3 * tm.tmHeight);
    RECT s{0, 0, 240, 0};
    EXPECT_EQ(DrawTextW(dc, u"one\r\ntwo", -1, &s, DT_CALCRECT | DT_SINGLELINE), tm.tmHeight);
}

TEST_F(TextTest, PrefixesUnderlineAndDoubledAmpersandsShow) {
    RECT a{0, 0, 0, 0}, b{0, 0, 0, 0}, c{0, 0, 0, 0};
    DrawTextW(dc, u"&Apply", -1, &a, DT_CALCRECT | DT_SINGLELINE);
    DrawTextW(dc, u"Apply", -1, &b, DT_CALCRECT | DT_SINGLELINE);
    DrawTextW(dc, u"&Apply", -1, &c, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(a.right, b.right);
    EXPECT_GT(c.right, b.right);
    RECT d{0, 0, 0, 0};
    DrawTextW(dc, u"A&&B", -1, &d, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(d.right, textWidth(dc, u"A&B"));

    // The underline is a solid run under the prefixed letter.
    SetBkMode(dc, TRANSPARENT);
    RECT plain{0, 100, 100, 120}, marked{0, 140, 100, 160};
    DrawTextW(dc, u"Apply", -1, &plain, DT_SINGLELINE);
    DrawTextW(dc, u"&Apply", -1, &marked, DT_SINGLELINE);
    EXPECT_GT(countNot(RECT{0, 140, 100, 160}, kWhite), countNot(RECT{0, 100, 100, 120}, kWhite));
}

TEST_F(TextTest, EndEllipsisShortensWhatDoesNotFit) {
    RECT r{0, 0, 60, 20};
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, u"\\My Documents\\Temp\\Long folder", -1, &r, DT_SINGLELINE | DT_END_ELLIPSIS);
    RECT ink = inkBox(RECT{0, 0, 240, 40}, kWhite);
    EXPECT_LE(ink.right, 60);
    EXPECT_GT(ink.right, 40);  // it fills the room instead of stopping early
    RECT calc{0, 0, 60, 20};
    DrawTextW(dc, u"\\My Documents\\Temp\\Long folder", -1, &calc,
              DT_SINGLELINE | DT_END_ELLIPSIS | DT_CALCRECT);
    EXPECT_LE(calc.right, 60);
}

TEST_F(TextTest, TextAlignPlacesTheReferencePoint) {
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_RIGHT | TA_BOTTOM);
    TextOutW(dc, 100, 100, u"Hi", 2);
    RECT ink = inkBox(RECT{0, 0, 240, 200}, kWhite);
    EXPECT_LE(ink.right, 100);
    EXPECT_LE(ink.bottom, 100);
    EXPECT_GT(ink.right, 95);
    SetTextAlign(dc, TA_LEFT | TA_TOP);
}

TEST(MissingFontTest, TextIsNotDrawnAndNothingBreaks) {
    setenv("VARNELLO_FONT_DIR", "/nonexistent-font-folder", 1);
    {
        ce::test::TempDevice device{ce::test::TempDevice::Contents::Empty};
        HDC dc = ce::display::createDC(POINT{0, 0}, RECT{0, 0, 240, 320});
        RECT all{0, 0, 240, 320};
        FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
        RECT r{0, 0, 240, 40};
        testing::internal::CaptureStderr();
        int h = DrawTextW(dc, u"Nothing to see", -1, &r, DT_SINGLELINE);
        TextOutW(dc, 0, 50, u"again", 5);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_GT(h, 0);  // layout still has a line height
        SIZE size{};
        EXPECT_TRUE(GetTextExtentPoint32W(dc, u"abc", 3, &size));
        EXPECT_GT(size.cx, 0);
        const auto& fb = ce::display::screen();
        for (uint32_t p : fb.pixels) ASSERT_EQ(p, 0xFFFFFFu);
        // Reported once, naming the file.
        EXPECT_NE(err.find("/nonexistent-font-folder/tahoma.ttf or "
                           "/nonexistent-font-folder/DejaVuSans.ttf"),
                  std::string::npos)
            << err;
        EXPECT_EQ(err.find("DejaVuSans.ttf"), err.rfind("DejaVuSans.ttf"));
        ce::display::releaseDC(dc);
    }
    unsetenv("VARNELLO_FONT_DIR");
}

TEST_F(TextTest, PathEllipsisKeepsTheLastComponent) {
    const char16_t* path = u"\\My Documents\\Business\\Reports\\2003\\summary.txt";
    int full = textWidth(dc, path);
    int room = textWidth(dc, u"\\My Docu...\\summary.txt");
    ASSERT_LT(room, full);
    RECT r{0, 0, room, 20};
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, path, -1, &r, DT_SINGLELINE | DT_PATH_ELLIPSIS);
    RECT ink = inkBox(RECT{0, 0, 240, 40}, kWhite);
    EXPECT_LE(ink.right, room);
    // The file name is drawn whole at the right end: the same pixels as drawing it there alone.
    int nameWidth = textWidth(dc, u"\\summary.txt");
    std::vector<COLORREF> shortened, alone;
    for (int y = 0; y < 20; ++y)
        for (int x = ink.right - nameWidth + 2; x < ink.right; ++x) shortened.push_back(at(x, y));
    RECT clear{0, 0, 240, 40};
    FillRect(dc, &clear, (HBRUSH)GetStockObject(WHITE_BRUSH));
    RECT end{0, 0, room, 20};
    DrawTextW(dc, u"\\summary.txt", -1, &end, DT_SINGLELINE | DT_RIGHT);
    int right = inkBox(RECT{0, 0, 240, 40}, kWhite).right;
    for (int y = 0; y < 20; ++y)
        for (int x = right - nameWidth + 2; x < right; ++x) alone.push_back(at(x, y));
    EXPECT_EQ(shortened, alone);
}

// A name whose host bytes are not UTF-8 holds escape units (lone surrogates): it is drawn and
// measured as the replacement character, so a person sees where the odd byte is.
TEST_F(TextTest, LoneSurrogatesAreDrawnAsTheReplacementCharacter) {
    const char16_t escaped[] = u"caf\xDCE9 \xD800";
    const char16_t replaced[] = u"caf\uFFFD \uFFFD";
    EXPECT_EQ(textWidth(dc, escaped), textWidth(dc, replaced));
    EXPECT_GT(textWidth(dc, escaped), textWidth(dc, u"caf "));
    SetTextColor(dc, kBlack);
    SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, 10, 10, escaped, 6);
    TextOutW(dc, 10, 40, replaced, 6);
    int differing = 0, inked = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 80; ++x) {
            differing += at(10 + x, 10 + y) != at(10 + x, 40 + y);
            inked += at(10 + x, 10 + y) != kWhite;
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(inked, 0);
}
