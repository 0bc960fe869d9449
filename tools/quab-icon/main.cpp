// quab-icon: the application icon at one size, made at build time from a frame quab-render wrote
// (raw little-endian words): the frame's centre square enlarged or reduced to SIZE with nearest
// neighbour, so the show's own pixels stay sharp. A build helper; never installed.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "display/frame.h"
#include "lib/base/descriptors.h"
#include "lib/pictures/png_export.h"
#include "lib/tool_common/command_line.h"
#include "lib/tool_common/shown_path.h"
#include "lib/tool_common/streams.h"

namespace {

constexpr const char* PROGRAM = "quab-icon";

constexpr ToolText TOOL = {
    PROGRAM,
    "Draws the application icon at one size from a raw frame of quab-render.",
    "FRAME.raw SIZE OUT.png",
    "",
    "Writes the centre square of the frame as a SIZE x SIZE PNG (16 to 1024), scaled with\n"
    "nearest neighbour.\n",
};

} // namespace

int main(int argc, char** argv) {
    keep_standard_descriptors_open();
    std::vector<const char*> operands = parse_command_line(TOOL, argc, argv, {});
    if (operands.size() != 3)
        usage_error(PROGRAM, "needs FRAME.raw, SIZE and OUT.png");
    std::uint32_t size = 0;
    if (!parse_count(operands[1], 16, 1024, &size))
        usage_error(PROGRAM,
                    std::string("SIZE ") + operands[1] + ": not a whole number from 16 to 1024");

    std::vector<unsigned char> raw(FRAME_BYTES);
    std::FILE* in = std::fopen(operands[0], "rb");
    if (!in)
        fatal(PROGRAM, EXIT_FAILED, shown_path(operands[0]) + ": " + std::strerror(errno));
    std::size_t got = std::fread(raw.data(), 1, raw.size(), in);
    bool longer = std::fgetc(in) != EOF;
    std::fclose(in);
    if (got != raw.size() || longer)
        fatal(PROGRAM, EXIT_FAILED,
              shown_path(operands[0]) + ": not a 320x240 frame of " + std::to_string(FRAME_BYTES) +
                  " bytes");

    // The centre square of the 4:3 frame, FRAME_H on a side; the key byte is not alpha.
    constexpr std::uint32_t SIDE = FRAME_H;
    constexpr std::uint32_t LEFT = (FRAME_W - SIDE) / 2;
    std::vector<Pixel> icon(std::size_t{size} * size);
    for (std::uint32_t y = 0; y < size; y++) {
        std::uint32_t sy = y * SIDE / size;
        for (std::uint32_t x = 0; x < size; x++) {
            std::uint32_t sx = LEFT + x * SIDE / size;
            const unsigned char* p = &raw[(std::size_t{sy} * FRAME_W + sx) * 4];
            // Little-endian words 0xKKRRGGBB.
            icon[std::size_t{y} * size + x] =
                p[0] | p[1] << 8 | p[2] << 16 | static_cast<Pixel>(p[3]) << 24;
        }
    }
    std::string png;
    if (!encode_opaque_png(icon.data(), static_cast<int>(size), static_cast<int>(size), &png))
        fatal(PROGRAM, EXIT_FAILED, shown_path(operands[2]) + ": libpng cannot encode the icon");
    std::FILE* out = std::fopen(operands[2], "wb");
    bool written = out && std::fwrite(png.data(), 1, png.size(), out) == png.size();
    if (out && std::fclose(out) != 0)
        written = false;
    if (!written)
        fatal(PROGRAM, EXIT_FAILED, shown_path(operands[2]) + ": " + std::strerror(errno));
    return 0;
}
