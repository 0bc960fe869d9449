// Asset records in memory and the scripted show over them.
#include "lib/test_records/records.h"

#include <cstdlib>
#include <cstring>

AssetRecords default_asset_records(Pixel fill) {
    AssetRecords records(ASSET_COUNT);
    for (int n = 0; n < ASSET_COUNT; n++)
        records[n].assign(static_cast<std::size_t>(ASSET_MAP[n].width) * ASSET_MAP[n].height, fill);
    return records;
}

bool scripted_show_init(ScriptedShow* show, const AssetRecords& records) {
    AssetTable table =
        static_cast<AssetTable>(std::calloc(records.size() + 1, sizeof(std::uint8_t*)));
    if (!table)
        return false;
    if (!show_start_offline(&show->s, table, &show->clock)) {
        std::free(table);
        return false;
    }
    for (std::size_t i = 0; i < records.size(); i++) {
        std::size_t bytes = records[i].size() * sizeof(Pixel);
        table[i] = static_cast<std::uint8_t*>(std::malloc(bytes ? bytes : 1));
        if (!table[i])
            return false;
        std::memcpy(table[i], records[i].data(), bytes);
    }
    return true;
}

void scripted_show_pass(ScriptedShow* show, std::int32_t tick, std::int16_t sngpos,
                        std::uint16_t patpos) {
    show_pass_at(&show->s, &show->clock, tick, sngpos, patpos);
}

void scripted_show_free(ScriptedShow* show) {
    if (show->s.assets)
        free_asset_table(show->s.assets);
    show_free(&show->s);
}
