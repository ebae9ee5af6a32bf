// The application globals: owned by WinMain, reached by everything else.
#pragma once

#include <windows.h>

#include "common/WindowList.h"

class CMenuBar;
class CMainWindow;
class CTabBar;
class CDisplayWindow;
class CScreens;
class CSettings;

extern HINSTANCE g_hInstance;
extern BYTE g_bRunning;
extern BYTE g_bSilent;
extern CMenuBar* g_pMenuBar;
extern CMainWindow* g_pMainWindow;
extern CTabBar* g_pTabBar;
extern CDisplayWindow* g_pDisplayWindow;
extern CScreens* g_pScreens;
extern CSettings* g_pSettings;
extern HWND g_hAboutWindow;
extern CWindowList g_aboutControls;

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);
LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// One message box in the program's usual form: no owner, an OK button only.
void ShowError(LPCWSTR text, LPCWSTR caption = TEXT("Error"));
