// Scenes 3 and 4: the twin-light bump map (a wobbled texture as height field, two light-map
// patches on orbit paths, summed with saturation) and the cycling-overlay scroll (Scene 1's two
// layers summed with saturation under a keyed overlay that cycles through four pictures).
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/pixel_ops.h"
#include "core/scenes.h"

// count words of a 16-bit texture ring from position start, wrapping to word 0 at the end.
static void copy_ring(Pixel* __restrict out, const Pixel* __restrict tex, std::uint32_t start,
                      std::uint32_t count) {
    std::uint32_t first = std::min(count, TEX_PIXELS - start);
    std::memcpy(out, tex + start, first * sizeof(Pixel));
    std::memcpy(out + first, tex, (count - first) * sizeof(Pixel));
}

// The wobbled texture: each row and each column moved along the texture by its wobble entry,
// both wrapping within 256. The column map is the same for every row, so it is made once.
static void distort_texture(Pixel* __restrict out, const Pixel* __restrict tex,
                            const std::int32_t* wobble) {
    std::uint32_t column[256];
    for (std::uint32_t x = 0; x < 256; x++)
        column[x] = (x + static_cast<std::uint32_t>(wobble[x])) & 255u;
    for (std::uint32_t y = 0; y < 256; y++) {
        const Pixel* src = tex + (((y + static_cast<std::uint32_t>(wobble[y])) & 255u) << 8);
        Pixel* dst = out + (y << 8);
        for (std::uint32_t x = 0; x < 256; x++)
            dst[x] = src[column[x]];
    }
}

// One patch row: count pixels from frame word k0, patch column px0 on, patch row py. Whole
// words, wrapping: only the low 16 bits of the index survive, so the vertical term's low byte
// picks the row and the horizontal term's second byte adds to it. Kept out of line: inlined
// into the clip loop, GCC at -O2 no longer sees that the body count is a multiple of four and
// leaves the loop scalar; one call per row costs nothing beside 254 pixels.
[[gnu::noinline]] static void bump_row(Pixel* __restrict out, const Pixel* __restrict height,
                                       const Pixel* __restrict light, std::uint32_t k0,
                                       std::uint32_t count, std::uint32_t px0, std::uint32_t py) {
    const Pixel* above = height + k0 - FRAME_W;
    const Pixel* below = height + k0 + FRAME_W;
    const Pixel* left = height + k0 - 1;
    const Pixel* right = height + k0 + 1;
    out += k0;
    // Multiples of four first, then the last few columns, so the main loop vectorises.
    std::uint32_t body = count & ~3u;
    for (std::uint32_t j = 0; j < body; j++)
        out[j] = light[tex_index(static_cast<std::int32_t>(left[j] - right[j] + px0 + j),
                                 static_cast<std::int32_t>(above[j] - below[j] + py))];
    for (std::uint32_t j = body; j < count; j++)
        out[j] = light[tex_index(static_cast<std::int32_t>(left[j] - right[j] + px0 + j),
                                 static_cast<std::int32_t>(above[j] - below[j] + py))];
}

void bump_patch(std::int32_t ox, std::int32_t oy, const Pixel* height, const Pixel* light,
                Pixel* dest) {
    // The clip, decided once per patch: patch rows and columns whose screen pixel has all four
    // neighbours inside the frame (1 <= Y <= 238, 1 <= X <= 318). 64-bit, so any origin is safe.
    std::int64_t py_lo = std::max<std::int64_t>(1, 1 - std::int64_t{oy});
    std::int64_t py_hi = std::min<std::int64_t>(254, 238 - std::int64_t{oy});
    std::int64_t px_lo = std::max<std::int64_t>(1, 1 - std::int64_t{ox});
    std::int64_t px_hi = std::min<std::int64_t>(254, 318 - std::int64_t{ox});
    if (py_lo > py_hi || px_lo > px_hi)
        return;
    std::uint32_t count = static_cast<std::uint32_t>(px_hi - px_lo + 1);
    std::uint32_t px0 = static_cast<std::uint32_t>(px_lo);
    std::uint32_t k0 =
        static_cast<std::uint32_t>(oy + py_lo) * FRAME_W + static_cast<std::uint32_t>(ox + px_lo);
    for (std::uint32_t py = static_cast<std::uint32_t>(py_lo);
         py <= static_cast<std::uint32_t>(py_hi); py++, k0 += FRAME_W)
        bump_row(dest, height, light, k0, count, px0, py);
}

static void combine_patches(Pixel* __restrict frame, const Pixel* __restrict b,
                            const Pixel* __restrict c) {
    for (std::uint32_t i = 0; i < FRAME_PIXELS; i++)
        frame[i] = add_saturate_swar(b[i], c[i]);
}

static void combine_patches_keyed(Pixel* __restrict frame, const Pixel* __restrict b,
                                  const Pixel* __restrict c, const Pixel* __restrict overlay) {
    for (std::uint32_t i = 0; i < FRAME_PIXELS; i++) {
        Pixel sum = add_saturate_swar(b[i], c[i]);
        frame[i] = passes_key(overlay[i], ASSET_KEY[ASSET_SCENE3_OVERLAY]) ? overlay[i] : sum;
    }
}

void scene_3_twin_light_bump(ShowState* s) {
    if (s->scene_started == 2) {
        // scratch_b, scratch_c and wobble carry over: the patches leave trails, and the
        // distortion goes on from where it is.
        clear_frame(s->frame);
        s->light1_phase = 0;
        s->light2_phase = PATH_LEN - 1;
        s->last_tick = read_tick_count(s);
        s->scene_started = 3;
    }

    distort_texture(s->scratch_a, asset_pixels(s, ASSET_SCENE3_HEIGHT_FIELD), s->wobble);
    // The height field reads the 256-wide image with the frame's row length, so columns 256 to
    // 319 of a row show the start of the image's next row.
    for (std::uint32_t y = 0; y < FRAME_H; y++)
        copy_ring(s->work + y * FRAME_W, s->scratch_a, tex_index(0, static_cast<std::int32_t>(y)),
                  FRAME_W);
    const Pixel* light = asset_pixels(s, ASSET_SCENE3_LIGHT_MAP);
    bump_patch(s->orbit1_x[s->light1_phase], s->orbit1_y[s->light1_phase], s->work, light,
               s->scratch_c);
    bump_patch(s->orbit2_x[s->light2_phase], s->orbit2_y[s->light2_phase], s->work, light,
               s->scratch_b);
    // The overlay's song position is read once, before the combine it is folded into
    // (Scene3.KeyedOverlayOnlyAtEleven). The patches above are drawn all the same: their
    // trails carry from pass to pass.
    if (!s->skip_drawing) {
        if (read_sngpos(s) == SCENE3_OVERLAY_POSITION)
            combine_patches_keyed(s->frame, s->scratch_b, s->scratch_c,
                                  asset_pixels(s, ASSET_SCENE3_OVERLAY));
        else
            combine_patches(s->frame, s->scratch_b, s->scratch_c);
    }

    std::int32_t n = ticks_since(read_tick_count(s), s->last_tick);
    if (n > 0) {
        // The phases stay within 0..359, where 360 steps are a full turn.
        for (std::int32_t k = 0; k < n % PATH_LEN; k++)
            step_paths(&s->light2_phase, &s->light1_phase);
        rotate_wobble_by(s->wobble, static_cast<std::uint32_t>(n));
    }
    // A second read: a tick that arrived while the steps ran is dropped, not caught up.
    s->last_tick = read_tick_count(s);

    if (read_sngpos(s) > SCENE_LAST_POSITION[2])
        s->scene_index = 3;
}

// One frame row of Scene 4: the saturated sum of the two layers, then the keyed overlay.
// Rows clear of the 16-bit ring's wrap take the straight loop.
// The four overlays go through one key.
constexpr Pixel SCENE4_OVERLAY_KEY = ASSET_KEY[ASSET_SCENE4_OVERLAY_1];
static_assert(ASSET_KEY[ASSET_SCENE4_OVERLAY_1 + 1] == SCENE4_OVERLAY_KEY &&
              ASSET_KEY[ASSET_SCENE4_OVERLAY_1 + 2] == SCENE4_OVERLAY_KEY &&
              ASSET_KEY[ASSET_SCENE4_OVERLAY_1 + 3] == SCENE4_OVERLAY_KEY);

static void saturate_keyed_row(Pixel* __restrict out, const Pixel* __restrict tex0,
                               std::uint32_t start0, const Pixel* __restrict tex1,
                               std::uint32_t start1, const Pixel* __restrict overlay) {
    if (row_in_ring(start0) && row_in_ring(start1)) {
        const Pixel* a = tex0 + start0;
        const Pixel* b = tex1 + start1;
        for (std::uint32_t x = 0; x < FRAME_W; x++) {
            Pixel sum = add_saturate_swar(a[x], b[x]);
            out[x] = passes_key(overlay[x], SCENE4_OVERLAY_KEY) ? overlay[x] : sum;
        }
    } else {
        for (std::uint32_t x = 0; x < FRAME_W; x++) {
            Pixel sum =
                add_saturate_swar(tex0[(start0 + x) & 0xFFFFu], tex1[(start1 + x) & 0xFFFFu]);
            out[x] = passes_key(overlay[x], SCENE4_OVERLAY_KEY) ? overlay[x] : sum;
        }
    }
}

// The overlay cycle runs through the four overlays and starts again at the first.
constexpr int SCENE4_LAST_OVERLAY = ASSET_SCENE4_OVERLAY_1 + SCENE4_OVERLAYS - 1;

void scene_4_cycling_overlay_scroll(ShowState* s) {
    if (s->scene_started == 3) {
        clear_frame(s->frame);
        s->layer0_phase = 0;
        s->layer1_phase = PATH_LEN - 1;
        s->overlay_index = ASSET_SCENE4_OVERLAY_1;
        s->overlay_timer = 0;
        s->last_tick = read_tick_count(s);
        s->scene_started = 4;
    }

    // The saturated twin scroll and the keyed overlay in one walk, row by row. Pinned by
    // Scene4Sum, Scene4.EveryChannelSaturatesOnItsOwn and
    // Scene4.FirstPassAtTwelveRunsScenesOneToFourAndShowsOverlayEleven.
    const Pixel* tex0 = asset_pixels(s, ASSET_LAYER0);
    const Pixel* tex1 = asset_pixels(s, ASSET_LAYER1);
    const Pixel* overlay = asset_pixels(s, s->overlay_index);
    std::int32_t sx0 = s->scroll_x[s->layer0_phase], sy0 = s->scroll_y[s->layer0_phase];
    std::int32_t sx1 = s->scroll_x[s->layer1_phase], sy1 = s->scroll_y[s->layer1_phase];
    for (std::uint32_t y = 0; y < FRAME_H && !s->skip_drawing; y++) {
        std::int32_t yy = static_cast<std::int32_t>(y);
        std::uint32_t row = y * FRAME_W;
        saturate_keyed_row(s->frame + row, tex0, tex_index(sx0, yy + sy0), tex1,
                           tex_index(sx1, yy + sy1), overlay + row);
    }

    std::int32_t now = read_tick_count(s);
    std::int32_t n = ticks_since(now, s->last_tick);
    if (n > 0) {
        for (std::int32_t k = 0; k < n % PATH_LEN; k++)
            step_paths(&s->layer1_phase, &s->layer0_phase);
        // Only the first step of a frame can find the timer at 0: it sets it to 1, so however
        // many ticks elapsed the overlay moves on at most once.
        if (s->overlay_timer == 0) {
            s->overlay_index = s->overlay_index < SCENE4_LAST_OVERLAY ? s->overlay_index + 1
                                                                      : ASSET_SCENE4_OVERLAY_1;
            s->overlay_timer = 1;
        }
    }
    s->last_tick = now;
    // Once per frame, ticks or not: the overlay's pace follows the frame rate.
    s->overlay_timer = s->overlay_timer > 3 ? 0 : s->overlay_timer + 1;

    if (read_sngpos(s) > SCENE_LAST_POSITION[3])
        s->scene_index = 4;
}
