// The frame loop on the heard clock, and the show's start and end around it.
#include "lib/play/show_loop.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <SDL.h>
#include <unistd.h>

#include "core/core.h"
#include "core/timeline.h"
#include "lib/base/clock.h"
#include "lib/play/bench.h"
#include "lib/play/display_faults.h"
#include "lib/play/dropped_file.h"
#include "lib/play/keys.h"
#include "lib/play/overlay.h"
#include "lib/play/playback.h"
#include "lib/play/screen.h"
#include "lib/show_files/show_files.h"
#include "lib/tool_common/command_line.h"
#include "lib/tool_common/streams.h"
#include "music/collector.h"
#include "music/sample_clock.h"

bool show_restarts(const Player& p, const HeardClock& heard) {
    if (heard.jumps != p.jumps_seen)
        return true;
    // The loop went back: its first scene starts afresh, as after a jump.
    return p.loop_last >= 0 && heard.sngpos < p.shown_sngpos && heard.sngpos == p.loop_first;
}

TickClock show_reading(const Player* p, std::int32_t t, std::int16_t sngpos, std::uint16_t patpos) {
    if (!p->fitted)
        return {sngpos, patpos};
    return fitted_at(p->fit, t);
}

void exact_tables_follow_fit(Player* p) {
    if (!p->fitted) {
        p->exact.song.clear();
        return;
    }
    exact_show_free(&p->exact);
    p->exact.ticks = p->fit.ticks;
    p->exact.song = p->fit.song;
}

bool take_module(Player* p, const char* load_path, const char* name_path, std::string* error) {
    if (Result r = fit_loaded_module(load_path, p->fit_choice, &p->fitted, &p->fit, &p->show_ticks);
        !r.ok) {
        *error = r.reason;
        return false;
    }
    p->title = module_title(collector_module()->songname, name_path);
    return true;
}

namespace {

// As module players do: one line with what plays, how long, and whether the show is fitted.
void print_playing(const Player& p) {
    std::string length;
    if (p.show_ticks >= 0) {
        int s = p.show_ticks / TICKS_PER_S;
        length =
            ", " + std::to_string(s / 60) + ":" + (s % 60 < 10 ? "0" : "") + std::to_string(s % 60);
    }
    std::printf("Playing %s%s%s\n", p.title.c_str(), length.c_str(),
                p.fitted ? ", the show fitted to the song" : "");
    std::fflush(stdout);
}

// A file dropped on the window: a module the music thread switches to at once, without stopping
// the sound; what is not a regular file is refused before it is opened (a FIFO would hold the
// music thread). Its tick table comes with the switch where the show is fitted to it (live_pass).
void take_dropped_file(Player* p, SDL_DropEvent* drop) {
    Result regular = drop->file ? input_is_regular_file(drop->file) : Result::success();
    if (!regular.ok) {
        player_note(p, "quab-play: " + regular.reason + "; the show goes on");
        SDL_free(drop->file);
        drop->file = nullptr;
        return;
    }
    if (drop->file) {
        exact_show_free(&p->exact);
        p->exact.ticks.clear();
        p->exact.song.clear();
    }
    play_dropped_file(drop, ++p->jumps_asked);
}

// Takes the window's events; false once the show is to end.
bool handle_events(Player* p) {
    SDL_Event event;
    bool go_on = true;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT)
            go_on = false;
        else if (event.type == SDL_DROPFILE && go_on)
            take_dropped_file(p, &event.drop);
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
    std::uint32_t passes; // frames that ran a pass: at most one a tick
};

void trace_frame(Trace* t, std::uint64_t frame_start, bool passed) {
    std::uint32_t output_frames, queued_frames;
    playback_latency(&output_frames, &queued_frames);
    t->output_frames += output_frames;
    t->passes += passed ? 1 : 0;
    if (++t->frames, frame_start - t->start_ns < 1000000000u)
        return;
    std::fprintf(stderr, "trace: %u frames, output latency %.2f ms, queued %.2f ms, %u passes\n",
                 t->frames,
                 1000.0 * static_cast<double>(t->output_frames) / t->frames / MIX_RATE_HZ,
                 1000.0 * queued_frames / MIX_RATE_HZ, t->passes);
    t->start_ns = frame_start;
    t->output_frames = 0;
    t->frames = 0;
    t->passes = 0;
}

// One pass of the live show on the clock heard now; false once the song has ended. A display
// refresh faster than the tick rate finds the tick already shown: the frame on screen is that
// tick's frame, so no pass runs and *drew stays false. The show's state holds a pass once a
// scene has been set up; after a restart it does not, and after a reload (force) it is stale.
bool live_pass(Player* p, bool force, bool* drew) {
    p->heard = playback_heard();
    if (p->heard.song_ended)
        return false;
    bool restarts = show_restarts(*p, p->heard);
    // A refresh at the tick already shown presents the frame it has: one pass per new tick.
    bool seek_due = !p->exact.ticks.empty() && (p->reseek || p->heard.stretch != p->stretch_seen);
    if (!force && !restarts && !seek_due && p->show.scene_started != 0 &&
        p->heard.tick_count + p->tick_offset == p->shown_tick) {
        p->jumps_seen = p->heard.jumps;
        return true;
    }
    *drew = true;
    if (restarts) {
        // A module dropped on the window comes with its own fitting; the exact seek then runs on
        // its fitted readings, and on its own positions has no table (only the music thread
        // may mix the module while it plays).
        SwitchedModule m;
        if (p->heard.jumps != p->jumps_seen && playback_take_switched(p->heard.jumps, &m)) {
            p->fitted = m.fitted;
            p->fit = std::move(m.fit);
            p->show_ticks = m.show_ticks;
            p->title = m.title;
            print_playing(*p);
            exact_tables_follow_fit(p);
            exact_show_reindex(&p->exact, &p->show);
            p->reseek = true;
        }
        if (p->exact.ticks.empty())
            show_restart(&p->show);
    }
    p->jumps_seen = p->heard.jumps;
    if (!seek_to_heard(p)) {
        std::int32_t t = p->heard.tick_count + p->tick_offset;
        p->shown_reading = show_reading(p, t, p->heard.sngpos, p->heard.patpos);
        show_pass_at(&p->show, &p->clock, t, p->shown_reading.sngpos, p->shown_reading.patpos);
    }
    p->shown_tick = p->heard.tick_count + p->tick_offset;
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

// The show's frame (taken into the texture when new_frame), with the overlay over it when on.
void present(Player* p, bool new_frame) {
    Screen* s = &p->screen;
    if (new_frame)
        SDL_UpdateTexture(s->texture, nullptr, p->show.frame, FRAME_W * sizeof(Pixel));
    int w, h;
    if (SDL_GetRendererOutputSize(s->renderer, &w, &h) != 0)
        SDL_GetWindowSize(s->window, &w, &h);
    SDL_Rect picture = picture_rect(s, w, h);
    SDL_SetRenderDrawColor(s->renderer, 0, 0, 0, 255);
    SDL_RenderClear(s->renderer);
    SDL_RenderCopy(s->renderer, s->texture, nullptr, &picture);
    if (p->overlay_on)
        overlay_draw(p, w, h, picture);
    SDL_RenderPresent(s->renderer);
}

} // namespace

bool seek_to_heard(Player* p) {
    if (p->exact.ticks.empty() || (p->heard.stretch == p->stretch_seen && !p->reseek))
        return false;
    p->stretch_seen = p->heard.stretch;
    p->reseek = false;
    // Where this stretch of music began, the uninterrupted show stood at the table's tick for
    // that song position and row (found in the song's own place at each tick where the show
    // reads a fitted clock); the show goes on from its state there.
    const std::vector<TickClock>& song = p->exact.song.empty() ? p->exact.ticks : p->exact.song;
    p->tick_offset = first_tick_at(song, p->heard.stretch_sngpos, p->heard.stretch_patpos) -
                     p->heard.stretch_tick;
    std::int32_t tick = p->heard.tick_count + p->tick_offset;
    p->shown_reading = show_reading(p, tick, p->heard.sngpos, p->heard.patpos);
    if (exact_show_seek(&p->exact, &p->show, &p->clock, tick))
        return true;
    show_pass_at(&p->show, &p->clock, tick, p->shown_reading.sngpos, p->shown_reading.patpos);
    return true;
}

void run_show(Player* p, Watch* watch) {
    Trace trace{std::getenv("QUAB_PLAY_TRACE") != nullptr, monotonic_ns(), 0, 0, 0};
    int titled_scene = -1;
    int titled_position = -1;
    p->heard = playback_heard();
    for (;;) {
        std::uint64_t frame_start = monotonic_ns();
        if (!handle_events(p) || display_window_gone())
            break;
        std::string refused;
        if (playback_take_switch_failure(&refused))
            player_note(p, refused);
        bool new_frame = watch && watch_poll(watch, p);
        // In --watch the show stays on its last frame at the end, for the maker to save again.
        bool over = !p->clock.running.load(std::memory_order_relaxed);
        exact_show_build_some(&p->exact);
        if (!p->paused && !over) {
            bool drew = false;
            if (!live_pass(p, new_frame, &drew)) {
                if (!watch)
                    break;
                p->clock.running.store(0, std::memory_order_relaxed);
            }
            new_frame = new_frame || drew;
            if (trace.on)
                trace_frame(&trace, frame_start, drew);
        } else if (p->stepped) {
            new_frame = true;
        }
        if (p->show.scene_index != titled_scene || p->shown_reading.sngpos != titled_position) {
            titled_scene = p->show.scene_index;
            titled_position = p->shown_reading.sngpos;
            set_title(p);
        }
        count_frame(p, frame_start);
        present(p, new_frame);
        if (p->save_ns && trace.on)
            std::fprintf(stderr, "trace: save to screen %.1f ms\n",
                         static_cast<double>(monotonic_ns() - p->save_ns) / 1e6);
        p->save_ns = 0;
        // The pass that ends the show still shows its frame.
        if (!watch && !p->clock.running.load(std::memory_order_relaxed))
            break;

        // Where present does not wait for the display, wait here: one pass per refresh.
        std::uint64_t next = frame_start + p->screen.frame_ns;
        if (monotonic_ns() + p->screen.frame_ns / 4 < next)
            sleep_until_ns(next);
    }
}

void find_show_files(PlayOptions* opt) {
    static std::string assets_path, music_path;
    if (!opt->source.pictures) {
        assets_path =
            given_or_found_show_file(opt->source.assets, "quab.dat", PLAY_PROGRAM, EXIT_NO_SHOW);
        opt->source.assets = assets_path.c_str();
    }
    music_path =
        given_or_found_show_file(opt->source.music, "music.xm", PLAY_PROGRAM, EXIT_NO_SHOW);
    opt->source.music = music_path.c_str();
    if (opt->source.assets)
        require_regular_inputs(PLAY_PROGRAM, {opt->source.assets, opt->source.music});
    else
        require_regular_inputs(PLAY_PROGRAM, {opt->source.music});
}

void start_show(Player* p, const PlayOptions& opt) {
    std::string error;
    // Before the module is loaded for the music: the tick table mixes it through the collector.
    // A module it cannot mix is refused below, in its own words.
    if (!module_tick_table(opt.source.music, &p->exact.ticks, &error))
        p->exact.ticks.clear();
    if (!load_first_show(opt.source, &p->assets, &error))
        fatal(PLAY_PROGRAM, EXIT_FAILED, error);
    if (opt.start >= static_cast<std::uint32_t>(collector_module()->numpos))
        usage_error(PLAY_PROGRAM, "--start " + std::to_string(opt.start) + ": the song has only " +
                                      std::to_string(collector_module()->numpos) + " positions");
    p->fit_choice = opt.fit;
    playback_set_fit_choice(opt.fit);
    if (!take_module(p, opt.source.music, opt.source.music, &error))
        fatal(PLAY_PROGRAM, EXIT_FAILED, std::string(opt.source.music) + ": " + error);
    print_playing(*p);
    if (!show_start_offline(&p->show, p->assets, &p->clock))
        fatal(PLAY_PROGRAM, EXIT_FAILED, "out of memory for the show's buffers");
    exact_tables_follow_fit(p);
    exact_show_reindex(&p->exact, &p->show);
    p->reseek = true;
    p->source = opt.source;
    p->playback =
        PlaybackSettings{opt.mute, opt.buffer_ms, static_cast<std::int16_t>(opt.start), 0};
    p->shown_sngpos = static_cast<std::int16_t>(opt.start);
    p->shown_reading = {p->shown_sngpos, 0};
    p->loop_last = -1;
    p->screen = open_screen(opt.scale, opt.fullscreen, OVERLAY_TEXTURE_W, OVERLAY_TEXTURE_H);
    playback_start(p->playback);
    if (opt.loop_last >= 0)
        set_loop(p, opt.loop_first, opt.loop_last);
    p->second_start_ns = monotonic_ns();
}

int end_show(Player* p) {
    std::string error;
    PlaybackEnd end = playback_stop(&error);
    if (end == PlaybackEnd::FAILED)
        fatal(PLAY_PROGRAM, EXIT_FAILED, error);
    int minutes, seconds;
    playtime_parts(p->sngtime_before + p->heard.sngtime, &minutes, &seconds);
    std::printf("Total playtime: %d:%d\n", minutes, seconds);
    // Closing anything more would wait for the stopped sound server with the output.
    if (end == PlaybackEnd::HELD)
        _exit(std::fflush(stdout) == 0 ? 0 : EXIT_FAILED);
    collector_close();
    close_screen(&p->screen);
    exact_show_free(&p->exact);
    free_asset_table(p->assets);
    show_free(&p->show);
    return standard_output_ok(PLAY_PROGRAM) ? EXIT_OK : EXIT_FAILED;
}
