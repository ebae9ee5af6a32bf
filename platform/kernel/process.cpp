// Programs: the running program's module path, CreateProcessW and the help viewer.
#include "internal.h"
#include "kernel.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <thread>

extern char** environ;

namespace ce::kernel {

namespace {

std::mutex g_moduleMutex;
std::u16string g_modulePath;  // empty: the default
bool g_startHeadless = false;

// A started host process; a thread of its own reaps it, so no zombie is left behind even
// when nobody waits for it.
struct ProcessState {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    DWORD exitCode = STILL_ACTIVE;
};

class ProcessObject : public KernelObject {
  public:
    explicit ProcessObject(std::shared_ptr<ProcessState> s) : state(std::move(s)) {}
    std::shared_ptr<ProcessState> state;
};

std::shared_ptr<ProcessState> watch(pid_t pid) {
    auto state = std::make_shared<ProcessState>();
    std::thread([pid, state] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        std::lock_guard lock(state->mutex);
        state->done = true;
        state->exitCode = WIFEXITED(status) ? static_cast<DWORD>(WEXITSTATUS(status))
                                            : 0xC0000000u | static_cast<DWORD>(WTERMSIG(status));
        state->ended.notify_all();
    }).detach();
    return state;
}

bool hasExtension(std::u16string_view path) {
    size_t slash = path.find_last_of(u"\\/");
    size_t dot = path.rfind(u'.');
    return dot != std::u16string_view::npos && (slash == std::u16string_view::npos || dot > slash);
}

// "\Windows\x.exe" for a bare "x" or "x.exe"; absolute paths stay.
std::u16string programPath(std::u16string_view name) {
    std::u16string path = (!name.empty() && (name[0] == u'\\' || name[0] == u'/'))
                              ? std::u16string(name)
                              : u"\\Windows\\" + std::u16string(name);
    if (!hasExtension(path))
        path += u".exe";
    return path;
}

bool isHelpViewer(std::u16string_view program) {
    return equalsNoCase(program, u"\\Windows\\peghelp.exe");
}

// The help viewer: "file:NAME#ANCHOR" or a path; a bare name lives in \Windows.
BOOL runHelpViewer(Device& device, std::u16string_view args) {
    std::u16string target(args);
    while (!target.empty() && target.front() == u' ') target.erase(0, 1);
    while (!target.empty() && target.back() == u' ') target.pop_back();
    if (target.size() >= 2 && target.front() == u'"' && target.back() == u'"')
        target = target.substr(1, target.size() - 2);
    if (target.rfind(u"file:", 0) == 0)
        target.erase(0, 5);
    std::u16string anchor;
    size_t hash = target.find(u'#');
    if (hash != std::u16string::npos) {
        anchor = target.substr(hash + 1);
        target.resize(hash);
    }
    std::u16string devicePath =
        (!target.empty() && target[0] == u'\\') ? target : u"\\Windows\\" + target;
    Lookup r = lookup(device, devicePath);
    bool found = !r.error && r.exists && !r.isDir();
    std::string line = "help " + toUtf8(devicePath) + (anchor.empty() ? "" : "#" + toUtf8(anchor));
    if (!found) {
        device.log(line + " (no such file)");
        fprintf(stderr, "help: %s not found on the device\n", toUtf8(devicePath).c_str());
        return TRUE;  // the viewer starts and says so itself
    }
    device.log(line);
    std::string url = "file://" + r.host + (anchor.empty() ? "" : "#" + toUtf8(anchor));
    const char* display = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    bool desktop = (display && *display) || (wayland && *wayland);
    if (desktop && access("/usr/bin/xdg-open", X_OK) == 0) {
        const char* argv[] = {"xdg-open", url.c_str(), nullptr};
        pid_t pid;
        if (posix_spawn(&pid, "/usr/bin/xdg-open", nullptr, nullptr, const_cast<char**>(argv),
                        environ) == 0) {
            watch(pid);
            return TRUE;
        }
    }
    printf("help: %s\n", url.c_str());
    fflush(stdout);
    return TRUE;
}

}  // namespace

void setModulePath(std::u16string devicePath) {
    std::lock_guard lock(g_moduleMutex);
    g_modulePath = std::move(devicePath);
}

std::u16string modulePath() {
    {
        std::lock_guard lock(g_moduleMutex);
        if (!g_modulePath.empty())
            return g_modulePath;
    }
    if (Device* d = Device::current()) {
        std::error_code ec;
        auto self = std::filesystem::canonical("/proc/self/exe", ec);
        std::lock_guard lock(d->impl().iniMutex);
        for (const auto& [key, host] : d->impl().ini.programs) {
            auto h = std::filesystem::canonical(host, ec);
            if (!ec && h == self)
                return d->impl().ini.programNames[key];
        }
    }
    return kProgramPath;
}

void setStartHeadless(bool headless) {
    g_startHeadless = headless;
}

void setProgramHost(const std::u16string& devicePath, const std::filesystem::path& host) {
    Device* d = Device::current();
    if (!d)
        throw DeviceError("no device is open");
    d->impl().updateIni([&](DeviceIni& ini) {
        std::u16string key = folded(devicePath);
        if (host.empty()) {
            ini.programs.erase(key);
            ini.programNames.erase(key);
        } else {
            ini.programs[key] = host.string();
            ini.programNames[key] = devicePath;
        }
    });
}

}  // namespace ce::kernel

using namespace ce::kernel;

extern "C" {

CEAPI DWORD WINAPI GetModuleFileNameW(HMODULE, LPWSTR buffer, DWORD size) {
    // The program is the one module with a file on the device: its instance handle and NULL
    // both name it.
    std::u16string path = modulePath();
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() + 1 > size) {
        // cut to size - 1 units and terminated; the result says so
        std::copy(path.begin(), path.begin() + (size - 1), buffer);
        buffer[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::copy(path.begin(), path.end(), buffer);
    buffer[path.size()] = 0;
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

CEAPI BOOL WINAPI CreateProcessW(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                                 LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                                 LPSTARTUPINFOW, LPPROCESS_INFORMATION info) {
    ce::Device* device = ce::Device::current();
    if (!device) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    // As on Windows CE, the program is always named on its own, and the command line is what
    // its WinMain gets, exactly as written: the program's name is no part of it.
    if (!application || !*application) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string program = programPath(application);
    std::u16string args = commandLine ? commandLine : u"";
    std::string argsText;  // as it travels to the host program
    if (args.size() > kMaxCommandLine || !toUtf8(args, argsText)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (program.size() > kMaxPath) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    if (isHelpViewer(program))
        return runHelpViewer(*device, args);

    std::string host;
    {
        std::lock_guard lock(device->impl().iniMutex);
        auto& programs = device->impl().ini.programs;
        auto it = programs.find(folded(program));
        if (it != programs.end())
            host = it->second;
    }
    std::string what = toUtf8(program) + (args.empty() ? "" : " " + toUtf8(args));
    if (host.empty()) {
        Lookup r = lookup(*device, program);
        bool exists = !r.error && r.exists && !r.isDir();
        device->log("process start failed " + what +
                    (exists ? " (no host program backs it)" : " (no such program)"));
        SetLastError(r.error ? r.error : exists ? ERROR_BAD_EXE_FORMAT : ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::vector<std::string> argv = {host, "--device", device->dir().string(), "--module",
                                     toUtf8(program)};
    if (g_startHeadless)
        argv.push_back("--headless");
    argv.push_back("--");  // the device command line follows, whole, even when it begins with --
    if (!argsText.empty())
        argv.push_back(argsText);
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    pid_t pid;
    int rc = posix_spawn(&pid, host.c_str(), nullptr, nullptr, cargv.data(), environ);
    if (rc != 0) {
        device->log("process start failed " + what + " (" + strerror(rc) + ")");
        SetLastError(rc == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    device->log("process start " + what);
    auto state = watch(pid);
    if (info) {
        info->hProcess = device->impl().handles.add(std::make_unique<ProcessObject>(state));
        info->hThread = device->impl().handles.add(std::make_unique<ProcessObject>(state));
        info->dwProcessId = static_cast<DWORD>(pid);
        info->dwThreadId = static_cast<DWORD>(pid);
    }
    return TRUE;
}

CEAPI DWORD WINAPI WaitForSingleObject(HANDLE h, DWORD ms) {
    ce::Device* d = ce::Device::current();
    ProcessObject* p = d ? d->impl().handles.get<ProcessObject>(h) : nullptr;
    if (!p) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    auto state = p->state;
    std::unique_lock lock(state->mutex);
    if (ms == INFINITE) {
        state->ended.wait(lock, [&] { return state->done; });
        return WAIT_OBJECT_0;
    }
    bool done =
        state->ended.wait_for(lock, std::chrono::milliseconds(ms), [&] { return state->done; });
    return done ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

CEAPI BOOL WINAPI GetExitCodeProcess(HANDLE h, LPDWORD code) {
    ce::Device* d = ce::Device::current();
    ProcessObject* p = d ? d->impl().handles.get<ProcessObject>(h) : nullptr;
    if (!p || !code) {
        SetLastError(p ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard lock(p->state->mutex);
    *code = p->state->exitCode;
    return TRUE;
}

}  // extern "C"
