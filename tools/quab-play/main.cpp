// quab-play: the show on today's desktops. The same pass, assets and module as xdemo, drawn once
// per displayed frame in a resizable window (SDL2), on the clock of the sample being heard; and
// the maker's bench around it: reload on save, a loop, steps, an overlay, exact screenshots.
// Its parts live in lib/play; this only strings them together.
#include "lib/base/descriptors.h"
#include "lib/play/check.h"
#include "lib/play/options.h"
#include "lib/play/player.h"
#include "lib/play/show_loop.h"
#include "lib/play/watch.h"

int main(int argc, char** argv) {
    keep_standard_descriptors_open();
    PlayOptions opt = parse_play_options(argc, argv);
    find_show_files(&opt);
    // Forked before the files are loaded and any thread starts.
    Checker* checker = opt.watch ? checker_start(opt.source, opt.fit) : nullptr;
    static Player player;
    start_show(&player, opt);
    Watch* watch = opt.watch ? watch_start(&player, checker) : nullptr;
    run_show(&player, watch);
    watch_stop(watch);
    checker_stop(checker);
    return end_show(&player);
}
