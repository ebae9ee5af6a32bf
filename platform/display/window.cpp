// The host window as the rest of the platform sees it: where the screen lies in a window of any
// size (pure geometry, shared by the window and its tests), and the window module that shows it.
// The module (sdlwindow.cpp, built as libcewindow.so) is the only code that links SDL2; it is
// loaded from the folder this library was loaded from, the first time a window is opened, so a
// run without a window never pays for mapping SDL2 and what it pulls in.
#include "display/gdi.h"
#include "display/windowmodule.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cmath>

#ifndef CE_WINDOW_MODULE_FILE
#error "CE_WINDOW_MODULE_FILE names the window module's file (platform/display/CMakeLists.txt)"
#endif

namespace ce::display {

namespace {

// The module once it is loaded; until then there is no window to show, measure or read.
std::atomic<const WindowModule*> loaded{nullptr};

// What dlerror says, on one line: the launcher quotes the reason within its own line.
std::string loaderError() {
    const char* why = dlerror();
    std::string text = why ? why : "unknown error";
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

struct Loading {
    const WindowModule* module = nullptr;
    std::string error;  // why there is no module
};

// Loads the module beside this library, once: SDL2 and the X libraries are never unloaded,
// nor is the module, so a failure is final too.
Loading loadModule() {
    const std::string file = libraryFolder() + CE_WINDOW_MODULE_FILE;
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return {nullptr, "the window module cannot be loaded: " + loaderError()};
    using Entry = const WindowModule* (*)();
    auto entry = reinterpret_cast<Entry>(dlsym(handle, CE_WINDOW_MODULE_ENTRY));
    const WindowModule* module = entry ? entry() : nullptr;
    if (!module || module->version != WindowModule::kVersion) {
        dlclose(handle);
        return {nullptr, "the window module " + file + " does not belong to this build"};
    }
    return {module, {}};
}

const Loading& windowModule() {
    static const Loading loading = [] {
        Loading l = loadModule();
        loaded = l.module;
        return l;
    }();
    return loading;
}

}  // namespace

std::string libraryFolder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<const void*>(&libraryFolder), &info) || !info.dli_fname)
        return {};
    const std::string file = info.dli_fname;
    const size_t cut = file.rfind('/');
    return cut == std::string::npos ? std::string() : file.substr(0, cut + 1);
}

std::unique_ptr<InputSource> openWindow(int scale, std::string* error) {
    const Loading& l = windowModule();
    if (!l.module) {
        if (error)
            *error = l.error;
        return nullptr;
    }
    return l.module->open(scale, error);
}

SIZE windowSize() {
    const WindowModule* m = loaded;
    return m ? m->size() : SIZE{0, 0};
}

void present() {
    if (const WindowModule* m = loaded)
        m->present();
}

bool readWindow(Framebuffer& out) {
    const WindowModule* m = loaded;
    return m && m->readBack(out);
}

bool readWindowPixels(Framebuffer& out) {
    const WindowModule* m = loaded;
    return m && m->readPixels(out);
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

RECT fitScreen(SIZE window, SIZE screen) {
    if (window.cx <= 0 || window.cy <= 0 || screen.cx <= 0 || screen.cy <= 0)
        return RECT{0, 0, 0, 0};
    LONG w = window.cx, h = window.cy;
    if (int64_t(window.cx) * screen.cy <= int64_t(window.cy) * screen.cx)
        h = LONG(std::lround(double(window.cx) * screen.cy / screen.cx));
    else
        w = LONG(std::lround(double(window.cy) * screen.cx / screen.cy));
    LONG x = (window.cx - w) / 2, y = (window.cy - h) / 2;
    return RECT{x, y, x + w, y + h};
}

std::optional<POINT> screenPointAt(const RECT& view, SIZE screen, double x, double y,
                                   bool clampToScreen) {
    const double w = view.right - view.left, h = view.bottom - view.top;
    if (w <= 0 || h <= 0)
        return std::nullopt;
    LONG sx = LONG(std::floor((x - view.left) * screen.cx / w));
    LONG sy = LONG(std::floor((y - view.top) * screen.cy / h));
    bool inside = sx >= 0 && sy >= 0 && sx < screen.cx && sy < screen.cy;
    if (!inside && !clampToScreen)
        return std::nullopt;
    return POINT{std::clamp<LONG>(sx, 0, screen.cx - 1), std::clamp<LONG>(sy, 0, screen.cy - 1)};
}

SIZE keepAspect(SIZE now, SIZE before, SIZE screen) {
    if (screen.cx <= 0 || screen.cy <= 0)
        return now;
    // The side the person dragged further leads; the other follows it.
    const double dw = std::abs(now.cx - before.cx) / double(screen.cx);
    const double dh = std::abs(now.cy - before.cy) / double(screen.cy);
    const double factor =
        std::max(1.0, dw >= dh ? double(now.cx) / screen.cx : double(now.cy) / screen.cy);
    return SIZE{LONG(std::lround(screen.cx * factor)), LONG(std::lround(screen.cy * factor))};
}

}  // namespace ce::display
