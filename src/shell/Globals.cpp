// The application globals. WinMain owns every object; everything else reaches them here.
#include "shell/Globals.h"

HINSTANCE g_hInstance = NULL;
BYTE g_bRunning = 0;
BYTE g_bSilent = 0;
CMenuBar* g_pMenuBar = NULL;
CMainWindow* g_pMainWindow = NULL;
CTabBar* g_pTabBar = NULL;
CDisplayWindow* g_pDisplayWindow = NULL;
CScreens* g_pScreens = NULL;
CSettings* g_pSettings = NULL;
HWND g_hAboutWindow = NULL;
CWindowList g_aboutControls;

void ShowError(LPCWSTR text, LPCWSTR caption) {
    MessageBoxW(NULL, text, caption, MB_OK);
}
