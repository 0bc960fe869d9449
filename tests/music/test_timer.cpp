// The tick timer with the mixer thread, playing through a real sound server: ticks keep their
// 50 Hz rate and the main thread keeps running while the server's output driver blocks.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "music/music.h"
#include "tests/support/process.h"
#include "tests/support/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

TEST(TickTimer, KeepsFiftyTicksASecondWhileTheSoundServerPlays) {
    ASSERT_NE(std::getenv("XDG_RUNTIME_DIR"), nullptr) << "needs the e2e sound server";
    std::string dir = make_temp_dir();
    std::string module = dir + "/music.xm";
    // 7.68 s a position: the song plays throughout the measurement.
    ASSERT_EQ(run_child(child_of({QUAB_TESTMOD, module, "--positions", "8", "--rows", "64",
                                  "--speed", "6", "--bpm", "125"}),
                        dir)
                  .status,
              0);

    ASSERT_EQ(music_start(module.c_str(), 24), 1);
    ASSERT_EQ(timer_start(), 1);

    // Stand-in for the frame loop: spin, as the real loop does, and note the longest stretch in
    // which the main thread did not get to run.
    Clock::time_point start = Clock::now();
    std::int32_t first_tick = tick_count.load();
    Clock::time_point last = start;
    double longest_gap = 0;
    long passes = 0;
    double song_at_1s = -1;
    // At 3 s: what is heard against what has been mixed, heard first (the mixer only moves on).
    bool compared = false;
    std::uint32_t heard_time = 0, mixed_time = 0;
    int heard_row = 0, mixed_row = 0, heard_position = -1, mixed_position = -1;
    while (seconds_since(start) < 4.0) {
        if (song_at_1s < 0 && seconds_since(start) >= 1.5)
            song_at_1s = __atomic_load_n(&music_module->sngtime, __ATOMIC_RELAXED) / 1024.0;
        if (!compared && seconds_since(start) >= 3.0) {
            heard_time = __atomic_load_n(&heard_sngtime, __ATOMIC_RELAXED);
            heard_position = __atomic_load_n(&heard_sngpos, __ATOMIC_RELAXED);
            heard_row = __atomic_load_n(&heard_patpos, __ATOMIC_RELAXED);
            mixed_time = __atomic_load_n(&music_module->sngtime, __ATOMIC_RELAXED);
            mixed_position = __atomic_load_n(&music_module->sngpos, __ATOMIC_RELAXED);
            mixed_row = __atomic_load_n(&music_module->patpos, __ATOMIC_RELAXED);
            compared = true;
        }
        Clock::time_point now = Clock::now();
        double gap = std::chrono::duration<double>(now - last).count();
        longest_gap = gap > longest_gap ? gap : longest_gap;
        last = now;
        passes++;
    }
    double elapsed = seconds_since(start);
    std::int32_t ticks = tick_count.load() - first_tick;
    double song_seconds = __atomic_load_n(&music_module->sngtime, __ATOMIC_RELAXED) / 1024.0;

    std::printf("song time %.2f s at 1.5 s\n", song_at_1s);
    std::printf("%d ticks in %.3f s (%.2f per second), song time %.2f s, %ld loop passes, "
                "longest gap %.1f ms\n",
                ticks, elapsed, ticks / elapsed, song_seconds, passes, longest_gap * 1000);
    EXPECT_NEAR(ticks / elapsed, 50.0, 1.0);
    // Once the sound server has started the stream (its start-up may hold the first write for
    // a second), the mixer keeps the song moving at the speed of the clock.
    EXPECT_NEAR((song_seconds - song_at_1s) / (elapsed - 1.5), 1.0, 0.1);
    // What is heard trails what is mixed by what the sound server holds: by the output's delay
    // in song time (the mixer may be up to two 20 ms blocks further on), and, at 120 ms a row,
    // by as many rows within one. Both are in the song's first position at 3 s.
    double delay_ms = output_delay_ns / 1e6;
    double trail_ms = (mixed_time - heard_time) * 1000.0 / 1024;
    std::printf("output delay %.0f ms; heard %.0f ms behind the mixing, %d rows\n", delay_ms,
                trail_ms, mixed_row - heard_row);
    EXPECT_GE(delay_ms, 150.0);
    EXPECT_GE(trail_ms, delay_ms - 1);
    EXPECT_LE(trail_ms, delay_ms + 45);
    EXPECT_EQ(heard_position, 0);
    EXPECT_EQ(mixed_position, 0);
    EXPECT_NEAR(mixed_row - heard_row, delay_ms / 120, 1.0);

    // A blocked output write inside the handler froze the main thread for up to a third of a
    // second; on the mixer thread it must not.
    EXPECT_LT(longest_gap, 0.25);

    // Once running is clear the mixer stops, while the ticks go on.
    EXPECT_EQ(timer_stop_mixer(), 1);
    std::uint32_t stopped_at = __atomic_load_n(&music_module->sngtime, __ATOMIC_RELAXED);
    std::int32_t tick_at_stop = tick_count.load();
    Clock::time_point wait = Clock::now();
    while (seconds_since(wait) < 0.3) {
    }
    EXPECT_EQ(__atomic_load_n(&music_module->sngtime, __ATOMIC_RELAXED), stopped_at);
    EXPECT_GT(tick_count.load(), tick_at_stop + 5);

    Player_Stop();
    music_stop();
    std::filesystem::remove_all(dir);
}

} // namespace
