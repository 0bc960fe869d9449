// Scenes 1 to 4 beyond the scene harness (bench_harness.cpp, whose table rows for these scenes
// live there): the costliest states the harness's standing clock does not reach (a fade or flash
// level between its ends, Scene 3 with its overlay) and bump_patch alone, each timed against a
// memcpy of the same traffic in the same loop, as the harness does.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "core/scenes.h"
#include "tests/support/test_support.h"

namespace {

constexpr std::size_t FRAME = FRAME_BYTES;
constexpr std::size_t TEX = TEX_PIXELS * sizeof(Pixel);
// Scene 3's patches at their first phases, clipped (see bench_harness.cpp).
constexpr std::size_t PATCHES_AT_START = (244 * 208 + 213 * 215) * sizeof(Pixel);
constexpr std::size_t PATCH = 254 * 254 * sizeof(Pixel);

struct Variant {
    const char* name;
    std::int16_t sngpos;
    std::int32_t lead_ticks; // ticks run before the clock stands: sets a level between its ends
    std::size_t bytes_read, bytes_written;
};

constexpr Variant VARIANTS[] = {
    // Level 127 (64 ticks at 0): every masked pixel through the fade.
    {"scene_1_fade_127", 0, 64, 5 * FRAME, 2 * FRAME},
    // Level 127 (64 ticks at 7): the flash neither white nor off.
    {"scene_2_flash_127", 7, 64, 4 * FRAME, FRAME},
    // Song position 11: the keyed overlay folded into the combine.
    {"scene_3_overlay", 11, 0, TEX + FRAME + 2 * PATCHES_AT_START + 3 * FRAME,
     TEX + FRAME + PATCHES_AT_START + FRAME},
    // Scene 4 at its first frame: overlay 11.
    {"scene_4_overlay_11", 12, 0, 3 * FRAME, FRAME},
};

// Textures with gradients and noise, overlays and masks with about one pixel in three keyed, so
// every keyed choice takes both ways.
AssetRecords textured_records() {
    AssetRecords records = default_asset_records(0);
    std::uint32_t state = 0x9E3779B9u;
    for (int n = 0; n < ASSET_COUNT; n++) {
        std::uint32_t w = static_cast<std::uint32_t>(ASSET_MAP[n].width);
        std::vector<Pixel>& r = records[n];
        for (std::size_t i = 0; i < r.size(); i++) {
            std::uint32_t x = static_cast<std::uint32_t>(i % w);
            std::uint32_t y = static_cast<std::uint32_t>(i / w);
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            Pixel colour = ((x * 3 + y) & 0xFF) << 16 | ((x ^ y) & 0xFF) << 8 | (state & 0x3F);
            r[i] = state % 3 == 0 ? (0xFF000000u | 0x00C00000u | colour) : colour;
        }
    }
    return records;
}

double seconds_now() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// A memcpy source and destination of equal traffic, both written first so no page is shared.
struct Floor {
    std::vector<unsigned char> src, dst;
    explicit Floor(std::size_t traffic) : src(traffic / 2, 0x5A), dst(traffic / 2, 0xA5) {}
    double time_one() {
        double t0 = seconds_now();
        std::memcpy(dst.data(), src.data(), dst.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
        return seconds_now() - t0;
    }
};

void report(benchmark::State& state, double pass_total, double floor_total, std::size_t traffic) {
    double n = static_cast<double>(state.iterations());
    state.counters["pass_us"] = pass_total / n * 1e6;
    state.counters["floor_us"] = floor_total / n * 1e6;
    state.counters["x_floor"] = floor_total > 0 ? pass_total / floor_total : 0;
    state.counters["traffic_KB"] = static_cast<double>(traffic) / 1024.0;
}

void scene_1_4_variant(benchmark::State& state) {
    const Variant& v = VARIANTS[state.range(0)];
    ScriptedShow show{};
    if (!scripted_show_init(&show, textured_records())) {
        state.SkipWithError("allocation failed");
        return;
    }
    scripted_show_pass(&show, 0, v.sngpos);
    scripted_show_pass(&show, v.lead_ticks, v.sngpos);
    std::uint8_t scene = show.s.scene_index;
    Floor floor(v.bytes_read + v.bytes_written);
    double pass_total = 0, floor_total = 0;
    for (auto _ : state) {
        floor_total += floor.time_one();
        double t0 = seconds_now();
        scripted_show_pass(&show, v.lead_ticks, v.sngpos);
        benchmark::DoNotOptimize(show.frame);
        benchmark::ClobberMemory();
        double t = seconds_now() - t0;
        state.SetIterationTime(t);
        pass_total += t;
    }
    if (show.s.scene_index != scene)
        state.SkipWithError("the scene changed");
    report(state, pass_total, floor_total, v.bytes_read + v.bytes_written);
    state.SetLabel(v.name);
    scripted_show_free(&show);
}

// One whole patch inside the frame: per pixel a height word (its neighbours are cached), a
// light-map word and the destination.
void bump_patch_unclipped(benchmark::State& state) {
    AssetRecords records = textured_records();
    std::vector<Pixel> height(records[3].begin(), records[3].end());
    std::vector<Pixel> dest(FRAME_PIXELS, 0);
    const Pixel* light = records[9].data();
    Floor floor(3 * PATCH);
    double pass_total = 0, floor_total = 0;
    for (auto _ : state) {
        floor_total += floor.time_one();
        double t0 = seconds_now();
        bump_patch(20, -10, height.data(), light, dest.data());
        benchmark::DoNotOptimize(dest.data());
        benchmark::ClobberMemory();
        double t = seconds_now() - t0;
        state.SetIterationTime(t);
        pass_total += t;
    }
    report(state, pass_total, floor_total, 3 * PATCH);
}

} // namespace

BENCHMARK(scene_1_4_variant)
    ->ArgName("case")
    ->DenseRange(0, 3)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(bump_patch_unclipped)->UseManualTime()->Unit(benchmark::kMicrosecond);
