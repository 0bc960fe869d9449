// The show's sample clock: the mixed music is the master, 882 sample frames (20 ms at 44,100 Hz)
// make one 50 Hz tick. quab-export places its video frames on it and quab-play shows the tick of
// the sample being heard.
#pragma once

#include <cstdint>

// The show's clock: every tick count, animation length and sample position derives from these.
constexpr std::int32_t TICKS_PER_S = 50;
constexpr std::uint32_t MIX_RATE_HZ = 44100;
constexpr std::uint32_t SAMPLES_PER_TICK = MIX_RATE_HZ / TICKS_PER_S; // 882
static_assert(SAMPLES_PER_TICK * TICKS_PER_S == MIX_RATE_HZ, "a tick is a whole number of samples");

// The first sample frame at or after time k / fps: floor(k * 44,100 / fps). Exact for any
// frame count a show can reach (k * 44,100 stays far below 2^64).
static inline std::uint64_t frame_start_sample(std::uint64_t k, std::uint32_t fps) {
    return k * MIX_RATE_HZ / fps;
}

// tick_count once `sample` sample frames have been mixed: one tick per whole 882.
static inline std::int32_t tick_at_sample(std::uint64_t sample) {
    return static_cast<std::int32_t>(sample / SAMPLES_PER_TICK);
}
