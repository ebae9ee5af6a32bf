// Class registration: the window system's controls and the common controls.
#include "controls/controls.h"

#include <windows.h>
#include <commctrl.h>

#include "gwes/gwes.h"

namespace ce::controls {

void registerSystemClasses() {
    registerButtonClass();
    registerStaticClass();
    registerEditClass();
    registerListBoxClass();
    registerComboBoxClass();
}

namespace {
// The window system registers its controls on every device it starts.
[[maybe_unused]] const bool kProvided = (gwes::addClassProvider(registerSystemClasses), true);
}  // namespace

void registerCommonClasses() {
    registerTrackbarClass();
    registerTabClass();
    registerTreeViewClass();
}

}  // namespace ce::controls

CE_BEGIN_DECLS

CEAPI void WINAPI InitCommonControls(void) {
    ce::controls::registerCommonClasses();
}

CEAPI BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
    if (!init || init->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
        SetLastError(87 /* ERROR_INVALID_PARAMETER */);
        return FALSE;
    }
    // Every class this platform has is small; register them all whatever dwICC asks for, as
    // the device's own library does for the classes it groups together.
    ce::controls::registerCommonClasses();
    return TRUE;
}

CE_END_DECLS
