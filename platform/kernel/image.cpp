// Device images: the factory image of a Pocket PC, and copying and clearing trees on the host
// (for factory/ and the clean boot). The tree functions never follow a symbolic link.
#include "image.h"

#include "internal.h"
#include "kernel.h"
#include "shortcut.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

namespace ce::kernel {

namespace {

namespace fs = std::filesystem;

// Attributes of a file or folder of an image being written.
void writeHostAttributes(const fs::path& path, DWORD attributes) {
    UniqueFd parent(::open(path.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!parent || !writeEntryAttributes(parent.get(), path.filename().string(), attributes))
        throw DeviceError("cannot set the attributes of " + path.string());
}

void writeBytes(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush())
        throw DeviceError("cannot write " + file.string());
}

// Deterministic filler of the given size, so that sizes in tests are known.
std::string filler(size_t size, char seed) {
    std::string s(size, ' ');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>('a' + (seed + i * 7) % 26);
    return s;
}

const char16_t* const kStandardFolders[] = {
    u"\\Windows",
    u"\\Windows\\StartUp",
    u"\\Windows\\Start Menu",
    u"\\Windows\\Start Menu\\Programs",
    u"\\Windows\\Fonts",
    u"\\Windows\\Favorites",
    u"\\Windows\\Help",
    u"\\Windows\\Temp",
    u"\\Windows\\Desktop",
    u"\\Windows\\Profiles\\guest\\Temporary Internet Files",
    u"\\Windows\\Profiles\\guest\\History",
    u"\\Windows\\Profiles\\guest\\Cookies",
    u"\\Windows\\AvantGo",
    u"\\Temp",
    u"\\My Documents",
    u"\\My Documents\\Temp",
    u"\\My Documents\\Personal",
    u"\\My Documents\\Templates",
    u"\\Program Files",
};

struct FileEntry {
    const char16_t* path;
    size_t size;
    DWORD attributes;
};

// Programs, fonts, temporary files, logs and backups of varied sizes (some in upper case and
// in nested folders), the Pocket IE cache, history and cookies, AvantGo and Favorites.
const FileEntry kFiles[] = {
    {u"\\Windows\\pword.exe", 41472, FILE_ATTRIBUTE_SYSTEM},
    {u"\\Windows\\pxl.exe", 38912, FILE_ATTRIBUTE_SYSTEM},
    {u"\\Windows\\iexplore.exe", 55296, FILE_ATTRIBUTE_SYSTEM},
    {u"\\Windows\\tmail.exe", 30720, FILE_ATTRIBUTE_SYSTEM},
    {u"\\Windows\\calc.exe", 12288, FILE_ATTRIBUTE_SYSTEM},
    {u"\\Windows\\fexplore.exe", 20480, FILE_ATTRIBUTE_SYSTEM},
    {u"\\Windows\\ctlpnl.exe", 8192, FILE_ATTRIBUTE_SYSTEM},
    {u"\\Windows\\repllog.exe", 16384, FILE_ATTRIBUTE_SYSTEM},
    {u"\\Windows\\peghelp.exe", 6144, FILE_ATTRIBUTE_SYSTEM},
    {u"\\Windows\\Fonts\\tahoma.ttf", 18324, 0},
    {u"\\Windows\\Fonts\\tahomabd.ttf", 17876, 0},
    {u"\\Windows\\Fonts\\cour.ttf", 22912, 0},
    {u"\\Windows\\Fonts\\frankgo.ttf", 15360, 0},
    {u"\\Windows\\Temp\\~wrd0001.tmp", 4096, FILE_ATTRIBUTE_ARCHIVE},
    {u"\\Windows\\Temp\\CAB.LOG", 512, FILE_ATTRIBUTE_ARCHIVE},
    {u"\\Windows\\Temp\\UPDATE.TMP", 2730, FILE_ATTRIBUTE_ARCHIVE},
    {u"\\Windows\\Temp\\locked.tmp", 321, FILE_ATTRIBUTE_READONLY},
    {u"\\Windows\\Temp\\Setup\\cabinet.tmp", 8000, FILE_ATTRIBUTE_ARCHIVE},
    {u"\\Temp\\setup.tmp", 1200, FILE_ATTRIBUTE_ARCHIVE},
    {u"\\Temp\\install.log", 340, FILE_ATTRIBUTE_ARCHIVE},
    {u"\\Temp\\Backup\\contacts.bak", 2048, FILE_ATTRIBUTE_ARCHIVE},
    {u"\\Temp\\Backup\\Old\\CALENDAR.BAK", 5120, FILE_ATTRIBUTE_ARCHIVE},
    {u"\\My Documents\\Temp\\draft.tmp", 777, FILE_ATTRIBUTE_ARCHIVE},
    {u"\\My Documents\\Temp\\notes.bak", 1500, FILE_ATTRIBUTE_ARCHIVE},
    {u"\\My Documents\\Personal\\letter.psw", 3300, FILE_ATTRIBUTE_ARCHIVE},
    {u"\\My Documents\\Personal\\letter.bak", 3100, FILE_ATTRIBUTE_ARCHIVE},
    {u"\\My Documents\\Personal\\sync.log", 950, FILE_ATTRIBUTE_ARCHIVE},
    {u"\\My Documents\\Templates\\Memo.psw", 700, FILE_ATTRIBUTE_ARCHIVE},
    {u"\\My Documents\\budget.pxl", 6200, FILE_ATTRIBUTE_ARCHIVE},
    {u"\\My Documents\\Hidden Temp\\secret.tmp", 640, FILE_ATTRIBUTE_HIDDEN},
    {u"\\Windows\\Profiles\\guest\\Temporary Internet Files\\Content.IE5\\index.dat", 16384,
     FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
    {u"\\Windows\\Profiles\\guest\\Temporary Internet Files\\Content.IE5\\K3F9A2B1\\default[1].htm",
     5400, 0},
    {u"\\Windows\\Profiles\\guest\\Temporary Internet Files\\Content.IE5\\K3F9A2B1\\logo[1].gif",
     2100, 0},
    {u"\\Windows\\Profiles\\guest\\Temporary Internet Files\\Content.IE5\\Q7Z1M0C4\\news[1].htm",
     9100, 0},
    {u"\\Windows\\Profiles\\guest\\Temporary Internet Files\\Content.IE5\\W2E8R5T6\\style[1].css",
     1300, 0},
    {u"\\Windows\\Profiles\\guest\\History\\History.IE5\\index.dat", 8192,
     FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
    {u"\\Windows\\Profiles\\guest\\History\\History.IE5\\MSHist01\\index.dat", 4096, 0},
    {u"\\Windows\\Profiles\\guest\\Cookies\\guest@example[1].txt", 180, 0},
    {u"\\Windows\\Profiles\\guest\\Cookies\\index.dat", 2048, FILE_ATTRIBUTE_HIDDEN},
    {u"\\Windows\\AvantGo\\AGDB.pdb", 12000, 0},
    {u"\\Windows\\AvantGo\\Channels\\news.pdb", 24000, 0},
    {u"\\Windows\\Favorites\\Pocket PC Web.url", 90, 0},
    {u"\\Windows\\Favorites\\Mobile News.url", 84, 0},
    {u"\\Windows\\Favorites\\Links\\Weather.url", 88, 0},
    {u"\\Windows\\Help\\calc.htm", 2500, 0},
    {u"\\Program Files\\TomTom\\tomtom.exe", 90000, 0},
    {u"\\Program Files\\TomTom\\maps.dat", 30000, 0},
    {u"\\Program Files\\Microsoft Reader\\reader.exe", 64000, 0},
    {u"\\Windows\\Start Menu\\Programs\\readme.txt", 420, 0},
};

struct ShortcutEntry {
    const char16_t* path;
    const char16_t* target;
};

// Start Menu shortcuts (some dead, some quoted with arguments, some shell targets) and the
// startup shortcuts.
const ShortcutEntry kShortcuts[] = {
    {u"\\Windows\\Start Menu\\Internet Explorer.lnk", u"\"\\Windows\\iexplore.exe\""},
    {u"\\Windows\\Start Menu\\Inbox.lnk", u"\\Windows\\tmail.exe"},
    {u"\\Windows\\Start Menu\\Today.lnk", u":MSTODAY"},
    {u"\\Windows\\Start Menu\\Settings.lnk", u"ctlpnl.exe"},
    {u"\\Windows\\Start Menu\\Programs\\Pocket Word.lnk", u"\"\\Windows\\pword.exe\" -n"},
    {u"\\Windows\\Start Menu\\Programs\\Pocket Excel.lnk",
     u"\"\\Windows\\pxl.exe\" -n budget.v1.pxl"},
    {u"\\Windows\\Start Menu\\Programs\\File Explorer.lnk", u"\\Windows\\fexplore.exe"},
    {u"\\Windows\\Start Menu\\Programs\\TomTom.lnk", u"\"\\Program Files\\TomTom\\tomtom.exe\""},
    {u"\\Windows\\Start Menu\\Programs\\Solitaire Deluxe.lnk",
     u"\"\\Program Files\\Solitaire Deluxe\\sol.exe\""},
    {u"\\Windows\\Start Menu\\Programs\\Games\\Chess.lnk", u"\\Program Files\\Chess\\chess.exe"},
    {u"\\Windows\\Start Menu\\Programs\\Accessories\\Calculator.lnk", u"\\Windows\\calc.exe"},
    {u"\\Windows\\Start Menu\\Programs\\Accessories\\Notes.lnk",
     u"\"\\Program Files\\OldNotes\\notes.exe\" -new"},
    {u"\\Windows\\Help\\Calculator.lnk", u"peghelp.exe \\Windows\\Help\\calc.htm"},
    {u"\\Windows\\StartUp\\ActiveSync.lnk", u"\\Windows\\repllog.exe"},
    {u"\\Windows\\StartUp\\Alarm Pro.lnk", u"\"\\Program Files\\AlarmPro\\alarm.exe\" /silent"},
};

void setString(RegKey& key, const char16_t* name, std::u16string_view text) {
    key.setValue(RegValue{name, REG_SZ, regString(text)});
}

void setDword(RegKey& key, const char16_t* name, uint32_t n) {
    RegValue v;
    v.name = name;
    v.type = REG_DWORD;
    v.data = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
              static_cast<uint8_t>(n >> 24)};
    key.setValue(std::move(v));
}

RegKey& keyAt(RegKey& root, std::u16string_view path) {
    RegKey* k = &root;
    size_t i = 0;
    while (i < path.size()) {
        size_t j = path.find(u'\\', i);
        if (j == std::u16string_view::npos)
            j = path.size();
        std::u16string_view name = path.substr(i, j - i);
        RegKey* sub = k->subkey(name);
        k = sub ? sub : &k->addSubkey(std::u16string(name));
        i = j + 1;
    }
    return *k;
}

void factoryRegistry(RegRoots& roots) {
    RegKey& hkcu = roots[kCurrentUser];
    RegKey& hklm = roots[kLocalMachine];
    const char16_t* cache =
        u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\5.0\\Cache";
    setDword(keyAt(keyAt(hkcu, cache), u"Content"), u"CacheLimit", 2048);
    setDword(keyAt(keyAt(hkcu, cache), u"History"), u"CacheLimit", 512);
    setDword(keyAt(keyAt(hkcu, cache), u"Cookies"), u"CacheLimit", 512);
    RegKey& shell =
        keyAt(hkcu, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
    setString(shell, u"Cache", u"\\Windows\\Profiles\\guest\\Temporary Internet Files");
    setString(shell, u"History", u"\\Windows\\Profiles\\guest\\History");
    setString(shell, u"Cookies", u"\\Windows\\Profiles\\guest\\Cookies");
    setString(keyAt(hkcu, u"Software\\AvantGo"), u"DatabaseLocation", u"\\Windows\\AvantGo");

    RegKey& folders = keyAt(hklm, u"Explorer\\Shell Folders");
    setString(folders, u"Favorites", u"\\Windows\\Favorites");
    setString(folders, u"Fonts", u"\\Windows\\Fonts");
    setString(folders, u"My Documents", u"\\My Documents");
    setString(folders, u"Programs", u"\\Windows\\Start Menu\\Programs");
    setString(folders, u"Start Menu", u"\\Windows\\Start Menu");
    setString(folders, u"StartUp", u"\\Windows\\StartUp");
    setDword(keyAt(hklm, u"System\\GWE"), u"Animate", 1);
    setDword(keyAt(hklm, u"System\\GWE\\Menu"), u"AniType", 6);
    setDword(keyAt(hklm, u"System\\GDI\\GLYPHCACHE"), u"limit", 8192);
    setString(keyAt(hklm, u"Ident"), u"Name", u"Pocket_PC");
    setString(keyAt(hklm, u"Ident"), u"Desc", u"Pocket PC");

    struct App {
        const char16_t* name;
        const char16_t* installDir;  // null: no InstallDir value
    };
    const App apps[] = {
        {u"Microsoft Reader", u"\\Program Files\\Microsoft Reader"},
        {u"TomTom Navigator", u"\\Program Files\\TomTom"},
        {u"Solitaire Deluxe", u"\\Program Files\\Solitaire Deluxe"},
        {u"Chess Master", u"\\Program Files\\Chess"},
        {u"Microsoft Windows Media Player", nullptr},
    };
    RegKey& appsKey = keyAt(hklm, u"Software\\Apps");
    for (const App& app : apps) {
        RegKey& k = keyAt(appsKey, app.name);
        if (app.installDir)
            setString(k, u"InstallDir", app.installDir);
        setDword(k, u"Instl", 1);
        setString(k, u"CabFile", std::u16string(app.name) + u".cab");
    }
}

}  // namespace

fs::path hostUnder(const fs::path& root, std::u16string_view devicePath) {
    fs::path p = root;
    std::string bytes;
    if (!toHostName(devicePath, bytes))
        bytes = toUtf8(devicePath);
    size_t i = 0;
    while (i < bytes.size()) {
        size_t j = bytes.find('\\', i);
        if (j == std::string::npos)
            j = bytes.size();
        if (j > i)
            p /= bytes.substr(i, j - i);
        i = j + 1;
    }
    return p;
}

namespace {

// Folders deeper than this below a tree's top are not copied (a factory image is shallow; a
// deeper one is refused), and are moved up to the top to be cleared, so that neither walk holds
// more than this many folders open at once.
constexpr size_t kTreeLevels = 128;

bool isDotEntry(const char* n) {
    return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0));
}

UniqueFd openFolder(const fs::path& dir) {
    return UniqueFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// A folder being read, and its name in the folder above it.
struct Level {
    DIR* folder;
    std::string name;
};

DIR* readFolderAt(int dirFd, const char* name) {
    int fd = openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* d = fd < 0 ? nullptr : fdopendir(fd);
    if (!d && fd >= 0)
        ::close(fd);
    return d;
}

// One pass of clearTree: removes what it can reach within kTreeLevels and moves what lies deeper
// up into the top folder. True when it moved something, which the next pass removes.
bool clearPass(int top) {
    std::vector<Level> levels;
    if (DIR* d = readFolderAt(top, "."))
        levels.push_back({d, ""});
    bool moved = false;
    static std::atomic<unsigned> deep{0};
    while (!levels.empty()) {
        Level& level = levels.back();
        int at = dirfd(level.folder);
        dirent* e = readdir(level.folder);
        if (!e) {
            std::string name = std::move(level.name);
            closedir(level.folder);
            levels.pop_back();
            if (!levels.empty())
                unlinkat(dirfd(levels.back().folder), name.c_str(), AT_REMOVEDIR);
            continue;
        }
        if (isDotEntry(e->d_name))
            continue;
        struct stat st;
        if (fstatat(at, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISDIR(st.st_mode)) {
            unlinkat(at, e->d_name, 0);  // a link is removed, never followed
        } else if (levels.size() < kTreeLevels) {
            if (DIR* d = readFolderAt(at, e->d_name))
                levels.push_back({d, e->d_name});
        } else {
            std::string up = ".~deep." + std::to_string(getpid()) + "." + std::to_string(deep++);
            moved |= renameat(at, e->d_name, top, up.c_str()) == 0;
        }
    }
    return moved;
}

// A restored file keeps the times it had in the image, as a device's files keep theirs through
// a hard reset: only what changed afterwards is newer.
void keepTimes(const struct stat& st, int fd) {
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    futimens(fd, times);
}

// Copies the file `name` of the folder src into the folder dst, with its attributes.
void copyFileAt(int src, int dst, const char* name, const struct stat& st, const fs::path& where) {
    UniqueFd in(openFileAt(src, name, O_RDONLY));
    UniqueFd out(in ? openFileAt(dst, name, O_WRONLY | O_CREAT | O_TRUNC, st.st_mode & 0777) : -1);
    off_t copied;
    int e = !out ? errno : copyData(in.get(), out.get(), copied);
    if (e)
        throw DeviceError("cannot copy " + (where / name).string() + ": " + strerror(e));
    struct stat written;
    if (fstat(out.get(), &written) == 0)
        copyAttributesOf(in.get(), out.get(), written);
    keepTimes(st, out.get());
}

}  // namespace

void copyTree(const fs::path& from, const fs::path& to) {
    if (mkdir(to.c_str(), 0755) != 0 && errno != EEXIST)
        throw DeviceError("cannot create " + to.string() + ": " + strerror(errno));
    UniqueFd src = openFolder(from), dst = openFolder(to);
    if (!src || !dst)
        throw DeviceError("cannot read " + (src ? to : from).string() + ": " + strerror(errno));
    // each level: the source folder being read, the copy's folder, and the path, for messages
    struct CopyLevel {
        DIR* folder;
        UniqueFd copy;
        fs::path where;
    };
    std::vector<CopyLevel> levels;
    auto close = [&] {
        for (CopyLevel& l : levels) closedir(l.folder);
    };
    auto enter = [&](int srcFd, const char* name, UniqueFd copy, fs::path where) {
        DIR* d = readFolderAt(srcFd, name);
        if (!d) {
            close();
            throw DeviceError("cannot read " + where.string() + ": " + strerror(errno));
        }
        levels.push_back({d, std::move(copy), std::move(where)});
    };
    enter(src.get(), ".", std::move(dst), from);
    while (!levels.empty()) {
        CopyLevel& level = levels.back();
        dirent* e = readdir(level.folder);
        if (!e) {
            struct stat st, source;
            if (fstat(level.copy.get(), &st) == 0)
                copyAttributesOf(dirfd(level.folder), level.copy.get(), st);
            if (fstat(dirfd(level.folder), &source) == 0)
                keepTimes(source, level.copy.get());
            closedir(level.folder);
            levels.pop_back();
            continue;
        }
        if (isDotEntry(e->d_name))
            continue;
        struct stat st;
        int at = dirfd(level.folder);
        if (fstatat(at, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        try {
            if (S_ISREG(st.st_mode)) {
                copyFileAt(at, level.copy.get(), e->d_name, st, level.where);
            } else if (S_ISDIR(st.st_mode)) {
                fs::path where = level.where / e->d_name;
                if (levels.size() >= kTreeLevels)
                    throw DeviceError("cannot copy " + where.string() + ": too deep");
                if (mkdirat(level.copy.get(), e->d_name, 0755) != 0 && errno != EEXIST)
                    throw DeviceError("cannot create " + where.string() + ": " + strerror(errno));
                UniqueFd copy(openat(level.copy.get(), e->d_name,
                                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                if (!copy)
                    throw DeviceError("cannot create " + where.string() + ": " + strerror(errno));
                enter(at, e->d_name, std::move(copy), where);
            }
            // links and special files are not part of an image
        } catch (...) {
            close();
            throw;
        }
    }
}

void clearTree(const fs::path& dir) {
    UniqueFd top = openFolder(dir);
    if (!top)
        return;
    while (clearPass(top.get())) {
    }
}

void createImage(const fs::path& dir, ImageContents contents) {
    std::error_code ec;
    if (fs::exists(dir / "root", ec) || fs::exists(dir / "registry.reg", ec))
        throw DeviceError("a device image exists already in " + dir.string());
    fs::create_directories(dir, ec);
    if (ec)
        throw DeviceError("cannot create " + dir.string() + ": " + ec.message());
    fs::path root = dir / "root";
    fs::create_directories(root, ec);
    if (ec)
        throw DeviceError("cannot create " + root.string() + ": " + ec.message());
    for (const char16_t* folder : kStandardFolders)
        fs::create_directories(hostUnder(root, folder), ec);
    RegRoots roots;
    if (contents == ImageContents::Factory) {
        for (const FileEntry& f : kFiles) {
            fs::path host = hostUnder(root, f.path);
            writeBytes(host, filler(f.size, static_cast<char>(f.size % 26)));
            if (f.attributes)
                writeHostAttributes(host, f.attributes);
        }
        writeHostAttributes(hostUnder(root, u"\\My Documents\\Hidden Temp"), FILE_ATTRIBUTE_HIDDEN);
        for (const ShortcutEntry& s : kShortcuts)
            writeBytes(hostUnder(root, s.path), shortcutBytes(s.target));
        factoryRegistry(roots);
    }
    writeBytes(dir / "registry.reg", formatReg(roots));
    DeviceIni ini;
    ini.attributesMarked = true;
    writeIni(dir / "device.ini", ini);
    if (contents == ImageContents::Factory) {
        fs::create_directories(dir / "factory", ec);
        copyTree(root, dir / "factory" / "root");
        fs::copy_file(dir / "registry.reg", dir / "factory" / "registry.reg",
                      fs::copy_options::overwrite_existing, ec);
        if (ec)
            throw DeviceError("cannot write " + (dir / "factory").string() + ": " + ec.message());
    }
}

}  // namespace ce::kernel
