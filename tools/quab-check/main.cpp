// quab-check: loads a show's asset file and module as the show does, prints the plan of the
// show (each scene's song positions, when it starts and ends, what it shows) and warns, in plain
// words naming what to change, about everything that keeps the show from playing as meant.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "lib/show_files/show_files.h"
#include "lib/show_plan/plan.h"
#include "lib/show_plan/show_clock.h"
#include "lib/tool_common/command_line.h"
#include "lib/tool_common/streams.h"

namespace {

constexpr const char* PROGRAM = "quab-check";
constexpr int EXIT_PLAYS_AS_MEANT = EXIT_OK;
constexpr int EXIT_WARNINGS = 1;
constexpr int EXIT_UNUSABLE = EXIT_BAD_INPUT;

constexpr ToolText TOOL = {
    PROGRAM,
    "Checks a show's asset file and music module and prints the plan of the show.",
    SHOW_INPUTS_USAGE,
    SHOW_INPUTS_HELP,
    "The files are loaded as xdemo loads them; the plan gives each scene's song positions, when\n"
    "it starts and ends (the module mixed silently, on the clock quab-export uses) and the\n"
    "assets it shows; then warnings, each naming what to change.\n"
    "Exit status: 0 the show plays as meant, 1 warnings, 2 a file the show cannot use or a bad\n"
    "command line.\n",
};

using Options = ShowInputs;

Options parse_options(int argc, char** argv) {
    Options opt;
    std::vector<const char*> operands =
        parse_command_line(TOOL, argc, argv, {assets_option(&opt), music_option(&opt)});
    if (!operands.empty())
        usage_error(PROGRAM, std::string("unexpected argument ") + operands[0]);
    return opt;
}

} // namespace

int main(int argc, char** argv) {
    Options opt = parse_options(argc, argv);
    std::string assets_path =
        given_or_found_show_file(opt.assets, "quab.dat", PROGRAM, EXIT_UNUSABLE);
    std::string music_path =
        given_or_found_show_file(opt.music, "music.xm", PROGRAM, EXIT_UNUSABLE);
    opt.assets = assets_path.c_str();
    opt.music = music_path.c_str();
    require_regular_inputs(PROGRAM, {opt.assets, opt.music});
    std::vector<std::string> problems; // what keeps the show from starting at all
    std::vector<std::string> warnings;

    std::string problem;
    AssetTable assets = load_show_assets(opt.assets, &problem);
    if (!assets)
        problems.push_back(problem + "; make it with quab-assets build");

    ShowClock clock;
    std::string error;
    bool bad_module = false;
    bool have_clock = read_show_clock(opt.music, &clock, &error, &bad_module);
    if (!have_clock && !bad_module) {
        // Not the module's fault: the mixer itself could not run, so nothing can be checked.
        std::fflush(stdout);
        std::fprintf(stderr, "quab-check: cannot mix %s: %s\n", opt.music, error.c_str());
        if (assets)
            free_asset_table(assets);
        return EXIT_UNUSABLE;
    }
    if (!have_clock)
        problems.push_back(std::string(opt.music) + ": " + error);
    else if (clock.readings.empty()) {
        problems.push_back(std::string(opt.music) + ": the song ends before it starts");
        have_clock = false;
    }

    if (have_clock) {
        ShowPlan plan = plan_show(clock);
        std::printf("Plan of the show (%s, %s):\n", opt.assets, opt.music);
        print_plan(plan, opt.music);
        timing_warnings(plan, opt.music, &warnings);
        if (assets) {
            std::vector<BlackStretch> black;
            if (!find_black(assets, clock, plan, &black)) {
                std::fflush(stdout);
                std::fprintf(stderr, "quab-check: out of memory for the show's buffers\n");
                free_asset_table(assets);
                return EXIT_UNUSABLE;
            }
            std::int32_t total = 0, longest = 0;
            for (const BlackStretch& b : black) {
                total += b.end_tick - b.first_tick;
                longest = std::max(longest, b.end_tick - b.first_tick);
            }
            std::string within;
            if (clock.readings.size() > std::size_t{BLACK_CHECK_TICKS} * TICK_READINGS)
                within = " in the first " + std::to_string(BLACK_CHECK_TICKS / TICKS_PER_S / 60) +
                         " minutes";
            std::printf("Black frames%s: %.2f s in all, in %zu stretches, the longest %.2f s.\n",
                        within.c_str(), static_cast<double>(total) / TICKS_PER_S, black.size(),
                        static_cast<double>(longest) / TICKS_PER_S);
            black_warnings(plan, black, &warnings);
        }
        // The short answer for a musician, before the warnings that spell it out.
        std::printf("\n");
        print_needs(plan);
    }
    if (assets) {
        key_warnings(assets, opt.assets, &warnings);
        free_asset_table(assets);
    }

    if (!problems.empty() || !warnings.empty())
        std::printf("\n");
    for (const std::string& p : problems)
        std::printf("Cannot play: %s\n", p.c_str());
    for (const std::string& w : warnings)
        std::printf("Warning: %s\n", w.c_str());
    if (problems.empty() && warnings.empty())
        std::printf("The show plays as meant.\n");
    if (!standard_output_ok(PROGRAM))
        return EXIT_UNUSABLE;
    if (!problems.empty())
        return EXIT_UNUSABLE;
    return warnings.empty() ? EXIT_PLAYS_AS_MEANT : EXIT_WARNINGS;
}
