// Scene 5, the wobble tunnel (a wobbled texture tiled under a keyed polar tunnel and a rolling
// strip), and Scene 6, the orbiting panels (three copies of one panel on three paths, summed
// with saturation over a full-frame picture). Both keep their state in the show-state record.
#include <algorithm>
#include <cstring>

#include "core/pixel_ops.h"
#include "core/scenes.h"

namespace {

// The strip is drawn while its window starts at source column SCENE5_STRIP_LAST_DRAWN (2979) or
// less; the last step takes it to 2982, past the end of the 3300-column picture minus the frame
// width, and it stays hidden.
constexpr std::int32_t STRIP_LAST_DRAWN = SCENE5_STRIP_LAST_DRAWN;
constexpr std::int32_t STRIP_STEP = SCENE5_STRIP_STEP;
constexpr int STRIP_STRIDE = ASSET_MAP[ASSET_SCENE5_STRIP].width;
constexpr int STRIP_TOP = 93;
constexpr int STRIP_ROWS = ASSET_MAP[ASSET_SCENE5_STRIP].height;

// Scene 6's panel is Scene 3's light map, square.
constexpr int PANEL_SIZE = ASSET_MAP[ASSET_SCENE3_LIGHT_MAP].width;
static_assert(ASSET_MAP[ASSET_SCENE3_LIGHT_MAP].height == PANEL_SIZE);

} // namespace

// Row y of the frame: the tiled wobbled texture, the tunnel keyed over it, and, on the strip's
// rows while it shows, the strip keyed over that; each layer touches only the
// row's own words, so the row is finished before the next. Pinned by
// Scene5.FirstFrameTilesTheTextureWobbledByTheTableOnBothAxes and
// Scene5.TunnelAndStripAreKeyedOverTheTextureAfterTicks.
static inline void scene_5_row(int y, const ShowState* s, const Pixel* __restrict tile,
                               const Pixel* __restrict tunnel, std::uint32_t offset_index,
                               Pixel* __restrict row) {
    const std::int32_t* __restrict angle = s->polar_angle_b + y * FRAME_W;
    const std::int32_t* __restrict depth = s->polar_depth_b + y * FRAME_W;
    // Columns 256..319 repeat texture columns 0..63; rows need no wrap (y < 256).
    std::memcpy(row, tile, 256 * sizeof(Pixel));
    std::memcpy(row + 256, tile, (FRAME_W - 256) * sizeof(Pixel));
    // Unsigned: the centre's depth is INT32_MIN and is multiplied by 256; only the low 16 bits
    // of the sum address the texture, and the offset's carry out of the angle byte moves the
    // look-up one row on.
    std::uint32_t index[FRAME_W];
    for (int x = 0; x < FRAME_W; x++)
        index[x] = (static_cast<std::uint32_t>(angle[x]) +
                    (static_cast<std::uint32_t>(depth[x]) << 8) + offset_index) &
                   0xFFFFu;
    for (int x = 0; x < FRAME_W; x++)
        key_store(tunnel[index[x]], &row[x], ASSET_KEY[ASSET_SCENE5_TUNNEL]);
    if (s->strip_offset <= STRIP_LAST_DRAWN && y >= STRIP_TOP && y < STRIP_TOP + STRIP_ROWS) {
        const Pixel* __restrict src =
            asset_pixels(s, ASSET_SCENE5_STRIP) + (y - STRIP_TOP) * STRIP_STRIDE + s->strip_offset;
        for (int x = 0; x < FRAME_W; x++)
            key_store(src[x], &row[x], ASSET_KEY[ASSET_SCENE5_STRIP]);
    }
}

static void scene_5_render(ShowState* s) {
    const Pixel* __restrict texture = asset_pixels(s, ASSET_LAYER0);
    const Pixel* __restrict tunnel = asset_pixels(s, ASSET_SCENE5_TUNNEL);
    Pixel* __restrict work = s->work;
    Pixel* __restrict frame = s->frame;

    // One wobbled coordinate per texture row and column: the same table shifts both axes, and
    // the AND keeps the low byte of the two's-complement sum (column 2 with -5 reads 253).
    std::uint8_t shifted[256];
    for (std::uint32_t u = 0; u < 256; u++)
        shifted[u] = static_cast<std::uint8_t>(u + static_cast<std::uint32_t>(s->wobble[u]));

    std::uint32_t offset_index = 257u * static_cast<std::uint32_t>(s->polar_offset);
    for (int r = 0; r < 256; r++) {
        const Pixel* __restrict src = texture + 256 * shifted[r];
        Pixel* __restrict dst = work + 256 * r;
        for (int c = 0; c < 256; c++)
            dst[c] = src[shifted[c]];
        // The frame row is built while the work row it tiles is still in cache.
        if (r < FRAME_H)
            scene_5_row(r, s, dst, tunnel, offset_index, frame + r * FRAME_W);
    }
}

void scene_5_wobble_tunnel(ShowState* s) {
    if (s->scene_started == 4) {
        clear_frame(s->frame);
        s->strip_offset = 0;
        s->polar_offset = 0;
        s->last_tick = read_tick_count(s);
        s->scene_started = 5;
        // wobble is not reset: the tunnel starts from the rotation Scene 3 left in it.
    }

    if (!s->skip_drawing)
        scene_5_render(s);

    std::int32_t n = ticks_since(read_tick_count(s), s->last_tick);
    if (n > 0) {
        // n steps at once: the table is a 256-entry ring, the strip stops at its cap and the
        // polar offset only matters modulo 65,536 (it is never wrapped, so it may pass 2^31).
        rotate_wobble_by(s->wobble, static_cast<std::uint32_t>(n));
        if (s->strip_offset <= STRIP_LAST_DRAWN) {
            std::int64_t room = (STRIP_LAST_DRAWN - std::int64_t{s->strip_offset}) / STRIP_STEP + 1;
            s->strip_offset +=
                STRIP_STEP * static_cast<std::int32_t>(std::min<std::int64_t>(n, room));
        }
        s->polar_offset = static_cast<std::int32_t>(static_cast<std::uint32_t>(s->polar_offset) +
                                                    static_cast<std::uint32_t>(n));
    }
    // A fresh read: a tick that arrived while the steps ran is dropped, not applied later.
    s->last_tick = read_tick_count(s);

    if (read_sngpos(s) > SCENE_LAST_POSITION[4])
        s->scene_index = 5;
}

// First and last panel index (inclusive) whose position origin + i lies in lo..hi, first > last
// when none does. Computed in 64 bits so that any table value is safe; it decides per panel what
// the per-pixel test (pos - lo) as unsigned <= hi - lo would decide for each pixel.
static inline void panel_span(std::int32_t origin, std::int32_t lo, std::int32_t hi, int* first,
                              int* last) {
    std::int64_t f = std::clamp<std::int64_t>(std::int64_t{lo} - origin, 0, PANEL_SIZE);
    std::int64_t l = std::min<std::int64_t>(PANEL_SIZE - 1, std::int64_t{hi} - origin);
    *first = static_cast<int>(f);
    *last = static_cast<int>(std::max<std::int64_t>(l, f - 1));
}

// One panel's place in the frame: the panel rows it draws (r0..r1, frame row oy + r) and a
// frame-wide line that is zero outside its clipped columns, so that adding it to a whole frame
// row adds the panel where it lies and nothing elsewhere.
struct PanelPlace {
    std::int32_t oy;
    int r0, r1;
    int c0, width, x0;
    Pixel line[FRAME_W];
};

// The clip keeps rows 1..238 and columns 1..318: the frame's outermost ring stays panel-free.
static void place_panel(std::int32_t ox, std::int32_t oy, PanelPlace* p) {
    int c1;
    panel_span(oy, 1, FRAME_H - 2, &p->r0, &p->r1);
    panel_span(ox, 1, FRAME_W - 2, &p->c0, &c1);
    p->oy = oy;
    p->width = c1 - p->c0 + 1;
    p->x0 = p->width > 0 ? static_cast<int>(ox + p->c0) : 0;
    std::memset(p->line, 0, sizeof(p->line));
}

// The helpers take restrict parameters so that the compiler may vectorise their fixed loops.
static inline void picture_row(const Pixel* __restrict picture, Pixel* __restrict row) {
    for (int x = 0; x < FRAME_W; x++)
        row[x] = picture[x] & 0x00FFFFFFu; // add_saturate(0, picture[x])
}

static inline void add_line(const Pixel* __restrict line, Pixel* __restrict row) {
    for (int x = 0; x < FRAME_W; x++)
        row[x] = add_saturate_swar(line[x], row[x]);
}

static void scene_6_render(ShowState* s) {
    const Pixel* __restrict panel = asset_pixels(s, ASSET_SCENE3_LIGHT_MAP);
    const Pixel* __restrict added = asset_pixels(s, ASSET_SCENE6_PICTURE);
    Pixel* __restrict work = s->work;
    Pixel* __restrict frame = s->frame;
    std::int32_t k = s->orbit_index;

    // All three panels are the light map on their own path, with the same index.
    PanelPlace places[3];
    place_panel(s->orbit1_x[k], s->orbit1_y[k], &places[0]);
    place_panel(s->orbit2_x[k], s->orbit2_y[k], &places[1]);
    place_panel(s->orbit3_x[k], s->orbit3_y[k], &places[2]);

    // work is composed row by row: black plus the picture (add_saturate of 0 and the picture is
    // the picture without its key byte), plus each panel on the row. Every channel of the result
    // is min(sum of its terms, 255) whichever order the terms are added in, and every word of
    // work is written. Scene6.FirstFrameShowsClippedPanelsWithTheirKeyByteDropped,
    // Scene6Overlap.ChannelsAddAndCapAt255 and Scene6Clip pin the sums and the clip.
    for (int y = 0; y < FRAME_H; y++) {
        Pixel* row = work + y * FRAME_W;
        picture_row(added + y * FRAME_W, row);
        for (PanelPlace& p : places) {
            std::int64_t r = std::int64_t{y} - p.oy;
            if (p.width <= 0 || r < p.r0 || r > p.r1)
                continue;
            std::memcpy(p.line + p.x0, panel + r * PANEL_SIZE + p.c0, p.width * sizeof(Pixel));
            add_line(p.line, row);
        }
        std::memcpy(frame + y * FRAME_W, row, FRAME_W * sizeof(Pixel));
    }
}

void scene_6_orbiting_panels(ShowState* s) {
    if (s->scene_started == 5) {
        clear_frame(s->frame);
        s->last_tick = read_tick_count(s);
        s->orbit_index = 0;
        s->scene_started = 6;
    }

    if (!s->skip_drawing)
        scene_6_render(s);

    std::int32_t now = read_tick_count(s);
    std::int32_t n = ticks_since(now, s->last_tick);
    // The index runs round a 360-step ring, so n steps are n mod 360 of them.
    for (std::int32_t k = n > 0 ? n % PATH_LEN : 0; k > 0; k--)
        s->orbit_index = s->orbit_index > PATH_LEN - 2 ? 0 : s->orbit_index + 1;
    s->last_tick = now;

    if (read_sngpos(s) > SCENE_LAST_POSITION[5])
        s->scene_index = 6;
}
