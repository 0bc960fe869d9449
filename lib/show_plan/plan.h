// The plan of a show for its maker: when each scene plays on the module's clock, what it shows,
// where the picture goes black, and the warnings that name what to change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "core/show.h"
#include "core/timeline.h"
#include "lib/show_plan/show_clock.h"
#include "music/sample_clock.h"

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
    bool fitted;                // on a fitted clock: its song ends where the show ends
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

// A keyed asset's Pixels that pass its key (ASSET_KEY).
struct KeyCount {
    std::uint32_t above;
    std::uint32_t pixels;
};
KeyCount count_above_key(AssetTable assets, int asset);

// Warnings about keyed pictures and overlays that never or hardly show.
void key_warnings(AssetTable assets, const char* assets_path, std::vector<std::string>* warnings);

// A stretch of black frames, in ticks from the start of the show.
struct BlackStretch {
    std::int32_t first_tick;
    std::int32_t end_tick;
    // The last tick within it at which Scene 1 has faded all the way to black, or -1: from the
    // stretch's start up to there the black is Scene 1's own fade.
    std::int32_t last_faded_tick;
};

// Plays the show offline on the clock, one pass per tick up to BLACK_CHECK_TICKS, and returns
// its stretches of black frames (as a video's black detection sees them). False when the
// show's buffers cannot be had.
[[nodiscard]] bool find_black(AssetTable assets, const ShowClock& clock, const ShowPlan& plan,
                              std::vector<BlackStretch>* stretches);

// Warnings about black stretches longer than LONGEST_BLACK_TICKS, each with what to shorten (in
// seconds and in rows at the song's pace) or, where the pictures are to blame, brighten.
void black_warnings(const ShowPlan& plan, const std::vector<BlackStretch>& stretches,
                    std::vector<std::string>* warnings);

// Prints the plan: each scene's song positions, its start and end and what it shows.
void print_plan(const ShowPlan& plan, const char* music_path);

// Prints the short answer for a musician: what the show needs from a module (its song
// positions, and how long those that carry an animation must be, in rows at the song's pace)
// and how far this song is from each need.
void print_needs(const ShowPlan& plan);

// Whether the song meets every need print_needs lists.
bool meets_show_needs(const ShowPlan& plan);
