// A file dropped on quab-play's window, handed to the function its SDL_DROPFILE event calls
// while the music plays (muted, on the system clock): a module switches the music to its first
// song position; a file libmikmod cannot load is one line on standard error and the music plays
// on where it was.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <SDL.h>

#include "lib/play/dropped_file.h"
#include "lib/play/playback.h"
#include "music/collector.h"
#include "tests/support/test_support.h"

namespace {

// Waits up to 5 s for the heard clock to meet the condition; the last clock read.
template <typename Condition> HeardClock wait_for(Condition condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    HeardClock c = playback_heard();
    while (!condition(c) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        c = playback_heard();
    }
    return c;
}

void drop(const std::string& path, std::uint32_t number) {
    SDL_Event event{};
    event.drop.type = SDL_DROPFILE;
    event.drop.file = SDL_strdup(path.c_str());
    play_dropped_file(&event.drop, number);
    EXPECT_EQ(event.drop.file, nullptr) << "the event's file name was not freed";
}

TEST(DroppedFile, SwitchesToAModuleAndPlaysOnPastOneThatCannotBeLoaded) {
    std::string root = make_temp_dir();
    ASSERT_FALSE(root.empty());
    // 12 and 3 song positions, about 0.3 s each.
    std::string first = root + "/first.xm", second = root + "/second.xm";
    ASSERT_EQ(std::system((std::string(QUAB_TESTMOD_PATH) + " " + first +
                           " --positions 12 --rows 4 --speed 6 --bpm 200 >/dev/null")
                              .c_str()),
              0);
    ASSERT_EQ(std::system((std::string(QUAB_TESTMOD_PATH) + " " + second +
                           " --positions 3 --rows 4 --speed 6 --bpm 200 >/dev/null")
                              .c_str()),
              0);
    std::string text = root + "/notes.txt";
    std::ofstream(text) << "not a module\n";

    std::string error;
    bool bad_module = false;
    Result opened = collector_open(first.c_str(), &bad_module);
    ASSERT_TRUE(opened.ok) << opened.reason;
    playback_start(PlaybackSettings{true, 50, 4, 0});
    HeardClock c = wait_for([](const HeardClock& h) { return h.sngpos == 5; });
    ASSERT_EQ(c.sngpos, 5);

    // Not a module: one line for the show to tell (standard error and the overlay), and the
    // same module plays on from where it was.
    drop(text, 1);
    c = wait_for([](const HeardClock& h) { return h.sngpos >= 7; });
    std::string said;
    EXPECT_TRUE(playback_take_switch_failure(&said));
    said += "\n";
    EXPECT_EQ(c.sngpos, 7);
    EXPECT_EQ(c.jumps, 0u);
    EXPECT_EQ(collector_module()->numpos, 12);
    EXPECT_EQ(said.rfind("quab-play: " + text + ": cannot load the module", 0), 0u) << said;
    EXPECT_EQ(said.size() - said.find("; the show goes on\n"), 19u) << said;

    // A module: the music starts again from its first song position, as jump 2.
    drop(second, 2);
    c = wait_for([](const HeardClock& h) { return h.jumps == 2; });
    EXPECT_EQ(c.jumps, 2u);
    EXPECT_EQ(c.sngpos, 0);
    EXPECT_EQ(collector_module()->numpos, 3);
    c = wait_for([](const HeardClock& h) { return h.sngpos == 1; });
    EXPECT_EQ(c.sngpos, 1);

    ASSERT_EQ(playback_stop(&error), PlaybackEnd::STOPPED) << error;
    collector_close();
    std::filesystem::remove_all(root);
}

} // namespace
