// Showing one screen at a time in the display window, and removing every control at the end.
#include <windows.h>

#include "screens/Screens.h"
#include "shell/Globals.h"
#include "shell/ShellWindows.h"

static void ShowScreenItems(const CWindowList& items, int showCommand) {
    for (int i = 0; i < items.GetCount(); i++) ShowWindow(items.GetAt(i), showCommand);
}

static BOOL IsScreenIndex(int index) {
    return index >= 0 && index < SCREEN_COUNT;
}

// Moves no control: the caller has brought the page back to its top first, so that the new
// screen's controls stand at their page places.
int CScreen::SwitchScreenTo(int index) {
    if (IsScreenIndex(m_currentScreen))
        ShowScreenItems(m_pages[m_currentScreen].m_items, SW_HIDE);
    else
        ShowError(TEXT("CScreen::SwitchScreenTo() Unknown Screen"));

    m_currentScreen = index;

    LONG pageHeight = 0;
    if (IsScreenIndex(index)) {
        ShowScreenItems(m_pages[index].m_items, SW_SHOWNORMAL);
        pageHeight = m_pages[index].m_pageHeight;
    } else {
        ShowError(TEXT("CScreen::SwitchScreenTo() Unknown Screen"));
    }

    HWND hwndDisplay = g_pDisplayWindow != NULL ? g_pDisplayWindow->GetHandle() : NULL;
    RECT rcClient;
    SetRectEmpty(&rcClient);
    GetClientRect(hwndDisplay, &rcClient);

    // A page shorter than the window gives a negative maximum: the bar stays, disabled.
    SCROLLINFO si;
    ZeroMemory(&si, sizeof(si));
    si.cbSize = sizeof(si);
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    si.nMin = 0;
    si.nMax = pageHeight - rcClient.bottom;
    si.nPage = 3;
    si.nPos = 0;
    si.nTrackPos = 0;
    return SetScrollInfo(hwndDisplay, SB_VERT, &si, TRUE);
}

void CScreens::DestroyControls() {
    for (int s = 0; s < SCREEN_COUNT; s++) {
        CWindowList& items = m_pages[s].m_items;
        for (int i = 0; i < items.GetCount(); i++) DestroyWindow(items.GetAt(i));
        items.Clear();
    }
}
