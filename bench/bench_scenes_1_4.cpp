// Scenes 1 to 4 beyond the scene harness (bench_harness.cpp, whose table rows for these scenes
// live there): the costliest states the harness's standing clock does not reach (a fade or flash
// level between its ends, Scene 3 with its overlay) and bump_patch alone, each timed against a
// memcpy of the same traffic in the same loop, as the harness does.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/bench_support.h"
#include "core/scenes.h"
#include "core/timeline.h"

namespace {

constexpr std::size_t PATCH = 254 * 254 * sizeof(Pixel);

struct Variant {
    const char* name;
    std::int16_t sngpos;
    std::int32_t lead_ticks; // ticks run before the clock stands: sets a level between its ends
    std::size_t bytes_read, bytes_written;
};

constexpr Variant VARIANTS[] = {
    // Level 127 (64 ticks at 0): every masked pixel through the fade.
    {"scene_1_fade_127", scene_first_position(0), 64, 5 * FRAME, 2 * FRAME},
    // Level 127 (64 ticks at 7): the flash neither white nor off.
    {"scene_2_flash_127", scene_first_position(1), 64, 4 * FRAME, FRAME},
    // Scene 3's last song position: the keyed overlay folded into the combine.
    {"scene_3_overlay", SCENE_LAST_POSITION[2], 0, TEX + FRAME + 2 * PATCHES_AT_START + 3 * FRAME,
     TEX + FRAME + PATCHES_AT_START + FRAME},
    // Scene 4 at its first frame: overlay 11.
    {"scene_4_overlay_11", scene_first_position(3), 0, 3 * FRAME, FRAME},
};

// The noise of these rows; bench_scenes_5_8.cpp draws its own.
constexpr std::uint32_t NOISE_SEED = 0x9E3779B9u;

void scene_1_4_variant(benchmark::State& state) {
    const Variant& v = VARIANTS[state.range(0)];
    ScriptedShow show{};
    if (!scripted_show_init(&show, textured_records(NOISE_SEED))) {
        state.SkipWithError("allocation failed");
        return;
    }
    scripted_show_pass(&show, 0, v.sngpos);
    scripted_show_pass(&show, v.lead_ticks, v.sngpos);
    std::uint8_t scene = show.s.scene_index;
    // The clock stands at the lead tick: every pass renders the same level.
    time_passes_against_floor(state, &show, v.bytes_read + v.bytes_written, v.lead_ticks, 0,
                              v.sngpos, 0);
    if (show.s.scene_index != scene)
        state.SkipWithError("the scene changed");
    state.SetLabel(v.name);
    scripted_show_free(&show);
}

// One whole patch inside the frame: per pixel a height word (its neighbours are cached), a
// light-map word and the destination.
void bump_patch_unclipped(benchmark::State& state) {
    AssetRecords records = textured_records(NOISE_SEED);
    // The scene reads its heights from the frame-sized work buffer; a frame-sized record of
    // noise stands in for it.
    const std::vector<Pixel>& noise_frame = records[ASSET_SCENE1_MASK_LATE];
    std::vector<Pixel> height(noise_frame.begin(), noise_frame.end());
    std::vector<Pixel> dest(FRAME_PIXELS, 0);
    const Pixel* light = records[ASSET_SCENE3_LIGHT_MAP].data();
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
    report_against_floor(state, pass_total, floor_total, 3 * PATCH);
}

} // namespace

BENCHMARK(scene_1_4_variant)
    ->ArgName("case")
    ->DenseRange(0, 3)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(bump_patch_unclipped)->UseManualTime()->Unit(benchmark::kMicrosecond);
