// SHGetFileInfo: a path's icon in the system image list, its display and type names.
#pragma once
#include "wintypes.h"

#ifndef MAX_PATH
#define MAX_PATH 260
#endif

CE_BEGIN_DECLS

typedef struct _SHFILEINFOW {
    HICON hIcon;
    int iIcon;
    DWORD dwAttributes;
    WCHAR szDisplayName[MAX_PATH];
    WCHAR szTypeName[80];
} SHFILEINFOW, *LPSHFILEINFOW;
typedef SHFILEINFOW SHFILEINFO;
typedef LPSHFILEINFOW LPSHFILEINFO;

#define SHGFI_LARGEICON 0x00000000
#define SHGFI_SMALLICON 0x00000001
#define SHGFI_OPENICON 0x00000002
#define SHGFI_SHELLICONSIZE 0x00000004
#define SHGFI_PIDL 0x00000008
#define SHGFI_USEFILEATTRIBUTES 0x00000010
#define SHGFI_ICON 0x00000100
#define SHGFI_DISPLAYNAME 0x00000200
#define SHGFI_TYPENAME 0x00000400
#define SHGFI_ATTRIBUTES 0x00000800
#define SHGFI_ICONLOCATION 0x00001000
#define SHGFI_EXETYPE 0x00002000
#define SHGFI_SYSICONINDEX 0x00004000
#define SHGFI_LINKOVERLAY 0x00008000
#define SHGFI_SELECTED 0x00010000

// With SHGFI_SYSICONINDEX the result is the system image list (an HIMAGELIST), small or large
// as the flags ask; otherwise nonzero on success. 0 on failure.
CEAPI DWORD_PTR WINAPI SHGetFileInfoW(LPCWSTR path, DWORD fileAttributes, SHFILEINFOW* info,
                                      UINT infoSize, UINT flags);
#define SHGetFileInfo SHGetFileInfoW

CE_END_DECLS
