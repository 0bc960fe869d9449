// The live mixer thread, inside music/: started and ended by the tick timer (timer.cpp). It
// feeds libmikmod's output driver and publishes the song position being heard.
#pragma once

#include <cstdint>

constexpr std::int64_t NS_PER_S = 1'000'000'000;

// Starts the thread on the playing music_module, with SIGALRM blocked in it. False when it
// could not be started.
[[nodiscard]] bool live_mixer_start();

// Tells the thread to finish and waits for it at most wait_ns. True when it has finished (or
// never started); false when it is still held in the output's write, and it is left running.
[[nodiscard]] bool live_mixer_finish(std::int64_t wait_ns);
