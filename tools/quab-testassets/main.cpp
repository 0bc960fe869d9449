// quab-testassets: writes a valid asset file of the show's 30 records, each exactly the size the
// scenes read, filled with deterministic patterns and noise. Made for runs of the show where the
// real pictures are not at hand (sanitizer runs, benchmarks); not a picture of the show.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "lib/base/descriptors.h"
#include "lib/base/random.h"
#include "lib/tool_common/command_line.h"
#include "lib/tool_common/output_file.h"

namespace {

// Red and green follow the position, blue is noise. Half of the 16x16 cells carry a full key
// byte (of which about a third pass KEY_HIGH and two thirds KEY_LOW, decided by red), the other
// half a noisy one, so every keyed copy both draws and skips pixels.
std::uint32_t pattern_pixel(int n, int x, int y, int width, int height, std::uint32_t noise) {
    std::uint32_t red = static_cast<std::uint32_t>(x) * 256u / static_cast<std::uint32_t>(width);
    std::uint32_t green = static_cast<std::uint32_t>(y) * 256u / static_cast<std::uint32_t>(height);
    std::uint32_t blue = noise & 0xFF;
    bool keyed = ((x >> 4) + (y >> 4) + n) % 2 == 0;
    std::uint32_t key = keyed ? 0xFFu : (noise >> 24);
    return key << 24 | red << 16 | green << 8 | blue;
}

// One record at a time, so that a full disk is found on the first record it cuts short.
Result write_records(OutputFile* out) {
    std::vector<std::uint32_t> words;
    for (int n = 0; n < ASSET_COUNT; n++) {
        const AssetShape& shape = ASSET_MAP[n];
        words.clear();
        std::uint32_t state = 0x9E3779B9u * static_cast<std::uint32_t>(n + 1);
        for (int y = 0; y < shape.height; y++)
            for (int x = 0; x < shape.width; x++)
                words.push_back(
                    pattern_pixel(n, x, y, shape.width, shape.height, next_random(&state)));
        if (!write_asset_record(out->f, words.data(), words.size()))
            return Result::fail(out->path +
                                ": cannot write: " + std::strerror(errno ? errno : EIO));
    }
    return Result::success();
}

constexpr ToolText TOOL = {
    "quab-testassets",
    "Writes an asset file of the show's 30 records in test patterns, for the tests.",
    "OUT",
    "",
    "Exit status: 0 written, 1 the file could not be written, 2 a bad command line.\n",
};

} // namespace

int main(int argc, char** argv) {
    keep_standard_descriptors_open();
    const char* path = single_output_argument(TOOL, argc, argv);
    OutputFile out;
    if (Result r = output_open(path, &out); !r.ok) {
        std::fprintf(stderr, "quab-testassets: %s\n", r.reason.c_str());
        return EXIT_FAILED;
    }
    if (Result r = write_records(&out); !r.ok) {
        output_discard(&out);
        std::fprintf(stderr, "quab-testassets: %s\n", r.reason.c_str());
        return EXIT_FAILED;
    }
    if (Result r = output_commit(&out); !r.ok) {
        std::fprintf(stderr, "quab-testassets: %s\n", r.reason.c_str());
        return EXIT_FAILED;
    }
    return EXIT_OK;
}
