// The PNG import on small hand-made PNGs: every colour type becomes 0xAARRGGBB words with alpha
// as the key byte (opaque 0xFF when the PNG has no alpha), and malformed input is refused with a
// reason instead of crashing.
#include <png.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "lib/pictures/png_import.h"
#include "tests/tools/quab-assets/png_bytes.h"

namespace {

struct Imported {
    bool ok;
    int width;
    int height;
    std::vector<Pixel> pixels;
    std::string error;
};

Imported import(const std::vector<unsigned char>& bytes) {
    PngImage image;
    Imported r;
    Result imported = png_import(bytes.data(), bytes.size(), &image);
    r.ok = imported.ok;
    r.width = image.width;
    r.height = image.height;
    if (image.pixels)
        r.pixels.assign(image.pixels, image.pixels + static_cast<std::size_t>(image.width) *
                                                         static_cast<std::size_t>(image.height));
    std::free(image.pixels);
    r.error = imported.reason;
    return r;
}

struct FormatCase {
    const char* name;
    PngSpec spec;
    std::vector<Pixel> expected;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class ImportFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ImportFormats, GivesKeyByteFromAlphaAndChannelsInPlace) {
    const FormatCase& c = GetParam();
    std::vector<unsigned char> bytes = png_bytes(c.spec);
    ASSERT_FALSE(bytes.empty());
    Imported r = import(bytes);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.width, c.spec.width);
    EXPECT_EQ(r.height, c.spec.height);
    ASSERT_EQ(r.pixels.size(), c.expected.size());
    for (std::size_t i = 0; i < c.expected.size(); i++)
        EXPECT_EQ(r.pixels[i], c.expected[i]) << "pixel " << i;
}

INSTANTIATE_TEST_SUITE_P(
    AllColourTypes, ImportFormats,
    ::testing::Values(
        // No alpha in the file: every Pixel is opaque.
        FormatCase{"rgb",
                   {2, 1, PNG_COLOR_TYPE_RGB, 8, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66}, {}, {}},
                   {0xFF112233u, 0xFF445566u}},
        FormatCase{"rgba",
                   {2,
                    1,
                    PNG_COLOR_TYPE_RGB_ALPHA,
                    8,
                    {0x10, 0x20, 0x30, 0x80, 0xAB, 0xCD, 0xEF, 0x00},
                    {},
                    {}},
                   {0x80102030u, 0x00ABCDEFu}},
        FormatCase{"grey",
                   {1, 2, PNG_COLOR_TYPE_GRAY, 8, {0x7F, 0x00}, {}, {}},
                   {0xFF7F7F7Fu, 0xFF000000u}},
        FormatCase{"grey with alpha",
                   {1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {0x40, 0xC0}, {}, {}},
                   {0xC0404040u}},
        // 1-bit grey: the byte 0b10000000 holds pixels 1, 0 (high bit first), scaled to 0xFF.
        FormatCase{"grey 1 bit",
                   {2, 1, PNG_COLOR_TYPE_GRAY, 1, {0x80}, {}, {}},
                   {0xFFFFFFFFu, 0xFF000000u}},
        // 16-bit channels keep their high byte.
        FormatCase{"rgba 16 bit",
                   {1,
                    1,
                    PNG_COLOR_TYPE_RGB_ALPHA,
                    16,
                    {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xFF, 0xFF},
                    {},
                    {}},
                   {0xFF12569Au}},
        // Palette entries 1, 0; tRNS gives entry 0 alpha 0x20, entry 1 none (opaque).
        FormatCase{"palette with tRNS",
                   {2, 1, PNG_COLOR_TYPE_PALETTE, 8, {1, 0}, {1, 2, 3, 4, 5, 6}, {0x20}},
                   {0xFF040506u, 0x20010203u}}),
    [](const ::testing::TestParamInfo<FormatCase>& info) {
        std::string name = info.param.name;
        for (char& ch : name)
            if (ch == ' ')
                ch = '_';
        return name;
    });

std::vector<unsigned char> small_valid_png() {
    return png_bytes_rgba(4, 3, std::vector<std::uint32_t>(12, 0xFF336699u));
}

struct BadCase {
    const char* name;
    std::vector<unsigned char> bytes;
};

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }

class ImportRefuses : public ::testing::TestWithParam<BadCase> {};

TEST_P(ImportRefuses, WithAReasonAndNoPixels) {
    Imported r = import(GetParam().bytes);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.pixels.empty());
    EXPECT_FALSE(r.error.empty());
}

// The first keep bytes of a valid PNG (at least one byte short of the whole).
std::vector<unsigned char> truncated(std::size_t keep) {
    std::vector<unsigned char> b = small_valid_png();
    std::size_t n = keep < b.size() ? keep : b.size() / 2;
    return std::vector<unsigned char>(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
}

std::vector<unsigned char> corrupted_header() {
    std::vector<unsigned char> b = small_valid_png();
    b[20] ^= 0x40; // inside IHDR's data: its CRC no longer matches
    return b;
}

std::vector<unsigned char> signature_then_junk() {
    std::vector<unsigned char> b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (int i = 0; i < 64; i++)
        b.push_back(static_cast<unsigned char>(i * 37));
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, ImportRefuses,
    ::testing::Values(BadCase{"empty", {}},
                      BadCase{"text", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'}},
                      BadCase{"signature_only", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}},
                      BadCase{"signature_then_junk", signature_then_junk()},
                      BadCase{"cut_in_header", truncated(20)},
                      BadCase{"cut_in_data", truncated(small_valid_png().size() - 20)},
                      BadCase{"corrupted_header", corrupted_header()}),
    [](const ::testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

TEST(ImportLimits, RefusesAPictureWiderThanTheLimitBeforeDecoding) {
    PngSpec spec{PNG_IMPORT_MAX_SIDE + 1, 1, PNG_COLOR_TYPE_GRAY, 1, {}, {}, {}};
    spec.rows.assign((PNG_IMPORT_MAX_SIDE + 1 + 7) / 8, 0);
    std::vector<unsigned char> bytes = png_bytes(spec);
    ASSERT_FALSE(bytes.empty());
    Imported r = import(bytes);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.pixels.empty());
}

// 1-bit grey pictures of W x H: tiny files that announce large pictures.
Imported import_grey(int width, int height) {
    PngSpec spec{width, height, PNG_COLOR_TYPE_GRAY, 1, {}, {}, {}};
    spec.rows.assign(static_cast<std::size_t>((width + 7) / 8) * height, 0);
    std::vector<unsigned char> bytes = png_bytes(spec);
    EXPECT_FALSE(bytes.empty());
    return import(bytes);
}

TEST(ImportLimits, RefusesMorePixelsThanAnyAssetBeforeDecoding) {
    // 2049 x 2048 is one row of 2049 over 4 Mi Pixels; 2048 x 2048 is exactly the limit.
    Imported over = import_grey(2049, 2048);
    EXPECT_FALSE(over.ok);
    EXPECT_TRUE(over.pixels.empty());
    EXPECT_NE(std::string(over.error).find("too large"), std::string::npos) << over.error;
    Imported at = import_grey(2048, 2048);
    EXPECT_TRUE(at.ok) << at.error;
    EXPECT_EQ(at.pixels.size(), 2048u * 2048u);
}

TEST(ImportLimits, AcceptsTheLargestAssetShape) {
    std::vector<unsigned char> bytes =
        png_bytes_rgba(3300, 2, std::vector<std::uint32_t>(6600, 0x00000000u));
    Imported r = import(bytes);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.width, 3300);
    EXPECT_EQ(r.pixels[6599], 0x00000000u);
}

} // namespace
