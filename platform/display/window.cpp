// The host window: SDL2 shows the screen scaled x2, turns the mouse into the stylus and the
// keyboard into keys and characters for the focus window.
#include "display/gdi.h"
#include "display/input.h"

#include <SDL.h>

#include <cstdio>
#include <deque>

namespace ce::display {

namespace {

constexpr int kScale = 2;

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

// UTF-8 of SDL's text input to UTF-16 units.
std::u16string utf16(const char* s) {
    std::u16string out;
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    while (*p) {
        char32_t c;
        int extra;
        if (*p < 0x80) {
            c = *p;
            extra = 0;
        } else if ((*p >> 5) == 6) {
            c = *p & 0x1F;
            extra = 1;
        } else if ((*p >> 4) == 14) {
            c = *p & 0x0F;
            extra = 2;
        } else if ((*p >> 3) == 30) {
            c = *p & 0x07;
            extra = 3;
        } else {
            ++p;
            continue;
        }
        ++p;
        for (int i = 0; i < extra && (*p & 0xC0) == 0x80; ++i, ++p) c = (c << 6) | (*p & 0x3F);
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(char16_t(0xD800 + (c >> 10)));
            out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(char16_t(c));
        }
    }
    return out;
}

}  // namespace

class HostWindow : public InputSource {
  public:
    static HostWindow* current;

    HostWindow(SDL_Window* window, SDL_Renderer* renderer, SDL_Texture* texture, int w, int h)
        : window_(window), renderer_(renderer), texture_(texture), width_(w), height_(h) {
        current = this;
        SDL_StartTextInput();
    }
    ~HostWindow() override {
        if (current == this)
            current = nullptr;
        SDL_DestroyTexture(texture_);
        SDL_DestroyRenderer(renderer_);
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
        const Framebuffer& fb = screen();
        if (fb.width != width_ || fb.height != height_ || fb.pixels.empty())
            return;
        void* pixels = nullptr;
        int pitch = 0;
        if (SDL_LockTexture(texture_, nullptr, &pixels, &pitch) != 0)
            return;
        bool dim = dimmed();
        for (int y = 0; y < height_; ++y) {
            auto* dst = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(pixels) +
                                                    std::ptrdiff_t(y) * pitch);
            const uint32_t* src = fb.pixels.data() + size_t(y) * width_;
            for (int x = 0; x < width_; ++x)
                dst[x] = dim ? ((src[x] >> 2) & 0x3F3F3F) : src[x];  // a quarter of the brightness
        }
        SDL_UnlockTexture(texture_);
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
        SDL_RenderPresent(renderer_);
    }

    bool readBack(Framebuffer& out) {
        int w = 0, h = 0;
        if (SDL_GetRendererOutputSize(renderer_, &w, &h) != 0 || w <= 0 || h <= 0)
            return false;
        std::vector<uint32_t> scaled(size_t(w) * h);
        // The back buffer is undefined after a present: draw the frame again, then read it.
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
        if (SDL_RenderReadPixels(renderer_, nullptr, SDL_PIXELFORMAT_RGB888, scaled.data(),
                                 w * 4) != 0)
            return false;
        // Sample the centre of each scaled pixel back down to the screen's size.
        out.width = width_;
        out.height = height_;
        out.pixels.resize(size_t(width_) * height_);
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                int sx = (2 * x + 1) * w / (2 * width_), sy = (2 * y + 1) * h / (2 * height_);
                out.pixels[size_t(y) * width_ + x] = scaled[size_t(sy) * w + sx] & 0xFFFFFF;
            }
        return true;
    }

  private:
    void push(InputEvent::Kind kind, int x = 0, int y = 0, UINT vk = 0, WCHAR ch = 0) {
        InputEvent e{kind};
        e.x = x;
        e.y = y;
        e.vk = vk;
        e.ch = ch;
        pending_.push_back(e);
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
                else if (e.window.event == SDL_WINDOWEVENT_EXPOSED)
                    show();
                break;
            case SDL_MOUSEBUTTONDOWN:
                if (e.button.button == SDL_BUTTON_LEFT) {
                    down_ = true;
                    push(Kind::StylusDown, e.button.x / kScale, e.button.y / kScale);
                }
                break;
            case SDL_MOUSEMOTION:
                if (down_)
                    push(Kind::StylusMove, e.motion.x / kScale, e.motion.y / kScale);
                break;
            case SDL_MOUSEBUTTONUP:
                if (e.button.button == SDL_BUTTON_LEFT && down_) {
                    down_ = false;
                    push(Kind::StylusUp, e.button.x / kScale, e.button.y / kScale);
                }
                break;
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                if (UINT vk = virtualKey(e.key.keysym.sym))
                    push(e.type == SDL_KEYDOWN ? Kind::KeyDown : Kind::KeyUp, 0, 0, vk);
                break;
            case SDL_TEXTINPUT:
                for (char16_t c : utf16(e.text.text)) push(Kind::Char, 0, 0, 0, c);
                break;
            default:
                break;
        }
    }

    SDL_Window* window_;
    SDL_Renderer* renderer_;
    SDL_Texture* texture_;
    int width_, height_;
    bool down_ = false;
    std::deque<InputEvent> pending_;
};

HostWindow* HostWindow::current = nullptr;

std::unique_ptr<InputSource> openWindow() {
    if (HostWindow::current) {
        std::fprintf(stderr, "varnello: the device window is already open\n");
        return nullptr;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "varnello: no display (%s); use --headless\n", SDL_GetError());
        return nullptr;
    }
    const Framebuffer& fb = screen();
    int w = fb.width > 0 ? fb.width : 240, h = fb.height > 0 ? fb.height : 320;
    SDL_Window* window = SDL_CreateWindow("Varnello", SDL_WINDOWPOS_CENTERED,
                                          SDL_WINDOWPOS_CENTERED, w * kScale, h * kScale, 0);
    SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, 0) : nullptr;
    if (!renderer && window)
        renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    SDL_Texture* texture = renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888,
                                                        SDL_TEXTUREACCESS_STREAMING, w, h)
                                    : nullptr;
    if (!texture) {
        std::fprintf(stderr, "varnello: cannot open the device window (%s)\n", SDL_GetError());
        if (renderer)
            SDL_DestroyRenderer(renderer);
        if (window)
            SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_RenderSetLogicalSize(renderer, w, h);
    auto host = std::make_unique<HostWindow>(window, renderer, texture, w, h);
    host->show();
    return host;
}

bool readWindow(Framebuffer& out) {
    return HostWindow::current && HostWindow::current->readBack(out);
}

void present() {
    if (HostWindow::current)
        HostWindow::current->show();
}

void setDimmed(bool value) {
    DisplayService* s = service();
    if (!s || s->dimmed == value)
        return;
    s->dimmed = value;
    present();
}

bool dimmed() {
    DisplayService* s = service();
    return s && s->dimmed;
}

}  // namespace ce::display
