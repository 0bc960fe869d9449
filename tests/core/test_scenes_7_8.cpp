// Scenes 7 and 8 through the pass function on a scripted clock, with small controlled assets:
// pictures of one keyed colour that name their asset, textures whose texels hold their own
// index, a scroller whose first column names its row. Expected words are worked out by hand.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "core/core.h"
#include "tests/support/show_fixture.h"
#include "tests/support/test_support.h"

namespace {

constexpr Pixel BACKGROUND = 0x00102030u;

// ---- Scene 7 ----

// A picture of asset n: every Pixel 0xFFF000nn, which passes KEY_HIGH.
constexpr Pixel picture_word(int n) { return 0xFFF00000u | static_cast<Pixel>(n); }

AssetRecords scene_7_records() {
    AssetRecords r = default_asset_records(0);
    r[ASSET_SCENE7_BACKGROUND].assign(FRAME_PIXELS, BACKGROUND);
    for (int n = 18; n <= 27; n++)
        r[n].assign(r[n].size(), picture_word(n));
    return r;
}

// Which picture the band shows: its asset number, 0 for none. Checks that the picture covers
// exactly its window and that everything else is the background.
int shown_picture(const TestShow& show) {
    int n = 0;
    Pixel p = show.px(60, 93);
    if (p != BACKGROUND)
        n = static_cast<int>(p & 0xFF);
    int left = n == 18 ? 10 : 60, width = n == 18 ? 300 : 200;
    for (int y = 0; y < FRAME_H; y++)
        for (int x = 0; x < FRAME_W; x++) {
            bool inside = n != 0 && y >= 93 && y <= 147 && x >= left && x < left + width;
            Pixel want = inside ? picture_word(n) : BACKGROUND;
            if (show.px(x, y) != want) {
                ADD_FAILURE() << "picture " << n << " at (" << x << ", " << y << ")";
                return -1;
            }
        }
    return n;
}

TEST(Scene7, FirstFrameShowsOnlyTheBackgroundUntilRow6) {
    TestShow show(scene_7_records());
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    s.slide_step = 9; // set-up resets it
    show.pass(70, 21, 0);
    EXPECT_EQ(s.scene_index, 6);
    EXPECT_EQ(s.scene_started, 7);
    EXPECT_EQ(s.slide_step, 0);
    EXPECT_EQ(s.last_tick, 70);
    EXPECT_EQ(shown_picture(show), 0);
    show.pass(71, 21, 5);
    EXPECT_EQ(shown_picture(show), 0);
    EXPECT_EQ(s.last_tick, 71);
    show.pass(75, 21, 6);
    EXPECT_EQ(shown_picture(show), ASSET_SCENE7_WORD_1); // 300 wide at column 10
    EXPECT_EQ(s.slide_step, 0);
    EXPECT_EQ(s.last_tick, 75);
}

// The words' asset numbers, from the first.
constexpr int WORD_1 = ASSET_SCENE7_WORD_1;

struct SlideFrame {
    std::uint16_t patpos;
    int shown;      // asset in the band on this frame, 0 for none
    int step_after; // slide_step after the frame
};

// Frame by frame from the scene's first frame at row 0.
const SlideFrame SLIDE_FRAMES[] = {
    {5, 0, 0},
    {6, WORD_1, 0},
    {12, WORD_1, 0}, // at a threshold the step stays
    {13, WORD_1, 1}, // one row more: the next step, from the next frame
    {13, WORD_1 + 1, 1},
    {15, WORD_1 + 1, 1},
    {16, WORD_1 + 1, 2},
    {16, WORD_1 + 2, 2},
    {0, WORD_1 + 2, 2}, // only step 0 waits for row 6; later steps draw at any row
    // Many thresholds passed at once: one step per frame, every picture shown once.
    {63, WORD_1 + 2, 3},
    {63, WORD_1 + 3, 4},
    {63, WORD_1 + 4, 5},
    {63, WORD_1 + 5, 6},
    {63, WORD_1 + 1, 7}, // step 6 shows word 2 again
    {63, WORD_1 + 6, 8},
    {63, WORD_1 + 7, 9},
    {63, WORD_1 + 8, 10},
    {63, WORD_1 + 9, 11},
    {63, 0, 11},
    {0, 0, 11},
    {65535, 0, 11}, // after step 10 only the background
};

TEST(Scene7, PicturesStepAtRowThresholdsAtMostOncePerFrame) {
    TestShow show(scene_7_records());
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    show.pass(0, 21, 0);
    int frame = 0;
    for (const SlideFrame& f : SLIDE_FRAMES) {
        show.pass(frame, 21, f.patpos);
        EXPECT_EQ(shown_picture(show), f.shown) << "frame " << frame;
        EXPECT_EQ(s.slide_step, f.step_after) << "frame " << frame;
        frame++;
    }
}

struct ThresholdCase {
    int step;
    std::uint16_t stay, go; // the step stays at stay and moves on at go
};

class Scene7Thresholds : public ::testing::TestWithParam<ThresholdCase> {};

// Reach the step one frame at a time with the row at 63, then hold the row at the threshold.
TEST_P(Scene7Thresholds, StrictlyGreaterThanTheStepsRow) {
    const ThresholdCase& c = GetParam();
    TestShow show(scene_7_records());
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    show.pass(0, 21, 0);
    for (int k = 0; k < c.step; k++)
        show.pass(0, 21, 63);
    ASSERT_EQ(s.slide_step, c.step);
    show.pass(0, 21, c.stay);
    show.pass(0, 21, c.stay);
    EXPECT_EQ(s.slide_step, c.step);
    show.pass(0, 21, c.go);
    EXPECT_EQ(s.slide_step, c.step + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, Scene7Thresholds,
    ::testing::Values(ThresholdCase{0, 12, 13}, ThresholdCase{1, 15, 16}, ThresholdCase{2, 20, 21},
                      ThresholdCase{3, 25, 26}, ThresholdCase{4, 30, 31}, ThresholdCase{5, 35, 36},
                      ThresholdCase{6, 40, 41}, ThresholdCase{7, 45, 46}, ThresholdCase{8, 50, 51},
                      ThresholdCase{9, 55, 56}, ThresholdCase{10, 60, 61},
                      // The row is unsigned: 32,768 and 65,535 are far past every threshold.
                      ThresholdCase{0, 12, 32768}, ThresholdCase{3, 25, 65535}));

TEST(Scene7, OnlyPicturePixelsAboveKeyHighAreDrawn) {
    AssetRecords r = scene_7_records();
    r[ASSET_SCENE7_WORD_1][0] = KEY_HIGH;                 // equal: not drawn
    r[ASSET_SCENE7_WORD_1][1] = 0xFFAAAAABu;              // drawn
    r[ASSET_SCENE7_WORD_1][2] = 0xFEFFFFFFu;              // key byte below 0xFF: not drawn
    r[ASSET_SCENE7_WORD_1][3] = 0xFFAB0000u;              // red alone above 0xAA: drawn
    r[ASSET_SCENE7_WORD_1][54 * 300 + 299] = 0xFFFFFFFFu; // last picture Pixel at (309, 147)
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    show.pass(0, 21, 6);
    EXPECT_EQ(show.px(10, 93), BACKGROUND);
    EXPECT_EQ(show.px(11, 93), 0xFFAAAAABu);
    EXPECT_EQ(show.px(12, 93), BACKGROUND);
    EXPECT_EQ(show.px(13, 93), 0xFFAB0000u);
    EXPECT_EQ(show.px(14, 93), picture_word(18));
    EXPECT_EQ(show.px(309, 147), 0xFFFFFFFFu);
    EXPECT_EQ(show.px(310, 147), BACKGROUND);
    EXPECT_EQ(show.px(9, 93), BACKGROUND);
    EXPECT_EQ(show.px(10, 92), BACKGROUND);
    EXPECT_EQ(show.px(10, 148), BACKGROUND);
}

TEST(Scene7, LeavesAfterPosition21AndScene8DrawsInTheSamePass) {
    AssetRecords r = scene_7_records();
    r[ASSET_LAYER0].assign(TEX_PIXELS, 0x00000101u);
    r[ASSET_LAYER1].assign(TEX_PIXELS, 0x00010000u);
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    show.pass(0, 21, 30);
    EXPECT_EQ(s.scene_index, 6);
    show.pass(0, 22, 30);
    EXPECT_EQ(s.scene_index, 7);
    EXPECT_EQ(s.scene_started, 8);
    for (int i = 0; i < FRAME_PIXELS; i++)
        ASSERT_EQ(show.sh.s.frame[i], 0x00010101u) << "word " << i;
}

// ---- Scene 8 ----

// Layer 0 texel j holds j, layer 1 texel j holds j << 16: a frame word names both look-ups.
AssetRecords scene_8_records() {
    AssetRecords r = default_asset_records(0);
    for (std::uint32_t j = 0; j < TEX_PIXELS; j++) {
        r[ASSET_LAYER0][j] = j;
        r[ASSET_LAYER1][j] = j << 16;
    }
    return r;
}

struct ScrollPoint {
    int x, y;
    Pixel want; // (index1 << 16) | index0
};

struct ScrollCase {
    std::int32_t sx0, sy0, sx1, sy1; // scroll tables at phase 0 (layer 0) and 359 (layer 1)
    std::vector<ScrollPoint> points;
};

class Scene8Scroll : public ::testing::TestWithParam<ScrollCase> {};

TEST_P(Scene8Scroll, FirstFrameIsThePlainSumOfTheTwoLayersOnTheTextureRing) {
    const ScrollCase& c = GetParam();
    TestShow show(scene_8_records());
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    s.scroll_x[0] = c.sx0, s.scroll_y[0] = c.sy0;
    s.scroll_x[359] = c.sx1, s.scroll_y[359] = c.sy1;
    show.pass(0, 22);
    ASSERT_EQ(s.scene_index, 7);
    for (const ScrollPoint& p : c.points)
        EXPECT_EQ(show.px(p.x, p.y), p.want)
            << std::hex << "(" << std::dec << p.x << ", " << p.y << ") " << show.px(p.x, p.y);
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, Scene8Scroll,
    ::testing::Values(
        // index0 = x + 5 + 256 (y + 3); index1 = x - 300 + 256 (y + 250), both mod 65,536.
        ScrollCase{5,
                   3,
                   -300,
                   250,
                   {{0, 0, 0xF8D40305u},     // 63,700 and 773
                    {319, 239, 0xE913F344u}, // 59,667 and 62,276
                    {299, 6, 0xFFFF0A30u},   // layer 1 at the end of the ring ...
                    {300, 6, 0x00000A31u}}}, // ... and at its start, in the same row
        // Both layers wrap within row 0: layer 1 at column 56, layer 0 at column 156.
        ScrollCase{100,
                   255,
                   200,
                   255,
                   {{0, 0, 0xFFC8FF64u},
                    {55, 0, 0xFFFFFF9Bu},
                    {56, 0, 0x0000FF9Cu},
                    {155, 0, 0x0063FFFFu},
                    {156, 0, 0x00640000u},
                    {319, 0, 0x010700A3u},
                    {0, 1, 0x00C80064u}}},
        // Negative offsets reach back along the ring: x - 1 at column 0 of row 0 is 65,535.
        ScrollCase{
            -1, 0, -257, 1, {{0, 0, 0xFFFFFFFFu}, {1, 0, 0x00000000u}, {2, 1, 0x01010101u}}}));

TEST(Scene8, TheSumCarriesAcrossChannelsAndOutOfTheTop) {
    AssetRecords r = default_asset_records(0);
    r[ASSET_LAYER0].assign(TEX_PIXELS, 0xFFFFFFFFu);
    r[ASSET_LAYER1].assign(TEX_PIXELS, 0x00000002u);
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    show.pass(0, 22);
    for (int i = 0; i < FRAME_PIXELS; i++)
        ASSERT_EQ(show.sh.s.frame[i], 0x00000001u) << "word " << i;

    AssetRecords r2 = default_asset_records(0);
    r2[0].assign(TEX_PIXELS, 0x00FFFFFFu);
    r2[1].assign(TEX_PIXELS, 0x00000001u);
    TestShow show2(r2);
    ASSERT_TRUE(show2.ok);
    show2.pass(0, 22);
    for (int i = 0; i < FRAME_PIXELS; i++)
        ASSERT_EQ(show2.sh.s.frame[i], 0x01000000u) << "word " << i;
}

// Column 0 of scroller row j is 0xFFB00000 + j; columns 1..3 test the key; the rest is 0.
AssetRecords scene_8_scroller_records() {
    AssetRecords r = default_asset_records(0);
    for (std::uint32_t j = 0; j < 3000; j++)
        r[ASSET_SCENE8_SCROLLER][j * 320] = 0xFFB00000u | j;
    r[ASSET_SCENE8_SCROLLER][1] = KEY_HIGH;
    r[ASSET_SCENE8_SCROLLER][2] = 0xFFAAAAABu;
    r[ASSET_SCENE8_SCROLLER][3] = 0x7FFFFFFFu;
    return r;
}

TEST(Scene8, ScrollerFirstFrameShowsItsTopRowsKeyed) {
    TestShow show(scene_8_scroller_records());
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    s.scroller_offset = 12345; // set-up resets it
    s.layer0_phase = 17;
    s.layer1_phase = 18;
    show.pass(900, 22);
    EXPECT_EQ(s.scroller_offset, 0);
    EXPECT_EQ(s.layer0_phase, 0);
    EXPECT_EQ(s.layer1_phase, 359);
    EXPECT_EQ(s.last_tick, 900);
    EXPECT_EQ(s.scene_started, 8);
    EXPECT_EQ(show.px(0, 0), 0xFFB00000u);
    EXPECT_EQ(show.px(0, 239), 0xFFB000EFu);
    EXPECT_EQ(show.px(1, 0), 0u); // equal to the key: the black layers show
    EXPECT_EQ(show.px(2, 0), 0xFFAAAAABu);
    EXPECT_EQ(show.px(3, 0), 0u);
    EXPECT_EQ(show.px(5, 100), 0u);
}

struct ScrollerCase {
    std::int32_t tick; // ticks since the scene began
    std::int32_t offset;
    std::int32_t layer0, layer1;
};

class Scene8Steps : public ::testing::TestWithParam<ScrollerCase> {};

TEST_P(Scene8Steps, TwoRowsPerTickUpToTheCap) {
    const ScrollerCase& c = GetParam();
    TestShow show(scene_8_scroller_records());
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    show.pass(0, 22);
    show.pass(c.tick, 22);
    EXPECT_EQ(s.scroller_offset, c.offset);
    EXPECT_EQ(s.layer0_phase, c.layer0);
    EXPECT_EQ(s.layer1_phase, c.layer1);
    EXPECT_EQ(s.last_tick, c.tick);
    show.pass(c.tick, 22); // drawn at the new offset
    std::uint32_t top = static_cast<std::uint32_t>(c.offset / 320);
    EXPECT_EQ(show.px(0, 0), 0xFFB00000u | top);
    EXPECT_EQ(show.px(0, 239), 0xFFB00000u | (top + 239));
}

INSTANTIATE_TEST_SUITE_P(
    Ticks, Scene8Steps,
    ::testing::Values(ScrollerCase{0, 0, 0, 359}, ScrollerCase{1, 640, 1, 358},
                      ScrollerCase{10, 6400, 10, 349}, // frame row 0 shows scroller row 20
                      ScrollerCase{359, 229760, 359, 0},
                      ScrollerCase{360, 230400, 0, 359}, // both phases wrap
                      ScrollerCase{1379, 882560, 1379 % 360, 359 - 1379 % 360},
                      ScrollerCase{1380, 883200, 1380 % 360, 359 - 1380 % 360},
                      ScrollerCase{1381, 883200, 1381 % 360, 359 - 1381 % 360},
                      ScrollerCase{100000, 883200, 100000 % 360, 359 - 100000 % 360},
                      ScrollerCase{-5, 0, 0, 359}));

TEST(Scene8, CapHoldsOneTickAtATimeAndTheLast240RowsStay) {
    TestShow show(scene_8_scroller_records());
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    show.pass(0, 22);
    show.pass(1378, 22);
    for (std::int32_t t = 1379; t <= 1383; t++) {
        show.pass(t, 22);
        EXPECT_EQ(s.scroller_offset, t == 1379 ? 882560 : 883200) << "tick " << t;
    }
    show.pass(1383, 22);
    EXPECT_EQ(show.px(0, 0), 0xFFB00000u | 2760);
    EXPECT_EQ(show.px(0, 239), 0xFFB00000u | 2999);
    // The clock word wraps: 3 ticks from INT32_MAX - 1 still step the phases.
    TestShow wrap(scene_8_scroller_records());
    ASSERT_TRUE(wrap.ok);
    wrap.pass(INT32_MAX - 1, 22);
    wrap.pass(INT32_MIN + 1, 22);
    EXPECT_EQ(wrap.s().layer0_phase, 3);
    EXPECT_EQ(wrap.s().scroller_offset, 1920);
}

TEST(Scene8, LeavesAfterPosition29AndEndsTheShow) {
    TestShow show(scene_8_scroller_records());
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    show.pass(0, 22);
    show.pass(4, 29);
    EXPECT_EQ(s.scene_index, 7);
    EXPECT_EQ(show.sh.clock.running.load(), 1);
    show.pass(4, 30);
    EXPECT_EQ(s.scene_index, SCENE_END);
    EXPECT_EQ(show.sh.clock.running.load(), 0);
    // That pass still drew Scene 8, at the offset of the 4 ticks before it.
    EXPECT_EQ(show.px(0, 0), 0xFFB00000u | 8);
}

} // namespace
