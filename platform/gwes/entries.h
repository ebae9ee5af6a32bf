// The texts of windows and of the entries of lists, drop-down lists, tab bars and trees, read
// through their messages as any program reads them: what the test driver and the script
// language look for.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace ce::gwes {

// A window's text (GetWindowTextW), however long.
inline std::u16string windowTextOf(HWND h) {
    int n = std::max(GetWindowTextLengthW(h), 0);
    std::u16string t(static_cast<size_t>(n) + 1, u'\0');
    t.resize(static_cast<size_t>(GetWindowTextW(h, t.data(), n + 1)));
    return t;
}

// A window's class name in lower case ("button", "systreeview32").
inline std::u16string classNameOf(HWND h) {
    WCHAR name[64] = {};
    GetClassNameW(h, name, 64);
    std::u16string s(name);
    for (auto& c : s)
        if (c < 0x80)
            c = static_cast<char16_t>(std::tolower(c));
    return s;
}

// The text of entry i of a list box (or, with combo set, of a combo box); empty when there is
// no such entry.
inline std::u16string listEntryText(HWND h, INT_PTR i, bool combo = false) {
    LRESULT n = SendMessageW(h, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    if (n < 0)
        return {};
    std::u16string t(static_cast<size_t>(n) + 1, u'\0');
    SendMessageW(h, combo ? CB_GETLBTEXT : LB_GETTEXT, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(t.data()));
    t.resize(std::char_traits<char16_t>::length(t.c_str()));
    return t;
}

inline std::u16string tabEntryText(HWND h, INT_PTR i) {
    WCHAR buf[256] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = buf;
    item.cchTextMax = 256;
    SendMessageW(h, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    return buf;
}

inline std::u16string treeEntryText(HWND h, HTREEITEM item) {
    WCHAR buf[1024] = {};
    TVITEMW tv{};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = buf;
    tv.cchTextMax = 1024;
    SendMessageW(h, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    return buf;
}

}  // namespace ce::gwes
