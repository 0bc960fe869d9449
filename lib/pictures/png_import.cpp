// PNG to Pixels through libpng's memory reader. libpng reports errors by longjmp, so the
// decoding function keeps only plain locals alive across setjmp and frees through them.
#include "lib/pictures/png_import.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct MemoryReader {
    const unsigned char* data;
    std::size_t size;
    std::size_t at;
};

struct ErrorSink {
    char* text;
    std::size_t size;
};

void read_from_memory(png_structp png, png_bytep dest, png_size_t length) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (length > reader->size - reader->at)
        png_error(png, "the data ends inside the picture");
    std::memcpy(dest, reader->data + reader->at, length);
    reader->at += length;
}

void on_error(png_structp png, png_const_charp message) {
    auto* sink = static_cast<ErrorSink*>(png_get_error_ptr(png));
    std::snprintf(sink->text, sink->size, "not a readable PNG (%s)", message);
    png_longjmp(png, 1);
}

// Warnings (a bad CRC in an ancillary chunk, an unknown profile) do not stop the import.
void on_warning(png_structp, png_const_charp) {}

} // namespace

Result png_import(const unsigned char* data, std::size_t size, PngImage* out) {
    out->width = 0;
    out->height = 0;
    out->pixels = nullptr;
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0)
        return Result::fail("not a PNG (no PNG signature)");

    // libpng's message lands in a plain buffer: nothing that owns memory is written on the way
    // to the longjmp.
    char error[256] = "";
    ErrorSink sink = {error, sizeof error};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &sink, on_error, on_warning);
    if (!png)
        return Result::fail("out of memory");
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return Result::fail("out of memory");
    }

    // Touched after setjmp and read after a longjmp, hence volatile.
    unsigned char* volatile rgba = nullptr;
    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        std::free(rgba);
        std::free(rows);
        png_destroy_read_struct(&png, &info, nullptr);
        return Result::fail(error);
    }

    MemoryReader reader = {data, size, 0};
    png_set_read_fn(png, &reader, read_from_memory);
    png_set_user_limits(png, PNG_IMPORT_MAX_SIDE, PNG_IMPORT_MAX_SIDE);
    // Text and other ancillary chunks can be made huge; the picture needs none of them.
    png_set_chunk_malloc_max(png, 8u << 20);
    png_read_info(png, info);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bit_depth = 0;
    int colour_type = 0;
    png_get_IHDR(png, info, &width, &height, &bit_depth, &colour_type, nullptr, nullptr, nullptr);
    if (static_cast<std::uint64_t>(width) * height > PNG_IMPORT_MAX_PIXELS)
        png_error(png, "picture too large for any asset");

    // Every form becomes 8-bit R, G, B, A; a picture without alpha is opaque.
    if (colour_type == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colour_type == PNG_COLOR_TYPE_GRAY && bit_depth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(png);
    if (bit_depth == 16)
        png_set_strip_16(png);
    if (colour_type == PNG_COLOR_TYPE_GRAY || colour_type == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    if (png_get_rowbytes(png, info) != static_cast<png_size_t>(width) * 4u)
        png_error(png, "unexpected row layout");

    // Sides are at most PNG_IMPORT_MAX_SIDE, so these products fit easily in size_t.
    std::size_t pixel_count = static_cast<std::size_t>(width) * height;
    rgba = static_cast<unsigned char*>(std::malloc(pixel_count * 4));
    rows = static_cast<png_bytep*>(std::malloc(height * sizeof(png_bytep)));
    if (!rgba || !rows)
        png_error(png, "out of memory");
    for (png_uint_32 y = 0; y < height; y++)
        rows[y] = rgba + static_cast<std::size_t>(y) * width * 4;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(rows);

    // Converted in place: each Pixel overwrites the four bytes it was made from.
    unsigned char* bytes = rgba;
    Pixel* pixels = reinterpret_cast<Pixel*>(bytes);
    for (std::size_t i = 0; i < pixel_count; i++) {
        const unsigned char* p = bytes + i * 4;
        pixels[i] = static_cast<Pixel>(p[3]) << 24 | static_cast<Pixel>(p[0]) << 16 |
                    static_cast<Pixel>(p[1]) << 8 | static_cast<Pixel>(p[2]);
    }
    out->width = static_cast<int>(width);
    out->height = static_cast<int>(height);
    out->pixels = pixels;
    return Result::success();
}
