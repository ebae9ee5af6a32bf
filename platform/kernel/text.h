// Text conversion for the whole platform: the device's UTF-16 and the host's UTF-8.
//
// Text for people (log lines, scripts, messages, the .reg file) converts with fromUtf8/toUtf8.
// Host file names convert with fromHostName/toHostName instead: a host name is any run of bytes,
// and each one must come back exactly as it was, so that a file the device lists can be opened,
// deleted and moved under its own name.
#pragma once

#include <string>
#include <string_view>

namespace ce::kernel {

// What becomes of a byte that is not part of valid UTF-8.
enum class BadBytes {
    Replace,  // U+FFFD, once per byte
    Escape,   // U+DC80 + (byte - 0x80): a lone low surrogate that keeps the byte (host names)
    Latin1,   // the Latin-1 character of that value (texts written in a Windows code page)
};

std::u16string fromUtf8(std::string_view in, BadBytes bad = BadBytes::Replace);
// Lone surrogates become U+FFFD.
std::string toUtf8(std::u16string_view in);
// False, with `out` unspecified, when `in` holds a lone surrogate.
bool toUtf8(std::u16string_view in, std::string& out);

// The device name of a host name: valid UTF-8 decoded, every other byte escaped (BadBytes::Escape).
std::u16string fromHostName(std::string_view bytes);
// The host name of a device name: the inverse of fromHostName. False for a name that no host name
// gives, which is refused rather than stored as something else: a lone surrogate outside the
// escapes, or escapes whose bytes spell valid UTF-8 (U+DCC3 U+DCA9 would be stored as the bytes
// of "é" and read back as "é"). So every name accepted reads back unchanged, and two host names
// never become one device name.
bool toHostName(std::u16string_view name, std::string& bytes);

// The code points of UTF-16 text, for drawing: a lone surrogate is U+FFFD.
std::u32string toCodePoints(std::u16string_view in);

}  // namespace ce::kernel
