// The show's own assets. Each maker is written for what its scene does with the picture:
// textures are periodic over 256 so they tile without seams, the two scrolling layers stay at
// half brightness per channel so their plain 32-bit sum never carries between channels, and
// keyed pictures hold only Pixels that pass their scene's key (key byte 0xFF and colour above
// the threshold) or fully transparent ones (0), so their PNGs show exactly what is drawn.
#include "lib/asset_builder/default_assets.h"

#include <cmath>
#include <cstdio>

#include "core/timeline.h"
#include "lib/asset_builder/font_text.h"
#include "lib/asset_builder/paint.h"
#include "lib/base/random.h"

namespace {

constexpr double TAU = 6.28318530717958647692;

// Keyed text colours. Everything drawn against KEY_HIGH has red of at least 0xB0, which alone
// puts the colour above 0xAAAAAA; against KEY_LOW red of at least 0x60 does the same for
// 0x555555. Warm text on the show's cool backgrounds.
constexpr Rgb GOLD_TOP = {255, 242, 160};
constexpr Rgb GOLD_BOTTOM = {255, 150, 40};
constexpr Rgb CREAM_TOP = {255, 252, 240};
constexpr Rgb CREAM_BOTTOM = {255, 216, 176};
constexpr Rgb CRIMSON = {178, 16, 64};
constexpr Rgb PLUM = {100, 6, 52};

constexpr Pixel TRANSPARENT = 0x00000000u;
constexpr Pixel MASK_ON = 0xFFFFFFFFu;

struct RampStop {
    double at;
    Rgb colour;
};

// Piecewise linear colour ramp over stops sorted by position; t is clamped to the ends.
Rgb ramp(const RampStop* stops, int count, double t) {
    if (t <= stops[0].at)
        return stops[0].colour;
    for (int i = 1; i < count; i++)
        if (t <= stops[i].at) {
            double f = (t - stops[i - 1].at) / (stops[i].at - stops[i - 1].at);
            return rgb_mix(stops[i - 1].colour, stops[i].colour, f);
        }
    return stops[count - 1].colour;
}

double clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }

std::vector<Pixel> pixels_of(Image&& im) { return std::move(im.pixels); }

// ASSET_LAYER0: a slow plasma in navy, indigo and violet. Every term has whole frequencies over
// 256 texels, so the texture repeats exactly; channels stay below 0x80.
std::vector<Pixel> make_plasma() {
    static const Rgb stops[] = {{14, 10, 52},   {40, 20, 108}, {96, 32, 126},
                                {126, 56, 118}, {74, 36, 126}, {20, 60, 118}};
    Image im = image_make(256, 256, 0);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            double u = TAU * x / 256.0;
            double v = TAU * y / 256.0;
            double p = std::sin(2.0 * u + 1.5 * std::sin(v)) + std::sin(3.0 * v - u + 0.7) +
                       0.6 * std::sin(3.0 * u + 4.0 * v + 2.1) + 0.5 * std::sin(5.0 * u - 2.0 * v);
            double t = p / 6.2 + 0.5;
            im.pixels[y * 256 + x] = rgb(palette_cyclic(stops, 6, t * 1.5));
        }
    return pixels_of(std::move(im));
}

// ASSET_LAYER1: soft glowing dots on a staggered 32-texel lattice (8 x 8 dots, rows shifted by half
// a cell), teal and rose in turn, on a faint sheen. Distances are taken round the torus so
// the dots continue over the edges; channels stay below 0x80.
//
// Each dot has a white-hot core. Scene 1 fades the two layers' sum down by up to 255 on every
// channel, and the cores over the plasma are what stays visible deepest into a fade: they keep
// a fading title on screen until level 160 or so, where without them it would read as black
// from about 135 on (a frame is black, to a video's black detection, when 98% of it is darker
// than 6% grey).
constexpr double DOT_CORE_WHITE = 90.0;  // added to every channel at the dot's centre
constexpr double DOT_CORE_SPREAD = 30.0; // falls to 1/e at sqrt(30) = 5.5 texels

std::vector<Pixel> make_dots() {
    Image im = image_make(256, 256, 0);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            double u = TAU * x / 256.0;
            double v = TAU * y / 256.0;
            double sheen = 0.5 + 0.5 * std::sin(u + 2.0 * v);
            Rgb c = {6.0 * sheen, 14.0 * sheen, 22.0 * sheen};
            for (int j = 0; j < 8; j++)
                for (int i = 0; i < 8; i++) {
                    double cx = 16.0 + 32.0 * i + (j % 2 ? 16.0 : 0.0);
                    double cy = 16.0 + 32.0 * j;
                    double dx = std::fabs(x - cx);
                    double dy = std::fabs(y - cy);
                    dx = dx > 128.0 ? 256.0 - dx : dx;
                    dy = dy > 128.0 ? 256.0 - dy : dy;
                    double d2 = dx * dx + dy * dy;
                    if (d2 > 400.0)
                        continue;
                    double glow = std::exp(-d2 / 40.0);
                    double ring = std::exp(-std::pow(std::sqrt(d2) - 11.0, 2.0) / 2.0) * 0.35;
                    double core = DOT_CORE_WHITE * std::exp(-d2 / DOT_CORE_SPREAD);
                    Rgb tint = (i + j) % 2 ? Rgb{24, 110, 124} : Rgb{122, 44, 100};
                    c = {c.r + tint.r * (glow + ring) + core, c.g + tint.g * (glow + ring) + core,
                         c.b + tint.b * (glow + ring) + core};
                }
            c = {c.r > 126 ? 126 : c.r, c.g > 126 ? 126 : c.g, c.b > 126 ? 126 : c.b};
            im.pixels[y * 256 + x] = rgb(c);
        }
    return pixels_of(std::move(im));
}

// ASSET_SCENE2_TEXTURE: Scene 2 reads one texture row per tick (the row is the time, the column the
// angle round the centre), so every row is a ring of rays and neighbouring rows differ a little:
// twelve rays and five slower ones turning against each other, under colours that drift through the
// show's palette as the rows go by.
std::vector<Pixel> make_rays() {
    static const Rgb stops[] = {
        {24, 30, 130}, {110, 40, 176}, {204, 50, 150}, {236, 116, 44}, {30, 140, 170}};
    Image im = image_make(256, 256, 0);
    for (int r = 0; r < 256; r++)
        for (int c = 0; c < 256; c++) {
            double a = TAU * c / 256.0;
            double t = TAU * r / 256.0;
            double rays = 0.5 + 0.5 * std::sin(12.0 * a + 3.0 * t);
            double slow = 0.5 + 0.5 * std::sin(5.0 * a - 2.0 * t);
            double level = 0.18 + 0.82 * (0.7 * rays * rays + 0.3 * slow);
            Rgb colour = palette_cyclic(stops, 5, r / 256.0 + 0.12 * std::sin(a));
            im.pixels[r * 256 + c] = rgb(rgb_scale(colour, level));
        }
    return pixels_of(std::move(im));
}

// ASSET_SCENE3_HEIGHT_FIELD: Scene 3's height field. The light-map look-up moves by the difference
// of the left and right words (its low byte, blue, picks the column) and by the low byte of the
// difference of the words above and below (blue again, to the row); the green byte of the
// horizontal difference also reaches the row. So the height is the blue byte and green is constant;
// red repeats the height so that the picture reads as a height map. Raised letters over a field of
// round bumps, blurred round the torus to keep the slopes gentle and the edges seamless.
std::vector<Pixel> make_height_field(FontSet* fonts) {
    Coverage letters = coverage_make(256, 256);
    int size = text_fit_size(fonts, FACE_SANS_BOLD, "QUAB", 224, 110, 140);
    text_draw_centred(&letters, fonts, FACE_SANS_BOLD, size, 128, 128, "QUAB");
    Coverage soft = coverage_blur(letters, 3, 3, true);
    Image im = image_make(256, 256, 0);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            double u = TAU * x / 256.0;
            double v = TAU * y / 256.0;
            double bumps = 0.5 + 0.5 * std::cos(5.0 * u) * std::cos(5.0 * v);
            double h = 16.0 + 72.0 * bumps + 120.0 * soft.ink[y * 256 + x] / 255.0;
            std::uint32_t b = static_cast<std::uint32_t>(h + 0.5);
            im.pixels[y * 256 + x] = 0xFF000000u | b << 16 | 0x30u << 8 | b;
        }
    return pixels_of(std::move(im));
}

// ASSET_SCENE3_LIGHT_MAP: a round light, white at the centre (texel 128, 128, where a patch on flat
// ground puts it) through sky blue to black well inside the edges: Scene 3's patches leave behind
// what they drew last where they move off, and black edges leave nothing to see. Scene 6 adds three
// of these as panels, so it also carries a faint halo ring.
std::vector<Pixel> make_light() {
    static const RampStop stops[] = {{0.0, {0, 0, 0}},
                                     {0.22, {8, 24, 80}},
                                     {0.5, {50, 120, 220}},
                                     {0.78, {170, 216, 255}},
                                     {1.0, {255, 255, 255}}};
    Image im = image_make(256, 256, 0);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            double d = std::hypot(x - 128.0, y - 128.0);
            double level = std::pow(clamp01(1.0 - d / 112.0), 1.6);
            double halo = 0.16 * std::exp(-std::pow((d - 96.0) / 4.0, 2.0));
            Rgb c = ramp(stops, 5, level);
            c = {c.r + 120.0 * halo, c.g + 170.0 * halo, c.b + 255.0 * halo};
            im.pixels[y * 256 + x] = rgb(c);
        }
    return pixels_of(std::move(im));
}

// ASSET_SCENE5_TUNNEL: Scene 5 maps rows to depth (2000 / distance from the centre, plus one row
// per tick) and columns to the angle, keyed against KEY_LOW over the wobbling plasma. A checker of
// bevelled tiles, 8 rows deep and 16 columns (a sixteenth of the circle) wide, every other tile
// transparent; rings alternate magenta and amber. 8 and 16 divide 256: no seam.
std::vector<Pixel> make_tunnel() {
    Image im = image_make(256, 256, TRANSPARENT);
    for (int r = 0; r < 256; r++)
        for (int c = 0; c < 256; c++) {
            int ring = r / 8;
            int segment = c / 16;
            if ((ring + segment) % 2)
                continue;
            double u = (c % 16 + 0.5) / 16.0;
            double v = (r % 8 + 0.5) / 8.0;
            // Lit from the near edge of each tile, shaded towards the far one, with a bevel.
            double edge = std::fmin(std::fmin(u, 1.0 - u) * 16.0, std::fmin(v, 1.0 - v) * 8.0);
            double bevel = edge < 1.5 ? (u < 0.5 && v < 0.5 ? 1.15 : 0.7) : 1.0;
            double level = (0.62 + 0.38 * (1.0 - v)) * bevel;
            Rgb base = ring % 2 ? Rgb{232, 64, 176} : Rgb{250, 150, 46};
            Rgb c2 = rgb_scale(base, level);
            c2.r = c2.r < 112.0 ? 112.0 : c2.r;
            im.pixels[r * 256 + c] = rgb(c2);
        }
    return pixels_of(std::move(im));
}

// Threshold coverage into Scene 1's mask: shown (white, keyed) or not (transparent).
void stamp_mask(Image* mask, const Coverage& c) {
    for (std::size_t i = 0; i < mask->pixels.size(); i++)
        if (c.ink[i] >= 128)
            mask->pixels[i] = MASK_ON;
}

// Scene 1's lettering over a ground of fine lines. The scene fades the masked scroll in and out
// as a whole, and a frame reads as black (to a viewer as to a video's black detection) once
// nearly all of it is dark. Only the brightest few texels of the scroll outlast a deep fade,
// and letters alone cover too few of them: the fade would look finished, and the screen dead,
// long before it is. So the scroll also shows on every other row of the whole screen, a ground
// that keeps the fading picture alive and, at half the density, stays darker than the solid
// letters on it; a dark rim of rim_px round each letter keeps it apart from the lines.
void stamp_lined_ground(Coverage* c, const Coverage& letters, double rim_px) {
    Coverage rim = coverage_grow(letters, rim_px);
    for (int y = 0; y < c->height; y += 2)
        for (int x = 0; x < c->width; x++) {
            std::size_t i = static_cast<std::size_t>(y) * c->width + x;
            if (rim.ink[i] < 128)
                c->ink[i] = 255;
        }
    for (std::size_t i = 0; i < c->ink.size(); i++)
        if (letters.ink[i] >= 128)
            c->ink[i] = 255;
}

// ASSET_SCENE1_MASK_EARLY, Scene 1 at song positions 0 to 2: the sender's line, shown through the
// scrolling textures as they fade in and out.
std::vector<Pixel> make_mask_team(FontSet* fonts) {
    Coverage letters = coverage_make(320, 240);
    int size = text_fit_size(fonts, FACE_SANS_BOLD, "THE QUAB TEAM", 300, 52, 52);
    text_draw_centred(&letters, fonts, FACE_SANS_BOLD, size, 160, 94, "THE QUAB TEAM");
    size = text_fit_size(fonts, FACE_SANS_BOLD, "PRESENTS", 220, 36, 36);
    text_draw_centred(&letters, fonts, FACE_SANS_BOLD, size, 160, 154, "PRESENTS");
    Coverage c = coverage_make(320, 240);
    stamp_lined_ground(&c, letters, 4.5);
    Image mask = image_make(320, 240, TRANSPARENT);
    stamp_mask(&mask, c);
    return pixels_of(std::move(mask));
}

// ASSET_SCENE1_MASK_LATE, Scene 1 from song position 3: the title in tall letters, a line under
// it.
std::vector<Pixel> make_mask_title(FontSet* fonts) {
    Coverage letters = coverage_make(320, 240);
    int size = text_fit_size(fonts, FACE_SANS_BOLD, "QUAB", 300, 120, 200);
    text_draw_centred(&letters, fonts, FACE_SANS_BOLD, size, 160, 112, "QUAB");
    int small = text_fit_size(fonts, FACE_SANS_BOLD, "A LINUX DEMO", 200, 20, 22);
    text_draw_centred(&letters, fonts, FACE_SANS_BOLD, small, 160, 204, "A LINUX DEMO");
    Coverage c = coverage_make(320, 240);
    stamp_lined_ground(&c, letters, 4.5);
    Image mask = image_make(320, 240, TRANSPARENT);
    stamp_mask(&mask, c);
    return pixels_of(std::move(mask));
}

// A big word and a smaller line under it, keyed over Scene 2's rays (KEY_LOW).
std::vector<Pixel> make_drop_overlay(FontSet* fonts, const char* word, const char* line) {
    Coverage c = coverage_make(320, 240);
    int size = text_fit_size(fonts, FACE_SANS_BOLD, word, 284, 104, 160);
    text_draw_centred(&c, fonts, FACE_SANS_BOLD, size, 160, 104, word);
    int small = text_fit_size(fonts, FACE_SANS_BOLD, line, 260, 24, 26);
    text_draw_centred(&c, fonts, FACE_SANS_BOLD, small, 160, 186, line);
    Image im = image_make(320, 240, TRANSPARENT);
    stamp_keyed_text(&im, c, 3.0, CREAM_TOP, GOLD_TOP, 50, 200, PLUM);
    return pixels_of(std::move(im));
}

// ASSET_SCENE3_OVERLAY, Scene 3 at song position 11: a caption above and below, clear of the
// lights.
std::vector<Pixel> make_bump_caption(FontSet* fonts) {
    Image im = image_make(320, 240, TRANSPARENT);
    Coverage upper = coverage_make(320, 240);
    int size = text_fit_size(fonts, FACE_SANS_BOLD, "TWIN LIGHTS", 280, 30, 34);
    text_draw_centred(&upper, fonts, FACE_SANS_BOLD, size, 160, 26, "TWIN LIGHTS");
    stamp_keyed_text(&im, upper, 2.5, GOLD_TOP, GOLD_BOTTOM, 10, 42, CRIMSON);
    Coverage lower = coverage_make(320, 240);
    size = text_fit_size(fonts, FACE_SANS_BOLD, "ON A BUMPY ROAD", 280, 24, 28);
    text_draw_centred(&lower, fonts, FACE_SANS_BOLD, size, 160, 216, "ON A BUMPY ROAD");
    stamp_keyed_text(&im, lower, 2.5, GOLD_TOP, GOLD_BOTTOM, 203, 229, CRIMSON);
    return pixels_of(std::move(im));
}

// ASSET_SCENE4_OVERLAY_1 and the three after it: Scene 4 changes its overlay every few frames, so
// the four pictures are the four phases of a marquee: a ring of bulbs round the screen where every
// fourth bulb, moving on by one per phase, is lit; the caption in the middle stays put.
std::vector<Pixel> make_marquee(FontSet* fonts, int phase) {
    Image im = image_make(320, 240, TRANSPARENT);
    // Bulb centres round a rectangle 12 pixels in from the edges, 16 pixels apart.
    std::vector<std::pair<int, int>> bulbs;
    for (int x = 12; x <= 308; x += 16)
        bulbs.push_back({x, 12});
    for (int y = 28; y <= 220; y += 16)
        bulbs.push_back({308, y});
    for (int x = 308; x >= 12; x -= 16)
        bulbs.push_back({x, 228});
    for (int y = 212; y >= 28; y -= 16)
        bulbs.push_back({12, y});
    for (std::size_t k = 0; k < bulbs.size(); k++) {
        bool lit = static_cast<int>(k % 4) == phase;
        int bx = bulbs[k].first;
        int by = bulbs[k].second;
        for (int y = by - 6; y <= by + 6; y++)
            for (int x = bx - 6; x <= bx + 6; x++) {
                double d = std::hypot(x - bx, y - by);
                if (d > 5.5)
                    continue;
                double t = d / 5.5;
                Rgb c = lit ? rgb_mix({255, 255, 230}, {255, 176, 40}, t)
                            : rgb_mix({200, 40, 60}, {176, 12, 40}, t);
                im.pixels[y * 320 + x] = rgb(c);
            }
    }
    Coverage c = coverage_make(320, 240);
    int size = text_fit_size(fonts, FACE_SANS_BOLD, "SCROLLING", 250, 60, 80);
    text_draw_centred_on_baseline(&c, fonts, FACE_SANS_BOLD, size, 160, 104, "KEEP ON");
    text_draw_centred_on_baseline(&c, fonts, FACE_SANS_BOLD, size, 160, 104 + size, "SCROLLING");
    stamp_keyed_text(&im, c, 3.0, GOLD_TOP, GOLD_BOTTOM, 60, 104 + size, CRIMSON);
    return pixels_of(std::move(im));
}

// Scatters count stars over the rows y0..y1 of a picture, brighter ones rarer.
void add_stars(Image* im, std::uint32_t seed, int count, int y0, int y1, double brightness) {
    std::uint32_t state = seed;
    for (int i = 0; i < count; i++) {
        int x = static_cast<int>(next_random(&state) % static_cast<std::uint32_t>(im->width));
        int y = y0 + static_cast<int>(next_random(&state) % static_cast<std::uint32_t>(y1 - y0));
        double level = (next_random(&state) % 1000) / 1000.0;
        level = brightness * (0.25 + 0.75 * level * level);
        Pixel& p = im->pixels[static_cast<std::size_t>(y) * im->width + x];
        Rgb old = rgb_of(p);
        p = rgb({old.r + 220 * level, old.g + 225 * level, old.b + 255 * level});
    }
}

// ASSET_SCENE6_PICTURE, added to Scene 6's three orbiting lights: night sky with stars and the
// title in dim violet, which the lights brighten as they pass over it.
std::vector<Pixel> make_orbit_backdrop(FontSet* fonts) {
    Image im = image_make(320, 240, 0);
    for (int y = 0; y < 240; y++) {
        Rgb c = rgb_mix({0, 0, 14}, {26, 4, 44}, y / 239.0);
        for (int x = 0; x < 320; x++)
            im.pixels[y * 320 + x] = rgb(c);
    }
    add_stars(&im, 0x51A4u, 140, 0, 240, 0.8);
    Coverage c = coverage_make(320, 240);
    int size = text_fit_size(fonts, FACE_SANS_BOLD, "QUAB", 280, 110, 200);
    text_draw_centred(&c, fonts, FACE_SANS_BOLD, size, 160, 120, "QUAB");
    Coverage rim = coverage_grow(c, 1.5);
    blend_coverage(&im, rim, {96, 40, 150});
    blend_coverage_gradient(&im, c, {60, 20, 96}, {36, 12, 70}, 60, 180);
    return pixels_of(std::move(im));
}

// ASSET_SCENE7_BACKGROUND, behind Scene 7's words (rows 93 to 147): a dusk sky that is darkest
// where the words stand, a glowing horizon and a perspective grid running off to it.
std::vector<Pixel> make_dusk(FontSet*) {
    constexpr int HORIZON = 168;
    Image im = image_make(320, 240, 0);
    static const RampStop sky[] = {
        {0.0, {4, 2, 26}}, {0.55, {28, 8, 64}}, {0.85, {90, 18, 104}}, {1.0, {236, 92, 150}}};
    for (int y = 0; y < HORIZON; y++) {
        Rgb c = ramp(sky, 4, y / static_cast<double>(HORIZON - 1));
        for (int x = 0; x < 320; x++)
            im.pixels[y * 320 + x] = rgb(c);
    }
    add_stars(&im, 0xD05Cu, 90, 0, 86, 0.9);
    // The floor, 4 x 4 samples a pixel: depth z from the row, X across it; lines where either
    // is near a whole number, fading into the haze towards the horizon.
    for (int y = HORIZON; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            double line = 0.0;
            for (int sy = 0; sy < 4; sy++)
                for (int sx = 0; sx < 4; sx++) {
                    double py = y + (sy + 0.5) / 4.0 - HORIZON;
                    double px = x + (sx + 0.5) / 4.0 - 160.0;
                    double z = 40.0 / py;
                    double gx = px * z / 24.0;
                    double gz = z * 2.0;
                    double fx = std::fabs(gx - std::floor(gx + 0.5));
                    double fz = std::fabs(gz - std::floor(gz + 0.5));
                    double width = 0.06 * (1.0 + 0.5 * z);
                    if (fx < width * 0.6 || fz < width)
                        line += 1.0;
                }
            line /= 16.0;
            double haze = std::exp(-(y - HORIZON) / 14.0);
            Rgb floor = rgb_mix({14, 2, 30}, {120, 24, 110}, haze);
            Rgb grid = rgb_mix({60, 200, 240}, {250, 120, 210}, haze);
            im.pixels[y * 320 + x] = rgb(rgb_mix(floor, grid, line));
        }
    return pixels_of(std::move(im));
}

// ASSET_SCENE7_WORD_1 and the nine after it: Scene 7's words, one picture each, 55 rows high, keyed
// against KEY_HIGH.
std::vector<Pixel> make_word(FontSet* fonts, int width, const char* word) {
    Coverage c = coverage_make(width, 55);
    // Condensed letters keep the long words as tall as the short ones; the size is set by the
    // height of a capital, so a Q's tail does not shrink its word.
    int size = text_fit_size(fonts, FACE_CONDENSED_BOLD, "H", width, 38, 64);
    size = text_fit_size(fonts, FACE_CONDENSED_BOLD, word, width - 12, 55, size);
    text_draw_centred(&c, fonts, FACE_CONDENSED_BOLD, size, width / 2, 27, word);
    Image im = image_make(width, 55, TRANSPARENT);
    stamp_keyed_text(&im, c, 2.5, GOLD_TOP, GOLD_BOTTOM, 6, 49, CRIMSON);
    return pixels_of(std::move(im));
}

// ASSET_SCENE5_STRIP: the greetings strip. Scene 5 rolls it leftwards at 150 pixels a second,
// showing 320 columns from column 0 up to column 2979, so the text starts one screen in (it enters
// from the right) and ends before column 2980 (it has left the screen when the strip stops).
std::vector<Pixel> make_greetings(FontSet* fonts) {
    static const char* const text =
        "GREETINGS TO EVERYONE WHO STILL WRITES DEMOS  *  TO ALL TRACKER MUSICIANS  *  "
        "TO THE PIXEL ARTISTS  *  AND TO YOU!";
    constexpr int START = 330;
    constexpr int END = 2960;
    int size = text_fit_size(fonts, FACE_SANS_BOLD, text, END - START, 42, 38);
    InkBox b = text_measure(fonts, FACE_SANS_BOLD, size, text);
    Coverage c = coverage_make(3300, 55);
    int x = START + (END - START - (b.x1 - b.x0)) / 2 - b.x0;
    text_draw(&c, fonts, FACE_SANS_BOLD, size, x, 27 - (b.y0 + b.y1) / 2, text);
    Image im = image_make(3300, 55, TRANSPARENT);
    stamp_keyed_text(&im, c, 2.5, GOLD_TOP, GOLD_BOTTOM, 8, 47, CRIMSON);
    return pixels_of(std::move(im));
}

// Keyed text line into a tall picture: set and stamped in a band of its own (so its colours
// run from the top to the bottom of its own letters), then copied in where keyed.
void stamp_line(Image* im, FontSet* fonts, int size_px, int cx, int cy, bool by_baseline,
                const char* text, Rgb top, Rgb bottom, double outline_px) {
    // A line too wide for the screen is set smaller rather than cut off.
    int widest = im->width - 2 * static_cast<int>(outline_px) - 12;
    InkBox full = text_measure(fonts, FACE_SANS_BOLD, size_px, text);
    if (full.x1 - full.x0 > widest)
        size_px = text_fit_size(fonts, FACE_SANS_BOLD, text, widest, 4 * size_px, size_px);
    int band_top = cy - 2 * size_px;
    int band_h = 4 * size_px;
    Coverage c = coverage_make(im->width, band_h);
    if (by_baseline)
        text_draw_centred_on_baseline(&c, fonts, FACE_SANS_BOLD, size_px, cx, cy - band_top, text);
    else
        text_draw_centred(&c, fonts, FACE_SANS_BOLD, size_px, cx, cy - band_top, text);
    InkBox b = text_measure(fonts, FACE_SANS_BOLD, size_px, text);
    int ink_top = by_baseline ? cy - band_top + b.y0 : cy - band_top - (b.y1 - b.y0) / 2;
    Image band = image_make(im->width, band_h, TRANSPARENT);
    stamp_keyed_text(&band, c, outline_px, top, bottom, ink_top, ink_top + (b.y1 - b.y0), CRIMSON);
    for (int y = 0; y < band_h; y++) {
        int to = band_top + y;
        if (to < 0 || to >= im->height)
            continue;
        for (int x = 0; x < im->width; x++) {
            Pixel p = band.pixels[static_cast<std::size_t>(y) * im->width + x];
            if (p >> 24)
                im->pixels[static_cast<std::size_t>(to) * im->width + x] = p;
        }
    }
}

// One line of the closing credits.
enum LineStyle { TITLE, HEADING, BODY, GAP };
struct CreditLine {
    LineStyle style;
    const char* text; // for GAP: null
};

// ASSET_SCENE8_SCROLLER: the closing scroller. Scene 8 starts showing rows 0..239 (left empty, so
// the text rises from the bottom edge), rolls two rows a tick for 27.6 s and rests on rows
// 2760..2999 for the rest of the song: that last screen is a picture of its own.
std::vector<Pixel> make_credits(FontSet* fonts) {
    static_assert(SCENE_COUNT == 8, "the credits name every scene");
    static const CreditLine lines[] = {
        {TITLE, "QUAB"},
        {BODY, "a real-time demo for Linux"},
        {GAP, nullptr},
        {HEADING, "CODE"},
        {BODY, "the QUAB team"},
        {GAP, nullptr},
        {HEADING, "MUSIC"},
        {BODY, "the QUAB team"},
        {BODY, "composed in code,"},
        {BODY, "played by libmikmod"},
        {GAP, nullptr},
        {HEADING, "GRAPHICS"},
        {BODY, "grown from sines and text"},
        {BODY, "by quab-assets"},
        {GAP, nullptr},
        {HEADING, "TYPE"},
        {BODY, "DejaVu fonts,"},
        {BODY, "set by FreeType"},
        {GAP, nullptr},
        {HEADING, "ENGINE"},
        {BODY, "QUAB Linux Demoengine v" QUAB_VERSION},
        {GAP, nullptr},
        {GAP, nullptr},
        {HEADING, "THE SCENES"},
        {BODY, SCENE_NAMES[0]},
        {BODY, SCENE_NAMES[1]},
        {BODY, SCENE_NAMES[2]},
        {BODY, SCENE_NAMES[3]},
        {BODY, SCENE_NAMES[4]},
        {BODY, SCENE_NAMES[5]},
        {BODY, SCENE_NAMES[6]},
        {BODY, SCENE_NAMES[7]},
        {GAP, nullptr},
        {GAP, nullptr},
        {HEADING, "THE NUMBERS"},
        {BODY, "320 x 240 pixels"},
        {BODY, "32-bit true colour"},
        {BODY, "50 ticks a second"},
        {BODY, "8 scenes, 30 pictures"},
        {BODY, "1 song"},
        {BODY, "0 shaders"},
        {GAP, nullptr},
        {GAP, nullptr},
        {HEADING, "GREETINGS"},
        {BODY, "to every coder, musician"},
        {BODY, "and pixel artist"},
        {BODY, "who still makes demos"},
        {BODY, "for the fun of it"},
        {GAP, nullptr},
        {GAP, nullptr},
        {HEADING, "MAKE YOUR OWN SHOW"},
        {BODY, "quab-assets unpack"},
        {BODY, "paint over the pictures"},
        {BODY, "quab-assets build"},
        {BODY, "and run it again"},
    };
    constexpr int TITLE_PX = 76;
    constexpr int HEADING_PX = 26;
    constexpr int BODY_PX = 19;
    constexpr int FIRST = 330;       // first baseline: the text rises in from below
    constexpr int REST = 2760;       // first row of the resting screen
    constexpr int LAST = REST - 190; // where the last line should stand
    // The lines are laid out once without gaps to find how much room the gaps share, so the
    // text runs evenly until the resting screen comes up behind it.
    int natural = 0;
    int gaps = 0;
    for (const CreditLine& line : lines) {
        natural += line.style == TITLE     ? TITLE_PX + 24
                   : line.style == HEADING ? HEADING_PX + 18
                   : line.style == BODY    ? BODY_PX + 12
                                           : 0;
        gaps += line.style == GAP;
    }
    int gap = (LAST - FIRST - natural) / (gaps ? gaps : 1);
    gap = gap < 30 ? 30 : gap;
    Image im = image_make(320, 3000, TRANSPARENT);
    int baseline = FIRST;
    for (const CreditLine& line : lines) {
        switch (line.style) {
        case TITLE:
            baseline += TITLE_PX - 20;
            stamp_line(&im, fonts, TITLE_PX, 160, baseline, true, line.text, GOLD_TOP, GOLD_BOTTOM,
                       3.0);
            baseline += 44;
            break;
        case HEADING:
            baseline += HEADING_PX + 14;
            stamp_line(&im, fonts, HEADING_PX, 160, baseline, true, line.text, GOLD_TOP,
                       GOLD_BOTTOM, 2.5);
            baseline += 4;
            break;
        case BODY:
            baseline += BODY_PX + 12;
            stamp_line(&im, fonts, BODY_PX, 160, baseline, true, line.text, CREAM_TOP, CREAM_BOTTOM,
                       2.0);
            break;
        case GAP:
            baseline += gap;
            break;
        }
    }
    if (baseline > REST - 120)
        std::printf("quab-assets: the credits run to row %d, into the resting screen\n", baseline);

    int title = text_fit_size(fonts, FACE_SANS_BOLD, "QUAB", 280, 96, 160);
    stamp_line(&im, fonts, title, 160, REST + 86, false, "QUAB", GOLD_TOP, GOLD_BOTTOM, 3.0);
    int thanks = text_fit_size(fonts, FACE_SANS_BOLD, "THANKS FOR WATCHING", 280, 26, 28);
    stamp_line(&im, fonts, thanks, 160, REST + 170, false, "THANKS FOR WATCHING", GOLD_TOP,
               GOLD_BOTTOM, 2.5);
    stamp_line(&im, fonts, BODY_PX, 160, REST + 204, false, "the QUAB team", CREAM_TOP,
               CREAM_BOTTOM, 2.0);
    for (int y = REST + 144; y < REST + 147; y++)
        for (int x = 40; x < 280; x++)
            im.pixels[static_cast<std::size_t>(y) * 320 + x] = rgb(GOLD_BOTTOM);
    return pixels_of(std::move(im));
}

} // namespace

Result make_default_assets(const char* font_dir, AssetImages* out) {
    FontSet* fonts = nullptr;
    if (Result r = fonts_open(font_dir, &fonts); !r.ok)
        return r;
    static const char* const words[SCENE7_WORDS] = {
        "THIS IS QUAB", "ONE", "CPU", "EIGHT", "SCENES", "AND", "SONG", "ALL", "IN", "CODE"};
    AssetImages& a = *out;
    a.assign(ASSET_COUNT, {});
    a[ASSET_LAYER0] = make_plasma();
    a[ASSET_LAYER1] = make_dots();
    a[ASSET_SCENE1_MASK_EARLY] = make_mask_team(fonts);
    a[ASSET_SCENE1_MASK_LATE] = make_mask_title(fonts);
    a[ASSET_SCENE2_TEXTURE] = make_rays();
    a[ASSET_SCENE2_OVERLAY_1] = make_drop_overlay(fonts, "QUAB", "LINUX DEMOENGINE");
    a[ASSET_SCENE2_OVERLAY_1 + 1] = make_drop_overlay(fonts, "TRUE", "COLOUR IN 32 BITS");
    a[ASSET_SCENE2_OVERLAY_1 + 2] = make_drop_overlay(fonts, "PURE", "SOFTWARE, NO SHADERS");
    a[ASSET_SCENE3_HEIGHT_FIELD] = make_height_field(fonts);
    a[ASSET_SCENE3_LIGHT_MAP] = make_light();
    a[ASSET_SCENE3_OVERLAY] = make_bump_caption(fonts);
    for (int phase = 0; phase < SCENE4_OVERLAYS; phase++)
        a[ASSET_SCENE4_OVERLAY_1 + phase] = make_marquee(fonts, phase);
    a[ASSET_SCENE5_TUNNEL] = make_tunnel();
    a[ASSET_SCENE6_PICTURE] = make_orbit_backdrop(fonts);
    a[ASSET_SCENE7_BACKGROUND] = make_dusk(fonts);
    for (int i = 0; i < SCENE7_WORDS; i++)
        a[ASSET_SCENE7_WORD_1 + i] =
            make_word(fonts, ASSET_MAP[ASSET_SCENE7_WORD_1 + i].width, words[i]);
    a[ASSET_SCENE5_STRIP] = make_greetings(fonts);
    a[ASSET_SCENE8_SCROLLER] = make_credits(fonts);
    fonts_close(fonts);
    return Result::success();
}
