// The show's clock: a 10 ms interval timer whose SIGALRM handler counts 50 Hz ticks, and the
// start-up and end of the music around it (the mixing itself runs on the live mixer thread,
// live_mixer.cpp, never in the handler).
#include <csignal>
#include <cstdio>

#include <sys/time.h>

#include "music/live_mixer.h"
#include "music/music.h"
#include "music/sample_clock.h"

std::atomic<std::int32_t> tick_count{0};
std::atomic<std::uint8_t> half_tick{0};
std::atomic<std::uint8_t> running{1};

// The alarm comes twice a tick (half_tick): every 10 ms for the clock's 50 ticks a second.
static constexpr suseconds_t ALARM_INTERVAL_US = 1'000'000 / (2 * TICKS_PER_S);
static_assert(ALARM_INTERVAL_US * 2 * TICKS_PER_S == 1'000'000, "a whole number of us an alarm");

// How long the end of the show waits for the mixer thread to finish its MikMod_Update.
static constexpr std::int64_t MIXER_STOP_WAIT_NS = 500'000'000;

void on_timer_signal(int) {
    if (half_tick.load(std::memory_order_relaxed) == 1) {
        tick_count.fetch_add(1, std::memory_order_relaxed);
        half_tick.store(0, std::memory_order_relaxed);
    } else {
        half_tick.fetch_add(1, std::memory_order_relaxed);
    }
}

int timer_start() {
    std::printf("Initiating joined sound and timer startup sequence...\n");
    std::fflush(stdout);
    // glibc's signal() keeps the handler installed, blocks SIGALRM while it runs and restarts
    // interrupted system calls of the main thread.
    if (signal(SIGALRM, on_timer_signal) == SIG_ERR) {
        std::printf("Unable to setup signalhandler for SIGALRM\n");
        Player_Free(music_module);
        music_module = nullptr;
        MikMod_Exit();
        return 0;
    }
    itimerval value{};
    value.it_interval.tv_sec = 0;
    value.it_interval.tv_usec = ALARM_INTERVAL_US;
    value.it_value.tv_sec = 0;
    value.it_value.tv_usec = ALARM_INTERVAL_US;

    Player_Start(music_module);
    if (!live_mixer_start()) {
        std::printf("Unable to start the mixer thread\n");
    } else if (setitimer(ITIMER_REAL, &value, nullptr) != -1) {
        return 1;
    } else {
        std::printf("Unable to setup itimer\n");
        std::fflush(stdout);
        std::perror("setitimer");
        // Possibly in its first write: a server that holds it (stopped, say) holds the
        // library's lock with it, and Player_Stop would wait for ever. The first write may take
        // as long as start-up gives the server.
        if (!live_mixer_finish(std::int64_t{SOUND_INIT_WAIT_S} * NS_PER_S))
            return 0;
    }
    Player_Stop();
    Player_Free(music_module);
    music_module = nullptr;
    MikMod_Exit();
    return 0;
}

int timer_stop_mixer() {
    running.store(0);
    return live_mixer_finish(MIXER_STOP_WAIT_NS) ? 1 : 0;
}
