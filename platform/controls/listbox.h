// Between a combo box and its dropped list ("ComboLBox", a list box that reports to the combo).
#pragma once

#include <windows.h>

namespace ce::controls {

inline constexpr const WCHAR* kComboListClass = u"ComboLBox";

// WM_COMMAND codes the dropped list sends its combo box (high word of wParam).
inline constexpr WORD kComboListChosen = 0x7F01;     // a tap released on an entry
inline constexpr WORD kComboListCancelled = 0x7F02;  // a tap outside the list

void registerComboListClass();

}  // namespace ce::controls
