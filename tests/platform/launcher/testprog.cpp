// A small Windows CE program for the launcher and script tests: a push button that asks a
// question in a message box, a check box that shows a hidden label, an edit, a list, a menu bar
// and the navigation bar's ok button. What it does lands in its status line (and, for "Save",
// in a file on the device), so a script can check it.
//
// Command line: "quick" ends at once with exit code 3, "crash" throws; one with the word "record"
// writes itself to a file and ends with 5; "box" shows a message box before the main window;
// anything else is shown in the command-line label.
#include <windows.h>

#include <aygshell.h>
#include <strsafe.h>

#include <cstdio>
#include <stdexcept>

#include "testprog_ids.h"

namespace {

HINSTANCE g_hInstance = nullptr;
POINT g_dragStart = {0, 0};

void SetStatus(HWND hwnd, LPCWSTR text) {
    SetDlgItemTextW(hwnd, IDC_STATUS, text);
}

void OnGreet(HWND hwnd) {
    WCHAR name[256] = {};
    GetDlgItemTextW(hwnd, IDC_NAME, name, 256);
    WCHAR text[300];
    StringCchPrintfW(text, 300, TEXT("Hello, %s"), name);
    int answer = MessageBoxW(hwnd, text, TEXT("Greeting"), MB_YESNO | MB_ICONQUESTION);
    SetStatus(hwnd, answer == IDYES ? TEXT("answered yes") : TEXT("answered no"));
}

void OnRemember(HWND hwnd) {
    BOOL checked = SendDlgItemMessageW(hwnd, IDC_REMEMBER, BM_GETCHECK, 0, 0) == BST_CHECKED;
    ShowWindow(GetDlgItem(hwnd, IDC_DETAILS), checked ? SW_SHOW : SW_HIDE);
}

void OnFruit(HWND hwnd) {
    HWND list = GetDlgItem(hwnd, IDC_FRUIT);
    LRESULT i = SendMessageW(list, LB_GETCURSEL, 0, 0);
    WCHAR fruit[64] = {};
    if (i >= 0)
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(fruit));
    WCHAR text[96];
    StringCchPrintfW(text, 96, TEXT("fruit %s"), fruit);
    SetStatus(hwnd, text);
}

void OnSave(HWND hwnd) {
    WCHAR name[256] = {};
    int n = static_cast<int>(GetDlgItemTextW(hwnd, IDC_NAME, name, 256));
    FILE* f = _wfopen(TEXT("\\My Documents\\name.txt"), TEXT("wb"));
    if (!f) {
        MessageBoxW(nullptr, TEXT("Cannot write \\My Documents\\name.txt"), TEXT("Error"), MB_OK);
        return;
    }
    fwrite(name, sizeof(WCHAR), static_cast<size_t>(n), f);
    fclose(f);
    SetStatus(hwnd, TEXT("saved"));
}

void OnCommand(HWND hwnd, int id, int code) {
    switch (id) {
        case IDC_GREET:
            OnGreet(hwnd);
            break;
        case IDC_REMEMBER:
            OnRemember(hwnd);
            break;
        case IDC_FRUIT:
            if (code == LBN_SELCHANGE)
                OnFruit(hwnd);
            break;
        case IDM_SAVE:
            OnSave(hwnd);
            break;
        case IDM_QUIT:
            PostQuitMessage(7);
            break;
        case IDOK:
            PostQuitMessage(0);
            break;
        default:
            break;
    }
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            OnCommand(hwnd, LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_LBUTTONDOWN:
            g_dragStart.x = static_cast<short>(LOWORD(lParam));
            g_dragStart.y = static_cast<short>(HIWORD(lParam));
            return 0;
        case WM_LBUTTONUP: {
            WCHAR text[64];
            StringCchPrintfW(text, 64, TEXT("drag %d,%d to %d,%d"), static_cast<int>(g_dragStart.x),
                             static_cast<int>(g_dragStart.y),
                             static_cast<int>(static_cast<short>(LOWORD(lParam))),
                             static_cast<int>(static_cast<short>(HIWORD(lParam))));
            SetStatus(hwnd, text);
            return 0;
        }
        default:
            return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

HWND Child(HWND parent, LPCWSTR cls, LPCWSTR text, DWORD style, int x, int y, int w, int h,
           int id) {
    return CreateWindowExW(0, cls, text, WS_CHILD | style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), g_hInstance,
                           nullptr);
}

HWND CreateMainWindow(LPCWSTR commandLine) {
    UnregisterClassW(TEXT("LauncherTest"), g_hInstance);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = g_hInstance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<UINT_PTR>(COLOR_WINDOW + 1));
    wc.lpszClassName = TEXT("LauncherTest");
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(WS_EX_CAPTIONOKBTN, TEXT("LauncherTest"), TEXT("Launcher Test"),
                                WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, nullptr, nullptr, g_hInstance, nullptr);
    if (!hwnd)
        return nullptr;

    SHMENUBARINFO mb = {};
    mb.cbSize = sizeof(mb);
    mb.hwndParent = hwnd;
    mb.nToolBarId = IDR_TESTPROG_MENU;
    mb.hInstRes = g_hInstance;
    mb.dwFlags = SHCMBF_HMENU;
    if (SHCreateMenuBar(&mb)) {
        RECT rc, rcBar;
        GetWindowRect(hwnd, &rc);
        GetWindowRect(mb.hwndMB, &rcBar);
        MoveWindow(hwnd, rc.left, rc.top, rc.right - rc.left, rcBar.top - rc.top, FALSE);
    }

    Child(hwnd, TEXT("BUTTON"), TEXT("Greet"), WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 70, 24,
          IDC_GREET);
    Child(hwnd, TEXT("BUTTON"), TEXT("Remember"), WS_VISIBLE | BS_AUTOCHECKBOX, 100, 12, 120, 20,
          IDC_REMEMBER);
    Child(hwnd, TEXT("EDIT"), TEXT(""), WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 10, 42, 150, 20,
          IDC_NAME);
    Child(hwnd, TEXT("STATIC"), TEXT("ready"), WS_VISIBLE, 10, 70, 220, 18, IDC_STATUS);
    Child(hwnd, TEXT("STATIC"), TEXT("Details"), 0, 10, 90, 220, 18, IDC_DETAILS);
    HWND list = Child(hwnd, TEXT("LISTBOX"), TEXT(""), WS_VISIBLE | WS_BORDER | LBS_NOTIFY, 10, 112,
                      120, 60, IDC_FRUIT);
    const LPCWSTR fruits[] = {TEXT("Apple"), TEXT("Pear"), TEXT("Plum")};
    for (LPCWSTR fruit : fruits)
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(fruit));
    Child(hwnd, TEXT("STATIC"), commandLine, WS_VISIBLE, 10, 180, 220, 18, IDC_COMMAND_LINE);
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    return hwnd;
}

// Started by another program: leaves its module path and command line in \Temp\started.txt.
int RecordCommandLine(LPCWSTR commandLine) {
    WCHAR module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    FILE* f = _wfopen(TEXT("\\Temp\\started.txt"), TEXT("wb"));
    if (!f)
        return 1;
    fwrite(module, sizeof(WCHAR), wcslen(module), f);
    fwrite(TEXT("|"), sizeof(WCHAR), 1, f);
    fwrite(commandLine, sizeof(WCHAR), wcslen(commandLine), f);
    fclose(f);
    return 5;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR lpCmdLine, int) {
    g_hInstance = hInstance;
    if (wcscmp(lpCmdLine, TEXT("quick")) == 0)
        return 3;
    if (wcscmp(lpCmdLine, TEXT("crash")) == 0)
        throw std::runtime_error("out of memory");
    if (wcsstr(lpCmdLine, TEXT("record")))
        return RecordCommandLine(lpCmdLine);
    if (wcscmp(lpCmdLine, TEXT("box")) == 0)
        MessageBoxW(nullptr, TEXT("Ready?"), TEXT("Starting"), MB_OKCANCEL);
    if (!CreateMainWindow(lpCmdLine))
        return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
