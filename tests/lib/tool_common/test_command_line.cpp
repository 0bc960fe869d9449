// The command line every program shares, run on each program as a child: --help opens with what
// the program does and lists -h/--help and --version alike, --version gives the project's one
// version, and a bad option or a missing value is the two-line usage error with status 2.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/test_support.h"

namespace {

struct Program {
    const char* name;
    const char* path;
    const char* value_option; // an option that takes a value, or null
};

const Program PROGRAMS[] = {
    {"quab-assets", QUAB_ASSETS_PATH, "--from"},
    {"quab-check", QUAB_CHECK_PATH, "--assets"},
    {"quab-console-reset", QUAB_CONSOLE_RESET_PATH, nullptr},
    {"quab-export", QUAB_EXPORT_PATH, "--fps"},
    {"quab-music", QUAB_MUSIC_PATH, nullptr},
    {"quab-play", QUAB_PLAY_PATH, "--music"},
    {"quab-render", QUAB_RENDER_PATH, nullptr},
    {"quab-testassets", QUAB_TESTASSETS_PATH, nullptr},
    {"quab-testmod", QUAB_TESTMOD_PATH, "--rows"},
};

// The one version (cmake/version.cmake): every program gives it.
constexpr const char* VERSION = QUAB_VERSION;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class CommandLine : public ::testing::Test {
  protected:
    void SetUp() override { dir = make_temp_dir(); }
    void TearDown() override {
        if (!HasFailure())
            std::filesystem::remove_all(dir);
    }
    RunResult run(const Program& p, const std::vector<std::string>& args) {
        Child c = child_of({p.path});
        c.argv.insert(c.argv.end(), args.begin(), args.end());
        c.cwd = dir;
        return run_child(c, dir);
    }
    std::string dir;
};

TEST_F(CommandLine, HelpOpensWithWhatTheProgramDoesAndListsHelpAndVersionAlike) {
    for (const Program& p : PROGRAMS) {
        SCOPED_TRACE(p.name);
        RunResult help = run(p, {"--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.err, "");
        std::vector<std::string> lines = lines_of(help.out);
        ASSERT_GE(lines.size(), 4u) << help.out;
        // A sentence of its own first, then the usage.
        EXPECT_FALSE(lines[0].empty());
        EXPECT_NE(lines[0].rfind("Usage", 0), 0u) << lines[0];
        EXPECT_NE(lines[0].rfind("usage", 0), 0u) << lines[0];
        EXPECT_EQ(lines[0].back(), '.') << lines[0];
        EXPECT_EQ(lines[1].rfind(std::string("Usage: ") + p.name, 0), 0u) << lines[1];
        EXPECT_NE(help.out.find("\n  -h, --help        print this help and exit\n"
                                "  --version         print the version and exit\n"),
                  std::string::npos)
            << help.out;
        RunResult h = run(p, {"-h"});
        EXPECT_EQ(h.status, 0);
        EXPECT_EQ(h.out, help.out);
        // Help wherever it stands, even beside a mistake.
        EXPECT_EQ(run(p, {"--no-such-option", "--help"}).out, help.out);

        RunResult version = run(p, {"--version"});
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(version.out, std::string(p.name) + " " + VERSION + "\n");
        EXPECT_EQ(version.err, "");
    }
}

TEST_F(CommandLine, ABadOptionIsTheProblemAndWhereToLookWithStatus2) {
    for (const Program& p : PROGRAMS) {
        SCOPED_TRACE(p.name);
        std::string try_help = std::string("Try '") + p.name + " --help'.\n";
        struct Case {
            std::vector<std::string> args;
            std::string problem;
        };
        std::vector<Case> cases = {
            {{"--no-such-option"}, "unknown option --no-such-option"},
            {{"-x"}, "unknown option -x"},
        };
        if (p.value_option)
            cases.push_back({{p.value_option}, std::string(p.value_option) + " needs a value"});
        for (const Case& c : cases) {
            SCOPED_TRACE(c.args.front());
            RunResult r = run(p, c.args);
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, std::string(p.name) + ": " + c.problem + "\n" + try_help);
        }
        // Nothing was made in the working folder, whatever the program writes.
        std::set<std::string> left = names_in(dir);
        left.erase("child.out");
        left.erase("child.err");
        EXPECT_TRUE(left.empty());
    }
}

// A number out of range names the option, the value and the range.
TEST_F(CommandLine, ANumberOutOfRangeNamesTheRange) {
    const struct {
        const Program& program;
        std::vector<std::string> args;
        const char* problem;
    } cases[] = {
        {PROGRAMS[3], {"--fps", "0", "out.mp4"}, "--fps 0: not a whole number from 1 to 240"},
        {PROGRAMS[3], {"--scale", "2x", "out.mp4"}, "--scale 2x: not a whole number from 1 to 8"},
        {PROGRAMS[5], {"--start", "30"}, "--start 30: not a whole number from 0 to 29"},
        {PROGRAMS[8], {"out.xm", "--bpm", "31"}, "--bpm 31: not a whole number from 32 to 255"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.problem);
        RunResult r = run(c.program, c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, std::string(c.program.name) + ": " + c.problem + "\nTry '" +
                             c.program.name + " --help'.\n");
    }
}

} // namespace
