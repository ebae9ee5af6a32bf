// walkbench: walks a whole device image with FindFirstFileW/FindNextFileW the way an
// application does (a "%s\*" pattern per folder, child paths built into 1024-unit buffers)
// and prints the counts and the time taken.
//   walkbench DIR [--repeat N]
#include <strsafe.h>
#include <windows.h>

#include "hostsupport.h"
#include "kernel/kernel.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

struct Totals {
    long files = 0;
    long folders = 0;
    unsigned long long bytes = 0;
};

void walk(const WCHAR* folder, Totals& totals) {
    WCHAR pattern[1024];
    bool root = folder[0] == u'\\' && folder[1] == 0;
    if (FAILED(StringCchPrintfW(pattern, 1024, root ? u"%s*" : u"%s\\*", folder)))
        return;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    WCHAR child[1024];
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ++totals.folders;
            if (SUCCEEDED(StringCchPrintfW(child, 1024, root ? u"%s%s" : u"%s\\%s", folder,
                                           fd.cFileName)))
                walk(child, totals);
        } else {
            ++totals.files;
            totals.bytes += fd.nFileSizeLow;
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

}  // namespace

int main(int argc, char** argv) {
    long long repeat = 1;
    if (argc < 2 || argc == 3 || argc > 4 || argv[1][0] == '-' ||
        (argc == 4 &&
         (strcmp(argv[2], "--repeat") || !ce::host::parseNumber(argv[3], 1, 1000, repeat)))) {
        fprintf(stderr, "usage: walkbench DIR [--repeat N]   (N 1 to 1000)\n");
        return 2;
    }
    try {
        ce::Device::open(argv[1]);
    } catch (const ce::DeviceError& e) {
        fprintf(stderr, "walkbench: %s\n", e.what());
        return 1;
    }
    double best = 1e9;
    Totals totals;
    for (long long i = 0; i < repeat; ++i) {
        totals = Totals();
        auto start = std::chrono::steady_clock::now();
        walk(u"\\", totals);
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (s < best)
            best = s;
    }
    printf("%ld files, %ld folders, %llu bytes\n%.4f\n", totals.files, totals.folders, totals.bytes,
           best);
    return 0;
}
