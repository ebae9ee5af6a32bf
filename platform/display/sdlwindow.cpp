// The host window: SDL2 shows the screen at a whole scale (or at any size the person drags it
// to, the screen's aspect ratio kept, nearest-neighbour pixels), turns the mouse and touch into
// the stylus and the keyboard into keys and characters for the focus window. This file is the
// window module (libcewindow.so), the only code that links SDL2; window.cpp loads it.
#include "display/gdi.h"
#include "display/input.h"
#include "display/windowmodule.h"
#include "display/xprobe.h"
#include "kernel/text.h"

#include <SDL.h>

#include <string>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <deque>

namespace ce::display {

namespace {

// Virtual-key codes of the keys that are not text.
UINT virtualKey(SDL_Keycode key) {
    switch (key) {
        case SDLK_BACKSPACE:
            return 0x08;  // VK_BACK
        case SDLK_TAB:
            return 0x09;  // VK_TAB
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return 0x0D;  // VK_RETURN
        case SDLK_ESCAPE:
            return 0x1B;  // VK_ESCAPE
        case SDLK_PAGEUP:
            return 0x21;  // VK_PRIOR
        case SDLK_PAGEDOWN:
            return 0x22;  // VK_NEXT
        case SDLK_END:
            return 0x23;
        case SDLK_HOME:
            return 0x24;
        case SDLK_LEFT:
            return 0x25;
        case SDLK_UP:
            return 0x26;
        case SDLK_RIGHT:
            return 0x27;
        case SDLK_DOWN:
            return 0x28;
        case SDLK_INSERT:
            return 0x2D;
        case SDLK_DELETE:
            return 0x2E;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return 0x10;  // VK_SHIFT
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return 0x11;  // VK_CONTROL
        case SDLK_LALT:
        case SDLK_RALT:
            return 0x12;  // VK_MENU
        default:
            break;
    }
    if (key >= SDLK_F1 && key <= SDLK_F12)
        return 0x70 + UINT(key - SDLK_F1);
    return 0;  // a text key: it arrives as characters
}

// Video drivers that show nothing to a person: a window there could never be used.
bool invisibleDriver(const char* name) {
    for (const char* d : {"offscreen", "dummy", "evdev"})
        if (name && SDL_strcasecmp(name, d) == 0)
            return true;
    return false;
}

// Starts SDL's video on a display a person can see. Xlib would wait for ever on an X server that
// takes the connection but never replies, so the server is asked first, within the deadline.
bool startVideo(std::chrono::milliseconds deadline, std::string& error) {
    const char* display = std::getenv("DISPLAY");
    const char* chosen = std::getenv("SDL_VIDEODRIVER");
    const bool x11 =
        display && *display && (!chosen || !*chosen || SDL_strcasecmp(chosen, "x11") == 0);
    if (x11) {
        if (std::string why = probeXServer(display, deadline); !why.empty()) {
            error = why;
            return false;
        }
    }
    // With a display named, SDL falls back to an invisible offscreen window when the display
    // cannot be used; X11 is asked for instead (SDL_VIDEODRIVER still chooses otherwise).
    SDL_SetHint(SDL_HINT_VIDEODRIVER, x11 ? "x11" : nullptr);
    // A tap is a tap, also the one that brings the window to the front.
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        error = SDL_GetError();
        return false;
    }
    if (const char* driver = SDL_GetCurrentVideoDriver(); invisibleDriver(driver)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        error = std::string("SDL offers only an invisible ") + driver + " window";
        return false;
    }
    return true;
}

class HostWindow : public InputSource {
  public:
    static HostWindow* current;

    HostWindow(SDL_Window* window, int w, int h) : window_(window), width_(w), height_(h) {
        current = this;
        SDL_GetWindowSize(window_, &size_.cx, &size_.cy);
        SDL_StartTextInput();
    }
    ~HostWindow() override {
        if (current == this)
            current = nullptr;
        if (frame_)
            SDL_FreeSurface(frame_);
        SDL_DestroyWindow(window_);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    bool wait(InputEvent& event) override {
        while (pending_.empty()) {
            SDL_Event e;
            if (!SDL_WaitEvent(&e))
                return false;
            translate(e);
        }
        event = pending_.front();
        pending_.pop_front();
        return true;
    }

    void show() {
        SDL_Surface* surface = SDL_GetWindowSurface(window_);
        if (!surface || !compose(surface->w, surface->h))
            return;
        SDL_BlitSurface(frame_, nullptr, surface, nullptr);
        SDL_UpdateWindowSurface(window_);
    }

    // What the window shows, window pixel by window pixel.
    bool readWindowPixels(Framebuffer& out) {
        SDL_Surface* surface = SDL_GetWindowSurface(window_);
        SDL_Surface* shown =
            surface ? SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_RGB888, 0) : nullptr;
        if (!shown)
            return false;
        out.width = shown->w;
        out.height = shown->h;
        out.pixels.resize(size_t(shown->w) * shown->h);
        for (int y = 0; y < shown->h; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(
                static_cast<const uint8_t*>(shown->pixels) + std::ptrdiff_t(y) * shown->pitch);
            for (int x = 0; x < shown->w; ++x)
                out.pixels[size_t(y) * shown->w + x] = row[x] & 0xFFFFFF;
        }
        SDL_FreeSurface(shown);
        return true;
    }

    // The centre of each screen pixel as the window shows it.
    bool readBack(Framebuffer& out) {
        Framebuffer shown;
        if (!readWindowPixels(shown))
            return false;
        const RECT view = fitScreen(SIZE{shown.width, shown.height}, screenSize());
        const LONG vw = view.right - view.left, vh = view.bottom - view.top;
        out.width = width_;
        out.height = height_;
        out.pixels.resize(size_t(width_) * height_);
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                LONG sx = view.left + (2 * x + 1) * vw / (2 * width_);
                LONG sy = view.top + (2 * y + 1) * vh / (2 * height_);
                out.pixels[size_t(y) * width_ + x] = shown.pixels[size_t(sy) * shown.width + sx];
            }
        return true;
    }

    // The window's size as SDL knows it now, in window pixels: what input is mapped with.
    SIZE windowSize() const {
        int w = 0, h = 0;
        SDL_GetWindowSize(window_, &w, &h);
        return SIZE{w, h};
    }

  private:
    SIZE screenSize() const { return SIZE{width_, height_}; }

    // The frame at the window's size: each window pixel shows the screen pixel that a tap there
    // reaches (screenPointAt, the one mapping both ways), black around the screen, a quarter as
    // bright while the device is suspended.
    bool compose(int w, int h) {
        const Framebuffer& fb = screen();
        if (fb.width != width_ || fb.height != height_ || fb.pixels.empty() || w <= 0 || h <= 0)
            return false;
        if (!frame_ || frame_->w != w || frame_->h != h) {
            if (frame_)
                SDL_FreeSurface(frame_);
            frame_ = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_RGB888);
            if (!frame_)
                return false;
        }
        const RECT view = fitScreen(SIZE{w, h}, screenSize());
        std::vector<int> column(size_t(w), -1);
        for (int x = int(view.left); x < int(view.right); ++x)
            if (auto p = screenPointAt(view, screenSize(), x + 0.5, view.top + 0.5, false))
                column[size_t(x)] = int(p->x);
        const bool dim = dimmed();
        for (int y = 0; y < h; ++y) {
            auto* dst = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(frame_->pixels) +
                                                    std::ptrdiff_t(y) * frame_->pitch);
            auto p = screenPointAt(view, screenSize(), view.left + 0.5, y + 0.5, false);
            if (!p) {
                std::fill(dst, dst + w, 0u);
                continue;
            }
            const uint32_t* src = fb.pixels.data() + size_t(p->y) * width_;
            for (int x = 0; x < w; ++x) {
                const int c = column[size_t(x)];
                const uint32_t pixel = c < 0 ? 0u : src[c];
                dst[x] = dim ? ((pixel >> 2) & 0x3F3F3F) : pixel;
            }
        }
        return true;
    }

    // A window resized by hand is put to the screen's aspect ratio. A window manager that
    // answers the correction with the person's size again insists, and is not argued with.
    void resized(SIZE now) {
        auto same = [](SIZE a, SIZE b) { return a.cx == b.cx && a.cy == b.cy; };
        if (same(now, asked_)) {  // the correction arriving
            size_ = now;
            show();
            return;
        }
        const bool insisted = same(now, refused_);
        const SIZE fixed = keepAspect(now, size_, screenSize());
        size_ = now;
        refused_ = asked_ = SIZE{0, 0};
        if (!same(fixed, now) && !insisted) {
            refused_ = now;
            asked_ = size_ = fixed;
            SDL_SetWindowSize(window_, int(fixed.cx), int(fixed.cy));
        }
        show();
    }

    void push(InputEvent::Kind kind, int x = 0, int y = 0, UINT vk = 0, WCHAR ch = 0) {
        InputEvent e{kind};
        e.x = x;
        e.y = y;
        e.vk = vk;
        e.ch = ch;
        pending_.push_back(e);
    }

    // The stylus at a point of the window (window pixels, fractions allowed). It goes down only
    // on the screen; once down it follows the pointer anywhere, held to the screen's edges.
    void stylus(InputEvent::Kind kind, double x, double y) {
        using Kind = InputEvent::Kind;
        if (kind != Kind::StylusDown && !down_)
            return;
        const RECT view = fitScreen(windowSize(), screenSize());
        std::optional<POINT> p = screenPointAt(view, screenSize(), x, y, kind != Kind::StylusDown);
        if (!p)
            return;
        down_ = kind != Kind::StylusUp;
        push(kind, int(p->x), int(p->y));
    }

    void translate(const SDL_Event& e) {
        using Kind = InputEvent::Kind;
        switch (e.type) {
            case SDL_QUIT:
                push(Kind::Close);
                break;
            case SDL_WINDOWEVENT:
                if (e.window.event == SDL_WINDOWEVENT_CLOSE)
                    push(Kind::Close);
                else if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
                    resized(SIZE{e.window.data1, e.window.data2});
                else if (e.window.event == SDL_WINDOWEVENT_EXPOSED)
                    show();
                break;
            // Touch arrives both as fingers and as mouse events SDL makes from them: the
            // fingers are taken, their mouse copies left, so that a touch lands once.
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
                if (e.button.button == SDL_BUTTON_LEFT && e.button.which != SDL_TOUCH_MOUSEID)
                    stylus(e.type == SDL_MOUSEBUTTONDOWN ? Kind::StylusDown : Kind::StylusUp,
                           e.button.x, e.button.y);
                break;
            case SDL_MOUSEMOTION:
                if (e.motion.which != SDL_TOUCH_MOUSEID)
                    stylus(Kind::StylusMove, e.motion.x, e.motion.y);
                break;
            case SDL_FINGERDOWN:
            case SDL_FINGERMOTION:
            case SDL_FINGERUP:
                finger(e.tfinger);
                break;
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                if (UINT vk = virtualKey(e.key.keysym.sym))
                    push(e.type == SDL_KEYDOWN ? Kind::KeyDown : Kind::KeyUp, 0, 0, vk);
                break;
            case SDL_TEXTINPUT:
                for (char16_t c : kernel::fromUtf8(e.text.text)) push(Kind::Char, 0, 0, 0, c);
                break;
            default:
                break;
        }
    }

    // One finger is the stylus: the first that touches, until it lifts. Its place comes as
    // fractions of the window.
    void finger(const SDL_TouchFingerEvent& f) {
        using Kind = InputEvent::Kind;
        if (f.type == SDL_FINGERDOWN) {
            if (finger_)
                return;
            finger_ = f.fingerId;
        } else if (!finger_ || *finger_ != f.fingerId) {
            return;
        }
        const Kind kind = f.type == SDL_FINGERDOWN ? Kind::StylusDown
                          : f.type == SDL_FINGERUP ? Kind::StylusUp
                                                   : Kind::StylusMove;
        if (kind == Kind::StylusUp)
            finger_.reset();
        const SIZE size = windowSize();
        stylus(kind, double(f.x) * size.cx, double(f.y) * size.cy);
    }

    SDL_Window* window_;
    SDL_Surface* frame_ = nullptr;  // the screen scaled to the window
    int width_, height_;
    SIZE size_{0, 0};     // the size the last resize gave, to tell which side was dragged
    SIZE refused_{0, 0};  // a size just corrected, in case the window manager sends it again
    SIZE asked_{0, 0};    // the size it was corrected to
    bool down_ = false;
    std::optional<SDL_FingerID> finger_;
    std::deque<InputEvent> pending_;
};

HostWindow* HostWindow::current = nullptr;

std::unique_ptr<InputSource> open(int scale, std::string* error) {
    auto fail = [error](const std::string& why) -> std::unique_ptr<InputSource> {
        if (error)
            *error = why;
        return nullptr;
    };
    if (HostWindow::current)
        return fail("the device window is already open");
    std::string why;
    if (!startVideo(kDisplayDeadline, why))
        return fail(why);
    // An X server at 8 bits per pixel (xvfb-run's default screen) has a colour map SDL leaves
    // empty: the window would show one flat colour.
    SDL_DisplayMode mode{};
    if (SDL_GetCurrentDisplayMode(0, &mode) == 0 && SDL_BITSPERPIXEL(mode.format) < 15) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return fail(
            "its screen has fewer than 15 bits per pixel; start it with 24, as with "
            "xvfb-run -s '-screen 0 1024x768x24'");
    }
    const Framebuffer& fb = screen();
    const int w = fb.width > 0 ? fb.width : 240, h = fb.height > 0 ? fb.height : 320;
    scale = std::clamp(scale, 1, kMaxScale);
    // A window larger than the screen would hang off its edges, the navigation bar's ok out of
    // reach: the scale is lowered to the largest whose window fits.
    SDL_Rect usable{};
    if (SDL_GetDisplayUsableBounds(0, &usable) == 0)
        while (scale > 1 && (w * scale > usable.w || h * scale > usable.h)) --scale;
    SDL_Window* window =
        SDL_CreateWindow("Varnello", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w * scale,
                         h * scale, SDL_WINDOW_RESIZABLE);
    if (!window) {
        why = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return fail("no window: " + why);
    }
    SDL_SetWindowMinimumSize(window, w, h);
    auto host = std::make_unique<HostWindow>(window, w, h);
    host->show();
    return host;
}

SIZE size() {
    return HostWindow::current ? HostWindow::current->windowSize() : SIZE{0, 0};
}

void show() {
    if (HostWindow::current)
        HostWindow::current->show();
}

bool readBack(Framebuffer& out) {
    return HostWindow::current && HostWindow::current->readBack(out);
}

bool readPixels(Framebuffer& out) {
    return HostWindow::current && HostWindow::current->readWindowPixels(out);
}

constexpr WindowModule kModule{WindowModule::kVersion, open, size, show, readBack, readPixels};

}  // namespace

}  // namespace ce::display

extern "C" __attribute__((visibility("default"))) const ce::display::WindowModule*
ceWindowModule() {
    return &ce::display::kModule;
}
