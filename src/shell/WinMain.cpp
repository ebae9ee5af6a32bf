// Start-up, the message loop and teardown.
#include <windows.h>
#include <commctrl.h>

#include <new>

#include "screens/Screens.h"
#include "settings/Settings.h"
#include "shell/Globals.h"
#include "shell/ShellWindows.h"
#include "tweaks/Apply.h"

// The startup shortcut runs the program with a command line that begins with this word;
// only the exact lower-case word selects the silent run, whatever follows it.
static BOOL IsSilentCommandLine(LPCWSTR cmdLine) {
    static const WCHAR kSilent[] = TEXT("silent");
    if (cmdLine == NULL)
        return FALSE;
    for (int i = 0; kSilent[i] != 0; i++) {
        if (cmdLine[i] != kSilent[i])
            return FALSE;
    }
    return TRUE;
}

static void RunSilent() {
    g_bSilent = 1;
    g_pSettings = new (std::nothrow) CSettings;
    if (g_pSettings == NULL)
        return;
    ApplySettings(0);
    delete g_pSettings;
    g_pSettings = NULL;
}

// Each object goes into its global before its creation step, so that the step (and the
// steps after it) can reach the objects made before. Returns FALSE when the program cannot
// go on: an object could not be allocated, or there is no main window to put anything in.
static BOOL BuildInteractive() {
    g_pMenuBar = new (std::nothrow) CMenuBar;
    g_pMainWindow = new (std::nothrow) CMainWindow;
    if (g_pMenuBar == NULL || g_pMainWindow == NULL) {
        ShowError(TEXT("Failed Creating Main Window: out of memory"));
        return FALSE;
    }
    g_pMainWindow->Create();
    if (g_pMainWindow->GetHandle() == NULL) {
        ShowError(TEXT("Failed Creating Main Window"));
        return FALSE;
    }

    g_pTabBar = new (std::nothrow) CTabBar;
    if (g_pTabBar == NULL) {
        ShowError(TEXT("Failed Creating Tab Control: out of memory"));
        return FALSE;
    }
    g_pTabBar->Create();

    g_pDisplayWindow = new (std::nothrow) CDisplayWindow;
    if (g_pDisplayWindow == NULL) {
        ShowError(TEXT("Failed Creating Display Window: out of memory"));
        return FALSE;
    }
    g_pDisplayWindow->Create();

    g_pScreens = new (std::nothrow) CScreens;
    if (g_pScreens == NULL) {
        ShowError(TEXT("Failed Creating Screens: out of memory"));
        return FALSE;
    }
    g_pScreens->CreateControls();

    g_pSettings = new (std::nothrow) CSettings;
    if (g_pSettings == NULL) {
        ShowError(TEXT("Failed Creating Settings: out of memory"));
        return FALSE;
    }
    LoadSettings(g_pSettings);
    return TRUE;
}

static void RunMessageLoop() {
    MSG msg;
    // A quit message only makes GetMessageW return 0: the loop ends when Exit or OK has
    // saved the settings and lowered the flag.
    while (g_bRunning) {
        if (GetMessageW(&msg, NULL, 0, 0)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

// Reverse order of creation; each step copes with an object that was never made.
static void TearDown() {
    delete g_pSettings;
    g_pSettings = NULL;

    if (g_pScreens != NULL) {
        g_pScreens->DestroyControls();
        delete g_pScreens;
        g_pScreens = NULL;
    }
    if (g_pDisplayWindow != NULL) {
        g_pDisplayWindow->Destroy();
        delete g_pDisplayWindow;
        g_pDisplayWindow = NULL;
    }
    if (g_pTabBar != NULL) {
        g_pTabBar->Destroy();
        delete g_pTabBar;
        g_pTabBar = NULL;
    }
    if (g_pMenuBar != NULL) {
        g_pMenuBar->Destroy();
        delete g_pMenuBar;
        g_pMenuBar = NULL;
    }
    if (g_pMainWindow != NULL) {
        g_pMainWindow->Destroy();
        delete g_pMainWindow;
        g_pMainWindow = NULL;
    }
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow) {
    (void)hPrevInstance;
    (void)nCmdShow;

    InitCommonControls();
    g_hInstance = hInstance;
    g_bRunning = 1;

    if (IsSilentCommandLine(lpCmdLine)) {
        RunSilent();
        return 0;
    }

    g_bSilent = 0;
    if (BuildInteractive())
        RunMessageLoop();
    TearDown();

    g_hInstance = NULL;
    g_bRunning = 0;
    return 0;
}
