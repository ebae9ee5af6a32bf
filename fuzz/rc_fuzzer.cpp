// Feeds arbitrary text to the .rc reader and checks what it makes of it. The input is the
// script, then (after a NUL byte, if there is one) the bytes of every file it names: the icons
// and #include files. The reader either refuses with a std::runtime_error, or gives resources
// that, written out again as a script, read back the same: menus (popups, items, IDs, options,
// separators, texts with any character), string tables and the version block. Icons it decodes
// have the size their pixels fill. ASan and UBSan watch every read and write on the way.
#include "resources/resources.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

using ce::resources::MenuNode;
using ce::resources::ResourceSet;
using ce::resources::VersionInfo;

namespace {

[[noreturn]] void finding(const std::string& what) {
    fprintf(stderr, "rc_fuzzer: %s\n", what.c_str());
    std::abort();
}

// ---- writing resources as a script -------------------------------------------------------

// One UTF-16 unit as the reader takes it back: UTF-8 of one to three bytes (a surrogate on its
// own too), escapes for what would end the string or the line.
void appendUnit(std::string& out, char16_t c) {
    switch (c) {
        case u'"':
            out += "\"\"";
            return;
        case u'\\':
            out += "\\\\";
            return;
        case u'\n':
            out += "\\n";
            return;
        case u'\r':
            out += "\\r";
            return;
        case u'\t':
            out += "\\t";
            return;
        case u'\0':
            out += "\\0";
            return;
        case u'\b':
            out += "\\a";  // the resource compiler's \a, which right-aligns menu text
            return;
        default:
            break;
    }
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string quoted(const std::u16string& text) {
    std::string out = "\"";
    for (char16_t c : text) appendUnit(out, c);
    return out + "\"";
}

std::string menuOptions(UINT flags) {
    static const std::pair<UINT, const char*> options[] = {
        {MF_GRAYED, "GRAYED"},       {MF_DISABLED, "INACTIVE"},
        {MF_CHECKED, "CHECKED"},     {MF_MENUBARBREAK, "MENUBARBREAK"},
        {MF_MENUBREAK, "MENUBREAK"}, {MF_HELP, "HELP"},
    };
    std::string out;
    for (const auto& [flag, word] : options)
        if (flags & flag)
            out += std::string(", ") + word;
    return out;
}

// Depth-first with a stack of its own: the items still to write at each open level.
std::string menuText(const std::vector<MenuNode>& items) {
    std::string out = "BEGIN\n";
    std::vector<std::pair<const std::vector<MenuNode>*, size_t>> open = {{&items, 0}};
    while (!open.empty()) {
        auto& [level, next] = open.back();
        if (next == level->size()) {
            out += "END\n";
            open.pop_back();
            continue;
        }
        const MenuNode& n = (*level)[next++];
        if (n.flags & MF_POPUP) {
            out += "POPUP " + quoted(n.text) + menuOptions(n.flags) + "\nBEGIN\n";
            open.push_back({&n.items, 0});
        } else if (n.flags & MF_SEPARATOR) {
            out += "MENUITEM SEPARATOR\n";
        } else {
            out += "MENUITEM " + quoted(n.text) + ", " + std::to_string(n.id) +
                   menuOptions(n.flags) + "\n";
        }
    }
    return out;
}

std::string versionText(const VersionInfo& v) {
    auto four = [](const WORD w[4]) {
        return std::to_string(w[0]) + "," + std::to_string(w[1]) + "," + std::to_string(w[2]) +
               "," + std::to_string(w[3]);
    };
    std::string out = "1 VERSIONINFO\nFILEVERSION " + four(v.fileVersion) + "\nPRODUCTVERSION " +
                      four(v.productVersion) + "\nFILEFLAGSMASK 0x3fL\nBEGIN\n" +
                      "BLOCK \"StringFileInfo\"\nBEGIN\nBLOCK " + quoted(v.langCodepage) +
                      "\nBEGIN\n";
    for (const auto& [key, value] : v.strings)
        out += "VALUE " + quoted(key) + ", " + quoted(value) + "\n";
    return out +
           "END\nEND\nBLOCK \"VarFileInfo\"\nBEGIN\nVALUE \"Translation\", 0x409, 1200\nEND\nEND\n";
}

std::string script(const ResourceSet& set) {
    std::string out;
    for (const auto& [id, items] : set.menus)
        out += std::to_string(id) + " MENU\n" + menuText(items);
    for (const auto& [name, items] : set.namedMenus)
        out += quoted(name) + " MENU\n" + menuText(items);
    if (!set.strings.empty()) {
        out += "STRINGTABLE\nBEGIN\n";
        for (const auto& [id, text] : set.strings)
            out += std::to_string(id) + ", " + quoted(text) + "\n";
        out += "END\n";
    }
    if (set.version)
        out += versionText(*set.version);
    return out;
}

// ---- comparing --------------------------------------------------------------------------

bool same(const MenuNode& a, const MenuNode& b);

bool same(const std::vector<MenuNode>& a, const std::vector<MenuNode>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!same(a[i], b[i]))
            return false;
    return true;
}

// Recursion here is bounded by the reader's own limit on nesting.
bool same(const MenuNode& a, const MenuNode& b) {
    return a.text == b.text && a.id == b.id && a.flags == b.flags && same(a.items, b.items);
}

template <typename Key>
bool sameMenus(const std::map<Key, std::vector<MenuNode>>& a,
               const std::map<Key, std::vector<MenuNode>>& b) {
    if (a.size() != b.size())
        return false;
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j)
        if (i->first != j->first || !same(i->second, j->second))
            return false;
    return true;
}

bool sameVersion(const std::optional<VersionInfo>& a, const std::optional<VersionInfo>& b) {
    if (!a || !b)
        return !a && !b;
    for (int i = 0; i < 4; ++i)
        if (a->fileVersion[i] != b->fileVersion[i] || a->productVersion[i] != b->productVersion[i])
            return false;
    return a->strings == b->strings && a->langCodepage == b->langCodepage;
}

void checkIcons(const ResourceSet& set) {
    for (const auto& [id, images] : set.icons) {
        if (images.empty())
            finding("an icon without an image");
        for (const auto& image : images)
            if (image.width < 1 || image.height < 1 || image.width > 256 || image.height > 256 ||
                image.argb.size() != static_cast<size_t>(image.width) * image.height)
                finding("an icon image whose pixels do not fill its size");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t cut = input.find('\0');
    std::string text = input.substr(0, cut);
    std::string files = cut == std::string::npos ? std::string() : input.substr(cut + 1);
    auto file = [&](const std::string&) -> std::optional<std::string> {
        if (cut == std::string::npos)
            return std::nullopt;
        return files;
    };
    ResourceSet set;
    try {
        set = ce::resources::parseRc("fuzz.rc", text, file);
    } catch (const std::runtime_error&) {
        return 0;  // refused, with a message: what bad input gets
    }
    checkIcons(set);
    std::string written = script(set);
    ResourceSet again;
    try {
        again = ce::resources::parseRc("again.rc", written,
                                       [](const std::string&) { return std::nullopt; });
    } catch (const std::runtime_error& e) {
        finding(std::string("resources written out are refused: ") + e.what() + "\n" + written);
    }
    if (!sameMenus(set.menus, again.menus) || !sameMenus(set.namedMenus, again.namedMenus))
        finding("menus read back differently:\n" + written);
    if (set.strings != again.strings)
        finding("the string table reads back differently:\n" + written);
    if (!sameVersion(set.version, again.version))
        finding("the version block reads back differently:\n" + written);
    return 0;
}
