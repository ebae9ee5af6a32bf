// The host window: what a person does with mouse and keyboard arrives as stylus and key events
// at screen coordinates, closing the window asks the device to switch off, and the window shows
// the framebuffer (dimmed while the device is suspended).
#include <vector>

#include <windows.h>

#include "display/display.h"
#include "display/gdi.h"
#include "gwes/gwes.h"
#include "gwes/input.h"
#include "testing/device.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using ce::gwes::InputEvent;

namespace {

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "no X display (xvfb-run is not installed)";
        window = ce::display::openWindow();
        ASSERT_NE(window, nullptr);
    }

    static void pushMouse(Uint32 type, int x, int y) {
        SDL_Event e{};
        e.type = type;
        if (type == SDL_MOUSEMOTION) {
            e.motion.x = x;
            e.motion.y = y;
            e.motion.state = SDL_BUTTON_LMASK;
        } else {
            e.button.button = SDL_BUTTON_LEFT;
            e.button.x = x;
            e.button.y = y;
            e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        }
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    static void pushKey(Uint32 type, SDL_Keycode key) {
        SDL_Event e{};
        e.type = type;
        e.key.keysym.sym = key;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    InputEvent next() {
        InputEvent e{InputEvent::Kind::Close};
        EXPECT_TRUE(window->wait(e));
        return e;
    }

    ce::test::TempDevice device{ce::test::TempDevice::Contents::Empty};
    std::unique_ptr<ce::gwes::InputSource> window;
};

TEST_F(WindowTest, MouseIsTheStylusAtHalfTheWindowCoordinates) {
    pushMouse(SDL_MOUSEMOTION, 10, 10);  // hovering without a press is no stylus event
    pushMouse(SDL_MOUSEBUTTONDOWN, 101, 201);
    pushMouse(SDL_MOUSEMOTION, 140, 260);
    pushMouse(SDL_MOUSEBUTTONUP, 141, 261);
    InputEvent down = next();
    EXPECT_EQ(down.kind, InputEvent::Kind::StylusDown);
    EXPECT_EQ(down.x, 50);
    EXPECT_EQ(down.y, 100);
    InputEvent move = next();
    EXPECT_EQ(move.kind, InputEvent::Kind::StylusMove);
    EXPECT_EQ(move.x, 70);
    EXPECT_EQ(move.y, 130);
    InputEvent up = next();
    EXPECT_EQ(up.kind, InputEvent::Kind::StylusUp);
    EXPECT_EQ(up.x, 70);
    EXPECT_EQ(up.y, 130);
}

TEST_F(WindowTest, KeysBecomeVirtualKeysAndTextBecomesCharacters) {
    pushKey(SDL_KEYDOWN, SDLK_RETURN);
    pushKey(SDL_KEYUP, SDLK_RETURN);
    pushKey(SDL_KEYDOWN, SDLK_a);  // a text key: its character comes as text input
    SDL_Event text{};
    text.type = SDL_TEXTINPUT;
    std::strcpy(text.text.text, "a\xC3\xA9");  // "aé"
    ASSERT_EQ(SDL_PushEvent(&text), 1);
    pushKey(SDL_KEYDOWN, SDLK_DOWN);

    InputEvent e = next();
    EXPECT_EQ(e.kind, InputEvent::Kind::KeyDown);
    EXPECT_EQ(e.vk, 0x0Du);
    e = next();
    EXPECT_EQ(e.kind, InputEvent::Kind::KeyUp);
    EXPECT_EQ(e.vk, 0x0Du);
    e = next();
    EXPECT_EQ(e.kind, InputEvent::Kind::Char);
    EXPECT_EQ(e.ch, u'a');
    e = next();
    EXPECT_EQ(e.kind, InputEvent::Kind::Char);
    EXPECT_EQ(e.ch, u'\u00E9');
    e = next();
    EXPECT_EQ(e.kind, InputEvent::Kind::KeyDown);
    EXPECT_EQ(e.vk, 0x28u);  // VK_DOWN
}

TEST_F(WindowTest, ClosingTheWindowSwitchesTheDeviceOff) {
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);
    EXPECT_EQ(next().kind, InputEvent::Kind::Close);
}

TEST_F(WindowTest, WindowShowsTheScreenAndDimsWhileSuspended) {
    HDC dc = ce::display::createDC(POINT{0, 0}, RECT{0, 0, 240, 320});
    RECT all{0, 0, 240, 320}, corner{0, 0, 120, 160};
    FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    HBRUSH red = CreateSolidBrush(RGB(200, 0, 0));
    FillRect(dc, &corner, red);
    ce::display::present();
    ce::display::Framebuffer shown;
    ASSERT_TRUE(ce::display::readWindow(shown));
    ASSERT_EQ(shown.width, 240);
    EXPECT_EQ(shown.pixels[0], 0xC80000u);
    EXPECT_EQ(shown.pixels[size_t(200) * 240 + 200], 0xFFFFFFu);

    ce::display::setDimmed(true);
    ASSERT_TRUE(ce::display::readWindow(shown));
    uint32_t dim = shown.pixels[size_t(200) * 240 + 200];
    EXPECT_LT(dim & 0xFF, 0x80u);
    EXPECT_EQ(ce::display::screen().pixels[size_t(200) * 240 + 200],
              0xFFFFFFu);  // only the view dims
    ce::display::setDimmed(false);
    ASSERT_TRUE(ce::display::readWindow(shown));
    EXPECT_EQ(shown.pixels[size_t(200) * 240 + 200], 0xFFFFFFu);
    DeleteObject(red);
    ce::display::releaseDC(dc);
}

TEST_F(WindowTest, OnlyOneWindowAtATime) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(ce::display::openWindow(), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("already open"), std::string::npos);
}

}  // namespace

TEST(NoDisplayTest, OpenWindowSaysSoAndReturnsNothing) {
    ce::test::TempDevice device{ce::test::TempDevice::Contents::Empty};
    const char* saved = std::getenv("DISPLAY");
    std::string keep = saved ? saved : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("SDL_VIDEODRIVER", "x11", 1);
    testing::internal::CaptureStderr();
    auto window = ce::display::openWindow();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(window, nullptr);
    EXPECT_NE(err.find("no display"), std::string::npos);
    unsetenv("SDL_VIDEODRIVER");
    if (saved)
        setenv("DISPLAY", keep.c_str(), 1);
}

// The whole path: a program's check box is clicked in the window and shows its tick there.
namespace {

LRESULT CALLBACK plainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

TEST_F(WindowTest, ClickingACheckBoxInTheWindowTicksIt) {
    ce::gwes::Gwes* gwes = ce::gwes::state();
    ASSERT_NE(gwes, nullptr);
    gwes->input = window.get();
    WNDCLASSW wc{};
    wc.lpfnWndProc = plainProc;
    wc.hbrBackground = (HBRUSH)(uintptr_t)(COLOR_WINDOW | SYS_COLOR_INDEX_FLAG);
    wc.lpszClassName = u"SmokeTest";
    RegisterClassW(&wc);
    HWND main = CreateWindowExW(0, u"SmokeTest", u"Smoke", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
    HWND check =
        CreateWindowExW(0, u"BUTTON", u"Clean Temp", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 10,
                        20, 150, 18, main, reinterpret_cast<HMENU>(uintptr_t(7)), nullptr, nullptr);
    ASSERT_NE(check, nullptr);
    RECT r{};
    GetWindowRect(check, &r);
    // The box sits at the control's left end; click it in window pixels (the screen x2).
    int x = r.left + 6, y = (r.top + r.bottom) / 2;
    pushMouse(SDL_MOUSEBUTTONDOWN, 2 * x, 2 * y);
    pushMouse(SDL_MOUSEBUTTONUP, 2 * x, 2 * y);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);

    bool closed = false;
    try {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    } catch (const ce::gwes::ProgramEnd& end) {
        closed = end.reason == ce::gwes::ProgramEnd::Reason::Closed;
    }
    gwes->input = nullptr;
    EXPECT_TRUE(closed);
    EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_CHECKED);

    // What the window shows: the tick inside the box, in the text colour.
    ce::display::Framebuffer shown;
    ASSERT_TRUE(ce::display::readWindow(shown));
    const uint32_t ink = 0;  // COLOR_WINDOWTEXT is black
    int tick = 0;
    for (int py = r.top + 4; py < r.bottom - 4; ++py)
        for (int px = r.left + 2; px < r.left + 11; ++px)
            tick += shown.pixels[size_t(py) * 240 + px] == ink;
    EXPECT_GT(tick, 5);
}
