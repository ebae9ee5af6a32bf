// Pocket PC shell library (AYGSHELL): the menu bar, dialog initialisation, full-screen control.
#pragma once
#include <windows.h>

// The same header serves the desktop compile check, whose headers have no export macro.
#ifndef CEAPI
#define CEAPI
#endif

// SHCreateMenuBar
typedef struct tagSHMENUBARINFO {
    DWORD cbSize;
    HWND hwndParent;
    DWORD dwFlags;
    UINT nToolBarId;
    HINSTANCE hInstRes;
    int nBmpId;
    int cBmpImages;
    HWND hwndMB;
    COLORREF clrBk;
} SHMENUBARINFO, *PSHMENUBARINFO;

#define SHCMBF_EMPTYBAR 0x0001
#define SHCMBF_HIDDEN 0x0002
#define SHCMBF_HIDESIPBUTTON 0x0004
#define SHCMBF_COLORBK 0x0008
#define SHCMBF_HMENU 0x0010

// Messages to a menu bar
#define SHCMBM_SETSUBMENU (WM_USER + 400)
#define SHCMBM_GETSUBMENU (WM_USER + 401)
#define SHCMBM_GETMENU (WM_USER + 402)
#define SHCMBM_OVERRIDEKEY (WM_USER + 403)

// SHInitDialog
typedef struct tagSHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
} SHINITDLGINFO, *PSHINITDLGINFO;

#define SHIDIM_FLAGS 0x0001

#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLG 0x0002
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_SIPDOWN 0x0008
#define SHIDIF_FULLSCREENNOMENUBAR 0x0010
#define SHIDIF_EMPTYMENU 0x0020
#define SHIDIF_WANTSCROLLBAR 0x0040

// SHFullScreen
#define SHFS_SHOWTASKBAR 0x0001
#define SHFS_HIDETASKBAR 0x0002
#define SHFS_SHOWSIPBUTTON 0x0004
#define SHFS_HIDESIPBUTTON 0x0008
#define SHFS_SHOWSTARTICON 0x0010
#define SHFS_HIDESTARTICON 0x0020

// SHDoneButton
#define SHDB_SHOW 0x0001
#define SHDB_HIDE 0x0002
#define SHDB_SHOWCANCEL 0x0004

#ifdef __cplusplus
extern "C" {
#endif
CEAPI BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO* info);
CEAPI HWND WINAPI SHFindMenuBar(HWND hwnd);
CEAPI BOOL WINAPI SHInitDialog(PSHINITDLGINFO info);
CEAPI BOOL WINAPI SHFullScreen(HWND hwnd, DWORD state);
CEAPI BOOL WINAPI SHDoneButton(HWND hwnd, DWORD state);
#ifdef __cplusplus
}
#endif
