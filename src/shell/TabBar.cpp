// The tab bar along the bottom of the main window and the scrolling display window inside it.
#include <windows.h>
#include <commctrl.h>

#include "common/ControlIds.h"
#include "screens/Screens.h"
#include "shell/Globals.h"
#include "shell/PageHandlers.h"
#include "shell/ShellWindows.h"

static const WCHAR kDisplayClass[] = TEXT("DisplayWindow");

// Tab index = screen index.
struct TabEntry {
    LPCWSTR label;
    LPCWSTR failure;
};

static const TabEntry kTabs[SCREEN_COUNT] = {
    {TEXT("Clean Temp Files"), TEXT("Failed Creating Tab Clean Temp")},
    {TEXT("Pocket IE"), TEXT("Failed Creating Tab Pocket IE")},
    {TEXT("Registry"), TEXT("Failed Creating Tab Registry")},
    {TEXT("System Folders"), TEXT("Failed Creating Tab System Folders")},
    {TEXT("Shortcuts"), TEXT("Failed Creating Tab Shortcuts")},
    {TEXT("Performance"), TEXT("Failed Creating Tab Performance")},
};

void CTabBar::Create() {
    HWND hwndMain = g_pMainWindow->GetHandle();
    // The menu bar has already shortened the main window: the tabs fill what is left.
    RECT rcClient;
    GetClientRect(hwndMain, &rcClient);
    m_hwnd = CreateWindowExW(0, TEXT("SysTabControl32"), TEXT(""),
                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TCS_BOTTOM, 0, 0,
                             rcClient.right, rcClient.bottom, hwndMain, NULL, g_hInstance, NULL);
    if (m_hwnd == NULL)
        ShowError(TEXT("Failed Creating Tab Control"));
    UpdateWindow(m_hwnd);
    ShowWindow(m_hwnd, SW_SHOWNORMAL);

    for (int i = 0; i < SCREEN_COUNT; i++) {
        TCITEMW item;
        ZeroMemory(&item, sizeof(item));
        item.mask = TCIF_TEXT;
        item.pszText = (LPWSTR)kTabs[i].label;
        item.iImage = -1;
        if (SendMessageW(m_hwnd, TCM_INSERTITEMW, (WPARAM)i, (LPARAM)&item) == -1)
            ShowError(kTabs[i].failure);
    }
}

void CTabBar::Destroy() {
    if (m_hwnd != NULL)
        DestroyWindow(m_hwnd);
    m_hwnd = NULL;
}

void CDisplayWindow::Create() {
    RegisterProgramClass(kDisplayClass);

    HWND hwndTabs = g_pTabBar->GetHandle();
    RECT rcDisplay;
    GetClientRect(hwndTabs, &rcDisplay);
    SendMessageW(hwndTabs, TCM_ADJUSTRECT, FALSE, (LPARAM)&rcDisplay);
    m_hwnd = CreateWindowExW(0, kDisplayClass, kDisplayClass, WS_CHILD | WS_VISIBLE | WS_VSCROLL,
                             rcDisplay.left, rcDisplay.top, rcDisplay.right - rcDisplay.left,
                             rcDisplay.bottom - rcDisplay.top, hwndTabs, NULL, g_hInstance, NULL);
    if (m_hwnd == NULL)
        ShowError(TEXT("Failed Creating Display Window"));
    UpdateWindow(m_hwnd);
    ShowWindow(m_hwnd, SW_SHOWNORMAL);
}

void CDisplayWindow::Destroy() {
    if (m_hwnd != NULL)
        DestroyWindow(m_hwnd);
    m_hwnd = NULL;
}

int ClampScrollPosition(const SCROLLINFO& si, int requested) {
    int pageLess = (int)si.nPage > 1 ? (int)si.nPage - 1 : 0;
    int highest = si.nMax - pageLess;
    if (highest < si.nMin)
        highest = si.nMin;
    if (requested > highest)
        return highest;
    if (requested < si.nMin)
        return si.nMin;
    return requested;
}

// Positive d moves the content down; the children move with it.
static void MovePageContent(HWND hwnd, int d) {
    if (d == 0)
        return;
    RECT rcClient;
    GetClientRect(hwnd, &rcClient);
    ScrollWindowEx(hwnd, 0, d, NULL, &rcClient, NULL, NULL, SW_SCROLLCHILDREN);
}

// The new position a scroll request asks for. The line steps are refused at the ends; every
// other request is taken as asked and bounded by the caller.
static int RequestedScrollPosition(const SCROLLINFO& si, WORD code, WORD thumb) {
    int position = si.nPos;
    switch (code) {
        case SB_LINEUP:
            if (position > si.nMin)
                return position - 3;
            return position;
        case SB_LINEDOWN: {
            UINT lineLimit = (UINT)(si.nMax - ((int)si.nPage - 1));
            if ((UINT)position < lineLimit)
                return position + 3;
            return position;
        }
        case SB_PAGEUP:
            return position - (int)si.nPage;
        case SB_PAGEDOWN:
            return position + (int)si.nPage;
        case SB_THUMBPOSITION:
            return (int)thumb;
        case SB_TOP:
            return si.nMin;
        case SB_BOTTOM:
            return si.nMax;
        default:
            // SB_THUMBTRACK: the page follows only when the stylus is released; SB_ENDSCROLL.
            return position;
    }
}

LRESULT OnVerticalScroll(HWND hwnd, WPARAM wParam) {
    SCROLLINFO si;
    ZeroMemory(&si, sizeof(si));
    si.cbSize = sizeof(si);
    si.fMask = SIF_ALL;
    GetScrollInfo(hwnd, SB_VERT, &si);

    // The content is moved by exactly what the stored position changes, so that after any
    // run of requests every control sits at its page place minus the scroll position, even
    // where a step would run past an end of the range.
    int oldPosition = si.nPos;
    int newPosition = RequestedScrollPosition(si, LOWORD(wParam), HIWORD(wParam));
    if (newPosition != oldPosition)
        newPosition = ClampScrollPosition(si, newPosition);
    MovePageContent(hwnd, oldPosition - newPosition);

    // Written back as read; the bar stays shown (disabled) on a page shorter than the window.
    si.nPos = newPosition;
    si.fMask = SIF_ALL | SIF_DISABLENOSCROLL;
    SetScrollInfo(hwnd, SB_VERT, &si, TRUE);
    return 1;
}

void OnTabSelChange() {
    HWND hwndDisplay = g_pDisplayWindow != NULL ? g_pDisplayWindow->GetHandle() : NULL;
    if (hwndDisplay != NULL) {
        // Back to the unscrolled places; the new screen's switch sets the scroll state.
        SCROLLINFO si;
        ZeroMemory(&si, sizeof(si));
        si.cbSize = sizeof(si);
        si.fMask = SIF_ALL;
        GetScrollInfo(hwndDisplay, SB_VERT, &si);
        MovePageContent(hwndDisplay, si.nPos - si.nMin);
    }

    int index = (int)SendMessageW(g_pTabBar->GetHandle(), TCM_GETCURSEL, 0, 0);
    if (index >= 0 && index < SCREEN_COUNT && g_pScreens != NULL)
        g_pScreens->SwitchScreenTo(index);
    else
        ShowError(TEXT("TCN_SELCHANGE Unknown Tab Index"));
}

void OnTabSelChanging() {
    int index = (int)SendMessageW(g_pTabBar->GetHandle(), TCM_GETCURSEL, 0, 0);
    if (index < 0 || index >= SCREEN_COUNT)
        ShowError(TEXT("TCN_SELCHANGING Unknown Tab Index"));
}
