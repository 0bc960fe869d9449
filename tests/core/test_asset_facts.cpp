// Which scene reads which asset, held to everything that describes it: the asset map's roles
// and the table of docs/assets.md (numbers, shapes, scenes and keys).
#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/show.h"

namespace {

// The scene numbers a text lists: parts split by ';', each "1, 4, 8 ...", "Scene 5 ..." or
// "Scenes 1, 4, 8 ...", read up to the first word that is not a number.
std::set<int> scenes_listed(const std::string& text) {
    std::set<int> found;
    std::stringstream parts(text);
    std::string part, word;
    while (std::getline(parts, part, ';')) {
        std::stringstream words(part);
        while (words >> word && (word == "Scene" || word == "Scenes" ||
                                 std::isdigit(static_cast<unsigned char>(word[0]))))
            if (word[0] != 'S')
                found.insert(std::stoi(word));
    }
    return found;
}

std::set<int> scenes_reading(int n) {
    std::set<int> scenes;
    for (int k = 0; k < SCENE_COUNT; k++)
        if (scene_reads_asset(k, n))
            scenes.insert(k + 1);
    return scenes;
}

TEST(AssetFacts, AssetRolesNameTheScenesThatReadThem) {
    for (int n = 0; n < ASSET_COUNT; n++)
        EXPECT_EQ(scenes_listed(ASSET_MAP[n].role), scenes_reading(n)) << ASSET_MAP[n].role;
}

// Each row of the docs' asset table: "| 11-14 | 320×240 | 4 | what | `KEY_HIGH` |".
TEST(AssetFacts, TheDocsAssetTableIsTheCode) {
    std::ifstream docs(QUAB_DOCS_ASSETS);
    ASSERT_TRUE(docs.good());
    std::string line;
    int next = 0;
    while (std::getline(docs, line)) {
        if (line.rfind("| ", 0) != 0 || !std::isdigit(static_cast<unsigned char>(line[2])))
            continue;
        SCOPED_TRACE(line);
        std::vector<std::string> c;
        std::stringstream row(line.substr(1));
        for (std::string cell; std::getline(row, cell, '|');)
            c.push_back(cell.substr(1, cell.size() - 2));
        ASSERT_EQ(c.size(), 5u);
        int first = std::stoi(c[0]);
        std::size_t dash = c[0].find('-');
        int last = dash == std::string::npos ? first : std::stoi(c[0].substr(dash + 1));
        EXPECT_EQ(first, next);
        for (int n = first; n <= last && n < ASSET_COUNT; n++) {
            EXPECT_EQ(c[1], std::to_string(ASSET_MAP[n].width) + "×" +
                                std::to_string(ASSET_MAP[n].height))
                << "asset " << n;
            EXPECT_EQ(scenes_listed(c[2]), scenes_reading(n)) << "asset " << n;
            const char* key = ASSET_KEY[n] == KEY_HIGH  ? "`KEY_HIGH`"
                              : ASSET_KEY[n] == KEY_LOW ? "`KEY_LOW`"
                                                        : "none";
            EXPECT_EQ(c[4].rfind(key, 0), 0u) << "asset " << n;
        }
        next = last + 1;
    }
    EXPECT_EQ(next, ASSET_COUNT);
}

} // namespace
