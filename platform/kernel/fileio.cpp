// Reading and writing files: CreateFileW and friends, the CRT's _wfopen, and the one way the
// platform opens a file of the image (openFileAt).
#include "internal.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

using namespace ce::kernel;

namespace ce::kernel {

void UniqueFd::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

int reopenEntry(int pathFd, int dirFd, const std::string& name, const struct stat& st, int flags) {
    char proc[40];
    snprintf(proc, sizeof proc, "/proc/self/fd/%d", pathFd);
    int fd = ::open(proc, flags | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT)
        return fd;
    fd = openat(dirFd, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat now;
    if (fd >= 0 && (fstat(fd, &now) != 0 || now.st_ino != st.st_ino || now.st_dev != st.st_dev)) {
        ::close(fd);
        errno = EAGAIN;
        return -1;
    }
    if (fd >= 0)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

namespace {

// A new, nameless file in dirFd, and the name it is given before it replaces another; the name
// is taken at once when the file system has no nameless files.
UniqueFd newFileIn(int dirFd, std::string& tmpName, bool& named) {
    static std::atomic<unsigned> counter{0};
    tmpName = ".~link." + std::to_string(getpid()) + "." + std::to_string(counter++);
    named = false;
    UniqueFd fd(openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (!fd) {
        named = true;
        fd.reset(openat(dirFd, tmpName.c_str(),
                        O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600));
    }
    return fd;
}

bool giveName(int fd, int dirFd, const std::string& tmpName) {
    char proc[40];
    snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    return linkat(AT_FDCWD, proc, dirFd, tmpName.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
           linkat(fd, "", dirFd, tmpName.c_str(), AT_EMPTY_PATH) == 0;
}

// Replaces the file of pathFd (stat st), named `name` in dirFd, with a copy that has one link.
bool replaceWithOwnCopy(int dirFd, const std::string& name, int pathFd, const struct stat& st,
                        bool keepData) {
    UniqueFd from(reopenEntry(pathFd, dirFd, name, st, O_RDONLY));
    if (!from)
        return false;
    std::string tmpName;
    bool named;
    UniqueFd copy = newFileIn(dirFd, tmpName, named);
    if (!copy)
        return false;
    off_t copied;
    int copyError = keepData ? copyData(from.get(), copy.get(), copied) : 0;
    bool ok = copyError == 0;
    errno = copyError;
    if (ok) {
        copyAttributeValue(from.get(), copy.get());
        if (fchown(copy.get(), st.st_uid, st.st_gid) != 0) {
            // not the owner's to give: the copy stays the caller's
        }
        fchmod(copy.get(), st.st_mode & 07777);
        if (keepData) {
            const struct timespec times[2] = {st.st_atim, st.st_mtim};
            futimens(copy.get(), times);
        }
        // the copy is whole on the disk before its name replaces the file
        ok = fsync(copy.get()) == 0 && (named || giveName(copy.get(), dirFd, tmpName)) &&
             renameat(dirFd, tmpName.c_str(), dirFd, name.c_str()) == 0;
    }
    if (!ok) {
        int e = errno;
        unlinkat(dirFd, tmpName.c_str(), 0);
        errno = e;
    }
    return ok;
}

bool writes(int flags) {
    return (flags & O_ACCMODE) != O_RDONLY || (flags & O_TRUNC);
}

}  // namespace

bool ownLinkAt(int dirFd, const std::string& name, bool keepData) {
    UniqueFd path(openat(dirFd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!path || fstat(path.get(), &st) != 0)
        return false;
    if (!S_ISREG(st.st_mode) || st.st_nlink <= 1)
        return true;
    return replaceWithOwnCopy(dirFd, name, path.get(), st, keepData);
}

int openFileAt(int dirFd, const std::string& name, int flags, mode_t mode) {
    // a few rounds: the entry may be created, replaced or given its own link meanwhile
    for (int round = 0; round < 4; ++round) {
        UniqueFd path(openat(dirFd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!path) {
            if (errno != ENOENT || !(flags & O_CREAT))
                return -1;
            int fd = openat(dirFd, name.c_str(),
                            (flags & ~O_TRUNC) | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
            if (fd >= 0 || errno != EEXIST || (flags & O_EXCL))
                return fd;
            continue;  // made by someone else meanwhile
        }
        if ((flags & O_CREAT) && (flags & O_EXCL)) {
            errno = EEXIST;
            return -1;
        }
        struct stat st;
        if (fstat(path.get(), &st) != 0)
            return -1;
        if (!S_ISREG(st.st_mode)) {
            errno = S_ISDIR(st.st_mode) ? EISDIR : EACCES;
            return -1;
        }
        if (writes(flags) && st.st_nlink > 1) {
            if (!replaceWithOwnCopy(dirFd, name, path.get(), st, !(flags & O_TRUNC)))
                return -1;
            continue;  // open the file that now has the name
        }
        int fd = reopenEntry(path.get(), dirFd, name, st, flags & ~(O_CREAT | O_EXCL));
        if (fd >= 0 || errno != EAGAIN)
            return fd;
    }
    errno = EAGAIN;
    return -1;
}

}  // namespace ce::kernel

namespace {

class FileObject : public KernelObject {
  public:
    explicit FileObject(int fd) : fd(fd) {}
    ~FileObject() override { ::close(fd); }
    int fd;
};

FileObject* fileObject(HANDLE h) {
    ce::Device* d = ce::Device::current();
    return d ? d->impl().handles.get<FileObject>(h) : nullptr;
}

DWORD openError(int e) {
    switch (e) {
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        default:
            return ERROR_ACCESS_DENIED;
    }
}

// Opens a device file for the CRT or CreateFileW; -1 with the Win32 error set on failure. What
// is not a regular file (a folder, a link, a FIFO, a socket, a device node) is refused with
// ERROR_ACCESS_DENIED, as Win32 refuses a folder opened as a file.
int openDeviceFile(const char16_t* path, int flags, bool wantWrite) {
    if (!path) {
        setError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    Lookup r = lookup(std::u16string_view(path));
    if (r.error) {
        setError(r.error);
        return -1;
    }
    if (r.isRoot || (r.exists && !S_ISREG(r.st.st_mode))) {
        setError(ERROR_ACCESS_DENIED);
        return -1;
    }
    if (!r.exists && !(flags & O_CREAT)) {
        setError(r.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return -1;
    }
    if (!r.parentExists) {
        setError(ERROR_PATH_NOT_FOUND);
        return -1;
    }
    if (r.exists && wantWrite &&
        (entryAttributes(r.parent.get(), r.name, r.st) & FILE_ATTRIBUTE_READONLY)) {
        setError(ERROR_ACCESS_DENIED);
        return -1;
    }
    int fd = openFileAt(r.parent.get(), r.name, flags);
    if (fd < 0)
        setError(openError(errno));
    return fd;
}

}  // namespace

extern "C" {

CEAPI HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD access, DWORD, LPSECURITY_ATTRIBUTES,
                                DWORD disposition, DWORD, HANDLE) {
    bool read = access & (GENERIC_READ | GENERIC_ALL);
    bool write = access & (GENERIC_WRITE | GENERIC_ALL);
    int flags = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
    bool existed = fileName && GetFileAttributesW(fileName) != INVALID_FILE_ATTRIBUTES;
    switch (disposition) {
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
            flags |= O_CREAT | O_TRUNC;
            break;
        case OPEN_EXISTING:
            break;
        case OPEN_ALWAYS:
            flags |= O_CREAT;
            break;
        case TRUNCATE_EXISTING:
            if (!write) {
                setError(ERROR_INVALID_PARAMETER);
                return INVALID_HANDLE_VALUE;
            }
            flags |= O_TRUNC;
            break;
        default:
            setError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
    }
    bool changes = write || (flags & O_TRUNC);
    int fd = openDeviceFile(fileName, flags, changes);
    if (fd < 0)
        return INVALID_HANDLE_VALUE;
    HANDLE h = ce::Device::current()->impl().handles.add(std::make_unique<FileObject>(fd));
    // As Win32 does: CREATE_ALWAYS and OPEN_ALWAYS on an existing file succeed and say so.
    setError((existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS))
                 ? ERROR_ALREADY_EXISTS
                 : ERROR_SUCCESS);
    return h;
}

CEAPI BOOL WINAPI ReadFile(HANDLE h, LPVOID buffer, DWORD toRead, LPDWORD readCount, LPOVERLAPPED) {
    FileObject* f = fileObject(h);
    if (!f) {
        setError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (readCount)
        *readCount = 0;
    if (!buffer && toRead) {
        setError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    size_t done = 0;
    while (done < toRead) {
        ssize_t n = ::read(f->fd, static_cast<char*>(buffer) + done, toRead - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            setError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    if (readCount)
        *readCount = static_cast<DWORD>(done);
    return TRUE;
}

CEAPI BOOL WINAPI WriteFile(HANDLE h, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                            LPOVERLAPPED) {
    FileObject* f = fileObject(h);
    if (!f) {
        setError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (written)
        *written = 0;
    size_t done = 0;
    while (done < toWrite) {
        ssize_t n = ::write(f->fd, static_cast<const char*>(buffer) + done, toWrite - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            setError(errno == ENOSPC ? ERROR_DISK_FULL : ERROR_ACCESS_DENIED);
            if (written)
                *written = static_cast<DWORD>(done);
            return FALSE;
        }
        done += static_cast<size_t>(n);
    }
    if (written)
        *written = static_cast<DWORD>(done);
    return TRUE;
}

CEAPI DWORD WINAPI GetFileSize(HANDLE h, LPDWORD high) {
    FileObject* f = fileObject(h);
    struct stat st;
    if (!f || fstat(f->fd, &st) != 0) {
        setError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (high)
        *high = static_cast<DWORD>(size >> 32);
    setError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

CEAPI DWORD WINAPI SetFilePointer(HANDLE h, LONG distance, PLONG high, DWORD method) {
    FileObject* f = fileObject(h);
    if (!f) {
        setError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t offset =
        high ? ((static_cast<int64_t>(*high) << 32) | static_cast<uint32_t>(distance)) : distance;
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    off_t pos = lseek(f->fd, offset, whence);
    if (pos < 0) {
        setError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (high)
        *high = static_cast<LONG>(static_cast<uint64_t>(pos) >> 32);
    setError(ERROR_SUCCESS);
    return static_cast<DWORD>(pos);
}

CEAPI BOOL WINAPI CloseHandle(HANDLE h) {
    ce::Device* d = ce::Device::current();
    if (!d || !d->impl().handles.close(h)) {
        setError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"

FILE* _wfopen(const WCHAR* path, const WCHAR* mode) {
    if (!path || !mode) {
        errno = EINVAL;
        return nullptr;
    }
    // Windows modes: r w a, optional +, and t b c n x and ",ccs=..." which change nothing here.
    int flags = 0;
    bool plus = false, exclusive = false;
    char base = 0;
    for (const WCHAR* m = mode; *m && *m != u','; ++m) {
        switch (*m) {
            case u'r':
            case u'w':
            case u'a':
                if (base) {
                    errno = EINVAL;
                    return nullptr;
                }
                base = static_cast<char>(*m);
                break;
            case u'+':
                plus = true;
                break;
            case u'x':
                exclusive = true;
                break;
            case u't':
            case u'b':
            case u'c':
            case u'n':
            case u'N':
            case u'S':
            case u'R':
            case u'T':
            case u'D':
                break;
            default:
                errno = EINVAL;
                return nullptr;
        }
    }
    const char* fdMode = nullptr;
    switch (base) {
        case 'r':
            flags = plus ? O_RDWR : O_RDONLY;
            fdMode = plus ? "r+" : "r";
            break;
        case 'w':
            flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC | (exclusive ? O_EXCL : 0);
            fdMode = plus ? "w+" : "w";
            break;
        case 'a':
            flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
            fdMode = plus ? "a+" : "a";
            break;
        default:
            errno = EINVAL;
            return nullptr;
    }
    int fd = openDeviceFile(path, flags, base != 'r' || plus);
    if (fd < 0) {
        DWORD e = GetLastError();
        errno = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_BAD_NETPATH
                    ? ENOENT
                : e == ERROR_FILE_EXISTS ? EEXIST
                                         : EACCES;
        return nullptr;
    }
    FILE* f = fdopen(fd, fdMode);
    if (!f)
        ::close(fd);
    return f;
}

int _wremove(const WCHAR* path) {
    if (DeleteFileW(path))
        return 0;
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
    return -1;
}
