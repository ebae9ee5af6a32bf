// Times what the program's lists and the folder browser ask of the controls on a large device:
//   1. LB_ADDSTRING of N entries (default 100,000) in random order into a sorted,
//      multiple-selection list box with both scroll bars (the temp files list);
//   2. a tree view root with M folders (default 10,000) inserted at TVI_SORT with children on
//      request, expanded and painted, answering each shown folder's request as the browser does.
// Usage: listbox_bench [ENTRIES] [FOLDERS]   (ENTRIES 1 to 1000000, FOLDERS 1 to 100000)
// The device it uses is removed however the benchmark ends.
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "hostsupport.h"
#include "testing/device.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::u16string path(std::mt19937& rng, int i) {
    static const char16_t* folders[] = {u"\\Windows\\Temp\\", u"\\Temp\\",
                                        u"\\My Documents\\Temp\\", u"\\Program Files\\Cache\\",
                                        u"\\windows\\temp\\Sub-dir\\"};
    std::u16string s = folders[rng() % 5];
    const unsigned n = static_cast<unsigned>(rng());
    for (int k = 0; k < 8; ++k)
        s.push_back(static_cast<char16_t>((k % 2 ? u'A' : u'a') + (n >> (k * 3)) % 26));
    s += u"_" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) + u".tmp";
    return s;
}

HWND g_tree = nullptr;

LRESULT CALLBACK parentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        auto* info = reinterpret_cast<NMTVDISPINFOW*>(lParam);
        if (info->hdr.code == TVN_GETDISPINFOW && (info->item.mask & TVIF_CHILDREN)) {
            // As the folder browser answers: no subfolders here, stored with TVM_SETITEMW.
            info->item.cChildren = 0;
            SendMessageW(g_tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&info->item));
            return 1;
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    long long entries = 100000, folders = 10000;
    if ((argc > 1 && !ce::host::parseNumber(argv[1], 1, 1000000, entries)) ||
        (argc > 2 && !ce::host::parseNumber(argv[2], 1, 100000, folders)) || argc > 3) {
        std::fprintf(stderr,
                     "usage: listbox_bench [ENTRIES] [FOLDERS]   (ENTRIES 1 to 1000000, default "
                     "100000; FOLDERS 1 to 100000, default 10000)\n");
        return 2;
    }
    // the device is made inside a folder that goes on every exit, a signal included
    ce::host::TempDir temp("listbox_bench");
    setenv("TMPDIR", temp.path().c_str(), 1);
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    InitCommonControls();
    WNDCLASSW wc{};
    wc.lpfnWndProc = parentProc;
    wc.lpszClassName = u"BenchParent";
    RegisterClassW(&wc);
    HWND parent =
        CreateWindowExW(0, u"BenchParent", u"Bench", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);

    std::mt19937 rng(7);
    std::vector<std::u16string> texts;
    texts.reserve(static_cast<size_t>(entries));
    for (int i = 0; i < entries; ++i) texts.push_back(path(rng, i));
    HWND list = CreateWindowExW(0, u"LISTBOX", u"", 0x50B0100B, 2, 304, 210, 90, parent,
                                reinterpret_cast<HMENU>(50020), nullptr, nullptr);
    auto start = Clock::now();
    for (const auto& t : texts)
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t.c_str()));
    const double addMs = msSince(start);
    std::printf("LB_ADDSTRING x %d (sorted, random order): %.1f ms (%.2f us each), count %ld\n",
                static_cast<int>(entries), addMs, addMs * 1000.0 / static_cast<double>(entries),
                static_cast<long>(SendMessageW(list, LB_GETCOUNT, 0, 0)));
    start = Clock::now();
    UpdateWindow(list);
    std::printf("list box paint after the inserts: %.2f ms\n", msSince(start));

    g_tree = CreateWindowExW(0, WC_TREEVIEWW, u"", WS_BORDER | TVS_HASLINES | TVS_HASBUTTONS, 10,
                             10, 220, 240, parent, nullptr, nullptr, nullptr);
    TVINSERTSTRUCTW is{};
    is.hParent = TVI_ROOT;
    is.hInsertAfter = TVI_SORT;
    is.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_PARAM | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
    is.item.pszText = const_cast<LPWSTR>(u"\\");
    is.item.cChildren = 1;
    is.item.lParam = -1;
    auto root = reinterpret_cast<HTREEITEM>(
        SendMessageW(g_tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&is)));
    start = Clock::now();
    is.hParent = root;
    is.item.cChildren = I_CHILDRENCALLBACK;
    for (int i = 0; i < folders; ++i) {
        const std::u16string name = path(rng, i).substr(1);
        is.item.pszText = const_cast<LPWSTR>(name.c_str());
        SendMessageW(g_tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&is));
    }
    const double insertMs = msSince(start);
    start = Clock::now();
    SendMessageW(g_tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));
    UpdateWindow(g_tree);
    const double expandMs = msSince(start);
    std::printf("tree: %d folders inserted at TVI_SORT in %.1f ms; expand + first paint %.2f ms\n",
                static_cast<int>(folders), insertMs, expandMs);
    DestroyWindow(parent);
    return 0;
}
