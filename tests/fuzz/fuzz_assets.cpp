// Fuzz target for the asset file: the input bytes are the whole of a "quab.dat", which goes
// through load_asset_file and check_asset_table, and through load_checked_asset_file (the path
// the show takes), to a validated table or a refusal, and is freed. A load must succeed exactly
// when the records tile the file, and must then hold every payload; the in-memory reader the
// web page uses must agree with it.
// A malformed input is also tried with its lengths cut to fit, so that mutations of a length
// keep reaching the loading pass and the validation instead of stopping at the first record.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

#include "assets/assets.h"

// One memory-backed file for the whole run, rewritten for each input: the loader opens it by
// name, as it opens "quab.dat".
static int file_fd = -1;
static char file_path[64];

static void write_input(const std::uint8_t* data, std::size_t size) {
    if (file_fd < 0) {
        file_fd = memfd_create("quab.dat", 0);
        if (file_fd < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        std::snprintf(file_path, sizeof file_path, "/proc/self/fd/%d", file_fd);
    }
    if (ftruncate(file_fd, 0) != 0)
        std::abort();
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(file_fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            std::abort();
        done += static_cast<std::size_t>(n);
    }
}

// A record may claim up to 2^31 - 1 bytes, which the loader allocates before its read comes up
// short. Under AddressSanitizer each such allocation costs a quarter of a gigabyte of shadow
// writes; capping allocations at 64 MiB (null beyond, as an exhausted heap) keeps the run fast
// and sends those records down the loader's allocation-failure path instead.
extern "C" const char* __asan_default_options() {
    return "max_allocation_size_mb=64:allocator_may_return_null=1";
}

static std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Number of records when the input is a well-formed asset file (records of lengths below 2^31
// that end exactly at its end), or -1.
static long well_formed_records(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    long records = 0;
    while (at < size) {
        if (size - at < 4)
            return -1;
        std::uint32_t length = le32(data + at);
        if (length >= 0x80000000u || length > size - at - 4)
            return -1;
        at += 4 + length;
        records++;
    }
    return records;
}

// The in-memory reader (the web page's) takes exactly the files the loader takes, with the
// same records.
static void split_agrees(const std::uint8_t* data, std::size_t size, AssetTable table,
                         const std::uint32_t* lengths) {
    std::uint32_t* split_lengths = nullptr;
    AssetTable split = nullptr;
    Result why = split_asset_records(data, size, &split, &split_lengths);
    if (why.ok != (split != nullptr) || (split != nullptr) != (table != nullptr))
        std::abort();
    if (!split)
        return;
    std::size_t count = asset_count(split);
    if (count != asset_count(table))
        std::abort();
    for (std::size_t i = 0; i < count; i++)
        if (split_lengths[i] != lengths[i] || std::memcmp(split[i], table[i], lengths[i]) != 0)
            std::abort();
    free_asset_table(split);
    std::free(split_lengths);
}

static void load_once(const std::uint8_t* data, std::size_t size) {
    write_input(data, size);
    std::uint32_t* lengths = nullptr;
    AssetTable table = load_asset_file(file_path, &lengths);
    split_agrees(data, size, table, lengths);
    long expected = well_formed_records(data, size);
    if (!table) {
        // A refusal of a well-formed file is a fault: its records are no longer than the input,
        // far below the allocation cap.
        if (expected >= 0 || lengths)
            std::abort();
        std::uint32_t* checked_lengths = nullptr;
        AssetRefusal refusal{true, 1, 1, 1};
        if (load_checked_asset_file(file_path, &checked_lengths, &refusal) || checked_lengths ||
            refusal.loaded)
            std::abort();
        return;
    }
    if (expected < 0 || asset_count(table) != static_cast<std::size_t>(expected) || !lengths)
        std::abort();
    std::size_t at = 0;
    for (long i = 0; i < expected; i++) {
        std::uint32_t length = le32(data + at);
        if (lengths[i] != length || std::memcmp(table[i], data + at + 4, length) != 0)
            std::abort();
        at += 4 + length;
    }
    // The show's check: at least ASSET_COUNT records, each as long as its scene reads.
    AssetRefusal shortfall{true, static_cast<std::size_t>(expected), -1, 0};
    for (int n = 0; expected >= ASSET_COUNT && n < ASSET_COUNT; n++) {
        if (lengths[n] < asset_bytes_needed(n)) {
            shortfall.short_asset = n;
            shortfall.length = lengths[n];
            break;
        }
    }
    bool fits = expected >= ASSET_COUNT && shortfall.short_asset < 0;
    if (check_asset_table(table, lengths, file_path) != fits)
        std::abort();
    free_asset_table(table);

    // The same file through the one call: the same verdict, and a refusal that says why.
    std::uint32_t* checked_lengths = nullptr;
    AssetRefusal refusal{};
    AssetTable checked = load_checked_asset_file(file_path, &checked_lengths, &refusal);
    if ((checked != nullptr) != fits)
        std::abort();
    if (checked) {
        if (std::memcmp(checked_lengths, lengths, expected * sizeof *lengths) != 0)
            std::abort();
        free_asset_table(checked);
        std::free(checked_lengths);
    } else if (checked_lengths || !refusal.loaded || refusal.count != shortfall.count ||
               refusal.short_asset != shortfall.short_asset || refusal.length != shortfall.length) {
        std::abort();
    }
    std::free(lengths);
}

// Cuts each length that runs past the end to what remains, and drops 1 to 3 stray bytes at the
// end, in place. Returns the new size.
static std::size_t make_well_formed(std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    while (at < size) {
        if (size - at < 4)
            return at;
        std::uint32_t length = le32(data + at);
        if (length > size - at - 4) {
            length = static_cast<std::uint32_t>(size - at - 4);
            for (int b = 0; b < 4; b++)
                data[at + b] = static_cast<std::uint8_t>(length >> (8 * b));
        }
        at += 4 + length;
    }
    return size;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    load_once(data, size);
    if (well_formed_records(data, size) >= 0)
        return 0;
    std::uint8_t* copy = static_cast<std::uint8_t*>(std::malloc(size ? size : 1));
    std::memcpy(copy, data, size);
    load_once(copy, make_well_formed(copy, size));
    std::free(copy);
    return 0;
}
