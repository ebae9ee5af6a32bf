// cedevice: host tool around a device image (create, boot, inspect the registry, install, the
// storage card).
#include "kernel/kernel.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char kUsage[] =
    "usage: cedevice COMMAND DIR [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  init DIR         create the factory image of a Pocket PC in DIR (also kept in DIR/factory)\n"
    "  boot DIR         start the device: a pending clean boot restores the factory image first;\n"
    "                   then every shortcut in \\Windows\\StartUp runs and is waited for\n"
    "                   --wait SECONDS   how long to wait for the startup programs (default 30)\n"
    "  reg DIR          print the device registry as a .reg file\n"
    "  install DIR      install Varnello on the device (the cabinet installer's work)\n"
    "                   --program PATH     host program of Varnello.exe (default: varnello beside "
    "cedevice)\n"
    "                   --help-file PATH   tunedoc.htm (default: beside cedevice)\n"
    "                   --setup PATH       setup library (default: libVarnelloSetup.so beside "
    "cedevice)\n"
    "  uninstall DIR    remove Varnello from the device\n"
    "                   --setup PATH       setup library (default: libVarnelloSetup.so beside "
    "cedevice)\n"
    "  card DIR HOSTDIR put a storage card in: \\Storage Card is the host folder HOSTDIR\n"
    "  card DIR --eject take the storage card out (its files stay in its folder)\n"
    "  card DIR         say which folder is the storage card\n"
    "  --help           show this text\n"
    "\n"
    "A device image is a folder: device.ini, registry.reg, root/ (the object store), factory/, "
    "log.\n";

fs::path binDir() {
    std::error_code ec;
    fs::path self = fs::canonical("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

int usageError(const std::string& what) {
    fprintf(stderr, "cedevice: %s (see cedevice --help)\n", what.c_str());
    return 2;
}

// card DIR [HOSTDIR | --eject]
int card(const fs::path& dir, const std::vector<std::string>& rest) {
    if (rest.size() > 1)
        return usageError("card: too many arguments");
    if (rest.empty()) {
        fs::path folder = ce::kernel::cardFolder(dir);
        if (folder.empty())
            printf("no storage card in %s\n", dir.c_str());
        else
            printf("\\Storage Card is %s\n", folder.c_str());
        return 0;
    }
    if (rest[0] == "--eject") {
        if (ce::kernel::ejectCard(dir))
            printf("took the storage card out of %s\n", dir.c_str());
        else
            printf("no storage card in %s\n", dir.c_str());
        return 0;
    }
    if (rest[0].rfind("--", 0) == 0)
        return usageError("unknown option " + rest[0] + " for card");
    ce::kernel::insertCard(dir, rest[0]);
    printf("\\Storage Card of %s is %s\n", dir.c_str(), ce::kernel::cardFolder(dir).c_str());
    return 0;
}

int run(const std::vector<std::string>& args) {
    if (args.empty())
        return usageError("no command given");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        fputs(kUsage, stdout);
        return 0;
    }
    if (args.size() < 2)
        return usageError(command + ": no device folder given");
    fs::path dir = args[1];
    if (command == "card")
        return card(dir, std::vector<std::string>(args.begin() + 2, args.end()));
    ce::kernel::InstallOptions install;
    double waitSeconds = 30;
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& opt = args[i];
        if (i + 1 >= args.size())
            return usageError("unknown or incomplete option " + opt);
        const std::string& value = args[++i];
        if (opt == "--program" && command == "install")
            install.program = value;
        else if (opt == "--help-file" && command == "install")
            install.helpFile = value;
        else if (opt == "--setup" && (command == "install" || command == "uninstall"))
            install.setupLibrary = value;
        else if (opt == "--wait" && command == "boot") {
            char* end = nullptr;
            waitSeconds = strtod(value.c_str(), &end);
            if (*end || waitSeconds < 0)
                return usageError("bad --wait " + value);
        } else {
            return usageError("unknown option " + opt + " for " + command);
        }
    }

    if (command == "init") {
        ce::kernel::createImage(dir);
        printf("created the factory image in %s\n", dir.c_str());
        return 0;
    }
    if (command == "boot") {
        auto report = ce::kernel::boot(
            dir, std::chrono::milliseconds(static_cast<long long>(waitSeconds * 1000)));
        if (report.cleanBoot)
            printf("clean boot: restored the factory image\n");
        printf("boot %d\n", report.bootCount);
        for (const auto& line : report.lines) printf("%s\n", line.c_str());
        ce::Device::close();
        return report.allEnded ? 0 : 1;
    }
    if (command != "reg" && command != "install" && command != "uninstall")
        return usageError("unknown command " + command);
    ce::Device::open(dir);
    int rc = 0;
    if (command == "reg") {
        fputs(ce::kernel::exportRegistry().c_str(), stdout);
    } else if (command == "install") {
        ce::kernel::install(ce::kernel::locateInstallFiles(install, binDir()));
        printf("installed Varnello in \\Program Files\\Varnello on %s\n", dir.c_str());
    } else {
        ce::kernel::uninstall(ce::kernel::locateInstallFiles(install, binDir()).setupLibrary);
        printf("removed Varnello from %s\n", dir.c_str());
    }
    ce::Device::close();
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return run(args);
    } catch (const ce::DeviceError& e) {
        fprintf(stderr, "cedevice: %s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        fprintf(stderr, "cedevice: %s\n", e.what());
        return 1;
    }
}
