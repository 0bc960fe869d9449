// quab-play's command line: its --help text, the options it takes and how they settle (the
// module as an operand, the loop and the start position within it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lib/play/player.h"
#include "lib/tool_common/command_line.h"

constexpr std::uint32_t MIN_BUFFER_MS = 10;
constexpr std::uint32_t MAX_BUFFER_MS = 5000;
constexpr std::uint32_t DEFAULT_BUFFER_MS = 50;

extern const ToolText PLAY_TOOL;

struct PlayOptions {
    // A null assets or music is looked up by name (find_show_file) once the options are read.
    ShowSource source{nullptr, nullptr, nullptr};
    bool fullscreen = false;
    std::uint32_t scale = 0; // 0: from the screen size
    std::uint32_t start = 0;
    bool start_given = false;
    bool mute = false;
    std::uint32_t buffer_ms = DEFAULT_BUFFER_MS;
    bool watch = false;
    std::int16_t loop_first = 0;
    std::int16_t loop_last = -1; // below 0: no loop
    FitChoice fit = FitChoice::AUTO;
};

// Reads the command line; a bad one is a usage error (status 2).
PlayOptions parse_play_options(int argc, char** argv);

// Settles the options read: the operand as the module, --loop's text (null: none) and the start
// position within the loop. False with *problem (a usage error's text) when they do not agree.
[[nodiscard]] bool settle_play_options(PlayOptions* opt, const std::vector<const char*>& operands,
                                       const char* loop, std::string* problem);
