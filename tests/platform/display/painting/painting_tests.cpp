// Windows and controls as a person sees them: a small program runs under the test driver and
// the screen is read between taps.
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "display/display.h"
#include "gwes/driver.h"
#include "testing/device.h"

#include <gtest/gtest.h>

#include <map>

namespace {

constexpr int kCheckId = 101, kHideId = 102, kLabelId = 103, kListId = 104, kTabId = 105;

COLORREF at(int x, int y) {
    const auto& fb = ce::display::screen();
    uint32_t p = fb.pixels[size_t(y) * fb.width + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

int count(const RECT& r, COLORREF colour) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) n += at(x, y) == colour;
    return n;
}

// The colour most pixels of the rectangle have.
COLORREF dominant(const RECT& r) {
    std::map<COLORREF, int> seen;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) ++seen[at(x, y)];
    COLORREF best = 0;
    int most = -1;
    for (auto [c, n] : seen)
        if (n > most) {
            best = c;
            most = n;
        }
    return best;
}

RECT screenRectOf(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r;
}

LRESULT CALLBACK testProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND && LOWORD(wp) == kHideId) {
        ShowWindow(GetDlgItem(hwnd, kLabelId), SW_HIDE);
        return 0;
    }
    if (msg == WM_COMMAND && LOWORD(wp) == IDOK) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// A top-level window filling the screen below the navigation bar, with the children that
// `build` makes, and a message loop.
int runWindow(void (*build)(HWND)) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = testProc;
    wc.hbrBackground = (HBRUSH)(uintptr_t)(COLOR_WINDOW | SYS_COLOR_INDEX_FLAG);
    wc.lpszClassName = u"PaintTest";
    UnregisterClassW(u"PaintTest", nullptr);
    RegisterClassW(&wc);
    InitCommonControls();
    HWND main =
        CreateWindowExW(0, u"PaintTest", u"Paint Test", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    build(main);
    ShowWindow(main, SW_SHOW);
    UpdateWindow(main);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return int(msg.wParam);
}

HWND child(HWND parent, const char16_t* cls, const char16_t* text, DWORD style, int x, int y, int w,
           int h, int id) {
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(uintptr_t(id)), nullptr, nullptr);
}

class PaintingTest : public ::testing::Test {
  protected:
    ce::test::TempDevice device{ce::test::TempDevice::Contents::Empty};
};

// The square of a check box, found by its frame at the left of the control.
// The check box's frame: from its top-left corner along its top edge and down its left edge
// (the label's first letter may be just as dark, a few pixels to the right).
RECT boxPart(HWND check) {
    RECT r = screenRectOf(check);
    const COLORREF frame = GetSysColor(COLOR_WINDOWFRAME);
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.left + (r.bottom - r.top); ++x)
            if (at(x, y) == frame) {
                RECT box{x, y, x, y};
                while (box.right < r.right && at(box.right, y) == frame) ++box.right;
                while (box.bottom < r.bottom && at(x, box.bottom) == frame) ++box.bottom;
                return box;
            }
    return RECT{r.left, r.top, r.left, r.top};
}

TEST_F(PaintingTest, TickAppearsAfterATapAndGoesAfterTheNext) {
    ce::test::Driver driver([] {
        return runWindow([](HWND main) {
            child(main, u"BUTTON", u"Clean Temp", BS_AUTOCHECKBOX, 10, 20, 150, 18, kCheckId);
        });
    });
    HWND check = driver.findId(kCheckId);
    ASSERT_NE(check, nullptr);
    const COLORREF ink = GetSysColor(COLOR_WINDOWTEXT);
    RECT box = boxPart(check);
    ASSERT_GE(box.right - box.left, 9) << "no check box frame";
    EXPECT_EQ(box.right - box.left, box.bottom - box.top);
    RECT inner{box.left + 1, box.top + 1, box.right - 1, box.bottom - 1};
    EXPECT_EQ(count(inner, ink), 0);

    driver.tap(check);
    EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_GT(count(inner, ink), 5);

    driver.tap(check);
    EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(count(inner, ink), 0);
    driver.stop();
}

TEST_F(PaintingTest, HiddenWindowLeavesNoPixelsBehind) {
    ce::test::Driver driver([] {
        return runWindow([](HWND main) {
            child(main, u"STATIC", u"Searching the device", 0, 10, 20, 200, 18, kLabelId);
            child(main, u"BUTTON", u"Hide", BS_PUSHBUTTON, 10, 100, 60, 20, kHideId);
        });
    });
    HWND label = driver.findId(kLabelId);
    ASSERT_NE(label, nullptr);
    RECT r = screenRectOf(label);
    const COLORREF background = GetSysColor(COLOR_WINDOW);
    int area = (r.right - r.left) * (r.bottom - r.top);
    ASSERT_LT(count(r, background), area);  // the text is there
    driver.tapText(u"Hide");
    EXPECT_FALSE(IsWindowVisible(label));
    EXPECT_EQ(count(r, background), area);
    driver.stop();
}

TEST_F(PaintingTest, SelectedListEntryIsHighlighted) {
    ce::test::Driver driver([] {
        return runWindow([](HWND main) {
            HWND list =
                child(main, u"LISTBOX", u"", WS_BORDER | LBS_NOTIFY, 10, 20, 200, 100, kListId);
            for (const char16_t* s : {u"\\Temp", u"\\Windows\\Temp", u"\\My Documents\\Temp"})
                SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
        });
    });
    HWND list = driver.findId(kListId);
    ASSERT_NE(list, nullptr);
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    RECT listRect = screenRectOf(list);
    EXPECT_EQ(count(listRect, highlight), 0);

    RECT item{};
    SendMessageW(list, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
    POINT origin{0, 0};
    ClientToScreen(list, &origin);
    OffsetRect(&item, origin.x, origin.y);
    driver.tap((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 1);
    int area = (item.right - item.left) * (item.bottom - item.top);
    EXPECT_GT(count(item, highlight), area / 2);
    // Only that entry.
    EXPECT_EQ(count(listRect, highlight), count(item, highlight));
    // Its text is drawn in the highlight text colour on top.
    EXPECT_GT(count(item, GetSysColor(COLOR_HIGHLIGHTTEXT)), 0);
    driver.stop();
}

TEST_F(PaintingTest, SelectedTabLooksDifferentAndMovesWithTheSelection) {
    ce::test::Driver driver([] {
        return runWindow([](HWND main) {
            HWND tab = child(main, WC_TABCONTROLW, u"", TCS_BOTTOM, 0, 0, 240, 268, kTabId);
            const char16_t* names[] = {u"Temp", u"IE", u"Registry"};
            for (int i = 0; i < 3; ++i) {
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = const_cast<LPWSTR>(names[i]);
                SendMessageW(tab, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
            }
        });
    });
    HWND tab = driver.findId(kTabId);
    ASSERT_NE(tab, nullptr);
    POINT origin{0, 0};
    ClientToScreen(tab, &origin);
    auto tabRect = [&](int i) {
        RECT r{};
        SendMessageW(tab, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r));
        OffsetRect(&r, origin.x, origin.y);
        InflateRect(&r, -2, -2);  // the face, not the edges
        return r;
    };
    COLORREF selected = dominant(tabRect(0)), plain = dominant(tabRect(1));
    EXPECT_NE(selected, plain);
    EXPECT_EQ(dominant(tabRect(2)), plain);

    driver.tapText(u"Registry");
    EXPECT_EQ(SendMessageW(tab, TCM_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(dominant(tabRect(2)), selected);
    EXPECT_EQ(dominant(tabRect(0)), plain);
    driver.stop();
}

TEST_F(PaintingTest, ScreenshotOfAMessageBoxShowsItsCaption) {
    ce::test::Driver driver([] {
        MessageBoxW(nullptr, u"0 Bytes Cleaned", u"Cleaning Finished", MB_OK);
        return 0;
    });
    ASSERT_TRUE(driver.messageBox().has_value());
    auto path = device.outside() / "box.png";
    driver.screenshot(path.string());
    ce::display::Framebuffer shot;
    std::string error;
    ASSERT_TRUE(ce::display::readPng(path.string(), shot, &error)) << error;
    EXPECT_EQ(shot.pixels, ce::display::screen().pixels);

    // The caption is light text on the dark navigation bar, as wide as its extent in the bar's
    // font (normal or bold); the Start flag lies before it and the ok button beyond it.
    auto inkWidth = [&](int y0, int y1, int x0, int x1) {
        int left = x1, right = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (((shot.pixels[size_t(y) * shot.width + x] >> 16) & 0xFF) > 160) {
                    left = std::min(left, x);
                    right = std::max(right, x + 1);
                }
        return right > left ? right - left : 0;
    };
    HDC dc = ce::display::createDC(POINT{0, 0}, RECT{0, 0, 0, 0});
    SIZE normal{}, bold{};
    GetTextExtentPoint32W(dc, u"Cleaning Finished", 17, &normal);
    LOGFONTW lf{};
    lf.lfHeight = -11;
    lf.lfWeight = FW_BOLD;
    HFONT boldFont = CreateFontIndirectW(&lf);
    SelectObject(dc, boldFont);
    GetTextExtentPoint32W(dc, u"Cleaning Finished", 17, &bold);
    ce::display::releaseDC(dc);
    DeleteObject(boldFont);
    int width = inkWidth(0, 26, 24, 200);
    EXPECT_GE(width, normal.cx - 3);
    EXPECT_LE(width, bold.cx + 3);
    driver.answer(IDOK);
    EXPECT_FALSE(driver.running());
}

}  // namespace
