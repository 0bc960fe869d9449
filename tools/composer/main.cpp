// quab-music: composes the show's soundtrack and writes it as an extended module.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/common/command_line.h"
#include "tools/composer/song.h"

namespace {

constexpr const char* USAGE = "usage: quab-music OUT\n"
                              "  writes the show's soundtrack (music.xm) to OUT\n";

} // namespace

int main(int argc, char** argv) {
    const char* out = single_output_argument(argc, argv, "quab-music", USAGE);
    std::string reason;
    if (!xm_write_file(compose_song(), out, &reason)) {
        std::fprintf(stderr, "quab-music: %s\n", reason.c_str());
        return 1;
    }
    return 0;
}
