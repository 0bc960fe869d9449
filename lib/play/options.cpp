// quab-play's options, read through the table every tool shares.
#include "lib/play/options.h"

#include "core/timeline.h"
#include "lib/play/bench.h"

// The shared lines of --assets and --music (SHOW_INPUTS_HELP) stand apart here, with --pictures
// between them as its alternative to --assets; the help's test holds them to the shared text.
const ToolText PLAY_TOOL = {
    PLAY_PROGRAM,
    "Plays the show in a window, in step with the music as it is heard.",
    "[--assets FILE | --pictures DIR] [--music FILE] [--fullscreen] [--scale N]\n"
    "                 [--start POSITION] [--mute] [--buffer MS] [--watch] [--loop FIRST-LAST]\n"
    "                 [--fit | --no-fit] [MODULE]",
    "  --assets FILE     the asset file (default: quab.dat, looked up)\n"
    "  --pictures DIR    build the asset file from the 30 PNGs in DIR, named as\n"
    "                    quab-assets unpack names them\n"
    "  --music FILE      the music module (default: music.xm, looked up)\n"
    "  --fullscreen      start in full screen\n"
    "  --scale N         window size as N times 320x240, 1 to 16 (default: the largest that\n"
    "                    fits in about two thirds of the screen)\n"
    "  --start POSITION  start at song position 0 to 29 (default 0, or the loop's first)\n"
    "  --mute            play without sound, on the system clock\n"
    "  --buffer MS       sound mixed ahead of the output, 10 to 5000 ms (default 50)\n"
    "  --watch           reload the asset file (or pictures) and the module when they are\n"
    "                    saved, going on at the same song position and row; at the song's\n"
    "                    end the show stays on its last frame until you quit\n"
    "  --loop FIRST-LAST loop song positions FIRST to LAST\n"
    "  --fit             fit the show to the song even where the song meets its needs\n"
    "  --no-fit          never fit: the scenes follow the song's own positions\n",
    "MODULE is the music module to play the show with, as --music; a module dropped on the\n"
    "window starts the show again with it. A song that does not meet the show's needs (see\n"
    "quab-check) has the show fitted to it: every scene gets its share of the song.\n"
    "Keys: F11 or Alt+Enter full screen, Space pause, Left/Right previous/next song position,\n"
    "L loop the scene, . and , one tick on and back while paused, Tab overlay, F12 save the\n"
    "frame as quab-POSITION-ROW-TICK.png, I whole pixels or fill, Esc or Q quit.\n"
    "Exit status: 0 after a show, 1 a failure (a file the show cannot use, no display), 2 a bad\n"
    "command line, a show file not found or an input that is not a regular file.\n",
};

static_assert(LAST_SHOW_POSITION == 29,
              "--start's and --loop's help name the show's last position");
static_assert(MAX_SCALE == 16, "--scale's help names the largest scale");

PlayOptions parse_play_options(int argc, char** argv) {
    PlayOptions opt;
    const char* loop = nullptr;
    ShowInputs inputs;
    bool fit = false, no_fit = false;
    std::vector<const char*> operands =
        parse_command_line(PLAY_TOOL, argc, argv,
                           {assets_option(&inputs), text_option("--pictures", &opt.source.pictures),
                            music_option(&inputs), flag_option("--fullscreen", &opt.fullscreen),
                            flag_option("--mute", &opt.mute), flag_option("--watch", &opt.watch),
                            count_option("--scale", 1, MAX_SCALE, &opt.scale),
                            count_option("--start", 0, LAST_SHOW_POSITION, &opt.start),
                            count_option("--buffer", MIN_BUFFER_MS, MAX_BUFFER_MS, &opt.buffer_ms),
                            text_option("--loop", &loop), flag_option("--fit", &fit),
                            flag_option("--no-fit", &no_fit)});
    opt.source.assets = inputs.assets;
    opt.source.music = inputs.music;
    std::string problem;
    if (!settle_play_options(&opt, operands, loop, &problem) ||
        !settle_fit_choice(fit, no_fit, &opt.fit, &problem))
        usage_error(PLAY_PROGRAM, problem);
    return opt;
}

bool settle_play_options(PlayOptions* opt, const std::vector<const char*>& operands,
                         const char* loop, std::string* problem) {
    // A file argument is the module to play, as module players take it.
    if (operands.size() > 1 || (!operands.empty() && opt->source.music)) {
        *problem = std::string("more than one module given: ") + operands[0] + " and " +
                   (opt->source.music ? opt->source.music : operands[1]);
        return false;
    }
    if (!operands.empty())
        opt->source.music = operands[0];
    if (loop && !parse_loop(loop, &opt->loop_first, &opt->loop_last, problem))
        return false;
    if (opt->source.assets && opt->source.pictures) {
        *problem = "--assets and --pictures both name the pictures; give one of them";
        return false;
    }
    // --start 0 is the default: only another position asks to start within a loop.
    opt->start_given = opt->start != 0;
    // A loop starts at its first position unless asked to start within it.
    if (opt->loop_last >= 0 &&
        (!opt->start_given || static_cast<std::int16_t>(opt->start) < opt->loop_first ||
         static_cast<std::int16_t>(opt->start) > opt->loop_last))
        opt->start = static_cast<std::uint32_t>(opt->loop_first);
    return true;
}
