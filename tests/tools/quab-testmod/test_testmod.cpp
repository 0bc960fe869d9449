// quab-testmod from the outside: its modules as libopenmpt (openmpt123) reads and renders them,
// its usage errors, and its determinism. Durations are rows x speed x 2.5 / BPM seconds.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/process.h"
#include "tests/support/test_support.h"
#include "tests/tools/sound_reports.h"

namespace {

const std::string& dir() {
    static const std::string d = make_temp_dir();
    return d;
}

std::string testmod() { return std::string(QUAB_TESTMOD); }

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
    CommandResult made = run_command(testmod() + " " + path + " " + c.args + " 2>&1");
    ASSERT_EQ(made.status, 0) << made.output;
    EXPECT_EQ(made.output, "");
    CommandResult info = openmpt_info(path);
    ASSERT_EQ(info.status, 0) << info.output;
    EXPECT_EQ(info.output.find("Warnings"), std::string::npos) << info.output;
    EXPECT_EQ(report_field(info.output, "Type"), "xm (FastTracker 2 v1.04)");
    EXPECT_EQ(report_field(info.output, "Orders"), std::to_string(c.orders));
    EXPECT_EQ(report_field(info.output, "Patterns"), std::to_string(c.orders));
    EXPECT_EQ(report_field(info.output, "Channels"), "4");
    EXPECT_EQ(report_field(info.output, "Instruments"), "1");
    EXPECT_EQ(report_field(info.output, "Samples"), "1");
    double seconds = parse_duration(report_field(info.output, "Duration"));
    EXPECT_NEAR(seconds, c.seconds, 0.005) << info.output;
}

INSTANTIATE_TEST_SUITE_P(Cases, TestmodInfo, ::testing::ValuesIn(INFO_CASES));

TEST(Testmod, SameBytesEveryRun) {
    std::string a = dir() + "/same_a.xm", b = dir() + "/same_b.xm";
    ASSERT_EQ(run_command(testmod() + " " + a + " --rows 3").status, 0);
    ASSERT_EQ(run_command(testmod() + " " + b + " --rows 3").status, 0);
    std::string x = slurp(a), y = slurp(b);
    EXPECT_FALSE(x.empty());
    EXPECT_EQ(x, y);
}

TEST(Testmod, ToneIsClearlyAudible) {
    std::string path = dir() + "/tone.xm";
    ASSERT_EQ(
        run_command(testmod() + " " + path + " --positions 8 --rows 4 --speed 6 --bpm 125").status,
        0);
    CommandResult r = openmpt_render(path);
    ASSERT_EQ(r.status, 0) << r.output;
    // The song lasts 8 x 4 x 6 x 0.02 = 3.84 s; its middle second holds the tone throughout.
    double rms = sox_stat(path + ".wav", "trim 1 1", "RMS     amplitude");
    EXPECT_GT(rms, 0.05);
}

TEST(Testmod, ClickOnlyOnTheFirstRowOfEachPosition) {
    std::string path = dir() + "/click.xm";
    ASSERT_EQ(
        run_command(testmod() + " " + path + " --click --positions 4 --rows 8 --speed 3 --bpm 125")
            .status,
        0);
    CommandResult r = openmpt_render(path);
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
    {"OUT --positions", "--positions needs a value"},
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
    CommandResult r = run_command(testmod() + " " + args + " 2>&1 >/dev/null");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find(GetParam().message_part), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\nTry 'quab-testmod --help'.\n"), std::string::npos) << r.output;
    EXPECT_TRUE(slurp(out).empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, TestmodUsage, ::testing::ValuesIn(USAGE_CASES));

TEST(Testmod, UnwritableOutputFailsWithStatus1) {
    CommandResult r = run_command(testmod() + " /nonexistent-quab-dir/x.xm 2>&1");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("/nonexistent-quab-dir/x.xm"), std::string::npos) << r.output;
}

} // namespace
