// A child process on a fresh pseudo-terminal, for the tests of what the console library does to
// a terminal: the child's standard input (and controlling terminal) is the pty's slave, which
// the parent keeps open to read the terminal's settings; two pipes carry one-byte messages.
#pragma once

#include <csignal>
#include <cstring>
#include <functional>

#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

struct PtyChild {
    pid_t pid = -1;
    int master = -1;
    int slave = -1;
    int to_child = -1;
    int from_child = -1;
    termios initial; // the terminal's settings before the child started
};

// Waits at most ten seconds for one byte on fd; -1 when none came.
static inline int wait_byte(int fd) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 10'000) != 1)
        return -1;
    unsigned char c;
    return read(fd, &c, 1) == 1 ? c : -1;
}

static inline void send_byte(int fd, unsigned char c) {
    if (write(fd, &c, 1) != 1)
        std::perror("send_byte");
}

// Starts body(from_parent, to_parent) in the child, then _exit(0) unless body ends the process.
static inline PtyChild start_pty_child(const std::function<void(int, int)>& body) {
    PtyChild c;
    int down[2], up[2];
    if (openpty(&c.master, &c.slave, nullptr, nullptr, nullptr) != 0 || pipe(down) != 0 ||
        pipe(up) != 0)
        return c;
    // Canonical and echoing, as a login shell leaves a terminal; fixed before the child runs.
    tcgetattr(c.slave, &c.initial);
    c.initial.c_lflag |= ICANON | ECHO | ISIG;
    tcsetattr(c.slave, TCSANOW, &c.initial);
    tcgetattr(c.slave, &c.initial);
    std::fflush(nullptr);
    c.pid = fork();
    if (c.pid == 0) {
        close(c.master);
        close(down[1]);
        close(up[0]);
        setsid();
        ioctl(c.slave, TIOCSCTTY, 0);
        dup2(c.slave, STDIN_FILENO);
        // A test child that dies of SIGSEGV or SIGABRT leaves no core file behind.
        rlimit no_core{0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        body(down[0], up[1]);
        _exit(0);
    }
    close(down[0]);
    close(up[1]);
    c.to_child = down[1];
    c.from_child = up[0];
    return c;
}

// Waits at most ten seconds for the child to end (then kills it); its wait status, or -1.
static inline int finish_pty_child(PtyChild* c) {
    int status = -1;
    for (int i = 0; i < 1000; i++) {
        if (waitpid(c->pid, &status, WNOHANG) == c->pid)
            break;
        status = -1;
        usleep(10'000);
    }
    if (status == -1) {
        kill(c->pid, SIGKILL);
        waitpid(c->pid, nullptr, 0);
    }
    close(c->to_child);
    close(c->from_child);
    return status;
}

static inline void close_pty(PtyChild* c) {
    close(c->master);
    close(c->slave);
}

static inline bool same_settings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}
