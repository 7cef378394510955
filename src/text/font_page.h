// Font pages: the large RGBA images every font packs its glyphs into, uploaded as
// textures when drawing (text_quads.cpp).
#pragma once

#include <vector>

#include "font.h"
#include "render_types.h"

struct Font_Page {
    Texture texture;                 // empty until the first draw that uses the page
    Bitmap *bitmap_data = nullptr;   // font_page_width x font_page_height, RGBA8
    s16 line_cursor_y = 0;           // first row below the last shelf
    std::vector<Font_Line *> lines;  // allocated from line_pool
    Pool line_pool;
    s64 glyph_count = 0;             // glyphs of live fonts placed on the page
    bool dirty = false;              // glyphs copied in since the last upload

    Font_Page() = default;
    Font_Page(const Font_Page &) = delete;
    Font_Page &operator=(const Font_Page &) = delete;
    ~Font_Page() { pool_release(&line_pool); }
};
