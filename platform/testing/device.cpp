// Fresh devices for tests.
#include "testing/device.h"

#include "kernel/image.h"
#include "kernel/internal.h"
#include "kernel/kernel.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace ce::test {

TempDevice::TempDevice(Contents contents) {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/cedevice-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw DeviceError("cannot create a temporary folder");
    base_ = pattern;
    dir_ = base_ / "device";
    std::filesystem::create_directories(base_ / "outside");
    kernel::createImage(dir_, contents == Contents::Factory ? kernel::ImageContents::Factory
                                                            : kernel::ImageContents::Empty);
    Device::open(dir_);
}

TempDevice::~TempDevice() {
    Device::close();
    kernel::setModulePath(u"");
    std::error_code ec;
    // links planted by tests are removed, never followed
    kernel::clearTree(base_);
    std::filesystem::remove(base_, ec);
}

std::filesystem::path TempDevice::host(std::u16string_view devicePath) const {
    return kernel::hostUnder(dir_ / "root", devicePath);
}

std::filesystem::path TempDevice::outside() const {
    return base_ / "outside";
}

std::string TempDevice::log() const {
    std::ifstream in(dir_ / "log");
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> hostEntries(const std::filesystem::path& folder) {
    std::vector<std::string> out;
    DIR* d = opendir(folder.c_str());
    if (!d)
        return out;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..")
            out.push_back(n);
    }
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace ce::test
