// The asset file loader on hand-made files: record walking, its refusals and their messages,
// the check of a loaded table against the asset map, and the two in one call.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "assets/assets.h"
#include "tests/support/test_support.h"

namespace {

using Bytes = std::vector<unsigned char>;

void put_length(Bytes* b, std::uint32_t length) {
    for (int i = 0; i < 4; i++)
        b->push_back(static_cast<unsigned char>(length >> (8 * i)));
}

void put_record(Bytes* b, const std::string& payload) {
    put_length(b, static_cast<std::uint32_t>(payload.size()));
    b->insert(b->end(), payload.begin(), payload.end());
}

struct LoadResult {
    AssetTable table;
    std::uint32_t* lengths;
    std::string out;
};

LoadResult load(const std::string& path) {
    LoadResult r{};
    testing::internal::CaptureStdout();
    r.table = load_asset_file(path.c_str(), &r.lengths);
    std::fflush(stdout);
    r.out = testing::internal::GetCapturedStdout();
    return r;
}

class LoaderTest : public testing::Test {
  protected:
    void SetUp() override {
        dir = make_temp_dir();
        path = dir + "/quab.dat";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string dir, path;
};

const std::string DECRUNCH = "Initiating decrunch sequence...\n";

TEST_F(LoaderTest, RecordsAreWalkedInFileOrder) {
    struct Case {
        const char* name;
        std::vector<std::string> payloads;
    };
    const Case cases[] = {
        {"empty file gives no chunks", {}},
        {"one record", {"abcd"}},
        {"zero-length record is a real entry and the next follows it", {"", "xyz", ""}},
        {"several records of odd lengths", {"a", "bc", "def", "ghijk"}},
        // The second length lies at bytes 65534 to 65537, across the end of the first 64 KB.
        {"lengths and payloads across large block boundaries",
         {std::string(65530, 'a'), "b", std::string(70000, 'c'), "", std::string(131072, 'd')}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes b;
        for (const std::string& p : c.payloads)
            put_record(&b, p);
        ASSERT_TRUE(write_bytes(path, b));
        LoadResult r = load(path);
        EXPECT_EQ(r.out, DECRUNCH);
        // The same file already in memory (the web page's way) gives the same records, each in
        // a block of its own, so a Pixel record after an odd one stays aligned.
        LoadResult m{};
        EXPECT_TRUE(split_asset_records(b.data(), b.size(), &m.table, &m.lengths).ok);
        for (const LoadResult& got : {r, m}) {
            ASSERT_NE(got.table, nullptr);
            ASSERT_EQ(asset_count(got.table), c.payloads.size());
            EXPECT_EQ(got.table[c.payloads.size()], nullptr);
            for (std::size_t i = 0; i < c.payloads.size(); i++) {
                EXPECT_NE(got.table[i], nullptr);
                EXPECT_EQ(reinterpret_cast<std::uintptr_t>(got.table[i]) % alignof(std::uint32_t),
                          0u);
                EXPECT_EQ(got.lengths[i], c.payloads[i].size());
                EXPECT_EQ(std::string(reinterpret_cast<char*>(got.table[i]), got.lengths[i]),
                          c.payloads[i]);
            }
            EXPECT_EQ(free_asset_table(got.table), 1);
            std::free(got.lengths);
        }
    }
}

// Each refusal as the show prints it, and as a tool is told it (quiet: nothing printed, the
// reason in its own words).
TEST_F(LoaderTest, MalformedFilesAreRefusedWithTheirMessage) {
    struct Case {
        const char* name;
        Bytes bytes;
        std::string message; // %s stands for the path
        std::string reason;
    };
    Bytes two;
    put_record(&two, "abcd");
    put_record(&two, "ef");
    std::vector<Case> cases;
    for (int stray = 1; stray <= 3; stray++) {
        Bytes b = two;
        for (int i = 0; i < stray; i++)
            b.push_back(0x11);
        cases.push_back({"stray bytes after the last record", b, "Unable to read from %s\n",
                         "it ends inside a record"});
    }
    {
        Bytes b = two;
        put_length(&b, 100);
        b.insert(b.end(), {'x', 'y'});
        cases.push_back({"last length claims more than remains", b, "Unable to read from %s\n",
                         "it ends inside a record"});
    }
    {
        Bytes b;
        put_length(&b, 0x80000000u);
        cases.push_back({"length of 2^31", b,
                         "Asset record 0 of %s claims 2147483648 bytes; records are limited to "
                         "2147483647 bytes\n",
                         "record 0 claims 2147483648 bytes; records are limited to 2147483647 "
                         "bytes"});
    }
    {
        Bytes b = two;
        put_length(&b, 0xFFFFFFFCu); // would seek back onto its own length for ever
        cases.push_back({"length that would seek backwards", b,
                         "Asset record 2 of %s claims 4294967292 bytes; records are limited to "
                         "2147483647 bytes\n",
                         "record 2 claims 4294967292 bytes; records are limited to 2147483647 "
                         "bytes"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(write_bytes(path, c.bytes));
        LoadResult r = load(path);
        EXPECT_EQ(r.table, nullptr);
        std::string expected = c.message;
        expected.replace(expected.find("%s"), 2, path);
        EXPECT_EQ(r.out, DECRUNCH + expected);

        Result why;
        std::uint32_t* lengths = nullptr;
        testing::internal::CaptureStdout();
        AssetTable table = load_asset_file(path.c_str(), &lengths, &why);
        std::fflush(stdout);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(table, nullptr);
        EXPECT_EQ(lengths, nullptr);
        EXPECT_FALSE(why.ok);
        EXPECT_EQ(why.reason, c.reason);

        AssetTable split = nullptr;
        Result split_why = split_asset_records(c.bytes.data(), c.bytes.size(), &split, nullptr);
        EXPECT_EQ(split, nullptr);
        EXPECT_FALSE(split_why.ok);
        EXPECT_EQ(split_why.reason, c.reason);
    }
    // A missing file: the system's reason, and for the show its line.
    Result why;
    testing::internal::CaptureStdout();
    EXPECT_EQ(load_checked_asset_file((dir + "/missing.dat").c_str(), nullptr, nullptr, &why),
              nullptr);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(why.ok);
    EXPECT_EQ(why.reason, "No such file or directory");
}

TEST_F(LoaderTest, ARecordLongerThanTheFileIsRefusedBeforeItsBlockIsAllocated) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer needs more address space than the limit below";
#endif
    // 16 bytes that claim a 2 GiB record. In a child whose address space is capped at 256 MiB,
    // allocating the block first would fail with the allocation message instead.
    Bytes b;
    put_record(&b, "abcd");
    put_length(&b, 0x7FFFFFFFu);
    b.insert(b.end(), {1, 2, 3, 4});
    ASSERT_TRUE(write_bytes(path, b));
    std::string out = dir + "/out";
    std::fflush(stdout);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit cap{256u << 20, 256u << 20};
        setrlimit(RLIMIT_AS, &cap);
        if (!std::freopen(out.c_str(), "w", stdout))
            _exit(3);
        AssetTable t = load_asset_file(path.c_str());
        std::fflush(stdout);
        _exit(t ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    FILE* f = std::fopen(out.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char text[512] = {};
    std::size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    EXPECT_EQ(std::string(text, n), DECRUNCH + "Unable to read from " + path + "\n");
}

// Records of length 0 cost a slot and a block each; a file of zeros is nothing but such
// records. 65536 of them (256 KB) still load; one more, or a 2 GB file of zeros, is refused
// before anything is allocated.
TEST_F(LoaderTest, TheNumberOfRecordsIsLimited) {
    const std::string refusal = "%s holds more than 65536 asset records; asset files are "
                                "limited to 65536 records\n";
    struct Case {
        const char* name;
        off_t zero_bytes;
        bool loads;
    };
    const Case cases[] = {
        {"65536 records of length 0", 65536 * 4, true},
        {"65537 records of length 0", 65537 * 4, false},
        {"2 GB of zeros", off_t{2} << 30, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(write_bytes(path, {}));
        ASSERT_EQ(truncate(path.c_str(), c.zero_bytes), 0);
        LoadResult r = load(path);
        if (c.loads) {
            ASSERT_NE(r.table, nullptr) << r.out;
            EXPECT_EQ(r.out, DECRUNCH);
            EXPECT_EQ(asset_count(r.table), 65536u);
            free_asset_table(r.table);
            std::free(r.lengths);
        } else {
            EXPECT_EQ(r.table, nullptr);
            std::string line = refusal;
            line.replace(line.find("%s"), 2, path);
            EXPECT_EQ(r.out, DECRUNCH + line);
        }
        unlink(path.c_str());
    }
}

TEST_F(LoaderTest, MissingFileNamesThePath) {
    LoadResult r = load(dir + "/quab.dat");
    EXPECT_EQ(r.table, nullptr);
    EXPECT_EQ(r.out, DECRUNCH + "Can't open file " + dir + "/quab.dat\n");
}

TEST_F(LoaderTest, FreeingAnEmptyTableReturnsOne) {
    ASSERT_TRUE(write_bytes(path, {}));
    LoadResult r = load(path);
    ASSERT_NE(r.table, nullptr);
    EXPECT_EQ(r.table[0], nullptr);
    EXPECT_EQ(free_asset_table(r.table), 1);
    std::free(r.lengths);
}

// The check against the asset map.
struct CheckResult {
    bool ok;
    std::string out;
};

CheckResult check(const AssetRecords& records, const std::string& path) {
    EXPECT_TRUE(write_asset_file(path, records));
    LoadResult r = load(path);
    EXPECT_NE(r.table, nullptr);
    testing::internal::CaptureStdout();
    bool ok = check_asset_table(r.table, r.lengths, "quab.dat");
    std::fflush(stdout);
    CheckResult c{ok, testing::internal::GetCapturedStdout()};
    free_asset_table(r.table);
    std::free(r.lengths);
    return c;
}

TEST_F(LoaderTest, TablesAreCheckedAgainstTheAssetMap) {
    AssetRecords exact = default_asset_records(0xFF123456u);
    EXPECT_EQ(check(exact, path).ok, true);

    AssetRecords longer = exact;
    longer[29].resize(longer[29].size() + 7);
    longer.push_back(std::vector<Pixel>(3)); // extra records are allowed
    EXPECT_EQ(check(longer, path).ok, true);

    AssetRecords missing = exact;
    missing.pop_back();
    CheckResult c = check(missing, path);
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.out, "quab.dat holds 29 assets; the show needs 30 (asset 29, Scene 8 scroller, is "
                     "missing)\n");

    // Asset 18 is 300x55 Pixels: 66,000 bytes; one Pixel short is 65,996.
    AssetRecords short_picture = exact;
    short_picture[18].pop_back();
    c = check(short_picture, path);
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.out, "quab.dat: asset 18 (Scene 7 first picture) is 65996 bytes; it needs 66000 "
                     "bytes (300x55 Pixels)\n");

    // A full frame is 320x240 Pixels: 307,200 bytes.
    AssetRecords empty_frame = exact;
    empty_frame[2].clear();
    c = check(empty_frame, path);
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.out, "quab.dat: asset 2 (Scene 1 mask for song positions 0 to 2) is 0 bytes; it "
                     "needs 307200 bytes (320x240 Pixels)\n");
}

// Loading and checking in one call, as the show and the tools load the asset file.
Bytes file_of(const AssetRecords& records) {
    Bytes b;
    for (const std::vector<Pixel>& r : records) {
        put_length(&b, static_cast<std::uint32_t>(r.size() * 4));
        for (Pixel p : r)
            put_length(&b, p); // a Pixel is stored as a little-endian word, like a length
    }
    return b;
}

struct CheckedLoad {
    AssetTable table;
    std::uint32_t* lengths;
    AssetRefusal refusal;
    std::string out;
};

CheckedLoad load_checked(const std::string& path) {
    CheckedLoad r{};
    r.refusal = {true, 999, 999, 999}; // no field of a refusal can come out as this by chance
    testing::internal::CaptureStdout();
    r.table = load_checked_asset_file(path.c_str(), &r.lengths, &r.refusal);
    std::fflush(stdout);
    r.out = testing::internal::GetCapturedStdout();
    return r;
}

TEST_F(LoaderTest, CheckedLoadPrintsWhatTheLoaderAndTheCheckPrintAndSaysWhy) {
    struct Case {
        const char* name;
        AssetRecords records;
        int stray_bytes; // after the last record
        bool accepted;
        std::string line;     // printed after the loader's first line; %s stands for the path
        AssetRefusal refusal; // when refused
    };
    AssetRecords exact = default_asset_records(0xFF123456u);
    AssetRecords longer = exact;
    longer[29].resize(longer[29].size() + 7);
    longer.push_back(std::vector<Pixel>(3));
    AssetRecords missing = exact;
    missing.pop_back();
    AssetRecords short_picture = exact;
    short_picture[18].pop_back();

    const Case cases[] = {
        {"every asset in full", exact, 0, true, "", {}},
        {"longer assets and an extra record", longer, 0, true, "", {}},
        {"no record at all",
         {},
         0,
         false,
         "%s holds 0 assets; the show needs 30 (asset 0, Scenes 1, 4, 8 scrolling layer 0; "
         "Scene 5 background, is missing)\n",
         {true, 0, -1, 0}},
        {"29 records",
         missing,
         0,
         false,
         "%s holds 29 assets; the show needs 30 (asset 29, Scene 8 scroller, is missing)\n",
         {true, 29, -1, 0}},
        // Asset 18 is 300x55 Pixels: 66,000 bytes; one Pixel short is 65,996.
        {"asset 18 one Pixel short",
         short_picture,
         0,
         false,
         "%s: asset 18 (Scene 7 first picture) is 65996 bytes; it needs 66000 bytes (300x55 "
         "Pixels)\n",
         {true, 30, 18, 65996}},
        {"a stray byte after the last record",
         exact,
         1,
         false,
         "Unable to read from %s\n",
         {false, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = file_of(c.records);
        bytes.insert(bytes.end(), static_cast<std::size_t>(c.stray_bytes), 0x11);
        ASSERT_TRUE(write_bytes(path, bytes));
        CheckedLoad r = load_checked(path);
        std::string expected = c.line;
        if (!expected.empty())
            expected.replace(expected.find("%s"), 2, path);
        EXPECT_EQ(r.out, DECRUNCH + expected);
        if (c.accepted) {
            ASSERT_NE(r.table, nullptr);
            ASSERT_NE(r.lengths, nullptr);
            ASSERT_EQ(asset_count(r.table), c.records.size());
            for (std::size_t n = 0; n < c.records.size(); n++)
                EXPECT_EQ(r.lengths[n], 4 * c.records[n].size()) << "asset " << n;
            free_asset_table(r.table);
            std::free(r.lengths);
            continue;
        }
        EXPECT_EQ(r.table, nullptr);
        EXPECT_EQ(r.lengths, nullptr);
        EXPECT_EQ(r.refusal.loaded, c.refusal.loaded);
        EXPECT_EQ(r.refusal.count, c.refusal.count);
        EXPECT_EQ(r.refusal.short_asset, c.refusal.short_asset);
        EXPECT_EQ(r.refusal.length, c.refusal.length);
    }
}

TEST_F(LoaderTest, CheckedLoadOfAMissingFileIsTheLoadersRefusal) {
    CheckedLoad r = load_checked(path);
    EXPECT_EQ(r.table, nullptr);
    EXPECT_EQ(r.lengths, nullptr);
    EXPECT_FALSE(r.refusal.loaded);
    EXPECT_EQ(r.out, DECRUNCH + "Can't open file " + path + "\n");
}

// Without a place for the lengths they are freed inside (the leak checkers of the sanitizer and
// memcheck runs see it); the table still holds every record.
TEST_F(LoaderTest, CheckedLoadWithoutLengthsKeepsOnlyTheTable) {
    AssetRecords longer = default_asset_records(0xFF123456u);
    longer.push_back(std::vector<Pixel>(3));
    ASSERT_TRUE(write_asset_file(path, longer));
    testing::internal::CaptureStdout();
    AssetTable table = load_checked_asset_file(path.c_str());
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), DECRUNCH);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(asset_count(table), 31u);
    EXPECT_EQ(table[18][0], 0x56); // the fill word's low byte comes first
    free_asset_table(table);
}

TEST(AssetMap, ShapesAreTheScenesReads) {
    // Sizes in Pixels as the scenes read them.
    const int pixels[ASSET_COUNT] = {65536, 65536, 76800, 76800, 65536,  76800, 76800, 76800,
                                     65536, 65536, 76800, 76800, 76800,  76800, 76800, 65536,
                                     76800, 76800, 16500, 11000, 11000,  11000, 11000, 11000,
                                     11000, 11000, 11000, 11000, 181500, 960000};
    for (int n = 0; n < ASSET_COUNT; n++)
        EXPECT_EQ(asset_bytes_needed(n), 4u * pixels[n]) << "asset " << n;
}

} // namespace
