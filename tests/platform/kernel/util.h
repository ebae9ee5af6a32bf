// Helpers for the kernel tests.
#pragma once

#include <windows.h>

#include "kernel/internal.h"
#include "kernel/kernel.h"
#include "testing/device.h"

#include <gtest/gtest.h>

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

inline std::string utf8(const std::u16string& s) {
    return ce::kernel::toUtf8(s);
}

}  // namespace kt
