// The live mixer thread: mixing for a sound output on a thread of its own, never in the tick
// timer's signal handler: a sound server's output driver blocks in its write until the server has
// room, and inside the handler that stalled both the tick count and the frame loop.
//
// The mixer thread mixes while the song is less than half a second (or the output's delay and
// a quarter of a second) ahead of the clock. A server that takes the sound holds each
// MikMod_Update in its write, which keeps the song at the speed of the sound; one that has died
// returns at once, and then the monotonic clock keeps the song at the speed of real time. The
// mixer needs nothing of the main thread, so a frame loop that is slow to be scheduled on a
// busy machine cannot make the sound run dry.
//
// What is heard is behind what is mixed by what the output holds. After each block the mixer
// publishes the song position, row and song time of the sound being heard then, and the frame
// loop follows those, so that the picture keeps step with the sound however large the buffer.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <pthread.h>
#include <semaphore.h>

#include "music/live_mixer.h"
#include "music/music.h"

#include "lib/base/clock.h"

std::atomic<std::uint8_t> music_ended{0};

std::int16_t heard_sngpos = 0;
std::uint16_t heard_patpos = 0;
std::uint32_t heard_sngtime = 0;

// How far the song may run ahead of the clock before the mixer waits. A sound server's buffer
// keeps the song ahead of what is heard (PulseAudio's by output_delay_ns), and this must not
// hold that back; beyond it, the output is not taking the sound at the speed it plays.
static constexpr std::int64_t MIXER_LEAD_MARGIN_NS = 250'000'000;
static constexpr std::int64_t MIXER_LEAD_MIN_NS = 500'000'000;
static constexpr std::int64_t MIXER_IDLE_NS = 10'000'000;

// Posted to end the mixer thread's waits early: at the end of the show.
static sem_t mixer_wake;
static std::atomic<bool> mixer_quit{false};
static pthread_t mixer_thread;
static bool mixer_thread_started = false;
static std::uint64_t mixer_epoch; // when the module started playing (monotonic_ns)

static std::int64_t ns_since(std::uint64_t start_ns) {
    return static_cast<std::int64_t>(monotonic_ns() - start_ns);
}

// Waits on the wake semaphore for up to ns nanoseconds; true when woken (the show is ending).
static bool wait_for_wake(std::int64_t ns) {
    return sem_wait_until_ns(&mixer_wake, deadline_after_ns(ns));
}

// The outputs that play the sound as it is heard; the file writers and "nosound" take it at
// once, and for them a song held to the clock is no loss.
static bool output_is_live() {
    if (!md_driver || !md_driver->Alias)
        return false;
    for (const char* alias : {"pulseaudio", "alsa", "oss", "sdl", "openal"})
        if (std::strcmp(md_driver->Alias, alias) == 0)
            return true;
    return false;
}

// The song positions the mixer has reached and the song time (1/1024 s) from which each holds,
// the start of the block in which it was reached; a new entry only when the position or row
// changes. The mixer thread's own.
struct PositionChange {
    std::uint32_t sngtime;
    std::int16_t sngpos;
    std::uint16_t patpos;
};
static constexpr std::uint32_t POSITION_RING = 256; // rows of five seconds at speed 1
static PositionChange position_ring[POSITION_RING];
static std::uint32_t ring_oldest = 0;
static std::uint32_t ring_count = 0;

static void note_position(std::uint32_t sngtime, std::int16_t sngpos, std::uint16_t patpos) {
    if (ring_count > 0) {
        const PositionChange& last = position_ring[(ring_oldest + ring_count - 1) % POSITION_RING];
        if (last.sngpos == sngpos && last.patpos == patpos)
            return;
    }
    if (ring_count == POSITION_RING) {
        ring_oldest = (ring_oldest + 1) % POSITION_RING;
        ring_count--;
    }
    position_ring[(ring_oldest + ring_count) % POSITION_RING] = {sngtime, sngpos, patpos};
    ring_count++;
}

// Publishes the position of song time heard (1/1024 s): the latest change at or before it.
// Older changes are dropped once a later one is heard.
static void publish_heard(std::uint32_t heard) {
    while (ring_count > 1 && position_ring[(ring_oldest + 1) % POSITION_RING].sngtime <= heard) {
        ring_oldest = (ring_oldest + 1) % POSITION_RING;
        ring_count--;
    }
    if (ring_count > 0 && position_ring[ring_oldest].sngtime <= heard) {
        __atomic_store_n(&heard_sngpos, position_ring[ring_oldest].sngpos, __ATOMIC_RELAXED);
        __atomic_store_n(&heard_patpos, position_ring[ring_oldest].patpos, __ATOMIC_RELAXED);
    }
    __atomic_store_n(&heard_sngtime, heard, __ATOMIC_RELAXED);
}

static std::uint32_t song_minus(std::uint32_t sngtime, std::int64_t delay_ns) {
    std::int64_t delay = delay_ns * 1024 / NS_PER_S;
    return sngtime > delay ? static_cast<std::uint32_t>(sngtime - delay) : 0;
}

static void* mixer_main(void*) {
    bool live = output_is_live();
    // The buffer asked for is PulseAudio's; with the other outputs, whose buffers are not known
    // here, the picture follows the song as mixed.
    bool pulse = live && std::strcmp(md_driver->Alias, "pulseaudio") == 0;
    std::int64_t delay_ns = pulse ? output_delay_ns : 0;
    std::int64_t lead_ns = delay_ns + MIXER_LEAD_MARGIN_NS;
    if (lead_ns < MIXER_LEAD_MIN_NS)
        lead_ns = MIXER_LEAD_MIN_NS;
    bool loss_reported = false;
    note_position(0, music_module->sngpos, music_module->patpos);
    publish_heard(0);
    while (!mixer_quit.load()) {
        // Player_Active is false once the song has passed the end of its order list.
        if (!Player_Active()) {
            // What the output still holds is played out, and heard, before the show ends.
            std::uint32_t end = __atomic_load_n(&music_module->sngtime, __ATOMIC_RELAXED);
            std::uint64_t drain_start = monotonic_ns();
            std::uint32_t heard = song_minus(end, delay_ns);
            while (heard < end && !mixer_quit.load()) {
                if (wait_for_wake(MIXER_IDLE_NS))
                    break;
                heard = song_minus(end, delay_ns - ns_since(drain_start));
                publish_heard(heard < end ? heard : end);
            }
            publish_heard(end);
            music_ended.store(1);
            while (!mixer_quit.load())
                wait_for_wake(NS_PER_S);
            break;
        }
        std::uint32_t before = __atomic_load_n(&music_module->sngtime, __ATOMIC_RELAXED);
        MikMod_Update();
        std::uint32_t sngtime = __atomic_load_n(&music_module->sngtime, __ATOMIC_RELAXED);
        // The output's write returns once the block is in its buffer, which a live output keeps
        // full: the sound heard now is delay_ns of song time before the end of this block.
        note_position(before, music_module->sngpos, music_module->patpos);
        publish_heard(song_minus(sngtime, delay_ns));
        // An update that moved the song on by nothing (a tick longer than the output's block)
        // is not repeated at once: with an output that does not block, the thread would spin.
        if (sngtime == before) {
            wait_for_wake(MIXER_IDLE_NS);
            continue;
        }
        std::int64_t song_ns = static_cast<std::int64_t>(sngtime) * NS_PER_S / 1024;
        std::int64_t ahead = song_ns - ns_since(mixer_epoch);
        if (ahead > lead_ns) {
            if (live && !loss_reported) {
                std::fprintf(stderr, "Sound output lost: the show goes on without music\n");
                loss_reported = true;
            }
            wait_for_wake(ahead - lead_ns);
        }
    }
    return nullptr;
}

// The mixer thread blocks SIGALRM, so the handler always interrupts the main thread.
bool live_mixer_start() {
    if (sem_init(&mixer_wake, 0, 0) != 0)
        return false;
    sigset_t alarm_only, previous;
    sigemptyset(&alarm_only);
    sigaddset(&alarm_only, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &alarm_only, &previous);
    mixer_epoch = monotonic_ns();
    mixer_thread_started = pthread_create(&mixer_thread, nullptr, mixer_main, nullptr) == 0;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return mixer_thread_started;
}

// A thread still held after the wait stays started.
bool live_mixer_finish(std::int64_t wait_ns) {
    if (!mixer_thread_started)
        return true;
    mixer_quit.store(true);
    sem_post(&mixer_wake);
    timespec until = monotonic_timespec(deadline_after_ns(wait_ns));
    if (pthread_clockjoin_np(mixer_thread, nullptr, CLOCK_MONOTONIC, &until) != 0)
        return false;
    mixer_thread_started = false;
    return true;
}
