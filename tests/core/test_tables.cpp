// The precalc phase against the show's telling values and the invariants of its tables: the
// path tables' figures (several one below the exact-pi result), the wobble entries, and the
// polar maps' angle bytes and depths, including the centre's integer-indefinite entry.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/core.h"

namespace {

class Tables : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(show_alloc(&s, false));
        precalc_tables(&s);
    }
    static void TearDownTestSuite() { show_free(&s); }
    static ShowState s;
};
ShowState Tables::s;

using TableField = std::int32_t* ShowState::*;

struct PathRow {
    const char* name;
    TableField table;
    std::int32_t at[7]; // k = 0, 1, 45, 90, 180, 270, 359
};

constexpr int PATH_KS[7] = {0, 1, 45, 90, 180, 270, 359};

const PathRow PATH_TELLING[] = {
    {"scroll_x", &ShowState::scroll_x, {100, 97, -88, -224, 99, 25, 102}},
    {"scroll_y", &ShowState::scroll_y, {125, 129, 53, 50, -124, -50, 120}},
    {"orbit1_x", &ShowState::orbit1_x, {-10, -9, 55, 99, -9, 0, -10}},
    {"orbit1_y", &ShowState::orbit1_y, {30, 30, 0, 29, -29, -29, 29}},
    {"orbit2_x", &ShowState::orbit2_x, {-40, -38, 17, 20, 79, 20, -41}},
    {"orbit2_y", &ShowState::orbit2_y, {25, 26, 56, 55, 25, -104, 23}},
    {"orbit3_x", &ShowState::orbit3_x, {-20, -19, 19, 59, 60, -19, -20}},
    {"orbit3_y", &ShowState::orbit3_y, {10, 11, 74, 94, 10, -114, 8}},
};

// The figures that tell 3.141592 and truncation toward zero from exact pi or rounding are in
// the table above: scroll_x[90] -224 (not -225), orbit1_y[90] 29 (not 30), orbit2_x[180] 79
// (not 80), orbit3_y[90] 94 (not 95), orbit1_x[180] -9 (-9.99997, not -10).
TEST_F(Tables, PathTablesMatchTellingValues) {
    for (const PathRow& row : PATH_TELLING)
        for (int i = 0; i < 7; i++)
            EXPECT_EQ((s.*row.table)[PATH_KS[i]], row.at[i])
                << row.name << "[" << PATH_KS[i] << "]";
}

struct RangeRow {
    const char* name;
    TableField table;
    int count;
    std::int32_t lowest;
    std::int32_t highest;
};

// The value ranges of the tables, reached at both ends.
TEST_F(Tables, PathAndWobbleRanges) {
    const RangeRow rows[] = {
        {"scroll_x", &ShowState::scroll_x, PATH_LEN, -224, 119},
        {"scroll_y", &ShowState::scroll_y, PATH_LEN, -169, 169},
        {"orbit1_x", &ShowState::orbit1_x, PATH_LEN, -20, 99},
        {"orbit1_y", &ShowState::orbit1_y, PATH_LEN, -56, 56},
        {"orbit2_x", &ShowState::orbit2_x, PATH_LEN, -66, 106},
        {"orbit2_y", &ShowState::orbit2_y, PATH_LEN, -104, 56},
        {"orbit3_x", &ShowState::orbit3_x, PATH_LEN, -36, 76},
        {"orbit3_y", &ShowState::orbit3_y, PATH_LEN, -114, 94},
        {"wobble", &ShowState::wobble, WOBBLE_USED, -29, 29},
    };
    for (const RangeRow& row : rows) {
        const std::int32_t* t = s.*row.table;
        std::int32_t lo = t[0], hi = t[0];
        for (int k = 1; k < row.count; k++) {
            lo = t[k] < lo ? t[k] : lo;
            hi = t[k] > hi ? t[k] : hi;
        }
        EXPECT_EQ(lo, row.lowest) << row.name;
        EXPECT_EQ(hi, row.highest) << row.name;
    }
}

TEST_F(Tables, WobbleEntries) {
    struct Entry {
        int first, last;
        std::int32_t value;
    };
    const Entry entries[] = {
        {0, 0, 0},       {1, 1, 0},       {2, 2, 1},     {3, 3, 2},     {32, 32, 21},
        {53, 53, 28},    {54, 74, 29},    {75, 75, 28},  {128, 129, 0}, {160, 160, -21},
        {182, 202, -29}, {224, 224, -21}, {255, 255, 0},
    };
    for (const Entry& e : entries)
        for (int u = e.first; u <= e.last; u++)
            EXPECT_EQ(s.wobble[u], e.value) << "wobble[" << u << "]";
}

TEST_F(Tables, PolarMapExamples) {
    struct Example {
        int c, r;
        std::int32_t angle;
        std::int32_t depth_b;
    };
    const Example examples[] = {
        {161, 120, 0, 2000},
        {319, 120, 0, 12},
        {0, 120, 128, 12},
        {160, 121, 64, 2000},
        {160, 119, 192, 2000},
        {161, 119, 224, 2000},
        {159, 119, 160, 2000},
        {160, 0, 192, 16},
        {160, 239, 64, 16},
        {0, 0, 155, 10},
        {319, 0, 230, 10},
        {0, 239, 101, 10},
        {319, 239, 26, 10},
        {160, 120, 0, INT32_MIN},
        // Distances 2 and 3 along the row: 2000/2 and 2000/3 truncated.
        {162, 120, 0, 1000},
        {163, 120, 0, 666},
    };
    for (const Example& e : examples) {
        int i = e.r * FRAME_W + e.c;
        EXPECT_EQ(s.polar_angle_a[i], e.angle) << "(" << e.c << ", " << e.r << ")";
        EXPECT_EQ(s.polar_angle_b[i], e.angle) << "(" << e.c << ", " << e.r << ")";
        EXPECT_EQ(s.polar_depth_b[i], e.depth_b) << "(" << e.c << ", " << e.r << ")";
    }
}

// At the right edge (dx = 159) the raw angle is atan2(y, 159) * 180 / 3.141592 * 256 / 360:
// y = -1 gives -0.256 and y = -3 gives -0.769, both truncating to 0; y = -4 gives -1.025 and
// y = -5 gives -1.281, both truncating to -1, which wraps to 255. Below the axis y = 1 gives
// +0.256, also 0.
TEST_F(Tables, AngleWedgeAroundTheRightwardAxis) {
    struct Example {
        int r;
        std::int32_t angle;
    };
    const Example examples[] = {{119, 0}, {117, 0}, {116, 255}, {115, 255}, {121, 0}};
    for (const Example& e : examples)
        EXPECT_EQ(s.polar_angle_a[e.r * FRAME_W + 319], e.angle) << "row " << e.r;
}

TEST_F(Tables, PolarDepthAIsZeroEverywhere) {
    int nonzero = 0;
    for (int i = 0; i < FRAME_PIXELS; i++)
        nonzero += s.polar_depth_a[i] != 0;
    EXPECT_EQ(nonzero, 0);
}

TEST_F(Tables, AngleTablesAreEqualAndBytes) {
    int differ = 0, outside = 0;
    for (int i = 0; i < FRAME_PIXELS; i++) {
        differ += s.polar_angle_a[i] != s.polar_angle_b[i];
        outside += s.polar_angle_a[i] < 0 || s.polar_angle_a[i] > 255;
    }
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(outside, 0);
}

TEST_F(Tables, PolarDepthBExtremes) {
    constexpr int CENTRE = 120 * FRAME_W + 160;
    ASSERT_EQ(CENTRE, 38560);
    EXPECT_EQ(s.polar_depth_b[CENTRE], INT32_MIN);
    int negative = 0, at_2000 = 0;
    std::int32_t lowest = INT32_MAX, highest = INT32_MIN;
    for (int i = 0; i < FRAME_PIXELS; i++) {
        if (i == CENTRE)
            continue;
        std::int32_t v = s.polar_depth_b[i];
        negative += v < 0;
        at_2000 += v == 2000;
        lowest = v < lowest ? v : lowest;
        highest = v > highest ? v : highest;
    }
    EXPECT_EQ(negative, 0);
    EXPECT_EQ(lowest, 10);
    EXPECT_EQ(highest, 2000);
    // d = 1 at the four neighbours and the four diagonal neighbours (sqrt 2 truncates to 1).
    EXPECT_EQ(at_2000, 8);
    const int around[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
    for (const auto& o : around)
        EXPECT_EQ(s.polar_depth_b[CENTRE + o[1] * FRAME_W + o[0]], 2000)
            << "offset (" << o[0] << ", " << o[1] << ")";
}

} // namespace
