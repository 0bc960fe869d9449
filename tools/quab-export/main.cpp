// quab-export: the show played offline and encoded to a video file, or made a web page. The music
// is mixed first, with the clock of every video frame taken from it; then the same pass function
// xdemo runs draws each frame on that clock, and ffmpeg encodes the frames together with the
// sound. A web page gets the mix, its clock of every tick and the pass as WebAssembly instead.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "core/core.h"
#include "core/timeline.h"
#include "lib/base/clock.h"
#include "lib/base/descriptors.h"
#include "lib/export/encoder.h"
#include "lib/export/html.h"
#include "lib/export/progress.h"
#include "lib/show_files/show_files.h"
#include "lib/show_plan/fit.h"
#include "lib/tool_common/command_line.h"
#include "lib/tool_common/output_file.h"
#include "lib/tool_common/shown_path.h"
#include "lib/tool_common/streams.h"
#include "music/collector.h"
#include "music/mixdown.h"
#include "music/sample_clock.h"

namespace {

constexpr const char* PROGRAM = "quab-export";
constexpr std::uint32_t MAX_SCALE = 8;
constexpr std::uint32_t MAX_FPS = 240;

constexpr ToolText TOOL = {
    PROGRAM,
    "Plays the show offline and encodes it with its music to a video file or a web page.",
    SHOW_INPUTS_USAGE " [--scale N] [--fps F] [--lossless] [--fit | --no-fit] OUT",
    SHOW_INPUTS_HELP
    "  --scale N         picture size factor, 1 to 8 (default 3: 960x720)\n"
    "  --fps F           frames per second, 1 to 240 (default 50)\n"
    "  --lossless        H.264 in RGB without loss instead of yuv420p: every decoded pixel is\n"
    "                    the show's own (large files; for checking frames)\n"
    "  --fit             fit the show to the song even where the song meets its needs\n"
    "  --no-fit          never fit: the scenes follow the song's own positions\n",
    "ffmpeg encodes H.264 video, the 320x240 picture enlarged N times with square pixels, and\n"
    "the music: MP4 with AAC sound when OUT ends in .mp4, Matroska with Opus when in .mkv.\n"
    "When OUT ends in .html, one web page that plays the show in a browser (--scale, --fps\n"
    "and --lossless do not apply).\n"
    "A song that does not meet the show's needs (see quab-check) has the show fitted to it:\n"
    "every scene gets its share of the song's first pass, and the video lasts that pass.\n"
    "Exit status: 0 written, 1 a failure of this machine (memory, a temporary folder), 2 a bad\n"
    "command line, a show file not found, an input that cannot be used or an output ffmpeg\n"
    "could not write.\n",
};

struct Options {
    ShowInputs inputs;
    std::uint32_t scale = 3;
    std::uint32_t fps = 50;
    bool lossless = false;
    FitChoice fit = FitChoice::AUTO;
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
    std::string sound; // the web page's encoded sound
    Encoder* encoder = nullptr;
};
Leftovers leftovers;
Progress progress{};

void remove_leftovers() {
    if (leftovers.encoder)
        encoder_abort(leftovers.encoder);
    for (const std::string* path :
         {&leftovers.partial_output, &leftovers.audio, &leftovers.log, &leftovers.sound})
        if (!path->empty())
            unlink(path->c_str());
    if (!leftovers.work_dir.empty())
        rmdir(leftovers.work_dir.c_str());
}

void end_progress_line() { progress_end(&progress); }

[[noreturn]] void fail(int status, const std::string& message) {
    end_progress_line();
    remove_leftovers();
    fatal(PROGRAM, status, message);
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

Options parse_options(int argc, char** argv) {
    Options opt;
    bool fit = false, no_fit = false;
    std::vector<const char*> operands = parse_command_line(
        TOOL, argc, argv,
        {assets_option(&opt.inputs), music_option(&opt.inputs),
         count_option("--scale", 1, MAX_SCALE, &opt.scale),
         count_option("--fps", 1, MAX_FPS, &opt.fps), flag_option("--lossless", &opt.lossless),
         flag_option("--fit", &fit), flag_option("--no-fit", &no_fit)});
    std::string problem;
    if (!settle_fit_choice(fit, no_fit, &opt.fit, &problem))
        usage_error(PROGRAM, problem);
    if (operands.empty())
        usage_error(PROGRAM, "no output file given");
    if (operands.size() > 1)
        usage_error(PROGRAM, "more than one output file given");
    opt.out = operands[0];
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
    if (Result r = output_open(out.c_str(), &output); !r.ok)
        fail(EXIT_BAD_INPUT, r.reason);
    // ffmpeg writes the file by name.
    output_close_stream(&output);
    leftovers.partial_output = output.temp;
}

void make_work_dir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/quab-export.XXXXXX";
    if (!mkdtemp(dir.data()))
        fail(EXIT_FAILED, "cannot make a temporary directory in " + dir.substr(0, dir.rfind('/')) +
                              ": " + std::strerror(errno));
    leftovers.work_dir = dir;
    leftovers.audio = dir + "/sound.pcm";
    leftovers.log = dir + "/ffmpeg.log";
    leftovers.sound = dir + "/sound.ogg";
}

// Mixes the whole show's music (loaded by load_show_files) into the work directory and returns
// the clock of every frame; on a fitted show (fit non-null) the song's whole first pass, each
// frame reading the fitted clock. `what` names the output in messages: "video" or "web page".
std::vector<FrameClock> mix_music(const Options& opt, std::uint32_t fps, const char* what,
                                  const FittedClock* fit) {
    std::string error;
    FILE* audio = std::fopen(leftovers.audio.c_str(), "wbe");
    if (!audio) {
        collector_close();
        fail(EXIT_FAILED, shown_path(leftovers.audio) + ": " + std::strerror(errno));
    }
    std::vector<FrameClock> frames;
    MixEnd end = fit ? mixdown_song(audio, fps, FIT_LIMIT_S, &stop_signal, &frames, &error)
                     : mixdown_run(audio, fps, LAST_SHOW_POSITION, &stop_signal, &frames, &error);
    collector_close();
    if (std::fclose(audio) != 0 && end != MixEnd::WRITE_FAILED) {
        error = std::string("cannot write the mixed sound: ") + std::strerror(errno);
        end = MixEnd::WRITE_FAILED;
    }
    switch (end) {
    case MixEnd::INTERRUPTED:
        die_of_stop_signal();
    case MixEnd::WRITE_FAILED:
        fail(EXIT_FAILED, shown_path(leftovers.audio) + ": " + error);
    case MixEnd::SONG_ENDED:
        if (fit)
            break;
        std::fprintf(stderr,
                     "quab-export: %s: the song ends before song position %d; the %s ends "
                     "with it\n",
                     shown_path(opt.inputs.music).c_str(), LAST_SHOW_POSITION + 1, what);
        break;
    case MixEnd::LOOPED:
        std::fprintf(stderr,
                     "quab-export: %s: the song loops back after %.2f s; the fitted show and the "
                     "%s end there\n",
                     shown_path(opt.inputs.music).c_str(), static_cast<double>(frames.size()) / fps,
                     what);
        break;
    case MixEnd::TIME_LIMIT:
        if (fit) {
            std::fprintf(stderr,
                         "quab-export: %s: the song still plays after %u minutes; the fitted "
                         "show and the %s end there\n",
                         shown_path(opt.inputs.music).c_str(), FIT_LIMIT_S / 60, what);
            break;
        }
        std::fprintf(stderr,
                     "quab-export: %s: the song has not passed song position %d after %u "
                     "minutes; the %s stops there\n",
                     shown_path(opt.inputs.music).c_str(), LAST_SHOW_POSITION,
                     MAX_SHOW_SECONDS / 60, what);
        break;
    case MixEnd::SHOW_ENDED:
        break;
    }
    if (frames.empty())
        fail(EXIT_BAD_INPUT,
             shown_path(opt.inputs.music) + ": the song ends before the first frame");
    if (fit)
        for (FrameClock& c : frames) {
            TickClock shown = fitted_at(*fit, c.tick_count);
            c.sngpos = shown.sngpos;
            c.patpos = shown.patpos;
        }
    return frames;
}

// The show's name for a page's start screen: the module's song name, or the demo's own.
std::string show_name() {
    const char* song = collector_module()->songname;
    std::string name = song ? song : "";
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name.empty() ? "QUAB" : name;
}

// The web page for the mix of clock_of_tick, written to OUT's temporary and committed.
int export_page(const Options& opt, const std::string& ffmpeg, const std::string& name,
                const WebParts& web, const std::vector<FrameClock>& clock_of_tick) {
    PageSettings settings{
        ffmpeg, opt.inputs.assets, leftovers.audio, leftovers.sound, leftovers.log, output.temp,
        name};
    std::string error;
    progress_start(&progress);
    PageResult written =
        html_write_page(settings, web, clock_of_tick, &stop_signal, &progress, &error);
    end_progress_line();
    if (written == PageResult::INTERRUPTED)
        die_of_stop_signal();
    if (written == PageResult::FAILED)
        fail(EXIT_BAD_INPUT, error);
    leftovers.partial_output.clear(); // output_commit removes it on a failure
    if (Result r = output_commit(&output); !r.ok)
        fail(EXIT_BAD_INPUT, r.reason);
    remove_leftovers();
    struct stat st;
    double mb = stat(opt.out, &st) == 0 ? static_cast<double>(st.st_size) / 1e6 : 0;
    double seconds = static_cast<double>(clock_of_tick.size()) * SAMPLES_PER_TICK / MIX_RATE_HZ;
    std::printf("%s: web page, %zu ticks (%.2f s), %.1f MB\n", opt.out, clock_of_tick.size(),
                seconds, mb);
    // Past about 20 MB a browser takes seconds only to read the page before anything plays,
    // and holds it all in memory; the sound is most of it, so a shorter song makes it smaller.
    if (mb > 20)
        std::fprintf(
            stderr,
            "%s: warning: %s is %.1f MB: browsers are slow to open pages past 20 MB "
            "(the sound of a %.0f s song is most of it; a shorter song makes it smaller)\n",
            PROGRAM, opt.out, mb, seconds);
    return standard_output_ok(PROGRAM) ? EXIT_OK : EXIT_FAILED;
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
    keep_standard_descriptors_open();
    install_stop_handlers();
    Options opt = parse_options(argc, argv);
    std::string show_paths[2];
    settle_show_inputs(&opt.inputs, PROGRAM, show_paths);
    std::string out = opt.out;
    bool matroska = ends_with_nocase(out, ".mkv");
    bool html = ends_with_nocase(out, ".html");
    if (!matroska && !html && !ends_with_nocase(out, ".mp4"))
        fail(EXIT_BAD_INPUT, shown_path(out) + ": the output name must end in .mp4, .mkv or .html");
    WebParts web;
    std::string web_error;
    if (html && !web_parts_find(&web, &web_error))
        fail(EXIT_FAILED, out + ": " + web_error);

    // Both files are checked before anything is written; the loader and the check print their
    // own lines on standard output.
    AssetTable assets = nullptr;
    std::string load_error;
    ShowFilesFault fault =
        load_show_files(opt.inputs.assets, opt.inputs.music, &assets, &load_error);
    if (fault != ShowFilesFault::NONE)
        fail(fault == ShowFilesFault::LIBRARY ? EXIT_FAILED : EXIT_BAD_INPUT, load_error);
    std::string ffmpeg = find_program("ffmpeg");
    if (ffmpeg.empty())
        fail(EXIT_BAD_INPUT, "ffmpeg not found on PATH (Debian's ffmpeg package provides it)");
    reserve_partial_output(out);
    make_work_dir();

    // Whether the show is fitted to the song is settled on silent mixes before the one kept.
    FittedClock fit;
    bool fitted = false;
    std::int32_t show_ticks;
    if (Result r = fit_loaded_module(opt.inputs.music, opt.fit, &fitted, &fit, &show_ticks);
        !r.ok) {
        collector_close();
        fail(EXIT_FAILED, shown_path(opt.inputs.music) + ": " + r.reason);
    }
    if (fitted && opt.fit == FitChoice::AUTO)
        std::fprintf(stderr,
                     "quab-export: %s: the song does not meet the show's needs, so the show is "
                     "fitted to it (--no-fit keeps the song's own positions)\n",
                     shown_path(opt.inputs.music).c_str());

    // A page takes the mix's clock at every tick: one frame a tick.
    std::string name = show_name();
    std::vector<FrameClock> clock_of_frame =
        mix_music(opt, html ? MIX_RATE_HZ / SAMPLES_PER_TICK : opt.fps, html ? "web page" : "video",
                  fitted ? &fit : nullptr);
    if (html) {
        int status = export_page(opt, ffmpeg, name, web, clock_of_frame);
        free_asset_table(assets);
        return status;
    }

    // The state at frame-loop start in xdemo: zeroed buffers and frame, fresh tables, the
    // sequencer at Scene 1 with nothing set up.
    static ShowState show;
    ScriptedClock clock;
    if (!show_start_offline(&show, assets, &clock))
        fail(EXIT_FAILED, "out of memory for the show's buffers");
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

    progress_start(&progress);
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
        progress_show(&progress, static_cast<double>(shown + 1) / opt.fps,
                      static_cast<double>(total) / opt.fps, false);
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
    progress_show(&progress, static_cast<double>(shown) / opt.fps,
                  static_cast<double>(total) / opt.fps, true);
    end_progress_line();

    leftovers.partial_output.clear(); // output_commit removes it on a failure
    if (Result r = output_commit(&output); !r.ok)
        fail(EXIT_BAD_INPUT, r.reason);
    remove_leftovers();

    double seconds = static_cast<double>(shown) / opt.fps;
    std::printf("%s: %zu frames at %u fps (%.2f s), %ux%u\n", out.c_str(), shown, opt.fps, seconds,
                FRAME_W * opt.scale, FRAME_H * opt.scale);
    free_asset_table(assets);
    show_free(&show);
    return standard_output_ok(PROGRAM) ? EXIT_OK : EXIT_FAILED;
}
