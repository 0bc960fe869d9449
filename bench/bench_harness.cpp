// The scene benchmark harness: one pass of each scene (set up, scene_index held at it) at a
// standing clock and with one tick per pass, each timed against a traffic floor in the same loop:
// a memcpy that reads and writes as many bytes in all as the scene's pass does.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench/bench_support.h"
#include "core/timeline.h"
#include "lib/base/random.h"

namespace {

constexpr std::size_t BAND_300 = 300 * 55 * sizeof(Pixel);
constexpr std::size_t BAND_320 = 320 * 55 * sizeof(Pixel);

// What one pass of each scene reads and writes, in bytes, counting every buffer, asset and table
// word it touches (a keyed store reads and writes its destination; a gather reads one word per
// pixel). Scene authors keep their row true to their pass; a row that only counts the frame
// written is a scene whose traffic has not been worked out yet.
struct SceneTraffic {
    const char* name;
    std::int16_t sngpos;  // a song position the scene is shown at: its first
    std::uint16_t patpos; // the row, for the one scene that follows it
    std::size_t bytes_read;
    std::size_t bytes_written;
};

constexpr SceneTraffic SCENE_TRAFFIC[SCENE_COUNT] = {
    // Two texels per pixel into work; work, the mask and the frame read, the frame written.
    {"scene_1_masked_twin_scroll", scene_first_position(0), 0, 5 * FRAME, 2 * FRAME},
    // Angle, depth, texel and overlay per pixel, map, overlay and flash in one write of the frame.
    {"scene_2_polar_flash", scene_first_position(1), 0, 4 * FRAME, FRAME},
    // Wobbled texture into scratch_a (a gather per texel), scratch_a into work, per patch pixel
    // one height and one light-map word read and one word written, both patches summed.
    {"scene_3_twin_light_bump", scene_first_position(2), 0,
     TEX + FRAME + 2 * PATCHES_AT_START + 2 * FRAME, TEX + FRAME + PATCHES_AT_START + FRAME},
    // Two texels and the overlay per pixel, the sum and overlay in one write of the frame.
    {"scene_4_cycling_overlay_scroll", scene_first_position(3), 0, 3 * FRAME, FRAME},
    // Texture into work (256 rows), work into the frame, the tunnel (angle, depth, texel read,
    // the frame written), the strip band keyed over it.
    {"scene_5_wobble_tunnel", scene_first_position(4), 0,
     TEX + 240 * 256 * 4 + FRAME + 3 * FRAME + BAND_320 * 2, TEX + FRAME + FRAME + BAND_320},
    // Clear work, three panels added into work (the first only writes), the picture added, work
    // into the frame.
    {"scene_6_orbiting_panels", scene_first_position(5), 0, 3 * TEX + 2 * TEX + 2 * FRAME + FRAME,
     FRAME + 3 * TEX + FRAME + FRAME},
    // Background into the frame, the first picture keyed over it.
    {"scene_7_picture_sequence", scene_first_position(6), SCENE7_ROW_AFTER[0] + 1,
     FRAME + 2 * BAND_300, FRAME + BAND_300},
    // Two layers summed into the frame, the scroller keyed over it.
    {"scene_8_closing_scroller", scene_first_position(7), 0, 2 * FRAME + 2 * FRAME, FRAME + FRAME},
};

// Noise with a share of fully keyed pixels, so keyed stores take both ways as in the show.
AssetRecords noise_records() {
    AssetRecords records = default_asset_records(0);
    std::uint32_t state = 0x2545F491u;
    for (std::vector<Pixel>& r : records) {
        for (Pixel& p : r) {
            next_random(&state);
            p = (state & 0x300u) ? (state | 0xFF000000u) : (state & 0x00FFFFFFu);
        }
    }
    return records;
}

// Args: scene number 1..8, ticks per pass 0 or 1.
void scene_pass(benchmark::State& state) {
    const SceneTraffic& scene = SCENE_TRAFFIC[state.range(0) - 1];
    const std::int32_t ticks = static_cast<std::int32_t>(state.range(1));

    ScriptedShow show{};
    if (!scripted_show_init(&show, noise_records())) {
        state.SkipWithError("allocation failed");
        return;
    }
    // One pass at the scene's song position runs every set-up up to it, as a show that jumps
    // there would: the scene is set up and scene_index holds it.
    std::int32_t tick = 0;
    scripted_show_pass(&show, tick, scene.sngpos, scene.patpos);
    if (show.s.scene_index != state.range(0) - 1) {
        state.SkipWithError("the song position did not reach the scene");
        scripted_show_free(&show);
        return;
    }

    time_passes_against_floor(state, &show, scene.bytes_read + scene.bytes_written, tick, ticks,
                              scene.sngpos, scene.patpos);
    state.SetLabel(scene.name);
    scripted_show_free(&show);
}

} // namespace

BENCHMARK(scene_pass)
    ->ArgNames({"scene", "ticks"})
    ->ArgsProduct({{1, 2, 3, 4, 5, 6, 7, 8}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
