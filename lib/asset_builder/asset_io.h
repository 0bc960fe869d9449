// The asset builder's file work: writing an asset file from Pixel images, replacing assets
// from edited PNGs, and unpacking an asset file into PNGs. Each returns an exit status.
#pragma once

#include "lib/asset_builder/default_assets.h"
#include "lib/tool_common/command_line.h"

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
// ASSET_MAP[n].name, "18-scene7-word-1.png") in the asset's shape, for n = 0..29. Pictures
// already there are a maker's edits: without force nothing is written and one line names them.
int unpack_asset_file(const char* in_path, const char* outdir, bool force);
