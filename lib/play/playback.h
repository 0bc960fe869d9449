// quab-play's music side: a thread of its own makes every libmikmod call from Player_Start to
// Player_Stop, mixes the module in short blocks into the sound output (or, silent, against the
// system clock) and publishes, per block, the song position, row, song time and tick at the
// block's first sample. The picture side asks which block is being heard now.
#pragma once

#include <cstdint>
#include <string>

#include "lib/show_plan/fit.h"

// Sample frames per published block: a third of a tick, so that blocks never straddle a tick.
constexpr std::uint32_t BLOCK_FRAMES = 294;

// The clock one pass of the show reads, as heard now.
struct HeardClock {
    std::int32_t tick_count;
    std::int16_t sngpos;
    std::uint16_t patpos;
    std::uint32_t sngtime;
    std::uint32_t jumps; // number of the last jump made before this sample (0: none)
    // The stretch of music the sample lies in, played straight on from one place: the start, a
    // jump, a loop going round or another module. Counted up from 0 at the start; where it began
    // (the tick of its first sample) and the song position and row it began at.
    std::uint32_t stretch;
    std::int32_t stretch_tick;
    std::int16_t stretch_sngpos;
    std::uint16_t stretch_patpos;
    bool song_ended;     // the sample heard is past the end of the song
    std::int64_t sample; // the sample frame heard (before the first one: negative)
};

struct PlaybackSettings {
    bool mute;                   // no sound output by choice
    std::uint32_t buffer_ms;     // sound mixed ahead of the output, in milliseconds
    std::int16_t start_position; // song position the music starts from
    std::uint16_t start_row;     // row of that position the music starts from
};

// Starts the music thread on the module loaded in the collector; it opens the sound output
// (unless muted) and returns at once. Until the output has opened (at most SOUND_INIT_WAIT_S
// seconds, then the show goes silent after one line on standard error) the clock stands at the
// first sample. An output lost later is told once on standard error, and the show goes on
// silent, in time. After playback_stop it may be called again (on another module): the
// clock starts again at 0.
void playback_start(const PlaybackSettings& settings);

// What is heard now: the sound output's consumed samples less its latency, or the system clock
// while silent. Never waits for the sound server.
HeardClock playback_heard();

// Pauses or resumes sound and clock together.
void playback_set_paused(bool paused);

// Moves the song to `position` (below 0: 0): the sound not yet handed to the output is dropped, and
// the blocks mixed from there carry `number`, which the caller counts up from 1. Of jumps asked
// for faster than the music thread takes them, the last one counts.
void playback_jump(std::int16_t position, std::uint32_t number);

// Plays the module at path instead, from its first song position, as jump `number` (numbered
// with the jumps); where it cannot be loaded, one line on standard error and the music plays on.
void playback_switch_module(const char* path, std::uint32_t number);

// At the last playback_heard: how far the heard sample was behind the samples the output had
// taken (the output latency the clock accounts for), and the sound queued ahead of the output,
// in sample frames; both 0 while silent.
void playback_latency(std::uint32_t* output_frames, std::uint32_t* queued_frames);

// Loops the song positions first to last: once the music passes last it goes on at first; last
// below 0 ends the loop. The sound mixed ahead is kept, so the loop is heard without a gap.
void playback_set_loop(std::int16_t first, std::int16_t last);

// The song position and row at the first sample of tick `tick` among the blocks still held
// (the music mixes a little ahead and keeps several seconds behind); a tick beyond the newest
// block takes the newest one's. False when no block is held.
[[nodiscard]] bool playback_clock_at(std::int32_t tick, std::int16_t* sngpos,
                                     std::uint16_t* patpos);

// The module's title as a player names it: its song name, or its file's name where it has none.
std::string module_title(const char* songname, const char* path);

// Whether modules switched to are fitted (playback_switch_module): set before playback_start.
void playback_set_fit_choice(FitChoice choice);

// A module switched to, as the music thread loaded it, with its fitting.
struct SwitchedModule {
    std::uint32_t jump; // the switch's jump number
    bool fitted;
    FittedClock fit;
    std::int32_t show_ticks; // as fit_loaded_module's
    std::string title;
};

// The module switched to as jump `jump`, once; false when there is none for that jump.
[[nodiscard]] bool playback_take_switched(std::uint32_t jump, SwitchedModule* out);

// The line saying why the last module asked for cannot be played, once; false when none.
[[nodiscard]] bool playback_take_switch_failure(std::string* line);

enum class PlaybackEnd {
    STOPPED, // the caller may close the collector and quit SDL
    FAILED,  // as STOPPED, but mixing failed on the way: *error says why
    HELD     // a stopped sound server holds the output: the caller prints what it has to say,
             // flushes and ends the process without closing anything more (_exit)
};

// How long playback_stop waits for the music thread and again for the output to close: at the
// end of the show, briefly; before the music starts again on a saved module, long enough for a
// sound server that is merely slow.
constexpr std::uint64_t PLAYBACK_QUIT_WAIT_NS = 300'000'000;
constexpr std::uint64_t PLAYBACK_RESTART_WAIT_NS = 3'000'000'000;

// Stops the thread (it stops the player) and closes the sound output, within twice wait_ns
// whatever the sound server does.
[[nodiscard]] PlaybackEnd playback_stop(std::string* error,
                                        std::uint64_t wait_ns = PLAYBACK_QUIT_WAIT_NS);
