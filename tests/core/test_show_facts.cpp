// The animation lengths core/show.h derives from the scenes' step constants, held to what the
// scenes do on a scripted clock, and to the lengths worked out by hand: Scene 1's level moves 2
// a tick from 255 to 0 (128 ticks), Scene 5's strip 3 columns a tick past column 2979 (994),
// Scene 8's scroller 640 Pixels a tick up to 883,200 (1380).
#include <gtest/gtest.h>

#include <cstdint>

#include "core/core.h"
#include "core/show.h"
#include "tests/support/show_fixture.h"
#include "tests/support/test_support.h"

namespace {

struct AnimationCase {
    const char* name;
    std::int16_t sngpos;  // a position of the scene that holds it
    std::int32_t ticks;   // the derived length
    std::int32_t by_hand; // the same, worked out by hand
    bool (*done)(const ShowState& s);
};

const AnimationCase ANIMATIONS[] = {
    {"Scene 1's fade-in", SCENE1_FADE_IN_POSITIONS[0], SCENE1_FADE_TICKS, 128,
     [](const ShowState& s) { return s.fade_level == 0; }},
    {"Scene 5's strip", scene_first_position(4), SCENE5_STRIP_TICKS, 994,
     [](const ShowState& s) { return s.strip_offset > SCENE5_STRIP_LAST_DRAWN; }},
    {"Scene 8's scroller", scene_first_position(7), SCENE8_SCROLLER_TICKS, 1380,
     [](const ShowState& s) { return s.scroller_offset > SCENE8_SCROLLER_LAST_STEP_FROM; }},
};

TEST(ShowFacts, AnimationLengthsAreWhatTheScenesDo) {
    for (const AnimationCase& c : ANIMATIONS) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.ticks, c.by_hand);
        TestShow show(default_asset_records(0));
        ASSERT_TRUE(show.ok);
        // The scene's set-up at tick 0, then the ticks in two steps: one short of the length,
        // then the length itself.
        show.pass(0, c.sngpos);
        show.pass(c.ticks - 1, c.sngpos);
        EXPECT_FALSE(c.done(show.s()));
        show.pass(c.ticks, c.sngpos);
        EXPECT_TRUE(c.done(show.s()));
    }
}

// The scroller's last step leaves its window on the picture's last 240 rows.
TEST(ShowFacts, ScrollerStopsOnThePicturesLastScreen) {
    TestShow show(default_asset_records(0));
    ASSERT_TRUE(show.ok);
    show.pass(0, scene_first_position(7));
    show.pass(SCENE8_SCROLLER_TICKS + 100, scene_first_position(7));
    EXPECT_EQ(show.s().scroller_offset, 320 * (3000 - 240));
}

} // namespace
