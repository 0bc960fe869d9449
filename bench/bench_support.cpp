// The shared parts of the scene benchmarks (bench_support.h): the clock, the floor, the columns,
// the timed loop and the textured records. No benchmark of its own.
#include "bench/bench_support.h"
#include "lib/base/random.h"

#include <cstring>
#include <ctime>

double seconds_now() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double Floor::time_one() {
    double t0 = seconds_now();
    std::memcpy(dst.data(), src.data(), dst.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
    return seconds_now() - t0;
}

void report_against_floor(benchmark::State& state, double pass_total, double floor_total,
                          std::size_t traffic) {
    double n = static_cast<double>(state.iterations());
    state.counters["pass_us"] = pass_total / n * 1e6;
    state.counters["floor_us"] = floor_total / n * 1e6;
    state.counters["x_floor"] = floor_total > 0 ? pass_total / floor_total : 0;
    state.counters["traffic_KB"] = static_cast<double>(traffic) / 1024.0;
}

void time_passes_against_floor(benchmark::State& state, ScriptedShow* show, std::size_t traffic,
                               std::int32_t tick, std::int32_t ticks_per_pass, std::int16_t sngpos,
                               std::uint16_t patpos) {
    Floor floor(traffic);
    double pass_total = 0, floor_total = 0;
    for (auto _ : state) {
        floor_total += floor.time_one();
        tick += ticks_per_pass;
        double t0 = seconds_now();
        scripted_show_pass(show, tick, sngpos, patpos);
        benchmark::DoNotOptimize(show->s.frame);
        benchmark::ClobberMemory();
        double t = seconds_now() - t0;
        state.SetIterationTime(t);
        pass_total += t;
    }
    report_against_floor(state, pass_total, floor_total, traffic);
}

AssetRecords textured_records(std::uint32_t seed) {
    AssetRecords records = default_asset_records(0);
    std::uint32_t state = seed;
    for (int n = 0; n < ASSET_COUNT; n++) {
        std::uint32_t w = static_cast<std::uint32_t>(ASSET_MAP[n].width);
        std::vector<Pixel>& r = records[n];
        for (std::size_t i = 0; i < r.size(); i++) {
            std::uint32_t x = static_cast<std::uint32_t>(i % w);
            std::uint32_t y = static_cast<std::uint32_t>(i / w);
            next_random(&state);
            Pixel colour = ((x * 3 + y) & 0xFF) << 16 | ((x ^ y) & 0xFF) << 8 | (state & 0x3F);
            r[i] = state % 3 == 0 ? (0xFF000000u | 0x00C00000u | colour) : colour;
        }
    }
    return records;
}
