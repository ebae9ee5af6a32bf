// The device's count of folder changes, and the table of folders held by open enumerations.
#include "internal.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

namespace ce::kernel {

namespace {

// Maps the first eight bytes of DEVICE/changes (made when missing); nullptr when that fails.
uint64_t* mapCounter(const std::filesystem::path& deviceDir) {
    int fd =
        ::open((deviceDir / "changes").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return nullptr;
    // The bytes are given room on the disk before they are mapped: a page of a file that could
    // not get its room (a full disk) would end the program with SIGBUS at its first use.
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        posix_fallocate(fd, 0, sizeof(uint64_t)) != 0) {
        ::close(fd);
        return nullptr;
    }
    void* p = mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    return p == MAP_FAILED ? nullptr : static_cast<uint64_t*>(p);
}

static_assert(std::atomic_ref<uint64_t>::is_always_lock_free,
              "the count is shared between processes");

}  // namespace

ChangeCounter::~ChangeCounter() {
    if (value_)
        munmap(value_, sizeof(uint64_t));
}

void ChangeCounter::attach(const std::filesystem::path& deviceDir) {
    if (value_)
        munmap(value_, sizeof(uint64_t));
    value_ = mapCounter(deviceDir);
}

uint64_t ChangeCounter::value() const {
    return value_ ? std::atomic_ref<uint64_t>(*value_).load(std::memory_order_acquire) : 0;
}

void ChangeCounter::bump() {
    if (value_)
        std::atomic_ref<uint64_t>(*value_).fetch_add(1, std::memory_order_acq_rel);
}

void noteFolderChange(const std::filesystem::path& deviceDir) {
    ChangeCounter counter;
    counter.attach(deviceDir);
    counter.bump();
}

void OpenFolders::add(const void* owner, std::string folderRel, int fd, uint64_t changes) {
    std::lock_guard lock(mutex_);
    entries_.push_back(Entry{owner, std::move(folderRel), fd, changes});
}

void OpenFolders::remove(const void* owner) {
    std::lock_guard lock(mutex_);
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& e) { return e.owner == owner; }),
                   entries_.end());
}

}  // namespace ce::kernel
