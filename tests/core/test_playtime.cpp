// The closing report's playtime: whole seconds of the song time, hours dropped.
#include <gtest/gtest.h>

#include "core/core.h"

TEST(Playtime, SongTimeBecomesMinutesAndSeconds) {
    struct Case {
        std::uint32_t sngtime; // 1/1024 s
        int minutes, seconds;
    };
    const Case cases[] = {
        {0, 0, 0},           {1023, 0, 0}, // under a second
        {1024, 0, 1},        {59 * 1024 + 1023, 0, 59},
        {60 * 1024, 1, 0},   {128000, 2, 5},      // 125 s
        {3725 * 1024, 2, 5},                      // 1 h 2 min 5 s: the hour is dropped
        {3600 * 1024, 0, 0}, {0xFFFFFFFFu, 5, 3}, // 4,194,303 s = 69,905 min 3 s; 69,905 mod 60 = 5
    };
    for (const Case& c : cases) {
        int m = -1, s = -1;
        playtime_parts(c.sngtime, &m, &s);
        EXPECT_EQ(m, c.minutes) << c.sngtime;
        EXPECT_EQ(s, c.seconds) << c.sngtime;
    }
}
