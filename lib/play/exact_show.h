// The uninterrupted show at any tick, for quab-play: the module's tick table (the song position
// and row the mix has at each tick, taken from one place so that another clock can stand in) and
// the seek index over it, started again whenever the show's assets or tables change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/core.h"

struct ExactShow {
    std::vector<TickClock> ticks; // empty: none known, the show restarts instead of seeking
    // The song's own position and row at each tick, where the show reads another clock (fitted);
    // empty: ticks are the song's own.
    std::vector<TickClock> song;
    SeekIndex index;
    bool indexed; // the index is started over the show as it is now
};

// The tick table of the module at music_path, mixed silently from its start as quab-export mixes
// it. Uses the collector: call only while the music thread is not running. False with *error.
[[nodiscard]] bool module_tick_table(const char* music_path, std::vector<TickClock>* ticks,
                                     std::string* error);

// The first tick at sngpos and patpos or, where the mix never stands there, the first tick of
// sngpos at a later row, else of the nearest later position; the table's end when none.
std::int32_t first_tick_at(const std::vector<TickClock>& ticks, std::int16_t sngpos,
                           std::uint16_t patpos);

// Starts the index again over the show and the table (after a load or any reload). False when
// memory runs out: the show then restarts instead of seeking.
bool exact_show_reindex(ExactShow* e, const ShowState* show);

// Runs the index on by a few passes, between frames.
void exact_show_build_some(ExactShow* e);

// Puts the show at tick: the uninterrupted show's frame there. False when no index is to be had
// (the show then restarts at that tick, as before the exact seek).
bool exact_show_seek(ExactShow* e, ShowState* show, ScriptedClock* clock, std::int32_t tick);

void exact_show_free(ExactShow* e);
