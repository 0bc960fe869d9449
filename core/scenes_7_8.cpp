// Scene 7, the picture sequence (keyed pictures over a background, stepped by the pattern row),
// and Scene 8, the closing scroller (Scene 1's two layers summed, a tall keyed picture rolling
// up over them until its end). Scene 8's end test ends the show.
#include <algorithm>

#include "core/pixel_ops.h"
#include "core/scenes.h"

namespace {

constexpr int PICTURE_TOP = 93;
constexpr int PICTURE_ROWS = ASSET_MAP[ASSET_SCENE7_WORD_1].height;
// Step 0's picture waits for this row before it shows.
constexpr std::uint16_t FIRST_PICTURE_AFTER = SCENE7_ROW_AFTER[0];

struct SlideStep {
    std::uint8_t asset;
    std::int16_t width;       // also the picture's stride
    std::int16_t left;        // frame column of its left edge: centred across the width
    std::uint16_t next_after; // the next step comes once patpos is greater than this
};

// Step `step` shows picture `asset`, as wide as the asset map says, centred.
constexpr SlideStep slide_of(int asset, int step) {
    return {static_cast<std::uint8_t>(asset), static_cast<std::int16_t>(ASSET_MAP[asset].width),
            static_cast<std::int16_t>((FRAME_W - ASSET_MAP[asset].width) / 2),
            SCENE7_ROW_AFTER[step + 1]};
}

// Step 6 shows word 2 again, the picture of step 1; word 7 waits for step 7.
constexpr int W1 = ASSET_SCENE7_WORD_1;
constexpr SlideStep SLIDE_STEPS[] = {
    slide_of(W1, 0),     slide_of(W1 + 1, 1), slide_of(W1 + 2, 2),  slide_of(W1 + 3, 3),
    slide_of(W1 + 4, 4), slide_of(W1 + 5, 5), slide_of(W1 + 1, 6),  slide_of(W1 + 6, 7),
    slide_of(W1 + 7, 8), slide_of(W1 + 8, 9), slide_of(W1 + 9, 10),
};
static_assert(sizeof(SLIDE_STEPS) / sizeof(SLIDE_STEPS[0]) == SCENE7_PICTURES);
// The step after the last picture: nothing more is drawn and the step stays.
constexpr std::uint8_t SLIDES_DONE = sizeof(SLIDE_STEPS) / sizeof(SLIDE_STEPS[0]);

// The scroller stops once its window reaches the picture's last 240 rows: 883,200 + 76,800 is
// the 960,000 Pixels of ASSET_SCENE8_SCROLLER, so no read leaves the picture.
constexpr std::int32_t SCROLLER_LAST_STEP_FROM = SCENE8_SCROLLER_LAST_STEP_FROM;
constexpr std::int32_t SCROLLER_STEP = SCENE8_SCROLLER_STEP;

} // namespace

static void scene_7_render(ShowState* s) {
    if (!s->skip_drawing)
        copy_frame(asset_pixels(s, ASSET_SCENE7_BACKGROUND), s->frame);

    std::uint8_t step = s->slide_step;
    if (step >= SLIDES_DONE)
        return;
    // patpos is read afresh here and again below: the mixer may move the row in between.
    if (step == 0 && read_patpos(s) <= FIRST_PICTURE_AFTER)
        return;
    const SlideStep& slide = SLIDE_STEPS[step];
    if (!s->skip_drawing)
        blit_window_keyed(s->frame, asset_pixels(s, slide.asset), slide.left, PICTURE_TOP,
                          slide.width, PICTURE_ROWS, slide.width, 0, ASSET_KEY[slide.asset]);
    // One step at most per frame, so a late frame still shows every picture once.
    if (read_patpos(s) > slide.next_after)
        s->slide_step = static_cast<std::uint8_t>(step + 1);
}

void scene_7_picture_sequence(ShowState* s) {
    if (s->scene_started == 6) {
        clear_frame(s->frame);
        s->last_tick = read_tick_count(s);
        s->slide_step = 0;
        s->scene_started = 7;
    }

    scene_7_render(s);

    // No per-tick steps: the pictures follow the pattern row, not the clock.
    s->last_tick = read_tick_count(s);

    if (read_sngpos(s) > SCENE_LAST_POSITION[6])
        s->scene_index = 7;
}

// One contiguous run of a frame row: the plain sum of the two layers (carries run from channel
// to channel and out of the top), then the scroller keyed over it.
static inline void scene_8_run(const Pixel* __restrict layer0, const Pixel* __restrict layer1,
                               const Pixel* __restrict scroller, Pixel* __restrict row, int n) {
    for (int x = 0; x < n; x++) {
        Pixel v = add_wrap(layer1[x], layer0[x]);
        key_store(scroller[x], &v, ASSET_KEY[ASSET_SCENE8_SCROLLER]);
        row[x] = v;
    }
}

// The same for a whole row; its fixed length lets the compiler vectorise it.
static inline void scene_8_row(const Pixel* __restrict layer0, const Pixel* __restrict layer1,
                               const Pixel* __restrict scroller, Pixel* __restrict row) {
    for (int x = 0; x < FRAME_W; x++) {
        Pixel v = add_wrap(layer1[x], layer0[x]);
        key_store(scroller[x], &v, ASSET_KEY[ASSET_SCENE8_SCROLLER]);
        row[x] = v;
    }
}

static void scene_8_render(ShowState* s) {
    const Pixel* layer0 = asset_pixels(s, ASSET_LAYER0);
    const Pixel* layer1 = asset_pixels(s, ASSET_LAYER1);
    const Pixel* scroller = asset_pixels(s, ASSET_SCENE8_SCROLLER) + s->scroller_offset;
    Pixel* frame = s->frame;

    // tex_index(x + sx, y + sy) = (tex_index(sx, sy) + 256*y + x) mod 65,536: each frame row
    // reads a run of 320 consecutive texels of the 16-bit ring, broken at most once per layer
    // where the ring wraps from 65,535 to 0. Only a row that meets the wrap is split.
    std::uint32_t base0 = tex_index(s->scroll_x[s->layer0_phase], s->scroll_y[s->layer0_phase]);
    std::uint32_t base1 = tex_index(s->scroll_x[s->layer1_phase], s->scroll_y[s->layer1_phase]);
    for (int y = 0; y < FRAME_H; y++) {
        std::uint32_t i0 = (base0 + 256u * static_cast<std::uint32_t>(y)) & 0xFFFFu;
        std::uint32_t i1 = (base1 + 256u * static_cast<std::uint32_t>(y)) & 0xFFFFu;
        const Pixel* sc = scroller + y * FRAME_W;
        Pixel* row = frame + y * FRAME_W;
        if (row_in_ring(i0) && row_in_ring(i1)) {
            scene_8_row(layer0 + i0, layer1 + i1, sc, row);
            continue;
        }
        int x = 0;
        while (x < FRAME_W) {
            std::uint32_t run = std::min(
                {static_cast<std::uint32_t>(FRAME_W - x), TEX_PIXELS - i0, TEX_PIXELS - i1});
            scene_8_run(layer0 + i0, layer1 + i1, sc + x, row + x, static_cast<int>(run));
            x += static_cast<int>(run);
            i0 = (i0 + run) & 0xFFFFu;
            i1 = (i1 + run) & 0xFFFFu;
        }
    }
}

void scene_8_closing_scroller(ShowState* s) {
    if (s->scene_started == 7) {
        clear_frame(s->frame);
        s->last_tick = read_tick_count(s);
        s->layer0_phase = 0;
        s->layer1_phase = PATH_LEN - 1;
        s->scroller_offset = 0;
        s->scene_started = 8;
    }

    if (!s->skip_drawing)
        scene_8_render(s);

    std::int32_t now = read_tick_count(s);
    std::int32_t n = ticks_since(now, s->last_tick);
    if (n > 0) {
        // The two phases run round 360-step rings; the scroller moves two rows per tick until
        // its cap, so a long stall cannot push it past the picture.
        for (std::int32_t k = n % PATH_LEN; k > 0; k--)
            step_paths(&s->layer1_phase, &s->layer0_phase);
        if (s->scroller_offset <= SCROLLER_LAST_STEP_FROM) {
            std::int64_t room =
                (SCROLLER_LAST_STEP_FROM - std::int64_t{s->scroller_offset}) / SCROLLER_STEP + 1;
            s->scroller_offset +=
                SCROLLER_STEP * static_cast<std::int32_t>(std::min<std::int64_t>(n, room));
        }
    }
    s->last_tick = now;

    // Past the last position the sequencer reaches its end state and the pass stops the show.
    if (read_sngpos(s) > SCENE_LAST_POSITION[7])
        s->scene_index = SCENE_END;
}
