// The pixel operations against hand-derived values: texture addressing on its 16-bit ring, the
// two sums, the fades, the keyed store at both thresholds, the whole-frame and windowed copies,
// path stepping and the wobble rotation; the fast kernels the scenes run against those plain
// operations, the tick difference and the ring-run test.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "core/pixel_ops.h"

namespace {

TEST(PixelOps, TexIndex) {
    struct Case {
        std::int32_t x, y;
        std::uint32_t index;
    };
    const Case cases[] = {
        {0, 0, 0},
        {256, 0, 256},  // x runs on into row 1, column 0
        {-1, 0, 65535}, // a negative sum wraps through two's complement
        {0, 256, 0},    // y wraps from row 255 to row 0
        {319, 255, 63}, // 65599 mod 65536
        {-256, 1, 0},   // reaches back exactly one row
        {0, -1, 65280}, // row 255, column 0
        {INT32_MAX, 0, 0xFFFF},
        // The centre of polar_depth_b (-2^31) times 256 leaves nothing in the low 16 bits.
        {5, INT32_MIN, 5},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tex_index(c.x, c.y), c.index) << "(" << c.x << ", " << c.y << ")";
}

struct PairCase {
    Pixel a, b, result;
};

TEST(PixelOps, AddSaturate) {
    const PairCase cases[] = {
        {0xFF102030, 0x01F0F0F0, 0x00FFFFFF}, {0x00010203, 0x00010203, 0x00020406},
        {0xFF000000, 0xFF000000, 0x00000000}, // key bytes never survive
        {0x00FF0000, 0x00010000, 0x00FF0000}, // red clamps without carrying into the key byte
        {0x000000FF, 0x00000001, 0x000000FF}, // blue clamps without carrying into green
        {0x00808080, 0x007F7F7F, 0x00FFFFFF},
    };
    for (const PairCase& c : cases)
        EXPECT_EQ(add_saturate(c.a, c.b), c.result) << std::hex << c.a << " + " << c.b;
}

TEST(PixelOps, AddWrap) {
    const PairCase cases[] = {
        {0x00FFFFFF, 0x00000001, 0x01000000}, // carries through every channel into the key byte
        {0xFFFFFFFF, 0x00000001, 0x00000000}, // wraps modulo 2^32
        {0x000000FF, 0x00000001, 0x00000100}, // blue carries into green
        {0x00808080, 0x00808080, 0x01010100}, // two bright texels give a shifted colour
    };
    for (const PairCase& c : cases)
        EXPECT_EQ(add_wrap(c.a, c.b), c.result) << std::hex << c.a << " + " << c.b;
}

TEST(PixelOps, Fades) {
    struct Case {
        bool up;
        Pixel p;
        std::uint32_t amount;
        Pixel result;
    };
    const Case cases[] = {
        {false, 0xFF804020, 0x30, 0x00501000},
        {true, 0x00F0F0F0, 0x20, 0x00FFFFFF},
        {false, 0xFF123456, 0, 0x00123456}, // amount 0 keeps the colour, drops the key byte
        {true, 0xFF123456, 0, 0x00123456},
        {false, 0xFFFFFFFF, 255, 0x00000000},
        {true, 0x00000000, 255, 0x00FFFFFF},
        {false, 0x00300010, 0x20, 0x00100000}, // channels clamp one by one
        {true, 0x00F00010, 0x20, 0x00FF2030},
    };
    for (const Case& c : cases) {
        Pixel got = c.up ? fade_up(c.p, c.amount) : fade_down(c.p, c.amount);
        EXPECT_EQ(got, c.result) << (c.up ? "fade_up(" : "fade_down(") << std::hex << c.p << ", "
                                 << c.amount << ")";
    }
}

TEST(PixelOps, KeyStoreAtBothThresholds) {
    struct Case {
        Pixel value, threshold;
        bool stored;
    };
    const Case cases[] = {
        {0xFFAAAAAB, KEY_HIGH, true},
        {0xFFAAAAAA, KEY_HIGH, false}, // equal to the threshold: not
                                       // drawn
        {0xFEFFFFFF, KEY_HIGH, false}, // key byte below 0xFF: never drawn
        {0xFFAB0000, KEY_HIGH, true},  // red alone decides once it exceeds 0xAA
        {0xFFFFFFFF, KEY_HIGH, true},
        {0x00FFFFFF, KEY_HIGH, false},
        {0xFF555556, KEY_LOW, true},
        {0xFF555555, KEY_LOW, false},
        {0x7FFFFFFF, KEY_LOW, false},
        {0xFF560000, KEY_LOW, true},
    };
    for (const Case& c : cases) {
        Pixel dest = 0x12345678;
        key_store(c.value, &dest, c.threshold);
        EXPECT_EQ(dest, c.stored ? c.value : 0x12345678u)
            << std::hex << c.value << " against " << c.threshold;
    }
}

// Frames as heap buffers of the frame's shape, prefilled with a marker per position.
static std::vector<Pixel> marked_frame() {
    std::vector<Pixel> f(FRAME_PIXELS);
    for (int i = 0; i < FRAME_PIXELS; i++)
        f[i] = 0x00100000u + static_cast<Pixel>(i);
    return f;
}

// Every third pixel passes KEY_HIGH; the others sit exactly on it or have no key byte.
static Pixel patterned(int i) {
    switch (i % 3) {
    case 0:
        return 0xFFAAAAABu + static_cast<Pixel>(i % 1000);
    case 1:
        return KEY_HIGH;
    default:
        return 0x00FFFFFFu;
    }
}

TEST(PixelOps, WholeFrameOperations) {
    std::vector<Pixel> picture(FRAME_PIXELS);
    for (int i = 0; i < FRAME_PIXELS; i++)
        picture[i] = patterned(i);

    std::vector<Pixel> frame = marked_frame();
    overlay_keyed(frame.data(), picture.data(), KEY_HIGH);
    int wrong = 0;
    for (int i = 0; i < FRAME_PIXELS; i++)
        wrong += frame[i] != (i % 3 == 0 ? picture[i] : 0x00100000u + static_cast<Pixel>(i));
    EXPECT_EQ(wrong, 0) << "overlay_keyed";

    copy_frame(picture.data(), frame.data());
    EXPECT_EQ(frame, picture) << "copy_frame";

    clear_frame(frame.data());
    EXPECT_EQ(frame, std::vector<Pixel>(FRAME_PIXELS, 0)) << "clear_frame";
}

TEST(PixelOps, WindowWritesOnlyItsKeyedPixels) {
    constexpr int W = 200, ROWS = 55, X = 60, Y = 93;
    std::vector<Pixel> picture(W * ROWS);
    for (int i = 0; i < W * ROWS; i++)
        picture[i] = patterned(i);
    std::vector<Pixel> frame = marked_frame();
    blit_window_keyed(frame.data(), picture.data(), X, Y, W, ROWS, W, 0, KEY_HIGH);

    int written = 0, wrong = 0;
    for (int row = 0; row < FRAME_H; row++) {
        for (int col = 0; col < FRAME_W; col++) {
            int i = row * FRAME_W + col;
            Pixel expected = 0x00100000u + static_cast<Pixel>(i);
            if (row >= 93 && row <= 147 && col >= 60 && col <= 259) {
                int p = (row - 93) * W + (col - 60);
                if (p % 3 == 0)
                    expected = picture[p];
            }
            wrong += frame[i] != expected;
            written += frame[i] != 0x00100000u + static_cast<Pixel>(i);
        }
    }
    EXPECT_EQ(wrong, 0);
    // Exactly the passing picture pixels changed the frame: every third of the 11,000.
    int expected_written = 0;
    for (int r = 0; r < ROWS; r++)
        for (int c = 0; c < W; c++)
            expected_written += (r * W + c) % 3 == 0;
    EXPECT_EQ(written, expected_written);
    EXPECT_EQ(frame[29820], picture[0]) << "the window's first word";
}

// The strip's window: stride 3300 and the largest src_x still reach only inside the picture.
TEST(PixelOps, WindowWithStrideAndSourceOffset) {
    constexpr int STRIDE = 3300, ROWS = 55, SRC_X = 2979;
    std::vector<Pixel> picture(STRIDE * ROWS, 0x00000000u);
    picture[SRC_X] = 0xFFAAAAABu;                     // row 0, the window's first column
    picture[54 * STRIDE + SRC_X + 319] = 0xFFFFFFFFu; // the window's last word
    picture[SRC_X - 1] = 0xFFFFFFFFu;                 // left of the window: never read
    std::vector<Pixel> frame = marked_frame();
    blit_window_keyed(frame.data(), picture.data(), 0, 93, 320, ROWS, STRIDE, SRC_X, KEY_HIGH);
    EXPECT_EQ(frame[29760], 0xFFAAAAABu);
    EXPECT_EQ(frame[147 * FRAME_W + 319], 0xFFFFFFFFu);
    int changed = 0;
    for (int i = 0; i < FRAME_PIXELS; i++)
        changed += frame[i] != 0x00100000u + static_cast<Pixel>(i);
    EXPECT_EQ(changed, 2);
}

TEST(PixelOps, StepPaths) {
    struct Case {
        std::int32_t down, up, down_after, up_after;
    };
    const Case cases[] = {
        {0, 359, 359, 0},
        {1, 358, 0, 359},
        {180, 180, 179, 181},
    };
    for (const Case& c : cases) {
        std::int32_t down = c.down, up = c.up;
        step_paths(&down, &up);
        EXPECT_EQ(down, c.down_after) << "from (" << c.down << ", " << c.up << ")";
        EXPECT_EQ(up, c.up_after) << "from (" << c.down << ", " << c.up << ")";
    }
    std::int32_t down = 17, up = 17;
    for (int i = 0; i < PATH_LEN; i++)
        step_paths(&down, &up);
    EXPECT_EQ(down, 17) << "one full turn in 360 calls";
    EXPECT_EQ(up, 17) << "one full turn in 360 calls";
}

// Words built from the per-channel edge values in every channel, the key byte included: each
// carry and clamp boundary of every field meets each boundary of its neighbours.
static std::vector<Pixel> edge_words() {
    const Pixel edges[] = {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF};
    std::vector<Pixel> words;
    for (Pixel k : edges)
        for (Pixel r : edges)
            for (Pixel g : edges)
                for (Pixel b : edges)
                    words.push_back((k << 24) | (r << 16) | (g << 8) | b);
    return words;
}

// Each fast kernel against the plain operation that states its meaning, over every pair of edge
// words and a run of random words (fixed seed), and on hand-derived words where the two could
// agree on a wrong answer; the plain operations are pinned by hand above.
TEST(PixelOps, FastKernelsEqualThePlainOperations) {
    struct Hand {
        Pixel a, b, result;
    };
    const Hand add_hand[] = {
        {0x00FF00FF, 0x00010001, 0x00FF00FF}, // red and blue clamp; green stays 0, no carry in
        {0x0000FF00, 0x00000100, 0x0000FF00}, // green clamps without carrying into red
        {0xFF7F7F7F, 0xFF010101, 0x00808080}, // the key bytes' sum never shows
        {0x00102030, 0x00F0E0D0, 0x00FFFFFF},
    };
    for (const Hand& h : add_hand)
        EXPECT_EQ(add_saturate_swar(h.a, h.b), h.result) << std::hex << h.a << " + " << h.b;
    EXPECT_EQ(fade_up_swar(0xFF10F080, 0x20), 0x0030FFA0u);
    EXPECT_EQ(fade_up_swar(0x00FFFFFF, 255), 0x00FFFFFFu);

    std::vector<Pixel> words = edge_words();
    std::mt19937 random_words(12);
    std::vector<Pixel> randoms(20000);
    for (Pixel& w : randoms)
        w = random_words();

    int add_wrong = 0, fade_wrong = 0;
    for (Pixel a : words) {
        for (Pixel b : words)
            add_wrong += add_saturate_swar(a, b) != add_saturate(a, b);
        for (std::uint32_t amount = 0; amount < 256; amount++)
            fade_wrong += fade_up_swar(a, amount) != fade_up(a, amount);
    }
    for (std::size_t i = 0; i + 1 < randoms.size(); i++) {
        add_wrong += add_saturate_swar(randoms[i], randoms[i + 1]) !=
                     add_saturate(randoms[i], randoms[i + 1]);
        std::uint32_t amount = randoms[i + 1] & 0xFF;
        fade_wrong += fade_up_swar(randoms[i], amount) != fade_up(randoms[i], amount);
    }
    EXPECT_EQ(add_wrong, 0) << "add_saturate_swar against add_saturate";
    EXPECT_EQ(fade_wrong, 0) << "fade_up_swar against fade_up";

    // rotate_wobble_by(n) against n calls of rotate_wobble, on a table of distinct entries.
    const std::uint32_t steps[] = {0, 1, 2, 255, 256, 257, 511, 1000, 0x80000001u, 0xFFFFFFFFu};
    for (std::uint32_t n : steps) {
        std::int32_t fast[PATH_LEN], plain[PATH_LEN];
        for (int u = 0; u < PATH_LEN; u++)
            fast[u] = plain[u] = u < WOBBLE_USED ? 1000 + u : 0x5A5A5A5A;
        rotate_wobble_by(fast, n);
        for (std::uint32_t k = 0; k < n % WOBBLE_USED; k++)
            rotate_wobble(plain);
        int wrong = 0;
        for (int u = 0; u < PATH_LEN; u++)
            wrong += fast[u] != plain[u];
        EXPECT_EQ(wrong, 0) << "rotate_wobble_by " << n;
    }
}

TEST(PixelOps, TicksSince) {
    struct Case {
        std::int32_t now, last, ticks;
    };
    const Case cases[] = {
        {10, 7, 3},
        {7, 7, 0},
        {7, 10, -3},               // a clock that went back: no step
        {INT32_MIN, INT32_MAX, 1}, // the counter wrapped: still one tick
        {INT32_MIN + 4, INT32_MAX - 1, 6},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ticks_since(c.now, c.last), c.ticks) << c.now << " since " << c.last;
}

// row_in_ring against the plain statement: no texel of the row's run needs the 16-bit wrap.
TEST(PixelOps, RowInRing) {
    const std::uint32_t starts[] = {0, 1, 65215, 65216, 65217, 65535};
    for (std::uint32_t start : starts) {
        bool wraps = false;
        for (std::uint32_t x = 0; x < FRAME_W; x++)
            wraps |= ((start + x) & 0xFFFFu) != start + x;
        EXPECT_EQ(row_in_ring(start), !wraps) << "start " << start;
    }
    EXPECT_TRUE(row_in_ring(65216)) << "the last start whose run ends on texel 65,535";
    EXPECT_FALSE(row_in_ring(65217));
}

class Wobble : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(show_alloc(&s, false));
        precalc_tables(&s);
        for (int u = 0; u < WOBBLE_USED; u++)
            original[u] = s.wobble[u];
        // The unused tail of the buffer is never touched.
        for (int u = WOBBLE_USED; u < PATH_LEN; u++)
            s.wobble[u] = 0x5A5A5A5A;
    }
    void TearDown() override { show_free(&s); }
    void expect_turned_by(int n) {
        for (int i = 0; i < WOBBLE_USED; i++)
            EXPECT_EQ(s.wobble[i], original[(i + n) % WOBBLE_USED]) << "entry " << i;
        for (int u = WOBBLE_USED; u < PATH_LEN; u++)
            EXPECT_EQ(s.wobble[u], 0x5A5A5A5A) << "entry " << u;
    }
    ShowState s;
    std::int32_t original[WOBBLE_USED];
};

TEST_F(Wobble, OneCallTurnsByOnePlace) {
    rotate_wobble(s.wobble);
    EXPECT_EQ(s.wobble[255], 0) << "the precalculated entry 0";
    EXPECT_EQ(s.wobble[0], 0) << "the precalculated entry 1";
    EXPECT_EQ(s.wobble[1], 1) << "the precalculated entry 2";
    expect_turned_by(1);
}

TEST_F(Wobble, CallsAccumulate) {
    for (int i = 0; i < 100; i++)
        rotate_wobble(s.wobble);
    expect_turned_by(100);
}

TEST_F(Wobble, TwoHundredFiftySixCallsRestoreTheTable) {
    for (int i = 0; i < WOBBLE_USED; i++)
        rotate_wobble(s.wobble);
    expect_turned_by(0);
}

} // namespace
