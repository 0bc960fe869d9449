// Music and timing: libmikmod with the show's fixed mixing settings, the loaded module, the
// 10 ms interval timer whose handler counts 50 Hz ticks, and the mixer thread.
#pragma once

#include <atomic>
#include <cstdint>

#include <mikmod.h>

// The module returned by Player_Load; null until music_start succeeds. The mixer thread plays
// it; the frame loop follows the heard_ words below, not its fields.
extern MODULE* music_module;

// 20 ms ticks since the timer was armed; written by the signal handler only.
extern std::atomic<std::int32_t> tick_count;
// Signals since the last tick, 0 or 1; the handler's own.
extern std::atomic<std::uint8_t> half_tick;
// The frame loop runs while non-zero; starts at 1 and is only ever cleared.
extern std::atomic<std::uint8_t> running;
// Set by the mixer thread once the song has played past the end of its order list (or has
// none): the music has stopped, and the show ends with it.
extern std::atomic<std::uint8_t> music_ended;

// The song position, row and song time (1/1024 s) of the sound being heard now, behind those
// of the module by what the sound output still holds. Written by the mixer thread only (atomic
// stores); the frame loop follows these, so that the picture keeps step with the sound.
extern std::int16_t heard_sngpos;
extern std::uint16_t heard_patpos;
extern std::uint32_t heard_sngtime;

static_assert(std::atomic<std::int32_t>::is_always_lock_free);
static_assert(std::atomic<std::uint8_t>::is_always_lock_free);

// The most voices the show's module plays at once (Player_Load's maximum of channels), live
// and in every offline mix.
constexpr std::uint8_t MUSIC_MAX_VOICES = 24;

// Writes the show's six mixing settings (pansep, volume, reverb, device 0 = autodetect, mixing
// rate, mode) in that order; called before MikMod_Init. A program that picks its own output
// driver sets md_device after it.
void music_apply_settings();

// What a live sound output holds, as song time ahead of what is heard; set by music_start
// from the buffer it asks the sound server for.
extern std::int64_t output_delay_ns;

// How long start-up waits for the sound output to answer.
constexpr int SOUND_INIT_WAIT_S = 5;

// Initialises libmikmod with the show's settings and loads the module at path (playback not yet
// started). Returns 1, or 0 after printing libmikmod's text on standard error. A sound output
// that does not answer within SOUND_INIT_WAIT_S seconds is a failure too; the initialisation
// is then left waiting for it until the process exits.
[[nodiscard]] int music_start(const char* path, std::uint8_t max_channels);

// Frees music_module and closes libmikmod. The caller has stopped the player.
void music_stop();

// Installs the SIGALRM handler, starts the module and the mixer thread, arms the 10 ms timer.
// Returns 1, or 0 after its own message, having freed the module and closed libmikmod (both
// are left to the process exit when a stopped server holds the mixer's first write for longer
// than start-up waits for it).
// The mixer thread mixes while the song is not more than half a second (PulseAudio's
// output_delay_ns and a quarter of a second, when more) ahead of the clock; when a live sound
// output stops taking the sound (its server died), it says so once on standard error and the
// song goes on, silent, at the speed of the clock.
[[nodiscard]] int timer_start();

// The SIGALRM handler: counts half ticks and ticks.
void on_timer_signal(int signal_number);

// After the frame loop: clears running, tells the mixer thread to finish and waits for it at
// most half a second. 1 when it has finished: the caller may call libmikmod again
// (Player_Stop, music_stop). 0 when it is still held in the sound output's write (a stopped
// sound server): it holds libmikmod's lock, and the module and the library are left to the
// process exit.
[[nodiscard]] int timer_stop_mixer();
