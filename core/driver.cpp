// The demo driver, the entry point of both deliverables: start-up in a fixed order, the frame
// loop over the show state, the playtime report and shutdown. Only the display back-end linked
// in differs between xdemo and vgademo.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

#include "core/core.h"
#include "display/display.h"
#include "lib/base/descriptors.h"
#include "music/music.h"

int main(int argc, char** argv) {
    keep_standard_descriptors_open();
    std::printf("%s\n", BANNER);

    std::printf("Initiating memory allocation sequence...\n");
    ShowState show;
    if (!show_alloc(&show, display_wants_offscreen_frame())) {
        std::printf("Unable to allocate RAM memory\n");
        std::exit(1);
    }

    std::printf("Initiating Precalc sequence...\n");
    precalc_tables(&show);

    // The scenes read fixed-size assets without checks of their own: a short or missing record
    // would make them read out of bounds, so the file is checked before any display opens.
    AssetTable assets = load_checked_asset_file("quab.dat");
    if (!assets)
        std::exit(1);

    // Start-up failures end the process at once, releasing what the later steps handed over;
    // the driver's own buffers are left to the exit.
    DisplayContext* display = display_open(argc, argv);
    if (!display) {
        free_asset_table(assets);
        std::exit(1);
    }
    if (display_status(display) != 1) {
        free_asset_table(assets);
        display_discard(display);
        std::exit(1);
    }
    if (!music_start("music.xm", MUSIC_MAX_VOICES) || !timer_start()) {
        free_asset_table(assets);
        display_close(display);
        std::exit(1);
    }

    show.frame = display_wants_offscreen_frame() ? show.offscreen_frame : display_frame(display);
    show.assets = assets;
    show.tick_source = &tick_count;
    show.sngpos_source = &heard_sngpos;
    show.patpos_source = &heard_patpos;
    show.running = &running;

    while (running.load(std::memory_order_relaxed)) {
        show_pass(&show);
        display_present(display, show.frame);
        // A song shorter than the timeline ends the show when its music stops, as position 30
        // would have.
        if (display_poll_quit(display) || music_ended.load(std::memory_order_relaxed))
            running.store(0, std::memory_order_relaxed);
    }

    // The mixer thread is the only other libmikmod caller: it must be done before the main
    // thread stops the player. One held in a sound server's write (a stopped server) is not
    // waited for: the show ends all the same, and the module and libmikmod, whose lock that
    // thread holds, are left to the process exit.
    bool mixer_stopped = timer_stop_mixer() == 1;
    int minutes, seconds;
    playtime_parts(__atomic_load_n(&heard_sngtime, __ATOMIC_RELAXED), &minutes, &seconds);
    std::printf("Total playtime: %d:%d\n", minutes, seconds);
    std::printf("*** Shutdown ***\n");
    if (mixer_stopped) {
        Player_Stop();
        music_stop();
    }
    free_asset_table(assets);
    display_close(display);
    show_free(&show);
    return 0;
}
