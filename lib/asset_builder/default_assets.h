// The show's own pictures: all thirty assets of the asset map, made from sines, noise and text
// so that the same build gives the same bytes on every run.
#pragma once

#include <vector>

#include "assets/assets.h"
#include "core/core.h"
#include "lib/base/result.h"

// One Pixel array per asset, each exactly ASSET_MAP[n].width * height long.
using AssetImages = std::vector<std::vector<Pixel>>;

// Makes every asset, setting text with the DejaVu fonts found in font_dir. Refused with one line
// when a font cannot be opened.
Result make_default_assets(const char* font_dir, AssetImages* out);
