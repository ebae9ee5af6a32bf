// Moving a file to another host file system, as a device moves a file between volumes: the file
// is copied beside its new place under a temporary name, made durable and checked, renamed into
// place, and only then is the source deleted. Whatever fails, the source stays as it was and no
// copy is left. A program killed in the middle can leave only the temporary file, never a file
// under the real name; each move in progress is recorded in DEVICE/moves, so that the next
// program to open the device removes what a killed one left.
#include "internal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <utility>

namespace ce::kernel {

namespace {

namespace fs = std::filesystem;

constexpr char kMovesFolder[] = "moves";  // DEVICE/moves
std::atomic<unsigned> g_moveSequence{0};

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        reset(std::exchange(other.fd_, -1));
        return *this;
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    explicit operator bool() const { return fd_ >= 0; }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_;
};

// The temporary name of a copy in progress, from its record's name.
std::string temporaryName(const std::string& id) {
    return "~move" + id + ".tmp";
}

// The record of one move in progress: DEVICE/moves/ID holds the device path of the temporary
// copy, and is locked for as long as the move runs. It is written under ID.new and renamed, so
// a record under its own name is always whole.
class MoveRecord {
  public:
    MoveRecord(const fs::path& deviceDir, const std::string& id, const std::u16string& temporary) {
        fs::path folder = deviceDir / kMovesFolder;
        mkdir(folder.c_str(), 0755);
        folder_ = Fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        std::string fresh = id + ".new";
        Fd fd(folder_ ? openat(folder_.get(), fresh.c_str(),
                               O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644)
                      : -1);
        if (!fd)
            return;  // the move goes on; only a kill would leave its temporary file behind
        flock(fd.get(), LOCK_EX);
        std::string text = toUtf8(temporary) + "\n";
        if (write(fd.get(), text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
            renameat(folder_.get(), fresh.c_str(), folder_.get(), id.c_str()) != 0) {
            unlinkat(folder_.get(), fresh.c_str(), 0);
            return;
        }
        name_ = id;
        fd_ = std::move(fd);
    }
    ~MoveRecord() {
        if (fd_)
            unlinkat(folder_.get(), name_.c_str(), 0);  // before the lock goes with fd_
    }
    MoveRecord(const MoveRecord&) = delete;
    MoveRecord& operator=(const MoveRecord&) = delete;

  private:
    Fd folder_;  // DEVICE/moves, never through a link
    std::string name_;
    Fd fd_;
};

// ERROR_DISK_FULL when the target's file system has clearly no room for `size` bytes, so that a
// copy that cannot fit is not even begun; the writes themselves have the last word.
DWORD checkRoom(int dir, off_t size) {
    struct statvfs vfs;
    if (fstatvfs(dir, &vfs) != 0 || vfs.f_blocks == 0)
        return 0;
    uint64_t room = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    return room < static_cast<uint64_t>(size) ? ERROR_DISK_FULL : 0;
}

// The DOS attributes go with the data. A file system that cannot hold extended attributes at all
// (ENOTSUP) takes the file without them, as it could not keep any the platform set there.
DWORD copyAttributes(int in, int out, const struct stat& st) {
    char value[64];
    ssize_t n = fgetxattr(in, kAttributeXattr, value, sizeof value);
    mode_t mode = st.st_mode & 0777;
    if (n > 0) {
        if (fsetxattr(out, kAttributeXattr, value, static_cast<size_t>(n), 0) == 0)
            mode |= kAttributeMarker;
        else if (errno != ENOTSUP)
            return errnoToError(errno, ERROR_GEN_FAILURE);
    }
    return fchmod(out, mode) == 0 ? 0 : errnoToError(errno, ERROR_GEN_FAILURE);
}

// Writes the copy of `in` (described by st) into out and makes it durable: data, attributes,
// times, then fsync, and a check that the copy is as long as the file and the file did not
// change meanwhile. 0 or the Win32 error.
DWORD writeCopy(int in, const struct stat& st, int out) {
    off_t copied = 0;
    if (int e = copyData(in, out, copied))
        return errnoToError(e, ERROR_GEN_FAILURE);
    struct stat after;
    if (fstat(in, &after) != 0 || copied != st.st_size || after.st_size != st.st_size ||
        after.st_mtim.tv_sec != st.st_mtim.tv_sec || after.st_mtim.tv_nsec != st.st_mtim.tv_nsec)
        return ERROR_SHARING_VIOLATION;  // written to while it was copied
    if (DWORD e = copyAttributes(in, out, st))
        return e;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (futimens(out, times) != 0 || fsync(out) != 0)
        return errnoToError(errno, ERROR_GEN_FAILURE);
    struct stat written;
    if (fstat(out, &written) != 0 || written.st_size != st.st_size)
        return ERROR_GEN_FAILURE;
    return 0;
}

// True when `name` of dir is still the file that was copied.
bool sameEntry(int dir, const char* name, const struct stat& st) {
    struct stat now;
    return fstatat(dir, name, &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_ino == st.st_ino &&
           now.st_dev == st.st_dev;
}

// Copies the open file into toDir under a fresh temporary name and renames it to toName; on
// failure the temporary file is gone. 0 or the Win32 error.
DWORD placeCopy(const Device& device, int in, const struct stat& st, int toDir, const char* toName,
                std::u16string_view targetFolder) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string id = std::to_string(getpid()) + "-" + std::to_string(++g_moveSequence);
        std::string temporary = temporaryName(id);
        MoveRecord record(device.dir(), id,
                          std::u16string(targetFolder) + u"\\" + fromUtf8(temporary));
        Fd out(openat(toDir, temporary.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!out) {
            if (errno == EEXIST)
                continue;
            return errnoToError(errno);
        }
        DWORD e = writeCopy(in, st, out.get());
        if (!e && ::close(out.release()) != 0)
            e = errnoToError(errno, ERROR_GEN_FAILURE);
        if (!e && renameat2(toDir, temporary.c_str(), toDir, toName, RENAME_NOREPLACE) != 0)
            e = errno == EEXIST ? ERROR_ALREADY_EXISTS : errnoToError(errno);
        if (e) {
            unlinkat(toDir, temporary.c_str(), 0);
            return e;
        }
        fsync(toDir);  // the new name is on disk before the source goes
        return 0;
    }
    return ERROR_ALREADY_EXISTS;
}

}  // namespace

int copyData(int in, int out, off_t& copied) {
    constexpr size_t kChunk = 1 << 20;
    std::unique_ptr<char[]> buffer(new char[kChunk]);
    copied = 0;
    for (;;) {
        ssize_t n = read(in, buffer.get(), kChunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out, buffer.get() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return w < 0 ? errno : ENOSPC;
            done += w;
        }
        copied += n;
    }
}

DWORD moveFileAcross(const Device& device, int fromDir, const char* fromName, int toDir,
                     const char* toName, std::u16string_view targetFolder) {
    Fd in(openat(fromDir, fromName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!in)
        return errno == ELOOP ? ERROR_ACCESS_DENIED : errnoToError(errno);
    struct stat st;
    if (fstat(in.get(), &st) != 0)
        return errnoToError(errno);
    if (!S_ISREG(st.st_mode))
        return ERROR_ACCESS_DENIED;  // links and special files stay where they are
    if (DWORD e = checkRoom(toDir, st.st_size))
        return e;
    if (DWORD e = placeCopy(device, in.get(), st, toDir, toName, targetFolder))
        return e;
    // The copy is whole and in its place; now the source goes. Should another program have
    // removed or replaced it meanwhile, what is there now is not the file that moved: it stays,
    // and so does the copy. Should it refuse to go, the copy is taken back.
    if (!sameEntry(fromDir, fromName, st))
        return 0;
    if (unlinkat(fromDir, fromName, 0) != 0) {
        DWORD e = errnoToError(errno);
        unlinkat(toDir, toName, 0);
        return e;
    }
    return 0;
}

void removeAbandonedCopies(const Device& device) {
    fs::path folder = device.dir() / kMovesFolder;
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    std::unique_ptr<DIR, int (*)(DIR*)> d(fd < 0 ? nullptr : fdopendir(fd), closedir);
    if (!d) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    while (dirent* e = readdir(d.get())) {
        std::string id = e->d_name;
        if (id == "." || id == "..")
            continue;
        Fd record(openat(dirfd(d.get()), id.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!record || flock(record.get(), LOCK_EX | LOCK_NB) != 0)
            continue;  // its move is still running
        bool half = id.size() > 4 && id.compare(id.size() - 4, 4, ".new") == 0;
        char text[4096];
        ssize_t n = half ? 0 : read(record.get(), text, sizeof text);
        std::string path = n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
        if (!path.empty() && path.back() == '\n')
            path.pop_back();
        // Only the very file the record names, by its exact temporary name, is removed, and
        // only through a lookup on the device, which stays inside the image.
        Lookup r = path.empty() ? Lookup() : lookup(device, fromUtf8(path));
        std::string expected = "/" + temporaryName(id);
        if (!path.empty() && !r.error && !r.parentExists)
            continue;  // its folder is not there now (a card out): kept for a later opening
        if (!path.empty() && !r.error && r.exists && S_ISREG(r.st.st_mode) &&
            r.host.size() > expected.size() &&
            r.host.compare(r.host.size() - expected.size(), expected.size(), expected) == 0)
            unlink(r.host.c_str());
        unlinkat(dirfd(d.get()), id.c_str(), 0);
    }
}

}  // namespace ce::kernel
