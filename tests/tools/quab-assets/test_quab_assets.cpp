// quab-assets run as a child process: the file it builds (30 records of the map's sizes that the
// show's own check accepts), the same bytes on every build, PNG replacement of exactly the named
// asset, refusals with exit status 2 naming the file, and the unpack/build round trip.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "tests/support/process.h"
#include "tests/support/test_support.h"
#include "tests/tools/quab-assets/png_bytes.h"

namespace {

namespace fs = std::filesystem;

class QuabAssets : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = make_temp_dir();
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override {
        if (!HasFailure())
            fs::remove_all(dir);
    }

    // args: words split at spaces.
    RunResult run(const std::string& args) {
        Child c = child_of(words_of(std::string(QUAB_ASSETS_PATH) + " " + args));
        return run_child(c, dir);
    }

    // The records of an asset file, cut by their little-endian lengths.
    static std::vector<std::string> records(const std::string& bytes) {
        std::vector<std::string> out;
        std::size_t at = 0;
        while (at + 4 <= bytes.size()) {
            auto b = reinterpret_cast<const unsigned char*>(bytes.data() + at);
            std::size_t length =
                b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::size_t>(b[3]) << 24;
            out.push_back(bytes.substr(at + 4, length));
            at += 4 + length;
        }
        EXPECT_EQ(at, bytes.size()) << "the records do not end with the file";
        return out;
    }

    void write_file(const std::string& path, const std::vector<unsigned char>& bytes) {
        ASSERT_TRUE(write_bytes(path, bytes));
    }

    std::string dir;
};

TEST_F(QuabAssets, BuildWritesThirtyRecordsThatTheShowAccepts) {
    std::string out = dir + "/quab.dat";
    RunResult r = run("build " + out);
    ASSERT_EQ(r.status, 0) << r.err;

    std::uint32_t* lengths = nullptr;
    AssetTable table = load_asset_file(out.c_str(), &lengths);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(asset_count(table), static_cast<std::size_t>(ASSET_COUNT));
    for (int n = 0; n < ASSET_COUNT; n++)
        EXPECT_EQ(lengths[n], asset_bytes_needed(n)) << "asset " << n;
    EXPECT_TRUE(check_asset_table(table, lengths, out.c_str()));
    free_asset_table(table);
    std::free(lengths);
    // 30 length words and 2,571,816 Pixels (the sum of the map's shapes), 4 bytes each.
    EXPECT_EQ(fs::file_size(out), 30u * 4u + 2571816u * 4u);
}

TEST_F(QuabAssets, TwoBuildsAreByteIdentical) {
    ASSERT_EQ(run("build " + dir + "/a.dat").status, 0);
    ASSERT_EQ(run("build " + dir + "/b.dat").status, 0);
    std::string a = slurp(dir + "/a.dat");
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == slurp(dir + "/b.dat"));
}

// Asset 19 by its number alone and by the name unpack gives it.
TEST_F(QuabAssets, FromReplacesExactlyTheAssetItsPngNames) {
    ASSERT_EQ(run("build " + dir + "/default.dat").status, 0);
    std::vector<std::string> original = records(slurp(dir + "/default.dat"));
    ASSERT_EQ(original.size(), 30u);
    // Asset 19 is 200 x 55. Red is the column, green the row, blue 7; odd columns opaque.
    std::vector<std::uint32_t> argb;
    for (int y = 0; y < 55; y++)
        for (int x = 0; x < 200; x++)
            argb.push_back((x % 2 ? 0xFFu : 0x00u) << 24 | static_cast<std::uint32_t>(x) << 16 |
                           static_cast<std::uint32_t>(y) << 8 | 7u);
    for (const char* name : {"19.png", "19-scene7-word-2.png"}) {
        SCOPED_TRACE(name);
        fs::remove_all(dir + "/pictures");
        fs::create_directory(dir + "/pictures");
        write_file(dir + "/pictures/" + name, png_bytes_rgba(200, 55, argb));
        // Not an asset's name: ignored.
        write_file(dir + "/pictures/notes.png", {'x'});
        write_file(dir + "/pictures/30-extra.png", {'x'});

        RunResult r = run("build " + dir + "/edited.dat --from " + dir + "/pictures");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("asset 19 from " + dir + "/pictures/" + name), std::string::npos)
            << r.out;
        std::vector<std::string> edited = records(slurp(dir + "/edited.dat"));
        ASSERT_EQ(edited.size(), 30u);
        for (int n = 0; n < 30; n++) {
            if (n != 19) {
                EXPECT_TRUE(edited[n] == original[n]) << "asset " << n << " changed";
            }
        }

        ASSERT_EQ(edited[19].size(), 200u * 55u * 4u);
        for (int y = 0; y < 55; y++)
            for (int x = 0; x < 200; x++) {
                // Little-endian word: blue, green, red, key.
                const char* p = edited[19].data() + (y * 200 + x) * 4;
                ASSERT_EQ(static_cast<unsigned char>(p[0]), 7) << x << "," << y;
                ASSERT_EQ(static_cast<unsigned char>(p[1]), y) << x << "," << y;
                ASSERT_EQ(static_cast<unsigned char>(p[2]), x) << x << "," << y;
                ASSERT_EQ(static_cast<unsigned char>(p[3]), x % 2 ? 0xFF : 0x00) << x << "," << y;
            }
    }
}

// Two pictures for one asset, or a picture renamed so that it names none: refused, naming the
// files and the names that are taken, rather than one picture silently left out.
TEST_F(QuabAssets, FromRefusesTwoPicturesForOneAssetAndMisnamedOnes) {
    struct Case {
        std::vector<const char*> files;
        const char* said;
    } cases[] = {
        {{"18.png", "18-scene7-word-1.png"},
         "18.png and DIR/18-scene7-word-1.png are both asset 18"},
        {{"18-scene7-word1.png"},
         "18-scene7-word1.png: not a name of asset 18; name it 18-scene7-word-1.png or 18.png"},
        {{"19-scene7-word-1.png"},
         "19-scene7-word-1.png: not a name of asset 19; name it 19-scene7-word-2.png or 19.png"},
    };
    std::vector<unsigned char> word =
        png_bytes_rgba(300, 55, std::vector<std::uint32_t>(300 * 55, 0xFFFFFFFFu));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files[0]);
        fs::remove_all(dir + "/pictures");
        fs::create_directory(dir + "/pictures");
        for (const char* f : c.files)
            write_file(dir + "/pictures/" + f, word);
        RunResult r = run("build " + dir + "/out.dat --from " + dir + "/pictures");
        EXPECT_EQ(r.status, 2);
        std::string said = c.said;
        if (said.find("DIR/") != std::string::npos)
            said.replace(said.find("DIR/"), 4, dir + "/pictures/");
        EXPECT_NE(r.err.find(dir + "/pictures/" + said), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir + "/out.dat"));
    }
}

TEST_F(QuabAssets, UnpackThenBuildFromGivesBackTheSameBytes) {
    ASSERT_EQ(run("build " + dir + "/first.dat").status, 0);
    RunResult unpack = run("unpack " + dir + "/first.dat " + dir + "/pictures");
    ASSERT_EQ(unpack.status, 0) << unpack.err;
    // Each picture by its number and what it is.
    std::set<std::string> names = names_in(dir + "/pictures");
    EXPECT_EQ(names.size(), 30u);
    for (const char* name : {"00-layer-0.png", "02-scene1-mask-1.png", "09-scene3-light-map.png",
                             "18-scene7-word-1.png", "27-scene7-word-10.png", "28-scene5-strip.png",
                             "29-scene8-scroller.png"})
        EXPECT_EQ(names.count(name), 1u) << name;
    for (int n = 0; n < 30; n++) {
        char name[64];
        std::snprintf(name, sizeof name, "%02d-%s.png", n, ASSET_MAP[n].name);
        EXPECT_EQ(names.count(name), 1u) << name;
    }
    ASSERT_EQ(run("build " + dir + "/second.dat --from " + dir + "/pictures").status, 0);
    std::string first = slurp(dir + "/first.dat");
    EXPECT_TRUE(first == slurp(dir + "/second.dat"));
}

// An edited picture survives the round trip: unpack an asset file made by hand (not by the
// builder), build from its PNGs, and every record comes back.
TEST_F(QuabAssets, RoundTripKeepsEveryByteOfAnyAssetFile) {
    AssetRecords recs = default_asset_records();
    std::uint32_t state = 12345;
    for (auto& rec : recs)
        for (Pixel& p : rec) {
            state = state * 1103515245u + 12345u;
            p = state ^ (state >> 13);
        }
    ASSERT_TRUE(write_asset_file(dir + "/noise.dat", recs));
    ASSERT_EQ(run("unpack " + dir + "/noise.dat " + dir + "/pictures").status, 0);
    ASSERT_EQ(run("build " + dir + "/rebuilt.dat --from " + dir + "/pictures").status, 0);
    EXPECT_TRUE(slurp(dir + "/noise.dat") == slurp(dir + "/rebuilt.dat"));
}

struct Refusal {
    const char* name;
    const char* file; // in the --from directory
    std::vector<unsigned char> bytes;
    std::vector<const char*> said; // each must appear in the error
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class QuabAssetsRefuses : public QuabAssets, public ::testing::WithParamInterface<Refusal> {};

TEST_P(QuabAssetsRefuses, WithExitStatusTwoNamingTheFile) {
    const Refusal& c = GetParam();
    fs::create_directory(dir + "/pictures");
    write_file(dir + "/pictures/" + c.file, c.bytes);
    RunResult r = run("build " + dir + "/out.dat --from " + dir + "/pictures");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(dir + "/pictures/" + c.file), std::string::npos) << r.err;
    for (const char* s : c.said)
        EXPECT_NE(r.err.find(s), std::string::npos) << "missing \"" << s << "\" in: " << r.err;
    EXPECT_FALSE(fs::exists(dir + "/out.dat"));
}

std::vector<unsigned char> half_of_a_png() {
    std::vector<unsigned char> b =
        png_bytes_rgba(320, 240, std::vector<std::uint32_t>(320 * 240, 0xFF102030u));
    b.resize(b.size() / 2);
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    BadPictures, QuabAssetsRefuses,
    ::testing::Values(Refusal{"wrong_size",
                              "05.png",
                              png_bytes_rgba(10, 12, std::vector<std::uint32_t>(120, 0xFFFFFFFFu)),
                              {"10x12", "320x240"}},
                      Refusal{"transposed_strip",
                              "28.png",
                              png_bytes_rgba(55, 2, std::vector<std::uint32_t>(110, 0u)),
                              {"55x2", "3300x55"}},
                      Refusal{"not_a_png", "07.png", {'h', 'e', 'l', 'l', 'o'}, {"PNG"}},
                      Refusal{"cut_short", "17.png", half_of_a_png(), {"PNG"}}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

struct UsageCase {
    const char* name;
    const char* args;
};

void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.name; }

class QuabAssetsUsage : public QuabAssets, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(QuabAssetsUsage, IsRefusedWithStatusTwoAndTheUsage) {
    RunResult r = run(GetParam().args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("\nTry 'quab-assets --help'.\n"), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(BadCommandLines, QuabAssetsUsage,
                         ::testing::Values(UsageCase{"nothing", ""},
                                           UsageCase{"unknown_command", "pack x y"},
                                           UsageCase{"build_without_out", "build"},
                                           UsageCase{"from_without_dir", "build out.dat --from"},
                                           UsageCase{"unknown_option", "build out.dat --form dir"},
                                           UsageCase{"unpack_one_argument", "unpack in.dat"}),
                         [](const ::testing::TestParamInfo<UsageCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(QuabAssets, FromADirectoryThatDoesNotExistIsRefused) {
    RunResult r = run("build " + dir + "/out.dat --from " + dir + "/nowhere");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(dir + "/nowhere"), std::string::npos) << r.err;
}

TEST_F(QuabAssets, UnpackRefusesAFileThatIsNotTheShows) {
    AssetRecords recs = default_asset_records();
    recs.resize(12);
    ASSERT_TRUE(write_asset_file(dir + "/short.dat", recs));
    RunResult r = run("unpack " + dir + "/short.dat " + dir + "/pictures");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quab-assets: " + dir +
                         "/short.dat: not the show's asset file: holds 12 "
                         "assets; the show needs 30\n");
    EXPECT_EQ(r.out, "");
}

} // namespace
