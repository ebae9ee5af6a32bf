// Windows CE on top of the desktop Win32 headers, for the MinGW-w64 compile check of src/.
// The desktop headers supply everything the two systems share; this file adds only what
// exists on Windows CE alone, and gives WinMain the device's wide command line.
#pragma once

#include_next <windows.h>

// Windows CE's WinMain takes the command line as LPWSTR; the desktop's wide entry point is
// the one with that signature.
#ifdef WinMain
#undef WinMain
#endif
#define WinMain wWinMain

// Caption OK button of a Pocket PC top-level window: it sends WM_COMMAND with IDOK.
#ifndef WS_EX_CAPTIONOKBTN
#define WS_EX_CAPTIONOKBTN 0x80000000L
#endif

// System colours: on the device a colour index carries this flag wherever a brush is expected.
#ifndef SYS_COLOR_INDEX_FLAG
#define SYS_COLOR_INDEX_FLAG 0x40000000
#endif

// The power key, and key events that make no click.
#ifndef VK_OFF
#define VK_OFF 0xDF
#endif
#ifndef KEYEVENTF_SILENT
#define KEYEVENTF_SILENT 0x0004
#endif

#include "ce_shortcut.h"
