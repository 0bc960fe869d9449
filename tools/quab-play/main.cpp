// quab-play: the show on today's desktops. The same pass, assets and module as xdemo, drawn once
// per displayed frame in a resizable window (SDL2), on the clock of the sample being heard; and
// the maker's bench around it: reload on save, a loop, steps, an overlay, exact screenshots.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <SDL.h>
#include <unistd.h>

#include "core/core.h"
#include "core/timeline.h"
#include "lib/base/clock.h"
#include "lib/base/descriptors.h"
#include "lib/play/bench.h"
#include "lib/play/check.h"
#include "lib/play/display_faults.h"
#include "lib/play/dropped_file.h"
#include "lib/play/playback.h"
#include "lib/play/player.h"
#include "lib/play/screen.h"
#include "lib/play/watch.h"
#include "lib/show_files/show_files.h"
#include "lib/tool_common/command_line.h"
#include "lib/tool_common/streams.h"
#include "music/collector.h"
#include "music/sample_clock.h"

namespace {

constexpr const char* PROGRAM = "quab-play";
constexpr std::uint32_t MAX_SCALE = 16;
constexpr std::uint32_t MIN_BUFFER_MS = 10;
constexpr std::uint32_t MAX_BUFFER_MS = 5000;
constexpr std::uint32_t DEFAULT_BUFFER_MS = 50;
// How long a note stays in the overlay.
constexpr std::uint64_t NOTE_NS = 5000000000u;

constexpr ToolText TOOL = {
    PROGRAM,
    "Plays the show in a window, in step with the music as it is heard.",
    "[--assets FILE | --pictures DIR] [--music FILE] [--fullscreen] [--scale N]\n"
    "                 [--start POSITION] [--mute] [--buffer MS] [--watch] [--loop FIRST-LAST]\n"
    "                 [MODULE]",
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
    "                    saved, going on at the same song position and row\n"
    "  --loop FIRST-LAST loop song positions FIRST to LAST\n",
    "MODULE is the music module to play the show with, as --music; a module dropped on the\n"
    "window starts the show again with it.\n"
    "Keys: F11 or Alt+Enter full screen, Space pause, Left/Right previous/next song position,\n"
    "L loop the scene, . and , one tick on and back while paused, Tab overlay, F12 save the\n"
    "frame as quab-POSITION-ROW-TICK.png, I whole pixels or fill, Esc or Q quit.\n"
    "Exit status: 0 after a show, 1 a failure (a file the show cannot use, no display), 2 a bad\n"
    "command line or an input that is not a regular file.\n",
};

static_assert(LAST_SHOW_POSITION == 29,
              "--start's and --loop's help name the show's last position");

struct Options {
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
    std::int16_t loop_last = -1;
};

[[noreturn]] void fail(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", PROGRAM, message.c_str());
    std::exit(EXIT_FAILED);
}

Options parse_options(int argc, char** argv) {
    Options opt;
    const char* loop = nullptr;
    std::vector<const char*> operands = parse_command_line(
        TOOL, argc, argv,
        {text_option("--assets", &opt.source.assets),
         text_option("--pictures", &opt.source.pictures), text_option("--music", &opt.source.music),
         flag_option("--fullscreen", &opt.fullscreen), flag_option("--mute", &opt.mute),
         flag_option("--watch", &opt.watch), count_option("--scale", 1, MAX_SCALE, &opt.scale),
         count_option("--start", 0, LAST_SHOW_POSITION, &opt.start),
         count_option("--buffer", MIN_BUFFER_MS, MAX_BUFFER_MS, &opt.buffer_ms),
         text_option("--loop", &loop)});
    // A file argument is the module to play, as module players take it.
    if (operands.size() > 1 || (!operands.empty() && opt.source.music))
        usage_error(PROGRAM, std::string("more than one module given: ") + operands[0] + " and " +
                                 (opt.source.music ? opt.source.music : operands[1]));
    if (!operands.empty())
        opt.source.music = operands[0];
    std::string problem;
    if (loop && !parse_loop(loop, &opt.loop_first, &opt.loop_last, &problem))
        usage_error(PROGRAM, problem);
    if (opt.source.assets && opt.source.pictures)
        usage_error(PROGRAM, "--assets and --pictures both name the pictures; give one of them");
    // --start 0 is the default: only another position asks to start within a loop.
    opt.start_given = opt.start != 0;
    // A loop starts at its first position unless asked to start within it.
    if (opt.loop_last >= 0 &&
        (!opt.start_given || static_cast<std::int16_t>(opt.start) < opt.loop_first ||
         static_cast<std::int16_t>(opt.start) > opt.loop_last))
        opt.start = static_cast<std::uint32_t>(opt.loop_first);
    return opt;
}

enum class KeyAction {
    NONE,
    QUIT,
    FULLSCREEN,
    PAUSE,
    PREVIOUS,
    NEXT,
    LOOP,
    STEP_ON,
    STEP_BACK,
    OVERLAY,
    SAVE_FRAME,
    WHOLE_PIXELS
};

KeyAction key_action(const SDL_KeyboardEvent& key) {
    SDL_Keycode k = key.keysym.sym;
    if (k == SDLK_ESCAPE || k == SDLK_q)
        return KeyAction::QUIT;
    if (k == SDLK_LEFT)
        return KeyAction::PREVIOUS;
    if (k == SDLK_RIGHT)
        return KeyAction::NEXT;
    if (k == SDLK_PERIOD)
        return KeyAction::STEP_ON;
    if (k == SDLK_COMMA)
        return KeyAction::STEP_BACK;
    if (key.repeat != 0)
        return KeyAction::NONE;
    if (k == SDLK_F11 || ((k == SDLK_RETURN || k == SDLK_KP_ENTER) && (key.keysym.mod & KMOD_ALT)))
        return KeyAction::FULLSCREEN;
    const struct {
        SDL_Keycode key;
        KeyAction action;
    } plain[] = {{SDLK_SPACE, KeyAction::PAUSE},
                 {SDLK_l, KeyAction::LOOP},
                 {SDLK_TAB, KeyAction::OVERLAY},
                 {SDLK_F12, KeyAction::SAVE_FRAME},
                 {SDLK_i, KeyAction::WHOLE_PIXELS}};
    for (const auto& entry : plain)
        if (k == entry.key)
            return entry.action;
    return KeyAction::NONE;
}

// Left or Right: the song position one before or after the one last asked for (or heard).
void jump(Player* p, int delta) {
    int from = p->jumps_asked != p->heard.jumps ? p->asked_position : p->heard.sngpos;
    int to = from + delta;
    p->asked_position = to < 0 ? 0 : to;
    playback_jump(static_cast<std::int16_t>(p->asked_position), ++p->jumps_asked);
    if (p->paused)
        player_note(p, "position " + std::to_string(p->asked_position) + " once playing");
}

void toggle_pause(Player* p) {
    p->paused = !p->paused;
    if (!p->paused)
        end_steps(p);
    playback_set_paused(p->paused);
    set_title(p);
}

// Answers one key; false for quit.
bool handle_key(Player* p, const SDL_KeyboardEvent& key) {
    switch (key_action(key)) {
    case KeyAction::QUIT:
        return false;
    case KeyAction::FULLSCREEN:
        toggle_fullscreen(&p->screen);
        break;
    case KeyAction::PAUSE:
        toggle_pause(p);
        break;
    case KeyAction::PREVIOUS:
    case KeyAction::NEXT:
        jump(p, key_action(key) == KeyAction::NEXT ? 1 : -1);
        break;
    case KeyAction::LOOP:
        toggle_scene_loop(p);
        break;
    case KeyAction::STEP_ON:
    case KeyAction::STEP_BACK:
        step_tick(p, key_action(key) == KeyAction::STEP_ON ? 1 : -1);
        break;
    case KeyAction::OVERLAY:
        p->overlay_on = !p->overlay_on;
        break;
    case KeyAction::SAVE_FRAME:
        save_frame(p);
        break;
    case KeyAction::WHOLE_PIXELS:
        toggle_whole_pixels(&p->screen);
        player_note(p, screen_whole_pixels(&p->screen) ? "whole pixels" : "fill");
        break;
    case KeyAction::NONE:
        break;
    }
    return true;
}

// Takes the window's events; false once the show is to end.
bool handle_events(Player* p) {
    SDL_Event event;
    bool go_on = true;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT)
            go_on = false;
        else if (event.type == SDL_DROPFILE && go_on)
            play_dropped_file(&event.drop, ++p->jumps_asked);
        else if (event.type == SDL_KEYDOWN && go_on)
            go_on = handle_key(p, event.key);
    }
    return go_on;
}

// QUAB_PLAY_TRACE set: once a second, frames shown and the output latency the clock accounted
// for on average, on standard error (for the benchmarks).
struct Trace {
    bool on;
    std::uint64_t start_ns;
    std::uint64_t output_frames;
    std::uint32_t frames;
};

void trace_frame(Trace* t, std::uint64_t frame_start) {
    std::uint32_t output_frames, queued_frames;
    playback_latency(&output_frames, &queued_frames);
    t->output_frames += output_frames;
    if (++t->frames, frame_start - t->start_ns < 1000000000u)
        return;
    std::fprintf(stderr, "trace: %u frames, output latency %.2f ms, queued %.2f ms\n", t->frames,
                 1000.0 * static_cast<double>(t->output_frames) / t->frames / MIX_RATE_HZ,
                 1000.0 * queued_frames / MIX_RATE_HZ);
    t->start_ns = frame_start;
    t->output_frames = 0;
    t->frames = 0;
}

// One pass of the live show on the clock heard now; false once the song has ended.
bool live_pass(Player* p) {
    p->heard = playback_heard();
    if (p->heard.song_ended)
        return false;
    if (p->heard.jumps != p->jumps_seen) {
        p->jumps_seen = p->heard.jumps;
        show_restart(&p->show);
    } else if (p->loop_last >= 0 && p->heard.sngpos < p->shown_sngpos &&
               p->heard.sngpos == p->loop_first) {
        // The loop went back: its first scene starts afresh, as after a jump.
        show_restart(&p->show);
    }
    show_pass_at(&p->show, &p->clock, p->heard.tick_count, p->heard.sngpos, p->heard.patpos);
    p->shown_tick = p->heard.tick_count;
    p->shown_sngpos = p->heard.sngpos;
    p->shown_patpos = p->heard.patpos;
    return true;
}

void count_frame(Player* p, std::uint64_t frame_start) {
    p->frames_this_second++;
    if (frame_start - p->second_start_ns >= 1000000000u) {
        p->fps = p->frames_this_second;
        p->frames_this_second = 0;
        p->second_start_ns = frame_start;
    }
}

// The frame loop: events, reloads, one pass on the heard clock (unless paused), present.
void run_show(Player* p, Watch* watch) {
    Trace trace{std::getenv("QUAB_PLAY_TRACE") != nullptr, monotonic_ns(), 0, 0};
    int titled_scene = -1;
    int titled_position = -1;
    p->heard = playback_heard();
    for (;;) {
        std::uint64_t frame_start = monotonic_ns();
        if (!handle_events(p) || display_window_gone())
            break;
        bool new_frame = watch && watch_poll(watch, p);
        if (!p->paused) {
            if (!live_pass(p))
                break;
            new_frame = true;
            if (trace.on)
                trace_frame(&trace, frame_start);
        } else if (p->stepped) {
            new_frame = true;
        }
        if (p->show.scene_index != titled_scene || p->shown_sngpos != titled_position) {
            titled_scene = p->show.scene_index;
            titled_position = p->shown_sngpos;
            set_title(p);
        }
        count_frame(p, frame_start);
        present(p, new_frame);
        if (p->save_ns && trace.on)
            std::fprintf(stderr, "trace: save to screen %.1f ms\n",
                         static_cast<double>(monotonic_ns() - p->save_ns) / 1e6);
        p->save_ns = 0;
        // The pass that ends the show still shows its frame.
        if (!p->clock.running.load(std::memory_order_relaxed))
            break;

        // Where present does not wait for the display, wait here: one pass per refresh.
        std::uint64_t next = frame_start + p->screen.frame_ns;
        if (monotonic_ns() + p->screen.frame_ns / 4 < next)
            sleep_until_ns(next);
    }
}

// The show's files not named on the command line, looked up by name (find_show_file); each
// checked as a regular file. The names found live as long as the show: the watch and the
// checker read them again on every save.
void find_show_files(Options* opt) {
    static std::string assets_path, music_path;
    if (!opt->source.pictures) {
        assets_path =
            given_or_found_show_file(opt->source.assets, "quab.dat", PROGRAM, EXIT_FAILED);
        opt->source.assets = assets_path.c_str();
    }
    music_path = given_or_found_show_file(opt->source.music, "music.xm", PROGRAM, EXIT_FAILED);
    opt->source.music = music_path.c_str();
    if (opt->source.assets)
        require_regular_inputs(PROGRAM, {opt->source.assets, opt->source.music});
    else
        require_regular_inputs(PROGRAM, {opt->source.music});
}

// The show's files, its buffers and the music, started at the options' position and loop.
void start_show(Player* p, const Options& opt) {
    std::string error;
    if (!load_first_show(opt.source, &p->assets, &error))
        fail(error);
    if (opt.start >= static_cast<std::uint32_t>(collector_module()->numpos))
        usage_error(PROGRAM, "--start " + std::to_string(opt.start) + ": the song has only " +
                                 std::to_string(collector_module()->numpos) + " positions");
    if (!show_start_offline(&p->show, p->assets, &p->clock))
        fail("out of memory for the show's buffers");
    p->source = opt.source;
    p->playback =
        PlaybackSettings{opt.mute, opt.buffer_ms, static_cast<std::int16_t>(opt.start), 0};
    p->shown_sngpos = static_cast<std::int16_t>(opt.start);
    p->loop_last = -1;
    p->screen = open_screen(opt.scale, opt.fullscreen);
    playback_start(p->playback);
    if (opt.loop_last >= 0)
        set_loop(p, opt.loop_first, opt.loop_last);
    p->second_start_ns = monotonic_ns();
}

// Stops the music and prints the playtime; the exit status.
int end_show(Player* p) {
    std::string error;
    PlaybackEnd end = playback_stop(&error);
    if (end == PlaybackEnd::FAILED)
        fail(error);
    int minutes, seconds;
    playtime_parts(p->sngtime_before + p->heard.sngtime, &minutes, &seconds);
    std::printf("Total playtime: %d:%d\n", minutes, seconds);
    // Closing anything more would wait for the stopped sound server with the output.
    if (end == PlaybackEnd::HELD)
        _exit(std::fflush(stdout) == 0 ? 0 : EXIT_FAILED);
    collector_close();
    close_screen(&p->screen);
    free_asset_table(p->assets);
    show_free(&p->show);
    return standard_output_ok(PROGRAM) ? EXIT_OK : EXIT_FAILED;
}

} // namespace

void player_note(Player* p, const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    p->note = line;
    p->note_until_ns = monotonic_ns() + NOTE_NS;
}

int main(int argc, char** argv) {
    keep_standard_descriptors_open();
    Options opt = parse_options(argc, argv);
    find_show_files(&opt);
    // Forked before the files are loaded and any thread starts.
    Checker* checker = opt.watch ? checker_start(opt.source) : nullptr;
    static Player player;
    start_show(&player, opt);
    Watch* watch = opt.watch ? watch_start(&player, checker) : nullptr;
    run_show(&player, watch);
    watch_stop(watch);
    checker_stop(checker);
    return end_show(&player);
}
