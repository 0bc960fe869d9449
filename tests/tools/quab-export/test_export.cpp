// quab-export run as a child process over modules from quab-testmod and generated asset files:
// stream lengths against the song time worked out from the module's speed and tempo, lossless
// frames against quab-render's on the same clock, scene changes against the clicks heard in the
// decoded sound, refused input, and interruption.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

// Per test: a folder for inputs, one for outputs (compared before and after), one given to the
// exporter as TMPDIR, and one for this test's own scratch files.
class Export : public ::testing::Test {
  protected:
    void SetUp() override {
        root = make_temp_dir();
        inputs = root + "/in";
        outputs = root + "/out";
        tmpdir = root + "/tmp";
        scratch = root + "/scratch";
        for (const std::string& d : {inputs, outputs, tmpdir, scratch})
            fs::create_directory(d);
    }
    void TearDown() override {
        if (!HasFailure())
            fs::remove_all(root);
    }

    std::string module(const std::string& name, const std::vector<std::string>& args) {
        std::string path = inputs + "/" + name;
        Child c = child_of({QUAB_TESTMOD_PATH, path});
        c.argv.insert(c.argv.end(), args.begin(), args.end());
        RunResult r = run_child(c, scratch);
        EXPECT_EQ(r.status, 0) << r.err;
        return path;
    }

    std::string test_assets() {
        std::string path = inputs + "/test.dat";
        RunResult r = run_child(child_of({QUAB_TESTASSETS_PATH, path}), scratch);
        EXPECT_EQ(r.status, 0) << r.err;
        return path;
    }

    RunResult export_show(const std::vector<std::string>& args, const Child& base = {}) {
        Child c = base;
        c.argv = {QUAB_EXPORT_PATH};
        c.argv.insert(c.argv.end(), args.begin(), args.end());
        c.env["TMPDIR"] = tmpdir;
        return run_child(c, scratch);
    }

    // The output folder holds exactly these names, and the exporter's TMPDIR nothing; neither
    // folder is gone.
    void expect_left_behind(const std::set<std::string>& names) {
        EXPECT_TRUE(fs::is_directory(outputs) && fs::is_directory(tmpdir));
        EXPECT_EQ(names_in(outputs), names);
        EXPECT_TRUE(names_in(tmpdir).empty());
    }

    std::string root, inputs, outputs, tmpdir, scratch;
};

// Runs a program to completion and returns what it wrote on standard output.
std::string output_of(const std::vector<std::string>& argv, const std::string& scratch) {
    RunResult r = run_child(child_of(argv), scratch);
    EXPECT_EQ(r.status, 0) << argv[0] << ": " << r.err;
    return r.out;
}

struct Stream {
    std::string codec_type, codec_name, pix_fmt;
    int width = 0, height = 0;
    double duration_s = -1;
};

// "00:00:03.600000000", as Matroska gives stream durations.
double parse_clock_text(const std::string& text) {
    int h = 0, m = 0;
    double s = 0;
    return std::sscanf(text.c_str(), "%d:%d:%lf", &h, &m, &s) == 3 ? h * 3600.0 + m * 60.0 + s : -1;
}

std::vector<Stream> probe(const std::string& file, const std::string& scratch) {
    std::string text = output_of(
        {"/usr/bin/ffprobe", "-v", "error", "-show_entries",
         "stream=codec_type,codec_name,pix_fmt,width,height,duration:stream_tags=DURATION", "-of",
         "default=noprint_wrappers=0", file},
        scratch);
    std::vector<Stream> streams;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line == "[STREAM]") {
            streams.emplace_back();
            continue;
        }
        std::size_t eq = line.find('=');
        if (streams.empty() || eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        Stream& s = streams.back();
        if (key == "codec_type")
            s.codec_type = value;
        else if (key == "codec_name")
            s.codec_name = value;
        else if (key == "pix_fmt")
            s.pix_fmt = value;
        else if (key == "width")
            s.width = std::atoi(value.c_str());
        else if (key == "height")
            s.height = std::atoi(value.c_str());
        else if (key == "duration" && value != "N/A")
            s.duration_s = std::atof(value.c_str());
        else if (key == "TAG:DURATION")
            s.duration_s = parse_clock_text(value);
    }
    return streams;
}

// The song time of the show: 30 song positions (0 to 29) of rows_per_position rows, or all
// positions of a shorter song; a row lasts speed * 2.5 / bpm seconds.
double song_time_s(int positions_played, int rows_per_position, int speed, int bpm) {
    return positions_played * rows_per_position * speed * 2.5 / bpm;
}

struct DurationCase {
    const char* name;
    int positions, rows, speed, bpm;
    int fps;
    const char* scale; // nullptr: the default, 3
    const char* out;
    const char* audio_codec;
    int width, height;
};

class ExportDurations : public Export, public ::testing::WithParamInterface<DurationCase> {};

TEST_P(ExportDurations, StreamsLastTheSongTimeOfTheShow) {
    const DurationCase& c = GetParam();
    std::string music = module(
        "song.xm", {"--positions", std::to_string(c.positions), "--rows", std::to_string(c.rows),
                    "--speed", std::to_string(c.speed), "--bpm", std::to_string(c.bpm)});
    std::string out = outputs + "/" + c.out;
    // On the song's own positions: these songs are short of the show's needs.
    std::vector<std::string> args = {"--assets", test_assets(),         "--music", music,
                                     "--fps",    std::to_string(c.fps), "--no-fit"};
    if (c.scale)
        args.insert(args.end(), {"--scale", c.scale});
    args.push_back(out);
    RunResult r = export_show(args);
    ASSERT_EQ(r.status, 0) << r.err;
    expect_left_behind({c.out});

    double expected_s = song_time_s(std::min(c.positions, 30), c.rows, c.speed, c.bpm);
    double frame_s = 1.0 / c.fps;
    std::vector<Stream> streams = probe(out, scratch);
    ASSERT_EQ(streams.size(), 2u);
    const Stream& video = streams[0].codec_type == "video" ? streams[0] : streams[1];
    const Stream& audio = streams[0].codec_type == "video" ? streams[1] : streams[0];
    EXPECT_EQ(video.codec_type, "video");
    EXPECT_EQ(video.codec_name, "h264");
    EXPECT_EQ(video.pix_fmt, "yuv420p");
    EXPECT_EQ(video.width, c.width);
    EXPECT_EQ(video.height, c.height);
    EXPECT_EQ(audio.codec_type, "audio");
    EXPECT_EQ(audio.codec_name, c.audio_codec);
    EXPECT_NEAR(video.duration_s, expected_s, frame_s);
    EXPECT_NEAR(audio.duration_s, expected_s, frame_s);
    if (c.positions < 30) {
        EXPECT_NE(r.err.find("the song ends before song position 30"), std::string::npos) << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Songs, ExportDurations,
    ::testing::Values(
        // 30 positions of 1 row of 3 ticks at 125 BPM: 30 * 3 * 0.02 s = 1.8 s.
        DurationCase{"mp4_at_the_default_scale", 32, 1, 3, 125, 50, nullptr, "show.mp4", "aac", 960,
                     720},
        // 30 positions of 2 rows of 3 ticks at 125 BPM: 30 * 2 * 3 * 0.02 s = 3.6 s.
        DurationCase{"mkv_with_opus", 32, 2, 3, 125, 50, "1", "show.mkv", "opus", 320, 240},
        // 90 rows of 5/140 s: 3.2143 s, off the 25 fps grid.
        DurationCase{"tempo_off_the_frame_grid", 32, 3, 2, 140, 25, "1", "show.MP4", "aac", 320,
                     240},
        // The song ends after 12 positions: 1.44 s, and the video with it.
        DurationCase{"song_shorter_than_the_show", 12, 2, 3, 125, 50, "2", "show.mp4", "aac", 640,
                     480}),
    [](const ::testing::TestParamInfo<DurationCase>& info) { return info.param.name; });

std::vector<std::uint32_t> words_of(const std::string& bytes) {
    std::vector<std::uint32_t> words(bytes.size() / 4);
    for (std::size_t i = 0; i < words.size(); i++)
        for (int b = 0; b < 4; b++)
            words[i] |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i * 4 + b]))
                        << (8 * b);
    return words;
}

// Module: 32 positions of 2 rows of 1 tick at 125 BPM, so a tick is 882 samples, one video
// frame at 50 fps. Frame k stands at sample 882k, where tick k starts: tick_count is k and the
// row playing is tick k's, row k, in position k / 2 at row k % 2. Position 30 starts at tick
// 60, so the pass of frame 60 ends the show and the video holds frames 0 to 59.
TEST_F(Export, LosslessFramesAreTheRenderersOnTheSameClock) {
    constexpr int SPEED = 1, ROWS = 2, FRAMES = 60, SCALE = 2;
    std::string music = module("song.xm", {"--positions", "32", "--rows", std::to_string(ROWS),
                                           "--speed", std::to_string(SPEED), "--bpm", "125"});
    std::string assets = test_assets();
    std::string out = outputs + "/lossless.mp4";
    RunResult r = export_show({"--assets", assets, "--music", music, "--scale",
                               std::to_string(SCALE), "--lossless", "--no-fit", out});
    ASSERT_EQ(r.status, 0) << r.err;

    std::string timeline = scratch + "/timeline.txt";
    {
        std::ofstream t(timeline);
        for (int k = 0; k <= FRAMES; k++) {
            int row = k / SPEED;
            t << k << " " << row / ROWS << " " << row % ROWS << "\n";
        }
    }
    std::string frames_dir = scratch + "/frames";
    std::string passes = output_of({QUAB_RENDER_PATH, assets, timeline, frames_dir}, scratch);
    // The renderer agrees that the pass at frame 120 is the one that ends the show.
    EXPECT_NE(passes.find("pass 60 scene_index 8"), std::string::npos) << passes;
    EXPECT_NE(passes.find("pass 59 scene_index 7"), std::string::npos) << passes;

    // Both sides of every scene change, the first and the last frame.
    const std::vector<int> picked = {0,  1,  13, 14, 19, 20, 23, 24, 27,
                                     28, 35, 36, 41, 42, 43, 44, 59};
    std::string select = "select='";
    for (std::size_t i = 0; i < picked.size(); i++)
        select += (i ? "+eq(n\\," : "eq(n\\,") + std::to_string(picked[i]) + ")";
    select += "'";
    std::string decoded = scratch + "/decoded.raw";
    output_of({"/usr/bin/ffmpeg", "-v", "error", "-i", out, "-vf", select, "-fps_mode",
               "passthrough", "-f", "rawvideo", "-pix_fmt", "bgr0", "-y", decoded},
              scratch);
    std::vector<std::uint32_t> video = words_of(slurp(decoded));
    constexpr std::size_t W = FRAME_W * SCALE, H = FRAME_H * SCALE;
    ASSERT_EQ(video.size(), picked.size() * W * H);

    std::string count =
        output_of({"/usr/bin/ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                   "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", out},
                  scratch);
    EXPECT_EQ(std::atoi(count.c_str()), FRAMES);

    for (std::size_t i = 0; i < picked.size(); i++) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame_%05d.raw", picked[i]);
        std::vector<std::uint32_t> rendered = words_of(slurp(frames_dir + name));
        ASSERT_EQ(rendered.size(), static_cast<std::size_t>(FRAME_PIXELS));
        const std::uint32_t* frame = video.data() + i * W * H;
        std::size_t wrong = 0;
        for (std::size_t y = 0; y < H; y++)
            for (std::size_t x = 0; x < W; x++)
                wrong += (frame[y * W + x] & 0xFFFFFF) !=
                         (rendered[(y / SCALE) * FRAME_W + x / SCALE] & 0xFFFFFF);
        EXPECT_EQ(wrong, 0u) << "frame " << picked[i];
    }
}

// Asset file whose scenes look nothing alike: each asset one flat colour with a full key byte,
// red above 0xAA so that every keyed copy draws it. Assets that take turns within a scene
// (Scene 1's masks, Scene 2's, 4's and 7's overlays and pictures) share a colour, so that
// within a scene only fades move.
AssetRecords sharp_scene_assets() {
    const Pixel colour_of_asset[ASSET_COUNT] = {
        0xFFC02010, 0xFFB01060, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFB0F040, 0xFFD040C0,
        0xFFD040C0, 0xFFD040C0, 0xFFB08020, 0xFFC0C0C0, 0xFFE02080, 0xFFB04040,
        0xFFB04040, 0xFFB04040, 0xFFB04040, 0xFFF0E010, 0xFFB010F0, 0xFFC06060,
        0xFFFF8000, 0xFFFF8000, 0xFFFF8000, 0xFFFF8000, 0xFFFF8000, 0xFFFF8000,
        0xFFFF8000, 0xFFFF8000, 0xFFFF8000, 0xFFFF8000, 0xFFB0B000, 0xFFD00090,
    };
    AssetRecords records = default_asset_records();
    for (int n = 0; n < ASSET_COUNT; n++)
        std::fill(records[n].begin(), records[n].end(), colour_of_asset[n]);
    return records;
}

// Onsets of the clicks: the first sample over a quarter of the loudest, after at least 20 ms
// under it.
std::vector<double> click_times_s(const std::string& pcm_stereo_s16le) {
    std::size_t frames = pcm_stereo_s16le.size() / 4;
    std::vector<int> level(frames);
    int peak = 0;
    for (std::size_t i = 0; i < frames; i++) {
        auto sample = [&](std::size_t at) {
            return static_cast<std::int16_t>(static_cast<unsigned char>(pcm_stereo_s16le[at]) |
                                             static_cast<unsigned char>(pcm_stereo_s16le[at + 1])
                                                 << 8);
        };
        level[i] = std::max(std::abs(int{sample(i * 4)}), std::abs(int{sample(i * 4 + 2)}));
        peak = std::max(peak, level[i]);
    }
    std::vector<double> onsets;
    long last_loud = -1000000;
    for (std::size_t i = 0; i < frames; i++) {
        if (level[i] * 4 <= peak)
            continue;
        if (static_cast<long>(i) - last_loud > 882)
            onsets.push_back(static_cast<double>(i) / 44100.0);
        last_loud = static_cast<long>(i);
    }
    return onsets;
}

struct ClickCase {
    const char* out;
};

class ExportClicks : public Export, public ::testing::WithParamInterface<ClickCase> {};

// Module: a click at the first row of every position; 4 rows of 2 ticks at 150 BPM, so a
// position lasts 8 * 2.5 / 150 s = 133.3 ms, 6.67 frames at 50 fps: scene changes fall between
// frames. The scenes change at song positions 7, 10, 12, 14, 18, 21 and 22.
TEST_P(ExportClicks, EachSceneChangesWithinAFrameOfItsClick) {
    constexpr double FPS = 50, POSITION_S = 8 * 2.5 / 150;
    std::string music = module("clicks.xm", {"--click", "--positions", "32", "--rows", "4",
                                             "--speed", "2", "--bpm", "150"});
    std::string assets = inputs + "/sharp.dat";
    ASSERT_TRUE(write_asset_file(assets, sharp_scene_assets()));
    std::string out = outputs + "/" + GetParam().out;
    RunResult r =
        export_show({"--assets", assets, "--music", music, "--scale", "1", "--no-fit", out});
    ASSERT_EQ(r.status, 0) << r.err;

    std::string pcm = scratch + "/sound.pcm";
    output_of({"/usr/bin/ffmpeg", "-v", "error", "-i", out, "-f", "s16le", "-ac", "2", "-ar",
               "44100", "-y", pcm},
              scratch);
    std::vector<double> clicks = click_times_s(slurp(pcm));
    // Positions 0 to 29 are heard; position 30's click would come after the show's end.
    ASSERT_EQ(clicks.size(), 30u);
    for (std::size_t p = 0; p < clicks.size(); p++)
        EXPECT_NEAR(clicks[p], p * POSITION_S, 0.002) << "click " << p;

    // Small frames, averaged: flat colours survive the codec, and the test stays quick.
    constexpr int W = 80, H = 60;
    std::string rgb = scratch + "/frames.rgb";
    output_of({"/usr/bin/ffmpeg", "-v", "error", "-i", out, "-vf",
               "scale=" + std::to_string(W) + ":" + std::to_string(H) + ":flags=area", "-fps_mode",
               "passthrough", "-f", "rawvideo", "-pix_fmt", "rgb24", "-y", rgb},
              scratch);
    std::string pixels = slurp(rgb);
    std::size_t frame_bytes = W * H * 3, frames = pixels.size() / frame_bytes;
    ASSERT_EQ(frames, 200u); // 30 positions of 133.3 ms: 4 s
    // change[f]: mean absolute difference from frame f - 1, per colour channel.
    std::vector<double> change(frames, 0);
    for (std::size_t f = 1; f < frames; f++) {
        long sum = 0;
        for (std::size_t i = 0; i < frame_bytes; i++)
            sum += std::abs(static_cast<unsigned char>(pixels[f * frame_bytes + i]) -
                            static_cast<unsigned char>(pixels[(f - 1) * frame_bytes + i]));
        change[f] = static_cast<double>(sum) / static_cast<double>(frame_bytes);
    }

    for (int position : {7, 10, 12, 14, 18, 21, 22}) {
        double click = clicks[position];
        // The sharpest change among the frames within three of the click.
        int centre = static_cast<int>(click * FPS + 0.5);
        int best = centre;
        for (int f = centre - 3; f <= centre + 3; f++)
            if (change[f] > change[best])
                best = f;
        SCOPED_TRACE("song position " + std::to_string(position));
        EXPECT_GT(change[best], 10.0) << "no sharp change near the click at " << click << " s";
        EXPECT_NEAR(best / FPS, click, 1 / FPS) << "scene change at frame " << best;
    }
}

INSTANTIATE_TEST_SUITE_P(Containers, ExportClicks,
                         ::testing::Values(ClickCase{"clicks.mp4"}, ClickCase{"clicks.mkv"}),
                         [](const ::testing::TestParamInfo<ClickCase>& info) {
                             return std::string(info.param.out).substr(7);
                         });

struct BadInputCase {
    const char* name;
    std::vector<std::string> args; // $IN, $OUT and $BIN are replaced by the folders
    std::string message;
    std::map<std::string, std::string> env;
};

class ExportBadInput : public Export, public ::testing::WithParamInterface<BadInputCase> {};

TEST_P(ExportBadInput, ExitsWithStatus2AndAMessageLeavingNothing) {
    const BadInputCase& c = GetParam();
    module("song.xm", {"--positions", "32", "--rows", "1", "--speed", "1"});
    test_assets();
    AssetRecords short_file = default_asset_records();
    short_file.pop_back();
    ASSERT_TRUE(write_asset_file(inputs + "/29.dat", short_file));
    std::ofstream(inputs + "/noise.xm", std::ios::binary) << std::string(3000, '\x5a');
    fs::create_directory(outputs + "/folder.mp4");
    fs::create_directory(root + "/bin");

    auto expand = [&](std::string s) {
        for (const auto& [key, value] : {std::pair<std::string, std::string>{"$IN", inputs},
                                         {"$OUT", outputs},
                                         {"$BIN", root + "/bin"}})
            for (std::size_t at; (at = s.find(key)) != std::string::npos;)
                s.replace(at, key.size(), value);
        return s;
    };
    std::vector<std::string> args;
    for (const std::string& a : c.args)
        args.push_back(expand(a));
    Child base;
    for (const auto& [name, value] : c.env)
        base.env[name] = expand(value);
    RunResult r = export_show(args, base);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find(expand(c.message)), std::string::npos) << r.err;
    expect_left_behind({"folder.mp4"});
}

const std::vector<std::string> GOOD = {"--assets", "$IN/test.dat", "--music", "$IN/song.xm"};

std::vector<std::string> with(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExportBadInput,
    ::testing::Values(
        BadInputCase{"missing_assets",
                     {"--assets", "$IN/none.dat", "--music", "$IN/song.xm", "$OUT/x.mp4"},
                     "$IN/none.dat: cannot load the asset file",
                     {}},
        BadInputCase{"assets_one_short",
                     {"--assets", "$IN/29.dat", "--music", "$IN/song.xm", "$OUT/x.mp4"},
                     "$IN/29.dat: not the show's asset file",
                     {}},
        BadInputCase{"missing_module",
                     {"--assets", "$IN/test.dat", "--music", "$IN/none.xm", "$OUT/x.mp4"},
                     "$IN/none.xm: cannot load the module: ",
                     {}},
        BadInputCase{"not_a_module",
                     {"--assets", "$IN/test.dat", "--music", "$IN/noise.xm", "$OUT/x.mp4"},
                     "$IN/noise.xm: cannot load the module: ",
                     {}},
        BadInputCase{"unknown_container",
                     with(GOOD, {"$OUT/x.avi"}),
                     "$OUT/x.avi: the output name must end in .mp4, .mkv or .html",
                     {}},
        BadInputCase{"output_folder_missing",
                     with(GOOD, {"$OUT/none/x.mp4"}),
                     "$OUT/none/x.mp4: cannot create a file in $OUT/none: No such file or "
                     "directory",
                     {}},
        BadInputCase{"output_is_a_folder",
                     with(GOOD, {"$OUT/folder.mp4"}),
                     "$OUT/folder.mp4: is a directory",
                     {}},
        BadInputCase{"ffmpeg_missing",
                     with(GOOD, {"$OUT/x.mp4"}),
                     "ffmpeg not found on PATH",
                     {{"PATH", "$BIN"}}},
        BadInputCase{"no_output", GOOD, "no output file given", {}},
        BadInputCase{"two_outputs",
                     with(GOOD, {"$OUT/x.mp4", "$OUT/y.mp4"}),
                     "more than one output file given",
                     {}},
        BadInputCase{
            "unknown_option", with(GOOD, {"--loud", "$OUT/x.mp4"}), "unknown option --loud", {}},
        BadInputCase{"scale_zero",
                     with(GOOD, {"--scale", "0", "$OUT/x.mp4"}),
                     "--scale 0: not a whole number from 1 to 8",
                     {}},
        BadInputCase{"fps_not_a_number",
                     with(GOOD, {"--fps", "fifty", "$OUT/x.mp4"}),
                     "--fps fifty: not a whole number from 1 to 240",
                     {}},
        BadInputCase{"option_without_value",
                     with(GOOD, {"$OUT/x.mp4", "--music"}),
                     "--music needs a value",
                     {}}),
    [](const ::testing::TestParamInfo<BadInputCase>& info) { return info.param.name; });

// A real ffmpeg that fails: the file size limit (inherited by ffmpeg, SIGXFSZ ignored) lets the
// mixed sound through (32 positions of 1 row at 255 BPM: under 30 KB) but not the encoded
// lossless video.
TEST_F(Export, FfmpegFailingIsReportedWithItsLastLine) {
    std::string music = module("song.xm", {"--positions", "32", "--rows", "1", "--speed", "1"});
    Child limited;
    limited.file_size_limit = 200 * 1024;
    RunResult r = export_show({"--assets", test_assets(), "--music", music, "--lossless", "--scale",
                               "3", outputs + "/x.mp4"},
                              limited);
    EXPECT_EQ(r.status, 2) << r.err;
    std::size_t at = r.err.find("quab-export: ffmpeg failed (exit status ");
    ASSERT_NE(at, std::string::npos) << r.err;
    std::string line = r.err.substr(at, r.err.find('\n', at) - at);
    // ffmpeg's own words follow the status.
    EXPECT_GT(line.size(), line.find("): ") + 3) << line;
    expect_left_behind({});
}

class ExportInterrupted : public Export, public ::testing::WithParamInterface<int> {};

bool process_mentions(const std::string& text) {
    for (const fs::directory_entry& e : fs::directory_iterator("/proc")) {
        std::string cmdline = slurp(e.path().string() + "/cmdline");
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        if (cmdline.find(text) != std::string::npos)
            return true;
    }
    return false;
}

// 30 positions of 16 rows of 6 ticks: 57.6 s of show, far more than the test waits for.
TEST_P(ExportInterrupted, StopsFfmpegAndLeavesNoFile) {
    int sig = GetParam();
    std::string music =
        module("long.xm", {"--positions", "32", "--rows", "16", "--speed", "6", "--bpm", "125"});
    Child c = child_of(
        {QUAB_EXPORT_PATH, "--assets", test_assets(), "--music", music, outputs + "/x.mp4"});
    c.env["TMPDIR"] = tmpdir;
    std::string out = scratch + "/child.out", err = scratch + "/child.err";
    pid_t pid = start_child(c, out, err);

    // Wait until ffmpeg has written part of the file under its temporary name.
    bool writing = false;
    for (int waited_ms = 0; waited_ms < 60000 && !writing; waited_ms += 50) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        for (const fs::directory_entry& e : fs::directory_iterator(outputs)) {
            std::error_code gone;
            writing = writing ||
                      (e.path().filename().string()[0] == '.' && fs::file_size(e.path(), gone) > 0);
        }
    }
    ASSERT_TRUE(writing) << slurp(err);
    ASSERT_TRUE(process_mentions(tmpdir)) << "no ffmpeg reading from " << tmpdir;
    kill(pid, sig);
    RunResult r = finish_child(pid, out, err);
    EXPECT_EQ(r.status, 128 + sig) << r.err;
    EXPECT_NE(r.err.find("interrupted; no output written"), std::string::npos) << r.err;
    expect_left_behind({});
    EXPECT_FALSE(process_mentions(tmpdir)) << "ffmpeg still runs";
}

INSTANTIATE_TEST_SUITE_P(Signals, ExportInterrupted, ::testing::Values(SIGINT, SIGTERM),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGINT ? "SIGINT" : "SIGTERM");
                         });

} // namespace
