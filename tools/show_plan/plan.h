// The plan of a show for its maker: when each scene plays on the module's clock, what it shows,
// where the picture goes black, and the warnings that name what to change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "core/timeline.h"
#include "tools/show_plan/show_clock.h"

constexpr std::int32_t TICKS_PER_S = 50;

// How long the scenes' animations run, in ticks of the show's clock.
// Scene 1 moves its fade level by 2 a tick between 255 and 0: 128 steps either way.
constexpr std::int32_t SCENE1_FADE_TICKS = 128;
// Scene 5's strip (3300 columns) moves 3 columns a tick and is drawn while its 320-column window
// starts at column 2979 or before: gone on the 994th tick.
constexpr std::int32_t SCENE5_STRIP_TICKS = 994;
// Scene 8's scroller (3000 rows) moves 2 rows a tick and stops with its last 240 rows on
// screen: 1380 ticks.
constexpr std::int32_t SCENE8_SCROLLER_TICKS = 1380;

// The show is played for black frames up to this long; a show that runs on past it is already
// warned about.
constexpr std::int32_t BLACK_CHECK_TICKS = 10 * 60 * TICKS_PER_S;

// A black stretch longer than this is taken for a stall.
constexpr std::int32_t LONGEST_BLACK_TICKS = 3 * TICKS_PER_S;

// A keyed picture with fewer of its Pixels above the key than this share (parts per thousand)
// all but vanishes.
constexpr std::uint32_t FEW_KEYED_PER_MILLE = 5;

// One run of the clock at one song position.
struct PositionRun {
    std::int16_t sngpos;
    std::size_t first;      // first reading at this position
    std::size_t end;        // first reading after it
    std::uint16_t last_row; // the highest row played
};

struct SceneSpan {
    bool reached;
    bool ends;         // false: the show never moves on (the song stops or loops back first)
    std::size_t first; // first reading that shows it
    std::size_t end;   // first reading that shows a later scene (or the end of the clock)
};

struct ShowPlan {
    std::vector<PositionRun> runs; // in playing order
    SceneSpan scenes[SCENE_COUNT];
    ClockEnd end;
    std::size_t readings;       // the show's length in readings (where it ends or the clock stops)
    std::int16_t last_position; // the highest song position played
};

// Follows the sequencer over the clock: a scene starts at the first reading whose song position
// is past the previous scene's last, and the show never goes back.
ShowPlan plan_show(const ShowClock& clock);

// Seconds at a reading.
static inline double reading_s(std::size_t reading) {
    return static_cast<double>(reading) / CLOCK_READINGS_PER_S;
}

// The first run at song position p, or null when the song never plays it.
const PositionRun* first_run(const ShowPlan& plan, std::int16_t p);

// Warnings about the module's timing: the show that does not end, the scenes that do not come,
// the animations cut short by their scene's end, Scene 7's pictures beyond its pattern.
void timing_warnings(const ShowPlan& plan, const char* music_path,
                     std::vector<std::string>* warnings);

// A keyed asset's Pixels above its key threshold.
struct KeyedAsset {
    int asset;
    std::uint32_t threshold;
};
struct KeyCount {
    std::uint32_t above;
    std::uint32_t pixels;
};
KeyCount count_above_key(AssetTable assets, const KeyedAsset& keyed);

// Warnings about keyed pictures and overlays that never or hardly show.
void key_warnings(AssetTable assets, const char* assets_path, std::vector<std::string>* warnings);

// A stretch of black frames, in ticks from the start of the show.
struct BlackStretch {
    std::int32_t first_tick;
    std::int32_t end_tick;
};

// Plays the show offline on the clock, one pass per tick up to BLACK_CHECK_TICKS, and returns
// its stretches of black frames (as a video's black detection sees them). False when the
// show's buffers cannot be had.
[[nodiscard]] bool find_black(AssetTable assets, const ShowClock& clock, const ShowPlan& plan,
                              std::vector<BlackStretch>* stretches);

// Warnings about black stretches longer than LONGEST_BLACK_TICKS.
void black_warnings(const ShowPlan& plan, const std::vector<BlackStretch>& stretches,
                    std::vector<std::string>* warnings);

// Prints the plan: each scene's song positions, its start and end and what it shows.
void print_plan(const ShowPlan& plan, const char* music_path);
