// System metrics of a Pocket PC 2003 screen and the work area.
#include "gwes/gwes.h"

#include <algorithm>

using namespace ce::gwes;

extern "C" {

int WINAPI GetSystemMetrics(int index) {
    switch (index) {
        case SM_CXSCREEN:
        case SM_CXFULLSCREEN:
        case SM_CXVIRTUALSCREEN:
        case SM_CXMAXIMIZED:
            return screenWidth();
        case SM_CYSCREEN:
        case SM_CYVIRTUALSCREEN:
            return screenHeight();
        case SM_CYFULLSCREEN:
        case SM_CYMAXIMIZED:
            return screenHeight() - kNavBarHeight;
        case SM_CXVSCROLL:
        case SM_CYHSCROLL:
        case SM_CYVSCROLL:
        case SM_CXHSCROLL:
        case SM_CYVTHUMB:
        case SM_CXHTHUMB:
            return kScrollBarSize;
        case SM_CYCAPTION:
        case SM_CYMENU:
            return kNavBarHeight;
        case SM_CXBORDER:
        case SM_CYBORDER:
            return 1;
        case SM_CXDLGFRAME:
        case SM_CYDLGFRAME:
        case SM_CXFRAME:
        case SM_CYFRAME:
            return 2;
        case SM_CXEDGE:
        case SM_CYEDGE:
            return 2;
        case SM_CXICON:
        case SM_CYICON:
            return 32;
        case SM_CXSMICON:
        case SM_CYSMICON:
        case SM_CXMENUCHECK:
        case SM_CYMENUCHECK:
            return 16;
        case SM_CXCURSOR:
        case SM_CYCURSOR:
            return 32;
        case SM_CXDOUBLECLK:
        case SM_CYDOUBLECLK:
            return 4;
        case SM_CXICONSPACING:
        case SM_CYICONSPACING:
            return 48;
        case SM_MOUSEPRESENT:
            return 0;
        case SM_CMONITORS:
            return 1;
        default:
            return 0;
    }
}

BOOL WINAPI SystemParametersInfoW(UINT action, UINT param, PVOID data, UINT) {
    switch (action) {
        case SPI_GETWORKAREA:
            if (!data)
                return FALSE;
            *static_cast<RECT*>(data) = workArea();
            return TRUE;
        case SPI_GETPLATFORMTYPE:
        case SPI_GETOEMINFO: {
            if (!data || param == 0)
                return FALSE;
            const char16_t* text =
                action == SPI_GETPLATFORMTYPE ? u"PocketPC" : u"Varnello Host Device";
            auto* out = static_cast<WCHAR*>(data);
            size_t cch = param / sizeof(WCHAR);
            size_t n = std::min(std::char_traits<char16_t>::length(text), cch ? cch - 1 : 0);
            std::copy_n(text, n, out);
            if (cch)
                out[n] = 0;
            return TRUE;
        }
        default:
            return FALSE;
    }
}

}  // extern "C"
