// quab-play's window. SDL draws the 320x240 frame scaled into the window by a rectangle of our
// own, so that whole pixels, filling and the overlay at the window's own resolution are ours.
#include "lib/play/screen.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "lib/pictures/png_import.h"
#include "lib/play/display_faults.h"
#include "lib/play/gl_probe.h"
#include "lib/tool_common/command_line.h"
#include "lib/tool_common/streams.h"

namespace {

// The desktop entry's name (org.quab.Quab.desktop), which the icons are installed under too.
constexpr const char* APP_ID = "org.quab.Quab";

constexpr int FALLBACK_REFRESH_HZ = 60;

// The largest whole multiple of 320x240 within two thirds of the screen, at least 1.
std::uint32_t fitting_scale(int screen_w, int screen_h) {
    std::uint32_t by_w = static_cast<std::uint32_t>(screen_w * 2 / 3 / FRAME_W);
    std::uint32_t by_h = static_cast<std::uint32_t>(screen_h * 2 / 3 / FRAME_H);
    std::uint32_t scale = by_w < by_h ? by_w : by_h;
    if (scale < 1)
        scale = 1;
    return scale > MAX_SCALE ? MAX_SCALE : scale;
}

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

// The show's icon at 64 pixels, as installed (share/icons beside bin/) or as the build draws it
// (icons/ beside the program), on the window (X11's _NET_WM_ICON). Without one the desktop's
// default stands.
void set_window_icon(SDL_Window* window) {
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return;
    std::string dir(exe, static_cast<std::size_t>(n));
    dir.erase(dir.rfind('/'));
    for (const std::string& path :
         {dir + "/../share/icons/hicolor/64x64/apps/" + APP_ID + ".png", dir + "/icons/64.png"}) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f)
            continue;
        std::string bytes(1u << 20, '\0');
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
        std::fclose(f);
        PngImage image{};
        if (!png_import(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &image)
                 .ok)
            continue;
        // Pixels are 0xKKRRGGBB words, the key byte the alpha.
        SDL_Surface* icon =
            SDL_CreateRGBSurfaceFrom(image.pixels, image.width, image.height, 32, image.width * 4,
                                     0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u);
        if (icon)
            SDL_SetWindowIcon(window, icon);
        SDL_FreeSurface(icon);
        std::free(image.pixels);
        return;
    }
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

} // namespace

Screen open_screen(std::uint32_t scale, bool fullscreen, int overlay_w, int overlay_h) {
    // The window's class (X11) and app_id (Wayland) name the desktop entry, whose
    // StartupWMClass matches, so that the desktop shows the window under the entry's icon.
    setenv("SDL_VIDEO_X11_WMCLASS", APP_ID, 0);
    setenv("SDL_VIDEO_WAYLAND_WMCLASS", APP_ID, 0);
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_SetHint(SDL_HINT_APP_NAME, "quab-play");
    watch_display_connection();
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0)
        fatal(PLAY_PROGRAM, EXIT_FAILED,
              "cannot open a window: " + no_display_reason() + " (" + SDL_GetError() + ")");
    // With no display SDL falls back to drawing nowhere; only asked for by name is that a window.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0) &&
        !std::getenv("SDL_VIDEODRIVER"))
        fatal(PLAY_PROGRAM, EXIT_FAILED, "cannot open a window: " + no_display_reason());
    SDL_DisplayMode desktop;
    SDL_Rect usable;
    if (scale == 0)
        scale =
            SDL_GetDesktopDisplayMode(0, &desktop) == 0 ? fitting_scale(desktop.w, desktop.h) : 2;
    else if (SDL_GetDisplayUsableBounds(0, &usable) == 0)
        scale = scale_within(scale, usable);
    Screen s{};
    s.whole_in_window = false;
    s.whole_in_fullscreen = true;
    // Shown once it can be drawn in: an OpenGL renderer makes the window anew, and the first
    // one would flash up and vanish under the eyes of the user (and of window tools). Full
    // screen comes after the showing, so that the window manager sizes the window it shows.
    Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN;
    s.window = SDL_CreateWindow("QUAB", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                static_cast<int>(FRAME_W * scale),
                                static_cast<int>(FRAME_H * scale), flags);
    if (!s.window)
        fatal(PLAY_PROGRAM, EXIT_FAILED, std::string("cannot open a window: ") + SDL_GetError());
    watch_display_faults(s.window);
    s.fullscreen = fullscreen;
    SDL_SetWindowMinimumSize(s.window, FRAME_W, FRAME_H);
    set_window_icon(s.window);
    bool own_choice = std::getenv("SDL_RENDER_DRIVER") == nullptr;
    if (own_choice && gl_would_be_emulated(s.window)) {
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        s.renderer = SDL_CreateRenderer(s.window, -1, SDL_RENDERER_SOFTWARE);
    }
    if (!s.renderer)
        s.renderer = SDL_CreateRenderer(s.window, -1, SDL_RENDERER_PRESENTVSYNC);
    if (s.renderer && own_choice && renderer_is_emulated(s.renderer)) {
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
        fatal(PLAY_PROGRAM, EXIT_FAILED,
              std::string("cannot draw in the window: ") + SDL_GetError());
    watch_display_faults(s.window);
    // The key byte of each Pixel is not alpha: the texture ignores it.
    s.texture = SDL_CreateTexture(s.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                  FRAME_W, FRAME_H);
    if (!s.texture)
        fatal(PLAY_PROGRAM, EXIT_FAILED,
              std::string("cannot draw in the window: ") + SDL_GetError());
    s.overlay = SDL_CreateTexture(s.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                  overlay_w, overlay_h);
    if (s.overlay)
        SDL_SetTextureBlendMode(s.overlay, SDL_BLENDMODE_BLEND);
    if (!s.overlay)
        fatal(PLAY_PROGRAM, EXIT_FAILED,
              std::string("cannot draw in the window: ") + SDL_GetError());
    SDL_ShowWindow(s.window);
    if (fullscreen)
        SDL_SetWindowFullscreen(s.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    SDL_DisplayMode mode;
    int refresh_hz = FALLBACK_REFRESH_HZ;
    if (SDL_GetWindowDisplayMode(s.window, &mode) == 0 && mode.refresh_rate > 0)
        refresh_hz = mode.refresh_rate;
    s.frame_ns = 1000000000u / static_cast<std::uint64_t>(refresh_hz);
    return s;
}

void close_screen(Screen* s) {
    SDL_DestroyTexture(s->overlay);
    SDL_DestroyTexture(s->texture);
    SDL_DestroyRenderer(s->renderer);
    SDL_DestroyWindow(s->window);
    display_faults_settle();
    SDL_Quit();
}

void toggle_fullscreen(Screen* s) {
    s->fullscreen = !s->fullscreen;
    SDL_SetWindowFullscreen(s->window, s->fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

void toggle_whole_pixels(Screen* s) {
    bool* whole = s->fullscreen ? &s->whole_in_fullscreen : &s->whole_in_window;
    *whole = !*whole;
}

SDL_Rect picture_rect(const Screen* s, int w, int h) {
    SDL_Rect r;
    if (screen_whole_pixels(s)) {
        int scale = w / FRAME_W < h / FRAME_H ? w / FRAME_W : h / FRAME_H;
        if (scale < 1)
            scale = 1;
        r.w = FRAME_W * scale;
        r.h = FRAME_H * scale;
    } else if (w * FRAME_H <= h * FRAME_W) {
        r.w = w;
        r.h = w * FRAME_H / FRAME_W;
    } else {
        r.w = h * FRAME_W / FRAME_H;
        r.h = h;
    }
    r.x = (w - r.w) / 2;
    r.y = (h - r.h) / 2;
    return r;
}

void set_title(Player* p) {
    char title[256];
    int scene = p->show.scene_index < SCENE_END ? p->show.scene_index : SCENE_END - 1;
    std::snprintf(title, sizeof title, "QUAB: Scene %d, %s (position %d)%s - %s", scene + 1,
                  SCENE_NAMES[scene], p->shown_reading.sngpos, p->paused ? " - paused" : "",
                  p->title.c_str());
    SDL_SetWindowTitle(p->screen.window, title);
}
