// quab-check: loads a show's asset file and module as the show does, prints the plan of the
// show (each scene's song positions, when it starts and ends, what it shows) and warns, in plain
// words naming what to change, about everything that keeps the show from playing as meant.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lib/base/descriptors.h"
#include "lib/show_files/show_files.h"
#include "lib/show_plan/show_check.h"
#include "lib/tool_common/command_line.h"
#include "lib/tool_common/shown_path.h"
#include "lib/tool_common/streams.h"

namespace {

constexpr const char* PROGRAM = "quab-check";
constexpr int EXIT_PLAYS_AS_MEANT = EXIT_OK;
constexpr int EXIT_WARNINGS = 1;
constexpr int EXIT_UNUSABLE = EXIT_BAD_INPUT;

constexpr ToolText TOOL = {
    PROGRAM,
    "Checks a show's asset file and music module and prints the plan of the show.",
    SHOW_INPUTS_USAGE " [--fit | --no-fit]",
    SHOW_INPUTS_HELP
    "  --fit             fit the show to the song even where the song meets its needs\n"
    "  --no-fit          never fit: the scenes follow the song's own positions\n",
    "The files are loaded as xdemo loads them; the plan gives each scene's song positions, when\n"
    "it starts and ends (the module mixed silently, on the clock quab-export uses) and the\n"
    "assets it shows; then warnings, each naming what to change. A song that does not meet the\n"
    "show's needs has the show fitted to it, as quab-play and quab-export play it: the plan then\n"
    "gives the scene times of the fitted show.\n"
    "Exit status: 0 the show plays as meant, 1 warnings, 2 a file the show cannot use, a show\n"
    "file not found or a bad command line.\n",
};

struct Options {
    ShowInputs inputs;
    FitChoice fit = FitChoice::AUTO;
};

Options parse_options(int argc, char** argv) {
    Options opt;
    bool fit = false, no_fit = false;
    std::vector<const char*> operands =
        parse_command_line(TOOL, argc, argv,
                           {assets_option(&opt.inputs), music_option(&opt.inputs),
                            flag_option("--fit", &fit), flag_option("--no-fit", &no_fit)});
    if (!operands.empty())
        usage_error(PROGRAM, std::string("unexpected argument ") + operands[0]);
    std::string problem;
    if (!settle_fit_choice(fit, no_fit, &opt.fit, &problem))
        usage_error(PROGRAM, problem);
    return opt;
}

} // namespace

int main(int argc, char** argv) {
    keep_standard_descriptors_open();
    Options opt = parse_options(argc, argv);
    std::string show_paths[2];
    settle_show_inputs(&opt.inputs, PROGRAM, show_paths);
    ShowCheck check = check_show_files({opt.inputs.assets, nullptr, opt.inputs.music, opt.fit});
    if (check.mixer_failed) {
        // Not the module's fault: the mixer itself could not run, so nothing can be checked.
        std::fflush(stdout);
        std::fprintf(stderr, "quab-check: cannot mix %s: %s\n",
                     shown_path(opt.inputs.music).c_str(), check.mix_error.c_str());
        return EXIT_UNUSABLE;
    }
    const std::vector<std::string>& problems = check.problems;
    const std::vector<std::string>& warnings = check.warnings;

    if (check.planned) {
        std::string assets_shown = shown_path(opt.inputs.assets);
        std::string music_shown = shown_path(opt.inputs.music);
        if (check.fitted)
            std::printf("Plan of the show (%s, %s), fitted to the song: the scenes share its "
                        "%.2f s%s:\n",
                        assets_shown.c_str(), music_shown.c_str(),
                        reading_s(check.clock.readings.size()),
                        check.clock.end == ClockEnd::SONG_ENDED ? "" : " up to where it loops");
        else
            std::printf("Plan of the show (%s, %s):\n", assets_shown.c_str(), music_shown.c_str());
        print_plan(check.plan, music_shown.c_str());
        if (check.out_of_memory) {
            std::fflush(stdout);
            std::fprintf(stderr, "quab-check: out of memory for the show's buffers\n");
            return EXIT_UNUSABLE;
        }
        if (check.black_checked) {
            std::int32_t total = 0, longest = 0;
            for (const BlackStretch& b : check.black) {
                total += b.end_tick - b.first_tick;
                longest = std::max(longest, b.end_tick - b.first_tick);
            }
            std::string within;
            if (check.clock.readings.size() > std::size_t{BLACK_CHECK_TICKS} * TICK_READINGS)
                within = " in the first " + std::to_string(BLACK_CHECK_TICKS / TICKS_PER_S / 60) +
                         " minutes";
            std::printf("Black frames%s: %.2f s in all, in %zu stretches, the longest %.2f s.\n",
                        within.c_str(), static_cast<double>(total) / TICKS_PER_S,
                        check.black.size(), static_cast<double>(longest) / TICKS_PER_S);
        }
        // The short answer for a musician, before the warnings that spell it out.
        std::printf("\n");
        print_needs(check.own_plan);
    }

    if (!warnings.empty())
        std::printf("\n");
    // On standard error, so that a plan sent to a file does not hide why the show cannot play.
    std::fflush(stdout);
    for (const std::string& p : problems)
        std::fprintf(stderr, "%s: cannot play: %s\n", PROGRAM, p.c_str());
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
