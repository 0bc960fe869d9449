// The show's own pictures against what their scenes do with them: the shapes of the asset map,
// keyed pictures that actually draw (and PNGs whose opaque pixels are exactly what is drawn),
// scrolling layers whose plain sum cannot carry between channels, seamless textures, and the
// height field and light map laid out for the bump map's word differences.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/show.h"
#include "lib/asset_builder/default_assets.h"
#include "lib/asset_builder/font_text.h"

namespace {

class DefaultAssets : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        images = new AssetImages;
        made = make_default_assets(DEFAULT_FONT_DIR, images).ok;
    }
    static void TearDownTestSuite() { delete images; }
    void SetUp() override { ASSERT_TRUE(made) << "fonts missing: install fonts-dejavu-core"; }

    static Pixel at(int n, int x, int y) {
        return (*images)[n][static_cast<std::size_t>(y) * ASSET_MAP[n].width + x];
    }
    static AssetImages* images;
    static bool made;
};
AssetImages* DefaultAssets::images = nullptr;
bool DefaultAssets::made = false;

std::uint32_t red(Pixel p) { return (p >> 16) & 0xFF; }
std::uint32_t green(Pixel p) { return (p >> 8) & 0xFF; }
std::uint32_t blue(Pixel p) { return p & 0xFF; }
std::uint32_t key(Pixel p) { return p >> 24; }

std::uint32_t channel_distance(Pixel a, Pixel b) {
    std::uint32_t worst = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        std::uint32_t m = static_cast<std::uint32_t>(d < 0 ? -d : d);
        worst = m > worst ? m : worst;
    }
    return worst;
}

TEST_F(DefaultAssets, EveryAssetHasTheShapeOfTheMap) {
    ASSERT_EQ(images->size(), static_cast<std::size_t>(ASSET_COUNT));
    for (int n = 0; n < ASSET_COUNT; n++)
        EXPECT_EQ((*images)[n].size(), static_cast<std::size_t>(ASSET_MAP[n].width) *
                                           static_cast<std::size_t>(ASSET_MAP[n].height))
            << "asset " << n;
}

// Which scene draws each keyed asset through which threshold; min_share is the least fraction of
// the picture that must draw (a caption is small, a mask or a tunnel large).
// The share of each keyed asset's Pixels that is drawn; the key is the scenes' own (ASSET_KEY).
struct KeyedCase {
    int asset;
    double min_share;
    double max_share;
};

void PrintTo(const KeyedCase& c, std::ostream* os) { *os << "asset " << c.asset; }

const KeyedCase KEYED_CASES[] = {
    KeyedCase{ASSET_SCENE1_MASK_EARLY, 0.05, 0.6},
    KeyedCase{ASSET_SCENE1_MASK_LATE, 0.10, 0.6},
    KeyedCase{ASSET_SCENE2_OVERLAY_1, 0.05, 0.6},
    KeyedCase{ASSET_SCENE2_OVERLAY_1 + 1, 0.05, 0.6},
    KeyedCase{ASSET_SCENE2_OVERLAY_1 + 2, 0.05, 0.6},
    KeyedCase{ASSET_SCENE3_OVERLAY, 0.02, 0.4},
    KeyedCase{ASSET_SCENE4_OVERLAY_1, 0.05, 0.5},
    KeyedCase{ASSET_SCENE4_OVERLAY_1 + 1, 0.05, 0.5},
    KeyedCase{ASSET_SCENE4_OVERLAY_1 + 2, 0.05, 0.5},
    KeyedCase{ASSET_SCENE4_OVERLAY_1 + 3, 0.05, 0.5},
    KeyedCase{ASSET_SCENE5_TUNNEL, 0.3, 0.7},
    KeyedCase{ASSET_SCENE7_WORD_1, 0.10, 0.9},
    KeyedCase{ASSET_SCENE7_WORD_1 + 1, 0.10, 0.9},
    KeyedCase{ASSET_SCENE7_WORD_1 + 2, 0.10, 0.9},
    KeyedCase{ASSET_SCENE7_WORD_1 + 3, 0.10, 0.9},
    KeyedCase{ASSET_SCENE7_WORD_1 + 4, 0.10, 0.9},
    KeyedCase{ASSET_SCENE7_WORD_1 + 5, 0.10, 0.9},
    KeyedCase{ASSET_SCENE7_WORD_1 + 6, 0.10, 0.9},
    KeyedCase{ASSET_SCENE7_WORD_1 + 7, 0.10, 0.9},
    KeyedCase{ASSET_SCENE7_WORD_1 + 8, 0.10, 0.9},
    KeyedCase{ASSET_SCENE7_WORD_1 + 9, 0.10, 0.9},
    KeyedCase{ASSET_SCENE5_STRIP, 0.05, 0.9},
    KeyedCase{ASSET_SCENE8_SCROLLER, 0.02, 0.5},
};

class KeyedPictures : public DefaultAssets, public ::testing::WithParamInterface<KeyedCase> {};

TEST_P(KeyedPictures, DrawSomePixelsAndEveryOpaquePixelPassesTheKey) {
    const KeyedCase& c = GetParam();
    const std::vector<Pixel>& im = (*images)[c.asset];
    std::size_t drawn = 0;
    for (std::size_t i = 0; i < im.size(); i++) {
        Pixel p = im[i];
        // Transparent in the PNG means not drawn; opaque means drawn. Nothing in between, since
        // a partial key byte never passes the test.
        ASSERT_TRUE(key(p) == 0x00 || key(p) == 0xFF) << "asset " << c.asset << " pixel " << i;
        if (key(p) == 0xFF) {
            ASSERT_TRUE(passes_key(p, ASSET_KEY[c.asset])) << "asset " << c.asset << " pixel " << i;
            drawn++;
        }
    }
    double share = static_cast<double>(drawn) / static_cast<double>(im.size());
    EXPECT_GE(share, c.min_share) << "asset " << c.asset;
    EXPECT_LE(share, c.max_share) << "asset " << c.asset;
}

INSTANTIATE_TEST_SUITE_P(EveryKeyedAsset, KeyedPictures, ::testing::ValuesIn(KEYED_CASES),
                         [](const ::testing::TestParamInfo<KeyedCase>& info) {
                             return "asset_" + std::to_string(info.param.asset);
                         });

// Every asset the scenes key has its case above, and no other.
TEST(KeyedPictureCases, CoverEveryKeyedAsset) {
    for (int n = 0; n < ASSET_COUNT; n++) {
        bool listed = false;
        for (const KeyedCase& c : KEYED_CASES)
            listed = listed || c.asset == n;
        EXPECT_EQ(listed, ASSET_KEY[n] != 0) << "asset " << n;
    }
}

TEST_F(DefaultAssets, SceneFourOverlaysDifferSoTheCycleShows) {
    for (int n = 11; n < 14; n++)
        EXPECT_NE((*images)[n], (*images)[n + 1]) << "assets " << n << " and " << n + 1;
    EXPECT_NE((*images)[ASSET_SCENE4_OVERLAY_1 + 3], (*images)[ASSET_SCENE4_OVERLAY_1]);
}

TEST_F(DefaultAssets, SceneSevenWordsAreTenDifferentPictures) {
    for (int a = 18; a < 28; a++)
        for (int b = a + 1; b < 28; b++) {
            if (ASSET_MAP[a].width == ASSET_MAP[b].width) {
                EXPECT_NE((*images)[a], (*images)[b]) << "assets " << a << " and " << b;
            }
        }
}

// Pictures that are copied or added whole, and textures read as colour: every Pixel opaque, so
// their PNGs show them as they are.
TEST_F(DefaultAssets, UnkeyedPicturesAreOpaque) {
    for (int n : {0, 1, 4, 8, 9, 16, 17})
        for (std::size_t i = 0; i < (*images)[n].size(); i++)
            ASSERT_EQ(key((*images)[n][i]), 0xFFu) << "asset " << n << " pixel " << i;
}

// Scenes 1 and 8 add the two layers as one 32-bit word: with every channel at most 0x7F the sum
// of two channels is at most 0xFE, so no carry ever runs into the next channel.
TEST_F(DefaultAssets, ScrollingLayersStayAtHalfBrightness) {
    for (int n : {0, 1})
        for (std::size_t i = 0; i < (*images)[n].size(); i++) {
            Pixel p = (*images)[n][i];
            ASSERT_LE(red(p), 0x7Fu) << "asset " << n << " pixel " << i;
            ASSERT_LE(green(p), 0x7Fu) << "asset " << n << " pixel " << i;
            ASSERT_LE(blue(p), 0x7Fu) << "asset " << n << " pixel " << i;
        }
}

// Across the wrap (column 255 to 0, row 255 to 0) a texture changes no more than it does between
// any two neighbours inside it.
TEST_F(DefaultAssets, TexturesTileWithoutSeams) {
    for (int n : {0, 1, 4, 8}) {
        std::uint32_t inside = 0;
        std::uint32_t across = 0;
        for (int y = 0; y < 256; y++)
            for (int x = 0; x < 256; x++) {
                Pixel p = at(n, x, y);
                std::uint32_t right = channel_distance(p, at(n, (x + 1) & 255, y));
                std::uint32_t below = channel_distance(p, at(n, x, (y + 1) & 255));
                if (x < 255)
                    inside = right > inside ? right : inside;
                else
                    across = right > across ? right : across;
                if (y < 255)
                    inside = below > inside ? below : inside;
                else
                    across = below > across ? below : across;
            }
        EXPECT_LE(across, inside) << "asset " << n;
        EXPECT_GT(inside, 0u) << "asset " << n << " is flat";
    }
}

// Scene 2 shows one texture row per tick: neighbouring rows are close, so the picture turns
// smoothly instead of flickering.
TEST_F(DefaultAssets, PolarTextureRowsChangeGradually) {
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++)
            ASSERT_LE(channel_distance(at(ASSET_SCENE2_TEXTURE, x, y),
                                       at(ASSET_SCENE2_TEXTURE, x, (y + 1) & 255)),
                      24u)
                << "row " << y << " column " << x;
}

// The bump map moves its light-map look-up by whole-word differences of the height field: with
// green constant, left minus right is the blue difference alone (red and the key byte vanish
// modulo 65,536), so the height is blue and it must vary.
TEST_F(DefaultAssets, HeightFieldKeepsItsReliefInBlue) {
    std::uint32_t g = green(at(ASSET_SCENE3_HEIGHT_FIELD, 0, 0));
    std::uint32_t low = 255;
    std::uint32_t high = 0;
    for (Pixel p : (*images)[ASSET_SCENE3_HEIGHT_FIELD]) {
        ASSERT_EQ(green(p), g);
        low = blue(p) < low ? blue(p) : low;
        high = blue(p) > high ? blue(p) : high;
    }
    EXPECT_GE(high - low, 64u);
}

// Scene 3's patches are never cleared where they move off, and Scene 6's panels are added whole:
// the light map is black at its edges and brightest at its centre (texel 128, 128, which a patch
// on flat ground puts in its middle).
TEST_F(DefaultAssets, LightMapIsBlackAtItsEdges) {
    for (int i = 0; i < 256; i++)
        for (int band = 0; band < 8; band++) {
            ASSERT_EQ(at(ASSET_SCENE3_LIGHT_MAP, i, band) & 0xFFFFFFu, 0u)
                << "column " << i << " row " << band;
            ASSERT_EQ(at(ASSET_SCENE3_LIGHT_MAP, i, 255 - band) & 0xFFFFFFu, 0u);
            ASSERT_EQ(at(ASSET_SCENE3_LIGHT_MAP, band, i) & 0xFFFFFFu, 0u);
            ASSERT_EQ(at(ASSET_SCENE3_LIGHT_MAP, 255 - band, i) & 0xFFFFFFu, 0u);
        }
    EXPECT_EQ(at(ASSET_SCENE3_LIGHT_MAP, 128, 128), 0xFFFFFFFFu);
}

// The strip rolls from column 0 to column 2979 (the window's left edge): its text starts after
// the first screen width, entering from the right, and ends before the last window begins.
TEST_F(DefaultAssets, GreetingsEnterFromTheRightAndLeaveBeforeTheStripStops) {
    int first = 3300;
    int last = -1;
    for (int y = 0; y < 55; y++)
        for (int x = 0; x < 3300; x++)
            if (key(at(ASSET_SCENE5_STRIP, x, y)) == 0xFF) {
                first = x < first ? x : first;
                last = x > last ? x : last;
            }
    EXPECT_GE(first, 320);
    EXPECT_LT(last, 2979);
    EXPECT_GT(last - first, 2000); // the text fills the roll, with no long empty stretch at its end
}

// Scene 8 starts on rows 0..239 and rests on rows 2760..2999: the first screen is empty (the
// credits rise into view), the last one holds a picture.
TEST_F(DefaultAssets, CreditsRiseFromAnEmptyScreenAndRestOnAPicture) {
    std::size_t first_screen = 0;
    std::size_t last_screen = 0;
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            first_screen += key(at(ASSET_SCENE8_SCROLLER, x, y)) == 0xFF;
            last_screen += key(at(ASSET_SCENE8_SCROLLER, x, 2760 + y)) == 0xFF;
        }
    EXPECT_EQ(first_screen, 0u);
    EXPECT_GT(last_screen, 320u * 240u / 20u);
}

// Scene 1: the masks select where the scroll shows and must leave the rest of the screen dark.
TEST_F(DefaultAssets, SceneOneMasksHaveShownAndHiddenAreas) {
    for (int n : {2, 3}) {
        std::size_t shown = 0;
        for (Pixel p : (*images)[n])
            shown += passes_key(p, ASSET_KEY[n]);
        EXPECT_GT(shown, 0u);
        EXPECT_LT(shown, (*images)[n].size());
    }
    EXPECT_NE((*images)[ASSET_SCENE1_MASK_EARLY], (*images)[ASSET_SCENE1_MASK_LATE]);
}

TEST(DefaultAssetsFonts, MissingFontsAreReportedNotFatal) {
    AssetImages images;
    EXPECT_FALSE(make_default_assets("/nonexistent-font-dir", &images).ok);
}

} // namespace
