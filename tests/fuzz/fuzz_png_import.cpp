// Fuzz target for quab-assets' PNG import: any bytes give a picture within the size limit or a
// one-line refusal, and nothing leaks. Each input is also tried with its chunk checksums
// corrected, so that mutations reach the decoder instead of stopping at a checksum mismatch.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

#include "lib/pictures/png_import.h"

// A header may announce up to 16384 x 16384 Pixels, which the import allocates before the data
// runs out. Capping allocations at 64 MiB (null beyond, as an exhausted heap) keeps the run fast
// and covers the import's out-of-memory path; no input of a few kilobytes decodes to more.
extern "C" const char* __asan_default_options() {
    return "max_allocation_size_mb=64:allocator_may_return_null=1";
}

static void import_once(const unsigned char* data, std::size_t size) {
    PngImage image;
    Result imported = png_import(data, size, &image);
    if (!imported.ok) {
        if (image.pixels || image.width != 0 || image.height != 0 || imported.reason.empty())
            std::abort();
        return;
    }
    if (image.width < 1 || image.width > PNG_IMPORT_MAX_SIDE || image.height < 1 ||
        image.height > PNG_IMPORT_MAX_SIDE || !image.pixels)
        std::abort();
    // Every Pixel is read, so that a buffer shorter than width x height shows up.
    std::size_t count = static_cast<std::size_t>(image.width) * image.height;
    Pixel sum = 0;
    for (std::size_t i = 0; i < count; i++)
        sum += image.pixels[i];
    volatile Pixel sink = sum;
    (void)sink;
    std::free(image.pixels);
}

static std::uint32_t be32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

// Rewrites the checksum of every complete chunk after the signature; true when one changed.
static bool fix_checksums(unsigned char* data, std::size_t size) {
    bool changed = false;
    std::size_t at = 8;
    while (size >= at && size - at >= 12) {
        std::uint32_t length = be32(data + at);
        if (length > size - at - 12)
            break;
        unsigned char* crc_at = data + at + 8 + length;
        std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, data + at + 4, length + 4));
        if (be32(crc_at) != crc) {
            crc_at[0] = static_cast<unsigned char>(crc >> 24);
            crc_at[1] = static_cast<unsigned char>(crc >> 16);
            crc_at[2] = static_cast<unsigned char>(crc >> 8);
            crc_at[3] = static_cast<unsigned char>(crc);
            changed = true;
        }
        at += 12 + length;
    }
    return changed;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    import_once(data, size);
    if (size < 8)
        return 0;
    unsigned char* copy = static_cast<unsigned char*>(std::malloc(size));
    std::memcpy(copy, data, size);
    if (fix_checksums(copy, size))
        import_once(copy, size);
    std::free(copy);
    return 0;
}
