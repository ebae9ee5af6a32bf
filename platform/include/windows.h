// Win32 / Windows CE API of the host platform.
#pragma once

#include "ce/wintypes.h"
#include "ce/winbase.h"
#include "ce/winreg.h"
#include "ce/wingdi.h"
#include "ce/winuser.h"
#include "ce/winnls.h"
#include "ce/wcrt.h"
