// The framebuffer side of the console graphics library: geometry from the device (or from the
// test stand-in's text), mode 54's fit, and the scaling scan-out.
#include "display/svga/fbdev.h"

#include <cstdlib>
#include <cstring>

#include <linux/fb.h>
#include <sys/ioctl.h>

bool fb_query_geometry(int fd, FbGeometry* g) {
    fb_var_screeninfo var{};
    fb_fix_screeninfo fix{};
    if (ioctl(fd, FBIOGET_VSCREENINFO, &var) != 0 || ioctl(fd, FBIOGET_FSCREENINFO, &fix) != 0)
        return false;
    // Only packed true-colour pixels are laid out as the channel offsets say.
    if (fix.type != FB_TYPE_PACKED_PIXELS ||
        (fix.visual != FB_VISUAL_TRUECOLOR && fix.visual != FB_VISUAL_DIRECTCOLOR))
        var.bits_per_pixel = 0;
    *g = FbGeometry{};
    g->width_px = var.xres;
    g->height_px = var.yres;
    g->bits_per_pixel = var.bits_per_pixel;
    g->line_bytes = fix.line_length;
    g->red_offset = var.red.offset;
    g->green_offset = var.green.offset;
    g->blue_offset = var.blue.offset;
    g->red_length = var.red.length;
    g->green_length = var.green.length;
    g->blue_length = var.blue.length;
    g->visible_offset_bytes = std::size_t{var.yoffset} * fix.line_length +
                              std::size_t{var.xoffset} * (var.bits_per_pixel / 8);
    g->memory_bytes = fix.smem_len;
    return true;
}

// Reads a decimal field of 1..65535 followed by the expected separator (0 for the end).
static bool parse_field(const char** text, char separator, std::uint32_t* value) {
    const char* p = *text;
    std::uint32_t v = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9' && digits < 6) {
        v = v * 10 + static_cast<std::uint32_t>(*p - '0');
        p++;
        digits++;
    }
    if (digits == 0 || v == 0 || v > 65535 || *p != separator)
        return false;
    *value = v;
    *text = separator ? p + 1 : p;
    return true;
}

bool fb_parse_test_geometry(const char* text, FbGeometry* g) {
    if (!text)
        return false;
    std::uint32_t width = 0, height = 0, bits = 0, line = 0;
    const char* p = text;
    if (!parse_field(&p, 'x', &width) || !parse_field(&p, 'x', &height))
        return false;
    if (std::strchr(p, ',')) {
        if (!parse_field(&p, ',', &bits) || !parse_field(&p, 0, &line))
            return false;
    } else {
        if (!parse_field(&p, 0, &bits))
            return false;
        line = (width * bits + 7) / 8; // each field is below 2^16: no overflow
    }
    *g = FbGeometry{};
    g->width_px = width;
    g->height_px = height;
    g->bits_per_pixel = bits;
    g->line_bytes = line;
    if (bits == 32) {
        g->red_offset = 16;
        g->green_offset = 8;
        g->blue_offset = 0;
        g->red_length = g->green_length = g->blue_length = 8;
    }
    g->visible_offset_bytes = 0;
    g->memory_bytes = std::size_t{line} * height;
    return true;
}

static bool byte_channel(std::uint32_t offset, std::uint32_t length) {
    return length == 8 && offset % 8 == 0 && offset <= 24;
}

bool fb_fits_mode54(const FbGeometry& g) {
    if (g.bits_per_pixel != 32 || g.width_px < MODE_W || g.height_px < MODE_H)
        return false;
    if (!byte_channel(g.red_offset, g.red_length) ||
        !byte_channel(g.green_offset, g.green_length) ||
        !byte_channel(g.blue_offset, g.blue_length))
        return false;
    // The visible area must lie inside the memory the device maps.
    if (g.line_bytes < g.width_px * 4u)
        return false;
    std::size_t needed = g.visible_offset_bytes + std::size_t{g.line_bytes} * (g.height_px - 1) +
                         std::size_t{g.width_px} * 4;
    return needed <= g.memory_bytes;
}

ScanoutPlan fb_plan_scanout(const FbGeometry& g) {
    ScanoutPlan plan{};
    std::uint32_t scale_x = g.width_px / MODE_W;
    std::uint32_t scale_y = g.height_px / MODE_H;
    plan.scale = scale_x < scale_y ? scale_x : scale_y;
    // Truncating halves: an odd border puts the extra pixel right of and below the picture.
    plan.left_px = (g.width_px - MODE_W * plan.scale) / 2;
    plan.top_px = (g.height_px - MODE_H * plan.scale) / 2;
    plan.pixel_layout = g.red_offset == 16 && g.green_offset == 8 && g.blue_offset == 0;
    return plan;
}

void fb_clear(std::uint8_t* fb_memory, const FbGeometry& g) {
    std::uint8_t* line = fb_memory + g.visible_offset_bytes;
    for (std::uint32_t y = 0; y < g.height_px; y++, line += g.line_bytes)
        std::memset(line, 0, std::size_t{g.width_px} * 4);
}

// One source row widened by the scale factor into row, in the framebuffer's channel layout.
static void widen_row_plain(const std::uint32_t* __restrict src, std::uint32_t* __restrict row,
                            std::uint32_t scale) {
    for (std::uint32_t x = 0; x < MODE_W; x++) {
        std::uint32_t p = src[x] & 0x00FFFFFFu;
        for (std::uint32_t i = 0; i < scale; i++)
            *row++ = p;
    }
}

static void widen_row_moved(const std::uint32_t* __restrict src, std::uint32_t* __restrict row,
                            std::uint32_t scale, const FbGeometry& g) {
    for (std::uint32_t x = 0; x < MODE_W; x++) {
        std::uint32_t s = src[x];
        std::uint32_t p = ((s >> 16) & 0xFFu) << g.red_offset |
                          ((s >> 8) & 0xFFu) << g.green_offset | (s & 0xFFu) << g.blue_offset;
        for (std::uint32_t i = 0; i < scale; i++)
            *row++ = p;
    }
}

void fb_scan_out(const std::uint32_t* mode_memory, std::uint8_t* fb_memory, const FbGeometry& g,
                 const ScanoutPlan& plan, std::uint32_t* row) {
    std::size_t row_bytes = std::size_t{MODE_W} * plan.scale * 4;
    std::uint8_t* line = fb_memory + g.visible_offset_bytes +
                         std::size_t{plan.top_px} * g.line_bytes + std::size_t{plan.left_px} * 4;
    for (std::uint32_t y = 0; y < MODE_H; y++) {
        // Widen once per source row, then copy it to each of its scale lines: video memory is
        // written in whole lines and never read back.
        if (plan.pixel_layout)
            widen_row_plain(mode_memory + y * MODE_W, row, plan.scale);
        else
            widen_row_moved(mode_memory + y * MODE_W, row, plan.scale, g);
        for (std::uint32_t i = 0; i < plan.scale; i++, line += g.line_bytes)
            std::memcpy(line, row, row_bytes);
    }
}
