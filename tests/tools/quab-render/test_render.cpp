// quab-render run as a child process: its argument and input errors (exit 2, one message on
// standard error, nothing left behind), tiny runs over generated asset files, the pass that ends
// the show, the PNG output and the table dump.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <png.h>

#include "tests/support/process.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

// Runs quab-render with args, its output captured in files of dir. A file size limit, when
// given, makes the child's writes fail past that many bytes.
RunResult run_render(const std::vector<std::string>& args, const std::string& dir,
                     rlim_t file_size_limit = 0) {
    Child c = child_of({QUAB_RENDER_PATH});
    c.argv.insert(c.argv.end(), args.begin(), args.end());
    c.file_size_limit = file_size_limit;
    return run_child(c, dir);
}

std::vector<std::string> pass_lines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("pass ", 0) == 0)
            lines.push_back(line);
    return lines;
}

void write_text(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::int32_t> read_le_words(const std::string& path) {
    std::string bytes = slurp(path);
    std::vector<std::int32_t> words(bytes.size() / 4);
    for (std::size_t i = 0; i < words.size(); i++) {
        std::uint32_t w = 0;
        for (int b = 0; b < 4; b++)
            w |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i * 4 + b]))
                 << (8 * b);
        words[i] = static_cast<std::int32_t>(w);
    }
    return words;
}

class Render : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = make_temp_dir();
        ASSERT_FALSE(dir.empty());
        assets = dir + "/assets.dat";
        ASSERT_TRUE(write_asset_file(assets, default_asset_records(0xFF808080u)));
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string dir;
    std::string assets;
};

TEST_F(Render, ArgumentErrorsExitTwoWithUsage) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"a.dat"},
        {"a.dat", "t.txt"},
        {"a.dat", "t.txt", "out", "--gif"},
        {"a.dat", "t.txt", "out", "--png", "extra"},
        {"--dump-tables"},
        {"--dump-tables", "out", "more"},
    };
    for (const std::vector<std::string>& args : cases) {
        RunResult r = run_render(args, dir);
        std::string shown =
            args.empty() ? "(none)" : args[0] + "... (" + std::to_string(args.size()) + " args)";
        EXPECT_EQ(r.status, 2) << shown;
        EXPECT_EQ(r.err.rfind("quab-render: ", 0), 0u) << shown << ": " << r.err;
        EXPECT_NE(r.err.find("\nTry 'quab-render --help'.\n"), std::string::npos) << shown;
        EXPECT_EQ(r.out, "") << shown;
    }
    EXPECT_FALSE(fs::exists(dir + "/out"));
}

TEST_F(Render, BadFilesExitTwoWithOneMessageAndLeaveNothing) {
    AssetRecords records = default_asset_records(0);
    records.pop_back();
    ASSERT_TRUE(write_asset_file(dir + "/short.dat", records));
    records = default_asset_records(0);
    records[ASSET_SCENE7_WORD_1].pop_back();
    ASSERT_TRUE(write_asset_file(dir + "/small.dat", records));
    write_text(dir + "/good.txt", "0 0 0\n");
    write_text(dir + "/bad.txt", "# two passes\n0 0 0\n1 2\n");
    write_text(dir + "/plain", "not a directory\n");
    std::string many;
    for (int i = 0; i < 100001; i++)
        many += "0 0 0\n";
    write_text(dir + "/many.txt", many);

    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::string out = dir + "/out";
    const Case cases[] = {
        {{dir + "/missing.dat", dir + "/good.txt", out},
         dir + "/missing.dat: cannot load the asset file: No such file or directory"},
        {{dir + "/short.dat", dir + "/good.txt", out},
         dir + "/short.dat: not the show's asset file: holds 29 assets; the show needs 30"},
        {{dir + "/small.dat", dir + "/good.txt", out},
         dir + "/small.dat: not the show's asset file: asset 18 is 65996 bytes; it needs 66000"},
        {{assets, dir + "/missing.txt", out},
         dir + "/missing.txt: cannot open: No such file or directory"},
        {{assets, dir, out}, dir + ": not a regular file"},
        {{dir, dir + "/good.txt", out}, dir + ": not a regular file"},
        {{assets, dir + "/bad.txt", out},
         dir + "/bad.txt: line 3: missing field patpos (expected tick_count sngpos patpos)"},
        {{assets, dir + "/many.txt", out},
         dir + "/many.txt: 100001 passes; frame names have five digits, so at most 100000 fit"},
        {{assets, dir + "/good.txt", dir + "/plain"},
         dir + "/plain: the output path is not a directory"},
        {{assets, dir + "/good.txt", dir + "/plain/sub"},
         dir + "/plain/sub: cannot create the output directory: Not a directory"},
        {{"--dump-tables", dir + "/plain"}, dir + "/plain: the output path is not a directory"},
    };
    for (const Case& c : cases) {
        RunResult r = run_render(c.args, dir);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
        EXPECT_EQ(r.err.rfind("quab-render: " + c.message, 0), 0u) << r.err;
        EXPECT_EQ(r.out, "") << c.message;
        EXPECT_FALSE(fs::exists(out)) << c.message;
    }
}

TEST_F(Render, TinyRunWritesOneRawFramePerPass) {
    write_text(dir + "/t.txt", "# tick sngpos patpos\n0 0 0\n\n1 0 0\n");
    RunResult r = run_render({assets, dir + "/t.txt", dir + "/out"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(pass_lines(r.out),
              (std::vector<std::string>{"pass 0 scene_index 0", "pass 1 scene_index 0"}));
    EXPECT_EQ(names_in(dir + "/out"),
              (std::set<std::string>{"frame_00000.raw", "frame_00001.raw"}));
    EXPECT_EQ(fs::file_size(dir + "/out/frame_00000.raw"), 307200u);
    EXPECT_EQ(fs::file_size(dir + "/out/frame_00001.raw"), 307200u);
}

TEST_F(Render, SceneIndexFollowsTheSongPosition) {
    write_text(dir + "/t.txt", "0 0 0\n3 7 0\n5 9 0\n9 10 0\n20 29 0\n");
    RunResult r = run_render({assets, dir + "/t.txt", dir + "/out"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pass_lines(r.out),
              (std::vector<std::string>{"pass 0 scene_index 0", "pass 1 scene_index 1",
                                        "pass 2 scene_index 1", "pass 3 scene_index 2",
                                        "pass 4 scene_index 7"}));
}

TEST_F(Render, SongPositionThirtyEndsTheShowInOnePass) {
    write_text(dir + "/t.txt", "0 30 0\n1 30 0\n2 30 0\n");
    RunResult r = run_render({assets, dir + "/t.txt", dir + "/out"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pass_lines(r.out), (std::vector<std::string>{"pass 0 scene_index 8"}));
    EXPECT_EQ(names_in(dir + "/out"), (std::set<std::string>{"frame_00000.raw"}));
}

TEST_F(Render, PngIsAnRgbPictureOfTheFrame) {
    write_text(dir + "/t.txt", "0 0 0\n");
    RunResult r = run_render({assets, dir + "/t.txt", dir + "/out", "--png"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(names_in(dir + "/out"),
              (std::set<std::string>{"frame_00000.png", "frame_00000.raw"}));
    std::string png = slurp(dir + "/out/frame_00000.png");
    ASSERT_GE(png.size(), 26u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    // Width and height big-endian, then bit depth 8 and colour type 2 (RGB, no alpha).
    EXPECT_EQ(png.substr(16, 10), std::string("\0\0\x01\x40\0\0\0\xf0\x08\x02", 10));
}

// The raw file is the frame the pass presented, word for word in little-endian order, and the
// PNG its red, green and blue: checked against the same passes run in this process.
TEST_F(Render, FramesAreThePresentedFrames) {
    AssetRecords records = default_asset_records(0);
    std::uint32_t state = 1;
    for (std::vector<Pixel>& r : records)
        for (Pixel& p : r)
            p = state = state * 1664525u + 1013904223u;
    ASSERT_TRUE(write_asset_file(dir + "/noise.dat", records));
    struct Line {
        std::int32_t tick;
        std::int16_t sngpos;
        std::uint16_t patpos;
    };
    const Line lines[] = {{0, 0, 0}, {4, 2, 10}, {9, 8, 20}, {30, 22, 0}};
    write_text(dir + "/t.txt", "0 0 0\n4 2 10\n9 8 20\n30 22 0\n");
    RunResult r = run_render({dir + "/noise.dat", dir + "/t.txt", dir + "/out", "--png"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;

    ScriptedShow show{};
    ASSERT_TRUE(scripted_show_init(&show, records));
    char name[32];
    for (int pass = 0; pass < 4; pass++) {
        scripted_show_pass(&show, lines[pass].tick, lines[pass].sngpos, lines[pass].patpos);
        std::snprintf(name, sizeof name, "/out/frame_%05d.raw", pass);
        std::vector<std::int32_t> words = read_le_words(dir + name);
        ASSERT_EQ(words.size(), static_cast<std::size_t>(FRAME_PIXELS));
        int differ = 0;
        for (int i = 0; i < FRAME_PIXELS; i++)
            differ += static_cast<Pixel>(words[i]) != show.s.frame[i];
        EXPECT_EQ(differ, 0) << "raw frame of pass " << pass;

        std::snprintf(name, sizeof name, "/out/frame_%05d.png", pass);
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&image, (dir + name).c_str())) << name;
        image.format = PNG_FORMAT_RGB;
        std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
        ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << name;
        ASSERT_EQ(image.width * image.height, static_cast<unsigned>(FRAME_PIXELS));
        differ = 0;
        for (int i = 0; i < FRAME_PIXELS; i++) {
            Pixel p = show.s.frame[i];
            differ += rgb[i * 3] != ((p >> 16) & 0xFF) || rgb[i * 3 + 1] != ((p >> 8) & 0xFF) ||
                      rgb[i * 3 + 2] != (p & 0xFF);
        }
        EXPECT_EQ(differ, 0) << "PNG of pass " << pass;
    }
    scripted_show_free(&show);
}

// A frame that cannot be written whole (here: past a file size limit, as on a full disk) ends
// the run without leaving its partial file under any name.
TEST_F(Render, FailedWriteLeavesNoPartialFrame) {
    write_text(dir + "/t.txt", "0 0 0\n1 0 0\n");
    RunResult r = run_render({assets, dir + "/t.txt", dir + "/out"}, dir, 100000);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "quab-render: " + dir + "/out/frame_00000.raw: cannot write: File too large\n");
    EXPECT_TRUE(pass_lines(r.out).empty());
    EXPECT_TRUE(fs::is_directory(dir + "/out"));
    EXPECT_EQ(names_in(dir + "/out"), std::set<std::string>{});
}

TEST_F(Render, DumpTablesWritesEveryTable) {
    RunResult r = run_render({"--dump-tables", dir + "/tables"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    struct Size {
        const char* name;
        std::uintmax_t bytes;
    };
    const Size sizes[] = {
        {"scroll_x", 1440},        {"scroll_y", 1440},        {"orbit1_x", 1440},
        {"orbit1_y", 1440},        {"orbit2_x", 1440},        {"orbit2_y", 1440},
        {"orbit3_x", 1440},        {"orbit3_y", 1440},        {"wobble", 1024},
        {"polar_angle_a", 307200}, {"polar_depth_a", 307200}, {"polar_angle_b", 307200},
        {"polar_depth_b", 307200},
    };
    std::set<std::string> expected_names;
    for (const Size& s : sizes) {
        std::string path = dir + "/tables/" + s.name + ".raw";
        expected_names.insert(std::string(s.name) + ".raw");
        ASSERT_TRUE(fs::exists(path)) << s.name;
        EXPECT_EQ(fs::file_size(path), s.bytes) << s.name;
    }
    EXPECT_EQ(names_in(dir + "/tables"), expected_names);

    struct Value {
        const char* name;
        std::size_t index;
        std::int32_t value;
    };
    const Value values[] = {
        {"scroll_x", 90, -224},
        {"scroll_y", 359, 120},
        {"orbit1_x", 180, -9},
        {"orbit1_y", 90, 29},
        {"orbit2_x", 180, 79},
        {"orbit2_y", 270, -104},
        {"orbit3_x", 0, -20},
        {"orbit3_y", 90, 94},
        {"wobble", 64, 29},
        {"wobble", 160, -21},
        {"polar_angle_a", 0, 155},
        {"polar_angle_b", 239 * 320 + 319, 26},
        {"polar_depth_b", 38560, INT32_MIN},
        {"polar_depth_b", 38561, 2000},
        {"polar_depth_b", 0, 10},
    };
    for (const Value& v : values)
        EXPECT_EQ(read_le_words(dir + "/tables/" + v.name + ".raw").at(v.index), v.value)
            << v.name << "[" << v.index << "]";
    for (std::int32_t d : read_le_words(dir + "/tables/polar_depth_a.raw"))
        ASSERT_EQ(d, 0);
}

} // namespace
