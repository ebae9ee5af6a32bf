// Snapshots: reading a device through its API, and the snapshot file.
//
// The file is UTF-8 text, one node a line, so that it can be read (and compared with another)
// by a person:
//
//   varnello snapshot 1
//   taken 2024-05-01T10:00:00Z
//   files N
//   D FIRST COUNT ATTRIBUTES WRITTEN CREATED NAME       a folder and where its entries are
//   F SIZE ATTRIBUTES WRITTEN CREATED NAME              a file
//   registry M
//   K FIRST COUNT VALUES NAME                           a key; its VALUES values follow it
//   V TYPE HEXDATA NAME                                 a value
//   end
//
// Names take the rest of the line; a UTF-16 unit that is a control character, '%' or half of a
// surrogate pair that is alone is written %XXXX.
#include "snapshot.h"

#include "kernel/internal.h"
#include "kernel/kernel.h"
#include "kernel/regtext.h"

#include "hostsupport.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <ctime>
#include <fstream>

namespace ce::snapshot {

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[] = "varnello snapshot 1";

uint64_t fileTime(const FILETIME& t) {
    return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

std::string nowUtc() {
    time_t now = time(nullptr);
    struct tm tm {};
    gmtime_r(&now, &tm);
    char buf[32];
    strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

template <class Node>
bool nameOrder(const Node& a, const Node& b) {
    return a.key != b.key ? a.key < b.key : a.name < b.name;
}

// ---- the object store ----

void captureFiles(std::vector<FileNode>& nodes) {
    nodes.assign(1, FileNode{});
    nodes[0].folder = true;
    nodes[0].attributes = FILE_ATTRIBUTE_DIRECTORY;
    std::vector<std::u16string> paths(1);  // each folder's device path ("" for the root)
    std::vector<FileNode> entries;
    WIN32_FIND_DATAW fd;
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (!nodes[i].folder)
            continue;
        std::u16string pattern = paths[i] + u"\\*";
        if (pattern.size() > kernel::kMaxPath)
            continue;  // the device cannot name what is inside
        entries.clear();
        HANDLE h = FindFirstFileW(pattern.c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                FileNode n;
                n.name = fd.cFileName;
                n.key = kernel::folded(n.name);
                n.folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                n.size = n.folder
                             ? 0
                             : (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
                n.written = fileTime(fd.ftLastWriteTime);
                n.created = fileTime(fd.ftCreationTime);
                n.attributes = fd.dwFileAttributes;
                entries.push_back(std::move(n));
            } while (FindNextFileW(h, &fd));
            FindClose(h);
        }
        std::sort(entries.begin(), entries.end(), nameOrder<FileNode>);
        nodes[i].first = static_cast<uint32_t>(nodes.size());
        nodes[i].count = static_cast<uint32_t>(entries.size());
        for (FileNode& e : entries) {
            paths.push_back(e.folder ? paths[i] + u"\\" + e.name : std::u16string());
            nodes.push_back(std::move(e));
        }
    }
}

// ---- the registry ----

// Reads a key's values and subkey names, sorts them and appends the subkeys' block.
void readKey(HKEY h, std::vector<RegNode>& nodes, uint32_t index) {
    DWORD maxKey = 0, maxName = 0, maxData = 0;
    RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, nullptr, &maxKey, nullptr, nullptr, &maxName,
                     &maxData, nullptr, nullptr);
    std::vector<WCHAR> name(std::max(maxName, maxKey) + 2);
    std::vector<uint8_t> data(maxData + 1);
    std::vector<RegValueNode> values;
    for (DWORD i = 0;; ++i) {
        DWORD n = static_cast<DWORD>(name.size()), cb = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueW(h, i, name.data(), &n, nullptr, &type, data.data(), &cb) != ERROR_SUCCESS)
            break;
        RegValueNode v;
        v.name.assign(name.data(), n);
        v.key = kernel::folded(v.name);
        v.type = type;
        v.data.assign(data.begin(), data.begin() + cb);
        values.push_back(std::move(v));
    }
    std::sort(values.begin(), values.end(), nameOrder<RegValueNode>);
    std::vector<RegNode> subkeys;
    for (DWORD i = 0;; ++i) {
        DWORD n = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(h, i, name.data(), &n, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        RegNode k;
        k.name.assign(name.data(), n);
        k.key = kernel::folded(k.name);
        subkeys.push_back(std::move(k));
    }
    std::sort(subkeys.begin(), subkeys.end(), nameOrder<RegNode>);
    nodes[index].values = std::move(values);
    nodes[index].first = static_cast<uint32_t>(nodes.size());
    nodes[index].count = static_cast<uint32_t>(subkeys.size());
    for (RegNode& k : subkeys) nodes.push_back(std::move(k));
}

// Depth first, holding one open key per level (never a path per key, however deep the tree).
void captureRegistry(std::vector<RegNode>& nodes) {
    const HKEY roots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS};
    nodes.assign(1, RegNode{});
    nodes[0].first = 1;
    nodes[0].count = 4;
    std::vector<std::pair<std::u16string, HKEY>> sorted;
    for (HKEY r : roots) sorted.emplace_back(kernel::fromUtf8(kernel::regRootName(r)), r);
    std::sort(sorted.begin(), sorted.end());
    for (const auto& [name, root] : sorted) {
        RegNode k;
        k.name = name;
        k.key = kernel::folded(name);
        nodes.push_back(std::move(k));
    }
    struct Frame {
        HKEY handle;
        uint32_t node;
        uint32_t next;
    };
    for (uint32_t r = 0; r < 4; ++r) {
        std::vector<Frame> stack;
        readKey(sorted[r].second, nodes, 1 + r);
        stack.push_back({sorted[r].second, 1 + r, 0});
        while (!stack.empty()) {
            Frame& top = stack.back();
            if (top.next < nodes[top.node].count) {
                uint32_t child = nodes[top.node].first + top.next++;
                HKEY h = nullptr;
                if (RegOpenKeyExW(top.handle, nodes[child].name.c_str(), 0, 0, &h) != ERROR_SUCCESS)
                    continue;
                readKey(h, nodes, child);
                stack.push_back({h, child, 0});
            } else {
                if (stack.size() > 1)
                    RegCloseKey(top.handle);
                stack.pop_back();
            }
        }
    }
}

// ---- the file ----

void appendName(std::string& out, const std::u16string& name) {
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t c = name[i];
        bool high = c >= 0xD800 && c < 0xDC00, low = c >= 0xDC00 && c < 0xE000;
        bool pair = high && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] < 0xE000;
        if (c < 0x20 || c == 0x7F || c == u'%' || (high && !pair) || low) {
            char buf[8];
            snprintf(buf, sizeof buf, "%%%04X", static_cast<unsigned>(c));
            out += buf;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            std::u16string_view unit(&name[i], pair ? 2 : 1);
            out += kernel::toUtf8(unit);
            i += pair ? 1 : 0;
        }
    }
}

template <class... T>
void appendFields(std::string& out, T... fields) {
    ((out += std::to_string(fields), out += ' '), ...);
}

[[noreturn]] void bad(const fs::path& file, size_t line, const std::string& what) {
    throw DeviceError("not a snapshot this program can read: " + file.string() + ", line " +
                      std::to_string(line) + ": " + what);
}

// Reads the lines of a snapshot file one by one.
class Reader {
  public:
    Reader(const fs::path& file, std::string text) : file_(file), text_(std::move(text)) {}

    std::string_view line() {
        if (pos_ >= text_.size())
            fail("the file ends early");
        size_t end = text_.find('\n', pos_);
        if (end == std::string::npos)
            end = text_.size();
        std::string_view l(text_.data() + pos_, end - pos_);
        pos_ = end + 1;
        ++number_;
        fields_ = l;
        return l;
    }
    // The next blank-separated field of the current line.
    std::string_view word() {
        size_t sp = fields_.find(' ');
        if (fields_.empty())
            fail("a field is missing");
        std::string_view w = fields_.substr(0, sp);
        fields_.remove_prefix(sp == std::string_view::npos ? fields_.size() : sp + 1);
        return w;
    }
    template <class T>
    T number() {
        std::string_view w = word();
        T v{};
        auto [p, ec] = std::from_chars(w.data(), w.data() + w.size(), v);
        if (ec != std::errc() || p != w.data() + w.size())
            fail("\"" + std::string(w) + "\" is not a number");
        return v;
    }
    // The rest of the line: a name.
    std::u16string name() {
        std::u16string out;
        out.reserve(fields_.size());
        size_t i = 0;
        while (i < fields_.size()) {
            unsigned char c = static_cast<unsigned char>(fields_[i]);
            if (c == '%') {
                unsigned v = 0;
                auto [p, ec] =
                    std::from_chars(fields_.data() + i + 1,
                                    fields_.data() + std::min(i + 5, fields_.size()), v, 16);
                if (ec != std::errc() || p != fields_.data() + i + 5)
                    fail("a bad %XXXX in a name");
                out += static_cast<char16_t>(v);
                i += 5;
            } else if (c < 0x80) {
                out += static_cast<char16_t>(c);
                ++i;
            } else {
                size_t j = i;
                while (j < fields_.size() && static_cast<unsigned char>(fields_[j]) >= 0x80) ++j;
                out += kernel::fromUtf8(fields_.substr(i, j - i));
                i = j;
            }
        }
        return out;
    }
    void expect(std::string_view want) {
        if (line() != want)
            fail("expected \"" + std::string(want) + "\"");
    }
    [[noreturn]] void fail(const std::string& what) const { bad(file_, number_, what); }

  private:
    fs::path file_;
    std::string text_;
    size_t pos_ = 0, number_ = 0;
    std::string_view fields_;
};

// Checks that the blocks form one tree below node 0 (every other node in exactly one block,
// each block after its folder, so no loop) and sorts each block by name, as the diff expects.
template <class Node>
void checkTree(std::vector<Node>& nodes, const Reader& in) {
    std::vector<uint8_t> placed(nodes.size(), 0);
    for (size_t i = 0; i < nodes.size(); ++i) {
        const Node& n = nodes[i];
        if (n.count == 0)
            continue;
        if (n.first <= i || n.first > nodes.size() || n.count > nodes.size() - n.first)
            in.fail("node " + std::to_string(i) + " has its entries in the wrong place");
        for (uint32_t j = n.first; j < n.first + n.count; ++j) {
            if (placed[j])
                in.fail("node " + std::to_string(j) + " is in two folders");
            placed[j] = 1;
        }
        std::sort(nodes.begin() + n.first, nodes.begin() + n.first + n.count, nameOrder<Node>);
    }
    for (size_t j = 1; j < nodes.size(); ++j)
        if (!placed[j])
            in.fail("node " + std::to_string(j) + " is in no folder");
}

}  // namespace

Snapshot capture() {
    Snapshot s;
    s.taken = nowUtc();
    captureFiles(s.files);
    captureRegistry(s.registry);
    return s;
}

Snapshot captureFactory(const fs::path& deviceDir) {
    std::error_code ec;
    fs::path factory = deviceDir / "factory";
    if (!fs::is_directory(factory / "root", ec) ||
        !fs::is_regular_file(factory / "registry.reg", ec))
        throw DeviceError(deviceDir.string() + " has no factory image");
    // A device of its own whose root is the factory's: nothing in factory/ is written.
    host::TempDir view("cedevice-factory");
    fs::create_directory_symlink(fs::canonical(factory / "root"), view.path() / "root", ec);
    if (!ec)
        fs::copy_file(factory / "registry.reg", view.path() / "registry.reg", ec);
    if (ec)
        throw DeviceError("cannot read the factory image of " + deviceDir.string() + ": " +
                          ec.message());
    kernel::DeviceIni ini;
    ini.attributesMarked = true;  // as cedevice init writes it: never marked again
    kernel::writeIni(view.path() / "device.ini", ini);
    Device::open(view.path());
    Snapshot s;
    try {
        s = capture();
    } catch (...) {
        Device::close();
        throw;
    }
    Device::close();
    return s;
}

bool validName(const std::string& name) {
    if (name.empty() || name.size() > 64 || name[0] == '.')
        return false;
    return name.find_first_not_of(
               "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
               "0123456789._-") == std::string::npos;
}

fs::path fileOf(const fs::path& deviceDir, const std::string& name) {
    return deviceDir / "snapshots" / name;
}

void save(const Snapshot& s, const fs::path& file) {
    std::string out = std::string(kMagic) + "\ntaken " + s.taken + "\nfiles " +
                      std::to_string(s.files.size()) + "\n";
    out.reserve(s.files.size() * 48);
    for (const FileNode& n : s.files) {
        if (n.folder) {
            out += "D ";
            appendFields(out, n.first, n.count, n.attributes, n.written, n.created);
        } else {
            out += "F ";
            appendFields(out, n.size, n.attributes, n.written, n.created);
        }
        appendName(out, n.name);
        out += '\n';
    }
    out += "registry " + std::to_string(s.registry.size()) + "\n";
    for (const RegNode& k : s.registry) {
        out += "K ";
        appendFields(out, k.first, k.count, k.values.size());
        appendName(out, k.name);
        out += '\n';
        for (const RegValueNode& v : k.values) {
            out += "V " + std::to_string(v.type) + " ";
            static const char hex[] = "0123456789abcdef";
            for (uint8_t b : v.data) {
                out += hex[b >> 4];
                out += hex[b & 15];
            }
            out += v.data.empty() ? "- " : " ";
            appendName(out, v.name);
            out += '\n';
        }
    }
    out += "end\n";

    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    fs::path tmp = file;
    tmp += ".tmp." + std::to_string(getpid());
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    bool ok = fd >= 0;
    for (size_t done = 0; ok && done < out.size();) {
        ssize_t n = ::write(fd, out.data() + done, out.size() - done);
        ok = n > 0;
        done += ok ? static_cast<size_t>(n) : 0;
    }
    int err = errno;
    if (fd >= 0 && ::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && rename(tmp.c_str(), file.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        unlink(tmp.c_str());
        throw DeviceError("cannot write " + file.string() + ": " + strerror(err));
    }
}

Snapshot load(const fs::path& file) {
    std::string text;
    {
        int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw DeviceError("cannot read the snapshot " + file.string() + ": " + strerror(errno));
        char buf[1 << 16];
        for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) != 0;) {
            if (n < 0) {
                int e = errno;
                ::close(fd);
                throw DeviceError("cannot read the snapshot " + file.string() + ": " + strerror(e));
            }
            text.append(buf, static_cast<size_t>(n));
        }
        ::close(fd);
    }
    Reader in(file, std::move(text));
    Snapshot s;
    in.expect(kMagic);
    std::string_view taken = in.line();
    if (taken.rfind("taken ", 0) != 0)
        in.fail("expected \"taken\"");
    s.taken = std::string(taken.substr(6));
    // no more nodes than the file has lines for
    const size_t most = 1u << 28;
    in.line();
    if (in.word() != "files")
        in.fail("expected \"files\"");
    size_t count = in.number<size_t>();
    if (count == 0 || count > most)
        in.fail("a bad number of files");
    s.files.resize(count);
    for (FileNode& n : s.files) {
        std::string_view l = in.line();
        if (l.size() < 2 || (l[0] != 'D' && l[0] != 'F') || l[1] != ' ')
            in.fail("expected a folder (D) or a file (F)");
        in.word();
        n.folder = l[0] == 'D';
        if (n.folder) {
            n.first = in.number<uint32_t>();
            n.count = in.number<uint32_t>();
        } else {
            n.size = in.number<uint64_t>();
        }
        n.attributes = in.number<uint32_t>();
        n.written = in.number<uint64_t>();
        n.created = in.number<uint64_t>();
        n.name = in.name();
        n.key = kernel::folded(n.name);
    }
    if (!s.files[0].folder)
        in.fail("the root is no folder");
    checkTree(s.files, in);

    in.line();
    if (in.word() != "registry")
        in.fail("expected \"registry\"");
    count = in.number<size_t>();
    if (count == 0 || count > most)
        in.fail("a bad number of keys");
    s.registry.resize(count);
    for (RegNode& k : s.registry) {
        if (in.line().rfind("K ", 0) != 0)
            in.fail("expected a key (K)");
        in.word();
        k.first = in.number<uint32_t>();
        k.count = in.number<uint32_t>();
        size_t values = in.number<size_t>();
        if (values > most)
            in.fail("a bad number of values");
        k.name = in.name();
        k.key = kernel::folded(k.name);
        for (size_t i = 0; i < values; ++i) {
            if (in.line().rfind("V ", 0) != 0)
                in.fail("expected a value (V)");
            in.word();
            RegValueNode v;
            v.type = in.number<DWORD>();
            std::string_view hex = in.word();
            if (hex != "-") {
                if (hex.size() % 2)
                    in.fail("bad value data");
                for (size_t b = 0; b < hex.size(); b += 2) {
                    uint8_t byte = 0;
                    auto [p, ec] = std::from_chars(hex.data() + b, hex.data() + b + 2, byte, 16);
                    if (ec != std::errc() || p != hex.data() + b + 2)
                        in.fail("bad value data");
                    v.data.push_back(byte);
                }
            }
            v.name = in.name();
            v.key = kernel::folded(v.name);
            k.values.push_back(std::move(v));
        }
        std::sort(k.values.begin(), k.values.end(), nameOrder<RegValueNode>);
    }
    checkTree(s.registry, in);
    in.expect("end");
    return s;
}

}  // namespace ce::snapshot
