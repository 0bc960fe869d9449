// The X error handlers of quab-play. Xlib's own print the error and call exit(), which runs the
// exit handlers while the music thread and SDL's audio threads still run; for the window gone
// the show should end as asked, and for the connection gone the process can only end.
#include "tools/play/display_faults.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <unistd.h>

namespace {

Display* watched_display = nullptr;
Window watched_window = 0;
std::atomic<bool> window_gone{false};

// Any error about the window, or about a drawable or window at all (what SDL draws into is the
// window or belongs to it), means the window is gone: nothing else of ours is destroyed under us.
int on_x_error(Display* display, XErrorEvent* e) {
    if (e->resourceid == watched_window || e->error_code == BadWindow ||
        e->error_code == BadDrawable) {
        window_gone.store(true);
        return 0;
    }
    char text[160];
    XGetErrorText(display, e->error_code, text, sizeof text);
    std::fflush(stdout);
    std::fprintf(stderr, "quab-play: the X server refused a request: %s\n", text);
    _exit(1);
}

// Called by Xlib on the main thread when the connection is lost (the server ended, or killed
// our connection: xdotool windowkill); Xlib would exit() after it.
int on_x_io_error(Display* display) {
    std::fflush(stdout);
    const char* name = DisplayString(display);
    std::fprintf(stderr, "quab-play: lost the connection to the display %s\n",
                 name && *name ? name : "(unnamed)");
    _exit(1);
}

} // namespace

void watch_display_faults(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return;
    watched_display = info.info.x11.display;
    watched_window = info.info.x11.window;
    XSetErrorHandler(on_x_error);
    XSetIOErrorHandler(on_x_io_error);
}

bool display_window_gone() { return window_gone.load(); }

void display_faults_settle() {
    if (watched_display)
        XSync(watched_display, False);
}
