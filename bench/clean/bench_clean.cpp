// Times the Apply pass's recursive delete (DeleteFolderContents, subfolders removed) on a tree of
// many small files against `rm -rf` of an identical copy of the tree, in the same run.
//
//   bench_clean [FILES]      (default 100000 files, 10 per folder)
//
// Prints both times and their ratio; exit status 1 when the ratio is above 1.5. Run it from a
// RelWithDebInfo or Release build: build/bin/bench_clean
#include <windows.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "kernel/kernel.h"
#include "tweaks/Apply.h"

namespace fs = std::filesystem;

namespace {

// FILES files of 64 bytes, 10 to a folder, the folders 100 to a parent: a tree shaped like a
// cache that grew for a long time.
void makeTree(const fs::path& top, int files) {
    std::string content(64, 'x');
    int folders = (files + 9) / 10;
    for (int d = 0; d < folders; d++) {
        fs::path folder = top / ("group" + std::to_string(d / 100)) / ("cache" + std::to_string(d));
        fs::create_directories(folder);
        for (int f = 0; f < 10 && d * 10 + f < files; f++)
            std::ofstream(folder / ("entry" + std::to_string(f) + ".dat")) << content;
    }
}

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    int files = argc > 1 ? std::atoi(argv[1]) : 100000;
    fs::path base = fs::temp_directory_path() / ("bench_clean." + std::to_string(getpid()));
    fs::path device = base / "device";
    fs::path copy = base / "copy";
    ce::kernel::createImage(device, ce::kernel::ImageContents::Empty);
    ce::Device::open(device);

    makeTree(device / "root" / "BenchClean", files);
    std::system(
        ("cp -a '" + (device / "root" / "BenchClean").string() + "' '" + copy.string() + "'")
            .c_str());

    // Both deletes start from the same state: everything written so far is on the disk. Without
    // this, whichever runs first also waits for the writeback of the 200,000 files just made.
    sync();
    auto t0 = std::chrono::steady_clock::now();
    DeleteFolderContents(u"\\BenchClean\\", TRUE);
    auto t1 = std::chrono::steady_clock::now();
    sync();
    auto t1b = std::chrono::steady_clock::now();
    std::system(("rm -rf '" + copy.string() + "'").c_str());
    auto t2 = std::chrono::steady_clock::now();

    bool emptied = fs::is_empty(device / "root" / "BenchClean");
    double ours = seconds(t1 - t0), theirs = seconds(t2 - t1b);
    std::printf(
        "files: %d\nDeleteFolderContents: %.3f s (%ld bytes counted)\nrm -rf: %.3f s\n"
        "ratio: %.2f (target <= 1.50)\n",
        files, ours, (long)g_bytesCleaned, theirs, ours / theirs);
    if (!emptied)
        std::printf("ERROR: the tree was not emptied\n");

    ce::Device::close();
    fs::remove_all(base);
    return (emptied && ours <= 1.5 * theirs) ? 0 : 1;
}
