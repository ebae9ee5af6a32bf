// Nothing outside the device image is ever reached: a canary beside the image survives
// deletes, moves, copies, opens and walks through symbolic links and "..".
#include "util.h"

using ce::test::TempDevice;

namespace {

class ContainmentTest : public ::testing::Test {
  protected:
    TempDevice device{TempDevice::Contents::Empty};
    std::filesystem::path canary = device.outside() / "canary.txt";
    void SetUp() override {
        kt::writeHost(canary, "alive");
        kt::writeHost(device.outside() / "Folder" / "inner.txt", "inner");
        std::filesystem::create_directory_symlink(device.outside(), device.host(u"\\Link"));
        std::filesystem::create_symlink(canary, device.host(u"\\Temp\\evil.tmp"));
    }
    void expectCanaryAlive() {
        EXPECT_EQ(kt::readHost(canary), "alive");
        EXPECT_EQ(kt::readHost(device.outside() / "Folder" / "inner.txt"), "inner");
    }
};

TEST_F(ContainmentTest, ALinkIsListedAsAPlainFile) {
    auto entries = kt::find(u"\\*");
    ASSERT_EQ(entries.count(u"Link"), 1u);
    EXPECT_FALSE(entries[u"Link"].attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(entries[u"Link"].size, 0u);
    EXPECT_TRUE(kt::find(u"\\Link\\*").empty());  // never descended
    EXPECT_EQ(GetFileAttributesW(u"\\Link\\canary.txt"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ContainmentTest, DeletesThroughLinksAndDotDotReachNothingOutside) {
    EXPECT_FALSE(DeleteFileW(u"\\Link\\canary.txt"));
    EXPECT_FALSE(DeleteFileW(u"\\..\\outside\\canary.txt"));
    EXPECT_FALSE(DeleteFileW(u"\\Temp\\..\\..\\outside\\canary.txt"));
    EXPECT_FALSE(RemoveDirectoryW(u"\\Link\\Folder"));
    EXPECT_FALSE(SetFileAttributesW(u"\\Temp\\evil.tmp", FILE_ATTRIBUTE_READONLY));
    // deleting the link removes the link only
    EXPECT_TRUE(DeleteFileW(u"\\Temp\\evil.tmp"));
    EXPECT_FALSE(std::filesystem::is_symlink(device.host(u"\\Temp\\evil.tmp")));
    EXPECT_FALSE(RemoveDirectoryW(u"\\Link"));
    EXPECT_TRUE(DeleteFileW(u"\\Link"));
    expectCanaryAlive();
}

TEST_F(ContainmentTest, OpensCopiesAndMovesDoNotFollowLinks) {
    EXPECT_EQ(_wfopen(u"\\Temp\\evil.tmp", u"w"), nullptr);
    EXPECT_EQ(_wfopen(u"\\Temp\\evil.tmp", u"r"), nullptr);
    EXPECT_EQ(_wfopen(u"\\Link\\canary.txt", u"r"), nullptr);
    EXPECT_EQ(
        CreateFileW(u"\\Temp\\evil.tmp", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
        INVALID_HANDLE_VALUE);
    kt::writeHost(device.host(u"\\mine.txt"), "mine");
    EXPECT_FALSE(CopyFileW(u"\\mine.txt", u"\\Temp\\evil.tmp", FALSE));
    EXPECT_FALSE(CopyFileW(u"\\Temp\\evil.tmp", u"\\copy.txt", FALSE));
    EXPECT_FALSE(MoveFileW(u"\\mine.txt", u"\\Link\\mine.txt"));
    EXPECT_FALSE(MoveFileW(u"\\Link\\canary.txt", u"\\stolen.txt"));
    EXPECT_FALSE(MoveFileW(u"\\mine.txt", u"\\..\\outside\\mine.txt"));
    EXPECT_FALSE(CreateDirectoryW(u"\\Link\\New", nullptr));
    EXPECT_FALSE(std::filesystem::exists(device.outside() / "New"));
    EXPECT_FALSE(std::filesystem::exists(device.outside() / "mine.txt"));
    // moving the link moves the link
    EXPECT_TRUE(MoveFileW(u"\\Temp\\evil.tmp", u"\\moved.tmp"));
    EXPECT_TRUE(std::filesystem::is_symlink(device.host(u"\\moved.tmp")));
    expectCanaryAlive();
}

TEST_F(ContainmentTest, ARecursiveCleanUpOfTheWholeDeviceStaysInside) {
    kt::writeHost(device.host(u"\\My Documents\\doc.txt"), "d");
    std::filesystem::create_directory_symlink(device.outside() / "Folder",
                                              device.host(u"\\My Documents\\Folder"));
    kt::cleanTree(u"\\");
    EXPECT_TRUE(kt::find(u"\\*").empty());
    expectCanaryAlive();
}

TEST_F(ContainmentTest, HostPathRefusesEscapes) {
    ce::Device& d = *ce::Device::current();
    EXPECT_FALSE(d.hostPath(u"\\..\\outside"));
    EXPECT_FALSE(d.hostPath(u"\\Temp\\..\\..\\outside"));
    EXPECT_FALSE(d.hostPath(u"relative"));
    EXPECT_FALSE(d.hostPath(u"\\Link\\canary.txt"));
    EXPECT_FALSE(d.hostPath(u"\\link\\Folder\\inner.txt"));
    auto root = std::filesystem::canonical(device.dir()) / "root";
    // a slash is a separator like the backslash, so a host-absolute path stays inside
    auto slashed = d.hostPath(u"/etc/passwd");
    ASSERT_TRUE(slashed);
    EXPECT_EQ(*slashed, root / "etc" / "passwd");
    EXPECT_EQ(*d.hostPath(u"\\Temp\\x"), root / "Temp" / "x");
    EXPECT_EQ(*d.hostPath(u"\\"), root);
}

}  // namespace
