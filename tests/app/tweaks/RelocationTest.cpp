// A relocation (the folder's content moved, then the registry value pointed at the target) ends
// in one of two states: everything moved and the value names the target, or nothing moved and
// the value still names the source, with a message that says why. Afterwards every one of the
// user's files is whole in the folder the value names. Full and foreign file systems are small
// tmpfs mounts, as a storage card would be; without the right to mount, those tests are skipped.
#include "ApplyRun.h"

#include <cstdio>
#include <cstdlib>

#include "../../platform/kernel/tmpfs.h"
#include "kernel/device.h"
#include "kernel/kernel.h"

namespace appcore {
namespace {

const char16_t kSystemShellFolders[] = u"Explorer\\Shell Folders";

// Writes a file on the host until nothing more fits.
void Fill(const fs::path& file) {
    FILE* f = fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::string block(4096, 'F');
    while (fwrite(block.data(), 1, block.size(), f) == block.size() && fflush(f) == 0) {
    }
    fclose(f);
}

// Mounts of the test process's own, made before any device opens (see tmpfs.h).
struct OwnMounts {
    OwnMounts() { kt::privateMounts(); }
};

class Relocation : public OwnMounts, public ApplyRunTest {
  protected:
    // "My Documents" names \Docs, which holds files at two depths with distinct contents.
    void PlantDocuments() {
        SetRegString(HKEY_LOCAL_MACHINE, kSystemShellFolders, u"My Documents", u"\\Docs");
        // Twenty files of 10 KB: whatever the order, several fit a 64 KB card before one does
        // not.
        for (int i = 0; i < 20; i++) {
            std::u16string name = u"\\Docs\\file" + std::u16string(1, u'a' + i) + u".txt";
            WriteBytes(Host(name), Bytes(10000 + i, (uint8_t)i));
        }
        WriteBytes(Host(u"\\Docs\\Sub\\big.bin"), Bytes(20000, 0xB5));
        WriteBytes(Host(u"\\Docs\\Sub\\Deeper\\small.bin"), Bytes(10, 0x5B));
        documents_ = TakeTree(Host(u"\\Docs"));
    }
    std::vector<MessageBoxInfo> MoveDocumentsTo(const std::u16string& target) {
        return RunApply(RunMode::Interactive, {OPT_MOVE_MY_DOCUMENTS},
                        {{SF_MY_DOCUMENTS_TARGET, target}});
    }
    std::u16string DocumentsValue() {
        return RegString(HKEY_LOCAL_MACHINE, kSystemShellFolders, u"My Documents").value_or(u"");
    }
    // Every file of the documents is whole below folder (other entries may be there too).
    void ExpectDocumentsIn(const std::u16string& folder) { ExpectDocumentsInHost(Host(folder)); }
    void ExpectDocumentsInHost(const fs::path& folder) {
        Tree now = TakeTree(folder);
        for (const auto& [name, content] : documents_) {
            auto it = now.find(name);
            ASSERT_NE(it, now.end()) << name << " is not in the folder the value names";
            EXPECT_TRUE(it->second == content) << name << " is not whole";
        }
    }

    // Puts a storage card in: a tmpfs of this size beside the image, then the device opened
    // again, as a program started afterwards sees it.
    bool InsertCard(const std::string& size) {
        fs::path folder = device_.dir().parent_path() / "card";
        card_ = std::make_unique<kt::Tmpfs>(folder, size);
        if (!card_->mounted())
            return false;
        ce::kernel::insertCard(device_.dir(), folder);
        ce::Device::open(device_.dir());
        return true;
    }

    Tree documents_;
    std::unique_ptr<kt::Tmpfs> card_;
};

TEST_F(Relocation, CompleteMoveEmptiesTheSourceAndNamesTheTarget) {
    PlantDocuments();
    fs::create_directories(Host(u"\\Dest"));
    std::vector<MessageBoxInfo> boxes = MoveDocumentsTo(u"\\Dest\\");
    EXPECT_FALSE(HasError(boxes, u"")) << Describe(boxes);
    EXPECT_EQ(DocumentsValue(), u"\\Dest\\");
    ExpectDocumentsIn(u"\\Dest");
    EXPECT_TRUE(fs::is_empty(Host(u"\\Docs")));
}

// A full storage card: the files that fit are moved back once one does not, and the value keeps
// naming the folder that holds them all.
TEST_F(Relocation, FullCardMovesEverythingBack) {
    PlantDocuments();
    if (!InsertCard("64k"))
        GTEST_SKIP() << card_->why();
    std::vector<MessageBoxInfo> boxes = MoveDocumentsTo(u"\\Storage Card\\");
    EXPECT_TRUE(HasError(boxes, u"My Documents was not moved")) << Describe(boxes);
    EXPECT_TRUE(HasError(boxes, u"(the target is full); everything is back in \"\\Docs\\\""))
        << Describe(boxes);
    EXPECT_EQ(DocumentsValue(), u"\\Docs");
    EXPECT_TRUE(SameTree(documents_, TakeTree(Host(u"\\Docs"))));
    EXPECT_TRUE(fs::is_empty(device_.dir().parent_path() / "card"));
}

// A card is another file system: files are copied there, checked and deleted here, and the value
// follows once all of them are there.
TEST_F(Relocation, MoveToACardOnAnotherFileSystem) {
    PlantDocuments();
    if (!InsertCard("8m"))
        GTEST_SKIP() << card_->why();
    fs::create_directories(device_.dir().parent_path() / "card" / "My Documents");
    std::vector<MessageBoxInfo> boxes = MoveDocumentsTo(u"\\Storage Card\\My Documents\\");
    EXPECT_FALSE(HasError(boxes, u"")) << Describe(boxes);
    EXPECT_EQ(DocumentsValue(), u"\\Storage Card\\My Documents\\");
    ExpectDocumentsInHost(device_.dir().parent_path() / "card" / "My Documents");
    EXPECT_TRUE(fs::is_empty(Host(u"\\Docs")));
    // and back again, the card's folder as the source
    boxes = MoveDocumentsTo(u"\\Docs\\");
    EXPECT_FALSE(HasError(boxes, u"")) << Describe(boxes);
    EXPECT_EQ(DocumentsValue(), u"\\Docs\\");
    ExpectDocumentsIn(u"\\Docs");
}

// A name of the documents that the target already holds, found before anything moves.
TEST_F(Relocation, NameTakenDeepInTheTargetMovesNothing) {
    PlantDocuments();
    WriteBytes(Host(u"\\Dest\\Sub\\Deeper\\small.bin"), Bytes(3, 0x11));
    std::vector<MessageBoxInfo> boxes = MoveDocumentsTo(u"\\Dest\\");
    EXPECT_TRUE(HasError(boxes, u"\"\\Dest\\Sub\\Deeper\\small.bin\" already exists"))
        << Describe(boxes);
    EXPECT_EQ(DocumentsValue(), u"\\Docs");
    EXPECT_TRUE(SameTree(documents_, TakeTree(Host(u"\\Docs"))));
    EXPECT_EQ(TakeTree(Host(u"\\Dest")).size(), 3u);  // Sub, Deeper and its own file
}

// A file where the documents have a folder of the same name, and the reverse.
TEST_F(Relocation, FileAndFolderOfOneNameDoNotMix) {
    PlantDocuments();
    WriteBytes(Host(u"\\Dest\\Sub"), Bytes(1, 1));
    std::vector<MessageBoxInfo> boxes = MoveDocumentsTo(u"\\Dest\\");
    EXPECT_TRUE(HasError(boxes, u"\"\\Dest\\Sub\" already exists")) << Describe(boxes);
    EXPECT_TRUE(SameTree(documents_, TakeTree(Host(u"\\Docs"))));

    fs::remove(Host(u"\\Dest\\Sub"));
    fs::create_directories(Host(u"\\Dest\\filea.txt"));
    boxes = MoveDocumentsTo(u"\\Dest\\");
    EXPECT_TRUE(HasError(boxes, u"\"\\Dest\\filea.txt\" already exists")) << Describe(boxes);
    EXPECT_TRUE(SameTree(documents_, TakeTree(Host(u"\\Docs"))));
    EXPECT_EQ(DocumentsValue(), u"\\Docs");
}

// A move cut short (the device lost power) left some files moved, one in both places and a
// folder made: the next Apply finishes it, and the copy in both places ends up once, whole.
TEST_F(Relocation, InterruptedMoveIsFinished) {
    PlantDocuments();
    fs::create_directories(Host(u"\\Dest\\Sub\\Deeper"));
    fs::rename(Host(u"\\Docs\\filea.txt"), Host(u"\\Dest\\filea.txt"));
    fs::rename(Host(u"\\Docs\\Sub\\big.bin"), Host(u"\\Dest\\Sub\\big.bin"));
    fs::copy_file(Host(u"\\Docs\\fileb.txt"), Host(u"\\Dest\\fileb.txt"));
    std::vector<MessageBoxInfo> boxes = MoveDocumentsTo(u"\\Dest\\");
    EXPECT_FALSE(HasError(boxes, u"")) << Describe(boxes);
    EXPECT_EQ(DocumentsValue(), u"\\Dest\\");
    ExpectDocumentsIn(u"\\Dest");
    EXPECT_TRUE(fs::is_empty(Host(u"\\Docs")));
}

// Folders of the same name merge: the target's own files stay beside the moved ones.
TEST_F(Relocation, FoldersOfOneNameMerge) {
    PlantDocuments();
    WriteBytes(Host(u"\\Dest\\Sub\\mine.txt"), Bytes(4, 4));
    std::vector<MessageBoxInfo> boxes = MoveDocumentsTo(u"\\Dest\\");
    EXPECT_FALSE(HasError(boxes, u"")) << Describe(boxes);
    ExpectDocumentsIn(u"\\Dest");
    EXPECT_EQ(ReadBytes(Host(u"\\Dest\\Sub\\mine.txt")), Bytes(4, 4));
    EXPECT_EQ(DocumentsValue(), u"\\Dest\\");
}

// The target holds the source: moving \Docs\Inner up into \Docs would put a folder onto
// itself; found before anything moves.
TEST_F(Relocation, TargetAboveTheSourceNeverMovesAFolderOntoItself) {
    SetRegString(HKEY_LOCAL_MACHINE, kSystemShellFolders, u"My Documents", u"\\Docs\\Inner");
    WriteBytes(Host(u"\\Docs\\Inner\\Inner\\x.txt"), Bytes(5, 5));
    WriteBytes(Host(u"\\Docs\\Inner\\y.txt"), Bytes(6, 6));
    const Tree before = TakeTree(Host(u"\\Docs"));
    std::vector<MessageBoxInfo> boxes = MoveDocumentsTo(u"\\Docs\\");
    EXPECT_TRUE(HasError(boxes, u"\"\\Docs\\Inner\" already exists")) << Describe(boxes);
    EXPECT_TRUE(SameTree(before, TakeTree(Host(u"\\Docs"))));
    EXPECT_EQ(DocumentsValue(), u"\\Docs\\Inner");
}

// Hidden and read-only folders keep their attributes in the target; the emptied source folders
// go, read-only or not.
TEST_F(Relocation, MovedFoldersKeepTheirAttributes) {
    PlantDocuments();
    ASSERT_TRUE(SetFileAttributesW(u"\\Docs\\Sub", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW(u"\\Docs\\Sub\\Deeper", FILE_ATTRIBUTE_READONLY));
    fs::create_directories(Host(u"\\Dest"));
    std::vector<MessageBoxInfo> boxes = MoveDocumentsTo(u"\\Dest\\");
    EXPECT_FALSE(HasError(boxes, u"")) << Describe(boxes);
    EXPECT_EQ(GetFileAttributesW(u"\\Dest\\Sub"),
              (DWORD)(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetFileAttributesW(u"\\Dest\\Sub\\Deeper"),
              (DWORD)(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
    ExpectDocumentsIn(u"\\Dest");
    EXPECT_TRUE(fs::is_empty(Host(u"\\Docs")));
}

// The documents' value names the target in the spelling the device stores, with its final
// backslash, however the target was typed.
TEST_F(Relocation, TheValueNamesTheTargetAsTheDeviceSpellsIt) {
    PlantDocuments();
    fs::create_directories(Host(u"\\Storage\\My Files"));
    std::vector<MessageBoxInfo> boxes = MoveDocumentsTo(u"/storage//./MY FILES");
    EXPECT_FALSE(HasError(boxes, u"")) << Describe(boxes);
    EXPECT_EQ(DocumentsValue(), u"\\Storage\\My Files\\");
    ExpectDocumentsIn(u"\\Storage\\My Files");
}

// The same in a silent run at device start: the box is shown (and logged) there too.
TEST_F(Relocation, SilentRunRefusesLikeTheInteractiveOne) {
    PlantDocuments();
    WriteBytes(Host(u"\\Dest\\filea.txt"), Bytes(1, 1));
    std::vector<MessageBoxInfo> boxes =
        RunApply(RunMode::Silent, {OPT_MOVE_MY_DOCUMENTS}, {{SF_MY_DOCUMENTS_TARGET, u"\\Dest\\"}});
    EXPECT_TRUE(HasError(boxes, u"already exists")) << Describe(boxes);
    EXPECT_TRUE(SameTree(documents_, TakeTree(Host(u"\\Docs"))));
    EXPECT_EQ(DocumentsValue(), u"\\Docs");
}

// A small file system for a whole device image: mounted before the device is made in it.
class FullDisk {
  protected:
    FullDisk() : dir_(fs::temp_directory_path() / ("varnello-disk-" + std::to_string(getpid()))) {
        disk_ = std::make_unique<kt::Tmpfs>(dir_, "4m");
        const char* tmp = getenv("TMPDIR");
        savedTmp_ = tmp ? std::optional<std::string>(tmp) : std::nullopt;
        if (disk_->mounted())
            setenv("TMPDIR", dir_.c_str(), 1);
    }
    ~FullDisk() {
        disk_.reset();
        std::error_code ec;
        fs::remove(dir_, ec);
    }
    void RestoreTmp() {
        if (savedTmp_)
            setenv("TMPDIR", savedTmp_->c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    fs::path dir_;
    std::unique_ptr<kt::Tmpfs> disk_;
    std::optional<std::string> savedTmp_;
};

class FullDevice : public FullDisk, public Relocation {
  protected:
    FullDevice() { RestoreTmp(); }
};

// The files can be renamed into the target, but the registry cannot be written on the full
// disk: the move is undone.
TEST_F(FullDevice, RegistryThatCannotBeWrittenMovesEverythingBack) {
    if (!disk_->mounted())
        GTEST_SKIP() << disk_->why();
    PlantDocuments();
    fs::create_directories(Host(u"\\Dest"));
    WriteBytes(SettingsPath(), {0, 0, 0, 0});
    // Opened afresh, the registry's changes are folded into registry.reg and its journal is gone:
    // a journal's last block could otherwise take a small change on the full disk.
    ce::Device::open(device_.dir());
    Fill(dir_ / "filler.bin");
    Driver& d = Start();
    ShowScreen(u"System Folders");
    Tap(50042);
    SetText(SCREEN_SYSTEM_FOLDERS, POS_MY_DOCUMENTS_EDIT, u"\\Dest\\");
    d.menu(u"Apply", u"Defer Restart");
    std::vector<MessageBoxInfo> boxes = AnswerAll(d);
    EXPECT_TRUE(HasError(boxes, u"its registry value could not be written")) << Describe(boxes);
    EXPECT_TRUE(HasError(boxes, u"everything is back in \"\\Docs\\\"")) << Describe(boxes);
    EXPECT_EQ(DocumentsValue(), u"\\Docs");
    EXPECT_TRUE(SameTree(documents_, TakeTree(Host(u"\\Docs"))));
    EXPECT_TRUE(fs::is_empty(Host(u"\\Dest")));
}

}  // namespace
}  // namespace appcore
