// PNGs made in memory for the asset builder's tests, with libpng's own writer, so the inputs
// to the import are built independently of the code under test.
#pragma once

#include <cstdint>
#include <vector>

struct PngSpec {
    int width;
    int height;
    int colour_type; // PNG_COLOR_TYPE_*
    int bit_depth;
    std::vector<std::uint8_t> rows;    // packed rows as libpng expects them, top first
    std::vector<std::uint8_t> palette; // R, G, B triples for palette pictures
    std::vector<std::uint8_t> trns;    // alpha per palette entry
};

// Encodes the picture; empty on a libpng error.
std::vector<unsigned char> png_bytes(const PngSpec& spec);

// An 8-bit RGBA picture from 0xAARRGGBB words (alpha in the top byte, as the show's key byte).
std::vector<unsigned char> png_bytes_rgba(int width, int height,
                                          const std::vector<std::uint32_t>& argb);
