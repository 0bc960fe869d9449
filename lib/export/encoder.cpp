// The ffmpeg child process: its command line, its start in a process group of its own, the
// frame pipe, and its end (waited for, or stopped on an interrupt), with its last message kept.
#include "lib/export/encoder.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/core.h"
#include "lib/tool_common/shown_path.h"
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

namespace {

// The descriptors ffmpeg starts with: the frame pipe, its log, and the pipe on which a failed
// exec reports its errno (a successful exec closes it). -1 where none is open.
struct ChildFds {
    int frames[2] = {-1, -1};
    int log = -1;
    int report[2] = {-1, -1};
};

void close_fds(std::initializer_list<int*> fds) {
    for (int* fd : fds) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

bool open_child_fds(const EncodeSettings& settings, ChildFds* fds, std::string* error) {
    if (pipe2(fds->frames, O_CLOEXEC) != 0) {
        *error = std::string("cannot make a pipe for ffmpeg: ") + std::strerror(errno);
        return false;
    }
    fds->log = open(settings.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fds->log < 0) {
        *error = shown_path(settings.log) + ": " + std::strerror(errno);
        close_fds({&fds->frames[0], &fds->frames[1]});
        return false;
    }
    if (pipe2(fds->report, O_CLOEXEC) != 0) {
        *error = std::string("cannot make a pipe for ffmpeg: ") + std::strerror(errno);
        close_fds({&fds->log, &fds->frames[0], &fds->frames[1]});
        return false;
    }
    return true;
}

// Tells the parent why the child could not become ffmpeg, and ends the child.
[[noreturn]] void report_and_exit(int report_fd, int err) {
    ssize_t ignored = write(report_fd, &err, sizeof err);
    (void)ignored;
    _exit(127);
}

// fd as the child's descriptor `target`, open across the exec. A descriptor already in place
// (the pipe lands on 0 when the export started with standard input closed) is not copied:
// dup2 onto itself would leave its close-on-exec flag set, and ffmpeg would start without it.
bool put_at(int fd, int target) {
    if (fd != target)
        return dup2(fd, target) >= 0;
    int flags = fcntl(fd, F_GETFD);
    return flags >= 0 && fcntl(fd, F_SETFD, flags & ~FD_CLOEXEC) == 0;
}

// The child between fork and exec: only calls that are safe there.
[[noreturn]] void become_ffmpeg(pid_t parent, const ChildFds& fds, char** argv) {
    // ffmpeg dies with the export, however the export ends (SIGKILL included), so that no
    // hidden partial video goes on being written. The parent may already be gone by the time
    // the request is made.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent)
        _exit(127);
    // A process group of its own: a Ctrl+C at the terminal reaches the export only, which then
    // stops ffmpeg itself.
    setpgid(0, 0);
    // The signal dispositions and mask of a fresh program: the export ignores SIGPIPE and
    // catches SIGINT and SIGTERM, and ignored signals would survive the exec.
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP})
        signal(sig, SIG_DFL);
    sigset_t empty;
    sigemptyset(&empty);
    sigprocmask(SIG_SETMASK, &empty, nullptr);
    int null_fd = open("/dev/null", O_WRONLY);
    if (!put_at(fds.frames[0], 0) || null_fd < 0 || !put_at(null_fd, 1) || !put_at(fds.log, 2))
        report_and_exit(fds.report[1], errno);
    execve(argv[0], argv, environ);
    report_and_exit(fds.report[1], errno);
}

// The child's errno when it could not become ffmpeg, 0 once the exec has closed the pipe.
int exec_failure(int report_fd) {
    int child_errno = 0;
    ssize_t got;
    while ((got = read(report_fd, &child_errno, sizeof child_errno)) < 0 && errno == EINTR) {
    }
    return got > 0 ? child_errno : 0;
}

} // namespace

bool encoder_start(const EncodeSettings& settings, Encoder* encoder, std::string* error) {
    ChildFds fds;
    if (!open_child_fds(settings, &fds, error))
        return false;
    // Everything the child needs is made before the fork.
    std::vector<std::string> args = ffmpeg_arguments(settings);
    std::vector<char*> argv;
    std::string program = settings.ffmpeg;
    argv.push_back(program.data());
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0)
        become_ffmpeg(parent, fds, argv.data());
    int fork_errno = errno;
    close_fds({&fds.frames[0], &fds.log, &fds.report[1]});
    int child_errno = pid < 0 ? fork_errno : exec_failure(fds.report[0]);
    close_fds({&fds.report[0]});
    if (child_errno) {
        close_fds({&fds.frames[1]});
        int wstatus;
        while (pid > 0 && waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
        }
        *error = "cannot start " + shown_path(settings.ffmpeg) + ": " + std::strerror(child_errno);
        return false;
    }
    encoder->pid = pid;
    encoder->video_fd = fds.frames[1];
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
