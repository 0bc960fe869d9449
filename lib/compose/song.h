// The show's soundtrack as a module description: the show's song positions and a tail, one
// pattern each, arranged
// along the show's scenes (intro, drop, five changes of mood, the picture sequence, the
// close).
#pragma once

#include <array>
#include <cstdint>

#include "core/show.h"
#include "core/timeline.h"
#include "lib/xm/xm.h"

constexpr std::uint32_t SONG_CHANNELS = 22;
// The show's positions (0 to LAST_SHOW_POSITION), then the tail that ends it.
constexpr std::uint32_t SONG_POSITIONS = SHOW_POSITIONS + 1;
constexpr std::uint32_t SONG_SPEED = 6; // ticks per row
constexpr std::uint32_t SONG_BPM = 130; // 16 rows a bar: 130 beats a minute

// How long each song position lasts, in rows, chosen for the scene it plays under. A player
// tick lasts 2.5 / 130 s, so a row lasts 6 x 2.5 / 130 s = 0.1154 s and a bar of 16 rows
// 1.846 s. The scenes animate by the show's own clock, 50 ticks a second; their animations'
// lengths are core/show.h's (SCENE1_FADE_TICKS, SCENE5_STRIP_TICKS, SCENE8_SCROLLER_TICKS).
//
//  0      Scene 1 fades the team line in: SCENE1_FADE_TICKS, 2.56 s, 22.2 rows. 64 rows leave the
//  line 4.8 s at full. 1      The line holds: 64 rows. 2      The line fades out to black:
//  SCENE1_FADE_TICKS again. 24 rows (6 beats,
//         2.77 s) let it finish and hold black 0.2 s before the title comes.
//  3      The title fades in: SCENE1_FADE_TICKS again; 64 rows leave it 4.8 s at full.
//  4      The title fades out while the build rises: 24 rows as at 2, black when it ends and
//         kept through 5 and 6.
//  5, 6   The breath before the drop: 2 rows each, 0.46 s together, the last hits and then
//         silence over a dark screen.
//  7-9    Scene 2's white flash fades as fast as Scene 1's fade: 2.56 s, 22.2 rows. 64 rows each
//         leave each word 4.8 s after its flash.
//  10-13  Scenes 3 and 4 have no timed animation: 64 rows each.
//  14-17  Scene 5's strip rolls through in SCENE5_STRIP_TICKS: 19.9 s, 172.3 rows.
//         4 x 64 rows (29.5 s) roll it through and leave the tunnel 9.7 s to itself.
//  18-20  Scene 6's panels circle every 360 ticks (7.2 s): 64 rows each.
//  21     Scene 7's last word goes after row 60; the pattern needs 62 rows at least: 64.
//  22-29  Scene 8's scroller comes to rest after SCENE8_SCROLLER_TICKS: 27.6 s, 239.2 rows. 8 x 32
//  rows are 256 rows, 29.5 s: the closing card stands
//         1.9 s before the tail ends the show.
//  30     The tail that releases every voice; the show has ended when it plays.
//
// The show (positions 0 to 29) is 1460 rows: 168.5 s, 2 minutes 48.
constexpr std::uint8_t SONG_ROWS[SONG_POSITIONS] = {
    64, 64, 24, 64, 24, 2,  2,  64, 64, 64, 64, 64, 64, 64, 64, 64,
    64, 64, 64, 64, 64, 64, 32, 32, 32, 32, 32, 32, 32, 32, 16,
};

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
