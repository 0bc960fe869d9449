// quab-check's plan held to quab-export's video of the same show: the module mixed by both, the
// scene each video frame shows told by its colour (every asset one flat colour, so that each
// scene paints the frame's first pixel in a colour of its own), against the scene the plan puts
// at the frame's time; and where the show ends, for whole songs and songs that stop early.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <zlib.h>

#include "core/timeline.h"
#include "tests/support/process.h"
#include "tests/support/test_support.h"

namespace {

// Flat colours: Scene 1 sums two layers of (0x10, 0x20, 0) behind fully keyed masks and fades
// the sum down; Scene 2 flashes a (0, 0, 0x40) texture up; Scene 3 lights nothing (a black
// light map), so it is black; Scenes 4, 5 and 8 key a flat picture over the whole frame;
// Scenes 6 and 7 show a flat full-frame picture (Scene 6's panels add the black light map).
constexpr Pixel SCENE4_OVERLAY = 0xFFC03030u;
constexpr Pixel SCENE5_TUNNEL = 0xFF60C030u;
constexpr Pixel SCENE6_PICTURE = 0x00901090u;
constexpr Pixel SCENE7_BACKGROUND = 0x003060C0u;
constexpr Pixel SCENE8_SCROLLER = 0xFFE0B0F0u;

AssetRecords flat_records() {
    AssetRecords r = default_asset_records(0); // keyed ones transparent, the rest black
    r[ASSET_LAYER0].assign(r[ASSET_LAYER0].size(), 0x00102000u);
    r[ASSET_LAYER1].assign(r[ASSET_LAYER1].size(), 0x00102000u);
    for (int n : {ASSET_SCENE1_MASK_EARLY, ASSET_SCENE1_MASK_LATE})
        r[n].assign(r[n].size(), 0xFFFFFFFFu);
    r[ASSET_SCENE2_TEXTURE].assign(r[ASSET_SCENE2_TEXTURE].size(), 0x00000040u);
    for (int i = 0; i < SCENE4_OVERLAYS; i++)
        r[ASSET_SCENE4_OVERLAY_1 + i].assign(r[ASSET_SCENE4_OVERLAY_1 + i].size(), SCENE4_OVERLAY);
    r[ASSET_SCENE5_TUNNEL].assign(r[ASSET_SCENE5_TUNNEL].size(), SCENE5_TUNNEL);
    r[ASSET_SCENE6_PICTURE].assign(r[ASSET_SCENE6_PICTURE].size(), SCENE6_PICTURE);
    r[ASSET_SCENE7_BACKGROUND].assign(r[ASSET_SCENE7_BACKGROUND].size(), SCENE7_BACKGROUND);
    r[ASSET_SCENE8_SCROLLER].assign(r[ASSET_SCENE8_SCROLLER].size(), SCENE8_SCROLLER);
    return r;
}

// The scenes (1-based) a pixel's colour can come from.
std::set<int> scenes_of(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    auto is = [&](Pixel p) {
        return r == ((p >> 16) & 0xFF) && g == ((p >> 8) & 0xFF) && b == (p & 0xFF);
    };
    if (r == 0 && g == 0 && b == 0)
        return {1, 3};
    // Scene 1: (0x20, 0x40, 0) less the fade level in each channel, down to 0.
    if (b == 0 && r <= 0x20 && g <= 0x40 && g >= r && (r == 0 || g == r + 0x20))
        return {1};
    // Scene 2: the flash level added to (0, 0, 0x40), each channel up to 255.
    if (r == g && b == std::min(0x40u + r, 255u))
        return {2};
    if (is(SCENE4_OVERLAY))
        return {4};
    if (is(SCENE5_TUNNEL))
        return {5};
    if (is(SCENE6_PICTURE))
        return {6};
    if (is(SCENE7_BACKGROUND))
        return {7};
    if (is(SCENE8_SCROLLER))
        return {8};
    return {};
}

// The page's tick table: base64 of gzip of a little-endian 16-bit song position and row a tick.
bool page_ticks(const std::string& html, std::vector<std::int16_t>* positions) {
    const std::string open = "<script type=\"text/plain\" id=\"ticks\">";
    std::size_t at = html.find(open);
    std::size_t end = at == std::string::npos ? at : html.find("</script>", at);
    if (end == std::string::npos)
        return false;
    std::string gz;
    std::uint32_t bits = 0;
    int count = 0;
    for (std::size_t i = at + open.size(); i < end; i++) {
        char c = html[i];
        int v = c >= 'A' && c <= 'Z'   ? c - 'A'
                : c >= 'a' && c <= 'z' ? c - 'a' + 26
                : c >= '0' && c <= '9' ? c - '0' + 52
                : c == '+'             ? 62
                : c == '/'             ? 63
                                       : -1;
        if (v < 0)
            continue;
        bits = bits << 6 | static_cast<std::uint32_t>(v);
        if ((count += 6) >= 8) {
            count -= 8;
            gz += static_cast<char>(bits >> count & 0xFF);
        }
    }
    std::string table(1 << 24, '\0');
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK)
        return false;
    z.next_in = reinterpret_cast<Bytef*>(gz.data());
    z.avail_in = static_cast<uInt>(gz.size());
    z.next_out = reinterpret_cast<Bytef*>(table.data());
    z.avail_out = static_cast<uInt>(table.size());
    bool ok = inflate(&z, Z_FINISH) == Z_STREAM_END;
    table.resize(z.total_out);
    inflateEnd(&z);
    for (std::size_t i = 0; ok && i + 3 < table.size(); i += 4)
        positions->push_back(static_cast<std::int16_t>(
            static_cast<unsigned char>(table[i]) | static_cast<unsigned char>(table[i + 1]) << 8));
    return ok;
}

struct PlannedScene {
    bool shown;
    double start_s, end_s; // end_s < 0: never ends
};

// The scene lines and the end line of quab-check's plan.
bool read_plan(const std::string& out, PlannedScene scenes[SCENE_COUNT], double* end_s) {
    int found = 0;
    *end_s = -1;
    std::size_t at = 0;
    while (at < out.size()) {
        std::size_t nl = out.find('\n', at);
        std::string line = out.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        at = nl == std::string::npos ? out.size() : nl + 1;
        int k;
        double a, b;
        if (std::sscanf(line.c_str(), "The show ends at %lf s", &a) == 1)
            *end_s = a;
        if (std::sscanf(line.c_str(), "Scene %d,", &k) != 1 || k < 1 || k > SCENE_COUNT)
            continue;
        std::size_t colon = line.find("): ");
        if (colon == std::string::npos)
            continue;
        std::string rest = line.substr(colon + 3);
        found++;
        if (rest == "never shown")
            scenes[k - 1] = {false, 0, 0};
        else if (std::sscanf(rest.c_str(), "%lf s to %lf s", &a, &b) == 2)
            scenes[k - 1] = {true, a, b};
        else if (std::sscanf(rest.c_str(), "from %lf s", &a) == 1)
            scenes[k - 1] = {true, a, -1};
        else
            return false;
    }
    return found == SCENE_COUNT;
}

class Agreement : public ::testing::Test {
  protected:
    void SetUp() override { root = make_temp_dir(); }
    void TearDown() override {
        if (!HasFailure())
            std::filesystem::remove_all(root);
    }
    std::string root;
};

TEST_F(Agreement, PlanAndVideoShowTheSameScenesAndEndTogether) {
    std::string dat = root + "/quab.dat";
    ASSERT_TRUE(write_asset_file(dat, flat_records()));
    // Rows of 2.5 x 3 / 131 s (57.3 ms): no scene change falls on a frame's time. On the song's
    // own positions (--no-fit), 31 positions play the whole show (position 30 ends it); the
    // others stop in Scene 1, in Scene 5 and in Scene 8, where the show ends with the song.
    // Fitted, every song shows Scene 8 last, looping or not.
    struct Case {
        int positions;
        bool fit;
        const char* jump_back; // or null
        int last_scene;        // 1-based
    } cases[] = {{31, false, nullptr, 8}, {5, false, nullptr, 1}, {16, false, nullptr, 5},
                 {25, false, nullptr, 8}, {5, true, nullptr, 8},  {16, true, nullptr, 8},
                 {64, true, nullptr, 8},  {12, true, "3", 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.positions) + " positions" + (c.fit ? ", fitted" : "") +
                     (c.jump_back ? ", looping" : ""));
        std::string xm = root + "/music.xm";
        Child mod = child_of({QUAB_TESTMOD_PATH, xm, "--positions", std::to_string(c.positions),
                              "--rows", "5", "--speed", "3", "--bpm", "131"});
        if (c.jump_back)
            mod.argv.insert(mod.argv.end(), {"--jump-back", c.jump_back});
        ASSERT_EQ(run_child(mod, root).status, 0);
        std::string fitting = c.fit ? "--fit" : "--no-fit";

        RunResult check =
            run_child(child_of({QUAB_CHECK_PATH, "--assets", dat, "--music", xm, fitting}), root);
        ASSERT_NE(check.status, 2) << check.out << check.err;
        PlannedScene plan[SCENE_COUNT];
        double end_s;
        ASSERT_TRUE(read_plan(check.out, plan, &end_s)) << check.out;
        ASSERT_GT(end_s, 0) << check.out;
        int last = 0;
        while (last + 1 < SCENE_COUNT && plan[last + 1].shown)
            last++;
        EXPECT_EQ(last + 1, c.last_scene) << check.out;

        std::string video = root + "/show.mkv";
        std::filesystem::remove(video);
        RunResult exported = run_child(child_of({QUAB_EXPORT_PATH, "--assets", dat, "--music", xm,
                                                 "--scale", "1", "--lossless", fitting, video}),
                                       root);
        ASSERT_EQ(exported.status, 0) << exported.out << exported.err;
        std::size_t frames = 0;
        ASSERT_EQ(std::sscanf(exported.out.substr(exported.out.find(": ") + 2).c_str(),
                              "%zu frames at 50 fps", &frames),
                  1)
            << exported.out;
        // The video's frames are 20 ms apart and stop at the first one the show has ended by.
        EXPECT_GE(frames / 50.0, end_s - 0.006) << exported.out << check.out;
        EXPECT_LT((frames - 1) / 50.0, end_s + 0.006) << exported.out << check.out;
        EXPECT_EQ(exported.err.find("the video ends with it") != std::string::npos,
                  !c.fit && c.positions < SHOW_POSITIONS + 1)
            << exported.err;

        // A fitted show's web page: the same ticks as the video's frames, each in the scene the
        // plan puts there.
        if (c.fit) {
            std::string page = root + "/show.html";
            std::filesystem::remove(page);
            RunResult paged = run_child(
                child_of({QUAB_EXPORT_PATH, "--assets", dat, "--music", xm, fitting, page}), root);
            ASSERT_EQ(paged.status, 0) << paged.out << paged.err;
            std::vector<std::int16_t> ticks;
            ASSERT_TRUE(page_ticks(slurp(page), &ticks));
            EXPECT_EQ(ticks.size(), frames);
            for (std::size_t k = 0; k < ticks.size(); k++) {
                double t = k / 50.0;
                int planned = 0;
                bool near_change = false;
                for (int s = 0; s < SCENE_COUNT; s++) {
                    near_change = near_change || std::fabs(t - plan[s].start_s) < 0.006;
                    if (plan[s].start_s <= t)
                        planned = s + 1;
                }
                if (!near_change) {
                    ASSERT_EQ(scene_at_position(ticks[k]) + 1, planned) << "tick " << k;
                }
            }
        }

        // The first pixel of every frame, as the video holds it.
        std::string pixels = root + "/pixels.raw";
        RunResult decoded =
            run_child(child_of({"/usr/bin/ffmpeg", "-v", "error", "-i", video, "-vf",
                                "crop=1:1:0:0", "-fps_mode", "passthrough", "-f", "rawvideo",
                                "-pix_fmt", "rgb24", "-y", pixels}),
                      root);
        ASSERT_EQ(decoded.status, 0) << decoded.err;
        std::string rgb = slurp(pixels);
        ASSERT_EQ(rgb.size(), 3 * frames);
        int disagreements = 0;
        for (std::size_t k = 0; k < frames && disagreements < 5; k++) {
            double t = k / 50.0;
            int planned = 0;
            bool near_change = false;
            for (int s = 0; s < SCENE_COUNT; s++) {
                if (!plan[s].shown)
                    continue;
                near_change = near_change || std::fabs(t - plan[s].start_s) < 0.006;
                if (plan[s].start_s <= t)
                    planned = s + 1;
            }
            if (near_change)
                continue; // the plan's times are rounded to 10 ms
            std::set<int> seen = scenes_of(static_cast<unsigned char>(rgb[3 * k]),
                                           static_cast<unsigned char>(rgb[3 * k + 1]),
                                           static_cast<unsigned char>(rgb[3 * k + 2]));
            if (!seen.count(planned)) {
                disagreements++;
                ADD_FAILURE() << "frame " << k << " (" << t << " s): the plan says Scene "
                              << planned << ", the video shows colour "
                              << int(static_cast<unsigned char>(rgb[3 * k])) << ","
                              << int(static_cast<unsigned char>(rgb[3 * k + 1])) << ","
                              << int(static_cast<unsigned char>(rgb[3 * k + 2]));
            }
        }
        // The last frame shows the scene the plan ends the show in.
        EXPECT_TRUE(scenes_of(static_cast<unsigned char>(rgb[3 * frames - 3]),
                              static_cast<unsigned char>(rgb[3 * frames - 2]),
                              static_cast<unsigned char>(rgb[3 * frames - 1]))
                        .count(c.last_scene));
    }
}

} // namespace
