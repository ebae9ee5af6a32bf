// Comparing two snapshots. Both trees keep each folder's entries sorted by name, so the
// comparison walks them side by side once, with no lookup per entry: what is left over on
// either side is deleted or added. Moves are found among those leftovers afterwards: a folder
// that went from one place and a folder that came to another with the same content, and then a
// file that went and one of the same name and size that came.
#include "diff.h"

#include "kernel/internal.h"
#include "kernel/regtext.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <numeric>
#include <unordered_map>

namespace ce::snapshot {

namespace {

using Keys = std::vector<RegNode>;

// A snapshot's file tree with its names.
struct Tree {
    const Snapshot& s;
    const FileNode& operator[](size_t i) const { return s.files[i]; }
    std::u16string_view name(size_t i) const { return s.name(s.files[i]); }
    size_t size() const { return s.files.size(); }
};

template <class Node>
int order(const Node& a, const Node& b) {
    return compareNames(a.name, b.name);
}

std::u16string join(const std::u16string& folder, std::u16string_view name) {
    std::u16string p;
    p.reserve(folder.size() + 1 + name.size());
    return p.append(folder).append(1, u'\\').append(name);
}

FileRecord record(const FileNode& n, std::u16string path) {
    return {std::move(path), n.folder, n.size, n.written, n.created, n.attributes};
}

// ---- files ----

// What lies below a node: a hash of the names, kinds and sizes (not the times, which a move
// across volumes may not keep), and how many files and folders and bytes.
struct Summary {
    uint64_t hash = 0;
    uint64_t files = 0, folders = 0, bytes = 0;
};

uint64_t mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A hash of a name as the device compares it (case-insensitively).
uint64_t hashName(std::u16string_view s) {
    uint64_t h = 1469598103934665603ull;
    for (char16_t c : s) h = (h ^ kernel::foldCase(c)) * 1099511628211ull;
    return h;
}

// Entries come after their folder, so one pass from the end sees every folder's entries first.
std::vector<Summary> summarise(const Tree& nodes) {
    std::vector<Summary> out(nodes.size());
    for (size_t i = nodes.size(); i-- > 0;) {
        const FileNode& n = nodes[i];
        Summary& s = out[i];
        if (!n.folder) {
            s = {mix(n.size), 1, 0, n.size};
            continue;
        }
        s.folders = 1;
        s.hash = mix(n.count);
        for (uint32_t c = n.first; c < n.first + n.count; ++c) {
            s.hash = mix(s.hash ^ hashName(nodes.name(c)));
            s.hash = mix(s.hash ^ out[c].hash ^ (nodes[c].folder ? 1 : 2));
            s.files += out[c].files;
            s.folders += out[c].folders;
            s.bytes += out[c].bytes;
        }
    }
    return out;
}

// Whether two subtrees hold the same names, kinds and sizes (a check of a hash match).
bool sameContent(const Tree& a, uint32_t i, const Tree& b, uint32_t j) {
    std::vector<std::pair<uint32_t, uint32_t>> todo{{i, j}};
    while (!todo.empty()) {
        auto [x, y] = todo.back();
        todo.pop_back();
        const FileNode &p = a[x], &q = b[y];
        if (p.folder != q.folder || p.size != q.size || p.count != q.count)
            return false;
        for (uint32_t k = 0; k < p.count; ++k) {
            if (compareNames(a.name(p.first + k), b.name(q.first + k)) != 0)
                return false;
            todo.emplace_back(p.first + k, q.first + k);
        }
    }
    return true;
}

// How much of subtree i (before) is in subtree j (after): entries of the same relative name and
// kind (files also of the same size), and of them the files and their bytes.
struct Overlap {
    uint64_t entries = 0, files = 0, bytes = 0;
};

Overlap overlap(const Tree& a, uint32_t i, const Tree& b, uint32_t j) {
    Overlap o;
    std::vector<std::pair<uint32_t, uint32_t>> todo{{i, j}};
    while (!todo.empty()) {
        auto [x, y] = todo.back();
        todo.pop_back();
        uint32_t p = a[x].first, pEnd = p + a[x].count, q = b[y].first, qEnd = q + b[y].count;
        while (p < pEnd && q < qEnd) {
            int c = compareNames(a.name(p), b.name(q));
            if (c != 0) {
                (c < 0 ? p : q)++;
                continue;
            }
            if (a[p].folder && b[q].folder) {
                ++o.entries;
                todo.emplace_back(p, q);
            } else if (!a[p].folder && !b[q].folder && a[p].size == b[q].size) {
                ++o.entries;
                ++o.files;
                o.bytes += a[p].size;
            }
            ++p;
            ++q;
        }
    }
    return o;
}

// The records of one side (what went, or what came), each subtree in order, so that a folder's
// subtree is a run of records: its folder record and the next Summary::folders - 1, and the files
// from fileStart on.
struct Side {
    std::vector<FileRecord> files, folders;
    std::vector<uint32_t> folderNode;  // the node of each folder record
    std::vector<size_t> fileStart;     // files recorded before each folder record
    std::vector<uint8_t> fileGone, folderGone;

    // Records node i and everything below it.
    void add(const Tree& nodes, uint32_t i, std::u16string path) {
        std::vector<std::pair<uint32_t, std::u16string>> todo;
        todo.emplace_back(i, std::move(path));
        while (!todo.empty()) {
            auto [n, p] = std::move(todo.back());
            todo.pop_back();
            const FileNode& node = nodes[n];
            if (!node.folder) {
                files.push_back(record(node, std::move(p)));
                continue;
            }
            folderNode.push_back(n);
            fileStart.push_back(files.size());
            for (uint32_t c = node.first + node.count; c-- > node.first;)
                todo.emplace_back(c, join(p, nodes.name(c)));
            folders.push_back(record(node, std::move(p)));
        }
    }
    // Marks a folder's subtree as moved; false when part of it already was.
    bool take(size_t folder, const Summary& s) {
        size_t f0 = fileStart[folder];
        for (size_t k = folder; k < folder + s.folders; ++k)
            if (folderGone[k])
                return false;
        std::fill(folderGone.begin() + folder, folderGone.begin() + folder + s.folders, 1);
        std::fill(fileGone.begin() + f0, fileGone.begin() + f0 + s.files, 1);
        return true;
    }
    // Makes room for the flags of records added since.
    void prepare() {
        fileGone.resize(files.size(), 0);
        folderGone.resize(folders.size(), 0);
    }
    template <class T>
    static void keep(std::vector<T>& v, const std::vector<uint8_t>& gone, std::vector<T>& out) {
        for (size_t k = 0; k < v.size(); ++k)
            if (!gone[k])
                out.push_back(std::move(v[k]));
    }
};

std::u16string leafKey(const std::u16string& path) {
    return kernel::folded(path.substr(path.rfind(u'\\') + 1));
}

// A file that went and one of the same name and size that came are one move (the same time of
// last write first).
void findFileMoves(Side& went, Side& came, Diff& d) {
    std::unordered_map<std::u16string, std::vector<size_t>> byName;
    for (size_t k = 0; k < came.files.size(); ++k)
        if (!came.fileGone[k])
            byName[leafKey(came.files[k].path)].push_back(k);
    if (byName.empty())
        return;
    for (size_t k = 0; k < went.files.size(); ++k) {
        if (went.fileGone[k])
            continue;
        auto it = byName.find(leafKey(went.files[k].path));
        if (it == byName.end())
            continue;
        const FileRecord& f = went.files[k];
        size_t best = SIZE_MAX;
        for (size_t c : it->second) {
            const FileRecord& g = came.files[c];
            if (came.fileGone[c] || g.size != f.size)
                continue;
            if (g.written == f.written) {
                best = c;
                break;
            }
            if (best == SIZE_MAX)
                best = c;
        }
        if (best == SIZE_MAX)
            continue;
        went.fileGone[k] = came.fileGone[best] = 1;
        d.moves.push_back({f.path, came.files[best].path, false, 1, f.size});
    }
}

// The folders' entries are sorted alike, so each pair of folders is compared in one pass.
int order(const Tree& a, uint32_t i, const Tree& b, uint32_t j) {
    return compareNames(a.name(i), b.name(j));
}

// Two folders compared: the one before at `from`, the one after at `to` (the same place, unless
// the folder moved).
struct Pair {
    uint32_t old, now;
    std::u16string from, to;
};

class FileComparison {
  public:
    FileComparison(const Tree& before, const Tree& after, Diff& d)
        : before_(before), after_(after), d_(d) {}

    void run() {
        std::vector<Pair> todo{{0, 0, u"", u""}};
        while (!todo.empty()) {
            size_t topsBefore = wentTops_.size();
            compareFolders(todo);
            went_.prepare();
            came_.prepare();
            // what moved is compared in its new place, which may show more moves below it
            findFolderMoves(topsBefore, todo);
        }
        findFileMoves(went_, came_, d_);
        Side::keep(went_.files, went_.fileGone, d_.filesDeleted);
        Side::keep(went_.folders, went_.folderGone, d_.foldersDeleted);
        Side::keep(came_.files, came_.fileGone, d_.filesAdded);
        Side::keep(came_.folders, came_.folderGone, d_.foldersAdded);
    }

  private:
    // Walks the pairs of folders: what is on one side only is recorded as went or came, what
    // differs on both as changed.
    void compareFolders(std::vector<Pair>& todo) {
        while (!todo.empty()) {
            Pair p = std::move(todo.back());
            todo.pop_back();
            uint32_t i = before_[p.old].first, iEnd = i + before_[p.old].count;
            uint32_t j = after_[p.now].first, jEnd = j + after_[p.now].count;
            auto gone = [&](uint32_t k) {
                if (before_[k].folder)
                    wentTops_.push_back(went_.folders.size());
                went_.add(before_, k, join(p.from, before_.name(k)));
            };
            while (i < iEnd || j < jEnd) {
                int c = i == iEnd ? 1 : j == jEnd ? -1 : order(before_, i, after_, j);
                if (c < 0) {
                    gone(i++);
                    continue;
                }
                std::u16string path = join(p.to, after_.name(j));
                if (c > 0) {
                    came_.add(after_, j++, std::move(path));
                    continue;
                }
                const FileNode &a = before_[i], &b = after_[j];
                if (a.folder != b.folder) {
                    gone(i);
                    came_.add(after_, j, path);
                } else if (a.folder) {
                    if (a.attributes != b.attributes)
                        d_.foldersChanged.push_back({record(a, path), record(b, path)});
                    todo.push_back({i, j, join(p.from, before_.name(i)), std::move(path)});
                } else if (a.size != b.size || a.written != b.written || a.created != b.created ||
                           a.attributes != b.attributes) {
                    d_.filesChanged.push_back({record(a, path), record(b, std::move(path))});
                }
                ++i;
                ++j;
            }
        }
    }

    // A folder that went and one that came are one move when they hold the same (of several,
    // the one of the same name), or when they have the same name and at least half of what
    // was in the one that went is in the one that came (a folder that also changed).
    void findFolderMoves(size_t firstTop, std::vector<Pair>& todo) {
        if (firstTop == wentTops_.size() || came_.folders.empty())
            return;
        if (old_.empty()) {
            old_ = summarise(before_);
            now_ = summarise(after_);
        }
        std::unordered_multimap<uint64_t, size_t> byContent;
        std::unordered_map<std::u16string, std::vector<size_t>> byName;
        for (size_t k = 0; k < came_.folders.size(); ++k) {
            if (came_.folderGone[k])
                continue;
            byContent.emplace(now_[came_.folderNode[k]].hash, k);
            byName[kernel::folded(after_.name(came_.folderNode[k]))].push_back(k);
        }
        for (size_t t = firstTop; t < wentTops_.size(); ++t) {
            size_t top = wentTops_[t];
            uint32_t node = went_.folderNode[top];
            const Summary& s = old_[node];
            uint64_t files = s.files, bytes = s.bytes;
            size_t best = sameContent(node, byContent);
            if (best == SIZE_MAX) {
                auto it = byName.find(kernel::folded(before_.name(node)));
                uint64_t most = 0;
                for (size_t k : it == byName.end() ? std::vector<size_t>() : it->second) {
                    Overlap o = overlap(before_, node, after_, came_.folderNode[k]);
                    if (!came_.folderGone[k] && o.entries > most &&
                        o.entries * 2 >= s.files + s.folders - 1) {
                        most = o.entries;
                        best = k;
                        files = o.files;
                        bytes = o.bytes;
                    }
                }
            }
            if (best == SIZE_MAX || !came_.take(best, now_[came_.folderNode[best]]))
                continue;
            went_.take(top, s);
            d_.moves.push_back(
                {went_.folders[top].path, came_.folders[best].path, true, files, bytes});
            todo.push_back(
                {node, came_.folderNode[best], went_.folders[top].path, came_.folders[best].path});
        }
    }

    // An unused folder that came with the same content as node (which went); of several, the one
    // of the same name. A renamed folder is told by its content, so never by an empty one.
    size_t sameContent(uint32_t node, const std::unordered_multimap<uint64_t, size_t>& byContent) {
        const Summary& s = old_[node];
        auto [lo, hi] = byContent.equal_range(s.hash);
        size_t sameName = SIZE_MAX, renamed = SIZE_MAX;
        for (auto it = lo; it != hi; ++it) {
            size_t k = it->second;
            uint32_t other = came_.folderNode[k];
            if (came_.folderGone[k] || !snapshot::sameContent(before_, node, after_, other))
                continue;
            bool same = kernel::equalsNoCase(after_.name(other), before_.name(node));
            size_t& slot = same ? sameName : renamed;
            slot = std::min(slot, k);
        }
        return sameName != SIZE_MAX ? sameName : s.files + s.folders > 1 ? renamed : SIZE_MAX;
    }

    const Tree& before_;
    const Tree& after_;
    Diff& d_;
    Side went_, came_;
    std::vector<size_t> wentTops_;  // the folder records where a deleted subtree begins
    std::vector<Summary> old_, now_;
};

void compareFiles(const Tree& before, const Tree& after, Diff& d) {
    FileComparison(before, after, d).run();
}

// ---- the registry ----

std::u16string keyPath(const std::u16string& parent, const std::u16string& name) {
    return parent.empty() ? name : parent + u"\\" + name;
}

ValueRecord valueRecord(const std::u16string& key, const RegValueNode& v) {
    return {key, v.name, v.type, v.data};
}

// A key and everything below it, as keys and values added or removed.
void wholeKey(const Keys& nodes, uint32_t i, const std::u16string& path,
              std::vector<std::u16string>& keys, std::vector<ValueRecord>& values) {
    std::vector<std::pair<uint32_t, std::u16string>> todo{{i, path}};
    while (!todo.empty()) {
        auto [k, p] = std::move(todo.back());
        todo.pop_back();
        for (const RegValueNode& v : nodes[k].values) values.push_back(valueRecord(p, v));
        for (uint32_t c = nodes[k].first; c < nodes[k].first + nodes[k].count; ++c)
            todo.emplace_back(c, keyPath(p, nodes[c].name));
        keys.push_back(std::move(p));
    }
}

void compareValues(const RegNode& a, const RegNode& b, const std::u16string& path, Diff& d) {
    size_t i = 0, j = 0;
    while (i < a.values.size() || j < b.values.size()) {
        int c = i == a.values.size()   ? 1
                : j == b.values.size() ? -1
                                       : order(a.values[i], b.values[j]);
        if (c < 0) {
            d.valuesRemoved.push_back(valueRecord(path, a.values[i++]));
        } else if (c > 0) {
            d.valuesAdded.push_back(valueRecord(path, b.values[j++]));
        } else {
            const RegValueNode &x = a.values[i++], &y = b.values[j++];
            if (x.type != y.type || x.data != y.data)
                d.valuesChanged.push_back({valueRecord(path, x), valueRecord(path, y)});
        }
    }
}

void compareRegistry(const Keys& before, const Keys& after, Diff& d) {
    struct Pair {
        uint32_t old, now;
        std::u16string path;
    };
    std::vector<Pair> todo{{0, 0, u""}};
    while (!todo.empty()) {
        Pair p = std::move(todo.back());
        todo.pop_back();
        compareValues(before[p.old], after[p.now], p.path, d);
        uint32_t i = before[p.old].first, iEnd = i + before[p.old].count;
        uint32_t j = after[p.now].first, jEnd = j + after[p.now].count;
        while (i < iEnd || j < jEnd) {
            int c = i == iEnd ? 1 : j == jEnd ? -1 : order(before[i], after[j]);
            if (c < 0) {
                wholeKey(before, i, keyPath(p.path, before[i].name), d.keysRemoved,
                         d.valuesRemoved);
                ++i;
            } else if (c > 0) {
                wholeKey(after, j, keyPath(p.path, after[j].name), d.keysAdded, d.valuesAdded);
                ++j;
            } else {
                todo.push_back({i, j, keyPath(p.path, after[j].name)});
                ++i;
                ++j;
            }
        }
    }
}

// ---- order ----

// Sorts by a path, case-insensitively first; each key is folded once.
template <class T, class Path>
void sortByPath(std::vector<T>& v, Path path) {
    std::vector<std::pair<std::u16string, size_t>> keys;
    keys.reserve(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        const std::u16string& p = path(v[i]);
        keys.emplace_back(kernel::folded(p) + u'\x01' + p, i);
    }
    std::sort(keys.begin(), keys.end());
    std::vector<T> sorted;
    sorted.reserve(v.size());
    for (auto& k : keys) sorted.push_back(std::move(v[k.second]));
    v = std::move(sorted);
}

void sortAll(Diff& d) {
    auto path = [](const FileRecord& r) -> const std::u16string& { return r.path; };
    sortByPath(d.filesDeleted, path);
    sortByPath(d.filesAdded, path);
    sortByPath(d.foldersDeleted, path);
    sortByPath(d.foldersAdded, path);
    auto changed = [](const FileChange& c) -> const std::u16string& { return c.after.path; };
    sortByPath(d.filesChanged, changed);
    sortByPath(d.foldersChanged, changed);
    sortByPath(d.moves, [](const Move& m) -> const std::u16string& { return m.from; });
    auto self = [](const std::u16string& s) -> const std::u16string& { return s; };
    sortByPath(d.keysAdded, self);
    sortByPath(d.keysRemoved, self);
    // values by key, then name: "\x02" sorts below any character of a name
    auto byValue = [](std::vector<ValueRecord>& v) {
        std::vector<std::u16string> full(v.size());
        std::vector<size_t> idx(v.size());
        for (size_t i = 0; i < v.size(); ++i) {
            full[i] = kernel::folded(v[i].key) + u'\x02' + kernel::folded(v[i].name) + u'\x01' +
                      v[i].key + u'\x02' + v[i].name;
            idx[i] = i;
        }
        std::sort(idx.begin(), idx.end(), [&](size_t a, size_t b) { return full[a] < full[b]; });
        std::vector<ValueRecord> out;
        for (size_t i : idx) out.push_back(std::move(v[i]));
        v = std::move(out);
    };
    byValue(d.valuesAdded);
    byValue(d.valuesRemoved);
    std::vector<ValueRecord> before, after;
    for (auto& c : d.valuesChanged) {
        before.push_back(std::move(c.before));
        after.push_back(std::move(c.after));
    }
    // both halves of a change share key and name: sort the pairs by the after half
    std::vector<size_t> idx(after.size());
    std::iota(idx.begin(), idx.end(), 0);
    std::vector<std::u16string> full(after.size());
    for (size_t i = 0; i < after.size(); ++i)
        full[i] = kernel::folded(after[i].key) + u'\x02' + kernel::folded(after[i].name);
    std::sort(idx.begin(), idx.end(), [&](size_t a, size_t b) { return full[a] < full[b]; });
    d.valuesChanged.clear();
    for (size_t i : idx) d.valuesChanged.push_back({std::move(before[i]), std::move(after[i])});
}

// ---- text ----

std::string utf8(const std::u16string& s) {
    return kernel::toUtf8(s);
}

// "RHSA" letters of the attributes people know from attrib, then any other bits in hex.
std::string attributesText(uint32_t a) {
    std::string s;
    const std::pair<uint32_t, char> letters[] = {{FILE_ATTRIBUTE_READONLY, 'R'},
                                                 {FILE_ATTRIBUTE_HIDDEN, 'H'},
                                                 {FILE_ATTRIBUTE_SYSTEM, 'S'},
                                                 {FILE_ATTRIBUTE_ARCHIVE, 'A'}};
    // NORMAL is what Win32 reports for a file with none of the others
    uint32_t rest = a & ~static_cast<uint32_t>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL);
    for (auto [bit, letter] : letters) {
        if (a & bit)
            s += letter;
        rest &= ~bit;
    }
    if (rest) {
        char buf[16];
        snprintf(buf, sizeof buf, "%s0x%x", s.empty() ? "" : "+", rest);
        s += buf;
    }
    return s.empty() ? "-" : s;
}

// A FILETIME as UTC, to the second, or to 100 ns when `exact`.
std::string timeText(uint64_t ft, bool exact, bool iso) {
    const uint64_t kEpoch = 116444736000000000ull;  // 1970-01-01 in FILETIME
    if (ft < kEpoch)
        return iso ? "1970-01-01T00:00:00Z" : "1970-01-01 00:00:00";
    uint64_t since = ft - kEpoch;
    time_t secs = static_cast<time_t>(since / 10000000);
    struct tm tm {};
    gmtime_r(&secs, &tm);
    char buf[48];
    strftime(buf, sizeof buf, iso ? "%Y-%m-%dT%H:%M:%S" : "%Y-%m-%d %H:%M:%S", &tm);
    std::string s = buf;
    if (exact) {
        snprintf(buf, sizeof buf, ".%07llu", static_cast<unsigned long long>(since % 10000000));
        s += buf;
    }
    return iso ? s + "Z" : s;
}

std::string valueName(const std::u16string& name) {
    return name.empty() ? "(default)" : "\"" + utf8(name) + "\"";
}

std::string valueText(const ValueRecord& v) {
    return kernel::regValueText(v.type, v.data.data(), v.data.size());
}

// What differs between two states of a file: "1200 -> 0 bytes; attributes A -> RA".
std::string changeText(const FileRecord& a, const FileRecord& b) {
    std::vector<std::string> parts;
    if (a.size != b.size)
        parts.push_back(std::to_string(a.size) + " -> " + std::to_string(b.size) + " bytes");
    if (a.written != b.written || a.created != b.created) {
        uint64_t x = a.written != b.written ? a.written : a.created;
        uint64_t y = a.written != b.written ? b.written : b.created;
        bool exact = timeText(x, false, false) == timeText(y, false, false);
        parts.push_back(std::string(a.written != b.written ? "written " : "created ") +
                        timeText(x, exact, false) + " -> " + timeText(y, exact, false));
    }
    if (a.attributes != b.attributes)
        parts.push_back("attributes " + attributesText(a.attributes) + " -> " +
                        attributesText(b.attributes));
    std::string s;
    for (const auto& p : parts) s += (s.empty() ? "" : "; ") + p;
    return s;
}

uint64_t bytesOf(const std::vector<FileRecord>& files) {
    uint64_t n = 0;
    for (const auto& f : files) n += f.size;
    return n;
}

std::string headingOf(const Since& since) {
    if (since.snapshot.empty())
        return "Changes since the factory image:";
    return "Changes since the snapshot \"" + since.snapshot + "\" (taken " + since.taken + "):";
}

template <class T, class Line>
void section(std::string& out, const std::string& title, const std::vector<T>& items, Line line) {
    if (items.empty())
        return;
    out += "\n" + title + "\n";
    for (const T& item : items) out += "  " + line(item) + "\n";
}

// ---- JSON ----

std::string json(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buf[8];
                    snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string json(const std::u16string& s) {
    return json(utf8(s));
}

std::string fileJson(const FileRecord& f) {
    std::string s = "{\"path\": " + json(f.path);
    if (!f.folder)
        s += ", \"size\": " + std::to_string(f.size);
    return s + ", \"written\": " + json(timeText(f.written, true, true)) +
           ", \"attributes\": " + json(attributesText(f.attributes)) + "}";
}

std::string stateJson(const FileRecord& f) {
    std::string s = "{";
    if (!f.folder)
        s += "\"size\": " + std::to_string(f.size) + ", ";
    return s + "\"written\": " + json(timeText(f.written, true, true)) +
           ", \"created\": " + json(timeText(f.created, true, true)) +
           ", \"attributes\": " + json(attributesText(f.attributes)) + "}";
}

// A value's data as a program wants it: a DWORD as a number, a string as a string, anything
// else as the .reg hex form.
std::string dataJson(const ValueRecord& v) {
    std::string text = valueText(v);
    if (v.type == REG_DWORD && v.data.size() == 4)
        return text;
    if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ) && text.size() >= 2 && text[0] == '"') {
        std::u16string raw;
        for (size_t i = 0; i + 1 < v.data.size(); i += 2) {
            char16_t c = static_cast<char16_t>(v.data[i] | (v.data[i + 1] << 8));
            if (!c)
                break;
            raw += c;
        }
        return json(raw);
    }
    return json(text);
}

std::string valueJson(const ValueRecord& v) {
    return "{\"key\": " + json(v.key) + ", \"name\": " + json(v.name) +
           ", \"type\": " + json(kernel::regTypeName(v.type)) + ", \"data\": " + dataJson(v) + "}";
}

template <class T, class Item>
std::string list(const std::vector<T>& items, Item item, const char* indent) {
    if (items.empty())
        return "[]";
    std::string s = "[";
    for (size_t i = 0; i < items.size(); ++i)
        s += std::string(i ? "," : "") + "\n" + indent + "  " + item(items[i]);
    return s + "\n" + indent + "]";
}

}  // namespace

bool Diff::empty() const {
    return filesDeleted.empty() && filesAdded.empty() && foldersDeleted.empty() &&
           foldersAdded.empty() && filesChanged.empty() && foldersChanged.empty() &&
           moves.empty() && keysAdded.empty() && keysRemoved.empty() && valuesAdded.empty() &&
           valuesRemoved.empty() && valuesChanged.empty();
}

Diff compare(const Snapshot& before, const Snapshot& after) {
    Diff d;
    compareFiles(Tree{before}, Tree{after}, d);
    compareRegistry(before.registry, after.registry, d);
    sortAll(d);
    return d;
}

std::string formatText(const Diff& d, const Since& since) {
    std::string out = headingOf(since) + "\n";
    auto filePath = [](const FileRecord& f) { return utf8(f.path); };
    auto fileLine = [](const FileRecord& f) {
        return utf8(f.path) + "  (" + std::to_string(f.size) + " bytes)";
    };
    auto count = [](size_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    section(out,
            "Files deleted: " + count(d.filesDeleted.size(), "file", "files") + ", " +
                std::to_string(bytesOf(d.filesDeleted)) + " bytes",
            d.filesDeleted, fileLine);
    section(out,
            "Files added: " + count(d.filesAdded.size(), "file", "files") + ", " +
                std::to_string(bytesOf(d.filesAdded)) + " bytes",
            d.filesAdded, fileLine);
    section(out, "Files changed: " + count(d.filesChanged.size(), "file", "files"), d.filesChanged,
            [](const FileChange& c) {
                return utf8(c.after.path) + "  (" + changeText(c.before, c.after) + ")";
            });
    section(out, "Folders deleted: " + std::to_string(d.foldersDeleted.size()), d.foldersDeleted,
            filePath);
    section(out, "Folders added: " + std::to_string(d.foldersAdded.size()), d.foldersAdded,
            filePath);
    section(out, "Folders changed: " + std::to_string(d.foldersChanged.size()), d.foldersChanged,
            [](const FileChange& c) {
                return utf8(c.after.path) + "  (" + changeText(c.before, c.after) + ")";
            });
    section(out, "Moved: " + std::to_string(d.moves.size()), d.moves, [&](const Move& m) {
        return utf8(m.from) + " -> " + utf8(m.to) + "  (" +
               (m.folder ? "folder, " + count(m.files, "file", "files") + ", " : std::string()) +
               std::to_string(m.bytes) + " bytes)";
    });
    auto key = [](const std::u16string& k) { return utf8(k); };
    section(out, "Registry keys added: " + std::to_string(d.keysAdded.size()), d.keysAdded, key);
    section(out, "Registry keys removed: " + std::to_string(d.keysRemoved.size()), d.keysRemoved,
            key);
    auto value = [](const ValueRecord& v) {
        return utf8(v.key) + "  " + valueName(v.name) + " = " + valueText(v);
    };
    section(out, "Registry values added: " + std::to_string(d.valuesAdded.size()), d.valuesAdded,
            value);
    section(out, "Registry values removed: " + std::to_string(d.valuesRemoved.size()),
            d.valuesRemoved, value);
    section(out, "Registry values changed: " + std::to_string(d.valuesChanged.size()),
            d.valuesChanged, [](const ValueChange& c) {
                std::string s = utf8(c.after.key) + "  " + valueName(c.after.name) + ": " +
                                valueText(c.before) + " -> " + valueText(c.after);
                if (c.before.type != c.after.type)
                    s += "  (" + kernel::regTypeName(c.before.type) + " -> " +
                         kernel::regTypeName(c.after.type) + ")";
                return s;
            });
    uint64_t movedFiles = 0, movedBytes = 0;
    for (const Move& m : d.moves) {
        movedFiles += m.files;
        movedBytes += m.bytes;
    }
    if (d.empty())
        out += "\nNothing changed.\n";
    out += "\nTotal: " + count(d.filesDeleted.size(), "file", "files") + " deleted (" +
           std::to_string(bytesOf(d.filesDeleted)) + " bytes), " +
           std::to_string(d.filesAdded.size()) + " added (" +
           std::to_string(bytesOf(d.filesAdded)) + " bytes), " +
           std::to_string(d.filesChanged.size()) + " changed; " +
           count(d.foldersDeleted.size(), "folder", "folders") + " deleted, " +
           std::to_string(d.foldersAdded.size()) + " added; " + std::to_string(d.moves.size()) +
           " moved (" + count(movedFiles, "file", "files") + ", " + std::to_string(movedBytes) +
           " bytes); registry: " + count(d.keysAdded.size(), "key", "keys") + " added, " +
           std::to_string(d.keysRemoved.size()) + " removed, " +
           count(d.valuesAdded.size(), "value", "values") + " added, " +
           std::to_string(d.valuesRemoved.size()) + " removed, " +
           std::to_string(d.valuesChanged.size()) + " changed\n";
    return out;
}

std::string formatJson(const Diff& d, const Since& since) {
    std::string out = "{\n  \"since\": ";
    if (since.snapshot.empty())
        out += "{\"factory\": true},\n";
    else
        out +=
            "{\"snapshot\": " + json(since.snapshot) + ", \"taken\": " + json(since.taken) + "},\n";
    auto change = [](const FileChange& c) {
        return "{\"path\": " + json(c.after.path) + ", \"old\": " + stateJson(c.before) +
               ", \"new\": " + stateJson(c.after) + "}";
    };
    out += "  \"files\": {\n    \"deleted\": " + list(d.filesDeleted, fileJson, "    ") +
           ",\n    \"added\": " + list(d.filesAdded, fileJson, "    ") +
           ",\n    \"changed\": " + list(d.filesChanged, change, "    ") + "\n  },\n";
    out += "  \"folders\": {\n    \"deleted\": " + list(d.foldersDeleted, fileJson, "    ") +
           ",\n    \"added\": " + list(d.foldersAdded, fileJson, "    ") +
           ",\n    \"changed\": " + list(d.foldersChanged, change, "    ") + "\n  },\n";
    out += "  \"moved\": " +
           list(
               d.moves,
               [](const Move& m) {
                   return "{\"from\": " + json(m.from) + ", \"to\": " + json(m.to) +
                          ", \"folder\": " + (m.folder ? "true" : "false") +
                          ", \"files\": " + std::to_string(m.files) +
                          ", \"bytes\": " + std::to_string(m.bytes) + "}";
               },
               "  ") +
           ",\n";
    auto key = [](const std::u16string& k) { return json(k); };
    out += "  \"registry\": {\n    \"keys\": {\"added\": " + list(d.keysAdded, key, "      ") +
           ", \"removed\": " + list(d.keysRemoved, key, "      ") + "},\n";
    out += "    \"values\": {\n      \"added\": " + list(d.valuesAdded, valueJson, "      ") +
           ",\n      \"removed\": " + list(d.valuesRemoved, valueJson, "      ") +
           ",\n      \"changed\": " +
           list(
               d.valuesChanged,
               [](const ValueChange& c) {
                   return "{\"key\": " + json(c.after.key) + ", \"name\": " + json(c.after.name) +
                          ", \"old\": {\"type\": " + json(kernel::regTypeName(c.before.type)) +
                          ", \"data\": " + dataJson(c.before) +
                          "}, \"new\": {\"type\": " + json(kernel::regTypeName(c.after.type)) +
                          ", \"data\": " + dataJson(c.after) + "}}";
               },
               "      ") +
           "\n    }\n  },\n";
    uint64_t movedFiles = 0, movedBytes = 0;
    for (const Move& m : d.moves) {
        movedFiles += m.files;
        movedBytes += m.bytes;
    }
    auto n = [](uint64_t v) { return std::to_string(v); };
    out += "  \"totals\": {\"filesDeleted\": " + n(d.filesDeleted.size()) +
           ", \"bytesDeleted\": " + n(bytesOf(d.filesDeleted)) +
           ", \"filesAdded\": " + n(d.filesAdded.size()) +
           ", \"bytesAdded\": " + n(bytesOf(d.filesAdded)) +
           ", \"filesChanged\": " + n(d.filesChanged.size()) +
           ", \"foldersDeleted\": " + n(d.foldersDeleted.size()) +
           ", \"foldersAdded\": " + n(d.foldersAdded.size()) +
           ", \"foldersChanged\": " + n(d.foldersChanged.size()) +
           ", \"moves\": " + n(d.moves.size()) + ", \"filesMoved\": " + n(movedFiles) +
           ", \"bytesMoved\": " + n(movedBytes) + ", \"keysAdded\": " + n(d.keysAdded.size()) +
           ", \"keysRemoved\": " + n(d.keysRemoved.size()) +
           ", \"valuesAdded\": " + n(d.valuesAdded.size()) +
           ", \"valuesRemoved\": " + n(d.valuesRemoved.size()) +
           ", \"valuesChanged\": " + n(d.valuesChanged.size()) + "}\n}\n";
    return out;
}

}  // namespace ce::snapshot
