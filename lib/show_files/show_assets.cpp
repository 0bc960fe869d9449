// The asset file of the show, loaded and checked as xdemo does, with the refusal in one line.
#include "lib/show_files/show_files.h"
#include "lib/tool_common/shown_path.h"

#include <cstdlib>

AssetTable load_show_assets(const char* path, std::string* error, std::uint32_t** lengths) {
    AssetRefusal refusal;
    Result why;
    AssetTable table = load_checked_asset_file(path, lengths, &refusal, &why);
    if (table)
        return table;
    *error = shown_path(path) +
             (refusal.loaded ? ": not the show's asset file: " : ": cannot load the asset file: ") +
             why.reason;
    return nullptr;
}
