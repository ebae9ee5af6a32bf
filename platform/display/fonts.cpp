// FreeType behind FontEngine: DejaVu Sans (Bold, Oblique, Mono) at pixel sizes from LOGFONTW.
#include "display/text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <tuple>

namespace ce::display {

namespace {

class FreeTypeFace : public FontFace {
  public:
    FreeTypeFace(FT_Face face, int em) : face_(face) {
        emPixels = em;
        FT_Set_Pixel_Sizes(face_, 0, FT_UInt(em));
        const double scale = double(em) / face_->units_per_EM;
        // Windows measures a cell from the font's ascender and descender, rounded outward.
        ascent = int(std::ceil(face_->ascender * scale - 0.01));
        descent = int(std::ceil(-face_->descender * scale - 0.01));
        underlinePosition = std::max(1, int(std::lround(-face_->underline_position * scale)));
        underlineThickness = std::max(1, int(std::lround(face_->underline_thickness * scale)));
        bold = (face_->style_flags & FT_STYLE_FLAG_BOLD) != 0;
        italic = (face_->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
        fixedPitch = FT_IS_FIXED_WIDTH(face_);
        for (const char* p = face_->family_name; p && *p; ++p) faceName.push_back(char16_t(*p));
        // Average width as Windows defines it for Latin fonts: the width of 'x'.
        aveCharWidth = glyph(U'x').advance;
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
        if (FT_Load_Glyph(face_, index, FT_LOAD_TARGET_LIGHT) == 0 &&
            FT_Render_Glyph(face_->glyph, FT_RENDER_MODE_NORMAL) == 0) {
            const FT_GlyphSlot slot = face_->glyph;
            const FT_Bitmap& bm = slot->bitmap;
            g.left = slot->bitmap_left;
            g.top = slot->bitmap_top;
            g.width = int(bm.width);
            g.height = int(bm.rows);
            g.advance = int((slot->advance.x + 32) >> 6);
            g.coverage.resize(size_t(g.width) * g.height);
            for (int y = 0; y < g.height; ++y) {
                const unsigned char* row = bm.buffer + std::ptrdiff_t(y) * bm.pitch;
                std::copy(row, row + g.width, g.coverage.begin() + std::ptrdiff_t(y) * g.width);
            }
        }
        return cache_.emplace(ch, std::move(g)).first->second;
    }

  private:
    FT_Face face_;
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
    std::map<std::tuple<std::string, int>, std::unique_ptr<FreeTypeFace>> faces;
    std::set<std::string> reported;  // files already reported missing
};

FontEngine::FontEngine() : impl_(std::make_unique<Impl>()) {}

FontEngine::~FontEngine() {
    impl_->faces.clear();
    if (impl_->library)
        FT_Done_FreeType(impl_->library);
}

std::string FontEngine::fontDirectory() {
    const char* dir = std::getenv("VARNELLO_FONT_DIR");
    return dir && *dir ? dir : "/usr/share/fonts/truetype/dejavu";
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

    bool mono = (lf.lfPitchAndFamily & 3) == FIXED_PITCH || hasFace(lf, u"Courier");
    bool bold = lf.lfWeight >= FW_SEMIBOLD;
    bool italic = lf.lfItalic != 0;
    std::string file = mono ? "DejaVuSansMono" : "DejaVuSans";
    if (bold || italic)
        file += std::string("-") + (bold ? "Bold" : "") + (italic ? "Oblique" : "");
    std::string path = fontDirectory() + "/" + file + ".ttf";

    // A negative height is the character (em) height; a positive one the cell height.
    int em = 11;
    bool cellHeight = lf.lfHeight > 0;
    if (lf.lfHeight != 0)
        em = std::clamp(int(std::abs(lf.lfHeight)), 1, 200);

    auto key = std::make_tuple(path, cellHeight ? -em : em);
    auto it = impl_->faces.find(key);
    if (it != impl_->faces.end())
        return it->second.get();

    FT_Face ftFace = nullptr;
    if (FT_New_Face(impl_->library, path.c_str(), 0, &ftFace) != 0) {
        if (impl_->reported.insert(path).second)
            std::fprintf(stderr, "varnello: cannot load the font %s; text is not drawn\n",
                         path.c_str());
        return nullptr;
    }
    int size = em;
    if (cellHeight) {
        int units = ftFace->ascender - ftFace->descender;
        size = std::max(1, int(std::lround(double(em) * ftFace->units_per_EM / units)));
    }
    auto created = std::make_unique<FreeTypeFace>(ftFace, size);
    FontFace* result = created.get();
    impl_->faces.emplace(key, std::move(created));
    return result;
}

}  // namespace ce::display
