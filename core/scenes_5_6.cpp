// Placeholder scene blocks: set-up, tick bookkeeping and the timeline's end test, no picture yet.
#include "core/pixel_ops.h"
#include "core/scenes.h"

void scene_5_wobble_tunnel(ShowState* s) {
    if (s->scene_started == 4) {
        clear_frame(s->frame);
        s->last_tick = read_tick_count(s);
        s->scene_started = 5;
    }
    s->last_tick = read_tick_count(s);
    if (read_sngpos(s) > 17)
        s->scene_index = 5;
}

void scene_6_orbiting_panels(ShowState* s) {
    if (s->scene_started == 5) {
        clear_frame(s->frame);
        s->last_tick = read_tick_count(s);
        s->scene_started = 6;
    }
    s->last_tick = read_tick_count(s);
    if (read_sngpos(s) > 20)
        s->scene_index = 6;
}

