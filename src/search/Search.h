// The temp file searches of the "Clean Temp Files" screen and their "SEARCHING" window.
#pragma once

#include <windows.h>

extern LONG g_searchWindowUsers;
extern HWND g_hSearchWindow;
extern HWND g_hSearchLabel;
extern LONG g_maxFolderEntryLength;
extern LONG g_maxFileEntryLength;

class CSearchWindow {
  public:
    static void Show();
    static void Hide();
};

void SearchTempFolders(HWND hwndList, LPCWSTR folder);
void SearchFilesByExtension(HWND hwndList, LPCWSTR extension, LPCWSTR folder);
