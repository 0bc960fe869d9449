// Helpers of the console library's tests: the framebuffer stand-in (a regular file of a stated
// geometry, named to the library through its VGA_FBDEV settings), reading it back, standard
// input from a pipe, and standard output captured around a call.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include "tests/support/test_support.h"

struct StandIn {
    std::string path;
    std::uint32_t width_px;
    std::uint32_t height_px;
    std::uint32_t line_bytes;
};

// Creates the stand-in file of line_bytes * height bytes, every byte fill, and points the
// library at it. line_bytes 0 means width * bits / 8.
static inline StandIn make_standin(std::uint32_t width, std::uint32_t height, std::uint32_t bits,
                                   unsigned char fill, std::uint32_t line_bytes = 0,
                                   std::size_t size_bytes = 0) {
    StandIn s;
    s.path = make_temp_dir() + "/fb";
    s.width_px = width;
    s.height_px = height;
    s.line_bytes = line_bytes ? line_bytes : width * bits / 8;
    std::vector<unsigned char> bytes(size_bytes ? size_bytes : std::size_t{s.line_bytes} * height,
                                     fill);
    write_bytes(s.path, bytes);
    std::string geometry =
        std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(bits);
    if (line_bytes)
        geometry += "," + std::to_string(line_bytes);
    setenv("VGA_FBDEV", s.path.c_str(), 1);
    setenv("VGA_FBDEV_TEST_GEOMETRY", geometry.c_str(), 1);
    return s;
}

static inline std::vector<unsigned char> read_standin_bytes(const StandIn& s) {
    std::vector<unsigned char> bytes;
    FILE* f = std::fopen(s.path.c_str(), "rb");
    if (!f)
        return bytes;
    unsigned char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    return bytes;
}

// The 32-bit pixel at (x, y) of a stand-in's contents.
static inline std::uint32_t standin_pixel(const StandIn& s, const std::vector<unsigned char>& b,
                                          std::uint32_t x, std::uint32_t y) {
    std::size_t i = std::size_t{y} * s.line_bytes + std::size_t{x} * 4;
    return std::uint32_t{b[i]} | std::uint32_t{b[i + 1]} << 8 | std::uint32_t{b[i + 2]} << 16 |
           std::uint32_t{b[i + 3]} << 24;
}

// Rereads the stand-in until ready says its contents are what the test waits for, at most
// about ten seconds (scan-out runs on its own thread). Returns the last contents read.
static inline std::vector<unsigned char>
wait_for_standin(const StandIn& s,
                 const std::function<bool(const std::vector<unsigned char>&)>& ready) {
    std::vector<unsigned char> bytes;
    for (int i = 0; i < 1000; i++) {
        bytes = read_standin_bytes(s);
        if (ready(bytes))
            break;
        usleep(10'000);
    }
    return bytes;
}

// Standard input replaced by a fresh pseudo-terminal's slave while the object lives (the
// library reads keys only from a terminal); keys are written to write_fd, the master.
struct PtyStdin {
    int saved_fd = -1;
    int write_fd = -1;
};

static inline PtyStdin pty_stdin() {
    PtyStdin p;
    int master, slave;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return p;
    p.saved_fd = dup(STDIN_FILENO);
    dup2(slave, STDIN_FILENO);
    close(slave);
    p.write_fd = master;
    return p;
}

static inline void restore_stdin(PtyStdin* p) {
    if (p->saved_fd >= 0) {
        dup2(p->saved_fd, STDIN_FILENO);
        close(p->saved_fd);
    }
    if (p->write_fd >= 0)
        close(p->write_fd);
    p->saved_fd = p->write_fd = -1;
}

// What fn printed on standard output.
static inline std::string capture_stdout(const std::function<void()>& fn) {
    std::fflush(stdout);
    std::string path = make_temp_dir() + "/stdout";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    int saved = dup(STDOUT_FILENO);
    dup2(fd, STDOUT_FILENO);
    fn();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::string text;
    char buffer[4096];
    lseek(fd, 0, SEEK_SET);
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    return text;
}
