// MainWndProc: the one window procedure of the main window, the display window and the About
// window. Scrolling and tab changes go to the page handlers, commands through the table below.
#include <windows.h>
#include <commctrl.h>

#include "common/ControlIds.h"
#include "screens/Screens.h"
#include "settings/Settings.h"
#include "shell/Globals.h"
#include "shell/PageHandlers.h"
#include "shell/ShellWindows.h"
#include "tweaks/Apply.h"

// Exit and OK end the program only by lowering the flag; teardown destroys the windows after
// the loop. Whatever the save meets, the program stops.
static void SaveAndStop() {
    SaveSettings(g_pSettings);
    g_bRunning = 0;
}

static void OnExit(HWND) {
    CloseAboutWindow();
    SaveAndStop();
}

static void OnAllowRestart(HWND) {
    ApplySettings(1);
}

static void OnDeferRestart(HWND) {
    ApplySettings(0);
}

static void OnPowerOff(HWND) {
    PowerOff();
}

static void OnSoftReset(HWND) {
    SoftReset();
}

static void OnHardReset(HWND) {
    HardReset();
}

static void OnHelpIndex(HWND) {
    ShowHelpIndex();
}

static void OnAbout(HWND) {
    ShowAboutWindow();
    SetFocus(g_hAboutWindow);
}

// The caption OK button: on the About window it closes only that window; on the main window it
// ends the program like Exit, but leaves an open About window to go with the process.
static void OnCaptionOk(HWND hwnd) {
    if (hwnd != NULL && hwnd == g_hAboutWindow) {
        CloseAboutWindow();
        return;
    }
    SaveAndStop();
}

struct CommandEntry {
    UINT id;
    void (*handler)(HWND hwnd);
};

// Tested in this order; any other ID belongs to an option control.
static const CommandEntry kCommands[] = {
    {IDM_EXIT, OnExit},
    {IDM_ALLOW_RESTART, OnAllowRestart},
    {IDM_DEFER_RESTART, OnDeferRestart},
    {IDM_POWER_OFF, OnPowerOff},
    {IDM_SOFT_RESET, OnSoftReset},
    {IDM_HARD_RESET, OnHardReset},
    {IDM_HELP_INDEX, OnHelpIndex},
    {IDM_ABOUT, OnAbout},
    {IDOK, OnCaptionOk},
};

// Routed by the low word alone: an option control's notification code (an edit's change
// notice, say) still reaches the control callback with the control's ID.
static LRESULT OnCommand(HWND hwnd, WPARAM wParam) {
    UINT id = LOWORD(wParam);
    for (size_t i = 0; i < sizeof(kCommands) / sizeof(kCommands[0]); i++) {
        if (kCommands[i].id == id) {
            kCommands[i].handler(hwnd);
            return 1;
        }
    }
    if (g_pScreens != NULL)
        g_pScreens->ControlCallback(id);
    return 1;
}

static LRESULT OnNotify(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    const NMHDR* pHeader = (const NMHDR*)lParam;
    if (pHeader != NULL) {
        if (pHeader->code == (UINT)TCN_SELCHANGE)
            OnTabSelChange();
        else if (pHeader->code == (UINT)TCN_SELCHANGING)
            OnTabSelChanging();
    }
    return DefWindowProcW(hwnd, WM_NOTIFY, wParam, lParam);
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_VSCROLL:
            return OnVerticalScroll(hwnd, wParam);
        case WM_NOTIFY:
            return OnNotify(hwnd, wParam, lParam);
        case WM_COMMAND:
            return OnCommand(hwnd, wParam);
        case WM_LBUTTONUP:
            // A tap on the bare surface of one of the program's windows does nothing.
            return 1;
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}
