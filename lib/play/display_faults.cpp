// The X error handlers of quab-play. Xlib's own print the error and call exit(), which runs the
// exit handlers while the music thread and SDL's audio threads still run; for the window gone
// the show should end as asked, and for the connection gone the process can only end.
#include "lib/play/display_faults.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

Display* watched_display = nullptr;
Window watched_window = 0;
std::atomic<bool> window_gone{false};
// The connection's socket and the display's name, for the crash handler.
int watched_fd = -1;
char display_name[128] = "";

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

// True when the server has closed the connection: a hang-up, or the end of the stream.
// Async-signal-safe.
bool connection_closed(int fd) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 0) != 1)
        return false;
    if (p.revents & (POLLHUP | POLLERR))
        return true;
    char byte;
    return (p.revents & POLLIN) && recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

// Mesa's GLX takes the replies of a connection that has just died for good ones and crashes on
// them (SIGSEGV while SDL makes its OpenGL renderer, the X server killed under it). With the
// connection closed that is the display lost; any other crash keeps its default action.
void on_crash(int signal_number) {
    if (watched_fd >= 0 && connection_closed(watched_fd)) {
        constexpr char LINE[] = "quab-play: lost the connection to the display ";
        ssize_t ignored = write(STDERR_FILENO, LINE, sizeof LINE - 1);
        ignored = write(STDERR_FILENO, display_name, std::strlen(display_name));
        ignored = write(STDERR_FILENO, "\n", 1);
        (void)ignored;
        _exit(1);
    }
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
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
    if (watched_fd < 0) {
        const char* name = DisplayString(watched_display);
        std::snprintf(display_name, sizeof display_name, "%s", name ? name : "");
        watched_fd = ConnectionNumber(watched_display);
        std::signal(SIGSEGV, on_crash);
        std::signal(SIGBUS, on_crash);
    }
}

void watch_display_connection() { XSetIOErrorHandler(on_x_io_error); }

bool display_window_gone() { return window_gone.load(); }

void display_faults_settle() {
    if (watched_display)
        XSync(watched_display, False);
}
