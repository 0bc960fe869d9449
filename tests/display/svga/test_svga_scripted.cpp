// The back-end's whole failure table and its calls into the library, on a scripted library:
// each outcome of vga_init, vga_hasmode, vga_setmode, vga_getmodeinfo and the linear flags, the
// message it prints, the record it returns, and whether discarding it returns to text mode.
#include <gtest/gtest.h>

#include "display/display.h"
#include "display/svga/svga.h"
#include "tests/display/svga/scripted_vga.h"
#include "tests/display/svga/standin.h"

namespace {

constexpr const char* START_LINE = "Initiating dravo/QUAB svgalib startup v" QUAB_VERSION "\n";
using Calls = std::vector<std::string>;

struct OpenCase {
    const char* name;
    VgaScript script;
    const char* message; // after the start-up line
    bool record;
    int status;
    int depth;
    bool frame_is_graphmem;
    Calls open_calls;
    bool discard_returns_to_text;
};

const Calls UP_TO_INFO = {"init", "hasmode 54", "setmode 54", "getmodeinfo 54"};
const Calls LINEAR = {"init",           "hasmode 54",          "setmode 54",
                      "getmodeinfo 54", "setlinearaddressing", "getgraphmem"};

VgaScript script(int init, int hasmode, int setmode, bool info, int flags) {
    VgaScript s;
    s.init_result = init;
    s.hasmode_result = hasmode;
    s.setmode54_result = setmode;
    s.has_modeinfo = info;
    s.modeinfo_flags = flags;
    return s;
}

const OpenCase OPEN_CASES[] = {
    {"init_fails",
     script(-1, 1, 0, true, CAPABLE_LINEAR),
     "Unable to initiate svgalib\n",
     false,
     0,
     0,
     false,
     {"init"},
     false},
    {"no_mode",
     script(0, 0, 0, true, CAPABLE_LINEAR),
     "",
     true,
     0,
     0xFF,
     false,
     {"init", "hasmode 54"},
     false},
    {"hasmode_negative",
     script(0, -1, 0, true, CAPABLE_LINEAR),
     "",
     true,
     0,
     0xFF,
     false,
     {"init", "hasmode 54"},
     false},
    {"setmode_fails",
     script(0, 1, -1, true, CAPABLE_LINEAR),
     "Unable to set mode: 320x240x32\n",
     true,
     0,
     0xFF,
     false,
     {"init", "hasmode 54", "setmode 54"},
     false},
    {"no_mode_info", script(0, 1, 0, false, CAPABLE_LINEAR), "Unable to get mode info\n", true, 0,
     0xFF, false, UP_TO_INFO, true},
    {"not_linear", script(0, 1, 0, true, 0x0F), "Unable to set mode to linear\n", true, 0, 0xFF,
     false, UP_TO_INFO, true},
    {"capable_linear", script(0, 1, 0, true, CAPABLE_LINEAR), "", true, 1, 32, true, LINEAR, false},
    {"is_linear", script(0, 1, 0, true, IS_LINEAR), "", true, 1, 32, true, LINEAR, false},
    {"both_linear_flags", script(0, 1, 0, true, 0xFF), "", true, 1, 32, true, LINEAR, false},
};

class OpenOutcome : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenOutcome, MessageRecordAndCleanUp) {
    const OpenCase& c = GetParam();
    vga_script = c.script;
    DisplayContext* context = nullptr;
    std::string out = capture_stdout([&] { context = display_open(0, nullptr); });
    EXPECT_EQ(out, std::string(START_LINE) + c.message);
    EXPECT_EQ(vga_script.calls, c.open_calls);
    ASSERT_EQ(context != nullptr, c.record);
    if (!context)
        return;
    EXPECT_EQ(context->status, c.status);
    EXPECT_EQ(context->depth, c.depth);
    EXPECT_EQ(context->frame,
              c.frame_is_graphmem ? reinterpret_cast<Pixel*>(scripted_graphmem) : nullptr);

    vga_script.calls.clear();
    if (c.status == 1) {
        display_close(context);
        EXPECT_EQ(vga_script.calls, Calls{"setmode 0"});
    } else {
        display_discard(context);
        EXPECT_EQ(vga_script.calls, c.discard_returns_to_text ? Calls{"setmode 0"} : Calls{});
    }
}

INSTANTIATE_TEST_SUITE_P(Table, OpenOutcome, ::testing::ValuesIn(OPEN_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Poll, AnyNonZeroKeyIsAQuitOneKeyPerCall) {
    vga_script = VgaScript{};
    vga_script.keys = {27, 'q'};
    EXPECT_TRUE(svga_poll_quit());
    EXPECT_TRUE(svga_poll_quit());
    EXPECT_FALSE(svga_poll_quit());
    EXPECT_EQ(vga_script.calls, (Calls{"getkey", "getkey", "getkey"}));
}

TEST(Close, ReturnsToTextMode) {
    vga_script = VgaScript{};
    svga_close();
    EXPECT_EQ(vga_script.calls, Calls{"setmode 0"});
}

} // namespace
