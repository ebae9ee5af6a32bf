// The host window: what a person does with mouse, touch and keyboard arrives as stylus and key
// events at screen coordinates, whatever the window's size; closing the window asks the device to
// switch off, and the window shows the framebuffer (dimmed while the device is suspended).
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
        if (std::system("command -v xdotool >/dev/null") != 0)
            GTEST_SKIP() << "xdotool is not installed (tools/deps installs it)";
        std::string error;
        window = ce::display::openWindow(ce::display::kDefaultScale, &error);
        ASSERT_NE(window, nullptr) << error;
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
    static void pushFinger(Uint32 type, SDL_FingerID id, float x, float y) {
        SDL_Event e{};
        e.type = type;
        e.tfinger.touchId = 1;
        e.tfinger.fingerId = id;
        e.tfinger.x = x;
        e.tfinger.y = y;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    static void pushKey(Uint32 type, SDL_Keycode key) {
        SDL_Event e{};
        e.type = type;
        e.key.keysym.sym = key;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    // As a person drags the window's corner (xdotool resizes the X window); returns once the
    // window has the size `want` (the one asked for, or the one the window puts right).
    void resizeByHand(int w, int h, SIZE want) {
        std::string command = "xdotool search --name '^Varnello$' windowsize " + std::to_string(w) +
                              " " + std::to_string(h);
        ASSERT_EQ(std::system(command.c_str()), 0);
        awaitSize(want);
    }
    // Lets the window take its events until it has this size (a key wakes it each time). SDL
    // knows a new size when it queues the event that tells it; one more key, queued after that
    // event, returns once the window has taken it.
    void awaitSize(SIZE want) {
        for (int i = 0; i < 500; ++i) {
            SIZE now = ce::display::windowSize();
            if (now.cx == want.cx && now.cy == want.cy) {
                pushKey(SDL_KEYDOWN, SDLK_TAB);
                next();
                return;
            }
            SDL_Delay(10);
            pushKey(SDL_KEYDOWN, SDLK_TAB);
            next();
        }
        FAIL() << "the window never became " << want.cx << " x " << want.cy;
    }
    InputEvent next() {
        InputEvent e{InputEvent::Kind::Close};
        EXPECT_TRUE(window->wait(e));
        return e;
    }
    // The next event is this stylus event at this screen point.
    void expectStylus(InputEvent::Kind kind, int x, int y) {
        InputEvent e = next();
        EXPECT_EQ(int(e.kind), int(kind));
        EXPECT_EQ(e.x, x);
        EXPECT_EQ(e.y, y);
    }

    ce::test::TempDevice device{ce::test::TempDevice::Contents::Empty};
    std::unique_ptr<ce::gwes::InputSource> window;
};

TEST_F(WindowTest, MouseIsTheStylusAtTheScreenPixelUnderIt) {
    pushMouse(SDL_MOUSEMOTION, 10, 10);  // hovering without a press is no stylus event
    pushMouse(SDL_MOUSEBUTTONDOWN, 101, 201);
    pushMouse(SDL_MOUSEMOTION, 140, 260);
    pushMouse(SDL_MOUSEBUTTONUP, 141, 261);
    expectStylus(InputEvent::Kind::StylusDown, 50, 100);
    expectStylus(InputEvent::Kind::StylusMove, 70, 130);
    expectStylus(InputEvent::Kind::StylusUp, 70, 130);
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
    std::string error;
    EXPECT_EQ(ce::display::openWindow(1, &error), nullptr);
    EXPECT_NE(error.find("already open"), std::string::npos) << error;
}

// A touch is the stylus once: SDL also makes mouse events of it, which must not tap again.
TEST_F(WindowTest, TouchIsTheStylusOnceAndOnlyItsFirstFinger) {
    pushFinger(SDL_FINGERDOWN, 5, 0.25f, 0.5f);
    SDL_Event copy{};
    copy.type = SDL_MOUSEBUTTONDOWN;
    copy.button.which = SDL_TOUCH_MOUSEID;
    copy.button.button = SDL_BUTTON_LEFT;
    copy.button.x = 120;
    copy.button.y = 320;
    ASSERT_EQ(SDL_PushEvent(&copy), 1);
    pushFinger(SDL_FINGERDOWN, 6, 0.9f, 0.9f);  // a second finger is not a second stylus
    pushFinger(SDL_FINGERMOTION, 6, 0.8f, 0.8f);
    pushFinger(SDL_FINGERUP, 5, 0.5f, 0.75f);
    pushKey(SDL_KEYDOWN, SDLK_ESCAPE);

    expectStylus(InputEvent::Kind::StylusDown, 60, 160);
    expectStylus(InputEvent::Kind::StylusUp, 120, 240);
    EXPECT_EQ(next().kind, InputEvent::Kind::KeyDown);
}

// A window dragged to another size shows the screen as large as fits, and a click lands on the
// screen pixel drawn under it; a size off the screen's aspect ratio is put right, the side the
// person dragged further leading.
TEST_F(WindowTest, InputFollowsTheWindowsSizeAndTheAspectRatioIsKept) {
    resizeByHand(720, 960, SIZE{720, 960});  // three window pixels per screen pixel
    pushMouse(SDL_MOUSEBUTTONDOWN, 301, 602);
    pushMouse(SDL_MOUSEBUTTONUP, 719, 959);
    expectStylus(InputEvent::Kind::StylusDown, 100, 200);
    expectStylus(InputEvent::Kind::StylusUp, 239, 319);

    resizeByHand(900, 970, SIZE{900, 1200});  // the width moved further: the height follows
    resizeByHand(910, 640, SIZE{480, 640});   // now the height did
    ce::display::Framebuffer shown;
    ASSERT_TRUE(ce::display::readWindow(shown));
    EXPECT_EQ(shown.width, 240);
}

// At a size that is no whole scale, every window pixel shows the screen pixel that a click there
// reaches: each screen pixel is painted in a colour of its own and the window read back.
TEST_F(WindowTest, EveryWindowPixelShowsThePixelAClickThereReaches) {
    ce::display::Framebuffer& fb = ce::display::screen();
    ASSERT_EQ(fb.width, 240);
    std::vector<uint32_t> saved = fb.pixels;
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 240; ++x) fb.pixels[size_t(y) * 240 + x] = uint32_t(y << 8 | x);
    resizeByHand(552, 700, SIZE{552, 736});  // 2.3 window pixels per screen pixel
    ce::display::Framebuffer shown;
    ASSERT_TRUE(ce::display::readWindowPixels(shown));
    const SIZE size = ce::display::windowSize();
    ASSERT_EQ(shown.width, size.cx);
    const RECT view = ce::display::fitScreen(size, SIZE{240, 320});
    int onScreen = 0;
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x) {
            auto p = ce::display::screenPointAt(view, SIZE{240, 320}, x + 0.5, y + 0.5, false);
            uint32_t seen = shown.pixels[size_t(y) * shown.width + x];
            if (!p) {
                ASSERT_EQ(seen, 0u) << x << "," << y;  // the black band
                continue;
            }
            ++onScreen;
            ASSERT_EQ(seen, uint32_t(p->y << 8 | p->x)) << "window pixel " << x << "," << y;
        }
    EXPECT_GT(onScreen, 240 * 320 * 4);
    fb.pixels = saved;
}

// A window manager that insists on a size off the screen's aspect ratio gets it: the screen sits
// in the middle with black bands beside it, and a press on a band is no tap. While the stylus is
// down the pointer may leave the screen: the stylus stays on the screen's edge.
TEST_F(WindowTest, OnASizeTheWindowSystemInsistsOnTheBandsBesideTheScreenAreNoScreen) {
    resizeByHand(960, 640, SIZE{960, 1280});
    resizeByHand(960, 640, SIZE{960, 640});  // asked again: the window system insists
    ce::display::Framebuffer shown;
    ASSERT_TRUE(ce::display::readWindowPixels(shown));
    ASSERT_EQ(shown.width, 960);
    ASSERT_EQ(shown.height, 640);
    EXPECT_EQ(shown.pixels[size_t(300) * 960 + 100], 0u);  // a band
    EXPECT_EQ(shown.pixels[size_t(300) * 960 + 480], 0xFFFFFFu) << "the screen";
    EXPECT_EQ(shown.pixels[size_t(300) * 960 + 860], 0u);
    ce::display::Framebuffer screen;
    ASSERT_TRUE(ce::display::readWindow(screen));
    EXPECT_EQ(screen.pixels, ce::display::screen().pixels);  // the screen whole, in the middle

    pushMouse(SDL_MOUSEBUTTONDOWN, 100, 300);  // on the band: nothing
    pushMouse(SDL_MOUSEBUTTONUP, 100, 300);
    pushMouse(SDL_MOUSEBUTTONDOWN, 241, 1);
    pushMouse(SDL_MOUSEMOTION, -50, 700);
    pushMouse(SDL_MOUSEBUTTONUP, 2000, -3);
    expectStylus(InputEvent::Kind::StylusDown, 0, 0);
    expectStylus(InputEvent::Kind::StylusMove, 0, 319);
    expectStylus(InputEvent::Kind::StylusUp, 239, 0);
}

}  // namespace

// Where the screen lies in a window and which pixel a window point is on, at whole and other
// scales; what a hand-made size is corrected to.
TEST(ScreenViewTest, TheScreenFillsTheWindowAtItsAspectRatio) {
    const SIZE screen{240, 320};
    RECT v = ce::display::fitScreen(SIZE{480, 640}, screen);
    EXPECT_EQ(v.left, 0);
    EXPECT_EQ(v.right, 480);
    EXPECT_EQ(v.bottom, 640);
    v = ce::display::fitScreen(SIZE{500, 640}, screen);  // 10 black columns each side
    EXPECT_EQ(v.left, 10);
    EXPECT_EQ(v.right, 490);
    v = ce::display::fitScreen(SIZE{480, 700}, screen);  // 30 black rows above and below
    EXPECT_EQ(v.top, 30);
    EXPECT_EQ(v.bottom, 670);
    v = ce::display::fitScreen(SIZE{0, 700}, screen);
    EXPECT_EQ(v.right - v.left, 0);

    const RECT one{0, 0, 240, 320}, half{0, 0, 360, 480};
    // A window pixel gives the screen pixel under its centre.
    for (int x = 0; x < 360; ++x)
        ASSERT_EQ(ce::display::screenPointAt(half, screen, x + 0.5, 0, false)->x, (2 * x + 1) / 3)
            << x;
    EXPECT_EQ(ce::display::screenPointAt(one, screen, 239.9, 319.9, false)->y, 319);
    EXPECT_FALSE(ce::display::screenPointAt(one, screen, 240, 10, false));
    EXPECT_FALSE(ce::display::screenPointAt(one, screen, -0.5, 10, false));
    EXPECT_EQ(ce::display::screenPointAt(one, screen, -7, 400, true)->y, 319);

    // The side dragged further leads; never smaller than the screen itself.
    SIZE s = ce::display::keepAspect(SIZE{600, 650}, SIZE{480, 640}, screen);
    EXPECT_EQ(s.cx, 600);
    EXPECT_EQ(s.cy, 800);
    s = ce::display::keepAspect(SIZE{490, 960}, SIZE{480, 640}, screen);
    EXPECT_EQ(s.cx, 720);
    EXPECT_EQ(s.cy, 960);
    s = ce::display::keepAspect(SIZE{100, 120}, SIZE{480, 640}, screen);
    EXPECT_EQ(s.cx, 240);
    EXPECT_EQ(s.cy, 320);
    // A corrected size is corrected to itself: no tug of war with the window system.
    for (LONG w = 240; w < 1000; ++w) {
        SIZE fixed = ce::display::keepAspect(SIZE{w, 300}, SIZE{w - 40, 300}, screen);
        SIZE again = ce::display::keepAspect(fixed, SIZE{w, 300}, screen);
        ASSERT_EQ(again.cx, fixed.cx) << w;
        ASSERT_EQ(again.cy, fixed.cy) << w;
    }
}

// With no display, or with a display where SDL would give only an invisible offscreen window,
// no window opens and the reason is given.
TEST(NoDisplayTest, OpenWindowGivesTheReasonAndNothingElse) {
    ce::test::TempDevice device{ce::test::TempDevice::Contents::Empty};
    const char* saved = std::getenv("DISPLAY");
    std::string keep = saved ? saved : "";
    unsetenv("WAYLAND_DISPLAY");
    struct Case {
        const char* display;  // nullptr: none
        const char* driver;   // SDL_VIDEODRIVER, nullptr: unset
    };
    for (const Case& c : {Case{nullptr, "x11"}, Case{nullptr, nullptr}, Case{":213", nullptr},
                          Case{":213", "offscreen"}}) {
        c.display ? setenv("DISPLAY", c.display, 1) : unsetenv("DISPLAY");
        c.driver ? setenv("SDL_VIDEODRIVER", c.driver, 1) : unsetenv("SDL_VIDEODRIVER");
        std::string error;
        auto window = ce::display::openWindow(2, &error);
        EXPECT_EQ(window, nullptr) << (c.display ? c.display : "-");
        EXPECT_FALSE(error.empty());
        if (c.driver && std::string(c.driver) == "offscreen")
            EXPECT_NE(error.find("offscreen"), std::string::npos) << error;
    }
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
