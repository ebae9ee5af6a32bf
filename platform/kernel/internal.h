// Shared internals of platform/kernel: text conversion, path lookup, the handle table and the
// device's kernel state.
#pragma once

#include <windows.h>

#include "device.h"
#include "registry.h"
#include "text.h"

#include <sys/stat.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ce::kernel {

// ---- names ----
char16_t foldCase(char16_t c);
bool equalsNoCase(std::u16string_view a, std::u16string_view b);
std::u16string folded(std::u16string_view s);
// Windows wildcard match ('*', '?'), case-insensitive; "*.*" matches every name.
bool wildcardMatch(std::u16string_view pattern, std::u16string_view name);

inline void setError(DWORD code) {
    SetLastError(code);
}
// The Win32 error for an errno of a file operation (`fallback` for those without one).
DWORD errnoToError(int e, DWORD fallback = ERROR_ACCESS_DENIED);

// Host-absolute path of a file under the kernel's control.
std::string hostString(const std::filesystem::path& p);

// A file descriptor and the duty to close it.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1);
    explicit operator bool() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

// ---- path lookup ----
constexpr size_t kMaxPath = 1023;  // longest device path accepted, in UTF-16 units
// Longest command line CreateProcessW passes, in UTF-16 units: Win32's 32,767 with the
// terminating null. As UTF-8 it stays within what one host argument may hold (128 KiB).
constexpr size_t kMaxCommandLine = 32766;

struct Lookup {
    DWORD error = 0;          // the path is unusable (invalid name, "..", too long, ...)
    std::string host;         // host path (existing components in their stored case)
    std::string parentHost;   // host path of the parent folder
    std::string leaf;         // last component as given (its host name); empty for the root
    std::u16string leafWide;  // the same in UTF-16
    std::string name;         // the last component's host name: its stored spelling if it exists
    UniqueFd parent;          // the folder that holds it, opened O_PATH (when parentExists)
    bool isRoot = false;
    bool parentExists = false;  // every component but the last exists and is a folder
    bool exists = false;        // the last component exists (lstat)
    struct stat st {};          // of the last component, when it exists
    bool hasWildcards = false;  // the last component holds '*' or '?'
    bool trailingSeparator = false;
    bool onCard = false;  // the path lies on the storage card (the card's folder included)
    bool isCard = false;  // the path names the card's folder, "\Storage Card" itself
    bool isDir() const { return exists && S_ISDIR(st.st_mode); }
    bool isLink() const { return exists && S_ISLNK(st.st_mode); }
};
enum LookupFlags : unsigned { kAllowWildcards = 1 };
// A path that begins with two separators ("\\server\share", and "\/", "//", "/\" alike) names a
// network share. The device has no network, so no such path is ever found: the error every file
// call gives for it, or 0 for any other path.
DWORD networkPathError(std::u16string_view path);
Lookup lookup(const Device& device, std::u16string_view path, unsigned flags = 0);
// Same, for the current device; sets error ERROR_PATH_NOT_FOUND when no device is open.
Lookup lookup(std::u16string_view path, unsigned flags = 0);

// Opens the folder of a wildcard pattern ("\Windows\*.tmp") in one step when every folder
// on the way exists in the given case and none is a link: the descriptor (-1 when the slow
// lookup is needed) and the pattern. Never reaches outside the image. `changes` is the
// device's change count read before the call: when an open enumeration of the parent folder
// dates from that count, the folder is opened from there.
int openPatternFolder(Device& device, std::u16string_view path, uint64_t changes,
                      std::u16string& pattern, std::string* folderRel = nullptr);

// Splits an absolute device path into its folder, relative to DEVICE/root ("" for the root,
// components joined by '/', as host names, as given) and its last component, checking the folder's
// components as lookup() does. False for what only lookup() handles: a relative or too long
// path, a network name, "..", an invalid or wildcard folder name, a final separator, the root.
bool splitPath(std::u16string_view path, std::string& folderRel, std::u16string_view& leaf);
// A last component that the quick paths may use as it stands: no wildcard, no invalid
// character, not "." or "..", a name toHostName takes (converted into hostName).
bool plainName(std::u16string_view name, std::string& hostName);

// ---- opening files ----
// Opens the entry `name` of the folder dirFd with open(2) flags: O_RDONLY, O_WRONLY or O_RDWR,
// with O_CREAT, O_EXCL, O_TRUNC, O_APPEND. A symbolic link is never followed, and only a regular
// file is ever opened: a FIFO, a socket or a device node is refused without being opened (EACCES;
// a folder EISDIR), so that nothing blocks and no driver of the host is reached. A file that has
// other hard links gets a link of its own before it is opened for writing (ownLinkAt), so that
// its other names, in the image or outside it, keep what they had. -1 with errno on failure.
int openFileAt(int dirFd, const std::string& name, int flags, mode_t mode = 0644);
// Opens what the O_PATH descriptor pathFd (the entry `name` of dirFd, of stat st) refers to with
// open(2) flags: through /proc, so that it is that very inode; without /proc, the name again,
// never through a link nor waiting on a FIFO, and refused (EAGAIN) when it is another inode now.
int reopenEntry(int pathFd, int dirFd, const std::string& name, const struct stat& st, int flags);
// When the regular file `name` of dirFd has other hard links, puts a file of its own in its place
// in one rename: a copy of its data (none when keepData is false, for a truncating open), its
// DOS attributes, mode and owner. What the other names reach is left as it was. True when the
// name now has a link of its own (also when it had one already).
bool ownLinkAt(int dirFd, const std::string& name, bool keepData);

// DOS attributes are stored in the extended attribute user.DOSATTRIB, as Samba's legacy form
// ("0x%x" and a NUL). An entry that has one also carries the marker bit in its mode (the sticky
// bit, which means nothing on a file and, as everything in the image has one owner, nothing on a
// folder either), so that a walk reads the value only where there is one. Images written before
// the marker are marked once, when they are opened ([image] attributes=marked in device.ini).
constexpr const char* kAttributeXattr = "user.DOSATTRIB";
constexpr mode_t kAttributeMarker = S_ISVTX;
inline bool hasAttributeMarker(const struct stat& st) {
    return (st.st_mode & kAttributeMarker) != 0;
}

// DOS attributes of the entry `name` of dirFd (plus DIRECTORY for a folder, NORMAL when none),
// read from the value itself, never through a link; a marker that disagrees with the value is
// put right.
DWORD entryAttributes(int dirFd, const std::string& name, const struct stat& st);
// The same during a walk: a folder's value is read, a file's only when its marker is set.
DWORD walkAttributes(int dirFd, const char* name, const struct stat& st);
// The same for an open file or folder.
DWORD attributesOf(int fd, const struct stat& st);
// The attributes stored for the entry `name` of dirFd, never following a link (0 when none
// are stored). False with errno set when it cannot be read (ENOENT: no such entry).
bool storedAttributesAt(int dirFd, const char* name, DWORD& attributes);
// Stores the attributes of the entry `name` of dirFd (none: removes the value) and sets or clears
// the marker to match. Never through a link; EPERM for what holds none (a link, a special file).
bool writeEntryAttributes(int dirFd, const std::string& name, DWORD attributes);
// The same for an open file or folder (st: its stat).
bool writeAttributesOf(int fd, const struct stat& st, DWORD attributes);
// Opens the file or folder `name` of dirFd for its attributes and mode, never through a link;
// EPERM for what holds no attributes. Fills st when given.
UniqueFd openForAttributes(int dirFd, const std::string& name, struct stat* st);
// Copies the whole user.DOSATTRIB value of one open file or folder to another (Samba's own form
// may be longer than the legacy text); 0 or the errno (ENODATA: there is none to copy).
int copyAttributeValue(int from, int to);
// Gives the open file or folder `to` (of stat toSt) the attributes of `from`: its whole value, or
// none, with the marker to match. 0 or the errno.
int copyAttributesOf(int from, int to, const struct stat& toSt);
// Marks every entry below DEVICE/root that holds a value (an image from before the marker).
void markStoredAttributes(const std::string& rootHost);
FILETIME toFileTime(const struct timespec& ts);

// ---- moves across host file systems (crossmove.cpp) ----
// Copies what is left of `in` to `out`; 0 or the errno, with the bytes copied.
int copyData(int in, int out, off_t& copied);
// Moves the regular file fromName of the folder fromDir to toName of toDir, which lies on another
// host file system: copied (data, DOS attributes, times) under a temporary name beside its place,
// made durable and checked, renamed into place, then the source deleted. On failure the source
// is as it was and no copy is left. targetFolder is the device path of toDir, for the record
// that lets a later program remove the temporary file of a move that was killed. 0 or the Win32
// error.
DWORD moveFileAcross(const Device& device, int fromDir, const char* fromName, int toDir,
                     const char* toName, std::u16string_view targetFolder);
// Removes the temporary files of moves whose program ended in the middle (DEVICE/moves).
void removeAbandonedCopies(const Device& device);

// Appends one line to DEVICE/log (Device::log, for parts that outlive the open device).
void appendLog(const std::filesystem::path& deviceDir, std::string_view line);
// Writes text to file through a sibling temporary file that then replaces it, each on the disk
// before the next step, so that the file is always whole; false with the reason in *error.
bool replaceFile(const std::filesystem::path& file, std::string_view text, std::string* error);

// ---- handles ----
class KernelObject {
  public:
    virtual ~KernelObject() = default;
};

class HandleTable {
  public:
    HANDLE add(std::unique_ptr<KernelObject> object);
    template <class T>
    T* get(HANDLE h) {
        std::lock_guard lock(mutex_);
        auto it = objects_.find(reinterpret_cast<uintptr_t>(h));
        return it == objects_.end() ? nullptr : dynamic_cast<T*>(it->second.get());
    }
    bool close(HANDLE h);

  private:
    std::mutex mutex_;
    uintptr_t next_ = 0x1000;
    std::map<uintptr_t, std::unique_ptr<KernelObject>> objects_;
};

// An exclusive flock on a lock file for as long as it lives (between the programs of a device).
class FileLock {
  public:
    explicit FileLock(const std::filesystem::path& file);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    int fd_ = -1;
};

// ---- folder changes ----
// A count of the changes to where folders are (a folder moved or removed, the image restored),
// shared by every program of one device through DEVICE/changes. What a program learnt about a
// folder's place (an open descriptor for a device path) holds only while the count stays the same.
class ChangeCounter {
  public:
    ChangeCounter() = default;
    ~ChangeCounter();
    ChangeCounter(const ChangeCounter&) = delete;
    ChangeCounter& operator=(const ChangeCounter&) = delete;
    // Maps DEVICE/changes; without it (a read-only device folder, say) shared() stays false.
    void attach(const std::filesystem::path& deviceDir);
    bool shared() const { return value_ != nullptr; }
    uint64_t value() const;
    void bump();

  private:
    uint64_t* value_ = nullptr;  // in the shared mapping
};
// Bumps the count of a device that is not open in this program (a clean boot, say).
void noteFolderChange(const std::filesystem::path& deviceDir);

// The folders that open enumerations hold, by their folder path as splitPath() gives it (exact
// case, opened without following any link). A call naming an entry of one of them works relative
// to that descriptor instead of resolving the whole path again, while the change count has not
// moved since the folder was opened.
class OpenFolders {
  public:
    void add(const void* owner, std::string folderRel, int fd, uint64_t changes);
    void remove(const void* owner);
    // Calls use(fd) under the table's lock for the most recent open folder with this path that
    // was opened at `changes`, and returns true; false, without calling it, when there is none.
    template <class F>
    bool with(std::string_view folderRel, uint64_t changes, F&& use) {
        std::lock_guard lock(mutex_);
        for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
            if (it->changes == changes && it->folderRel == folderRel) {
                use(it->fd);
                return true;
            }
        }
        return false;
    }

    // A walk lists a folder and goes on into its subfolders one by one. The enumeration that
    // listed the subfolder `name` (opened to describe it) keeps it here, and the enumeration of
    // the subfolder takes it instead of opening it again; the previous one offered is closed.
    void offerSubfolder(const void* owner, std::string_view name, int fd);
    // The subfolder `name` of the most recent open folder with this path, opened at `changes`:
    // the descriptor offered for it, else one opened from the folder (never through a link);
    // -1 when no such folder is open or the subfolder cannot be opened.
    int openSubfolder(std::string_view folderRel, const char* name, uint64_t changes);

  private:
    struct Entry {
        const void* owner;
        std::string folderRel;
        int fd;
        uint64_t changes;
        std::string subfolder;  // the subfolder offered last, and its descriptor (owned)
        int subfolderFd = -1;
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;
};

// ---- device.ini ----
// The boot count stops here (the largest value of its type): a device booted that often still
// opens, and every later boot has this number.
constexpr int kMaxBootCount = 2147483647;

struct DeviceIni {
    int width = 240;
    int height = 320;
    int bootCount = 0;  // 0..kMaxBootCount
    bool cleanBoot = false;
    bool attributesMarked = false;  // every entry with stored attributes carries the marker
    std::string card;               // host folder of the storage card; empty: no card
    std::map<std::u16string, std::string> programs;         // folded device path -> host program
    std::map<std::u16string, std::u16string> programNames;  // folded -> device path as given
};
// Throws DeviceError naming the file and line.
DeviceIni readIni(const std::filesystem::path& file);
void writeIni(const std::filesystem::path& file, const DeviceIni& ini);
// Reads DEVICE/device.ini, lets change() edit it and writes it back, under the device's lock;
// a file that cannot be read is replaced by what change() makes of `known` (else the defaults).
DeviceIni updateIniFile(const std::filesystem::path& deviceDir,
                        const std::function<void(DeviceIni&)>& change,
                        const DeviceIni* known = nullptr);

// ---- the storage card (card.cpp) ----
// "\Storage Card": a folder of the root backed by a host folder of its own (device.ini
// [storage] card=), perhaps on another file system. While a card is set, a folder of that name
// in root/ is hidden beneath it, as beneath a mount point.
constexpr char16_t kCardName[] = u"Storage Card";
// The attributes a card's folder shows in its parent, as on Windows CE.
constexpr DWORD kCardAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY;
// Whether a path component names the card's folder (case-insensitively).
bool isCardName(std::u16string_view name);
// The same for the first component of a folder path as splitPath() gives it ("a/b/c").
bool startsWithCard(std::string_view folderRel);

}  // namespace ce::kernel

namespace ce {

struct Device::Impl {
    ~Impl();
    std::filesystem::path root;  // DEVICE/root
    std::string rootHost;        // the same as a string, without a final slash
    int rootFd = -1;             // DEVICE/root, for lookups relative to it
    std::string cardHost;        // the storage card's host folder (canonical); empty: no card
    int cardFd = -1;             // that folder as it was when the device opened; -1: not there
    struct stat cardStat {};     // of cardFd
    std::mutex iniMutex;
    kernel::DeviceIni ini;
    kernel::Registry registry;
    kernel::ChangeCounter changes;
    kernel::OpenFolders openFolders;  // before handles: enumerations leave it as they close
    kernel::HandleTable handles;

    // Re-reads device.ini, lets change() edit it and writes it back, under a lock.
    void updateIni(const std::function<void(kernel::DeviceIni&)>& change);
    // Opens the storage card that ini names (throws DeviceError when its folder would put the
    // image inside the card or the card inside the image).
    void mountCard();
    // Whether the card is in: set, and its host folder still the one opened (a folder, not a
    // link). Fills st with its stat.
    bool cardPresent(struct stat* st = nullptr) const;
};

}  // namespace ce
