// The ffmpeg child process: its command line, its start in a process group of its own, the
// frame pipe, and its end (waited for, or stopped on an interrupt), with its last message kept.
#include "tools/export/encoder.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/core.h"
#include "music/sample_clock.h"

extern char** environ;

namespace {

// The frame and the samples as they lie in memory: Pixel words and 16-bit samples in host
// byte order. On a little-endian host a Pixel's bytes are blue, green, red, key.
constexpr bool LITTLE_ENDIAN_HOST = std::endian::native == std::endian::little;
constexpr const char* FRAME_FORMAT = LITTLE_ENDIAN_HOST ? "bgr0" : "0rgb";
constexpr const char* SAMPLE_FORMAT = LITTLE_ENDIAN_HOST ? "s16le" : "s16be";

std::string describe_wait_status(int wstatus) {
    if (WIFEXITED(wstatus))
        return "exit status " + std::to_string(WEXITSTATUS(wstatus));
    if (WIFSIGNALED(wstatus))
        return std::string("killed by signal ") + strsignal(WTERMSIG(wstatus));
    return "stopped";
}

} // namespace

std::string find_program(const char* name) {
    const char* path = std::getenv("PATH");
    if (!path)
        path = "/usr/local/bin:/usr/bin:/bin";
    std::string dirs = path;
    std::size_t begin = 0;
    while (begin <= dirs.size()) {
        std::size_t end = dirs.find(':', begin);
        if (end == std::string::npos)
            end = dirs.size();
        // An empty entry means the current directory.
        std::string dir = end > begin ? dirs.substr(begin, end - begin) : ".";
        std::string candidate = dir + "/" + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        begin = end + 1;
    }
    return "";
}

std::vector<std::string> ffmpeg_arguments(const EncodeSettings& settings) {
    std::vector<std::string> args;
    auto add = [&args](std::initializer_list<std::string> more) { args.insert(args.end(), more); };
    // Standard input is the frame pipe, not a console to take commands from.
    add({"-nostdin", "-hide_banner", "-loglevel", "error", "-y"});
    add({"-f", "rawvideo", "-pixel_format", FRAME_FORMAT, "-video_size",
         std::to_string(FRAME_W) + "x" + std::to_string(FRAME_H), "-framerate",
         std::to_string(settings.fps), "-i", "pipe:0"});
    add({"-f", SAMPLE_FORMAT, "-ar", std::to_string(MIX_RATE_HZ), "-ac", "2", "-i",
         settings.audio});
    add({"-map", "0:v:0", "-map", "1:a:0"});

    std::string scale = "scale=" + std::to_string(FRAME_W * settings.scale) + ":" +
                        std::to_string(FRAME_H * settings.scale) + ":flags=neighbor";
    if (settings.lossless) {
        // RGB straight through: every decoded pixel is the show's own, key byte aside.
        add({"-vf", scale + ",format=bgr0", "-c:v", "libx264rgb", "-qp", "0"});
    } else {
        // The conversion is tagged, so that players do not guess the matrix from the size.
        // "veryfast": on noisy textures at 960x720 "medium" took about 2.6 CPU seconds per
        // second of video and "veryfast" about 1, for files of about the same size.
        add({"-vf", scale + ":out_color_matrix=bt709:out_range=tv,format=yuv420p", "-c:v",
             "libx264", "-preset", "veryfast", "-crf", "18"});
        add({"-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709",
             "-color_range", "tv"});
    }
    if (settings.matroska) {
        // Opus runs at 48 kHz; ffmpeg resamples.
        add({"-c:a", "libopus", "-b:a", "160k", "-f", "matroska"});
    } else {
        add({"-c:a", "aac", "-b:a", "192k", "-movflags", "+faststart", "-f", "mp4"});
    }
    args.push_back(settings.output);
    return args;
}

bool encoder_start(const EncodeSettings& settings, Encoder* encoder, std::string* error) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *error = std::string("cannot make a pipe for ffmpeg: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, settings.log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // ffmpeg gets the signal dispositions and mask of a fresh program: the export ignores
    // SIGPIPE and catches SIGINT and SIGTERM, and ignored signals would survive the exec.
    sigset_t defaults, empty;
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP})
        sigaddset(&defaults, sig);
    sigemptyset(&empty);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &empty);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                        POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> args = ffmpeg_arguments(settings);
    std::vector<char*> argv;
    std::string program = settings.ffmpeg;
    argv.push_back(program.data());
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    int rc = posix_spawn(&pid, settings.ffmpeg.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(fds[0]);
    if (rc != 0) {
        close(fds[1]);
        *error = "cannot start " + settings.ffmpeg + ": " + std::strerror(rc);
        return false;
    }
    encoder->pid = pid;
    encoder->video_fd = fds[1];
    return true;
}

FeedResult encoder_feed(Encoder* encoder, const void* bytes, std::size_t count,
                        const volatile std::sig_atomic_t* stop) {
    const char* p = static_cast<const char*>(bytes);
    while (count > 0) {
        if (*stop)
            return FeedResult::INTERRUPTED;
        ssize_t n = write(encoder->video_fd, p, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return FeedResult::ENCODER_GONE; // EPIPE: ffmpeg has closed its end
        }
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return FeedResult::WRITTEN;
}

FinishResult encoder_finish(Encoder* encoder, const std::string& log,
                            const volatile std::sig_atomic_t* stop, std::string* error) {
    close(encoder->video_fd);
    encoder->video_fd = -1;
    int wstatus = 0;
    while (waitpid(encoder->pid, &wstatus, 0) < 0) {
        if (errno != EINTR) {
            *error = std::string("cannot wait for ffmpeg: ") + std::strerror(errno);
            return FinishResult::FAILED;
        }
        if (*stop)
            return FinishResult::INTERRUPTED; // ffmpeg still runs: the caller stops it
    }
    encoder->pid = -1;
    if (WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0)
        return FinishResult::SUCCEEDED;
    std::string line = last_log_line(log);
    *error = "ffmpeg failed (" + describe_wait_status(wstatus) + ")" +
             (line.empty() ? std::string(", with no message") : ": " + line);
    return FinishResult::FAILED;
}

void encoder_abort(Encoder* encoder) {
    if (encoder->video_fd >= 0) {
        close(encoder->video_fd);
        encoder->video_fd = -1;
    }
    if (encoder->pid <= 0)
        return;
    // SIGKILL rather than SIGTERM: on SIGTERM ffmpeg first drains its encoder and finishes a
    // file that is about to be removed anyway, which takes seconds on a long show.
    kill(encoder->pid, SIGKILL);
    int wstatus;
    while (waitpid(encoder->pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    encoder->pid = -1;
}

std::string last_log_line(const std::string& log) {
    std::ifstream f(log, std::ios::binary);
    std::string line, last;
    while (std::getline(f, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!line.empty())
            last = line;
    }
    return last;
}
