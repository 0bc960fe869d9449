// quab-play's window: opening it on the desktop's display, the picture scaled into it (whole
// pixels or filling it, at 4:3 on black), the overlay over it, and the title.
#pragma once

#include <cstdint>

#include "core/timeline.h"

#include "lib/play/player.h"

// Opens the window at scale times 320x240 (0: the largest whole multiple within two thirds of the
// screen), in full screen when asked. Prints one line and exits with status 1 when there is no
// display or nothing can be drawn.
Screen open_screen(std::uint32_t scale, bool fullscreen);

void close_screen(Screen* s);

void toggle_fullscreen(Screen* s);

// Whole pixels or fill, for the window or full screen as it is now.
bool screen_whole_pixels(const Screen* s);
void toggle_whole_pixels(Screen* s);

// Where the picture goes in a window of w x h pixels: x, y, width and height, and the
// scale in hundredths.
SDL_Rect picture_rect(const Screen* s, int w, int h);

// Presents the show's frame (taken into the texture when new_frame), with the overlay over it
// when it is on.
void present(Player* p, bool new_frame);

// The window's title: scene, its name and the song position, and whether paused.
void set_title(Player* p);
