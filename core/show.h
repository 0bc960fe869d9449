// What the show is, beside the timeline (core/timeline.h): which assets the scenes key and
// against which key, the step constants the scenes' animations run by, and the animation lengths
// derived from them, which the checker and the composer plan the song by.
#pragma once

#include <array>
#include <cstdint>

#include "assets/assets.h"
#include "core/core.h"
#include "core/timeline.h"

// The key each asset is drawn through (KEY_HIGH or KEY_LOW), or 0 for an asset drawn whole.
// The scenes take their keys from here, so the table is what they do.
constexpr std::array<Pixel, ASSET_COUNT> ASSET_KEY = [] {
    std::array<Pixel, ASSET_COUNT> key{};
    key[ASSET_SCENE1_MASK_EARLY] = KEY_HIGH;
    key[ASSET_SCENE1_MASK_LATE] = KEY_HIGH;
    for (int i = 0; i < SCENE2_OVERLAYS; i++)
        key[ASSET_SCENE2_OVERLAY_1 + i] = KEY_LOW;
    key[ASSET_SCENE3_OVERLAY] = KEY_HIGH;
    for (int i = 0; i < SCENE4_OVERLAYS; i++)
        key[ASSET_SCENE4_OVERLAY_1 + i] = KEY_HIGH;
    key[ASSET_SCENE5_TUNNEL] = KEY_LOW;
    key[ASSET_SCENE5_STRIP] = KEY_HIGH;
    for (int i = 0; i < SCENE7_WORDS; i++)
        key[ASSET_SCENE7_WORD_1 + i] = KEY_HIGH;
    key[ASSET_SCENE8_SCROLLER] = KEY_HIGH;
    return key;
}();
static_assert(SCENE2_OVERLAY_COUNT == SCENE2_OVERLAYS, "one Scene 2 overlay a position");

// The assets each scene reads, in the order a maker meets them; -1 ends a list. The checker's
// plan, the asset map's roles and the docs' table are held to this.
constexpr int SCENE_ASSETS_MAX = 12;
constexpr int SCENE_ASSETS[SCENE_COUNT][SCENE_ASSETS_MAX] = {
    {ASSET_LAYER0, ASSET_LAYER1, ASSET_SCENE1_MASK_EARLY, ASSET_SCENE1_MASK_LATE, -1},
    {ASSET_SCENE2_TEXTURE, ASSET_SCENE2_OVERLAY_1, ASSET_SCENE2_OVERLAY_1 + 1,
     ASSET_SCENE2_OVERLAY_1 + 2, -1},
    {ASSET_SCENE3_HEIGHT_FIELD, ASSET_SCENE3_LIGHT_MAP, ASSET_SCENE3_OVERLAY, -1},
    {ASSET_LAYER0, ASSET_LAYER1, ASSET_SCENE4_OVERLAY_1, ASSET_SCENE4_OVERLAY_1 + 1,
     ASSET_SCENE4_OVERLAY_1 + 2, ASSET_SCENE4_OVERLAY_1 + 3, -1},
    {ASSET_LAYER0, ASSET_SCENE5_TUNNEL, ASSET_SCENE5_STRIP, -1},
    {ASSET_SCENE3_LIGHT_MAP, ASSET_SCENE6_PICTURE, -1},
    {ASSET_SCENE7_BACKGROUND, ASSET_SCENE7_WORD_1, ASSET_SCENE7_WORD_1 + 1, ASSET_SCENE7_WORD_1 + 2,
     ASSET_SCENE7_WORD_1 + 3, ASSET_SCENE7_WORD_1 + 4, ASSET_SCENE7_WORD_1 + 5,
     ASSET_SCENE7_WORD_1 + 6, ASSET_SCENE7_WORD_1 + 7, ASSET_SCENE7_WORD_1 + 8,
     ASSET_SCENE7_WORD_1 + 9, -1},
    {ASSET_LAYER0, ASSET_LAYER1, ASSET_SCENE8_SCROLLER, -1},
};
static_assert(SCENE2_OVERLAYS == 3 && SCENE4_OVERLAYS == 4 && SCENE7_WORDS == 10,
              "the scenes' asset lists above name every overlay and word");

// True when scene k (0-based) reads asset n.
static inline constexpr bool scene_reads_asset(int k, int n) {
    for (int i = 0; i < SCENE_ASSETS_MAX && SCENE_ASSETS[k][i] >= 0; i++)
        if (SCENE_ASSETS[k][i] == n)
            return true;
    return false;
}

// Scene 1 moves its fade level this much a tick, between 0 (the picture) and 255 (black).
constexpr std::int32_t SCENE1_FADE_STEP = 2;
constexpr std::int32_t SCENE1_FADE_BLACK = 255;

// Scene 5's strip moves this many columns a tick and is drawn while its frame-wide window
// starts at or before its last column less the frame's width.
constexpr std::int32_t SCENE5_STRIP_STEP = 3;
constexpr std::int32_t SCENE5_STRIP_LAST_DRAWN = ASSET_MAP[ASSET_SCENE5_STRIP].width - FRAME_W - 1;

// Scene 8's scroller moves two picture rows a tick while its window's offset (in Pixels) is at
// or before this one, so that it stops with the picture's last 240 rows on screen and no read
// leaves the picture.
constexpr std::int32_t SCENE8_SCROLLER_STEP = 2 * FRAME_W;
constexpr std::int32_t SCENE8_SCROLLER_LAST_STEP_FROM =
    ASSET_MAP[ASSET_SCENE8_SCROLLER].width * ASSET_MAP[ASSET_SCENE8_SCROLLER].height -
    FRAME_PIXELS - 1;

// How long the animations run, in ticks of the show's clock (50 a second), from the steps.
// Scene 1's fade, either way: 128 ticks.
constexpr std::int32_t SCENE1_FADE_TICKS =
    (SCENE1_FADE_BLACK + SCENE1_FADE_STEP - 1) / SCENE1_FADE_STEP;
// Scene 5's strip: gone on the 994th tick.
constexpr std::int32_t SCENE5_STRIP_TICKS = SCENE5_STRIP_LAST_DRAWN / SCENE5_STRIP_STEP + 1;
// Scene 8's scroller: at rest after 1380 ticks.
constexpr std::int32_t SCENE8_SCROLLER_TICKS =
    SCENE8_SCROLLER_LAST_STEP_FROM / SCENE8_SCROLLER_STEP + 1;
