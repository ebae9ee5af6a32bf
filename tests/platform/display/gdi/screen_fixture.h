// A fresh device with a DC on the whole screen, and pixel readers.
#pragma once

#include <vector>

#include <windows.h>

#include "display/display.h"
#include "testing/device.h"

#include <gtest/gtest.h>

#include <set>

inline bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline void PrintTo(const RECT& r, std::ostream* os) {
    *os << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

class ScreenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dc = ce::display::createDC(POINT{0, 0}, RECT{0, 0, 240, 320});
        ASSERT_NE(dc, nullptr);
        RECT all{0, 0, 240, 320};
        FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    }
    void TearDown() override { ce::display::releaseDC(dc); }

    // The screen pixel as a COLORREF.
    static COLORREF at(int x, int y) {
        const auto& fb = ce::display::screen();
        uint32_t p = fb.pixels[size_t(y) * fb.width + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // How many pixels of the rectangle differ from `background`.
    static int countNot(const RECT& r, COLORREF background) {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) n += at(x, y) != background;
        return n;
    }
    // Bounding box of the pixels differing from `background` (empty when none).
    static RECT inkBox(const RECT& r, COLORREF background) {
        RECT box{r.right, r.bottom, r.left, r.top};
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (at(x, y) != background) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1);
                    box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
        if (box.right <= box.left)
            box = RECT{0, 0, 0, 0};
        return box;
    }
    static std::set<COLORREF> colours(const RECT& r) {
        std::set<COLORREF> out;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) out.insert(at(x, y));
        return out;
    }

    ce::test::TempDevice device{ce::test::TempDevice::Contents::Empty};
    HDC dc = nullptr;
    static constexpr COLORREF kWhite = RGB(255, 255, 255);
    static constexpr COLORREF kBlack = RGB(0, 0, 0);
};
