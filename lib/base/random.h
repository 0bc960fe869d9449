// The one small random generator of the tools, tests and benchmarks: xorshift32, so that a seed
// gives the same noise, stars and test patterns on every machine and every run.
#pragma once

#include <cstdint>

// The next number of the sequence, also left in *state. Never 0 when *state is not 0.
static inline std::uint32_t next_random(std::uint32_t* state) {
    std::uint32_t x = *state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    *state = x;
    return x;
}
