// Fonts: the system font (Tahoma, DejaVu Sans when it is missing) and a fixed-pitch face, drawn
// by FreeType one bit per pixel at the sizes that LOGFONTW asks for, with a glyph cache per face
// and size.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace ce::display {

struct Glyph {
    int left = 0;  // from the pen position to the bitmap's left edge
    int top = 0;   // from the baseline up to the bitmap's top row
    int width = 0;
    int height = 0;
    int advance = 0;                // pixels
    std::vector<uint8_t> coverage;  // width * height: 0 or 255
};

// One font file at one pixel size.
class FontFace {
  public:
    virtual ~FontFace() = default;
    virtual const Glyph& glyph(char32_t ch) = 0;
    int ascent = 0;
    int descent = 0;
    int emPixels = 0;
    int aveCharWidth = 0;
    int maxCharWidth = 0;
    int underlinePosition = 1;  // pixels below the baseline
    int underlineThickness = 1;
    bool bold = false;
    bool italic = false;
    bool fixedPitch = false;
    std::u16string faceName;  // "Tahoma", "DejaVu Sans", ...
};

class FontEngine {
  public:
    FontEngine();
    ~FontEngine();
    FontEngine(const FontEngine&) = delete;
    FontEngine& operator=(const FontEngine&) = delete;

    // The face and size that a LOGFONTW selects, or nullptr when its font file cannot be
    // loaded (reported once on stderr; text is then measured with estimates and not drawn).
    FontFace* face(const LOGFONTW& lf);

    // VARNELLO_FONT_DIR: the one folder where every font is looked for (empty when not set:
    // Wine's fonts and DejaVu's in their system folders).
    static std::string fontDirectory();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ce::display
