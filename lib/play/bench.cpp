// The bench keys. A step replays instead of moving the live show on, because the live show's
// passes fall on the display's refreshes, not on every tick: only a replay of one pass a tick is
// the same from one run to the next, and the same as quab-render's for the same ticks.
#include "lib/play/bench.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "core/timeline.h"
#include "lib/pictures/png_export.h"
#include "lib/tool_common/command_line.h"

namespace {

// One pass of the replay at tick t, on the music's song position and row at that tick.
void replay_pass(Player* p, std::int32_t t) {
    std::int16_t sngpos = p->shown_sngpos;
    std::uint16_t patpos = p->shown_patpos;
    if (!playback_clock_at(t - p->tick_offset, &sngpos, &patpos)) {
        sngpos = p->shown_sngpos;
        patpos = p->shown_patpos;
    }
    p->shown_reading = show_reading(p, t, sngpos, patpos);
    show_pass_at(&p->show, &p->clock, t, p->shown_reading.sngpos, p->shown_reading.patpos);
    p->shown_tick = t;
    p->shown_sngpos = sngpos;
    p->shown_patpos = patpos;
}

// Writes text whole to fd. A short write is followed by the next, which gives the cause (a full
// disk: ENOSPC); *error is that cause, never a number left over from an earlier call.
bool write_whole(int fd, const std::string& text, int* error) {
    for (std::size_t done = 0; done < text.size();) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = n < 0 ? errno : ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool parse_loop(const char* text, std::int16_t* first, std::int16_t* last, std::string* problem) {
    const char* dash = std::strchr(text, '-');
    std::string bounds = std::to_string(LAST_SHOW_POSITION);
    *problem = std::string("--loop ") + text + ": not FIRST-LAST, song positions from 0 to " +
               bounds + " with FIRST not after LAST";
    if (!dash)
        return false;
    std::string a(text, dash);
    std::uint32_t f, l;
    if (!parse_count(a.c_str(), 0, static_cast<std::uint32_t>(LAST_SHOW_POSITION), &f) ||
        !parse_count(dash + 1, 0, static_cast<std::uint32_t>(LAST_SHOW_POSITION), &l) || f > l)
        return false;
    *first = static_cast<std::int16_t>(f);
    *last = static_cast<std::int16_t>(l);
    return true;
}

void set_loop(Player* p, std::int16_t first, std::int16_t last) {
    p->loop_first = first;
    p->loop_last = last;
    playback_set_loop(first, last);
}

void toggle_scene_loop(Player* p) {
    if (p->loop_last >= 0) {
        set_loop(p, 0, -1);
        player_note(p, "loop ended");
        return;
    }
    int scene = scene_at_position(p->shown_reading.sngpos);
    if (scene >= SCENE_COUNT)
        return;
    // On a fitted show, the song's own positions the scene is shown over.
    std::int16_t first = scene_first_position(scene), last = SCENE_LAST_POSITION[scene];
    if (p->fitted && !song_positions_of_scene(p->fit, scene, &first, &last))
        return;
    set_loop(p, first, last);
    player_note(p, "looping Scene " + std::to_string(scene + 1) + ", positions " +
                       std::to_string(p->loop_first) + "-" + std::to_string(p->loop_last));
}

void step_tick(Player* p, int delta) {
    if (!p->paused)
        return;
    std::int32_t target = p->shown_tick + delta;
    if (target < 0)
        return;
    if (!p->stepped) {
        // The first step: the replay starts at the tick paused at.
        p->stepped = true;
        p->step_anchor = delta > 0 ? p->shown_tick : target;
        show_restart(&p->show);
        for (std::int32_t t = p->step_anchor; t <= target; t++)
            replay_pass(p, t);
    } else if (delta > 0) {
        replay_pass(p, target);
    } else {
        if (target < p->step_anchor)
            p->step_anchor = target;
        show_restart(&p->show);
        for (std::int32_t t = p->step_anchor; t <= target; t++)
            replay_pass(p, t);
    }
    // A replay past the show's end would stop the program; stepping never ends the show.
    p->clock.running.store(1, std::memory_order_relaxed);
}

void end_steps(Player* p) {
    if (!p->stepped)
        return;
    p->stepped = false;
    // The live show goes on from the uninterrupted show's state, not the replay's.
    show_restart(&p->show);
    p->reseek = true;
}

void save_frame(Player* p) {
    char name[64];
    std::snprintf(name, sizeof name, "quab-%d-%u-%d.png", p->shown_sngpos, p->shown_patpos,
                  p->shown_tick);
    std::string png;
    if (!encode_frame_png(p->show.frame, &png)) {
        player_note(p, std::string(name) + ": libpng cannot encode the frame");
        return;
    }
    // Written whole under a temporary name, then linked to its own: link never replaces a file,
    // so a picture already there stays as it is.
    char temp[] = ".quab-play-frame-XXXXXX";
    int fd = mkstemp(temp);
    mode_t mask = umask(0);
    umask(mask);
    if (fd >= 0)
        fchmod(fd, 0666 & ~mask);
    if (fd < 0) {
        player_note(p, std::string(name) + ": cannot write here: " + std::strerror(errno));
        return;
    }
    int error = 0;
    bool written = write_whole(fd, png, &error);
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        unlink(temp);
        player_note(p, std::string(name) + ": cannot write: " + std::strerror(error));
        return;
    }
    if (link(temp, name) != 0) {
        error = errno;
        unlink(temp);
        player_note(p,
                    std::string(name) +
                        (error == EEXIST ? ": already there; left as it is"
                                         : ": cannot write: " + std::string(std::strerror(error))));
        return;
    }
    unlink(temp);
    player_note(p, std::string("saved ") + name);
}
