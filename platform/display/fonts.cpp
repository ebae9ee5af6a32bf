// FreeType behind FontEngine: the device's system font, Tahoma, from the metric-compatible faces
// of Wine's fonts (Debian's fonts-wine), its bold from their bold face, DejaVu Sans as the
// fallback, and DejaVu Sans Mono for fixed pitch; at the pixel sizes LOGFONTW asks for.
//
// Text is drawn as Pocket PC 2003 draws it with ClearType off: one bit per pixel, hinted, no
// grey or coloured fringes. Where a face carries hand-tuned bitmaps for the size (Tahoma's from
// 8 to 16 pixels), those are the glyphs.
#include "display/display.h"
#include "display/text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <tuple>
#include <vector>

namespace ce::display {

namespace {

#ifndef CE_FONTS_FROM_LIB
#error "CE_FONTS_FROM_LIB names the installed fonts' folder from the library's (platform/display)"
#endif

constexpr const char* kWineFonts = "/usr/share/wine/fonts";
constexpr const char* kDejaVuFonts = "/usr/share/fonts/truetype/dejavu";

// Windows draws synthetic italics by slanting the upright face by about 12 degrees.
constexpr FT_Fixed kItalicShear = 0x3600;  // tan(12 deg) in 16.16

// The font files for a style, the first that loads wins: the device's own face first, then
// the fallback.
struct FontFile {
    const char* folder;
    const char* name;
};

std::vector<FontFile> candidates(bool mono, bool bold) {
    if (mono)
        return {{kDejaVuFonts, bold ? "DejaVuSansMono-Bold.ttf" : "DejaVuSansMono.ttf"}};
    return {{kWineFonts, bold ? "tahomabd.ttf" : "tahoma.ttf"},
            {kDejaVuFonts, bold ? "DejaVuSans-Bold.ttf" : "DejaVuSans.ttf"}};
}

// The rows a face's VDMX table gives for a pixel size (what Windows uses for the cell), if any.
bool vdmxRows(FT_Face face, int ppem, int& yMax, int& yMin) {
    FT_ULong length = 0;
    if (FT_Load_Sfnt_Table(face, TTAG_VDMX, 0, nullptr, &length) != 0 || length < 6)
        return false;
    std::vector<FT_Byte> t(length);
    if (FT_Load_Sfnt_Table(face, TTAG_VDMX, 0, t.data(), &length) != 0)
        return false;
    auto u16 = [&](size_t at) { return at + 2 <= t.size() ? (t[at] << 8) | t[at + 1] : 0; };
    auto s16 = [&](size_t at) { return int(int16_t(u16(at))); };
    const int ratios = u16(4);
    for (int r = 0; r < ratios; ++r) {
        // A ratio record: charset, x ratio, starting y ratio, ending y ratio. 0:0 is any ratio;
        // the screen's pixels are square.
        const size_t rec = 6 + 4 * size_t(r);
        if (rec + 4 > t.size())
            return false;
        const int x = t[rec + 1], y0 = t[rec + 2], y1 = t[rec + 3];
        if (!(x == 0 && y0 == 0 && y1 == 0) && !(y0 <= x && x <= y1))
            continue;
        const size_t group = size_t(u16(6 + 4 * size_t(ratios) + 2 * size_t(r)));
        const int records = u16(group);
        for (int i = 0; i < records; ++i) {
            const size_t at = group + 4 + 6 * size_t(i);
            if (u16(at) == ppem) {
                yMax = s16(at + 2);
                yMin = s16(at + 4);
                return true;
            }
        }
        return false;
    }
    return false;
}

class FreeTypeFace : public FontFace {
  public:
    FreeTypeFace(FT_Face face, int em, bool synthItalic) : face_(face), synthItalic_(synthItalic) {
        emPixels = em;
        FT_Set_Pixel_Sizes(face_, 0, FT_UInt(em));
        if (synthItalic_) {
            FT_Matrix shear{0x10000, kItalicShear, 0, 0x10000};
            FT_Set_Transform(face_, &shear, nullptr);
        }
        cell();
        const double scale = double(em) / face_->units_per_EM;
        underlinePosition = std::max(1, int(std::lround(-face_->underline_position * scale)));
        underlineThickness = std::max(1, int(std::lround(face_->underline_thickness * scale)));
        bold = (face_->style_flags & FT_STYLE_FLAG_BOLD) != 0;
        italic = synthItalic_ || (face_->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
        fixedPitch = FT_IS_FIXED_WIDTH(face_);
        for (const char* p = face_->family_name; p && *p; ++p) faceName.push_back(char16_t(*p));
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
        // Windows' average width is the face's own figure where it has one.
        aveCharWidth = os2 && os2->xAvgCharWidth > 0 ? int(std::lround(os2->xAvgCharWidth * scale))
                                                     : glyph(U'x').advance;
        maxCharWidth = std::max(glyph(U'W').advance, glyph(U'M').advance);
    }
    ~FreeTypeFace() override { FT_Done_Face(face_); }

    const Glyph& glyph(char32_t ch) override {
        auto it = cache_.find(ch);
        if (it != cache_.end())
            return it->second;
        Glyph g;
        FT_UInt index = FT_Get_Char_Index(face_, ch);
        if (index == 0 && ch != U' ')
            index = FT_Get_Char_Index(face_, 0xFFFD);
        // A slanted glyph comes from the outline; an upright one from the face's bitmaps where
        // it has them for this size, else from the outline hinted for one bit per pixel.
        FT_Int32 flags = FT_LOAD_TARGET_MONO | (synthItalic_ ? FT_LOAD_NO_BITMAP : 0);
        if (FT_Load_Glyph(face_, index, flags) == 0 &&
            FT_Render_Glyph(face_->glyph, FT_RENDER_MODE_MONO) == 0)
            copyBitmap(face_->glyph, g);
        return cache_.emplace(ch, std::move(g)).first->second;
    }

  private:
    // The cell: ascent and descent as Windows takes them, from the face's VDMX rows for the size,
    // else its Windows ascent and descent rounded.
    void cell() {
        int yMax = 0, yMin = 0;
        if (vdmxRows(face_, emPixels, yMax, yMin)) {
            ascent = yMax;
            descent = -yMin;
            return;
        }
        const double scale = double(emPixels) / face_->units_per_EM;
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
        const double up = os2 && os2->usWinAscent ? os2->usWinAscent : face_->ascender;
        const double down = os2 && os2->usWinAscent ? os2->usWinDescent : -face_->descender;
        ascent = int(std::lround(up * scale));
        descent = int(std::lround(down * scale));
    }

    static void copyBitmap(const FT_GlyphSlot slot, Glyph& g) {
        const FT_Bitmap& bm = slot->bitmap;
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.width = int(bm.width);
        g.height = int(bm.rows);
        g.advance = int((slot->advance.x + 32) >> 6);
        g.coverage.assign(size_t(g.width) * g.height, 0);
        for (int y = 0; y < g.height; ++y) {
            const unsigned char* row = bm.buffer + std::ptrdiff_t(y) * bm.pitch;
            for (int x = 0; x < g.width; ++x) {
                const bool on = bm.pixel_mode == FT_PIXEL_MODE_MONO
                                    ? (row[x >> 3] & (0x80 >> (x & 7))) != 0
                                    : row[x] >= 128;
                g.coverage[size_t(y) * g.width + x] = on ? 255 : 0;
            }
        }
    }

    FT_Face face_;
    bool synthItalic_;
    std::unordered_map<char32_t, Glyph> cache_;
};

bool hasFace(const LOGFONTW& lf, const char16_t* name) {
    std::u16string face(lf.lfFaceName, std::find(lf.lfFaceName, lf.lfFaceName + LF_FACESIZE, 0));
    std::u16string want(name);
    if (face.size() < want.size())
        return false;
    for (size_t i = 0; i < want.size(); ++i)
        if (std::tolower(int(face[i])) != std::tolower(int(want[i])))
            return false;
    return true;
}

}  // namespace

struct FontEngine::Impl {
    FT_Library library = nullptr;
    bool libraryFailed = false;
    // (file, size, slanted) -> face; a null face records a style none of whose files loads
    std::map<std::tuple<std::string, int, bool>, std::unique_ptr<FreeTypeFace>> faces;
    std::set<std::string> unloadable;  // files that could not be loaded, not tried again
    std::set<std::string> reported;    // styles already reported missing
};

FontEngine::FontEngine() : impl_(std::make_unique<Impl>()) {}

FontEngine::~FontEngine() {
    impl_->faces.clear();
    if (impl_->library)
        FT_Done_FreeType(impl_->library);
}

std::string FontEngine::fontDirectory() {
    const char* dir = std::getenv("VARNELLO_FONT_DIR");
    return dir && *dir ? dir : "";
}

FontFace* FontEngine::face(const LOGFONTW& lf) {
    if (!impl_->library && !impl_->libraryFailed) {
        if (FT_Init_FreeType(&impl_->library) != 0) {
            impl_->libraryFailed = true;
            std::fprintf(stderr, "varnello: FreeType could not start; text is not drawn\n");
        }
    }
    if (!impl_->library)
        return nullptr;

    const bool mono = (lf.lfPitchAndFamily & 3) == FIXED_PITCH || hasFace(lf, u"Courier");
    const bool bold = lf.lfWeight >= FW_SEMIBOLD;
    const bool italic = lf.lfItalic != 0;

    // A negative height is the character (em) height; a positive one the cell height.
    int em = 11;
    const bool cellHeight = lf.lfHeight > 0;
    if (lf.lfHeight != 0)
        em = std::clamp(int(std::abs(lf.lfHeight)), 1, 200);

    // An installed prefix carries copies of the fonts: they come first, the system's after them.
    // Looked for once; a build tree has none.
    static const std::string installed = [] {
        std::string folder = libraryFolder() + CE_FONTS_FROM_LIB;
        struct stat st;
        return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? folder : std::string();
    }();
    const std::string override = fontDirectory();
    std::string tried;
    auto load = [&](const std::string& path) -> FontFace* {
        tried += (tried.empty() ? "" : " or ") + path;
        auto key = std::make_tuple(path, cellHeight ? -em : em, italic);
        if (auto it = impl_->faces.find(key); it != impl_->faces.end())
            return it->second.get();
        FT_Face ftFace = nullptr;
        if (impl_->unloadable.count(path))
            return nullptr;
        if (FT_New_Face(impl_->library, path.c_str(), 0, &ftFace) != 0) {
            impl_->unloadable.insert(path);
            return nullptr;
        }
        int size = em;
        if (cellHeight) {
            // The cell is the Windows ascent and descent; the em is the part of it asked for.
            const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ftFace, FT_SFNT_OS2));
            const int units = os2 && os2->usWinAscent ? os2->usWinAscent + os2->usWinDescent
                                                      : ftFace->ascender - ftFace->descender;
            size = std::max(1, int(std::lround(double(em) * ftFace->units_per_EM / units)));
        }
        auto created = std::make_unique<FreeTypeFace>(ftFace, size, italic);
        FontFace* result = created.get();
        impl_->faces.emplace(key, std::move(created));
        return result;
    };
    for (const FontFile& f : candidates(mono, bold)) {
        if (!override.empty()) {
            if (FontFace* face = load(override + "/" + f.name))
                return face;
            continue;
        }
        if (!installed.empty())
            if (FontFace* face = load(installed + "/" + f.name))
                return face;
        if (FontFace* face = load(std::string(f.folder) + "/" + f.name))
            return face;
    }
    if (impl_->reported.insert(tried).second)
        std::fprintf(stderr, "varnello: cannot load the font %s; text is not drawn\n",
                     tried.c_str());
    return nullptr;
}

}  // namespace ce::display
