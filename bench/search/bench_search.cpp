// Times the "Search Files" search for one extension over a whole device, with the insertion of
// every match into a sorted list box, against `find ROOT -iname '*.tmp'` on the same image.
//
//   bench_search [FILES]     (default 100000 files in 10000 folders, one in ten a .tmp)
//
// Prints both times, their ratio and the peak memory (maximum resident set of the process, image
// generation included); exit status 1 when the ratio is above 1.5 or the list does not hold every
// match. Run it from a RelWithDebInfo or Release build: build/bin/bench_search
#include <windows.h>
#include <commctrl.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "kernel/kernel.h"
#include "search/Search.h"

namespace fs = std::filesystem;

namespace {

void makeImage(const fs::path& root, int files) {
    int folders = (files + 9) / 10;
    for (int d = 0; d < folders; d++) {
        fs::path folder =
            root / "Data" / ("set" + std::to_string(d / 100)) / ("item" + std::to_string(d));
        fs::create_directories(folder);
        for (int f = 0; f < 10 && d * 10 + f < files; f++) {
            const char* ext = f == 0 ? ".tmp" : (f == 1 ? ".txt" : ".dat");
            std::ofstream(folder / ("file" + std::to_string(f) + ext)) << "data";
        }
    }
}

double seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    int files = argc > 1 ? std::atoi(argv[1]) : 100000;
    fs::path device = fs::temp_directory_path() / ("bench_search." + std::to_string(getpid()));
    ce::kernel::createImage(device, ce::kernel::ImageContents::Empty);
    ce::Device::open(device);
    makeImage(device / "root", files);

    // the list box of "Search Files", a child of a top-level window as on the screen
    InitCommonControls();
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"BenchSearchParent";
    RegisterClassW(&wc);
    HWND hwndParent =
        CreateWindowExW(0, u"BenchSearchParent", u"Bench", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, NULL, NULL);
    HWND hwndList = CreateWindowExW(0, u"LISTBOX", u"", 0x50B0100B, 2, 304, 210, 90, hwndParent,
                                    (HMENU)50020, NULL, NULL);

    auto t0 = std::chrono::steady_clock::now();
    SendMessageW(hwndList, LB_RESETCONTENT, 0, 0);
    SearchFilesByExtension(hwndList, u"TMP", u"\\");
    auto t1 = std::chrono::steady_clock::now();
    std::system(("find '" + (device / "root").string() + "' -iname '*.tmp' > /dev/null").c_str());
    auto t2 = std::chrono::steady_clock::now();

    long listed = (long)SendMessageW(hwndList, LB_GETCOUNT, 0, 0);
    long expected = (files + 9) / 10;
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    double ours = seconds(t1 - t0), theirs = seconds(t2 - t1);
    std::printf(
        "files: %d, matches listed: %ld of %ld\nSearchFilesByExtension: %.3f s\n"
        "find -iname: %.3f s\nratio: %.2f (target <= 1.50)\npeak memory: %ld KiB\n",
        files, listed, expected, ours, theirs, ours / theirs, usage.ru_maxrss);

    DestroyWindow(hwndParent);
    ce::Device::close();
    fs::remove_all(device);
    return (listed == expected && ours <= 1.5 * theirs) ? 0 : 1;
}
