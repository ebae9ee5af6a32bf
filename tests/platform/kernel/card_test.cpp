// The storage card: "\Storage Card" backed by a host folder of its own. It shows in "\" as a
// folder marked temporary, as a mounted volume does on Windows CE; it holds what its host folder
// holds; nothing on it leads out of that folder; a full card refuses what does not fit and keeps
// the source; a clean boot leaves it alone; cedevice puts it in and takes it out.
#include <pkfuncs.h>

#include "tmpfs.h"
#include "util.h"

#include <sys/wait.h>

using ce::test::TempDevice;

namespace {

namespace fs = std::filesystem;

constexpr DWORD kCard = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY;

std::string cedevice(const std::string& args, int* code = nullptr) {
    std::string cmd = std::string(CEDEVICE) + " " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[512];
    while (p && fgets(buf, sizeof buf, p)) out += buf;
    int status = p ? pclose(p) : -1;
    if (code)
        *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::string quoted(const fs::path& p) {
    return "'" + p.string() + "'";
}

class CardTest : public ::testing::Test {
  protected:
    bool mountsOfItsOwn = kt::privateMounts().empty();  // before the device opens
    TempDevice device{TempDevice::Contents::Empty};
    fs::path card = device.dir().parent_path() / "card";  // beside the image, not in it
    fs::path canary = device.outside() / "canary.txt";

    void SetUp() override {
        fs::create_directories(card);
        kt::writeHost(canary, "alive");
    }
    // Puts the card in and opens the device again, as a program started afterwards does.
    void insert() {
        ce::kernel::insertCard(device.dir(), card);
        ce::Device::open(device.dir());
    }
    DWORD errorOf(bool failed) {
        EXPECT_TRUE(failed);
        return GetLastError();
    }
};

TEST_F(CardTest, TheCardIsAFolderOfTheRootMarkedTemporaryThatHoldsItsHostFolder) {
    kt::writeHost(card / "photo.jpg", "jpeg");
    kt::writeHost(card / "Docs" / "a.txt", "a");
    // a folder of that name in root/ is hidden beneath the card, as beneath a mount point
    kt::writeHost(device.host(u"\\Storage Card\\beneath.txt"), "beneath");
    insert();

    auto root = kt::find(u"\\*");
    ASSERT_EQ(root.count(u"Storage Card"), 1u);
    EXPECT_EQ(root[u"Storage Card"].attributes, kCard);
    EXPECT_EQ(kt::names(u"\\Stor*"), std::vector<std::u16string>{u"Storage Card"});
    EXPECT_TRUE(kt::find(u"\\*.txt").empty());
    EXPECT_EQ(GetFileAttributesW(u"\\Storage Card"), kCard);
    EXPECT_EQ(GetFileAttributesW(u"\\STORAGE CARD\\"), kCard);
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(u"\\storage card", &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::u16string(fd.cFileName), u"Storage Card");
    EXPECT_EQ(fd.dwFileAttributes, kCard);
    FindClose(h);

    using V = std::vector<std::u16string>;
    EXPECT_EQ(kt::names(u"\\Storage Card\\*"), (V{u"Docs", u"photo.jpg"}));
    EXPECT_EQ(kt::names(u"\\storage card/docs\\*"), (V{u"a.txt"}));
    EXPECT_EQ(GetFileAttributesW(u"\\Storage Card\\beneath.txt"), INVALID_FILE_ATTRIBUTES);
    // what is written there lands in the card's folder
    HANDLE f =
        CreateFileW(u"\\Storage Card\\new.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written;
    WriteFile(f, "new", 3, &written, nullptr);
    CloseHandle(f);
    EXPECT_EQ(kt::readHost(card / "new.txt"), "new");
    EXPECT_TRUE(CreateDirectoryW(u"\\Storage Card\\Sub", nullptr));
    EXPECT_TRUE(fs::is_directory(card / "Sub"));
    EXPECT_TRUE(MoveFileW(u"\\Storage Card\\new.txt", u"\\Storage Card\\Sub\\moved.txt"));
    EXPECT_EQ(kt::readHost(card / "Sub" / "moved.txt"), "new");

    // the card's own folder stays what it is
    EXPECT_EQ(errorOf(!RemoveDirectoryW(u"\\Storage Card")), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(errorOf(!DeleteFileW(u"\\Storage Card")), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(errorOf(!MoveFileW(u"\\Storage Card", u"\\Elsewhere")), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(errorOf(!MoveFileW(u"\\Temp", u"\\Storage Card")), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(errorOf(!SetFileAttributesW(u"\\Storage Card", FILE_ATTRIBUTE_HIDDEN)),
              DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(errorOf(!CreateDirectoryW(u"\\Storage Card", nullptr)), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(fs::is_directory(card));
    EXPECT_EQ(kt::readHost(device.host(u"\\Storage Card\\beneath.txt")), "beneath");

    // a walk from the root goes into the card, never into the folder beneath it
    std::vector<std::string> all;
    kt::walk(u"\\", [&](const std::u16string& path, bool) { all.push_back(kt::utf8(path)); });
    std::sort(all.begin(), all.end());
    const std::vector<std::string> expected = {
        "\\Storage Card",      "\\Storage Card\\Docs",           "\\Storage Card\\Docs\\a.txt",
        "\\Storage Card\\Sub", "\\Storage Card\\Sub\\moved.txt", "\\Storage Card\\photo.jpg"};
    std::vector<std::string> cardOnly;
    for (const std::string& p : all)
        if (p.rfind("\\Storage Card", 0) == 0)
            cardOnly.push_back(p);
    EXPECT_EQ(cardOnly, expected);
}

TEST_F(CardTest, NothingOnTheCardLeadsOutOfItsFolder) {
    kt::writeHost(device.outside() / "Folder" / "inner.txt", "inner");
    kt::writeHost(card / "Docs" / "a.txt", "a");
    fs::create_directory_symlink(device.outside(), card / "Link");
    fs::create_symlink(canary, card / "Docs" / "evil.txt");
    insert();

    EXPECT_FALSE(DeleteFileW(u"\\Storage Card\\Link\\canary.txt"));
    EXPECT_FALSE(DeleteFileW(u"\\Storage Card\\..\\..\\outside\\canary.txt"));
    EXPECT_FALSE(RemoveDirectoryW(u"\\Storage Card\\Link\\Folder"));
    EXPECT_EQ(_wfopen(u"\\Storage Card\\Docs\\evil.txt", u"w"), nullptr);
    EXPECT_FALSE(MoveFileW(u"\\Storage Card\\Docs\\a.txt", u"\\Storage Card\\Link\\a.txt"));
    EXPECT_TRUE(kt::find(u"\\Storage Card\\Link\\*").empty());
    ce::Device& d = *ce::Device::current();
    EXPECT_FALSE(d.hostPath(u"\\Storage Card\\..\\outside"));
    EXPECT_FALSE(d.hostPath(u"\\Storage Card\\Link\\canary.txt"));
    EXPECT_EQ(*d.hostPath(u"\\storage card\\Docs"), card / "Docs");

    // a clean-up of the whole device empties the card too, and reaches nothing beyond it
    kt::writeHost(device.host(u"\\Temp\\t.tmp"), "t");
    kt::cleanTree(u"\\");
    EXPECT_EQ(kt::names(u"\\*"), std::vector<std::u16string>{u"Storage Card"});
    EXPECT_TRUE(kt::find(u"\\Storage Card\\*").empty());
    EXPECT_TRUE(fs::is_directory(card));
    EXPECT_EQ(kt::readHost(canary), "alive");
    EXPECT_EQ(kt::readHost(device.outside() / "Folder" / "inner.txt"), "inner");
}

TEST_F(CardTest, AnEmptySlotHasNothingInItAndNothingIsMadeInItsPlace) {
    kt::writeHost(device.host(u"\\Storage Card\\beneath.txt"), "beneath");
    insert();
    ce::Device::close();
    fs::remove_all(card);
    ce::Device::open(device.dir());

    EXPECT_EQ(kt::find(u"\\*").count(u"Storage Card"), 0u);
    EXPECT_EQ(GetFileAttributesW(u"\\Storage Card"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(errorOf(!CreateDirectoryW(u"\\Storage Card", nullptr)), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(
        CreateFileW(u"\\Storage Card\\x.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(errorOf(!CopyFileW(u"\\Storage Card\\beneath.txt", u"\\Temp\\x", FALSE)),
              DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(fs::exists(card));  // nothing was made in the slot's place
    EXPECT_EQ(kt::readHost(device.host(u"\\Storage Card\\beneath.txt")), "beneath");

    // a card folder swapped for a link while the device is open is no card either
    fs::create_directories(card);
    ce::Device::open(device.dir());
    ASSERT_EQ(GetFileAttributesW(u"\\Storage Card"), kCard);
    fs::rename(card, card.string() + ".old");
    fs::create_directory_symlink(device.outside(), card);
    EXPECT_EQ(GetFileAttributesW(u"\\Storage Card\\canary.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(DeleteFileW(u"\\Storage Card\\canary.txt"));
    EXPECT_TRUE(kt::find(u"\\Storage Card\\*").empty());
    EXPECT_EQ(kt::readHost(canary), "alive");
    fs::remove(card);
}

TEST_F(CardTest, AFullCardRefusesWhatDoesNotFitAndTheSourceStays) {
    kt::Tmpfs fs(card, "64k");
    KT_REQUIRE_MOUNTED(fs);
    insert();
    std::string big(200 << 10, 'b'), small(10 << 10, 's');
    kt::writeHost(device.host(u"\\My Documents\\big.bin"), big);
    kt::writeHost(device.host(u"\\My Documents\\small.txt"), small);
    kt::writeHost(device.host(u"\\My Documents\\Folder\\x.txt"), "x");

    EXPECT_EQ(errorOf(!MoveFileW(u"\\My Documents\\big.bin", u"\\Storage Card\\big.bin")),
              DWORD(ERROR_DISK_FULL));
    EXPECT_EQ(kt::readHost(device.host(u"\\My Documents\\big.bin")), big);
    EXPECT_TRUE(MoveFileW(u"\\My Documents\\small.txt", u"\\Storage Card\\small.txt"));
    EXPECT_EQ(kt::readHost(card / "small.txt"), small);
    EXPECT_FALSE(fs::exists(device.host(u"\\My Documents\\small.txt")));
    EXPECT_EQ(errorOf(!MoveFileW(u"\\My Documents\\Folder", u"\\Storage Card\\Folder")),
              DWORD(ERROR_ACCESS_DENIED));
    // a copy that fills the card is refused whole and leaves nothing there
    HANDLE f =
        CreateFileW(u"\\Storage Card\\fill.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(f, big.data(), static_cast<DWORD>(big.size()), &written, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DISK_FULL));
    CloseHandle(f);
    EXPECT_TRUE(DeleteFileW(u"\\Storage Card\\fill.bin"));
    std::vector<std::u16string> onCard = kt::names(u"\\Storage Card\\*");
    EXPECT_EQ(onCard, std::vector<std::u16string>{u"small.txt"});
}

TEST_F(CardTest, AFolderStaysOnItsVolumeEvenWhenBothShareAHostFileSystem) {
    insert();
    kt::writeHost(device.host(u"\\My Documents\\Folder\\x.txt"), "x");
    kt::writeHost(device.host(u"\\My Documents\\file.txt"), "f");
    EXPECT_EQ(errorOf(!MoveFileW(u"\\My Documents\\Folder", u"\\Storage Card\\Folder")),
              DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(errorOf(!MoveFileW(u"\\Storage Card", u"\\My Documents\\Card")),
              DWORD(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(MoveFileW(u"\\My Documents\\file.txt", u"\\Storage Card\\file.txt"));
    EXPECT_EQ(kt::readHost(card / "file.txt"), "f");
    EXPECT_TRUE(fs::exists(device.host(u"\\My Documents\\Folder\\x.txt")));
}

TEST_F(CardTest, ACleanBootRestoresTheImageAndLeavesTheCardAlone) {
    ce::Device::close();
    TempDevice factory;  // a factory image, which a clean boot restores
    fs::path factoryCard = factory.dir().parent_path() / "card";
    fs::create_directories(factoryCard);
    kt::writeHost(factoryCard / "Backup" / "contacts.bak", "contacts");
    ce::kernel::insertCard(factory.dir(), factoryCard);
    ce::Device::open(factory.dir());
    kt::writeHost(factory.host(u"\\My Documents\\after.txt"), "made after the factory");
    ASSERT_TRUE(CreateDirectoryW(u"\\Storage Card\\Made", nullptr));
    SetCleanRebootFlag();
    ce::Device::close();

    ce::kernel::BootReport report = ce::kernel::boot(factory.dir(), std::chrono::seconds(20));
    EXPECT_TRUE(report.cleanBoot);
    EXPECT_FALSE(fs::exists(factory.host(u"\\My Documents\\after.txt")));
    EXPECT_EQ(kt::readHost(factoryCard / "Backup" / "contacts.bak"), "contacts");
    EXPECT_TRUE(fs::is_directory(factoryCard / "Made"));
    EXPECT_EQ(GetFileAttributesW(u"\\Storage Card\\Backup\\contacts.bak"),
              DWORD(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(ce::kernel::cardFolder(factory.dir()), fs::canonical(factoryCard));
}

TEST_F(CardTest, CedevicePutsTheCardInAndTakesItOutAndRefusesWhatWouldBreakContainment) {
    ce::Device::close();
    const std::string dir = quoted(device.dir());
    int code = -1;
    std::string out = cedevice("card " + dir, &code);
    EXPECT_EQ(code, 0);
    EXPECT_NE(out.find("no storage card"), std::string::npos) << out;
    out = cedevice("card " + dir + " " + quoted(card), &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find(fs::canonical(card).string()), std::string::npos) << out;
    EXPECT_NE(kt::readHost(device.dir() / "device.ini")
                  .find("[storage]\ncard=" + fs::canonical(card).string() + "\n"),
              std::string::npos);
    out = cedevice("card " + dir, &code);
    EXPECT_NE(out.find(fs::canonical(card).string()), std::string::npos) << out;

    // refused, in one line, and the card in place is kept
    const std::string refusals[] = {
        quoted(device.dir().parent_path() / "missing"),  // no such folder
        quoted(device.dir() / "root" / "Temp"),          // inside the image
        quoted(device.dir()),                            // the image itself
        quoted(device.dir().parent_path()),              // a folder that holds the image
        quoted(device.dir() / "device.ini"),             // not a folder
    };
    for (const std::string& host : refusals) {
        out = cedevice("card " + dir + " " + host, &code);
        EXPECT_EQ(code, 1) << host << ": " << out;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
        EXPECT_EQ(ce::kernel::cardFolder(device.dir()), fs::canonical(card)) << host;
    }
    EXPECT_NE(cedevice("card " + dir + " a b", &code).find("too many"), std::string::npos);
    EXPECT_EQ(code, 2);

    out = cedevice("card " + dir + " --eject", &code);
    EXPECT_EQ(code, 0);
    EXPECT_NE(out.find("took the storage card out"), std::string::npos) << out;
    EXPECT_TRUE(ce::kernel::cardFolder(device.dir()).empty());
    EXPECT_NE(device.log().find("storage card inserted " + fs::canonical(card).string() +
                                "\nstorage card removed\n"),
              std::string::npos)
        << device.log();

    // a device.ini edited by hand to a card that holds the image: the device says what is wrong
    // and how to mend it, and --eject mends it
    std::string ini = kt::readHost(device.dir() / "device.ini");
    kt::writeHost(device.dir() / "device.ini",
                  ini + "[storage]\ncard=" + device.dir().parent_path().string() + "\n");
    out = cedevice("reg " + dir, &code);
    EXPECT_EQ(code, 1);
    EXPECT_NE(out.find("holds the device image"), std::string::npos) << out;
    EXPECT_NE(out.find("--eject"), std::string::npos) << out;
    cedevice("card " + dir + " --eject", &code);
    EXPECT_EQ(code, 0);
    cedevice("reg " + dir, &code);
    EXPECT_EQ(code, 0);
    // and one that names no absolute folder
    kt::writeHost(device.dir() / "device.ini", ini + "[storage]\ncard=sd\n");
    out = cedevice("reg " + dir, &code);
    EXPECT_EQ(code, 1);
    EXPECT_NE(out.find("not an absolute path"), std::string::npos) << out;
}

}  // namespace
