// The asset file of the show, loaded and checked as xdemo does, with the refusal in one line.
#include "lib/show_files/show_files.h"
#include "lib/tool_common/shown_path.h"

#include <cstdlib>

AssetTable load_show_assets(const char* path, std::string* error, std::uint32_t** lengths) {
    AssetRefusal refusal;
    AssetLoadReason why;
    AssetTable table = load_checked_asset_file(path, lengths, &refusal, &why);
    if (table)
        return table;
    if (!refusal.loaded) {
        *error = shown_path(path) + ": cannot load the asset file: " + why.text;
        return nullptr;
    }
    std::string reason;
    if (refusal.short_asset < 0) {
        reason = "holds " + std::to_string(refusal.count) + " assets; the show needs " +
                 std::to_string(ASSET_COUNT);
    } else {
        int n = refusal.short_asset;
        reason = "asset " + std::to_string(n) + " is " + std::to_string(refusal.length) +
                 " bytes; it needs " + std::to_string(asset_bytes_needed(n));
    }
    *error = shown_path(path) + ": not the show's asset file: " + reason;
    return nullptr;
}
