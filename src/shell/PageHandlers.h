// The handlers of MainWndProc for the page: scrolling the display window and tab changes.
#pragma once

#include <windows.h>

// WM_VSCROLL on any of the program's windows (only the display window has a scroll bar).
LRESULT OnVerticalScroll(HWND hwnd, WPARAM wParam);
// TCN_SELCHANGE: bring the page back to its top and show the newly selected screen.
void OnTabSelChange();
// TCN_SELCHANGING: check the index of the tab being left.
void OnTabSelChanging();

// The position SetScrollInfo would store for the requested one: within min .. max - (page - 1).
int ClampScrollPosition(const SCROLLINFO& si, int requested);
