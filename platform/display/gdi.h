// Internal state of the display: GDI objects behind checked handles, device contexts, the
// framebuffer and the fonts. One DisplayService per device.
#pragma once

#include "display/display.h"
#include "kernel/device.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

namespace ce::display {

class FontEngine;

// A rectangle list of disjoint rectangles: regions and clip areas.
struct RectList {
    std::vector<RECT> rects;

    static RectList of(const RECT& r);
    bool empty() const { return rects.empty(); }
    RECT bounds() const;
    bool contains(int x, int y) const;
    void intersect(const RECT& r);
    void intersect(const RectList& other);
    void subtract(const RECT& r);
    void add(const RECT& r);  // union
    void offset(int dx, int dy);
    int complexity() const;  // NULLREGION, SIMPLEREGION or COMPLEXREGION
};

// Pixels as the framebuffer keeps them: 0x00RRGGBB.
inline uint32_t toPixel(COLORREF c) {
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
inline COLORREF toColorRef(uint32_t p) {
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

// A view of pixels that drawing writes into: the screen or a bitmap (top-down or bottom-up).
struct Surface {
    uint32_t* top = nullptr;    // row 0
    std::ptrdiff_t stride = 0;  // in pixels, negative for bottom-up bitmaps
    int width = 0;
    int height = 0;
    uint32_t* row(int y) const { return top + stride * y; }
};

struct PenObj {
    int style = PS_SOLID;
    int width = 1;
    COLORREF color = 0;
};
struct BrushObj {
    bool hollow = false;
    COLORREF color = 0;
};
struct FontObj {
    LOGFONTW lf{};
};
struct BitmapObj {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 32;  // as reported; stored as 32-bit pixels
    bool bottomUp = false;
    std::vector<uint32_t> pixels;
    Surface surface() {
        Surface s;
        s.width = width;
        s.height = height;
        if (pixels.empty())
            return s;
        s.stride = bottomUp ? -width : width;
        s.top = bottomUp ? pixels.data() + std::ptrdiff_t(height - 1) * width : pixels.data();
        return s;
    }
};
struct RegionObj {
    RectList area;
};
struct IconObj {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;  // 0xAARRGGBB, row-major, top-down
};

struct GdiObject;
using ObjectRef = std::shared_ptr<GdiObject>;

// The attributes that SaveDC saves.
struct DCAttributes {
    ObjectRef pen, brush, font, bitmap;
    HGDIOBJ penHandle = nullptr, brushHandle = nullptr, fontHandle = nullptr,
            bitmapHandle = nullptr;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    COLORREF dcBrushColor = RGB(255, 255, 255);
    COLORREF dcPenColor = RGB(0, 0, 0);
    int bkMode = OPAQUE;
    UINT textAlign = TA_LEFT | TA_TOP;
    int rop2 = R2_COPYPEN;
    POINT position{0, 0};              // current position, logical
    POINT origin{0, 0};                // viewport origin on the surface
    std::optional<RectList> userClip;  // surface coordinates; none = only the base clip
};

struct DCObj {
    bool memory = false;
    POINT base{0, 0};                 // the origin GWES gave (the window's client origin on screen)
    HGDIOBJ defaultBitmap = nullptr;  // a memory DC's own 1 x 1 bitmap
    POINT baseOrigin() const { return base; }
    RECT baseClip{};  // surface coordinates: the window's visible part, or the bitmap
    DCAttributes a;
    std::vector<DCAttributes> saved;
    RectList clip;  // baseClip intersected with userClip, kept up to date
};

enum class Kind : uint8_t {
    Pen = OBJ_PEN,
    Brush = OBJ_BRUSH,
    DC = OBJ_DC,
    Font = OBJ_FONT,
    Bitmap = OBJ_BITMAP,
    Region = OBJ_REGION,
    MemDC = OBJ_MEMDC,
    Icon = 12,
};

struct GdiObject {
    Kind kind;
    bool stock = false;  // stock objects and system colour brushes are never deleted
    std::variant<PenObj, BrushObj, FontObj, BitmapObj, RegionObj, IconObj, DCObj> data;
};

// The per-device display state.
class DisplayService : public DeviceService {
  public:
    DisplayService();
    ~DisplayService() override;

    Framebuffer framebuffer;
    Surface screenSurface();

    // Handles: the value encodes a serial number and the kind; a stale or forged value finds
    // nothing. Serial numbers are never reused.
    HGDIOBJ add(Kind kind, decltype(GdiObject::data) data, bool stock = false);
    ObjectRef find(HGDIOBJ handle) const;
    ObjectRef find(HGDIOBJ handle, Kind kind) const;
    bool remove(HGDIOBJ handle);

    HGDIOBJ stockObjects[DC_PEN + 1] = {};
    HBRUSH sysColorBrushes[C_SYS_COLOR_TYPES] = {};
    COLORREF sysColors[C_SYS_COLOR_TYPES] = {};

    std::unique_ptr<FontEngine> fonts;
    bool dimmed = false;

  private:
    std::unordered_map<uintptr_t, ObjectRef> objects_;
    uintptr_t nextSerial_ = 1;
};

// The current device's display state, or nullptr when no device is open.
DisplayService* service();

// A DC found by handle (screen or memory DC), or nullptr.
DCObj* findDC(HDC hdc);
// The surface a DC draws on (the screen, or its selected bitmap).
Surface surfaceOf(DCObj& dc);
void updateClip(DCObj& dc);

// Resolves a brush handle as FillRect does: a brush object, a system colour given as
// (HBRUSH)(index + 1) or (HBRUSH)(index | SYS_COLOR_INDEX_FLAG). Empty for a bad handle.
std::optional<BrushObj> resolveBrush(HBRUSH brush, const DCObj* dc = nullptr);

// Pixel operations on a DC's surface in surface coordinates, clipped to the DC's clip.
void fillSurfaceRect(DCObj& dc, const RECT& r, uint32_t pixel);
void invertSurfaceRect(DCObj& dc, const RECT& r);
void plotSurface(DCObj& dc, int x, int y, uint32_t pixel);
// Blends a pixel with coverage 0..255.
void blendSurface(DCObj& dc, int x, int y, uint32_t pixel, unsigned coverage);

// What the host window shows, at the screen's size (for tests); false without a window.
bool readWindow(Framebuffer& out);
// What the host window shows, every window pixel (for tests); false without a window.
bool readWindowPixels(Framebuffer& out);

// Records a failure the Win32 way.
void setLastError(DWORD code);

// Makes the fill and text colours visible in pixel form.
uint32_t sysPixel(int index);

}  // namespace ce::display
