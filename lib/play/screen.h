// quab-play's window: opening it on the desktop's display, the picture scaled into it (whole
// pixels or filling it, at 4:3 on black), the overlay over it, and the title.
#pragma once

#include <cstdint>

#include "core/timeline.h"

#include "lib/play/player.h"

// Opens the window at scale times 320x240 (0: the largest whole multiple within two thirds of the
// screen), in full screen when asked, with a blending texture of overlay_w x overlay_h for the
// overlay. Prints one line and exits with status 1 when there is no display or nothing can be
// drawn.
Screen open_screen(std::uint32_t scale, bool fullscreen, int overlay_w, int overlay_h);

void close_screen(Screen* s);

void toggle_fullscreen(Screen* s);

// Whole pixels or fill (screen_whole_pixels), for the window or full screen as it is now.
void toggle_whole_pixels(Screen* s);

// Where the picture goes in a window of w x h pixels: x, y, width and height, and the
// scale in hundredths.
SDL_Rect picture_rect(const Screen* s, int w, int h);

// The window's title: scene, its name and the song position, and whether paused.
void set_title(Player* p);
