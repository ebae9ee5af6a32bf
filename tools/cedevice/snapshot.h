// Snapshots of a device: every file and folder of the object store with its size, times and
// attributes, and every registry key and value, as the device's own API shows them
// (FindFirstFileW, RegEnumKeyExW, ...). A snapshot is a record, not a copy: it is kept in
// DEVICE/snapshots/NAME and compared with the device later (diff.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ce::snapshot {

// One file or folder. The tree is flat: a folder's entries are nodes[first, first + count),
// sorted by name as the device compares names (case-insensitively; exact case breaks ties);
// nodes[0] is the root folder "\". Names are kept one after another in Snapshot::names.
struct FileNode {
    uint32_t nameAt = 0, nameSize = 0;
    uint32_t first = 0, count = 0;
    uint64_t size = 0;
    uint64_t written = 0;  // FILETIME of the last write, 100 ns since 1601
    uint64_t created = 0;
    uint32_t attributes = 0;
    bool folder = false;
};

struct RegValueNode {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
};

// One registry key; nodes[0] stands above the four roots (HKEY_LOCAL_MACHINE, ...), which are
// its subkeys. Subkeys and values are sorted by their case-folded names.
struct RegNode {
    std::u16string name;
    std::vector<RegValueNode> values;
    uint32_t first = 0, count = 0;
};

struct Snapshot {
    std::string taken;  // when, UTC, "2024-05-01T10:00:00Z"
    std::u16string names;
    std::vector<FileNode> files;
    std::vector<RegNode> registry;

    std::u16string_view name(const FileNode& n) const {
        return std::u16string_view(names).substr(n.nameAt, n.nameSize);
    }
};

// The order of names in a folder or key: case-insensitive as on the device, then exact.
int compareNames(std::u16string_view a, std::u16string_view b);

// The current device, read through its API, its folders on `threads` threads (0: one for each
// processor of the host, at most four); the record is the same for any number.
Snapshot capture(unsigned threads = 0);
// The factory image of the device in dir (what a clean boot restores), read the same way: the
// image is opened as a device of its own, read-only, and the current device is closed. Throws
// DeviceError when there is none.
Snapshot captureFactory(const std::filesystem::path& deviceDir);

// A snapshot's name: letters, digits, '.', '-' and '_', at most 64, not beginning with '.'.
bool validName(const std::string& name);
std::filesystem::path fileOf(const std::filesystem::path& deviceDir, const std::string& name);

// Writes the snapshot to its file (through a temporary file, so a snapshot is never torn).
// Throws DeviceError.
void save(const Snapshot& s, const std::filesystem::path& file);
// Reads a snapshot file. Throws DeviceError naming the file (and line) when it is missing or is
// not a snapshot this program wrote.
Snapshot load(const std::filesystem::path& file);

}  // namespace ce::snapshot
