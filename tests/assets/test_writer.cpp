// The asset-file writer against the format byte by byte, against the loader for a record longer
// than one write, and its refusals: a record too long for its length word, a failed write.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "assets/assets.h"
#include "tests/support/test_support.h"

namespace {

std::vector<unsigned char> contents(FILE* f) {
    std::vector<unsigned char> bytes;
    std::rewind(f);
    int c;
    while ((c = std::fgetc(f)) != EOF)
        bytes.push_back(static_cast<unsigned char>(c));
    return bytes;
}

TEST(AssetWriter, RecordsAreLengthInBytesThenLittleEndianWords) {
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    const std::uint32_t words[] = {0x11223344u, 0xA0B0C0D0u};
    ASSERT_TRUE(write_asset_record(f, words, 0));
    ASSERT_TRUE(write_asset_record(f, words, 2));
    const std::vector<unsigned char> expected = {
        0x00, 0x00, 0x00, 0x00,                         // an empty record: its length only
        0x08, 0x00, 0x00, 0x00,                         // two words, eight bytes
        0x44, 0x33, 0x22, 0x11, 0xD0, 0xC0, 0xB0, 0xA0, // low byte first
    };
    EXPECT_EQ(contents(f), expected);
    std::fclose(f);
}

// 3000 words take several of the writer's 1024-word writes, the last one partial.
TEST(AssetWriter, ALongRecordLoadsBackWordForWord) {
    std::string dir = make_temp_dir();
    std::string path = dir + "/long.dat";
    std::vector<std::uint32_t> words(3000);
    for (std::size_t i = 0; i < words.size(); i++)
        words[i] = static_cast<std::uint32_t>(i) * 0x01020305u;
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(write_asset_record(f, words.data(), words.size()));
    ASSERT_TRUE(write_asset_record(f, words.data() + 7, 1));
    ASSERT_EQ(std::fclose(f), 0);

    std::uint32_t* lengths = nullptr;
    testing::internal::CaptureStdout();
    AssetTable table = load_asset_file(path.c_str(), &lengths);
    testing::internal::GetCapturedStdout();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(asset_count(table), 2u);
    EXPECT_EQ(lengths[0], 12000u);
    EXPECT_EQ(lengths[1], 4u);
    int wrong = 0;
    for (std::size_t i = 0; i < words.size(); i++) {
        const std::uint8_t* b = table[0] + 4 * i;
        wrong +=
            (b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24) != words[i];
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(table[1][0], 0x23); // 7 * 0x01020305 = 0x070E1523, low byte first
    free_asset_table(table);
    std::free(lengths);
    std::remove(path.c_str());
    std::remove(dir.c_str());
}

TEST(AssetWriter, RefusalsSayWhy) {
    // One word more than a 32-bit byte count can describe: refused before anything is written
    // (and before any word is read, so a small array stands in for the record).
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    const std::uint32_t word = 0;
    errno = 0;
    EXPECT_FALSE(write_asset_record(f, &word, std::size_t{UINT32_MAX} / 4 + 1));
    EXPECT_EQ(errno, EFBIG);
    EXPECT_TRUE(contents(f).empty());
    std::fclose(f);

    // Unbuffered on a full device, the first write fails in the call itself.
    FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    errno = 0;
    EXPECT_FALSE(write_asset_record(full, &word, 1));
    EXPECT_EQ(errno, ENOSPC);
    std::fclose(full);
}

} // namespace
