// The small "SEARCHING" window shown over the screens while a search walks the device. Searches
// may nest; the window is made by the outermost one and goes with it.
#include "search/Search.h"

#include <windows.h>

#include "shell/Globals.h"
#include "shell/ShellWindows.h"

LONG g_searchWindowUsers = 0;
HWND g_hSearchWindow = NULL;
HWND g_hSearchLabel = NULL;

static const WCHAR c_szSearchClass[] = TEXT("SEARCHING");

static void RegisterSearchClass() {
    UnregisterClassW(c_szSearchClass, g_hInstance);
    WNDCLASSW wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = g_hInstance;
    wc.hbrBackground = (HBRUSH)(LONG_PTR)(COLOR_BACKGROUND | SYS_COLOR_INDEX_FLAG);
    wc.lpszClassName = c_szSearchClass;
    RegisterClassW(&wc);
}

void CSearchWindow::Show() {
    if (g_searchWindowUsers > 0) {
        g_searchWindowUsers++;
        return;
    }
    RegisterSearchClass();
    HWND hwndParent = g_pDisplayWindow ? g_pDisplayWindow->GetHandle() : NULL;
    g_hSearchWindow =
        CreateWindowExW(0, c_szSearchClass, c_szSearchClass, WS_POPUP | WS_CHILD | WS_VISIBLE, 77,
                        110, 94, 54, hwndParent, NULL, g_hInstance, NULL);
    UpdateWindow(g_hSearchWindow);
    ShowWindow(g_hSearchWindow, SW_SHOWNORMAL);

    g_hSearchLabel = CreateWindowExW(0, TEXT("STATIC"), TEXT("SEARCHING..."), WS_CHILD | WS_VISIBLE,
                                     2, 17, 90, 20, g_hSearchWindow, NULL, g_hInstance, NULL);
    UpdateWindow(g_hSearchLabel);
    ShowWindow(g_hSearchLabel, SW_SHOWNORMAL);
    g_searchWindowUsers++;
}

void CSearchWindow::Hide() {
    g_searchWindowUsers--;
    if (g_searchWindowUsers > 0)
        return;
    // An unmatched Hide must not leave the count below zero for the next search.
    g_searchWindowUsers = 0;
    if (g_hSearchLabel)
        DestroyWindow(g_hSearchLabel);
    if (g_hSearchWindow)
        DestroyWindow(g_hSearchWindow);
    g_hSearchLabel = NULL;
    g_hSearchWindow = NULL;
}
