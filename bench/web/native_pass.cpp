// The web page's pass (web/show_web.cpp) built natively, timed the way pass.mjs times the same
// code as WebAssembly in node: per scene, the show set up at the scene's first song position,
// then passes with the clock one tick on each. Prints "scene K us_per_pass" lines for web.sh.
// usage: quab-web-bench ASSETS PASSES
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/timeline.h"

extern "C" {
std::uint8_t* web_buffer(std::uint32_t bytes);
int web_start(std::uint8_t* file, std::uint32_t bytes);
void web_restart();
int web_draw(std::int32_t tick, std::int32_t sngpos, std::int32_t patpos);
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: quab-web-bench ASSETS PASSES\n");
        return 2;
    }
    FILE* f = std::fopen(argv[1], "rb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<std::uint8_t> bytes;
    for (int c; (c = std::fgetc(f)) != EOF;)
        bytes.push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
    std::uint8_t* file = web_buffer(static_cast<std::uint32_t>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), file);
    if (!web_start(file, static_cast<std::uint32_t>(bytes.size()))) {
        std::fprintf(stderr, "quab-web-bench: %s does not load\n", argv[1]);
        return 1;
    }
    int passes = std::atoi(argv[2]);
    // A first round untimed, as pass.mjs needs one for the engine's optimised code: both sides
    // then start with warm caches.
    for (bool timed : {false, true}) {
        for (int k = 0; k < SCENE_COUNT; k++) {
            std::int16_t position = scene_first_position(k);
            // Scene 7 draws its pictures after their rows; the middle of its pattern shows
            // several.
            std::uint16_t row = k == 6 ? 40 : 0;
            web_restart();
            std::int32_t tick = 1000;
            web_draw(tick, position, row);
            auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < passes; i++)
                web_draw(++tick, position, row);
            std::chrono::duration<double, std::micro> spent =
                std::chrono::steady_clock::now() - start;
            if (timed)
                std::printf("scene %d %.1f\n", k + 1, spent.count() / passes);
        }
    }
    return 0;
}
