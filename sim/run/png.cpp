#include "run/png.h"

#include <png.h>

#include <cstdio>
#include <memory>

namespace kivo::sim {

namespace {
struct FileCloser {
    void operator()(std::FILE *f) const
    {
        if (f)
            std::fclose(f);
    }
};
} // namespace

bool WritePng(const std::string &path, int width, int height, const std::vector<std::uint8_t> &rgb, std::string *error)
{
    auto fail = [&](const std::string &why) {
        if (error)
            *error = why;
        return false;
    };
    if (width <= 0 || height <= 0 || rgb.size() != std::size_t(width) * std::size_t(height) * 3)
        return fail("no picture to write");
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return fail("cannot create " + path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return fail("cannot write " + path);
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return fail("cannot write " + path);
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++)
        png_write_row(png, rgb.data() + std::size_t(y) * std::size_t(width) * 3);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::FILE *f = file.release();
    bool ok = std::ferror(f) == 0;
    ok = std::fclose(f) == 0 && ok;
    return ok ? true : fail("cannot write " + path);
}

bool ReadPng(const std::string &path, int &width, int &height, std::vector<std::uint8_t> &rgb, std::string *error)
{
    auto fail = [&](const std::string &why) {
        if (error)
            *error = why;
        return false;
    };
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return fail("cannot open " + path);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return fail("cannot read " + path);
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return fail("not a PNG file: " + path);
    }
    png_init_io(png, file.get());
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    png_read_update_info(png, info);
    width = int(png_get_image_width(png, info));
    height = int(png_get_image_height(png, info));
    rgb.assign(std::size_t(width) * std::size_t(height) * 3, 0);
    for (int y = 0; y < height; y++)
        png_read_row(png, rgb.data() + std::size_t(y) * std::size_t(width) * 3, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

} // namespace kivo::sim
