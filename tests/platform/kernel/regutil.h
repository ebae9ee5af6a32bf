// Registry helpers for the kernel tests: values written and read as a program does.
#pragma once

#include "util.h"

#include <map>

namespace kt {

inline std::vector<BYTE> bytesOf(const std::u16string& s) {
    const BYTE* p = reinterpret_cast<const BYTE*>(s.c_str());
    return std::vector<BYTE>(p, p + (s.size() + 1) * 2);
}

inline LONG setString(HKEY key, const char16_t* name, const std::u16string& text) {
    auto b = bytesOf(text);
    return RegSetValueExW(key, name, 0, REG_SZ, b.data(), static_cast<DWORD>(b.size()));
}

inline LONG setDword(HKEY key, const char16_t* name, DWORD v) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4);
}

inline std::u16string getString(HKEY root, const char16_t* path, const char16_t* name) {
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, 0, &key) != ERROR_SUCCESS)
        return u"<no key>";
    WCHAR buf[1024] = {};
    DWORD cb = sizeof buf, type = 0;
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &cb);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::u16string(buf) : u"<no value>";
}

inline DWORD getDword(HKEY root, const char16_t* path, const char16_t* name) {
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, 0, &key) != ERROR_SUCCESS)
        return 0xDEAD;
    DWORD v = 0, cb = 4;
    LONG rc = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &cb);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? v : 0xBEEF;
}

// Every DWORD value of every subkey of root\path, as the enumeration gives them: key name ->
// value name -> data.
using Dwords = std::map<std::u16string, std::map<std::u16string, DWORD>>;
inline Dwords dwordsBelow(HKEY root, const char16_t* path) {
    Dwords out;
    HKEY top;
    if (RegOpenKeyExW(root, path, 0, 0, &top) != ERROR_SUCCESS)
        return out;
    WCHAR name[256];
    for (DWORD i = 0;; ++i) {
        DWORD cch = 256;
        if (RegEnumKeyExW(top, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != 0)
            break;
        HKEY key;
        auto& values = out[name];
        if (RegOpenKeyExW(top, name, 0, 0, &key) != ERROR_SUCCESS)
            continue;
        WCHAR vname[256];
        for (DWORD j = 0;; ++j) {
            DWORD vcch = 256, data = 0, cb = 4;
            if (RegEnumValueW(key, j, vname, &vcch, nullptr, nullptr,
                              reinterpret_cast<BYTE*>(&data), &cb) != 0)
                break;
            values[vname] = data;
        }
        RegCloseKey(key);
    }
    RegCloseKey(top);
    return out;
}

}  // namespace kt
