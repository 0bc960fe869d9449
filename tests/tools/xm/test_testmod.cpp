// quab-testmod from the outside: its modules as libopenmpt (openmpt123) reads and renders them,
// its usage errors, and its determinism. Durations are rows x speed x 2.5 / BPM seconds.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct CommandResult {
    int status = -1; // exit status, -1 when the command did not exit normally
    std::string output;
};

CommandResult run(const std::string& cmd) {
    CommandResult r;
    std::FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.output.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string temp_dir() {
    char tmpl[] = "/tmp/quab_testmod_test_XXXXXX";
    const char* dir = mkdtemp(tmpl);
    return dir ? std::string(dir) : std::string("/tmp");
}

const std::string& dir() {
    static const std::string d = temp_dir();
    return d;
}

std::string testmod() {
    return std::string(QUAB_TESTMOD);
}

// The text after "Key....: " on the line that starts with key, or "" when absent.
std::string info_field(const std::string& info, const std::string& key) {
    std::size_t at = 0;
    while (at < info.size()) {
        std::size_t end = info.find('\n', at);
        if (end == std::string::npos)
            end = info.size();
        std::string line = info.substr(at, end - at);
        if (line.rfind(key, 0) == 0) {
            std::size_t colon = line.find(": ");
            return colon == std::string::npos ? "" : line.substr(colon + 2);
        }
        at = end + 1;
    }
    return "";
}

// "MM:SS.mmm" in seconds, or -1.
double parse_duration(const std::string& text) {
    int minutes = 0, seconds = 0, millis = 0;
    if (std::sscanf(text.c_str(), "%d:%d.%d", &minutes, &seconds, &millis) != 3)
        return -1;
    return minutes * 60.0 + seconds + millis / 1000.0;
}

std::vector<char> read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// sox's "stat" figure named key (e.g. "Maximum amplitude") for a window of a WAV file.
double sox_stat(const std::string& wav, const std::string& trim, const std::string& key) {
    CommandResult r = run("sox " + wav + " -n " + trim + " stat 2>&1");
    std::string v = info_field(r.output, key);
    return v.empty() ? -1.0 : std::atof(v.c_str());
}

struct InfoCase {
    const char* args;
    int orders;
    double seconds; // hand-derived: positions x rows x speed x 2.5 / bpm
};

const InfoCase INFO_CASES[] = {
    {"", 32, 32 * 1 * 1 * 2.5 / 255},                                // 0.3137 s
    {"--positions 4 --rows 8 --speed 3 --bpm 125", 4, 1.92},         // 4*8*3*0.02
    {"--positions 10 --rows 64 --speed 6 --bpm 125", 10, 76.8},      // 10*64*6*0.02
    {"--click --positions 3 --rows 16 --speed 2 --bpm 100", 3, 2.4}, // 3*16*2*0.025
    {"--positions 256 --speed 31 --bpm 32", 256, 620.0},             // 256*31*2.5/32
};

class TestmodInfo : public ::testing::TestWithParam<InfoCase> {};

TEST_P(TestmodInfo, OpenmptReadsOrdersPatternsChannelsAndDuration) {
    const InfoCase& c = GetParam();
    std::string path = dir() + "/info.xm";
    CommandResult made = run(testmod() + " " + path + " " + c.args + " 2>&1");
    ASSERT_EQ(made.status, 0) << made.output;
    EXPECT_EQ(made.output, "");
    CommandResult info = run("openmpt123 --info " + path + " 2>&1");
    ASSERT_EQ(info.status, 0) << info.output;
    EXPECT_EQ(info.output.find("Warnings"), std::string::npos) << info.output;
    EXPECT_EQ(info_field(info.output, "Type"), "xm (FastTracker 2 v1.04)");
    EXPECT_EQ(info_field(info.output, "Orders"), std::to_string(c.orders));
    EXPECT_EQ(info_field(info.output, "Patterns"), std::to_string(c.orders));
    EXPECT_EQ(info_field(info.output, "Channels"), "4");
    EXPECT_EQ(info_field(info.output, "Instruments"), "1");
    EXPECT_EQ(info_field(info.output, "Samples"), "1");
    double seconds = parse_duration(info_field(info.output, "Duration"));
    EXPECT_NEAR(seconds, c.seconds, 0.005) << info.output;
}

INSTANTIATE_TEST_SUITE_P(Cases, TestmodInfo, ::testing::ValuesIn(INFO_CASES));

TEST(Testmod, SameBytesEveryRun) {
    std::string a = dir() + "/same_a.xm", b = dir() + "/same_b.xm";
    ASSERT_EQ(run(testmod() + " " + a + " --rows 3").status, 0);
    ASSERT_EQ(run(testmod() + " " + b + " --rows 3").status, 0);
    std::vector<char> x = read_file(a), y = read_file(b);
    EXPECT_FALSE(x.empty());
    EXPECT_EQ(x, y);
}

TEST(Testmod, ToneIsClearlyAudible) {
    std::string path = dir() + "/tone.xm";
    ASSERT_EQ(run(testmod() + " " + path + " --positions 8 --rows 4 --speed 6 --bpm 125").status,
              0);
    CommandResult r = run("openmpt123 --quiet --render --force --no-float " + path + " 2>&1");
    ASSERT_EQ(r.status, 0) << r.output;
    // The song lasts 8 x 4 x 6 x 0.02 = 3.84 s; its middle second holds the tone throughout.
    double rms = sox_stat(path + ".wav", "trim 1 1", "RMS     amplitude");
    EXPECT_GT(rms, 0.05);
}

TEST(Testmod, ClickOnlyOnTheFirstRowOfEachPosition) {
    std::string path = dir() + "/click.xm";
    ASSERT_EQ(
        run(testmod() + " " + path + " --click --positions 4 --rows 8 --speed 3 --bpm 125").status,
        0);
    CommandResult r = run("openmpt123 --quiet --render --force --no-float " + path + " 2>&1");
    ASSERT_EQ(r.status, 0) << r.output;
    std::string wav = path + ".wav";
    // Each position lasts 8 x 3 x 0.02 = 0.48 s; the click is under 4 ms long.
    for (int p = 0; p < 4; ++p) {
        SCOPED_TRACE(p);
        double start = 0.48 * p;
        double head = sox_stat(wav, "trim " + std::to_string(start) + " 0.01", "Maximum amplitude");
        double rest =
            sox_stat(wav, "trim " + std::to_string(start + 0.03) + " 0.42", "Maximum amplitude");
        EXPECT_GT(head, 0.3);
        EXPECT_GE(rest, 0.0);
        EXPECT_LT(rest, 0.01);
    }
}

struct UsageCase {
    const char* args;
    const char* message_part;
};

const UsageCase USAGE_CASES[] = {
    {"OUT --positions 0", "--positions 0"},
    {"OUT --positions 257", "--positions 257"},
    {"OUT --rows 0", "--rows 0"},
    {"OUT --rows -3", "--rows -3"},
    {"OUT --speed 32", "--speed 32"},
    {"OUT --speed 0", "--speed 0"},
    {"OUT --bpm 31", "--bpm 31"},
    {"OUT --bpm 12x", "--bpm 12x"},
    {"OUT --positions", "--positions needs a number"},
    {"OUT --frobnicate", "unknown option --frobnicate"},
    {"", "no output file"},
    {"OUT OUT2", "more than one output file"},
};

class TestmodUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(TestmodUsage, RefusedWithMessageAndStatus2) {
    std::string args = GetParam().args;
    std::string out = dir() + "/usage_out.xm";
    std::remove(out.c_str());
    for (std::size_t at; (at = args.find("OUT2")) != std::string::npos;)
        args.replace(at, 4, dir() + "/usage_out2.xm");
    for (std::size_t at; (at = args.find("OUT")) != std::string::npos;)
        args.replace(at, 3, out);
    CommandResult r = run(testmod() + " " + args + " 2>&1 >/dev/null");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find(GetParam().message_part), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("usage: quab-testmod OUT"), std::string::npos) << r.output;
    EXPECT_TRUE(read_file(out).empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, TestmodUsage, ::testing::ValuesIn(USAGE_CASES));

TEST(Testmod, UnwritableOutputFailsWithStatus1) {
    CommandResult r = run(testmod() + " /nonexistent-quab-dir/x.xm 2>&1");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("/nonexistent-quab-dir/x.xm"), std::string::npos) << r.output;
}

} // namespace
