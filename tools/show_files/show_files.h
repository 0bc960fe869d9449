// The show's two files loaded by name with the checks xdemo makes: the asset file read whole and
// checked against the asset map, the module loaded into the collecting mixer with the show's
// settings. quab-render takes only the first; quab-export and quab-play take both.
#pragma once

#include <cstdint>
#include <string>

#include "assets/assets.h"

// load_checked_asset_file on path, printing nothing: the refusal is summed up in one line in
// *error, starting with the path. Null on refusal. lengths as load_checked_asset_file takes it.
[[nodiscard]] AssetTable load_show_assets(const char* path, std::string* error,
                                          std::uint32_t** lengths = nullptr);

enum class ShowFilesFault {
    NONE,
    ASSETS,  // the asset file was refused
    MODULE,  // the module cannot be loaded
    LIBRARY, // libmikmod cannot start
};

// The asset file, then the module (collector_open). On success *assets is the caller's and the
// module is loaded in the mixer (collector_close). On a fault nothing is left loaded and *error
// holds one line starting with the path of the file at fault.
[[nodiscard]] ShowFilesFault load_show_files(const char* assets_path, const char* music_path,
                                             AssetTable* assets, std::string* error);
