// What every scene benchmark shares: buffer sizes for the traffic counts, the thread's CPU clock,
// the traffic floor (a memcpy of the pass's bytes), the columns each row reports, the loop that
// times passes against the floor, and the textured asset records that make keyed choices take
// both ways.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "lib/test_records/records.h"

constexpr std::size_t FRAME = FRAME_BYTES;
constexpr std::size_t TEX = TEX_PIXELS * sizeof(Pixel);

// Scene 3's two patches at their first phases (orbit 1 at (-10, 30), orbit 2 at (-41, 23)),
// clipped to the frame: 244 x 208 and 213 x 215 pixels.
constexpr std::size_t PATCHES_AT_START = (244 * 208 + 213 * 215) * sizeof(Pixel);

// Thread CPU time in seconds: the machine is shared, and a pass that is preempted should not
// count the wait. Memory stalls still count, as they run on the thread.
double seconds_now();

// The traffic floor: a memcpy that reads and writes as many bytes in all as a pass does (a memcpy
// of n bytes reads n and writes n, so it copies traffic / 2). Both buffers are written first, so
// no page is the shared zero page.
struct Floor {
    std::vector<unsigned char> src, dst;
    explicit Floor(std::size_t traffic) : src(traffic / 2, 0x5A), dst(traffic / 2, 0xA5) {}
    // One copy, in seconds of thread CPU time.
    double time_one();
};

// Sets the columns of a row: pass_us, floor_us, x_floor (pass / floor, the figure to read) and
// traffic_KB, from the pass and floor totals in seconds over all iterations.
void report_against_floor(benchmark::State& state, double pass_total, double floor_total,
                          std::size_t traffic);

// The benchmark loop of a scene row: per iteration the floor of traffic bytes, then the clock
// moved on by ticks_per_pass from tick and one pass of the show at (sngpos, patpos), the two
// alternating so that both see the same machine (the same clock speed, the same neighbours, each
// starting with the other's data in the caches). Only the pass is the iteration's time; sets the
// row's columns.
void time_passes_against_floor(benchmark::State& state, ScriptedShow* show, std::size_t traffic,
                               std::int32_t tick, std::int32_t ticks_per_pass, std::int16_t sngpos,
                               std::uint16_t patpos);

// Textures with gradients and noise, pictures, overlays and masks with about one pixel in three
// keyed, so every keyed choice takes both ways; seed picks the noise.
AssetRecords textured_records(std::uint32_t seed);
