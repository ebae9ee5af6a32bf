// The device registry: a tree of keys held in memory and kept in DEVICE/registry.reg, the .reg
// text format of Windows ("Windows Registry Editor Version 5.00") stored as UTF-8, plus
// DEVICE/registry.journal, the changes made since registry.reg was last written, in the same
// text. A change is appended to the journal (a few hundred bytes, whatever the registry's size);
// the journal is folded into registry.reg when the last program of the device closes it, when it
// has grown as large as registry.reg, and at a reboot. DEVICE/registry.lock coordinates the
// programs of one device: a change holds a lock on its first byte, and every program that has
// the device open holds a shared lock on its second, so that the last one knows it is last.
#pragma once

#include <windows.h>

#include <sys/types.h>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ce::kernel {

// The limits of the device's registry, as Windows CE documents them: longer names and deeper
// keys are refused with ERROR_INVALID_PARAMETER, and a registry.reg that nests keys deeper is
// refused when it is read.
constexpr size_t kMaxKeyName = 255;    // one key name (one component of a path)
constexpr size_t kMaxValueName = 255;  // a value name
constexpr size_t kMaxKeyDepth = 16;    // keys nested below a root key

struct RegValue {
    std::u16string name;  // "" is the default value (@)
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
};

// Case-insensitive hashing and comparison of names, as Windows compares key and value names.
struct NameHash {
    size_t operator()(std::u16string_view name) const;
};
struct NameEqual {
    bool operator()(std::u16string_view a, std::u16string_view b) const;
};

// The subkeys or values of a key, in the order they were added (the order enumeration gives),
// found by name in constant time once there are more than a few of them.
template <class T>
class NamedList {
  public:
    using Items = std::vector<std::unique_ptr<T>>;
    class Iterator {
      public:
        explicit Iterator(typename Items::const_iterator it) : it_(it) {}
        T& operator*() const { return **it_; }
        T* operator->() const { return it_->get(); }
        Iterator& operator++() {
            ++it_;
            return *this;
        }
        bool operator==(const Iterator&) const = default;

      private:
        typename Items::const_iterator it_;
    };

    NamedList() = default;
    NamedList(NamedList&&) noexcept = default;
    NamedList& operator=(NamedList&&) noexcept = default;

    T* find(std::u16string_view name) const;
    T& add(std::unique_ptr<T> item);                      // the name must not be there yet
    std::unique_ptr<T> remove(std::u16string_view name);  // nullptr when there is none
    Items takeAll();                                      // leaves the list empty

    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    T& operator[](size_t i) const { return *items_[i]; }
    Iterator begin() const { return Iterator(items_.begin()); }
    Iterator end() const { return Iterator(items_.end()); }

  private:
    static constexpr size_t kIndexFrom = 8;  // fewer items are simply scanned
    using Index = std::unordered_map<std::u16string_view, T*, NameHash, NameEqual>;
    Items items_;
    std::unique_ptr<Index> index_;  // keys view the items' own names
};

struct RegKey {
    std::u16string name;
    NamedList<RegValue> values;
    NamedList<RegKey> subkeys;

    RegKey() = default;
    explicit RegKey(std::u16string n) : name(std::move(n)) {}
    RegKey(RegKey&&) noexcept;
    RegKey& operator=(RegKey&&) noexcept;
    ~RegKey();  // frees the whole subtree without recursion, however deep it is

    RegKey* subkey(std::u16string_view n) const { return subkeys.find(n); }
    RegKey& addSubkey(std::u16string n);
    RegValue* value(std::u16string_view n) const { return values.find(n); }
    void setValue(RegValue v);  // an existing value keeps its name and place
    bool removeValue(std::u16string_view n);
    bool removeSubkey(std::u16string_view n);

  private:
    void freeSubtree();
};

enum RegRoot { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kRootCount };
using RegRoots = std::array<RegKey, kRootCount>;
const char* rootName(int root);

// ---- the .reg text ----

// A .reg text that cannot be read: the 1-based line and what is wrong there.
struct RegParseError {
    int line = 0;
    std::string message;
};

// Parses a whole .reg file (UTF-8, or UTF-16LE with its byte-order mark) into empty roots.
// Returns false and fills error on the first fault.
bool parseReg(std::string_view text, RegRoots& roots, RegParseError& error);
// Applies .reg sections without the file's first line (as the journal holds them) to roots;
// firstLine numbers the text's first line in error messages. What came before a fault stays
// applied.
bool applyReg(std::string_view sections, RegRoots& roots, RegParseError& error, int firstLine = 1);
std::string formatReg(const RegRoots& roots);

// The sections of single changes, in the form formatReg writes: a key line "[ROOT\path]" (or
// "[-ROOT\path]" to delete the key) and a value line ("name"=data, or "name"=- to delete it).
std::string regKeyLine(int root, const std::vector<std::u16string>& path, bool remove = false);
std::string regValueLine(const RegValue& value);
std::string regValueRemovalLine(std::u16string_view name);

// Names the .reg text holds exactly: a key name without line breaks (a key line is one line and
// has no escapes), a value name of any text (its quotes escape line breaks); both in valid UTF-16
// (the file is UTF-8, which has no lone surrogates).
bool regHoldsKeyName(std::u16string_view name);
bool regHoldsValueName(std::u16string_view name);

// The data of a REG_SZ value: the text in UTF-16LE with its terminator.
std::vector<uint8_t> regString(std::u16string_view text);

// ---- on disk ----

class Registry {
  public:
    Registry() = default;
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;
    // Folds the journal into registry.reg when this is the last program of the device.
    ~Registry();

    // Loads DEVICE/registry.reg and its journal (a missing file is an empty registry). What a
    // program killed in the middle of a change left is cleared away: a temporary registry.reg
    // is removed, an unfinished change is dropped, and a journal no program uses any more is
    // folded in. Throws DeviceError naming the file and line when it cannot be read.
    void attach(const std::filesystem::path& deviceDir);

    // Runs fn on the current tree (brought up to date with the other programs' changes first).
    LONG read(const std::function<LONG(const RegRoots&)>& fn);
    // Runs fn under the device's lock on the freshest tree. When fn returns ERROR_SUCCESS with
    // the sections of a change in `change`, the change is applied and appended to the journal
    // before write returns. A registry.reg that has become unreadable is never overwritten: the
    // change fails with ERROR_REGISTRY_CORRUPT.
    LONG write(const std::function<LONG(const RegRoots&, std::string& change)>& fn);

    // Writes what the journal holds to the disk itself (RegFlushKey).
    void sync();
    // Folds the journal into registry.reg now (a reboot ends every program of the device).
    void fold();
    // The current registry as a .reg file.
    std::string text();

    // Replaces DEVICE/registry.reg by a copy of `source` and drops the journal, under the device's
    // lock (a clean boot restoring the factory registry). Throws DeviceError.
    static void restore(const std::filesystem::path& deviceDir,
                        const std::filesystem::path& source);

    // What a file was when it was read: replaced, written or touched, it is read again.
    struct FileId {
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = -1;
        long long mtimeNs = -1;
        bool operator==(const FileId&) const = default;
    };

  private:
    class ChangeLock;
    enum class Header { Good, Stale, Unfinished, Foreign };
    // All of these run under the change lock (and mutex_).
    bool changedOnDisk() const;
    bool refreshLocked(std::string* error);
    bool reloadLocked(std::string* error);
    bool readJournalLocked(std::string* error);
    Header readJournalHeader(std::string_view bytes, size_t& used, std::string* error);
    size_t applyJournalEntries(std::string_view entries);
    void dropJournal(const std::string& why);
    bool appendLocked(const std::string& change, std::string* error);
    void syncLocked();
    bool foldLocked(std::string* error);
    bool aloneLocked();
    void removeLeftovers();
    void logFailure(const std::string& what) const;

    std::recursive_mutex mutex_;
    std::filesystem::path dir_;
    std::filesystem::path file_;     // registry.reg
    std::filesystem::path journal_;  // registry.journal
    std::filesystem::path lockFile_;
    RegRoots roots_;
    FileId loaded_;           // registry.reg as last read
    uint32_t loadedCrc_ = 0;  // its checksum (the journal names the file it extends by both)
    int journalFd_ = -1;
    FileId journalId_;             // the journal being read and written (size: journalEnd_)
    off_t journalEnd_ = 0;         // end of the last whole change read or written
    int journalLines_ = 0;         // lines before journalEnd_, for messages
    bool unsynced_ = false;        // changes in the journal that may not be on the disk yet
    bool folderUnsynced_ = false;  // the journal was made and its folder not synced since
    long long lastSyncNs_ = 0;
    int openLockFd_ = -1;  // holds the shared "device open" lock
    pid_t owner_ = 0;      // the process that attached (a forked child must not fold or unlock)
};

}  // namespace ce::kernel
