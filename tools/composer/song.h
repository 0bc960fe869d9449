// The show's soundtrack as a module description: 31 song positions, one pattern each, arranged
// along the show's scenes (intro, drop, five changes of mood, the picture sequence, the close).
#pragma once

#include <array>
#include <cstdint>

#include "core/timeline.h"
#include "tools/xm/xm.h"

constexpr std::uint32_t SONG_CHANNELS = 22;
constexpr std::uint32_t SONG_POSITIONS = 31; // 0..29 are the show, 30 the tail that ends it
constexpr std::uint32_t SONG_PATTERN_ROWS = 64;
constexpr std::uint32_t SONG_TAIL_ROWS = 16;
constexpr std::uint32_t SONG_SPEED = 6; // ticks per row
constexpr std::uint32_t SONG_BPM = 130; // 16 rows a bar: 130 beats a minute

// Channel roles, fixed for the whole song.
enum SongChannel : std::uint8_t {
    CH_KICK,
    CH_SNARE,
    CH_CLAP,
    CH_HAT,
    CH_OPEN_HAT,
    CH_CRASH,
    CH_BASS,
    CH_LEAD,
    CH_LEAD_ECHO,
    CH_PAD1,
    CH_PAD2,
    CH_PAD3,
    CH_ARP,
    CH_ARP_ECHO,
    CH_STAB,
    CH_FX,
    CH_BELL,
    CH_BELL_ECHO,
    CH_PAD_B1, // the second set of pad voices: chords alternate between the sets
    CH_PAD_B2,
    CH_PAD_B3,
    CH_HARMONY, // a third below the lead in the closing choruses
    CH_SPARE,   // unused: the format wants an even channel count
};

// The song position of the picture sequence, and the rows of its pattern on which a new word
// appears: the row after each of Scene 7's thresholds, where the scene moves on.
constexpr std::uint32_t WORDS_POSITION = SCENE7_POSITION;
constexpr std::array<std::uint8_t, SCENE7_PICTURES + 1> WORD_ROWS = [] {
    std::array<std::uint8_t, SCENE7_PICTURES + 1> rows{};
    for (int i = 0; i <= SCENE7_PICTURES; i++)
        rows[i] = static_cast<std::uint8_t>(SCENE7_ROW_AFTER[i] + 1);
    return rows;
}();

// Composes the whole module. Deterministic: the same description on every call.
XmModule compose_song();
