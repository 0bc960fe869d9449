// The one place the checker reaches the exporter's mixing clock: the module mixed silently, one
// reading per "video frame" at CLOCK_READINGS_PER_S frames a second.
#include "lib/show_plan/show_clock.h"

#include <csignal>
#include <utility>

#include "core/timeline.h"
#include "music/collector.h"

Result read_show_clock(const char* music_path, ShowClock* clock, bool* bad_module) {
    *bad_module = false;
    if (Result r = collector_open(music_path, bad_module); !r.ok)
        return r;
    Result r = mix_show_clock(clock);
    collector_close();
    return r;
}

Result mix_show_clock(ShowClock* clock) {
    static const volatile std::sig_atomic_t never_stop = 0;
    std::vector<FrameClock> frames;
    std::string error;
    MixEnd end = mixdown_run(nullptr, CLOCK_READINGS_PER_S, LAST_SHOW_POSITION, &never_stop,
                             &frames, &error);
    switch (end) {
    case MixEnd::SHOW_ENDED:
        clock->end = ClockEnd::SHOW_ENDED;
        break;
    case MixEnd::SONG_ENDED:
        clock->end = ClockEnd::SONG_ENDED;
        break;
    case MixEnd::TIME_LIMIT:
    case MixEnd::LOOPED: // not told by mixdown_run
        clock->end = ClockEnd::TIME_LIMIT;
        break;
    case MixEnd::INTERRUPTED:
    case MixEnd::WRITE_FAILED:
        return Result::fail(error);
    }
    clock->limit_s = MAX_SHOW_SECONDS;
    clock->readings = std::move(frames);
    return Result::success();
}
