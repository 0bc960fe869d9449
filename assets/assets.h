// The asset file: "quab.dat" read whole into an AssetTable of length-prefixed chunks, the map
// of what the scenes read from each chunk, the check of a table against that map, and the
// writing of records in the same format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "lib/base/result.h"

// Null-terminated array of chunk pointers in file order; asset N is entry N.
using AssetTable = std::uint8_t**;

// The most records load_asset_file takes from one file: far more than the show's 30, and few
// enough that the table and the blocks of a file of records of length 0 stay small.
constexpr std::size_t ASSET_RECORD_LIMIT = 65536;

// Reads the file at path whole. Prints "Initiating decrunch sequence..." and, on failure, its own
// line. A tool that speaks in its own words passes quiet: nothing is printed, and a refusal is
// kept there, its reason without the path ("No such file or directory", "it ends inside a
// record"). On success the caller owns the table (free_asset_table) and, when lengths is
// non-null, a malloc'ed array of the chunk lengths in bytes (one per chunk), freed with free.
[[nodiscard]] AssetTable load_asset_file(const char* path, std::uint32_t** lengths = nullptr,
                                         Result* quiet = nullptr);

// The records of an asset file already whole in memory (bytes long, left to the caller), by
// the same rule load_asset_file reads a file by, each copied into a block of its own, into
// *table. Prints nothing; a refusal's reason is load_asset_file's. On success as
// load_asset_file: the caller owns the table and, when lengths is non-null, the lengths.
Result split_asset_records(const std::uint8_t* file, std::size_t bytes, AssetTable* table,
                           std::uint32_t** lengths);

// split_asset_records without the reason: null on a refusal. Builds no text, so that a program
// with no output (the web page) carries nothing that formats or allocates one.
[[nodiscard]] AssetTable asset_records_in_memory(const std::uint8_t* file, std::size_t bytes,
                                                 std::uint32_t** lengths);

// Frees every chunk up to the first null slot, then the table. Always returns 1.
int free_asset_table(AssetTable table);

// Number of chunks before the null slot.
std::size_t asset_count(AssetTable table);

// The shape of every asset the show reads, in Pixels.
struct AssetShape {
    int width;
    int height;
    const char* role; // what reads it, for messages and tools
    const char* name; // short name for file names: lower case, digits and hyphens
};
constexpr int ASSET_COUNT = 30;

// Asset numbers by name: the scenes, the tools and the docs use these, never bare numbers.
// Which scene reads which is SCENE_ASSETS (core/show.h); the roles in ASSET_MAP are held to it.
constexpr int ASSET_LAYER0 = 0;
constexpr int ASSET_LAYER1 = 1;
constexpr int ASSET_SCENE1_MASK_EARLY = 2;
constexpr int ASSET_SCENE1_MASK_LATE = 3;
constexpr int ASSET_SCENE2_TEXTURE = 4;
constexpr int ASSET_SCENE2_OVERLAY_1 = 5; // then 6 and 7
constexpr int ASSET_SCENE3_HEIGHT_FIELD = 8;
constexpr int ASSET_SCENE3_LIGHT_MAP = 9;
constexpr int ASSET_SCENE3_OVERLAY = 10;
constexpr int ASSET_SCENE4_OVERLAY_1 = 11; // then 12 to 14
constexpr int ASSET_SCENE5_TUNNEL = 15;
constexpr int ASSET_SCENE6_PICTURE = 16;
constexpr int ASSET_SCENE7_BACKGROUND = 17;
constexpr int ASSET_SCENE7_WORD_1 = 18; // then 19 to 27
constexpr int ASSET_SCENE5_STRIP = 28;
constexpr int ASSET_SCENE8_SCROLLER = 29;
constexpr int SCENE2_OVERLAYS = 3;
constexpr int SCENE4_OVERLAYS = 4;
constexpr int SCENE7_WORDS = 10;
// The shapes by asset number: the scenes take their pictures' strides and sizes from here.
inline constexpr AssetShape ASSET_MAP[ASSET_COUNT] = {
    {256, 256, "Scenes 1, 4, 8 scrolling layer 0; Scene 5 background", "layer-0"},
    {256, 256, "Scenes 1, 4, 8 scrolling layer 1", "layer-1"},
    {320, 240, "Scene 1 mask for song positions 0 to 2", "scene1-mask-1"},
    {320, 240, "Scene 1 mask from song position 3", "scene1-mask-2"},
    {256, 256, "Scene 2 polar-mapped texture", "scene2-texture"},
    {320, 240, "Scene 2 overlay at song position 7", "scene2-overlay-1"},
    {320, 240, "Scene 2 overlay at song position 8", "scene2-overlay-2"},
    {320, 240, "Scene 2 overlay at song position 9", "scene2-overlay-3"},
    {256, 256, "Scene 3 height-field texture", "scene3-height-field"},
    {256, 256, "Scene 3 light map; Scene 6 panel", "scene3-light-map"},
    {320, 240, "Scene 3 overlay at song position 11", "scene3-overlay"},
    {320, 240, "Scene 4 overlay 1", "scene4-overlay-1"},
    {320, 240, "Scene 4 overlay 2", "scene4-overlay-2"},
    {320, 240, "Scene 4 overlay 3", "scene4-overlay-3"},
    {320, 240, "Scene 4 overlay 4", "scene4-overlay-4"},
    {256, 256, "Scene 5 tunnel texture", "scene5-tunnel"},
    {320, 240, "Scene 6 added picture", "scene6-picture"},
    {320, 240, "Scene 7 background", "scene7-background"},
    {300, 55, "Scene 7 first picture", "scene7-word-1"},
    {200, 55, "Scene 7 picture 2", "scene7-word-2"},
    {200, 55, "Scene 7 picture 3", "scene7-word-3"},
    {200, 55, "Scene 7 picture 4", "scene7-word-4"},
    {200, 55, "Scene 7 picture 5", "scene7-word-5"},
    {200, 55, "Scene 7 picture 6", "scene7-word-6"},
    {200, 55, "Scene 7 picture 7", "scene7-word-7"},
    {200, 55, "Scene 7 picture 8", "scene7-word-8"},
    {200, 55, "Scene 7 picture 9", "scene7-word-9"},
    {200, 55, "Scene 7 picture 10", "scene7-word-10"},
    {3300, 55, "Scene 5 rolling strip", "scene5-strip"},
    {320, 3000, "Scene 8 scroller", "scene8-scroller"},
};

static inline std::uint32_t asset_bytes_needed(int n) {
    return static_cast<std::uint32_t>(ASSET_MAP[n].width) *
           static_cast<std::uint32_t>(ASSET_MAP[n].height) * 4u;
}

// The largest asset file the tools read (a reason passed to load_asset_file), refused before a
// byte of it is read: a few times the whole show's pictures with their length words, so that
// extra records fit, and far below a record that would hold the machine for seconds.
constexpr long ASSET_FILE_MAX_BYTES = 64l << 20;
constexpr long asset_file_bytes_needed() {
    long bytes = 0;
    for (const AssetShape& shape : ASSET_MAP)
        bytes += 4 + 4l * shape.width * shape.height;
    return bytes;
}
static_assert(ASSET_FILE_MAX_BYTES >= 4 * asset_file_bytes_needed(),
              "the asset file's cap leaves room for extra records");

// Checks that the table holds at least ASSET_COUNT chunks, each at least as long as its scene
// reads. On a mismatch prints one line naming the file (path), the asset, its size and the size
// needed, and returns false. The table is left to the caller.
[[nodiscard]] bool check_asset_table(AssetTable table, const std::uint32_t* lengths,
                                     const char* path);

// check_asset_table without a word: true when the table holds every asset in full.
[[nodiscard]] bool asset_table_fits(AssetTable table, const std::uint32_t* lengths);

// Appends one record to an asset file open for writing at f: count * 4 as a little-endian
// length word, then the count words, little-endian whatever the host. Returns false with errno
// set when a write fails, or (EFBIG) when the record is too long for its length word. The
// caller owns f and decides how the file comes into place.
[[nodiscard]] bool write_asset_record(FILE* f, const std::uint32_t* words, std::size_t count);

// Why load_checked_asset_file refused a file, in numbers: which of the two steps refused it and,
// for the check, where the table falls short.
struct AssetRefusal {
    bool loaded;          // false: the loader refused the file; true: the check refused the table
    std::size_t count;    // chunks the file holds, when loaded
    int short_asset;      // the first asset shorter than the map needs; -1 when chunks are missing
    std::uint32_t length; // that asset's length in bytes
};

// load_asset_file, then check_asset_table, each printing exactly its own lines (none when quiet
// is non-null: either refusal is kept there, the check's without the path, as "holds N assets;
// the show needs 30" or "asset N is L bytes; it needs M"). On a refusal by either, frees what
// was loaded, fills *refusal when non-null and returns null. On success the
// caller owns the table (free_asset_table) and, when lengths is non-null, the chunk lengths
// (free); otherwise the lengths are freed here.
[[nodiscard]] AssetTable load_checked_asset_file(const char* path,
                                                 std::uint32_t** lengths = nullptr,
                                                 AssetRefusal* refusal = nullptr,
                                                 Result* quiet = nullptr);
