// The host window lives in a module of its own (libcewindow.so, which links SDL2), loaded only
// when a window is opened: a headless run, a script or a silent boot never maps SDL2 and the
// dozens of libraries it brings (X11, Wayland, audio), which would cost every start of every
// program. libceplatform finds the module beside itself and reaches it through this one table.
#pragma once

#include "display/display.h"

#include <memory>
#include <string>

namespace ce::display {

struct Framebuffer;

struct WindowModule {
    // Bumped whenever the table changes, so that a stale module beside a newer platform is
    // refused with a reason rather than called through the wrong entries.
    static constexpr int kVersion = 1;
    int version;
    std::unique_ptr<InputSource> (*open)(int scale, std::string* error);
    SIZE (*size)();
    void (*present)();
    bool (*readBack)(Framebuffer& out);
    bool (*readPixels)(Framebuffer& out);
};

}  // namespace ce::display

// The module's one entry point, looked up by this name.
#define CE_WINDOW_MODULE_ENTRY "ceWindowModule"
extern "C" const ce::display::WindowModule* ceWindowModule();
