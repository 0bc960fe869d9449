// Helpers shared by the tests.
#include "tests/support/test_support.h"

#include <cstdio>
#include <cstdlib>

bool write_bytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool write_asset_file(const std::string& path, const AssetRecords& records) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = true;
    for (const std::vector<Pixel>& r : records)
        ok = ok && write_asset_record(f, r.data(), r.size());
    return std::fclose(f) == 0 && ok;
}

std::string make_temp_dir() {
    char templ[] = "/tmp/quab-test-XXXXXX";
    const char* dir = mkdtemp(templ);
    return dir ? std::string(dir) : std::string();
}
