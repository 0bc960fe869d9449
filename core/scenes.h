// The eight scene blocks of the frame loop. Each runs its set-up (once), render, tick
// bookkeeping and end test over the show-state record; show_pass calls them in order, each only
// while scene_index selects it.
#pragma once

#include "core/core.h"
#include "core/show.h"
#include "core/timeline.h"

void scene_1_masked_twin_scroll(ShowState* s);
void scene_2_polar_flash(ShowState* s);
void scene_3_twin_light_bump(ShowState* s);
void scene_4_cycling_overlay_scroll(ShowState* s);
void scene_5_wobble_tunnel(ShowState* s);
void scene_6_orbiting_panels(ShowState* s);
void scene_7_picture_sequence(ShowState* s);
void scene_8_closing_scroller(ShowState* s);

// Shared by Scene 3 (twice per frame); exposed for its tests.
void bump_patch(std::int32_t ox, std::int32_t oy, const Pixel* height, const Pixel* light,
                Pixel* dest);
