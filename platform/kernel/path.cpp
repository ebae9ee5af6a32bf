// Device paths to host paths.
//
// A device path is absolute ("\Windows\Temp"), separated by '\' (or '/'), case-insensitive
// and case-preserving; two separators at its start name a network share, which is never found.
// Names convert to host names with toHostName, so that a host name that is not UTF-8 is found
// under the name an enumeration gave it. Each component is looked up with its exact spelling
// first, then by a case-insensitive scan of its folder. ".." and symbolic links in the middle of a
// path are refused, so no device path reaches outside DEVICE/root; a link as the last component
// names the link itself, never what it points to.
#include "internal.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ce::kernel {

namespace {

bool isSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool isInvalidNameChar(char16_t c) {
    return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|';
}

// Case-insensitive scan of the folder dirFd for name; fills the stored spelling.
bool findNoCase(int dirFd, std::u16string_view name, std::string& stored) {
    int fd = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* d = fd < 0 ? nullptr : fdopendir(fd);
    if (!d) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    bool found = false;
    while (dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        if (equalsNoCase(fromHostName(n), name)) {
            stored = n;
            found = true;
            break;
        }
    }
    closedir(d);
    return found;
}

// Finds the entry `wanted` (the host name of `name`) of the folder dirFd, in its exact spelling
// or else in another case: its stored name and stat, never through a link. False when there is
// no such entry.
bool findEntry(int dirFd, std::u16string_view name, const std::string& wanted, std::string& stored,
               struct stat& st) {
    stored = wanted;
    if (fstatat(dirFd, stored.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return true;
    return errno == ENOENT && findNoCase(dirFd, name, stored) &&
           fstatat(dirFd, stored.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// A path whose first component is the storage card's folder continues in the card's own host
// folder, not in root/. Fills r for the card's folder itself (`only` component: isCard), or
// starts r there.
// An empty slot (a card set whose folder is not there) has nothing in it and nothing can be made
// in its place. False for a path of the object store.
bool routeToCard(const Device& device, std::u16string_view first, bool only, Lookup& r) {
    const auto& impl = device.impl();
    if (impl.cardHost.empty() || !isCardName(first))
        return false;
    struct stat st {};
    bool present = impl.cardPresent(&st);
    r.onCard = true;
    r.host = impl.cardHost;
    r.parentExists = present;
    if (only) {
        r.isCard = true;
        r.exists = present;
        r.st = st;
        r.leafWide.assign(first);
        r.leaf = toUtf8(r.leafWide);
        r.parentHost = impl.rootHost;
    }
    return true;
}

}  // namespace

std::string hostString(const std::filesystem::path& p) {
    return p.string();
}

DWORD networkPathError(std::u16string_view path) {
    if (path.size() < 2 || !isSeparator(path[0]) || !isSeparator(path[1]))
        return 0;
    std::u16string_view server = path.substr(2);
    server = server.substr(0, std::min(server.find(u'\\'), server.find(u'/')));
    // No server named ("\\", "\\\x"): no path at all, as Win32 answers. "\\?\" and
    // "\\.\" are the desktop's own namespaces, which the device does not have. Any other name
    // is a server that cannot be reached.
    if (server.empty())
        return ERROR_PATH_NOT_FOUND;
    if (server == u"?" || server == u".")
        return ERROR_INVALID_NAME;
    return ERROR_BAD_NETPATH;
}

Lookup lookup(const Device& device, std::u16string_view path, unsigned flags) {
    Lookup r;
    const std::string& root = device.impl().rootHost;
    if (path.size() > kMaxPath) {
        r.error = ERROR_FILENAME_EXCED_RANGE;
        return r;
    }
    if (path.empty() || !isSeparator(path[0])) {
        r.error = ERROR_PATH_NOT_FOUND;
        return r;
    }
    if (DWORD e = networkPathError(path)) {
        r.error = e;
        return r;
    }
    // Split into components, dropping empty ones and ".".
    std::u16string_view comps[kMaxPath / 2 + 2];
    size_t count = 0;
    size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && isSeparator(path[i])) ++i;
        size_t start = i;
        while (i < path.size() && !isSeparator(path[i])) ++i;
        if (i > start) {
            std::u16string_view c = path.substr(start, i - start);
            if (c == u".")
                continue;
            if (c == u"..") {
                r.error = ERROR_INVALID_NAME;
                return r;
            }
            comps[count++] = c;
        }
    }
    r.trailingSeparator = isSeparator(path.back()) && count > 0;
    r.host = root;
    r.parentHost = root;
    if (count == 0) {
        r.isRoot = true;
        r.parentExists = true;
        r.exists = fstat(device.impl().rootFd, &r.st) == 0;
        return r;
    }
    for (size_t k = 0; k < count; ++k) {
        bool last = k + 1 == count;
        for (char16_t c : comps[k]) {
            bool wild = c == u'*' || c == u'?';
            if (isInvalidNameChar(c) || (wild && !(last && (flags & kAllowWildcards)))) {
                r.error = ERROR_INVALID_NAME;
                return r;
            }
            if (wild)
                r.hasWildcards = true;
        }
    }

    // The walk opens each folder on the way from the one before it, never through a link, and
    // the last component is then found in the folder it ends in: whatever acts on the result
    // acts on that folder descriptor and name, so that what was checked is what is acted on,
    // whatever another program of the host renames or swaps meanwhile.
    const auto& impl = device.impl();
    int base = impl.rootFd;
    size_t first = 0;
    bool missing = false;  // a component so far does not exist
    if (routeToCard(device, comps[0], count == 1, r)) {
        if (r.isCard)
            return r;
        first = 1;
        missing = !r.parentExists;
        base = impl.cardFd;
    }
    UniqueFd held;  // the folder reached so far, once past the base
    int at = base;
    std::string name, stored;
    for (size_t k = first; k < count; ++k) {
        bool last = k + 1 == count;
        if (!toHostName(comps[k], name)) {
            r.error = ERROR_INVALID_NAME;
            return r;
        }
        if (last) {
            r.parentHost = r.host;
            r.parentExists = !missing;
            r.leaf = name;
            r.leafWide.assign(comps[k]);
            r.name = name;
        }
        if (missing || (last && r.hasWildcards)) {
            r.host += '/' + name;
            continue;
        }
        struct stat st;
        if (!findEntry(at, comps[k], name, stored, st)) {
            missing = true;
            r.host += '/' + name;
            continue;
        }
        r.host += '/' + stored;
        if (last) {
            r.exists = true;
            r.st = st;
            r.name = stored;
        } else if (S_ISLNK(st.st_mode)) {
            // a symbolic link is never walked through: it could lead anywhere
            r.error = ERROR_PATH_NOT_FOUND;
            return r;
        } else if (!S_ISDIR(st.st_mode)) {
            missing = true;  // a file cannot be walked through
        } else {
            // O_NOFOLLOW: should the folder have become a link meanwhile, it is refused
            int next = openat(at, stored.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0) {
                missing = true;
                continue;
            }
            held.reset(next);
            at = next;
        }
    }
    if (r.parentExists)
        r.parent = held ? std::move(held) : UniqueFd(fcntl(base, F_DUPFD_CLOEXEC, 0));
    return r;
}

bool splitPath(std::u16string_view path, std::string& folderRel, std::u16string_view& leaf) {
    if (path.size() > kMaxPath || path.empty() || !isSeparator(path[0]) ||
        isSeparator(path.back()) || networkPathError(path))
        return false;
    size_t cut = path.find_last_of(u"\\/");
    leaf = path.substr(cut + 1);
    folderRel.clear();
    std::string name;
    size_t i = 0;
    std::u16string_view folder = path.substr(0, cut);
    while (i < folder.size()) {
        while (i < folder.size() && isSeparator(folder[i])) ++i;
        size_t start = i;
        while (i < folder.size() && !isSeparator(folder[i])) ++i;
        if (i == start)
            continue;
        std::u16string_view c = folder.substr(start, i - start);
        if (c == u".")
            continue;
        if (c == u"..")
            return false;
        for (char16_t ch : c) {
            if (isInvalidNameChar(ch) || ch == u'*' || ch == u'?')
                return false;
        }
        if (!toHostName(c, name))
            return false;
        if (!folderRel.empty())
            folderRel += '/';
        folderRel += name;
    }
    return true;
}

bool plainName(std::u16string_view name, std::string& utf8) {
    if (name.empty() || name == u"." || name == u"..")
        return false;
    for (char16_t c : name) {
        if (isInvalidNameChar(c) || c == u'*' || c == u'?')
            return false;
    }
    return toHostName(name, utf8);
}

int openPatternFolder(Device& device, std::u16string_view path, uint64_t changes,
                      std::u16string& pattern, std::string* folderRel) {
    auto& impl = device.impl();
    std::string rel;
    std::u16string_view leaf;
    if (impl.rootFd < 0 || !splitPath(path, rel, leaf))
        return -1;
    bool wild = false;
    for (char16_t c : leaf) {
        if (isInvalidNameChar(c))
            return -1;
        if (c == u'*' || c == u'?')
            wild = true;
    }
    if (!wild)
        return -1;
    // the card's folders are opened from the card's own folder, never from root/
    int base = impl.rootFd;
    std::string inVolume = rel;
    bool cardRoot = false;
    if (!impl.cardHost.empty() && !rel.empty() && startsWithCard(rel)) {
        if (!impl.cardPresent())
            return -1;
        base = impl.cardFd;
        size_t slash = rel.find('/');
        inVolume = slash == std::string::npos ? std::string() : rel.substr(slash + 1);
        cardRoot = inVolume.empty();
    }
    int fd = -1;
    if (!rel.empty() && !cardRoot && impl.changes.shared()) {
        // A walk enumerates a folder's subfolders while it holds the folder open: one step
        // from there (the name is a single component, and a link in its place is refused)
        size_t cut = rel.rfind('/');
        std::string_view parent =
            cut == std::string::npos ? std::string_view() : std::string_view(rel).substr(0, cut);
        const char* name = rel.c_str() + (cut == std::string::npos ? 0 : cut + 1);
        fd = impl.openFolders.openSubfolder(parent, name, changes);
    }
    if (fd < 0) {
        struct open_how how {};
        how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        fd = static_cast<int>(syscall(SYS_openat2, base, inVolume.empty() ? "." : inVolume.c_str(),
                                      &how, sizeof how));
    }
    if (fd < 0)
        return -1;
    pattern.assign(leaf);
    if (folderRel)
        *folderRel = std::move(rel);
    return fd;
}

Lookup lookup(std::u16string_view path, unsigned flags) {
    Device* d = Device::current();
    if (!d) {
        Lookup r;
        r.error = ERROR_PATH_NOT_FOUND;
        return r;
    }
    return lookup(*d, path, flags);
}

FILETIME toFileTime(const struct timespec& ts) {
    // 100-ns intervals since 1601-01-01
    constexpr uint64_t kEpochDelta = 116444736000000000ULL;
    uint64_t t = kEpochDelta + static_cast<uint64_t>(ts.tv_sec) * 10000000ULL +
                 static_cast<uint64_t>(ts.tv_nsec) / 100;
    if (ts.tv_sec < 0)
        t = kEpochDelta;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(t);
    ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
    return ft;
}

}  // namespace ce::kernel
