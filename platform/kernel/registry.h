// The device registry: a tree of keys held in memory and kept in DEVICE/registry.reg, the
// .reg text format of Windows ("Windows Registry Editor Version 5.00"), stored as UTF-8.
// Every change is written back whole to a sibling temporary file that replaces the file, under
// an exclusive flock on DEVICE/registry.lock; a file changed by another program of the device
// is read again (under that lock) before a change is made, so no write is lost.
#pragma once

#include <windows.h>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace ce::kernel {

struct RegValue {
    std::u16string name;  // "" is the default value (@)
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
};

struct RegKey {
    std::u16string name;
    std::vector<RegValue> values;
    std::vector<std::unique_ptr<RegKey>> subkeys;

    RegKey* subkey(std::u16string_view name) const;  // case-insensitive
    RegKey& addSubkey(std::u16string name);
    RegValue* value(std::u16string_view name);  // case-insensitive
    void setValue(RegValue v);
    bool removeValue(std::u16string_view name);
    bool removeSubkey(std::u16string_view name);
};

enum RegRoot { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kRootCount };
using RegRoots = std::array<RegKey, kRootCount>;

// A .reg text that cannot be read: the 1-based line and what is wrong there.
struct RegParseError {
    int line = 0;
    std::string message;
};

// Parses .reg text (UTF-8, or UTF-16LE with its byte-order mark). Returns false and fills
// error on the first fault.
bool parseReg(std::string_view text, RegRoots& roots, RegParseError& error);
std::string formatReg(const RegRoots& roots);
// The data of a REG_SZ value: the text in UTF-16LE with its terminator.
std::vector<uint8_t> regString(std::u16string_view text);
const char* rootName(int root);

class Registry {
  public:
    // Loads DEVICE/registry.reg (a missing file is an empty registry). Throws DeviceError
    // naming the file and line when it cannot be parsed.
    void attach(const std::filesystem::path& deviceDir);

    // Runs fn on the current tree (read again first when the file changed meanwhile).
    LONG read(const std::function<LONG(const RegRoots&)>& fn);
    // Runs fn under the file lock on the freshest tree; when fn returns ERROR_SUCCESS and sets
    // changed, the tree is written back. A file that has become unreadable is never
    // overwritten: the change fails with ERROR_REGISTRY_CORRUPT.
    LONG write(const std::function<LONG(RegRoots&, bool& changed)>& fn);

    std::string text();

  private:
    struct FileId {
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = -1;
        long long mtimeNs = -1;
        bool operator==(const FileId&) const = default;
    };
    FileId currentId() const;
    bool refreshLocked(std::string* error);  // under mutex_
    bool save(std::string* error);

    std::recursive_mutex mutex_;
    std::filesystem::path file_;
    std::filesystem::path lockFile_;
    RegRoots roots_;
    FileId loaded_;
};

}  // namespace ce::kernel
