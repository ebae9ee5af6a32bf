// The device: one open device image (DESIGN: DEVICE/device.ini, registry.reg, root/, factory/, log)
// and the per-device state of every platform part. There is at most one open device per process;
// a test opens a fresh one for each case.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <typeindex>
#include <unordered_map>
#include <vector>

namespace ce {

// A device image that cannot be opened or created; what() is one line for the user.
class DeviceError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// State that a platform part keeps per device (GWES, the display, the registry, ...).
class DeviceService {
  public:
    virtual ~DeviceService() = default;
};

class Device {
  public:
    // Opens an existing image and makes it the current device. Throws DeviceError.
    static Device& open(const std::filesystem::path& dir);
    // Closes the current device (services are destroyed in reverse order of creation).
    static void close();
    // The current device, or nullptr when none is open.
    static Device* current();

    const std::filesystem::path& dir() const { return dir_; }

    // Maps an absolute device path ("\Windows\Temp") to its host path under DEVICE/root.
    // Exact case first, then a case-insensitive match per component; components that do not
    // exist keep the given spelling. Returns nullopt for a path that is not absolute, holds
    // "..", or would lead out of the image (through a symbolic link, say).
    std::optional<std::filesystem::path> hostPath(std::u16string_view devicePath) const;

    // Appends one line to DEVICE/log (line breaks in it become blanks). The kernel's events:
    //   boot N                      the device started (N counts the boots)
    //   clean boot                  the factory image was restored before that boot
    //   clean boot flag set         SetCleanRebootFlag
    //   reboot                      KernelIoControl(IOCTL_HAL_REBOOT)
    //   power off                   the power key (ce::kernel::suspend)
    //   process start PROGRAM ARGS  CreateProcessW started a program ("process start failed
    //                               PROGRAM ARGS (why)" when it could not)
    //   help PATH[#ANCHOR]          the help viewer opened a file ("... (no such file)")
    //   install DIR / uninstall DIR the cabinet installer's stand-in
    //   storage card inserted DIR   cedevice card (and "storage card removed")
    //   registry not written: WHY   a change was refused (the file is corrupt or unwritable)
    void log(std::string_view line);

    // Screen size from device.ini (240 x 320 by default).
    int screenWidth() const;
    int screenHeight() const;

    // The per-device state of type T, created on first use and destroyed with the device.
    template <class T>
    T& service() {
        auto it = services_.find(typeid(T));
        if (it == services_.end()) {
            auto created = std::make_unique<T>();
            T& ref = *created;
            order_.push_back(typeid(T));
            services_.emplace(typeid(T), std::move(created));
            return ref;
        }
        return static_cast<T&>(*it->second);
    }

    ~Device();

    // The kernel's own state of this device (opaque outside platform/kernel).
    struct Impl;
    Impl& impl() const { return *impl_; }

  private:
    explicit Device(std::filesystem::path dir);
    std::filesystem::path dir_;
    std::unordered_map<std::type_index, std::unique_ptr<DeviceService>> services_;
    std::vector<std::type_index> order_;
    // implementation state of the kernel part
    std::unique_ptr<Impl> impl_;
};

}  // namespace ce
