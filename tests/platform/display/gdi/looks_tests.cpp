// The 3-D looks drawn in one place: edges, check boxes, radio buttons, scroll arrows, icons.
#include "screen_fixture.h"

using LooksTest = ScreenTest;

TEST_F(LooksTest, SunkenEdgeIsDarkAboveLeftAndLightBelowRight) {
    RECT r{10, 10, 50, 30};
    RECT inner = r;
    ASSERT_TRUE(DrawEdge(dc, &inner, EDGE_SUNKEN, BF_RECT | BF_ADJUST));
    EXPECT_EQ(inner, (RECT{12, 12, 48, 28}));
    EXPECT_EQ(at(20, 10), GetSysColor(COLOR_BTNSHADOW));     // outer top
    EXPECT_EQ(at(10, 20), GetSysColor(COLOR_BTNSHADOW));     // outer left
    EXPECT_EQ(at(20, 11), GetSysColor(COLOR_3DDKSHADOW));    // inner top
    EXPECT_EQ(at(20, 29), GetSysColor(COLOR_BTNHIGHLIGHT));  // outer bottom
    EXPECT_EQ(at(49, 20), GetSysColor(COLOR_BTNHIGHLIGHT));  // outer right
    EXPECT_EQ(at(20, 28), GetSysColor(COLOR_3DLIGHT));       // inner bottom
    EXPECT_EQ(at(20, 20), kWhite);  // no BF_MIDDLE: the inside is left alone
}

TEST_F(LooksTest, RaisedEdgeIsLightAboveLeftAndFillsTheMiddle) {
    RECT r{10, 10, 50, 30};
    DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_MIDDLE);
    EXPECT_EQ(r, (RECT{10, 10, 50, 30}));  // no BF_ADJUST: the rectangle stays
    EXPECT_EQ(at(20, 10), GetSysColor(COLOR_3DLIGHT));
    EXPECT_EQ(at(20, 11), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(at(20, 29), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(at(20, 28), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(at(20, 20), GetSysColor(COLOR_BTNFACE));
}

TEST_F(LooksTest, EdgeSidesAreDrawnOnlyWhereAsked) {
    RECT r{10, 10, 50, 30};
    DrawEdge(dc, &r, EDGE_SUNKEN, BF_BOTTOM);
    EXPECT_EQ(at(20, 10), kWhite);
    EXPECT_EQ(at(10, 20), kWhite);
    EXPECT_EQ(at(20, 29), GetSysColor(COLOR_BTNHIGHLIGHT));
}

TEST_F(LooksTest, CheckBoxShowsATickOnlyWhenChecked) {
    RECT box{20, 20, 33, 33};
    DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONCHECK);
    RECT inside{21, 21, 32, 32};
    EXPECT_EQ(countNot(inside, GetSysColor(COLOR_WINDOW)), 0);
    EXPECT_EQ(at(20, 26), GetSysColor(COLOR_WINDOWFRAME));  // the frame

    DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED);
    int tick = 0;
    for (int y = inside.top; y < inside.bottom; ++y)
        for (int x = inside.left; x < inside.right; ++x)
            tick += at(x, y) == GetSysColor(COLOR_WINDOWTEXT);
    EXPECT_GT(tick, 10);
    EXPECT_EQ(inkBox(RECT{0, 0, 60, 60}, kWhite), box);  // nothing outside the box

    // Unchecking repaints the box clean.
    DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONCHECK);
    EXPECT_EQ(countNot(inside, GetSysColor(COLOR_WINDOW)), 0);

    // A disabled box is grey.
    DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED | DFCS_INACTIVE);
    EXPECT_EQ(at(26, 26) == GetSysColor(COLOR_WINDOWTEXT), false);
    EXPECT_TRUE(colours(inside).count(GetSysColor(COLOR_GRAYTEXT)));
}

TEST_F(LooksTest, RadioButtonIsARoundMarkWithADotWhenChecked) {
    RECT box{40, 40, 53, 53};
    DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONRADIO);
    EXPECT_EQ(at(40, 40), kWhite);  // round: the corners stay clear
    EXPECT_EQ(at(46, 46), GetSysColor(COLOR_WINDOW));
    DrawFrameControl(dc, &box, DFC_BUTTON, DFCS_BUTTONRADIO | DFCS_CHECKED);
    EXPECT_EQ(at(46, 46), GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(at(40, 40), kWhite);
}

TEST_F(LooksTest, ScrollArrowsPointTheirWay) {
    RECT up{0, 0, 13, 13}, down{20, 0, 33, 13};
    DrawFrameControl(dc, &up, DFC_SCROLL, DFCS_SCROLLUP);
    DrawFrameControl(dc, &down, DFC_SCROLL, DFCS_SCROLLDOWN);
    auto arrowRows = [&](const RECT& r) {
        std::vector<int> widths;
        for (int y = r.top + 2; y < r.bottom - 2; ++y) {
            int n = 0;
            for (int x = r.left + 2; x < r.right - 2; ++x)
                n += at(x, y) == GetSysColor(COLOR_BTNTEXT);
            if (n)
                widths.push_back(n);
        }
        return widths;
    };
    auto u = arrowRows(up), d = arrowRows(down);
    ASSERT_GE(u.size(), 3u);
    ASSERT_EQ(u.size(), d.size());
    EXPECT_LT(u.front(), u.back());                        // narrow at the top
    EXPECT_GT(d.front(), d.back());                        // narrow at the bottom
    EXPECT_EQ(at(6, 1), GetSysColor(COLOR_BTNHIGHLIGHT));  // raised like a button
}

TEST_F(LooksTest, IconsBlendByAlphaAndAreFreedOnce) {
    std::vector<uint32_t> argb(16 * 16, 0x00000000);             // transparent
    for (int x = 0; x < 16; ++x) argb[8 * 16 + x] = 0xFFFF0000;  // an opaque red row
    for (int x = 0; x < 16; ++x) argb[9 * 16 + x] = 0x800000FF;  // a half-transparent blue row
    HICON icon = ce::display::createIcon(16, 16, argb.data());
    ASSERT_NE(icon, nullptr);
    int w = 0, h = 0;
    EXPECT_TRUE(ce::display::iconPixels(icon, &w, &h, nullptr));
    EXPECT_EQ(w, 16);
    ASSERT_TRUE(DrawIcon(dc, 100, 100, icon));
    EXPECT_EQ(at(105, 108), RGB(255, 0, 0));
    EXPECT_EQ(at(105, 100), kWhite);
    COLORREF mixed = at(105, 109);
    EXPECT_NEAR(GetRValue(mixed), 127, 2);
    EXPECT_EQ(GetBValue(mixed), 255);

    // Drawn at twice the size.
    ASSERT_TRUE(DrawIconEx(dc, 0, 200, icon, 32, 32, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(at(10, 216), RGB(255, 0, 0));
    EXPECT_EQ(at(10, 217), RGB(255, 0, 0));

    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(DestroyIcon(icon));
    EXPECT_FALSE(DrawIcon(dc, 0, 0, icon));
    EXPECT_EQ(ce::display::createIcon(0, 16, argb.data()), nullptr);
}
