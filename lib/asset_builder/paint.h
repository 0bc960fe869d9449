// Drawing helpers for the asset pictures: Pixel images, colours, coverage maps (grown for
// outlines, blurred for heights) and the two ways text meets a picture: blended into an opaque
// picture, or stamped as keyed pixels that pass a scene's key test.
#pragma once

#include <cstdint>
#include <vector>

#include "display/frame.h"
#include "lib/asset_builder/font_text.h"

struct Image {
    int width;
    int height;
    std::vector<Pixel> pixels;
};

// Every Pixel set to fill.
Image image_make(int width, int height, Pixel fill);

// Colour channels as doubles 0..255; rgb clamps and rounds to the nearest byte.
struct Rgb {
    double r, g, b;
};
Pixel rgb(Rgb c, std::uint8_t key = 0xFF);
Rgb rgb_of(Pixel p);
Rgb rgb_mix(Rgb a, Rgb b, double t); // a at t = 0, b at t = 1
Rgb rgb_scale(Rgb c, double k);

// Periodic palette: stops spread evenly over t in [0, 1), wrapping from the last to the first,
// blended smoothly (cosine easing) between neighbours.
Rgb palette_cyclic(const Rgb* stops, int count, double t);

// A new map where each pixel holds the largest coverage within radius_px (a round brush).
Coverage coverage_grow(const Coverage& c, double radius_px);

// Box blur passes (three approximate a Gaussian); wrap selects tiling edges for textures.
Coverage coverage_blur(const Coverage& c, int radius_px, int passes, bool wrap);

// Blends colour over the picture by coverage; the key byte of touched pixels is left as it was.
void blend_coverage(Image* picture, const Coverage& c, Rgb colour);

// Like blend_coverage with the colour running from top (at row y_top) to bottom (row y_bottom).
void blend_coverage_gradient(Image* picture, const Coverage& c, Rgb top, Rgb bottom, int y_top,
                             int y_bottom);

// Keyed text for a scene's key test. Where the grown outline covers at least half a pixel the
// picture gets a keyed Pixel (key byte 0xFF): the outline colour, blended towards the fill colour
// (running top to bottom between y_top and y_bottom) by the text's own coverage. Both colours
// must pass the threshold so every blend between them does too. Other pixels are untouched.
void stamp_keyed_text(Image* picture, const Coverage& text, double outline_px, Rgb fill_top,
                      Rgb fill_bottom, int y_top, int y_bottom, Rgb outline);
