// A device program that shows what its WinMain got: the command line goes, exactly, to
// \Temp\<program name>.cmdline (UTF-16LE, no terminator) and to stdout (UTF-8, between [ and ]
// on a line of its own). Several copies, started under different device names, write files of
// their own.
#include <windows.h>

#include <strsafe.h>

#include "kernel/internal.h"

#include <cstdio>

namespace {

// \Windows\echo3.exe -> \Temp\echo3.cmdline
BOOL RecordPath(LPWSTR path, int units) {
    WCHAR module[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return FALSE;
    LPWSTR name = wcsrchr(module, TEXT('\\'));
    name = name ? name + 1 : module;
    if (LPWSTR dot = wcsrchr(name, TEXT('.')))
        *dot = 0;
    return SUCCEEDED(StringCchPrintfW(path, units, TEXT("\\Temp\\%s.cmdline"), name));
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR lpCmdLine, int) {
    std::printf("[%s]\n", ce::kernel::toUtf8(lpCmdLine).c_str());
    std::fflush(stdout);
    WCHAR path[MAX_PATH];
    if (!RecordPath(path, MAX_PATH))
        return 1;
    FILE* f = _wfopen(path, TEXT("wb"));
    if (!f)
        return 1;
    size_t units = wcslen(lpCmdLine);
    size_t written = fwrite(lpCmdLine, sizeof(WCHAR), units, f);
    fclose(f);
    return written == units ? 0 : 1;
}
