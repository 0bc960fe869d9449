// Drawing helpers of the asset builder. Everything here is plain arithmetic on the caller's
// buffers; the same inputs give the same bytes on every run.
#include "lib/asset_builder/paint.h"

#include <cmath>

Image image_make(int width, int height, Pixel fill) {
    Image im;
    im.width = width;
    im.height = height;
    im.pixels.assign(static_cast<std::size_t>(width) * height, fill);
    return im;
}

static std::uint32_t to_byte(double v) {
    if (v <= 0.0)
        return 0;
    if (v >= 255.0)
        return 255;
    return static_cast<std::uint32_t>(v + 0.5);
}

Pixel rgb(Rgb c, std::uint8_t key) {
    return static_cast<Pixel>(key) << 24 | to_byte(c.r) << 16 | to_byte(c.g) << 8 | to_byte(c.b);
}

Rgb rgb_of(Pixel p) {
    return {static_cast<double>((p >> 16) & 0xFF), static_cast<double>((p >> 8) & 0xFF),
            static_cast<double>(p & 0xFF)};
}

Rgb rgb_mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb rgb_scale(Rgb c, double k) { return {c.r * k, c.g * k, c.b * k}; }

Rgb palette_cyclic(const Rgb* stops, int count, double t) {
    t -= std::floor(t);
    double at = t * count;
    int i = static_cast<int>(at);
    if (i >= count)
        i = count - 1;
    double f = at - i;
    f = 0.5 - 0.5 * std::cos(f * 3.14159265358979323846);
    return rgb_mix(stops[i], stops[(i + 1) % count], f);
}

Coverage coverage_grow(const Coverage& c, double radius_px) {
    Coverage out = coverage_make(c.width, c.height);
    int r = static_cast<int>(std::ceil(radius_px));
    // The brush as a list of offsets; its rim is softened so that the grown edge keeps some of
    // the text's antialiasing where a pixel is only partly inside the brush.
    struct Tap {
        int dx, dy;
        int weight; // of 256
    };
    std::vector<Tap> taps;
    for (int dy = -r; dy <= r; dy++)
        for (int dx = -r; dx <= r; dx++) {
            double d = std::sqrt(static_cast<double>(dx * dx + dy * dy));
            double w = radius_px + 0.5 - d;
            if (w <= 0.0)
                continue;
            taps.push_back({dx, dy, w >= 1.0 ? 256 : static_cast<int>(w * 256.0)});
        }
    for (int y = 0; y < c.height; y++) {
        for (int x = 0; x < c.width; x++) {
            int best = 0;
            for (const Tap& t : taps) {
                int sx = x + t.dx;
                int sy = y + t.dy;
                if (sx < 0 || sy < 0 || sx >= c.width || sy >= c.height)
                    continue;
                int v = c.ink[static_cast<std::size_t>(sy) * c.width + sx] * t.weight >> 8;
                best = v > best ? v : best;
            }
            out.ink[static_cast<std::size_t>(y) * c.width + x] = static_cast<std::uint8_t>(best);
        }
    }
    return out;
}

// One box pass along rows (horizontal) or columns, with wrapping or clamped edges.
static void box_pass(const std::vector<int>& src, std::vector<int>* dst, int width, int height,
                     int radius, bool horizontal, bool wrap) {
    int length = horizontal ? width : height;
    int lines = horizontal ? height : width;
    int span = 2 * radius + 1;
    for (int line = 0; line < lines; line++) {
        for (int i = 0; i < length; i++) {
            int sum = 0;
            for (int k = -radius; k <= radius; k++) {
                int j = i + k;
                if (wrap)
                    j = ((j % length) + length) % length;
                else
                    j = j < 0 ? 0 : (j >= length ? length - 1 : j);
                int at = horizontal ? line * width + j : j * width + line;
                sum += src[at];
            }
            int at = horizontal ? line * width + i : i * width + line;
            (*dst)[at] = (sum + span / 2) / span;
        }
    }
}

Coverage coverage_blur(const Coverage& c, int radius_px, int passes, bool wrap) {
    std::vector<int> a(c.ink.begin(), c.ink.end());
    std::vector<int> b(a.size());
    for (int p = 0; p < passes; p++) {
        box_pass(a, &b, c.width, c.height, radius_px, true, wrap);
        box_pass(b, &a, c.width, c.height, radius_px, false, wrap);
    }
    Coverage out = coverage_make(c.width, c.height);
    for (std::size_t i = 0; i < a.size(); i++)
        out.ink[i] = static_cast<std::uint8_t>(a[i]);
    return out;
}

// Row y of a vertical gradient: top down to row y_top, bottom from row y_bottom on, mixed
// between; top throughout when the rows do not ascend.
static Rgb row_gradient(Rgb top, Rgb bottom, int y, int y_top, int y_bottom) {
    double t = y_bottom > y_top ? static_cast<double>(y - y_top) / (y_bottom - y_top) : 0.0;
    t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
    return rgb_mix(top, bottom, t);
}

void blend_coverage_gradient(Image* picture, const Coverage& c, Rgb top, Rgb bottom, int y_top,
                             int y_bottom) {
    for (int y = 0; y < picture->height; y++) {
        Rgb colour = row_gradient(top, bottom, y, y_top, y_bottom);
        for (int x = 0; x < picture->width; x++) {
            std::size_t i = static_cast<std::size_t>(y) * picture->width + x;
            std::uint8_t a = c.ink[i];
            if (a == 0)
                continue;
            Pixel old = picture->pixels[i];
            Rgb mixed = rgb_mix(rgb_of(old), colour, a / 255.0);
            picture->pixels[i] = rgb(mixed, static_cast<std::uint8_t>(old >> 24));
        }
    }
}

void blend_coverage(Image* picture, const Coverage& c, Rgb colour) {
    blend_coverage_gradient(picture, c, colour, colour, 0, 0);
}

void stamp_keyed_text(Image* picture, const Coverage& text, double outline_px, Rgb fill_top,
                      Rgb fill_bottom, int y_top, int y_bottom, Rgb outline) {
    Coverage grown = coverage_grow(text, outline_px);
    for (int y = 0; y < picture->height; y++) {
        Rgb fill = row_gradient(fill_top, fill_bottom, y, y_top, y_bottom);
        for (int x = 0; x < picture->width; x++) {
            std::size_t i = static_cast<std::size_t>(y) * picture->width + x;
            if (grown.ink[i] < 128)
                continue;
            picture->pixels[i] = rgb(rgb_mix(outline, fill, text.ink[i] / 255.0), 0xFF);
        }
    }
}
