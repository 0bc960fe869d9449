// The monotonic clock the tools time their work and their frames by: never set back, never
// jumping with the wall clock.
#pragma once

#include <cstdint>
#include <ctime>

// Nanoseconds on CLOCK_MONOTONIC; only differences mean anything.
static inline std::uint64_t monotonic_ns() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::uint64_t>(t.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(t.tv_nsec);
}

// Sleeps until the monotonic clock reads deadline_ns; a signal does not cut the sleep short.
static inline void sleep_until_ns(std::uint64_t deadline_ns) {
    timespec t{static_cast<time_t>(deadline_ns / 1000000000u),
               static_cast<long>(deadline_ns % 1000000000u)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) != 0) {
    }
}

// Seconds elapsed since start_ns, a monotonic_ns reading.
static inline double seconds_since(std::uint64_t start_ns) {
    return static_cast<double>(monotonic_ns() - start_ns) / 1e9;
}
