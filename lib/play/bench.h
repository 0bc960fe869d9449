// The maker's bench keys: looping the scene on screen, stepping one tick on or back while paused
// (the picture of that tick exactly, as quab-render gives it), and saving the frame on screen as
// a PNG.
#pragma once

#include <string>

#include "lib/play/player.h"

// Parses "FIRST-LAST" (song positions 0 to LAST_SHOW_POSITION, FIRST not after LAST). False
// with *problem (a usage error's text) otherwise.
[[nodiscard]] bool parse_loop(const char* text, std::int16_t* first, std::int16_t* last,
                              std::string* problem);

// Loops the given positions (last below 0: none), for the music and the overlay.
void set_loop(Player* p, std::int16_t first, std::int16_t last);

// L: loops the scene on screen, or ends the loop.
void toggle_scene_loop(Player* p);

// While paused: shows the tick after (delta 1) or before (delta -1) the one on screen. The show
// is replayed one pass a tick from the tick paused at (or from the tick stepped back to, when
// that is earlier), on the song positions and rows the music played at those ticks.
void step_tick(Player* p, int delta);

// After steps, before the live show goes on: the show's state is set up afresh.
void end_steps(Player* p);

// F12: writes the frame on screen as quab-<position>-<row>-<tick>.png in the current folder,
// never over an existing file, and notes the name or the reason it could not.
void save_frame(Player* p);
