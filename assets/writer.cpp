// Writing the asset file's records, the other half of the loader's format: a 4-byte
// little-endian length in bytes, then that many bytes of little-endian words. Every program that
// writes an asset file (quab-assets, quab-testassets, the tests) writes its records here.
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "assets/assets.h"

static inline void put_le32(unsigned char* at, std::uint32_t v) {
    at[0] = static_cast<unsigned char>(v);
    at[1] = static_cast<unsigned char>(v >> 8);
    at[2] = static_cast<unsigned char>(v >> 16);
    at[3] = static_cast<unsigned char>(v >> 24);
}

bool write_asset_record(FILE* f, const std::uint32_t* words, std::size_t count) {
    // The length word counts bytes: a record of more than 2^32 - 1 bytes cannot be described.
    if (count > UINT32_MAX / 4) {
        errno = EFBIG;
        return false;
    }
    unsigned char bytes[4096];
    put_le32(bytes, static_cast<std::uint32_t>(count * 4));
    if (std::fwrite(bytes, 1, 4, f) != 4)
        return false;
    constexpr std::size_t WORDS_PER_WRITE = sizeof(bytes) / 4;
    for (std::size_t done = 0; done < count;) {
        std::size_t n = count - done < WORDS_PER_WRITE ? count - done : WORDS_PER_WRITE;
        for (std::size_t i = 0; i < n; i++)
            put_le32(bytes + 4 * i, words[done + i]);
        if (std::fwrite(bytes, 1, 4 * n, f) != 4 * n)
            return false;
        done += n;
    }
    return true;
}
