// Fonts at pixel sizes and their glyph cache: FreeType faces shared per block of font
// bytes, the size metrics, the unknown-character glyph and glyphs rendered on demand.
#include "font.h"

#include <cmath>

#include "assertions.h"
#include "font_page.h"
#include "log.h"
#include "utf8.h"

Font_State g_fonts;

void init_fonts(s32 page_width, s32 page_height) {
    assert_fatal(!g_fonts.fonts_initted, "init_fonts called twice.");
    if (page_width >= 0 || page_height >= 0) {
        assert_fatal(page_width >= 64 && page_height >= 64,
                     "Font pages must be at least 64 x 64 pixels, not % x %.", page_width, page_height);
        // Glyph rectangles and shelf cursors are 16-bit.
        assert_fatal(page_width <= 32767 && page_height <= 32767,
                     "Font pages must be at most 32767 x 32767 pixels, not % x %.", page_width, page_height);
        g_fonts.font_page_width = page_width;
        g_fonts.font_page_height = page_height;
    }
    g_fonts.fonts_initted = true;

    FT_Error error = FT_Init_FreeType(&g_fonts.freetype_library);
    assert_fatal(error == 0, "FT_Init_FreeType failed with error %.", error);
}

void ensure_fonts_are_initted() {
    if (!g_fonts.fonts_initted) init_fonts(-1, -1);
}

Sized_Font *get_font_at_size(String font_bytes, s64 pixel_height) {
    ensure_fonts_are_initted();

    // The same block of bytes (same address and size) shares one face; equal content
    // elsewhere opens another.
    Loaded_Font *loaded = nullptr;
    for (Loaded_Font *candidate : g_fonts.loaded_fonts) {
        if (candidate->data.data == font_bytes.data && candidate->data.count == font_bytes.count) {
            loaded = candidate;
            break;
        }
    }
    if (!loaded) {
        loaded = make_loaded_font("", font_bytes);
        if (!loaded) return nullptr;
        g_fonts.loaded_fonts.push_back(loaded);
    }

    auto *font = new Sized_Font();
    load_font_part_2(font, loaded, pixel_height);
    return font;
}

void release_font(Sized_Font *font) {
    if (!font) return;
    for (s64 i = 0; i < font->glyph_lookup.capacity; i++) {
        Glyph_Data *glyph = font->glyph_lookup.slots[i].value;
        if (!glyph || !glyph->page) continue;
        Font_Page *page = glyph->page;
        page->glyph_count -= 1;
        if (page->glyph_count == 0) reset_font_page(page);
    }
    delete font;
}

Loaded_Font *make_loaded_font(String name, String font_bytes) {
    FT_Face face = nullptr;
    FT_Error error = FT_New_Memory_Face(g_fonts.freetype_library, (const FT_Byte *)font_bytes.data,
                                        (FT_Long)font_bytes.count, 0, &face);
    if (error) {
        // The font can come from the working directory: a file FreeType cannot read is
        // reported and the caller goes on without a font.
        log_error("Unable to open font '%' (% bytes): FT_New_Memory_Face returned error %%.", name,
                  font_bytes.count, error, error == FT_Err_Unknown_File_Format ? " (unknown file format)" : "");
        return nullptr;
    }
    auto *loaded = new Loaded_Font();
    loaded->name = sprint("%", name);
    loaded->face = face;
    loaded->data = font_bytes;
    return loaded;
}

void load_font_part_2(Sized_Font *font, Loaded_Font *loaded, s64 pixel_height) {
    FT_Face face = loaded->face;
    FT_Set_Pixel_Sizes(face, 0, (FT_UInt)pixel_height);
    font->face = face;
    font->character_height = pixel_height;

    // y_scale is 16.16 from font units to 26.6 pixels: 2^22 turns font units into pixels.
    f32 scale = (f32)face->size->metrics.y_scale / 4194304.0f;
    font->line_spacing = (s64)floorf(scale * (f32)face->height + 0.5f);
    font->max_ascender = (s64)floorf(scale * (f32)face->bbox.yMax + 0.5f);
    font->max_descender = (s64)floorf(scale * (f32)face->bbox.yMin + 0.5f);

    auto load_metric_glyph = [face](u32 character) {
        FT_UInt index = FT_Get_Char_Index(face, character);
        return index != 0 && FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) == 0;
    };
    if (load_metric_glyph('m')) {
        s64 r = round_26_6(face->glyph->metrics.horiBearingY);
        font->half_x_height = (s64)(0.5f * (f32)r + 0.5f);
    }
    if (load_metric_glyph('M')) font->em_width = round_26_6(face->glyph->metrics.width);
    if (load_metric_glyph('T')) font->typical_ascender = round_26_6(face->glyph->metrics.horiBearingY);
    if (load_metric_glyph('g')) {
        font->typical_descender = round_26_6(face->glyph->metrics.horiBearingY - face->glyph->metrics.height);
    }

    FT_Select_Charmap(face, FT_ENCODING_UNICODE);

    if (!set_unknown_character(font, 0xFFFD) && !set_unknown_character(font, 0x2022) &&
        !set_unknown_character(font, '?')) {
        log_line("Unable to set unknown character for font '%1'.\n", font->name);
    }

    load_gsub_features(font);
}

bool set_unknown_character(Sized_Font *font, u32 utf32) {
    FT_UInt index = FT_Get_Char_Index(font->face, utf32);
    if (index == 0) return false;
    font->unknown_glyph_index = index;
    return true;
}

// --- glyph cache ---

Glyph_Data *find_or_create_glyph(Sized_Font *font, u32 utf32) { return find_or_create_glyph(font, utf32, 0, utf32); }

Glyph_Data *find_or_create_glyph_utf8(Sized_Font *font, const u8 *position, s64 bytes_remaining) {
    Decoded_Character decoded = decode_utf8_character(position, bytes_remaining);
    return find_or_create_glyph(font, decoded.utf32);
}

Glyph_Data *find_or_create_glyph(Sized_Font *font, u32 utf32, u32 glyph_index, u64 key) {
    if (Glyph_Data *found = glyph_map_find(&font->glyph_lookup, key)) return found;

    FT_Face face = font->face;
    bool rendered = false;
    // Fonts made from the same bytes share the face, and a face holds one size at a time.
    FT_Error error = FT_Set_Pixel_Sizes(face, 0, (FT_UInt)font->character_height);
    if (error) {
        log_error("FT_Set_Pixel_Sizes to % pixels failed for font '%' with error %.", font->character_height,
                  font->name, error);
    } else {
        if (utf32 != 0) {
            glyph_index = FT_Get_Char_Index(face, utf32);
            if (glyph_index == 0) {
                log_line("Unable to find a glyph in font '%' for utf32 character %.\n", font->name, utf32);
                glyph_index = font->unknown_glyph_index;
            }
        }
        // A character the font lacks, in a font without an unknown-character glyph,
        // renders nothing: it becomes an empty glyph below.
        if (utf32 == 0 || glyph_index != 0) {
            error = FT_Load_Glyph(face, glyph_index, FT_LOAD_RENDER);
            if (error) {
                log_error("FT_Load_Glyph failed for glyph % of font '%' with error %.", glyph_index, font->name,
                          error);
            } else {
                rendered = true;
            }
        }
    }

    auto *glyph = pool_new<Glyph_Data>(&font->glyph_pool);
    glyph->utf32 = utf32;
    glyph->glyph_index_within_font = glyph_index;
    // Without a rendering the glyph stays empty: no size, no advance, no page, so
    // drawing passes it over.
    if (rendered) copy_glyph_to_bitmap(face, glyph);

    glyph_map_add(&font->glyph_lookup, key, glyph);
    return glyph;
}
