// Input sources: where GetMessageW's next event comes from when the queue is empty (the host
// window, the test driver, a script, or none in a headless run). They sit below the window system,
// as a device's touch and keyboard drivers do: GWES reads them, the host window is one.
#pragma once

#include <ce/wintypes.h>

namespace ce::display {

struct InputEvent {
    enum class Kind {
        StylusDown,  // x, y in screen pixels
        StylusMove,
        StylusUp,
        KeyDown,  // vk
        KeyUp,
        Char,   // ch
        Close,  // the host window was closed: the device switches off, the program ends unsaved
    };
    Kind kind;
    int x = 0;
    int y = 0;
    UINT vk = 0;
    WCHAR ch = 0;
};

class InputSource {
  public:
    virtual ~InputSource() = default;
    // Called when the program waits for input and every invalid window has been painted.
    // Blocks until there is an event, and returns false when the source has no more input
    // (a driver or script that has run out of steps).
    virtual bool wait(InputEvent& event) = 0;
};

}  // namespace ce::display
