// Keeping the registry on disk: registry.reg, the journal of the changes made since it was last
// written, and the lock the programs of one device share.
//
// registry.journal is text: a first line naming the registry.reg it extends (its size and
// CRC-32), then one entry per change, a line "; change LENGTH CRC" followed by LENGTH bytes of
// .reg sections. Entries are appended under the lock; a program killed in the middle of one
// leaves an entry that is too short or fails its checksum, and the next program to take the lock
// drops it. A journal whose first line names another registry.reg than the one on disk is left
// over from a fold that was interrupted after registry.reg was replaced (its changes are in the
// file already), or registry.reg was replaced since; it is dropped.
#include "internal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace ce::kernel {

namespace {

constexpr char kJournalHeader[] = "; registry journal 1, base ";  // then "SIZE CRC\n"
constexpr char kChangeMark[] = "; change ";                       // then "LENGTH CRC\n"
constexpr char kTempPrefix[] = "registry.reg.tmp.";
// The journal is folded into registry.reg once it is larger than this and than registry.reg.
constexpr off_t kFoldFrom = 256 * 1024;
// A change reaches the disk itself at once unless another did less than this long ago.
constexpr long long kSyncIntervalNs = 1000000000LL;
// Bytes of registry.lock: a change holds the first exclusively; every program that has the device
// open holds the second shared. They are open file description locks, owned by each open of the
// file, so that one program's two opens exclude each other as two programs' do.
constexpr off_t kChangeByte = 0;
constexpr off_t kOpenByte = 1;

bool lockByte(int fd, short type, off_t byte, bool wait) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = byte;
    fl.l_len = 1;
    while (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

uint32_t checksum(std::string_view s) {
    return static_cast<uint32_t>(
        crc32_z(crc32_z(0, nullptr, 0), reinterpret_cast<const Bytef*>(s.data()), s.size()));
}

long long nowNs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

std::string hex32(uint32_t n) {
    char text[12];
    snprintf(text, sizeof text, "%08x", n);
    return text;
}

// Everything from `from` to the end, read straight into out (sized once from the file's size).
bool readFd(int fd, off_t from, std::string& out) {
    struct stat st;
    out.clear();
    if (fstat(fd, &st) == 0 && st.st_size > from)
        out.resize(static_cast<size_t>(st.st_size - from));
    size_t done = 0;
    for (off_t at = from;;) {
        if (done == out.size())
            out.resize(done + 65536);  // the file grew meanwhile
        ssize_t n = pread(fd, out.data() + done, out.size() - done, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            out.resize(done);
            return true;
        }
        done += static_cast<size_t>(n);
        at += n;
    }
}

bool writeFd(int fd, std::string_view data, off_t at) {
    while (!data.empty()) {
        ssize_t n = pwrite(fd, data.data(), data.size(), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<size_t>(n));
        at += n;
    }
    return true;
}

// Opens a file of the device folder that must be a plain file: a FIFO or device node there would
// block or mislead every program of the device, so it is refused (errno EINVAL) without waiting.
int openPlain(const std::filesystem::path& file, int flags, mode_t mode = 0) {
    int fd = ::open(file.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode);
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

// "cannot read FILE: why", "cannot write FILE: why", for errno `code`.
std::string failure(const char* what, const std::filesystem::path& file, int code) {
    return std::string(what) + " " + file.string() + ": " +
           (code == EINVAL ? "not a plain file" : strerror(code));
}

bool syncFolder(const std::filesystem::path& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// "SIZE CRC" or "LENGTH CRC" after a mark at the start of line.
bool parseNumbers(std::string_view line, std::string_view mark, unsigned long long& size,
                  uint32_t& crc) {
    if (line.substr(0, mark.size()) != mark)
        return false;
    std::string rest(line.substr(mark.size()));
    char* end = nullptr;
    errno = 0;
    size = strtoull(rest.c_str(), &end, 10);
    if (errno || end == rest.c_str() || *end != ' ' || !isdigit(static_cast<uint8_t>(rest[0])))
        return false;
    const char* hex = end + 1;
    unsigned long value = strtoul(hex, &end, 16);
    if (errno || end - hex != 8 || *end || value > 0xFFFFFFFFul)
        return false;
    crc = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

bool replaceFile(const std::filesystem::path& file, std::string_view text, std::string* error) {
    std::filesystem::path tmp = file;
    tmp += ".tmp." + std::to_string(getpid());
    unlink(tmp.c_str());  // made afresh: never written through a link planted there
    int fd = openPlain(tmp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0644);
    bool ok = fd >= 0 && writeFd(fd, text, 0) && fdatasync(fd) == 0;
    int saved = errno;
    if (fd >= 0 && ::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && rename(tmp.c_str(), file.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        unlink(tmp.c_str());
        if (error)
            *error = failure("cannot write", file, saved);
        return false;
    }
    syncFolder(file.parent_path());
    return true;
}

// The exclusive lock on the first byte of registry.lock, for as long as it lives.
class Registry::ChangeLock {
  public:
    explicit ChangeLock(const std::filesystem::path& file) {
        fd_ = openPlain(file, O_RDWR | O_CREAT | O_NOFOLLOW, 0644);
        if (fd_ >= 0)
            lockByte(fd_, F_WRLCK, kChangeByte, true);
    }
    ~ChangeLock() {
        if (fd_ >= 0)
            ::close(fd_);  // closing the open file description releases its lock
    }
    ChangeLock(const ChangeLock&) = delete;
    ChangeLock& operator=(const ChangeLock&) = delete;

  private:
    int fd_ = -1;
};

namespace {

Registry::FileId idOf(const struct stat& st) {
    Registry::FileId id;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return id;
}

Registry::FileId idOf(const std::filesystem::path& file) {
    struct stat st;
    return stat(file.c_str(), &st) == 0 ? idOf(st) : Registry::FileId();
}

}  // namespace

void Registry::logFailure(const std::string& what) const {
    appendLog(dir_, what);
}

void Registry::attach(const std::filesystem::path& deviceDir) {
    std::lock_guard lock(mutex_);
    dir_ = deviceDir;
    file_ = deviceDir / "registry.reg";
    journal_ = deviceDir / "registry.journal";
    lockFile_ = deviceDir / "registry.lock";
    owner_ = getpid();
    lastSyncNs_ = 0;
    openLockFd_ = openPlain(lockFile_, O_RDWR | O_CREAT | O_NOFOLLOW, 0644);
    if (openLockFd_ >= 0)
        lockByte(openLockFd_, F_RDLCK, kOpenByte, true);
    ChangeLock change(lockFile_);
    removeLeftovers();
    std::string error;
    if (!refreshLocked(&error)) {
        if (openLockFd_ >= 0)
            ::close(openLockFd_);
        openLockFd_ = -1;
        dir_.clear();
        throw DeviceError(error);
    }
    if (journalEnd_ > 0 && aloneLocked() && !foldLocked(&error))
        logFailure("registry.reg not rewritten: " + error);
}

Registry::~Registry() {
    try {
        std::lock_guard lock(mutex_);
        if (!dir_.empty() && owner_ == getpid()) {
            ChangeLock change(lockFile_);
            std::string error;
            if (refreshLocked(&error) && journalEnd_ > 0) {
                if (!aloneLocked())
                    syncLocked();
                else if (!foldLocked(&error))
                    logFailure("registry.reg not rewritten: " + error);
            }
            // Leaving before the change lock goes: of two programs closing at once, the second
            // then finds itself alone and folds.
            if (openLockFd_ >= 0)
                ::close(openLockFd_);
            openLockFd_ = -1;
        }
    } catch (...) {
        // a destructor reports nothing more; the journal keeps every change
    }
    // A forked child closes its copies only: the descriptions and their locks stay its parent's.
    if (journalFd_ >= 0)
        ::close(journalFd_);
    if (openLockFd_ >= 0)
        ::close(openLockFd_);
}

void Registry::removeLeftovers() {
    DIR* d = opendir(dir_.c_str());
    if (!d)
        return;
    while (struct dirent* e = readdir(d)) {
        if (strncmp(e->d_name, kTempPrefix, sizeof kTempPrefix - 1) != 0)
            continue;
        // written only under the lock we hold: whoever wrote it ended in the middle
        if (unlinkat(dirfd(d), e->d_name, 0) == 0)
            logFailure(std::string("registry: removed ") + e->d_name +
                       ", left by a program that ended while writing it");
    }
    closedir(d);
}

bool Registry::changedOnDisk() const {
    if (!(idOf(file_) == loaded_))
        return true;
    struct stat st;
    if (stat(journal_.c_str(), &st) != 0)
        return journalFd_ >= 0;
    return journalFd_ < 0 || st.st_ino != journalId_.ino || st.st_dev != journalId_.dev ||
           st.st_size != journalEnd_;
}

bool Registry::refreshLocked(std::string* error) {
    if (!(idOf(file_) == loaded_))
        return reloadLocked(error);
    return readJournalLocked(error);
}

bool Registry::reloadLocked(std::string* error) {
    std::string text;
    FileId id;
    int fd = openPlain(file_, O_RDONLY);
    if (fd < 0 && errno != ENOENT) {
        if (error)
            *error = failure("cannot read", file_, errno);
        return false;
    }
    RegRoots fresh;
    if (fd >= 0) {  // no file: an empty registry
        struct stat st;
        bool read = fstat(fd, &st) == 0 && readFd(fd, 0, text);
        int saved = errno;
        ::close(fd);
        if (!read) {
            if (error)
                *error = failure("cannot read", file_, saved);
            return false;
        }
        id = idOf(st);
        RegParseError pe;
        if (!parseReg(text, fresh, pe)) {
            if (error)
                *error = "corrupt registry " + file_.string() + ", line " +
                         std::to_string(pe.line) + ": " + pe.message;
            return false;
        }
    }
    roots_ = std::move(fresh);
    loaded_ = id;
    loadedCrc_ = checksum(text);
    if (journalFd_ >= 0)
        ::close(journalFd_);
    journalFd_ = -1;
    journalId_ = FileId();
    journalEnd_ = 0;
    return readJournalLocked(error);
}

bool Registry::readJournalLocked(std::string* error) {
    struct stat st;
    if (stat(journal_.c_str(), &st) != 0) {
        // gone: folded (registry.reg was replaced too) or removed; registry.reg is the truth
        return journalFd_ < 0 || reloadLocked(error);
    }
    if (journalFd_ >= 0 &&
        (st.st_ino != journalId_.ino || st.st_dev != journalId_.dev || st.st_size < journalEnd_))
        return reloadLocked(error);  // another journal, or one cut short: start over
    if (journalFd_ < 0) {
        journalFd_ = openPlain(journal_, O_RDWR | O_NOFOLLOW);
        if (journalFd_ < 0) {
            if (error)
                *error = failure("cannot read", journal_, errno);
            return false;
        }
        fstat(journalFd_, &st);
        journalId_ = idOf(st);
        journalEnd_ = 0;
        journalLines_ = 0;
    }
    if (st.st_size == journalEnd_)
        return true;
    std::string bytes;
    if (!readFd(journalFd_, journalEnd_, bytes)) {
        if (error)
            *error = failure("cannot read", journal_, errno);
        return false;
    }
    size_t used = 0;
    if (journalEnd_ == 0) {
        switch (readJournalHeader(bytes, used, error)) {
            case Header::Good:
                break;
            case Header::Stale:
                dropJournal("registry journal dropped: it belongs to an earlier registry.reg");
                return true;
            case Header::Unfinished:
                dropJournal("");
                return true;
            case Header::Foreign:
                return false;
        }
    }
    used += applyJournalEntries(std::string_view(bytes).substr(used));
    journalEnd_ += static_cast<off_t>(used);
    if (used < bytes.size()) {
        // under the lock nobody is writing: the rest is what a program killed in the middle of a
        // change left
        if (ftruncate(journalFd_, journalEnd_) == 0)
            logFailure("registry journal: dropped an unfinished change (" +
                       std::to_string(bytes.size() - used) +
                       " bytes) of a program that ended in the middle of it");
    }
    journalId_.size = journalEnd_;
    return true;
}

Registry::Header Registry::readJournalHeader(std::string_view bytes, size_t& used,
                                             std::string* error) {
    size_t end = bytes.find('\n');
    std::string_view header = kJournalHeader;
    if (end == std::string_view::npos) {
        // a program killed while writing the journal's first change, or not a journal at all
        bool prefix = bytes.size() <= header.size() ? header.substr(0, bytes.size()) == bytes
                                                    : bytes.substr(0, header.size()) == header;
        if (prefix)
            return Header::Unfinished;
        end = bytes.size();
    }
    unsigned long long size = 0;
    uint32_t crc = 0;
    if (!parseNumbers(bytes.substr(0, end), header, size, crc)) {
        if (error)
            *error = journal_.string() +
                     ", line 1: not a registry journal (move it away to open the device)";
        return Header::Foreign;
    }
    used = end + 1;
    journalLines_ = 1;
    bool same = size == static_cast<unsigned long long>(std::max<off_t>(loaded_.size, 0)) &&
                crc == loadedCrc_;
    return same ? Header::Good : Header::Stale;
}

size_t Registry::applyJournalEntries(std::string_view entries) {
    size_t pos = 0;
    while (true) {
        size_t end = entries.find('\n', pos);
        if (end == std::string_view::npos)
            break;
        unsigned long long length = 0;
        uint32_t crc = 0;
        if (!parseNumbers(entries.substr(pos, end - pos), kChangeMark, length, crc))
            break;
        size_t body = end + 1;
        if (length > entries.size() - body)
            break;
        std::string_view change = entries.substr(body, static_cast<size_t>(length));
        if (checksum(change) != crc)
            break;
        RegParseError pe;
        if (!applyReg(change, roots_, pe, journalLines_ + 2))
            logFailure("registry journal, line " + std::to_string(pe.line) +
                       ": change not applied: " + pe.message);
        journalLines_ += 1 + static_cast<int>(std::count(change.begin(), change.end(), '\n'));
        pos = body + change.size();
    }
    return pos;
}

void Registry::dropJournal(const std::string& why) {
    if (journalFd_ >= 0)
        ::close(journalFd_);
    journalFd_ = -1;
    journalId_ = FileId();
    journalEnd_ = 0;
    journalLines_ = 0;
    unsynced_ = false;
    if (unlink(journal_.c_str()) == 0 && !why.empty())
        logFailure(why);
}

bool Registry::appendLocked(const std::string& change, std::string* error) {
    std::string entry;
    if (journalFd_ < 0) {
        journalFd_ = openPlain(journal_, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0644);
        struct stat st;
        if (journalFd_ < 0 || fstat(journalFd_, &st) != 0) {
            if (error)
                *error = failure("cannot write", journal_, errno);
            dropJournal("");
            return false;
        }
        journalId_ = idOf(st);
        journalEnd_ = 0;
    }
    // A journal begins with the registry.reg it extends; one left empty by a program killed
    // right after making it gets its first line now.
    bool created = journalEnd_ == 0;
    if (created) {
        journalLines_ = 0;
        entry = kJournalHeader + std::to_string(std::max<off_t>(loaded_.size, 0)) + " " +
                hex32(loadedCrc_) + "\n";
    }
    entry += kChangeMark + std::to_string(change.size()) + " " + hex32(checksum(change)) + "\n";
    entry += change;
    if (!writeFd(journalFd_, entry, journalEnd_)) {
        if (error)
            *error = failure("cannot write", journal_, errno);
        if (created)
            dropJournal("");
        else if (ftruncate(journalFd_, journalEnd_) != 0)
            journalId_ = FileId();  // read again from the start next time
        return false;
    }
    journalEnd_ += static_cast<off_t>(entry.size());
    journalId_.size = journalEnd_;
    journalLines_ += static_cast<int>(std::count(entry.begin(), entry.end(), '\n'));
    unsynced_ = true;
    folderUnsynced_ = folderUnsynced_ || created;
    if (nowNs() - lastSyncNs_ >= kSyncIntervalNs)
        syncLocked();
    return true;
}

void Registry::syncLocked() {
    if (journalFd_ >= 0) {
        fdatasync(journalFd_);
        if (folderUnsynced_)
            syncFolder(dir_);
    }
    folderUnsynced_ = false;
    unsynced_ = false;
    lastSyncNs_ = nowNs();
}

bool Registry::foldLocked(std::string* error) {
    std::string text = formatReg(roots_);
    RegRoots check;
    RegParseError pe;
    if (!parseReg(text, check, pe)) {
        // never expected: the journal keeps the changes and the old file stays
        if (error)
            *error = "its new text does not read back (line " + std::to_string(pe.line) + ": " +
                     pe.message + ")";
        return false;
    }
    if (!replaceFile(file_, text, error))
        return false;
    loaded_ = idOf(file_);
    loadedCrc_ = checksum(text);
    dropJournal("");
    return true;
}

bool Registry::aloneLocked() {
    if (openLockFd_ < 0 || owner_ != getpid())
        return false;
    if (!lockByte(openLockFd_, F_WRLCK, kOpenByte, false))
        return false;
    lockByte(openLockFd_, F_RDLCK, kOpenByte, true);  // back to shared, in one step
    return true;
}

LONG Registry::read(const std::function<LONG(const RegRoots&)>& fn) {
    std::lock_guard lock(mutex_);
    if (changedOnDisk()) {
        ChangeLock change(lockFile_);
        refreshLocked(nullptr);  // an unreadable file leaves the last good tree in use
    }
    return fn(roots_);
}

LONG Registry::write(const std::function<LONG(const RegRoots&, std::string&)>& fn) {
    std::lock_guard lock(mutex_);
    ChangeLock changeLock(lockFile_);
    std::string error;
    if (!refreshLocked(&error)) {
        logFailure("registry not written: " + error);
        return ERROR_REGISTRY_CORRUPT;
    }
    std::string change;
    LONG result = fn(roots_, change);
    if (result != ERROR_SUCCESS || change.empty())
        return result;
    RegParseError pe;
    bool applied = applyReg(change, roots_, pe);
    if (!applied || !appendLocked(change, &error)) {
        // what is on disk stays the truth
        logFailure("registry not written: " + (applied ? error : "bad change: " + pe.message));
        loaded_ = FileId();
        refreshLocked(nullptr);
        return applied ? ERROR_REGISTRY_IO_FAILED : ERROR_INVALID_PARAMETER;
    }
    if (journalEnd_ > std::max(kFoldFrom, loaded_.size) && !foldLocked(&error))
        logFailure("registry.reg not rewritten: " + error);
    return ERROR_SUCCESS;
}

void Registry::sync() {
    std::lock_guard lock(mutex_);
    if (changedOnDisk()) {
        ChangeLock change(lockFile_);
        refreshLocked(nullptr);
    }
    syncLocked();
}

void Registry::fold() {
    std::lock_guard lock(mutex_);
    if (dir_.empty())
        return;
    ChangeLock change(lockFile_);
    std::string error;
    if (refreshLocked(&error) && journalEnd_ > 0 && !foldLocked(&error))
        logFailure("registry.reg not rewritten: " + error);
}

std::string Registry::text() {
    std::string out;
    read([&](const RegRoots& roots) {
        out = formatReg(roots);
        return ERROR_SUCCESS;
    });
    return out;
}

void Registry::restore(const std::filesystem::path& deviceDir,
                       const std::filesystem::path& source) {
    ChangeLock change(deviceDir / "registry.lock");
    std::string text;
    int fd = openPlain(source, O_RDONLY);
    bool read = fd >= 0 && readFd(fd, 0, text);
    int saved = errno;
    if (fd >= 0)
        ::close(fd);
    if (!read)
        throw DeviceError(failure("cannot read", source, saved));
    std::string error;
    if (!replaceFile(deviceDir / "registry.reg", text, &error))
        throw DeviceError(error);
    unlink((deviceDir / "registry.journal").c_str());
}

}  // namespace ce::kernel
