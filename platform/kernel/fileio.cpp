// Reading and writing files: CreateFileW and friends, and the CRT's _wfopen.
#include "internal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

using namespace ce::kernel;

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

// Opens a device file for the CRT or CreateFileW; -1 with the Win32 error set on failure.
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
    if (r.isRoot || r.isDir() || r.isLink()) {
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
    if (r.exists && wantWrite && (readAttributes(r.host, r.st) & FILE_ATTRIBUTE_READONLY)) {
        setError(ERROR_ACCESS_DENIED);
        return -1;
    }
    int fd = ::open(r.host.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        setError(errno == EEXIST   ? ERROR_FILE_EXISTS
                 : errno == ENOENT ? ERROR_FILE_NOT_FOUND
                                   : ERROR_ACCESS_DENIED);
        return -1;
    }
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
