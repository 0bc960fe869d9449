// quab-console-reset: gives the console back after vgademo was killed in a way no program can
// answer (SIGKILL, a power-management freeze that ended it): text mode, a keyboard that types
// characters, and the terminal's usual settings (echo, line editing, Ctrl+C and Ctrl+Z). It works
// on the terminal on its standard input, so it can be typed blind on the dead console or run
// from another one with that console's device as input.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <linux/kd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "lib/base/descriptors.h"
#include "lib/tool_common/command_line.h"

static constexpr const char* PROGRAM = "quab-console-reset";

static constexpr ToolText TOOL = {
    PROGRAM,
    "Gives the terminal on standard input back after vgademo was killed.",
    "[< CONSOLE]",
    "",
    "On a virtual console: text mode and the keyboard's character mode; on any terminal: the\n"
    "usual settings (echo, line editing, Ctrl+C and Ctrl+Z).\n"
    "  quab-console-reset              on the console itself (it may be typed blind)\n"
    "  quab-console-reset < /dev/tty3  from another console, for console 3\n"
    "Exit status: 0 done, 1 the terminal could not be reset, 2 a bad command line.\n",
};

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
    std::fprintf(stderr, "%s: %s: %s\n", PROGRAM, what, std::strerror(errno));
    return EXIT_FAILED;
}

int main(int argc, char** argv) {
    keep_standard_descriptors_open();
    std::vector<const char*> operands = parse_command_line(TOOL, argc, argv, {});
    if (!operands.empty())
        usage_error(PROGRAM, std::string("unexpected argument ") + operands[0]);
    if (!isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "%s: standard input is not a terminal\n", PROGRAM);
        return EXIT_FAILED;
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
    return EXIT_OK;
}
