// The default show, as quab-assets and quab-music make it, through quab-check: Scene 1's fades
// play to their end, and what they leave dark stays within what reads as a show rather than a
// stall: no more than 6 s of black frames in all, no stretch longer than 3 s.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/process.h"
#include "tests/support/test_support.h"

namespace {

TEST(DefaultShow, PlaysAsMeantWithLittleBlack) {
    std::string dir = make_temp_dir();
    std::string assets = dir + "/quab.dat", music = dir + "/music.xm";
    CommandResult built = run_command(std::string(QUAB_ASSETS) + " build " + assets + " 2>&1");
    ASSERT_EQ(built.status, 0) << built.output;
    CommandResult composed = run_command(std::string(QUAB_MUSIC) + " " + music + " 2>&1");
    ASSERT_EQ(composed.status, 0) << composed.output;

    CommandResult r = run_command(std::string(QUAB_CHECK) + " --assets " + assets + " --music " +
                                  music + " 2>&1");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("The show plays as meant."), std::string::npos) << r.output;

    std::size_t at = r.output.find("Black frames: ");
    ASSERT_NE(at, std::string::npos) << r.output;
    double total = -1, longest = -1;
    unsigned stretches = 0;
    ASSERT_EQ(std::sscanf(r.output.c_str() + at,
                          "Black frames: %lf s in all, in %u stretches, the longest %lf s.", &total,
                          &stretches, &longest),
              3)
        << r.output;
    EXPECT_LE(total, 6.0) << r.output;
    EXPECT_LE(longest, 3.0) << r.output;
}

} // namespace
