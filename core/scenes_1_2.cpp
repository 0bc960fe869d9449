// Placeholder scene blocks: set-up, tick bookkeeping and the timeline's end test, no picture yet.
#include "core/pixel_ops.h"
#include "core/scenes.h"

void scene_1_masked_twin_scroll(ShowState* s) {
    if (s->scene_started == 0) {
        s->last_tick = read_tick_count(s);
        s->scene_started = 1;
    }
    s->last_tick = read_tick_count(s);
    if (read_sngpos(s) > 6)
        s->scene_index = 1;
}

void scene_2_polar_flash(ShowState* s) {
    if (s->scene_started == 1) {
        clear_frame(s->frame);
        s->last_tick = read_tick_count(s);
        s->scene_started = 2;
    }
    s->last_tick = read_tick_count(s);
    if (read_sngpos(s) > 9)
        s->scene_index = 2;
}

