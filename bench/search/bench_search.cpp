// Times the "Search Files" search for one extension over a whole device, with the insertion of
// every match into a sorted list box, against `find ROOT -iname '*.tmp'` on the same image.
//
//   bench_search [FILES] [--rounds N]   (FILES 10 to 10000000, default 100000 in FILES/10
//                                         folders, one in ten a .tmp; N 1 to 100, default 7)
//
// Each round times the search and find once each, taking turns as to which goes first; the
// verdict is the median of the rounds' ratios. Prints the peak memory (maximum resident set of
// the process, image generation included). Exit status 1 when the ratio is above 1.5 or the list
// does not hold every match, 2 for a bad argument. The temporary image is removed however the
// benchmark ends. Run it from a RelWithDebInfo or Release build: build/bin/bench_search
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
#include <vector>

#include "hostsupport.h"
#include "kernel/kernel.h"
#include "search/Search.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: bench_search [FILES] [--rounds N]   (FILES 10 to 10000000, default "
    "100000; N 1 to 100, default 7)\n";

void makeImage(const fs::path& root, long long files) {
    long long folders = (files + 9) / 10;
    for (long long d = 0; d < folders; d++) {
        fs::path folder =
            root / "Data" / ("set" + std::to_string(d / 100)) / ("item" + std::to_string(d));
        fs::create_directories(folder);
        for (long long f = 0; f < 10 && d * 10 + f < files; f++) {
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
    long long files = 100000, rounds = 7;
    int status = ce::host::readBenchArguments(argc, argv, "bench_search", kUsage, 10, 10000000,
                                              files, rounds);
    if (status >= 0)
        return status;
    try {
        ce::host::TempDir temp("bench_search");
        fs::path device = temp.path() / "device";
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
            CreateWindowExW(0, u"BenchSearchParent", u"Bench", WS_VISIBLE, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, NULL, NULL);
        HWND hwndList = CreateWindowExW(0, u"LISTBOX", u"", 0x50B0100B, 2, 304, 210, 90, hwndParent,
                                        (HMENU)50020, NULL, NULL);

        const long long expected = (files + 9) / 10;
        const std::vector<std::string> find = {"/usr/bin/find", (device / "root").string(),
                                               "-iname", "*.tmp"};
        ce::host::timeCommand(find);  // warm the caches
        std::vector<double> ratios;
        bool complete = true;
        for (long long r = 0; r < rounds; ++r) {
            auto [ours, theirs] = ce::host::pairedRound(
                r,
                [&] {
                    auto start = std::chrono::steady_clock::now();
                    SendMessageW(hwndList, LB_RESETCONTENT, 0, 0);
                    SearchFilesByExtension(hwndList, u"TMP", u"\\");
                    return seconds(std::chrono::steady_clock::now() - start);
                },
                [&] { return ce::host::timeCommand(find); });
            long long listed = SendMessageW(hwndList, LB_GETCOUNT, 0, 0);
            complete = complete && listed == expected;
            ratios.push_back(ours / theirs);
            printf(
                "round %lld: SearchFilesByExtension %.3f s (%lld listed), find -iname %.3f s, "
                "ratio %.2f\n",
                r + 1, ours, listed, theirs, ours / theirs);
        }
        struct rusage usage;
        getrusage(RUSAGE_SELF, &usage);
        double verdict = ce::host::median(ratios);
        printf(
            "files: %lld, matches: %lld\nmedian ratio: %.2f (target <= 1.50)\npeak memory: %ld "
            "KiB\n",
            files, expected, verdict, usage.ru_maxrss);
        if (!complete)
            printf("ERROR: the list does not hold every match\n");
        DestroyWindow(hwndParent);
        ce::Device::close();
        return complete && verdict <= 1.5 ? 0 : 1;
    } catch (const std::exception& e) {
        ce::Device::close();
        fprintf(stderr, "bench_search: %s\n", e.what());
        return 1;
    }
}
