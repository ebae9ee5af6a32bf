// The kernel's C++ API for the launcher, cedevice and tests: device images, the running
// program's module path, power, boot and the cabinet installer's stand-in.
//
// Host programs that back a device program are started by CreateProcessW as
//     HOST --device DIR --module DEVPATH [--headless] -- [COMMANDLINE]
// where DEVPATH is the device path of the program (what GetModuleFileNameW(NULL) returns in
// it) and COMMANDLINE is the device command line as one argument, exactly as the caller wrote
// it (UTF-8; absent when empty). The launcher passes DEVPATH to setModulePath and COMMANDLINE
// to WinMain.
#pragma once

#include "device.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace ce::kernel {

enum class ImageContents {
    Factory,  // the factory image of a Pocket PC (folders, registry, shortcuts, files)
    Empty,    // only the standard folders and an empty registry
};

// Writes a new device image into dir (created if missing; it must not hold an image yet).
// A Factory image also gets a copy of root/ and registry.reg in factory/. Throws DeviceError.
void createImage(const std::filesystem::path& dir, ImageContents contents = ImageContents::Factory);

// The device path of the running program, as GetModuleFileNameW(NULL) gives it. Default: the
// device program that device.ini maps to this process's executable, else
// "\Program Files\Varnello\Varnello.exe".
void setModulePath(std::u16string devicePath);
std::u16string modulePath();

// Reboot: KernelIoControl(IOCTL_HAL_REBOOT) logs "reboot", makes sure the registry is on
// disk and then calls the handler. The default handler ends the process (exit code 0); the
// test driver installs one that unwinds the program's thread. An empty function restores the
// default.
void setRebootHandler(std::function<void()> handler);

// The power key: logs "power off". GWES dims the display until the next input.
void suspend();

// Programs started by CreateProcessW get --headless (cedevice boot, headless launchers).
void setStartHeadless(bool headless);

// Maps a device program to the host program that backs it (device.ini); an empty host
// removes the mapping.
void setProgramHost(const std::u16string& devicePath, const std::filesystem::path& host);

struct BootReport {
    bool cleanBoot = false;          // the factory image was restored first
    int bootCount = 0;               // boots of this device so far, this one included
    std::vector<std::string> lines;  // what happened, one line each (started, failed, ...)
    bool allEnded = true;            // every started program ended within the wait
};

// Boots the device in dir: a pending clean boot restores the factory image, the boot is
// logged and counted, then every shortcut in \Windows\StartUp is started and awaited (at
// most `wait` in all). Opens dir as the current device (and leaves it open). Throws
// DeviceError.
BootReport boot(const std::filesystem::path& dir,
                std::chrono::milliseconds wait = std::chrono::seconds(30));

// The cabinet installer's stand-in, on the current device.
struct InstallOptions {
    std::filesystem::path program;       // host program backing Varnello.exe
    std::filesystem::path helpFile;      // tunedoc.htm
    std::filesystem::path setupLibrary;  // libVarnelloSetup.so
};
inline constexpr char16_t kInstallDir[] = u"\\Program Files\\Varnello";
inline constexpr char16_t kProgramPath[] = u"\\Program Files\\Varnello\\Varnello.exe";
inline constexpr char16_t kAppKey[] = u"Software\\Apps\\Zembrik Varnello";

// Finds the installer's files beside a host binary (its folder's varnello, tunedoc.htm and
// libVarnelloSetup.so); fields that are already set are kept.
InstallOptions locateInstallFiles(InstallOptions options, const std::filesystem::path& binDir);
// Throws DeviceError with one line for the user (missing file, library not loadable, ...).
void install(const InstallOptions& options);
// Throws DeviceError when the program is not installed or the library cannot be loaded.
void uninstall(const std::filesystem::path& setupLibrary);
bool installed();

// The registry of the current device in the .reg text format.
std::string exportRegistry();

// The storage card of the image in dir: "\Storage Card" backed by the host folder hostDir, which
// must exist and neither hold the image nor lie inside it (device.ini [storage] card=). Logged;
// programs of the device that are running see the change when they next start. Leaves no
// device open. Throws DeviceError with one line for the user.
void insertCard(const std::filesystem::path& dir, const std::filesystem::path& hostDir);
// Takes the card out (its files stay in its host folder); false when there was none.
bool ejectCard(const std::filesystem::path& dir);
// The host folder of the image's card, empty when it has none. Throws DeviceError.
std::filesystem::path cardFolder(const std::filesystem::path& dir);

}  // namespace ce::kernel
