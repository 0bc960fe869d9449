// Writing Pixels as an 8-bit RGBA PNG, the key byte as alpha, for unpacking an asset file; and
// a frame as the screen shows it, for quab-render's frames and quab-play's F12.
#pragma once

#include <string>

#include "display/frame.h"
#include "lib/base/result.h"

// Writes width x height Pixels (row-major) to path, all or nothing. Refused with one line
// (starting with path) on failure. Every byte of every Pixel is kept, so png_import gives back
// the same words.
Result png_export(const char* path, const Pixel* pixels, int width, int height);

// The PNG bytes of width x height Pixels as the screen shows them: opaque RGB, the key byte
// left out. False when libpng cannot make them.
[[nodiscard]] bool encode_opaque_png(const Pixel* pixels, int width, int height, std::string* png);

// encode_opaque_png of a 320x240 frame.
[[nodiscard]] static inline bool encode_frame_png(const Pixel* frame, std::string* png) {
    return encode_opaque_png(frame, FRAME_W, FRAME_H, png);
}
