// Asset records built in memory and a show on a scripted clock over them: what the tests and
// the benchmarks both feed the scenes with, without a file in between.
#pragma once

#include <cstdint>
#include <vector>

#include "core/core.h"

using AssetRecords = std::vector<std::vector<Pixel>>;

// ASSET_COUNT records, each exactly the size the asset map needs, every Pixel set to fill.
AssetRecords default_asset_records(Pixel fill = 0);

// A show on a scripted clock, as quab-render runs it (show_start_offline: zeroed buffers and
// frame, s.frame, fresh tables), the records copied into a malloc'ed AssetTable.
struct ScriptedShow {
    ShowState s;
    ScriptedClock clock;
};

// Returns false if allocation fails. Free with scripted_show_free.
bool scripted_show_init(ScriptedShow* show, const AssetRecords& records);

// Sets the clock and runs one pass.
void scripted_show_pass(ScriptedShow* show, std::int32_t tick, std::int16_t sngpos,
                        std::uint16_t patpos = 0);

void scripted_show_free(ScriptedShow* show);
