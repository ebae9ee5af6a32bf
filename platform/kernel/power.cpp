// Power: the reboot request, the clean-boot flag, suspend, and booting a device.
#include <pkfuncs.h>
#include <ce/shortcut.h>

#include "image.h"
#include "internal.h"
#include "kernel.h"
#include "shortcut.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>

namespace ce::kernel {

namespace {

std::mutex g_rebootMutex;
std::function<void()> g_rebootHandler;

}  // namespace

void setRebootHandler(std::function<void()> handler) {
    std::lock_guard lock(g_rebootMutex);
    g_rebootHandler = std::move(handler);
}

void suspend() {
    if (Device* d = Device::current())
        d->log("power off");
}

BootReport boot(const std::filesystem::path& dir, std::chrono::milliseconds wait) {
    namespace fs = std::filesystem;
    BootReport report;
    std::error_code ec;
    if (!fs::is_directory(dir / "root", ec))
        throw DeviceError("no device image in " + dir.string() +
                          " (create one with: cedevice init " + dir.string() + ")");
    Device::close();  // the image may be replaced below
    DeviceIni ini = readIni(dir / "device.ini");
    if (ini.cleanBoot) {
        if (!fs::is_directory(dir / "factory" / "root", ec) ||
            !fs::is_regular_file(dir / "factory" / "registry.reg", ec))
            throw DeviceError("a clean boot was requested but " + dir.string() +
                              " has no factory image");
        noteFolderChange(dir);  // for any program of the device still running
        clearTree(dir / "root");
        copyTree(dir / "factory" / "root", dir / "root");
        Registry::restore(dir, dir / "factory" / "registry.reg");
        noteFolderChange(dir);
        report.cleanBoot = true;
    }
    Device& device = Device::open(dir);
    device.impl().updateIni([&](DeviceIni& i) {
        i.cleanBoot = false;
        if (i.bootCount < kMaxBootCount)
            ++i.bootCount;
        report.bootCount = i.bootCount;
    });
    if (report.cleanBoot)
        device.log("clean boot");
    device.log("boot " + std::to_string(report.bootCount));

    // the startup folder's shortcuts, in name order
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(u"\\Windows\\StartUp\\*", &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.emplace_back(fd.cFileName);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    std::sort(names.begin(), names.end());
    setStartHeadless(true);
    std::vector<std::pair<std::string, HANDLE>> started;
    for (const auto& name : names) {
        std::u16string path = u"\\Windows\\StartUp\\" + name;
        WCHAR target[1024];
        if (!SHGetShortcutTarget(path.c_str(), target, 1024)) {
            report.lines.push_back("skipped " + toUtf8(path) + ": not a shortcut");
            continue;
        }
        // As the shell does: the program is named on its own, and the rest of the target is
        // its command line, as written.
        ShortcutCommand command = splitShortcutTarget(target);
        PROCESS_INFORMATION pi{};
        if (CreateProcessW(command.program.c_str(), command.commandLine.data(), nullptr, nullptr,
                           FALSE, 0, nullptr, nullptr, nullptr, &pi)) {
            report.lines.push_back("started " + toUtf8(path) + ": " + toUtf8(target));
            CloseHandle(pi.hThread);
            started.emplace_back(toUtf8(path), pi.hProcess);
        } else {
            report.lines.push_back("failed " + toUtf8(path) + ": " + toUtf8(target) + " (error " +
                                   std::to_string(GetLastError()) + ")");
        }
    }
    setStartHeadless(false);
    auto deadline = std::chrono::steady_clock::now() + wait;
    for (auto& [path, process] : started) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        DWORD ms = left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
        if (WaitForSingleObject(process, ms) != WAIT_OBJECT_0) {
            report.allEnded = false;
            report.lines.push_back("still running " + path);
        } else {
            DWORD code = 0;
            GetExitCodeProcess(process, &code);
            report.lines.push_back("ended " + path + " (exit code " + std::to_string(code) + ")");
        }
        CloseHandle(process);
    }
    return report;
}

}  // namespace ce::kernel

extern "C" {

CEAPI BOOL KernelIoControl(DWORD code, LPVOID, DWORD, LPVOID, DWORD, LPDWORD bytesReturned) {
    if (bytesReturned)
        *bytesReturned = 0;
    if (code != IOCTL_HAL_REBOOT) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    ce::Device* d = ce::Device::current();
    if (d) {
        // every program of the device ends: registry.reg takes in the journal
        d->impl().registry.fold();
        d->log("reboot");
    }
    std::function<void()> handler;
    {
        std::lock_guard lock(ce::kernel::g_rebootMutex);
        handler = ce::kernel::g_rebootHandler;
    }
    if (handler) {
        handler();  // the test driver unwinds the program's thread from here
        return FALSE;
    }
    fflush(nullptr);
    std::exit(0);
}

CEAPI void SetCleanRebootFlag(void) {
    ce::Device* d = ce::Device::current();
    if (!d)
        return;
    d->impl().updateIni([](ce::kernel::DeviceIni& ini) { ini.cleanBoot = true; });
    d->log("clean boot flag set");
}

}  // extern "C"
