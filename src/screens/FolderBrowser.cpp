// The folder browser: a modeless full-screen dialog with the device's folders as a tree, filled
// one level at a time as the tree asks whether a folder has children.
#include <windows.h>
#include <aygshell.h>
#include <commctrl.h>
#include <shellapi.h>
#include <strsafe.h>

#include <new>

#include "common/ControlIds.h"
#include "screens/FolderBrowser.h"
#include "shell/Globals.h"

#define BROWSER_PATH_UNITS 1024

// Item data of a folder: whether its subfolders have been looked for.
#define CHILDREN_NOT_ENUMERATED ((LPARAM)-1)

HWND g_hBrowserTree = NULL;
HWND g_hBrowserOk = NULL;
HWND g_hBrowserCancel = NULL;
HWND g_hBrowserTarget = NULL;

// The open dialog, so that a second "Browse" does not make a second dialog whose buttons would
// act on the first one's tree and target through the globals above.
static HWND s_hBrowserDialog = NULL;

static const WCHAR kRootText[] = TEXT("\\");

// An empty dialog (no controls), the menu, class and title entries each a single zero.
struct BrowserTemplate {
    DLGTEMPLATE dialog;
    WORD menu;
    WORD windowClass;
    WORD title;
};

static HTREEITEM InsertFolderItem(HTREEITEM hParent, LPCWSTR text, int image, int children) {
    TVINSERTSTRUCTW insert;
    ZeroMemory(&insert, sizeof(insert));
    insert.hParent = hParent;
    insert.hInsertAfter = TVI_SORT;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_PARAM | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
    insert.item.pszText = (LPWSTR)text;
    insert.item.iImage = image;
    insert.item.iSelectedImage = image;
    insert.item.cChildren = children;
    insert.item.lParam = CHILDREN_NOT_ENUMERATED;
    HTREEITEM hItem = (HTREEITEM)SendMessageW(g_hBrowserTree, TVM_INSERTITEMW, 0, (LPARAM)&insert);
    if (hItem == NULL)
        ShowError(TEXT("Failed adding Tree View item"));
    return hItem;
}

static int SmallIconIndex(LPCWSTR path) {
    SHFILEINFO info;
    ZeroMemory(&info, sizeof(info));
    SHGetFileInfo(path, 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    return info.iIcon;
}

int CFolderBrowser::AddSubfolders(LPCWSTR pattern, HTREEITEM hParent) {
    // An empty pattern stands for a path too long to search.
    if (pattern == NULL || pattern[0] == 0)
        return 0;
    WIN32_FIND_DATAW findData;
    HANDLE hFind = FindFirstFileW(pattern, &findData);
    if (hFind == INVALID_HANDLE_VALUE)
        return 0;

    int count = 0;
    do {
        // Hidden folders are never offered; system and read-only ones are.
        DWORD attributes = findData.dwFileAttributes;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_HIDDEN))
            continue;
        InsertFolderItem(hParent, findData.cFileName, SmallIconIndex(pattern), I_CHILDRENCALLBACK);
        count++;
    } while (FindNextFileW(hFind, &findData));
    FindClose(hFind);
    return count;
}

// Walks from the item up to the root, putting each folder's name in front. A path that would
// not fit the buffer comes back empty, so that no cut path is ever searched or written.
LPWSTR CFolderBrowser::GetItemPath(HTREEITEM hItem, BOOL bPattern) {
    LPWSTR result = new (std::nothrow) WCHAR[BROWSER_PATH_UNITS];
    if (result == NULL)
        return NULL;
    ZeroMemory(result, BROWSER_PATH_UNITS * sizeof(WCHAR));
    if (hItem == NULL)
        return result;

    WCHAR path[BROWSER_PATH_UNITS] = {0};
    WCHAR joined[BROWSER_PATH_UNITS];
    WCHAR text[BROWSER_PATH_UNITS];
    while (hItem != NULL) {
        TVITEMW item;
        ZeroMemory(&item, sizeof(item));
        item.mask = TVIF_TEXT;
        item.hItem = hItem;
        item.pszText = text;
        item.cchTextMax = BROWSER_PATH_UNITS;
        text[0] = 0;
        if (!SendMessageW(g_hBrowserTree, TVM_GETITEMW, 0, (LPARAM)&item))
            break;
        if (wcscmp(text, kRootText) != 0) {
            if (FAILED(StringCchPrintfW(joined, BROWSER_PATH_UNITS, TEXT("%s\\%s"), text, path)))
                return result;
            StringCchCopyW(path, BROWSER_PATH_UNITS, joined);
        }
        hItem =
            (HTREEITEM)SendMessageW(g_hBrowserTree, TVM_GETNEXTITEM, TVGN_PARENT, (LPARAM)hItem);
    }

    if (FAILED(StringCchPrintfW(joined, BROWSER_PATH_UNITS, bPattern ? TEXT("\\%s*") : TEXT("\\%s"),
                                path)))
        return result;
    StringCchCopyW(result, BROWSER_PATH_UNITS, joined);
    return result;
}

static HWND CreateBrowserControl(LPCWSTR className, LPCWSTR text, DWORD style, int x, int y,
                                 int width, int height, HWND hDialog, int id) {
    HWND hwnd = CreateWindowExW(0, className, text, style, x, y, width, height, hDialog,
                                (HMENU)(UINT_PTR)id, g_hInstance, NULL);
    if (hwnd != NULL) {
        UpdateWindow(hwnd);
        ShowWindow(hwnd, SW_SHOWNORMAL);
    }
    return hwnd;
}

LRESULT CFolderBrowser::Browse(HWND hwndOwner, HWND hwndTarget) {
    if (s_hBrowserDialog != NULL && IsWindow(s_hBrowserDialog)) {
        // One browser at a time: bring the open one back instead.
        SetForegroundWindow(s_hBrowserDialog);
        return 0;
    }

    m_hTarget = hwndTarget;
    g_hBrowserTarget = hwndTarget;

    BrowserTemplate tmpl;
    ZeroMemory(&tmpl, sizeof(tmpl));
    tmpl.dialog.style = WS_CAPTION | WS_SYSMENU | DS_SETFOREGROUND;
    tmpl.dialog.dwExtendedStyle = 0;
    tmpl.dialog.cdit = 0;
    tmpl.dialog.x = 0;
    tmpl.dialog.y = 0;
    tmpl.dialog.cx = 200;
    tmpl.dialog.cy = 300;
    m_hDialog =
        CreateDialogIndirectParamW(g_hInstance, &tmpl.dialog, hwndOwner, FolderBrowserDlgProc, 0);
    if (m_hDialog == NULL) {
        // Without the dialog its controls would be windows of their own that nothing closes.
        ShowError(TEXT("Failed Creating Tree View Dialog"));
        g_hBrowserTarget = NULL;
        return 0;
    }
    s_hBrowserDialog = m_hDialog;

    SetWindowTextW(m_hDialog, TEXT("TreeView"));
    UpdateWindow(m_hDialog);
    ShowWindow(m_hDialog, SW_SHOWNORMAL);

    SHINITDLGINFO init;
    ZeroMemory(&init, sizeof(init));
    init.dwMask = SHIDIM_FLAGS;
    init.hDlg = m_hDialog;
    init.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLG;
    SHInitDialog(&init);

    RECT rc;
    GetClientRect(m_hDialog, &rc);
    int width = rc.right - rc.left;
    int height = rc.bottom - rc.top;

    g_hBrowserTree = CreateBrowserControl(TEXT("SysTreeView32"), TEXT(""),
                                          WS_BORDER | TVS_HASLINES | TVS_HASBUTTONS, 10, 10,
                                          width - 20, height - 40, m_hDialog, 0);
    if (g_hBrowserTree == NULL)
        ShowError(TEXT("Failed Creating Tree View Control"));
    g_hBrowserOk = CreateBrowserControl(TEXT("BUTTON"), TEXT("OK"), WS_VISIBLE, width / 2 - 70,
                                        rc.bottom - 25, 60, 20, m_hDialog, IDC_BROWSER_OK);
    g_hBrowserCancel =
        CreateBrowserControl(TEXT("BUTTON"), TEXT("Cancel"), WS_VISIBLE, width / 2 + 10,
                             rc.bottom - 25, 60, 20, m_hDialog, IDC_BROWSER_CANCEL);

    SHFILEINFO rootInfo;
    ZeroMemory(&rootInfo, sizeof(rootInfo));
    HIMAGELIST hImages = (HIMAGELIST)SHGetFileInfo(kRootText, 0, &rootInfo, sizeof(rootInfo),
                                                   SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    if (hImages == NULL)
        ShowError(TEXT("Failed Retrieving System Icon List"));
    SendMessageW(g_hBrowserTree, TVM_SETIMAGELIST, TVSIL_NORMAL, (LPARAM)hImages);

    HTREEITEM hRoot = InsertFolderItem(TVI_ROOT, kRootText, rootInfo.iIcon, 1);
    AddSubfolders(TEXT("\\*"), hRoot);
    return SendMessageW(g_hBrowserTree, TVM_EXPAND, TVE_EXPAND, (LPARAM)hRoot);
}

static void CloseBrowser(HWND hDialog) {
    DestroyWindow(g_hBrowserTree);
    DestroyWindow(g_hBrowserOk);
    DestroyWindow(g_hBrowserCancel);
    DestroyWindow(hDialog);
    g_hBrowserTree = NULL;
    g_hBrowserOk = NULL;
    g_hBrowserCancel = NULL;
    g_hBrowserTarget = NULL;
    s_hBrowserDialog = NULL;
}

static void OnBrowserOk(HWND hDialog) {
    HTREEITEM hSelected = (HTREEITEM)SendMessageW(g_hBrowserTree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    LPWSTR path = CFolderBrowser::GetItemPath(hSelected, FALSE);
    if (path == NULL)
        return;
    if (hSelected != NULL && path[0] == 0) {
        // Every folder's path begins with "\": an empty one did not fit. Keep the target as it
        // is and the browser open, so that another folder can be chosen.
        ShowError(TEXT("The folder's path is too long"));
        delete[] path;
        return;
    }
    SetWindowTextW(g_hBrowserTarget, path);
    CloseBrowser(hDialog);
    delete[] path;
}

// The tree asks whether a folder has children: look for its subfolders once, insert them, and
// answer from the item data ever after.
static void OnChildrenRequest(NMTVDISPINFOW* pInfo) {
    TVITEMW& item = pInfo->item;
    if (item.lParam != CHILDREN_NOT_ENUMERATED) {
        item.cChildren = (int)item.lParam;
        return;
    }
    LPWSTR pattern = CFolderBrowser::GetItemPath(item.hItem, TRUE);
    int found = CFolderBrowser::AddSubfolders(pattern, item.hItem);
    item.cChildren = found >= 1 ? 1 : 0;
    item.lParam = item.cChildren;
    // The item data is written with the answer, so that the folder is never searched twice.
    UINT requested = item.mask;
    item.mask = requested | TVIF_PARAM;
    SendMessageW(g_hBrowserTree, TVM_SETITEMW, 0, (LPARAM)&item);
    item.mask = requested;
    delete[] pattern;
}

INT_PTR CALLBACK FolderBrowserDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_INITDIALOG:
            return 1;
        case WM_NOTIFY: {
            NMHDR* pHeader = (NMHDR*)lParam;
            if (pHeader != NULL && pHeader->code == (UINT)TVN_GETDISPINFOW) {
                NMTVDISPINFOW* pInfo = (NMTVDISPINFOW*)lParam;
                if (pInfo->item.mask & TVIF_CHILDREN)
                    OnChildrenRequest(pInfo);
            }
            return 1;
        }
        case WM_COMMAND:
            // Compared whole: only a click of one of the two buttons acts; the caption's Done
            // button and anything else leave the browser open.
            if (wParam == IDC_BROWSER_OK)
                OnBrowserOk(hDlg);
            else if (wParam == IDC_BROWSER_CANCEL)
                CloseBrowser(hDlg);
            return 1;
        default:
            return DefWindowProcW(hDlg, msg, wParam, lParam);
    }
}
