// Both files of the show: the asset file first, as xdemo loads it before the music.
#include "lib/show_files/show_files.h"

#include "lib/tool_common/shown_path.h"
#include "music/collector.h"

ShowFilesFault load_show_files(const char* assets_path, const char* music_path, AssetTable* assets,
                               std::string* error) {
    if (Result r = load_show_assets(assets_path, assets); !r.ok) {
        *error = r.reason;
        return ShowFilesFault::ASSETS;
    }
    bool bad_module = false;
    if (Result why = collector_open(music_path, &bad_module); !why.ok) {
        free_asset_table(*assets);
        *assets = nullptr;
        *error = shown_path(music_path) + ": " + why.reason;
        return bad_module ? ShowFilesFault::MODULE : ShowFilesFault::LIBRARY;
    }
    return ShowFilesFault::NONE;
}
