// The song-position timeline through the pass function: which scene each position selects, that
// a pass runs on through every scene whose end position is already passed (each set-up and one
// render, in order), that the order never goes back, and that the last scene ends the show.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/core.h"
#include "core/timeline.h"
#include "tests/support/show_fixture.h"
#include "tests/support/test_support.h"

namespace {

// The last song position of each scene, Scene 1 to Scene 8, written out by hand: these tests
// hold core/timeline.h, which every scene, tool and script takes the positions from, to it.
constexpr std::int16_t LAST_POSITION[8] = {6, 9, 11, 13, 17, 20, 21, 29};

// Scene 8's layers name their texels (layer 0 in the low half, layer 1 in the high half) and its
// scroller is empty; Scene 6's panel is black over a picture of one colour.
AssetRecords timeline_records() {
    AssetRecords r = default_asset_records(0);
    for (std::uint32_t j = 0; j < TEX_PIXELS; j++) {
        r[ASSET_LAYER0][j] = j;
        r[ASSET_LAYER1][j] = j << 16;
    }
    r[ASSET_SCENE6_PICTURE].assign(FRAME_PIXELS, 0xFF0A0B0Cu);
    return r;
}

// Scene 8's first frame: layer 1 at scroll phase 359 plus layer 0 at phase 0, each looked up at
// (x + scroll_x, y + scroll_y) on the 16-bit texture ring.
Pixel scene_8_first_word(const ShowState& s, int x, int y) {
    return (ring(x + s.scroll_x[359], y + s.scroll_y[359]) << 16) +
           ring(x + s.scroll_x[0], y + s.scroll_y[0]);
}

TEST(Timeline, PositionPast29OnTheFirstPassRunsEverySceneOnceAndEndsTheShow) {
    TestShow show(timeline_records());
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    // Row 13: Scene 7's one render draws its first picture and takes its first step.
    show.pass(40, 30, 13);

    EXPECT_EQ(s.scene_started, 8);
    EXPECT_EQ(s.scene_index, SCENE_END);
    EXPECT_EQ(show.sh.clock.running.load(), 0);
    EXPECT_EQ(s.last_tick, 40);
    // Each later scene's set-up ran: its own values, no tick steps on top.
    EXPECT_EQ(s.strip_offset, 0);
    EXPECT_EQ(s.polar_offset, 0);
    EXPECT_EQ(s.orbit_index, 0);
    EXPECT_EQ(s.slide_step, 1);
    EXPECT_EQ(s.layer0_phase, 0);
    EXPECT_EQ(s.layer1_phase, 359);
    EXPECT_EQ(s.scroller_offset, 0);
    // Scene 6 rendered: work holds its picture, black panels added, key byte dropped.
    for (int i = 0; i < FRAME_PIXELS; i++)
        ASSERT_EQ(s.work[i], 0x000A0B0Cu) << "work word " << i;
    // The frame presented is Scene 8's first.
    int wrong = 0;
    for (int y = 0; y < FRAME_H; y++)
        for (int x = 0; x < FRAME_W; x++)
            wrong += show.sh.s.frame[at(x, y)] != scene_8_first_word(s, x, y);
    EXPECT_EQ(wrong, 0);

    // Nothing runs after the end: a further pass leaves the frame and the state alone.
    show.sh.s.frame[0] = 0x11111111u;
    show.pass(90, 30, 0);
    EXPECT_EQ(show.sh.s.frame[0], 0x11111111u);
    EXPECT_EQ(s.last_tick, 40);
    EXPECT_EQ(s.scene_index, SCENE_END);
}

TEST(Timeline, TableHoldsTheShowsPositions) {
    for (int k = 0; k < 8; k++) {
        EXPECT_EQ(SCENE_LAST_POSITION[k], LAST_POSITION[k]) << "scene " << k + 1;
        EXPECT_EQ(scene_first_position(k), k == 0 ? 0 : LAST_POSITION[k - 1] + 1)
            << "scene " << k + 1;
    }
    EXPECT_EQ(LAST_SHOW_POSITION, 29);
    EXPECT_EQ(SCENE7_POSITION, 21);
    // 0-based scene of each position 0..30; 8 once the show is over.
    const int scene_of[31] = {0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 2, 2, 3, 3, 4, 4,
                              4, 4, 5, 5, 5, 6, 7, 7, 7, 7, 7, 7, 7, 7, 8};
    for (std::int16_t p = 0; p <= 30; p++)
        EXPECT_EQ(scene_at_position(p), scene_of[p]) << "position " << p;
}

class TimelineExit : public ::testing::TestWithParam<int> {};

// Enter scene k at the first position after scene k-1's last; stay through its own last
// position; one position more hands over to scene k+1 (its set-up runs in the same pass).
TEST_P(TimelineExit, EachSceneLeavesJustAfterItsLastPosition) {
    int k = GetParam();
    TestShow show(default_asset_records(0));
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    std::int16_t first = k == 0 ? 0 : static_cast<std::int16_t>(LAST_POSITION[k - 1] + 1);
    show.pass(0, first);
    EXPECT_EQ(s.scene_index, k);
    EXPECT_EQ(s.scene_started, k + 1);
    show.pass(1, LAST_POSITION[k]);
    EXPECT_EQ(s.scene_index, k);
    EXPECT_EQ(s.scene_started, k + 1);
    EXPECT_EQ(show.sh.clock.running.load(), 1);
    show.pass(2, static_cast<std::int16_t>(LAST_POSITION[k] + 1));
    EXPECT_EQ(s.scene_index, k + 1);
    EXPECT_EQ(s.scene_started, k == 7 ? 8 : k + 2);
    EXPECT_EQ(show.sh.clock.running.load(), k == 7 ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Scenes, TimelineExit, ::testing::Range(0, 8));

TEST(Timeline, PositionsOneByOneSelectTheScenesInOrder) {
    TestShow show(default_asset_records(0));
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    constexpr int WANT[31] = {0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 2, 2, 3, 3, 4, 4,
                              4, 4, 5, 5, 5, 6, 7, 7, 7, 7, 7, 7, 7, 7, 8};
    for (std::int16_t pos = 0; pos <= 30; pos++) {
        show.pass(pos * 10, pos);
        EXPECT_EQ(s.scene_index, WANT[pos]) << "position " << pos;
        EXPECT_EQ(s.scene_started, WANT[pos] == 8 ? 8 : WANT[pos] + 1) << "position " << pos;
    }
    EXPECT_EQ(show.sh.clock.running.load(), 0);
}

TEST(Timeline, APositionThatStepsBackNeverBringsAnEarlierSceneBack) {
    TestShow show(timeline_records());
    ASSERT_TRUE(show.ok);
    ShowState& s = show.s();
    show.pass(0, 14);
    ASSERT_EQ(s.scene_index, 4);
    show.pass(0, 0);
    EXPECT_EQ(s.scene_index, 4);
    EXPECT_EQ(s.scene_started, 5);

    show.pass(0, 22);
    ASSERT_EQ(s.scene_index, 7);
    for (std::int16_t pos : {21, 14, 10, 7, 0, -1, -32768}) {
        show.pass(0, pos);
        EXPECT_EQ(s.scene_index, 7) << "position " << pos;
        EXPECT_EQ(s.scene_started, 8) << "position " << pos;
    }
    // Still Scene 8's frame; its set-up did not run again (the phases stay where they were).
    EXPECT_EQ(show.sh.s.frame[at(7, 9)], scene_8_first_word(s, 7, 9));
    show.pass(3, 5);
    show.pass(3, 5);
    EXPECT_EQ(s.layer0_phase, 3);
    EXPECT_EQ(s.scroller_offset, 3 * 640);
    EXPECT_EQ(show.sh.clock.running.load(), 1);
}

} // namespace
