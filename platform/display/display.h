// The screen: the device's framebuffer, device contexts on it, PNG screenshots, and the
// host window that shows it.
#pragma once

#include <ce/wintypes.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ce::display {

// 0x00RRGGBB pixels, row-major, width * height of them.
struct Framebuffer {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// The current device's framebuffer, sized from the device's screen size on first use.
Framebuffer& screen();

// A device context that draws into the screen with its origin (0, 0) at the given screen point
// and clipped to the given screen rectangle. GWES uses it for BeginPaint/GetDC; released by
// ReleaseDC/EndPaint through releaseDC.
HDC createDC(POINT originOnScreen, const RECT& clipOnScreen);
void releaseDC(HDC dc);

// Writes the framebuffer as PNG; false and a message on failure.
bool writePng(const Framebuffer& fb, const std::string& path, std::string* error);

// Called by GWES when painting is done and the program is about to wait: the host window,
// if there is one, shows the new frame.
void present();

}  // namespace ce::display
