// The asset file loader: counts the length-prefixed records (reading the file in large blocks
// and seeking over long payloads), then loads each into its own block. Also the check of a table
// against the asset map, and the two together as every program that shows the assets
// loads them.
#include "assets/assets.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Lengths are little-endian whatever the host; a short read is reported as false.
static bool read_length(FILE* f, std::uint32_t* length) {
    unsigned char b[4];
    if (std::fread(b, 1, 4, f) != 4)
        return false;
    *length = static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
              static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    return true;
}

// A refusal in a tool's words; format and its arguments as printf takes them.
static Result refusal(const char* format, ...) {
    char text[256];
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return Result::fail(text);
}

// A failure in the show's words on standard output, or, for a tool, in its words in *quiet.
// show_line takes the path for its %s; reason_format its own arguments.
static void refuse(Result* quiet, const char* show_line, const char* path,
                   const char* reason_format, ...) {
    if (!quiet) {
        std::printf(show_line, path);
        return;
    }
    char text[256];
    std::va_list args;
    va_start(args, reason_format);
    std::vsnprintf(text, sizeof text, reason_format, args);
    va_end(args);
    *quiet = Result::fail(text);
}

// The reason a read came up short: an error the system names, or the end of the file.
static void refuse_read(Result* reason, FILE* f, const char* path) {
    if (std::ferror(f))
        refuse(reason, "Unable to read from %s\n", path, "cannot read: %s", std::strerror(errno));
    else
        refuse(reason, "Unable to read from %s\n", path, "it ends inside a record");
}

static AssetTable fail(FILE* f) {
    std::fclose(f);
    return nullptr;
}

// The rule every record of an asset file is held to, wherever it is read from: a length of
// 2^31 or more is outside the format, and a file holds at most ASSET_RECORD_LIMIT records.
enum class RecordVerdict { TAKEN, TOO_LONG, TOO_MANY };

static RecordVerdict judge_record(std::uint32_t length, std::size_t index) {
    // A length of 2^31 or more would seek backwards and could revisit the same length for
    // ever.
    if (length >= 0x80000000u)
        return RecordVerdict::TOO_LONG;
    // Every record costs a table slot and a block of its own however short it is, so a file of
    // zeros (records of length 0) would cost many times its size in memory.
    if (index == ASSET_RECORD_LIMIT)
        return RecordVerdict::TOO_MANY;
    return RecordVerdict::TAKEN;
}

// A refusal by judge_record in a tool's words (no printing: the web page has no output).
static Result verdict_reason(RecordVerdict verdict, std::size_t index, std::uint32_t length) {
    if (verdict == RecordVerdict::TOO_LONG)
        return refusal("record %zu claims %u bytes; records are limited to 2147483647 bytes", index,
                       length);
    return refusal("more than %zu records; asset files are limited to %zu records",
                   ASSET_RECORD_LIMIT, ASSET_RECORD_LIMIT);
}

static std::uint32_t length_at(const unsigned char* b) {
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

// The counting pass reads the file in blocks of this size and takes the lengths that fall
// inside a block from memory; a payload that leaves the block is seeked over. A file of short
// records is read in a few large reads instead of one small read per record.
constexpr long COUNT_BLOCK_BYTES = 1 << 16;

// Counts the records of a file of size bytes. False when the file is refused, after its line.
static bool count_records(FILE* f, long size, const char* path, std::size_t* count,
                          Result* reason) {
    static unsigned char block[COUNT_BLOCK_BYTES];
    long block_start = 0;
    long block_bytes = 0;
    long at = 0;
    long remaining = size;
    *count = 0;
    while (remaining > 0) {
        if (at < block_start || at + 4 > block_start + block_bytes) {
            // The first block starts where the file is already positioned.
            if (at != 0 && std::fseek(f, at, SEEK_SET) == -1) {
                if (reason)
                    refuse(reason, "", path, "cannot seek: %s", std::strerror(errno));
                else
                    std::perror("fseek");
                return false;
            }
            block_start = at;
            block_bytes = static_cast<long>(std::fread(block, 1, sizeof block, f));
            if (block_bytes < 4) {
                refuse_read(reason, f, path);
                return false;
            }
        }
        std::uint32_t length = length_at(block + (at - block_start));
        RecordVerdict verdict = judge_record(length, *count);
        if (verdict != RecordVerdict::TAKEN) {
            if (reason)
                *reason = verdict_reason(verdict, *count, length);
            else if (verdict == RecordVerdict::TOO_LONG)
                std::printf("Asset record %zu of %s claims %u bytes; records are limited to "
                            "2147483647 bytes\n",
                            *count, path, length);
            else
                std::printf("%s holds more than %zu asset records; asset files are limited to "
                            "%zu records\n",
                            path, ASSET_RECORD_LIMIT, ASSET_RECORD_LIMIT);
            return false;
        }
        // Past the end only when this is the last record, which the loading pass then refuses.
        remaining = remaining - 4 - static_cast<long>(length);
        at = at + 4 + static_cast<long>(length);
        ++*count;
    }
    return true;
}

AssetTable load_asset_file(const char* path, std::uint32_t** lengths, Result* reason) {
    if (reason)
        *reason = Result::success();
    else
        std::printf("Initiating decrunch sequence...\n");
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        refuse(reason, "Can't open file %s\n", path, "%s", std::strerror(errno));
        return nullptr;
    }
    std::fseek(f, 0, SEEK_END);
    long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    if (reason && size > ASSET_FILE_MAX_BYTES) {
        refuse(reason, "", path, "larger than %ld MB; not an asset file",
               ASSET_FILE_MAX_BYTES >> 20);
        return fail(f);
    }

    std::size_t count = 0;
    if (!count_records(f, size, path, &count, reason))
        return fail(f);

    // Zero-filled, so that a failed load can be released up to its first empty slot.
    AssetTable table = static_cast<AssetTable>(std::calloc(count + 1, sizeof(std::uint8_t*)));
    std::uint32_t* sizes = nullptr;
    if (lengths)
        sizes = static_cast<std::uint32_t*>(std::malloc((count + 1) * sizeof(std::uint32_t)));
    if (!table || (lengths && !sizes)) {
        std::free(table);
        std::free(sizes);
        refuse(reason, "Unable to allocate header memory for texture data\n", path,
               "out of memory for its table");
        return fail(f);
    }

    // Loading pass. A failure releases what was loaded so far: the tools that load several
    // files keep running after a refusal. Lengths come through a large buffer; payloads are
    // read straight into their blocks.
    std::fseek(f, 0, SEEK_SET);
    std::setvbuf(f, nullptr, _IOFBF, COUNT_BLOCK_BYTES);
    for (std::size_t i = 0; i < count; i++) {
        std::uint32_t length;
        bool failed = true;
        if (!read_length(f, &length)) {
            refuse_read(reason, f, path);
        } else if (static_cast<long>(length) > size - std::ftell(f)) {
            // The read below would come up short: refuse before allocating what a length
            // near 2^31 asks for.
            refuse(reason, "Unable to read from %s\n", path, "it ends inside a record");
        } else if (!(table[i] = static_cast<std::uint8_t*>(std::malloc(length ? length : 1)))) {
            // malloc(0) may return null; a record of length 0 still needs a distinct block.
            refuse(reason, "Unable to allocate memory for texture data\n", path,
                   "out of memory for record %zu", i);
        } else if (std::fread(table[i], 1, length, f) != length) {
            refuse_read(reason, f, path);
        } else {
            failed = false;
        }
        if (failed) {
            free_asset_table(table);
            std::free(sizes);
            return fail(f);
        }
        if (sizes)
            sizes[i] = length;
    }
    table[count] = nullptr;
    std::fclose(f);
    if (lengths)
        *lengths = sizes;
    return table;
}

// Why the in-memory reader refused, in no words yet: the web page's module, which reads its
// asset file this way, holds no strings (nothing that could fail to allocate one).
struct SplitRefusal {
    enum { ENDS_INSIDE, TOO_LONG, TOO_MANY, NO_TABLE_MEMORY, NO_RECORD_MEMORY } kind;
    std::size_t index;    // the record it stopped at
    std::uint32_t length; // that record's length
};

static AssetTable split_records(const std::uint8_t* file, std::size_t bytes,
                                std::uint32_t** lengths, SplitRefusal* why) {
    std::size_t count = 0;
    for (std::size_t at = 0; at < bytes; count++) {
        if (bytes - at < 4) {
            *why = {SplitRefusal::ENDS_INSIDE, count, 0};
            return nullptr;
        }
        std::uint32_t length = length_at(file + at);
        RecordVerdict verdict = judge_record(length, count);
        if (verdict != RecordVerdict::TAKEN) {
            *why = {verdict == RecordVerdict::TOO_LONG ? SplitRefusal::TOO_LONG
                                                       : SplitRefusal::TOO_MANY,
                    count, length};
            return nullptr;
        }
        if (length > bytes - at - 4) {
            *why = {SplitRefusal::ENDS_INSIDE, count, length};
            return nullptr;
        }
        at += 4 + length;
    }
    AssetTable table = static_cast<AssetTable>(std::calloc(count + 1, sizeof(std::uint8_t*)));
    std::uint32_t* sizes = static_cast<std::uint32_t*>(std::malloc((count + 1) * sizeof *sizes));
    if (!table || !sizes) {
        std::free(table);
        std::free(sizes);
        *why = {SplitRefusal::NO_TABLE_MEMORY, count, 0};
        return nullptr;
    }
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; i++) {
        std::uint32_t length = length_at(file + at);
        // Each record in a block of its own, as the file loader gives it: a record of any
        // length leaves the next one's Pixels aligned.
        table[i] = static_cast<std::uint8_t*>(std::malloc(length ? length : 1));
        if (!table[i]) {
            free_asset_table(table);
            std::free(sizes);
            *why = {SplitRefusal::NO_RECORD_MEMORY, i, length};
            return nullptr;
        }
        std::memcpy(table[i], file + at + 4, length);
        sizes[i] = length;
        at += 4 + length;
    }
    if (lengths)
        *lengths = sizes;
    else
        std::free(sizes);
    return table;
}

Result split_asset_records(const std::uint8_t* file, std::size_t bytes, AssetTable* out,
                           std::uint32_t** lengths) {
    SplitRefusal why{};
    *out = split_records(file, bytes, lengths, &why);
    if (*out)
        return Result::success();
    switch (why.kind) {
    case SplitRefusal::ENDS_INSIDE:
        return Result::fail("it ends inside a record");
    case SplitRefusal::TOO_LONG:
        return verdict_reason(RecordVerdict::TOO_LONG, why.index, why.length);
    case SplitRefusal::TOO_MANY:
        return verdict_reason(RecordVerdict::TOO_MANY, why.index, why.length);
    case SplitRefusal::NO_TABLE_MEMORY:
        return Result::fail("out of memory for its table");
    case SplitRefusal::NO_RECORD_MEMORY:
        break;
    }
    return refusal("out of memory for record %zu", why.index);
}

AssetTable asset_records_in_memory(const std::uint8_t* file, std::size_t bytes,
                                   std::uint32_t** lengths) {
    SplitRefusal why;
    return split_records(file, bytes, lengths, &why);
}

int free_asset_table(AssetTable table) {
    for (std::size_t i = 0; table[i]; i++)
        std::free(table[i]);
    std::free(table);
    return 1;
}

std::size_t asset_count(AssetTable table) {
    std::size_t n = 0;
    while (table[n])
        n++;
    return n;
}

// The first way the table falls short of the map, or false when it holds every asset in full.
static bool find_shortfall(AssetTable table, const std::uint32_t* lengths, AssetRefusal* r) {
    r->loaded = true;
    r->count = asset_count(table);
    r->short_asset = -1;
    r->length = 0;
    if (r->count < ASSET_COUNT)
        return true;
    for (int n = 0; n < ASSET_COUNT; n++) {
        if (lengths[n] < asset_bytes_needed(n)) {
            r->short_asset = n;
            r->length = lengths[n];
            return true;
        }
    }
    return false;
}

static void print_shortfall(const char* path, const AssetRefusal& r) {
    if (r.short_asset < 0) {
        std::printf("%s holds %zu assets; the show needs %d (asset %zu, %s, is missing)\n", path,
                    r.count, ASSET_COUNT, r.count, ASSET_MAP[r.count].role);
        return;
    }
    int n = r.short_asset;
    std::printf("%s: asset %d (%s) is %u bytes; it needs %u bytes (%dx%d Pixels)\n", path, n,
                ASSET_MAP[n].role, r.length, asset_bytes_needed(n), ASSET_MAP[n].width,
                ASSET_MAP[n].height);
}

bool asset_table_fits(AssetTable table, const std::uint32_t* lengths) {
    AssetRefusal r;
    return !find_shortfall(table, lengths, &r);
}

bool check_asset_table(AssetTable table, const std::uint32_t* lengths, const char* path) {
    AssetRefusal r;
    if (!find_shortfall(table, lengths, &r))
        return true;
    print_shortfall(path, r);
    return false;
}

AssetTable load_checked_asset_file(const char* path, std::uint32_t** lengths,
                                   AssetRefusal* shortfall, Result* quiet) {
    AssetRefusal r{};
    std::uint32_t* sizes = nullptr;
    AssetTable table = load_asset_file(path, &sizes, quiet);
    if (table && find_shortfall(table, sizes, &r)) {
        if (!quiet)
            print_shortfall(path, r);
        else if (r.short_asset < 0)
            *quiet = refusal("holds %zu assets; the show needs %d", r.count, ASSET_COUNT);
        else
            *quiet = refusal("asset %d is %u bytes; it needs %u", r.short_asset, r.length,
                             asset_bytes_needed(r.short_asset));
        free_asset_table(table);
        table = nullptr;
    }
    if (!table) {
        std::free(sizes);
        if (shortfall)
            *shortfall = r;
        return nullptr;
    }
    if (lengths)
        *lengths = sizes;
    else
        std::free(sizes);
    return table;
}
