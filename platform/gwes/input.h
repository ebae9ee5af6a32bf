// The input GWES reads when the queue is empty: the sources of the display floor (display/input.h),
// named here as the window system's own.
#pragma once

#include "display/input.h"

namespace ce::gwes {

using display::InputEvent;
using display::InputSource;

}  // namespace ce::gwes
