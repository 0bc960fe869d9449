// The show's buffers and the pass function: the scene blocks in scene order, each guarded by
// scene_index read afresh, so a scene that ends hands over to the next within the same pass.
#include <cstdlib>
#include <cstring>

#include "core/core.h"
#include "core/scenes.h"

bool show_alloc(ShowState* s, bool with_offscreen) {
    *s = ShowState{};
    // Each buffer is tested before the next is allocated; the order is the driver's.
    Pixel** frames[] = {&s->work, &s->scratch_a, &s->scratch_b, &s->scratch_c};
    for (Pixel** f : frames)
        if (!(*f = static_cast<Pixel*>(std::calloc(FRAME_PIXELS, sizeof(Pixel)))))
            return false;
    std::int32_t** paths[] = {&s->scroll_x, &s->scroll_y, &s->orbit1_x, &s->orbit1_y, &s->orbit2_x,
                              &s->orbit2_y, &s->orbit3_x, &s->orbit3_y, &s->wobble};
    for (std::int32_t** p : paths)
        if (!(*p = static_cast<std::int32_t*>(std::calloc(PATH_LEN, sizeof(std::int32_t)))))
            return false;
    std::int32_t** polar[] = {&s->polar_angle_a, &s->polar_depth_a, &s->polar_angle_b,
                              &s->polar_depth_b};
    for (std::int32_t** p : polar)
        if (!(*p = static_cast<std::int32_t*>(std::calloc(FRAME_PIXELS, sizeof(std::int32_t)))))
            return false;
    if (with_offscreen &&
        !(s->offscreen_frame = static_cast<Pixel*>(std::calloc(FRAME_PIXELS, sizeof(Pixel)))))
        return false;
    return true;
}

bool show_start_offline(ShowState* s, AssetTable assets, ScriptedClock* clock) {
    if (!show_alloc(s, true))
        return false;
    precalc_tables(s);
    s->frame = s->offscreen_frame;
    s->assets = assets;
    show_use_scripted_clock(s, clock);
    return true;
}

void show_free(ShowState* s) {
    void* order[] = {s->work,          s->scratch_a,      s->scratch_b,     s->scratch_c,
                     s->scroll_x,      s->scroll_y,       s->orbit1_x,      s->orbit1_y,
                     s->orbit2_x,      s->orbit2_y,       s->orbit3_x,      s->orbit3_y,
                     s->polar_angle_a, s->polar_depth_a,  s->polar_angle_b, s->polar_depth_b,
                     s->wobble,        s->offscreen_frame};
    for (void* p : order)
        std::free(p);
}

void show_pass(ShowState* s) {
    if (s->scene_index == 0)
        scene_1_masked_twin_scroll(s);
    if (s->scene_index == 1)
        scene_2_polar_flash(s);
    if (s->scene_index == 2)
        scene_3_twin_light_bump(s);
    if (s->scene_index == 3)
        scene_4_cycling_overlay_scroll(s);
    if (s->scene_index == 4)
        scene_5_wobble_tunnel(s);
    if (s->scene_index == 5)
        scene_6_orbiting_panels(s);
    if (s->scene_index == 6)
        scene_7_picture_sequence(s);
    if (s->scene_index == 7)
        scene_8_closing_scroller(s);
    if (s->scene_index == SCENE_END)
        s->running->store(0, std::memory_order_relaxed);
}
