// The overlay's text is set at one font pixel per texture pixel into a small texture, which is
// then drawn over the picture at a whole multiple: cheap to redo every frame, sharp at any size.
#include "lib/play/overlay.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/timeline.h"
#include "music/sample_clock.h"

namespace {

// 5x7 glyphs for ' ' to '~', one byte per column, bit 0 the top row.
constexpr std::uint8_t FONT[95][5] = {
    {0x00, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x5F, 0x00, 0x00}, {0x00, 0x07, 0x00, 0x07, 0x00},
    {0x14, 0x7F, 0x14, 0x7F, 0x14}, {0x24, 0x2A, 0x7F, 0x2A, 0x12}, {0x23, 0x13, 0x08, 0x64, 0x62},
    {0x36, 0x49, 0x55, 0x22, 0x50}, {0x00, 0x05, 0x03, 0x00, 0x00}, {0x00, 0x1C, 0x22, 0x41, 0x00},
    {0x00, 0x41, 0x22, 0x1C, 0x00}, {0x08, 0x2A, 0x1C, 0x2A, 0x08}, {0x08, 0x08, 0x3E, 0x08, 0x08},
    {0x00, 0x50, 0x30, 0x00, 0x00}, {0x08, 0x08, 0x08, 0x08, 0x08}, {0x00, 0x60, 0x60, 0x00, 0x00},
    {0x20, 0x10, 0x08, 0x04, 0x02}, {0x3E, 0x51, 0x49, 0x45, 0x3E}, {0x00, 0x42, 0x7F, 0x40, 0x00},
    {0x42, 0x61, 0x51, 0x49, 0x46}, {0x21, 0x41, 0x45, 0x4B, 0x31}, {0x18, 0x14, 0x12, 0x7F, 0x10},
    {0x27, 0x45, 0x45, 0x45, 0x39}, {0x3C, 0x4A, 0x49, 0x49, 0x30}, {0x01, 0x71, 0x09, 0x05, 0x03},
    {0x36, 0x49, 0x49, 0x49, 0x36}, {0x06, 0x49, 0x49, 0x29, 0x1E}, {0x00, 0x36, 0x36, 0x00, 0x00},
    {0x00, 0x56, 0x36, 0x00, 0x00}, {0x08, 0x14, 0x22, 0x41, 0x00}, {0x14, 0x14, 0x14, 0x14, 0x14},
    {0x00, 0x41, 0x22, 0x14, 0x08}, {0x02, 0x01, 0x51, 0x09, 0x06}, {0x32, 0x49, 0x79, 0x41, 0x3E},
    {0x7E, 0x11, 0x11, 0x11, 0x7E}, {0x7F, 0x49, 0x49, 0x49, 0x36}, {0x3E, 0x41, 0x41, 0x41, 0x22},
    {0x7F, 0x41, 0x41, 0x22, 0x1C}, {0x7F, 0x49, 0x49, 0x49, 0x41}, {0x7F, 0x09, 0x09, 0x01, 0x01},
    {0x3E, 0x41, 0x41, 0x51, 0x32}, {0x7F, 0x08, 0x08, 0x08, 0x7F}, {0x00, 0x41, 0x7F, 0x41, 0x00},
    {0x20, 0x40, 0x41, 0x3F, 0x01}, {0x7F, 0x08, 0x14, 0x22, 0x41}, {0x7F, 0x40, 0x40, 0x40, 0x40},
    {0x7F, 0x02, 0x04, 0x02, 0x7F}, {0x7F, 0x04, 0x08, 0x10, 0x7F}, {0x3E, 0x41, 0x41, 0x41, 0x3E},
    {0x7F, 0x09, 0x09, 0x09, 0x06}, {0x3E, 0x41, 0x51, 0x21, 0x5E}, {0x7F, 0x09, 0x19, 0x29, 0x46},
    {0x46, 0x49, 0x49, 0x49, 0x31}, {0x01, 0x01, 0x7F, 0x01, 0x01}, {0x3F, 0x40, 0x40, 0x40, 0x3F},
    {0x1F, 0x20, 0x40, 0x20, 0x1F}, {0x7F, 0x20, 0x18, 0x20, 0x7F}, {0x63, 0x14, 0x08, 0x14, 0x63},
    {0x03, 0x04, 0x78, 0x04, 0x03}, {0x61, 0x51, 0x49, 0x45, 0x43}, {0x00, 0x7F, 0x41, 0x41, 0x00},
    {0x02, 0x04, 0x08, 0x10, 0x20}, {0x00, 0x41, 0x41, 0x7F, 0x00}, {0x04, 0x02, 0x01, 0x02, 0x04},
    {0x40, 0x40, 0x40, 0x40, 0x40}, {0x00, 0x01, 0x02, 0x04, 0x00}, {0x20, 0x54, 0x54, 0x54, 0x78},
    {0x7F, 0x48, 0x44, 0x44, 0x38}, {0x38, 0x44, 0x44, 0x44, 0x20}, {0x38, 0x44, 0x44, 0x48, 0x7F},
    {0x38, 0x54, 0x54, 0x54, 0x18}, {0x08, 0x7E, 0x09, 0x01, 0x02}, {0x0C, 0x52, 0x52, 0x52, 0x3E},
    {0x7F, 0x08, 0x04, 0x04, 0x78}, {0x00, 0x44, 0x7D, 0x40, 0x00}, {0x20, 0x40, 0x44, 0x3D, 0x00},
    {0x7F, 0x10, 0x28, 0x44, 0x00}, {0x00, 0x41, 0x7F, 0x40, 0x00}, {0x7C, 0x04, 0x18, 0x04, 0x78},
    {0x7C, 0x08, 0x04, 0x04, 0x78}, {0x38, 0x44, 0x44, 0x44, 0x38}, {0x7C, 0x14, 0x14, 0x14, 0x08},
    {0x08, 0x14, 0x14, 0x18, 0x7C}, {0x7C, 0x08, 0x04, 0x04, 0x08}, {0x48, 0x54, 0x54, 0x54, 0x20},
    {0x04, 0x3F, 0x44, 0x40, 0x20}, {0x3C, 0x40, 0x40, 0x20, 0x7C}, {0x1C, 0x20, 0x40, 0x20, 0x1C},
    {0x3C, 0x40, 0x30, 0x40, 0x3C}, {0x44, 0x28, 0x10, 0x28, 0x44}, {0x0C, 0x50, 0x50, 0x50, 0x3C},
    {0x44, 0x64, 0x54, 0x4C, 0x44}, {0x00, 0x08, 0x36, 0x41, 0x00}, {0x00, 0x00, 0x7F, 0x00, 0x00},
    {0x00, 0x41, 0x36, 0x08, 0x00}, {0x08, 0x04, 0x08, 0x10, 0x08},
};

// The texture holds this many characters a line and lines; notes wrap onto as many lines as
// they take, and lines beyond the last are left out.
constexpr int OVERLAY_COLUMNS = 80;
constexpr int OVERLAY_LINES = 24;
constexpr int TEX_W = OVERLAY_COLUMNS * GLYPH_W + 4;
constexpr int TEX_H = OVERLAY_LINES * GLYPH_H + 4;

constexpr std::uint32_t TEXT = 0xFFFFFFFFu;
constexpr std::uint32_t NOTE = 0xFFFFE070u;
constexpr std::uint32_t GROUND = 0xB0000000u; // translucent black behind the text

std::uint32_t overlay_pixels[TEX_W * TEX_H];

} // namespace

const int OVERLAY_TEXTURE_W = TEX_W;
const int OVERLAY_TEXTURE_H = TEX_H;

void player_note(Player* p, const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::uint64_t now = monotonic_ns();
    std::erase_if(p->notes, [now](const Player::Note& n) { return n.until_ns <= now; });
    p->notes.push_back({line, now + NOTE_NS});
}

// A note cut into lines of at most `columns`, at spaces where there is one.
static std::vector<std::string> wrap_note(const std::string& text, std::size_t columns) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = at + columns;
        if (end >= text.size()) {
            lines.push_back(text.substr(at));
            break;
        }
        std::size_t space = text.rfind(' ', end);
        if (space != std::string::npos && space > at)
            end = space;
        lines.push_back(text.substr(at, end - at));
        at = end;
        while (at < text.size() && text[at] == ' ')
            at++;
    }
    return lines;
}

int overlay_text(std::uint32_t* pixels, int stride, int rows, int x, int y, const char* text,
                 std::uint32_t colour) {
    int x0 = x;
    for (const char* c = text; *c; c++, x += GLYPH_W) {
        if (*c < ' ' || *c > '~' || x + GLYPH_W > stride)
            continue;
        const std::uint8_t* glyph = FONT[*c - ' '];
        for (int col = 0; col < 5; col++)
            for (int row = 0; row < 7; row++)
                if (glyph[col] >> row & 1 && y + row < rows)
                    pixels[(y + row) * stride + x + col] = colour;
    }
    return x - x0;
}

void overlay_draw(Player* p, int w, int h, SDL_Rect picture) {
    char lines[OVERLAY_LINES][OVERLAY_COLUMNS + 1];
    int n = 0;
    int scene = p->show.scene_index < SCENE_END ? p->show.scene_index : SCENE_END - 1;
    std::snprintf(lines[n++], sizeof lines[0], "%s", p->title.c_str());
    int elapsed = static_cast<int>((p->sngtime_before + p->heard.sngtime) / 1024);
    int total = p->show_ticks / TICKS_PER_S;
    if (p->show_ticks >= 0)
        std::snprintf(lines[n++], sizeof lines[0], "%d:%02d of %d:%02d%s", elapsed / 60,
                      elapsed % 60, total / 60, total % 60,
                      p->fitted ? "  fitted to the song" : "");
    else
        std::snprintf(lines[n++], sizeof lines[0], "%d:%02d", elapsed / 60, elapsed % 60);
    std::snprintf(lines[n++], sizeof lines[0], "position %d  row %u  tick %d%s", p->shown_sngpos,
                  p->shown_patpos, p->shown_tick,
                  p->paused ? (p->stepped ? "  paused, stepping" : "  paused") : "");
    if (p->fitted)
        std::snprintf(lines[n++], sizeof lines[0], "the show at position %d  row %u",
                      p->shown_reading.sngpos, p->shown_reading.patpos);
    std::snprintf(lines[n++], sizeof lines[0], "Scene %d, %s", scene + 1, SCENE_NAMES[scene]);
    std::uint32_t output_frames, queued_frames;
    playback_latency(&output_frames, &queued_frames);
    std::snprintf(lines[n++], sizeof lines[0], "%u fps  sound latency %.1f ms", p->fps,
                  1000.0 * output_frames / MIX_RATE_HZ);
    std::snprintf(lines[n++], sizeof lines[0], "%s (%.2fx)",
                  screen_whole_pixels(&p->screen) ? "whole pixels" : "fill",
                  static_cast<double>(picture.w) / FRAME_W);
    if (p->loop_last >= 0)
        std::snprintf(lines[n++], sizeof lines[0], "loop positions %d-%d", p->loop_first,
                      p->loop_last);
    // Without the module's tick table (a dropped module, or one the silent mix refused), a jump
    // or a loop starts its scene afresh: the frames are not the uninterrupted show's.
    if (p->exact.ticks.empty())
        std::snprintf(lines[n++], sizeof lines[0], "not exact: jumps start scenes afresh");
    // Every note still due, whole, on as many lines as it takes.
    std::uint64_t now = monotonic_ns();
    std::vector<std::string> note_lines;
    for (const Player::Note& note : p->notes)
        if (now < note.until_ns)
            for (std::string& line : wrap_note(note.line, OVERLAY_COLUMNS))
                note_lines.push_back(std::move(line));
    if (note_lines.size() > static_cast<std::size_t>(OVERLAY_LINES - n))
        note_lines.resize(static_cast<std::size_t>(OVERLAY_LINES - n));

    int widest = 0;
    for (int i = 0; i < n; i++)
        widest = std::max(widest, static_cast<int>(std::strlen(lines[i])));
    for (const std::string& line : note_lines)
        widest = std::max(widest, static_cast<int>(line.size()));
    int used_w = widest * GLYPH_W + 4;
    int used_h = (n + static_cast<int>(note_lines.size())) * GLYPH_H + 3;
    for (int y = 0; y < used_h; y++)
        for (int x = 0; x < used_w; x++)
            overlay_pixels[y * TEX_W + x] = GROUND;
    for (int i = 0; i < n; i++)
        overlay_text(overlay_pixels, TEX_W, TEX_H, 2, 2 + i * GLYPH_H, lines[i], TEXT);
    for (std::size_t i = 0; i < note_lines.size(); i++)
        overlay_text(overlay_pixels, TEX_W, TEX_H, 2, 2 + (n + static_cast<int>(i)) * GLYPH_H,
                     note_lines[i].c_str(), NOTE);
    SDL_Rect source{0, 0, used_w, used_h};
    SDL_UpdateTexture(p->screen.overlay, &source, overlay_pixels, TEX_W * sizeof(std::uint32_t));

    // Letters of 2 to 4 screen pixels a font pixel as the window grows, never wider than it.
    int scale = h / 240 < 2 ? 1 : h / 240 > 4 ? 4 : h / 240;
    while (scale > 1 && used_w * scale > w)
        scale--;
    SDL_Rect target{picture.x > 0 ? picture.x : 0, picture.y > 0 ? picture.y : 0, used_w * scale,
                    used_h * scale};
    SDL_RenderCopy(p->screen.renderer, p->screen.overlay, &source, &target);
}
