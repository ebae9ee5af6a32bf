// Device paths to host paths, and the DOS attributes kept in user.DOSATTRIB.
//
// The attribute value is the truth; the marker bit in an entry's mode (see internal.h) only
// says that a value is there, so that a walk, which has the mode from its stat already, reads
// the extended attribute of the few entries that have one instead of asking for every entry.
//
// A device path is absolute ("\Windows\Temp"), separated by '\' (or '/'), case-insensitive
// and case-preserving; two separators at its start name a network share, which is never found.
// Each component is looked up with its exact spelling first, then by a case-insensitive scan of
// its folder. ".." and symbolic links in the middle of a path are refused, so no device path
// reaches outside DEVICE/root; a link as the last component names the link itself, never what
// it points to.
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

// Case-insensitive scan of dir for name; fills the stored spelling.
bool findNoCase(const std::string& dir, std::u16string_view name, std::string& stored) {
    DIR* d = opendir(dir.c_str());
    if (!d)
        return false;
    bool found = false;
    while (dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        if (equalsNoCase(fromUtf8(n), name)) {
            stored = n;
            found = true;
            break;
        }
    }
    closedir(d);
    return found;
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
        r.exists = lstat(root.c_str(), &r.st) == 0;
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

    std::string name;
    bool missing = false;  // a component so far does not exist
    size_t first = 0;
    if (routeToCard(device, comps[0], count == 1, r)) {
        if (r.isCard)
            return r;
        first = 1;
        missing = !r.parentExists;
    }
    for (size_t k = first; k < count; ++k) {
        bool last = k + 1 == count;
        if (!toUtf8(comps[k], name)) {
            r.error = ERROR_INVALID_NAME;
            return r;
        }
        if (last) {
            r.parentHost = r.host;
            r.parentExists = !missing;
            r.leaf = name;
            r.leafWide.assign(comps[k]);
        }
        size_t base = r.host.size();
        r.host += '/';
        r.host += name;
        if (missing || (last && r.hasWildcards))
            continue;
        struct stat st;
        if (lstat(r.host.c_str(), &st) != 0) {
            std::string stored;
            if (errno == ENOENT && findNoCase(r.host.substr(0, base), comps[k], stored)) {
                r.host.resize(base + 1);
                r.host += stored;
                if (lstat(r.host.c_str(), &st) != 0) {
                    missing = true;
                    continue;
                }
            } else {
                missing = true;
                continue;
            }
        }
        if (last) {
            r.exists = true;
            r.st = st;
        } else if (S_ISLNK(st.st_mode)) {
            // a symbolic link is never walked through: it could lead anywhere
            r.error = ERROR_PATH_NOT_FOUND;
            return r;
        } else if (!S_ISDIR(st.st_mode)) {
            missing = true;  // a file cannot be walked through
        }
    }
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
        if (!toUtf8(c, name))
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
    return toUtf8(name, utf8);
}

int openPatternFolder(Device& device, std::u16string_view path, uint64_t changes,
                      std::u16string& pattern, std::string& folderHost, std::string* folderRel) {
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
    const std::string* baseHost = &impl.rootHost;
    std::string inVolume = rel;
    bool cardRoot = false;
    if (!impl.cardHost.empty() && !rel.empty() && startsWithCard(rel)) {
        if (!impl.cardPresent())
            return -1;
        base = impl.cardFd;
        baseHost = &impl.cardHost;
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
        impl.openFolders.with(parent, changes, [&](int parentFd) {
            fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        });
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
    folderHost = *baseHost;
    if (!inVolume.empty())
        folderHost += "/" + inVolume;
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

namespace {

DWORD parseAttributes(char* buf, ssize_t n, const struct stat& st) {
    DWORD attrs = 0;
    if (buf && n > 2 && buf[0] == '0' && (buf[1] == 'x' || buf[1] == 'X')) {
        buf[n] = 0;
        attrs = static_cast<DWORD>(strtoul(buf + 2, nullptr, 16));
    }
    attrs &= ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL);
    if (S_ISDIR(st.st_mode))
        return attrs | FILE_ATTRIBUTE_DIRECTORY;
    return attrs ? attrs : FILE_ATTRIBUTE_NORMAL;
}

#ifndef SYS_getxattrat
#define SYS_getxattrat 464
#endif
#ifndef SYS_fchmodat2
#define SYS_fchmodat2 452
#endif
struct XattrArgs {
    uint64_t value;
    uint32_t size;
    uint32_t flags;
};
std::atomic<bool> g_noGetxattrat{false};  // the kernel is older than 6.13
std::atomic<bool> g_noFchmodat2{false};   // the kernel is older than 6.6

bool carriesAttributes(const struct stat& st) {
    return S_ISDIR(st.st_mode) || S_ISREG(st.st_mode);
}

// Sets or clears the marker of the entry `name` of dirFd (never a link: links carry no
// attributes, and the marker is never set through one).
bool setMarkerAt(int dirFd, const char* name, mode_t mode, bool on) {
    mode_t want = (on ? (mode | kAttributeMarker) : (mode & ~kAttributeMarker)) & 07777;
    if ((mode & 07777) == want)
        return true;
    if (!g_noFchmodat2) {
        if (syscall(SYS_fchmodat2, dirFd, name, want, AT_SYMLINK_NOFOLLOW) == 0)
            return true;
        if (errno != ENOSYS)
            return false;
        g_noFchmodat2 = true;
    }
    return fchmodat(dirFd, name, want, 0) == 0;
}

ssize_t getAttributeAt(int dirFd, const char* name, const std::string& host, char* buf,
                       size_t size) {
    if (!g_noGetxattrat) {
        XattrArgs args{reinterpret_cast<uintptr_t>(buf), static_cast<uint32_t>(size), 0};
        long n = syscall(SYS_getxattrat, dirFd, name, AT_SYMLINK_NOFOLLOW, kAttributeXattr, &args,
                         sizeof args);
        if (n >= 0 || errno != ENOSYS)
            return n;
        g_noGetxattrat = true;
    }
    std::string path = host + "/" + name;
    return lgetxattr(path.c_str(), kAttributeXattr, buf, size);
}

}  // namespace

bool storedAttributesAt(int dirFd, const char* name, DWORD& attributes) {
    attributes = 0;
    if (g_noGetxattrat) {
        errno = ENOSYS;
        return false;
    }
    char buf[32];
    XattrArgs args{reinterpret_cast<uintptr_t>(buf), static_cast<uint32_t>(sizeof buf - 1), 0};
    long n = syscall(SYS_getxattrat, dirFd, name, AT_SYMLINK_NOFOLLOW, kAttributeXattr, &args,
                     sizeof args);
    if (n >= 0) {
        struct stat dir {};  // anything but a folder: DIRECTORY is not added
        attributes = parseAttributes(buf, n, dir) & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
        return true;
    }
    switch (errno) {
        case ENOSYS:
            g_noGetxattrat = true;
            return false;
        case ENODATA:  // nothing stored
        case ENOTSUP:  // a file system without extended attributes: nothing can be stored
            return true;
        default:
            return false;
    }
}

DWORD readAttributes(const std::string& host, const struct stat& st) {
    if (!carriesAttributes(st))
        return FILE_ATTRIBUTE_NORMAL;
    char buf[32];
    ssize_t n = lgetxattr(host.c_str(), kAttributeXattr, buf, sizeof buf - 1);
    // The value itself is what counts here. An entry whose marker disagrees with it (the value
    // was written or removed by another tool) is put right, so that walks see it too.
    bool stored = n >= 0;
    if (stored != hasAttributeMarker(st) && (stored || errno == ENODATA))
        setMarkerAt(AT_FDCWD, host.c_str(), st.st_mode, stored);
    return parseAttributes(buf, n, st);
}

DWORD readAttributesAt(int dirFd, const char* name, const std::string& host,
                       const struct stat& st) {
    if (!carriesAttributes(st))
        return FILE_ATTRIBUTE_NORMAL;
    if (!hasAttributeMarker(st))
        return parseAttributes(nullptr, -1, st);  // nothing stored
    char buf[32];
    return parseAttributes(buf, getAttributeAt(dirFd, name, host, buf, sizeof buf - 1), st);
}

bool writeAttributes(const std::string& host, DWORD attributes) {
    attributes &= FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY;
    struct stat st;
    if (lstat(host.c_str(), &st) != 0)
        return false;
    if (!carriesAttributes(st)) {
        errno = EPERM;
        return false;
    }
    if (attributes == 0) {
        if (lremovexattr(host.c_str(), kAttributeXattr) != 0 && errno != ENODATA)
            return false;
        return setMarkerAt(AT_FDCWD, host.c_str(), st.st_mode, false);
    }
    char buf[16];
    int n = snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(attributes));
    if (lsetxattr(host.c_str(), kAttributeXattr, buf, n + 1, 0) != 0)
        return false;  // NUL included
    return setMarkerAt(AT_FDCWD, host.c_str(), st.st_mode, true);
}

namespace {

// Marks, below the open folder dirFd, every entry that holds attributes. Links are never
// followed; folders deeper than the limit are left alone (they are read exactly by the single
// path calls, which put their markers right).
void markTree(int dirFd, const std::string& host, int depth) {
    DIR* d = fdopendir(dirFd);
    if (!d) {
        ::close(dirFd);
        return;
    }
    char buf[32];
    while (dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        if (e->d_type != DT_DIR && e->d_type != DT_REG && e->d_type != DT_UNKNOWN)
            continue;
        struct stat st;
        if (fstatat(dirfd(d), n, &st, AT_SYMLINK_NOFOLLOW) != 0 || !carriesAttributes(st))
            continue;
        if (getAttributeAt(dirfd(d), n, host, buf, sizeof buf - 1) >= 0)
            setMarkerAt(dirfd(d), n, st.st_mode, true);
        if (S_ISDIR(st.st_mode) && depth < 512) {
            int child = openat(dirfd(d), n, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0)
                markTree(child, host + "/" + n, depth + 1);
        }
    }
    closedir(d);
}

}  // namespace

bool setAttributeMarker(const std::string& host, bool on) {
    struct stat st;
    if (lstat(host.c_str(), &st) != 0 || !carriesAttributes(st))
        return false;
    return setMarkerAt(AT_FDCWD, host.c_str(), st.st_mode, on);
}

void markStoredAttributes(const std::string& rootHost) {
    int fd = open(rootHost.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        markTree(fd, rootHost, 0);
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
