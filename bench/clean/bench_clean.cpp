// Times the Apply pass's recursive delete (DeleteFolderContents, subfolders removed) on a tree of
// many small files against `rm -rf` of an identical copy of the tree.
//
//   bench_clean [FILES] [--rounds N]    (FILES 10 to 10000000, default 100000, 10 per folder;
//                                         N 1 to 100 rounds, default 5)
//
// Each round makes the tree and its copy afresh and times both deletes, taking turns as to which
// goes first, so that whatever else the machine does falls on both alike; the verdict is the
// median of the rounds' ratios. Exit status 1 when it is above 1.5 or a tree was not emptied, 2
// for a bad argument. The temporary trees are removed however the benchmark ends. Run it from a
// RelWithDebInfo or Release build: build/bin/bench_clean
#include <windows.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hostsupport.h"
#include "kernel/kernel.h"
#include "tweaks/Apply.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: bench_clean [FILES] [--rounds N]   (FILES 10 to 10000000, default "
    "100000; N 1 to 100, default 5)\n";

// FILES files of 64 bytes, 10 to a folder, the folders 100 to a parent: a tree shaped like a
// cache that grew for a long time.
void makeTree(const fs::path& top, long long files) {
    std::string content(64, 'x');
    long long folders = (files + 9) / 10;
    for (long long d = 0; d < folders; d++) {
        fs::path folder = top / ("group" + std::to_string(d / 100)) / ("cache" + std::to_string(d));
        fs::create_directories(folder);
        for (long long f = 0; f < 10 && d * 10 + f < files; f++)
            std::ofstream(folder / ("entry" + std::to_string(f) + ".dat")) << content;
    }
}

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

bool isEmpty(const fs::path& p) {
    std::error_code ec;
    return fs::is_empty(p, ec) && !ec;
}

}  // namespace

int main(int argc, char** argv) {
    long long files = 100000, rounds = 5;
    int status = ce::host::readBenchArguments(argc, argv, "bench_clean", kUsage, 10, 10000000,
                                              files, rounds);
    if (status >= 0)
        return status;
    try {
        ce::host::TempDir temp("bench_clean");
        fs::path device = temp.path() / "device", copy = temp.path() / "copy";
        fs::path tree = device / "root" / "BenchClean";
        ce::kernel::createImage(device, ce::kernel::ImageContents::Empty);
        ce::Device::open(device);
        std::vector<double> ratios;
        bool emptied = true;
        for (long long r = 0; r < rounds; ++r) {
            makeTree(tree, files);
            ce::host::timeCommand({"/bin/cp", "-a", tree.string(), copy.string()});
            // Each delete starts from the same state: everything written so far is on the disk,
            // so neither waits for the writeback of the files just made.
            auto [ours, theirs] = ce::host::pairedRound(
                r,
                [&] {
                    sync();
                    auto start = std::chrono::steady_clock::now();
                    DeleteFolderContents(u"\\BenchClean\\", TRUE);
                    return seconds(std::chrono::steady_clock::now() - start);
                },
                [&] {
                    sync();
                    return ce::host::timeCommand({"/bin/rm", "-rf", copy.string()});
                });
            emptied = emptied && isEmpty(tree);
            ratios.push_back(ours / theirs);
            printf("round %lld: DeleteFolderContents %.3f s, rm -rf %.3f s, ratio %.2f\n", r + 1,
                   ours, theirs, ours / theirs);
        }
        ce::Device::close();
        double verdict = ce::host::median(ratios);
        printf("files: %lld, %lld rounds, %ld bytes counted\nmedian ratio: %.2f (target <= 1.50)\n",
               files, rounds, static_cast<long>(g_bytesCleaned), verdict);
        if (!emptied)
            printf("ERROR: the tree was not emptied\n");
        return emptied && verdict <= 1.5 ? 0 : 1;
    } catch (const std::exception& e) {
        ce::Device::close();
        fprintf(stderr, "bench_clean: %s\n", e.what());
        return 1;
    }
}
