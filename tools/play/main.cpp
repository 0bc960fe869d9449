// quab-play: the show on today's desktops. The same pass, assets and module as xdemo, drawn once
// per displayed frame in a resizable window (SDL2), on the clock of the sample being heard.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <SDL.h>
#include <unistd.h>

#include "core/core.h"
#include "core/timeline.h"
#include "music/collector.h"
#include "music/sample_clock.h"
#include "tools/common/clock.h"
#include "tools/common/command_line.h"
#include "tools/common/streams.h"
#include "tools/play/display_faults.h"
#include "tools/play/dropped_file.h"
#include "tools/play/playback.h"
#include "tools/show_files/show_files.h"

namespace {

constexpr const char* PROGRAM = "quab-play";
constexpr std::uint32_t MAX_SCALE = 16;
constexpr std::uint32_t MIN_BUFFER_MS = 10;
constexpr std::uint32_t MAX_BUFFER_MS = 5000;
constexpr std::uint32_t DEFAULT_BUFFER_MS = 50;
constexpr int FALLBACK_REFRESH_HZ = 60;

constexpr ToolText TOOL = {
    PROGRAM,
    "Plays the show in a window, in step with the music as it is heard.",
    "[--assets FILE] [--music FILE] [--fullscreen] [--scale N] [--start POSITION]\n"
    "                 [--mute] [--buffer MS] [MODULE]",
    "  --assets FILE     the asset file (default: quab.dat, looked up)\n"
    "  --music FILE      the music module (default: music.xm, looked up)\n"
    "  --fullscreen      start in full screen\n"
    "  --scale N         window size as N times 320x240, 1 to 16 (default: the largest that\n"
    "                    fits in about two thirds of the screen)\n"
    "  --start POSITION  start at song position 0 to 29 (default 0)\n"
    "  --mute            play without sound, on the system clock\n"
    "  --buffer MS       sound mixed ahead of the output, 10 to 5000 ms (default 50)\n",
    "MODULE is the music module to play the show with, as --music; a module dropped on the\n"
    "window starts the show again with it.\n"
    "Keys: F11 or Alt+Enter full screen, Space pause, Left/Right previous/next song position,\n"
    "Esc or Q quit.\n"
    "Exit status: 0 after a show, 1 a failure (a file the show cannot use, no display), 2 a bad\n"
    "command line or an input that is not a regular file.\n",
};

static_assert(LAST_SHOW_POSITION == 29, "--start's help names the show's last position");

struct Options {
    const char* assets = nullptr; // null: looked up by name (find_show_file)
    const char* music = nullptr;
    bool fullscreen = false;
    std::uint32_t scale = 0; // 0: from the screen size
    std::uint32_t start = 0;
    bool mute = false;
    std::uint32_t buffer_ms = DEFAULT_BUFFER_MS;
};

[[noreturn]] void fail(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", PROGRAM, message.c_str());
    std::exit(EXIT_FAILED);
}

Options parse_options(int argc, char** argv) {
    Options opt;
    std::vector<const char*> operands = parse_command_line(
        TOOL, argc, argv,
        {text_option("--assets", &opt.assets), text_option("--music", &opt.music),
         flag_option("--fullscreen", &opt.fullscreen), flag_option("--mute", &opt.mute),
         count_option("--scale", 1, MAX_SCALE, &opt.scale),
         count_option("--start", 0, LAST_SHOW_POSITION, &opt.start),
         count_option("--buffer", MIN_BUFFER_MS, MAX_BUFFER_MS, &opt.buffer_ms)});
    // A file argument is the module to play, as module players take it.
    if (operands.size() > 1 || (!operands.empty() && opt.music))
        usage_error(PROGRAM, std::string("more than one module given: ") +
                                 (opt.music ? opt.music : operands[0]) + " and " + operands.back());
    if (!operands.empty())
        opt.music = operands[0];
    return opt;
}

// The largest whole multiple of 320x240 within two thirds of the screen, at least 1.
std::uint32_t fitting_scale(int screen_w, int screen_h) {
    std::uint32_t by_w = static_cast<std::uint32_t>(screen_w * 2 / 3 / FRAME_W);
    std::uint32_t by_h = static_cast<std::uint32_t>(screen_h * 2 / 3 / FRAME_H);
    std::uint32_t scale = by_w < by_h ? by_w : by_h;
    if (scale < 1)
        scale = 1;
    return scale > MAX_SCALE ? MAX_SCALE : scale;
}

struct Screen {
    SDL_Window* window;
    SDL_Renderer* renderer;
    SDL_Texture* texture;
    std::uint64_t frame_ns; // one refresh of the display
    bool fullscreen;
};

// Whether the renderer draws through an OpenGL that the CPU emulates (Mesa's llvmpipe or
// softpipe, or another software rasteriser).
bool renderer_is_emulated(SDL_Renderer* renderer) {
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) != 0 || std::strncmp(info.name, "opengl", 6) != 0)
        return false;
    constexpr unsigned GL_RENDERER_NAME = 0x1F01; // GL_RENDERER
    using GetString = const unsigned char* (*)(unsigned);
    auto get_string = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    const char* name =
        get_string ? reinterpret_cast<const char*>(get_string(GL_RENDERER_NAME)) : nullptr;
    return name && (std::strstr(name, "llvmpipe") || std::strstr(name, "softpipe") ||
                    std::strstr(name, "Software Rasterizer"));
}

// Why no window could be opened: the displays the environment names did not answer, or it
// names none.
std::string no_display_reason() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    std::string named;
    if (x && *x)
        named = std::string("the display ") + x;
    if (wayland && *wayland)
        named += (named.empty() ? "" : " nor ") + std::string("the Wayland display ") + wayland;
    if (named.empty())
        return "no display (neither DISPLAY nor WAYLAND_DISPLAY names one)";
    return (x && *x && wayland && *wayland ? "neither " : "") + named +
           (x && *x && wayland && *wayland ? " answers" : " does not answer");
}

// The asked scale, or when the window would not fit in the screen's usable area (what panels
// leave), the largest that does, after one line.
std::uint32_t scale_within(std::uint32_t asked, const SDL_Rect& usable) {
    std::uint32_t by_w = static_cast<std::uint32_t>(usable.w) / FRAME_W;
    std::uint32_t by_h = static_cast<std::uint32_t>(usable.h) / FRAME_H;
    std::uint32_t fits = by_w < by_h ? by_w : by_h;
    if (fits < 1)
        fits = 1;
    if (FRAME_W * asked <= static_cast<std::uint32_t>(usable.w) &&
        FRAME_H * asked <= static_cast<std::uint32_t>(usable.h))
        return asked;
    std::fprintf(stderr,
                 "quab-play: --scale %u (%ux%u) does not fit on the screen (%dx%d usable): "
                 "using --scale %u\n",
                 asked, FRAME_W * asked, FRAME_H * asked, usable.w, usable.h, fits);
    return fits;
}

Screen open_screen(const Options& opt) {
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_SetHint(SDL_HINT_APP_NAME, "quab-play");
    watch_display_connection();
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0)
        fail("cannot open a window: " + no_display_reason() + " (" + SDL_GetError() + ")");
    // With no display SDL falls back to drawing nowhere; only asked for by name is that a window.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0) &&
        !std::getenv("SDL_VIDEODRIVER"))
        fail("cannot open a window: " + no_display_reason());
    SDL_DisplayMode desktop;
    SDL_Rect usable;
    std::uint32_t scale = opt.scale;
    if (scale == 0)
        scale =
            SDL_GetDesktopDisplayMode(0, &desktop) == 0 ? fitting_scale(desktop.w, desktop.h) : 2;
    else if (SDL_GetDisplayUsableBounds(0, &usable) == 0)
        scale = scale_within(scale, usable);
    Screen s{};
    // Shown once it can be drawn in: an OpenGL renderer makes the window anew, and the first
    // one would flash up and vanish under the eyes of the user (and of window tools).
    Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN |
                   (opt.fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    s.window = SDL_CreateWindow("QUAB", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                static_cast<int>(FRAME_W * scale),
                                static_cast<int>(FRAME_H * scale), flags);
    if (!s.window)
        fail(std::string("cannot open a window: ") + SDL_GetError());
    watch_display_faults(s.window);
    s.fullscreen = opt.fullscreen;
    SDL_SetWindowMinimumSize(s.window, FRAME_W, FRAME_H);
    s.renderer = SDL_CreateRenderer(s.window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (s.renderer && renderer_is_emulated(s.renderer) && !std::getenv("SDL_RENDER_DRIVER")) {
        // Without a graphics card (a remote or virtual X server) OpenGL is emulated on the CPU at
        // several times the cost of SDL's own software renderer putting the picture straight
        // into shared memory with the server.
        SDL_DestroyRenderer(s.renderer);
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        s.renderer = SDL_CreateRenderer(s.window, -1, SDL_RENDERER_SOFTWARE);
    }
    if (!s.renderer)
        s.renderer = SDL_CreateRenderer(s.window, -1, 0);
    if (!s.renderer)
        fail(std::string("cannot draw in the window: ") + SDL_GetError());
    watch_display_faults(s.window);
    // The picture keeps 4:3, centred on black, whatever the window's shape.
    SDL_RenderSetLogicalSize(s.renderer, FRAME_W, FRAME_H);
    // The key byte of each Pixel is not alpha: the texture ignores it.
    s.texture = SDL_CreateTexture(s.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                  FRAME_W, FRAME_H);
    if (!s.texture)
        fail(std::string("cannot draw in the window: ") + SDL_GetError());
    SDL_ShowWindow(s.window);
    SDL_DisplayMode mode;
    int refresh_hz = FALLBACK_REFRESH_HZ;
    if (SDL_GetWindowDisplayMode(s.window, &mode) == 0 && mode.refresh_rate > 0)
        refresh_hz = mode.refresh_rate;
    s.frame_ns = 1000000000u / static_cast<std::uint64_t>(refresh_hz);
    return s;
}

void present(Screen* s, const Pixel* frame, bool new_frame) {
    if (new_frame)
        SDL_UpdateTexture(s->texture, nullptr, frame, FRAME_W * sizeof(Pixel));
    SDL_SetRenderDrawColor(s->renderer, 0, 0, 0, 255);
    SDL_RenderClear(s->renderer);
    SDL_RenderCopy(s->renderer, s->texture, nullptr, nullptr);
    SDL_RenderPresent(s->renderer);
}

void set_title(SDL_Window* window, const ShowState* show, std::int16_t sngpos, bool paused) {
    char title[128];
    int scene = show->scene_index < SCENE_END ? show->scene_index : SCENE_END - 1;
    std::snprintf(title, sizeof title, "QUAB: Scene %d, %s (position %d)%s", scene + 1,
                  SCENE_NAMES[scene], sngpos, paused ? " - paused" : "");
    SDL_SetWindowTitle(window, title);
}

enum class KeyAction { NONE, QUIT, FULLSCREEN, PAUSE, PREVIOUS, NEXT };

KeyAction key_action(const SDL_KeyboardEvent& key) {
    SDL_Keycode k = key.keysym.sym;
    if (k == SDLK_ESCAPE || k == SDLK_q)
        return KeyAction::QUIT;
    if (key.repeat == 0 && (k == SDLK_F11 || ((k == SDLK_RETURN || k == SDLK_KP_ENTER) &&
                                              (key.keysym.mod & KMOD_ALT))))
        return KeyAction::FULLSCREEN;
    if (key.repeat == 0 && k == SDLK_SPACE)
        return KeyAction::PAUSE;
    if (k == SDLK_LEFT)
        return KeyAction::PREVIOUS;
    if (k == SDLK_RIGHT)
        return KeyAction::NEXT;
    return KeyAction::NONE;
}

} // namespace

int main(int argc, char** argv) {
    Options opt = parse_options(argc, argv);
    std::string assets_path =
        given_or_found_show_file(opt.assets, "quab.dat", PROGRAM, EXIT_FAILED);
    std::string music_path = given_or_found_show_file(opt.music, "music.xm", PROGRAM, EXIT_FAILED);
    require_regular_inputs(PROGRAM, {assets_path.c_str(), music_path.c_str()});

    AssetTable assets = nullptr;
    std::string error;
    if (load_show_files(assets_path.c_str(), music_path.c_str(), &assets, &error) !=
        ShowFilesFault::NONE)
        fail(error);
    if (opt.start >= collector_module()->numpos)
        usage_error(PROGRAM, "--start " + std::to_string(opt.start) + ": the song has only " +
                                 std::to_string(collector_module()->numpos) + " positions");

    static ShowState show;
    ScriptedClock clock;
    if (!show_start_offline(&show, assets, &clock))
        fail("out of memory for the show's buffers");

    Screen screen = open_screen(opt);

    PlaybackSettings settings{opt.mute, opt.buffer_ms, static_cast<std::int16_t>(opt.start)};
    playback_start(settings);

    // QUAB_PLAY_TRACE set: once a second, frames shown and the output latency the clock accounted
    // for on average, on standard error (for the benchmarks).
    bool trace = std::getenv("QUAB_PLAY_TRACE") != nullptr;
    std::uint64_t trace_start = monotonic_ns();
    std::uint64_t trace_output_frames = 0;
    std::uint32_t trace_frames = 0;

    bool paused = false;
    bool quit = false;
    std::uint32_t jumps_seen = 0;
    // Jumps count from the position last asked for until the music has made the jump.
    std::uint32_t jumps_asked = 0;
    int asked_position = 0;
    int titled_scene = -1;
    int titled_position = -1;
    HeardClock heard = playback_heard();
    while (!quit) {
        std::uint64_t frame_start = monotonic_ns();
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            if (event.type == SDL_QUIT) {
                quit = true;
            } else if (event.type == SDL_DROPFILE) {
                play_dropped_file(&event.drop, ++jumps_asked);
                asked_position = 0;
            } else if (event.type == SDL_KEYDOWN) {
                switch (key_action(event.key)) {
                case KeyAction::QUIT:
                    quit = true;
                    break;
                case KeyAction::FULLSCREEN:
                    screen.fullscreen = !screen.fullscreen;
                    SDL_SetWindowFullscreen(screen.window,
                                            screen.fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
                    break;
                case KeyAction::PAUSE:
                    paused = !paused;
                    playback_set_paused(paused);
                    titled_scene = -1;
                    break;
                case KeyAction::PREVIOUS:
                case KeyAction::NEXT: {
                    int from = jumps_asked != heard.jumps ? asked_position : heard.sngpos;
                    int to = from + (key_action(event.key) == KeyAction::NEXT ? 1 : -1);
                    asked_position = to < 0 ? 0 : to;
                    playback_jump(static_cast<std::int16_t>(asked_position), ++jumps_asked);
                    break;
                }
                case KeyAction::NONE:
                    break;
                }
            }
        }
        if (quit || display_window_gone())
            break;

        bool new_frame = false;
        if (!paused) {
            heard = playback_heard();
            if (heard.song_ended)
                break;
            if (heard.jumps != jumps_seen) {
                jumps_seen = heard.jumps;
                show_restart(&show);
            }
            show_pass_at(&show, &clock, heard.tick_count, heard.sngpos, heard.patpos);
            new_frame = true;
            if (trace) {
                std::uint32_t output_frames, queued_frames;
                playback_latency(&output_frames, &queued_frames);
                trace_output_frames += output_frames;
                if (++trace_frames, frame_start - trace_start >= 1000000000u) {
                    std::fprintf(stderr,
                                 "trace: %u frames, output latency %.2f ms, queued %.2f ms\n",
                                 trace_frames,
                                 1000.0 * static_cast<double>(trace_output_frames) / trace_frames /
                                     MIX_RATE_HZ,
                                 1000.0 * queued_frames / MIX_RATE_HZ);
                    trace_start = frame_start;
                    trace_output_frames = 0;
                    trace_frames = 0;
                }
            }
        }
        if (show.scene_index != titled_scene || heard.sngpos != titled_position) {
            titled_scene = show.scene_index;
            titled_position = heard.sngpos;
            set_title(screen.window, &show, heard.sngpos, paused);
        }
        present(&screen, show.frame, new_frame);
        // The pass that ends the show still shows its frame.
        if (!clock.running.load(std::memory_order_relaxed))
            break;

        // Where present does not wait for the display, wait here: one pass per refresh.
        std::uint64_t next = frame_start + screen.frame_ns;
        std::uint64_t now = monotonic_ns();
        if (now + screen.frame_ns / 4 < next)
            sleep_until_ns(next);
    }

    PlaybackEnd end = playback_stop(&error);
    if (end == PlaybackEnd::FAILED)
        fail(error);
    int minutes, seconds;
    playtime_parts(heard.sngtime, &minutes, &seconds);
    std::printf("Total playtime: %d:%d\n", minutes, seconds);
    // Closing anything more would wait for the stopped sound server with the output.
    if (end == PlaybackEnd::HELD)
        _exit(std::fflush(stdout) == 0 ? 0 : EXIT_FAILED);
    collector_close();
    SDL_DestroyTexture(screen.texture);
    SDL_DestroyRenderer(screen.renderer);
    SDL_DestroyWindow(screen.window);
    display_faults_settle();
    SDL_Quit();
    free_asset_table(assets);
    show_free(&show);
    return standard_output_ok(PROGRAM) ? EXIT_OK : EXIT_FAILED;
}
