// The show's pictures as PNGs in a folder, as quab-assets unpack writes them and build --from
// and quab-play --pictures read them: each asset's names, reading and checking one picture, and
// a whole asset table made from a folder that holds every picture.
#pragma once

#include <string>
#include <vector>

#include "assets/assets.h"
#include "core/core.h"

// The name unpack gives asset n's picture: its number and what it is, "18-scene7-word-1.png".
std::string picture_name(int n);

// The plain name that is also taken: "18.png".
std::string plain_picture_name(int n);

// A PNG in dir that starts like a picture's name ("18-" and ends in ".png") but is neither of
// asset 18's names (most likely a picture renamed by hand, which would otherwise be left out
// without a word): one line naming it and the names it may have. Empty when there is none.
std::string misnamed_picture(const char* dir);

enum class PictureRead {
    OK,
    MISSING, // neither name is in the folder
    BAD,     // *problem says why
};

// Reads asset n's picture from dir by either name into *pixels (its alpha as the key byte). A
// PNG that cannot be read, one whose size is not the asset's shape, and both names at once are
// BAD with one line in *problem naming the file, what it is and what is needed. *path is the
// file read.
PictureRead read_asset_picture(const char* dir, int n, std::vector<Pixel>* pixels,
                               std::string* path, std::string* problem);

// Which file a picture was read from, and as it was then: a save (in place or by rename)
// changes it.
struct PictureStamp {
    std::uint64_t device, inode, size, mtime_ns;
};

// Every asset from its picture in dir, as an asset table in the loader's form into *table (the
// caller frees it with free_asset_table). Refused with one line, *table null, when dir is not a
// folder, a picture is missing, misnamed or cannot be used, or memory runs out. With stamps
// (ASSET_COUNT of them) and the table last made from dir, a picture whose file is unchanged is
// copied from that table instead of decoded again; stamps are set to the files read.
Result asset_table_from_pictures(const char* dir, AssetTable* table, AssetTable previous = nullptr,
                                 PictureStamp* stamps = nullptr);
