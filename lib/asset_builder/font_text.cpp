// FreeType text setting for the asset builder: one library, four DejaVu faces, kerning from the
// font's kern table, light hinting (keeps letter shapes, sharpens rows) and 8-bit antialiasing.
#include "lib/asset_builder/font_text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <string>

struct FontSet {
    FT_Library library;
    FT_Face faces[FACE_COUNT];
};

static const char* const FACE_FILES[FACE_COUNT] = {
    "DejaVuSans.ttf",
    "DejaVuSans-Bold.ttf",
    "DejaVuSansCondensed-Bold.ttf",
    "DejaVuSerif-Bold.ttf",
};

Coverage coverage_make(int width, int height) {
    Coverage c;
    c.width = width;
    c.height = height;
    c.ink.assign(static_cast<std::size_t>(width) * height, 0);
    return c;
}

Result fonts_open(const char* font_dir, FontSet** opened) {
    FontSet* fonts = new FontSet{};
    if (FT_Init_FreeType(&fonts->library) != 0) {
        delete fonts;
        return Result::fail("Unable to start FreeType");
    }
    for (int i = 0; i < FACE_COUNT; i++) {
        std::string path = std::string(font_dir) + "/" + FACE_FILES[i];
        if (FT_New_Face(fonts->library, path.c_str(), 0, &fonts->faces[i]) != 0) {
            fonts->faces[i] = nullptr;
            fonts_close(fonts);
            return Result::fail("Unable to load font " + path +
                                " (Debian package fonts-dejavu-core)");
        }
    }
    *opened = fonts;
    return Result::success();
}

void fonts_close(FontSet* fonts) {
    for (int i = 0; i < FACE_COUNT; i++)
        if (fonts->faces[i])
            FT_Done_Face(fonts->faces[i]);
    FT_Done_FreeType(fonts->library);
    delete fonts;
}

// Next code point of a UTF-8 string; malformed bytes stand for themselves.
static std::uint32_t next_code_point(const char** text) {
    const auto* s = reinterpret_cast<const unsigned char*>(*text);
    std::uint32_t c = s[0];
    int extra = 0;
    if (c >= 0xF0 && c < 0xF8) {
        c &= 0x07;
        extra = 3;
    } else if (c >= 0xE0) {
        c &= 0x0F;
        extra = 2;
    } else if (c >= 0xC0) {
        c &= 0x1F;
        extra = 1;
    }
    int used = 1;
    for (int i = 1; i <= extra; i++) {
        if ((s[i] & 0xC0) != 0x80) {
            c = s[0];
            used = 1;
            break;
        }
        c = c << 6 | (s[i] & 0x3F);
        used = i + 1;
    }
    *text += used;
    return c;
}

// Walks the glyphs of text: for each, the glyph slot is rendered and visit gets its bitmap
// origin in pixels relative to the pen start and baseline.
template <typename Visit>
static void walk_glyphs(FontSet* fonts, FontFace face_id, int size_px, const char* text,
                        Visit visit) {
    FT_Face face = fonts->faces[face_id];
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size_px));
    long pen_26_6 = 0;
    FT_UInt previous = 0;
    while (*text) {
        FT_UInt glyph = FT_Get_Char_Index(face, next_code_point(&text));
        if (previous && glyph && FT_HAS_KERNING(face)) {
            FT_Vector kern;
            if (FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &kern) == 0)
                pen_26_6 += kern.x;
        }
        if (FT_Load_Glyph(face, glyph, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) != 0)
            continue;
        FT_GlyphSlot slot = face->glyph;
        // Pens are rounded to whole pixels so the same string always sets the same bitmap.
        int pen_px = static_cast<int>((pen_26_6 + 32) >> 6);
        visit(slot->bitmap, pen_px + slot->bitmap_left, -slot->bitmap_top);
        pen_26_6 += slot->advance.x;
        previous = glyph;
    }
}

InkBox text_measure(FontSet* fonts, FontFace face, int size_px, const char* text) {
    InkBox box = {0, 0, 0, 0};
    bool any = false;
    walk_glyphs(fonts, face, size_px, text, [&](const FT_Bitmap& bitmap, int left, int top) {
        if (bitmap.width == 0 || bitmap.rows == 0)
            return;
        int x1 = left + static_cast<int>(bitmap.width);
        int y1 = top + static_cast<int>(bitmap.rows);
        if (!any) {
            box = {left, top, x1, y1};
            any = true;
            return;
        }
        box.x0 = left < box.x0 ? left : box.x0;
        box.y0 = top < box.y0 ? top : box.y0;
        box.x1 = x1 > box.x1 ? x1 : box.x1;
        box.y1 = y1 > box.y1 ? y1 : box.y1;
    });
    return box;
}

void text_draw(Coverage* canvas, FontSet* fonts, FontFace face, int size_px, int x, int baseline,
               const char* text) {
    walk_glyphs(fonts, face, size_px, text, [&](const FT_Bitmap& bitmap, int left, int top) {
        for (unsigned r = 0; r < bitmap.rows; r++) {
            int y = baseline + top + static_cast<int>(r);
            if (y < 0 || y >= canvas->height)
                continue;
            const unsigned char* src = bitmap.buffer + static_cast<long>(r) * bitmap.pitch;
            std::uint8_t* dst = canvas->ink.data() + static_cast<std::size_t>(y) * canvas->width;
            for (unsigned c = 0; c < bitmap.width; c++) {
                int px = x + left + static_cast<int>(c);
                if (px < 0 || px >= canvas->width)
                    continue;
                dst[px] = src[c] > dst[px] ? src[c] : dst[px];
            }
        }
    });
}

int text_fit_size(FontSet* fonts, FontFace face, const char* text, int max_w, int max_h,
                  int max_size_px) {
    for (int size = max_size_px; size > 6; size--) {
        InkBox b = text_measure(fonts, face, size, text);
        if (b.x1 - b.x0 <= max_w && b.y1 - b.y0 <= max_h)
            return size;
    }
    return 6;
}

void text_draw_centred(Coverage* canvas, FontSet* fonts, FontFace face, int size_px, int cx, int cy,
                       const char* text) {
    InkBox b = text_measure(fonts, face, size_px, text);
    int x = cx - (b.x0 + b.x1) / 2;
    int baseline = cy - (b.y0 + b.y1) / 2;
    text_draw(canvas, fonts, face, size_px, x, baseline, text);
}

void text_draw_centred_on_baseline(Coverage* canvas, FontSet* fonts, FontFace face, int size_px,
                                   int cx, int baseline, const char* text) {
    InkBox b = text_measure(fonts, face, size_px, text);
    text_draw(canvas, fonts, face, size_px, cx - (b.x0 + b.x1) / 2, baseline, text);
}
