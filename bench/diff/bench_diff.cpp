// Times `cedevice diff` of a large device image against `find` listing the same image.
//
//   bench_diff [FILES] [--rounds N]     (default 100000 files in FILES/10 folders, 7 rounds)
//
// imagegen (beside this program) writes the image into a temporary folder; a snapshot is taken;
// then the device changes as a clean-up would change it: every 50th file deleted, one folder of
// files moved, a registry value rewritten. Each round times `find ROOT` and `cedevice diff DIR`
// once each, taking turns as to which goes first, so that whatever else the machine does falls
// on both alike; the verdict is the median of the rounds' ratios. Exit status 1 when it is above
// 2 or the diff does not report the changes made; 2 for a bad argument. The temporary image is
// removed however the benchmark ends. Run it from a RelWithDebInfo or Release build.
#include <windows.h>

#include "hostsupport.h"
#include "kernel/kernel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: bench_diff [FILES] [--rounds N]   (FILES 100 to 10000000, default "
    "100000; N 1 to 100, default 7)\n";

// Changes what a clean-up would: returns the number of files deleted.
long changeDevice(const fs::path& dir) {
    ce::Device::open(dir);
    long deleted = 0;
    WIN32_FIND_DATAW fd;
    std::vector<std::u16string> folders{u"\\Bench"};
    for (size_t i = 0; i < folders.size(); ++i) {
        HANDLE h = FindFirstFileW((folders[i] + u"\\*").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE)
            continue;
        long n = 0;
        std::vector<std::u16string> doomed;
        do {
            std::u16string path = folders[i] + u"\\" + fd.cFileName;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                folders.push_back(path);
            else if (n++ % 50 == 0)
                doomed.push_back(path);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
        for (const auto& p : doomed) deleted += DeleteFileW(p.c_str()) ? 1 : 0;
    }
    CreateDirectoryW(u"\\Moved", nullptr);
    MoveFileW(u"\\Bench\\Group9\\Set9", u"\\Moved\\Set9");
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"System\\GWE", 0, 0, &key) == ERROR_SUCCESS) {
        DWORD zero = 0;
        RegSetValueExW(key, u"Animate", 0, REG_DWORD, reinterpret_cast<BYTE*>(&zero), 4);
        RegCloseKey(key);
    }
    ce::Device::close();
    return deleted;
}

// The diff's JSON, to check that it tells what was changed.
std::string diffJson(const std::string& cedevice, const fs::path& dir) {
    fs::path out = dir.parent_path() / "diff.json";
    pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(out.c_str(), "w", stdout))
            _exit(127);
        execl(cedevice.c_str(), cedevice.c_str(), "diff", dir.c_str(), "--json",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    FILE* f = fopen(out.c_str(), "r");
    std::string text;
    char buf[4096];
    for (size_t n; f && (n = fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    if (f)
        fclose(f);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    long long files = 100000, rounds = 7;
    int status = ce::host::readBenchArguments(argc, argv, "bench_diff", kUsage, 100, 10000000,
                                              files, rounds);
    if (status >= 0)
        return status;
    try {
        fs::path bin = ce::host::programFolder();
        std::string imagegen = (bin / "imagegen").string(), cedevice = (bin / "cedevice").string();
        ce::host::TempDir temp("bench_diff");
        fs::path dir = temp.path() / "device";
        std::string root = (dir / "root").string();
        ce::host::timeCommand({imagegen, dir.string(), "--files", std::to_string(files),
                               "--folders", std::to_string(std::max(1LL, files / 10)),
                               "--factory"});
        ce::host::timeCommand({cedevice, "snapshot", dir.string()});
        long deleted = changeDevice(dir);
        std::string json = diffJson(cedevice, dir);
        bool told =
            json.find("\"filesDeleted\": " + std::to_string(deleted) + ",") != std::string::npos &&
            json.find("\"from\": \"\\\\Bench\\\\Group9\\\\Set9\"") != std::string::npos &&
            json.find("\"valuesChanged\": 1}") != std::string::npos;

        ce::host::timeCommand({"/usr/bin/find", root});  // warm the caches
        std::vector<double> ratios;
        double findTotal = 0, diffTotal = 0;
        for (long long r = 0; r < rounds; ++r) {
            auto [d, f] = ce::host::pairedRound(
                r,
                [&] {
                    return ce::host::timeCommand({cedevice, "diff", dir.string()});
                },
                [&] {
                    return ce::host::timeCommand({"/usr/bin/find", root});
                });
            ratios.push_back(d / f);
            findTotal += f;
            diffTotal += d;
            printf("round %lld: find %.3f s, cedevice diff %.3f s, ratio %.2f\n", r + 1, f, d,
                   d / f);
        }
        double verdict = ce::host::median(ratios);
        printf("files: %lld, %ld deleted and a folder moved since the snapshot\n", files, deleted);
        printf("mean: find %.3f s, cedevice diff %.3f s\n", findTotal / static_cast<double>(rounds),
               diffTotal / static_cast<double>(rounds));
        printf("median ratio: %.2f (target <= 2.00)\n", verdict);
        if (!told)
            printf("ERROR: the diff does not report the changes made; it says:\n%s",
                   json.substr(json.find("\"totals\"")).c_str());
        return told && verdict <= 2.0 ? 0 : 1;
    } catch (const std::exception& e) {
        fprintf(stderr, "bench_diff: %s\n", e.what());
        return 1;
    }
}
