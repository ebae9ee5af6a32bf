// The About window and the help index.
#include <windows.h>

#include <strsafe.h>

#include "shell/Globals.h"
#include "shell/ShellWindows.h"

static const WCHAR kAboutClass[] = TEXT("ABOUT_BOX");

void ShowAboutWindow() {
    // One About window at a time: a second About brings the open one forward (the command
    // then gives it the focus) instead of making a second window whose handle would be lost.
    if (g_hAboutWindow != NULL) {
        if (IsWindow(g_hAboutWindow)) {
            SetForegroundWindow(g_hAboutWindow);
            return;
        }
        // Gone without CloseAboutWindow (the system closed it): forget it and start afresh.
        g_aboutControls.Clear();
        g_hAboutWindow = NULL;
    }

    RegisterProgramClass(kAboutClass);
    g_hAboutWindow =
        CreateWindowExW(WS_EX_CAPTIONOKBTN, kAboutClass, TEXT("About"), WS_VISIBLE, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, g_hInstance, NULL);
    if (g_hAboutWindow == NULL) {
        ShowError(TEXT("Failed Creating About Window"));
        return;
    }
    // Full screen down to the menu bar's upper edge.
    g_pMenuBar->FitWindowAbove(g_hAboutWindow);
    UpdateWindow(g_hAboutWindow);
    ShowWindow(g_hAboutWindow, SW_SHOWNORMAL);

    HWND hwndText =
        CreateWindowExW(0, TEXT("STATIC"), TEXT("Varnello V1.01"), WS_CHILD | WS_VISIBLE, 2, 2, 200,
                        50, g_hAboutWindow, NULL, g_hInstance, NULL);
    UpdateWindow(hwndText);
    ShowWindow(hwndText, SW_SHOWNORMAL);
    g_aboutControls.Append(hwndText);
}

void CloseAboutWindow() {
    if (g_hAboutWindow == NULL)
        return;
    for (int i = 0; i < g_aboutControls.GetCount(); i++) DestroyWindow(g_aboutControls.GetAt(i));
    g_aboutControls.Clear();
    DestroyWindow(g_hAboutWindow);
    g_hAboutWindow = NULL;
}

// The help viewer finds tunedoc.htm by name in \Windows and opens it at its contents anchor.
// Nothing is reported when the viewer cannot be started.
void ShowHelpIndex() {
    WCHAR commandLine[64];
    StringCchCopyW(commandLine, sizeof(commandLine) / sizeof(commandLine[0]),
                   TEXT("file:tunedoc.htm#Main_Contents"));
    CreateProcessW(TEXT("peghelp.exe"), commandLine, NULL, NULL, FALSE, 0, NULL, NULL, NULL, NULL);
}
