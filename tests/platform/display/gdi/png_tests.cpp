// Screenshots: the screen written as PNG reads back pixel for pixel; failures are reported and
// leave nothing half written.
#include "screen_fixture.h"

#include <filesystem>
#include <fstream>

using PngTest = ScreenTest;

TEST_F(PngTest, ScreenRoundTripsThroughPng) {
    RECT band{0, 0, 240, 26};
    FillRect(dc, &band, GetSysColorBrush(COLOR_ACTIVECAPTION));
    SetPixel(dc, 239, 319, RGB(12, 34, 56));
    SetTextColor(dc, kBlack);
    TextOutW(dc, 5, 40, u"Screenshot", 10);
    auto path = device.outside() / "shot.png";
    std::string error;
    ASSERT_TRUE(ce::display::writePng(ce::display::screen(), path.string(), &error)) << error;
    ce::display::Framebuffer back;
    ASSERT_TRUE(ce::display::readPng(path.string(), back, &error)) << error;
    EXPECT_EQ(back.width, 240);
    EXPECT_EQ(back.height, 320);
    EXPECT_EQ(back.pixels, ce::display::screen().pixels);
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".tmp"));
}

TEST_F(PngTest, FailuresSayWhatIsWrong) {
    std::string error;
    auto missing = device.outside() / "no-such-folder" / "shot.png";
    EXPECT_FALSE(ce::display::writePng(ce::display::screen(), missing.string(), &error));
    EXPECT_NE(error.find("no-such-folder"), std::string::npos);

    auto text = device.outside() / "not.png";
    std::ofstream(text) << "hello";
    ce::display::Framebuffer fb;
    fb.width = 7;
    EXPECT_FALSE(ce::display::readPng(text.string(), fb, &error));
    EXPECT_NE(error.find("not a PNG"), std::string::npos);
    EXPECT_EQ(fb.width, 7);  // untouched

    // A picture cut short is damaged, not half read.
    auto good = device.outside() / "good.png";
    ASSERT_TRUE(ce::display::writePng(ce::display::screen(), good.string(), &error));
    auto size = std::filesystem::file_size(good);
    std::filesystem::resize_file(good, size / 2);
    EXPECT_FALSE(ce::display::readPng(good.string(), fb, &error));
    EXPECT_NE(error.find("damaged"), std::string::npos);

    ce::display::Framebuffer empty;
    EXPECT_FALSE(ce::display::writePng(empty, (device.outside() / "e.png").string(), &error));
}
