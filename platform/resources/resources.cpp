// The modules' embedded resources: registration at load time, lookup by HINSTANCE, .ico
// decoding, and LoadMenuW's, LoadIconW's and LoadStringW's view of them.
#include "resources/resources.h"

#include "display/display.h"
#include "kernel/kernel.h"

#include <dlfcn.h>
#include <link.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace ce::resources {
namespace {

struct Module {
    int token;
    const void* base;  // load address of the image that holds the module
    std::string rcName;
    std::vector<EmbeddedFile> files;
    std::unique_ptr<ResourceSet> parsed;
    bool failed = false;
};

// The process's modules. They belong to loaded images, not to a device, so they live as long
// as the process; the mutex guards registration from library constructors.
struct Registry {
    std::mutex mutex;
    std::vector<std::unique_ptr<Module>> modules;
    int nextToken = 1;
};

Registry& registry() {
    static Registry r;
    return r;
}

const void* imageBase(const void* address) {
    Dl_info info{};
    if (address && dladdr(address, &info) && info.dli_fbase)
        return info.dli_fbase;
    return address;
}

const ResourceSet* parsed(Module& m) {
    if (m.parsed || m.failed)
        return m.parsed.get();
    auto file = [&m](const std::string& name) -> std::optional<std::string> {
        auto base = [](const std::string& s) {
            size_t cut = s.find_last_of("/\\");
            return cut == std::string::npos ? s : s.substr(cut + 1);
        };
        for (const auto& f : m.files)
            if (f.name == name || base(f.name) == base(name))
                return std::string(reinterpret_cast<const char*>(f.data), f.size);
        return std::nullopt;
    };
    auto text = file(m.rcName);
    try {
        if (!text)
            throw std::runtime_error(m.rcName + ": not embedded");
        m.parsed = std::make_unique<ResourceSet>(parseRc(m.rcName, *text, file));
    } catch (const std::exception& e) {
        m.failed = true;
        std::fprintf(stderr, "resources: %s\n", e.what());
    }
    return m.parsed.get();
}

uint32_t le32(const std::string& d, size_t at) {
    if (at + 4 > d.size())
        throw std::runtime_error("truncated icon data");
    return static_cast<uint32_t>(static_cast<unsigned char>(d[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(d[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(d[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(d[at + 3])) << 24;
}

uint16_t le16(const std::string& d, size_t at) {
    if (at + 2 > d.size())
        throw std::runtime_error("truncated icon data");
    return static_cast<uint16_t>(static_cast<unsigned char>(d[at]) |
                                 static_cast<unsigned char>(d[at + 1]) << 8);
}

// One BMP-coded image of an .ico: the header, a palette, the colour rows and the AND mask.
IconImage decodeBmpImage(const std::string& d, size_t at, size_t size) {
    if (size < 40 || at + size > d.size())
        throw std::runtime_error("image outside the file");
    uint32_t header = le32(d, at);
    int width = static_cast<int32_t>(le32(d, at + 4));
    int height = static_cast<int32_t>(le32(d, at + 8)) / 2;  // colour rows and mask rows
    int bpp = le16(d, at + 14);
    uint32_t compression = le32(d, at + 16);
    uint32_t colours = le32(d, at + 32);
    if (width <= 0 || height <= 0 || width > 256 || height > 256)
        throw std::runtime_error("bad image size");
    if (compression != 0)
        throw std::runtime_error("compressed icon images are not supported");
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
        throw std::runtime_error("bad bit depth");
    size_t palette = at + header;
    size_t paletteCount = bpp <= 8 ? (colours ? colours : (1u << bpp)) : 0;
    size_t pixels = palette + paletteCount * 4;
    size_t stride = ((static_cast<size_t>(width) * bpp + 31) / 32) * 4;
    size_t maskStride = ((static_cast<size_t>(width) + 31) / 32) * 4;
    size_t mask = pixels + stride * static_cast<size_t>(height);
    if (mask > at + size)
        throw std::runtime_error("truncated image");
    bool haveMask = mask + maskStride * static_cast<size_t>(height) <= at + size;
    IconImage img;
    img.width = width;
    img.height = height;
    img.argb.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    bool anyAlpha = false;
    for (int y = 0; y < height; ++y) {
        size_t row = pixels + stride * static_cast<size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            uint32_t argb = 0;
            auto byte = [&](size_t i) { return static_cast<unsigned char>(d[i]); };
            if (bpp == 32) {
                size_t p = row + static_cast<size_t>(x) * 4;
                argb = static_cast<uint32_t>(byte(p + 3)) << 24 | byte(p + 2) << 16 |
                       byte(p + 1) << 8 | byte(p);
                anyAlpha = anyAlpha || byte(p + 3);
            } else if (bpp == 24) {
                size_t p = row + static_cast<size_t>(x) * 3;
                argb = 0xFF000000u | byte(p + 2) << 16 | byte(p + 1) << 8 | byte(p);
            } else {
                size_t bit = static_cast<size_t>(x) * bpp;
                unsigned v = byte(row + bit / 8);
                unsigned index = (v >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
                if (index >= paletteCount)
                    throw std::runtime_error("palette index out of range");
                size_t c = palette + index * 4;
                argb = 0xFF000000u | byte(c + 2) << 16 | byte(c + 1) << 8 | byte(c);
            }
            img.argb[static_cast<size_t>(y) * width + x] = argb;
        }
    }
    if (bpp == 32 && anyAlpha)
        return img;
    for (int y = 0; y < height && haveMask; ++y) {
        size_t row = mask + maskStride * static_cast<size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            bool transparent = (static_cast<unsigned char>(d[row + x / 8]) >> (7 - x % 8)) & 1;
            uint32_t& px = img.argb[static_cast<size_t>(y) * width + x];
            px = transparent ? 0 : (px | 0xFF000000u);
        }
    }
    return img;
}

}  // namespace

std::vector<IconImage> decodeIco(const std::string& d) {
    if (d.size() < 6 || le16(d, 0) != 0 || le16(d, 2) != 1)
        throw std::runtime_error("not an icon file");
    int count = le16(d, 4);
    if (count == 0)
        throw std::runtime_error("the icon file holds no image");
    std::vector<IconImage> out;
    for (int i = 0; i < count; ++i) {
        size_t entry = 6 + static_cast<size_t>(i) * 16;
        uint32_t size = le32(d, entry + 8);
        uint32_t offset = le32(d, entry + 12);
        if (offset >= d.size() || size > d.size() - offset)
            throw std::runtime_error("image outside the file");
        if (d.compare(offset, 4, "\x89PNG") == 0)
            continue;  // PNG-coded images are not read
        out.push_back(decodeBmpImage(d, offset, size));
    }
    if (out.empty())
        throw std::runtime_error("no readable image in the icon file");
    return out;
}

int registerModule(const void* anchor, const char* rcName, const EmbeddedFile* files,
                   size_t count) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto m = std::make_unique<Module>();
    m->token = r.nextToken++;
    m->base = imageBase(anchor);
    m->rcName = rcName;
    m->files.assign(files, files + count);
    int token = m->token;
    r.modules.push_back(std::move(m));
    return token;
}

void unregisterModule(int token) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::erase_if(r.modules, [token](const auto& m) { return m->token == token; });
}

HINSTANCE instanceFor(const void* anchor) {
    return reinterpret_cast<HINSTANCE>(const_cast<void*>(imageBase(anchor)));
}

const ResourceSet* moduleOf(HINSTANCE instance) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const void* base = instance ? imageBase(instance) : nullptr;
    for (auto& m : r.modules)
        if (!instance || m->base == base || m->base == static_cast<const void*>(instance))
            return parsed(*m);
    return nullptr;
}

const std::vector<MenuNode>* findMenu(HINSTANCE instance, LPCWSTR name) {
    const ResourceSet* set = moduleOf(instance);
    if (!set || !name)
        return nullptr;
    if (IS_INTRESOURCE(name)) {
        auto it = set->menus.find(static_cast<UINT>(reinterpret_cast<uintptr_t>(name)));
        return it == set->menus.end() ? nullptr : &it->second;
    }
    auto it = set->namedMenus.find(name);
    return it == set->namedMenus.end() ? nullptr : &it->second;
}

}  // namespace ce::resources

namespace {

// The shapes of the system icons (IDI_*), drawn at 32 x 32.
HICON systemIcon(UINT id) {
    uint32_t colour = id == 32513 ? 0xFFD02020u : id == 32515 ? 0xFFF0C000u : 0xFF2050C8u;
    std::vector<uint32_t> px(32 * 32, 0);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            int dx = x - 16, dy = y - 16;
            if (dx * dx + dy * dy <= 15 * 15)
                px[static_cast<size_t>(y) * 32 + x] = colour;
        }
    return ce::display::createIcon(32, 32, px.data());
}

}  // namespace

extern "C" {

HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name) {
    if (!name)
        return nullptr;
    if (!instance && IS_INTRESOURCE(name))
        return systemIcon(static_cast<UINT>(reinterpret_cast<uintptr_t>(name)));
    const auto* set = ce::resources::moduleOf(instance);
    if (!set || !IS_INTRESOURCE(name))
        return nullptr;
    auto it = set->icons.find(static_cast<UINT>(reinterpret_cast<uintptr_t>(name)));
    if (it == set->icons.end() || it->second.empty())
        return nullptr;
    // the image closest to the standard icon size
    const ce::resources::IconImage* best = &it->second.front();
    for (const auto& img : it->second)
        if (std::abs(img.width - 32) < std::abs(best->width - 32))
            best = &img;
    return ce::display::createIcon(best->width, best->height, best->argb.data());
}

HANDLE WINAPI LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int, int, UINT flags) {
    if (type != IMAGE_ICON || (flags & LR_LOADFROMFILE))
        return nullptr;
    return LoadIconW(instance, name);
}

int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int maxCount) {
    const auto* set = ce::resources::moduleOf(instance);
    if (!set || !buffer)
        return 0;
    auto it = set->strings.find(id);
    if (it == set->strings.end()) {
        if (maxCount > 0)
            buffer[0] = 0;
        return 0;
    }
    if (maxCount <= 0)
        return 0;
    int n = std::min<int>(static_cast<int>(it->second.size()), maxCount - 1);
    std::copy_n(it->second.data(), n, buffer);
    buffer[n] = 0;
    return n;
}

// NULL names the program: the image of the executable, as the launcher gives WinMain.
HMODULE WINAPI GetModuleHandleW(LPCWSTR name) {
    if (name) {
        // the device's name of the running program ("Varnello.exe", with or without a path)
        std::u16string wanted(name);
        std::u16string self = ce::kernel::modulePath();
        auto base = [](std::u16string s) {
            size_t cut = s.find_last_of(u"\\/");
            s = cut == std::u16string::npos ? s : s.substr(cut + 1);
            for (auto& c : s)
                if (c >= u'A' && c <= u'Z')
                    c = static_cast<char16_t>(c - u'A' + u'a');
            return s;
        };
        std::u16string w = base(wanted), m = base(self);
        if (w != m && w + u".exe" != m) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
    }
    const void* exe = nullptr;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            uintptr_t low = UINTPTR_MAX;
            for (int i = 0; i < info->dlpi_phnum; ++i)
                if (info->dlpi_phdr[i].p_type == PT_LOAD)
                    low = std::min<uintptr_t>(low, info->dlpi_phdr[i].p_vaddr);
            *static_cast<const void**>(data) =
                reinterpret_cast<const void*>(info->dlpi_addr + (low == UINTPTR_MAX ? 0 : low));
            return 1;  // the first object is the program
        },
        &exe);
    return ce::resources::instanceFor(exe);
}

HACCEL WINAPI LoadAcceleratorsW(HINSTANCE, LPCWSTR) {
    return nullptr;
}
int WINAPI TranslateAcceleratorW(HWND, HACCEL, LPMSG) {
    return 0;
}

}  // extern "C"
