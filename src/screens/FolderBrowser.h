// The folder browser: a modeless full-screen dialog with the device's folders as a tree.
#pragma once

#include <windows.h>
#include <commctrl.h>

class CFolderBrowser {
  public:
    CFolderBrowser() : m_hDialog(NULL), m_hTarget(NULL) {}
    LRESULT Browse(HWND hwndOwner, HWND hwndTarget);
    static int AddSubfolders(LPCWSTR pattern, HTREEITEM hParent);
    static LPWSTR GetItemPath(HTREEITEM hItem, BOOL bPattern);

  private:
    HWND m_hDialog;
    HWND m_hTarget;
};

extern HWND g_hBrowserTree;
extern HWND g_hBrowserOk;
extern HWND g_hBrowserCancel;
extern HWND g_hBrowserTarget;

INT_PTR CALLBACK FolderBrowserDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
