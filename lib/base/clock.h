// The monotonic clock the tools time their work and their frames by (never set back, never
// jumping with the wall clock), and the deadline waits on it.
#pragma once

#include <cerrno>
#include <cstdint>
#include <ctime>

#include <semaphore.h>

// Nanoseconds on CLOCK_MONOTONIC; only differences mean anything.
static inline std::uint64_t monotonic_ns() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::uint64_t>(t.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(t.tv_nsec);
}

// A monotonic_ns reading as the timed waits of the system take their deadlines
// (clock_nanosleep, sem_clockwait, pthread_clockjoin_np on CLOCK_MONOTONIC).
static inline timespec monotonic_timespec(std::uint64_t deadline_ns) {
    return timespec{static_cast<time_t>(deadline_ns / 1000000000u),
                    static_cast<long>(deadline_ns % 1000000000u)};
}

// The deadline ns nanoseconds from now; a negative ns is now.
static inline std::uint64_t deadline_after_ns(std::int64_t ns) {
    return monotonic_ns() + static_cast<std::uint64_t>(ns > 0 ? ns : 0);
}

// Sleeps until the monotonic clock reads deadline_ns; a signal does not cut the sleep short.
static inline void sleep_until_ns(std::uint64_t deadline_ns) {
    timespec t = monotonic_timespec(deadline_ns);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) != 0) {
    }
}

// The one deadline wait: waits on sem until it is posted or the monotonic clock reads
// deadline_ns. True when posted in time (the post taken); a signal does not cut the wait short.
[[nodiscard]] static inline bool sem_wait_until_ns(sem_t* sem, std::uint64_t deadline_ns) {
    timespec until = monotonic_timespec(deadline_ns);
    for (;;) {
        if (sem_clockwait(sem, CLOCK_MONOTONIC, &until) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

// Seconds elapsed since start_ns, a monotonic_ns reading.
static inline double seconds_since(std::uint64_t start_ns) {
    return static_cast<double>(monotonic_ns() - start_ns) / 1e9;
}
