// The cabinet installer's stand-in: installs the program on the current device and removes
// it, calling the setup library's four hooks around the work.
#include <ce/shortcut.h>

#include "internal.h"
#include "kernel.h"

#include <dlfcn.h>
#include <unistd.h>

#include <fstream>

namespace ce::kernel {

namespace {

namespace fs = std::filesystem;

using InstallInit = int (*)(HWND, BOOL, BOOL, LPCWSTR);
using InstallExit = int (*)(HWND, LPCWSTR, WORD, WORD, WORD, WORD, WORD);
using UninstallInit = int (*)(HWND, LPCWSTR);
using UninstallExit = int (*)(HWND);

const char16_t kHelpFile[] = u"\\Windows\\tunedoc.htm";
const char16_t kHelpShortcut[] = u"\\Windows\\Help\\Varnello.lnk";
const char16_t kHelpTarget[] = u"\\Windows\\peghelp.exe file:tunedoc.htm#Main_Contents";
const char16_t kStartMenuShortcut[] = u"\\Windows\\Start Menu\\Programs\\Varnello.lnk";

class SetupLibrary {
  public:
    explicit SetupLibrary(const fs::path& file) {
        std::error_code ec;
        if (file.empty() || !fs::exists(file, ec))
            throw DeviceError("setup library not found: " +
                              (file.empty() ? std::string("(none)") : file.string()));
        fs::path abs = fs::absolute(file, ec);
        handle_ = dlopen(abs.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_)
            throw DeviceError("cannot load setup library " + file.string() + ": " + dlerror());
    }
    ~SetupLibrary() {
        if (handle_)
            dlclose(handle_);
    }
    SetupLibrary(const SetupLibrary&) = delete;
    SetupLibrary& operator=(const SetupLibrary&) = delete;
    template <class F>
    F get(const char* name) const {
        void* p = dlsym(handle_, name);
        if (!p)
            throw DeviceError(std::string("the setup library has no ") + name);
        return reinterpret_cast<F>(p);
    }

  private:
    void* handle_ = nullptr;
};

Device& currentDevice() {
    Device* d = Device::current();
    if (!d)
        throw DeviceError("no device is open");
    return *d;
}

void writeShortcut(const std::u16string& path, const std::u16string& target) {
    DeleteFileW(path.c_str());
    std::u16string p = path, t = target;
    if (!SHCreateShortcut(p.data(), t.data()))
        throw DeviceError("cannot write the shortcut " + toUtf8(path));
}

// Writes a file of the device through the device's own calls, as the installer does on a device.
// Whatever stands in the way and cannot be written (a link, a FIFO) is removed first: it is not
// the installer's file.
void writeDeviceFile(const std::u16string& path, const std::string& bytes) {
    auto create = [&] {
        return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    };
    HANDLE h = create();
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED &&
        !(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) && DeleteFileW(path.c_str()))
        h = create();
    DWORD written = 0;
    bool ok = h != INVALID_HANDLE_VALUE &&
              WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    if (!ok)
        throw DeviceError("cannot write " + toUtf8(path) + " (error " +
                          std::to_string(GetLastError()) + ")");
}

void copyInto(const fs::path& from, const std::u16string& to) {
    std::ifstream in(from, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof())
        throw DeviceError("cannot read " + from.string());
    writeDeviceFile(to, bytes);
}

}  // namespace

// A file beside the host programs (as in the build tree), else where an installation puts it
// relative to them (bin/../lib, bin/../share/varnello).
fs::path besideOrInstalled(const fs::path& binDir, const char* installed, const char* name) {
    std::error_code ec;
    if (fs::exists(binDir / name, ec) || !*installed)
        return binDir / name;
    fs::path there = (binDir / installed / name).lexically_normal();
    return fs::exists(there, ec) ? there : binDir / name;
}

InstallOptions locateInstallFiles(InstallOptions options, const fs::path& binDir) {
    if (options.program.empty())
        options.program = binDir / "varnello";
    if (options.helpFile.empty())
        options.helpFile = besideOrInstalled(binDir, CE_DATA_FROM_BIN, "tunedoc.htm");
    if (options.setupLibrary.empty())
        options.setupLibrary = besideOrInstalled(binDir, CE_LIB_FROM_BIN, "libVarnelloSetup.so");
    return options;
}

bool installed() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAppKey, 0, 0, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void install(const InstallOptions& options) {
    Device& d = currentDevice();
    std::error_code ec;
    if (!fs::is_regular_file(options.program, ec))
        throw DeviceError("program not found: " + options.program.string());
    if (!fs::is_regular_file(options.helpFile, ec))
        throw DeviceError("help file not found: " + options.helpFile.string());
    SetupLibrary setup(options.setupLibrary);
    auto init = setup.get<InstallInit>("Install_Init");
    auto exit = setup.get<InstallExit>("Install_Exit");
    if (int rc = init(nullptr, TRUE, installed() ? TRUE : FALSE, kInstallDir); rc != 0)
        throw DeviceError("the setup library stopped the installation (Install_Init returned " +
                          std::to_string(rc) + ")");

    CreateDirectoryW(u"\\Program Files", nullptr);
    if (!CreateDirectoryW(kInstallDir, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        throw DeviceError("cannot create " + toUtf8(kInstallDir));
    // the device file of the program; the host program behind it is named in device.ini
    writeDeviceFile(kProgramPath, "MZ Varnello for Pocket PC; runs on this host as " +
                                      fs::absolute(options.program).string() + "\n");
    setProgramHost(kProgramPath, fs::canonical(options.program, ec));
    copyInto(options.helpFile, kHelpFile);
    writeShortcut(kHelpShortcut, kHelpTarget);
    writeShortcut(kStartMenuShortcut, u"\"" + std::u16string(kProgramPath) + u"\"");

    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAppKey, 0, nullptr, 0, 0, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        throw DeviceError("cannot write the registry of " + d.dir().string());
    std::u16string dir = kInstallDir;
    RegSetValueExW(key, u"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                   static_cast<DWORD>((dir.size() + 1) * sizeof(WCHAR)));
    DWORD one = 1;
    RegSetValueExW(key, u"Instl", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    RegCloseKey(key);
    exit(nullptr, kInstallDir, 0, 0, 0, 0, 0);
    d.log("install " + toUtf8(kInstallDir));
}

void uninstall(const fs::path& setupLibrary) {
    Device& d = currentDevice();
    if (!installed())
        throw DeviceError("Varnello is not installed on " + d.dir().string());
    SetupLibrary setup(setupLibrary);
    auto init = setup.get<UninstallInit>("Uninstall_Init");
    auto exit = setup.get<UninstallExit>("Uninstall_Exit");
    if (int rc = init(nullptr, kInstallDir); rc != 0)
        throw DeviceError("the setup library stopped the removal (Uninstall_Init returned " +
                          std::to_string(rc) + ")");
    // what the installer put there; files the program made itself were the hook's to remove
    for (const char16_t* file : {kProgramPath, kHelpFile, kHelpShortcut, kStartMenuShortcut})
        DeleteFileW(file);
    RemoveDirectoryW(kInstallDir);  // stays when something else is left in it
    setProgramHost(kProgramPath, {});
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kAppKey);
    exit(nullptr);
    d.log("uninstall " + toUtf8(kInstallDir));
}

std::string exportRegistry() {
    return currentDevice().impl().registry.text();
}

}  // namespace ce::kernel
