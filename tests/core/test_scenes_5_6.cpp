// Scenes 5 and 6 through the pass function on a scripted clock, with small controlled assets and
// tables: textures whose texels hold their own index, panels and pictures of one colour, a few
// keyed pixels placed where a rule says they land. Expected words are worked out by hand.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "core/core.h"
#include "tests/support/show_fixture.h"
#include "tests/support/test_support.h"

namespace {

constexpr int CENTRE = 120 * FRAME_W + 160; // 38,560

std::vector<Pixel> own_index_texture() {
    std::vector<Pixel> t(TEX_PIXELS);
    for (std::uint32_t j = 0; j < TEX_PIXELS; j++)
        t[j] = j;
    return t;
}

// Controlled tables: no wobble, every polar entry 0, so the tunnel reads one texel.
void flat_tables(ShowState& s) {
    for (int u = 0; u < WOBBLE_USED; u++)
        s.wobble[u] = 0;
    for (int i = 0; i < FRAME_PIXELS; i++)
        s.polar_angle_b[i] = s.polar_depth_b[i] = 0;
}

void set_orbits(ShowState& s, int k, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                std::int32_t y2, std::int32_t x3, std::int32_t y3) {
    s.orbit1_x[k] = x1, s.orbit1_y[k] = y1;
    s.orbit2_x[k] = x2, s.orbit2_y[k] = y2;
    s.orbit3_x[k] = x3, s.orbit3_y[k] = y3;
}

// Scene 5 with the own-index texture, an unkeyed tunnel texture and an empty strip.
AssetRecords scene_5_records() {
    AssetRecords r = default_asset_records(0);
    r[ASSET_LAYER0] = own_index_texture();
    return r;
}

// Texel (row, column) of the own-index texture.
Pixel texel(std::uint32_t row, std::uint32_t column) { return row * 256 + column; }

// ---- Scene 5 ----

TEST(Scene5, FirstFrameTilesTheTextureWobbledByTheTableOnBothAxes) {
    TestShow show(scene_5_records());
    ASSERT_TRUE(show.ok);
    flat_tables(show.s());
    ShowState& s = show.s();
    s.wobble[2] = -5;   // column or row 2 reads 253
    s.wobble[10] = 3;   // 10 reads 13
    s.wobble[255] = 29; // 255 reads 28 (284 & 255)
    show.pass(500, 14);

    EXPECT_EQ(s.scene_index, 4);
    EXPECT_EQ(s.scene_started, 5);
    EXPECT_EQ(s.strip_offset, 0);
    EXPECT_EQ(s.polar_offset, 0);
    EXPECT_EQ(s.last_tick, 500);

    EXPECT_EQ(show.px(0, 0), texel(0, 0));
    EXPECT_EQ(show.px(2, 0), texel(0, 253));
    EXPECT_EQ(show.px(258, 0), texel(0, 253)); // columns 256.. repeat columns 0..
    EXPECT_EQ(show.px(2, 10), texel(13, 253));
    EXPECT_EQ(show.px(10, 2), texel(253, 13));
    EXPECT_EQ(show.px(255, 7), texel(7, 28));
    EXPECT_EQ(show.px(319, 239), texel(239, 63));
    // work holds all 256 rows of the wobbled texture, the 16 the frame does not show included.
    EXPECT_EQ(s.work[255 * 256 + 255], texel(28, 28));
    EXPECT_EQ(s.work[255 * 256 + 2], texel(28, 253));
    EXPECT_EQ(s.work[240 * 256 + 10], texel(240, 13));

    int wrong = 0;
    for (int y = 0; y < FRAME_H; y++)
        for (int x = 0; x < FRAME_W; x++) {
            std::uint32_t c = x & 255;
            std::uint32_t row = (y + s.wobble[y]) & 255, column = (c + s.wobble[c]) & 255;
            wrong += show.px(x, y) != texel(row, column);
        }
    EXPECT_EQ(wrong, 0);
}

// After 100 ticks: polar_offset 100, strip_offset 300. Every polar entry is 0 except where set,
// so the tunnel reads texel 257 * 100 = 25,700 almost everywhere, which equals KEY_LOW.
TEST(Scene5, TunnelAndStripAreKeyedOverTheTextureAfterTicks) {
    AssetRecords r = scene_5_records();
    std::vector<Pixel>& tunnel = r[ASSET_SCENE5_TUNNEL];
    std::vector<Pixel>& strip = r[ASSET_SCENE5_STRIP];
    tunnel[25700] = KEY_LOW;                 // equal to the key: never drawn
    tunnel[28460] = 0xFF555556u;             // angle 200, depth 10, offset 100: row 111, column 44
    tunnel[25707] = 0xFF600000u;             // the centre: angle 7, depth INT32_MIN
    tunnel[25701] = 0xFF700000u;             // angle 1
    strip[7 * 3300 + 300 + 5] = 0xFFAAAAABu; // frame row 100, column 5
    strip[7 * 3300 + 300 + 4] = KEY_HIGH;    // equal: not drawn
    strip[300] = 0xFFBBBBBBu;                // frame (0, 93)
    strip[301] = 0xFFBBBBBCu;                // frame (1, 93), over a tunnel pixel
    strip[302] = 0xFEFFFFFFu;                // key byte below 0xFF: never drawn
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    flat_tables(show.s());
    ShowState& s = show.s();
    s.polar_angle_b[at(5, 3)] = 200;
    s.polar_depth_b[at(5, 3)] = 10;
    s.polar_depth_b[CENTRE] = INT32_MIN; // times 256 wraps to 0 in the 16-bit index
    s.polar_angle_b[CENTRE] = 7;
    s.polar_angle_b[at(1, 93)] = 1;
    s.polar_angle_b[at(2, 93)] = 1;

    show.pass(0, 14);
    show.pass(100, 14); // draws at offset 0, then 100 steps
    EXPECT_EQ(s.polar_offset, 100);
    EXPECT_EQ(s.strip_offset, 300);
    show.pass(100, 14); // draws at the new offsets

    EXPECT_EQ(show.px(5, 3), 0xFF555556u);
    EXPECT_EQ(show.px(160, 120), 0xFF600000u);
    EXPECT_EQ(show.px(2, 93), 0xFF700000u); // tunnel; the strip pixel fails its key
    EXPECT_EQ(show.px(1, 93), 0xFFBBBBBCu); // the strip is drawn after the tunnel
    EXPECT_EQ(show.px(0, 93), 0xFFBBBBBBu);
    EXPECT_EQ(show.px(5, 100), 0xFFAAAAABu);
    EXPECT_EQ(show.px(4, 100), texel(100, 4));
    EXPECT_EQ(show.px(6, 3), texel(3, 6));
    int keyed = 0;
    for (int i = 0; i < FRAME_PIXELS; i++)
        keyed += show.sh.s.frame[i] >> 24 == 0xFF;
    EXPECT_EQ(keyed, 6);
}

struct Scene5StepCase {
    std::int32_t enter_tick, tick;
    std::int32_t polar_offset, strip_offset, rotation;
};

class Scene5Steps : public ::testing::TestWithParam<Scene5StepCase> {};

// wobble[u] = (u mod 16) - 8 before the scene; after n steps entry i holds that of i + n.
TEST_P(Scene5Steps, EachElapsedTickIsOneStep) {
    const Scene5StepCase& c = GetParam();
    TestShow show(scene_5_records());
    ASSERT_TRUE(show.ok);
    flat_tables(show.s());
    ShowState& s = show.s();
    for (int u = 0; u < WOBBLE_USED; u++)
        s.wobble[u] = u % 16 - 8;
    show.pass(c.enter_tick, 14);
    show.pass(c.tick, 14);
    EXPECT_EQ(s.polar_offset, c.polar_offset);
    EXPECT_EQ(s.strip_offset, c.strip_offset);
    EXPECT_EQ(s.last_tick, c.tick);
    for (int u = 0; u < WOBBLE_USED; u++)
        ASSERT_EQ(s.wobble[u], (u + c.rotation) % 256 % 16 - 8) << "entry " << u;
    // The next frame reads the turned table: (0, 0) shows row and column wobble[0] & 255.
    show.pass(c.tick, 14);
    std::uint32_t w = static_cast<std::uint32_t>(s.wobble[0]) & 255;
    EXPECT_EQ(show.px(0, 0), texel(w, w));
}

INSTANTIATE_TEST_SUITE_P(
    Ticks, Scene5Steps,
    ::testing::Values(Scene5StepCase{40, 40, 0, 0, 0}, // same tick: nothing moves
                      Scene5StepCase{40, 41, 1, 3, 1},
                      Scene5StepCase{40, 45, 5, 15, 5},    // a stall of 5: all applied at once
                      Scene5StepCase{40, 30, 0, 0, 0},     // the clock going back: no step
                      Scene5StepCase{0, 256, 256, 768, 0}, // the table is back in order
                      Scene5StepCase{0, 1000, 1000, 2982, 1000 % 256}, // strip capped
                      // The clock word wraps: 4 ticks from INT32_MAX - 1.
                      Scene5StepCase{INT32_MAX - 1, INT32_MIN + 2, 4, 12, 4}));

TEST(Scene5, StripDrawsAt2979AndStopsAt2982) {
    AssetRecords r = scene_5_records();
    std::vector<Pixel>& strip = r[ASSET_SCENE5_STRIP];
    strip[2979] = 0xFFFFFFF0u;                   // strip row 0, first column of the last window
    strip[2979 + 319] = 0xFFFFFFF1u;             // its last column
    strip[54 * 3300 + 2979 + 319] = 0xFFFFFFF2u; // last row, last column read: Pixel 181,498
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    flat_tables(show.s());
    ShowState& s = show.s();

    show.pass(0, 14);
    show.pass(993, 14);
    ASSERT_EQ(s.strip_offset, 2979);
    show.pass(993, 14);
    EXPECT_EQ(show.px(0, 93), 0xFFFFFFF0u);
    EXPECT_EQ(show.px(319, 93), 0xFFFFFFF1u);
    EXPECT_EQ(show.px(319, 147), 0xFFFFFFF2u);

    show.pass(994, 14); // still draws at 2979, then the last step
    EXPECT_EQ(s.strip_offset, 2982);
    EXPECT_EQ(show.px(0, 93), 0xFFFFFFF0u);
    for (std::int32_t tick : {994, 995, 5000}) {
        show.pass(tick, 14);
        EXPECT_EQ(s.strip_offset, 2982);
        EXPECT_EQ(show.px(0, 93), texel(93, 0)) << "tick " << tick;
        EXPECT_EQ(show.px(319, 147), texel(147, 63)) << "tick " << tick;
    }
}

// polar_offset is never wrapped; past 2^31 steps the index still only needs it modulo 65,536.
TEST(Scene5, PolarOffsetRunsOnPastTheTopOfItsWord) {
    AssetRecords r = scene_5_records();
    // 257 * 2^31 is 0 modulo 65,536, so at offset INT32_MIN the polar index is the angle.
    r[ASSET_SCENE5_TUNNEL][9] = 0xFF600001u;
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    flat_tables(show.s());
    ShowState& s = show.s();
    s.polar_angle_b[at(7, 7)] = 9;
    show.pass(0, 14);
    s.polar_offset = INT32_MAX;
    show.pass(1, 14);
    EXPECT_EQ(s.polar_offset, INT32_MIN);
    show.pass(1, 14);
    EXPECT_EQ(show.px(7, 7), 0xFF600001u);
}

// Scene 3 turns the table once per tick and Scene 5 goes on from where it was left.
TEST(Scene5, StartsFromTheRotationScene3Left) {
    TestShow show(scene_5_records());
    ASSERT_TRUE(show.ok);
    flat_tables(show.s());
    ShowState& s = show.s();
    for (int u = 0; u < WOBBLE_USED; u++)
        s.wobble[u] = u % 16 - 8;
    show.pass(0, 10); // Scene 3
    show.pass(7, 10); // 7 turns
    show.pass(7, 12); // Scene 4 leaves the table alone
    show.pass(20, 12);
    show.pass(20, 14); // Scene 5's first frame
    ASSERT_EQ(s.scene_index, 4);
    EXPECT_EQ(s.wobble[0], -1); // entry 7 of the original
    EXPECT_EQ(show.px(0, 0), texel(255, 255));
    EXPECT_EQ(show.px(1, 0), texel(255, 1)); // column 1 + (8 - 8)
}

TEST(Scene5, LeavesAfterPosition17AndScene6DrawsInTheSamePass) {
    AssetRecords r = scene_5_records();
    // Scene 6's picture; the panel is black.
    r[ASSET_SCENE6_PICTURE].assign(FRAME_PIXELS, 0xFF123456u);
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    flat_tables(show.s());
    ShowState& s = show.s();
    show.pass(0, 14);
    show.pass(0, 17);
    EXPECT_EQ(s.scene_index, 4);
    EXPECT_EQ(show.px(3, 3), texel(3, 3));
    show.pass(0, 18);
    EXPECT_EQ(s.scene_index, 5);
    EXPECT_EQ(s.scene_started, 6);
    for (int i = 0; i < FRAME_PIXELS; i++)
        ASSERT_EQ(show.sh.s.frame[i], 0x00123456u) << "word " << i;
}

// ---- Scene 6 ----

// Panel texel (r, c) holds r in green and c in blue under a full key byte.
AssetRecords scene_6_records(Pixel picture) {
    AssetRecords r = default_asset_records(0);
    for (std::uint32_t j = 0; j < TEX_PIXELS; j++)
        r[ASSET_SCENE3_LIGHT_MAP][j] = 0xFF000000u | j;
    r[ASSET_SCENE6_PICTURE].assign(FRAME_PIXELS, picture);
    return r;
}

// Three panels, each clipped to a corner, none overlapping: panel 1 at (-250, -230) shows
// columns 251..255 and rows 231..255 at frame (1..5, 1..25); panel 2 at (313, -230) columns
// 0..5 at (313..318, 1..25); panel 3 at (-250, 233) rows 0..5 at (1..5, 233..238).
TEST(Scene6, FirstFrameShowsClippedPanelsWithTheirKeyByteDropped) {
    TestShow show(scene_6_records(0));
    ASSERT_TRUE(show.ok);
    set_orbits(show.s(), 0, -250, -230, 313, -230, -250, 233);
    ShowState& s = show.s();
    s.orbit_index = 77; // set-up resets it
    show.pass(300, 18);

    EXPECT_EQ(s.scene_index, 5);
    EXPECT_EQ(s.scene_started, 6);
    EXPECT_EQ(s.orbit_index, 0);
    EXPECT_EQ(s.last_tick, 300);

    EXPECT_EQ(show.px(1, 1), 0x0000E7FBu);   // r 231, c 251
    EXPECT_EQ(show.px(5, 25), 0x0000FFFFu);  // r 255, c 255
    EXPECT_EQ(show.px(6, 1), 0u);            // past the panel's last column
    EXPECT_EQ(show.px(1, 26), 0u);           // past its last row
    EXPECT_EQ(show.px(0, 1), 0u);            // column 0 is clipped (c 250 would land there)
    EXPECT_EQ(show.px(1, 0), 0u);            // row 0 is clipped
    EXPECT_EQ(show.px(313, 1), 0x0000E700u); // panel 2, c 0
    EXPECT_EQ(show.px(318, 25), 0x0000FF05u);
    EXPECT_EQ(show.px(319, 1), 0u);          // column 319 is clipped
    EXPECT_EQ(show.px(1, 233), 0x000000FBu); // panel 3, r 0
    EXPECT_EQ(show.px(5, 238), 0x000005FFu);
    EXPECT_EQ(show.px(1, 239), 0u); // row 239 is clipped
    int drawn = 0;
    for (int i = 0; i < FRAME_PIXELS; i++)
        drawn += show.sh.s.frame[i] != 0;
    EXPECT_EQ(drawn, 5 * 25 + 6 * 25 + 5 * 6);
}

struct OverlapCase {
    Pixel panel;
    Pixel one, two, three; // the frame where one, two or three panels lie
};

class Scene6Overlap : public ::testing::TestWithParam<OverlapCase> {};

// Panel 1 at (0, 0) covers columns 1..255, panel 2 at (100, 0) columns 100..318, panel 3 at
// (200, 100) columns 200..318 from row 100; the picture 0x00010203 lies under all of them.
TEST_P(Scene6Overlap, ChannelsAddAndCapAt255) {
    const OverlapCase& c = GetParam();
    AssetRecords r = default_asset_records(0);
    r[ASSET_SCENE3_LIGHT_MAP].assign(TEX_PIXELS, c.panel);
    r[ASSET_SCENE6_PICTURE].assign(FRAME_PIXELS, 0xFF010203u);
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    set_orbits(show.s(), 0, 0, 0, 100, 0, 200, 100);
    show.pass(0, 18);

    EXPECT_EQ(show.px(0, 0), 0x00010203u); // the border: picture only, key byte dropped
    EXPECT_EQ(show.px(319, 150), 0x00010203u);
    EXPECT_EQ(show.px(160, 239), 0x00010203u);
    EXPECT_EQ(show.px(50, 50), c.one);
    EXPECT_EQ(show.px(255, 99), c.two);
    EXPECT_EQ(show.px(150, 50), c.two);
    EXPECT_EQ(show.px(260, 150), c.two); // panels 2 and 3; panel 1 ends at column 255
    EXPECT_EQ(show.px(220, 150), c.three);
    EXPECT_EQ(show.px(255, 238), c.three);
    EXPECT_EQ(show.px(256, 238), c.two);
    // work holds the finished frame
    for (int i = 0; i < FRAME_PIXELS; i++)
        ASSERT_EQ(show.s().work[i], show.sh.s.frame[i]) << "word " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Panels, Scene6Overlap,
    ::testing::Values(OverlapCase{0xFF404040u, 0x00414243u, 0x00818283u, 0x00C1C2C3u},
                      // red 0x60*3 + 1 caps, green 0x50*3 + 2 = 0xF2, blue 0x40*3 + 3 = 0xC3
                      OverlapCase{0xFF605040u, 0x00615243u, 0x00C1A283u, 0x00FFF2C3u},
                      // each channel apart: a full blue never carries into green
                      OverlapCase{0x000000FFu, 0x000102FFu, 0x000102FFu, 0x000102FFu},
                      OverlapCase{0xFFFFFFFFu, 0x00FFFFFFu, 0x00FFFFFFu, 0x00FFFFFFu}));

struct ClipCase {
    std::int32_t ox, oy;
    int drawn; // panel pixels in the frame
};

class Scene6Clip : public ::testing::TestWithParam<ClipCase> {};

// One panel on a black picture (the other two far away): only rows 1..238 and columns 1..318
// are ever written, and the count of drawn pixels is the clipped panel's area.
TEST_P(Scene6Clip, NoPanelPixelLandsOnTheBorderOrOutside) {
    const ClipCase& c = GetParam();
    AssetRecords r = default_asset_records(0);
    r[ASSET_SCENE3_LIGHT_MAP].assign(TEX_PIXELS, 0x00808080u);
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    set_orbits(show.s(), 0, c.ox, c.oy, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
    show.pass(0, 18);
    int drawn = 0, border = 0;
    for (int y = 0; y < FRAME_H; y++)
        for (int x = 0; x < FRAME_W; x++) {
            bool lit = show.px(x, y) != 0;
            drawn += lit;
            border += lit && (x == 0 || x == FRAME_W - 1 || y == 0 || y == FRAME_H - 1);
        }
    EXPECT_EQ(drawn, c.drawn);
    EXPECT_EQ(border, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Origins, Scene6Clip,
    ::testing::Values(ClipCase{0, 0, 255 * 238},     // columns 1..255, rows 1..238
                      ClipCase{-10, -30, 245 * 225}, // columns 1..245, rows 1..225
                      ClipCase{-254, -254, 1 * 1},   // just the panel's last texel, at (1, 1)
                      ClipCase{-255, 0, 0},          // its last column would be column 0
                      ClipCase{318, 0, 1 * 238},     // its first column, at 318
                      ClipCase{319, 0, 0},           // its first column would be 319
                      ClipCase{317, 237, 2 * 2},     // columns 317..318, rows 237..238
                      ClipCase{238, 238, 81 * 1},    // columns 238..318, row 238
                      ClipCase{0, 239, 0},
                      ClipCase{100, 100, 219 * 139}, // columns 100..318, rows 100..238
                      ClipCase{INT32_MIN, INT32_MIN, 0}, ClipCase{INT32_MAX, -100, 0}));

// orbit index k puts panel 1 at (k, 1); the other two stay off the frame.
TEST(Scene6, OrbitIndexStepsOncePerTickAndWrapsAfter359) {
    AssetRecords r = default_asset_records(0);
    r[ASSET_SCENE3_LIGHT_MAP].assign(TEX_PIXELS, 0x00808080u);
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    for (int k = 0; k < PATH_LEN; k++)
        set_orbits(show.s(), k, -1000 + k, 1, -1000, -1000, -1000, -1000);
    set_orbits(show.s(), 5, 10, 1, -1000, -1000, -1000, -1000);
    ShowState& s = show.s();
    show.pass(0, 18);
    struct {
        std::int32_t tick, index;
    } steps[] = {{0, 0}, {1, 1}, {359, 359}, {360, 0}, {360, 0}, {365, 5}, {365 + 3600, 5}};
    for (const auto& st : steps) {
        show.pass(st.tick, 18);
        EXPECT_EQ(s.orbit_index, st.index) << "tick " << st.tick;
        EXPECT_EQ(s.last_tick, st.tick);
    }
    // The frame is drawn before the steps: the last pass drew with index 5, which the pass
    // before it had reached.
    EXPECT_EQ(show.px(10, 1), 0x00808080u);
    EXPECT_EQ(show.px(9, 1), 0u);
}

TEST(Scene6, LeavesAfterPosition20AndScene7DrawsInTheSamePass) {
    AssetRecords r = scene_6_records(0);
    r[ASSET_SCENE7_BACKGROUND].assign(FRAME_PIXELS, 0x00ABCDEFu); // Scene 7's background
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    set_orbits(show.s(), 0, 0, 0, 0, 0, 0, 0);
    ShowState& s = show.s();
    show.pass(0, 18);
    show.pass(0, 20);
    EXPECT_EQ(s.scene_index, 5);
    EXPECT_NE(show.px(100, 100), 0x00ABCDEFu);
    show.pass(0, 21);
    EXPECT_EQ(s.scene_index, 6);
    EXPECT_EQ(s.scene_started, 7);
    for (int i = 0; i < FRAME_PIXELS; i++)
        ASSERT_EQ(show.sh.s.frame[i], 0x00ABCDEFu) << "word " << i;
}

} // namespace
