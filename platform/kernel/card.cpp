// The storage card: "\Storage Card" backed by a host folder of its own, which may lie on another
// file system. The kernel's lookups route the card's paths to that folder and keep them inside it
// as they keep the object store's inside root/; enumerations of "\" show the card's folder with
// FILE_ATTRIBUTE_TEMPORARY, as Windows CE shows a mounted volume. The card is not part of the
// image: a clean boot restores root/ and leaves the card alone.
#include "internal.h"
#include "kernel.h"

#include <fcntl.h>
#include <unistd.h>

namespace ce {

namespace {

namespace fs = std::filesystem;

// True when `inner` is `outer` or lies below it (both canonical).
bool within(const std::string& inner, const std::string& outer) {
    return inner == outer ||
           (inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
            (outer == "/" || inner[outer.size()] == '/'));
}

// Why a card folder cannot serve the image in deviceDir (both canonical), or "".
std::string cardConflict(const std::string& card, const std::string& deviceDir) {
    if (within(deviceDir, card))
        return "the storage card folder " + card + " holds the device image " + deviceDir;
    if (within(card, deviceDir))
        return "the storage card folder " + card + " lies inside the device image " + deviceDir;
    return "";
}

}  // namespace

void Device::Impl::mountCard() {
    cardHost.clear();
    if (cardFd >= 0)
        ::close(cardFd);
    cardFd = -1;
    if (ini.card.empty())
        return;
    cardHost = ini.card;
    while (cardHost.size() > 1 && cardHost.back() == '/') cardHost.pop_back();
    fs::path deviceDir = root.parent_path();
    auto refuse = [&](const std::string& why) {
        throw DeviceError((deviceDir / "device.ini").string() + ": " + why +
                          " (take it out with: cedevice card " + deviceDir.string() + " --eject)");
    };
    if (cardHost.front() != '/')
        refuse("the storage card folder " + cardHost + " is not an absolute path");
    std::error_code ec;
    fs::path card = fs::canonical(cardHost, ec);
    if (ec)
        return;  // set but not there: no card in the slot
    std::string why = cardConflict(card.string(), deviceDir.string());
    if (!why.empty())
        refuse(why);
    // the folder as it is now, never through a link in its own place
    cardFd = ::open(cardHost.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (cardFd >= 0 && fstat(cardFd, &cardStat) != 0) {
        ::close(cardFd);
        cardFd = -1;
    }
}

bool Device::Impl::cardPresent(struct stat* st) const {
    struct stat now;
    if (cardFd < 0 || lstat(cardHost.c_str(), &now) != 0 || !S_ISDIR(now.st_mode) ||
        now.st_dev != cardStat.st_dev || now.st_ino != cardStat.st_ino)
        return false;
    if (st)
        *st = now;
    return true;
}

}  // namespace ce

namespace ce::kernel {

bool isCardName(std::u16string_view name) {
    return equalsNoCase(name, kCardName);
}

bool startsWithCard(std::string_view folderRel) {
    return isCardName(fromUtf8(folderRel.substr(0, folderRel.find('/'))));
}

void insertCard(const std::filesystem::path& dir, const std::filesystem::path& hostDir) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(dir / "root", ec))
        throw DeviceError("no device image in " + dir.string() +
                          " (create one with: cedevice init " + dir.string() + ")");
    fs::path card = fs::canonical(hostDir, ec);
    if (ec || !fs::is_directory(card, ec))
        throw DeviceError("no folder " + hostDir.string() + " for the storage card");
    if (card.string().find('\n') != std::string::npos)
        throw DeviceError("the storage card folder's name holds a line break: " + card.string());
    std::string why = cardConflict(card.string(), fs::canonical(dir).string());
    if (!why.empty())
        throw DeviceError(why);
    updateIniFile(dir, [&](DeviceIni& ini) { ini.card = card.string(); });
    noteFolderChange(dir);
    Device::open(dir).log("storage card inserted " + card.string());
    Device::close();
}

bool ejectCard(const std::filesystem::path& dir) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dir / "root", ec))
        throw DeviceError("no device image in " + dir.string());
    bool had = false;
    updateIniFile(dir, [&](DeviceIni& ini) {
        had = !ini.card.empty();
        ini.card.clear();
    });
    if (had) {
        noteFolderChange(dir);
        Device::open(dir).log("storage card removed");
        Device::close();
    }
    return had;
}

std::filesystem::path cardFolder(const std::filesystem::path& dir) {
    return readIni(dir / "device.ini").card;
}

}  // namespace ce::kernel
