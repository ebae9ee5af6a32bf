// A fuzzer's device: an empty image in a temporary folder, opened as the current device and
// removed when the fuzzer ends.
#pragma once

#include "kernel/kernel.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace ce::fuzz {

inline ce::Device& openDevice(const std::string& fuzzer) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / (fuzzer + "." + std::to_string(getpid()));
    fs::remove_all(dir);
    ce::kernel::createImage(dir, ce::kernel::ImageContents::Empty);
    ce::Device& device = ce::Device::open(dir);
    std::atexit([] {
        fs::path opened = ce::Device::current() ? ce::Device::current()->dir() : fs::path();
        ce::Device::close();
        if (!opened.empty())
            fs::remove_all(opened);
    });
    return device;
}

}  // namespace ce::fuzz
