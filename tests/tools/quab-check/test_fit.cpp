// The fitted clock on song clocks written by hand: the scenes' shares of the song, scene changes
// drawn to the song's own changes of position, rows even within a position, and the show's end.
#include <gtest/gtest.h>

#include <vector>

#include "core/timeline.h"
#include "lib/show_plan/fit.h"

namespace {

// `positions` song positions of `ticks` ticks each, rows of 6 ticks.
SongClock song_of(int positions, int ticks, bool stops) {
    SongClock song{{}, stops};
    for (int p = 0; p < positions; p++)
        for (int t = 0; t < ticks; t++)
            song.ticks.push_back({static_cast<std::int32_t>(song.ticks.size()),
                                  static_cast<std::int16_t>(p), static_cast<std::uint16_t>(t / 6)});
    return song;
}

TEST(Fit, ScenesShareTheSongInOrder) {
    // A row of the show's own song lasts 50 x 2.5 x 6 / 130 = 5.769 ticks; its scenes have
    // 244, 192, 128, 128, 256, 192, 64 and 256 rows, 1460 in all, and the fades to black in
    // Scene 1 (positions 2 and 4 of 24 rows, 5 and 6 of 2) 52 rows, 300 ticks.
    struct Case {
        const char* name;
        int positions, ticks;
        bool stops;
        std::int32_t first_tick[SCENE_COUNT];
    } cases[] = {
        // 1000 ticks, less than eight times the fades: every position scaled by 1000 / 1460
        // rows; no change of position to move to. Scene 2 at 244 rows: 167.1, and so on.
        {"short, one position", 1, 1000, true, {0, 167, 299, 386, 474, 649, 781, 825}},
        // 9600 ticks: the fades keep their 300 ticks, the other 1408 rows share 9300 ticks
        // (1.1449 times their own length). Ideal starts 1568.2, 2836.4, 3681.8, 4527.3, 6218.2,
        // 7486.4, 7909.1; each moves to a multiple of 600 within a quarter of the shorter scene
        // beside it (317.0, 211.4, 211.4, 211.4, 317.0, 105.7, 105.7 ticks) where there is one.
        {"16 positions of 600 ticks",
         16,
         600,
         false,
         {0, 1800, 3000, 3600, 4527, 6000, 7486, 7909}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SongClock song = song_of(c.positions, c.ticks, c.stops);
        FittedClock fit = fit_show_clock(song);
        ASSERT_EQ(fit.ticks.size(), song.ticks.size());
        for (int k = 0; k < SCENE_COUNT; k++) {
            EXPECT_EQ(fit.scene_first_tick[k], c.first_tick[k]) << "Scene " << k + 1;
            // The fitted position there is the scene's first.
            EXPECT_EQ(scene_at_position(fit.ticks[c.first_tick[k]].sngpos), k) << "Scene " << k + 1;
        }
        // Positions only go forward, one at a time; rows go forward within a position, from 0,
        // and end on the position's last row as the show's own song has them.
        EXPECT_EQ(fit.ticks.front().sngpos, 0);
        EXPECT_EQ(fit.ticks.back().sngpos, LAST_SHOW_POSITION);
        for (std::size_t t = 1; t < fit.ticks.size(); t++) {
            const TickClock &a = fit.ticks[t - 1], &b = fit.ticks[t];
            ASSERT_TRUE(b.sngpos == a.sngpos || b.sngpos == a.sngpos + 1) << "tick " << t;
            if (b.sngpos == a.sngpos)
                ASSERT_GE(b.patpos, a.patpos) << "tick " << t;
            else
                ASSERT_EQ(b.patpos, 0) << "tick " << t;
        }
        // Scene 7's last picture goes after row 60: the fitted rows reach past it.
        std::uint16_t scene7_last_row = 0;
        for (const TickClock& r : fit.ticks)
            if (r.sngpos == SCENE7_POSITION)
                scene7_last_row = r.patpos;
        EXPECT_GT(scene7_last_row, SCENE7_ROW_AFTER[SCENE7_PICTURES]);
    }
}

TEST(Fit, EndAndPlaceOnTheSongsFirstPass) {
    // 4 positions of 600 ticks. A song that stops keeps its last reading past its end; one that
    // loops ends the show there. The song's place: row 3 of position 2 is tick 1218 (1200 + 18).
    for (bool stops : {true, false}) {
        SCOPED_TRACE(stops ? "stops" : "loops");
        FittedClock fit = fit_show_clock(song_of(4, 600, stops));
        TickClock past = fitted_at(fit, 2400);
        EXPECT_EQ(past.sngpos, stops ? LAST_SHOW_POSITION : LAST_SHOW_POSITION + 1);
        EXPECT_EQ(fitted_at(fit, -5).sngpos, 0);
        EXPECT_EQ(song_tick_of(fit, 2, 3), 1218);
        EXPECT_EQ(song_tick_of(fit, 2, 999), 1200); // no such row: the position's first tick
        EXPECT_EQ(song_tick_of(fit, 7, 0), 2400);   // never played: past the end
        // Looping a scene loops the song's positions under it. The fades keep their 300 ticks
        // (an eighth of 2400); Scene 2 would start at 586.4, and moves to the change at 600
        // (within a quarter of its 286.4 ticks): Scene 1 is position 0 alone. Scene 8 starts at
        // 2018.2, no change near: it is all in position 3.
        std::int16_t first = -1, last = -1;
        ASSERT_TRUE(song_positions_of_scene(fit, 0, &first, &last));
        EXPECT_EQ(first, 0);
        EXPECT_EQ(last, 0);
        ASSERT_TRUE(song_positions_of_scene(fit, SCENE_COUNT - 1, &first, &last));
        EXPECT_EQ(first, 3);
        EXPECT_EQ(last, 3);
    }
}

} // namespace
