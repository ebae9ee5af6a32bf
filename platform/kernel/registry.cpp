// The registry tree, its .reg text form, and keeping it on disk.
#include "internal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace ce::kernel {

// ---- the tree ----

RegKey* RegKey::subkey(std::u16string_view n) const {
    for (const auto& k : subkeys) {
        if (equalsNoCase(k->name, n))
            return k.get();
    }
    return nullptr;
}

RegKey& RegKey::addSubkey(std::u16string n) {
    subkeys.push_back(std::make_unique<RegKey>());
    subkeys.back()->name = std::move(n);
    return *subkeys.back();
}

RegValue* RegKey::value(std::u16string_view n) {
    for (auto& v : values) {
        if (equalsNoCase(v.name, n))
            return &v;
    }
    return nullptr;
}

void RegKey::setValue(RegValue v) {
    if (RegValue* old = value(v.name)) {
        old->type = v.type;
        old->data = std::move(v.data);
    } else {
        values.push_back(std::move(v));
    }
}

bool RegKey::removeValue(std::u16string_view n) {
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (equalsNoCase(it->name, n)) {
            values.erase(it);
            return true;
        }
    }
    return false;
}

bool RegKey::removeSubkey(std::u16string_view n) {
    for (auto it = subkeys.begin(); it != subkeys.end(); ++it) {
        if (equalsNoCase((*it)->name, n)) {
            subkeys.erase(it);
            return true;
        }
    }
    return false;
}

namespace {

const char* const kRootNames[kRootCount] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                            "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
const char* const kRootShort[kRootCount] = {"HKCR", "HKCU", "HKLM", "HKU"};
const char kHeader[] = "Windows Registry Editor Version 5.00";

int rootIndex(std::string_view name) {
    for (int i = 0; i < kRootCount; ++i) {
        if (strncasecmp(name.data(), kRootNames[i], name.size()) == 0 &&
            strlen(kRootNames[i]) == name.size())
            return i;
        if (strncasecmp(name.data(), kRootShort[i], name.size()) == 0 &&
            strlen(kRootShort[i]) == name.size())
            return i;
    }
    return -1;
}

std::vector<std::u16string> splitKeyPath(std::u16string_view path) {
    std::vector<std::u16string> parts;
    size_t i = 0;
    while (i < path.size()) {
        size_t j = path.find(u'\\', i);
        if (j == std::u16string_view::npos)
            j = path.size();
        if (j > i)
            parts.emplace_back(path.substr(i, j - i));
        i = j + 1;
    }
    return parts;
}

std::string trim(std::string_view s) {
    size_t a = s.find_first_not_of(" \t");
    if (a == std::string_view::npos)
        return {};
    size_t b = s.find_last_not_of(" \t");
    return std::string(s.substr(a, b - a + 1));
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a quoted string starting at s[pos] == '"'; pos ends after the closing quote.
bool readQuoted(const std::string& s, size_t& pos, std::string& out) {
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        char c = s[pos];
        if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"')) {
            out += s[++pos];
        } else if (c == '"') {
            ++pos;
            return true;
        } else {
            out += c;
        }
    }
    return false;
}

}  // namespace

std::vector<uint8_t> regString(std::u16string_view text) {
    std::vector<uint8_t> data;
    data.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
        data.push_back(static_cast<uint8_t>(c));
        data.push_back(static_cast<uint8_t>(c >> 8));
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

namespace {

std::string decodeText(std::string_view raw) {
    if (raw.size() >= 2 && static_cast<uint8_t>(raw[0]) == 0xFF &&
        static_cast<uint8_t>(raw[1]) == 0xFE) {
        std::u16string wide;
        for (size_t i = 2; i + 1 < raw.size(); i += 2) {
            wide += static_cast<char16_t>(static_cast<uint8_t>(raw[i]) |
                                          (static_cast<uint8_t>(raw[i + 1]) << 8));
        }
        return toUtf8(wide);
    }
    if (raw.size() >= 3 && raw.substr(0, 3) == "\xEF\xBB\xBF")
        return std::string(raw.substr(3));
    return std::string(raw);
}

}  // namespace

const char* rootName(int root) {
    return kRootNames[root];
}

bool parseReg(std::string_view rawText, RegRoots& roots, RegParseError& error) {
    std::string text = decodeText(rawText);
    std::vector<std::string> lines;
    {
        std::string line;
        std::istringstream in(text);
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
        }
    }
    auto fail = [&](int line, std::string msg) {
        error.line = line;
        error.message = std::move(msg);
        return false;
    };
    for (auto& r : roots) r = RegKey();
    bool headerSeen = false;
    RegKey* key = nullptr;
    for (size_t i = 0; i < lines.size(); ++i) {
        int number = static_cast<int>(i) + 1;
        std::string line = trim(lines[i]);
        if (line.empty() || line[0] == ';')
            continue;
        if (!headerSeen) {
            if (line != kHeader)
                return fail(number,
                            std::string("not a registry file (expected \"") + kHeader + "\")");
            headerSeen = true;
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']')
                return fail(number, "key name without closing ]");
            std::string name = line.substr(1, line.size() - 2);
            bool remove = !name.empty() && name[0] == '-';
            if (remove)
                name.erase(0, 1);
            size_t slash = name.find('\\');
            int root = rootIndex(std::string_view(name).substr(0, slash));
            if (root < 0)
                return fail(number, "unknown root key in [" + name + "]");
            auto parts = slash == std::string::npos
                             ? std::vector<std::u16string>{}
                             : splitKeyPath(fromUtf8(name.substr(slash + 1)));
            RegKey* k = &roots[root];
            if (remove) {
                key = nullptr;
                for (size_t p = 0; k && p + 1 < parts.size(); ++p) k = k->subkey(parts[p]);
                if (k && !parts.empty())
                    k->removeSubkey(parts.back());
                continue;
            }
            for (const auto& p : parts) {
                RegKey* sub = k->subkey(p);
                k = sub ? sub : &k->addSubkey(p);
            }
            key = k;
            continue;
        }
        if (!key)
            return fail(number, "value outside a key");
        // the value name
        std::string name;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (line[0] == '"') {
            if (!readQuoted(line, pos, name))
                return fail(number, "value name without closing quote");
        } else {
            return fail(number, "expected a key in [ ] or a value \"name\"=...");
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        if (pos >= line.size() || line[pos] != '=')
            return fail(number, "expected = after the value name");
        std::string data = trim(std::string_view(line).substr(pos + 1));
        RegValue v;
        v.name = fromUtf8(name);
        if (data == "-") {
            key->removeValue(v.name);
            continue;
        }
        if (!data.empty() && data[0] == '"') {
            size_t q = 0;
            std::string s;
            if (!readQuoted(data, q, s))
                return fail(number, "string without closing quote");
            if (!trim(std::string_view(data).substr(q)).empty())
                return fail(number, "text after the closing quote");
            v.type = REG_SZ;
            v.data = regString(fromUtf8(s));
        } else if (data.rfind("dword:", 0) == 0) {
            std::string digits = data.substr(6);
            if (digits.empty() || digits.size() > 8)
                return fail(number, "bad dword value");
            uint32_t n = 0;
            for (char c : digits) {
                int d = hexDigit(c);
                if (d < 0)
                    return fail(number, "bad dword value");
                n = (n << 4) | static_cast<uint32_t>(d);
            }
            v.type = REG_DWORD;
            v.data = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                      static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 24)};
        } else if (data.rfind("hex", 0) == 0) {
            size_t colon = data.find(':');
            if (colon == std::string::npos)
                return fail(number, "bad hex value");
            std::string kind = data.substr(3, colon - 3);
            if (kind.empty()) {
                v.type = REG_BINARY;
            } else {
                if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')')
                    return fail(number, "bad hex value type");
                char* end = nullptr;
                std::string t = kind.substr(1, kind.size() - 2);
                unsigned long type = strtoul(t.c_str(), &end, 16);
                if (t.empty() || *end || type > 0xFFFFFFFFul)
                    return fail(number, "bad hex value type");
                v.type = static_cast<DWORD>(type);
            }
            std::string bytes = data.substr(colon + 1);
            // continuation lines: a final backslash continues on the next line
            while (!bytes.empty() && bytes.back() == '\\') {
                bytes.pop_back();
                if (++i >= lines.size())
                    return fail(number, "hex data continues past the end");
                bytes += trim(lines[i]);
            }
            size_t b = 0;
            while (b < bytes.size()) {
                while (b < bytes.size() && (bytes[b] == ' ' || bytes[b] == '\t')) ++b;
                if (b >= bytes.size())
                    break;
                if (b + 1 >= bytes.size() || hexDigit(bytes[b]) < 0 || hexDigit(bytes[b + 1]) < 0)
                    return fail(static_cast<int>(i) + 1, "bad hex byte");
                v.data.push_back(
                    static_cast<uint8_t>(hexDigit(bytes[b]) * 16 + hexDigit(bytes[b + 1])));
                b += 2;
                while (b < bytes.size() && (bytes[b] == ' ' || bytes[b] == '\t')) ++b;
                if (b < bytes.size()) {
                    if (bytes[b] != ',')
                        return fail(static_cast<int>(i) + 1, "bad hex byte list");
                    ++b;
                }
            }
        } else {
            return fail(number, "unrecognised value data \"" + data + "\"");
        }
        key->setValue(std::move(v));
    }
    if (!headerSeen)
        return fail(1, std::string("empty registry file (expected \"") + kHeader + "\")");
    return true;
}

namespace {

std::string quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

// The text of a REG_SZ value that the quoted form holds exactly, if there is one.
bool plainString(const RegValue& v, std::string& out) {
    if (v.type != REG_SZ || v.data.size() < 2 || v.data.size() % 2)
        return false;
    size_t units = v.data.size() / 2 - 1;
    if (v.data[units * 2] || v.data[units * 2 + 1])
        return false;
    std::u16string wide;
    for (size_t i = 0; i < units; ++i) {
        char16_t c = static_cast<char16_t>(v.data[2 * i] | (v.data[2 * i + 1] << 8));
        if (c == 0 || c == u'\n' || c == u'\r')
            return false;
        wide += c;
    }
    return toUtf8(wide, out);
}

void formatValue(std::string& out, const RegValue& v) {
    std::string line = v.name.empty() ? "@=" : quote(toUtf8(v.name)) + "=";
    std::string text;
    if (plainString(v, text)) {
        line += quote(text);
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
        char buf[16];
        uint32_t n = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) |
                     (static_cast<uint32_t>(v.data[3]) << 24);
        snprintf(buf, sizeof buf, "dword:%08x", n);
        line += buf;
    } else {
        char buf[16];
        if (v.type == REG_BINARY) {
            line += "hex:";
        } else {
            snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
            line += buf;
        }
        for (size_t i = 0; i < v.data.size(); ++i) {
            snprintf(buf, sizeof buf, "%02x", v.data[i]);
            line += buf;
            if (i + 1 < v.data.size()) {
                line += ',';
                if (line.size() > 76) {
                    out += line + "\\\n";
                    line = "  ";
                }
            }
        }
    }
    out += line + "\n";
}

void formatKey(std::string& out, const RegKey& key, const std::string& path, bool isRoot) {
    if (!isRoot || !key.values.empty()) {
        out += "\n[" + path + "]\n";
        for (const auto& v : key.values) formatValue(out, v);
    }
    for (const auto& sub : key.subkeys)
        formatKey(out, *sub, path + "\\" + toUtf8(sub->name), false);
}

}  // namespace

std::string formatReg(const RegRoots& roots) {
    std::string out = std::string(kHeader) + "\n";
    for (int r : {kLocalMachine, kCurrentUser, kClassesRoot, kUsers})
        formatKey(out, roots[r], kRootNames[r], true);
    return out;
}

// ---- on disk ----

namespace {

bool readFile(const std::filesystem::path& file, std::string& out) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return true;
}

}  // namespace

Registry::FileId Registry::currentId() const {
    FileId id;
    struct stat st;
    if (stat(file_.c_str(), &st) == 0) {
        id.dev = st.st_dev;
        id.ino = st.st_ino;
        id.size = st.st_size;
        id.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    }
    return id;
}

void Registry::attach(const std::filesystem::path& deviceDir) {
    std::lock_guard lock(mutex_);
    file_ = deviceDir / "registry.reg";
    lockFile_ = deviceDir / "registry.lock";
    std::string error;
    loaded_ = FileId();
    for (auto& r : roots_) r = RegKey();
    if (!refreshLocked(&error))
        throw DeviceError(error);
}

bool Registry::refreshLocked(std::string* error) {
    FileId id = currentId();
    if (id == loaded_)
        return true;
    if (id.size < 0) {  // no file: an empty registry
        for (auto& r : roots_) r = RegKey();
        loaded_ = id;
        return true;
    }
    std::string text;
    if (!readFile(file_, text)) {
        if (error)
            *error = "cannot read " + file_.string() + ": " + strerror(errno);
        return false;
    }
    RegRoots fresh;
    RegParseError pe;
    if (!parseReg(text, fresh, pe)) {
        if (error)
            *error = "corrupt registry " + file_.string() + ", line " + std::to_string(pe.line) +
                     ": " + pe.message;
        return false;
    }
    roots_ = std::move(fresh);
    loaded_ = id;
    return true;
}

bool Registry::save(std::string* error) {
    std::filesystem::path tmp = file_;
    tmp += ".tmp." + std::to_string(getpid());
    std::string text = formatReg(roots_);
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    size_t done = 0;
    while (ok && done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            ok = false;
        else
            done += static_cast<size_t>(n);
    }
    if (ok && fdatasync(fd) != 0)
        ok = false;
    if (fd >= 0 && ::close(fd) != 0)
        ok = false;
    if (ok && rename(tmp.c_str(), file_.c_str()) != 0)
        ok = false;
    if (!ok) {
        if (error)
            *error = "cannot write " + file_.string() + ": " + strerror(errno);
        unlink(tmp.c_str());
        return false;
    }
    loaded_ = currentId();
    return true;
}

LONG Registry::read(const std::function<LONG(const RegRoots&)>& fn) {
    std::lock_guard lock(mutex_);
    refreshLocked(nullptr);  // an unreadable file leaves the last good tree in use
    return fn(roots_);
}

LONG Registry::write(const std::function<LONG(RegRoots&, bool&)>& fn) {
    std::lock_guard lock(mutex_);
    FileLock flock(lockFile_);
    std::string error;
    if (!refreshLocked(&error)) {
        if (Device* d = Device::current())
            d->log("registry not written: " + error);
        return ERROR_REGISTRY_CORRUPT;
    }
    bool changed = false;
    LONG result = fn(roots_, changed);
    if (result == ERROR_SUCCESS && changed && !save(&error)) {
        // what is on disk stays the truth
        loaded_ = FileId();
        refreshLocked(nullptr);
        if (Device* d = Device::current())
            d->log("registry not written: " + error);
        return ERROR_REGISTRY_IO_FAILED;
    }
    return result;
}

std::string Registry::text() {
    std::lock_guard lock(mutex_);
    refreshLocked(nullptr);
    return formatReg(roots_);
}

}  // namespace ce::kernel
