// The scan-out: the largest whole scale factor that fits, the picture centred on black, channel
// placement, lines with padding, and the thread's frames reaching a stand-in framebuffer.
#include <gtest/gtest.h>

#include <cstring>

#include "display/svga/fbdev.h"
#include "display/svga/vga.h"
#include "tests/display/svga/standin.h"

namespace {

FbGeometry xrgb_geometry(std::uint32_t width, std::uint32_t height, std::uint32_t line_bytes = 0) {
    FbGeometry g{};
    g.width_px = width;
    g.height_px = height;
    g.bits_per_pixel = 32;
    g.line_bytes = line_bytes ? line_bytes : width * 4;
    g.red_offset = 16;
    g.green_offset = 8;
    g.blue_offset = 0;
    g.red_length = g.green_length = g.blue_length = 8;
    g.memory_bytes = std::size_t{g.line_bytes} * height;
    return g;
}

struct PlanCase {
    std::uint32_t width, height;
    std::uint32_t scale, left_px, top_px;
};

// Worked by hand: scale = min(width / 320, height / 240); each border is half the spare
// pixels, truncated.
const PlanCase PLAN_CASES[] = {
    {320, 240, 1, 0, 0},      {330, 250, 1, 5, 5},     {641, 480, 2, 0, 0},
    {700, 500, 2, 30, 10},    {1024, 768, 3, 32, 24},  {1280, 1024, 4, 0, 32},
    {1920, 1080, 4, 320, 60}, {2560, 1440, 6, 320, 0}, {640, 1200, 2, 0, 360},
};

class ScanoutPlanCase : public ::testing::TestWithParam<PlanCase> {};

TEST_P(ScanoutPlanCase, LargestWholeFactorCentred) {
    const PlanCase& c = GetParam();
    ScanoutPlan plan = fb_plan_scanout(xrgb_geometry(c.width, c.height));
    EXPECT_EQ(plan.scale, c.scale);
    EXPECT_EQ(plan.left_px, c.left_px);
    EXPECT_EQ(plan.top_px, c.top_px);
    EXPECT_TRUE(plan.pixel_layout);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ScanoutPlanCase, ::testing::ValuesIn(PLAN_CASES));

// Mode memory where every pixel tells its place: red bit 7 set so that no pixel is black,
// y in bits 12-19, x in bits 0-8, and a key byte that the scan-out must drop.
std::uint32_t source_pixel(std::uint32_t x, std::uint32_t y) {
    return 0xAB000000u | 0x00800000u | y << 12 | x;
}

std::vector<std::uint32_t> source_frame() {
    std::vector<std::uint32_t> src(MODE_W * MODE_H);
    for (std::uint32_t y = 0; y < MODE_H; y++)
        for (std::uint32_t x = 0; x < MODE_W; x++)
            src[y * MODE_W + x] = source_pixel(x, y);
    return src;
}

std::uint32_t word_at(const std::vector<std::uint8_t>& fb, const FbGeometry& g, std::uint32_t x,
                      std::uint32_t y) {
    std::uint32_t w;
    std::memcpy(&w, fb.data() + g.visible_offset_bytes + std::size_t{y} * g.line_bytes + x * 4, 4);
    return w;
}

std::vector<std::uint8_t> scan_once(const FbGeometry& g, unsigned char fill) {
    std::vector<std::uint8_t> fb(g.memory_bytes, fill);
    ScanoutPlan plan = fb_plan_scanout(g);
    std::vector<std::uint32_t> row(MODE_W * plan.scale);
    std::vector<std::uint32_t> src = source_frame();
    fb_clear(fb.data(), g);
    fb_scan_out(src.data(), fb.data(), g, plan, row.data());
    return fb;
}

struct PixelCase {
    std::uint32_t x, y;
    std::uint32_t expected;
};

// 700x500: scale 2, picture at x 30..669, y 10..489.
const PixelCase PIXELS_700x500[] = {
    {0, 0, 0},
    {29, 10, 0},
    {30, 9, 0},
    {30, 10, 0x800000},
    {31, 11, 0x800000},
    {32, 10, 0x800001},
    {30, 12, 0x801000},
    {33, 13, 0x801001},
    {669, 489, 0x8EF13F},
    {668, 488, 0x8EF13F},
    {670, 489, 0},
    {669, 490, 0},
    {699, 499, 0},
    {349, 249, 0x87709F},
};

TEST(ScanOut, ScaledByTwoAndCentredOnBlackAt700x500) {
    FbGeometry g = xrgb_geometry(700, 500);
    std::vector<std::uint8_t> fb = scan_once(g, 0x5A);
    for (const PixelCase& c : PIXELS_700x500)
        EXPECT_EQ(word_at(fb, g, c.x, c.y), c.expected) << "at " << c.x << "," << c.y;
}

// Every framebuffer pixel is its source pixel (without key byte) inside the picture, and black
// outside it.
TEST(ScanOut, EveryPixelAt1024x768) {
    FbGeometry g = xrgb_geometry(1024, 768);
    std::vector<std::uint8_t> fb = scan_once(g, 0x5A);
    std::uint32_t wrong = 0;
    for (std::uint32_t y = 0; y < 768; y++) {
        for (std::uint32_t x = 0; x < 1024; x++) {
            bool inside = x >= 32 && x < 32 + 960 && y >= 24 && y < 24 + 720;
            std::uint32_t expected =
                inside ? source_pixel((x - 32) / 3, (y - 24) / 3) & 0x00FFFFFFu : 0;
            wrong += word_at(fb, g, x, y) != expected;
        }
    }
    EXPECT_EQ(wrong, 0u);
}

TEST(ScanOut, ScaleOneIsACopyWithoutKeyByte) {
    FbGeometry g = xrgb_geometry(320, 240);
    std::vector<std::uint8_t> fb = scan_once(g, 0x5A);
    EXPECT_EQ(word_at(fb, g, 0, 0), 0x800000u);
    EXPECT_EQ(word_at(fb, g, 319, 0), 0x80013Fu);
    EXPECT_EQ(word_at(fb, g, 0, 239), 0x8EF000u);
    EXPECT_EQ(word_at(fb, g, 5, 7), 0x807005u);
}

// Lines longer than the visible width and a visible area panned down by two lines: nothing
// outside the visible area is written, not even by the clear.
TEST(ScanOut, KeepsToTheVisibleAreaOfPaddedPannedMemory) {
    FbGeometry g = xrgb_geometry(330, 250, 1400);
    g.visible_offset_bytes = 2 * 1400;
    g.memory_bytes = std::size_t{1400} * 254;
    std::vector<std::uint8_t> fb = scan_once(g, 0x5A);
    // Rows above the visible area, and the padding after each visible row (bytes 1320..1399).
    for (std::size_t i = 0; i < 2 * 1400; i++)
        ASSERT_EQ(fb[i], 0x5A) << i;
    for (std::uint32_t y = 0; y < 250; y++)
        for (std::size_t i = 1320; i < 1400; i++)
            ASSERT_EQ(fb[g.visible_offset_bytes + y * std::size_t{1400} + i], 0x5A) << y;
    for (std::size_t i = g.visible_offset_bytes + 250 * std::size_t{1400}; i < fb.size(); i++)
        ASSERT_EQ(fb[i], 0x5A) << i;
    // Scale 1, borders of 5: source (0, 0) at (5, 5), (319, 239) at (324, 244).
    EXPECT_EQ(word_at(fb, g, 4, 5), 0u);
    EXPECT_EQ(word_at(fb, g, 5, 5), 0x800000u);
    EXPECT_EQ(word_at(fb, g, 324, 244), 0x8EF13Fu);
    EXPECT_EQ(word_at(fb, g, 325, 244), 0u);
    EXPECT_EQ(word_at(fb, g, 324, 245), 0u);
}

struct LayoutCase {
    const char* name;
    std::uint32_t red_offset, green_offset, blue_offset;
    std::uint32_t expected; // of source word 0xAB123456 (red 12, green 34, blue 56)
};

const LayoutCase LAYOUT_CASES[] = {
    {"xrgb", 16, 8, 0, 0x00123456},
    {"xbgr", 0, 8, 16, 0x00563412},
    {"rgbx", 24, 16, 8, 0x12345600},
    {"bgrx", 8, 16, 24, 0x56341200},
};

class ChannelLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ChannelLayout, ChannelsGoWhereTheFramebufferWantsThem) {
    const LayoutCase& c = GetParam();
    FbGeometry g = xrgb_geometry(320, 240);
    g.red_offset = c.red_offset;
    g.green_offset = c.green_offset;
    g.blue_offset = c.blue_offset;
    ASSERT_TRUE(fb_fits_mode54(g));
    std::vector<std::uint8_t> fb(g.memory_bytes, 0x5A);
    ScanoutPlan plan = fb_plan_scanout(g);
    EXPECT_EQ(plan.pixel_layout, c.red_offset == 16 && c.green_offset == 8 && c.blue_offset == 0);
    std::vector<std::uint32_t> row(MODE_W);
    std::vector<std::uint32_t> src(MODE_W * MODE_H, 0xAB123456u);
    fb_scan_out(src.data(), fb.data(), g, plan, row.data());
    EXPECT_EQ(word_at(fb, g, 0, 0), c.expected);
    EXPECT_EQ(word_at(fb, g, 319, 239), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Layouts, ChannelLayout, ::testing::ValuesIn(LAYOUT_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ChannelLayout, FiveBitChannelsAreRefused) {
    FbGeometry g = xrgb_geometry(640, 480);
    g.red_length = g.blue_length = 5;
    g.green_length = 6;
    EXPECT_FALSE(fb_fits_mode54(g));
}

// Mode 54 through the library: the scan-out thread shows what is written to video memory on
// the stand-in, scaled and centred, with the borders blackened; TEXT clears the screen.
TEST(ScanOutThread, VideoMemoryReachesTheStandInAndTextClearsIt) {
    StandIn s = make_standin(700, 500, 32, 0x5A);
    PtyStdin in = pty_stdin();
    ASSERT_EQ(vga_init(), 0);
    ASSERT_EQ(vga_setmode(G320x240x16M32), 0);
    vga_setlinearaddressing();
    auto* memory = reinterpret_cast<std::uint32_t*>(vga_getgraphmem());
    ASSERT_NE(memory, nullptr);
    std::vector<std::uint32_t> src = source_frame();
    std::memcpy(memory, src.data(), MODE_BYTES);

    // Waits for a whole frame scanned after the copy (one scan may overlap it).
    auto wrong_pixels = [&](const std::vector<unsigned char>& fb) {
        std::uint32_t wrong = 0;
        for (std::uint32_t y = 0; y < 500; y++) {
            for (std::uint32_t x = 0; x < 700; x++) {
                bool inside = x >= 30 && x < 670 && y >= 10 && y < 490;
                std::uint32_t expected =
                    inside ? source_pixel((x - 30) / 2, (y - 10) / 2) & 0x00FFFFFFu : 0;
                wrong += standin_pixel(s, fb, x, y) != expected;
            }
        }
        return wrong;
    };
    std::vector<unsigned char> fb = wait_for_standin(
        s, [&](const std::vector<unsigned char>& b) { return wrong_pixels(b) == 0; });
    std::uint32_t wrong = wrong_pixels(fb);
    EXPECT_EQ(wrong, 0u);

    ASSERT_EQ(vga_setmode(TEXT), 0);
    restore_stdin(&in);
    EXPECT_EQ(read_standin_bytes(s), std::vector<unsigned char>(700 * 500 * 4, 0));
}

} // namespace
