// Dialogs from an in-memory template: the procedure's messages, dialog units, the dialog
// manager's defaults, modal dialogs, and SHInitDialog's sizing and Done button.
#include "support/msglog.h"

#include <aygshell.h>

#include "gwes/driver.h"
#include "testing/device.h"

using namespace gwestest;

namespace {

std::vector<Received> g_dialogMessages;

INT_PTR CALLBACK recordingDialog(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    g_dialogMessages.push_back({hwnd, msg, wp, lp});
    switch (msg) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_APP:
            SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 42);
            return TRUE;
        case WM_APP + 1:
            EndDialog(hwnd, 1234);
            return TRUE;
        case WM_COMMAND:
            return TRUE;
        default:
            return FALSE;
    }
}

// A template as the folder browser builds it: no items; empty menu, class and title.
struct EmptyTemplate {
    DLGTEMPLATE t;
    WORD menu = 0, cls = 0, title = 0;
};

EmptyTemplate browserTemplate() {
    EmptyTemplate e{};
    e.t.style = WS_CAPTION | WS_SYSMENU | DS_SETFOREGROUND;
    e.t.cdit = 0;
    e.t.cx = 200;
    e.t.cy = 300;
    return e;
}

// A template with one push button item (class atom 0x0080), ID 60001, text "OK".
std::vector<WORD> templateWithButton() {
    std::vector<WORD> t;
    auto dword = [&](DWORD v) {
        t.push_back(LOWORD(v));
        t.push_back(HIWORD(v));
    };
    dword(WS_POPUP | WS_VISIBLE);
    dword(0);
    t.insert(t.end(), {1, 0, 0, 100, 80, 0, 0});  // cdit, x, y, cx, cy, menu, class
    t.insert(t.end(), {u'T', u'i', 0});           // title
    if (t.size() % 2)
        t.push_back(0);  // items are DWORD-aligned
    dword(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON);
    dword(0);
    t.insert(t.end(), {10, 60, 40, 14, 60001, 0xFFFF, 0x0080, u'O', u'K', 0, 0});
    return t;
}

class Dialogs : public ::testing::Test {
  protected:
    ce::test::TempDevice device{ce::test::TempDevice::Contents::Empty};
    void SetUp() override { g_dialogMessages.clear(); }
};

TEST_F(Dialogs, TemplateGivesADialogInDialogUnitsAndInitDialogFirst) {
    EmptyTemplate e = browserTemplate();
    HWND dlg = CreateDialogIndirectParamW(nullptr, &e.t, nullptr, recordingDialog, 99);
    ASSERT_TRUE(dlg);
    ASSERT_FALSE(g_dialogMessages.empty());
    EXPECT_EQ(g_dialogMessages.front().msg, static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(g_dialogMessages.front().lp, 99);
    for (auto& m : g_dialogMessages)
        EXPECT_NE(m.msg, static_cast<UINT>(WM_CREATE));  // never seen by the procedure
    WCHAR cls[16];
    GetClassNameW(dlg, cls, 16);
    EXPECT_EQ(std::u16string(cls), u"Dialog");
    RECT units{0, 0, 200, 300};
    MapDialogRect(dlg, &units);
    RECT r;
    GetWindowRect(dlg, &r);
    EXPECT_EQ(r.right - r.left, units.right);
    EXPECT_EQ(r.bottom - r.top, units.bottom);
    EXPECT_GT(units.right, 200);
    EXPECT_FALSE(IsWindowVisible(dlg));  // no WS_VISIBLE in the template
}

TEST_F(Dialogs, ProcedureAnswersGoThroughTheMessageResult) {
    EmptyTemplate e = browserTemplate();
    HWND dlg = CreateDialogIndirectParamW(nullptr, &e.t, nullptr, recordingDialog, 0);
    EXPECT_EQ(SendMessageW(dlg, WM_APP, 0, 0), 42);
    // FALSE falls to the dialog manager: it erases the background itself
    HDC dc = GetDC(dlg);
    EXPECT_EQ(SendMessageW(dlg, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
    ReleaseDC(dlg, dc);
    EXPECT_EQ(HIWORD(SendMessageW(dlg, DM_GETDEFID, 0, 0)), DC_HASDEFID);
}

TEST_F(Dialogs, ItemsAreCreatedWithTheirClassIdAndText) {
    auto t = templateWithButton();
    HWND dlg = CreateDialogIndirectParamW(nullptr, reinterpret_cast<LPCDLGTEMPLATEW>(t.data()),
                                          nullptr, recordingDialog, 0);
    ASSERT_TRUE(dlg);
    HWND ok = GetDlgItem(dlg, 60001);
    ASSERT_TRUE(ok);
    WCHAR buf[16];
    GetClassNameW(ok, buf, 16);
    EXPECT_EQ(std::u16string(buf), u"BUTTON");
    GetWindowTextW(ok, buf, 16);
    EXPECT_EQ(std::u16string(buf), u"OK");
    EXPECT_TRUE(IsWindowVisible(dlg));
    // WM_INITDIALOG answered TRUE: the first tab stop has the focus
    EXPECT_EQ(GetFocus(), ok);
    EXPECT_EQ(g_dialogMessages.front().wp, reinterpret_cast<WPARAM>(ok));
    DestroyWindow(dlg);
}

TEST_F(Dialogs, ModalDialogReturnsWhatEndDialogWasGiven) {
    EmptyTemplate e = browserTemplate();
    INT_PTR result = 0;
    ce::test::Driver d([&] {
        HWND owner = CreateWindowExW(0, u"Dialog", u"owner", WS_VISIBLE, 0, 26, 240, 294, nullptr,
                                     nullptr, nullptr, nullptr);
        result = DialogBoxIndirectParamW(nullptr, &e.t, owner, recordingDialog, 0);
        return IsWindowEnabled(owner) ? 0 : 1;
    });
    ASSERT_TRUE(d.running());
    HWND dlg = d.activeWindow();
    EXPECT_EQ(GetWindow(dlg, GW_OWNER), FindWindowW(u"Dialog", u"owner"));
    PostMessageW(dlg, WM_APP + 1, 0, 0);
    d.tap(1, 100);
    EXPECT_FALSE(d.running());
    EXPECT_EQ(result, 1234);
    EXPECT_EQ(d.exitCode(), 0);  // the owner is enabled again
}

TEST_F(Dialogs, InitDialogSizesToTheWorkAreaAndTheDoneButtonSendsIdok) {
    EmptyTemplate e = browserTemplate();
    HWND dlg = nullptr;
    ce::test::Driver d([&] {
        dlg = CreateDialogIndirectParamW(nullptr, &e.t, nullptr, recordingDialog, 0);
        SetWindowTextW(dlg, u"TreeView");
        ShowWindow(dlg, SW_SHOWNORMAL);
        SHINITDLGINFO info{SHIDIM_FLAGS, dlg, SHIDIF_DONEBUTTON | SHIDIF_SIZEDLG};
        SHInitDialog(&info);
        MSG m;
        while (GetMessageW(&m, nullptr, 0, 0)) DispatchMessageW(&m);
        return 0;
    });
    RECT r;
    GetWindowRect(dlg, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 26);
    EXPECT_EQ(r.right, 240);
    EXPECT_EQ(r.bottom, 320);
    EXPECT_EQ(d.navTitle(), u"TreeView");
    g_dialogMessages.clear();
    d.ok();
    bool sawOk = false;
    for (auto& m : g_dialogMessages) sawOk |= m.msg == WM_COMMAND && LOWORD(m.wp) == IDOK;
    EXPECT_TRUE(sawOk);
    EXPECT_TRUE(IsWindow(dlg));  // the procedure decides; this one keeps the dialog
}

}  // namespace
