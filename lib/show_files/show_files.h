// The show's two files loaded by name with the checks xdemo makes: the asset file read whole and
// checked against the asset map, the module loaded into the collecting mixer with the show's
// settings. quab-render takes only the first; quab-export and quab-play take both.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "lib/base/result.h"
#include "lib/tool_common/command_line.h"

// load_checked_asset_file on path into *table, printing nothing: a refusal is summed up in one
// line starting with the path, *table null. lengths as load_checked_asset_file takes it.
Result load_show_assets(const char* path, AssetTable* table, std::uint32_t** lengths = nullptr);

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

// Where a show file is found when no option names it: `name` in the current folder, then beside
// the program when its folder is a build tree (it holds CMakeCache.txt), then in the
// installed default show beside the program (<bindir>/../share/quab, so a moved install still
// finds its own), then in $XDG_DATA_HOME/quab (default ~/.local/share/quab) and in the quab/ of
// each absolute $XDG_DATA_DIRS entry (default /usr/local/share:/usr/share). The places, in that
// order and each once, with a trailing slash; exe_path is the program's own file.
struct ShowLookupPlaces {
    const char* exe_path;      // null: no program folder to look beside
    const char* xdg_data_home; // null or empty: $HOME/.local/share
    const char* xdg_data_dirs; // null or empty: /usr/local/share:/usr/share
    const char* home;
};
std::vector<std::string> show_lookup_folders(const ShowLookupPlaces& places);

// The first of show_lookup_folders that holds `name`, into *found (the path as found; in the
// current folder, `name` itself); where none does, *found empty and refused with one line
// naming every place looked in.
Result find_show_file_in(const char* name, const ShowLookupPlaces& places, std::string* found);

// find_show_file_in with this process's own file and environment.
Result find_show_file(const char* name, std::string* found);

// The path given on the command line, or else find_show_file(name); where none is found, the
// line goes to standard error after "program: " and the process exits with `status`.
std::string given_or_found_show_file(const char* given, const char* name, const char* program,
                                     int status);

// The two show files a tool takes (--assets, --music): each as given or else found, exiting
// with EXIT_NO_SHOW where it is not, then refused unless a regular file (require_regular_inputs).
// The paths are kept in held[0] and held[1], which must outlive *inputs' use of them.
void settle_show_inputs(ShowInputs* inputs, const char* program, std::string held[2]);
