// A small tmpfs for a test: another host file system, or a full one. It is mounted in a mount
// namespace of the test process's own, so nothing stays mounted whatever becomes of the process.
// Mounting needs root; without it the test is skipped and says why.
#pragma once

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace kt {

// Gives the process mount points of its own: "" once it has them, else why not. A device opened
// before this holds descriptors of the old mount tree, which never sees the mounts made after:
// call it before the device is opened.
inline const std::string& privateMounts() {
    static const std::string why = [] {
        if (unshare(CLONE_NEWNS) != 0)
            return std::string("no mount namespace of its own (root is needed): ") +
                   strerror(errno);
        if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("cannot make the mounts private: ") + strerror(errno);
        return std::string();
    }();
    return why;
}

class Tmpfs {
  public:
    // Mounts a tmpfs of `size` ("1m", "64k") on `where` (made if missing).
    Tmpfs(const std::filesystem::path& where, const std::string& size) : where_(where) {
        if (!privateMounts().empty()) {
            why_ = privateMounts();
            return;
        }
        std::filesystem::create_directories(where);
        std::string options = "size=" + size;
        if (mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            why_ = std::string("cannot mount a tmpfs: ") + strerror(errno);
            return;
        }
        mounted_ = true;
    }
    ~Tmpfs() {
        if (mounted_)
            umount2(where_.c_str(), MNT_DETACH);
    }
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; }

  private:
    std::filesystem::path where_;
    bool mounted_ = false;
    std::string why_;
};

}  // namespace kt

// Skips the test when the tmpfs could not be mounted.
#define KT_REQUIRE_MOUNTED(tmpfs)          \
    do {                                   \
        if (!(tmpfs).mounted())            \
            GTEST_SKIP() << (tmpfs).why(); \
    } while (0)
