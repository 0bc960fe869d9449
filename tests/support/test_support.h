// Helpers shared by the tests: asset records (lib/test_records/records.h) written as an asset file,
// raw bytes written to a file, and a temporary folder.
#pragma once

#include <string>
#include <vector>

#include "lib/test_records/records.h"

// Writes records as an asset file (length-prefixed, little-endian). False on an I/O error.
bool write_asset_file(const std::string& path, const AssetRecords& records);

// Writes raw bytes to a file. False on an I/O error.
bool write_bytes(const std::string& path, const std::vector<unsigned char>& bytes);

// A unique empty temporary directory (removed by the caller, or left for inspection).
std::string make_temp_dir();
