// libmikmod start-up with the show's fixed mixing settings, the module handle the frame loop
// reads its song position from, and the music's shutdown.
#include "music/music.h"
#include "music/sample_clock.h"

#include "lib/base/clock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <pthread.h>
#include <semaphore.h>

MODULE* music_module = nullptr;

void music_apply_settings() {
    md_pansep = 128;
    md_volume = 128;
    md_reverb = 0;
    md_device = 0; // autodetect: the first registered driver that reports itself present
    md_mixfreq = MIX_RATE_HZ;
    // 16-bit stereo, music mixed in software; no high-quality mixer, surround or interpolation.
    // Every other bit keeps the value the library gave it.
    md_mode = static_cast<UWORD>((md_mode & 0xFCEF) | 0x000B);
}

// MikMod_Init on a thread of its own, so that start-up can give up on a sound server that
// accepts the connection and never answers (a stopped one). The thread is detached: when the
// wait runs out it is left inside libmikmod until the process exits.
static sem_t init_done;
static int init_result = -1;

static void* init_main(void*) {
    init_result = MikMod_Init("");
    sem_post(&init_done);
    return nullptr;
}

// MikMod_Init's result, or 1 with *timed_out set when the output did not answer in time.
static int init_with_deadline(bool* timed_out) {
    *timed_out = false;
    pthread_t thread;
    if (sem_init(&init_done, 0, 0) != 0 ||
        pthread_create(&thread, nullptr, init_main, nullptr) != 0)
        return MikMod_Init("");
    pthread_detach(thread);
    if (sem_wait_until_ns(&init_done,
                          deadline_after_ns(std::int64_t{SOUND_INIT_WAIT_S} * 1000000000)))
        return init_result;
    *timed_out = true;
    return 1;
}

std::int64_t output_delay_ns = 0;

// The sound server's buffer asked for: PulseAudio's client library reads it from the
// environment, and a user's own setting is kept. Its default, about a quarter of a second end
// to end, ran dry on a loaded two-core machine. Of the time asked for, PulseAudio gives about
// half to the stream's buffer and the rest to the sink, which plays its part down and fills it
// again; together they hold about three quarters of it on average (pactl's buffer and sink
// latencies, sampled over a show).
static constexpr int OUTPUT_LATENCY_MS = 400;

static void ask_for_output_latency() {
    char value[16];
    std::snprintf(value, sizeof value, "%d", OUTPUT_LATENCY_MS);
    setenv("PULSE_LATENCY_MSEC", value, 0);
    const char* asked = std::getenv("PULSE_LATENCY_MSEC");
    char* end;
    long ms = std::strtol(asked, &end, 10);
    if (end == asked || *end != '\0' || ms <= 0 || ms > 10'000)
        ms = OUTPUT_LATENCY_MS;
    output_delay_ns = ms * std::int64_t{750'000};
}

int music_start(const char* path, std::uint8_t max_channels) {
    std::printf("Initiating Mikmod startup sequence...\n");
    std::fflush(stdout);
    MikMod_RegisterAllLoaders();
    MikMod_RegisterAllDrivers();
    music_apply_settings();
    ask_for_output_latency();

    bool timed_out;
    int init_failed = init_with_deadline(&timed_out);
    if (timed_out) {
        std::fprintf(stderr,
                     "Mikmod: Unable to initialize mikmod: the sound output did not answer in "
                     "%d seconds\n",
                     SOUND_INIT_WAIT_S);
        return 0;
    }
    if (init_failed) {
        std::fprintf(stderr, "Mikmod: Unable to initialize mikmod: %s\n",
                     MikMod_strerror(MikMod_errno));
        return 0;
    }
    // Hidden patterns beyond the order list are not loaded.
    music_module = Player_Load(path, max_channels, 0);
    if (!music_module) {
        std::fprintf(stderr, "Unable to load module becouse: %s\n", MikMod_strerror(MikMod_errno));
        MikMod_Exit();
        return 0;
    }
    return 1;
}

void music_stop() {
    Player_Free(music_module);
    music_module = nullptr;
    MikMod_Exit();
}
