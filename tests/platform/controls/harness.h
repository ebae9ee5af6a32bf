// What the control tests share: a fresh device, a parent window that records what its controls
// tell it, and a comparison of that record with an expected table.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "gwes/driver.h"
#include "testing/device.h"

namespace ctltest {

// One message a parent received from a control.
struct Received {
    UINT message = 0;
    UINT code = 0;        // WM_COMMAND: HIWORD(wParam); WM_NOTIFY: NMHDR code; scrolls: LOWORD
    int id = 0;           // WM_COMMAND: LOWORD(wParam); WM_NOTIFY: idFrom
    HWND from = nullptr;  // lParam of WM_COMMAND / scrolls, hwndFrom of WM_NOTIFY
    int pos = 0;          // scrolls: HIWORD(wParam)
};

// An expected entry: what must match (the rest is not compared).
struct Expect {
    UINT message;
    UINT code;
    std::optional<int> id = std::nullopt;
    std::optional<int> pos = std::nullopt;
};

std::vector<Received>& received();
// Forgets what was received and every answer and hook set by an earlier test.
void resetRecord();
// The answer the parent gives to WM_NOTIFY with this code (TCN_SELCHANGING: TRUE refuses).
void answerNotify(UINT code, LRESULT answer);
// Called for each WM_NOTIFY before answering (the tree's children requests).
using NotifyHook = LRESULT (*)(NMHDR* hdr, bool* handled);
void setNotifyHook(NotifyHook hook);

std::string describe(const std::vector<Received>& r);
// Compares the parent's record with the table; reports both on a mismatch.
::testing::AssertionResult matches(const std::vector<Expect>& expected);

// A setter's edge case and what Win32 answers to it. The rows of a table are sent in turn to one
// control, which keeps its state from row to row, as in the probe the answers were taken from.
enum class Repaint { No, Yes };
inline constexpr Repaint Y = Repaint::Yes;  // shorthands for the tables' repaint column
inline constexpr Repaint N = Repaint::No;
struct Query {
    UINT message;
    WPARAM wParam;
    LRESULT answer;
    LPARAM lParam = 0;
};
struct SetterRow {
    const char* what;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::optional<LRESULT> answer;   // nullopt: Win32 gives the setter no return value
    Repaint repaint;                 // whether the control is left invalid (to be repainted)
    std::vector<Query> state;        // getters and their answers afterwards
    const char16_t* text = nullptr;  // the window text afterwards, when it matters
    std::optional<DWORD> style = std::nullopt;  // the window style afterwards, when it matters
};
// Sends each row and checks its answer, the state read back and the repaint; reports the row.
void runSetterTable(HWND control, const std::vector<SetterRow>& rows);

// The recording parent: a top-level window that fills the screen below the navigation bar.
HWND createParent();
HWND createChild(HWND parent, LPCWSTR className, LPCWSTR text, DWORD style, int x, int y, int w,
                 int h, int id);
std::u16string windowText(HWND hwnd);
std::string narrow(const std::u16string& text);  // for failure messages
POINT screenPoint(HWND hwnd, int x, int y);      // client point of hwnd on the screen
int runLoop();                                   // a program's message loop until WM_QUIT

// A fresh empty device with the common controls and a recording parent.
class ControlTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    HWND child(LPCWSTR className, LPCWSTR text, DWORD style, int x, int y, int w, int h, int id) {
        return createChild(parent_, className, text, style, x, y, w, h, id);
    }

    std::optional<ce::test::TempDevice> device_;
    HWND parent_ = nullptr;
};

}  // namespace ctltest
