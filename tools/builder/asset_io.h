// The asset builder's file work: writing an asset file from Pixel images, replacing assets
// from edited PNGs, and unpacking an asset file into PNGs. Each returns an exit status.
#pragma once

#include "tools/builder/default_assets.h"

constexpr int EXIT_OK = 0;
constexpr int EXIT_IO_FAILURE = 1; // an output could not be written, a font is missing
constexpr int EXIT_BAD_INPUT = 2;  // usage, a PNG or an asset file that cannot be used

// Writes the images in order as length-prefixed records (little-endian lengths and words).
// The file appears under path only once complete.
int write_asset_images(const char* path, const AssetImages& images);

// For every asset n whose PNG exists in dir, named as unpack names it ("18-scene7-word-1.png":
// two digits, a hyphen and ASSET_MAP[n].name) or by its number alone ("18.png"), replaces
// images[n] with the picture, its alpha as the key byte. A PNG that cannot be read or whose size
// is not the asset's shape stops the build with one line naming the file, what it is and what
// is needed; so do both names of one asset, and a name that starts with an asset's number and a
// hyphen but is not that asset's.
int replace_from_pngs(const char* dir, AssetImages* images);

// Writes asset n of the file at in_path as outdir/NN-name.png (its number and
// ASSET_MAP[n].name, "18-scene7-word-1.png") in the asset's shape, for n = 0..29.
int unpack_asset_file(const char* in_path, const char* outdir);
