// Registry keys and values in the words people use for them (regtext.h).
#include "regtext.h"

#include "internal.h"

#include <cstdio>
#include <cstdlib>
#include <strings.h>

namespace ce::kernel {

namespace {

struct RootName {
    HKEY root;
    const char* longName;
    const char* shortName;
};
const RootName kRoots[] = {
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "HKLM"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "HKCU"},
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "HKCR"},
    {HKEY_USERS, "HKEY_USERS", "HKU"},
};

bool isText(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

uint32_t dwordOf(const uint8_t* d) {
    return d[0] | (d[1] << 8) | (d[2] << 16) | (static_cast<uint32_t>(d[3]) << 24);
}

// The UTF-16 text of a string value, up to its first terminator.
std::u16string textOf(const uint8_t* data, size_t size) {
    std::u16string s;
    for (size_t i = 0; i + 1 < size; i += 2) {
        char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0)
            break;
        s += c;
    }
    return s;
}

std::string hexForm(DWORD type, const uint8_t* data, size_t size) {
    char buf[24];
    std::string s;
    if (type == REG_BINARY) {
        s = "hex:";
    } else {
        snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(type));
        s = buf;
    }
    for (size_t i = 0; i < size; ++i) {
        snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", data[i]);
        s += buf;
    }
    return s;
}

}  // namespace

bool splitRegPath(std::u16string_view path, HKEY& root, std::u16string& subkey) {
    size_t slash = path.find(u'\\');
    std::string first = toUtf8(path.substr(0, slash));
    for (const RootName& r : kRoots) {
        if (strcasecmp(first.c_str(), r.longName) == 0 ||
            strcasecmp(first.c_str(), r.shortName) == 0) {
            root = r.root;
            subkey = slash == std::u16string_view::npos ? u"" : path.substr(slash + 1);
            return true;
        }
    }
    return false;
}

const char* regRootName(HKEY root) {
    for (const RootName& r : kRoots)
        if (r.root == root)
            return r.longName;
    return "HKEY_?";
}

std::string regTypeName(DWORD type) {
    static const char* const names[] = {"REG_NONE",
                                        "REG_SZ",
                                        "REG_EXPAND_SZ",
                                        "REG_BINARY",
                                        "REG_DWORD",
                                        "REG_DWORD_BIG_ENDIAN",
                                        "REG_LINK",
                                        "REG_MULTI_SZ",
                                        "REG_RESOURCE_LIST",
                                        "REG_FULL_RESOURCE_DESCRIPTOR",
                                        "REG_RESOURCE_REQUIREMENTS_LIST",
                                        "REG_QWORD"};
    if (type < sizeof names / sizeof names[0])
        return names[type];
    char buf[24];
    snprintf(buf, sizeof buf, "type 0x%x", static_cast<unsigned>(type));
    return buf;
}

std::string regValueText(DWORD type, const uint8_t* data, size_t size) {
    if (type == REG_DWORD && size == 4)
        return std::to_string(dwordOf(data));
    if (isText(type) && size % 2 == 0) {
        std::string s = "\"";
        for (char c : toUtf8(textOf(data, size))) {
            if (static_cast<unsigned char>(c) < 0x20) {
                char buf[8];
                snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned char>(c));
                s += buf;
            } else {
                s += c;
            }
        }
        return s + "\"";
    }
    return hexForm(type, data, size);
}

bool regValueMatches(DWORD type, const uint8_t* data, size_t size, std::string_view want) {
    if (type == REG_DWORD && size == 4) {
        std::string digits(want);
        bool hex = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
        if (digits.empty() || digits.find_first_of("+- \t") != std::string::npos)
            return false;
        char* end = nullptr;
        unsigned long long n = strtoull(digits.c_str(), &end, hex ? 16 : 10);
        return *end == 0 && n == dwordOf(data);
    }
    if (isText(type) && size % 2 == 0)
        return toUtf8(textOf(data, size)) == want;
    return hexForm(type, data, size) == want;
}

}  // namespace ce::kernel
