// The exact seek's figures on the default song's clock (its rows, speed and tempo, one song
// position after another): the time from a seek to its frame at the worst tick of each scene
// against one drawing pass there, and building the whole seek index after a load against the
// straight run that draws every tick, with the memory its snapshots take.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "bench/bench_support.h"
#include "core/timeline.h"
#include "lib/compose/song.h"

namespace {

// The default song's tick table: a row lasts SONG_SPEED player ticks of 2.5 / SONG_BPM s, a
// show tick 1/50 s, so show tick t falls in row t * SONG_BPM / (50 * 2.5 * SONG_SPEED) of the
// song, counted over every position's rows.
std::vector<TickClock> song_ticks() {
    std::vector<TickClock> ticks;
    std::uint32_t first_row = 0;
    for (std::uint32_t p = 0; p < SONG_POSITIONS; p++) {
        for (std::uint32_t t = static_cast<std::uint32_t>(ticks.size());; t++) {
            std::uint32_t row = t * SONG_BPM * 2 / (250 * SONG_SPEED);
            if (row >= first_row + SONG_ROWS[p])
                break;
            ticks.push_back(
                {static_cast<std::int16_t>(p), static_cast<std::uint16_t>(row - first_row)});
        }
        first_row += SONG_ROWS[p];
    }
    return ticks;
}

struct SeekBench {
    ScriptedShow show;
    std::vector<TickClock> ticks = song_ticks();
    SeekIndex index{};
    bool ok = false;
    SeekBench() {
        ok = scripted_show_init(&show, textured_records(7)) &&
             seek_index_start(&index, &show.s, ticks.data(),
                              static_cast<std::int32_t>(ticks.size())) &&
             seek_index_build(&index, 0);
    }
    ~SeekBench() {
        seek_index_free(&index);
        scripted_show_free(&show);
    }
};

SeekBench& seek_bench() {
    static SeekBench bench;
    return bench;
}

// The tick of scene k farthest from the snapshot before it, and the passes a seek there runs.
struct WorstSeek {
    std::int32_t tick = -1;
    std::int32_t passes = 0;
};

WorstSeek worst_seek(const SeekIndex& index, int k) {
    WorstSeek worst;
    for (std::int32_t i = 0; i < index.snapshot_count; i++) {
        std::int32_t from = index.snapshots[i].tick;
        std::int32_t to =
            i + 1 < index.snapshot_count ? index.snapshots[i + 1].tick - 1 : index.end_tick;
        // The last tick of the stretch that is in the scene.
        for (std::int32_t t = to; t >= from; t--) {
            if (scene_at_position(index.ticks[t].sngpos) != k)
                continue;
            if (t + 1 - from > worst.passes)
                worst = {t, t + 1 - from};
            break;
        }
    }
    return worst;
}

// Per iteration one seek to the scene's worst tick, then one drawing pass at the tick after it
// (the baseline: what the show costs a frame there). Thread CPU time.
void seek_worst(benchmark::State& state) {
    SeekBench& b = seek_bench();
    int k = static_cast<int>(state.range(0));
    WorstSeek worst = b.ok ? worst_seek(b.index, k) : WorstSeek{};
    std::int32_t tick = worst.tick;
    if (tick < 0 || tick + 1 >= b.index.tick_count) {
        state.SkipWithError("no index or no tick in the scene");
        return;
    }
    double seek_total = 0, pass_total = 0;
    for (auto _ : state) {
        double t0 = seconds_now();
        if (!show_seek(&b.show.s, &b.show.clock, &b.index, tick))
            state.SkipWithError("out of memory");
        double t1 = seconds_now();
        const TickClock& c = b.ticks[tick + 1];
        show_pass_at(&b.show.s, &b.show.clock, tick + 1, c.sngpos, c.patpos);
        double t2 = seconds_now();
        seek_total += t1 - t0;
        pass_total += t2 - t1;
        state.SetIterationTime(t1 - t0);
    }
    double n = static_cast<double>(state.iterations());
    state.counters["seek_ms"] = seek_total / n * 1e3;
    state.counters["pass_us"] = pass_total / n * 1e6;
    state.counters["x_pass"] = seek_total / pass_total;
    state.counters["passes_run"] = worst.passes;
    state.SetLabel(SCENE_NAMES[k]);
}
BENCHMARK(seek_worst)->DenseRange(0, SCENE_COUNT - 1)->ArgName("scene")->UseManualTime();

// Per iteration: a new index built whole (after a load or reload), then the straight run that
// draws one pass per tick over the same table (the baseline). Thread CPU time.
void seek_index_build_all(benchmark::State& state) {
    ScriptedShow show;
    std::vector<TickClock> ticks = song_ticks();
    std::int32_t count = static_cast<std::int32_t>(ticks.size());
    if (!scripted_show_init(&show, textured_records(7))) {
        state.SkipWithError("out of memory");
        return;
    }
    double build_total = 0, straight_total = 0;
    std::size_t bytes = 0;
    std::int32_t snapshots = 0;
    for (auto _ : state) {
        SeekIndex index{};
        double t0 = seconds_now();
        bool built =
            seek_index_start(&index, &show.s, ticks.data(), count) && seek_index_build(&index, 0);
        double t1 = seconds_now();
        if (!built)
            state.SkipWithError("out of memory");
        bytes = index.snapshot_bytes;
        snapshots = index.snapshot_count;
        seek_index_free(&index);
        double t2 = seconds_now();
        show_restart(&show.s);
        show.clock.running.store(1);
        for (std::int32_t t = 0; t < count && show.clock.running.load(); t++)
            show_pass_at(&show.s, &show.clock, t, ticks[t].sngpos, ticks[t].patpos);
        double t3 = seconds_now();
        build_total += t1 - t0;
        straight_total += t3 - t2;
        state.SetIterationTime(t1 - t0);
    }
    double n = static_cast<double>(state.iterations());
    state.counters["build_ms"] = build_total / n * 1e3;
    state.counters["straight_ms"] = straight_total / n * 1e3;
    state.counters["x_straight"] = build_total / straight_total;
    state.counters["ticks"] = count;
    state.counters["snapshots"] = snapshots;
    state.counters["snapshot_MB"] = static_cast<double>(bytes) / 1e6;
    scripted_show_free(&show);
}
BENCHMARK(seek_index_build_all)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
