// The per-pixel and per-frame operations the scenes are built from. All arithmetic is on
// unsigned 32-bit words, so every wrap the show relies on is defined behaviour.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/core.h"

// (x + 256*y) mod 65536: one 16-bit ring over the whole texture. x is not wrapped on its own, so
// x >= 256 runs into the next row; negative sums wrap through two's complement.
static inline std::uint32_t tex_index(std::int32_t x, std::int32_t y) {
    return (static_cast<std::uint32_t>(x) + (static_cast<std::uint32_t>(y) << 8)) & 0xFFFFu;
}

// The per-channel clamp of the saturating operations.
static inline std::uint32_t channel_min(std::uint32_t v, std::uint32_t cap) {
    return v < cap ? v : cap;
}

// Whether the FRAME_W texels from ring position start (0..65535) lie in one run of the texture,
// clear of the wrap from 65,535 to 0: a row that does may be read as texture + start.
static inline bool row_in_ring(std::uint32_t start) { return start <= TEX_PIXELS - FRAME_W; }

// Ticks since last as a signed count. The difference is taken in 32 bits so a counter that
// wrapped still gives the small positive count; a clock that went back gives a negative one.
static inline std::int32_t ticks_since(std::int32_t now, std::int32_t last) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(now) -
                                     static_cast<std::uint32_t>(last));
}

// Per channel min(a + b, 255); the key byte is lost (0).
static inline Pixel add_saturate(Pixel a, Pixel b) {
    std::uint32_t r = channel_min(((a >> 16) & 0xFF) + ((b >> 16) & 0xFF), 255);
    std::uint32_t g = channel_min(((a >> 8) & 0xFF) + ((b >> 8) & 0xFF), 255);
    std::uint32_t bl = channel_min((a & 0xFF) + (b & 0xFF), 255);
    return (r << 16) | (g << 8) | bl;
}

// add_saturate computed on the word: blue and red are summed side by side in the even halves,
// green in the odd one, and a field that carried past 255 is filled with ones. Equal to
// add_saturate for any two words, but only shifts, adds and masks, which SSE2 does four at a
// time (add_saturate's per-channel minimum needs a compare-and-blend there). The scenes run this
// one; PixelOps.FastKernelsEqualThePlainOperations holds it to add_saturate.
static inline Pixel add_saturate_swar(Pixel a, Pixel b) {
    std::uint32_t even = (a & 0x00FF00FFu) + (b & 0x00FF00FFu);
    std::uint32_t odd = (a & 0x0000FF00u) + (b & 0x0000FF00u);
    std::uint32_t even_over = (even >> 8) & 0x00010001u;
    std::uint32_t odd_over = (odd >> 16) & 1u;
    even = (even | ((even_over << 8) - even_over)) & 0x00FF00FFu;
    odd = (odd | (((odd_over << 8) - odd_over) << 8)) & 0x0000FF00u;
    return even | odd;
}

// The plain 32-bit sum: carries run from blue into green, green into red, red into the key byte.
static inline Pixel add_wrap(Pixel a, Pixel b) { return a + b; }

// Per channel max(c - amount, 0) for amount 0..255; key byte 0. Compared before subtracting, so
// nothing goes through signed arithmetic whatever the amount.
static inline Pixel fade_down(Pixel p, std::uint32_t amount) {
    std::uint32_t r = (p >> 16) & 0xFF;
    std::uint32_t g = (p >> 8) & 0xFF;
    std::uint32_t b = p & 0xFF;
    r = r > amount ? r - amount : 0;
    g = g > amount ? g - amount : 0;
    b = b > amount ? b - amount : 0;
    return (r << 16) | (g << 8) | b;
}

// Per channel min(c + amount, 255) for amount 0..255; key byte 0.
static inline Pixel fade_up(Pixel p, std::uint32_t amount) {
    std::uint32_t r = channel_min(((p >> 16) & 0xFF) + amount, 255);
    std::uint32_t g = channel_min(((p >> 8) & 0xFF) + amount, 255);
    std::uint32_t b = channel_min((p & 0xFF) + amount, 255);
    return (r << 16) | (g << 8) | b;
}

// fade_up as add_saturate_swar of amount in all three channels, for amount 0..255; the scenes
// run this one (PixelOps.FastKernelsEqualThePlainOperations holds it to fade_up).
static inline Pixel fade_up_swar(Pixel p, std::uint32_t amount) {
    return add_saturate_swar(p, amount * 0x00010101u);
}

// Writes value only where it passes the key (passes_key).
static inline void key_store(Pixel value, Pixel* dest, Pixel threshold) {
    *dest = passes_key(value, threshold) ? value : *dest;
}

// key_store of picture[i] into frame[i] for every frame word, in ascending order; no offset.
static inline void overlay_keyed(Pixel* __restrict frame, const Pixel* __restrict picture,
                                 Pixel threshold) {
    for (int i = 0; i < FRAME_PIXELS; i++)
        key_store(picture[i], &frame[i], threshold);
}

// All 76,800 words of the frame set to 0.
static inline void clear_frame(Pixel* frame) { std::memset(frame, 0, FRAME_BYTES); }

// frame[i] = source[i] for all 76,800 words; the two never overlap.
static inline void copy_frame(const Pixel* __restrict source, Pixel* __restrict frame) {
    std::memcpy(frame, source, FRAME_BYTES);
}

// Row r of the window (picture index r*src_stride + src_x) goes through key_store to frame row
// dest_y + r from column dest_x, width words per row. No clipping: every use keeps the window
// inside the frame and the picture.
static inline void blit_window_keyed(Pixel* __restrict frame, const Pixel* __restrict picture,
                                     int dest_x, int dest_y, int width, int rows, int src_stride,
                                     int src_x, Pixel threshold) {
    for (int r = 0; r < rows; r++) {
        const Pixel* src = picture + r * src_stride + src_x;
        Pixel* dst = frame + (dest_y + r) * FRAME_W + dest_x;
        for (int c = 0; c < width; c++)
            key_store(src[c], &dst[c], threshold);
    }
}

// down goes 0 -> 359, up goes 359 -> 0; one call per elapsed tick.
static inline void step_paths(std::int32_t* down, std::int32_t* up) {
    *down = *down < 1 ? PATH_LEN - 1 : *down - 1;
    *up = *up > PATH_LEN - 2 ? 0 : *up + 1;
}

// Turns the 256 used entries one place towards index 0; entry 255 takes the old entry 0.
static inline void rotate_wobble(std::int32_t* wobble) {
    std::int32_t first = wobble[0];
    std::memmove(wobble, wobble + 1, (WOBBLE_USED - 1) * sizeof(std::int32_t));
    wobble[WOBBLE_USED - 1] = first;
}

// steps calls of rotate_wobble in one: entry i takes the entry steps places on, round the
// 256-entry ring, so a long stall costs one pass over the table, not one per tick. The scenes
// run this one; PixelOps.FastKernelsEqualThePlainOperations holds it to rotate_wobble.
static inline void rotate_wobble_by(std::int32_t* wobble, std::uint32_t steps) {
    std::uint32_t r = steps % WOBBLE_USED;
    if (r == 0)
        return;
    std::int32_t turned[WOBBLE_USED];
    for (std::uint32_t i = 0; i < WOBBLE_USED; i++)
        turned[i] = wobble[(i + r) % WOBBLE_USED];
    std::memcpy(wobble, turned, sizeof(turned));
}
