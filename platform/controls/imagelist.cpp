// Image lists: equally sized images kept as icons, drawn with DrawIconEx; and the system image
// list with the shell's small icons (folder, open folder, document, device, program, shortcut),
// drawn here in the Pocket PC's manner.
#include "controls/imagelist.h"

#include <algorithm>
#include <array>
#include <memory>
#include <unordered_map>
#include <vector>

#include "display/display.h"
#include "kernel/device.h"

struct _IMAGELIST {
    int cx = 16;
    int cy = 16;
    UINT flags = 0;
    COLORREF background = CLR_NONE;
    std::vector<HICON> images;
};

namespace ce::controls {
namespace {

// Every image list of the device: handles are checked against it.
struct ImageListTable : DeviceService {
    std::unordered_map<_IMAGELIST*, std::unique_ptr<_IMAGELIST>> lists;
    HIMAGELIST systemSmall = nullptr;
    HIMAGELIST systemLarge = nullptr;
    ~ImageListTable() override {
        for (auto& [list, owned] : lists)
            for (HICON icon : owned->images) DestroyIcon(icon);
    }
};

ImageListTable* table() {
    Device* device = Device::current();
    return device ? &device->service<ImageListTable>() : nullptr;
}

_IMAGELIST* checked(HIMAGELIST list) {
    ImageListTable* t = table();
    if (!t || !list || !t->lists.count(list))
        return nullptr;
    return list;
}

// --- the system icons (16 x 16, 0xAARRGGBB) ---------------------------------------------------

using Pixels = std::array<uint32_t, 16 * 16>;

void fill(Pixels& p, int x0, int y0, int x1, int y1, uint32_t c) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) p[static_cast<size_t>(y * 16 + x)] = c;
}

void frame(Pixels& p, int x0, int y0, int x1, int y1, uint32_t c) {
    fill(p, x0, y0, x1, y0, c);
    fill(p, x0, y1, x1, y1, c);
    fill(p, x0, y0, x0, y1, c);
    fill(p, x1, y0, x1, y1, c);
}

constexpr uint32_t kOutline = 0xFF806000;
constexpr uint32_t kManila = 0xFFFFD860;
constexpr uint32_t kManilaDark = 0xFFE0B030;
constexpr uint32_t kPaper = 0xFFFFFFFF;
constexpr uint32_t kInk = 0xFF404040;
constexpr uint32_t kBlue = 0xFF3060C0;

Pixels folderIcon() {
    Pixels p{};
    fill(p, 1, 3, 6, 4, kManilaDark);  // the tab
    frame(p, 1, 3, 6, 4, kOutline);
    fill(p, 1, 5, 14, 13, kManila);
    frame(p, 1, 5, 14, 13, kOutline);
    fill(p, 2, 6, 13, 6, 0xFFFFF0B0);  // a lit edge
    return p;
}

Pixels openFolderIcon() {
    Pixels p = folderIcon();
    fill(p, 2, 6, 13, 12, kManilaDark);
    for (int y = 8; y <= 13; ++y) fill(p, 3 + (13 - y) / 2, y, 15 - (13 - y) / 2 - 1, y, kManila);
    fill(p, 3, 8, 14, 8, kOutline);
    return p;
}

Pixels documentIcon() {
    Pixels p{};
    fill(p, 3, 1, 12, 14, kPaper);
    frame(p, 3, 1, 12, 14, kInk);
    fill(p, 10, 1, 12, 3, 0);  // the folded corner
    fill(p, 10, 1, 10, 3, kInk);
    fill(p, 10, 3, 12, 3, kInk);
    for (int y = 5; y <= 12; y += 2) fill(p, 5, y, 10, y, kBlue);
    return p;
}

Pixels deviceIcon() {
    Pixels p{};
    fill(p, 3, 0, 12, 15, 0xFF505860);  // the handheld's body
    frame(p, 3, 0, 12, 15, 0xFF202428);
    fill(p, 5, 2, 10, 10, 0xFFB8E0B0);  // its screen
    frame(p, 5, 2, 10, 10, 0xFF203020);
    fill(p, 6, 12, 9, 13, 0xFF8890A0);  // the navigation pad
    return p;
}

Pixels programIcon() {
    Pixels p{};
    fill(p, 1, 2, 14, 13, kPaper);
    frame(p, 1, 2, 14, 13, kInk);
    fill(p, 2, 3, 13, 4, kBlue);  // a title bar
    fill(p, 4, 7, 11, 7, kInk);
    fill(p, 4, 9, 9, 9, kInk);
    return p;
}

Pixels shortcutIcon() {
    Pixels p = documentIcon();
    fill(p, 0, 9, 6, 15, kPaper);
    frame(p, 0, 9, 6, 15, kInk);
    fill(p, 2, 13, 4, 13, kInk);  // the arrow
    fill(p, 4, 11, 4, 13, kInk);
    fill(p, 3, 11, 4, 11, kInk);
    return p;
}

std::vector<uint32_t> scaled(const Pixels& p, int size) {
    std::vector<uint32_t> out(static_cast<size_t>(size * size));
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            out[static_cast<size_t>(y * size + x)] =
                p[static_cast<size_t>((y * 16 / size) * 16 + x * 16 / size)];
    return out;
}

HIMAGELIST makeSystemList(int size) {
    HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 6, 4);
    if (!list)
        return nullptr;
    for (const Pixels& icon : {folderIcon(), openFolderIcon(), documentIcon(), deviceIcon(),
                               programIcon(), shortcutIcon()})
        addImagePixels(list, scaled(icon, size).data());
    return list;
}

// The pixels of a bitmap, read through a memory DC (mask: where it is white, transparent).
std::vector<uint32_t> bitmapPixels(HBITMAP bitmap, HBITMAP mask, COLORREF maskColor, bool byColor,
                                   int* width, int* height) {
    BITMAP info{};
    if (!bitmap || !GetObjectW(bitmap, sizeof info, &info))
        return {};
    *width = info.bmWidth;
    *height = info.bmHeight;
    std::vector<uint32_t> argb(static_cast<size_t>(info.bmWidth) *
                               static_cast<size_t>(info.bmHeight));
    HDC dc = CreateCompatibleDC(nullptr);
    HDC maskDc = mask ? CreateCompatibleDC(nullptr) : nullptr;
    HGDIOBJ old = SelectObject(dc, bitmap);
    HGDIOBJ oldMask = maskDc ? SelectObject(maskDc, mask) : nullptr;
    for (int y = 0; y < info.bmHeight; ++y) {
        for (int x = 0; x < info.bmWidth; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            bool transparent = byColor && c == maskColor;
            if (maskDc)
                transparent = GetPixel(maskDc, x, y) == RGB(255, 255, 255);
            argb[static_cast<size_t>(y * info.bmWidth + x)] =
                transparent
                    ? 0
                    : (0xFF000000u | (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c));
        }
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    if (maskDc) {
        SelectObject(maskDc, oldMask);
        DeleteDC(maskDc);
    }
    return argb;
}

// Adds every cx-wide strip of the pixels as an image.
int addStrips(_IMAGELIST* list, const std::vector<uint32_t>& argb, int width, int height) {
    if (argb.empty() || width < list->cx || height < list->cy)
        return -1;
    const int first = static_cast<int>(list->images.size());
    std::vector<uint32_t> image(static_cast<size_t>(list->cx * list->cy));
    for (int strip = 0; strip + list->cx <= width; strip += list->cx) {
        for (int y = 0; y < list->cy; ++y)
            for (int x = 0; x < list->cx; ++x)
                image[static_cast<size_t>(y * list->cx + x)] =
                    argb[static_cast<size_t>(y * width + strip + x)];
        if (addImagePixels(list, image.data()) < 0)
            return -1;
    }
    return first;
}

}  // namespace

int addImagePixels(HIMAGELIST list, const uint32_t* argb) {
    _IMAGELIST* l = checked(list);
    if (!l || !argb)
        return -1;
    HICON icon = ce::display::createIcon(l->cx, l->cy, argb);
    if (!icon)
        return -1;
    l->images.push_back(icon);
    return static_cast<int>(l->images.size()) - 1;
}

HIMAGELIST systemImageList(bool small) {
    ImageListTable* t = table();
    if (!t)
        return nullptr;
    HIMAGELIST& slot = small ? t->systemSmall : t->systemLarge;
    if (!slot)
        slot = makeSystemList(small ? 16 : 32);
    return slot;
}

}  // namespace ce::controls

using ce::controls::checked;
using ce::controls::table;

CE_BEGIN_DECLS

CEAPI HIMAGELIST WINAPI ImageList_Create(int cx, int cy, UINT flags, int, int) {
    ce::controls::ImageListTable* t = table();
    if (!t || cx <= 0 || cy <= 0 || cx > 256 || cy > 256) {
        SetLastError(87 /* ERROR_INVALID_PARAMETER */);
        return nullptr;
    }
    auto list = std::make_unique<_IMAGELIST>();
    list->cx = cx;
    list->cy = cy;
    list->flags = flags;
    HIMAGELIST handle = list.get();
    t->lists.emplace(handle, std::move(list));
    return handle;
}

CEAPI BOOL WINAPI ImageList_Destroy(HIMAGELIST list) {
    _IMAGELIST* l = checked(list);
    if (!l)
        return FALSE;
    ce::controls::ImageListTable* t = table();
    // The system image lists belong to the shell and outlive their users.
    if (list == t->systemSmall || list == t->systemLarge)
        return FALSE;
    for (HICON icon : l->images) DestroyIcon(icon);
    t->lists.erase(list);
    return TRUE;
}

CEAPI int WINAPI ImageList_GetImageCount(HIMAGELIST list) {
    _IMAGELIST* l = checked(list);
    return l ? static_cast<int>(l->images.size()) : 0;
}

CEAPI BOOL WINAPI ImageList_SetImageCount(HIMAGELIST list, UINT count) {
    _IMAGELIST* l = checked(list);
    if (!l)
        return FALSE;
    while (l->images.size() > count) {
        DestroyIcon(l->images.back());
        l->images.pop_back();
    }
    std::vector<uint32_t> blank(static_cast<size_t>(l->cx * l->cy), 0);
    while (l->images.size() < count)
        if (ce::controls::addImagePixels(list, blank.data()) < 0)
            return FALSE;
    return TRUE;
}

CEAPI int WINAPI ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask) {
    _IMAGELIST* l = checked(list);
    if (!l)
        return -1;
    int w = 0, h = 0;
    const auto argb = ce::controls::bitmapPixels(image, mask, 0, false, &w, &h);
    return ce::controls::addStrips(l, argb, w, h);
}

CEAPI int WINAPI ImageList_AddMasked(HIMAGELIST list, HBITMAP image, COLORREF mask) {
    _IMAGELIST* l = checked(list);
    if (!l)
        return -1;
    int w = 0, h = 0;
    const auto argb = ce::controls::bitmapPixels(image, nullptr, mask, true, &w, &h);
    return ce::controls::addStrips(l, argb, w, h);
}

CEAPI int WINAPI ImageList_ReplaceIcon(HIMAGELIST list, int i, HICON icon) {
    _IMAGELIST* l = checked(list);
    int w = 0, h = 0;
    std::vector<uint32_t> argb;
    if (!l || !ce::display::iconPixels(icon, &w, &h, &argb) || w <= 0 || h <= 0)
        return -1;
    // Fit the icon to the list's size (nearest pixel).
    std::vector<uint32_t> fitted(static_cast<size_t>(l->cx * l->cy));
    for (int y = 0; y < l->cy; ++y)
        for (int x = 0; x < l->cx; ++x)
            fitted[static_cast<size_t>(y * l->cx + x)] =
                argb[static_cast<size_t>((y * h / l->cy) * w + x * w / l->cx)];
    if (i == -1)
        return ce::controls::addImagePixels(list, fitted.data());
    if (i < 0 || i >= static_cast<int>(l->images.size()))
        return -1;
    HICON copy = ce::display::createIcon(l->cx, l->cy, fitted.data());
    if (!copy)
        return -1;
    DestroyIcon(l->images[static_cast<size_t>(i)]);
    l->images[static_cast<size_t>(i)] = copy;
    return i;
}

CEAPI BOOL WINAPI ImageList_Remove(HIMAGELIST list, int i) {
    _IMAGELIST* l = checked(list);
    if (!l)
        return FALSE;
    if (i == -1) {
        for (HICON icon : l->images) DestroyIcon(icon);
        l->images.clear();
        return TRUE;
    }
    if (i < 0 || i >= static_cast<int>(l->images.size()))
        return FALSE;
    DestroyIcon(l->images[static_cast<size_t>(i)]);
    l->images.erase(l->images.begin() + i);
    return TRUE;
}

CEAPI BOOL WINAPI ImageList_DrawEx(HIMAGELIST list, int i, HDC dc, int x, int y, int dx, int dy,
                                   COLORREF background, COLORREF, UINT style) {
    _IMAGELIST* l = checked(list);
    if (!l || i < 0 || i >= static_cast<int>(l->images.size()))
        return FALSE;
    const int w = dx > 0 ? dx : l->cx;
    const int h = dy > 0 ? dy : l->cy;
    const COLORREF bk = background == CLR_DEFAULT ? l->background : background;
    if (!(style & ILD_TRANSPARENT) && bk != CLR_NONE) {
        HBRUSH brush = CreateSolidBrush(bk);
        RECT rc{x, y, x + w, y + h};
        FillRect(dc, &rc, brush);
        DeleteObject(brush);
    }
    return DrawIconEx(dc, x, y, l->images[static_cast<size_t>(i)], w, h, 0, nullptr, DI_NORMAL);
}

CEAPI BOOL WINAPI ImageList_Draw(HIMAGELIST list, int i, HDC dc, int x, int y, UINT style) {
    return ImageList_DrawEx(list, i, dc, x, y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, style);
}

CEAPI HICON WINAPI ImageList_GetIcon(HIMAGELIST list, int i, UINT) {
    _IMAGELIST* l = checked(list);
    if (!l || i < 0 || i >= static_cast<int>(l->images.size()))
        return nullptr;
    int w = 0, h = 0;
    std::vector<uint32_t> argb;
    if (!ce::display::iconPixels(l->images[static_cast<size_t>(i)], &w, &h, &argb))
        return nullptr;
    return ce::display::createIcon(w, h, argb.data());
}

CEAPI BOOL WINAPI ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy) {
    _IMAGELIST* l = checked(list);
    if (!l || !cx || !cy)
        return FALSE;
    *cx = l->cx;
    *cy = l->cy;
    return TRUE;
}

CEAPI COLORREF WINAPI ImageList_SetBkColor(HIMAGELIST list, COLORREF color) {
    _IMAGELIST* l = checked(list);
    if (!l)
        return CLR_NONE;
    const COLORREF old = l->background;
    l->background = color;
    return old;
}

CEAPI COLORREF WINAPI ImageList_GetBkColor(HIMAGELIST list) {
    _IMAGELIST* l = checked(list);
    return l ? l->background : CLR_NONE;
}

CE_END_DECLS
