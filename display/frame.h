// The frame every program draws: the Pixel word and the 320x240 frame it fills. The scenes, the
// tools' painters and the display back-ends all speak in these; nothing here knows a screen.
#pragma once

#include <cstddef>
#include <cstdint>

// A 32-bit word: blue bits 0-7, green 8-15, red 16-23, key byte 24-31. A back-end converts it to
// whatever its screen takes; the core only ever draws these.
using Pixel = std::uint32_t;

// The frame every back-end shows: 320x240 Pixels, row-major, rows without gaps.
constexpr int FRAME_W = 320;
constexpr int FRAME_H = 240;
constexpr int FRAME_PIXELS = FRAME_W * FRAME_H;
constexpr std::size_t FRAME_BYTES = FRAME_PIXELS * sizeof(Pixel);
