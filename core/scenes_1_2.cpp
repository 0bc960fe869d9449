// Scenes 1 and 2: the masked twin scroll (two textures summed along the scroll path, shown
// through a keyed mask that fades with the song position) and the polar flash (a texture mapped
// around the centre under a keyed overlay, starting white and flashing at positions 8 and 9).
#include <algorithm>
#include <cstdint>

#include "core/pixel_ops.h"
#include "core/scenes.h"

// One frame row of the twin scroll. Along a row each texture index steps by one word; rows
// that keep clear of the 16-bit wrap (all but about one in 256) take the straight loop.
static void twin_scroll_wrap_row(Pixel* __restrict out, const Pixel* __restrict tex1,
                                 std::uint32_t start1, const Pixel* __restrict tex0,
                                 std::uint32_t start0) {
    if (row_in_ring(start1) && row_in_ring(start0)) {
        const Pixel* a = tex1 + start1;
        const Pixel* b = tex0 + start0;
        for (std::uint32_t x = 0; x < FRAME_W; x++)
            out[x] = add_wrap(a[x], b[x]);
    } else {
        for (std::uint32_t x = 0; x < FRAME_W; x++)
            out[x] = add_wrap(tex1[(start1 + x) & 0xFFFFu], tex0[(start0 + x) & 0xFFFFu]);
    }
}

// Both of Scene 1's masks go through one key.
constexpr Pixel MASK_KEY = ASSET_KEY[ASSET_SCENE1_MASK_EARLY];
static_assert(ASSET_KEY[ASSET_SCENE1_MASK_LATE] == MASK_KEY);

static inline void masked_fade_run(Pixel* __restrict frame, const Pixel* __restrict work,
                                   const Pixel* __restrict mask, std::uint32_t fade) {
    for (std::uint32_t x = 0; x < FRAME_W; x++) {
        Pixel faded = fade_down(work[x], fade);
        frame[x] = passes_key(mask[x], MASK_KEY) ? faded : frame[x];
    }
}

// The masked fade of one row. The song position is read for every pixel, in pixel order, so a
// change while the frame is drawn switches masks from the next pixel on. The reads come first,
// then the row is drawn: with one mask throughout (nearly every row) as one straight loop.
static void masked_fade_row(const ShowState* s, Pixel* __restrict frame,
                            const Pixel* __restrict work, const Pixel* __restrict mask_early,
                            const Pixel* __restrict mask_late, std::uint32_t fade) {
    // Four reads a turn, one per pixel and in pixel order, kept as read; the count of late-mask
    // pixels is then a straight loop of its own.
    std::int16_t pos[FRAME_W];
    for (std::uint32_t x = 0; x < FRAME_W; x += 4) {
        pos[x] = read_sngpos(s);
        pos[x + 1] = read_sngpos(s);
        pos[x + 2] = read_sngpos(s);
        pos[x + 3] = read_sngpos(s);
    }
    std::uint32_t late_count = 0;
    for (std::uint32_t x = 0; x < FRAME_W; x++)
        late_count += pos[x] >= SCENE1_LATE_MASK_POSITION;
    if (late_count == 0) {
        masked_fade_run(frame, work, mask_early, fade);
    } else if (late_count == FRAME_W) {
        masked_fade_run(frame, work, mask_late, fade);
    } else {
        for (std::uint32_t x = 0; x < FRAME_W; x++) {
            Pixel m = pos[x] >= SCENE1_LATE_MASK_POSITION ? mask_late[x] : mask_early[x];
            Pixel faded = fade_down(work[x], fade);
            frame[x] = passes_key(m, MASK_KEY) ? faded : frame[x];
        }
    }
}

static void scene_1_render(ShowState* s) {
    const Pixel* tex0 = asset_pixels(s, ASSET_LAYER0);
    const Pixel* tex1 = asset_pixels(s, ASSET_LAYER1);
    const Pixel* mask2 = asset_pixels(s, ASSET_SCENE1_MASK_EARLY);
    const Pixel* mask3 = asset_pixels(s, ASSET_SCENE1_MASK_LATE);
    std::int32_t sx0 = s->scroll_x[s->layer0_phase], sy0 = s->scroll_y[s->layer0_phase];
    std::int32_t sx1 = s->scroll_x[s->layer1_phase], sy1 = s->scroll_y[s->layer1_phase];
    std::uint32_t fade = static_cast<std::uint32_t>(s->fade_level);
    // Row by row, the twin scroll of a row into work and then its masked fade into the frame.
    // The scroll reads no clock, so the song position is still read once per pixel in pixel
    // order. Work and frame are pinned by Scene1Fade and
    // Scene1.FirstFrameSumsBothLayersIntoWorkAndShowsOnlyKeyedMaskPixelsBlack,
    // Scene1.MaskFollowsTheSongPositionAndUncoveredPixelsKeepTheirLastValue.
    for (std::uint32_t y = 0; y < FRAME_H; y++) {
        std::uint32_t row = y * FRAME_W;
        std::int32_t yy = static_cast<std::int32_t>(y);
        twin_scroll_wrap_row(s->work + row, tex1, tex_index(sx1, yy + sy1), tex0,
                             tex_index(sx0, yy + sy0));
        masked_fade_row(s, s->frame + row, s->work + row, mask2 + row, mask3 + row, fade);
    }
}

void scene_1_masked_twin_scroll(ShowState* s) {
    if (s->scene_started == 0) {
        // No clear: outside the mask the frame keeps what it held, black at the show's start.
        s->layer0_phase = 0;
        s->layer1_phase = PATH_LEN - 1;
        s->fade_level = SCENE1_FADE_BLACK;
        s->last_tick = read_tick_count(s);
        s->scene_started = 1;
    }

    scene_1_render(s);

    std::int32_t now = read_tick_count(s);
    std::int32_t n = ticks_since(now, s->last_tick);
    for (std::int32_t k = 0; k < n; k++) {
        step_paths(&s->layer1_phase, &s->layer0_phase);
        // Read at every step: a stall that spans a song-position change fades both ways.
        std::int16_t pos = read_sngpos(s);
        if (pos == SCENE1_FADE_IN_POSITIONS[0] || pos == SCENE1_FADE_IN_POSITIONS[1])
            s->fade_level = std::max(s->fade_level - SCENE1_FADE_STEP, 0);
        else if (pos == SCENE1_FADE_OUT_POSITIONS[0] || pos == SCENE1_FADE_OUT_POSITIONS[1])
            s->fade_level = std::min(s->fade_level + SCENE1_FADE_STEP, SCENE1_FADE_BLACK);
    }
    s->last_tick = now;

    if (read_sngpos(s) > SCENE_LAST_POSITION[0])
        s->scene_index = 1;
}

// The polar map, the keyed overlay and the flash of one frame in one walk over the frame; per
// pixel the texel, then the overlay keyed over it, then the brightening of the result. overlay is
// null at song positions without one. Scene2.TextureFollowsThePolarMapShiftedByTheOffset,
// Scene2.OverlayChangesWithTheSongAndBothFlashesFire and Scene2FlashAllColours pin the order.
static_assert(ASSET_KEY[ASSET_SCENE2_OVERLAY_1] == ASSET_KEY[ASSET_SCENE2_OVERLAY_1 + 1] &&
              ASSET_KEY[ASSET_SCENE2_OVERLAY_1] == ASSET_KEY[ASSET_SCENE2_OVERLAY_1 + 2]);
static void polar_flash_frame(Pixel* __restrict frame, const Pixel* __restrict tex,
                              const std::int32_t* __restrict angle,
                              const std::int32_t* __restrict depth, const Pixel* __restrict overlay,
                              std::uint32_t offset, std::uint32_t flash) {
    constexpr Pixel OVERLAY_KEY = ASSET_KEY[ASSET_SCENE2_OVERLAY_1];
    if (overlay) {
        for (std::uint32_t i = 0; i < FRAME_PIXELS; i++) {
            Pixel p = tex[tex_index(static_cast<std::int32_t>(angle[i] + offset),
                                    static_cast<std::int32_t>(depth[i] + offset))];
            p = passes_key(overlay[i], OVERLAY_KEY) ? overlay[i] : p;
            frame[i] = fade_up_swar(p, flash);
        }
    } else {
        for (std::uint32_t i = 0; i < FRAME_PIXELS; i++) {
            Pixel p = tex[tex_index(static_cast<std::int32_t>(angle[i] + offset),
                                    static_cast<std::int32_t>(depth[i] + offset))];
            frame[i] = fade_up_swar(p, flash);
        }
    }
}

void scene_2_polar_flash(ShowState* s) {
    if (s->scene_started == 1) {
        clear_frame(s->frame);
        s->flash_level = 255;
        s->flash_stage = 0;
        s->polar_offset = 0;
        s->last_tick = read_tick_count(s);
        s->scene_started = 2;
    }

    // The overlay's song position is read once; the triggers read it afresh, after it. They
    // change only the level the final brightening uses, so they may run before the walk.
    std::int16_t pos = read_sngpos(s);
    constexpr const std::int16_t* at = SCENE2_OVERLAY_POSITIONS;
    const Pixel* overlay = pos == at[0]   ? asset_pixels(s, ASSET_SCENE2_OVERLAY_1)
                           : pos == at[1] ? asset_pixels(s, ASSET_SCENE2_OVERLAY_1 + 1)
                           : pos == at[2] ? asset_pixels(s, ASSET_SCENE2_OVERLAY_1 + 2)
                                          : nullptr;
    if (s->flash_stage == 0 && read_sngpos(s) == at[1]) {
        s->flash_stage = 1;
        s->flash_level = 255;
    }
    // The second flash needs the first: a song that jumps from 7 to 9 gets none.
    if (s->flash_stage == 1 && read_sngpos(s) == at[2]) {
        s->flash_stage = 2;
        s->flash_level = 255;
    }
    if (!s->skip_drawing)
        polar_flash_frame(s->frame, asset_pixels(s, ASSET_SCENE2_TEXTURE), s->polar_angle_a,
                          s->polar_depth_a, overlay, static_cast<std::uint32_t>(s->polar_offset),
                          static_cast<std::uint32_t>(s->flash_level));

    std::int32_t now = read_tick_count(s);
    std::int32_t n = ticks_since(now, s->last_tick);
    pos = read_sngpos(s);
    if (n > 0) {
        // The song position is read once for all the steps, so n steps are one subtraction:
        // the level stops at 0 and the offset runs on without a wrap of its own.
        if (pos >= at[0] && pos <= at[SCENE2_OVERLAY_COUNT - 1])
            s->flash_level = static_cast<std::int32_t>(
                std::max<std::int64_t>(s->flash_level - 2 * std::int64_t{n}, 0));
        s->polar_offset = static_cast<std::int32_t>(static_cast<std::uint32_t>(s->polar_offset) +
                                                    static_cast<std::uint32_t>(n));
    }
    s->last_tick = now;

    if (read_sngpos(s) > SCENE_LAST_POSITION[1])
        s->scene_index = 2;
}
