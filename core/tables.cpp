// The precalc phase: every table the scenes read instead of calling trigonometry, filled once
// before the asset file is read. All arithmetic is 64-bit double; every conversion to int
// truncates toward zero, which is what the show's figures were made with.
#include <cmath>
#include <cstdint>

#include "core/core.h"

// Not the full value of pi: the show's paths were computed with six decimals, and the
// difference is visible (scroll_x[90] is -224 with it, -225 with the exact value).
static constexpr double PI_6 = 3.141592;

// Degrees to radians, multiplying before dividing so the rounding matches the show's.
static inline double degrees_to_radians(int degrees) {
    return (static_cast<double>(degrees) * PI_6) / 180.0;
}

// Truncation toward zero: -0.7 becomes 0 and -9.99997 becomes -9. Every caller's value lies
// well inside the int32 range.
static inline std::int32_t trunc_to_int(double v) { return static_cast<std::int32_t>(v); }

// The value the x86 FPU produces when it converts infinity to an int (the "integer
// indefinite"); stored explicitly where 2000 / d divides by d = 0.
static constexpr std::int32_t INT_INDEFINITE = INT32_MIN;

static void fill_path_tables(ShowState* s) {
    for (int k = 0; k < PATH_LEN; k++) {
        double a = degrees_to_radians(k);
        // 2a and 5a come from the integers 2k and 5k, not from a: the rounding differs.
        double a2 = degrees_to_radians(2 * k);
        double a5 = degrees_to_radians(5 * k);
        s->scroll_x[k] = trunc_to_int(50.0 * std::cos(a2) * 2.0 - 125.0 * std::sin(a));
        s->scroll_y[k] = trunc_to_int(50.0 * std::sin(a5) + 125.0 * std::cos(a));
    }
    // In the orbits 2a and 3a are the radian value a scaled; the term order is the show's.
    for (int k = 0; k < PATH_LEN; k++) {
        double a = degrees_to_radians(k);
        s->orbit1_x[k] = trunc_to_int(50.0 * std::sin(a) - 30.0 * std::cos(a * 2.0) + 20.0);
        s->orbit1_y[k] = trunc_to_int(30.0 * std::cos(a * 3.0) + 30.0 * std::sin(a));
    }
    for (int k = 0; k < PATH_LEN; k++) {
        double a = degrees_to_radians(k);
        s->orbit2_x[k] = trunc_to_int(40.0 * std::sin(a * 2.0) - 60.0 * std::cos(a) + 20.0);
        s->orbit2_y[k] = trunc_to_int(80.0 * std::sin(a) + 25.0 * std::cos(a * 2.0));
    }
    for (int k = 0; k < PATH_LEN; k++) {
        double a = degrees_to_radians(k);
        s->orbit3_x[k] = trunc_to_int(40.0 * std::sin(a) - 40.0 * std::cos(a) + 20.0);
        s->orbit3_y[k] = trunc_to_int(10.0 * std::cos(a * 2.0) + 35.0 * std::sin(a) * 3.0);
    }
}

// The angle byte of a frame position: 0 right of the centre, 64 below, 128 left, 192 above.
// The raw value truncates toward zero before the wrap, so -32.00001 gives -32 and then 224,
// and the byte 0 covers a thin wedge on both sides of the rightward axis.
static inline std::int32_t polar_angle(int dx, int y) {
    double radians = std::atan2(static_cast<double>(y), static_cast<double>(dx));
    double raw = radians * 180.0 / PI_6 * 256.0 / 360.0; // left to right, as the show scales
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(trunc_to_int(raw)) & 0xFFu);
}

static inline std::int32_t polar_distance(int dx, int y) {
    return trunc_to_int(std::sqrt(static_cast<double>(dx * dx + y * y)));
}

// Two passes over the frame, row by row from the top; the angle tables come out identical
// (Tables.AngleTablesAreEqualAndBytes).
static void fill_polar_maps(ShowState* s) {
    for (int r = 0; r < FRAME_H; r++) {
        for (int c = 0; c < FRAME_W; c++) {
            int dx = c - 160;
            int y = r - 120;
            int i = r * FRAME_W + c;
            s->polar_angle_a[i] = polar_angle(dx, y);
            // An integer quotient, 0 everywhere: no distance in the frame reaches 1000.
            s->polar_depth_a[i] = (polar_distance(dx, y) / 1000) & 0xFF;
        }
    }
    for (int r = 0; r < FRAME_H; r++) {
        for (int c = 0; c < FRAME_W; c++) {
            int dx = c - 160;
            int y = r - 120;
            int i = r * FRAME_W + c;
            s->polar_angle_b[i] = polar_angle(dx, y);
            int d = polar_distance(dx, y) & 0xFF;
            // The division is in floating point and its result is not masked.
            s->polar_depth_b[i] =
                d == 0 ? INT_INDEFINITE : trunc_to_int(2000.0 / static_cast<double>(d));
        }
    }
}

// The step is a little under 2*pi/256, so the table covers just under one period and its
// extremes truncate to 29 and -29.
static void fill_wobble(ShowState* s) {
    for (int u = 0; u < WOBBLE_USED; u++)
        s->wobble[u] = trunc_to_int(30.0 * std::sin(static_cast<double>(u) * 0.0245436875));
}

void precalc_tables(ShowState* s) {
    fill_path_tables(s);
    fill_polar_maps(s);
    fill_wobble(s);
}

void precalc_rotated_tables(ShowState* s) { fill_wobble(s); }
