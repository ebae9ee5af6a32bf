// Fills, frames, lines, shapes and block transfers land on exactly the pixels Win32 paints,
// within the DC's origin and clip.
#include "screen_fixture.h"

using DrawingTest = ScreenTest;

TEST_F(DrawingTest, FillRectCoversLeftTopButNotRightBottom) {
    RECT r{10, 20, 30, 40};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    ASSERT_TRUE(FillRect(dc, &r, red));
    EXPECT_EQ(at(10, 20), RGB(255, 0, 0));
    EXPECT_EQ(at(29, 39), RGB(255, 0, 0));
    EXPECT_EQ(at(30, 39), kWhite);
    EXPECT_EQ(at(29, 40), kWhite);
    EXPECT_EQ(at(9, 20), kWhite);
    EXPECT_EQ(countNot(RECT{0, 0, 240, 320}, kWhite), 20 * 20);
    DeleteObject(red);
}

TEST_F(DrawingTest, DCOriginAndClipComeFromTheWindow) {
    // A DC as GWES makes it for a child at (50, 60) whose visible part is 40 x 30.
    HDC child = ce::display::createDC(POINT{50, 60}, RECT{50, 60, 90, 90});
    RECT r{-10, -10, 100, 100};
    FillRect(child, &r, (HBRUSH)GetStockObject(BLACK_BRUSH));
    EXPECT_EQ(inkBox(RECT{0, 0, 240, 320}, kWhite), (RECT{50, 60, 90, 90}));
    EXPECT_EQ(GetPixel(child, 0, 0), kBlack);
    EXPECT_EQ(GetPixel(child, 40, 0), CLR_INVALID);  // outside the clip
    RECT box;
    EXPECT_EQ(GetClipBox(child, &box), SIMPLEREGION);
    EXPECT_EQ(box, (RECT{0, 0, 40, 30}));
    ce::display::releaseDC(child);
}

TEST_F(DrawingTest, ClipRectsIntersectExcludeAndRestore) {
    HBRUSH black = (HBRUSH)GetStockObject(BLACK_BRUSH);
    RECT all{0, 0, 240, 320};
    int saved = SaveDC(dc);
    EXPECT_EQ(IntersectClipRect(dc, 10, 10, 50, 50), SIMPLEREGION);
    EXPECT_EQ(ExcludeClipRect(dc, 20, 20, 30, 30), COMPLEXREGION);
    FillRect(dc, &all, black);
    EXPECT_EQ(countNot(all, kWhite), 40 * 40 - 10 * 10);
    EXPECT_EQ(at(25, 25), kWhite);
    EXPECT_EQ(at(10, 10), kBlack);
    EXPECT_EQ(at(50, 50), kWhite);

    ASSERT_TRUE(RestoreDC(dc, saved));
    RECT r{100, 100, 101, 101};
    FillRect(dc, &r, black);
    EXPECT_EQ(at(100, 100), kBlack);  // the clip is gone with the restore

    HRGN rgn = CreateRectRgn(200, 0, 240, 10);
    EXPECT_EQ(SelectClipRgn(dc, rgn), SIMPLEREGION);
    FillRect(dc, &all, (HBRUSH)GetStockObject(GRAY_BRUSH));
    EXPECT_EQ(at(199, 5), kWhite);
    EXPECT_EQ(at(200, 5), RGB(128, 128, 128));
    EXPECT_EQ(SelectClipRgn(dc, nullptr), SIMPLEREGION);
    DeleteObject(rgn);
}

TEST_F(DrawingTest, RectangleOutlinesWithPenAndFillsWithBrush) {
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    HGDIOBJ oldBrush = SelectObject(dc, blue);
    Rectangle(dc, 10, 10, 20, 16);
    EXPECT_EQ(at(10, 10), kBlack);
    EXPECT_EQ(at(19, 15), kBlack);  // the outline's right and bottom are inside the rectangle
    EXPECT_EQ(at(20, 15), kWhite);
    EXPECT_EQ(at(11, 11), RGB(0, 0, 255));
    EXPECT_EQ(at(18, 14), RGB(0, 0, 255));

    // Without a pen the filled area loses its right column and bottom row.
    SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, 40, 40, 50, 50);
    EXPECT_EQ(inkBox(RECT{30, 30, 60, 60}, kWhite), (RECT{40, 40, 49, 49}));
    SelectObject(dc, oldBrush);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    DeleteObject(blue);
}

TEST_F(DrawingTest, LineToStopsShortOfItsEndAndStylesLeaveGaps) {
    MoveToEx(dc, 10, 10, nullptr);
    LineTo(dc, 20, 10);
    EXPECT_EQ(at(10, 10), kBlack);
    EXPECT_EQ(at(19, 10), kBlack);
    EXPECT_EQ(at(20, 10), kWhite);
    POINT previous;
    MoveToEx(dc, 0, 0, &previous);
    EXPECT_EQ(previous.x, 20);

    HPEN dotted = CreatePen(PS_DOT, 1, RGB(255, 0, 0));
    HGDIOBJ old = SelectObject(dc, dotted);
    MoveToEx(dc, 10, 30, nullptr);
    LineTo(dc, 110, 30);
    int on = countNot(RECT{10, 30, 110, 31}, kWhite);
    EXPECT_GT(on, 20);
    EXPECT_LT(on, 80);
    SelectObject(dc, old);
    DeleteObject(dotted);

    HPEN thick = CreatePen(PS_SOLID, 3, kBlack);
    old = SelectObject(dc, thick);
    MoveToEx(dc, 10, 60, nullptr);
    LineTo(dc, 30, 60);
    EXPECT_EQ(inkBox(RECT{0, 50, 50, 70}, kWhite).bottom - inkBox(RECT{0, 50, 50, 70}, kWhite).top,
              3);
    SelectObject(dc, old);
    DeleteObject(thick);
}

TEST_F(DrawingTest, EllipseStaysInItsBoxAndIsSymmetric) {
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    Ellipse(dc, 100, 100, 113, 113);
    EXPECT_EQ(inkBox(RECT{90, 90, 130, 130}, kWhite), (RECT{100, 100, 113, 113}));
    EXPECT_EQ(at(100, 100), kWhite);  // corners stay clear
    EXPECT_EQ(at(106, 106), kBlack);
    for (int y = 100; y < 113; ++y)
        for (int x = 100; x < 113; ++x) {
            EXPECT_EQ(at(x, y), at(212 - x, y)) << x << "," << y;
            EXPECT_EQ(at(x, y), at(y, x)) << x << "," << y;
        }
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
}

TEST_F(DrawingTest, PolygonFillsTheInsideOnly) {
    SelectObject(dc, GetStockObject(GRAY_BRUSH));
    SelectObject(dc, GetStockObject(NULL_PEN));
    POINT triangle[] = {{0, 0}, {20, 0}, {0, 20}};
    Polygon(dc, triangle, 3);
    EXPECT_EQ(at(2, 2), RGB(128, 128, 128));
    EXPECT_EQ(at(18, 18), kWhite);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
}

TEST_F(DrawingTest, PatBltInvertsAndBitBltCopiesFromMemory) {
    PatBlt(dc, 0, 0, 10, 10, DSTINVERT);
    EXPECT_EQ(at(5, 5), kBlack);
    PatBlt(dc, 0, 0, 10, 10, DSTINVERT);
    EXPECT_EQ(at(5, 5), kWhite);

    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 8, 8);
    HGDIOBJ oldBitmap = SelectObject(mem, bitmap);
    RECT inside{0, 0, 8, 8};
    FillRect(mem, &inside, (HBRUSH)GetStockObject(WHITE_BRUSH));
    SetPixel(mem, 3, 4, RGB(1, 2, 3));
    EXPECT_EQ(GetPixel(mem, 3, 4), RGB(1, 2, 3));
    EXPECT_EQ(GetPixel(mem, 8, 0), CLR_INVALID);
    ASSERT_TRUE(BitBlt(dc, 100, 100, 8, 8, mem, 0, 0, SRCCOPY));
    EXPECT_EQ(at(103, 104), RGB(1, 2, 3));
    EXPECT_EQ(countNot(RECT{90, 90, 120, 120}, kWhite), 1);
    SelectObject(mem, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(mem);
}

TEST_F(DrawingTest, DibSectionBitsAreThePixels) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 4;
    info.bmiHeader.biHeight = -2;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(dib, nullptr);
    ASSERT_NE(bits, nullptr);
    static_cast<uint32_t*>(bits)[4 + 1] = 0x00FF8000;  // row 1, column 1: orange
    HDC mem = CreateCompatibleDC(dc);
    SelectObject(mem, dib);
    BitBlt(dc, 0, 0, 4, 2, mem, 0, 0, SRCCOPY);
    EXPECT_EQ(at(1, 1), RGB(255, 128, 0));
    EXPECT_EQ(at(1, 0), kBlack);
    DeleteDC(mem);
    DeleteObject(dib);
}

TEST_F(DrawingTest, ScrollingBlitWithinTheScreenReadsTheOldPixels) {
    RECT band{0, 0, 240, 10};
    FillRect(dc, &band, (HBRUSH)GetStockObject(BLACK_BRUSH));
    // Copy the screen onto itself shifted down by 5: overlapping source and destination.
    BitBlt(dc, 0, 5, 240, 20, dc, 0, 0, SRCCOPY);
    EXPECT_EQ(at(10, 14), kBlack);
    EXPECT_EQ(at(10, 15), kWhite);
}
