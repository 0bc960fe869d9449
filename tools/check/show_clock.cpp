// The one place the checker reaches the exporter's mixing clock. It deliberately includes
// nothing of the show's own timeline, so that only the mixer's names are in view here.
#include "tools/check/show_clock.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "music/mixer.h"
#include "tools/export/mixdown.h"

bool read_show_clock(const char* music_path, ShowClock* clock, std::string* error,
                     bool* bad_module) {
    *bad_module = false;
    if (!mixer_open(music_path, error, bad_module))
        return false;
    // The mixer writes the sound it mixes; nobody listens, so it goes to an unnamed file.
    FILE* sound = std::tmpfile();
    if (!sound) {
        *error = std::string("cannot make a temporary file for the mixed sound: ") +
                 std::strerror(errno);
        mixer_close();
        return false;
    }
    static const volatile std::sig_atomic_t never_stop = 0;
    std::vector<FrameClock> frames;
    MixEnd end = mixdown_run(sound, CLOCK_READINGS_PER_S, &never_stop, &frames, error);
    mixer_close();
    std::fclose(sound);
    switch (end) {
    case MixEnd::SHOW_ENDED:
        clock->end = ClockEnd::SHOW_ENDED;
        break;
    case MixEnd::SONG_ENDED:
        clock->end = ClockEnd::SONG_ENDED;
        break;
    case MixEnd::TIME_LIMIT:
        clock->end = ClockEnd::TIME_LIMIT;
        break;
    case MixEnd::INTERRUPTED:
    case MixEnd::WRITE_FAILED:
        return false;
    }
    clock->limit_s = MAX_SHOW_SECONDS;
    clock->readings.clear();
    clock->readings.reserve(frames.size());
    for (const FrameClock& f : frames)
        clock->readings.push_back({f.tick_count, f.sngpos, f.patpos});
    return true;
}
