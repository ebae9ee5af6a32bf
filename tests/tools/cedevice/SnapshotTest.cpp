// Snapshots and diffs of a device: what a snapshot records (as the device's programs see it),
// that the file reads back whole and that a damaged one is refused, and what the diff makes of
// each kind of change, moves in particular.
#include <gtest/gtest.h>

#include <windows.h>

#include "diff.h"
#include "kernel/device.h"
#include "kernel/internal.h"
#include "kernel/kernel.h"
#include "kernel/text.h"
#include "testing/device.h"
#include "snapshot.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace fs = std::filesystem;
using ce::snapshot::Diff;
using ce::snapshot::FileNode;
using ce::snapshot::Snapshot;

namespace {

// The node at a device path, or nullptr.
const FileNode* nodeAt(const Snapshot& s, std::u16string_view path) {
    const FileNode* n = &s.files[0];
    size_t i = 1;
    while (i < path.size() + 1 && n) {
        size_t j = path.find(u'\\', i);
        if (j == std::u16string_view::npos)
            j = path.size();
        std::u16string_view part = path.substr(i, j - i);
        const FileNode* found = nullptr;
        for (uint32_t c = n->first; c < n->first + n->count; ++c)
            if (ce::kernel::equalsNoCase(s.name(s.files[c]), part))
                found = &s.files[c];
        n = found;
        i = j + 1;
    }
    return n;
}

const ce::snapshot::RegNode* keyAt(const Snapshot& s, std::u16string_view path) {
    const ce::snapshot::RegNode* k = &s.registry[0];
    size_t i = 0;
    while (i < path.size() && k) {
        size_t j = path.find(u'\\', i);
        if (j == std::u16string_view::npos)
            j = path.size();
        std::u16string_view part = path.substr(i, j - i);
        const ce::snapshot::RegNode* found = nullptr;
        for (uint32_t c = k->first; c < k->first + k->count; ++c)
            if (ce::kernel::equalsNoCase(s.registry[c].name, part))
                found = &s.registry[c];
        k = found;
        i = j + 1;
    }
    return k;
}

void writeFile(const char16_t* path, size_t size) {
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "creating a file of the test";
    std::string bytes(size, 'x');
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(h);
}

void setDword(HKEY root, const char16_t* key, const char16_t* name, DWORD value) {
    HKEY h;
    ASSERT_EQ(RegCreateKeyExW(root, key, 0, nullptr, 0, 0, nullptr, &h, nullptr), ERROR_SUCCESS);
    RegSetValueExW(h, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    RegCloseKey(h);
}

void setString(HKEY root, const char16_t* key, const char16_t* name, std::u16string text) {
    HKEY h;
    ASSERT_EQ(RegCreateKeyExW(root, key, 0, nullptr, 0, 0, nullptr, &h, nullptr), ERROR_SUCCESS);
    RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * 2));
    RegCloseKey(h);
}

std::vector<std::u16string> paths(const std::vector<ce::snapshot::FileRecord>& records) {
    std::vector<std::u16string> out;
    for (const auto& r : records) out.push_back(r.path);
    return out;
}

TEST(Snapshot, RecordsTheDeviceAsItsProgramsSeeIt) {
    ce::test::TempDevice device;
    // a link to a folder outside: a plain entry, never walked into
    fs::create_directories(device.outside() / "secret");
    std::ofstream(device.outside() / "secret" / "canary.txt") << "outside";
    fs::create_directory_symlink(device.outside() / "secret", device.host(u"\\Temp\\Link"));

    Snapshot s = ce::snapshot::capture();
    const FileNode* setup = nodeAt(s, u"\\TEMP\\setup.tmp");
    ASSERT_NE(setup, nullptr);
    EXPECT_FALSE(setup->folder);
    EXPECT_EQ(setup->size, 1200u);
    EXPECT_EQ(setup->attributes & FILE_ATTRIBUTE_ARCHIVE, DWORD(FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_NE(nodeAt(s, u"\\Windows\\Temp\\locked.tmp"), nullptr);
    EXPECT_TRUE(nodeAt(s, u"\\Windows\\Temp\\locked.tmp")->attributes & FILE_ATTRIBUTE_READONLY);
    const FileNode* hidden = nodeAt(s, u"\\My Documents\\Hidden Temp");
    ASSERT_NE(hidden, nullptr);
    EXPECT_TRUE(hidden->folder);
    EXPECT_TRUE(hidden->attributes & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(hidden->count, 1u);
    const FileNode* link = nodeAt(s, u"\\Temp\\Link");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->count, 0u);
    EXPECT_EQ(nodeAt(s, u"\\Temp\\Link\\canary.txt"), nullptr);
    // a folder's entries are in the device's order of names
    const FileNode* temp = nodeAt(s, u"\\Temp");
    std::vector<std::u16string> names;
    for (uint32_t c = temp->first; c < temp->first + temp->count; ++c)
        names.emplace_back(s.name(s.files[c]));
    EXPECT_EQ(names,
              (std::vector<std::u16string>{u"Backup", u"install.log", u"Link", u"setup.tmp"}));

    const auto* gwe = keyAt(s, u"HKEY_LOCAL_MACHINE\\System\\GWE");
    ASSERT_NE(gwe, nullptr);
    ASSERT_EQ(gwe->values.size(), 1u);
    EXPECT_EQ(gwe->values[0].name, u"Animate");
    EXPECT_EQ(gwe->values[0].type, DWORD(REG_DWORD));
    EXPECT_EQ(gwe->values[0].data, (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_NE(keyAt(s, u"HKEY_CURRENT_USER\\Software\\AvantGo"), nullptr);
}

TEST(Snapshot, AFileReadsBackAsItWasWritten) {
    ce::test::TempDevice device;
    CreateDirectoryW(u"\\Odd", nullptr);
    for (const char16_t* name : {u"\\Odd\\100%", u"\\Odd\\Caf\u00e9 \u65e5\u672c.txt",
                                 u"\\Odd\\ spaced ", u"\\Odd\\UPPER", u"\\Odd\\upper2"})
        writeFile(name, 7);
    HKEY h;
    RegCreateKeyExW(HKEY_CURRENT_USER, u"Odd\\Deeper", 0, nullptr, 0, 0, nullptr, &h, nullptr);
    const BYTE bytes[] = {0, 1, 2, 255};
    RegSetValueExW(h, u"", 0, REG_BINARY, bytes, 4);
    RegSetValueExW(h, u"empty", 0, REG_BINARY, nullptr, 0);
    RegCloseKey(h);

    Snapshot s = ce::snapshot::capture();
    fs::path file = device.outside() / "snap";
    ce::snapshot::save(s, file);
    Snapshot back = ce::snapshot::load(file);
    EXPECT_EQ(back.taken, s.taken);
    EXPECT_TRUE(ce::snapshot::compare(s, back).empty());
    ASSERT_EQ(back.files.size(), s.files.size());
    for (size_t i = 0; i < s.files.size(); ++i) {
        EXPECT_EQ(back.name(back.files[i]), s.name(s.files[i]));
        EXPECT_EQ(back.files[i].written, s.files[i].written);
        EXPECT_EQ(back.files[i].attributes, s.files[i].attributes);
        EXPECT_EQ(back.files[i].first, s.files[i].first);
    }
    const auto* odd = keyAt(back, u"HKEY_CURRENT_USER\\odd\\deeper");
    ASSERT_NE(odd, nullptr);
    ASSERT_EQ(odd->values.size(), 2u);
    EXPECT_EQ(odd->values[0].name, u"");
    EXPECT_EQ(odd->values[0].data, (std::vector<uint8_t>(bytes, bytes + 4)));
    EXPECT_TRUE(odd->values[1].data.empty());
    EXPECT_NE(nodeAt(back, u"\\Odd\\Caf\u00e9 \u65e5\u672c.txt"), nullptr);
    EXPECT_NE(nodeAt(back, u"\\Odd\\ spaced "), nullptr);
}

// A file that is not a whole snapshot is refused with what is wrong, never half read; a tree that
// loops or shares entries would make the diff walk for ever.
TEST(Snapshot, ADamagedFileIsRefusedWithWhatIsWrong) {
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    Snapshot good = ce::snapshot::capture();
    fs::path file = device.outside() / "snap";
    ce::snapshot::save(good, file);
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});

    auto refused = [&](const std::string& damaged, const std::string& says) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << damaged;
        try {
            ce::snapshot::load(file);
            ADD_FAILURE() << "accepted; expected: " << says;
        } catch (const ce::DeviceError& e) {
            EXPECT_NE(std::string(e.what()).find(says), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
        }
    };
    refused(bytes.substr(0, bytes.size() - 2), "it ends early");
    refused(bytes.substr(0, bytes.size() / 2), "not a snapshot this program can read");
    refused("varnello snapshot 1\ntaken ...", "it does not say \"varnello snapshot 2\"");
    refused(bytes.substr(0, bytes.size() - 4) + "END\n", "it does not say \"end\"");
    refused("", "it ends early");

    auto withTree = [&](auto change, const std::string& says) {
        Snapshot bad = good;
        change(bad);
        ce::snapshot::save(bad, file);
        std::ifstream again(file, std::ios::binary);
        refused(std::string((std::istreambuf_iterator<char>(again)), {}), says);
    };
    withTree([](Snapshot& s) { s.files[2].first = 1, s.files[2].count = 1; },
             "has its entries in the wrong place");
    withTree([](Snapshot& s) { s.files[0].count = 0; }, "is in no folder");
    withTree(
        [](Snapshot& s) {
            s.files[1].folder = true;
            s.files[1].first = 2;
            s.files[1].count = 1;
        },
        "is in two folders");
    withTree([](Snapshot& s) { s.files[3].nameAt = 1u << 30; }, "a name lies outside the names");
    withTree([](Snapshot& s) { s.registry[1].first = 0, s.registry[1].count = 2; },
             "in the wrong place");
    EXPECT_THROW(ce::snapshot::load(device.outside() / "none"), ce::DeviceError);

    // a FIFO or a folder in a snapshot's place is refused at once, never waited on
    fs::path fifo = device.outside() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const fs::path& odd : {fifo, device.outside()}) {
        try {
            ce::snapshot::load(odd);
            ADD_FAILURE() << "accepted " << odd;
        } catch (const ce::DeviceError& e) {
            EXPECT_NE(std::string(e.what()).find("no file of a snapshot's size"), std::string::npos)
                << e.what();
        }
    }
}

// Every entry of a snapshot with its path, in the order of the tree (each folder's entries in
// name order): the same list whatever order the blocks were laid out in.
std::vector<std::string> Entries(const Snapshot& s) {
    std::vector<std::string> out;
    std::vector<std::pair<uint32_t, std::string>> folders{{0, ""}};
    while (!folders.empty()) {
        auto [i, path] = folders.back();
        folders.pop_back();
        const FileNode& f = s.files[i];
        for (uint32_t c = f.first + f.count; c-- > f.first;) {
            const FileNode& n = s.files[c];
            std::string name = path + "\\" + ce::kernel::toUtf8(s.name(n));
            out.push_back(name + (n.folder ? " folder " : " ") + std::to_string(n.size) + " " +
                          std::to_string(n.written) + " " + std::to_string(n.attributes) + " " +
                          std::to_string(n.count));
            if (n.folder)
                folders.emplace_back(c, name);
        }
    }
    return out;
}

// A walk shared out over threads records what one thread records, in a tree a snapshot file
// accepts: one wide folder (handed out to the threads), a deep chain, empty folders.
TEST(Snapshot, AWalkOnSeveralThreadsRecordsWhatOneRecords) {
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    for (int i = 0; i < 300; ++i) {
        fs::path folder = device.host(u"\\Wide") / ("f" + std::to_string(i));
        fs::create_directories(folder / "empty");
        for (int j = 0; j < 3; ++j) std::ofstream(folder / ("x" + std::to_string(j))) << i << j;
    }
    fs::path deep = device.host(u"\\Deep");
    for (int i = 0; i < 60; ++i) deep /= "d" + std::to_string(i);
    fs::create_directories(deep);
    std::ofstream(deep / "bottom.txt") << "bottom";

    const std::vector<std::string> one = Entries(ce::snapshot::capture(1));
    auto under = [&](const std::string& top) {
        return std::count_if(one.begin(), one.end(),
                             [&](const std::string& e) { return e.rfind(top, 0) == 0; });
    };
    EXPECT_EQ(under("\\Wide"), 1 + 300 * 5);  // each folder, its empty folder and three files
    EXPECT_EQ(under("\\Deep"), 1 + 60 + 1);
    for (unsigned threads : {2u, 4u}) {
        Snapshot s = ce::snapshot::capture(threads);
        EXPECT_EQ(Entries(s), one) << threads << " threads";
        fs::path file = device.outside() / ("threads" + std::to_string(threads));
        ce::snapshot::save(s, file);
        EXPECT_EQ(Entries(ce::snapshot::load(file)), one) << threads << " threads, read back";
    }
}

// Snapshots stay in the device's own folder: a link in place of snapshots/ is not followed.
TEST(Snapshot, ALinkInPlaceOfTheSnapshotsFolderIsRefused) {
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    fs::create_directories(device.outside() / "elsewhere");
    fs::create_directory_symlink(device.outside() / "elsewhere", device.dir() / "snapshots");
    EXPECT_THROW(
        ce::snapshot::save(ce::snapshot::capture(), ce::snapshot::fileOf(device.dir(), "default")),
        ce::DeviceError);
    EXPECT_TRUE(fs::is_empty(device.outside() / "elsewhere"));
}

// A device on a full disk is read, and a snapshot refused with a message, never a crash: the
// device's shared change counter once got no room and ended every program with SIGBUS.
TEST(Snapshot, ADeviceOnAFullDiskIsReadAndTheSnapshotRefused) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to mount a small tmpfs";
    fs::path disk = fs::temp_directory_path() / ("cedevice-full." + std::to_string(getpid()));
    fs::create_directories(disk);
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    fs::path dir = disk / "device";
    ce::kernel::createImage(dir, ce::kernel::ImageContents::Empty);
    fs::remove(dir / "changes");
    {
        std::ofstream fill(disk / "fill", std::ios::binary);
        std::string block(4096, 'x');
        while (fill.write(block.data(), block.size())) {
        }
    }
    pid_t pid = fork();
    if (pid == 0) {
        int code = 1;
        try {
            ce::Device::open(dir);
            Snapshot s = ce::snapshot::capture();
            try {
                ce::snapshot::save(s, ce::snapshot::fileOf(dir, "full"));
            } catch (const ce::DeviceError& e) {
                code = std::string(e.what()).find("No space left") != std::string::npos ? 0 : 2;
            }
        } catch (...) {
            code = 3;
        }
        _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
    EXPECT_FALSE(fs::exists(ce::snapshot::fileOf(dir, "full")));
    umount2(disk.c_str(), MNT_DETACH);
    fs::remove_all(disk);
}

TEST(Diff, EachKindOfChange) {
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    CreateDirectoryW(u"\\Data", nullptr);
    writeFile(u"\\Data\\keep.txt", 10);
    writeFile(u"\\Data\\gone.txt", 20);
    writeFile(u"\\Data\\grows.txt", 30);
    writeFile(u"\\Data\\flag.txt", 40);
    writeFile(u"\\Data\\Swap", 5);
    setDword(HKEY_LOCAL_MACHINE, u"Soft\\Kept", u"Level", 1);
    setDword(HKEY_LOCAL_MACHINE, u"Soft\\Kept", u"Kind", 2);
    setString(HKEY_LOCAL_MACHINE, u"Soft\\Dropped", u"Path", u"\\Old");
    Snapshot before = ce::snapshot::capture();

    ASSERT_TRUE(DeleteFileW(u"\\Data\\gone.txt"));
    writeFile(u"\\Data\\grows.txt", 31);
    writeFile(u"\\Data\\new.txt", 50);
    SetFileAttributesW(u"\\Data\\flag.txt", FILE_ATTRIBUTE_READONLY);
    DeleteFileW(u"\\Data\\Swap");
    CreateDirectoryW(u"\\Data\\Swap", nullptr);
    setDword(HKEY_LOCAL_MACHINE, u"Soft\\Kept", u"Level", 5);
    setString(HKEY_LOCAL_MACHINE, u"Soft\\Kept", u"Kind", u"two");
    setDword(HKEY_LOCAL_MACHINE, u"Soft\\Kept", u"Added", 7);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Soft\\Dropped");
    setDword(HKEY_LOCAL_MACHINE, u"Soft\\Fresh\\Inner", u"On", 1);
    Diff d = ce::snapshot::compare(before, ce::snapshot::capture());

    EXPECT_EQ(paths(d.filesDeleted),
              (std::vector<std::u16string>{u"\\Data\\gone.txt", u"\\Data\\Swap"}));
    EXPECT_EQ(d.filesDeleted[0].size, 20u);
    EXPECT_EQ(paths(d.filesAdded), (std::vector<std::u16string>{u"\\Data\\new.txt"}));
    EXPECT_EQ(paths(d.foldersAdded), (std::vector<std::u16string>{u"\\Data\\Swap"}));
    ASSERT_EQ(d.filesChanged.size(), 2u);
    EXPECT_EQ(d.filesChanged[0].after.path, u"\\Data\\flag.txt");
    EXPECT_EQ(d.filesChanged[0].before.attributes & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(d.filesChanged[0].after.attributes & FILE_ATTRIBUTE_READONLY,
              DWORD(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(d.filesChanged[1].after.path, u"\\Data\\grows.txt");
    EXPECT_EQ(d.filesChanged[1].before.size, 30u);
    EXPECT_EQ(d.filesChanged[1].after.size, 31u);
    EXPECT_TRUE(d.moves.empty());

    EXPECT_EQ(d.keysRemoved, (std::vector<std::u16string>{u"HKEY_LOCAL_MACHINE\\Soft\\Dropped"}));
    EXPECT_EQ(d.keysAdded,
              (std::vector<std::u16string>{u"HKEY_LOCAL_MACHINE\\Soft\\Fresh",
                                           u"HKEY_LOCAL_MACHINE\\Soft\\Fresh\\Inner"}));
    ASSERT_EQ(d.valuesRemoved.size(), 1u);
    EXPECT_EQ(d.valuesRemoved[0].name, u"Path");
    ASSERT_EQ(d.valuesAdded.size(), 2u);
    EXPECT_EQ(d.valuesAdded[0].key, u"HKEY_LOCAL_MACHINE\\Soft\\Fresh\\Inner");
    EXPECT_EQ(d.valuesAdded[1].name, u"Added");
    ASSERT_EQ(d.valuesChanged.size(), 2u);
    EXPECT_EQ(d.valuesChanged[0].after.name, u"Kind");
    EXPECT_EQ(d.valuesChanged[0].before.type, DWORD(REG_DWORD));
    EXPECT_EQ(d.valuesChanged[0].after.type, DWORD(REG_SZ));
    EXPECT_EQ(d.valuesChanged[1].after.name, u"Level");
    EXPECT_EQ(d.valuesChanged[1].after.data, (std::vector<uint8_t>{5, 0, 0, 0}));

    std::string text = ce::snapshot::formatText(d, {"s1", "2024-05-01T10:00:00Z"});
    EXPECT_NE(text.find("Changes since the snapshot \"s1\" (taken 2024-05-01T10:00:00Z):"),
              std::string::npos);
    EXPECT_NE(text.find("  \\Data\\grows.txt  (30 -> 31 bytes"), std::string::npos) << text;
    EXPECT_NE(text.find("  \\Data\\flag.txt  (attributes - -> R)"), std::string::npos) << text;
    EXPECT_NE(text.find("HKEY_LOCAL_MACHINE\\Soft\\Kept  \"Kind\": 2 -> \"two\"  (REG_DWORD -> "
                        "REG_SZ)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Total: 2 files deleted (25 bytes), 1 added (50 bytes), 2 changed; 0 "
                        "folders deleted, 1 added; 0 moved"),
              std::string::npos)
        << text;
}

// Moves are found among what went and what came: a folder by its content (of several, the
// one of the same name), a folder that also changed when at least half of it arrived under its
// name, and a file by its name and size.
TEST(Diff, MovesArePairedByContentAndName) {
    ce::test::TempDevice device(ce::test::TempDevice::Contents::Empty);
    for (const char16_t* f : {u"\\From", u"\\From\\Docs", u"\\From\\Docs\\Sub", u"\\From\\Pics",
                              u"\\From\\Few", u"\\From\\Empty", u"\\From\\Other", u"\\To"})
        CreateDirectoryW(f, nullptr);
    writeFile(u"\\From\\Docs\\a.txt", 1);
    writeFile(u"\\From\\Docs\\Sub\\b.txt", 2);
    for (const char16_t* f : {u"\\From\\Pics\\1.jpg", u"\\From\\Pics\\2.jpg",
                              u"\\From\\Pics\\3.jpg", u"\\From\\Pics\\4.jpg"})
        writeFile(f, 100);
    for (const char16_t* f : {u"\\From\\Few\\1", u"\\From\\Few\\2", u"\\From\\Few\\3"})
        writeFile(f, 9);
    writeFile(u"\\From\\loose.bin", 77);
    Snapshot before = ce::snapshot::capture();

    // unchanged and renamed; changed on the way (one lost, one new); mostly lost; a file; empty
    ASSERT_TRUE(MoveFileW(u"\\From\\Docs", u"\\To\\Papers"));
    DeleteFileW(u"\\From\\Pics\\4.jpg");
    ASSERT_TRUE(MoveFileW(u"\\From\\Pics", u"\\To\\Pics"));
    writeFile(u"\\To\\Pics\\5.jpg", 100);
    DeleteFileW(u"\\From\\Few\\1");
    DeleteFileW(u"\\From\\Few\\2");
    ASSERT_TRUE(MoveFileW(u"\\From\\Few", u"\\To\\Few"));
    ASSERT_TRUE(MoveFileW(u"\\From\\loose.bin", u"\\To\\loose.bin"));
    ASSERT_TRUE(MoveFileW(u"\\From\\Empty", u"\\To\\Empty"));
    ASSERT_TRUE(MoveFileW(u"\\From\\Other", u"\\To\\Renamed"));
    Diff d = ce::snapshot::compare(before, ce::snapshot::capture());

    ASSERT_EQ(d.moves.size(), 5u);
    EXPECT_EQ(d.moves[0].from, u"\\From\\Docs");
    EXPECT_EQ(d.moves[0].to, u"\\To\\Papers");
    EXPECT_TRUE(d.moves[0].folder);
    EXPECT_EQ(d.moves[0].files, 2u);
    EXPECT_EQ(d.moves[0].bytes, 3u);
    EXPECT_EQ(d.moves[1].from, u"\\From\\Empty");
    EXPECT_EQ(d.moves[1].to, u"\\To\\Empty");
    // the folder that kept one file of three is no move, but that file moved
    EXPECT_EQ(d.moves[2].from, u"\\From\\Few\\3");
    EXPECT_EQ(d.moves[2].to, u"\\To\\Few\\3");
    EXPECT_FALSE(d.moves[2].folder);
    EXPECT_EQ(d.moves[3].from, u"\\From\\loose.bin");
    EXPECT_EQ(d.moves[3].bytes, 77u);
    EXPECT_EQ(d.moves[4].from, u"\\From\\Pics");
    EXPECT_EQ(d.moves[4].files, 3u);
    EXPECT_EQ(d.moves[4].bytes, 300u);
    // what changed in the moved folder, in its places; an empty folder renamed is no move
    EXPECT_EQ(paths(d.filesDeleted),
              (std::vector<std::u16string>{u"\\From\\Few\\1", u"\\From\\Few\\2",
                                           u"\\From\\Pics\\4.jpg"}));
    EXPECT_EQ(paths(d.filesAdded), (std::vector<std::u16string>{u"\\To\\Pics\\5.jpg"}));
    EXPECT_EQ(paths(d.foldersDeleted),
              (std::vector<std::u16string>{u"\\From\\Few", u"\\From\\Other"}));
    EXPECT_EQ(paths(d.foldersAdded), (std::vector<std::u16string>{u"\\To\\Few", u"\\To\\Renamed"}));
}

}  // namespace
