// GDI of the device, and the painting helpers of USER that sit on it (FillRect, DrawTextW,
// DrawEdge, DrawFrameControl, system colours, icons, rectangle arithmetic).
#pragma once
#include "wintypes.h"

CE_BEGIN_DECLS

// ---- Colours -----------------------------------------------------------------------------------
#define CLR_INVALID 0xFFFFFFFF
#define CLR_NONE 0xFFFFFFFFL
#define CLR_DEFAULT 0xFF000000L

// ---- Stock objects -----------------------------------------------------------------------------
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define OEM_FIXED_FONT 10
#define ANSI_FIXED_FONT 11
#define ANSI_VAR_FONT 12
#define SYSTEM_FONT 13
#define DEVICE_DEFAULT_FONT 14
#define DEFAULT_PALETTE 15
#define SYSTEM_FIXED_FONT 16
#define DEFAULT_GUI_FONT 17
#define DC_BRUSH 18
#define DC_PEN 19

// GetObjectType
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_PAL 5
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_REGION 8
#define OBJ_MEMDC 10

// ---- Pens and brushes --------------------------------------------------------------------------
#define PS_SOLID 0
#define PS_DASH 1
#define PS_DOT 2
#define PS_DASHDOT 3
#define PS_DASHDOTDOT 4
#define PS_NULL 5
#define PS_INSIDEFRAME 6

#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL
#define BS_HATCHED 2
#define BS_PATTERN 3
#define BS_DIBPATTERN 5
#define BS_DIBPATTERNPT 6

typedef struct tagLOGPEN {
    UINT lopnStyle;
    POINT lopnWidth;
    COLORREF lopnColor;
} LOGPEN, *PLOGPEN, *LPLOGPEN;

typedef struct tagLOGBRUSH {
    UINT lbStyle;
    COLORREF lbColor;
    ULONG_PTR lbHatch;
} LOGBRUSH, *PLOGBRUSH, *LPLOGBRUSH;

// ---- Fonts
// ---------------------------------------------------------------------------------------
#define LF_FACESIZE 32

#define FW_DONTCARE 0
#define FW_THIN 100
#define FW_EXTRALIGHT 200
#define FW_LIGHT 300
#define FW_NORMAL 400
#define FW_REGULAR 400
#define FW_MEDIUM 500
#define FW_SEMIBOLD 600
#define FW_DEMIBOLD 600
#define FW_BOLD 700
#define FW_EXTRABOLD 800
#define FW_HEAVY 900

#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define SYMBOL_CHARSET 2
#define OEM_CHARSET 255
#define OUT_DEFAULT_PRECIS 0
#define CLIP_DEFAULT_PRECIS 0
#define DEFAULT_QUALITY 0
#define DRAFT_QUALITY 1
#define PROOF_QUALITY 2
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4
#define CLEARTYPE_QUALITY 5
#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE 0x00
#define FF_ROMAN 0x10
#define FF_SWISS 0x20
#define FF_MODERN 0x30

typedef struct tagLOGFONTW {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
} LOGFONTW, *PLOGFONTW, *LPLOGFONTW;
typedef LOGFONTW LOGFONT;
typedef const LOGFONTW* LPCLOGFONTW;

typedef struct tagTEXTMETRICW {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    WCHAR tmFirstChar;
    WCHAR tmLastChar;
    WCHAR tmDefaultChar;
    WCHAR tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
} TEXTMETRICW, *PTEXTMETRICW, *LPTEXTMETRICW;
typedef TEXTMETRICW TEXTMETRIC;

// ---- Bitmaps
// -------------------------------------------------------------------------------------
typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP, *PBITMAP, *LPBITMAP;

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER, *PBITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO, *PBITMAPINFO, *LPBITMAPINFO;

#define BI_RGB 0
#define BI_BITFIELDS 3
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1

// Raster operations (BitBlt, PatBlt)
#define SRCCOPY 0x00CC0020
#define SRCPAINT 0x00EE0086
#define SRCAND 0x008800C6
#define SRCINVERT 0x00660046
#define SRCERASE 0x00440328
#define NOTSRCCOPY 0x00330008
#define NOTSRCERASE 0x001100A6
#define MERGECOPY 0x00C000CA
#define MERGEPAINT 0x00BB0226
#define PATCOPY 0x00F00021
#define PATPAINT 0x00FB0A09
#define PATINVERT 0x005A0049
#define DSTINVERT 0x00550009
#define BLACKNESS 0x00000042
#define WHITENESS 0x00FF0062

// Binary raster operations (SetROP2)
#define R2_BLACK 1
#define R2_NOT 6
#define R2_XORPEN 7
#define R2_NOP 11
#define R2_COPYPEN 13
#define R2_WHITE 16

// ---- Regions and clipping
// ------------------------------------------------------------------------
#define ERROR 0
#define NULLREGION 1
#define SIMPLEREGION 2
#define COMPLEXREGION 3
#define RGN_ERROR ERROR
#define RGN_AND 1
#define RGN_OR 2
#define RGN_XOR 3
#define RGN_DIFF 4
#define RGN_COPY 5

// ---- Text
// ----------------------------------------------------------------------------------------
#define TRANSPARENT 1
#define OPAQUE 2

#define TA_NOUPDATECP 0
#define TA_UPDATECP 1
#define TA_LEFT 0
#define TA_RIGHT 2
#define TA_CENTER 6
#define TA_TOP 0
#define TA_BOTTOM 8
#define TA_BASELINE 24

#define ETO_OPAQUE 0x0002
#define ETO_CLIPPED 0x0004

#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_TABSTOP 0x00000080
#define DT_NOCLIP 0x00000100
#define DT_EXTERNALLEADING 0x00000200
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800
#define DT_INTERNAL 0x00001000
#define DT_EDITCONTROL 0x00002000
#define DT_PATH_ELLIPSIS 0x00004000
#define DT_END_ELLIPSIS 0x00008000
#define DT_MODIFYSTRING 0x00010000
#define DT_RTLREADING 0x00020000
#define DT_WORD_ELLIPSIS 0x00040000
#define DT_HIDEPREFIX 0x00100000

// ---- Device capabilities
// -------------------------------------------------------------------------
#define HORZSIZE 4
#define VERTSIZE 6
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define NUMCOLORS 24
#define RASTERCAPS 38
#define LOGPIXELSX 88
#define LOGPIXELSY 90

// ---- Edges and frame controls
// --------------------------------------------------------------------
#define BDR_RAISEDOUTER 0x0001
#define BDR_SUNKENOUTER 0x0002
#define BDR_RAISEDINNER 0x0004
#define BDR_SUNKENINNER 0x0008
#define BDR_OUTER 0x0003
#define BDR_INNER 0x000C
#define BDR_RAISED 0x0005
#define BDR_SUNKEN 0x000A
#define EDGE_RAISED (BDR_RAISEDOUTER | BDR_RAISEDINNER)
#define EDGE_SUNKEN (BDR_SUNKENOUTER | BDR_SUNKENINNER)
#define EDGE_ETCHED (BDR_SUNKENOUTER | BDR_RAISEDINNER)
#define EDGE_BUMP (BDR_RAISEDOUTER | BDR_SUNKENINNER)

#define BF_LEFT 0x0001
#define BF_TOP 0x0002
#define BF_RIGHT 0x0004
#define BF_BOTTOM 0x0008
#define BF_TOPLEFT (BF_TOP | BF_LEFT)
#define BF_TOPRIGHT (BF_TOP | BF_RIGHT)
#define BF_BOTTOMLEFT (BF_BOTTOM | BF_LEFT)
#define BF_BOTTOMRIGHT (BF_BOTTOM | BF_RIGHT)
#define BF_RECT (BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM)
#define BF_DIAGONAL 0x0010
#define BF_MIDDLE 0x0800
#define BF_SOFT 0x1000
#define BF_ADJUST 0x2000
#define BF_FLAT 0x4000
#define BF_MONO 0x8000

#define DFC_CAPTION 1
#define DFC_MENU 2
#define DFC_SCROLL 3
#define DFC_BUTTON 4

#define DFCS_CAPTIONCLOSE 0x0000
#define DFCS_CAPTIONMIN 0x0001
#define DFCS_CAPTIONMAX 0x0002
#define DFCS_CAPTIONRESTORE 0x0003
#define DFCS_CAPTIONHELP 0x0004
#define DFCS_CAPTIONOKBTN 0x0080
#define DFCS_MENUARROW 0x0000
#define DFCS_MENUCHECK 0x0001
#define DFCS_MENUBULLET 0x0002
#define DFCS_SCROLLUP 0x0000
#define DFCS_SCROLLDOWN 0x0001
#define DFCS_SCROLLLEFT 0x0002
#define DFCS_SCROLLRIGHT 0x0003
#define DFCS_SCROLLCOMBOBOX 0x0005
#define DFCS_SCROLLSIZEGRIP 0x0008
#define DFCS_BUTTONCHECK 0x0000
#define DFCS_BUTTONRADIOIMAGE 0x0001
#define DFCS_BUTTONRADIOMASK 0x0002
#define DFCS_BUTTONRADIO 0x0004
#define DFCS_BUTTON3STATE 0x0008
#define DFCS_BUTTONPUSH 0x0010
#define DFCS_INACTIVE 0x0100
#define DFCS_PUSHED 0x0200
#define DFCS_CHECKED 0x0400
#define DFCS_ADJUSTRECT 0x2000
#define DFCS_FLAT 0x4000
#define DFCS_MONO 0x8000

// DrawIconEx
#define DI_MASK 0x0001
#define DI_IMAGE 0x0002
#define DI_NORMAL 0x0003
#define DI_DEFAULTSIZE 0x0008

// ---- Device contexts
// -----------------------------------------------------------------------------
CEAPI HDC WINAPI CreateCompatibleDC(HDC hdc);
CEAPI BOOL WINAPI DeleteDC(HDC hdc);
CEAPI int WINAPI SaveDC(HDC hdc);
CEAPI BOOL WINAPI RestoreDC(HDC hdc, int savedDC);
CEAPI int WINAPI GetDeviceCaps(HDC hdc, int index);
CEAPI HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ obj);
CEAPI HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type);
CEAPI BOOL WINAPI DeleteObject(HGDIOBJ obj);
CEAPI HGDIOBJ WINAPI GetStockObject(int object);
CEAPI DWORD WINAPI GetObjectType(HGDIOBJ obj);
CEAPI int WINAPI GetObjectW(HGDIOBJ obj, int size, LPVOID out);
CEAPI int WINAPI SetROP2(HDC hdc, int rop2);
CEAPI int WINAPI GetROP2(HDC hdc);
CEAPI BOOL WINAPI SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT previous);
CEAPI BOOL WINAPI GetViewportOrgEx(HDC hdc, LPPOINT origin);
CEAPI BOOL WINAPI SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT previous);

// ---- Pens, brushes, fonts, bitmaps
// ---------------------------------------------------------------
CEAPI HBRUSH WINAPI CreateSolidBrush(COLORREF color);
CEAPI HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH* brush);
CEAPI HPEN WINAPI CreatePen(int style, int width, COLORREF color);
CEAPI HPEN WINAPI CreatePenIndirect(const LOGPEN* pen);
CEAPI HFONT WINAPI CreateFontIndirectW(const LOGFONTW* font);
CEAPI HBITMAP WINAPI CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel,
                                  const void* bits);
CEAPI HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int width, int height);
CEAPI HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits,
                                      HANDLE section, DWORD offset);
CEAPI COLORREF WINAPI SetDCBrushColor(HDC hdc, COLORREF color);
CEAPI COLORREF WINAPI SetDCPenColor(HDC hdc, COLORREF color);

// ---- Regions and clipping
// ------------------------------------------------------------------------
CEAPI HRGN WINAPI CreateRectRgn(int left, int top, int right, int bottom);
CEAPI HRGN WINAPI CreateRectRgnIndirect(const RECT* rect);
CEAPI BOOL WINAPI SetRectRgn(HRGN rgn, int left, int top, int right, int bottom);
CEAPI int WINAPI CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode);
CEAPI int WINAPI GetRgnBox(HRGN rgn, LPRECT rect);
CEAPI BOOL WINAPI PtInRegion(HRGN rgn, int x, int y);
CEAPI int WINAPI OffsetRgn(HRGN rgn, int dx, int dy);
CEAPI int WINAPI SelectClipRgn(HDC hdc, HRGN rgn);
CEAPI int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom);
CEAPI int WINAPI ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom);
CEAPI int WINAPI GetClipBox(HDC hdc, LPRECT rect);

// ---- Drawing
// -------------------------------------------------------------------------------------
CEAPI int WINAPI FillRect(HDC hdc, const RECT* rect, HBRUSH brush);
CEAPI int WINAPI FrameRect(HDC hdc, const RECT* rect, HBRUSH brush);
CEAPI BOOL WINAPI InvertRect(HDC hdc, const RECT* rect);
CEAPI BOOL WINAPI DrawFocusRect(HDC hdc, const RECT* rect);
CEAPI BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom);
CEAPI BOOL WINAPI RoundRect(HDC hdc, int left, int top, int right, int bottom, int width,
                            int height);
CEAPI BOOL WINAPI Ellipse(HDC hdc, int left, int top, int right, int bottom);
CEAPI BOOL WINAPI Polygon(HDC hdc, const POINT* points, int count);
CEAPI BOOL WINAPI Polyline(HDC hdc, const POINT* points, int count);
CEAPI BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT previous);
CEAPI BOOL WINAPI LineTo(HDC hdc, int x, int y);
CEAPI COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color);
CEAPI COLORREF WINAPI GetPixel(HDC hdc, int x, int y);
CEAPI BOOL WINAPI PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop);
CEAPI BOOL WINAPI BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY,
                         DWORD rop);
CEAPI BOOL WINAPI StretchBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX,
                             int srcY, int srcWidth, int srcHeight, DWORD rop);
CEAPI BOOL WINAPI DrawEdge(HDC hdc, LPRECT rect, UINT edge, UINT flags);
CEAPI BOOL WINAPI DrawFrameControl(HDC hdc, LPRECT rect, UINT type, UINT state);

// ---- Text
// ----------------------------------------------------------------------------------------
CEAPI COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color);
CEAPI COLORREF WINAPI GetTextColor(HDC hdc);
CEAPI COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color);
CEAPI COLORREF WINAPI GetBkColor(HDC hdc);
CEAPI int WINAPI SetBkMode(HDC hdc, int mode);
CEAPI int WINAPI GetBkMode(HDC hdc);
CEAPI UINT WINAPI SetTextAlign(HDC hdc, UINT align);
CEAPI UINT WINAPI GetTextAlign(HDC hdc);
CEAPI BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text,
                              UINT count, const INT* dx);
CEAPI BOOL WINAPI TextOutW(HDC hdc, int x, int y, LPCWSTR text, int count);
CEAPI int WINAPI DrawTextW(HDC hdc, LPCWSTR text, int count, LPRECT rect, UINT format);
CEAPI BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int count, LPSIZE size);
CEAPI BOOL WINAPI GetTextExtentPointW(HDC hdc, LPCWSTR text, int count, LPSIZE size);
CEAPI BOOL WINAPI GetTextExtentExPointW(HDC hdc, LPCWSTR text, int count, int maxExtent, LPINT fit,
                                        LPINT dx, LPSIZE size);
CEAPI BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW metrics);
CEAPI int WINAPI GetTextFaceW(HDC hdc, int count, LPWSTR faceName);

// ---- System colours
// ------------------------------------------------------------------------------
CEAPI DWORD WINAPI GetSysColor(int index);
CEAPI HBRUSH WINAPI GetSysColorBrush(int index);
CEAPI BOOL WINAPI SetSysColors(int count, const INT* indices, const COLORREF* colors);

// ---- Icons
// ---------------------------------------------------------------------------------------
CEAPI BOOL WINAPI DrawIconEx(HDC hdc, int x, int y, HICON icon, int width, int height, UINT step,
                             HBRUSH flickerFreeBrush, UINT flags);
CEAPI BOOL WINAPI DrawIcon(HDC hdc, int x, int y, HICON icon);

// The rectangle helpers (SetRect, IntersectRect, PtInRect, ...) and DestroyIcon are declared
// in winuser.h, as in Win32; the display implements them.

CE_END_DECLS

#ifdef UNICODE
#define CreateFontIndirect CreateFontIndirectW
#define DrawText DrawTextW
#define ExtTextOut ExtTextOutW
#define TextOut TextOutW
#define GetTextExtentPoint32 GetTextExtentPoint32W
#define GetTextExtentExPoint GetTextExtentExPointW
#define GetTextMetrics GetTextMetricsW
#define GetObject GetObjectW
#endif
