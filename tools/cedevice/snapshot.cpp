// Snapshots: reading a device through its API, and the snapshot file.
//
// The file is read at every diff, so it is binary and is read in one pass, with every count and
// place checked against what the file holds (little-endian, as written on this host):
//
//   "varnello snapshot 2\n"
//   u32 n, n bytes                    when it was taken (UTF-8)
//   u64 n, n UTF-16 units             every file and folder name, one after another
//   u32 n, n files:                   u32 nameAt, u32 nameSize, u32 first, u32 count, u64 size,
//                                     u64 written, u64 created, u32 attributes, u8 folder
//   u32 n, n keys:                    u32 units, the name, u32 first, u32 count, u32 values,
//                                     each value: u32 units, the name, u32 type, u32 n, n bytes
//   "end\n"
#include "snapshot.h"

#include "kernel/internal.h"
#include "kernel/kernel.h"
#include "kernel/regtext.h"

#include "hostsupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <deque>
#include <fstream>
#include <mutex>
#include <thread>

namespace ce::snapshot {

namespace fs = std::filesystem;

namespace {

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
    return compareNames(a.name, b.name) < 0;
}

// Sorts a folder's entries by their names in the pool.
void sortBlock(std::vector<FileNode>& nodes, const std::u16string& names, uint32_t first,
               uint32_t count) {
    std::u16string_view pool(names);
    auto before = [pool](const FileNode& a, const FileNode& b) {
        return compareNames(pool.substr(a.nameAt, a.nameSize), pool.substr(b.nameAt, b.nameSize)) <
               0;
    };
    auto begin = nodes.begin() + first, end = begin + count;
    if (!std::is_sorted(begin, end, before))
        std::sort(begin, end, before);
}

// ---- the object store ----

// A subtree walked on its own: its nodes in the layout of a snapshot, node 0 standing for the
// folder it starts at, and the subfolders it handed on to other walks.
struct Walk {
    std::u16string path;  // device path of its folder; "" for the root
    std::vector<FileNode> nodes;
    std::u16string names;
    std::vector<std::pair<uint32_t, size_t>> handedOn;  // (its node, the walk that reads it)
};

// A subfolder handed on is marked so until the walks are joined.
constexpr uint32_t kHandedOn = UINT32_MAX;

// The walks of one capture. Every thread takes work from here; when a thread waits for work, a
// busy one hands it the later half of the subfolders it has yet to enter in the folder nearest
// its walk's top that has two or more left (the largest piece of work it can give away), so that
// one large folder is shared out too, in few hand-overs.
class Walks {
  public:
    explicit Walks(unsigned threads) : threads_(threads) {
        walks_.emplace_back();
        queue_.push_back({0});
    }

    void run() {
        std::vector<std::thread> helpers;
        for (unsigned i = 1; i < threads_; ++i) helpers.emplace_back([this] { work(); });
        work();
        for (std::thread& t : helpers) t.join();
    }

    // Joins the walks into one snapshot layout, each handed-on subtree's blocks after its folder.
    void join(std::vector<FileNode>& nodes, std::u16string& names) {
        nodes = std::move(walks_[0].nodes);
        names = std::move(walks_[0].names);
        std::vector<std::pair<uint32_t, size_t>> pending = std::move(walks_[0].handedOn);
        while (!pending.empty()) {
            auto [at, index] = pending.back();
            pending.pop_back();
            Walk& w = walks_[index];
            const uint32_t base = static_cast<uint32_t>(nodes.size()) - 1;
            const uint32_t nameBase = static_cast<uint32_t>(names.size());
            auto place = [&](uint32_t local) { return local == 0 ? at : base + local; };
            names += w.names;
            for (size_t j = 1; j < w.nodes.size(); ++j) {
                FileNode n = w.nodes[j];
                n.nameAt += nameBase;
                if (n.count)
                    n.first = place(n.first);
                nodes.push_back(n);
            }
            nodes[at].count = w.nodes[0].count;
            nodes[at].first = w.nodes[0].count ? place(w.nodes[0].first) : 0;
            for (auto [local, next] : w.handedOn) pending.emplace_back(place(local), next);
            Walk().nodes.swap(w.nodes);  // freed as it goes
        }
    }

  private:
    // A folder being walked: its node, its device path, its open enumeration and the entry of
    // its block to look at next.
    struct Frame {
        uint32_t node;
        std::u16string path;
        HANDLE find;
        uint32_t next;
    };

    void work() {
        for (;;) {
            std::vector<size_t> job;
            {
                std::unique_lock lock(mutex_);
                ++waiting_;
                ready_.wait(lock, [&] { return !queue_.empty() || busy_ == 0; });
                --waiting_;
                if (queue_.empty())
                    return;
                job = std::move(queue_.back());
                queue_.pop_back();
                ++busy_;
            }
            for (size_t index : job) walk(walks_[index]);
            std::lock_guard lock(mutex_);
            if (--busy_ == 0 && queue_.empty())
                ready_.notify_all();
        }
    }

    static bool pending(const FileNode& n) { return n.folder && n.first != kHandedOn; }

    // Hands a piece of this walk to the threads that wait, if any.
    void shareOut(Walk& w, std::vector<Frame>& stack) {
        if (waiting_.load(std::memory_order_relaxed) == 0)
            return;
        for (const Frame& f : stack) {
            const FileNode& folder = w.nodes[f.node];
            std::vector<uint32_t> left;
            for (uint32_t j = f.next; j < folder.first + folder.count; ++j)
                if (pending(w.nodes[j]))
                    left.push_back(j);
            if (left.size() < 2)
                continue;
            std::vector<size_t> job;
            std::lock_guard lock(mutex_);
            for (size_t k = left.size() / 2; k < left.size(); ++k) {
                FileNode& n = w.nodes[left[k]];
                walks_.emplace_back();
                walks_.back().path = f.path + u"\\" + w.names.substr(n.nameAt, n.nameSize);
                w.handedOn.emplace_back(left[k], walks_.size() - 1);
                job.push_back(walks_.size() - 1);
                n.first = kHandedOn;
            }
            queue_.push_back(std::move(job));
            ready_.notify_one();
            return;
        }
    }

    // Depth first. A folder's entries are appended as one block when it is read, and its
    // enumeration stays open while its subfolders are read: the device then opens each
    // subfolder from it instead of resolving the whole path again.
    void walk(Walk& w) {
        std::vector<FileNode>& nodes = w.nodes;
        nodes.assign(1, FileNode{});
        nodes[0].folder = true;
        WIN32_FIND_DATAW fd;
        // Reads a folder's entries into its block; the enumeration is left open.
        auto read = [&](uint32_t i, std::u16string path) -> Frame {
            uint32_t first = static_cast<uint32_t>(nodes.size());
            HANDLE h = INVALID_HANDLE_VALUE;
            if (path.size() + 2 <= kernel::kMaxPath)  // else the device cannot name what is inside
                h = FindFirstFileW((path + u"\\*").c_str(), &fd);
            if (h != INVALID_HANDLE_VALUE) {
                do {
                    FileNode n;
                    n.nameAt = static_cast<uint32_t>(w.names.size());
                    n.nameSize =
                        static_cast<uint32_t>(std::char_traits<char16_t>::length(fd.cFileName));
                    w.names.append(fd.cFileName, n.nameSize);
                    n.folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                    n.size = n.folder ? 0
                                      : (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) |
                                            fd.nFileSizeLow;
                    n.written = fileTime(fd.ftLastWriteTime);
                    n.created = fileTime(fd.ftCreationTime);
                    n.attributes = fd.dwFileAttributes;
                    nodes.push_back(n);
                } while (FindNextFileW(h, &fd));
            }
            uint32_t count = static_cast<uint32_t>(nodes.size()) - first;
            sortBlock(nodes, w.names, first, count);
            nodes[i].first = first;
            nodes[i].count = count;
            return {i, std::move(path), h, first};
        };
        std::vector<Frame> stack;
        stack.push_back(read(0, w.path));
        while (!stack.empty()) {
            shareOut(w, stack);
            Frame& top = stack.back();
            const FileNode& folder = nodes[top.node];
            while (top.next < folder.first + folder.count && !pending(nodes[top.next])) ++top.next;
            if (top.next < folder.first + folder.count) {
                uint32_t child = top.next++;
                std::u16string path =
                    top.path + u"\\" + w.names.substr(nodes[child].nameAt, nodes[child].nameSize);
                stack.push_back(read(child, std::move(path)));
                continue;
            }
            if (top.find != INVALID_HANDLE_VALUE)
                FindClose(top.find);
            stack.pop_back();
        }
    }

    const unsigned threads_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Walk> walks_;  // stable places: threads hold a walk while others are added
    std::vector<std::vector<size_t>> queue_;  // walks not yet started, in pieces of work
    std::atomic<size_t> waiting_{0};
    unsigned busy_ = 0;
};

// Every file and folder of the device. A walk is bound by one system call per entry, which
// threads make side by side.
void captureFiles(Snapshot& s, unsigned threads) {
    if (threads == 0)
        threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    Walks walks(threads);
    walks.run();
    walks.join(s.files, s.names);
    s.files[0].attributes = FILE_ATTRIBUTE_DIRECTORY;
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
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return compareNames(a.first, b.first) < 0; });
    for (const auto& [name, root] : sorted) {
        RegNode k;
        k.name = name;
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

constexpr std::string_view kMagic = "varnello snapshot 2\n";
constexpr std::string_view kEnd = "end\n";

class Writer {
  public:
    std::string out;
    void bytes(const void* p, size_t n) { out.append(static_cast<const char*>(p), n); }
    void u8(uint8_t v) { out += static_cast<char>(v); }
    void u32(uint32_t v) { bytes(&v, 4); }
    void u64(uint64_t v) { bytes(&v, 8); }
    void text(std::u16string_view t) {
        u32(static_cast<uint32_t>(t.size()));
        bytes(t.data(), t.size() * 2);
    }
};

// Reads a snapshot file, checking every count against what is left of it.
class Reader {
  public:
    Reader(const fs::path& file, std::string data) : file_(file), data_(std::move(data)) {}
    const char* take(size_t n) {
        if (n > data_.size() - pos_)
            fail("it ends early");
        const char* p = data_.data() + pos_;
        pos_ += n;
        return p;
    }
    uint8_t u8() { return static_cast<uint8_t>(*take(1)); }
    uint32_t u32() {
        uint32_t v;
        memcpy(&v, take(4), 4);
        return v;
    }
    uint64_t u64() {
        uint64_t v;
        memcpy(&v, take(8), 8);
        return v;
    }
    // A count of things of at least `each` bytes: no more than the file can hold.
    size_t count(uint64_t n, size_t each) {
        if (n > (data_.size() - pos_) / each)
            fail("a count is larger than the file");
        return static_cast<size_t>(n);
    }
    void units(std::u16string& out, size_t n) {
        size_t at = out.size();
        out.resize(at + count(n, 2));
        memcpy(out.data() + at, take(n * 2), n * 2);
    }
    std::u16string text() {
        std::u16string t;
        units(t, u32());
        return t;
    }
    void expect(std::string_view want) {
        if (std::string_view(take(want.size()), want.size()) != want)
            fail("it does not say \"" + std::string(want.substr(0, want.size() - 1)) + "\" here");
    }
    [[noreturn]] void fail(const std::string& what) const {
        throw DeviceError("not a snapshot this program can read: " + file_.string() + " (" + what +
                          ", at byte " + std::to_string(pos_) + ")");
    }

  private:
    fs::path file_;
    std::string data_;
    size_t pos_ = 0;
};

// Checks that the blocks form one tree below node 0 (every other node in exactly one block,
// each block after its folder, so no loop) and sorts each block by name, as the diff expects.
template <class Node, class Sort>
void checkTree(std::vector<Node>& nodes, const Reader& in, Sort sortBlock) {
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
        sortBlock(n.first, n.count);
    }
    for (size_t j = 1; j < nodes.size(); ++j)
        if (!placed[j])
            in.fail("node " + std::to_string(j) + " is in no folder");
}

std::string readWhole(const fs::path& file) {
    // O_NONBLOCK: a FIFO in its place is refused below instead of waiting for a writer
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw DeviceError("cannot read the snapshot " + file.string() + ": " + strerror(errno));
    std::string data;
    struct stat st {};
    constexpr off_t kLargest = off_t(4) << 30;  // far beyond the snapshot of any device
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kLargest) {
        ::close(fd);
        throw DeviceError("not a snapshot this program can read: " + file.string() +
                          " (it is no file of a snapshot's size)");
    }
    data.reserve(static_cast<size_t>(st.st_size));
    char buf[1 << 16];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int e = errno;
            ::close(fd);
            throw DeviceError("cannot read the snapshot " + file.string() + ": " + strerror(e));
        }
        data.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return data;
}

}  // namespace

Snapshot capture(unsigned threads) {
    Snapshot s;
    s.taken = nowUtc();
    captureFiles(s, threads);
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
    Snapshot s;
    try {
        Device::open(view.path());
        s = capture();
    } catch (const DeviceError& e) {
        Device::close();
        throw DeviceError("the factory image of " + deviceDir.string() +
                          " cannot be read: " + e.what());
    }
    Device::close();
    return s;
}

int compareNames(std::u16string_view a, std::u16string_view b) {
    auto fold = [](char16_t c) -> char16_t {
        if (c < 0x80)  // most names are ASCII: no call for them
            return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
        return kernel::foldCase(c);
    };
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (a[i] == b[i])
            continue;
        char16_t x = fold(a[i]), y = fold(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a == b ? 0 : (a < b ? -1 : 1);
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
    Writer w;
    w.out.reserve(s.names.size() * 2 + s.files.size() * 45 + 4096);
    w.bytes(kMagic.data(), kMagic.size());
    w.u32(static_cast<uint32_t>(s.taken.size()));
    w.bytes(s.taken.data(), s.taken.size());
    w.u64(s.names.size());
    w.bytes(s.names.data(), s.names.size() * 2);
    w.u32(static_cast<uint32_t>(s.files.size()));
    for (const FileNode& n : s.files) {
        w.u32(n.nameAt);
        w.u32(n.nameSize);
        w.u32(n.first);
        w.u32(n.count);
        w.u64(n.size);
        w.u64(n.written);
        w.u64(n.created);
        w.u32(n.attributes);
        w.u8(n.folder ? 1 : 0);
    }
    w.u32(static_cast<uint32_t>(s.registry.size()));
    for (const RegNode& k : s.registry) {
        w.text(k.name);
        w.u32(k.first);
        w.u32(k.count);
        w.u32(static_cast<uint32_t>(k.values.size()));
        for (const RegValueNode& v : k.values) {
            w.text(v.name);
            w.u32(v.type);
            w.u32(static_cast<uint32_t>(v.data.size()));
            w.bytes(v.data.data(), v.data.size());
        }
    }
    w.bytes(kEnd.data(), kEnd.size());
    const std::string& out = w.out;

    std::error_code ec;
    // snapshots are kept in the device's own folder, never through a link out of it
    if (fs::is_symlink(file.parent_path(), ec))
        throw DeviceError("cannot write " + file.string() + ": " + file.parent_path().string() +
                          " is a link");
    fs::create_directories(file.parent_path(), ec);
    std::string error;
    if (!ce::kernel::replaceFile(file, out, &error))
        throw DeviceError(error);
}

Snapshot load(const fs::path& file) {
    Reader in(file, readWhole(file));
    Snapshot s;
    in.expect(kMagic);
    uint32_t takenSize = in.u32();
    s.taken.assign(in.take(in.count(takenSize, 1)), takenSize);
    in.units(s.names, in.count(in.u64(), 2));
    s.files.resize(in.count(in.u32(), 45));
    if (s.files.empty())
        in.fail("there is no root folder");
    for (FileNode& n : s.files) {
        n.nameAt = in.u32();
        n.nameSize = in.u32();
        n.first = in.u32();
        n.count = in.u32();
        n.size = in.u64();
        n.written = in.u64();
        n.created = in.u64();
        n.attributes = in.u32();
        n.folder = in.u8() != 0;
        if (n.nameAt > s.names.size() || n.nameSize > s.names.size() - n.nameAt)
            in.fail("a name lies outside the names");
        if (!n.folder && n.count)
            in.fail("a file has entries");
    }
    if (!s.files[0].folder)
        in.fail("the root is no folder");
    checkTree(s.files, in,
              [&](uint32_t first, uint32_t count) { sortBlock(s.files, s.names, first, count); });
    s.registry.resize(in.count(in.u32(), 16));
    if (s.registry.empty())
        in.fail("there is no registry");
    for (RegNode& k : s.registry) {
        k.name = in.text();
        k.first = in.u32();
        k.count = in.u32();
        k.values.resize(in.count(in.u32(), 12));
        for (RegValueNode& v : k.values) {
            v.name = in.text();
            v.type = in.u32();
            uint32_t size = in.u32();
            const char* data = in.take(in.count(size, 1));
            v.data.assign(data, data + size);
        }
        std::sort(k.values.begin(), k.values.end(), nameOrder<RegValueNode>);
    }
    checkTree(s.registry, in, [&](uint32_t first, uint32_t count) {
        std::sort(s.registry.begin() + first, s.registry.begin() + first + count,
                  nameOrder<RegNode>);
    });
    in.expect(kEnd);
    return s;
}

}  // namespace ce::snapshot
