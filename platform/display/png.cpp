// Screenshots: the framebuffer as an 8-bit RGB PNG, and reading one back.
#include "display/display.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

namespace ce::display {

namespace {

struct FileCloser {
    void operator()(FILE* f) const {
        if (f)
            std::fclose(f);
    }
};
using File = std::unique_ptr<FILE, FileCloser>;

void setError(std::string* error, std::string message) {
    if (error)
        *error = std::move(message);
}

}  // namespace

bool writePng(const Framebuffer& fb, const std::string& path, std::string* error) {
    if (fb.width <= 0 || fb.height <= 0 || fb.pixels.size() != size_t(fb.width) * fb.height) {
        setError(error, "no screen to write");
        return false;
    }
    // Written beside the target and renamed, so a failed write leaves no torn picture.
    std::string temp = path + ".tmp";
    File f(std::fopen(temp.c_str(), "wb"));
    if (!f) {
        setError(error, "cannot write " + path + ": " + std::strerror(errno));
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        setError(error, "out of memory writing " + path);
        return false;
    }
    std::vector<png_byte> row(size_t(fb.width) * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        f.reset();
        std::remove(temp.c_str());
        setError(error, "cannot write " + path);
        return false;
    }
    png_init_io(png, f.get());
    png_set_IHDR(png, info, png_uint_32(fb.width), png_uint_32(fb.height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < fb.height; ++y) {
        const uint32_t* src = fb.pixels.data() + size_t(y) * fb.width;
        for (int x = 0; x < fb.width; ++x) {
            row[size_t(x) * 3] = png_byte(src[x] >> 16);
            row[size_t(x) * 3 + 1] = png_byte(src[x] >> 8);
            row[size_t(x) * 3 + 2] = png_byte(src[x]);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    bool ok = std::fflush(f.get()) == 0 && !std::ferror(f.get());
    f.reset();
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        setError(error, "cannot write " + path + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

bool readPng(const std::string& path, Framebuffer& fb, std::string* error) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) {
        setError(error, "cannot open " + path + ": " + std::strerror(errno));
        return false;
    }
    png_byte sig[8];
    if (std::fread(sig, 1, 8, f.get()) != 8 || png_sig_cmp(sig, 0, 8) != 0) {
        setError(error, path + " is not a PNG file");
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        setError(error, "out of memory reading " + path);
        return false;
    }
    std::vector<png_byte> row;
    Framebuffer out;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        setError(error, path + " is a damaged PNG file");
        return false;
    }
    png_init_io(png, f.get());
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    if (width == 0 || height == 0 || width > 16384 || height > 16384)
        png_error(png, "size");
    // Normalise to 8-bit RGBA.
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(width) * 4)
        png_error(png, "layout");
    row.resize(size_t(width) * 4);
    out.width = int(width);
    out.height = int(height);
    out.pixels.resize(size_t(width) * height);
    int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y) {
            uint32_t* dst = out.pixels.data() + size_t(y) * width;
            // Interlaced passes refine the rows already read.
            for (png_uint_32 x = 0; x < width; ++x) {
                row[x * 4] = png_byte(dst[x] >> 16);
                row[x * 4 + 1] = png_byte(dst[x] >> 8);
                row[x * 4 + 2] = png_byte(dst[x]);
            }
            png_read_row(png, row.data(), nullptr);
            for (png_uint_32 x = 0; x < width; ++x)
                dst[x] =
                    (uint32_t(row[x * 4]) << 16) | (uint32_t(row[x * 4 + 1]) << 8) | row[x * 4 + 2];
        }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    fb = std::move(out);
    return true;
}

}  // namespace ce::display
