// In-memory PNG encoder for tests: libpng's write API with a vector as the sink.
#include "tests/tools/quab-assets/png_bytes.h"

#include <png.h>

#include <csetjmp>

static void append(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

static void no_flush(png_structp) {}

std::vector<unsigned char> png_bytes(const PngSpec& spec) {
    // Everything with a destructor exists before setjmp: a longjmp must not skip one.
    std::vector<unsigned char> out;
    std::vector<png_color> palette;
    for (std::size_t i = 0; i + 2 < spec.palette.size(); i += 3)
        palette.push_back({spec.palette[i], spec.palette[i + 1], spec.palette[i + 2]});
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, append, no_flush);
    png_set_IHDR(png, info, spec.width, spec.height, spec.bit_depth, spec.colour_type,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty())
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!spec.trns.empty())
        png_set_tRNS(png, info, spec.trns.data(), static_cast<int>(spec.trns.size()), nullptr);
    png_write_info(png, info);
    std::size_t stride = spec.rows.size() / static_cast<std::size_t>(spec.height);
    for (int y = 0; y < spec.height; y++)
        png_write_row(png, spec.rows.data() + static_cast<std::size_t>(y) * stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::vector<unsigned char> png_bytes_rgba(int width, int height,
                                          const std::vector<std::uint32_t>& argb) {
    PngSpec spec{width, height, PNG_COLOR_TYPE_RGB_ALPHA, 8, {}, {}, {}};
    for (std::uint32_t p : argb) {
        spec.rows.push_back(static_cast<std::uint8_t>(p >> 16));
        spec.rows.push_back(static_cast<std::uint8_t>(p >> 8));
        spec.rows.push_back(static_cast<std::uint8_t>(p));
        spec.rows.push_back(static_cast<std::uint8_t>(p >> 24));
    }
    return png_bytes(spec);
}
