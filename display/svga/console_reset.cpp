// quab-console-reset: gives the console back after vgademo was killed in a way no program can
// answer (SIGKILL, a power-management freeze that ended it): text mode, a keyboard that types
// characters, and the terminal's usual settings (echo, line editing, Ctrl+C and Ctrl+Z). It works
// on the terminal on its standard input, so it can be typed blind on the dead console or run
// from another one with that console's device as input.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <linux/kd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

static constexpr const char* USAGE =
    "usage: quab-console-reset [-h|--help]\n"
    "Gives the terminal on standard input back after vgademo was killed: text mode and the\n"
    "keyboard's character mode on a virtual console, and the usual terminal settings.\n"
    "  quab-console-reset              on the console itself (it may be typed blind)\n"
    "  quab-console-reset < /dev/tty3  from another console, for console 3\n";

static constexpr cc_t control(char c) { return static_cast<cc_t>(c & 0x1F); }

// The settings of `stty sane`: line editing and echo, signal keys, CR/NL translation, and every
// control key at its usual place (vgademo turned off echo and line editing and disabled Ctrl+Z).
static void make_sane(termios* t) {
    t->c_iflag |= BRKINT | ICRNL | IMAXBEL | IXON;
    t->c_iflag &= ~static_cast<tcflag_t>(IGNBRK | INLCR | IGNCR | IXOFF | IXANY | IUCLC);
    t->c_oflag |= OPOST | ONLCR;
    t->c_oflag &= ~static_cast<tcflag_t>(OLCUC | OCRNL | ONOCR | ONLRET | OFILL);
    t->c_lflag |= ISIG | ICANON | IEXTEN | ECHO | ECHOE | ECHOK | ECHOCTL | ECHOKE;
    t->c_lflag &= ~static_cast<tcflag_t>(ECHONL | NOFLSH | TOSTOP | ECHOPRT | XCASE);
    t->c_cc[VINTR] = control('C');
    t->c_cc[VQUIT] = control('\\');
    t->c_cc[VERASE] = 0x7F;
    t->c_cc[VKILL] = control('U');
    t->c_cc[VEOF] = control('D');
    t->c_cc[VSTART] = control('Q');
    t->c_cc[VSTOP] = control('S');
    t->c_cc[VSUSP] = control('Z');
    t->c_cc[VREPRINT] = control('R');
    t->c_cc[VWERASE] = control('W');
    t->c_cc[VLNEXT] = control('V');
    t->c_cc[VDISCARD] = control('O');
    t->c_cc[VMIN] = 1;
    t->c_cc[VTIME] = 0;
}

static int fail(const char* what) {
    std::fprintf(stderr, "quab-console-reset: %s: %s\n", what, std::strerror(errno));
    return 1;
}

int main(int argc, char** argv) {
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::fputs(USAGE, stdout);
            return 0;
        }
        std::fprintf(stderr, "quab-console-reset: unexpected argument '%s'\n%s", argv[i], USAGE);
        return 2;
    }
    if (!isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "quab-console-reset: standard input is not a terminal\n");
        return 1;
    }
    // Only a virtual console answers KDGETMODE; a pseudo-terminal has no modes to give back.
    int kd_mode = 0;
    if (ioctl(STDIN_FILENO, KDGETMODE, &kd_mode) == 0) {
        if (kd_mode != KD_TEXT && ioctl(STDIN_FILENO, KDSETMODE, KD_TEXT) != 0)
            return fail("cannot switch the console to text mode");
        int kb_mode = 0;
        if (ioctl(STDIN_FILENO, KDGKBMODE, &kb_mode) == 0 && kb_mode != K_XLATE &&
            kb_mode != K_UNICODE && ioctl(STDIN_FILENO, KDSKBMODE, K_UNICODE) != 0)
            return fail("cannot give the keyboard its character mode back");
    }
    termios t;
    if (tcgetattr(STDIN_FILENO, &t) != 0)
        return fail("cannot read the terminal's settings");
    make_sane(&t);
    if (tcsetattr(STDIN_FILENO, TCSANOW, &t) != 0)
        return fail("cannot set the terminal's settings");
    return 0;
}
