// Packing rendered glyphs into font pages: shelves of similar height, pages shared by all
// fonts. Pages live as long as the process; a page whose glyphs all went with their fonts
// is packed again from the top.
#include "font_page.h"

#include "assertions.h"
#include "bitmap.h"
#include "log.h"

// Start of a bitmap row counted from the top, whichever way the rows flow in memory
// (a negative pitch stores the bottom row first).
static const u8 *source_row(const FT_Bitmap &bitmap, s64 row_from_top) {
    s64 pitch = bitmap.pitch;
    if (pitch >= 0) return bitmap.buffer + row_from_top * pitch;
    return bitmap.buffer + ((s64)bitmap.rows - 1 - row_from_top) * -pitch;
}

void copy_glyph_to_bitmap(FT_Face face, Glyph_Data *glyph) {
    FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap &bitmap = slot->bitmap;

    // Outlines render to 8-bit coverage; a font from the working directory may also bring
    // 1-bit bitmaps (read as full or no coverage) or formats that are no coverage at all,
    // whose rows are not width bytes long: those become empty glyphs.
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.pixel_mode != FT_PIXEL_MODE_MONO &&
        bitmap.rows != 0 && bitmap.width != 0) {
        log_error("Glyph % comes in FreeType pixel mode %, which is not coverage; it is left empty.",
                  glyph->glyph_index_within_font, (s32)bitmap.pixel_mode);
        return;
    }

    glyph->width = bitmap.width;
    glyph->height = bitmap.rows;
    glyph->advance = (s16)(slot->advance.x >> 6);
    glyph->offset_x = (s16)slot->bitmap_left;
    glyph->offset_y = (s16)slot->bitmap_top;
    glyph->ascent = (s16)(slot->metrics.horiBearingY >> 6);

    Font_Line *line = get_font_line(glyph->width, glyph->height);
    if (!line) {
        glyph->x0 = 0;
        glyph->y0 = 0;
        glyph->page = nullptr;
        log_line("font_line is null!\n");
        return;
    }

    Font_Page *page = line->page;
    glyph->x0 = line->bitmap_cursor_x;
    glyph->y0 = line->bitmap_cursor_y;
    glyph->page = page;

    // Rows go in bottom-up: the page row y0 holds the glyph's bottom row.
    Bitmap *target = page->bitmap_data;
    bool mono = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
    for (s64 i = 0; i < (s64)bitmap.rows; i++) {
        const u8 *source = source_row(bitmap, (s64)bitmap.rows - 1 - i);
        u8 *destination = target->data.data + (glyph->y0 + i) * (s64)target->stride + glyph->x0 * 4;
        for (s64 j = 0; j < (s64)bitmap.width; j++) {
            u8 coverage = mono ? ((source[j >> 3] >> (7 - (j & 7))) & 1 ? 255 : 0) : source[j];
            destination[4 * j + 0] = 255;
            destination[4 * j + 1] = 255;
            destination[4 * j + 2] = 255;
            destination[4 * j + 3] = coverage;
        }
    }

    line->bitmap_cursor_x = (s16)(line->bitmap_cursor_x + glyph->width);
    page->glyph_count += 1;
    page->dirty = true;
}

void reset_font_page(Font_Page *page) {
    // The pixels stay: every new glyph overwrites its whole rectangle.
    page->lines.clear();
    pool_release(&page->line_pool);
    page->line_cursor_y = 0;
}

Font_Line *get_font_line(s64 width, s64 height) {
    for (Font_Page *page : g_fonts.font_pages) {
        if (Font_Line *line = find_line_within_page(page, width, height)) return line;
    }
    // A glyph larger than a whole page would fit no new page either; making one anyway
    // would leave an empty page behind for every such glyph.
    if (width > g_fonts.font_page_width || height > g_fonts.font_page_height) return nullptr;

    Font_Page *page = make_font_page();
    g_fonts.font_pages.push_back(page);
    return find_line_within_page(page, width, height);
}

Font_Line *find_line_within_page(Font_Page *page, s64 width, s64 height) {
    s64 page_width = g_fonts.font_page_width;
    s64 page_height = g_fonts.font_page_height;

    // A shelf takes glyphs from 70 % of its height up to its full height.
    for (Font_Line *line : page->lines) {
        if (line->height >= height && height >= line->height * 7 / 10 && page_width - line->bitmap_cursor_x >= width) {
            return line;
        }
    }

    s64 remaining = page_height - page->line_cursor_y;
    if (remaining < height || page_width < width) return nullptr;

    // 10 % headroom for later, slightly taller glyphs.
    s64 shelf_height = height * 11 / 10;
    if (shelf_height > remaining) shelf_height = remaining;

    auto *line = pool_new<Font_Line>(&page->line_pool);
    line->page = page;
    line->bitmap_cursor_x = 0;
    line->bitmap_cursor_y = page->line_cursor_y;
    line->height = shelf_height;
    page->lines.push_back(line);
    page->line_cursor_y = (s16)(page->line_cursor_y + shelf_height);
    return line;
}

Font_Page *make_font_page() {
    auto *page = new Font_Page();
    page->bitmap_data = new Bitmap();
    bool allocated = bitmap_alloc(page->bitmap_data, (s32)g_fonts.font_page_width, (s32)g_fonts.font_page_height,
                                  Texture_Format::RGBA8);
    assert_fatal(allocated, "Unable to allocate a font page of % x % pixels.", g_fonts.font_page_width,
                 g_fonts.font_page_height);
    return page;
}
