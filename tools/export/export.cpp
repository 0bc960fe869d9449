// quab-export: the show played offline and encoded to a video file. The music is mixed first,
// with the clock of every video frame taken from it; then the same pass function xdemo runs
// draws each frame on that clock, and ffmpeg encodes the frames together with the sound.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "core/core.h"
#include "music/mixer.h"
#include "music/sample_clock.h"
#include "tools/common/command_line.h"
#include "tools/common/output_file.h"
#include "tools/export/encoder.h"
#include "tools/export/mixdown.h"
#include "tools/show_files/show_files.h"

namespace {

constexpr int EXIT_FAILURE_INTERNAL = 1;
constexpr int EXIT_BAD_INPUT = 2;
constexpr std::uint32_t MAX_SCALE = 8;
constexpr std::uint32_t MAX_FPS = 240;
constexpr double PROGRESS_INTERVAL_S = 0.25;

constexpr const char* USAGE =
    "usage: quab-export [--assets FILE] [--music FILE] [--scale N] [--fps F] [--lossless] OUT\n"
    "Plays the show offline and encodes it with ffmpeg: H.264 video, the 320x240 picture\n"
    "enlarged N times with square pixels, and the music; MP4 with AAC sound when OUT ends in\n"
    ".mp4, Matroska with Opus sound when it ends in .mkv.\n"
    "  --assets FILE  the asset file (default: quab.dat, looked up)\n"
    "  --music FILE   the music module (default: music.xm, looked up)\n"
    "  --scale N      picture size factor, 1 to 8 (default 3: 960x720)\n"
    "  --fps F        frames per second, 1 to 240 (default 50)\n"
    "  --lossless     H.264 in RGB without loss instead of yuv420p: every decoded pixel is\n"
    "                 the show's own (large files; for checking frames)\n";

struct Options {
    const char* assets = nullptr; // null: looked up by name (find_show_file)
    const char* music = nullptr;
    std::uint32_t scale = 3;
    std::uint32_t fps = 50;
    bool lossless = false;
    const char* out = nullptr;
};

// Set by the SIGINT, SIGTERM and SIGHUP handler; the work loops look at it and clean up.
volatile std::sig_atomic_t stop_signal = 0;

void on_stop_signal(int sig) { stop_signal = sig; }

// What a run leaves on disk until it succeeds, and the encoder to stop if it does not.
struct Leftovers {
    std::string partial_output;
    std::string work_dir;
    std::string audio;
    std::string log;
    Encoder* encoder = nullptr;
};
Leftovers leftovers;
bool progress_line_open = false;

void remove_leftovers() {
    if (leftovers.encoder)
        encoder_abort(leftovers.encoder);
    for (const std::string* path : {&leftovers.partial_output, &leftovers.audio, &leftovers.log})
        if (!path->empty())
            unlink(path->c_str());
    if (!leftovers.work_dir.empty())
        rmdir(leftovers.work_dir.c_str());
}

void end_progress_line() {
    if (progress_line_open)
        std::fputc('\n', stderr);
    progress_line_open = false;
}

[[noreturn]] void fail(int status, const std::string& message) {
    end_progress_line();
    remove_leftovers();
    std::fflush(stdout);
    std::fprintf(stderr, "quab-export: %s\n", message.c_str());
    std::exit(status);
}

// Ends the process by the signal that stopped it, once nothing is left behind.
[[noreturn]] void die_of_stop_signal() {
    int sig = stop_signal;
    end_progress_line();
    remove_leftovers();
    std::fflush(stdout);
    std::fprintf(stderr, "quab-export: interrupted; no output written\n");
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    std::_Exit(128 + sig);
}

[[noreturn]] void usage_error(const std::string& problem) {
    usage_failure("quab-export", problem, USAGE);
}

Options parse_options(int argc, char** argv) {
    Options opt;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (is_help_option(a.c_str()))
            print_usage_and_exit(USAGE);
        if (a == "--lossless") {
            opt.lossless = true;
            continue;
        }
        if (a == "--assets" || a == "--music" || a == "--scale" || a == "--fps") {
            if (i + 1 >= argc)
                usage_error(a + " needs a value");
            const char* value = argv[++i];
            if (a == "--assets")
                opt.assets = value;
            else if (a == "--music")
                opt.music = value;
            else if (a == "--scale" && !parse_count(value, 1, MAX_SCALE, &opt.scale))
                usage_error("--scale " + std::string(value) + ": not a whole number from 1 to " +
                            std::to_string(MAX_SCALE));
            else if (a == "--fps" && !parse_count(value, 1, MAX_FPS, &opt.fps))
                usage_error("--fps " + std::string(value) + ": not a whole number from 1 to " +
                            std::to_string(MAX_FPS));
            continue;
        }
        if (a[0] == '-')
            usage_error("unknown option " + a);
        if (opt.out)
            usage_error("more than one output file given");
        opt.out = argv[i];
    }
    if (!opt.out)
        usage_error("no output file given");
    return opt;
}

bool ends_with_nocase(const std::string& s, const char* suffix) {
    std::size_t n = std::strlen(suffix);
    return s.size() > n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

// The encoded file is written under a hidden temporary name beside OUT (or beside the file its
// symlinks lead to) and renamed into place only once ffmpeg has finished it, so OUT is never a
// partial file. Making that name now also proves that OUT takes a new file (not a device, FIFO
// or directory) before any work is done.
OutputFile output;

void reserve_partial_output(const std::string& out) {
    std::string reason;
    if (!output_open(out.c_str(), &output, &reason))
        fail(EXIT_BAD_INPUT, reason);
    // ffmpeg writes the file by name.
    output_close_stream(&output);
    leftovers.partial_output = output.temp;
}

void make_work_dir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/quab-export.XXXXXX";
    if (!mkdtemp(dir.data()))
        fail(EXIT_FAILURE_INTERNAL, "cannot make a temporary directory in " +
                                        dir.substr(0, dir.rfind('/')) + ": " +
                                        std::strerror(errno));
    leftovers.work_dir = dir;
    leftovers.audio = dir + "/sound.pcm";
    leftovers.log = dir + "/ffmpeg.log";
}

// Mixes the whole show's music (loaded by load_show_files) into the work directory and returns
// the clock of every frame.
std::vector<FrameClock> mix_music(const Options& opt) {
    std::string error;
    FILE* audio = std::fopen(leftovers.audio.c_str(), "wbe");
    if (!audio) {
        mixer_close();
        fail(EXIT_FAILURE_INTERNAL, leftovers.audio + ": " + std::strerror(errno));
    }
    std::vector<FrameClock> frames;
    MixEnd end = mixdown_run(audio, opt.fps, &stop_signal, &frames, &error);
    mixer_close();
    if (std::fclose(audio) != 0 && end != MixEnd::WRITE_FAILED) {
        error = std::string("cannot write the mixed sound: ") + std::strerror(errno);
        end = MixEnd::WRITE_FAILED;
    }
    switch (end) {
    case MixEnd::INTERRUPTED:
        die_of_stop_signal();
    case MixEnd::WRITE_FAILED:
        fail(EXIT_FAILURE_INTERNAL, leftovers.audio + ": " + error);
    case MixEnd::SONG_ENDED:
        std::fprintf(stderr,
                     "quab-export: %s: the song ends before song position %d; the video ends "
                     "with it\n",
                     opt.music, LAST_SHOW_POSITION + 1);
        break;
    case MixEnd::TIME_LIMIT:
        std::fprintf(stderr,
                     "quab-export: %s: the song has not passed song position %d after %u "
                     "minutes; the video stops there\n",
                     opt.music, LAST_SHOW_POSITION, MAX_SHOW_SECONDS / 60);
        break;
    case MixEnd::SHOW_ENDED:
        break;
    }
    if (frames.empty())
        fail(EXIT_BAD_INPUT, std::string(opt.music) + ": the song ends before the first frame");
    return frames;
}

double seconds_since(const timespec& start) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - start.tv_sec) +
           static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e9;
}

struct Progress {
    bool enabled;
    timespec start;
    double last_shown_s;
};

std::string minutes_seconds(double s) {
    long whole = s > 0 ? static_cast<long>(s + 0.5) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

// One line, rewritten in place: share of the show done, frames, speed against real time (the
// video's seconds per second of work) and the time that is left at that speed.
void show_progress(Progress* p, std::size_t done, std::size_t total, std::uint32_t fps, bool last) {
    if (!p->enabled)
        return;
    double elapsed_s = seconds_since(p->start);
    if (!last && elapsed_s - p->last_shown_s < PROGRESS_INTERVAL_S)
        return;
    p->last_shown_s = elapsed_s;
    double video_s = static_cast<double>(done) / fps;
    double speed = elapsed_s > 0 ? video_s / elapsed_s : 0;
    double left_s = speed > 0 ? static_cast<double>(total - done) / fps / speed : 0;
    std::fprintf(stderr, "\r%3d%%  frame %zu of %zu  %.2fx real time  %s left ",
                 static_cast<int>(100.0 * static_cast<double>(done) / static_cast<double>(total)),
                 done, total, speed, minutes_seconds(left_s).c_str());
    std::fflush(stderr);
    progress_line_open = true;
}

void install_stop_handlers() {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no SA_RESTART: a blocked write or wait returns to look at the flag
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &sa, nullptr);
    // A vanished ffmpeg shows as a failed write, reported with ffmpeg's own last words.
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char** argv) {
    install_stop_handlers();
    Options opt = parse_options(argc, argv);
    std::string assets_path =
        given_or_found_show_file(opt.assets, "quab.dat", "quab-export", EXIT_FAILURE_INTERNAL);
    std::string music_path =
        given_or_found_show_file(opt.music, "music.xm", "quab-export", EXIT_FAILURE_INTERNAL);
    opt.assets = assets_path.c_str();
    opt.music = music_path.c_str();
    std::string out = opt.out;
    bool matroska = ends_with_nocase(out, ".mkv");
    if (!matroska && !ends_with_nocase(out, ".mp4"))
        fail(EXIT_BAD_INPUT, out + ": the output name must end in .mp4 or .mkv");

    // Both files are checked before anything is written; the loader and the check print their
    // own lines on standard output.
    AssetTable assets = nullptr;
    std::string load_error;
    ShowFilesFault fault = load_show_files(opt.assets, opt.music, &assets, &load_error);
    if (fault != ShowFilesFault::NONE)
        fail(fault == ShowFilesFault::LIBRARY ? EXIT_FAILURE_INTERNAL : EXIT_BAD_INPUT, load_error);
    std::string ffmpeg = find_program("ffmpeg");
    if (ffmpeg.empty())
        fail(EXIT_BAD_INPUT, "ffmpeg not found on PATH (Debian's ffmpeg package provides it)");
    reserve_partial_output(out);
    make_work_dir();

    std::vector<FrameClock> clock_of_frame = mix_music(opt);

    // The state at frame-loop start in xdemo: zeroed buffers and frame, fresh tables, the
    // sequencer at Scene 1 with nothing set up.
    static ShowState show;
    ScriptedClock clock;
    if (!show_start_offline(&show, assets, &clock))
        fail(EXIT_FAILURE_INTERNAL, "out of memory for the show's buffers");
    const Pixel* frame = show.frame;

    EncodeSettings settings{ffmpeg,          leftovers.partial_output,
                            leftovers.audio, leftovers.log,
                            matroska,        opt.lossless,
                            opt.scale,       opt.fps};
    Encoder encoder;
    std::string error;
    if (!encoder_start(settings, &encoder, &error))
        fail(EXIT_BAD_INPUT, error);
    leftovers.encoder = &encoder;

    Progress progress{isatty(STDERR_FILENO) == 1, {}, 0};
    clock_gettime(CLOCK_MONOTONIC, &progress.start);
    std::size_t total = clock_of_frame.size();
    std::size_t shown = 0;
    bool encoder_gone = false;
    for (; shown < total; shown++) {
        const FrameClock& c = clock_of_frame[shown];
        show_pass_at(&show, &clock, c.tick_count, c.sngpos, c.patpos);
        // The sound was cut where the song position passes the show's end, so the pass that
        // ends the show is the first past the last frame; this test only guards the frames.
        if (!clock.running.load(std::memory_order_relaxed))
            break;
        FeedResult fed = encoder_feed(&encoder, frame, FRAME_BYTES, &stop_signal);
        if (fed == FeedResult::INTERRUPTED)
            die_of_stop_signal();
        if (fed == FeedResult::ENCODER_GONE) {
            encoder_gone = true;
            break;
        }
        show_progress(&progress, shown + 1, total, opt.fps, false);
    }
    if (stop_signal)
        die_of_stop_signal();
    FinishResult finished = encoder_finish(&encoder, leftovers.log, &stop_signal, &error);
    if (finished == FinishResult::INTERRUPTED)
        die_of_stop_signal();
    if (finished == FinishResult::FAILED)
        fail(EXIT_BAD_INPUT, error);
    if (encoder_gone)
        fail(EXIT_BAD_INPUT,
             "ffmpeg stopped reading frames" + (last_log_line(leftovers.log).empty()
                                                    ? std::string()
                                                    : ": " + last_log_line(leftovers.log)));
    leftovers.encoder = nullptr;
    show_progress(&progress, shown, total, opt.fps, true);
    end_progress_line();

    std::string reason;
    leftovers.partial_output.clear(); // output_commit removes it on a failure
    if (!output_commit(&output, &reason))
        fail(EXIT_BAD_INPUT, reason);
    remove_leftovers();

    double seconds = static_cast<double>(shown) / opt.fps;
    std::printf("%s: %zu frames at %u fps (%.2f s), %ux%u\n", out.c_str(), shown, opt.fps, seconds,
                FRAME_W * opt.scale, FRAME_H * opt.scale);
    free_asset_table(assets);
    show_free(&show);
    return std::fflush(stdout) == 0 ? 0 : EXIT_FAILURE_INTERNAL;
}
