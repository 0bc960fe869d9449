// Writing Pixels as an 8-bit RGBA PNG, the key byte as alpha, for unpacking an asset file.
#pragma once

#include <string>

#include "display/frame.h"

// Writes width x height Pixels (row-major) to path, all or nothing. Returns false with a
// one-line *reason (starting with path) on failure. Every byte of every Pixel is kept, so
// png_import gives back the same words.
[[nodiscard]] bool png_export(const char* path, const Pixel* pixels, int width, int height,
                              std::string* reason);
