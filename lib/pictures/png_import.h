// Decoding a PNG held in memory into Pixels for the asset builder: any colour type and depth
// libpng reads, alpha becoming the key byte (opaque = 0xFF). Kept apart so a fuzz target can
// feed it arbitrary bytes.
#pragma once

#include <cstddef>

#include "display/frame.h"
#include "lib/base/result.h"

// Larger pictures are refused before anything is allocated (the largest asset is 3300 wide).
constexpr int PNG_IMPORT_MAX_SIDE = 16384;
// No asset is larger than 960,000 Pixels; a header announcing more than this is refused before
// its picture is allocated.
constexpr std::uint32_t PNG_IMPORT_MAX_PIXELS = 4u << 20;
// A PNG file larger than this is refused before it is read whole: the largest picture, stored
// without compression, with its ancillary chunks at their limit, stays far below it.
constexpr std::size_t PNG_IMPORT_MAX_FILE_BYTES = 64u << 20;

struct PngImage {
    int width;
    int height;
    Pixel* pixels; // width * height Pixels, row-major, malloc'ed; the caller frees
};

// Decodes size bytes at data. On success fills *out; on a refusal leaves *out empty (pixels
// null) and says why in one line.
Result png_import(const unsigned char* data, std::size_t size, PngImage* out);
