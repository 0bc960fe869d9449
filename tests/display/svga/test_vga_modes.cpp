// The console library's device and modes: which framebuffer geometries offer mode 54, what
// vga_init accepts as a device, and the mode's description.
#include <gtest/gtest.h>

#include "display/svga/vga.h"
#include "tests/display/svga/standin.h"

namespace {

struct GeometryCase {
    const char* name;
    std::uint32_t width, height, bits, line_bytes;
    int has_mode54;
};

const GeometryCase GEOMETRY_CASES[] = {
    {"exact_320x240x32", 320, 240, 32, 0, 1},
    {"full_hd_32", 1920, 1080, 32, 0, 1},
    {"padded_lines_32", 640, 480, 32, 3000, 1},
    {"one_column_short", 319, 240, 32, 0, 0},
    {"one_row_short", 320, 239, 32, 0, 0},
    {"depth_16", 640, 480, 16, 0, 0},
    {"depth_24", 640, 480, 24, 0, 0},
    {"depth_8", 640, 480, 8, 0, 0},
    {"lines_shorter_than_a_row", 640, 480, 32, 2556, 0},
};

class ModeAvailability : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(ModeAvailability, Mode54OnlyOnLargeEnough32BitFramebuffers) {
    const GeometryCase& c = GetParam();
    make_standin(c.width, c.height, c.bits, 0, c.line_bytes);
    ASSERT_EQ(vga_init(), 0);
    EXPECT_EQ(vga_hasmode(G320x240x16M32), c.has_mode54);
    EXPECT_EQ(vga_hasmode(TEXT), 1);
}

INSTANTIATE_TEST_SUITE_P(Geometries, ModeAvailability, ::testing::ValuesIn(GEOMETRY_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ModeAvailability, NoOtherGraphicsMode) {
    make_standin(1024, 768, 32, 0);
    ASSERT_EQ(vga_init(), 0);
    EXPECT_EQ(vga_hasmode(53), 0);
    EXPECT_EQ(vga_hasmode(55), 0);
    EXPECT_EQ(vga_setmode(53), -1);
}

TEST(Init, FailsWithoutTheDevice) {
    setenv("VGA_FBDEV", (make_temp_dir() + "/no-such-fb").c_str(), 1);
    setenv("VGA_FBDEV_TEST_GEOMETRY", "640x480x32", 1);
    EXPECT_EQ(vga_init(), -1);
    EXPECT_EQ(vga_hasmode(G320x240x16M32), 0);
    EXPECT_EQ(vga_getmodeinfo(G320x240x16M32), nullptr);
}

// A file that is no framebuffer is accepted only with a geometry that parses.
const char* BAD_GEOMETRIES[] = {
    "",           "640x480",   "640x480x32,",  "x480x32",          "0x480x32", "640x480x32q",
    "640*480*32", "640x480x0", "70000x480x32", "640x480x32,2560,1"};

class BadGeometry : public ::testing::TestWithParam<const char*> {};

TEST_P(BadGeometry, InitRefusesTheFile) {
    make_standin(640, 480, 32, 0);
    setenv("VGA_FBDEV_TEST_GEOMETRY", GetParam(), 1);
    EXPECT_EQ(vga_init(), -1);
}

INSTANTIATE_TEST_SUITE_P(Texts, BadGeometry, ::testing::ValuesIn(BAD_GEOMETRIES));

TEST(Init, RefusesAFileWithoutGeometry) {
    make_standin(640, 480, 32, 0);
    unsetenv("VGA_FBDEV_TEST_GEOMETRY");
    EXPECT_EQ(vga_init(), -1);
}

TEST(ModeInfo, Mode54Is320x240With1280ByteLinesLinearCapable) {
    make_standin(640, 480, 32, 0);
    ASSERT_EQ(vga_init(), 0);
    const vga_modeinfo* info = vga_getmodeinfo(G320x240x16M32);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->width, 320);
    EXPECT_EQ(info->height, 240);
    EXPECT_EQ(info->bytesperpixel, 4);
    EXPECT_EQ(info->linewidth, 1280);
    EXPECT_EQ(info->colors, 16777216);
    EXPECT_EQ(info->flags & CAPABLE_LINEAR, CAPABLE_LINEAR);
    EXPECT_EQ(vga_getmodeinfo(TEXT), nullptr);
}

TEST(ModeInfo, NoVideoMemoryInTextMode) {
    make_standin(640, 480, 32, 0);
    ASSERT_EQ(vga_init(), 0);
    EXPECT_EQ(vga_getgraphmem(), nullptr);
    EXPECT_EQ(vga_setlinearaddressing(), -1);
    EXPECT_EQ(vga_setmode(TEXT), 0);
}

TEST(SetMode, FailsOnAStandInShorterThanItsGeometry) {
    StandIn s = make_standin(640, 480, 32, 0x5A, 0, 640 * 4 * 100);
    PtyStdin in = pty_stdin();
    ASSERT_EQ(vga_init(), 0);
    EXPECT_EQ(vga_hasmode(G320x240x16M32), 1);
    EXPECT_EQ(vga_setmode(G320x240x16M32), -1);
    EXPECT_EQ(vga_getgraphmem(), nullptr);
    restore_stdin(&in);
    std::vector<unsigned char> bytes = read_standin_bytes(s);
    EXPECT_EQ(bytes, std::vector<unsigned char>(640 * 4 * 100, 0x5A));
}

TEST(SetMode, LinearAddressingTurnsOnIsLinear) {
    make_standin(640, 480, 32, 0);
    PtyStdin in = pty_stdin();
    ASSERT_EQ(vga_init(), 0);
    ASSERT_EQ(vga_setmode(G320x240x16M32), 0);
    const vga_modeinfo* info = vga_getmodeinfo(G320x240x16M32);
    EXPECT_EQ(info->flags & IS_LINEAR, 0);
    EXPECT_EQ(vga_setlinearaddressing(), 307200);
    EXPECT_EQ(info->flags & IS_LINEAR, IS_LINEAR);
    EXPECT_NE(vga_getgraphmem(), nullptr);
    EXPECT_EQ(vga_setmode(TEXT), 0);
    EXPECT_EQ(vga_getgraphmem(), nullptr);
    restore_stdin(&in);
}

} // namespace
