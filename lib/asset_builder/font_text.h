// Text for the asset pictures: UTF-8 strings set with FreeType from the DejaVu fonts into an
// 8-bit coverage map (0 = no ink, 255 = full ink), antialiased.
#pragma once

#include <cstdint>
#include <vector>

#include "lib/base/result.h"

constexpr const char* DEFAULT_FONT_DIR = "/usr/share/fonts/truetype/dejavu";

enum FontFace { FACE_SANS, FACE_SANS_BOLD, FACE_CONDENSED_BOLD, FACE_SERIF_BOLD, FACE_COUNT };

struct FontSet; // FreeType library and the faces, opened once per run

// A greyscale canvas the text is drawn into; drawing keeps the larger coverage per pixel.
struct Coverage {
    int width;
    int height;
    std::vector<std::uint8_t> ink;
};

Coverage coverage_make(int width, int height);

// Opens every face from font_dir into *fonts, freed with fonts_close. Refused with one line
// naming the missing file.
Result fonts_open(const char* font_dir, FontSet** fonts);
void fonts_close(FontSet* fonts);

// The ink box of a string set at size_px with its pen starting at x = 0 on baseline y = 0
// (y grows downwards): x0 <= x < x1, y0 <= y < y1. Empty ink gives a zero box.
struct InkBox {
    int x0, y0, x1, y1;
};
InkBox text_measure(FontSet* fonts, FontFace face, int size_px, const char* text);

// Draws text with its pen starting at (x, baseline).
void text_draw(Coverage* canvas, FontSet* fonts, FontFace face, int size_px, int x, int baseline,
               const char* text);

// Largest size (at most max_size_px) whose ink fits in max_w x max_h.
int text_fit_size(FontSet* fonts, FontFace face, const char* text, int max_w, int max_h,
                  int max_size_px);

// Draws text with the centre of its ink box at (cx, cy).
void text_draw_centred(Coverage* canvas, FontSet* fonts, FontFace face, int size_px, int cx, int cy,
                       const char* text);

// Draws text centred horizontally on cx with its pen on baseline (lines of a column keep an
// even spacing whatever their letters).
void text_draw_centred_on_baseline(Coverage* canvas, FontSet* fonts, FontFace face, int size_px,
                                   int cx, int baseline, const char* text);
