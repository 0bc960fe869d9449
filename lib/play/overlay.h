// The maker's overlay: a few lines of text (clock, scene, frames per second, sound latency,
// scaling, the last reload or warning) drawn over the scaled picture at the window's own
// resolution, never into the show's frame. Its letters come from a small built-in font. The
// notes the bench, the watch and the checker leave for the maker (player_note) are shown here.
#pragma once

#include "lib/play/player.h"

// Size of the screen's texture the overlay's text is set into (Screen::overlay).
extern const int OVERLAY_TEXTURE_W;
extern const int OVERLAY_TEXTURE_H;

// Sets the overlay's lines for the frame on screen and draws them over the picture in a window
// of w x h pixels, scaled by whole steps so they stay readable at every size.
void overlay_draw(Player* p, int w, int h, SDL_Rect picture);

// Sets text in the built-in font into a buffer of ARGB words, stride words a row, from (x, y),
// in colour; characters without a glyph are left blank. Returns the width set, in pixels.
int overlay_text(std::uint32_t* pixels, int stride, int rows, int x, int y, const char* text,
                 std::uint32_t colour);

// Size of one character cell of the built-in font, in font pixels.
constexpr int GLYPH_W = 6;
constexpr int GLYPH_H = 9;
