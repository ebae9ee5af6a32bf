// Runs the real Varnello (WinMain) on a fresh device through the test driver, and reads what a
// person would see: the screens' controls, their places on the page, the scroll bar.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "gwes/driver.h"
#include "testing/device.h"
#include "screens/FolderBrowser.h"
#include "screens/Screens.h"
#include "shell/Globals.h"
#include "shell/ShellWindows.h"

namespace apptest {

using ce::test::Driver;
using ce::test::Query;
using ce::test::TempDevice;

class App {
  public:
    // prepare runs on the device before the program starts (folders, files, attributes).
    explicit App(std::u16string commandLine = u"",
                 TempDevice::Contents contents = TempDevice::Contents::Factory,
                 const std::function<void(TempDevice&)>& prepare = {})
        : device_(contents) {
        // Installed, the program's folder holds settings.dat.
        CreateDirectoryW(TEXT("\\Program Files"), NULL);
        CreateDirectoryW(TEXT("\\Program Files\\Varnello"), NULL);
        if (prepare)
            prepare(device_);
        driver_ = std::make_unique<Driver>(WinMain, std::move(commandLine));
    }
    // A test that leaves the program running ends it as a person would (closing an open
    // browser, then Exit), so that teardown runs and destroys every window; only when that is
    // not possible is the program stopped where it waits.
    ~App() {
        if (!driver_ || !driver_->running())
            return;
        try {
            if (g_hBrowserCancel != NULL && !driver_->messageBox())
                driver_->tap(g_hBrowserCancel);
            if (driver_->running() && !driver_->messageBox())
                driver_->menu(u"Varnello", u"Exit");
        } catch (const ce::test::DriverError&) {
        }
        if (driver_->running())
            driver_->stop();
    }

    Driver& driver() { return *driver_; }
    TempDevice& device() { return device_; }

  private:
    TempDevice device_;
    std::unique_ptr<Driver> driver_;
};

inline HWND DisplayWindow() {
    return g_pDisplayWindow != NULL ? g_pDisplayWindow->GetHandle() : NULL;
}

inline HWND ScreenControl(int screen, int pos) {
    return g_pScreens->GetScreenItems(screen).GetAt(pos);
}

// A control's rectangle in the display window's client coordinates.
inline RECT PlaceOnPage(HWND hwnd) {
    RECT rc;
    GetWindowRect(hwnd, &rc);
    POINT origin = {0, 0};
    ClientToScreen(DisplayWindow(), &origin);
    OffsetRect(&rc, -origin.x, -origin.y);
    return rc;
}

inline SCROLLINFO PageScrollInfo() {
    SCROLLINFO si = {};
    si.cbSize = sizeof(si);
    si.fMask = SIF_ALL;
    GetScrollInfo(DisplayWindow(), SB_VERT, &si);
    return si;
}

inline std::u16string WindowText(HWND hwnd) {
    WCHAR buffer[1024] = {0};
    GetWindowTextW(hwnd, buffer, 1024);
    return std::u16string(buffer);
}

// Every control of every screen stands at its unscrolled top minus the scroll position.
inline void ExpectPageAt(int screen, const int* catalogueTops, int scrollPosition) {
    const CWindowList& items = g_pScreens->GetScreenItems(screen);
    for (int i = 0; i < items.GetCount(); i++)
        EXPECT_EQ(PlaceOnPage(items.GetAt(i)).top, catalogueTops[i] - scrollPosition)
            << "screen " << screen << " position " << i;
}

// Runs `work` on the program's own thread, inside its message loop, the way a message of the
// program runs: posted to the main window as a timer message that DispatchMessageW hands to its
// callback. A Shift key, which no control of the program uses, wakes the program; the call
// returns when the program waits again (a message box that `work` shows is then up).
inline std::function<void()>& PendingWork() {
    static std::function<void()> work;
    return work;
}

inline void CALLBACK RunPendingWork(HWND, UINT, UINT_PTR, DWORD) {
    std::function<void()> work = std::move(PendingWork());
    PendingWork() = nullptr;
    if (work)
        work();
}

inline void RunOnProgramThread(Driver& driver, std::function<void()> work) {
    PendingWork() = std::move(work);
    ASSERT_TRUE(PostMessageW(g_pMainWindow->GetHandle(), WM_TIMER, 0, (LPARAM)&RunPendingWork));
    driver.key(VK_SHIFT);
    EXPECT_EQ(PendingWork(), nullptr) << "the program did not take the posted work";
}

// Chooses tab `index` as a person does: when the row of tabs is wider than the screen, its two
// scroll arrows at the right end bring the tab into view first.
inline void ChooseTab(Driver& driver, int index) {
    const int kArrowsWidth = 26;
    HWND tabs = g_pTabBar->GetHandle();
    RECT client;
    GetClientRect(tabs, &client);
    const int limit = client.right - kArrowsWidth;
    for (int attempt = 0; attempt < 12; attempt++) {
        RECT r = {};
        SendMessageW(tabs, TCM_GETITEMRECT, index, (LPARAM)&r);
        POINT pt = {0, (r.top + r.bottom) / 2};
        bool shown = r.left >= client.left && r.left + 4 < limit;
        if (shown)
            pt.x = (r.left + std::min<LONG>(r.right, limit)) / 2;
        else if (r.left >= limit)
            pt.x = client.right - kArrowsWidth / 4;  // right arrow
        else
            pt.x = limit + kArrowsWidth / 4;  // left arrow
        ClientToScreen(tabs, &pt);
        driver.tap(pt.x, pt.y);
        if (shown)
            return;
    }
    ADD_FAILURE() << "tab " << index << " could not be brought into view";
}

}  // namespace apptest
