// The registry tree and its .reg text form. Nothing here recurses over the depth of the tree or
// of the text: a key nested however deep is built, written out and freed with loops.
#include "internal.h"

#include <algorithm>
#include <cstring>

namespace ce::kernel {

// ---- names ----

size_t NameHash::operator()(std::u16string_view name) const {
    uint64_t h = 14695981039346656037ULL;  // FNV-1a over the folded units
    for (char16_t c : name) {
        if (c < 0x80)
            h ^= (c >= u'A' && c <= u'Z') ? c + 32 : c;  // most names are ASCII
        else
            h ^= foldCase(c);
        h *= 1099511628211ULL;
    }
    return static_cast<size_t>(h);
}

bool NameEqual::operator()(std::u16string_view a, std::u16string_view b) const {
    return equalsNoCase(a, b);
}

// ---- the lists of a key ----

template <class T>
T* NamedList<T>::find(std::u16string_view name) const {
    if (index_) {
        auto it = index_->find(name);
        return it == index_->end() ? nullptr : it->second;
    }
    for (const auto& item : items_) {
        if (equalsNoCase(item->name, name))
            return item.get();
    }
    return nullptr;
}

template <class T>
T& NamedList<T>::add(std::unique_ptr<T> item) {
    T& added = *item;
    items_.push_back(std::move(item));
    if (index_) {
        index_->emplace(added.name, &added);
    } else if (items_.size() > kIndexFrom) {
        index_ = std::make_unique<Index>();
        index_->reserve(items_.size() * 2);
        for (const auto& i : items_) index_->emplace(i->name, i.get());
    }
    return added;
}

template <class T>
std::unique_ptr<T> NamedList<T>::remove(std::u16string_view name) {
    T* target = find(name);
    if (!target)
        return nullptr;
    if (index_)
        index_->erase(std::u16string_view(target->name));
    auto it = std::find_if(items_.begin(), items_.end(),
                           [&](const std::unique_ptr<T>& p) { return p.get() == target; });
    std::unique_ptr<T> removed = std::move(*it);
    items_.erase(it);
    return removed;
}

template <class T>
typename NamedList<T>::Items NamedList<T>::takeAll() {
    index_.reset();
    return std::move(items_);
}

template class NamedList<RegValue>;
template class NamedList<RegKey>;

// ---- keys ----

RegKey::RegKey(RegKey&& other) noexcept
    : name(std::move(other.name)),
      values(std::move(other.values)),
      subkeys(std::move(other.subkeys)) {}

RegKey& RegKey::operator=(RegKey&& other) noexcept {
    if (this != &other) {
        freeSubtree();
        name = std::move(other.name);
        values = std::move(other.values);
        subkeys = std::move(other.subkeys);
    }
    return *this;
}

RegKey::~RegKey() {
    freeSubtree();
}

// Each key is freed only once its own subkeys have been moved out, so no destructor descends.
void RegKey::freeSubtree() {
    auto pending = subkeys.takeAll();
    while (!pending.empty()) {
        std::unique_ptr<RegKey> key = std::move(pending.back());
        pending.pop_back();
        for (auto& child : key->subkeys.takeAll()) pending.push_back(std::move(child));
    }
}

RegKey& RegKey::addSubkey(std::u16string n) {
    return subkeys.add(std::make_unique<RegKey>(std::move(n)));
}

void RegKey::setValue(RegValue v) {
    if (RegValue* old = value(v.name)) {
        old->type = v.type;
        old->data = std::move(v.data);
    } else {
        values.add(std::make_unique<RegValue>(std::move(v)));
    }
}

bool RegKey::removeValue(std::u16string_view n) {
    return values.remove(n) != nullptr;
}

bool RegKey::removeSubkey(std::u16string_view n) {
    return subkeys.remove(n) != nullptr;
}

// ---- the .reg text ----

namespace {

const char* const kRootNames[kRootCount] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                            "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
const char* const kRootShort[kRootCount] = {"HKCR", "HKCU", "HKLM", "HKU"};
const char kHeader[] = "Windows Registry Editor Version 5.00";

bool sameNoCase(std::string_view a, const char* b) {
    return a.size() == strlen(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

int rootIndex(std::string_view name) {
    for (int i = 0; i < kRootCount; ++i) {
        if (sameNoCase(name, kRootNames[i]) || sameNoCase(name, kRootShort[i]))
            return i;
    }
    return -1;
}

std::string_view trim(std::string_view s) {
    size_t a = s.find_first_not_of(" \t");
    if (a == std::string_view::npos)
        return {};
    size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
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

bool isAscii(std::string_view s) {
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// UTF-8 to UTF-16, with a shortcut for the ASCII that nearly all of a registry is.
std::u16string widen(std::string_view s) {
    return isAscii(s) ? std::u16string(s.begin(), s.end()) : fromUtf8(s);
}

// The data of a REG_SZ value from its UTF-8 text.
std::vector<uint8_t> stringData(std::string_view text) {
    if (!isAscii(text))
        return regString(fromUtf8(text));
    std::vector<uint8_t> data((text.size() + 1) * 2, 0);
    for (size_t i = 0; i < text.size(); ++i) data[2 * i] = static_cast<uint8_t>(text[i]);
    return data;
}

// The lines of a text, numbered; a final "\r" belongs to the line break.
class Lines {
  public:
    Lines(std::string_view text, int firstLine) : text_(text), number_(firstLine - 1) {}
    bool next(std::string_view& line) {
        if (pos_ >= text_.size())
            return false;
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos)
            end = text_.size();
        line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        pos_ = end + 1;
        ++number_;
        return true;
    }
    int number() const { return number_; }

  private:
    std::string_view text_;
    size_t pos_ = 0;
    int number_;
};

// Reads a quoted text starting at s[pos] == '"'; pos ends after the closing quote. \\ and \"
// stand for themselves, \n and \r for line breaks; any other backslash is itself.
bool readQuoted(std::string_view s, size_t& pos, std::string& out) {
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        char c = s[pos];
        if (c == '\\' && pos + 1 < s.size()) {
            char e = s[pos + 1];
            if (e == '\\' || e == '"' || e == 'n' || e == 'r') {
                out += e == 'n' ? '\n' : e == 'r' ? '\r' : e;
                ++pos;
                continue;
            }
        }
        if (c == '"') {
            ++pos;
            return true;
        }
        out += c;
    }
    return false;
}

void appendQuoted(std::string& out, std::string_view s) {
    out += '"';
    for (char c : s) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += c;
        }
    }
    out += '"';
}

// Applies the statements of .reg text (key lines, value lines, comments) to a tree.
class Reader {
  public:
    Reader(RegRoots& roots, RegParseError& error) : roots_(roots), error_(error) {}

    bool run(Lines& lines) {
        std::string_view raw;
        while (lines.next(raw)) {
            std::string_view line = trim(raw);
            if (line.empty() || line[0] == ';')
                continue;
            bool ok = line[0] == '[' ? keyLine(lines, line) : valueLine(lines, line);
            if (!ok)
                return false;
        }
        return true;
    }

  private:
    bool fail(int line, std::string message) {
        error_.line = line;
        error_.message = std::move(message);
        return false;
    }

    bool keyLine(const Lines& lines, std::string_view line) {
        if (line.back() != ']')
            return fail(lines.number(), "key name without closing ]");
        std::string_view path = line.substr(1, line.size() - 2);
        bool remove = !path.empty() && path[0] == '-';
        if (remove)
            path.remove_prefix(1);
        size_t slash = path.find('\\');
        int root = rootIndex(path.substr(0, slash));
        if (root < 0)
            return fail(lines.number(), "unknown root key in [" + std::string(path) + "]");
        splitPath(slash == std::string_view::npos ? std::string_view() : path.substr(slash));
        if (names_.size() > kMaxKeyDepth)
            return fail(lines.number(), "key nested " + std::to_string(names_.size()) +
                                            " levels deep (the registry holds at most " +
                                            std::to_string(kMaxKeyDepth) + ")");
        if (remove) {
            removeKey(root);
            return true;
        }
        // Keys usually follow their parent: the names this line shares with the last key line
        // lead to the keys found then.
        size_t same = 0;
        if (root == lastRoot_) {
            while (same < names_.size() && same < lastNames_.size() &&
                   names_[same] == lastNames_[same])
                ++same;
        }
        RegKey* k = same ? lastKeys_[same - 1] : &roots_[root];
        lastKeys_.resize(same);
        for (size_t i = same; i < names_.size(); ++i) {
            std::u16string name = widen(names_[i]);
            RegKey* sub = k->subkey(name);
            k = sub ? sub : &k->addSubkey(std::move(name));
            lastKeys_.push_back(k);
        }
        lastRoot_ = root;
        lastNames_ = names_;
        key_ = k;
        return true;
    }

    void removeKey(int root) {
        key_ = nullptr;
        lastRoot_ = -1;  // the keys found before may be gone
        RegKey* k = &roots_[root];
        for (size_t p = 0; k && p + 1 < names_.size(); ++p) k = k->subkey(widen(names_[p]));
        if (k && !names_.empty())
            k->removeSubkey(widen(names_.back()));
    }

    // The names of a key path ("\a\b", empty names skipped), as they stand in the text.
    void splitPath(std::string_view path) {
        names_.clear();
        size_t i = 0;
        while (i < path.size()) {
            size_t j = path.find('\\', i);
            if (j == std::string_view::npos)
                j = path.size();
            if (j > i)
                names_.push_back(path.substr(i, j - i));
            i = j + 1;
        }
    }

    bool valueLine(Lines& lines, std::string_view line) {
        int number = lines.number();
        if (!key_)
            return fail(number, line[0] == '"' || line[0] == '@'
                                    ? "value outside a key"
                                    : "expected a key in [ ] or a value \"name\"=...");
        size_t pos = 0;
        name_.clear();
        if (line[0] == '@') {
            pos = 1;
        } else if (line[0] == '"') {
            if (!readQuoted(line, pos, name_))
                return fail(number, "value name without closing quote");
        } else {
            return fail(number, "expected a key in [ ] or a value \"name\"=...");
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        if (pos >= line.size() || line[pos] != '=')
            return fail(number, "expected = after the value name");
        std::string_view data = trim(line.substr(pos + 1));
        RegValue v;
        v.name = widen(name_);
        if (data == "-") {
            key_->removeValue(v.name);
            return true;
        }
        if (!readData(lines, data, v))
            return false;
        key_->setValue(std::move(v));
        return true;
    }

    bool readData(Lines& lines, std::string_view data, RegValue& v) {
        int number = lines.number();
        if (!data.empty() && data[0] == '"') {
            size_t q = 0;
            if (!readQuoted(data, q, text_))
                return fail(number, "string without closing quote");
            if (!trim(data.substr(q)).empty())
                return fail(number, "text after the closing quote");
            v.type = REG_SZ;
            v.data = stringData(text_);
            return true;
        }
        if (data.substr(0, 6) == "dword:") {
            std::string_view digits = data.substr(6);
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
            return true;
        }
        if (data.substr(0, 3) == "hex")
            return readHex(lines, data, v);
        return fail(number, "unrecognised value data \"" + std::string(data) + "\"");
    }

    // hex:00,01 (binary) or hex(T):... (type T in hexadecimal); a final backslash continues the
    // bytes on the next line.
    bool readHex(Lines& lines, std::string_view data, RegValue& v) {
        int number = lines.number();
        size_t colon = data.find(':');
        if (colon == std::string_view::npos)
            return fail(number, "bad hex value");
        std::string_view kind = data.substr(3, colon - 3);
        if (kind.empty()) {
            v.type = REG_BINARY;
        } else {
            if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')' || kind.size() > 10)
                return fail(number, "bad hex value type");
            uint32_t type = 0;
            for (char c : kind.substr(1, kind.size() - 2)) {
                int d = hexDigit(c);
                if (d < 0)
                    return fail(number, "bad hex value type");
                type = (type << 4) | static_cast<uint32_t>(d);
            }
            v.type = type;
        }
        std::string_view bytes = data.substr(colon + 1);
        while (true) {
            bool more = !bytes.empty() && bytes.back() == '\\';
            if (more)
                bytes.remove_suffix(1);
            if (!readHexBytes(bytes, v.data, lines.number()))
                return false;
            if (!more)
                return true;
            std::string_view next;
            if (!lines.next(next))
                return fail(number, "hex data continues past the end");
            bytes = trim(next);
        }
    }

    // One line's part of a byte list; a list may end with a comma where it continues.
    bool readHexBytes(std::string_view bytes, std::vector<uint8_t>& out, int number) {
        size_t b = 0;
        auto blanks = [&] {
            while (b < bytes.size() && (bytes[b] == ' ' || bytes[b] == '\t')) ++b;
        };
        while (true) {
            blanks();
            if (b >= bytes.size())
                return true;
            if (b + 1 >= bytes.size() || hexDigit(bytes[b]) < 0 || hexDigit(bytes[b + 1]) < 0)
                return fail(number, "bad hex byte");
            out.push_back(static_cast<uint8_t>(hexDigit(bytes[b]) * 16 + hexDigit(bytes[b + 1])));
            b += 2;
            blanks();
            if (b < bytes.size()) {
                if (bytes[b] != ',')
                    return fail(number, "bad hex byte list");
                ++b;
            }
        }
    }

    RegRoots& roots_;
    RegParseError& error_;
    RegKey* key_ = nullptr;  // the key of the last key line
    std::vector<std::string_view> names_;
    int lastRoot_ = -1;  // the last key line's root, names and the keys they lead to
    std::vector<std::string_view> lastNames_;
    std::vector<RegKey*> lastKeys_;
    std::string name_, text_;
};

// The text of a .reg file in UTF-8: a UTF-16LE file (as regedit writes) is converted, a UTF-8
// byte-order mark skipped.
std::string_view decodeText(std::string_view raw, std::string& converted) {
    if (raw.size() >= 2 && static_cast<uint8_t>(raw[0]) == 0xFF &&
        static_cast<uint8_t>(raw[1]) == 0xFE) {
        std::u16string wide;
        wide.reserve(raw.size() / 2);
        for (size_t i = 2; i + 1 < raw.size(); i += 2) {
            wide += static_cast<char16_t>(static_cast<uint8_t>(raw[i]) |
                                          (static_cast<uint8_t>(raw[i + 1]) << 8));
        }
        converted = toUtf8(wide);
        return converted;
    }
    if (raw.substr(0, 3) == "\xEF\xBB\xBF")
        return raw.substr(3);
    return raw;
}

}  // namespace

const char* rootName(int root) {
    return kRootNames[root];
}

std::vector<uint8_t> regString(std::u16string_view text) {
    std::vector<uint8_t> data((text.size() + 1) * 2, 0);
    for (size_t i = 0; i < text.size(); ++i) {
        data[2 * i] = static_cast<uint8_t>(text[i]);
        data[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
    }
    return data;
}

bool parseReg(std::string_view raw, RegRoots& roots, RegParseError& error) {
    std::string converted;
    Lines lines(decodeText(raw, converted), 1);
    for (auto& r : roots) r = RegKey();
    std::string_view line;
    while (lines.next(line)) {
        line = trim(line);
        if (line.empty() || line[0] == ';')
            continue;
        if (line != kHeader) {
            error.line = lines.number();
            error.message = std::string("not a registry file (expected \"") + kHeader + "\")";
            return false;
        }
        Reader reader(roots, error);
        return reader.run(lines);
    }
    error.line = 1;
    error.message = std::string("empty registry file (expected \"") + kHeader + "\")";
    return false;
}

bool applyReg(std::string_view sections, RegRoots& roots, RegParseError& error, int firstLine) {
    Lines lines(sections, firstLine);
    Reader reader(roots, error);
    return reader.run(lines);
}

bool regHoldsKeyName(std::u16string_view name) {
    std::string utf8;
    return name.find_first_of(u"\r\n") == std::u16string_view::npos && toUtf8(name, utf8);
}

bool regHoldsValueName(std::u16string_view name) {
    std::string utf8;
    return toUtf8(name, utf8);
}

namespace {

const char kHexDigits[] = "0123456789abcdef";

void appendHexByte(std::string& out, uint8_t b) {
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 15];
}

// The text of a REG_SZ value that the quoted form holds exactly, if there is one.
bool plainString(const RegValue& v, std::string& out) {
    if (v.type != REG_SZ || v.data.size() < 2 || v.data.size() % 2)
        return false;
    size_t units = v.data.size() / 2 - 1;
    if (v.data[units * 2] || v.data[units * 2 + 1])
        return false;
    std::u16string wide(units, u'\0');
    for (size_t i = 0; i < units; ++i) {
        wide[i] = static_cast<char16_t>(v.data[2 * i] | (v.data[2 * i + 1] << 8));
        if (wide[i] == 0)
            return false;
    }
    return toUtf8(wide, out);
}

void appendValueName(std::string& out, std::u16string_view name) {
    if (name.empty())
        out += '@';
    else
        appendQuoted(out, toUtf8(name));
}

void appendData(std::string& out, const RegValue& v) {
    std::string text;
    if (plainString(v, text)) {
        appendQuoted(out, text);
        return;
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        out += "dword:";
        for (int i = 3; i >= 0; --i) appendHexByte(out, v.data[i]);
        return;
    }
    size_t lineStart = out.rfind('\n') + 1;  // npos + 1 is 0
    if (v.type == REG_BINARY) {
        out += "hex:";
    } else {
        char kind[16];
        snprintf(kind, sizeof kind, "hex(%x):", static_cast<unsigned>(v.type));
        out += kind;
    }
    // lines of at most about 80 characters, continued with a final backslash
    for (size_t i = 0; i < v.data.size(); ++i) {
        appendHexByte(out, v.data[i]);
        if (i + 1 < v.data.size()) {
            out += ',';
            if (out.size() - lineStart > 76) {
                out += "\\\n  ";
                lineStart = out.size() - 2;
            }
        }
    }
}

void appendKeyBlock(std::string& out, std::string_view path, const RegKey& key) {
    out += "\n[";
    out += path;
    out += "]\n";
    for (const RegValue& v : key.values) {
        appendValueName(out, v.name);
        out += '=';
        appendData(out, v);
        out += '\n';
    }
}

// Every key of one root in depth-first order, each after its parent, with a stack instead of
// recursion.
void appendTree(std::string& out, const RegKey& root, int rootIndex) {
    std::string path = kRootNames[rootIndex];
    if (!root.values.empty())
        appendKeyBlock(out, path, root);
    struct Frame {
        const RegKey* key;
        size_t next;
        size_t pathLength;
    };
    std::vector<Frame> stack{{&root, 0, path.size()}};
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.key->subkeys.size()) {
            stack.pop_back();
            continue;
        }
        const RegKey& child = top.key->subkeys[top.next++];
        path.resize(top.pathLength);
        path += '\\';
        path += toUtf8(child.name);
        appendKeyBlock(out, path, child);
        stack.push_back({&child, 0, path.size()});
    }
}

}  // namespace

std::string formatReg(const RegRoots& roots) {
    std::string out = std::string(kHeader) + "\n";
    for (int r : {kLocalMachine, kCurrentUser, kClassesRoot, kUsers}) appendTree(out, roots[r], r);
    return out;
}

std::string regKeyLine(int root, const std::vector<std::u16string>& path, bool remove) {
    std::string out = remove ? "[-" : "[";
    out += kRootNames[root];
    for (const auto& name : path) {
        out += '\\';
        out += toUtf8(name);
    }
    out += "]\n";
    return out;
}

std::string regValueLine(const RegValue& value) {
    std::string out;
    appendValueName(out, value.name);
    out += '=';
    appendData(out, value);
    out += '\n';
    return out;
}

std::string regValueRemovalLine(std::u16string_view name) {
    std::string out;
    appendValueName(out, name);
    out += "=-\n";
    return out;
}

}  // namespace ce::kernel
