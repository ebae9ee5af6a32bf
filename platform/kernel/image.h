// Host-side tree operations on device images. Neither follows a symbolic link.
#pragma once

#include <filesystem>
#include <string_view>

namespace ce::kernel {

// The host path of a device path below an image's root/, spelled as given
// ("\Windows\Temp" -> ROOT/Windows/Temp); for writing images, not for device code.
std::filesystem::path hostUnder(const std::filesystem::path& root, std::u16string_view devicePath);

// Copies folders and regular files with their DOS attributes (links are left out).
// Throws DeviceError.
void copyTree(const std::filesystem::path& from, const std::filesystem::path& to);
// Removes everything inside dir (dir itself stays); a link is removed, never followed.
void clearTree(const std::filesystem::path& dir);

}  // namespace ce::kernel
