// The console back-end over the real console library and a stand-in framebuffer: start-up line,
// the record of a usable mode, the plain copy into video memory and onto the screen, the key
// poll, and the failures the library can really produce (no device, no mode, no room).
#include <gtest/gtest.h>

#include "display/display.h"
#include "display/svga/svga.h"
#include "display/svga/vga.h"
#include "tests/display/svga/standin.h"

namespace {

constexpr const char* START_LINE = "Initiating dravo/QUAB svgalib startup v" QUAB_VERSION "\n";

class Backend : public ::testing::Test {
  protected:
    void SetUp() override { in = pty_stdin(); }
    void TearDown() override { restore_stdin(&in); }
    PtyStdin in;
};

TEST_F(Backend, OpensMode54WithItsVideoMemoryAsFrame) {
    make_standin(640, 480, 32, 0);
    DisplayContext* context = nullptr;
    std::string out = capture_stdout([&] { context = svga_open(); });
    EXPECT_EQ(out, START_LINE);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->status, 1);
    EXPECT_EQ(context->depth, 32);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(context->frame), vga_getgraphmem());
    EXPECT_NE(context->frame, nullptr);
    EXPECT_EQ(vga_getmodeinfo(G320x240x16M32)->flags & IS_LINEAR, IS_LINEAR);
    display_close(context);
    EXPECT_EQ(vga_getgraphmem(), nullptr);
}

TEST_F(Backend, PresentCopiesEveryWordKeyByteIncludedAndItReachesTheScreen) {
    StandIn s = make_standin(640, 480, 32, 0x5A);
    DisplayContext* context = nullptr;
    capture_stdout([&] { context = svga_open(); });
    ASSERT_NE(context, nullptr);
    ASSERT_EQ(context->status, 1);
    std::vector<Pixel> offscreen(FRAME_PIXELS);
    for (int i = 0; i < FRAME_PIXELS; i++)
        offscreen[i] = 0xC0000000u | static_cast<Pixel>(i);
    svga_present(context, offscreen.data());
    std::uint32_t wrong = 0;
    for (int i = 0; i < FRAME_PIXELS; i++)
        wrong += context->frame[i] != offscreen[i];
    EXPECT_EQ(wrong, 0u);
    // 640x480 is scale 2 without borders: word 320 * 239 + 319 (last) at (638..639, 478..479).
    // Waits for a whole frame scanned after the copy (one scan may overlap it).
    std::vector<unsigned char> fb = wait_for_standin(s, [&](const std::vector<unsigned char>& b) {
        return standin_pixel(s, b, 639, 479) == 0x012BFFu && standin_pixel(s, b, 3, 1) == 1u;
    });
    EXPECT_EQ(standin_pixel(s, fb, 639, 479), 0x012BFFu); // 76,799 without key byte
    EXPECT_EQ(standin_pixel(s, fb, 0, 0), 0u);
    EXPECT_EQ(standin_pixel(s, fb, 3, 1), 1u);
    display_close(context);
    EXPECT_EQ(read_standin_bytes(s), std::vector<unsigned char>(640 * 480 * 4, 0));
}

TEST_F(Backend, PollTakesOneKeyAtATimeAndNeverWaits) {
    make_standin(640, 480, 32, 0);
    DisplayContext* context = nullptr;
    capture_stdout([&] { context = svga_open(); });
    ASSERT_NE(context, nullptr);
    EXPECT_FALSE(svga_poll_quit());
    ASSERT_EQ(write(in.write_fd, "xy", 2), 2);
    EXPECT_TRUE(svga_poll_quit());
    EXPECT_TRUE(display_poll_quit(context));
    EXPECT_FALSE(svga_poll_quit());
    display_close(context);
}

// Standard input that is no terminal (a file, a pipe) holds no key presses: its bytes never end
// the show.
TEST(BackendInput, BytesOnStandardInputThatIsNoTerminalAreNoKeys) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    int saved = dup(STDIN_FILENO);
    dup2(fds[0], STDIN_FILENO);
    close(fds[0]);
    ASSERT_EQ(write(fds[1], "xy", 2), 2);
    make_standin(640, 480, 32, 0);
    DisplayContext* context = nullptr;
    capture_stdout([&] { context = svga_open(); });
    ASSERT_NE(context, nullptr);
    EXPECT_FALSE(svga_poll_quit());
    EXPECT_FALSE(display_poll_quit(context));
    display_close(context);
    char left[2];
    EXPECT_EQ(read(STDIN_FILENO, left, 2), 2) << "the bytes were not read";
    dup2(saved, STDIN_FILENO);
    close(saved);
    close(fds[1]);
}

TEST_F(Backend, NoFramebufferDeviceIsNoLibrary) {
    setenv("VGA_FBDEV", (make_temp_dir() + "/fb").c_str(), 1);
    DisplayContext* context = reinterpret_cast<DisplayContext*>(1);
    std::string out = capture_stdout([&] { context = svga_open(); });
    EXPECT_EQ(out, std::string(START_LINE) + "Unable to initiate svgalib\n");
    EXPECT_EQ(context, nullptr);
}

// A 16-bit framebuffer lacks mode 54: the record comes back unusable without a word, and
// discarding it leaves the screen as it was.
TEST_F(Backend, ModeMissingGivesAnUnusableRecordSilently) {
    StandIn s = make_standin(640, 480, 16, 0x5A);
    DisplayContext* context = nullptr;
    std::string out = capture_stdout([&] { context = svga_open(); });
    EXPECT_EQ(out, START_LINE);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->status, 0);
    EXPECT_EQ(context->depth, 0xFF);
    EXPECT_EQ(context->frame, nullptr);
    EXPECT_EQ(display_status(context), 0);
    display_discard(context);
    EXPECT_EQ(read_standin_bytes(s), std::vector<unsigned char>(640 * 480 * 2, 0x5A));
}

TEST_F(Backend, ModeThatCannotBeSet) {
    StandIn s = make_standin(640, 480, 32, 0x5A, 0, 1000);
    DisplayContext* context = nullptr;
    std::string out = capture_stdout([&] { context = svga_open(); });
    EXPECT_EQ(out, std::string(START_LINE) + "Unable to set mode: 320x240x32\n");
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->status, 0);
    EXPECT_EQ(context->depth, 0xFF);
    EXPECT_EQ(context->frame, nullptr);
    display_discard(context);
    EXPECT_EQ(read_standin_bytes(s), std::vector<unsigned char>(1000, 0x5A));
}

TEST(DisplayInterface, TheDriverKeepsTheFrame) {
    EXPECT_TRUE(display_wants_offscreen_frame());
    DisplayContext context{1, 32, nullptr};
    EXPECT_EQ(display_frame(&context), nullptr);
    EXPECT_EQ(display_status(&context), 1);
}

} // namespace
