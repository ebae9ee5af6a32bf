// GDI objects and device contexts: the handle table, stock objects, creation, selection and
// deletion, SaveDC/RestoreDC, regions and clipping, system colours.
#include "display/gdi.h"
#include "display/text.h"

#include <algorithm>
#include <cstring>
#include <utility>

#ifndef ERROR_INVALID_HANDLE
#define ERROR_INVALID_HANDLE 6
#endif
#ifndef ERROR_INVALID_PARAMETER
#define ERROR_INVALID_PARAMETER 87
#endif

// The kernel part defines SetLastError; referenced weakly so the display stands on its own.
extern "C" __attribute__((weak)) void SetLastError(DWORD);

namespace ce::display {

void setLastError(DWORD code) {
    if (&SetLastError)
        SetLastError(code);
}

namespace {

// Pocket PC 2003 colours at their factory settings.
constexpr COLORREF kDefaultSysColors[C_SYS_COLOR_TYPES] = {
    RGB(214, 214, 214),  // COLOR_SCROLLBAR
    RGB(214, 223, 247),  // COLOR_BACKGROUND
    RGB(0, 51, 153),     // COLOR_ACTIVECAPTION
    RGB(128, 128, 128),  // COLOR_INACTIVECAPTION
    RGB(222, 222, 222),  // COLOR_MENU
    RGB(255, 255, 255),  // COLOR_WINDOW
    RGB(0, 0, 0),        // COLOR_WINDOWFRAME
    RGB(0, 0, 0),        // COLOR_MENUTEXT
    RGB(0, 0, 0),        // COLOR_WINDOWTEXT
    RGB(255, 255, 255),  // COLOR_CAPTIONTEXT
    RGB(192, 192, 192),  // COLOR_ACTIVEBORDER
    RGB(192, 192, 192),  // COLOR_INACTIVEBORDER
    RGB(128, 128, 128),  // COLOR_APPWORKSPACE
    RGB(10, 36, 106),    // COLOR_HIGHLIGHT
    RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    RGB(214, 211, 206),  // COLOR_BTNFACE
    RGB(128, 128, 128),  // COLOR_BTNSHADOW
    RGB(128, 128, 128),  // COLOR_GRAYTEXT
    RGB(0, 0, 0),        // COLOR_BTNTEXT
    RGB(192, 192, 192),  // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255),  // COLOR_BTNHIGHLIGHT
    RGB(0, 0, 0),        // COLOR_3DDKSHADOW
    RGB(232, 230, 226),  // COLOR_3DLIGHT
    RGB(0, 0, 0),        // COLOR_INFOTEXT
    RGB(255, 255, 225),  // COLOR_INFOBK
    RGB(255, 255, 255),  // COLOR_STATIC
    RGB(0, 0, 0),        // COLOR_STATICTEXT
    RGB(66, 121, 214),   // COLOR_GRADIENTACTIVECAPTION
    RGB(192, 192, 192),  // COLOR_GRADIENTINACTIVECAPTION
};

constexpr unsigned kKindBits = 4;

// A system colour index from GetSysColor's argument: plain or with the CE flag.
int sysIndex(int index) {
    int i = index & ~SYS_COLOR_INDEX_FLAG;
    return (i >= 0 && i < C_SYS_COLOR_TYPES) ? i : -1;
}

LOGFONTW defaultLogFont(LONG weight) {
    LOGFONTW lf{};
    lf.lfHeight = -11;  // 8 point on the QVGA screen
    lf.lfWeight = weight;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    const char16_t* face = u"Tahoma";
    for (int i = 0; face[i]; ++i) lf.lfFaceName[i] = face[i];
    return lf;
}

}  // namespace

DisplayService::DisplayService() : fonts(std::make_unique<FontEngine>()) {
    Device* device = Device::current();
    framebuffer.width = device ? std::max(1, device->screenWidth()) : 240;
    framebuffer.height = device ? std::max(1, device->screenHeight()) : 320;
    framebuffer.pixels.assign(size_t(framebuffer.width) * framebuffer.height, 0xFFFFFF);

    auto brush = [&](int index, COLORREF c, bool hollow = false) {
        stockObjects[index] = add(Kind::Brush, BrushObj{hollow, c}, true);
    };
    auto pen = [&](int index, int style, COLORREF c) {
        stockObjects[index] = add(Kind::Pen, PenObj{style, 1, c}, true);
    };
    auto font = [&](int index, LONG weight) {
        stockObjects[index] = add(Kind::Font, FontObj{defaultLogFont(weight)}, true);
    };
    brush(WHITE_BRUSH, RGB(255, 255, 255));
    brush(LTGRAY_BRUSH, RGB(192, 192, 192));
    brush(GRAY_BRUSH, RGB(128, 128, 128));
    brush(DKGRAY_BRUSH, RGB(64, 64, 64));
    brush(BLACK_BRUSH, RGB(0, 0, 0));
    brush(NULL_BRUSH, 0, true);
    brush(DC_BRUSH, RGB(255, 255, 255));
    pen(WHITE_PEN, PS_SOLID, RGB(255, 255, 255));
    pen(BLACK_PEN, PS_SOLID, RGB(0, 0, 0));
    pen(NULL_PEN, PS_NULL, 0);
    pen(DC_PEN, PS_SOLID, RGB(0, 0, 0));
    font(SYSTEM_FONT, FW_NORMAL);
    font(DEFAULT_GUI_FONT, FW_NORMAL);
    font(ANSI_VAR_FONT, FW_NORMAL);
    font(DEVICE_DEFAULT_FONT, FW_NORMAL);
    font(OEM_FIXED_FONT, FW_NORMAL);
    font(ANSI_FIXED_FONT, FW_NORMAL);
    font(SYSTEM_FIXED_FONT, FW_NORMAL);
    for (int i : {OEM_FIXED_FONT, ANSI_FIXED_FONT, SYSTEM_FIXED_FONT}) {
        auto& lf = std::get<FontObj>(find(stockObjects[i])->data).lf;
        lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
        const char16_t* face = u"Courier New";
        std::memset(lf.lfFaceName, 0, sizeof lf.lfFaceName);
        for (int k = 0; face[k]; ++k) lf.lfFaceName[k] = face[k];
    }

    for (int i = 0; i < C_SYS_COLOR_TYPES; ++i) {
        sysColors[i] = kDefaultSysColors[i];
        sysColorBrushes[i] =
            static_cast<HBRUSH>(add(Kind::Brush, BrushObj{false, sysColors[i]}, true));
    }
}

DisplayService::~DisplayService() = default;

Surface DisplayService::screenSurface() {
    Surface s;
    s.top = framebuffer.pixels.data();
    s.stride = framebuffer.width;
    s.width = framebuffer.width;
    s.height = framebuffer.height;
    return s;
}

HGDIOBJ DisplayService::add(Kind kind, decltype(GdiObject::data) data, bool stock) {
    uintptr_t value = (nextSerial_++ << kKindBits) | (uintptr_t(kind) & 0xF);
    // Keep handle values clear of the small integers that name system colours.
    value += uintptr_t(1) << 20;
    auto object = std::make_shared<GdiObject>(GdiObject{kind, stock, std::move(data)});
    objects_.emplace(value, std::move(object));
    return reinterpret_cast<HGDIOBJ>(value);
}

ObjectRef DisplayService::find(HGDIOBJ handle) const {
    auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
    return it == objects_.end() ? nullptr : it->second;
}

ObjectRef DisplayService::find(HGDIOBJ handle, Kind kind) const {
    ObjectRef o = find(handle);
    return (o && o->kind == kind) ? o : nullptr;
}

bool DisplayService::remove(HGDIOBJ handle) {
    return objects_.erase(reinterpret_cast<uintptr_t>(handle)) > 0;
}

DisplayService* service() {
    Device* device = Device::current();
    return device ? &device->service<DisplayService>() : nullptr;
}

DCObj* findDC(HDC hdc) {
    DisplayService* s = service();
    if (!s)
        return nullptr;
    ObjectRef o = s->find(hdc);
    if (!o || (o->kind != Kind::DC && o->kind != Kind::MemDC)) {
        setLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &std::get<DCObj>(o->data);
}

Surface surfaceOf(DCObj& dc) {
    if (dc.memory) {
        if (!dc.a.bitmap)
            return Surface{};
        return std::get<BitmapObj>(dc.a.bitmap->data).surface();
    }
    DisplayService* s = service();
    return s ? s->screenSurface() : Surface{};
}

void updateClip(DCObj& dc) {
    RECT base = dc.baseClip;
    if (dc.memory) {
        Surface surface = surfaceOf(dc);
        base = RECT{0, 0, surface.width, surface.height};
    }
    dc.clip = RectList::of(base);
    if (dc.a.userClip)
        dc.clip.intersect(*dc.a.userClip);
}

std::optional<BrushObj> resolveBrush(HBRUSH brush, const DCObj* dc) {
    DisplayService* s = service();
    if (!s)
        return std::nullopt;
    uintptr_t v = reinterpret_cast<uintptr_t>(brush);
    if (v & SYS_COLOR_INDEX_FLAG) {
        int i = sysIndex(int(v));
        if (i >= 0 && (v >> 32) == 0)
            return BrushObj{false, s->sysColors[i]};
    }
    if (v >= 1 && v <= C_SYS_COLOR_TYPES)
        return BrushObj{false, s->sysColors[v - 1]};
    ObjectRef o = s->find(brush, Kind::Brush);
    if (!o) {
        setLastError(ERROR_INVALID_HANDLE);
        return std::nullopt;
    }
    if (brush == s->stockObjects[DC_BRUSH])
        return BrushObj{false, dc ? dc->a.dcBrushColor : RGB(255, 255, 255)};
    return std::get<BrushObj>(o->data);
}

uint32_t sysPixel(int index) {
    return toPixel(GetSysColor(index));
}

// ---- The screen DCs GWES hands out -------------------------------------------------------------

HDC createDC(POINT originOnScreen, const RECT& clipOnScreen) {
    DisplayService* s = service();
    if (!s)
        return nullptr;
    DCObj dc;
    dc.a.origin = originOnScreen;
    dc.base = originOnScreen;
    RECT screenRect{0, 0, s->framebuffer.width, s->framebuffer.height};
    IntersectRect(&dc.baseClip, &clipOnScreen, &screenRect);
    dc.a.pen = s->find(s->stockObjects[BLACK_PEN]);
    dc.a.penHandle = s->stockObjects[BLACK_PEN];
    dc.a.brush = s->find(s->stockObjects[WHITE_BRUSH]);
    dc.a.brushHandle = s->stockObjects[WHITE_BRUSH];
    dc.a.font = s->find(s->stockObjects[SYSTEM_FONT]);
    dc.a.fontHandle = s->stockObjects[SYSTEM_FONT];
    updateClip(dc);
    return static_cast<HDC>(s->add(Kind::DC, std::move(dc)));
}

void releaseDC(HDC dc) {
    DisplayService* s = service();
    if (s && s->find(dc, Kind::DC))
        s->remove(dc);
}

Framebuffer& screen() {
    DisplayService* s = service();
    if (s)
        return s->framebuffer;
    static thread_local Framebuffer none;
    none = Framebuffer{};
    return none;
}

}  // namespace ce::display

using namespace ce::display;

namespace {

// The selected-object slot of a DC for an object kind, or nullptr for kinds that are not selected.
struct Slot {
    ObjectRef* ref;
    HGDIOBJ* handle;
};
std::optional<Slot> slotFor(DCAttributes& a, Kind kind) {
    switch (kind) {
        case Kind::Pen:
            return Slot{&a.pen, &a.penHandle};
        case Kind::Brush:
            return Slot{&a.brush, &a.brushHandle};
        case Kind::Font:
            return Slot{&a.font, &a.fontHandle};
        case Kind::Bitmap:
            return Slot{&a.bitmap, &a.bitmapHandle};
        default:
            return std::nullopt;
    }
}

template <class T>
T* dataOf(HGDIOBJ handle, Kind kind) {
    DisplayService* s = service();
    ObjectRef o = s ? s->find(handle, kind) : nullptr;
    return o ? &std::get<T>(o->data) : nullptr;
}

HRGN newRegion(RectList area) {
    DisplayService* s = service();
    if (!s)
        return nullptr;
    return static_cast<HRGN>(s->add(Kind::Region, RegionObj{std::move(area)}));
}

// Logical rectangle of a DC to surface coordinates.
RECT toSurface(const DCObj& dc, int left, int top, int right, int bottom) {
    RECT r{std::min(left, right), std::min(top, bottom), std::max(left, right),
           std::max(top, bottom)};
    OffsetRect(&r, dc.a.origin.x, dc.a.origin.y);
    return r;
}

int clipResult(const DCObj& dc) {
    return dc.clip.complexity();
}

}  // namespace

CE_BEGIN_DECLS

// ---- Objects -----------------------------------------------------------------------------------

HGDIOBJ WINAPI GetStockObject(int object) {
    DisplayService* s = service();
    if (!s || object < 0 || object > DC_PEN || !s->stockObjects[object])
        return nullptr;
    return s->stockObjects[object];
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    DisplayService* s = service();
    return s ? static_cast<HBRUSH>(s->add(Kind::Brush, BrushObj{false, color & 0xFFFFFF}))
             : nullptr;
}

HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH* brush) {
    DisplayService* s = service();
    if (!s || !brush)
        return nullptr;
    if (brush->lbStyle == BS_NULL)
        return static_cast<HBRUSH>(s->add(Kind::Brush, BrushObj{true, 0}));
    if (brush->lbStyle != BS_SOLID) {
        setLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateSolidBrush(brush->lbColor);
}

HPEN WINAPI CreatePen(int style, int width, COLORREF color) {
    DisplayService* s = service();
    if (!s)
        return nullptr;
    if (style < PS_SOLID || style > PS_INSIDEFRAME) {
        setLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Styled pens are one pixel wide, as on Windows CE.
    if (style != PS_SOLID && style != PS_INSIDEFRAME)
        width = 1;
    return static_cast<HPEN>(
        s->add(Kind::Pen, PenObj{style, std::max(1, width), color & 0xFFFFFF}));
}

HPEN WINAPI CreatePenIndirect(const LOGPEN* pen) {
    if (!pen)
        return nullptr;
    return CreatePen(int(pen->lopnStyle), pen->lopnWidth.x, pen->lopnColor);
}

HFONT WINAPI CreateFontIndirectW(const LOGFONTW* font) {
    DisplayService* s = service();
    if (!s || !font) {
        setLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    FontObj f{*font};
    f.lf.lfFaceName[LF_FACESIZE - 1] = 0;
    return static_cast<HFONT>(s->add(Kind::Font, f));
}

DWORD WINAPI GetObjectType(HGDIOBJ obj) {
    DisplayService* s = service();
    ObjectRef o = s ? s->find(obj) : nullptr;
    if (!o || o->kind == Kind::Icon) {
        setLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return DWORD(o->kind);
}

int WINAPI GetObjectW(HGDIOBJ obj, int size, LPVOID out) {
    DisplayService* s = service();
    ObjectRef o = s ? s->find(obj) : nullptr;
    if (!o) {
        setLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    auto give = [&](const auto& value) -> int {
        int n = int(sizeof value);
        if (!out)
            return n;
        if (size < n)
            return 0;
        std::memcpy(out, &value, size_t(n));
        return n;
    };
    switch (o->kind) {
        case Kind::Pen: {
            const PenObj& p = std::get<PenObj>(o->data);
            return give(LOGPEN{UINT(p.style), POINT{p.width, 0}, p.color});
        }
        case Kind::Brush: {
            const BrushObj& b = std::get<BrushObj>(o->data);
            return give(LOGBRUSH{b.hollow ? UINT(BS_NULL) : UINT(BS_SOLID), b.color, 0});
        }
        case Kind::Font:
            return give(std::get<FontObj>(o->data).lf);
        case Kind::Bitmap: {
            BitmapObj& b = std::get<BitmapObj>(o->data);
            BITMAP bm{0,        b.width,
                      b.height, ((b.width * b.bitsPerPixel + 15) / 16) * 2,
                      1,        WORD(b.bitsPerPixel),
                      nullptr};
            return give(bm);
        }
        default:
            setLastError(ERROR_INVALID_HANDLE);
            return 0;
    }
}

// A deleted object that is still selected stays usable by that DC until it selects another.
BOOL WINAPI DeleteObject(HGDIOBJ obj) {
    DisplayService* s = service();
    ObjectRef o = s ? s->find(obj) : nullptr;
    if (!o || o->kind == Kind::DC || o->kind == Kind::MemDC || o->kind == Kind::Icon) {
        setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (o->stock)
        return TRUE;
    s->remove(obj);
    return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ obj) {
    DCObj* dc = findDC(hdc);
    DisplayService* s = service();
    ObjectRef o = s ? s->find(obj) : nullptr;
    if (!dc || !o) {
        setLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (o->kind == Kind::Region) {
        // Selecting a region sets the clip and returns its complexity, as Win32 does.
        return reinterpret_cast<HGDIOBJ>(intptr_t(SelectClipRgn(hdc, static_cast<HRGN>(obj))));
    }
    if (o->kind == Kind::Bitmap && !dc->memory) {
        setLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto slot = slotFor(dc->a, o->kind);
    if (!slot) {
        setLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HGDIOBJ previous = *slot->handle;
    *slot->ref = o;
    *slot->handle = obj;
    if (o->kind == Kind::Bitmap)
        updateClip(*dc);
    return previous;
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return nullptr;
    auto slot = slotFor(dc->a, Kind(type));
    return slot ? *slot->handle : nullptr;
}

COLORREF WINAPI SetDCBrushColor(HDC hdc, COLORREF color) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return CLR_INVALID;
    return std::exchange(dc->a.dcBrushColor, color & 0xFFFFFF);
}

COLORREF WINAPI SetDCPenColor(HDC hdc, COLORREF color) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return CLR_INVALID;
    return std::exchange(dc->a.dcPenColor, color & 0xFFFFFF);
}

// ---- Bitmaps and memory DCs
// ----------------------------------------------------------------------

HDC WINAPI CreateCompatibleDC(HDC hdc) {
    DisplayService* s = service();
    if (!s)
        return nullptr;
    if (hdc && !findDC(hdc))
        return nullptr;
    DCObj dc;
    dc.memory = true;
    // A new memory DC holds a 1 x 1 monochrome bitmap, as in Win32.
    HGDIOBJ bitmap = CreateBitmap(1, 1, 1, 1, nullptr);
    dc.a.bitmap = s->find(bitmap);
    dc.a.bitmapHandle = bitmap;
    dc.defaultBitmap = bitmap;
    dc.a.pen = s->find(s->stockObjects[BLACK_PEN]);
    dc.a.penHandle = s->stockObjects[BLACK_PEN];
    dc.a.brush = s->find(s->stockObjects[WHITE_BRUSH]);
    dc.a.brushHandle = s->stockObjects[WHITE_BRUSH];
    dc.a.font = s->find(s->stockObjects[SYSTEM_FONT]);
    dc.a.fontHandle = s->stockObjects[SYSTEM_FONT];
    updateClip(dc);
    return static_cast<HDC>(s->add(Kind::MemDC, std::move(dc)));
}

BOOL WINAPI DeleteDC(HDC hdc) {
    DisplayService* s = service();
    ObjectRef o = s ? s->find(hdc, Kind::MemDC) : nullptr;
    if (!o) {
        // Screen DCs go back through ReleaseDC; deleting one is refused.
        setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    s->remove(std::get<DCObj>(o->data).defaultBitmap);
    return s->remove(hdc) ? TRUE : FALSE;
}

HBITMAP WINAPI CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel,
                            const void* bits) {
    DisplayService* s = service();
    if (!s || width <= 0 || height <= 0 || planes != 1 || width > 16384 || height > 16384 ||
        (bitsPerPixel != 1 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32)) {
        setLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    BitmapObj b;
    b.width = width;
    b.height = height;
    b.bitsPerPixel = int(bitsPerPixel);
    b.pixels.assign(size_t(width) * height, bitsPerPixel == 1 ? 0x000000 : 0x000000);
    if (bits) {
        // Rows of CreateBitmap's bits are word aligned.
        const auto* p = static_cast<const uint8_t*>(bits);
        size_t stride = ((size_t(width) * bitsPerPixel + 15) / 16) * 2;
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = p + stride * y;
            for (int x = 0; x < width; ++x) {
                uint32_t px = 0;
                switch (bitsPerPixel) {
                    case 1:
                        px = (row[x / 8] & (0x80 >> (x % 8))) ? 0xFFFFFF : 0;
                        break;
                    case 16: {
                        unsigned v = row[x * 2] | (row[x * 2 + 1] << 8);  // 5-6-5
                        px = (((v >> 11) & 31) * 255 / 31) << 16 |
                             (((v >> 5) & 63) * 255 / 63) << 8 | ((v & 31) * 255 / 31);
                        break;
                    }
                    case 24:
                        px = row[x * 3] | (row[x * 3 + 1] << 8) | (row[x * 3 + 2] << 16);
                        break;
                    default:
                        px = row[x * 4] | (row[x * 4 + 1] << 8) | (row[x * 4 + 2] << 16);
                        break;
                }
                b.pixels[size_t(y) * width + x] = px;
            }
        }
    }
    return static_cast<HBITMAP>(s->add(Kind::Bitmap, std::move(b)));
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int width, int height) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return nullptr;
    // Compatible with a memory DC means compatible with its bitmap: mono stays mono.
    UINT bpp = 32;
    if (dc->memory && dc->a.bitmap && std::get<BitmapObj>(dc->a.bitmap->data).bitsPerPixel == 1)
        bpp = 1;
    return CreateBitmap(width, height, 1, bpp, nullptr);
}

HBITMAP WINAPI CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits,
                                HANDLE section, DWORD) {
    DisplayService* s = service();
    if (bits)
        *bits = nullptr;
    if (!s || !info || usage != DIB_RGB_COLORS || section) {
        setLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const BITMAPINFOHEADER& h = info->bmiHeader;
    LONG height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    // Pixels are kept as 32-bit BGRX words, so only that layout can be shared with the caller.
    if (h.biWidth <= 0 || height <= 0 || h.biWidth > 16384 || height > 16384 ||
        h.biBitCount != 32 || (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS)) {
        setLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    BitmapObj b;
    b.width = h.biWidth;
    b.height = height;
    b.bitsPerPixel = 32;
    b.bottomUp = h.biHeight > 0;
    b.pixels.assign(size_t(b.width) * height, 0);
    HGDIOBJ handle = s->add(Kind::Bitmap, std::move(b));
    if (bits)
        *bits = std::get<BitmapObj>(s->find(handle)->data).pixels.data();
    return static_cast<HBITMAP>(handle);
}

// ---- DC state
// ------------------------------------------------------------------------------------

int WINAPI SaveDC(HDC hdc) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return 0;
    dc->saved.push_back(dc->a);
    return int(dc->saved.size());
}

BOOL WINAPI RestoreDC(HDC hdc, int savedDC) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return FALSE;
    int n = int(dc->saved.size());
    int index = savedDC < 0 ? n + savedDC : savedDC - 1;  // -1 is the latest
    if (index < 0 || index >= n) {
        setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    dc->a = dc->saved[size_t(index)];
    dc->saved.resize(size_t(index));
    updateClip(*dc);
    return TRUE;
}

int WINAPI GetDeviceCaps(HDC hdc, int index) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return 0;
    Surface surface = surfaceOf(*dc);
    switch (index) {
        case HORZRES:
            return surface.width;
        case VERTRES:
            return surface.height;
        case HORZSIZE:
            return surface.width * 254 / 960;  // millimetres at 96 dpi
        case VERTSIZE:
            return surface.height * 254 / 960;
        case BITSPIXEL:
            return dc->memory && dc->a.bitmap ? std::get<BitmapObj>(dc->a.bitmap->data).bitsPerPixel
                                              : 16;
        case PLANES:
            return 1;
        case NUMCOLORS:
            return -1;
        case LOGPIXELSX:
        case LOGPIXELSY:
            return 96;
        default:
            return 0;
    }
}

int WINAPI SetROP2(HDC hdc, int rop2) {
    DCObj* dc = findDC(hdc);
    if (!dc || rop2 < R2_BLACK || rop2 > R2_WHITE)
        return 0;
    return std::exchange(dc->a.rop2, rop2);
}

int WINAPI GetROP2(HDC hdc) {
    DCObj* dc = findDC(hdc);
    return dc ? dc->a.rop2 : 0;
}

BOOL WINAPI SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT previous) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return FALSE;
    // The viewport origin is kept relative to the DC's own origin on its surface.
    if (previous)
        *previous = POINT{dc->a.origin.x - dc->baseOrigin().x, dc->a.origin.y - dc->baseOrigin().y};
    dc->a.origin = POINT{dc->baseOrigin().x + x, dc->baseOrigin().y + y};
    return TRUE;
}

BOOL WINAPI GetViewportOrgEx(HDC hdc, LPPOINT origin) {
    DCObj* dc = findDC(hdc);
    if (!dc || !origin)
        return FALSE;
    *origin = POINT{dc->a.origin.x - dc->baseOrigin().x, dc->a.origin.y - dc->baseOrigin().y};
    return TRUE;
}

BOOL WINAPI SetBrushOrgEx(HDC hdc, int, int, LPPOINT previous) {
    // Brushes are solid, so their origin changes nothing.
    if (!findDC(hdc))
        return FALSE;
    if (previous)
        *previous = POINT{0, 0};
    return TRUE;
}

// ---- Regions and clipping
// ------------------------------------------------------------------------

HRGN WINAPI CreateRectRgn(int left, int top, int right, int bottom) {
    return newRegion(RectList::of(RECT{std::min(left, right), std::min(top, bottom),
                                       std::max(left, right), std::max(top, bottom)}));
}

HRGN WINAPI CreateRectRgnIndirect(const RECT* rect) {
    if (!rect)
        return nullptr;
    return CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
}

BOOL WINAPI SetRectRgn(HRGN rgn, int left, int top, int right, int bottom) {
    RegionObj* r = dataOf<RegionObj>(rgn, Kind::Region);
    if (!r)
        return FALSE;
    r->area = RectList::of(RECT{std::min(left, right), std::min(top, bottom), std::max(left, right),
                                std::max(top, bottom)});
    return TRUE;
}

int WINAPI CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode) {
    RegionObj* d = dataOf<RegionObj>(dest, Kind::Region);
    RegionObj* a = dataOf<RegionObj>(src1, Kind::Region);
    RegionObj* b = mode == RGN_COPY ? a : dataOf<RegionObj>(src2, Kind::Region);
    if (!d || !a || !b) {
        setLastError(ERROR_INVALID_HANDLE);
        return ERROR;
    }
    RectList result = a->area;
    switch (mode) {
        case RGN_COPY:
            break;
        case RGN_AND:
            result.intersect(b->area);
            break;
        case RGN_OR:
            for (const RECT& r : b->area.rects) result.add(r);
            break;
        case RGN_DIFF:
            for (const RECT& r : b->area.rects) result.subtract(r);
            break;
        case RGN_XOR: {
            RectList onlyB = b->area;
            for (const RECT& r : a->area.rects) onlyB.subtract(r);
            for (const RECT& r : b->area.rects) result.subtract(r);
            for (const RECT& r : onlyB.rects) result.add(r);
            break;
        }
        default:
            setLastError(ERROR_INVALID_PARAMETER);
            return ERROR;
    }
    d->area = std::move(result);
    return d->area.complexity();
}

int WINAPI GetRgnBox(HRGN rgn, LPRECT rect) {
    RegionObj* r = dataOf<RegionObj>(rgn, Kind::Region);
    if (!r || !rect)
        return ERROR;
    *rect = r->area.bounds();
    return r->area.complexity();
}

BOOL WINAPI PtInRegion(HRGN rgn, int x, int y) {
    RegionObj* r = dataOf<RegionObj>(rgn, Kind::Region);
    return r && r->area.contains(x, y);
}

int WINAPI OffsetRgn(HRGN rgn, int dx, int dy) {
    RegionObj* r = dataOf<RegionObj>(rgn, Kind::Region);
    if (!r)
        return ERROR;
    r->area.offset(dx, dy);
    return r->area.complexity();
}

// The region is in device coordinates (relative to the DC's origin); a null region removes the
// clip that the program set.
int WINAPI SelectClipRgn(HDC hdc, HRGN rgn) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return ERROR;
    if (!rgn) {
        dc->a.userClip.reset();
    } else {
        RegionObj* r = dataOf<RegionObj>(rgn, Kind::Region);
        if (!r) {
            setLastError(ERROR_INVALID_HANDLE);
            return ERROR;
        }
        RectList area = r->area;
        area.offset(dc->baseOrigin().x, dc->baseOrigin().y);
        dc->a.userClip = std::move(area);
    }
    updateClip(*dc);
    return clipResult(*dc);
}

int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return ERROR;
    RECT r = toSurface(*dc, left, top, right, bottom);
    if (!dc->a.userClip)
        dc->a.userClip = dc->clip;
    dc->a.userClip->intersect(r);
    updateClip(*dc);
    return clipResult(*dc);
}

int WINAPI ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
    DCObj* dc = findDC(hdc);
    if (!dc)
        return ERROR;
    RECT r = toSurface(*dc, left, top, right, bottom);
    if (!dc->a.userClip)
        dc->a.userClip = dc->clip;
    dc->a.userClip->subtract(r);
    updateClip(*dc);
    return clipResult(*dc);
}

int WINAPI GetClipBox(HDC hdc, LPRECT rect) {
    DCObj* dc = findDC(hdc);
    if (!dc || !rect)
        return ERROR;
    *rect = dc->clip.bounds();
    if (!dc->clip.empty())
        OffsetRect(rect, -dc->a.origin.x, -dc->a.origin.y);
    return clipResult(*dc);
}

// ---- System colours
// ------------------------------------------------------------------------------

DWORD WINAPI GetSysColor(int index) {
    DisplayService* s = service();
    int i = sysIndex(index);
    if (!s || i < 0)
        return 0;
    return s->sysColors[i];
}

HBRUSH WINAPI GetSysColorBrush(int index) {
    DisplayService* s = service();
    int i = sysIndex(index);
    if (!s || i < 0) {
        setLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return s->sysColorBrushes[i];
}

BOOL WINAPI SetSysColors(int count, const INT* indices, const COLORREF* colors) {
    DisplayService* s = service();
    if (!s || count < 0 || (count > 0 && (!indices || !colors)))
        return FALSE;
    for (int k = 0; k < count; ++k) {
        int i = sysIndex(indices[k]);
        if (i < 0)
            continue;
        s->sysColors[i] = colors[k] & 0xFFFFFF;
        std::get<BrushObj>(s->find(s->sysColorBrushes[i])->data).color = s->sysColors[i];
    }
    return TRUE;
}

CE_END_DECLS
