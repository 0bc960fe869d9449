// Scenes 1 and 2 through the pass function on a scripted clock, with small controlled assets:
// textures whose texels hold their own index, one-colour textures, masks and overlays with a
// few keyed pixels. Expected words are worked out by hand from the scenes' rules.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/core.h"
#include "tests/support/show_fixture.h"
#include "tests/support/test_support.h"

namespace {

constexpr Pixel SENTINEL = 0x12345678u;
constexpr Pixel WHITE = 0x00FFFFFFu;

std::vector<Pixel> own_index_texture(std::uint32_t shift) {
    std::vector<Pixel> t(TEX_PIXELS);
    for (std::uint32_t j = 0; j < TEX_PIXELS; j++)
        t[j] = j << shift;
    return t;
}

// ---- Scene 1 ----

TEST(Scene1, FirstFrameSumsBothLayersIntoWorkAndShowsOnlyKeyedMaskPixelsBlack) {
    AssetRecords r = default_asset_records(0);
    std::vector<Pixel>& mask = r[ASSET_SCENE1_MASK_EARLY];
    r[ASSET_LAYER0] = own_index_texture(0);  // layer 0 texel: its index, low half
    r[ASSET_LAYER1] = own_index_texture(16); // layer 1 texel: its index, high half
    mask.assign(FRAME_PIXELS, KEY_HIGH);     // equal to the key: never passes
    mask[at(10, 20)] = 0xFFAAAAABu;
    mask[at(11, 20)] = 0xFFFFFFFFu;
    mask[at(12, 20)] = 0xFEFFFFFFu; // key byte below 0xFF
    // The later mask, not used at position 0.
    r[ASSET_SCENE1_MASK_LATE].assign(FRAME_PIXELS, 0xFFFFFFFFu);
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    show.fill_frame(SENTINEL); // Scene 1 never clears the frame
    show.pass(1000, 0);

    ShowState& s = show.s();
    EXPECT_EQ(s.scene_index, 0);
    EXPECT_EQ(s.scene_started, 1);
    EXPECT_EQ(s.layer0_phase, 0);
    EXPECT_EQ(s.layer1_phase, 359);
    EXPECT_EQ(s.fade_level, 255);
    EXPECT_EQ(s.last_tick, 1000);
    int wrong = 0;
    for (int y = 0; y < FRAME_H; y++)
        for (int x = 0; x < FRAME_W; x++) {
            Pixel want = ring(x + s.scroll_x[0], y + s.scroll_y[0]) +
                         (ring(x + s.scroll_x[359], y + s.scroll_y[359]) << 16);
            wrong += s.work[at(x, y)] != want;
        }
    EXPECT_EQ(wrong, 0);
    // At level 255 a keyed pixel fades to black; every other pixel keeps what the frame held.
    EXPECT_EQ(show.frame()[at(10, 20)], 0u);
    EXPECT_EQ(show.frame()[at(11, 20)], 0u);
    EXPECT_EQ(count_not(show.frame(), SENTINEL), 2);
}

struct FadeCase {
    Pixel layer0, layer1;
    std::int32_t ticks; // at song position 0, from 255 down by 2 a tick
    Pixel want;
};

class Scene1Fade : public ::testing::TestWithParam<FadeCase> {};

TEST_P(Scene1Fade, KeyedPixelsShowTheFadedPlainSum) {
    const FadeCase& c = GetParam();
    AssetRecords r = default_asset_records(0);
    r[ASSET_LAYER0].assign(TEX_PIXELS, c.layer0);
    r[ASSET_LAYER1].assign(TEX_PIXELS, c.layer1);
    r[ASSET_SCENE1_MASK_EARLY].assign(FRAME_PIXELS, 0xFFFFFFFFu);
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    show.pass(0, 0);
    show.pass(c.ticks, 0); // renders at 255, then steps
    show.pass(c.ticks, 0); // renders at the new level
    EXPECT_EQ(count_not(show.frame(), c.want), 0) << std::hex << show.frame()[0];
}

INSTANTIATE_TEST_SUITE_P(
    Levels, Scene1Fade,
    ::testing::Values(
        // 0xFF816141 at level 55: 129-55, 97-55, 65-55, key byte dropped.
        FadeCase{0xFF806040u, 0x00010101u, 100, 0x004A2A0Au},
        FadeCase{0xFF806040u, 0x00010101u, 128, 0x00816141u}, // level 0: colour, key byte 0
        FadeCase{0x00808080u, 0x00000000u, 127, 0x007F7F7Fu}, // level 1
        FadeCase{0x00808080u, 0x00000000u, 500, 0x00808080u}, // stops at 0
        // The plain sum carries: 0xFFFFFF + 1 is 0x01000000, black once the key byte goes.
        FadeCase{0x00FFFFFFu, 0x00000001u, 128, 0x00000000u},
        // Red 0xF0 + 0x20 carries into the key byte and leaves red 0x10.
        FadeCase{0x00F08040u, 0x00200000u, 128, 0x00108040u}));

struct StepCase {
    std::int32_t ticks;
    std::int16_t sngpos;
    std::int32_t layer0, layer1, fade;
};

class Scene1Steps : public ::testing::TestWithParam<StepCase> {};

TEST_P(Scene1Steps, OneStepPerElapsedTick) {
    const StepCase& c = GetParam();
    TestShow show(default_asset_records(0));
    ASSERT_TRUE(show.ok);
    show.pass(500, 0);
    show.pass(500 + c.ticks, c.sngpos);
    EXPECT_EQ(show.s().layer0_phase, c.layer0);
    EXPECT_EQ(show.s().layer1_phase, c.layer1);
    EXPECT_EQ(show.s().fade_level, c.fade);
    EXPECT_EQ(show.s().last_tick, 500 + c.ticks);
    EXPECT_EQ(show.s().scene_index, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Ticks, Scene1Steps,
    ::testing::Values(StepCase{0, 0, 0, 359, 255}, // same tick: nothing
                      StepCase{1, 0, 1, 358, 253}, StepCase{5, 0, 5, 354, 245},
                      StepCase{127, 0, 127, 232, 1}, StepCase{128, 0, 128, 231, 0},
                      StepCase{359, 0, 359, 0, 0}, StepCase{360, 0, 0, 359, 0}, // full turn
                      StepCase{361, 0, 1, 358, 0},                              // both wrap
                      StepCase{1000, 3, 280, 79, 0}, // 1000 = 2*360 + 280
                      StepCase{10, 1, 10, 349, 255}, // holds
                      StepCase{10, 2, 10, 349, 255}, // rises, stops at 255
                      StepCase{10, 3, 10, 349, 235}, StepCase{10, 4, 10, 349, 255},
                      StepCase{10, 5, 10, 349, 255}, StepCase{10, 6, 10, 349, 255},
                      StepCase{10, -1, 10, 349, 255}));

TEST(Scene1, LevelFallsAndRisesWithTheSongAndIgnoresABackwardClock) {
    TestShow show(default_asset_records(0));
    ASSERT_TRUE(show.ok);
    struct {
        std::int32_t tick;
        std::int16_t sngpos;
        std::int32_t fade;
    } steps[] = {{0, 0, 255},  {10, 0, 235}, {30, 2, 255}, {40, 3, 235}, {45, 4, 245},
                 {40, 0, 245}, {41, 0, 243}, {41, 0, 243}, {51, 5, 243}};
    for (const auto& st : steps) {
        show.pass(st.tick, st.sngpos);
        EXPECT_EQ(show.s().fade_level, st.fade) << "tick " << st.tick;
        EXPECT_EQ(show.s().last_tick, st.tick);
    }
}

TEST(Scene1, RenderUsesThePhasesOfEarlierPasses) {
    AssetRecords r = default_asset_records(0);
    r[ASSET_LAYER0] = own_index_texture(0);
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    auto work_matches_phase = [&](int phase) {
        int wrong = 0;
        for (int y = 0; y < FRAME_H; y++)
            for (int x = 0; x < FRAME_W; x++)
                wrong += s.work[at(x, y)] != ring(x + s.scroll_x[phase], y + s.scroll_y[phase]);
        return wrong == 0;
    };
    show.pass(0, 0);
    show.pass(3, 0); // drawn before the three steps
    EXPECT_TRUE(work_matches_phase(0));
    show.pass(3, 0);
    EXPECT_TRUE(work_matches_phase(3));
}

TEST(Scene1, MaskFollowsTheSongPositionAndUncoveredPixelsKeepTheirLastValue) {
    AssetRecords r = default_asset_records(0);
    r[ASSET_LAYER0].assign(TEX_PIXELS, 0x00406080u);
    r[ASSET_SCENE1_MASK_EARLY][at(5, 5)] = 0xFFFFFFFFu; // early mask: A
    r[ASSET_SCENE1_MASK_LATE][at(6, 5)] = 0xFFFFFFFFu;  // later mask: B
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    show.pass(0, 0);
    show.pass(128, 0); // level reaches 0
    show.pass(128, 0);
    EXPECT_EQ(show.frame()[at(5, 5)], 0x00406080u);
    EXPECT_EQ(show.frame()[at(6, 5)], 0u);
    EXPECT_EQ(count_not(show.frame(), 0), 1);

    // A new texture colour: only pixels of the mask in use may pick it up.
    for (int j = 0; j < TEX_PIXELS; j++)
        show.asset(0)[j] = 0x00102030u;
    show.pass(128, 3);
    EXPECT_EQ(show.frame()[at(6, 5)], 0x00102030u);
    EXPECT_EQ(show.frame()[at(5, 5)], 0x00406080u); // no longer covered: keeps its value
    EXPECT_EQ(count_not(show.frame(), 0), 2);

    for (int j = 0; j < TEX_PIXELS; j++)
        show.asset(0)[j] = 0x00010203u;
    show.pass(128, -1); // any position up to 2 uses the early mask
    EXPECT_EQ(show.frame()[at(5, 5)], 0x00010203u);
    EXPECT_EQ(show.frame()[at(6, 5)], 0x00102030u);

    for (int j = 0; j < TEX_PIXELS; j++)
        show.asset(0)[j] = 0x00030201u;
    show.pass(128, 2);
    EXPECT_EQ(show.frame()[at(5, 5)], 0x00030201u);
    EXPECT_EQ(show.frame()[at(6, 5)], 0x00102030u);
}

TEST(Scene1, ExitAtSevenPresentsSceneTwosWhiteFirstFrameInTheSamePass) {
    AssetRecords r = default_asset_records(0);
    r[ASSET_SCENE1_MASK_EARLY].assign(FRAME_PIXELS, 0xFFFFFFFFu);
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    show.pass(0, 6);
    EXPECT_EQ(show.s().scene_index, 0); // 6 is still Scene 1
    show.fill_frame(SENTINEL);
    show.pass(2, 7);
    EXPECT_EQ(show.s().scene_index, 1);
    EXPECT_EQ(show.s().scene_started, 2);
    EXPECT_EQ(show.s().layer0_phase, 2); // Scene 1 still stepped before its end test
    EXPECT_EQ(count_not(show.frame(), WHITE), 0);
}

// ---- Scene 2 ----

// Random-looking words, so that a white frame cannot come from the assets.
std::vector<Pixel> noise(std::size_t n, std::uint32_t seed) {
    std::vector<Pixel> v(n);
    for (Pixel& p : v) {
        seed = seed * 1664525u + 1013904223u;
        p = seed;
    }
    return v;
}

class Scene2FirstFrame : public ::testing::TestWithParam<std::int16_t> {};

TEST_P(Scene2FirstFrame, IsWhiteWhateverTheTextureAndOverlay) {
    AssetRecords r = default_asset_records(0);
    r[ASSET_SCENE2_TEXTURE] = noise(TEX_PIXELS, 1);
    for (int n = 5; n <= 7; n++)
        r[n].assign(FRAME_PIXELS, 0xFFFFFFFFu); // every overlay pixel keyed
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    show.pass(77, GetParam()); // Scene 1 hands over at once
    EXPECT_EQ(show.s().scene_started, 2);
    EXPECT_EQ(show.s().polar_offset, 0);
    EXPECT_EQ(show.s().flash_level, 255);
    EXPECT_EQ(show.s().last_tick, 77);
    EXPECT_EQ(count_not(show.frame(), WHITE), 0);
    // Entering at 8 fires the first flash at once; at 9 none, since 9 needs the first.
    EXPECT_EQ(show.s().flash_stage, GetParam() == 8 ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(EntryPositions, Scene2FirstFrame, ::testing::Values(7, 8, 9));

TEST(Scene2, TextureFollowsThePolarMapShiftedByTheOffset) {
    AssetRecords r = default_asset_records(0);
    r[ASSET_SCENE2_TEXTURE] = own_index_texture(0);
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    auto frame_matches_offset = [&](std::uint32_t off) {
        int wrong = 0;
        for (int i = 0; i < FRAME_PIXELS; i++) {
            std::uint32_t want = (static_cast<std::uint32_t>(s.polar_angle_a[i]) + off +
                                  256u * (static_cast<std::uint32_t>(s.polar_depth_a[i]) + off)) &
                                 0xFFFFu;
            wrong += show.frame()[i] != want;
        }
        return wrong == 0;
    };
    show.pass(0, 7);
    show.pass(128, 7); // white; then 128 steps: level 0, offset 128
    EXPECT_EQ(s.flash_level, 0);
    EXPECT_EQ(s.polar_offset, 128);
    show.pass(128, 7);
    EXPECT_TRUE(frame_matches_offset(128));
    show.pass(129, 7); // drawn before its step
    EXPECT_TRUE(frame_matches_offset(128));
    show.pass(129, 7);
    EXPECT_TRUE(frame_matches_offset(129));
    show.pass(129 + 70000, 7); // the offset runs on past a whole ring without a wrap of its own
    EXPECT_EQ(s.polar_offset, 70129);
    show.pass(129 + 70000, 7);
    EXPECT_TRUE(frame_matches_offset(70129));
}

struct FlashCase {
    std::int32_t ticks;
    Pixel want; // the one-colour texture 0x00102030 brightened by 255 - 2 * ticks, floor 0
};

class Scene2Flash : public ::testing::TestWithParam<FlashCase> {};

TEST_P(Scene2Flash, LevelFallsByTwoPerTickAndStopsAtZero) {
    AssetRecords r = default_asset_records(0);
    r[ASSET_SCENE2_TEXTURE].assign(TEX_PIXELS, 0x00102030u);
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    show.pass(0, 7);
    show.pass(GetParam().ticks, 7);
    show.pass(GetParam().ticks, 7);
    EXPECT_EQ(count_not(show.frame(), GetParam().want), 0) << std::hex << show.frame()[0];
}

INSTANTIATE_TEST_SUITE_P(Levels, Scene2Flash,
                         ::testing::Values(FlashCase{0, WHITE},
                                           FlashCase{10, 0x00FBFFFFu},  // level 235
                                           FlashCase{100, 0x00475767u}, // level 55
                                           FlashCase{127, 0x00112131u}, // level 1
                                           FlashCase{128, 0x00102030u},
                                           FlashCase{200, 0x00102030u}));

// Per channel min(c + level, 255), key byte 0.
Pixel brighten(Pixel p, std::uint32_t level) {
    Pixel out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        std::uint32_t c = ((p >> shift) & 0xFF) + level;
        out |= (c > 255 ? 255 : c) << shift;
    }
    return out;
}

class Scene2FlashAllColours : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(Scene2FlashAllColours, EveryChannelRisesByTheLevelAndStopsAt255) {
    std::int32_t n = GetParam();
    AssetRecords r = default_asset_records(0);
    r[ASSET_SCENE2_TEXTURE].resize(TEX_PIXELS);
    for (std::uint32_t j = 0; j < TEX_PIXELS; j++) // every byte value in every channel
        r[ASSET_SCENE2_TEXTURE][j] = 0xFF000000u | ((j * 7u) & 0xFFu) << 16 | j;
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    show.pass(0, 7);
    show.pass(n, 7);
    show.pass(n, 7);
    ShowState& s = show.s();
    std::uint32_t level = static_cast<std::uint32_t>(255 - 2 * n);
    std::uint32_t off = static_cast<std::uint32_t>(n);
    int wrong = 0;
    for (int i = 0; i < FRAME_PIXELS; i++) {
        std::uint32_t index = (static_cast<std::uint32_t>(s.polar_angle_a[i]) + off +
                               256u * (static_cast<std::uint32_t>(s.polar_depth_a[i]) + off)) &
                              0xFFFFu;
        wrong += show.frame()[i] != brighten(r[ASSET_SCENE2_TEXTURE][index], level);
    }
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Levels, Scene2FlashAllColours, ::testing::Values(1, 64, 100, 120, 127));

TEST(Scene2, OutsideSevenToNineTheLevelHoldsAndNoOverlayIsDrawn) {
    AssetRecords r = default_asset_records(0);
    r[ASSET_SCENE2_TEXTURE].assign(TEX_PIXELS, 0x00102030u);
    for (int n = 5; n <= 7; n++)
        r[n].assign(FRAME_PIXELS, 0xFFFFFFFFu);
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    show.pass(0, 7);
    show.pass(50, 6); // the song went back: no scene change, level holds, offset moves
    EXPECT_EQ(show.s().scene_index, 1);
    EXPECT_EQ(show.s().flash_level, 255);
    EXPECT_EQ(show.s().polar_offset, 50);
    show.pass(150, 6);
    show.pass(150, 6);
    EXPECT_EQ(show.s().flash_level, 255);
    EXPECT_EQ(count_not(show.frame(), WHITE), 0);
    show.pass(278, 7); // 128 ticks at 7: level 0
    show.pass(278, 5);
    EXPECT_EQ(count_not(show.frame(), 0x00102030u), 0); // texture only, no overlay
}

TEST(Scene2, OverlayChangesWithTheSongAndBothFlashesFire) {
    AssetRecords r = default_asset_records(0);
    r[ASSET_SCENE2_OVERLAY_1][at(1, 1)] = 0xFF555556u; // passes KEY_LOW
    r[ASSET_SCENE2_OVERLAY_1][at(2, 1)] = KEY_LOW;     // equal: not drawn
    r[ASSET_SCENE2_OVERLAY_1 + 1][at(3, 1)] = 0xFF800000u;
    r[ASSET_SCENE2_OVERLAY_1 + 2][at(5, 1)] = 0xFFFFFFFFu;
    r[ASSET_SCENE2_OVERLAY_1 + 2][at(6, 1)] = 0x7FFFFFFFu; // key byte too low
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    show.pass(0, 7);
    show.pass(128, 7);
    show.pass(128, 7);
    EXPECT_EQ(show.frame()[at(1, 1)], 0x00555556u); // the flash pass drops the key byte
    EXPECT_EQ(count_not(show.frame(), 0), 1);

    show.pass(128, 8); // first frame at 8: flash
    EXPECT_EQ(s.flash_stage, 1);
    EXPECT_EQ(count_not(show.frame(), WHITE), 0);
    show.pass(256, 8);
    show.pass(256, 8);
    EXPECT_EQ(show.frame()[at(3, 1)], 0x00800000u);
    EXPECT_EQ(count_not(show.frame(), 0), 1);

    show.pass(256, 9); // first later frame at 9: second flash
    EXPECT_EQ(s.flash_stage, 2);
    EXPECT_EQ(count_not(show.frame(), WHITE), 0);
    show.pass(384, 9);
    show.pass(384, 9);
    EXPECT_EQ(show.frame()[at(5, 1)], WHITE);
    EXPECT_EQ(count_not(show.frame(), 0), 1);

    show.pass(384, 8); // each flash fires once per run
    EXPECT_EQ(s.flash_stage, 2);
    EXPECT_EQ(s.flash_level, 0);
}

TEST(Scene2, SevenStraightToNineFiresNoFlash) {
    AssetRecords r = default_asset_records(0);
    r[ASSET_SCENE2_OVERLAY_1 + 2][at(5, 1)] = 0xFFFFFFFFu;
    TestShow show(r);
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    show.pass(0, 7);
    show.pass(128, 7);
    show.pass(128, 9);
    EXPECT_EQ(s.flash_stage, 0);
    EXPECT_EQ(s.flash_level, 0);
    EXPECT_EQ(show.frame()[at(5, 1)], WHITE); // overlay 7, unflashed
    EXPECT_EQ(count_not(show.frame(), 0), 1);
    show.pass(128, 8); // the song goes back to 8: the first flash still fires
    EXPECT_EQ(s.flash_stage, 1);
    show.pass(128, 9);
    EXPECT_EQ(s.flash_stage, 2);
}

TEST(Scene2, ExitAtTenRunsSceneThreeInTheSamePass) {
    TestShow show(default_asset_records(0));
    ASSERT_TRUE(show.ok);
    show.pass(0, 7);
    show.pass(5, 10);
    EXPECT_EQ(show.s().scene_index, 2);
    EXPECT_EQ(show.s().scene_started, 3);
    EXPECT_EQ(show.s().polar_offset, 5);
    EXPECT_EQ(show.s().flash_level, 255); // the steps at 10 do not lower the level
    // Scene 3's frame with an all-zero light map is black, not Scene 2's white.
    EXPECT_EQ(count_not(show.frame(), 0), 0);
}

} // namespace
