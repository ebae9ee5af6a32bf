// Registry keys and values as people write and read them: "HKLM\System\GWE" for a key, "1"
// for a DWORD, "\"text\"" for a string, the .reg hex form for anything else. Used where the
// host tools and scripts show or compare registry contents.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace ce::kernel {

// Splits "HKLM\Software\Apps" (or "HKEY_LOCAL_MACHINE\...") into its root and the subkey
// path; false when it does not begin with a root (HKLM, HKCU, HKCR, HKU or their long names).
bool splitRegPath(std::u16string_view path, HKEY& root, std::u16string& subkey);
// "HKEY_LOCAL_MACHINE" and so on, for the four roots.
const char* regRootName(HKEY root);

// "REG_SZ", "REG_DWORD", ..., or "type 0x20" for a type without a name.
std::string regTypeName(DWORD type);
// The data as people read it: a DWORD in decimal, a string in double quotes (control
// characters escaped), anything else as the .reg hex form ("hex(7):61,00,...").
std::string regValueText(DWORD type, const uint8_t* data, size_t size);
// Whether `want` names this data: for a DWORD a number (decimal, or hexadecimal after 0x), for
// a string its text exactly, for anything else the .reg hex form regValueText gives.
bool regValueMatches(DWORD type, const uint8_t* data, size_t size, std::string_view want);

}  // namespace ce::kernel
