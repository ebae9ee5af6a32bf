// The setup-library declarations are the same on the device and the desktop check.
#pragma once
#include "../include/ce_setup.h"
