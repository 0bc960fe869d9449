// The exact seek: after a seek the frame is the one a straight run of one pass per tick from
// tick 0 draws at that tick, and later passes go on as that run does, wherever the show was
// before; a restart is a fresh show. The straight run is a plain loop of show_pass_at.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "core/core.h"
#include "core/timeline.h"
#include "tests/support/show_fixture.h"

namespace {

// Ticks a song position lasts in the test's song; the song runs positions 0 to 30, and 30
// ends the show. Position 0 fades Scene 1 in by 200 of 255 and position 2 out by only 80, so the
// pixels only the early mask shows keep a colour under the late mask.
constexpr std::int32_t POSITION_TICKS = 40;
constexpr std::int32_t FIRST_POSITION_TICKS = 100;
constexpr std::int32_t TICKS = FIRST_POSITION_TICKS + (LAST_SHOW_POSITION + 1) * POSITION_TICKS;

// The first tick of song position p.
constexpr std::int32_t at_position(int p) {
    return p == 0 ? 0 : FIRST_POSITION_TICKS + (p - 1) * POSITION_TICKS;
}

std::vector<TickClock> tick_table() {
    std::vector<TickClock> ticks;
    for (int p = 0; p <= LAST_SHOW_POSITION + 1; p++) {
        std::int32_t length = at_position(p + 1) - at_position(p);
        for (std::int32_t k = 0; k < length; k++)
            ticks.push_back(
                {static_cast<std::int16_t>(p), static_cast<std::uint16_t>(k * 64 / length)});
    }
    return ticks;
}

// Noise with one pixel in three fully keyed, so every keyed copy draws some pixels and not
// others.
AssetRecords noise_records() {
    AssetRecords r = default_asset_records(0);
    std::uint32_t state = 12345;
    for (auto& record : r)
        for (Pixel& p : record) {
            state = state * 1664525u + 1013904223u;
            p = (state >> 8) % 3 == 0 ? 0xFFF0F0F0u | (state >> 24) : (state >> 8) & 0xFFFFFFu;
        }
    return r;
}

// A tick of scene k (0-based), ticks_in after its first.
constexpr std::int32_t in_scene(int k, std::int32_t ticks_in) {
    return at_position(scene_first_position(k)) + ticks_in;
}

using Frame = std::vector<Pixel>;

// The straight run's frames at the ticks asked for.
std::map<std::int32_t, Frame> straight_run(const AssetRecords& records,
                                           const std::vector<TickClock>& ticks,
                                           const std::vector<std::int32_t>& wanted) {
    std::map<std::int32_t, Frame> frames;
    TestShow show(records);
    EXPECT_TRUE(show.ok);
    for (std::int32_t t = 0; t < TICKS; t++) {
        show_pass_at(&show.s(), &show.sh.clock, t, ticks[t].sngpos, ticks[t].patpos);
        for (std::int32_t w : wanted)
            if (w == t)
                frames[t] = Frame(show.frame(), show.frame() + FRAME_PIXELS);
    }
    return frames;
}

int differing(const Pixel* a, const Frame& b) {
    int n = 0;
    for (int i = 0; i < FRAME_PIXELS; i++)
        n += a[i] != b[i];
    return n;
}

// Where the show was before the seek (a seek there, then some passes on) and where it seeks to.
struct SeekCase {
    const char* what;
    std::int32_t from;
    std::int32_t to;
};

// Passes played after each seek, before the next.
constexpr std::int32_t PLAYED = 5;

const SeekCase SEEKS[] = {
    {"into Scene 1 at position 1 (faded in, not black)", 0, at_position(1) + 3},
    {"into Scene 1's late mask", at_position(1), at_position(4) + 17},
    {"forward into Scene 2", 0, in_scene(1, 50)},
    {"forward into Scene 3", in_scene(1, 5), in_scene(2, 61)},
    {"from Scene 3 to a later scene (6)", in_scene(2, 30), in_scene(5, 9)},
    {"from Scene 3 to an earlier scene (1)", in_scene(2, 70), at_position(3) + 1},
    {"forward into Scene 4", in_scene(0, 100), in_scene(3, 33)},
    {"forward into Scene 5", 0, in_scene(4, 77)},
    {"from Scene 5 to a later scene (8)", in_scene(4, 20), in_scene(7, 200)},
    {"from Scene 5 to an earlier scene (3)", in_scene(4, 130), in_scene(2, 44)},
    {"back into Scene 5 from Scene 8", in_scene(7, 10), in_scene(4, 150)},
    {"back into Scene 6", in_scene(7, 250), in_scene(5, 100)},
    {"into Scene 7 at its pictures", in_scene(2, 0), in_scene(6, 25)},
    {"back to Scene 1's first tick", in_scene(6, 5), 0},
    {"past the show's end", in_scene(3, 0), TICKS - 1},
    {"a loop round Scene 3: first", in_scene(2, 10), in_scene(2, 10)},
    {"a loop round Scene 3: again", in_scene(2, 10 + PLAYED), in_scene(2, 10)},
    {"a loop round Scenes 5 and 6: first", in_scene(4, 150), in_scene(4, 150)},
    {"a loop round Scenes 5 and 6: again", in_scene(4, 150 + PLAYED), in_scene(4, 150)},
};

TEST(Seek, FrameAfterASeekIsTheStraightRunsFrameAndPlayGoesOnFromIt) {
    AssetRecords records = noise_records();
    std::vector<TickClock> ticks = tick_table();
    std::vector<std::int32_t> wanted;
    for (const SeekCase& c : SEEKS)
        for (std::int32_t k = 0; k <= PLAYED; k++)
            wanted.push_back(std::min(c.to + k, TICKS - 1));
    std::map<std::int32_t, Frame> reference = straight_run(records, ticks, wanted);
    // The test means something: the straight run is not black at position 1 and draws.
    ASSERT_GT(count_not(reference[SEEKS[0].to].data(), 0), FRAME_PIXELS / 10);

    TestShow show(records);
    ASSERT_TRUE(show.ok);
    SeekIndex index{};
    ASSERT_TRUE(seek_index_start(&index, &show.s(), ticks.data(), TICKS));
    // Built in pieces, as the page builds it; a seek past the built part builds on.
    ASSERT_TRUE(seek_index_build(&index, 300));
    for (const SeekCase& c : SEEKS) {
        ASSERT_TRUE(show_seek(&show.s(), &show.sh.clock, &index, c.from));
        for (std::int32_t t = c.from + 1; t <= c.from + PLAYED && t < TICKS; t++)
            show_pass_at(&show.s(), &show.sh.clock, t, ticks[t].sngpos, ticks[t].patpos);
        ASSERT_TRUE(show_seek(&show.s(), &show.sh.clock, &index, c.to));
        EXPECT_EQ(differing(show.frame(), reference[c.to]), 0) << c.what << ", tick " << c.to;
        for (std::int32_t t = c.to + 1; t <= c.to + PLAYED && t < TICKS; t++) {
            show_pass_at(&show.s(), &show.sh.clock, t, ticks[t].sngpos, ticks[t].patpos);
            EXPECT_EQ(differing(show.frame(), reference[t]), 0) << c.what << ", played to " << t;
        }
    }
    EXPECT_TRUE(seek_index_built(&index));
    seek_index_free(&index);
}

// A restart after Scenes 3 and 5 have rotated the wobble table plays as a fresh show.
TEST(Seek, RestartPlaysAsAFreshShow) {
    AssetRecords records = noise_records();
    std::vector<TickClock> ticks = tick_table();
    std::int32_t checks[] = {in_scene(2, 3), in_scene(4, 9), in_scene(0, 60)};
    std::map<std::int32_t, Frame> reference =
        straight_run(records, ticks, {checks[0], checks[1], checks[2]});
    for (std::int32_t check : checks) {
        TestShow show(records);
        ASSERT_TRUE(show.ok);
        for (std::int32_t t = 0; t < in_scene(5, 0); t++)
            show_pass_at(&show.s(), &show.sh.clock, t, ticks[t].sngpos, ticks[t].patpos);
        show_restart(&show.s());
        for (std::int32_t t = 0; t <= check; t++)
            show_pass_at(&show.s(), &show.sh.clock, t, ticks[t].sngpos, ticks[t].patpos);
        EXPECT_EQ(differing(show.frame(), reference[check]), 0) << "tick " << check;
    }
}

} // namespace
