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

// The scene numbers (1-based) a text names: "Scene 5", "Scenes 1, 4, 8"; "Scene 3; Scene 6".
std::set<int> scenes_named(const std::string& role) {
    std::set<int> found;
    std::size_t at = 0;
    while ((at = role.find("Scene", at)) != std::string::npos) {
        at += 5;
        if (at < role.size() && role[at] == 's')
            at++;
        // A list of numbers follows: "1, 4, 8".
        while (at < role.size() && role[at] == ' ' && at + 1 < role.size() &&
               std::isdigit(static_cast<unsigned char>(role[at + 1]))) {
            found.insert(role[at + 1] - '0');
            at += 2;
            if (at < role.size() && role[at] == ',')
                at++;
        }
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

std::vector<std::string> cells(const std::string& row) {
    std::vector<std::string> out;
    std::stringstream in(row.substr(1));
    std::string cell;
    while (std::getline(in, cell, '|')) {
        std::size_t a = cell.find_first_not_of(' '), b = cell.find_last_not_of(' ');
        out.push_back(a == std::string::npos ? "" : cell.substr(a, b - a + 1));
    }
    return out;
}

TEST(AssetFacts, AssetRolesNameTheScenesThatReadThem) {
    for (int n = 0; n < ASSET_COUNT; n++) {
        SCOPED_TRACE(ASSET_MAP[n].role);
        EXPECT_EQ(scenes_named(ASSET_MAP[n].role), scenes_reading(n));
    }
    // The reader itself on the map's kinds of text.
    EXPECT_EQ(scenes_named("Scenes 1, 4, 8 scrolling layer 0; Scene 5 background"),
              (std::set<int>{1, 4, 5, 8}));
    EXPECT_EQ(scenes_named("Scene 3 light map; Scene 6 panel"), (std::set<int>{3, 6}));
}

// Each row of the docs' asset table: "| 11-14 | 320×240 | 4 | what | `KEY_HIGH` |". The scene
// cell lists scene numbers before any words ("1, song positions 0-2", "3; 6").
TEST(AssetFacts, TheDocsAssetTableIsTheCode) {
    std::ifstream docs(QUAB_DOCS_ASSETS);
    ASSERT_TRUE(docs.good());
    std::string line;
    int next = 0;
    while (std::getline(docs, line)) {
        if (line.rfind("| ", 0) != 0 || !std::isdigit(static_cast<unsigned char>(line[2])))
            continue;
        std::vector<std::string> c = cells(line);
        ASSERT_EQ(c.size(), 5u) << line;
        SCOPED_TRACE(line);
        int first = std::stoi(c[0]);
        std::size_t dash = c[0].find('-');
        int last = dash == std::string::npos ? first : std::stoi(c[0].substr(dash + 1));
        EXPECT_EQ(first, next);
        std::set<int> scenes;
        std::stringstream list(c[2]);
        std::string item;
        while (std::getline(list, item, ';')) {
            std::stringstream numbers(item);
            std::string word;
            while (std::getline(numbers, word, ',')) {
                word.erase(0, word.find_first_not_of(' '));
                if (word.empty() || word.find_first_not_of("0123456789") != std::string::npos)
                    break;
                scenes.insert(std::stoi(word));
            }
        }
        for (int n = first; n <= last && n < ASSET_COUNT; n++) {
            std::string shape =
                std::to_string(ASSET_MAP[n].width) + "×" + std::to_string(ASSET_MAP[n].height);
            EXPECT_EQ(c[1], shape) << "asset " << n;
            EXPECT_EQ(scenes, scenes_reading(n)) << "asset " << n;
            std::string key = ASSET_KEY[n] == KEY_HIGH  ? "`KEY_HIGH`"
                              : ASSET_KEY[n] == KEY_LOW ? "`KEY_LOW`"
                                                        : "none";
            EXPECT_EQ(c[4].rfind(key, 0), 0u) << "asset " << n << ": " << c[4];
        }
        next = last + 1;
    }
    EXPECT_EQ(next, ASSET_COUNT);
}

} // namespace
