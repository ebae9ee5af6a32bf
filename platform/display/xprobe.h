// Whether an X server answers at a display, asked before the window system is started on it:
// Xlib waits for a server that takes the connection but never replies, however long that is.
#pragma once

#include <chrono>
#include <string>

namespace ce::display {

// Empty when an X server answers at `display` (a DISPLAY value) within `deadline`; else why
// not, in a few words ("no X server listens there", "it does not answer within 800 ms", ...).
// The server is sent the X protocol's connection setup without a cookie: any reply, a refusal
// for want of one included, is an answer.
std::string probeXServer(const std::string& display, std::chrono::milliseconds deadline);

}  // namespace ce::display
