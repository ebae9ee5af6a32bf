// Scroll bars: Win32's clamping of the stored state, disabled and hidden bars, the codes a tap
// on each part sends, and children moved by ScrollWindowEx.
#include "support/msglog.h"

#include "testing/device.h"

using namespace gwestest;

namespace {

class Scroll : public ::testing::Test {
  protected:
    ce::test::TempDevice device{ce::test::TempDevice::Contents::Empty};
    ScriptedInput input;
    HWND top = nullptr;
    HWND page = nullptr;
    void SetUp() override {
        MessageLog::get().clear();
        MessageLog::get().names.clear();
        registerLogging(u"LogWindow");
        top = CreateWindowExW(0, u"LogWindow", u"t", WS_VISIBLE, 0, 26, 240, 268, nullptr, nullptr,
                              nullptr, nullptr);
        page = CreateWindowExW(0, u"LogWindow", u"page", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 0, 0,
                               240, 200, top, nullptr, nullptr, nullptr);
        MessageLog::get().name(page, "page");
        ce::gwes::state()->input = &input;
    }
    void TearDown() override { ce::gwes::state()->input = nullptr; }
    int set(int min, int max, UINT pageSize, int pos, UINT mask = SIF_ALL) {
        SCROLLINFO si{sizeof si, mask, min, max, pageSize, pos, 0};
        return SetScrollInfo(page, SB_VERT, &si, TRUE);
    }
    SCROLLINFO get() {
        SCROLLINFO si{sizeof si, SIF_ALL, 0, 0, 0, 0, 0};
        GetScrollInfo(page, SB_VERT, &si);
        return si;
    }
    std::vector<int> codes() {
        std::vector<int> out;
        for (auto& e : MessageLog::get().entries)
            if (e.hwnd == page && e.msg == WM_VSCROLL)
                out.push_back(LOWORD(e.wp));
        return out;
    }
};

TEST_F(Scroll, PositionIsKeptWithinTheRangeLessThePage) {
    EXPECT_EQ(set(0, 152, 3, 500), 150);
    EXPECT_EQ(get().nPos, 150);
    EXPECT_EQ(set(0, 152, 3, -7), 0);
    EXPECT_EQ(set(0, 152, 0, 500), 152);
    EXPECT_EQ(SetScrollPos(page, SB_VERT, 40, TRUE), 152);
    EXPECT_EQ(GetScrollPos(page, SB_VERT), 40);
    // a page larger than the range is cut to the range
    set(0, 9, 50, 0);
    EXPECT_EQ(get().nPage, 10u);
}

TEST_F(Scroll, InvertedRangeIsStoredEmptyAndHidesTheBarUnlessDisabledNoScroll) {
    RECT before;
    GetClientRect(page, &before);
    set(0, -40, 3, 0, SIF_ALL | SIF_DISABLENOSCROLL);
    SCROLLINFO si = get();
    EXPECT_EQ(si.nMin, 0);
    EXPECT_EQ(si.nMax, 0);
    EXPECT_EQ(si.nPage, 1u);
    EXPECT_TRUE(GetWindowLongW(page, GWL_STYLE) & WS_VSCROLL);  // shown, disabled
    // a tap on its arrow does nothing
    runUntilIdle();
    MessageLog::get().clear();
    input.tap(235, 26 + 5);
    runUntilIdle();
    EXPECT_TRUE(codes().empty());
    set(0, -40, 3, 0);
    EXPECT_FALSE(GetWindowLongW(page, GWL_STYLE) & WS_VSCROLL);
    RECT after;
    GetClientRect(page, &after);
    EXPECT_EQ(after.right, before.right + 13);
    set(0, 400, 3, 0);
    EXPECT_TRUE(GetWindowLongW(page, GWL_STYLE) & WS_VSCROLL);
}

TEST_F(Scroll, TapsOnArrowsAndTrackSendLineAndPageCodes) {
    set(0, 400, 3, 200);
    runUntilIdle();
    MessageLog::get().clear();
    input.tap(233, 26 + 4);        // up arrow
    input.tap(233, 26 + 200 - 4);  // down arrow
    input.tap(233, 26 + 20);       // track above the thumb
    input.tap(233, 26 + 180);      // track below the thumb
    runUntilIdle();
    EXPECT_EQ(codes(), (std::vector<int>{SB_LINEUP, SB_ENDSCROLL, SB_LINEDOWN, SB_ENDSCROLL,
                                         SB_PAGEUP, SB_ENDSCROLL, SB_PAGEDOWN, SB_ENDSCROLL}));
}

TEST_F(Scroll, ThumbDragTracksThenSendsThePositionAtRelease) {
    set(0, 400, 3, 0);
    runUntilIdle();
    MessageLog::get().clear();
    using K = ce::gwes::InputEvent::Kind;
    // the thumb sits at the top of the track, just below the up arrow
    input.events.push_back({K::StylusDown, 233, 26 + 13 + 2});
    input.events.push_back({K::StylusMove, 233, 26 + 100});
    input.events.push_back({K::StylusMove, 233, 26 + 300});  // past the end
    input.events.push_back({K::StylusUp, 233, 26 + 300});
    runUntilIdle();
    std::vector<Received> scrolls;
    for (auto& e : MessageLog::get().entries)
        if (e.hwnd == page && e.msg == WM_VSCROLL)
            scrolls.push_back(e);
    ASSERT_EQ(scrolls.size(), 4u);
    EXPECT_EQ(LOWORD(scrolls[0].wp), SB_THUMBTRACK);
    EXPECT_GT(HIWORD(scrolls[0].wp), 0);
    EXPECT_LT(HIWORD(scrolls[0].wp), 398);
    EXPECT_EQ(LOWORD(scrolls[1].wp), SB_THUMBTRACK);
    EXPECT_EQ(HIWORD(scrolls[1].wp), 398);  // the last position: max - (page - 1)
    EXPECT_EQ(LOWORD(scrolls[2].wp), SB_THUMBPOSITION);
    EXPECT_EQ(HIWORD(scrolls[2].wp), 398);
    EXPECT_EQ(LOWORD(scrolls[3].wp), SB_ENDSCROLL);
    EXPECT_EQ(get().nPos, 0);  // the window sets the position itself
}

TEST_F(Scroll, ScrollWindowExMovesTheChildrenItIsAskedTo) {
    HWND a = CreateWindowExW(0, u"LogWindow", u"", WS_CHILD | WS_VISIBLE, 5, 20, 50, 20, page,
                             nullptr, nullptr, nullptr);
    HWND b = CreateWindowExW(0, u"LogWindow", u"", WS_CHILD | WS_VISIBLE, 5, 150, 50, 20, page,
                             nullptr, nullptr, nullptr);
    MessageLog::get().name(a, "a");
    MessageLog::get().clear();
    ScrollWindowEx(page, 0, -30, nullptr, nullptr, nullptr, nullptr, SW_SCROLLCHILDREN);
    RECT r;
    GetWindowRect(a, &r);
    POINT p{r.left, r.top};
    ScreenToClient(page, &p);
    EXPECT_EQ(p.y, -10);
    EXPECT_EQ(countOf(a, WM_MOVE), 1u);
    // with a scroll rectangle, only the children that meet it move
    RECT band{0, 0, 240, 100};
    ScrollWindowEx(page, 0, 30, &band, nullptr, nullptr, nullptr, SW_SCROLLCHILDREN);
    GetWindowRect(b, &r);
    p = {r.left, r.top};
    ScreenToClient(page, &p);
    EXPECT_EQ(p.y, 120);
    GetWindowRect(a, &r);
    p = {r.left, r.top};
    ScreenToClient(page, &p);
    EXPECT_EQ(p.y, 20);
    // without SW_SCROLLCHILDREN nothing moves
    ScrollWindowEx(page, 0, -30, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
    GetWindowRect(a, &r);
    p = {r.left, r.top};
    ScreenToClient(page, &p);
    EXPECT_EQ(p.y, 20);
}

}  // namespace
