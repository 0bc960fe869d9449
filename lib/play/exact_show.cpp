// The tick table and seek index behind quab-play's jumps, loops and reloads.
#include "lib/play/exact_show.h"

#include "lib/show_plan/show_clock.h"

namespace {

// Passes of the index run between two frames: about a millisecond's work.
constexpr std::int32_t BUILD_PASSES_PER_FRAME = 48;

} // namespace

bool module_tick_table(const char* music_path, std::vector<TickClock>* ticks, std::string* error) {
    ShowClock clock;
    bool bad_module = false;
    ticks->clear();
    if (Result r = read_show_clock(music_path, &clock, &bad_module); !r.ok) {
        *error = r.reason;
        return false;
    }
    for (std::size_t r = 0; r < clock.readings.size(); r += TICK_READINGS)
        ticks->push_back(TickClock{clock.readings[r].sngpos, clock.readings[r].patpos});
    return true;
}

std::int32_t first_tick_at(const std::vector<TickClock>& ticks, std::int16_t sngpos,
                           std::uint16_t patpos) {
    std::int32_t later = static_cast<std::int32_t>(ticks.size());
    for (std::size_t t = 0; t < ticks.size(); t++) {
        const TickClock& c = ticks[t];
        if (c.sngpos == sngpos && c.patpos == patpos)
            return static_cast<std::int32_t>(t);
        bool after = c.sngpos > sngpos || (c.sngpos == sngpos && c.patpos > patpos);
        if (after && later == static_cast<std::int32_t>(ticks.size()))
            later = static_cast<std::int32_t>(t);
    }
    return later;
}

bool exact_show_reindex(ExactShow* e, const ShowState* show) {
    seek_index_free(&e->index);
    e->indexed = !e->ticks.empty() && seek_index_start(&e->index, show, e->ticks.data(),
                                                       static_cast<std::int32_t>(e->ticks.size()));
    return e->indexed;
}

void exact_show_build_some(ExactShow* e) {
    if (e->indexed && !seek_index_built(&e->index) &&
        !seek_index_build(&e->index, BUILD_PASSES_PER_FRAME))
        e->indexed = false;
}

bool exact_show_seek(ExactShow* e, ShowState* show, ScriptedClock* clock, std::int32_t tick) {
    if (e->indexed && show_seek(show, clock, &e->index, tick))
        return true;
    e->indexed = false;
    show_restart(show);
    return false;
}

void exact_show_free(ExactShow* e) {
    seek_index_free(&e->index);
    e->indexed = false;
}
