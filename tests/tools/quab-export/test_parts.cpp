// The exporter's pieces on their own: where frames fall in the mixed sound and which tick they
// see, the search for ffmpeg on PATH, the last line of ffmpeg's log, and the encoder's choices
// on ffmpeg's command line, and the escaping of what the web page embeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "lib/export/encoder.h"
#include "lib/export/html.h"
#include "music/sample_clock.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

struct FrameCase {
    std::uint64_t frame;
    std::uint32_t fps;
    std::uint64_t first_sample; // floor(frame * 44,100 / fps), worked by hand
    std::int32_t tick;          // floor(first_sample / 882)
};

TEST(ExportClock, FramesFallOnTheFirstSampleAtOrAfterTheirTime) {
    const FrameCase cases[] = {
        {0, 50, 0, 0},
        {1, 50, 882, 1},
        {100, 50, 88200, 100},
        {1, 60, 735, 0},
        {5, 60, 3675, 4},
        {6, 60, 4410, 5},
        {1, 24, 1837, 2},
        {3, 24, 5512, 6},
        {1, 1, 44100, 50},
        {1, 240, 183, 0},
        {5, 240, 918, 1},
        {9000, 50, 7938000, 9000},
        {180000, 60, 132300000, 150000},
    };
    for (const FrameCase& c : cases) {
        SCOPED_TRACE("frame " + std::to_string(c.frame) + " at " + std::to_string(c.fps) + " fps");
        EXPECT_EQ(frame_start_sample(c.frame, c.fps), c.first_sample);
        EXPECT_EQ(tick_at_sample(c.first_sample), c.tick);
    }
}

TEST(ExportClock, ATickIs882SampleFrames) {
    const std::pair<std::uint64_t, std::int32_t> cases[] = {
        {0, 0}, {881, 0}, {882, 1}, {1763, 1}, {1764, 2}, {44100, 50}, {88199, 99}, {88200, 100},
    };
    for (const auto& [sample, tick] : cases)
        EXPECT_EQ(tick_at_sample(sample), tick) << "sample " << sample;
}

void write_file(const std::string& path, const std::string& text, mode_t mode) {
    std::ofstream(path, std::ios::binary) << text;
    chmod(path.c_str(), mode);
}

TEST(ExportEncoder, FindsOnlyExecutableFilesOnPath) {
    std::string dir = make_temp_dir();
    write_file(dir + "/tool", "#!/bin/sh\n", 0755);
    write_file(dir + "/plain", "text\n", 0644);
    fs::create_directory(dir + "/folder");
    const char* saved = std::getenv("PATH");
    std::string saved_path = saved ? saved : "";
    setenv("PATH", ("/nonexistent-quab-dir:" + dir).c_str(), 1);
    EXPECT_EQ(find_program("tool"), dir + "/tool");
    EXPECT_EQ(find_program("plain"), "");
    EXPECT_EQ(find_program("folder"), "");
    EXPECT_EQ(find_program("absent"), "");
    setenv("PATH", saved_path.c_str(), 1);
    fs::remove_all(dir);
}

TEST(ExportEncoder, LastLogLineSkipsBlankLines) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"only\n", "only"},
        {"first\nsecond\n", "second"},
        {"first\nsecond\n\n   \n", "second"},
        {"dos line\r\n", "dos line"},
        {"first\nno newline at the end", "no newline at the end"},
    };
    std::string dir = make_temp_dir();
    for (const auto& [text, last] : cases) {
        write_file(dir + "/log", text, 0644);
        EXPECT_EQ(last_log_line(dir + "/log"), last) << "log: " << text;
    }
    EXPECT_EQ(last_log_line(dir + "/missing"), "");
    fs::remove_all(dir);
}

bool has_pair(const std::vector<std::string>& args, const std::string& option,
              const std::string& value) {
    for (std::size_t i = 0; i + 1 < args.size(); i++)
        if (args[i] == option && args[i + 1] == value)
            return true;
    return false;
}

std::string value_of(const std::vector<std::string>& args, const std::string& option) {
    auto it = std::find(args.begin(), args.end(), option);
    return it != args.end() && it + 1 != args.end() ? *(it + 1) : "";
}

TEST(ExportEncoder, CommandLineFollowsTheSettings) {
    struct Case {
        bool matroska, lossless;
        std::uint32_t scale, fps;
        const char *video_codec, *audio_codec, *format, *size;
    };
    const Case cases[] = {
        {false, false, 3, 50, "libx264", "aac", "mp4", "960:720"},
        {true, false, 1, 25, "libx264", "libopus", "matroska", "320:240"},
        {false, true, 2, 60, "libx264rgb", "aac", "mp4", "640:480"},
        {true, true, 8, 50, "libx264rgb", "libopus", "matroska", "2560:1920"},
    };
    for (const Case& c : cases) {
        EncodeSettings s{"/usr/bin/ffmpeg", "out.tmp",  "sound.pcm", "log",
                         c.matroska,        c.lossless, c.scale,     c.fps};
        std::vector<std::string> args = ffmpeg_arguments(s);
        SCOPED_TRACE(std::string(c.video_codec) + " " + c.format + " " + c.size);
        ASSERT_FALSE(args.empty());
        EXPECT_EQ(args.back(), "out.tmp");
        EXPECT_TRUE(has_pair(args, "-i", "pipe:0"));
        EXPECT_TRUE(has_pair(args, "-i", "sound.pcm"));
        EXPECT_TRUE(has_pair(args, "-video_size", "320x240"));
        EXPECT_TRUE(has_pair(args, "-framerate", std::to_string(c.fps)));
        EXPECT_TRUE(has_pair(args, "-ar", "44100"));
        EXPECT_TRUE(has_pair(args, "-c:v", c.video_codec));
        EXPECT_TRUE(has_pair(args, "-c:a", c.audio_codec));
        EXPECT_TRUE(has_pair(args, "-f", c.format));
        std::string filter = value_of(args, "-vf");
        EXPECT_EQ(filter.rfind(std::string("scale=") + c.size + ":flags=neighbor", 0), 0u)
            << filter;
        EXPECT_NE(filter.find(c.lossless ? "format=bgr0" : "format=yuv420p"), std::string::npos)
            << filter;
    }
}

// A song name lands in the page twice: as HTML text (title, heading) and in the script's JSON.
// Neither may end its element, open a comment, or (in the script) end a line.
TEST(ExportPage, EmbeddedTextIsEscapedForWhereItLands) {
    struct EscapeCase {
        std::string name, html, json;
    };
    const EscapeCase cases[] = {
        {"<!--<script>", "&lt;!--&lt;script&gt;", R"("\u003c!--\u003cscript\u003e")"},
        {"</script>", "&lt;/script&gt;", R"("\u003c\/script\u003e")"},
        {"A&B \"x\" 'y'", "A&amp;B &quot;x&quot; &#39;y&#39;", R"("A\u0026B \"x\" 'y'")"},
        {"a\xe2\x80\xa8"
         "b\xe2\x80\xa9"
         "c\n",
         "a\xe2\x80\xa8"
         "b\xe2\x80\xa9"
         "c\n",
         R"("a\u2028b\u2029c\u000a")"},
        {"caf\xc3\xa9 \\", "caf\xc3\xa9 \\", "\"caf\xc3\xa9 \\\\\""},
    };
    for (const EscapeCase& c : cases) {
        EXPECT_EQ(html_escape(c.name), c.html) << c.name;
        EXPECT_EQ(json_string(c.name), c.json) << c.name;
    }
}

} // namespace
