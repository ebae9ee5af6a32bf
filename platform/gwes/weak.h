// Services of the other platform parts that GWES calls. They are referenced weakly so that the
// window system also runs where a part is left out of a build (a test of GWES alone, say):
// callers test the address before the call.
#pragma once

#include <windows.h>

#include "display/display.h"

namespace ce::display {
HDC createDC(POINT originOnScreen, const RECT& clipOnScreen) __attribute__((weak));
void releaseDC(HDC dc) __attribute__((weak));
void present() __attribute__((weak));
void setDimmed(bool dimmed) __attribute__((weak));
}  // namespace ce::display

namespace ce::kernel {
void suspend() __attribute__((weak));
}

extern "C" void SetLastError(DWORD code) __attribute__((weak));
