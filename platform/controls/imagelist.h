// Image lists inside the platform: the shell's system image lists and images made from pixels.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

namespace ce::controls {

// The system image list of the current device (16 x 16 when small, else 32 x 32), created on
// first use; null when no device is open. Its images are the kinds below.
HIMAGELIST systemImageList(bool small);

enum SystemIcon : int {
    kIconFolder = 0,
    kIconOpenFolder = 1,
    kIconDocument = 2,
    kIconDevice = 3,
    kIconProgram = 4,
    kIconShortcut = 5,
};

// Appends an image of 0xAARRGGBB pixels (cx * cy of the list); its index, or -1.
int addImagePixels(HIMAGELIST list, const uint32_t* argb);

}  // namespace ce::controls
