// The fitted clock: the show's own song's proportions laid over any song's first pass, with
// scene changes drawn to the song's own changes of position.
#include "lib/show_plan/fit.h"

#include <algorithm>
#include <cmath>
#include <csignal>

#include "lib/compose/song.h"
#include "music/collector.h"

namespace {

// A row of the show's own song in show ticks: SONG_SPEED player ticks of 2.5 / SONG_BPM s.
constexpr double OWN_ROW_TICKS = TICKS_PER_S * 2.5 * SONG_SPEED / SONG_BPM;

// The positions where Scene 1 has faded to black and holds it (the fades out and the breath
// after them): stretched, they would only be longer black.
constexpr bool holds_black(int p) {
    return p == SCENE1_FADE_OUT_POSITIONS[0] ||
           (p >= SCENE1_FADE_OUT_POSITIONS[1] && p <= SCENE_LAST_POSITION[0]);
}

// Those keep their own length while they take no more than this share of the song.
constexpr double HELD_SHARE_MAX = 1.0 / 8;

// A scene change moves to a change of the song's position no further than this share of the
// shorter of the two scenes.
constexpr double SNAP_SHARE = 0.25;

// Positions' lengths in ticks scaled to `span`, keeping the held ones where keep_held.
void scale(const double* own, int first, int end, double span, bool keep_held, double* out) {
    double held = 0, free = 0;
    for (int p = first; p < end; p++)
        (holds_black(p) ? held : free) += own[p];
    bool keep = keep_held && free > 0 && span > held;
    double k = keep ? (span - held) / free : span / (held + free);
    for (int p = first; p < end; p++)
        out[p] = keep && holds_black(p) ? own[p] : own[p] * k;
}

} // namespace

Result mix_song_clock(SongClock* song) {
    static const volatile std::sig_atomic_t never_stop = 0;
    song->ticks.clear();
    std::string error;
    MixEnd end = mixdown_song(nullptr, TICKS_PER_S, FIT_LIMIT_S, &never_stop, &song->ticks, &error);
    if (end == MixEnd::INTERRUPTED || end == MixEnd::WRITE_FAILED)
        return Result::fail(error);
    song->stops = end == MixEnd::SONG_ENDED;
    return Result::success();
}

Result read_song_clock(const char* music_path, SongClock* song, bool* bad_module) {
    *bad_module = false;
    if (Result r = collector_open(music_path, bad_module); !r.ok)
        return r;
    Result r = mix_song_clock(song);
    collector_close();
    return r;
}

FittedClock fit_show_clock(const SongClock& song) {
    FittedClock fit{};
    fit.song_stops = song.stops;
    const double n = static_cast<double>(song.ticks.size());
    fit.ticks.resize(song.ticks.size());
    for (const FrameClock& c : song.ticks)
        fit.song.push_back({c.sngpos, c.patpos});

    double own[SHOW_POSITIONS], len[SHOW_POSITIONS];
    double held = 0;
    for (int p = 0; p < SHOW_POSITIONS; p++) {
        own[p] = SONG_ROWS[p] * OWN_ROW_TICKS;
        held += holds_black(p) ? own[p] : 0;
    }
    bool keep_held = held <= n * HELD_SHARE_MAX;
    scale(own, 0, SHOW_POSITIONS, n, keep_held, len);

    // Where the scenes would start, then moved to the song's changes of position.
    double ideal[SCENE_COUNT + 1];
    ideal[0] = 0;
    for (int k = 0; k < SCENE_COUNT; k++) {
        ideal[k + 1] = ideal[k];
        for (int p = scene_first_position(k); p <= SCENE_LAST_POSITION[k]; p++)
            ideal[k + 1] += len[p];
    }
    std::vector<std::int32_t> changes;
    for (std::size_t t = 1; t < song.ticks.size(); t++)
        if (song.ticks[t].sngpos != song.ticks[t - 1].sngpos)
            changes.push_back(static_cast<std::int32_t>(t));
    std::int32_t start[SCENE_COUNT + 1];
    start[0] = 0;
    start[SCENE_COUNT] = static_cast<std::int32_t>(song.ticks.size());
    for (int k = 1; k < SCENE_COUNT; k++) {
        double reach = SNAP_SHARE * std::min(ideal[k] - ideal[k - 1], ideal[k + 1] - ideal[k]);
        std::int32_t at = static_cast<std::int32_t>(std::lround(ideal[k]));
        double best = reach;
        for (std::int32_t c : changes) {
            double off = std::fabs(c - ideal[k]);
            if (c > start[k - 1] && c < start[SCENE_COUNT] && off <= best) {
                best = off;
                at = c;
            }
        }
        start[k] = std::clamp(at, start[k - 1], start[SCENE_COUNT]);
    }

    // Each scene's positions over its span, rows even within each.
    std::int32_t pos_start[SHOW_POSITIONS + 1];
    for (int k = 0; k < SCENE_COUNT; k++) {
        fit.scene_first_tick[k] = start[k];
        int first = scene_first_position(k), end = SCENE_LAST_POSITION[k] + 1;
        double span = start[k + 1] - start[k];
        scale(own, first, end, span, keep_held, len);
        double at = start[k];
        for (int p = first; p < end; p++) {
            pos_start[p] = static_cast<std::int32_t>(std::lround(at));
            at += len[p];
        }
    }
    pos_start[SHOW_POSITIONS] = start[SCENE_COUNT];
    int p = 0;
    for (std::int32_t t = 0; t < start[SCENE_COUNT]; t++) {
        while (p + 1 < SHOW_POSITIONS && t >= pos_start[p + 1])
            p++;
        std::int64_t into = t - pos_start[p], span = pos_start[p + 1] - pos_start[p];
        std::int64_t row = span > 0 ? into * SONG_ROWS[p] / span : 0;
        fit.ticks[static_cast<std::size_t>(t)] = {
            static_cast<std::int16_t>(p),
            static_cast<std::uint16_t>(std::min<std::int64_t>(row, SONG_ROWS[p] - 1))};
    }
    return fit;
}

Result fit_loaded_module(const char* music_path, FitChoice choice, bool* fitted, FittedClock* fit,
                         std::int32_t* show_ticks) {
    *fitted = false;
    // A mix leaves the module where it stopped (speed, tempo, volumes too): each one after it
    // starts on the module loaded afresh.
    ShowClock own;
    if (Result r = mix_show_clock(&own); !r.ok)
        return r;
    if (Result r = collector_switch_module(music_path); !r.ok)
        return r;
    *show_ticks = own.end == ClockEnd::TIME_LIMIT
                      ? -1
                      : static_cast<std::int32_t>(own.readings.size() / TICK_READINGS);
    if (choice == FitChoice::NEVER ||
        (choice == FitChoice::AUTO && !own.readings.empty() && meets_show_needs(plan_show(own))))
        return Result::success();
    SongClock song;
    if (Result r = mix_song_clock(&song); !r.ok)
        return r;
    if (Result r = collector_switch_module(music_path); !r.ok)
        return r;
    *fit = fit_show_clock(song);
    *fitted = true;
    *show_ticks = static_cast<std::int32_t>(fit->ticks.size());
    return Result::success();
}

std::int32_t song_tick_of(const FittedClock& fit, std::int16_t sngpos, std::uint16_t patpos) {
    std::int32_t at_position = -1;
    for (std::size_t t = 0; t < fit.song.size(); t++) {
        if (fit.song[t].sngpos != sngpos)
            continue;
        if (fit.song[t].patpos == patpos)
            return static_cast<std::int32_t>(t);
        if (at_position < 0)
            at_position = static_cast<std::int32_t>(t);
    }
    return at_position >= 0 ? at_position : static_cast<std::int32_t>(fit.song.size());
}

bool song_positions_of_scene(const FittedClock& fit, int k, std::int16_t* first,
                             std::int16_t* last) {
    std::int32_t from = fit.scene_first_tick[k];
    std::int32_t to = k + 1 < SCENE_COUNT ? fit.scene_first_tick[k + 1]
                                          : static_cast<std::int32_t>(fit.song.size());
    if (from >= to || static_cast<std::size_t>(to) > fit.song.size())
        return false;
    *first = fit.song[static_cast<std::size_t>(from)].sngpos;
    *last = fit.song[static_cast<std::size_t>(to - 1)].sngpos;
    if (*last < *first)
        *last = *first;
    return true;
}

TickClock fitted_at(const FittedClock& fit, std::int32_t t) {
    if (t >= 0 && static_cast<std::size_t>(t) < fit.ticks.size())
        return fit.ticks[static_cast<std::size_t>(t)];
    if (t < 0 || (fit.song_stops && !fit.ticks.empty()))
        return t < 0 || fit.ticks.empty() ? TickClock{0, 0} : fit.ticks.back();
    return {static_cast<std::int16_t>(LAST_SHOW_POSITION + 1), 0};
}

ShowClock fitted_show_clock(const FittedClock& fit) {
    ShowClock clock{};
    clock.end = fit.song_stops ? ClockEnd::SONG_ENDED : ClockEnd::SHOW_ENDED;
    clock.limit_s = FIT_LIMIT_S;
    clock.readings.reserve(fit.ticks.size() * TICK_READINGS);
    for (std::size_t t = 0; t < fit.ticks.size(); t++)
        for (std::uint32_t r = 0; r < TICK_READINGS; r++)
            clock.readings.push_back(
                {static_cast<std::int32_t>(t), fit.ticks[t].sngpos, fit.ticks[t].patpos});
    return clock;
}

bool settle_fit_choice(bool fit, bool no_fit, FitChoice* choice, std::string* problem) {
    if (fit && no_fit) {
        *problem = "--fit and --no-fit contradict each other; give one of them";
        return false;
    }
    *choice = fit ? FitChoice::ALWAYS : no_fit ? FitChoice::NEVER : FitChoice::AUTO;
    return true;
}
