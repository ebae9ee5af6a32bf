// Host-side tree operations on device images. Neither follows a symbolic link.
#pragma once

#include <filesystem>

namespace ce::kernel {

// Copies folders and regular files with their DOS attributes (links are left out).
// Throws DeviceError.
void copyTree(const std::filesystem::path& from, const std::filesystem::path& to);
// Removes everything inside dir (dir itself stays); a link is removed, never followed.
void clearTree(const std::filesystem::path& dir);

}  // namespace ce::kernel
