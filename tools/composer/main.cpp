// quab-music: composes the show's soundtrack and writes it as an extended module.
#include <cstdio>

#include "tools/composer/song.h"

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: quab-music OUT\n"
                             "  writes the show's soundtrack (music.xm) to OUT\n");
        return 2;
    }
    std::string reason;
    if (!xm_write_file(compose_song(), argv[1], &reason)) {
        std::fprintf(stderr, "quab-music: %s\n", reason.c_str());
        return 1;
    }
    return 0;
}
