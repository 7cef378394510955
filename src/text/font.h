// Fonts at pixel sizes made from TrueType bytes with FreeType, their glyph cache packed
// into font pages shared by every font, text preparation into glyph runs and the quads
// that draw them. Owns g_fonts. GUI thread only.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdlib>
#include <vector>

#include "gsub.h"
#include "pool.h"
#include "types.h"

struct Font_Page;  // font_page.h: needs the renderer's texture and bitmap records

struct Glyph_Data {
    u32 utf32 = 0;  // 0 for a glyph made by index (a substitution then sets its source's)
    u32 glyph_index_within_font = 0;
    s16 x0 = 0;  // rectangle on the page; its first row holds the glyph's bottom row
    s16 y0 = 0;
    u32 width = 0;
    u32 height = 0;
    s16 offset_x = 0;  // pen to bitmap's left edge
    s16 offset_y = 0;  // bitmap top as rendered; placement uses ascent
    s16 ascent = 0;
    s16 advance = 0;
    Font_Page *page = nullptr;  // null: no page had room; never drawn
};

// One shelf of a page: glyphs of similar height side by side.
struct Font_Line {
    Font_Page *page = nullptr;
    s16 bitmap_cursor_x = 0;
    s16 bitmap_cursor_y = 0;
    s64 height = 0;
};

// One per block of font bytes; the bytes are read in place for the life of the face.
struct Loaded_Font {
    String name;
    FT_Face face = nullptr;
    String data;
};

// Glyph cache of a font: 64-bit key to glyph record, open addressing with linear probing.
// A code point is its own key; a glyph made by index i is keyed -i.
struct Glyph_Map {
    struct Slot {
        u64 key;
        Glyph_Data *value;  // null: free slot
    };
    Slot *slots = nullptr;
    s64 capacity = 0;  // a power of two
    s64 count = 0;

    Glyph_Map() = default;
    Glyph_Map(const Glyph_Map &) = delete;
    Glyph_Map &operator=(const Glyph_Map &) = delete;
    ~Glyph_Map() { free(slots); }
};

inline u64 glyph_map_hash(u64 key) {
    key ^= key >> 33;
    key *= 0xff51afd7ed558ccdULL;
    key ^= key >> 33;
    return key;
}

inline Glyph_Data *glyph_map_find(const Glyph_Map *map, u64 key) {
    if (!map->capacity) return nullptr;
    u64 mask = (u64)map->capacity - 1;
    for (u64 i = glyph_map_hash(key) & mask;; i = (i + 1) & mask) {
        const Glyph_Map::Slot &slot = map->slots[i];
        if (!slot.value) return nullptr;
        if (slot.key == key) return slot.value;
    }
}

void glyph_map_add(Glyph_Map *map, u64 key, Glyph_Data *value);

struct Letter_Quad {
    Vector2 p0, p1, p2, p3;  // low-left, low-right, high-right, high-left
    f32 tex_u0 = 0, tex_v0 = 0, tex_u1 = 0, tex_v1 = 0;
    Glyph_Data *glyph = nullptr;
};

using Text_Effects = u32;
enum : u32 {
    SMALL_CAPITALS = 1,  // "smcp"
    LINING_FIGURES = 2,  // "lnum"
};

struct Sized_Font {
    String name;  // empty for fonts of get_font_at_size; printed in messages
    Glyph_Map glyph_lookup;
    FT_Face face = nullptr;  // shared with every font made from the same bytes
    s64 character_height = 0;
    s64 line_spacing = 0;
    s64 max_ascender = 0;
    s64 max_descender = 0;  // negative below the baseline
    s64 typical_ascender = 0;
    s64 typical_descender = 0;
    s64 em_width = 0;
    s64 half_x_height = 0;
    bool needs_byte_swap = false;
    u32 unknown_glyph_index = 0;
    std::vector<Gsub_Feature> features;
    Gsub_Feature *small_caps_feature = nullptr;
    Gsub_Feature *lining_figures_feature = nullptr;
    std::vector<Glyph_Data *> glyph_run;  // the last prepared text
    s64 run_width = 0;
    std::vector<Letter_Quad> quads;       // the last generated quads
    Pool glyph_pool;  // every Glyph_Data of this font, released with it

    Sized_Font() = default;
    Sized_Font(const Sized_Font &) = delete;
    Sized_Font &operator=(const Sized_Font &) = delete;
    ~Sized_Font() { pool_release(&glyph_pool); }
};

struct Font_State {
    bool fonts_initted = false;
    s64 font_page_width = 2048;
    s64 font_page_height = 1024;
    FT_Library freetype_library = nullptr;
    std::vector<Loaded_Font *> loaded_fonts;
    std::vector<Font_Page *> font_pages;  // in creation order, shared by all fonts
};

extern Font_State g_fonts;

// --- fonts and glyph cache ---

// Page sizes -1, -1 keep the defaults (2048 x 1024); otherwise both at least 64.
void init_fonts(s32 page_width, s32 page_height);
void ensure_fonts_are_initted();

// A new font on every call. Null when FreeType cannot open the bytes (logged). The bytes
// must stay valid and unchanged until the process ends.
Sized_Font *get_font_at_size(String font_bytes, s64 pixel_height);
// Frees the font and its glyphs; a page left without glyphs of any font is packed again
// from the top. Null is fine. Prepared runs and quads of the font go with it.
void release_font(Sized_Font *font);

Loaded_Font *make_loaded_font(String name, String font_bytes);
void load_font_part_2(Sized_Font *font, Loaded_Font *loaded, s64 pixel_height);
bool set_unknown_character(Sized_Font *font, u32 utf32);

// 26.6 fixed point to whole pixels, halves toward zero.
inline s64 round_26_6(s64 v) { return v >= 0 ? (v + 31) >> 6 : -((-v + 31) >> 6); }

Glyph_Data *find_or_create_glyph(Sized_Font *font, u32 utf32);
// utf32 0: render the given glyph index.
Glyph_Data *find_or_create_glyph(Sized_Font *font, u32 utf32, u32 glyph_index, u64 key);
// Decodes the character at `position` (never past `bytes_remaining`) and finds its glyph.
Glyph_Data *find_or_create_glyph_utf8(Sized_Font *font, const u8 *position, s64 bytes_remaining);

// Takes the glyph from the face's glyph slot, which must hold it rendered.
void copy_glyph_to_bitmap(FT_Face face, Glyph_Data *glyph);
Font_Line *get_font_line(s64 width, s64 height);
Font_Line *find_line_within_page(Font_Page *page, s64 width, s64 height);
Font_Page *make_font_page();
// Forgets every shelf of a page whose glyphs are all gone.
void reset_font_page(Font_Page *page);

// Reads the face's GSUB table into the font's features; nothing when it has none or the
// table is unusable.
void load_gsub_features(Sized_Font *font);

// --- text preparation ---

// Builds the font's glyph run for the text and returns its width in pixels (the advances
// before substitution).
s64 prepare_text(Sized_Font *font, String text, Text_Effects effects);
void convert_to_temporary_glyphs(Sized_Font *font, String text, Text_Effects effects);
void add_glyph_to_temporaries(Sized_Font *font, Glyph_Data *glyph);
void do_glyph_substitutions(Sized_Font *font, Text_Effects effects);
Glyph_Data *single_substitute(Sized_Font *font, Gsub_Feature *feature, Glyph_Data *glyph);

// --- drawing (text_quads.cpp) ---

// (x, y): the pen at the left end of the first glyph's baseline.
void draw_prepared_text(Sized_Font *font, s64 x, s64 y, Vector4 color);
void generate_quads_for_prepared_text(Sized_Font *font, s64 x, s64 y);
void draw_generated_quads(Sized_Font *font, Vector4 color);
void draw_letter_quad(Sized_Font *font, const Letter_Quad *quad, Vector4 color);
