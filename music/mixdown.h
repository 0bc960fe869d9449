// The show's music played offline through the collector: its samples written out as raw PCM (for
// quab-export's encoder) or dropped (quab-check), and the module's song position and row taken at
// every video frame's time.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The clock one pass of the show reads at a video frame's time.
struct FrameClock {
    std::int32_t tick_count;
    std::int16_t sngpos;
    std::uint16_t patpos;
};

// A show whose song neither passes its last show position nor ends (a module that loops) is cut
// here.
constexpr std::uint32_t MAX_SHOW_SECONDS = 30 * 60;

enum class MixEnd {
    SHOW_ENDED,  // the song position passed last_position
    SONG_ENDED,  // the module played past its last position first
    TIME_LIMIT,  // MAX_SHOW_SECONDS of sound without either (mixdown_song: its limit)
    LOOPED,      // mixdown_song: the song jumped back to a position it had played
    INTERRUPTED, // *stop was set
    WRITE_FAILED // writing the samples failed; *error says why
};

// Plays the module that collector_open loaded from its start; the show ends once the song position
// passes last_position (the show's LAST_SHOW_POSITION). For each video frame k (at fps frames per
// second) it mixes up to and including the frame's first sample, so that a row starting exactly
// there is already playing, and appends the frame's clock to *frames. It stops at the first frame
// whose time the show or the song has ended by: that frame is not appended, and the sound written
// to audio (16-bit stereo at 44,100 Hz, host byte order) ends exactly where it starts. A null
// audio drops the sound (a clock wanted without it). Checks *stop between frames.
MixEnd mixdown_run(FILE* audio, std::uint32_t fps, std::int16_t last_position,
                   const volatile std::sig_atomic_t* stop, std::vector<FrameClock>* frames,
                   std::string* error);

// As mixdown_run, but for the whole song rather than the show: it plays on past the show's last
// position and ends where the song stops (SONG_ENDED), where it first jumps back to a song
// position it has already played (LOOPED: from there on it would only repeat itself) or after
// limit_s seconds (TIME_LIMIT); the frame the end falls on is not appended.
MixEnd mixdown_song(FILE* audio, std::uint32_t fps, std::uint32_t limit_s,
                    const volatile std::sig_atomic_t* stop, std::vector<FrameClock>* frames,
                    std::string* error);
