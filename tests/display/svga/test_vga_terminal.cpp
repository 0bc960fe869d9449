// What the console library does to the terminal: no echo and no line buffering in mode 54, keys
// read one at a time without waiting, and the settings (and a black screen) given back after
// TEXT, after exit, and after death by a signal. Each case runs in a child on a pseudo-terminal.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include "display/svga/vga.h"
#include "tests/display/svga/pty_child.h"
#include "tests/display/svga/standin.h"

namespace {

constexpr std::size_t FB_BYTES = 640 * 480 * 4;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool FAULTS_GO_TO_A_SANITIZER = true;
#else
constexpr bool FAULTS_GO_TO_A_SANITIZER = false;
#endif

// Touches a page that is mapped without access: a real fault (SIGSEGV from the kernel).
void fault_now() {
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    *static_cast<volatile int*>(page) = 1;
}

// Mode 54 on the stand-in, with a frame drawn into video memory; 'R' when set, 'F' on failure.
bool child_enter_mode(int to_parent) {
    if (vga_init() != 0 || vga_setmode(G320x240x16M32) != 0) {
        send_byte(to_parent, 'F');
        return false;
    }
    vga_setlinearaddressing();
    std::memset(vga_getgraphmem(), 0x77, 320 * 240 * 4);
    send_byte(to_parent, 'R');
    return true;
}

void expect_graphics_settings(int slave) {
    termios t;
    ASSERT_EQ(tcgetattr(slave, &t), 0);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_NE(t.c_lflag & ISIG, 0u) << "Ctrl+C must still end the program";
}

TEST(Terminal, KeysAreReadOneAtATimeWithoutWaiting) {
    StandIn s = make_standin(640, 480, 32, 0);
    PtyChild c = start_pty_child([](int from_parent, int to_parent) {
        if (!child_enter_mode(to_parent))
            return;
        unsigned char keys[4];
        keys[0] = static_cast<unsigned char>(vga_getkey());
        send_byte(to_parent, 'K');
        wait_byte(from_parent); // the parent has typed "ab"
        pollfd p{STDIN_FILENO, POLLIN, 0};
        poll(&p, 1, 10'000);
        keys[1] = static_cast<unsigned char>(vga_getkey());
        keys[2] = static_cast<unsigned char>(vga_getkey());
        keys[3] = static_cast<unsigned char>(vga_getkey());
        for (unsigned char k : keys)
            send_byte(to_parent, k);
        vga_setmode(TEXT);
    });
    ASSERT_GT(c.pid, 0);
    ASSERT_EQ(wait_byte(c.from_child), 'R');
    expect_graphics_settings(c.slave);
    ASSERT_EQ(wait_byte(c.from_child), 'K');
    ASSERT_EQ(write(c.master, "ab", 2), 2);
    send_byte(c.to_child, 'G');
    EXPECT_EQ(wait_byte(c.from_child), 0) << "no key waiting";
    EXPECT_EQ(wait_byte(c.from_child), 'a');
    EXPECT_EQ(wait_byte(c.from_child), 'b');
    EXPECT_EQ(wait_byte(c.from_child), 0) << "both keys taken";
    EXPECT_EQ(finish_pty_child(&c), 0);
    close_pty(&c);
}

TEST(Terminal, TextModeGivesBackTheSettingsAndABlackScreen) {
    StandIn s = make_standin(640, 480, 32, 0x5A);
    PtyChild c = start_pty_child([](int from_parent, int to_parent) {
        if (!child_enter_mode(to_parent))
            return;
        wait_byte(from_parent);
        vga_setmode(TEXT);
        send_byte(to_parent, 'T');
        wait_byte(from_parent);
    });
    ASSERT_GT(c.pid, 0);
    ASSERT_EQ(wait_byte(c.from_child), 'R');
    expect_graphics_settings(c.slave);
    // The frame of 0x77 bytes shows (without its key byte) before TEXT.
    std::vector<unsigned char> fb = wait_for_standin(s, [&](const std::vector<unsigned char>& b) {
        return standin_pixel(s, b, 320, 240) == 0x777777u;
    });
    EXPECT_EQ(standin_pixel(s, fb, 320, 240), 0x777777u);
    send_byte(c.to_child, 'G');
    ASSERT_EQ(wait_byte(c.from_child), 'T');
    termios after;
    ASSERT_EQ(tcgetattr(c.slave, &after), 0);
    EXPECT_TRUE(same_settings(c.initial, after));
    EXPECT_EQ(read_standin_bytes(s), std::vector<unsigned char>(FB_BYTES, 0));
    send_byte(c.to_child, 'G');
    EXPECT_EQ(finish_pty_child(&c), 0);
    close_pty(&c);
}

TEST(Terminal, ExitWithoutTextModeStillRestores) {
    StandIn s = make_standin(640, 480, 32, 0x5A);
    PtyChild c = start_pty_child([](int from_parent, int to_parent) {
        if (!child_enter_mode(to_parent))
            return;
        wait_byte(from_parent);
        std::exit(3);
    });
    ASSERT_GT(c.pid, 0);
    ASSERT_EQ(wait_byte(c.from_child), 'R');
    expect_graphics_settings(c.slave);
    send_byte(c.to_child, 'G');
    int status = finish_pty_child(&c);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    termios after;
    ASSERT_EQ(tcgetattr(c.slave, &after), 0);
    EXPECT_TRUE(same_settings(c.initial, after));
    EXPECT_EQ(read_standin_bytes(s), std::vector<unsigned char>(FB_BYTES, 0));
    close_pty(&c);
}

struct SignalCase {
    const char* name;
    int signal_number;
    bool fault; // raised by a real fault in the child, not sent by the parent
};

const SignalCase SIGNAL_CASES[] = {
    {"sigterm", SIGTERM, false}, {"sigint", SIGINT, false},   {"sighup", SIGHUP, false},
    {"sigquit", SIGQUIT, false}, {"sigabrt", SIGABRT, false}, {"sigsegv_fault", SIGSEGV, true},
};

class FatalSignal : public ::testing::TestWithParam<SignalCase> {};

TEST_P(FatalSignal, ConsoleRestoredAndTheProcessDiesOfIt) {
    const SignalCase& sc = GetParam();
    StandIn s = make_standin(640, 480, 32, 0x5A);
    bool fault = sc.fault;
    PtyChild c = start_pty_child([fault](int from_parent, int to_parent) {
        if (!child_enter_mode(to_parent))
            return;
        wait_byte(from_parent);
        if (fault)
            fault_now();
        for (;;)
            pause();
    });
    ASSERT_GT(c.pid, 0);
    ASSERT_EQ(wait_byte(c.from_child), 'R');
    expect_graphics_settings(c.slave);
    if (sc.fault)
        send_byte(c.to_child, 'G');
    else
        kill(c.pid, sc.signal_number);
    int status = finish_pty_child(&c);
    if (sc.fault && FAULTS_GO_TO_A_SANITIZER) {
        // The sanitizer's handler, run after the library's, reports and exits non-zero.
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << "wait status " << status;
    } else {
        ASSERT_TRUE(WIFSIGNALED(status)) << "wait status " << status;
        EXPECT_EQ(WTERMSIG(status), sc.signal_number);
    }
    termios after;
    ASSERT_EQ(tcgetattr(c.slave, &after), 0);
    EXPECT_TRUE(same_settings(c.initial, after));
    EXPECT_EQ(read_standin_bytes(s), std::vector<unsigned char>(FB_BYTES, 0));
    close_pty(&c);
}

INSTANTIATE_TEST_SUITE_P(Signals, FatalSignal, ::testing::ValuesIn(SIGNAL_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// A fault the program handles itself: the console is restored before the program's handler
// runs, and that handler still decides how the process ends.
TEST(Terminal, FaultRestoresBeforeTheProgramsOwnHandler) {
    StandIn s = make_standin(640, 480, 32, 0x5A);
    PtyChild c = start_pty_child([](int from_parent, int to_parent) {
        static int report_fd;
        report_fd = to_parent;
        struct sigaction own {};
        own.sa_handler = [](int) {
            termios t;
            tcgetattr(STDIN_FILENO, &t);
            unsigned char cooked = (t.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO) ? 'C' : 'N';
            if (write(report_fd, &cooked, 1) != 1)
                _exit(8);
            _exit(7);
        };
        sigaction(SIGSEGV, &own, nullptr);
        if (!child_enter_mode(to_parent))
            return;
        wait_byte(from_parent);
        fault_now();
    });
    ASSERT_GT(c.pid, 0);
    ASSERT_EQ(wait_byte(c.from_child), 'R');
    send_byte(c.to_child, 'G');
    EXPECT_EQ(wait_byte(c.from_child), 'C') << "terminal not restored when the handler ran";
    int status = finish_pty_child(&c);
    ASSERT_TRUE(WIFEXITED(status)) << "wait status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 7);
    EXPECT_EQ(read_standin_bytes(s), std::vector<unsigned char>(FB_BYTES, 0));
    close_pty(&c);
}

// A handler the program installed itself for a signal that is no fault is left in place.
TEST(Terminal, TheProgramsOwnHandlersStay) {
    StandIn s = make_standin(640, 480, 32, 0);
    PtyChild c = start_pty_child([](int, int to_parent) {
        struct sigaction own {};
        own.sa_handler = [](int) {};
        sigaction(SIGUSR1, &own, nullptr);
        if (!child_enter_mode(to_parent))
            return;
        struct sigaction now {};
        sigaction(SIGUSR1, nullptr, &now);
        send_byte(to_parent, now.sa_handler == own.sa_handler ? 'Y' : 'N');
        vga_setmode(TEXT);
    });
    ASSERT_GT(c.pid, 0);
    ASSERT_EQ(wait_byte(c.from_child), 'R');
    EXPECT_EQ(wait_byte(c.from_child), 'Y');
    EXPECT_EQ(finish_pty_child(&c), 0);
    close_pty(&c);
}

} // namespace
