// The show's only clock: a 10 ms interval timer whose SIGALRM handler counts 50 Hz ticks and
// wakes the mixer thread. The mixing itself runs on that thread, not in the handler: a sound
// server's output driver blocks in its write until the server has room, and inside the handler
// that stalled both the tick count and the frame loop.
#include <cerrno>
#include <csignal>
#include <cstdio>

#include <pthread.h>
#include <semaphore.h>
#include <sys/time.h>

#include "music/music.h"

std::atomic<std::int32_t> tick_count{0};
std::atomic<std::uint8_t> half_tick{0};
std::atomic<std::uint8_t> running{1};

static sem_t mixer_wake;
// Set by the handler when it posts, cleared by the mixer thread when it takes the wake: wakes
// that arrive while the thread mixes collapse into one, as pending signals do.
static std::atomic<bool> mixer_wake_pending{false};
static std::atomic<bool> mixer_quit{false};
static pthread_t mixer_thread;
static bool mixer_thread_started = false;

static void* mixer_main(void*) {
    for (;;) {
        while (sem_wait(&mixer_wake) == -1 && errno == EINTR) {
        }
        mixer_wake_pending.store(false);
        if (mixer_quit.load() || !running.load())
            break;
        // Player_Active is false once the song has passed the end of its order list.
        if (Player_Active())
            MikMod_Update();
    }
    return nullptr;
}

void on_timer_signal(int) {
    int saved_errno = errno; // sem_post may set it under the interrupted code
    if (half_tick.load(std::memory_order_relaxed) == 1) {
        tick_count.fetch_add(1, std::memory_order_relaxed);
        half_tick.store(0, std::memory_order_relaxed);
    } else {
        half_tick.fetch_add(1, std::memory_order_relaxed);
    }
    if (running.load(std::memory_order_relaxed) && !mixer_wake_pending.exchange(true))
        sem_post(&mixer_wake);
    errno = saved_errno;
}

// The mixer thread blocks SIGALRM, so the handler always interrupts the main thread.
static bool start_mixer_thread() {
    if (sem_init(&mixer_wake, 0, 0) != 0)
        return false;
    sigset_t alarm_only, previous;
    sigemptyset(&alarm_only);
    sigaddset(&alarm_only, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &alarm_only, &previous);
    mixer_thread_started = pthread_create(&mixer_thread, nullptr, mixer_main, nullptr) == 0;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return mixer_thread_started;
}

static void join_mixer_thread() {
    if (!mixer_thread_started)
        return;
    mixer_quit.store(true);
    sem_post(&mixer_wake);
    pthread_join(mixer_thread, nullptr);
    mixer_thread_started = false;
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
    value.it_interval.tv_usec = 10000;
    value.it_value.tv_sec = 0;
    value.it_value.tv_usec = 10000;

    Player_Start(music_module);
    if (!start_mixer_thread()) {
        std::printf("Unable to start the mixer thread\n");
    } else if (setitimer(ITIMER_REAL, &value, nullptr) != -1) {
        return 1;
    } else {
        std::printf("Unable to setup itimer\n");
        std::fflush(stdout);
        std::perror("setitimer");
        join_mixer_thread();
    }
    Player_Stop();
    Player_Free(music_module);
    music_module = nullptr;
    MikMod_Exit();
    return 0;
}

void timer_stop_mixer() {
    running.store(0);
    join_mixer_thread();
}
