// Times full repaints of the real program's main window, on each of its six screens, through
// the test driver on a fresh factory device: every window on screen invalidated and painted in
// the window system's order (parents before children), and the switch to each screen by a tap
// on its tab.
// Usage: paint_program_bench [iterations]
#include <vector>

#include <windows.h>

#include "gwes/driver.h"
#include "kernel/kernel.h"
#include "hostsupport.h"
#include "testing/device.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int);

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void collect(HWND hwnd, std::vector<HWND>& out) {
    if (!IsWindowVisible(hwnd))
        return;
    out.push_back(hwnd);
    for (HWND c = GetWindow(hwnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) collect(c, out);
}

// Invalidates every visible window of the top-level window and paints them as the window
// system's paint pass does: parents first.
void repaintAll(HWND top) {
    std::vector<HWND> windows;
    collect(top, windows);
    for (HWND w : windows) InvalidateRect(w, nullptr, TRUE);
    for (HWND w : windows) UpdateWindow(w);
}

struct Stats {
    double mean = 0, best = 0, worst = 0;
};
Stats measure(int iterations, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < iterations; ++i) {
        auto start = Clock::now();
        work();
        ms.push_back(msSince(start));
    }
    std::sort(ms.begin(), ms.end());
    Stats s;
    for (double v : ms) s.mean += v;
    s.mean /= double(ms.size());
    s.best = ms.front();
    s.worst = ms.back();
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    long long count = 200;
    if ((argc > 1 && !ce::host::parseNumber(argv[1], 1, 100000, count)) || argc > 2) {
        std::fprintf(stderr,
                     "usage: paint_program_bench [ITERATIONS]   (1 to 100000, default 200)\n");
        return 2;
    }
    const int iterations = static_cast<int>(count);
    // the device is made inside a folder that goes on every exit, a signal included
    ce::host::TempDir temp("paint_program_bench");
    setenv("TMPDIR", temp.path().c_str(), 1);
    ce::test::TempDevice device;
    std::filesystem::create_directories(device.host(u"\\Program Files\\Varnello"));
    ce::kernel::setModulePath(u"\\Program Files\\Varnello\\Varnello.exe");
    ce::test::Driver driver(WinMain, u"");
    HWND main = driver.activeWindow();
    if (!main) {
        std::fprintf(
            stderr, "paint_program_bench: the program shows no window\n%s\n",
            std::string(driver.describeScreen().begin(), driver.describeScreen().end()).c_str());
        return 2;
    }
    const char16_t* screens[] = {u"Clean Temp Files", u"Pocket IE", u"Registry",
                                 u"System Folders",   u"Shortcuts", u"Performance"};
    double worstMean = 0;
    for (const char16_t* name : screens) {
        Stats tap = measure(1, [&] { driver.tapText(name); });
        std::vector<HWND> windows;
        collect(main, windows);
        Stats paint = measure(iterations, [&] { repaintAll(main); });
        worstMean = std::max(worstMean, paint.mean);
        std::string label(name, name + std::char_traits<char16_t>::length(name));
        std::printf(
            "%-17s %3zu windows: full repaint mean %.3f ms, best %.3f ms, worst %.3f ms; "
            "switch by tab %.3f ms\n",
            label.c_str(), windows.size(), paint.mean, paint.best, paint.worst, tap.mean);
    }
    std::printf("largest screen's full repaint: %.3f ms (target < 5 ms)\n", worstMean);
    driver.stop();
    return worstMean < 5.0 ? 0 : 1;
}
