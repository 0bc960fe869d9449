// quab-testmod: writes a small, deterministic module for tests of anything that plays or follows
// music: N positions of their own R-row pattern, a tone on every row, or a click per position;
// optionally each pattern broken off early, and the last position jumping back to an earlier one.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lib/base/descriptors.h"
#include "lib/tool_common/command_line.h"
#include "lib/xm/xm.h"

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

constexpr std::uint32_t NO_JUMP = 256;
// The effects go on channels of their own, beside the tone.
constexpr std::uint32_t BREAK_CHANNEL = 2;
constexpr std::uint32_t JUMP_CHANNEL = 3;

struct Options {
    const char* out = nullptr;
    std::uint32_t positions = 32;
    std::uint32_t rows = 1;
    std::uint32_t speed = 1;
    std::uint32_t bpm = 255;
    bool click = false;
    std::uint32_t break_rows = 0; // 0: every row of a pattern plays
    std::uint32_t jump_back = NO_JUMP;
};

constexpr const char* PROGRAM = "quab-testmod";

constexpr ToolText TOOL = {
    PROGRAM,
    "Writes a small module of controlled positions and rows, for the tests.",
    "OUT [--positions N] [--rows R] [--speed S] [--bpm B] [--click] [--break N] [--jump-back P]",
    "  --positions N     song positions, each its own pattern, 1 to 256 (default 32)\n"
    "  --rows R          rows a pattern, 1 to 256 (default 1)\n"
    "  --speed S         ticks a row, 1 to 31 (default 1)\n"
    "  --bpm B           tempo, 32 to 255 (default 255)\n"
    "  --click           a click at the start of each position instead of a tone on every row\n"
    "  --break N         each pattern breaks to the next position after its first N rows\n"
    "  --jump-back P     the last position jumps back to position P: the song loops for ever\n",
    "Exit status: 0 written, 1 the file could not be written, 2 a bad command line.\n",
};

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
        std::uint32_t last_row = opt.rows - 1;
        if (opt.break_rows > 0 && opt.break_rows < opt.rows) {
            last_row = opt.break_rows - 1;
            xm_cell(pat, CHANNELS, last_row, BREAK_CHANNEL) =
                XmCell{XM_NOTE_NONE, 0, 0, XM_FX_PATTERN_BREAK, 0};
        }
        if (opt.jump_back != NO_JUMP && p + 1 == opt.positions)
            xm_cell(pat, CHANNELS, last_row, JUMP_CHANNEL) = XmCell{
                XM_NOTE_NONE, 0, 0, XM_FX_POSITION_JUMP, static_cast<std::uint8_t>(opt.jump_back)};
        m.patterns.push_back(pat);
        m.orders.push_back(std::uint8_t(p));
    }
    return m;
}

} // namespace

int main(int argc, char** argv) {
    keep_standard_descriptors_open();
    Options opt;
    std::vector<const char*> operands = parse_command_line(
        TOOL, argc, argv,
        {count_option("--positions", 1, 256, &opt.positions),
         count_option("--rows", 1, 256, &opt.rows), count_option("--speed", 1, 31, &opt.speed),
         count_option("--bpm", 32, 255, &opt.bpm), flag_option("--click", &opt.click),
         count_option("--break", 1, 256, &opt.break_rows),
         count_option("--jump-back", 0, 255, &opt.jump_back)});
    if (operands.empty())
        usage_error(PROGRAM, "no output file given");
    if (operands.size() > 1)
        usage_error(PROGRAM, "more than one output file given");
    opt.out = operands[0];
    if (opt.jump_back != NO_JUMP && opt.jump_back >= opt.positions)
        usage_error(PROGRAM, "--jump-back " + std::to_string(opt.jump_back) +
                                 ": the song has only " + std::to_string(opt.positions) +
                                 " positions");
    if (Result r = xm_write_file(make_module(opt), opt.out); !r.ok) {
        std::fprintf(stderr, "%s: %s\n", PROGRAM, r.reason.c_str());
        return EXIT_FAILED;
    }
    return EXIT_OK;
}
