// quab-check run as a child process over modules of chosen lengths and tempos (quab-testmod
// and the module writer) and asset files made for each case: scene times against the row time
// 2.5 x speed / tempo seconds worked out by hand, each warning with its hand-computed figures,
// refused input and the command line.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/timeline.h"
#include "lib/xm/xm.h"
#include "tests/support/process.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

// A song of one pattern per song position, rows[p] rows at position p.
struct Song {
    std::vector<std::uint32_t> rows;
    std::uint32_t speed = 1;
    std::uint32_t bpm = 125; // with speed 1: one row a tick of the show, 20 ms
};

// At speed 1 and tempo 125 one row lasts one tick (20 ms). The show plays as meant: Scene 1's
// fades (128 ticks) fit positions 0, 2, 3 and 4, Scene 5 (1000 ticks) outlasts the strip's 994,
// position 21 has Scene 7's 61 rows, Scene 8 (1400 ticks) outlasts the scroller's 1380, and
// position 30, the one past the show, ends it.
Song good_song() {
    Song s;
    s.rows = {140, 50,  140, 140, 140, 25, 25,  100, 100, 100, 100, 100, 100, 100, 250, 250,
              250, 250, 100, 100, 100, 64, 175, 175, 175, 175, 175, 175, 175, 175, 1};
    return s;
}

// Layers that sum to 0x00FEFEFE (luma 254, no carry between channels) and every other asset
// opaque white, so that every keyed Pixel passes and only Scene 1's fades darken the picture:
// its frame is black (luma 15 or less) while the fade level is 239 or more.
AssetRecords bright_records() {
    AssetRecords r = default_asset_records(0xFFFFFFFFu);
    r[0].assign(r[0].size(), 0x007F7F7Fu);
    r[1].assign(r[1].size(), 0x007F7F7Fu);
    return r;
}

class Check : public ::testing::Test {
  protected:
    void SetUp() override { root = make_temp_dir(); }
    void TearDown() override {
        if (!HasFailure())
            fs::remove_all(root);
    }

    std::string song(const Song& s, const std::string& name = "music.xm") {
        XmModule m;
        m.channels = 2;
        m.speed = s.speed;
        m.bpm = s.bpm;
        XmSample sample;
        sample.data8 = {0, 60, 0, -60};
        XmInstrument ins;
        ins.samples.push_back(sample);
        m.instruments.push_back(ins);
        for (std::uint32_t p = 0; p < s.rows.size(); p++) {
            XmPattern pattern = xm_empty_pattern(s.rows[p], m.channels);
            xm_cell(pattern, m.channels, 0, 0) = XmCell{XM_NOTE_C4, 1, 0, 0, 0};
            m.patterns.push_back(pattern);
            m.orders.push_back(std::uint8_t(p));
        }
        std::string path = root + "/" + name;
        Result written = xm_write_file(m, path.c_str());
        EXPECT_TRUE(written.ok) << written.reason;
        return path;
    }

    std::string testmod(const std::vector<std::string>& args) {
        std::string path = root + "/testmod.xm";
        Child c = child_of({QUAB_TESTMOD_PATH, path});
        c.argv.insert(c.argv.end(), args.begin(), args.end());
        RunResult r = run_child(c, root);
        EXPECT_EQ(r.status, 0) << r.err;
        return path;
    }

    std::string assets(const AssetRecords& records, const std::string& name = "quab.dat") {
        std::string path = root + "/" + name;
        EXPECT_TRUE(write_asset_file(path, records));
        return path;
    }

    RunResult check(const std::vector<std::string>& args) {
        Child c = child_of({QUAB_CHECK_PATH});
        c.argv.insert(c.argv.end(), args.begin(), args.end());
        return run_child(c, root);
    }

    // The plan on the song's own positions, which these tests are about: none of their songs
    // is fitted.
    RunResult check(const std::string& assets_path, const std::string& music_path) {
        return check({"--assets", assets_path, "--music", music_path, "--no-fit"});
    }

    std::string root;
};

// The lines of a text that begin with a prefix.
std::vector<std::string> lines_starting(const std::string& text, const std::string& prefix) {
    std::vector<std::string> found;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        if (line.rfind(prefix, 0) == 0)
            found.push_back(line);
        at = end + 1;
    }
    return found;
}

std::string two_places(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

// Scene k's first song position, and the position past the show for k = 8.
int first_position(int k) { return k < SCENE_COUNT ? scene_first_position(k) : SHOW_POSITIONS; }

// 31 positions of R rows at speed S and tempo T: a row lasts 2.5 S / T s, so scene k starts at
// its first position times R rows and ends where the next scene starts; the show ends where
// position 30 starts. Tempos whose ticks are whole samples at 44,100 Hz (110,250 / T), so that
// no rounding of the mixer's tick length comes in.
TEST_F(Check, SceneTimesFollowRowsSpeedAndTempo) {
    struct Case {
        std::uint32_t rows, speed, bpm;
    } cases[] = {
        {20, 3, 150}, // 0.05 s a row, 1 s a position
        {8, 6, 125},  // 0.12 s a row, 0.96 s a position
        {7, 5, 105},  // 0.119... s a row, 0.8333... s a position
        {1, 1, 250},  // 0.01 s a row, half the show's tick
    };
    std::string dat = assets(bright_records());
    for (const Case& c : cases) {
        SCOPED_TRACE("rows " + std::to_string(c.rows) + " speed " + std::to_string(c.speed) +
                     " tempo " + std::to_string(c.bpm));
        std::string xm = testmod({"--positions", "31", "--rows", std::to_string(c.rows), "--speed",
                                  std::to_string(c.speed), "--bpm", std::to_string(c.bpm)});
        RunResult r = check(dat, xm);
        ASSERT_NE(r.status, 2) << r.out << r.err;
        double position_s = 2.5 * c.speed * c.rows / c.bpm;
        std::vector<std::string> scenes = lines_starting(r.out, "Scene ");
        ASSERT_EQ(scenes.size(), 8u) << r.out;
        for (int k = 0; k < 8; k++) {
            int first = first_position(k), next = first_position(k + 1);
            double start = first * position_s, end = next * position_s;
            std::string positions = first + 1 == next ? "song position " + std::to_string(first)
                                                      : "song positions " + std::to_string(first) +
                                                            " to " + std::to_string(next - 1);
            EXPECT_EQ(scenes[k], "Scene " + std::to_string(k + 1) + ", " + SCENE_NAMES[k] + " (" +
                                     positions + "): " + two_places(start) + " s to " +
                                     two_places(end) + " s (" + two_places(end - start) + " s)");
        }
        EXPECT_NE(r.out.find("The show ends at " + two_places(30 * position_s) + " s"),
                  std::string::npos)
            << r.out;
        // The scroller runs 1380 ticks (27.6 s) from Scene 8's start, the strip 994 ticks
        // (19.88 s) from Scene 5's; both scenes are shorter here.
        double scroller_end = 22 * position_s + 27.6, strip_end = 14 * position_s + 19.88;
        EXPECT_EQ(lines_starting(r.out, "    its closing scroller").at(0),
                  "    its closing scroller runs for 27.60 s: until " + two_places(scroller_end) +
                      " s, " + two_places(scroller_end - 30 * position_s) +
                      " s after the scene ends");
        EXPECT_EQ(lines_starting(r.out, "    its rolling strip").at(0),
                  "    its rolling strip runs for 19.88 s: until " + two_places(strip_end) +
                      " s, " + two_places(strip_end - 18 * position_s) + " s after the scene ends");
        // Scene 1's positions one by one.
        std::string starts = "    song positions start at: ";
        for (int p = 0; p < 7; p++)
            starts += two_places(p * position_s) + (p < 6 ? " s, " : " s");
        EXPECT_EQ(lines_starting(r.out, "    song positions start at").at(0), starts);
        EXPECT_EQ(
            lines_starting(r.out, "    rows they play").at(0),
            "    rows they play:          " + [&] {
                std::string rows;
                for (int p = 0; p < 7; p++)
                    rows += std::to_string(c.rows) + (p < 6 ? ", " : "");
                return rows;
            }());
    }
}

// Each case changes the good song in one place; the warnings' figures are worked out by hand
// from one row a tick (20 ms).
TEST_F(Check, WarningsNameWhatToChange) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, std::uint32_t>> rows; // position, rows
        int positions;                                   // song positions kept
        std::vector<std::string> warnings;
    } cases[] = {
        {"plays as meant", {}, 31, {}},
        {"ten positions",
         {},
         10,
         // Positions 0 to 9: 960 rows, 19.20 s; Scene 2 is showing when the song stops, and
         // the show ends with it, as xdemo, quab-play and quab-export end it.
         {"music.xm: the song stops after song position 9 at 19.20 s, and the show ends with it "
          "in Scene 2: Scenes 3 to 8 are never shown; give the module at least 30 song "
          "positions (0 to 29)"}},
        // Positions 0 to 29: the show ends with the song after Scene 8 has run its course, as
        // it would at position 30.
        {"thirty positions", {}, 30, {}},
        // Positions 0 to 24: every scene comes, but Scene 8 (3 x 175 rows, 10.50 s) ends with
        // the song before its scroller does.
        {"song stops in Scene 8",
         {},
         25,
         {"Scene 8 lasts 10.50 s, but its closing scroller takes 27.60 s and is cut short: make "
          "song positions 22 to 24 longer by at least 17.10 s, or give the song its positions "
          "up to 29"}},
        {"short fades",
         {{0, 50}, {4, 60}},
         31,
         // Position 4's fade-out stops at level 120, so positions 5 and 6 are not black.
         {"Scene 1 fades in during song position 0, which takes 1.00 s, but the fade takes 2.56 s "
          "and is cut short: make the pattern at song position 0 at least 2.56 s long (128 rows "
          "at its pace)",
          "Scene 1 fades out during song position 4, which takes 1.20 s, but the fade takes "
          "2.56 s and is cut short: make the pattern at song position 4 at least 2.56 s long "
          "(128 rows at its pace)"}},
        {"short Scene 5",
         {{14, 200}, {15, 200}, {16, 200}, {17, 200}},
         31,
         {"Scene 5 lasts 16.00 s, but its rolling strip takes 19.88 s and is cut short: make "
          "song positions 14 to 17 longer by at least 3.88 s"}},
        {"short Scene 7",
         {{21, 40}},
         31,
         // Rows 0 to 39: pictures 1 to 7 come after rows 5, 12, ..., 35; picture 8 needs row 41.
         {"Scene 7's song position 21 plays rows 0 to 39, but its pictures follow rows up to 60: "
          "pictures 8 to 11 of 11 never show; make the pattern at song position 21 at least 61 "
          "rows long"}},
        {"Scene 7 a little short",
         {{21, 58}},
         31,
         {"Scene 7's song position 21 plays rows 0 to 57, but its pictures follow rows up to 60: "
          "its last picture is cut short; make the pattern at song position 21 at least 61 rows "
          "long"}},
        {"short Scene 8",
         {{22, 100}, {23, 100}, {24, 100}, {25, 100}, {26, 100}, {27, 100}, {28, 100}, {29, 100}},
         31,
         {"Scene 8 lasts 16.00 s, but its closing scroller takes 27.60 s and is cut short: make "
          "song positions 22 to 29 longer by at least 11.60 s"}},
        {"long break",
         {{5, 250}, {6, 250}},
         31,
         // Position 4 starts at tick 470; the frame of tick t shows level 2 (t - 470), black
         // from 239, so from tick 590 (11.80 s) until Scene 2's first frame at tick 1110. The
         // level is 255 from tick 598 to the end: Scene 1's own fade, through position 6. To
         // keep it within 3 s, 7.40 s go: 370 rows of 20 ms.
         {"the picture is black from 11.80 s to 22.20 s (10.40 s, Scene 1, song positions 4 to 6): "
          "Scene 1 has faded out to black, its own fade, which no picture can change: shorten "
          "song positions 4 to 6 by at least 7.40 s (370 rows at their pace), so that the black "
          "lasts at most 3.00 s"}},
    };
    std::string dat = assets(bright_records());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Song s = good_song();
        for (auto [p, rows] : c.rows)
            s.rows[p] = rows;
        s.rows.resize(c.positions);
        std::string xm = song(s);
        RunResult r = check(dat, xm);
        std::vector<std::string> expected;
        for (std::string w : c.warnings) {
            if (w.rfind("music.xm:", 0) == 0)
                w = xm + w.substr(8);
            expected.push_back("Warning: " + w);
        }
        EXPECT_EQ(lines_starting(r.out, "Warning: "), expected) << r.out;
        EXPECT_EQ(r.status, c.warnings.empty() ? 0 : 1) << r.out << r.err;
        EXPECT_EQ(r.out.find("The show plays as meant.") != std::string::npos, c.warnings.empty());
    }
}

// The short answer before the warnings: each need of the show in seconds and in rows at the
// song's pace (20 ms a row here), what the song plays of it and how far it falls short.
TEST_F(Check, NeedsSayHowFarTheSongIs) {
    std::string dat = assets(bright_records());
    Song ten = good_song();
    ten.rows.resize(10);
    RunResult r = check(dat, song(ten));
    std::size_t at = r.out.find("What the show needs");
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_LT(at, r.out.find("Warning: ")) << r.out;
    EXPECT_EQ(
        r.out.substr(at, r.out.find("\n\n", at) - at + 1),
        "What the show needs from a module (rows at this song's pace), and this song:\n"
        "    song positions 0 to 29: plays 0 to 9: 20 too few\n"
        "    song position 0 (Scene 1 fades in): 2.56 s = 128 rows; plays 140 rows (2.80 s): "
        "enough\n"
        "    song position 2 (Scene 1 fades out): 2.56 s = 128 rows; plays 140 rows (2.80 s): "
        "enough\n"
        "    song position 3 (Scene 1 fades in): 2.56 s = 128 rows; plays 140 rows (2.80 s): "
        "enough\n"
        "    song position 4 (Scene 1 fades out): 2.56 s = 128 rows; plays 140 rows (2.80 s): "
        "enough\n"
        "    song position 2 (Scene 1 black after fading out): at most 5.56 s = 278 rows; plays "
        "140 rows (2.80 s): enough\n"
        "    song positions 4 to 6 (Scene 1 black after fading out): at most 5.56 s = 278 rows; "
        "plays 190 rows (3.80 s): enough\n"
        "    song positions 14 to 17 (Scene 5's strip): 19.88 s = 994 rows; never played: short "
        "by 19.88 s, 994 rows\n"
        "    song position 21 (Scene 7's pictures): 61 rows; never played: short by 61 rows\n"
        "    song positions 22 to 29 (Scene 8's scroller): 27.60 s = 1380 rows; never played: "
        "short by 27.60 s, 1380 rows\n"
        "This song meets 6 of the 10.\n");

    // Scene 5 at 200 rows a position (800 rows, 16 s) and Scene 7 at 40 rows.
    Song shorter = good_song();
    for (int p = 14; p <= 17; p++)
        shorter.rows[p] = 200;
    shorter.rows[21] = 40;
    r = check(dat, song(shorter));
    EXPECT_EQ(lines_starting(r.out, "    song positions 14 to 17"),
              std::vector<std::string>{"    song positions 14 to 17 (Scene 5's strip): 19.88 s = "
                                       "994 rows; plays 800 rows (16.00 s): short by 3.88 s, 194 "
                                       "rows"})
        << r.out;
    EXPECT_EQ(lines_starting(r.out, "    song position 21"),
              std::vector<std::string>{"    song position 21 (Scene 7's pictures): 61 rows; plays "
                                       "40 rows (0.80 s): short by 21 rows"})
        << r.out;
    EXPECT_NE(r.out.find("This song meets 8 of the 10."), std::string::npos) << r.out;
}

// A song that stops short of the show's last position: every shortfall the needs list counts has
// a warning saying what to change, and a scene's start list with positions never played ends
// cleanly. One row a tick (20 ms): positions 0 to 9 of the good song are 960 rows (19.20 s), 10
// to 26 another 2639 and 27, 28 256 each here (82.22 s in all: 22 to 28 outlast the scroller's
// 1380 ticks); Scene 3 is positions 10 and 11, Scene 8 22 to 29.
TEST_F(Check, ShortSongsAreWarnedAboutAndListedCleanly) {
    struct Case {
        std::size_t positions;
        const char* too_few; // the needs list's verdict on the song positions
        const char* warning; // after "Warning: <module>: the song stops after song position "
        const char* starts;  // the start list of the last scene shown, its last entries
    };
    const Case cases[] = {
        {30 - 1, "plays 0 to 28: 1 too few",
         "28 at 82.22 s, 1 position before the show's last, and Scene 8 ends with it; give the "
         "module at least 30 song positions (0 to 29)",
         ", -"},
        {11, "plays 0 to 10: 19 too few", "10 at 21.20 s, and the show ends with it in Scene 3",
         "19.20 s, -"},
    };
    std::string dat = assets(bright_records());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.positions);
        Song s = good_song();
        s.rows.resize(c.positions);
        if (s.rows.size() > 28) // Scene 8's 22 to 28 then outlast its scroller
            s.rows[27] = s.rows[28] = 256;
        RunResult r = check(dat, song(s));
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_NE(r.out.find(std::string("    song positions 0 to 29: ") + c.too_few + "\n"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("Warning: " + root + "/music.xm: the song stops after song position " +
                             c.warning),
                  std::string::npos)
            << r.out;
        std::vector<std::string> starts = lines_starting(r.out, "    song positions start at");
        ASSERT_FALSE(starts.empty()) << r.out;
        const std::string& last = starts.back();
        EXPECT_EQ(last.substr(last.size() - std::strlen(c.starts)), c.starts) << last;
    }
}

// A song that jumps back never reaches the show's end: the mixer gives up after 30 minutes.
TEST_F(Check, SongThatLoopsBackIsWarnedAbout) {
    // Positions 0 to 11 of the good song, the last row of position 11 jumping back to 3.
    Song s = good_song();
    s.rows.resize(12);
    std::string xm = root + "/music.xm";
    XmModule m;
    m.channels = 2;
    XmSample sample;
    sample.data8 = {0, 60, 0, -60};
    XmInstrument ins;
    ins.samples.push_back(sample);
    m.instruments.push_back(ins);
    for (std::uint32_t p = 0; p < s.rows.size(); p++) {
        m.patterns.push_back(xm_empty_pattern(s.rows[p], m.channels));
        m.orders.push_back(std::uint8_t(p));
    }
    xm_cell(m.patterns[11], m.channels, s.rows[11] - 1, 0) =
        XmCell{0, 0, 0, XM_FX_POSITION_JUMP, 3};
    m.speed = 1;
    m.bpm = 125;
    Result written = xm_write_file(m, xm.c_str());
    ASSERT_TRUE(written.ok) << written.reason;

    RunResult r = check(assets(bright_records()), xm);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(lines_starting(r.out, "Warning: "),
              std::vector<std::string>{
                  "Warning: " + xm +
                  ": after 30 minutes the song has still not passed song position "
                  "29 (it jumps back to an earlier position), so the show will not end by itself "
                  "and keeps showing Scene 3: make the song run on to position 30"})
        << r.out;
    EXPECT_NE(r.out.find("Scene 3, twin-light bump map (song positions 10 to 11): from 19.20 s, "
                         "and never ends"),
              std::string::npos)
        << r.out;
}

// Keyed pictures held against their keys: a word painted too dark, an overlay exactly at
// KEY_LOW (the test is strictly greater), and a scroller with under 0.5% of its Pixels above
// KEY_HIGH.
TEST_F(Check, KeyedPicturesThatNeverOrHardlyShow) {
    AssetRecords records = bright_records();
    records[18].assign(records[18].size(), 0xFF303030u); // opaque, too dark for KEY_HIGH
    records[5].assign(records[5].size(), 0xFF555555u);   // KEY_LOW itself
    records[29].assign(records[29].size(), 0x00FFFFFFu); // transparent white
    for (int i = 0; i < 4000; i++)
        records[29][i * 240] = 0xFFAAAAABu; // just above KEY_HIGH
    RunResult r = check(assets(records), song(good_song()));
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    std::string how_low = "paint what should show fully opaque (alpha 255) and brighter than "
                          "#555555 (docs/assets.md, \"How the key byte works\")";
    std::string how_high = "paint what should show fully opaque (alpha 255) and brighter than "
                           "#AAAAAA (docs/assets.md, \"How the key byte works\")";
    std::string dat = root + "/quab.dat";
    EXPECT_EQ(lines_starting(r.out, "Warning: "),
              (std::vector<std::string>{
                  "Warning: " + dat +
                      ": asset 5 (scene2-overlay-1, Scene 2 overlay at song position 7) has no "
                      "Pixel above its key (KEY_LOW), so it never shows: " +
                      how_low,
                  "Warning: " + dat +
                      ": asset 18 (scene7-word-1, Scene 7 first picture) has no Pixel above its "
                      "key (KEY_HIGH), so it never shows: " +
                      how_high,
                  "Warning: " + dat +
                      ": asset 29 (scene8-scroller, Scene 8 scroller) has only 4000 of its "
                      "960000 Pixels above its key (KEY_HIGH), so it hardly shows: " +
                      how_high}))
        << r.out;
}

// Files the show refuses: the plan of what can be read is still printed, the status is 2.
TEST_F(Check, UnusableFilesAreNamed) {
    std::string xm = song(good_song());
    AssetRecords records = bright_records();
    records[29].pop_back(); // one Pixel short of the scroller
    std::string short_dat = assets(records, "short.dat");
    RunResult r = check(short_dat, xm);
    EXPECT_EQ(r.status, 2) << r.out << r.err;
    // The refusal on standard error, the plan alone on standard output.
    EXPECT_NE(r.err.find("quab-check: cannot play: " + short_dat +
                         ": not the show's asset file: asset 29 is 3839996 bytes; it needs "
                         "3840000; make it with quab-assets build\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out.find("cannot play"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("The show ends at 82.48 s"), std::string::npos) << r.out;

    // A file ending in two stray bytes after its last record.
    std::string torn = assets(bright_records(), "torn.dat");
    ASSERT_TRUE(write_bytes(root + "/stray", {1, 2}));
    ASSERT_EQ(run_command("cat " + root + "/stray >> " + torn).status, 0);
    r = check(torn, xm);
    EXPECT_EQ(r.status, 2) << r.out << r.err;
    EXPECT_NE(r.err.find("quab-check: cannot play: " + torn +
                         ": cannot load the asset file: it ends inside a record; make it with "
                         "quab-assets build"),
              std::string::npos)
        << r.err;

    // Not a module, and no module at all.
    ASSERT_TRUE(write_bytes(root + "/noise.xm", std::vector<unsigned char>(4000, 0x5A)));
    for (const std::string& bad : {root + "/noise.xm", root + "/missing.xm"}) {
        SCOPED_TRACE(bad);
        r = check(assets(bright_records()), bad);
        EXPECT_EQ(r.status, 2) << r.out << r.err;
        EXPECT_EQ(r.err.rfind("quab-check: cannot play: " + bad + ": cannot load the module", 0),
                  0u)
            << r.err;
        EXPECT_EQ(r.out.find("Plan of the show"), std::string::npos) << r.out;
    }
}

// The scene lines of a plan: each scene's start and end, or -1 for a scene never shown.
struct SceneTimes {
    double start[SCENE_COUNT], end[SCENE_COUNT];
};
SceneTimes scene_times(const std::string& out) {
    SceneTimes t;
    for (int k = 0; k < SCENE_COUNT; k++) {
        t.start[k] = t.end[k] = -1;
        std::vector<std::string> line = lines_starting(out, "Scene " + std::to_string(k + 1) + ",");
        std::size_t colon = line.empty() ? std::string::npos : line[0].find("): ");
        if (colon != std::string::npos)
            std::sscanf(line[0].c_str() + colon + 3, "%lf s to %lf s", &t.start[k], &t.end[k]);
    }
    return t;
}

// Songs of every shape that do not meet the show's needs: the show is fitted to them, every
// scene comes in order, the show ends with the song's first pass (a row is 2.5 x speed / tempo
// seconds), and nothing is black for long.
TEST_F(Check, FittedShowShowsEveryScene) {
    std::string dat = assets(bright_records());
    struct Case {
        std::vector<std::string> args;
        double end_s;    // positions x rows x 2.5 x speed / tempo
        double within_s; // a song that loops ends within a row of its first pass
    } cases[] = {
        {{"--positions", "1", "--rows", "64", "--speed", "6", "--bpm", "125"}, 7.68, 0.02},
        {{"--positions", "16", "--rows", "64", "--speed", "1", "--bpm", "125"}, 20.48, 0.02},
        {{"--positions", "64", "--rows", "16", "--speed", "3", "--bpm", "150"}, 51.2, 0.02},
        // A player tick of 2.5 / 200 s is 551 whole samples: 4096 ticks end at 51.177 s.
        {{"--positions", "8", "--rows", "256", "--speed", "2", "--bpm", "200"}, 51.177, 0.02},
        // The player shows a jump back on the row that makes it, so a song that loops ends a
        // row before its first pass. 48 of 64 rows a pattern, position 11 back to 4: 12 x 48 - 1
        // rows of 0.06 s.
        {{"--positions", "12", "--rows", "64", "--speed", "3", "--bpm", "125", "--break", "48",
          "--jump-back", "4"},
         34.50,
         0.02},
        // Back to the start after 20 x 64 - 1 rows of 0.12 s.
        {{"--positions", "20", "--rows", "64", "--speed", "6", "--bpm", "125", "--jump-back", "0"},
         153.48,
         0.02},
    };
    for (const Case& c : cases) {
        std::string shape;
        for (const std::string& a : c.args)
            shape += a + " ";
        SCOPED_TRACE(shape);
        RunResult r = check({"--assets", dat, "--music", testmod(c.args)});
        ASSERT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_NE(r.out.find(", fitted to the song: the scenes share its "), std::string::npos)
            << r.out;
        SceneTimes t = scene_times(r.out);
        EXPECT_EQ(t.start[0], 0) << r.out;
        for (int k = 0; k < SCENE_COUNT; k++) {
            EXPECT_LT(t.start[k], t.end[k]) << "Scene " << k + 1 << "\n" << r.out;
            if (k > 0) {
                EXPECT_EQ(t.start[k], t.end[k - 1]) << "Scene " << k + 1 << "\n" << r.out;
            }
        }
        EXPECT_NEAR(t.end[SCENE_COUNT - 1], c.end_s, c.within_s) << r.out;
        EXPECT_EQ(r.out.find("the picture is black from"), std::string::npos) << r.out;
    }
}

// --no-fit keeps the song's own positions; a song that meets the show's needs is not fitted
// unless --fit asks.
TEST_F(Check, FittingAsAsked) {
    std::string dat = assets(bright_records());
    std::string short_song =
        testmod({"--positions", "16", "--rows", "64", "--speed", "1", "--bpm", "125"});
    std::string whole_song = song(good_song());
    struct Case {
        std::string music;
        const char* option;
        bool fitted;
        int last_scene; // 1-based
    } cases[] = {
        {short_song, "--no-fit", false, 5}, // 16 positions reach Scene 5 (14 to 17)
        {whole_song, nullptr, false, 8},
        {whole_song, "--fit", true, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.music + " " + (c.option ? c.option : ""));
        std::vector<std::string> args = {"--assets", dat, "--music", c.music};
        if (c.option)
            args.push_back(c.option);
        RunResult r = check(args);
        EXPECT_EQ(r.out.find("fitted to the song") != std::string::npos, c.fitted) << r.out;
        SceneTimes t = scene_times(r.out);
        int last = 0;
        while (last < SCENE_COUNT && t.start[last] >= 0)
            last++;
        EXPECT_EQ(last, c.last_scene) << r.out;
    }
}

// With no options it reads quab.dat and music.xm in the current folder.
TEST_F(Check, ReadsTheShowsFilesFromTheCurrentFolder) {
    assets(bright_records());
    song(good_song());
    CommandResult r = run_command("cd " + root + " && " + QUAB_CHECK_PATH);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Plan of the show (quab.dat, music.xm):"), std::string::npos)
        << r.output;
}

TEST_F(Check, CommandLine) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* out; // expected at the start of standard output
        const char* err; // expected at the start of standard error
    } cases[] = {
        {{"--help"}, 0, "Checks a show's asset file", ""},
        {{"--loud"}, 2, "", "quab-check: unknown option --loud\nTry 'quab-check --help'.\n"},
        {{"music.xm"},
         2,
         "",
         "quab-check: unexpected argument music.xm\nTry 'quab-check --help'.\n"},
        {{"--fit", "--no-fit"},
         2,
         "",
         "quab-check: --fit and --no-fit contradict each other; give one of them\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        RunResult r = check(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << r.out;
        EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << r.err;
    }
}

} // namespace
