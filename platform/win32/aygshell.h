// The shell library declarations are the same on the device and the desktop check.
#pragma once
#include "../include/aygshell.h"
