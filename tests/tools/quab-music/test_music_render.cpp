// quab-music from the outside: the module it writes as libmikmod (with the show's mixing
// settings) and libopenmpt load, play and render it, measured with sox.
#include <gtest/gtest.h>
#include <mikmod.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/test_support.h"
#include "tests/tools/sound_reports.h"

namespace {

const std::string& dir() {
    static const std::string d = make_temp_dir();
    return d;
}

// The module, written once for all tests.
const std::string& module_path() {
    static const std::string path = [] {
        std::string p = dir() + "/music.xm";
        CommandResult r = run_command(std::string(QUAB_MUSIC) + " " + p + " 2>&1");
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.output, "");
        return p;
    }();
    return path;
}

struct Levels {
    double peak = -1, rms = -1, seconds = -1;
};

Levels measure(const std::string& wav) {
    Levels l;
    std::string text = sox_stat_report(wav, "");
    std::string max = report_field(text, "Maximum amplitude");
    std::string min = report_field(text, "Minimum amplitude");
    if (!max.empty() && !min.empty())
        l.peak = std::max(std::atof(max.c_str()), -std::atof(min.c_str()));
    std::string rms = report_field(text, "RMS     amplitude");
    if (!rms.empty())
        l.rms = std::atof(rms.c_str());
    std::string len = report_field(text, "Length (seconds)");
    if (!len.empty())
        l.seconds = std::atof(len.c_str());
    return l;
}

// The show lasts 2.5 to 3.5 minutes; the module's tail after it, a few seconds.
constexpr double MIN_SONG_SECONDS = 150, MAX_SONG_SECONDS = 215;

TEST(QuabMusic, SameBytesEveryRun) {
    std::string again = dir() + "/again.xm";
    ASSERT_EQ(run_command(std::string(QUAB_MUSIC) + " " + again).status, 0);
    std::string a = slurp(module_path()), b = slurp(again);
    EXPECT_GT(a.size(), 1000u);
    EXPECT_EQ(a, b);
}

TEST(QuabMusic, UsageErrors) {
    for (const char* args : {"", " a.xm b.xm", " --bogus"}) {
        SCOPED_TRACE(args);
        CommandResult r = run_command(std::string(QUAB_MUSIC) + args + " 2>&1");
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.output.find("\nTry 'quab-music --help'.\n"), std::string::npos) << r.output;
    }
    CommandResult r = run_command(std::string(QUAB_MUSIC) + " /nonexistent-quab-dir/music.xm 2>&1");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("/nonexistent-quab-dir/music.xm"), std::string::npos) << r.output;
}

TEST(Openmpt, LoadsWithoutWarnings) {
    CommandResult r = openmpt_info(module_path());
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("Warnings"), std::string::npos) << r.output;
    EXPECT_EQ(report_field(r.output, "Type"), "xm (FastTracker 2 v1.04)");
    EXPECT_EQ(report_field(r.output, "Orders"), "31");
    EXPECT_EQ(report_field(r.output, "Patterns"), "31");
    EXPECT_EQ(report_field(r.output, "Channels"), "22");
    EXPECT_EQ(report_field(r.output, "Instruments"), "13");
    double duration = parse_duration(report_field(r.output, "Duration"));
    ASSERT_GE(duration, 0) << r.output;
    EXPECT_GT(duration, MIN_SONG_SECONDS);
    EXPECT_LT(duration, MAX_SONG_SECONDS);
}

TEST(Openmpt, RenderIsLoudWithoutClipping) {
    std::string copy = dir() + "/openmpt.xm";
    ASSERT_EQ(run_command("cp " + module_path() + " " + copy).status, 0);
    double duration = parse_duration(report_field(openmpt_info(copy).output, "Duration"));
    ASSERT_GT(duration, 0);
    CommandResult r = openmpt_render(copy);
    ASSERT_EQ(r.status, 0) << r.output;
    Levels l = measure(copy + ".wav");
    RecordProperty("openmpt_peak", std::to_string(l.peak));
    RecordProperty("openmpt_rms", std::to_string(l.rms));
    EXPECT_GT(l.seconds, duration - 1);
    EXPECT_LT(l.peak, 0.95);
    EXPECT_GT(l.rms, 0.05);
}

int mikmod_errors = 0;
void count_mikmod_error() { ++mikmod_errors; }

// libmikmod with the show's settings: 44.1 kHz, 16-bit stereo, software mixing, no
// interpolation, full stereo separation, no reverb, 24 voices; the wav writer as the device.
TEST(Mikmod, PlaysToTheEndWithoutClipping) {
    std::string work = dir() + "/mikmod";
    ASSERT_EQ(run_command("mkdir -p " + work).status, 0);
    char old_dir[4096];
    ASSERT_NE(getcwd(old_dir, sizeof old_dir), nullptr);
    ASSERT_EQ(chdir(work.c_str()), 0); // the wav writer writes music.wav here

    MikMod_RegisterAllLoaders();
    MikMod_RegisterDriver(&drv_wav);
    MikMod_RegisterErrorHandler(count_mikmod_error);
    md_pansep = 128;
    md_volume = 128;
    md_reverb = 0;
    md_device = 0;
    md_mixfreq = 44100;
    md_mode = std::uint16_t((md_mode & 0xFCEF) | 0x000B);
    ASSERT_EQ(MikMod_Init(""), 0) << MikMod_strerror(MikMod_errno);
    MODULE* mod = Player_Load(module_path().c_str(), 24, 0);
    ASSERT_NE(mod, nullptr) << MikMod_strerror(MikMod_errno);
    EXPECT_EQ(mikmod_errors, 0);
    EXPECT_EQ(MikMod_errno, 0);
    EXPECT_EQ(mod->numpos, 31);
    EXPECT_EQ(mod->numchn, 22);
    EXPECT_EQ(mod->numins, 13);
    EXPECT_EQ(mod->initspeed, 6);
    EXPECT_EQ(mod->inittempo, 130);

    Player_Start(mod);
    std::vector<int> positions;
    std::vector<double> start_seconds; // the song time at which each position began
    for (int i = 0; i < 1000000 && Player_Active(); ++i) {
        int pos = mod->sngpos;
        if (positions.empty() || positions.back() != pos) {
            positions.push_back(pos);
            start_seconds.push_back(mod->sngtime / 1024.0);
        }
        MikMod_Update();
    }
    double end_seconds = mod->sngtime / 1024.0;
    EXPECT_FALSE(Player_Active());
    Player_Stop();
    Player_Free(mod);
    MikMod_Exit();
    ASSERT_EQ(chdir(old_dir), 0);

    std::vector<int> expect;
    for (int p = 0; p <= 30; ++p)
        expect.push_back(p);
    ASSERT_EQ(positions, expect);
    // As the show's player clocks it: the show ends when the song reaches position 30, after
    // 2.5 to 3.5 minutes; Scene 8 (positions 22 to 29) gives its scroller the 1380 ticks
    // (27.6 s) it moves for and ends within 4 s of its stop.
    EXPECT_GE(start_seconds[30], 150.0);
    EXPECT_LE(start_seconds[30], 210.0);
    EXPECT_GE(start_seconds[30] - start_seconds[22], 27.6);
    EXPECT_LE(start_seconds[30] - start_seconds[22], 31.6);

    Levels l = measure(work + "/music.wav");
    RecordProperty("mikmod_peak", std::to_string(l.peak));
    RecordProperty("mikmod_rms", std::to_string(l.rms));
    EXPECT_NEAR(l.seconds, end_seconds, 2.0);
    EXPECT_GT(l.seconds, MIN_SONG_SECONDS);
    EXPECT_LT(l.seconds, MAX_SONG_SECONDS);
    EXPECT_LT(l.peak, 0.95);
    EXPECT_GT(l.rms, 0.05);
}

} // namespace
