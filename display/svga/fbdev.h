// The framebuffer side of the console graphics library: the device's geometry, whether mode 54
// fits it, and the scan-out that shows the mode's 320x240 memory on it, scaled by the largest
// whole factor that fits and centred on black.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::uint32_t MODE_W = 320;
constexpr std::uint32_t MODE_H = 240;
constexpr std::size_t MODE_BYTES = MODE_W * MODE_H * 4;

// What the library needs to know of a framebuffer.
struct FbGeometry {
    std::uint32_t width_px; // visible area
    std::uint32_t height_px;
    std::uint32_t bits_per_pixel;
    std::uint32_t line_bytes;                            // from one row to the next
    std::uint32_t red_offset, green_offset, blue_offset; // bit positions in a pixel
    std::uint32_t red_length, green_length, blue_length; // bits per channel
    std::size_t visible_offset_bytes;                    // first byte of the visible area (panning)
    std::size_t memory_bytes;                            // size to map
};

// Geometry of an open framebuffer device through its ioctls; false when fd is not one.
[[nodiscard]] bool fb_query_geometry(int fd, FbGeometry* g);

// Geometry from "WIDTHxHEIGHTxBITS[,LINE_BYTES]" (the test stand-in's, see vga.h); false when
// the text does not parse, a field is 0, or the sizes overflow.
[[nodiscard]] bool fb_parse_test_geometry(const char* text, FbGeometry* g);

// Mode 54 needs 320x240 visible pixels of 32 bits with 8-bit red, green and blue channels on
// whole bytes (the scan-out moves bytes; 16 and 24-bit framebuffers are refused).
[[nodiscard]] bool fb_fits_mode54(const FbGeometry& g);

// Where the scan-out puts the picture: scale factor and top-left corner on the framebuffer.
struct ScanoutPlan {
    std::uint32_t scale;
    std::uint32_t left_px;
    std::uint32_t top_px;
    bool pixel_layout; // red 16, green 8, blue 0: a masked copy, no channel moves
};

// The plan for a framebuffer that fits mode 54.
ScanoutPlan fb_plan_scanout(const FbGeometry& g);

// Blackens the whole visible area.
void fb_clear(std::uint8_t* fb_memory, const FbGeometry& g);

// Draws the mode's memory (320x240 words, Pixel layout, key byte ignored as a card's mode
// ignores it) into the picture area of the plan. row is scratch of width_px words. The
// borders are left as they are: fb_clear blackens them when the mode is set.
void fb_scan_out(const std::uint32_t* mode_memory, std::uint8_t* fb_memory, const FbGeometry& g,
                 const ScanoutPlan& plan, std::uint32_t* row);
