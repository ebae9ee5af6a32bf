// The open device: DEVICE/device.ini, registry.reg, root/, factory/ and log.
#include "internal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

namespace ce {

namespace {

std::unique_ptr<Device> g_device;
std::mutex g_deviceMutex;

}  // namespace

Device::Device(std::filesystem::path dir) : dir_(std::move(dir)), impl_(std::make_unique<Impl>()) {}

Device::~Device() {
    for (auto it = order_.rbegin(); it != order_.rend(); ++it) services_.erase(*it);
}

Device& Device::open(const std::filesystem::path& dir) {
    std::error_code ec;
    std::filesystem::path abs = std::filesystem::absolute(dir, ec);
    if (ec)
        abs = dir;
    if (!std::filesystem::is_directory(abs / "root", ec)) {
        throw DeviceError("no device image in " + abs.string() +
                          " (create one with: cedevice init " + abs.string() + ")");
    }
    close();
    std::filesystem::path canonical = std::filesystem::canonical(abs, ec);
    if (ec)
        canonical = abs;
    std::unique_ptr<Device> device(new Device(canonical));
    Impl& impl = *device->impl_;
    impl.root = std::filesystem::canonical(canonical / "root", ec);
    if (ec)
        impl.root = canonical / "root";
    impl.rootHost = impl.root.string();
    while (impl.rootHost.size() > 1 && impl.rootHost.back() == '/') impl.rootHost.pop_back();
    impl.rootFd = ::open(impl.rootHost.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    impl.ini = kernel::readIni(canonical / "device.ini");
    if (!impl.ini.attributesMarked) {
        // an image from before the attribute marker: marked once, under the device's lock
        impl.updateIni([&](kernel::DeviceIni& ini) {
            if (ini.attributesMarked)
                return;
            kernel::markStoredAttributes(impl.rootHost);
            ini.attributesMarked = true;
        });
    }
    impl.mountCard();
    impl.registry.attach(canonical);
    impl.changes.attach(canonical);
    kernel::removeAbandonedCopies(*device);
    std::lock_guard lock(g_deviceMutex);
    g_device = std::move(device);
    return *g_device;
}

void Device::close() {
    std::unique_ptr<Device> closing;
    {
        std::lock_guard lock(g_deviceMutex);
        closing = std::move(g_device);
    }
}

Device* Device::current() {
    return g_device.get();
}

std::optional<std::filesystem::path> Device::hostPath(std::u16string_view devicePath) const {
    kernel::Lookup r = kernel::lookup(*this, devicePath);
    if (r.error)
        return std::nullopt;
    return std::filesystem::path(r.host);
}

void Device::log(std::string_view line) {
    std::string text(line);
    for (char& c : text) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    text += '\n';
    int fd = ::open((dir_ / "log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    // one write per line, so lines of several programs never interleave
    ssize_t n = ::write(fd, text.data(), text.size());
    (void)n;
    ::close(fd);
}

int Device::screenWidth() const {
    return impl_->ini.width;
}
int Device::screenHeight() const {
    return impl_->ini.height;
}

Device::Impl::~Impl() {
    if (rootFd >= 0)
        ::close(rootFd);
    if (cardFd >= 0)
        ::close(cardFd);
}

void Device::Impl::updateIni(const std::function<void(kernel::DeviceIni&)>& change) {
    std::lock_guard guard(iniMutex);
    ini = kernel::updateIniFile(root.parent_path(), change, &ini);
}

}  // namespace ce

namespace ce::kernel {

// ---- device.ini ----
//
//   [screen]        width=240, height=320
//   [boot]          count=N, clean=0|1
//   [image]         attributes=marked (entries with DOS attributes carry the marker)
//   [storage]       card=<host folder of \Storage Card>
//   [programs]      <device program path>=<host program>

DeviceIni readIni(const std::filesystem::path& file) {
    DeviceIni ini;
    std::ifstream in(file);
    if (!in)
        return ini;  // a device without device.ini has the defaults
    std::string line, section;
    int number = 0;
    auto fail = [&](const std::string& what) {
        throw DeviceError(file.string() + ", line " + std::to_string(number) + ": " + what);
    };
    auto toInt = [&](const std::string& v, int lo, int hi) {
        char* end = nullptr;
        long n = strtol(v.c_str(), &end, 10);
        if (v.empty() || *end || n < lo || n > hi)
            fail("bad number \"" + v + "\"");
        return static_cast<int>(n);
    };
    // A count only grows: any number of digits is read, and one past the limit (written by
    // hand, or by an older platform that counted further than it read back) as the limit.
    auto toCount = [&](const std::string& v) {
        if (v.empty() || v.find_first_not_of("0123456789") != std::string::npos)
            fail("bad number \"" + v + "\"");
        long long n = 0;
        for (char c : v) n = std::min<long long>(n * 10 + (c - '0'), kMaxBootCount);
        return static_cast<int>(n);
    };
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t s = line.find_first_not_of(" \t");
        if (s == std::string::npos || line[s] == ';' || line[s] == '#')
            continue;
        line = line.substr(s);
        if (line[0] == '[') {
            if (line.back() != ']')
                fail("unterminated section name");
            section = line.substr(1, line.size() - 2);
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            fail("expected name=value");
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
        if (section == "screen" && key == "width") {
            ini.width = toInt(value, 16, 4096);
        } else if (section == "screen" && key == "height") {
            ini.height = toInt(value, 16, 4096);
        } else if (section == "boot" && key == "count") {
            ini.bootCount = toCount(value);
        } else if (section == "boot" && key == "clean") {
            ini.cleanBoot = toInt(value, 0, 1) != 0;
        } else if (section == "image" && key == "attributes") {
            ini.attributesMarked = value == "marked";
        } else if (section == "storage" && key == "card") {
            ini.card = value;
        } else if (section == "programs") {
            std::u16string dev = fromUtf8(key);
            ini.programs[folded(dev)] = value;
            ini.programNames[folded(dev)] = dev;
        }
    }
    return ini;
}

void writeIni(const std::filesystem::path& file, const DeviceIni& ini) {
    std::ostringstream out;
    out << "; device settings\n[screen]\nwidth=" << ini.width << "\nheight=" << ini.height
        << "\n\n[boot]\ncount=" << ini.bootCount << "\nclean=" << (ini.cleanBoot ? 1 : 0) << "\n\n";
    if (ini.attributesMarked)
        out << "[image]\nattributes=marked\n\n";
    if (!ini.card.empty())
        out << "[storage]\ncard=" << ini.card << "\n\n";
    out << "[programs]\n";
    for (const auto& [key, host] : ini.programs) {
        auto name = ini.programNames.find(key);
        out << toUtf8(name != ini.programNames.end() ? name->second : key) << '=' << host << '\n';
    }
    std::filesystem::path tmp = file;
    tmp += ".tmp." + std::to_string(getpid());
    {
        std::ofstream f(tmp, std::ios::trunc);
        f << out.str();
        if (!f.flush())
            throw DeviceError("cannot write " + file.string());
    }
    if (rename(tmp.c_str(), file.c_str()) != 0) {
        unlink(tmp.c_str());
        throw DeviceError("cannot write " + file.string() + ": " + strerror(errno));
    }
}

DeviceIni updateIniFile(const std::filesystem::path& deviceDir,
                        const std::function<void(DeviceIni&)>& change, const DeviceIni* known) {
    FileLock lock(deviceDir / "device.lock");
    DeviceIni ini = known ? *known : DeviceIni();
    try {
        ini = readIni(deviceDir / "device.ini");
    } catch (const DeviceError&) {
        // a broken file is replaced by the good state below
    }
    change(ini);
    writeIni(deviceDir / "device.ini", ini);
    return ini;
}

FileLock::FileLock(const std::filesystem::path& file) {
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0)
        flock(fd_, LOCK_EX);
}

FileLock::~FileLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

// ---- handles ----

HANDLE HandleTable::add(std::unique_ptr<KernelObject> object) {
    std::lock_guard lock(mutex_);
    uintptr_t h = next_;
    next_ += 4;
    objects_.emplace(h, std::move(object));
    return reinterpret_cast<HANDLE>(h);
}

bool HandleTable::close(HANDLE h) {
    std::unique_ptr<KernelObject> object;
    {
        std::lock_guard lock(mutex_);
        auto it = objects_.find(reinterpret_cast<uintptr_t>(h));
        if (it == objects_.end())
            return false;
        object = std::move(it->second);
        objects_.erase(it);
    }
    return true;  // destroyed outside the lock
}

}  // namespace ce::kernel
