// Scenes 3 and 4 and bump_patch, through the pass function on a scripted clock where the
// scenes are concerned. Assets are small controlled pictures (one colour, texels that hold
// their own coordinates, overlays with a few keyed pixels); expected words come by hand from
// the scenes' rules, patches from a direct painting of the patch rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/core.h"
#include "core/scenes.h"
#include "tests/support/show_fixture.h"
#include "tests/support/test_support.h"

namespace {

std::vector<Pixel> own_index_texture(Pixel key) {
    std::vector<Pixel> t(TEX_PIXELS);
    for (std::uint32_t j = 0; j < TEX_PIXELS; j++)
        t[j] = key | j; // blue: column, green: row
    return t;
}

// Per channel min(a + b, 255), key byte 0.
Pixel sat(Pixel a, Pixel b) {
    Pixel out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        std::uint32_t c = ((a >> shift) & 0xFF) + ((b >> shift) & 0xFF);
        out |= (c > 255 ? 255 : c) << shift;
    }
    return out;
}

// The patch over a flat height field: screen pixel (ox + px, oy + py), px and py in 1..254,
// gets light-map texel (px, py) when it lies in 1..318 x 1..238.
int paint_flat_patch(std::vector<Pixel>& buf, std::int64_t ox, std::int64_t oy,
                     const std::vector<Pixel>& light) {
    int written = 0;
    for (std::int64_t py = 1; py <= 254; py++)
        for (std::int64_t px = 1; px <= 254; px++) {
            std::int64_t x = ox + px, y = oy + py;
            if (x >= 1 && x <= 318 && y >= 1 && y <= 238) {
                buf[static_cast<std::size_t>(y * FRAME_W + x)] = light[px + 256 * py];
                written++;
            }
        }
    return written;
}

int count_diff(const Pixel* got, const std::vector<Pixel>& want) {
    int n = 0;
    for (int i = 0; i < FRAME_PIXELS; i++)
        n += got[i] != want[i];
    return n;
}

// ---- bump_patch ----

constexpr Pixel UNTOUCHED = 0xDEADBEEFu;

struct ClipCase {
    std::int32_t ox, oy;
    int written;
};

class BumpPatchClip : public ::testing::TestWithParam<ClipCase> {};

TEST_P(BumpPatchClip, FlatFieldPlacesTexelsAtTheOriginInsideTheClip) {
    const ClipCase& c = GetParam();
    std::vector<Pixel> height(FRAME_PIXELS, 0x12345678u); // flat: every difference is 0
    std::vector<Pixel> light = own_index_texture(0xFF000000u);
    std::vector<Pixel> dest(FRAME_PIXELS, UNTOUCHED);
    std::vector<Pixel> want(FRAME_PIXELS, UNTOUCHED);
    EXPECT_EQ(paint_flat_patch(want, c.ox, c.oy, light), c.written);
    bump_patch(c.ox, c.oy, height.data(), light.data(), dest.data());
    EXPECT_EQ(count_diff(dest.data(), want), 0);
    for (int x = 0; x < FRAME_W; x++) { // the one-pixel border is never written
        EXPECT_EQ(dest[at(x, 0)], UNTOUCHED);
        EXPECT_EQ(dest[at(x, 239)], UNTOUCHED);
    }
    for (int y = 0; y < FRAME_H; y++) {
        EXPECT_EQ(dest[at(0, y)], UNTOUCHED);
        EXPECT_EQ(dest[at(319, y)], UNTOUCHED);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Origins, BumpPatchClip,
    ::testing::Values(ClipCase{0, 0, 254 * 238}, ClipCase{20, -10, 254 * 238},
                      ClipCase{64, -15, 254 * 238}, ClipCase{100, 100, 218 * 138},
                      ClipCase{-253, 0, 238}, // only column 1, from patch column 254
                      ClipCase{317, 0, 238},  // only column 318, from patch column 1
                      ClipCase{0, 237, 254},  // only row 238
                      ClipCase{0, -253, 254}, // only row 1
                      ClipCase{-254, 0, 0}, ClipCase{318, 0, 0}, ClipCase{0, 238, 0},
                      ClipCase{0, -254, 0}, ClipCase{INT32_MIN, 5, 0}, ClipCase{5, INT32_MAX, 0},
                      ClipCase{INT32_MAX, INT32_MIN, 0}));

struct SlopeCase {
    const char* what;
    int hx, hy;   // height word to set, frame coordinates
    Pixel value;  // its value (the rest of the field is 0)
    int col, row; // light-map texel expected at patch pixel (10, 20), origin (0, 0)
};

class BumpPatchSlope : public ::testing::TestWithParam<SlopeCase> {};

TEST_P(BumpPatchSlope, NeighbourDifferencesShiftTheLookUp) {
    const SlopeCase& c = GetParam();
    std::vector<Pixel> height(FRAME_PIXELS, 0);
    height[at(c.hx, c.hy)] = c.value;
    std::vector<Pixel> light = own_index_texture(0xFF000000u);
    std::vector<Pixel> dest(FRAME_PIXELS, UNTOUCHED);
    bump_patch(0, 0, height.data(), light.data(), dest.data());
    EXPECT_EQ(dest[at(10, 20)], light[c.col + 256 * c.row]) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Slopes, BumpPatchSlope,
    ::testing::Values(SlopeCase{"flat", 0, 0, 0, 10, 20},
                      // above - below + py = 0 - 21 + 20 = -1: row 255.
                      SlopeCase{"vertical -1 wraps to row 255", 10, 21, 21, 10, 255},
                      SlopeCase{"above 3: row 23", 10, 19, 3, 10, 23},
                      // left - right = 0x100: the green difference adds to the row.
                      SlopeCase{"green difference adds a row", 9, 20, 0x100, 10, 21},
                      SlopeCase{"right 11: column -1 borrows a row", 11, 20, 11, 255, 19},
                      // Only the low byte of the vertical term survives the 16-bit cut.
                      SlopeCase{"vertical high bytes vanish", 10, 19, 0xFFFFFF00u, 10, 20},
                      // Red and key bytes of the horizontal term lie above bit 15.
                      SlopeCase{"horizontal red vanishes", 9, 20, 0x00FF0000u, 10, 20},
                      SlopeCase{"whole-word -1 on the left", 9, 20, 0xFFFFFFFFu, 9, 20}));

// ---- Scene 3 ----

TEST(Scene3, FirstFrameIsTheSaturatedSumOfBothPatchesAtTheirOrbitOrigins) {
    AssetRecords r = default_asset_records(0);
    r[ASSET_SCENE3_HEIGHT_FIELD].assign(TEX_PIXELS, 0x00777777u); // a flat height field
    r[ASSET_SCENE3_LIGHT_MAP] = own_index_texture(0x00400000u);
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    show.pass(0, 10); // Scenes 1 and 2 hand over at once
    ShowState& s = show.s();
    EXPECT_EQ(s.scene_index, 2);
    EXPECT_EQ(s.scene_started, 3);
    EXPECT_EQ(s.light1_phase, 0);
    EXPECT_EQ(s.light2_phase, 359);
    EXPECT_EQ(count_not(s.work, 0x00777777u), 0);
    std::vector<Pixel> c(FRAME_PIXELS, 0), b(FRAME_PIXELS, 0), want(FRAME_PIXELS);
    paint_flat_patch(c, s.orbit1_x[0], s.orbit1_y[0], r[ASSET_SCENE3_LIGHT_MAP]);
    paint_flat_patch(b, s.orbit2_x[359], s.orbit2_y[359], r[ASSET_SCENE3_LIGHT_MAP]);
    for (int i = 0; i < FRAME_PIXELS; i++)
        want[i] = sat(b[i], c[i]);
    EXPECT_EQ(count_diff(show.frame(), want), 0);
    EXPECT_EQ(count_diff(s.scratch_c, c), 0);
    EXPECT_EQ(count_diff(s.scratch_b, b), 0);
}

TEST(Scene3, HeightFieldIsTheWobbledTextureReadWithTheFrameRowLength) {
    AssetRecords r = default_asset_records(0);
    r[ASSET_SCENE3_HEIGHT_FIELD] = own_index_texture(0); // texel (c, r) holds r * 256 + c
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    std::vector<std::int32_t> w(show.s().wobble, show.s().wobble + WOBBLE_USED);
    auto wobbled = [&](std::uint32_t x, std::uint32_t y) {
        std::uint32_t row = (y + static_cast<std::uint32_t>(w[y])) & 255u;
        std::uint32_t col = (x + static_cast<std::uint32_t>(w[x])) & 255u;
        return (row << 8) | col;
    };
    show.pass(0, 10);
    ShowState& s = show.s();
    int wrong_a = 0, wrong_work = 0;
    for (std::uint32_t y = 0; y < 256; y++)
        for (std::uint32_t x = 0; x < 256; x++)
            wrong_a += s.scratch_a[y * 256 + x] != wobbled(x, y);
    for (std::uint32_t y = 0; y < FRAME_H; y++)
        for (std::uint32_t x = 0; x < FRAME_W; x++) {
            // Columns 256..319 of a row continue into the image's next row.
            Pixel want = x < 256 ? wobbled(x, y) : wobbled(x - 256, y + 1);
            wrong_work += s.work[y * FRAME_W + x] != want;
        }
    EXPECT_EQ(wrong_a, 0);
    EXPECT_EQ(wrong_work, 0);
}

class Scene3Stall : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(Scene3Stall, StepsTurnWobbleAndPhasesOncePerTick) {
    std::int32_t n = GetParam();
    TestShow show(default_asset_records(0));
    ASSERT_TRUE(show.ok);
    std::vector<std::int32_t> w0(show.s().wobble, show.s().wobble + WOBBLE_USED);
    show.pass(1000, 10);
    show.pass(1000 + n, 11);
    ShowState& s = show.s();
    int wrong = 0;
    for (int i = 0; i < WOBBLE_USED; i++)
        wrong += s.wobble[i] != w0[(i + n) & 255];
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(s.light1_phase, n % 360);
    EXPECT_EQ(s.light2_phase, 359 - n % 360);
    EXPECT_EQ(s.last_tick, 1000 + n);
}

INSTANTIATE_TEST_SUITE_P(Ticks, Scene3Stall,
                         ::testing::Values(0, 1, 2, 255, 256, 257, 359, 360, 361, 1000));

TEST(Scene3, WobbleIsBackInOrderAfter256TicksAndCarriesIntoSceneFour) {
    TestShow show(default_asset_records(0));
    ASSERT_TRUE(show.ok);
    std::vector<std::int32_t> w0(show.s().wobble, show.s().wobble + WOBBLE_USED);
    ShowState& s = show.s();
    show.pass(0, 10);
    show.pass(1, 10);
    EXPECT_EQ(s.wobble[255], w0[0]);
    EXPECT_EQ(s.wobble[0], w0[1]);
    for (std::int32_t t : {5, 100, 100, 256})
        show.pass(t, 10);
    EXPECT_TRUE(std::equal(w0.begin(), w0.end(), s.wobble));
    show.pass(300, 12); // 44 more steps, then Scene 4, which leaves wobble alone
    EXPECT_EQ(s.scene_started, 4);
    show.pass(400, 12);
    for (int i = 0; i < WOBBLE_USED; i++)
        EXPECT_EQ(s.wobble[i], w0[(i + 44) & 255]);
}

TEST(Scene3, PatchesLeaveTrailsAndTheBorderStaysBlack) {
    AssetRecords r = default_asset_records(0);
    r[ASSET_SCENE3_LIGHT_MAP] = own_index_texture(0xFF000000u);
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    show.pass(0, 10);
    show.pass(40, 10); // drawn at phases 0 and 359, then 40 steps
    show.pass(40, 10); // drawn at 40 and 319 over what the first frame left
    std::vector<Pixel> c(FRAME_PIXELS, 0), b(FRAME_PIXELS, 0), want(FRAME_PIXELS);
    paint_flat_patch(c, s.orbit1_x[0], s.orbit1_y[0], r[ASSET_SCENE3_LIGHT_MAP]);
    paint_flat_patch(c, s.orbit1_x[40], s.orbit1_y[40], r[ASSET_SCENE3_LIGHT_MAP]);
    paint_flat_patch(b, s.orbit2_x[359], s.orbit2_y[359], r[ASSET_SCENE3_LIGHT_MAP]);
    paint_flat_patch(b, s.orbit2_x[319], s.orbit2_y[319], r[ASSET_SCENE3_LIGHT_MAP]);
    for (int i = 0; i < FRAME_PIXELS; i++)
        want[i] = sat(b[i], c[i]);
    EXPECT_EQ(count_diff(show.frame(), want), 0);
    int border = 0;
    for (int x = 0; x < FRAME_W; x++)
        border += (show.frame()[at(x, 0)] != 0) + (show.frame()[at(x, 239)] != 0);
    for (int y = 0; y < FRAME_H; y++)
        border += (show.frame()[at(0, y)] != 0) + (show.frame()[at(319, y)] != 0);
    EXPECT_EQ(border, 0);
}

TEST(Scene3, KeyedOverlayOnlyAtEleven) {
    AssetRecords r = default_asset_records(0);
    r[ASSET_SCENE3_OVERLAY][at(0, 0)] = 0xFFABCDEFu; // covers the black border
    r[ASSET_SCENE3_OVERLAY][at(1, 0)] = KEY_HIGH;    // equal: not drawn
    r[ASSET_SCENE3_OVERLAY][at(2, 0)] = 0xFFAAAAABu;
    r[ASSET_SCENE3_OVERLAY][at(5, 5)] = 0xFEFFFFFFu;
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    show.pass(0, 10);
    EXPECT_EQ(count_not(show.frame(), 0), 0);
    show.pass(0, 11);
    EXPECT_EQ(show.frame()[at(0, 0)], 0xFFABCDEFu); // the whole word, key byte included
    EXPECT_EQ(show.frame()[at(2, 0)], 0xFFAAAAABu);
    EXPECT_EQ(count_not(show.frame(), 0), 2);
}

// ---- Scene 4 ----

AssetRecords scene4_assets() {
    AssetRecords r = default_asset_records(0);
    for (int k = 11; k <= 14; k++)
        r[k][at(k, 0)] = 0xFFFFFFFFu; // overlay k shows at (k, 0)
    return r;
}

TEST(Scene4, FirstPassAtTwelveRunsScenesOneToFourAndShowsOverlayEleven) {
    AssetRecords r = scene4_assets();
    r[ASSET_LAYER0] = own_index_texture(0);
    r[ASSET_SCENE4_OVERLAY_1][at(7, 7)] = 0xFFAB0000u;
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    show.pass(0, 12);
    ShowState& s = show.s();
    EXPECT_EQ(s.scene_index, 3);
    EXPECT_EQ(s.scene_started, 4);
    EXPECT_EQ(s.overlay_index, 11);
    std::vector<Pixel> want(FRAME_PIXELS);
    for (int y = 0; y < FRAME_H; y++)
        for (int x = 0; x < FRAME_W; x++)
            want[at(x, y)] = ring(x + s.scroll_x[0], y + s.scroll_y[0]);
    want[at(7, 7)] = 0xFFAB0000u;
    want[at(11, 0)] = 0xFFFFFFFFu;
    EXPECT_EQ(count_diff(show.frame(), want), 0);
}

TEST(Scene4, SecondLayerRunsAlongTheSamePathFromTheOtherEnd) {
    AssetRecords r = scene4_assets();
    r[ASSET_LAYER1] = own_index_texture(0);
    r[ASSET_SCENE4_OVERLAY_1][at(11, 0)] = 0;
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    show.pass(0, 12);
    show.pass(7, 12);
    show.pass(7, 12);
    ShowState& s = show.s();
    EXPECT_EQ(s.layer0_phase, 7);
    EXPECT_EQ(s.layer1_phase, 352);
    std::vector<Pixel> want(FRAME_PIXELS);
    for (int y = 0; y < FRAME_H; y++)
        for (int x = 0; x < FRAME_W; x++)
            want[at(x, y)] = ring(x + s.scroll_x[352], y + s.scroll_y[352]);
    EXPECT_EQ(count_diff(show.frame(), want), 0);
}

struct SumCase {
    Pixel layer0, layer1, want;
};

class Scene4Sum : public ::testing::TestWithParam<SumCase> {};

TEST_P(Scene4Sum, LayersSaturatePerChannel) {
    AssetRecords r = default_asset_records(0);
    r[ASSET_LAYER0].assign(TEX_PIXELS, GetParam().layer0);
    r[ASSET_LAYER1].assign(TEX_PIXELS, GetParam().layer1);
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    show.pass(0, 12);
    EXPECT_EQ(count_not(show.frame(), GetParam().want), 0) << std::hex << show.frame()[0];
}

INSTANTIATE_TEST_SUITE_P(Colours, Scene4Sum,
                         ::testing::Values(SumCase{0x00F0F0F0u, 0x00202020u, 0x00FFFFFFu},
                                           SumCase{0xFF102030u, 0x01010101u, 0x00112131u},
                                           SumCase{0x00FF0000u, 0x00010000u, 0x00FF0000u},
                                           SumCase{0x00000080u, 0x00000080u, 0x000000FFu}));

TEST(Scene4, EveryChannelSaturatesOnItsOwn) {
    AssetRecords r = default_asset_records(0);
    r[ASSET_LAYER0].resize(TEX_PIXELS);
    r[ASSET_LAYER1].resize(TEX_PIXELS);
    for (std::uint32_t j = 0; j < TEX_PIXELS; j++) { // sums on both sides of 255 per channel
        r[ASSET_LAYER0][j] = 0xFF000000u | ((j * 3u) & 0xFFu) << 16 | j;
        r[ASSET_LAYER1][j] =
            ((j * 5u) & 0xFFu) << 16 | ((j * 11u) & 0xFFu) << 8 | ((j * 13u) & 0xFFu);
    }
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    show.pass(0, 12);
    ShowState& s = show.s();
    int wrong = 0;
    for (int y = 0; y < FRAME_H; y++)
        for (int x = 0; x < FRAME_W; x++) {
            Pixel a = r[ASSET_LAYER0][ring(x + s.scroll_x[0], y + s.scroll_y[0])];
            Pixel b = r[ASSET_LAYER1][ring(x + s.scroll_x[359], y + s.scroll_y[359])];
            wrong += show.frame()[at(x, y)] != sat(a, b);
        }
    EXPECT_EQ(wrong, 0);
}

TEST(Scene4, OverlayAdvancesAtMostOncePerFrameAtTheFramesPace) {
    TestShow show(scene4_assets());
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    struct {
        std::int32_t tick;
        int shown;
        int index_after, timer_after;
    } passes[] = {
        {0, 11, 11, 1},   // the entering pass: no tick, timer 0 -> 1
        {100, 11, 11, 2}, // ticks, but the timer is not 0
        {100, 11, 11, 3}, {101, 11, 11, 4}, {102, 11, 11, 0},
        {102, 11, 11, 1}, // timer 0 but no tick: no change
        {103, 11, 11, 2}, {104, 11, 11, 3}, {105, 11, 11, 4},
        {106, 11, 11, 0}, {500, 11, 12, 2}, // 394 ticks, one change
        {500, 12, 12, 3}, {501, 12, 12, 4}, {502, 12, 12, 0},
        {503, 12, 13, 2}, // four frames after the last change
        {504, 13, 13, 3}, {505, 13, 13, 4}, {506, 13, 13, 0},
        {507, 13, 14, 2}, {508, 14, 14, 3}, {509, 14, 14, 4},
        {510, 14, 14, 0}, {511, 14, 11, 2}, // 14 goes back to 11
        {511, 11, 11, 3},
    };
    int k = 0;
    for (const auto& p : passes) {
        show.pass(p.tick, 12);
        for (int n = 11; n <= 14; n++)
            EXPECT_EQ(show.frame()[at(n, 0)], n == p.shown ? 0xFFFFFFFFu : 0u)
                << "pass " << k << " overlay " << n;
        EXPECT_EQ(s.overlay_index, p.index_after) << "pass " << k;
        EXPECT_EQ(s.overlay_timer, p.timer_after) << "pass " << k;
        k++;
    }
    EXPECT_EQ(s.layer0_phase, 511 % 360);
    EXPECT_EQ(s.layer1_phase, 359 - 511 % 360);
}

TEST(Scene4, ExitAtFourteenHandsOverToSceneFive) {
    TestShow show(scene4_assets());
    ASSERT_TRUE(show.ok);
    show.pass(0, 12);
    show.pass(3, 13);
    EXPECT_EQ(show.s().scene_index, 3);
    show.pass(4, 14);
    EXPECT_EQ(show.s().scene_index, 4);
    EXPECT_EQ(show.s().scene_started, 5);
    EXPECT_EQ(show.s().layer0_phase, 4); // Scene 4 stepped before its end test
}

} // namespace
