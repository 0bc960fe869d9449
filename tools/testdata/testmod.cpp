// quab-testmod: writes a small, deterministic module for tests of anything that plays or follows
// music: N positions of their own R-row pattern, a tone on every row, or a click per position.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/xm/xm.h"

namespace {

constexpr std::uint32_t CHANNELS = 4;
constexpr std::uint32_t SQUARE_PERIOD_FRAMES = 32; // at C-4 (8363 Hz): about 261 Hz
constexpr std::uint32_t SQUARE_PERIODS = 4;
constexpr std::int8_t SQUARE_LEVEL = 100;
// The click: a 2 kHz burst of full-scale square played at C-5 (16726 Hz), 64 frames = 3.8 ms.
constexpr std::uint32_t CLICK_FRAMES = 64;
constexpr std::uint32_t CLICK_HALF_PERIOD = 4;
constexpr std::uint8_t CLICK_NOTE = XM_NOTE_C4 + 12;
constexpr std::uint32_t CLICK_CHANNELS = 2;
// The tone walks a major arpeggio so that consecutive rows are told apart by ear.
constexpr std::uint8_t TONE_NOTES[4] = {XM_NOTE_C4, XM_NOTE_C4 + 4, XM_NOTE_C4 + 7,
                                        XM_NOTE_C4 + 12};

struct Options {
    const char* out = nullptr;
    std::uint32_t positions = 32;
    std::uint32_t rows = 1;
    std::uint32_t speed = 1;
    std::uint32_t bpm = 255;
    bool click = false;
};

constexpr const char* USAGE =
    "usage: quab-testmod OUT [--positions N] [--rows R] [--speed S] [--bpm B] [--click]\n"
    "  N 1..256 (default 32), R 1..256 (default 1), S 1..31 (default 1), B 32..255 (default 255)\n";

static int usage(const char* why) {
    std::fprintf(stderr, "quab-testmod: %s\n%s", why, USAGE);
    return 2;
}

// Parses a plain decimal number in [low, high]; false on anything else.
static bool parse_number(const char* text, std::uint32_t low, std::uint32_t high,
                         std::uint32_t* value) {
    if (!text || !*text || std::strlen(text) > 6)
        return false;
    std::uint32_t v = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        v = v * 10 + std::uint32_t(*p - '0');
    }
    if (v < low || v > high)
        return false;
    *value = v;
    return true;
}

static XmInstrument square_instrument() {
    XmSample s;
    s.name = "square";
    for (std::uint32_t i = 0; i < SQUARE_PERIOD_FRAMES * SQUARE_PERIODS; ++i)
        s.data8.push_back((i % SQUARE_PERIOD_FRAMES) < SQUARE_PERIOD_FRAMES / 2 ? SQUARE_LEVEL
                                                                                : -SQUARE_LEVEL);
    s.loop = XM_LOOP_FORWARD;
    s.loop_start = 0;
    s.loop_length = SQUARE_PERIOD_FRAMES * SQUARE_PERIODS;
    XmInstrument ins;
    ins.name = "square";
    ins.samples.push_back(s);
    return ins;
}

static XmInstrument click_instrument() {
    XmSample s;
    s.name = "click";
    for (std::uint32_t i = 0; i < CLICK_FRAMES; ++i)
        s.data8.push_back((i / CLICK_HALF_PERIOD) % 2 == 0 ? std::int8_t(127) : std::int8_t(-127));
    XmInstrument ins;
    ins.name = "click";
    ins.samples.push_back(s);
    return ins;
}

static XmModule make_module(const Options& opt) {
    XmModule m;
    m.name = opt.click ? "quab click test" : "quab tone test";
    m.channels = CHANNELS;
    m.speed = opt.speed;
    m.bpm = opt.bpm;
    m.instruments.push_back(opt.click ? click_instrument() : square_instrument());
    std::uint32_t played = 0;
    for (std::uint32_t p = 0; p < opt.positions; ++p) {
        XmPattern pat = xm_empty_pattern(opt.rows, CHANNELS);
        if (opt.click) {
            // Two channels at once: one full-scale voice is only about a fifth of full scale
            // in a four-channel mix.
            for (std::uint32_t ch = 0; ch < CLICK_CHANNELS; ++ch)
                xm_cell(pat, CHANNELS, 0, ch) = XmCell{CLICK_NOTE, 1, 0, 0, 0};
        } else {
            for (std::uint32_t r = 0; r < opt.rows; ++r)
                xm_cell(pat, CHANNELS, r, 0) = XmCell{TONE_NOTES[played++ % 4], 1, 0, 0, 0};
        }
        m.patterns.push_back(pat);
        m.orders.push_back(std::uint8_t(p));
    }
    return m;
}

} // namespace

int main(int argc, char** argv) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        std::uint32_t* target = nullptr;
        std::uint32_t low = 1, high = 256;
        if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
            std::fputs(USAGE, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (std::strcmp(a, "--click") == 0) {
            opt.click = true;
            continue;
        }
        if (std::strcmp(a, "--positions") == 0) {
            target = &opt.positions;
        } else if (std::strcmp(a, "--rows") == 0) {
            target = &opt.rows;
        } else if (std::strcmp(a, "--speed") == 0) {
            target = &opt.speed;
            high = 31;
        } else if (std::strcmp(a, "--bpm") == 0) {
            target = &opt.bpm;
            low = 32;
            high = 255;
        } else if (a[0] == '-') {
            return usage((std::string("unknown option ") + a).c_str());
        } else {
            if (opt.out)
                return usage("more than one output file given");
            opt.out = a;
            continue;
        }
        if (i + 1 >= argc)
            return usage((std::string(a) + " needs a number").c_str());
        const char* value = argv[++i];
        if (target == &opt.positions && std::strcmp(value, "0") == 0)
            return usage("--positions 0: a module needs at least one position (1 to 256)");
        if (!parse_number(value, low, high, target))
            return usage((std::string(a) + " " + value + ": not a whole number from " +
                          std::to_string(low) + " to " + std::to_string(high))
                             .c_str());
    }
    if (!opt.out)
        return usage("no output file given");
    std::string reason;
    if (!xm_write_file(make_module(opt), opt.out, &reason)) {
        std::fprintf(stderr, "quab-testmod: %s\n", reason.c_str());
        return 1;
    }
    return 0;
}
