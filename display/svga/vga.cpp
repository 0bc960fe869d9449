// The console graphics library's calls: the device, mode 54's video memory and its scan-out
// thread, the terminal's keyboard, and the restoration of the console at TEXT, at exit and on
// death by a signal. All state is process-wide, as the console is.
#include "display/svga/vga.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <linux/kd.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "display/svga/fbdev.h"

namespace {

constexpr const char* DEFAULT_FBDEV = "/dev/fb0";
constexpr long SCANOUT_PERIOD_NS = 16'666'667; // about 60 frames a second
constexpr int KEY_FD = STDIN_FILENO;

// Signals that end the process: while in mode 54 their handler restores the console first.
constexpr int FATAL_SIGNALS[] = {SIGHUP,  SIGINT, SIGQUIT, SIGILL,  SIGTRAP, SIGABRT,
                                 SIGBUS,  SIGFPE, SIGSEGV, SIGPIPE, SIGTERM, SIGXCPU,
                                 SIGXFSZ, SIGSYS, SIGUSR1, SIGUSR2};
constexpr int FATAL_COUNT = sizeof(FATAL_SIGNALS) / sizeof(FATAL_SIGNALS[0]);

// The device, from vga_init.
int fb_fd = -1;
// Keys come only from a terminal: standard input redirected from a file or a pipe holds no key
// presses, and the show is not to end on its bytes.
bool keys_from_terminal = false;
FbGeometry geometry;
bool geometry_from_test = false;

// Mode 54, from vga_setmode(54) to vga_setmode(TEXT). The signal handler reads these, so they
// are set before graphics_active and cleared after it.
std::atomic<bool> graphics_active{false};
std::uint8_t* fb_memory = nullptr;
std::uint32_t* mode_memory = nullptr;
std::uint32_t* scanout_row = nullptr;
ScanoutPlan plan;
vga_modeinfo mode54_info;
int saved_kd_mode = -1; // -1: the terminal is no virtual console
bool termios_saved = false;
termios saved_termios;
struct sigaction saved_actions[FATAL_COUNT];
bool handler_installed[FATAL_COUNT];
bool exit_hook_registered = false;

// The scan-out thread. It marks itself busy before it looks at stop and while it writes, so that
// whoever sets stop and then sees busy clear knows no frame is being written (seq_cst order).
pthread_t scanout_thread;
std::atomic<bool> scanout_stop{false};
std::atomic<bool> scanout_busy{false};

void* scanout_main(void*) {
    timespec next;
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (;;) {
        scanout_busy.store(true);
        if (scanout_stop.load()) {
            scanout_busy.store(false);
            return nullptr;
        }
        // The main thread writes the mode's memory meanwhile; a frame may show parts of two, as
        // a card's scan-out does.
        fb_scan_out(mode_memory, fb_memory, geometry, plan, scanout_row);
        scanout_busy.store(false);

        next.tv_nsec += SCANOUT_PERIOD_NS;
        if (next.tv_nsec >= 1'000'000'000) {
            next.tv_nsec -= 1'000'000'000;
            next.tv_sec++;
        }
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        // Behind by more than a frame (the machine was busy): skip the missed frames.
        if (now.tv_sec > next.tv_sec + 1 ||
            (now.tv_sec - next.tv_sec) * 1'000'000'000 + (now.tv_nsec - next.tv_nsec) >
                SCANOUT_PERIOD_NS)
            next = now;
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
}

// Starts scan-out with every asynchronous signal blocked in the thread: SIGALRM's handler feeds
// the music and must run on the main thread, and the restoring handler must not run on the
// thread it waits for. Faults in the thread itself still reach it.
bool start_scanout() {
    sigset_t all, old;
    sigfillset(&all);
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP})
        sigdelset(&all, sig);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    scanout_stop.store(false);
    int error = pthread_create(&scanout_thread, nullptr, scanout_main, nullptr);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return error == 0;
}

// From a signal handler: stop the thread's writes without joining it (the process is about to
// die). The wait is bounded, and skipped when the fault is the thread's own.
void halt_scanout_from_signal() {
    scanout_stop.store(true);
    if (pthread_equal(pthread_self(), scanout_thread))
        return;
    for (int i = 0; i < 100 && scanout_busy.load(); i++) {
        timespec ms{0, 1'000'000};
        nanosleep(&ms, nullptr);
    }
}

// The console as it was: black screen, text mode, terminal settings. Only async-signal-safe
// calls, as the fatal-signal handler uses it.
void restore_console() {
    fb_clear(fb_memory, geometry);
    if (saved_kd_mode >= 0)
        ioctl(KEY_FD, KDSETMODE, saved_kd_mode);
    if (termios_saved)
        tcsetattr(KEY_FD, TCSANOW, &saved_termios);
}

bool is_fault_signal(int sig) {
    return sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL;
}

void on_fatal_signal(int sig, siginfo_t* info, void*) {
    int saved_errno = errno;
    if (graphics_active.exchange(false)) {
        halt_scanout_from_signal();
        restore_console();
    }
    // Hand the signal on to the action it had before (the default: death by it). A fault made
    // by the kernel recurs as soon as this handler returns; a signal sent by a process is sent
    // again, to be delivered then.
    for (int i = 0; i < FATAL_COUNT; i++)
        if (FATAL_SIGNALS[i] == sig)
            sigaction(sig, &saved_actions[i], nullptr);
    if (!is_fault_signal(sig) || info->si_code <= 0)
        raise(sig);
    errno = saved_errno;
}

// Signals whose action is the default get the restoring handler. So do the faults whatever
// handles them (a sanitizer's reporter, say): their handlers end the process too, and the
// console is restored before they run.
void install_signal_handlers() {
    for (int i = 0; i < FATAL_COUNT; i++) {
        handler_installed[i] = false;
        if (sigaction(FATAL_SIGNALS[i], nullptr, &saved_actions[i]) != 0)
            continue;
        bool default_action =
            !(saved_actions[i].sa_flags & SA_SIGINFO) && saved_actions[i].sa_handler == SIG_DFL;
        bool ignored =
            !(saved_actions[i].sa_flags & SA_SIGINFO) && saved_actions[i].sa_handler == SIG_IGN;
        if (!default_action && (ignored || !is_fault_signal(FATAL_SIGNALS[i])))
            continue;
        struct sigaction action {};
        action.sa_sigaction = on_fatal_signal;
        action.sa_flags = SA_SIGINFO;
        sigfillset(&action.sa_mask);
        handler_installed[i] = sigaction(FATAL_SIGNALS[i], &action, nullptr) == 0;
    }
}

void remove_signal_handlers() {
    for (int i = 0; i < FATAL_COUNT; i++) {
        if (handler_installed[i])
            sigaction(FATAL_SIGNALS[i], &saved_actions[i], nullptr);
        handler_installed[i] = false;
    }
}

void release_mode_memory() {
    if (fb_memory)
        munmap(fb_memory, geometry.memory_bytes);
    fb_memory = nullptr;
    std::free(mode_memory);
    mode_memory = nullptr;
    std::free(scanout_row);
    scanout_row = nullptr;
}

// Back to text mode from the main thread: the thread is joined before the screen is cleared.
void leave_graphics() {
    if (!graphics_active.load())
        return;
    scanout_stop.store(true);
    pthread_join(scanout_thread, nullptr);
    // Cleared only now: a fatal signal until here still finds everything to restore.
    if (!graphics_active.exchange(false))
        return;
    restore_console();
    remove_signal_handlers();
    release_mode_memory();
    termios_saved = false;
    saved_kd_mode = -1;
}

void at_exit_restore() { leave_graphics(); }

// The keyboard: no echo, no line buffering, reads that return at once. Ctrl+Z is disabled (a
// stopped demo would leave the console in graphics), Ctrl+C still ends the program.
bool take_terminal() {
    termios_saved = false;
    saved_kd_mode = -1;
    if (!isatty(KEY_FD))
        return true;
    if (tcgetattr(KEY_FD, &saved_termios) != 0)
        return false;
    termios raw = saved_termios;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    raw.c_cc[VSUSP] = _POSIX_VDISABLE;
    if (tcsetattr(KEY_FD, TCSANOW, &raw) != 0)
        return false;
    termios_saved = true;

    // Only a virtual console answers KDGETMODE; a pseudo-terminal keeps its text.
    int kd_mode = 0;
    if (ioctl(KEY_FD, KDGETMODE, &kd_mode) == 0) {
        if (ioctl(KEY_FD, KDSETMODE, KD_GRAPHICS) != 0) {
            std::fprintf(stderr, "vga: cannot switch the console to graphics: %s\n",
                         std::strerror(errno));
            tcsetattr(KEY_FD, TCSANOW, &saved_termios);
            termios_saved = false;
            return false;
        }
        saved_kd_mode = kd_mode;
    }
    return true;
}

int enter_mode54() {
    if (fb_fd < 0 || !fb_fits_mode54(geometry))
        return -1;
    if (geometry_from_test) {
        // A stand-in file shorter than its geometry would fault on the first scan-out.
        struct stat st;
        if (fstat(fb_fd, &st) != 0 || static_cast<std::size_t>(st.st_size) < geometry.memory_bytes)
            return -1;
    }
    void* map = mmap(nullptr, geometry.memory_bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fb_fd, 0);
    if (map == MAP_FAILED) {
        std::fprintf(stderr, "vga: cannot map the framebuffer: %s\n", std::strerror(errno));
        return -1;
    }
    fb_memory = static_cast<std::uint8_t*>(map);
    mode_memory = static_cast<std::uint32_t*>(std::calloc(MODE_W * MODE_H, 4));
    plan = fb_plan_scanout(geometry);
    scanout_row = static_cast<std::uint32_t*>(std::malloc(std::size_t{MODE_W} * plan.scale * 4));
    if (!mode_memory || !scanout_row) {
        release_mode_memory();
        return -1;
    }
    if (!take_terminal()) {
        release_mode_memory();
        return -1;
    }
    fb_clear(fb_memory, geometry);
    mode54_info.flags &= ~IS_LINEAR;
    install_signal_handlers();
    if (!exit_hook_registered)
        exit_hook_registered = std::atexit(at_exit_restore) == 0;
    graphics_active.store(true);
    if (!start_scanout()) {
        graphics_active.store(false);
        restore_console();
        remove_signal_handlers();
        release_mode_memory();
        return -1;
    }
    return 0;
}

} // namespace

int vga_init(void) {
    if (graphics_active.load())
        return 0;
    if (fb_fd >= 0)
        close(fb_fd);
    fb_fd = -1;
    const char* path = std::getenv("VGA_FBDEV");
    if (!path || !*path)
        path = DEFAULT_FBDEV;
    int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "vga: cannot open framebuffer %s: %s\n", path, std::strerror(errno));
        return -1;
    }
    geometry_from_test = false;
    if (!fb_query_geometry(fd, &geometry)) {
        if (!fb_parse_test_geometry(std::getenv("VGA_FBDEV_TEST_GEOMETRY"), &geometry)) {
            std::fprintf(stderr, "vga: %s is not a framebuffer device\n", path);
            close(fd);
            return -1;
        }
        geometry_from_test = true;
    }
    fb_fd = fd;
    keys_from_terminal = isatty(KEY_FD) == 1;
    mode54_info = vga_modeinfo{static_cast<int>(MODE_W),
                               static_cast<int>(MODE_H),
                               4,
                               1 << 24,
                               static_cast<int>(MODE_W * 4),
                               CAPABLE_LINEAR};
    return 0;
}

int vga_hasmode(int mode) {
    if (mode == TEXT)
        return 1;
    return mode == G320x240x16M32 && fb_fd >= 0 && fb_fits_mode54(geometry) ? 1 : 0;
}

int vga_setmode(int mode) {
    if (mode == TEXT) {
        leave_graphics();
        return 0;
    }
    if (mode != G320x240x16M32)
        return -1;
    if (graphics_active.load()) {
        // Setting the mode again starts from a black screen, as a fresh mode set does.
        std::memset(mode_memory, 0, MODE_BYTES);
        return 0;
    }
    return enter_mode54();
}

vga_modeinfo* vga_getmodeinfo(int mode) {
    return mode == G320x240x16M32 && fb_fd >= 0 ? &mode54_info : nullptr;
}

int vga_setlinearaddressing(void) {
    if (!graphics_active.load())
        return -1;
    mode54_info.flags |= IS_LINEAR;
    return static_cast<int>(MODE_BYTES);
}

unsigned char* vga_getgraphmem(void) {
    return graphics_active.load() ? reinterpret_cast<unsigned char*>(mode_memory) : nullptr;
}

int vga_getkey(void) {
    if (!keys_from_terminal)
        return 0;
    pollfd p{KEY_FD, POLLIN, 0};
    if (poll(&p, 1, 0) != 1 || !(p.revents & POLLIN))
        return 0;
    unsigned char key = 0;
    if (read(KEY_FD, &key, 1) != 1)
        return 0;
    return key;
}
