// Helpers shared by the tests and benchmarks: asset records built in memory, written as an
// asset file or turned into an AssetTable, and a show on a scripted clock.
#pragma once

#include <string>
#include <vector>

#include "core/core.h"

using AssetRecords = std::vector<std::vector<Pixel>>;

// ASSET_COUNT records, each exactly the size the asset map needs, every Pixel set to fill.
AssetRecords default_asset_records(Pixel fill = 0);

// Writes records as an asset file (length-prefixed, little-endian). False on an I/O error.
bool write_asset_file(const std::string& path, const AssetRecords& records);

// Writes raw bytes to a file. False on an I/O error.
bool write_bytes(const std::string& path, const std::vector<unsigned char>& bytes);

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

// A unique empty temporary directory (removed by the caller, or left for inspection).
std::string make_temp_dir();
