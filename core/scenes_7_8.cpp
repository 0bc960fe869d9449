// Placeholder scene blocks: set-up, tick bookkeeping and the timeline's end test, no picture yet.
#include "core/pixel_ops.h"
#include "core/scenes.h"

void scene_7_picture_sequence(ShowState* s) {
    if (s->scene_started == 6) {
        clear_frame(s->frame);
        s->last_tick = read_tick_count(s);
        s->scene_started = 7;
    }
    s->last_tick = read_tick_count(s);
    if (read_sngpos(s) > 21)
        s->scene_index = 7;
}

void scene_8_closing_scroller(ShowState* s) {
    if (s->scene_started == 7) {
        clear_frame(s->frame);
        s->last_tick = read_tick_count(s);
        s->scene_started = 8;
    }
    s->last_tick = read_tick_count(s);
    if (read_sngpos(s) > 29)
        s->scene_index = 8;
}

