// PNG writer of the asset builder: one RGBA row at a time from the Pixel words, so the byte
// order of the host never reaches the file.
#include "tools/builder/png_export.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

bool png_export(const char* path, const Pixel* pixels, int width, int height) {
    FILE* f = std::fopen(path, "wb");
    if (!f) {
        std::printf("Can't write %s\n", path);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    unsigned char* volatile row = static_cast<unsigned char*>(std::malloc(width * 4u));
    if (!png || !info || !row) {
        png_destroy_write_struct(&png, &info);
        std::free(row);
        std::fclose(f);
        std::printf("Out of memory writing %s\n", path);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::free(row);
        std::fclose(f);
        std::printf("Unable to write %s\n", path);
        return false;
    }
    png_init_io(png, f);
    // Fast settings: the unpacked pictures are for editing, not for keeping small.
    png_set_compression_level(png, 3);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; y++) {
        const Pixel* src = pixels + static_cast<std::size_t>(y) * width;
        unsigned char* dst = row;
        for (int x = 0; x < width; x++) {
            dst[4 * x + 0] = static_cast<unsigned char>(src[x] >> 16);
            dst[4 * x + 1] = static_cast<unsigned char>(src[x] >> 8);
            dst[4 * x + 2] = static_cast<unsigned char>(src[x]);
            dst[4 * x + 3] = static_cast<unsigned char>(src[x] >> 24);
        }
        png_write_row(png, dst);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::free(row);
    bool closed = std::fclose(f) == 0;
    if (!closed)
        std::printf("Unable to write %s\n", path);
    return closed;
}
