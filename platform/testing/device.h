// Devices for tests: a fresh image in a temporary folder, opened as the current device.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ce::test {

class TempDevice {
  public:
    enum class Contents { Factory, Empty };
    // Creates the image (the factory image of `cedevice init`, or only the standard folders and
    // an empty registry) in a new temporary folder and opens it.
    explicit TempDevice(Contents contents = Contents::Factory);
    // Closes the device and removes the folder.
    ~TempDevice();
    TempDevice(const TempDevice&) = delete;
    TempDevice& operator=(const TempDevice&) = delete;

    const std::filesystem::path& dir() const { return dir_; }
    // Host path of a device path ("\Windows\Temp" -> DIR/root/Windows/Temp).
    std::filesystem::path host(std::u16string_view devicePath) const;
    // A folder beside the image (outside it), for canaries.
    std::filesystem::path outside() const;
    // The device log's lines so far.
    std::string log() const;

  private:
    std::filesystem::path base_;
    std::filesystem::path dir_;
};

// The names of a host folder's entries as the host keeps them (bytes), sorted; none when it
// cannot be read.
std::vector<std::string> hostEntries(const std::filesystem::path& folder);

}  // namespace ce::test
