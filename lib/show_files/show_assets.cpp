// The asset file of the show, loaded and checked as xdemo does, with the refusal in one line.
#include "lib/show_files/show_files.h"
#include "lib/tool_common/shown_path.h"

#include <cstdlib>

Result load_show_assets(const char* path, AssetTable* table, std::uint32_t** lengths) {
    AssetRefusal refusal;
    Result why;
    *table = load_checked_asset_file(path, lengths, &refusal, &why);
    if (*table)
        return Result::success();
    return Result::fail(
        shown_path(path) +
        (refusal.loaded ? ": not the show's asset file: " : ": cannot load the asset file: ") +
        why.reason);
}
