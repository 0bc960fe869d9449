// Placeholder scene blocks: set-up, tick bookkeeping and the timeline's end test, no picture yet.
#include "core/pixel_ops.h"
#include "core/scenes.h"

void scene_3_twin_light_bump(ShowState* s) {
    if (s->scene_started == 2) {
        clear_frame(s->frame);
        s->last_tick = read_tick_count(s);
        s->scene_started = 3;
    }
    s->last_tick = read_tick_count(s);
    if (read_sngpos(s) > 11)
        s->scene_index = 3;
}

void scene_4_cycling_overlay_scroll(ShowState* s) {
    if (s->scene_started == 3) {
        clear_frame(s->frame);
        s->last_tick = read_tick_count(s);
        s->scene_started = 4;
    }
    s->last_tick = read_tick_count(s);
    if (read_sngpos(s) > 13)
        s->scene_index = 4;
}

void bump_patch(std::int32_t, std::int32_t, const Pixel*, const Pixel*, Pixel*) {}
