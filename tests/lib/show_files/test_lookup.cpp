// The lookup of quab.dat and music.xm by name: the current folder, a build tree's own show, the
// default show beside the program (a moved prefix), $XDG_DATA_HOME (or ~/.local/share), each
// $XDG_DATA_DIRS entry, and the one line naming every place when none has the file. Real folders
// and files on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "lib/show_files/show_files.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

struct LookupCase {
    const char* name;
    std::vector<const char*> holding; // folders under the test's root that hold the file
    const char* exe;                  // the program's file under the root, or null
    const char* data_home;            // $XDG_DATA_HOME ("$R" is the root), or null
    const char* data_dirs;            // $XDG_DATA_DIRS, or null
    const char* expected;             // the path found ("$R" the root), or empty: none
};

const LookupCase CASES[] = {
    {"current_folder_first",
     {"cwd", "opt/q/share/quab", "data/quab"},
     "opt/q/bin/quab-play",
     "$R/data",
     nullptr,
     "quab.dat"},
    {"relocated_prefix",
     {"moved/share/quab", "data/quab"},
     "moved/bin/quab-play",
     "$R/data",
     nullptr,
     "$R/moved/share/quab/quab.dat"},
    {"xdg_data_home",
     {"data/quab", "sys/quab"},
     "opt/q/bin/quab-play",
     "$R/data",
     "$R/sys",
     "$R/data/quab/quab.dat"},
    {"home_when_data_home_unset",
     {"home/.local/share/quab"},
     nullptr,
     nullptr,
     "$R/sys",
     "$R/home/.local/share/quab/quab.dat"},
    {"xdg_data_dirs_in_order",
     {"b/quab", "c/quab"},
     nullptr,
     "$R/data",
     "$R/a:$R/b/:$R/c",
     "$R/b/quab/quab.dat"},
    {"build_tree_beside_the_program",
     {"b", "share/quab", "data/quab"},
     "b/quab-check",
     "$R/data",
     nullptr,
     "$R/b/quab.dat"},
    {"relative_entries_ignored", {"cwd/rel/quab"}, nullptr, "rel", "rel:$R/a", ""},
    {"none_found", {}, "opt/q/bin/quab-play", "$R/data", "$R/a::$R/b", ""},
};

void PrintTo(const LookupCase& c, std::ostream* os) { *os << c.name; }

std::string with_root(const char* text, const std::string& root) {
    std::string s = text;
    for (std::size_t at; (at = s.find("$R")) != std::string::npos;)
        s.replace(at, 2, root);
    return s;
}

class Lookup : public ::testing::TestWithParam<LookupCase> {
  protected:
    void SetUp() override {
        root = make_temp_dir();
        ASSERT_FALSE(root.empty());
        fs::create_directories(root + "/cwd");
        ASSERT_TRUE(getcwd(old_cwd, sizeof old_cwd));
        ASSERT_EQ(chdir((root + "/cwd").c_str()), 0);
    }
    void TearDown() override {
        EXPECT_EQ(chdir(old_cwd), 0);
        fs::remove_all(root);
    }
    std::string root;
    char old_cwd[4096];
};

TEST_P(Lookup, FindsTheFirstPlaceThatHoldsTheFile) {
    const LookupCase& c = GetParam();
    for (const char* folder : c.holding) {
        fs::create_directories(root + "/" + folder);
        ASSERT_TRUE(write_bytes(root + "/" + folder + "/quab.dat", {1}));
    }
    // CMake's cache marks b/ as a build tree; an installed bin/ has none.
    fs::create_directories(root + "/b");
    ASSERT_TRUE(write_bytes(root + "/b/CMakeCache.txt", {1}));
    // A folder of that name is not the file.
    fs::create_directories(root + "/sys/quab/quab.dat.d");
    std::string exe = c.exe ? root + "/" + c.exe : std::string();
    std::string home = c.data_home ? with_root(c.data_home, root) : std::string();
    std::string dirs = c.data_dirs ? with_root(c.data_dirs, root) : std::string();
    std::string home_dir = root + "/home";
    ShowLookupPlaces places{c.exe ? exe.c_str() : nullptr, c.data_home ? home.c_str() : nullptr,
                            c.data_dirs ? dirs.c_str() : nullptr, home_dir.c_str()};
    std::string found;
    Result r = find_show_file_in("quab.dat", places, &found);
    EXPECT_EQ(found, with_root(c.expected, root));
    EXPECT_EQ(r.ok, !found.empty()) << r.reason;
    EXPECT_EQ(r.reason.empty(), r.ok);
}

INSTANTIATE_TEST_SUITE_P(Cases, Lookup, ::testing::ValuesIn(CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// None found: one line with every place, in the order looked in, each once; the defaults of the
// base-directory variables where they are unset.
TEST(LookupLine, NamesEveryPlaceLookedIn) {
    struct LineCase {
        ShowLookupPlaces places;
        const char* name;
        const char* line;
    };
    const LineCase lines[] = {
        {{"/opt/q/bin/quab-play", "/d/home", "/a:/b/", "/h"},
         "music.xm",
         "cannot find music.xm (looked in ./, /opt/q/share/quab/, /d/home/quab/, /a/quab/, "
         "/b/quab/); name one with --music"},
        {{"/usr/bin/quab-play", nullptr, nullptr, "/home/u"},
         "quab.dat",
         "cannot find quab.dat (looked in ./, /usr/share/quab/, /home/u/.local/share/quab/, "
         "/usr/local/share/quab/); name one with --assets"},
        // A newline from the environment stays inside the one line.
        {{nullptr, "/x\n/y", "/a", nullptr},
         "quab.dat",
         "cannot find quab.dat (looked in ./, $'/x\\n/y/quab/', /a/quab/); name one with "
         "--assets"},
        {{nullptr, "", "/", nullptr},
         "quab.dat",
         "cannot find quab.dat (looked in ./, /quab/); name one with --assets"},
    };
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    std::string empty = make_temp_dir();
    ASSERT_EQ(chdir(empty.c_str()), 0);
    for (const LineCase& l : lines) {
        std::string found = "stale";
        Result r = find_show_file_in(l.name, l.places, &found);
        EXPECT_EQ(found, "");
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.reason, l.line);
    }
    EXPECT_EQ(chdir(cwd), 0);
    fs::remove_all(empty);
}

} // namespace
