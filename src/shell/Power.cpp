// The "Power" menu: switch the device off, restart it, or restart it with a cleared store.
#include <windows.h>
#include <pkfuncs.h>

#include "shell/Globals.h"
#include "shell/ShellWindows.h"

static const WCHAR kConfirmCaption[] = TEXT("Please Confirm");
static const WCHAR kHardResetWarning[] = TEXT("WARNING: Hard Reseting Will Erase ALL data!!!\n\n")
    TEXT("Zembrik accepts no reposibility for data loss resulting from the use of this ")
        TEXT("function.\n\nDo you wish to perform a hard reset?");
static const WCHAR kHardResetAgain[] = TEXT("Are you really sure?");

// A press and a release of the power key, both without a click: the device suspends as if its
// button had been pressed and resumes where it was.
void PowerOff() {
    keybd_event(VK_OFF, 0, KEYEVENTF_SILENT, 0);
    keybd_event(VK_OFF, 0, KEYEVENTF_KEYUP | KEYEVENTF_SILENT, 0);
}

// When the request returns instead of restarting, the program simply goes on.
void SoftReset() {
    KernelIoControl(IOCTL_HAL_REBOOT, NULL, 0, NULL, 0, NULL);
}

static BOOL ConfirmHardReset(LPCWSTR question) {
    return MessageBoxW(NULL, question, kConfirmCaption, MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
}

// Everything on the device is erased: ask twice, and only a Yes to both goes on.
void HardReset() {
    if (!ConfirmHardReset(kHardResetWarning))
        return;
    if (!ConfirmHardReset(kHardResetAgain))
        return;
    SetCleanRebootFlag();
    SoftReset();
}
