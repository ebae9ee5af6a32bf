// Helpers for the kernel tests.
#pragma once

#include <windows.h>

#include "kernel/internal.h"
#include "kernel/kernel.h"
#include "testing/device.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <sys/xattr.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace kt {

inline void writeHost(const std::filesystem::path& p, const std::string& bytes) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
}

inline std::string readHost(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Entry {
    DWORD attributes;
    DWORD size;
};

// Every entry an enumeration yields, by name.
inline std::map<std::u16string, Entry> find(const std::u16string& pattern) {
    std::map<std::u16string, Entry> out;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    do {
        EXPECT_TRUE(out.emplace(fd.cFileName, Entry{fd.dwFileAttributes, fd.nFileSizeLow}).second)
            << "listed twice";
    } while (FindNextFileW(h, &fd));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    FindClose(h);
    return out;
}

inline std::vector<std::u16string> names(const std::u16string& pattern) {
    std::vector<std::u16string> out;
    for (const auto& [name, e] : find(pattern)) out.push_back(name);
    return out;
}

// Walks a folder tree as an application does: each entry in the enumeration's order, each
// subfolder enumerated while its parent's enumeration is still open; visit(path, isFolder) is
// called for a folder after its own entries.
template <class Visit>
void walk(const std::u16string& folder, Visit&& visit) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + u"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::u16string child = folder + fd.cFileName;
        bool isFolder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder)
            walk(child + u"\\", visit);
        visit(child, isFolder);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

// A recursive clean-up as an application writes it: delete every file, remove every folder.
inline void cleanTree(const std::u16string& folder) {
    walk(folder, [](const std::u16string& path, bool isFolder) {
        isFolder ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str());
    });
}

// Everything below a host folder, by relative path: kind, bytes and DOS attributes. Two
// snapshots are equal when nothing in the tree was added, removed or changed.
inline std::map<std::string, std::string> snapshot(const std::filesystem::path& dir) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); it != fs::end(it); it.increment(ec)) {
        const fs::path& p = it->path();
        std::string what;
        if (it->is_symlink())
            what = "link " + fs::read_symlink(p, ec).string();
        else if (it->is_directory())
            what = "folder";
        else
            what = "file " + readHost(p);
        char attrs[32] = {};
        if (lgetxattr(p.c_str(), "user.DOSATTRIB", attrs, sizeof attrs - 1) > 0)
            what += std::string(" attributes ") + attrs;
        out[fs::relative(p, dir).string()] = what;
    }
    return out;
}

inline std::string utf8(const std::u16string& s) {
    return ce::kernel::toUtf8(s);
}

// A host command's exit code and what it wrote (stdout and stderr together).
struct Result {
    int code;
    std::string out;
};

inline Result run(const std::string& command) {
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    Result r{-1, {}};
    if (!p)
        return r;
    char buf[512];
    while (fgets(buf, sizeof buf, p)) r.out += buf;
    int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

inline std::string shq(const std::filesystem::path& p) {
    return "'" + p.string() + "'";
}

}  // namespace kt
