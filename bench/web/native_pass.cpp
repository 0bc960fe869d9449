// The web page's pass (web/show_web.cpp) built natively, timed the way pass.mjs times the same
// code as WebAssembly in node: per scene, the show set up at the scene's first song position,
// then passes with the clock one tick on each. Prints "scene K us_per_pass" lines for web.sh.
// Given the page's tick table, times the exact seek as seek.mjs does: building the whole index,
// then seeks to every 7th tick ("build_ms X", "seek K worst_ms mean_ms").
// usage: quab-web-bench ASSETS PASSES [TICKS]
#include <algorithm>
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
int web_seek_start(std::uint16_t* table, std::int32_t tick_count);
int web_seek_build(std::int32_t passes);
int web_seek(std::int32_t tick);
}

static bool read_file(const char* path, std::vector<std::uint8_t>* bytes) {
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::perror(path);
        return false;
    }
    for (int c; (c = std::fgetc(f)) != EOF;)
        bytes->push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
    return true;
}

static double ms_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// The seek's figures over the page's tick table, as seek.mjs takes them.
static int time_seeks(const char* ticks_path) {
    std::vector<std::uint8_t> table;
    if (!read_file(ticks_path, &table))
        return 1;
    std::int32_t tick_count = static_cast<std::int32_t>(table.size() / 4);
    std::uint8_t* at = web_buffer(static_cast<std::uint32_t>(table.size()));
    std::copy(table.begin(), table.end(), at);
    std::uint16_t* words = reinterpret_cast<std::uint16_t*>(at);
    // A first index untimed, as seek.mjs needs one.
    if (!web_seek_start(words, tick_count) || web_seek_build(0) != 1 ||
        !web_seek_start(words, tick_count))
        return 1;
    auto start = std::chrono::steady_clock::now();
    if (web_seek_build(0) != 1)
        return 1;
    std::printf("build_ms %.1f\n", ms_since(start));
    double worst[SCENE_COUNT + 1] = {}, total[SCENE_COUNT + 1] = {};
    int count[SCENE_COUNT + 1] = {};
    for (std::int32_t tick = 0; tick < tick_count; tick += 7) {
        start = std::chrono::steady_clock::now();
        int scene = web_seek(tick);
        double ms = ms_since(start);
        if (scene < 0)
            return 1;
        worst[scene] = std::max(worst[scene], ms);
        total[scene] += ms;
        count[scene]++;
    }
    for (int k = 0; k <= SCENE_COUNT; k++)
        if (count[k])
            std::printf("seek %d %.2f %.2f\n", k + 1, worst[k], total[k] / count[k]);
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: quab-web-bench ASSETS PASSES [TICKS]\n");
        return 2;
    }
    std::vector<std::uint8_t> bytes;
    if (!read_file(argv[1], &bytes))
        return 1;
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
    return argc == 4 ? time_seeks(argv[3]) : 0;
}
