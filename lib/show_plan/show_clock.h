// The show's clock taken from its module, mixed silently as quab-export mixes it: the song
// position and row the show reads at every reading, CLOCK_READINGS_PER_S readings a second.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lib/base/result.h"
#include "music/mixdown.h"
#include "music/sample_clock.h"

// Fine enough that no row of a fast module slips between two readings, and a whole number of
// readings per 50 Hz tick, so that reading TICK_READINGS * t stands at the first sample of tick t.
constexpr std::uint32_t CLOCK_READINGS_PER_S = 1000;
constexpr std::uint32_t TICK_READINGS = CLOCK_READINGS_PER_S / TICKS_PER_S;

// What the show reads at one reading: the exporter's clock of a video frame.
using ClockReading = FrameClock;

enum class ClockEnd {
    SHOW_ENDED, // the song position passed the show's last one
    SONG_ENDED, // the module stopped first
    TIME_LIMIT  // neither within the mixer's limit (a module that loops back)
};

struct ShowClock {
    std::vector<ClockReading> readings; // reading k stands at k / CLOCK_READINGS_PER_S seconds
    ClockEnd end;
    std::uint32_t limit_s; // the mixer's limit, for TIME_LIMIT
};

// Loads and mixes the module. Refused with one line when it cannot; *bad_module then tells a
// module libmikmod refuses from a failure of the machine (library, memory).
Result read_show_clock(const char* music_path, ShowClock* clock, bool* bad_module);

// As read_show_clock, on the module already loaded in the collector (not playing).
Result mix_show_clock(ShowClock* clock);
