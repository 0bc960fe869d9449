// vgademo end to end: the real program on a pseudo-terminal, a stand-in framebuffer and the
// private PulseAudio null sink. Start-up lines, frames on the screen, a key that ends the show
// with status 0, the show ending by itself, the start-up failures without a framebuffer or
// without mode 54, and in every case the terminal's settings and the screen given back. Then
// what the world can do to it: standard input or output closed, and death by SIGKILL, after
// which quab-console-reset gives the terminal back.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sstream>

#include "tests/display/svga/pty_child.h"
#include "tests/display/svga/standin.h"
#include "tests/support/process.h"
#include "tests/support/test_support.h"

namespace {

const char* const STARTUP_LINES[] = {
    "*** QUAB Linux Demoengine v" QUAB_VERSION " ***",
    "Initiating memory allocation sequence...",
    "Initiating Precalc sequence...",
    "Initiating decrunch sequence...",
    "Initiating dravo/QUAB svgalib startup v" QUAB_VERSION,
    "Initiating Mikmod startup sequence...",
    "Initiating joined sound and timer startup sequence...",
};

std::vector<std::string> startup_lines(int count) {
    return std::vector<std::string>(STARTUP_LINES, STARTUP_LINES + count);
}

struct DemoRun {
    int status = -1;
    std::vector<std::string> lines; // standard output as the terminal showed it
    bool settings_restored = false;
};

// Everything the master side has to read, without waiting.
void drain(int master, std::string* text) {
    char buffer[4096];
    pollfd p{master, POLLIN, 0};
    while (poll(&p, 1, 0) == 1 && (p.revents & POLLIN)) {
        ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        text->append(buffer, static_cast<std::size_t>(n));
    }
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char ch : text) {
        if (ch == '\r')
            continue;
        if (ch == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += ch;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

class Vgademo : public ::testing::Test {
  protected:
    void SetUp() override {
        work = make_temp_dir();
        // Every word keyed (above KEY_HIGH), so that masks and overlays let the pictures show.
        ASSERT_TRUE(write_asset_file(work + "/quab.dat", default_asset_records(0xFFC08040u)));
    }

    void make_module(const std::string& options) {
        Child c =
            child_of(words_of(std::string(TESTMOD_PATH) + " " + work + "/music.xm " + options));
        // Its own lines go elsewhere: the show's folder holds only the show's files.
        std::string logs = make_temp_dir();
        RunResult r = run_child(c, logs);
        std::filesystem::remove_all(logs);
        ASSERT_EQ(r.status, 0) << r.err;
    }

    // Runs vgademo in work on a fresh pseudo-terminal (its standard input and output; standard
    // error to work/err); while_running gets the child while the show runs (or has failed).
    DemoRun run_demo(const std::function<void(PtyChild&)>& while_running) {
        std::string dir = work;
        int closed_fd = closed_in_child;
        PtyChild c = start_pty_child([dir, closed_fd](int, int) {
            if (chdir(dir.c_str()) != 0)
                _exit(126);
            dup2(STDIN_FILENO, STDOUT_FILENO);
            int err = open((dir + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(err, STDERR_FILENO);
            close(err);
            if (closed_fd >= 0)
                close(closed_fd);
            setenv("XDG_RUNTIME_DIR", SERVICES_RUNDIR, 1);
            unsetenv("PULSE_SERVER");
            execl(VGADEMO_PATH, "vgademo", static_cast<char*>(nullptr));
            _exit(127);
        });
        DemoRun r;
        if (c.pid <= 0)
            return r;
        std::string text;
        while_running(c);
        // Reads the output while waiting, so that the program never blocks on a full terminal.
        for (int i = 0; i < 3000; i++) {
            drain(c.master, &text);
            if (waitpid(c.pid, &r.status, WNOHANG) == c.pid)
                break;
            r.status = -1;
            usleep(10'000);
        }
        if (r.status == -1) {
            kill(c.pid, SIGKILL);
            waitpid(c.pid, nullptr, 0);
        }
        drain(c.master, &text);
        close(c.to_child);
        close(c.from_child);
        termios after;
        r.settings_restored = tcgetattr(c.slave, &after) == 0 && same_settings(c.initial, after);
        close_pty(&c);
        r.lines = split_lines(text);
        return r;
    }

    std::string work;
    int closed_in_child = -1; // a standard descriptor the demo starts without
};

bool any_picture(const std::vector<unsigned char>& fb) {
    for (std::size_t i = 0; i + 3 < fb.size(); i += 4)
        if (fb[i] | fb[i + 1] | fb[i + 2])
            return true;
    return false;
}

TEST_F(Vgademo, KeyEndsTheShowWithStatusZeroAndTheConsoleComesBack) {
    // Long enough that the show cannot end by itself: 7.68 s a position.
    make_module("--positions 32 --rows 64 --speed 6 --bpm 125");
    StandIn s = make_standin(640, 480, 32, 0);
    bool showed = false, graphics_settings = false;
    DemoRun r = run_demo([&](PtyChild& c) {
        std::vector<unsigned char> fb = wait_for_standin(s, any_picture);
        showed = any_picture(fb);
        termios during;
        graphics_settings =
            tcgetattr(c.slave, &during) == 0 && (during.c_lflag & (ICANON | ECHO)) == 0;
        ASSERT_EQ(write(c.master, "q", 1), 1);
    });
    EXPECT_TRUE(showed) << "no frame reached the framebuffer";
    EXPECT_TRUE(graphics_settings);
    ASSERT_TRUE(WIFEXITED(r.status)) << r.status;
    EXPECT_EQ(WEXITSTATUS(r.status), 0);
    std::vector<std::string> expected = startup_lines(7);
    ASSERT_EQ(r.lines.size(), 9u);
    EXPECT_EQ(std::vector<std::string>(r.lines.begin(), r.lines.begin() + 7), expected);
    // Ended long before the 4 minutes of music: "0:" and a number of seconds below 30.
    const std::string& playtime = r.lines[7];
    EXPECT_TRUE(playtime.rfind("Total playtime: 0:", 0) == 0 && playtime.size() >= 19 &&
                playtime.size() <= 20 && std::atoi(playtime.c_str() + 18) < 30)
        << playtime;
    EXPECT_EQ(r.lines[8], "*** Shutdown ***");
    EXPECT_TRUE(r.settings_restored);
    EXPECT_EQ(read_standin_bytes(s), std::vector<unsigned char>(640 * 480 * 4, 0));
}

TEST_F(Vgademo, ShowEndsByItselfAfterPosition29) {
    // 32 positions of 4 rows at speed 3, 125 BPM: 0.24 s a position. The show ends once the
    // song reaches position 30, at 7.2 s, and the music would end at 7.68 s.
    make_module("--positions 32 --rows 4 --speed 3 --bpm 125");
    StandIn s = make_standin(1024, 768, 32, 0);
    DemoRun r = run_demo([](PtyChild&) {});
    ASSERT_TRUE(WIFEXITED(r.status)) << r.status;
    EXPECT_EQ(WEXITSTATUS(r.status), 0);
    std::vector<std::string> expected = startup_lines(7);
    expected.push_back("Total playtime: 0:7");
    expected.push_back("*** Shutdown ***");
    EXPECT_EQ(r.lines, expected);
    EXPECT_TRUE(r.settings_restored);
    EXPECT_EQ(read_standin_bytes(s), std::vector<unsigned char>(1024 * 768 * 4, 0));
}

TEST_F(Vgademo, NoFramebufferEndsStartUpWithStatusOne) {
    make_module("--positions 32");
    setenv("VGA_FBDEV", (work + "/no-fb").c_str(), 1);
    DemoRun r = run_demo([](PtyChild&) {});
    ASSERT_TRUE(WIFEXITED(r.status)) << r.status;
    EXPECT_EQ(WEXITSTATUS(r.status), 1);
    std::vector<std::string> expected = startup_lines(5);
    expected.push_back("Unable to initiate svgalib");
    EXPECT_EQ(r.lines, expected);
    EXPECT_TRUE(r.settings_restored);
}

// A 16-bit framebuffer has no mode 54: the back-end says nothing more, the driver ends start-up
// before the music, and neither the screen nor the terminal has been touched.
TEST_F(Vgademo, ModeUnavailableEndsStartUpWithStatusOne) {
    make_module("--positions 32");
    StandIn s = make_standin(640, 480, 16, 0x5A);
    DemoRun r = run_demo([](PtyChild&) {});
    ASSERT_TRUE(WIFEXITED(r.status)) << r.status;
    EXPECT_EQ(WEXITSTATUS(r.status), 1);
    EXPECT_EQ(r.lines, startup_lines(5));
    EXPECT_TRUE(r.settings_restored);
    EXPECT_EQ(read_standin_bytes(s), std::vector<unsigned char>(640 * 480 * 2, 0x5A));
}

// A closed standard input is no keyboard: the framebuffer opened as descriptor 0 was read as
// key presses and ended the show at once. Now the show plays to its end.
TEST_F(Vgademo, ClosedStandardInputIsNoKeyboard) {
    // 0.24 s a position: the show ends by itself after 7.2 s of song.
    make_module("--positions 32 --rows 4 --speed 3 --bpm 125");
    StandIn s = make_standin(640, 480, 32, 0);
    closed_in_child = STDIN_FILENO;
    DemoRun r = run_demo([](PtyChild&) {});
    ASSERT_TRUE(WIFEXITED(r.status)) << r.status;
    EXPECT_EQ(WEXITSTATUS(r.status), 0);
    std::vector<std::string> expected = startup_lines(7);
    expected.push_back("Total playtime: 0:7");
    expected.push_back("*** Shutdown ***");
    EXPECT_EQ(r.lines, expected);
    EXPECT_EQ(read_standin_bytes(s), std::vector<unsigned char>(640 * 480 * 4, 0));
}

// With standard output closed the lines go nowhere: not into the framebuffer opened as
// descriptor 1, whose screen must be black after the show as after any other.
TEST_F(Vgademo, ClosedStandardOutputWritesNothingOnTheScreen) {
    make_module("--positions 32 --rows 64 --speed 6 --bpm 125");
    StandIn s = make_standin(640, 480, 32, 0);
    closed_in_child = STDOUT_FILENO;
    DemoRun r = run_demo([&](PtyChild& c) {
        wait_for_standin(s, any_picture);
        ASSERT_EQ(write(c.master, "q", 1), 1);
    });
    ASSERT_TRUE(WIFEXITED(r.status)) << r.status;
    EXPECT_EQ(WEXITSTATUS(r.status), 0);
    EXPECT_TRUE(r.lines.empty());
    EXPECT_TRUE(r.settings_restored);
    EXPECT_EQ(read_standin_bytes(s), std::vector<unsigned char>(640 * 480 * 4, 0));
}

// Runs quab-console-reset with the terminal slave as its standard input; its wait status.
int run_console_reset(int slave) {
    pid_t pid = fork();
    if (pid == 0) {
        dup2(slave, STDIN_FILENO);
        execl(CONSOLE_RESET_PATH, "quab-console-reset", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = -1;
    waitpid(pid, &status, 0);
    return status;
}

// SIGKILL leaves the terminal as the show had it (no echo, no line editing, no Ctrl+Z); the
// recovery command gives back the usual settings. (A pseudo-terminal has no console mode; that
// half of the command needs a real virtual console.)
TEST_F(Vgademo, AfterSigkillTheRecoveryCommandGivesTheTerminalBack) {
    make_module("--positions 32 --rows 64 --speed 6 --bpm 125");
    StandIn s = make_standin(640, 480, 32, 0);
    bool left_raw = false;
    int reset_status = -1;
    termios after{};
    DemoRun r = run_demo([&](PtyChild& c) {
        ASSERT_TRUE(any_picture(wait_for_standin(s, any_picture)));
        kill(c.pid, SIGKILL);
        siginfo_t info;
        waitid(P_PID, static_cast<id_t>(c.pid), &info, WEXITED | WNOWAIT);
        termios during;
        left_raw = tcgetattr(c.slave, &during) == 0 && (during.c_lflag & (ICANON | ECHO)) == 0;
        reset_status = run_console_reset(c.slave);
        tcgetattr(c.slave, &after);
    });
    ASSERT_TRUE(WIFSIGNALED(r.status)) << r.status;
    EXPECT_EQ(WTERMSIG(r.status), SIGKILL);
    EXPECT_TRUE(left_raw) << "the show's terminal settings were not in place when it died";
    ASSERT_TRUE(WIFEXITED(reset_status)) << reset_status;
    EXPECT_EQ(WEXITSTATUS(reset_status), 0);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO | ISIG), static_cast<tcflag_t>(ICANON | ECHO | ISIG));
    EXPECT_EQ(after.c_cc[VSUSP], 'Z' & 0x1F);
    EXPECT_EQ(after.c_cc[VINTR], 'C' & 0x1F);
    EXPECT_EQ(after.c_cc[VMIN], 1);
    EXPECT_EQ(after.c_iflag & ICRNL, static_cast<tcflag_t>(ICRNL));
    EXPECT_EQ(after.c_oflag & (OPOST | ONLCR), static_cast<tcflag_t>(OPOST | ONLCR));
}

// Its command line and the case it cannot help.
TEST(ConsoleReset, CommandLine) {
    struct Case {
        const char* args;
        int status;
    } cases[] = {{"--help", 0}, {"-h", 0}, {"--bogus", 2}, {"extra", 2}, {"", 1}};
    for (const Case& c : cases) {
        // Standard input from /dev/null: no terminal to reset.
        std::string dir = make_temp_dir();
        RunResult r =
            run_child(child_of(words_of(std::string(CONSOLE_RESET_PATH) + " " + c.args)), dir);
        std::filesystem::remove_all(dir);
        EXPECT_EQ(r.status, c.status) << c.args;
    }
}

} // namespace
