// Resources of a module, read from its .rc text and the files it names, embedded at build time
// (cmake/CeResources.cmake). The generated source registers each module's resources at load time
// with registerModule(); LoadMenuW, LoadIconW and the version calls find them through the
// module's HINSTANCE.
//
// An HINSTANCE is the address of a symbol inside the module (the program's from the launcher,
// a shared library's from its own registration): moduleOf() maps it, or any other address in
// the same loaded image, to the module's registration.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ce::resources {

// One embedded file: the .rc text itself or a file it names (an .ico).
struct EmbeddedFile {
    const char* name;  // as written in the .rc file
    const unsigned char* data;
    size_t size;
};

// Called by the generated code of ce_embed_resources(); `anchor` is an address inside the module.
// Returns a handle to pass to unregisterModule().
int registerModule(const void* anchor, const char* rcName, const EmbeddedFile* files, size_t count);
void unregisterModule(int token);

struct MenuNode {
    std::u16string text;
    UINT id = 0;
    UINT flags = 0;               // MF_GRAYED, MF_CHECKED, MF_SEPARATOR, MF_POPUP ...
    std::vector<MenuNode> items;  // of a POPUP
};

struct IconImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;  // width * height, top row first
};

struct VersionInfo {
    WORD fileVersion[4] = {};
    WORD productVersion[4] = {};
    std::map<std::u16string, std::u16string> strings;  // CompanyName, FileVersion, ...
    std::u16string langCodepage;                       // "040904b0" as in the StringFileInfo block
};

// The parsed resources of one .rc file. Parsing errors name the file and line.
struct ResourceSet {
    std::map<UINT, std::vector<MenuNode>> menus;
    std::map<std::u16string, std::vector<MenuNode>> namedMenus;
    std::map<UINT, std::vector<IconImage>> icons;
    std::map<UINT, std::u16string> strings;  // STRINGTABLE
    std::optional<VersionInfo> version;
};

// Limits of the reader, each refused with an error naming the line: popups nested in a MENU
// (the menus LoadMenuW builds are walked recursively), parentheses and unary operators nested
// in a numeric expression, #include files nested, and #include files read in all.
inline constexpr int kMaxMenuDepth = 32;
inline constexpr int kMaxExpressionDepth = 32;
inline constexpr int kMaxIncludeDepth = 8;
inline constexpr int kMaxIncludes = 64;

// Parses .rc text; files named by ICON statements and #include are looked up with `file`.
// Throws std::runtime_error with "name:line: what" on bad input.
ResourceSet parseRc(const std::string& rcName, const std::string& text,
                    const std::function<std::optional<std::string>(const std::string&)>& file);
// Decodes an .ico file (BMP or PNG images). Throws std::runtime_error on bad data.
std::vector<IconImage> decodeIco(const std::string& data);

// The resources of the module an HINSTANCE names; the first registered module for null.
const ResourceSet* moduleOf(HINSTANCE instance);
// HINSTANCE of the module that holds `anchor` (the value the launcher gives WinMain).
HINSTANCE instanceFor(const void* anchor);

const std::vector<MenuNode>* findMenu(HINSTANCE instance, LPCWSTR name);

}  // namespace ce::resources
