// quab-music: composes the show's soundtrack and writes it as an extended module.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/composer/song.h"

namespace {

constexpr const char* USAGE = "usage: quab-music OUT\n"
                              "  writes the show's soundtrack (music.xm) to OUT\n";

int usage_error(const std::string& problem) {
    std::fprintf(stderr, "quab-music: %s\n%s", problem.c_str(), USAGE);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const char* out = nullptr;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(USAGE, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    for (int i = 1; i < argc; i++) {
        if (argv[i][0] == '-')
            return usage_error(std::string("unknown option ") + argv[i]);
        if (out)
            return usage_error("more than one output file given");
        out = argv[i];
    }
    if (!out)
        return usage_error("no output file given");
    std::string reason;
    if (!xm_write_file(compose_song(), out, &reason)) {
        std::fprintf(stderr, "quab-music: %s\n", reason.c_str());
        return 1;
    }
    return 0;
}
