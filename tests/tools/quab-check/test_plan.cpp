// The plan's scene spans on clocks written by hand: the sequencer moves on one scene per block,
// runs several scenes in one pass when the song jumps ahead, and never goes back.
#include <gtest/gtest.h>

#include <vector>

#include "lib/show_plan/plan.h"

namespace {

// One reading per song position given, patpos 0.
ShowClock clock_of(const std::vector<std::int16_t>& positions, ClockEnd end) {
    ShowClock c;
    c.end = end;
    c.limit_s = 0;
    for (std::size_t k = 0; k < positions.size(); k++)
        c.readings.push_back({static_cast<std::int32_t>(k / TICK_READINGS), positions[k], 0});
    return c;
}

struct Span {
    bool reached, ends;
    std::size_t first, end;
};

TEST(Plan, ScenesFollowTheSequencer) {
    struct Case {
        const char* name;
        std::vector<std::int16_t> positions;
        ClockEnd end;
        Span spans[8];
    } cases[] = {
        // Readings 0-1 at position 0, 2 at 7 (Scene 2), 3-4 at 21 (Scenes 3 to 6 pass in one
        // pass, Scene 7 shows), 5 at 22; the show ends after reading 5.
        {"jumps ahead",
         {0, 0, 7, 21, 21, 22},
         ClockEnd::SHOW_ENDED,
         {{true, true, 0, 2},
          {true, true, 2, 3},
          {true, true, 3, 3},
          {true, true, 3, 3},
          {true, true, 3, 3},
          {true, true, 3, 3},
          {true, true, 3, 5},
          {true, true, 5, 6}}},
        // Back from 12 (Scene 4) to 3: Scene 4 stays until the song passes 13 again. The song
        // then stops, and the show with it: Scene 5 ends there, the others never come.
        {"goes back",
         {0, 12, 3, 3, 13, 14},
         ClockEnd::SONG_ENDED,
         {{true, true, 0, 1},
          {true, true, 1, 1},
          {true, true, 1, 1},
          {true, true, 1, 5},
          {true, true, 5, 6},
          {false, false, 0, 0},
          {false, false, 0, 0},
          {false, false, 0, 0}}},
        // The song ends at position 25: the pass past it runs no block; the show ends with
        // Scene 8, which started at reading 2.
        {"ends in Scene 8",
         {20, 21, 25},
         ClockEnd::SHOW_ENDED,
         {{true, true, 0, 0},
          {true, true, 0, 0},
          {true, true, 0, 0},
          {true, true, 0, 0},
          {true, true, 0, 0},
          {true, true, 0, 1},
          {true, true, 1, 2},
          {true, true, 2, 3}}},
        // The show ends during Scene 6 (the next position is 30): Scenes 7 and 8 get their
        // set-up in the last pass, after the last reading.
        {"ends from Scene 6",
         {0, 18, 19},
         ClockEnd::SHOW_ENDED,
         {{true, true, 0, 1},
          {true, true, 1, 1},
          {true, true, 1, 1},
          {true, true, 1, 1},
          {true, true, 1, 1},
          {true, true, 1, 3},
          {true, true, 3, 3},
          {true, true, 3, 3}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ShowPlan plan = plan_show(clock_of(c.positions, c.end));
        for (int k = 0; k < 8; k++) {
            SCOPED_TRACE("Scene " + std::to_string(k + 1));
            EXPECT_EQ(plan.scenes[k].reached, c.spans[k].reached);
            if (!c.spans[k].reached)
                continue;
            EXPECT_EQ(plan.scenes[k].ends, c.spans[k].ends);
            EXPECT_EQ(plan.scenes[k].first, c.spans[k].first);
            EXPECT_EQ(plan.scenes[k].end, c.spans[k].end);
        }
    }
}

} // namespace
