// DOS attributes, kept in the extended attribute user.DOSATTRIB the way Samba keeps them.
//
// The value is the text "0x%x" of the attribute bits and a NUL: Samba's legacy form, which it
// still reads. Samba itself writes the same text followed by a binary record of its own; only the
// text at the start counts here, so values written by Samba are read as well.
//
// The value is the truth. The marker bit in a file's mode (see internal.h) only says that a value
// is there, so that a walk, which has the mode from its stat already, reads the value of the few
// files that have one instead of asking for every file. Folders, ten times fewer, are always
// asked: a folder hidden by another tool (setfattr, Samba) is hidden in every listing at once.
//
// Every entry is named by the folder that holds it and its name, and nothing here follows a
// link: what the caller looked up is what is read or changed.
#include "internal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ce::kernel {

namespace {

// Room for the legacy value; a longer one is Samba's own form, read whole by readValue.
constexpr size_t kValueRoom = 64;

DWORD parseAttributes(const char* value, ssize_t n, const struct stat& st) {
    DWORD attrs = 0;
    if (n > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        char text[kValueRoom + 1];
        size_t length = std::min(static_cast<size_t>(n), kValueRoom);
        memcpy(text, value, length);
        text[length] = 0;  // the value need not end with its NUL
        attrs = static_cast<DWORD>(strtoul(text + 2, nullptr, 16));
    }
    attrs &= ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL);
    if (S_ISDIR(st.st_mode))
        return attrs | FILE_ATTRIBUTE_DIRECTORY;
    return attrs ? attrs : FILE_ATTRIBUTE_NORMAL;
}

// Reads a value through get(buffer, size) into buf (kValueRoom bytes): a longer value is read
// whole and its start kept. The length kept, or -1 with errno (ENODATA: none stored).
template <class Get>
ssize_t readValue(Get get, char* buf) {
    ssize_t n = get(buf, kValueRoom);
    for (int round = 0; n < 0 && errno == ERANGE && round < 3; ++round) {
        ssize_t size = get(nullptr, 0);
        if (size < 0)
            return -1;
        std::string whole(static_cast<size_t>(size), '\0');
        n = get(whole.data(), whole.size());
        if (n >= 0) {
            n = std::min(n, static_cast<ssize_t>(kValueRoom));
            memcpy(buf, whole.data(), static_cast<size_t>(n));
        }
    }
    return n;
}

// The whole value through get(buffer, size), whatever its length; false with errno when none.
template <class Get>
bool wholeValue(Get get, std::string& value) {
    ssize_t size = get(nullptr, 0);
    for (int round = 0; size >= 0 && round < 3; ++round) {
        value.resize(static_cast<size_t>(size));
        ssize_t n = get(value.data(), value.size());
        if (n >= 0) {
            value.resize(static_cast<size_t>(n));
            return true;
        }
        size = errno == ERANGE ? get(nullptr, 0) : -1;
    }
    return false;
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

// A file with other hard links: its mode and attributes are those of its other names too.
bool hasOtherLinks(const struct stat& st) {
    return S_ISREG(st.st_mode) && st.st_nlink > 1;
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
    UniqueFd fd = openForAttributes(dirFd, name, nullptr);
    return fd && fchmod(fd.get(), want) == 0;
}

ssize_t getValueOf(int fd, char* buf) {
    return readValue([&](char* b, size_t size) { return fgetxattr(fd, kAttributeXattr, b, size); },
                     buf);
}

// The value of the entry `name` of dirFd, never through a link.
ssize_t getValueAt(int dirFd, const char* name, char* buf) {
    if (!g_noGetxattrat) {
        ssize_t n = readValue(
            [&](char* b, size_t size) {
                XattrArgs args{reinterpret_cast<uintptr_t>(b), static_cast<uint32_t>(size), 0};
                return static_cast<ssize_t>(syscall(SYS_getxattrat, dirFd, name,
                                                    AT_SYMLINK_NOFOLLOW, kAttributeXattr, &args,
                                                    sizeof args));
            },
            buf);
        if (n >= 0 || errno != ENOSYS)
            return n;
        g_noGetxattrat = true;
    }
    UniqueFd fd = openForAttributes(dirFd, name, nullptr);
    if (!fd) {
        if (errno == EPERM)
            errno = ENODATA;  // a link or a special file holds none
        return -1;
    }
    return getValueOf(fd.get(), buf);
}

}  // namespace

UniqueFd openForAttributes(int dirFd, const std::string& name, struct stat* st) {
    UniqueFd path(openat(dirFd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat own;
    struct stat& s = st ? *st : own;
    if (!path || fstat(path.get(), &s) != 0)
        return UniqueFd();
    if (!carriesAttributes(s)) {
        errno = EPERM;
        return UniqueFd();
    }
    int flags = O_RDONLY | (S_ISDIR(s.st_mode) ? O_DIRECTORY : 0);
    return UniqueFd(reopenEntry(path.get(), dirFd, name, s, flags));
}

int copyAttributeValue(int from, int to) {
    std::string value;
    if (!wholeValue([&](char* b, size_t n) { return fgetxattr(from, kAttributeXattr, b, n); },
                    value))
        return errno;
    return fsetxattr(to, kAttributeXattr, value.data(), value.size(), 0) == 0 ? 0 : errno;
}

int copyAttributesOf(int from, int to, const struct stat& toSt) {
    mode_t mode = toSt.st_mode & 07777;
    int e = copyAttributeValue(from, to);
    if (e == ENODATA) {
        if (fremovexattr(to, kAttributeXattr) != 0 && errno != ENODATA)
            return errno;
        mode &= ~kAttributeMarker;
    } else if (e == 0) {
        mode |= kAttributeMarker;
    } else {
        return e;
    }
    return mode == (toSt.st_mode & 07777) || fchmod(to, mode) == 0 ? 0 : errno;
}

bool storedAttributesAt(int dirFd, const char* name, DWORD& attributes) {
    attributes = 0;
    char buf[kValueRoom];
    ssize_t n = getValueAt(dirFd, name, buf);
    if (n >= 0) {
        struct stat file {};  // anything but a folder: DIRECTORY is not added
        attributes = parseAttributes(buf, n, file) & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
        return true;
    }
    switch (errno) {
        case ENODATA:  // nothing stored
        case ENOTSUP:  // a file system without extended attributes: nothing can be stored
            return true;
        default:
            return false;
    }
}

DWORD entryAttributes(int dirFd, const std::string& name, const struct stat& st) {
    if (!carriesAttributes(st))
        return FILE_ATTRIBUTE_NORMAL;
    char buf[kValueRoom];
    ssize_t n = getValueAt(dirFd, name.c_str(), buf);
    // The value itself is what counts here. An entry whose marker disagrees with it (the value
    // was written or removed by another tool) is put right, so that walks see it too; not a file
    // with other hard links, whose mode is theirs as well.
    bool stored = n >= 0;
    if (stored != hasAttributeMarker(st) && (stored || errno == ENODATA) && !hasOtherLinks(st))
        setMarkerAt(dirFd, name.c_str(), st.st_mode, stored);
    return parseAttributes(buf, n, st);
}

DWORD walkAttributes(int dirFd, const char* name, const struct stat& st) {
    if (!carriesAttributes(st))
        return FILE_ATTRIBUTE_NORMAL;
    if (!S_ISDIR(st.st_mode) && !hasAttributeMarker(st))
        return FILE_ATTRIBUTE_NORMAL;  // nothing stored
    char buf[kValueRoom];
    return parseAttributes(buf, getValueAt(dirFd, name, buf), st);
}

DWORD attributesOf(int fd, const struct stat& st) {
    if (!carriesAttributes(st))
        return FILE_ATTRIBUTE_NORMAL;
    char buf[kValueRoom];
    return parseAttributes(buf, getValueOf(fd, buf), st);
}

bool writeAttributesOf(int fd, const struct stat& st, DWORD attributes) {
    attributes &= FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY;
    mode_t mode = st.st_mode & 07777;
    if (attributes == 0) {
        if (fremovexattr(fd, kAttributeXattr) != 0 && errno != ENODATA)
            return false;
        mode &= ~kAttributeMarker;
    } else {
        char buf[16];
        int n = snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(attributes));
        if (fsetxattr(fd, kAttributeXattr, buf, static_cast<size_t>(n) + 1, 0) != 0)
            return false;  // NUL included
        mode |= kAttributeMarker;
    }
    return mode == (st.st_mode & 07777) || fchmod(fd, mode) == 0;
}

bool writeEntryAttributes(int dirFd, const std::string& name, DWORD attributes) {
    struct stat st;
    UniqueFd fd = openForAttributes(dirFd, name, &st);
    return fd && writeAttributesOf(fd.get(), st, attributes);
}

namespace {

// Marks, below the open folder dirFd, every entry that holds attributes. Links are never
// followed; folders deeper than the limit are left alone (they are read exactly by the single
// path calls, which put their markers right).
void markTree(int dirFd, int depth) {
    DIR* d = fdopendir(dirFd);
    if (!d) {
        ::close(dirFd);
        return;
    }
    char buf[kValueRoom];
    while (dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        if (e->d_type != DT_DIR && e->d_type != DT_REG && e->d_type != DT_UNKNOWN)
            continue;
        struct stat st;
        if (fstatat(dirfd(d), n, &st, AT_SYMLINK_NOFOLLOW) != 0 || !carriesAttributes(st))
            continue;
        if (!hasOtherLinks(st) && getValueAt(dirfd(d), n, buf) >= 0)
            setMarkerAt(dirfd(d), n, st.st_mode, true);
        if (S_ISDIR(st.st_mode) && depth < 512) {
            int child = openat(dirfd(d), n, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0)
                markTree(child, depth + 1);
        }
    }
    closedir(d);
}

}  // namespace

void markStoredAttributes(const std::string& rootHost) {
    int fd = open(rootHost.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        markTree(fd, 0);
}

}  // namespace ce::kernel
