// A relocation (the folder's content moved, then the registry value pointed at the target) ends
// in one of two states: everything moved and the value names the target, or nothing moved and
// the value still names the source, with a message that says why. Afterwards every one of the
// user's files is whole in the folder the value names. Full and foreign file systems are small
// tmpfs mounts, as a storage card would be; without the right to mount, those tests are skipped.
#include "ApplyRun.h"

#include <sys/mount.h>

#include <cstdlib>

namespace appcore {
namespace {

const char16_t kSystemShellFolders[] = u"Explorer\\Shell Folders";

// A tmpfs of the given size mounted on a new folder; unmounted when it goes.
class TmpfsMount {
  public:
    TmpfsMount(const fs::path& dir, const std::string& size) : dir_(dir) {
        fs::create_directories(dir);
        mounted_ = mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~TmpfsMount() {
        if (mounted_)
            umount2(dir_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    // Writes a file until nothing more fits.
    void Fill(const std::string& name) {
        FILE* f = fopen((dir_ / name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::string block(4096, 'F');
        while (fwrite(block.data(), 1, block.size(), f) == block.size() && fflush(f) == 0) {
        }
        fclose(f);
    }

  private:
    fs::path dir_;
    bool mounted_ = false;
};

class Relocation : public ApplyRunTest {
  protected:
    // "My Documents" names \Docs, which holds files at two depths with distinct contents.
    void PlantDocuments() {
        SetRegString(HKEY_LOCAL_MACHINE, kSystemShellFolders, u"My Documents", u"\\Docs");
        for (int i = 0; i < 20; i++) {
            std::u16string name = u"\\Docs\\file" + std::u16string(1, u'a' + i) + u".txt";
            WriteBytes(Host(name), Bytes(100 + i * 37, (uint8_t)i));
        }
        WriteBytes(Host(u"\\Docs\\Sub\\big.bin"), Bytes(200000, 0xB5));
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
    void ExpectDocumentsIn(const std::u16string& folder) {
        Tree now = TakeTree(Host(folder));
        for (const auto& [name, content] : documents_) {
            auto it = now.find(name);
            ASSERT_NE(it, now.end()) << name << " is not in the folder the value names";
            EXPECT_TRUE(it->second == content) << name << " is not whole";
        }
    }
    // None of the documents' files is below folder.
    void ExpectNoDocumentsIn(const std::u16string& folder) {
        Tree now = TakeTree(Host(folder));
        for (const auto& [name, content] : documents_) {
            if (content != "<folder>")
                EXPECT_FALSE(now.count(name)) << name << " was left in " << HostName(folder);
        }
    }
    static std::string HostName(const std::u16string& device) {
        return std::string(device.begin(), device.end());
    }

    Tree documents_;
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

// A subfolder of the target is a full volume: the files that fit are moved back once one does
// not, and the value keeps naming the folder that holds them all.
TEST_F(Relocation, FullVolumeInTheTargetMovesEverythingBack) {
    PlantDocuments();
    fs::create_directories(Host(u"\\Dest"));
    TmpfsMount card(Host(u"\\Dest\\Sub"), "64k");
    if (!card.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here";
    card.Fill("filler.bin");
    std::vector<MessageBoxInfo> boxes = MoveDocumentsTo(u"\\Dest\\");
    EXPECT_TRUE(HasError(boxes, u"My Documents was not moved")) << Describe(boxes);
    EXPECT_TRUE(HasError(boxes, u"everything is back in \"\\Docs\\\"")) << Describe(boxes);
    EXPECT_EQ(DocumentsValue(), u"\\Docs");
    EXPECT_TRUE(SameTree(documents_, TakeTree(Host(u"\\Docs"))));
    Tree target = TakeTree(Host(u"\\Dest"));
    EXPECT_EQ(target.size(), 2u);  // Sub and the filler: nothing of the documents
}

// Another file system for the whole target, as a storage card is: either the platform moves
// files there (copy, check, delete) and the value follows, or nothing moves and the user is told.
TEST_F(Relocation, AnotherFileSystemNeverSplitsTheFolder) {
    PlantDocuments();
    TmpfsMount card(Host(u"\\Card"), "8m");
    if (!card.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here";
    std::vector<MessageBoxInfo> boxes = MoveDocumentsTo(u"\\Card\\");
    std::u16string value = DocumentsValue();
    if (value == u"\\Card\\") {
        EXPECT_FALSE(HasError(boxes, u"")) << Describe(boxes);
        ExpectDocumentsIn(u"\\Card");
        ExpectNoDocumentsIn(u"\\Docs");
    } else {
        EXPECT_EQ(value, u"\\Docs");
        EXPECT_TRUE(HasError(boxes, u"My Documents was not moved")) << Describe(boxes);
        EXPECT_TRUE(SameTree(documents_, TakeTree(Host(u"\\Docs"))));
        EXPECT_TRUE(fs::is_empty(Host(u"\\Card")));
    }
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
        disk_ = std::make_unique<TmpfsMount>(dir_, "4m");
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
    std::unique_ptr<TmpfsMount> disk_;
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
        GTEST_SKIP() << "cannot mount a tmpfs here";
    PlantDocuments();
    fs::create_directories(Host(u"\\Dest"));
    WriteBytes(SettingsPath(), {0, 0, 0, 0});
    // A device in use has counted a folder change already, so its shared counter owns its disk
    // page; a counter never written would need room at the first change.
    ASSERT_TRUE(CreateDirectoryW(u"\\Used", NULL));
    ASSERT_TRUE(RemoveDirectoryW(u"\\Used"));
    disk_->Fill("filler.bin");
    Driver& d = Start();
    ShowScreen(u"System Folders");
    Tap(50042);
    SetText(3, 7, u"\\Dest\\");
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
