// PNG writer of the asset builder: one RGBA row at a time from the Pixel words, so the byte
// order of the host never reaches the file. libpng's bytes go through the tools' output file,
// so a full disk ends the picture with the system's reason and leaves no partial file.
#include "lib/pictures/png_export.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "lib/tool_common/output_file.h"

namespace {

struct Sink {
    OutputFile* out;
    Result* result; // the first failure, kept over libpng's own line that follows it
};

void write_to_output(png_structp png, png_bytep data, png_size_t length) {
    auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
    if (Result r = output_write(sink->out, data, length); !r.ok) {
        *sink->result = r;
        png_error(png, "write failed");
    }
}

// Flushing is the output file's business, at its commit.
void flush_nothing(png_structp) {}

void on_error(png_structp png, png_const_charp message) {
    auto* sink = static_cast<Sink*>(png_get_error_ptr(png));
    if (sink->result->ok)
        *sink->result = Result::fail(sink->out->path + ": libpng: " + message);
    png_longjmp(png, 1);
}

} // namespace

Result png_export(const char* path, const Pixel* pixels, int width, int height) {
    OutputFile out;
    if (Result r = output_open(path, &out); !r.ok)
        return r;
    Result failure;
    Sink sink = {&out, &failure};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, on_error, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    unsigned char* volatile row = static_cast<unsigned char*>(std::malloc(width * 4u));
    if (!png || !info || !row) {
        png_destroy_write_struct(&png, &info);
        std::free(row);
        output_discard(&out);
        return Result::fail(std::string(path) + ": out of memory");
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::free(row);
        output_discard(&out);
        return failure;
    }
    png_set_write_fn(png, &sink, write_to_output, flush_nothing);
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
    return output_commit(&out);
}

bool encode_opaque_png(const Pixel* pixels, int width, int height, std::string* png) {
    std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<unsigned char> rgb(count * 3);
    for (std::size_t i = 0; i < count; i++) {
        rgb[3 * i + 0] = static_cast<unsigned char>(pixels[i] >> 16);
        rgb[3 * i + 1] = static_cast<unsigned char>(pixels[i] >> 8);
        rgb[3 * i + 2] = static_cast<unsigned char>(pixels[i]);
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    png->resize(size);
    bool ok = png_image_write_to_memory(&image, png->data(), &size, 0, rgb.data(), 0, nullptr);
    png_image_free(&image);
    png->resize(size);
    return ok;
}
