// GDI handles are checked, stock objects survive deletion, selection returns what was selected,
// SaveDC/RestoreDC bring attributes back, and system colours answer in both index forms.
#include "screen_fixture.h"

using ObjectsTest = ScreenTest;

TEST_F(ObjectsTest, BadAndStaleHandlesAreRefusedWithoutHarm) {
    HDC forged = reinterpret_cast<HDC>(uintptr_t(0x12345678));
    RECT r{0, 0, 10, 10};
    EXPECT_EQ(FillRect(forged, &r, (HBRUSH)GetStockObject(BLACK_BRUSH)), 0);
    EXPECT_EQ(FillRect(nullptr, &r, (HBRUSH)GetStockObject(BLACK_BRUSH)), 0);
    EXPECT_EQ(SelectObject(dc, reinterpret_cast<HGDIOBJ>(uintptr_t(0xDEAD0))), nullptr);
    EXPECT_EQ(DrawTextW(forged, u"x", 1, &r, 0), 0);
    EXPECT_EQ(GetPixel(forged, 0, 0), CLR_INVALID);

    HBRUSH brush = CreateSolidBrush(RGB(9, 9, 9));
    ASSERT_TRUE(DeleteObject(brush));
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_EQ(FillRect(dc, &r, brush), 0);
    EXPECT_EQ(SelectObject(dc, brush), nullptr);
    EXPECT_EQ(countNot(RECT{0, 0, 240, 320}, kWhite), 0);

    // A DC handed back is gone; a screen DC cannot be deleted as a memory DC.
    HDC other = ce::display::createDC(POINT{0, 0}, RECT{0, 0, 240, 320});
    EXPECT_FALSE(DeleteDC(other));
    ce::display::releaseDC(other);
    EXPECT_EQ(FillRect(other, &r, (HBRUSH)GetStockObject(BLACK_BRUSH)), 0);
    EXPECT_EQ(GetObjectType(other), 0u);
    EXPECT_EQ(countNot(RECT{0, 0, 240, 320}, kWhite), 0);
}

TEST_F(ObjectsTest, StockObjectsAreSharedAndCannotBeDeleted) {
    HGDIOBJ black = GetStockObject(BLACK_BRUSH);
    ASSERT_NE(black, nullptr);
    EXPECT_EQ(black, GetStockObject(BLACK_BRUSH));
    EXPECT_TRUE(DeleteObject(black));
    RECT r{0, 0, 2, 2};
    EXPECT_TRUE(FillRect(dc, &r, (HBRUSH)black));
    EXPECT_EQ(at(1, 1), kBlack);
    EXPECT_EQ(GetObjectType(GetStockObject(NULL_PEN)), DWORD(OBJ_PEN));
    EXPECT_EQ(GetObjectType(GetStockObject(DEFAULT_GUI_FONT)), DWORD(OBJ_FONT));
    EXPECT_EQ(GetStockObject(9), nullptr);  // no stock object has that number
    EXPECT_EQ(GetStockObject(-1), nullptr);
    EXPECT_EQ(GetObjectType(dc), DWORD(OBJ_DC));
}

TEST_F(ObjectsTest, SelectObjectReturnsThePreviousObjectOfThatKind) {
    HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HGDIOBJ oldPen = SelectObject(dc, red);
    EXPECT_EQ(oldPen, GetStockObject(BLACK_PEN));
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    HGDIOBJ oldBrush = SelectObject(dc, green);
    EXPECT_EQ(oldBrush, GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), red);
    EXPECT_EQ(SelectObject(dc, oldPen), red);
    EXPECT_EQ(SelectObject(dc, oldBrush), green);

    LOGPEN lp{};
    ASSERT_EQ(GetObjectW(red, sizeof lp, &lp), int(sizeof lp));
    EXPECT_EQ(lp.lopnColor, RGB(255, 0, 0));
    LOGFONTW lf{};
    ASSERT_EQ(GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf), int(sizeof lf));
    EXPECT_EQ(lf.lfHeight, -11);
    EXPECT_EQ(GetObjectW(red, 2, &lp), 0);  // too small a buffer
    DeleteObject(red);
    DeleteObject(green);
}

TEST_F(ObjectsTest, DeletingASelectedObjectLeavesTheDCUsable) {
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 200));
    SelectObject(dc, brush);
    EXPECT_TRUE(DeleteObject(brush));
    Rectangle(dc, 0, 0, 10, 10);  // still draws with the brush it holds
    EXPECT_EQ(at(5, 5), RGB(0, 0, 200));
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
}

TEST_F(ObjectsTest, RestoreDCBringsBackColoursObjectsAndModes) {
    SetTextColor(dc, RGB(1, 1, 1));
    SetBkMode(dc, OPAQUE);
    int first = SaveDC(dc);
    SetTextColor(dc, RGB(2, 2, 2));
    SetBkMode(dc, TRANSPARENT);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(3, 3, 3));
    SelectObject(dc, pen);
    int second = SaveDC(dc);
    EXPECT_EQ(second, first + 1);
    SetTextColor(dc, RGB(4, 4, 4));

    ASSERT_TRUE(RestoreDC(dc, -1));
    EXPECT_EQ(GetTextColor(dc), RGB(2, 2, 2));
    ASSERT_TRUE(RestoreDC(dc, first));
    EXPECT_EQ(GetTextColor(dc), RGB(1, 1, 1));
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));
    EXPECT_FALSE(RestoreDC(dc, second));  // gone with the restore of an earlier state
    EXPECT_FALSE(RestoreDC(dc, -1));
    DeleteObject(pen);
}

TEST_F(ObjectsTest, SystemColoursAnswerInEveryIndexForm) {
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), kWhite);
    EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), kBlack);
    EXPECT_EQ(GetSysColor(COLOR_WINDOW | SYS_COLOR_INDEX_FLAG), GetSysColor(COLOR_WINDOW));
    EXPECT_NE(GetSysColor(COLOR_HIGHLIGHT), GetSysColor(COLOR_HIGHLIGHTTEXT));
    EXPECT_NE(GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(GetSysColor(C_SYS_COLOR_TYPES), 0u);
    EXPECT_EQ(GetSysColorBrush(C_SYS_COLOR_TYPES), nullptr);
    EXPECT_EQ(GetSysColorBrush(COLOR_BTNFACE),
              GetSysColorBrush(COLOR_BTNFACE | SYS_COLOR_INDEX_FLAG));

    // A class brush may name a system colour as index + 1 (desktop) or index | flag (CE).
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    RECT a{0, 0, 1, 1}, b{1, 0, 2, 1}, c{2, 0, 3, 1};
    FillRect(dc, &a, (HBRUSH)(COLOR_BTNFACE + 1));
    FillRect(dc, &b, (HBRUSH)(uintptr_t)(COLOR_BTNFACE | SYS_COLOR_INDEX_FLAG));
    FillRect(dc, &c, GetSysColorBrush(COLOR_BTNFACE));
    EXPECT_EQ(at(0, 0), face);
    EXPECT_EQ(at(1, 0), face);
    EXPECT_EQ(at(2, 0), face);

    // SetSysColors changes the colour and its brush together.
    INT index = COLOR_BTNFACE;
    COLORREF teal = RGB(0, 128, 128);
    ASSERT_TRUE(SetSysColors(1, &index, &teal));
    FillRect(dc, &c, GetSysColorBrush(COLOR_BTNFACE));
    EXPECT_EQ(at(2, 0), teal);
}

TEST_F(ObjectsTest, RegionsCombineAsRectangleSets) {
    HRGN a = CreateRectRgn(0, 0, 10, 10);
    HRGN b = CreateRectRgn(5, 5, 15, 15);
    HRGN out = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(out, a, b, RGN_AND), SIMPLEREGION);
    RECT box;
    GetRgnBox(out, &box);
    EXPECT_EQ(box, (RECT{5, 5, 10, 10}));
    EXPECT_EQ(CombineRgn(out, a, b, RGN_DIFF), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(out, 2, 2));
    EXPECT_FALSE(PtInRegion(out, 7, 7));
    EXPECT_EQ(CombineRgn(out, a, b, RGN_XOR), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(out, 12, 12));
    EXPECT_FALSE(PtInRegion(out, 7, 7));
    EXPECT_EQ(CombineRgn(out, a, b, RGN_OR), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(out, 7, 7));
    GetRgnBox(out, &box);
    EXPECT_EQ(box, (RECT{0, 0, 15, 15}));
    EXPECT_EQ(CombineRgn(out, a, nullptr, RGN_AND), ERROR);
    for (HRGN r : {a, b, out}) DeleteObject(r);
}

TEST(RectTest, HelpersFollowWin32) {
    RECT a{0, 0, 10, 10}, b{5, 5, 20, 20}, r;
    EXPECT_TRUE(IntersectRect(&r, &a, &b));
    EXPECT_EQ(r, (RECT{5, 5, 10, 10}));
    RECT far{50, 50, 60, 60};
    EXPECT_FALSE(IntersectRect(&r, &a, &far));
    EXPECT_TRUE(IsRectEmpty(&r));
    EXPECT_TRUE(UnionRect(&r, &a, &b));
    EXPECT_EQ(r, (RECT{0, 0, 20, 20}));
    // SubtractRect only cuts when the result is still a rectangle.
    RECT top{0, 0, 10, 4};
    EXPECT_TRUE(SubtractRect(&r, &a, &top));
    EXPECT_EQ(r, (RECT{0, 4, 10, 10}));
    RECT middle{2, 2, 4, 4};
    EXPECT_TRUE(SubtractRect(&r, &a, &middle));
    EXPECT_EQ(r, a);
    EXPECT_TRUE(PtInRect(&a, POINT{0, 0}));
    EXPECT_FALSE(PtInRect(&a, POINT{10, 5}));
    InflateRect(&a, -2, -3);
    EXPECT_EQ(a, (RECT{2, 3, 8, 7}));
}
