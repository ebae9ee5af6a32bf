// cedevice: host tool around a device image (create, boot, inspect the registry, install, the
// storage card, and see what a run changed with snapshots).
#include "diff.h"
#include "kernel/kernel.h"
#include "kernel/text.h"
#include "snapshot.h"

#include <windows.h>

#include <algorithm>
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
    "  attrib DIR DEVPATH [+h|-h|+r|-r|+s|-s|+a|-a]...\n"
    "                   set the attributes of a file or folder of the device (hidden, read-only,\n"
    "                   system, archive) and print them: R H S A, and D for a folder\n"
    "  card DIR HOSTDIR put a storage card in: \\Storage Card is the host folder HOSTDIR\n"
    "  card DIR --eject take the storage card out (its files stay in its folder)\n"
    "  card DIR         say which folder is the storage card\n"
    "  snapshot DIR [NAME]\n"
    "                   record every file and folder (size, times, attributes) and every registry\n"
    "                   key and value of the device in DIR/snapshots/NAME (default: default)\n"
    "  diff DIR [NAME | --factory] [--json]\n"
    "                   what changed since the snapshot NAME (default: default) or since the\n"
    "                   factory image: files deleted, added and changed, folders moved, registry\n"
    "                   keys and values added, removed and changed; --json for programs\n"
    "  --help           show this text\n"
    "  --version        show the version\n"
    "\n"
    "A device image is a folder: device.ini, registry.reg, root/ (the object store), factory/, "
    "log.\n";

const char kDefaultSnapshot[] = "default";

fs::path binDir() {
    std::error_code ec;
    fs::path self = fs::canonical("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

int usageError(const std::string& what) {
    fprintf(stderr, "cedevice: %s (see cedevice --help)\n", what.c_str());
    return 2;
}

// The attribute letters of `cedevice attrib`, in the order they are printed.
struct AttributeLetter {
    char letter;
    DWORD bit;
};
constexpr AttributeLetter kAttributeLetters[] = {
    {'R', FILE_ATTRIBUTE_READONLY}, {'H', FILE_ATTRIBUTE_HIDDEN},    {'S', FILE_ATTRIBUTE_SYSTEM},
    {'A', FILE_ATTRIBUTE_ARCHIVE},  {'D', FILE_ATTRIBUTE_DIRECTORY},
};

// What a failed attribute call means, in words.
std::string attributeError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "no such file or folder";
        case ERROR_INVALID_NAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_BAD_NETPATH:
            return "not a path of the device";
        case ERROR_ACCESS_DENIED:
            return "it holds no attributes (the root, a link or a special file)";
        default:
            return "error " + std::to_string(error);
    }
}

// cedevice attrib DIR DEVPATH [+h|-h|...]: sets the attributes through the device's own calls,
// so they are stored as the platform reads them, and prints what the device now sees.
int attrib(const fs::path& dir, const std::vector<std::string>& args) {
    if (args.size() < 3)
        return usageError("attrib: no device path given");
    std::u16string path = ce::kernel::fromHostName(args[2]);
    DWORD set = 0, clear = 0;
    for (size_t i = 3; i < args.size(); ++i) {
        const std::string& flag = args[i];
        const AttributeLetter* found = nullptr;
        if (flag.size() == 2 && (flag[0] == '+' || flag[0] == '-')) {
            for (const auto& a : kAttributeLetters)
                if (a.letter == toupper(static_cast<unsigned char>(flag[1])) && a.letter != 'D')
                    found = &a;
        }
        if (!found)
            return usageError("attrib: unknown attribute " + flag);
        (flag[0] == '+' ? set : clear) |= found->bit;
        (flag[0] == '+' ? clear : set) &= ~found->bit;
    }
    ce::Device::open(dir);
    const std::string shown = args[2];
    DWORD now = GetFileAttributesW(path.c_str());
    if (now == INVALID_FILE_ATTRIBUTES) {
        fprintf(stderr, "cedevice: %s: %s\n", shown.c_str(),
                attributeError(GetLastError()).c_str());
        return 1;
    }
    if (set || clear) {
        DWORD wanted = ((now & ~FILE_ATTRIBUTE_NORMAL) | set) & ~clear;
        if (!SetFileAttributesW(path.c_str(), wanted & ~FILE_ATTRIBUTE_DIRECTORY)) {
            fprintf(stderr, "cedevice: %s: %s\n", shown.c_str(),
                    attributeError(GetLastError()).c_str());
            return 1;
        }
        now = GetFileAttributesW(path.c_str());
    }
    std::string letters;
    for (const auto& a : kAttributeLetters) letters += (now & a.bit) ? a.letter : '-';
    printf("%s  %s\n", letters.c_str(), shown.c_str());
    ce::Device::close();
    return 0;
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

struct Options {
    ce::kernel::InstallOptions install;
    double waitSeconds = 30;
    std::string snapshot = kDefaultSnapshot;
    bool factory = false;
    bool json = false;
};

// The words after DIR; returns an error for the user, or "" when they are sound.
std::string readOptions(const std::string& command, const std::vector<std::string>& args,
                        Options& o) {
    bool named = false;
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& opt = args[i];
        bool snapshots = command == "snapshot" || command == "diff";
        if (opt == "--json" && command == "diff") {
            o.json = true;
            continue;
        }
        if (opt == "--factory" && command == "diff") {
            o.factory = true;
            continue;
        }
        if (snapshots && opt.rfind("-", 0) != 0) {
            if (named)
                return "more than one snapshot name";
            if (!ce::snapshot::validName(opt))
                return "bad snapshot name \"" + opt +
                       "\" (letters, digits, '.', '-' and '_', at most 64, not beginning with '.')";
            o.snapshot = opt;
            named = true;
            continue;
        }
        if (i + 1 >= args.size())
            return "unknown or incomplete option " + opt + " for " + command;
        const std::string& value = args[++i];
        if (opt == "--program" && command == "install")
            o.install.program = value;
        else if (opt == "--help-file" && command == "install")
            o.install.helpFile = value;
        else if (opt == "--setup" && (command == "install" || command == "uninstall"))
            o.install.setupLibrary = value;
        else if (opt == "--wait" && command == "boot") {
            char* end = nullptr;
            o.waitSeconds = strtod(value.c_str(), &end);
            if (*end || !(o.waitSeconds >= 0) || o.waitSeconds > 86400)
                return "bad --wait " + value;
        } else {
            return "unknown option " + opt + " for " + command;
        }
    }
    if (o.factory && named)
        return "diff takes a snapshot name or --factory, not both";
    return "";
}

int takeSnapshot(const fs::path& dir, const Options& o) {
    ce::Device::open(dir);
    ce::snapshot::Snapshot s = ce::snapshot::capture();
    fs::path file = ce::snapshot::fileOf(ce::Device::current()->dir(), o.snapshot);
    ce::Device::close();
    ce::snapshot::save(s, file);
    printf("snapshot \"%s\" of %s: %zu files and folders, %zu registry keys\n", o.snapshot.c_str(),
           dir.c_str(), s.files.size() - 1, s.registry.size() - 1);
    return 0;
}

int showDiff(const fs::path& dir, const Options& o) {
    ce::Device::open(dir);
    fs::path deviceDir = ce::Device::current()->dir();
    ce::snapshot::Snapshot now = ce::snapshot::capture();
    ce::Device::close();
    ce::snapshot::Snapshot before;
    ce::snapshot::Since since;
    if (o.factory) {
        before = ce::snapshot::captureFactory(deviceDir);
    } else {
        fs::path file = ce::snapshot::fileOf(deviceDir, o.snapshot);
        std::error_code ec;
        if (!fs::exists(file, ec))
            throw ce::DeviceError("no snapshot \"" + o.snapshot + "\" of " + dir.string() +
                                  " (take one with: cedevice snapshot " + dir.string() +
                                  (o.snapshot == kDefaultSnapshot ? "" : " " + o.snapshot) + ")");
        before = ce::snapshot::load(file);
        since = {o.snapshot, before.taken};
    }
    ce::snapshot::Diff d = ce::snapshot::compare(before, now);
    std::string out =
        o.json ? ce::snapshot::formatJson(d, since) : ce::snapshot::formatText(d, since);
    fwrite(out.data(), 1, out.size(), stdout);
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
    if (command == "--version") {
        printf("cedevice %s\n", CE_VERSION);
        return 0;
    }
    static const char* const commands[] = {"init", "boot",     "reg",  "install", "uninstall",
                                           "card", "snapshot", "diff", "attrib"};
    if (std::find_if(std::begin(commands), std::end(commands),
                     [&](const char* c) { return command == c; }) == std::end(commands))
        return usageError("unknown command " + command);
    if (args.size() < 2 || args[1].empty())
        return usageError(command + ": no device folder given");
    fs::path dir = args[1];
    if (command == "attrib")
        return attrib(dir, args);
    if (command == "card")
        return card(dir, std::vector<std::string>(args.begin() + 2, args.end()));
    Options o;
    if (std::string error = readOptions(command, args, o); !error.empty())
        return usageError(error);

    if (command == "init") {
        ce::kernel::createImage(dir);
        printf("created the factory image in %s\n", dir.c_str());
        return 0;
    }
    if (command == "boot") {
        auto report = ce::kernel::boot(
            dir, std::chrono::milliseconds(static_cast<long long>(o.waitSeconds * 1000)));
        if (report.cleanBoot)
            printf("clean boot: restored the factory image\n");
        printf("boot %d\n", report.bootCount);
        for (const auto& line : report.lines) printf("%s\n", line.c_str());
        ce::Device::close();
        return report.allEnded ? 0 : 1;
    }
    if (command == "snapshot")
        return takeSnapshot(dir, o);
    if (command == "diff")
        return showDiff(dir, o);
    ce::Device::open(dir);
    if (command == "reg") {
        fputs(ce::kernel::exportRegistry().c_str(), stdout);
    } else if (command == "install") {
        ce::kernel::install(ce::kernel::locateInstallFiles(o.install, binDir()));
        printf("installed Varnello in \\Program Files\\Varnello on %s\n", dir.c_str());
    } else {
        ce::kernel::uninstall(ce::kernel::locateInstallFiles(o.install, binDir()).setupLibrary);
        printf("removed Varnello from %s\n", dir.c_str());
    }
    ce::Device::close();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return run(args);
    } catch (const std::exception& e) {
        ce::Device::close();
        fprintf(stderr, "cedevice: %s\n", e.what());
        return 1;
    }
}
