// The object store: enumeration, deletion, moves, copies, folders and attributes.
#include "internal.h"

#include <dirent.h>
#include <sys/syscall.h>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

using namespace ce::kernel;

namespace ce::kernel {

DWORD errnoToError(int e, DWORD fallback) {
    switch (e) {
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EEXIST:
            return ERROR_ALREADY_EXISTS;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case EACCES:
        case EPERM:
        case EROFS:
        case ELOOP:
            return ERROR_ACCESS_DENIED;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return ERROR_DISK_FULL;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EBUSY:
            return ERROR_SHARING_VIOLATION;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        default:
            return fallback;
    }
}

}  // namespace ce::kernel

namespace {

thread_local DWORD t_lastError = 0;

BOOL fail(DWORD code) {
    setError(code);
    return FALSE;
}

// The error for a path whose last component does not exist.
DWORD missingError(const Lookup& r) {
    return r.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// Looks a path up on the current device; false (error set) when it is unusable.
bool resolve(LPCWSTR path, Lookup& r, unsigned flags = 0) {
    if (!path) {
        setError(ERROR_INVALID_PARAMETER);
        return false;
    }
    r = lookup(std::u16string_view(path), flags);
    if (r.error) {
        setError(r.error);
        return false;
    }
    return true;
}

bool readOnly(const Lookup& r) {
    return (readAttributes(r.host, r.st) & FILE_ATTRIBUTE_READONLY) != 0;
}

void fillFindData(WIN32_FIND_DATAW& data, std::u16string_view name, const struct stat& st,
                  DWORD attributes) {
    memset(&data, 0, sizeof data);
    data.dwFileAttributes = attributes;
    data.ftCreationTime = toFileTime(st.st_mtim);
    data.ftLastAccessTime = toFileTime(st.st_atim);
    data.ftLastWriteTime = toFileTime(st.st_mtim);
    if (S_ISREG(st.st_mode)) {
        uint64_t size = static_cast<uint64_t>(st.st_size);
        data.nFileSizeLow = static_cast<DWORD>(size);
        data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    }
    data.dwOID = static_cast<DWORD>(st.st_ino);
    size_t n = std::min(name.size(), static_cast<size_t>(MAX_PATH - 1));
    memcpy(data.cFileName, name.data(), n * sizeof(WCHAR));
    data.cFileName[n] = 0;
}

// An open enumeration: a folder read in batches with getdents64, entries filtered by the
// pattern and described with fstatat on the folder's descriptor (no path is resolved per
// entry).
class FindObject : public KernelObject {
  public:
    FindObject() {}  // user-provided, so that the read buffer is not zeroed for every enumeration
    ~FindObject() override {
        if (folders_)
            folders_->remove(this);
        if (fd_ >= 0)
            ::close(fd_);
    }
    // Offers the open folder to single-path calls on its entries (see OpenFolders).
    void share(OpenFolders& folders, std::string folderRel, uint64_t changes) {
        folders_ = &folders;
        folders.add(this, std::move(folderRel), fd_, changes);
    }
    // Takes over an open folder descriptor.
    void openDir(int fd, const std::string& host, std::u16string pattern) {
        fd_ = fd;
        host_ = host;
        pattern_ = std::move(pattern);
        matchAll_ = pattern_ == u"*" || pattern_ == u"*.*";
    }
    // Lists the storage card's folder among the root's entries (first), in place of any entry
    // of root/ that bears its name; `card` is null while the card is out.
    void showCard(const struct stat* card) {
        hideCardName_ = true;
        if (card) {
            card_ = *card;
            cardPending_ = true;
        }
    }
    // The next matching entry; false (no error set) at the end.
    bool next(WIN32_FIND_DATAW& data) {
        if (cardPending_) {
            cardPending_ = false;
            if (matchAll_ || wildcardMatch(pattern_, kCardName)) {
                fillFindData(data, kCardName, card_, kCardAttributes);
                return true;
            }
        }
        while (const char* n = nextName()) {
            if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
                continue;
            // ASCII names widen directly; others convert from UTF-8
            char16_t ascii[MAX_PATH];
            size_t len = 0;
            while (len < MAX_PATH && n[len] && static_cast<unsigned char>(n[len]) < 0x80) {
                ascii[len] = static_cast<char16_t>(n[len]);
                ++len;
            }
            std::u16string_view name;
            if (len < MAX_PATH && !n[len]) {
                name = std::u16string_view(ascii, len);
            } else {
                name_ = fromUtf8(n);
                name = name_;
            }
            if (name.size() >= MAX_PATH)
                continue;  // cannot be named in WIN32_FIND_DATAW
            if (!matchAll_ && !wildcardMatch(pattern_, name))
                continue;
            if (hideCardName_ && isCardName(name))
                continue;
            struct stat st;
            if (fstatat(fd_, n, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;  // gone meanwhile
            fillFindData(data, name, st, readAttributesAt(fd_, n, host_, st));
            return true;
        }
        return false;
    }
    // A single entry (a lookup without wildcards).
    bool single = false;

  private:
    const char* nextName() {
        if (fd_ < 0)
            return nullptr;
        if (pos_ >= len_) {
            if (atEnd_)
                return nullptr;
            long n = syscall(SYS_getdents64, fd_, buffer_, sizeof buffer_);
            if (n <= 0)
                return nullptr;
            len_ = static_cast<size_t>(n);
            pos_ = 0;
        }
        struct Dirent64 {
            ino64_t ino;
            off64_t off;
            unsigned short reclen;
            unsigned char type;
            char name[1];
        };
        auto* e = reinterpret_cast<Dirent64*>(buffer_ + pos_);
        pos_ += e->reclen;
        // The position after the last entry of a batch is where the next read starts; the
        // largest position there is means the end of the folder (ext4 and btrfs give it at the
        // end, and never as the position of an entry), which saves the read that would only
        // say so. Any other position is read from as usual.
        if (pos_ >= len_ && e->off == std::numeric_limits<off64_t>::max())
            atEnd_ = true;
        return e->name;
    }

    int fd_ = -1;
    OpenFolders* folders_ = nullptr;
    alignas(8) char buffer_[16384];
    size_t pos_ = 0, len_ = 0;
    bool atEnd_ = false;
    std::string host_;
    std::u16string pattern_;
    std::u16string name_;
    bool matchAll_ = false;
    bool hideCardName_ = false;
    bool cardPending_ = false;
    struct stat card_ {};
};

ce::Device* device() {
    return ce::Device::current();
}

// An enumeration of the root shows the storage card, when the device has one.
void showCardIn(FindObject& find) {
    const auto& impl = device()->impl();
    if (impl.cardHost.empty())
        return;
    struct stat st;
    find.showCard(impl.cardPresent(&st) ? &st : nullptr);
}

enum class Quick { NotApplicable, Done, Failed };

// DeleteFileW and RemoveDirectoryW for an entry of a folder that an open enumeration holds
// (the clean-up loop: enumerate a folder, delete what it lists): the read-only check and the
// removal relative to the enumeration's descriptor, without resolving the path again. Anything
// else (no such folder open, a name in another case, a folder changed meanwhile, an old host
// kernel) is left to the full lookup.
Quick quickRemove(LPCWSTR path, bool folder) {
    ce::Device* d = device();
    if (!d || !path || !d->impl().changes.shared())
        return Quick::NotApplicable;
    std::string folderRel, name;
    std::u16string_view leaf;
    if (!splitPath(path, folderRel, leaf) || !plainName(leaf, name))
        return Quick::NotApplicable;
    auto& impl = d->impl();
    if (folderRel.empty() && !impl.cardHost.empty() && isCardName(leaf))
        return Quick::NotApplicable;  // the card's folder, not an entry of root/
    Quick result = Quick::NotApplicable;
    DWORD error = 0;
    impl.openFolders.with(folderRel, impl.changes.value(), [&](int fd) {
        DWORD attributes;
        if (!storedAttributesAt(fd, name.c_str(), attributes))
            return;  // ENOENT: perhaps another case
        if (attributes & FILE_ATTRIBUTE_READONLY) {
            // a link carries no attributes, so this is a file or a folder
            result = Quick::Failed;
            error = ERROR_ACCESS_DENIED;
            return;
        }
        if (unlinkat(fd, name.c_str(), folder ? AT_REMOVEDIR : 0) == 0) {
            result = Quick::Done;
            return;
        }
        int e = errno;
        if (e == ENOENT)
            return;  // gone meanwhile: the full lookup gives the right error
        result = Quick::Failed;
        if (folder)
            error = e == ENOTDIR                    ? ERROR_DIRECTORY
                    : e == EEXIST || e == ENOTEMPTY ? ERROR_DIR_NOT_EMPTY
                                                    : errnoToError(e);
        else
            error = e == EISDIR ? ERROR_ACCESS_DENIED : errnoToError(e);
    });
    if (result == Quick::Done && folder)
        impl.changes.bump();
    if (result == Quick::Failed)
        setError(error);
    return result;
}

// A folder was moved or removed: what enumerations know of folder places is out of date.
void noteFolderChange() {
    if (ce::Device* d = device())
        d->impl().changes.bump();
}

// The device path of the folder that holds the entry `path` names ("" for the root).
std::u16string_view folderOf(std::u16string_view path) {
    while (!path.empty() && (path.back() == u'\\' || path.back() == u'/')) path.remove_suffix(1);
    size_t cut = path.find_last_of(u"\\/");
    return cut == std::u16string_view::npos ? std::u16string_view() : path.substr(0, cut);
}

// A move that rename() cannot make, because the target lies on another host file system. A file
// is copied there, checked, and then its source deleted, as a device moves a file between
// volumes; a folder cannot be moved across volumes (desktop Win32 answers ERROR_ACCESS_DENIED,
// with or without MOVEFILE_COPY_ALLOWED).
BOOL moveAcross(const Lookup& from, const Lookup& to, std::u16string_view newName) {
    if (from.isDir() || from.isLink() || !S_ISREG(from.st.st_mode))
        return fail(ERROR_ACCESS_DENIED);
    int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fromDir = open(from.parentHost.c_str(), flags);
    int toDir = fromDir < 0 ? -1 : open(to.parentHost.c_str(), flags);
    DWORD e = toDir < 0 ? errnoToError(errno)
                        : moveFileAcross(*device(), fromDir,
                                         from.host.c_str() + from.parentHost.size() + 1, toDir,
                                         to.leaf.c_str(), folderOf(newName));
    if (fromDir >= 0)
        close(fromDir);
    if (toDir >= 0)
        close(toDir);
    return e ? fail(e) : TRUE;
}

}  // namespace

extern "C" {

CEAPI DWORD WINAPI GetLastError(void) {
    return t_lastError;
}
CEAPI void WINAPI SetLastError(DWORD code) {
    t_lastError = code;
}

CEAPI HANDLE WINAPI FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW data) {
    ce::Device* d = device();
    if (!data || !fileName) {
        setError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto find = std::make_unique<FindObject>();
    // the common case, a pattern in a folder named in its stored case: one step
    std::u16string pattern;
    std::string folder, folderRel;
    uint64_t changes = d ? d->impl().changes.value() : 0;  // read before the folder is opened
    int fd = d ? openPatternFolder(*d, fileName, changes, pattern, folder, &folderRel) : -1;
    if (fd >= 0) {
        find->openDir(fd, folder, std::move(pattern));
        if (folderRel.empty())
            showCardIn(*find);
        if (d->impl().changes.shared())
            find->share(d->impl().openFolders, std::move(folderRel), changes);
        if (!find->next(*data)) {
            setError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        return d->impl().handles.add(std::move(find));
    }
    Lookup r;
    if (!resolve(fileName, r, kAllowWildcards))
        return INVALID_HANDLE_VALUE;
    if (r.hasWildcards) {
        if (!r.parentExists) {
            setError(ERROR_PATH_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        int dir = open(r.parentHost.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir < 0) {
            setError(errno == ENOTDIR || errno == ELOOP ? ERROR_PATH_NOT_FOUND
                                                        : errnoToError(errno));
            return INVALID_HANDLE_VALUE;
        }
        find->openDir(dir, r.parentHost, r.leafWide);
        if (r.parentHost == d->impl().rootHost)
            showCardIn(*find);
        if (!find->next(*data)) {
            setError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
    } else {
        // the root is not an entry of any folder; a final backslash names a folder only
        if (r.isRoot || !r.exists || (r.trailingSeparator && !r.isDir())) {
            setError(r.isRoot || r.exists ? ERROR_FILE_NOT_FOUND : missingError(r));
            return INVALID_HANDLE_VALUE;
        }
        size_t slash = r.host.rfind('/');
        if (r.isCard)
            fillFindData(*data, kCardName, r.st, kCardAttributes);
        else
            fillFindData(*data, fromUtf8(r.host.substr(slash + 1)), r.st,
                         readAttributes(r.host, r.st));
        find->single = true;
    }
    return d->impl().handles.add(std::move(find));
}

CEAPI BOOL WINAPI FindNextFileW(HANDLE h, LPWIN32_FIND_DATAW data) {
    ce::Device* d = device();
    FindObject* find = d ? d->impl().handles.get<FindObject>(h) : nullptr;
    if (!find)
        return fail(ERROR_INVALID_HANDLE);
    if (!data)
        return fail(ERROR_INVALID_PARAMETER);
    if (find->single || !find->next(*data))
        return fail(ERROR_NO_MORE_FILES);
    return TRUE;
}

CEAPI BOOL WINAPI FindClose(HANDLE h) {
    ce::Device* d = device();
    if (!d || !d->impl().handles.get<FindObject>(h))
        return fail(ERROR_INVALID_HANDLE);
    d->impl().handles.close(h);
    return TRUE;
}

CEAPI BOOL WINAPI DeleteFileW(LPCWSTR fileName) {
    switch (quickRemove(fileName, false)) {
        case Quick::Done:
            return TRUE;
        case Quick::Failed:
            return FALSE;
        case Quick::NotApplicable:
            break;
    }
    Lookup r;
    if (!resolve(fileName, r))
        return FALSE;
    if (r.isRoot || r.isDir())
        return fail(ERROR_ACCESS_DENIED);
    if (!r.exists)
        return fail(missingError(r));
    if (r.trailingSeparator)
        return fail(ERROR_FILE_NOT_FOUND);  // a final backslash names a folder
    if (!r.isLink() && readOnly(r))
        return fail(ERROR_ACCESS_DENIED);
    if (unlink(r.host.c_str()) != 0)
        return fail(errnoToError(errno));
    return TRUE;
}

CEAPI BOOL WINAPI MoveFileW(LPCWSTR existing, LPCWSTR newName) {
    Lookup from, to;
    if (!resolve(existing, from) || !resolve(newName, to))
        return FALSE;
    if (from.isRoot || to.isRoot || from.isCard || to.isCard)
        return fail(ERROR_ACCESS_DENIED);
    if (!from.exists)
        return fail(missingError(from));
    if (!to.parentExists)
        return fail(ERROR_PATH_NOT_FOUND);
    if (from.isDir() && from.onCard != to.onCard)
        return fail(ERROR_ACCESS_DENIED);  // a folder stays on its volume, as in moveAcross()
    std::string target = to.host;
    if (to.exists) {
        // a new spelling of the same entry renames it; anything else is in the way
        if (to.st.st_ino != from.st.st_ino || to.st.st_dev != from.st.st_dev)
            return fail(ERROR_ALREADY_EXISTS);
        target = to.parentHost + "/" + to.leaf;
        if (target == from.host)
            return TRUE;
        if (rename(from.host.c_str(), target.c_str()) != 0)
            return fail(errnoToError(errno));
        if (from.isDir())
            noteFolderChange();
        return TRUE;
    }
    if (from.isDir() && (target + "/").rfind(from.host + "/", 0) == 0)
        return fail(ERROR_ACCESS_DENIED);  // into itself
    if (renameat2(AT_FDCWD, from.host.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno == EXDEV)
            return moveAcross(from, to, newName);
        return fail(errno == EEXIST ? ERROR_ALREADY_EXISTS : errnoToError(errno));
    }
    if (from.isDir())
        noteFolderChange();
    return TRUE;
}

CEAPI BOOL WINAPI CopyFileW(LPCWSTR existing, LPCWSTR newName, BOOL failIfExists) {
    Lookup from, to;
    if (!resolve(existing, from) || !resolve(newName, to))
        return FALSE;
    if (from.isRoot || from.isDir() || from.isLink())
        return fail(ERROR_ACCESS_DENIED);
    if (!from.exists)
        return fail(missingError(from));
    if (!to.parentExists)
        return fail(ERROR_PATH_NOT_FOUND);
    if (to.exists) {
        if (failIfExists)
            return fail(ERROR_FILE_EXISTS);
        if (to.isDir() || to.isLink() || readOnly(to))
            return fail(ERROR_ACCESS_DENIED);
        if (to.st.st_ino == from.st.st_ino)
            return fail(ERROR_SHARING_VIOLATION);
    }
    int in = open(from.host.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0)
        return fail(errnoToError(errno));
    int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
    int out = open(to.host.c_str(), flags, 0644);
    if (out < 0) {
        DWORD e = errno == EEXIST ? ERROR_FILE_EXISTS : errnoToError(errno);
        close(in);
        return fail(e);
    }
    off_t copied;
    int copyError = copyData(in, out, copied);
    bool ok = copyError == 0;
    DWORD e = errnoToError(copyError, ERROR_GEN_FAILURE);
    close(in);
    if (close(out) != 0)
        ok = false;
    if (!ok) {
        unlink(to.host.c_str());
        return fail(e);
    }
    writeAttributes(to.host, readAttributes(from.host, from.st) & ~FILE_ATTRIBUTE_NORMAL);
    return TRUE;
}

CEAPI BOOL WINAPI CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES) {
    Lookup r;
    if (!resolve(pathName, r))
        return FALSE;
    if (r.isRoot || r.exists)
        return fail(ERROR_ALREADY_EXISTS);
    if (!r.parentExists)
        return fail(ERROR_PATH_NOT_FOUND);
    if (mkdir(r.host.c_str(), 0755) != 0)
        return fail(errnoToError(errno));
    return TRUE;
}

CEAPI BOOL WINAPI RemoveDirectoryW(LPCWSTR pathName) {
    switch (quickRemove(pathName, true)) {
        case Quick::Done:
            return TRUE;
        case Quick::Failed:
            return FALSE;
        case Quick::NotApplicable:
            break;
    }
    Lookup r;
    if (!resolve(pathName, r))
        return FALSE;
    if (r.isRoot || (r.isCard && r.exists))
        return fail(ERROR_ACCESS_DENIED);
    if (!r.exists)
        return fail(missingError(r));
    if (!r.isDir())
        return fail(ERROR_DIRECTORY);
    if (readOnly(r))
        return fail(ERROR_ACCESS_DENIED);
    if (rmdir(r.host.c_str()) != 0)
        return fail(errno == EEXIST || errno == ENOTEMPTY ? ERROR_DIR_NOT_EMPTY
                                                          : errnoToError(errno));
    noteFolderChange();
    return TRUE;
}

CEAPI DWORD WINAPI GetFileAttributesW(LPCWSTR fileName) {
    Lookup r;
    if (!resolve(fileName, r))
        return INVALID_FILE_ATTRIBUTES;
    if (!r.exists || (r.trailingSeparator && !r.isDir())) {
        setError(r.exists ? ERROR_FILE_NOT_FOUND : missingError(r));
        return INVALID_FILE_ATTRIBUTES;
    }
    return r.isCard ? kCardAttributes : readAttributes(r.host, r.st);
}

CEAPI BOOL WINAPI SetFileAttributesW(LPCWSTR fileName, DWORD attributes) {
    Lookup r;
    if (!resolve(fileName, r))
        return FALSE;
    if (!r.exists)
        return fail(missingError(r));
    if (r.isRoot || r.isCard || r.isLink())
        return fail(ERROR_ACCESS_DENIED);
    if (!writeAttributes(r.host, attributes))
        return fail(errnoToError(errno));
    return TRUE;
}

}  // extern "C"
