// The fitted clock: the show's song positions and rows laid over a song that does not meet the
// show's needs, so that every scene gets its share of the song, whatever the song's own shape.
// The music is never stretched: only the show's reading of it, tick by tick.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/core.h"
#include "core/timeline.h"
#include "lib/show_plan/plan.h"
#include "lib/show_plan/show_clock.h"
#include "music/mixdown.h"

// A song's first pass is fitted up to here. Ten minutes is longer than the first pass of nearly
// every module (a song pattern that jumps to itself never ends otherwise), still gives each
// scene over a minute, and is as far as the checker looks for black frames.
constexpr std::uint32_t FIT_LIMIT_S = 10 * 60;

// The song's own clock over its first pass, one entry a tick: to where it stops, or to where it
// first jumps back to a position it has played (or FIT_LIMIT_S).
struct SongClock {
    std::vector<FrameClock> ticks; // tick k at entry k
    bool stops;                    // false: it loops back there (or runs on past the limit)
};

struct FittedClock {
    std::vector<TickClock> ticks; // one a tick of the song's first pass
    std::vector<TickClock> song;  // the song's own position and row at each of those ticks
    std::int32_t scene_first_tick[SCENE_COUNT];
    bool song_stops; // as SongClock's: where it does not, the fitted show ends at its last tick
};

// Whether to fit: as the song needs (AUTO), always (--fit) or never (--no-fit).
enum class FitChoice { AUTO, ALWAYS, NEVER };

// Mixes the module loaded in the collector silently over its first pass.
Result mix_song_clock(SongClock* song);

// Loads the module as the collector does and mixes it as mix_song_clock; *bad_module as
// read_show_clock's.
Result read_song_clock(const char* music_path, SongClock* song, bool* bad_module);

// The fitted clock. The scenes share the song in the proportions they have in the show's own
// song (Scene 1's fades to black keep their own length where the song is long enough for it),
// each scene change moved onto the song's own nearest change of position where one lies within
// a quarter of the shorter scene, and the rows of each fitted position advance evenly over it.
FittedClock fit_show_clock(const SongClock& song);

// The first tick of the song's first pass at row patpos of position sngpos, or failing that its
// first tick at sngpos; the pass's length when it never plays sngpos. A player that moves the
// song (a jump, a loop) finds its place on the fitted clock by it.
std::int32_t song_tick_of(const FittedClock& fit, std::int16_t sngpos, std::uint16_t patpos);

// The song's own positions from the first to the last tick of scene k on the fitted clock; false
// when the scene has no tick of its own.
[[nodiscard]] bool song_positions_of_scene(const FittedClock& fit, int k, std::int16_t* first,
                                           std::int16_t* last);

// The show's reading at tick t: past the last tick of a song that loops, a position past the
// show's last one, so that the show ends there; past that of a song that stops, its last.
TickClock fitted_at(const FittedClock& fit, std::int32_t t);

// Whether the show is to be fitted to a song with this plan of its own.
static inline bool fit_wanted(FitChoice choice, const ShowPlan& own) {
    return choice == FitChoice::ALWAYS || (choice == FitChoice::AUTO && !meets_show_needs(own));
}

// For the module loaded in the collector from music_path (not playing): whether the show is
// fitted to it (*fitted), and if so its fitted clock. The module is left loaded afresh from
// music_path. False with *error when the mixer fails or the module cannot be loaded again.
// *show_ticks: the show's length in ticks as it plays, fitted or not; -1 where it does not end
// by itself.
Result fit_loaded_module(const char* music_path, FitChoice choice, bool* fitted, FittedClock* fit,
                         std::int32_t* show_ticks);

// The fitted clock as the checker reads a song: CLOCK_READINGS_PER_S readings a second.
ShowClock fitted_show_clock(const FittedClock& fit);

// Reads --fit and --no-fit into *choice: AUTO with neither, false with *problem when both.
[[nodiscard]] bool settle_fit_choice(bool fit, bool no_fit, FitChoice* choice,
                                     std::string* problem);
