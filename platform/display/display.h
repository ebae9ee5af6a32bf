// The screen: the device's framebuffer, device contexts on it, PNG screenshots, icons, and the
// host window that shows it.
#pragma once

#include <ce/wintypes.h>

#include <cstdint>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "display/input.h"

namespace ce::display {

// 0x00RRGGBB pixels, row-major, width * height of them.
struct Framebuffer {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// The current device's framebuffer, sized from the device's screen size on first use.
// With no device open it is empty (0 x 0).
Framebuffer& screen();

// A device context that draws into the screen with its origin (0, 0) at the given screen point
// and clipped to the given screen rectangle. GWES uses it for BeginPaint/GetDC; released by
// ReleaseDC/EndPaint through releaseDC.
HDC createDC(POINT originOnScreen, const RECT& clipOnScreen);
void releaseDC(HDC dc);

// Writes the framebuffer as PNG; false and a message on failure.
bool writePng(const Framebuffer& fb, const std::string& path, std::string* error);
// Reads a PNG written by writePng (or any 8-bit RGB/RGBA/grey PNG); false and a message on
// failure.
bool readPng(const std::string& path, Framebuffer& fb, std::string* error);

// Called by GWES when painting is done and the program is about to wait: the host window,
// if there is one, shows the new frame.
void present();

// An icon from 0xAARRGGBB pixels (row-major, top-down; alpha 0 is transparent). GWES makes
// HICONs from .ico resources this way; DrawIconEx/DrawIcon draw them, DestroyIcon frees them.
HICON createIcon(int width, int height, const uint32_t* argb);
// The size and pixels of an icon; false for a handle that is not an icon.
bool iconPixels(HICON icon, int* width, int* height, std::vector<uint32_t>* argb);

// While the device is suspended the screen shows dimmed; present() honours it.
void setDimmed(bool dimmed);
bool dimmed();

// The host window (SDL2): the screen at a whole scale (1 to kMaxScale), resizable by hand with
// the screen's aspect ratio kept; the mouse and touch as the stylus, the keyboard to the focus
// window. The window lives as long as the returned input source. nullptr, with the reason in
// *error, when no window a person can see opens: no display, an X display whose server cannot be
// reached or does not answer within kDisplayDeadline, or one where SDL offers only an offscreen
// window.
constexpr int kDefaultScale = 2;
constexpr int kMaxScale = 4;
constexpr std::chrono::milliseconds kDisplayDeadline{800};
std::unique_ptr<InputSource> openWindow(int scale, std::string* error);

// The host window's size now, in window pixels (0 x 0 without a window).
SIZE windowSize();

// The folder libceplatform.so was loaded from, with its trailing slash; empty when the loader
// cannot say. The window module, and in an installed prefix the fonts, are found from it.
std::string libraryFolder();

// Where the screen lies in a window of the given size: as large as fits with its aspect ratio
// kept, centred (window pixels).
RECT fitScreen(SIZE window, SIZE screen);
// The screen pixel under a window point, for a screen shown at `view`. A point off the screen
// gives nothing, or with clampToScreen the nearest pixel on its edge.
std::optional<POINT> screenPointAt(const RECT& view, SIZE screen, double x, double y,
                                   bool clampToScreen);
// The size a window resized by hand to `now` (from `before`) is given: the screen's aspect
// ratio, led by the side that moved further, never below the screen's own size.
SIZE keepAspect(SIZE now, SIZE before, SIZE screen);

}  // namespace ce::display
