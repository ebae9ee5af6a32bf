// The main window, the menu bar below it and the class settings of the program's windows.
#include <windows.h>
#include <aygshell.h>

#include "common/ControlIds.h"
#include "shell/Globals.h"
#include "shell/ShellWindows.h"

static const WCHAR kMainClass[] = TEXT("Zembrik PPC");

void RegisterProgramClass(LPCWSTR className) {
    // A class left registered under the name (by an earlier run in this process, say) would
    // keep its old settings: start from a clean registration every time.
    UnregisterClassW(className, g_hInstance);

    WNDCLASSW wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = g_hInstance;
    wc.hIcon = NULL;
    wc.hCursor = NULL;
    // The device takes a flagged system-colour index wherever a brush is expected.
    wc.hbrBackground = (HBRUSH)(UINT_PTR)(SYS_COLOR_INDEX_FLAG | COLOR_WINDOW);
    wc.lpszMenuName = NULL;
    wc.lpszClassName = className;
    RegisterClassW(&wc);
}

void CMainWindow::Create() {
    RegisterProgramClass(kMainClass);
    m_hwnd =
        CreateWindowExW(WS_EX_CAPTIONOKBTN, kMainClass, kMainClass, WS_VISIBLE, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, g_hInstance, NULL);
    if (m_hwnd == NULL)
        return;
    g_pMenuBar->Create();
    UpdateWindow(m_hwnd);
    ShowWindow(m_hwnd, SW_SHOWNORMAL);
}

void CMainWindow::Destroy() {
    // The menu bar is the main window's and goes with it.
    if (m_hwnd != NULL)
        DestroyWindow(m_hwnd);
    m_hwnd = NULL;
}

void CMenuBar::Create() {
    HWND hwndMain = g_pMainWindow->GetHandle();

    SHMENUBARINFO mbi;
    ZeroMemory(&mbi, sizeof(mbi));
    mbi.cbSize = sizeof(mbi);
    mbi.hwndParent = hwndMain;
    mbi.dwFlags = SHCMBF_HMENU;
    mbi.nToolBarId = IDR_MAINMENU;
    mbi.hInstRes = g_hInstance;
    mbi.nBmpId = 0;
    mbi.cBmpImages = 0;
    mbi.clrBk = 0;
    if (!SHCreateMenuBar(&mbi)) {
        // The program runs on without menus; the main window keeps its full height.
        ShowError(TEXT("Failed Creating Menu Bar"));
        return;
    }
    m_hwnd = mbi.hwndMB;
    FitWindowAbove(hwndMain);
}

void CMenuBar::FitWindowAbove(HWND hwnd) {
    if (m_hwnd == NULL || hwnd == NULL)
        return;
    RECT rcWindow;
    RECT rcMenuBar;
    GetWindowRect(hwnd, &rcWindow);
    GetWindowRect(m_hwnd, &rcMenuBar);
    int menuBarHeight = rcMenuBar.bottom - rcMenuBar.top;
    MoveWindow(hwnd, rcWindow.left, rcWindow.top, rcWindow.right - rcWindow.left,
               (rcWindow.bottom - menuBarHeight) - rcWindow.top, FALSE);
}

void CMenuBar::Destroy() {
    // Nothing to do: the menu bar is destroyed together with the main window.
}
