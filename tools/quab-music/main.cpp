// quab-music: composes the show's soundtrack and writes it as an extended module.
#include <cstdio>
#include <string>

#include "lib/base/descriptors.h"
#include "lib/compose/song.h"
#include "lib/tool_common/command_line.h"

namespace {

constexpr ToolText TOOL = {
    "quab-music",
    "Composes the show's soundtrack and writes it as an extended module (music.xm).",
    "OUT",
    "",
    "Exit status: 0 written, 1 the file could not be written, 2 a bad command line.\n",
};

} // namespace

int main(int argc, char** argv) {
    keep_standard_descriptors_open();
    const char* out = single_output_argument(TOOL, argc, argv);
    if (Result r = xm_write_file(compose_song(), out); !r.ok) {
        std::fprintf(stderr, "quab-music: %s\n", r.reason.c_str());
        return EXIT_FAILED;
    }
    return EXIT_OK;
}
