// What the scene and timeline tests share: a show on a scripted clock that frees itself, and the
// frame arithmetic their expected words are written in.
#pragma once

#include <cstdint>

#include "core/core.h"
#include "tests/support/test_support.h"

// Index of frame pixel (x, y).
inline std::uint32_t at(int x, int y) { return static_cast<std::uint32_t>(y * FRAME_W + x); }

// The word a texture whose texels hold their own index gives at (x, y): one 16-bit ring,
// (x + 256y) mod 65536.
inline std::uint32_t ring(std::int32_t x, std::int32_t y) {
    return (static_cast<std::uint32_t>(x) + 256u * static_cast<std::uint32_t>(y)) & 0xFFFFu;
}

// How many frame pixels differ from v.
inline int count_not(const Pixel* frame, Pixel v) {
    int n = 0;
    for (int i = 0; i < FRAME_PIXELS; i++)
        n += frame[i] != v;
    return n;
}

// A ScriptedShow that frees itself; ok is false when its allocation failed.
struct TestShow {
    ScriptedShow sh{};
    bool ok;
    explicit TestShow(const AssetRecords& records) : ok(scripted_show_init(&sh, records)) {}
    ~TestShow() { scripted_show_free(&sh); }
    TestShow(const TestShow&) = delete;
    TestShow& operator=(const TestShow&) = delete;
    void pass(std::int32_t tick, std::int16_t sngpos, std::uint16_t patpos = 0) {
        scripted_show_pass(&sh, tick, sngpos, patpos);
    }
    ShowState& s() { return sh.s; }
    Pixel* frame() { return sh.s.frame; }
    Pixel px(int x, int y) const { return sh.s.frame[at(x, y)]; }
    Pixel* asset(int n) { return reinterpret_cast<Pixel*>(sh.s.assets[n]); }
    void fill_frame(Pixel v) {
        for (int i = 0; i < FRAME_PIXELS; i++)
            sh.s.frame[i] = v;
    }
};
