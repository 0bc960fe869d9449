// Scenes 5 to 8 beyond the scene harness (bench_harness.cpp, whose table rows for these scenes
// live there): states its standing clock at the scene's first frame does not reach (the strip
// gone, a long stall caught up in one pass, later panel positions, a 200-wide picture or none,
// the scroller at its cap), each timed against a memcpy of the same traffic in the same loop.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench/bench_support.h"
#include "core/show.h"
#include "core/timeline.h"

namespace {

constexpr std::size_t BAND_200 = 200 * 55 * sizeof(Pixel);

struct Variant {
    const char* name;
    std::int16_t sngpos;
    std::uint16_t patpos;
    std::int32_t lead_ticks;     // ticks run before the timed passes
    int lead_passes;             // passes at the lead tick (Scene 7 takes one step per pass)
    std::int32_t ticks_per_pass; // clock steps during the timed passes
    std::size_t bytes_read, bytes_written;
};

// Counted as the harness counts: every buffer, asset and table word a pass touches, a keyed store
// reading and writing its destination, a gather one word per pixel.
constexpr Variant VARIANTS[] = {
    // After SCENE5_STRIP_TICKS (994) the strip is gone: texture into work, work into the frame, the
    // tunnel.
    {"scene_5_strip_gone", scene_first_position(4), 0, SCENE5_STRIP_TICKS, 1, 0,
     TEX + 240 * 256 * 4 + FRAME + 3 * FRAME, TEX + FRAME + FRAME},
    // The same with 255 ticks to catch up on every pass: the wobble table turned by 255 at once.
    {"scene_5_stall_255", scene_first_position(4), 0, SCENE5_STRIP_TICKS, 1, 255,
     TEX + 240 * 256 * 4 + FRAME + 3 * FRAME, TEX + FRAME + FRAME},
    // Orbit index 90: the three panels at other places than at the first frame.
    {"scene_6_orbit_90", scene_first_position(5), 0, 90, 1, 0,
     3 * TEX + 2 * TEX + 2 * FRAME + FRAME, FRAME + 3 * TEX + FRAME + FRAME},
    // Step 1: a 200-wide picture keyed over the background.
    {"scene_7_step_1", SCENE7_POSITION, SCENE7_ROW_AFTER[1] + 1, 0, 1, 0, FRAME + 2 * BAND_200,
     FRAME + BAND_200},
    // Step 11: the background alone.
    {"scene_7_done", SCENE7_POSITION, 63, 0, 11, 0, FRAME, FRAME},
    // The scroller at its cap, showing the last 240 rows of its picture.
    {"scene_8_at_cap", scene_first_position(7), 0, SCENE8_SCROLLER_TICKS, 1, 0,
     2 * FRAME + 2 * FRAME, FRAME + FRAME},
};

// The noise of these rows; bench_scenes_1_4.cpp draws its own.
constexpr std::uint32_t NOISE_SEED = 0x7F4A7C15u;

void scene_5_8_variant(benchmark::State& state) {
    const Variant& v = VARIANTS[state.range(0)];
    ScriptedShow show{};
    if (!scripted_show_init(&show, textured_records(NOISE_SEED))) {
        state.SkipWithError("allocation failed");
        return;
    }
    scripted_show_pass(&show, 0, v.sngpos, v.patpos);
    for (int k = 0; k < v.lead_passes; k++)
        scripted_show_pass(&show, v.lead_ticks, v.sngpos, v.patpos);
    std::uint8_t scene = show.s.scene_index;
    time_passes_against_floor(state, &show, v.bytes_read + v.bytes_written, v.lead_ticks,
                              v.ticks_per_pass, v.sngpos, v.patpos);
    if (show.s.scene_index != scene)
        state.SkipWithError("the scene changed");
    state.SetLabel(v.name);
    scripted_show_free(&show);
}

} // namespace

BENCHMARK(scene_5_8_variant)
    ->ArgName("case")
    ->DenseRange(0, sizeof(VARIANTS) / sizeof(VARIANTS[0]) - 1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
