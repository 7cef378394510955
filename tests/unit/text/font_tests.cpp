// Fonts and the glyph cache: size metrics of the window font, shared faces, the unknown
// character, glyph bitmaps on the pages, shelf packing, and fonts FreeType cannot open.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "font_page.h"
#include "text_test_fonts.h"

namespace {

Sized_Font *window_font(s64 pixels) {
    Sized_Font *font = get_font_at_size(window_font_bytes(), pixels);
    EXPECT_NE(font, nullptr);
    return font;
}

TEST(Font, WindowFontMetricsAt16Pixels) {
    Sized_Font *font = window_font(16);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->character_height, 16);
    EXPECT_EQ(font->line_spacing, 16);
    EXPECT_EQ(font->max_ascender, 12);
    EXPECT_EQ(font->max_descender, -4);
    // Neither U+FFFD nor U+2022 is in the font: "?" stands for what is missing.
    EXPECT_NE(font->unknown_glyph_index, 0u);
    EXPECT_EQ(font->unknown_glyph_index, FT_Get_Char_Index(font->face, '?'));
    // No GSUB table: no features.
    EXPECT_TRUE(font->features.empty());
    EXPECT_EQ(font->name, String(""));
}

TEST(Font, SameBytesShareOneFaceEqualBytesElsewhereDoNot) {
    String bytes = window_font_bytes();
    Sized_Font *a = get_font_at_size(bytes, 16);
    size_t loaded = g_fonts.loaded_fonts.size();
    Sized_Font *b = get_font_at_size(bytes, 16);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->face, b->face);
    EXPECT_EQ(g_fonts.loaded_fonts.size(), loaded);

    static std::string copy(bytes.data, (size_t)bytes.count);  // lives as long as the face
    Sized_Font *c = get_font_at_size(String(copy.data(), (s64)copy.size()), 16);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c->face, a->face);
    EXPECT_EQ(g_fonts.loaded_fonts.size(), loaded + 1);
}

TEST(Font, SharedFaceRendersEachFontAtItsOwnSize) {
    Sized_Font *small = window_font(8);
    Sized_Font *large = window_font(25);
    Glyph_Data *large_m = find_or_create_glyph(large, 'm');
    Glyph_Data *small_m = find_or_create_glyph(small, 'm');
    EXPECT_EQ(small_m->advance, 6);  // 6 design pixels at one screen pixel each
    EXPECT_GT(large_m->advance, small_m->advance * 3);
}

TEST(Font, MissingCharacterLogsOnceAndUsesTheUnknownGlyph) {
    Sized_Font *font = window_font(16);
    testing::internal::CaptureStdout();
    Glyph_Data *first = find_or_create_glyph(font, 0x4E2D);
    Glyph_Data *second = find_or_create_glyph(font, 0x4E2D);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Unable to find a glyph in font '' for utf32 character 20013.\n");
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->glyph_index_within_font, font->unknown_glyph_index);
    EXPECT_EQ(first->utf32, 0x4E2Du);
    EXPECT_EQ(first->advance, find_or_create_glyph(font, '?')->advance);
}

TEST(Font, GlyphBitmapGoesOnThePageBottomRowFirst) {
    Sized_Font *font = window_font(25);
    Glyph_Data *glyph = find_or_create_glyph(font, 'g');
    ASSERT_NE(glyph->page, nullptr);
    EXPECT_TRUE(glyph->page->dirty);

    // The same glyph rendered by FreeType directly, for comparison.
    ASSERT_EQ(FT_Set_Pixel_Sizes(font->face, 0, 25), 0);
    ASSERT_EQ(FT_Load_Glyph(font->face, glyph->glyph_index_within_font, FT_LOAD_RENDER), 0);
    const FT_Bitmap &bitmap = font->face->glyph->bitmap;
    ASSERT_EQ(glyph->width, bitmap.width);
    ASSERT_EQ(glyph->height, bitmap.rows);
    EXPECT_EQ(glyph->ascent, font->face->glyph->metrics.horiBearingY >> 6);
    EXPECT_EQ(glyph->offset_x, font->face->glyph->bitmap_left);
    EXPECT_LT(glyph->ascent, (s16)glyph->height);  // "g" hangs below the baseline

    const Bitmap *page = glyph->page->bitmap_data;
    s64 ink = 0;
    for (u32 i = 0; i < bitmap.rows; i++) {
        for (u32 j = 0; j < bitmap.width; j++) {
            const u8 *pixel = page->data.data + (glyph->y0 + i) * (s64)page->stride + (glyph->x0 + j) * 4;
            u8 coverage = bitmap.buffer[(bitmap.rows - 1 - i) * bitmap.pitch + j];
            ASSERT_EQ(pixel[3], coverage) << "row " << i << " column " << j;
            ASSERT_EQ(pixel[0], 255);
            ASSERT_EQ(pixel[1], 255);
            ASSERT_EQ(pixel[2], 255);
            ink += coverage > 0;
        }
    }
    EXPECT_GT(ink, 0);
}

// --- shelf packing ---

TEST(FontPages, ShelvesTakeGlyphsFrom70To100PercentOfTheirHeight) {
    ensure_fonts_are_initted();
    Font_Page page;  // find_line_within_page needs no pixels
    const struct {
        s64 width, height;
        s64 shelf_y, shelf_height, x;
    } steps[] = {
        {10, 20, 0, 22, 0},    // first glyph: a shelf of 20 * 11 / 10 rows at the top
        {10, 16, 0, 22, 10},   // 16 >= 22 * 7 / 10: shares it
        {10, 14, 22, 15, 0},   // 14 < 15: a new shelf below, 15 rows
        {10, 22, 0, 22, 20},   // the full height of the first shelf still fits
        {10, 0, 37, 0, 0},     // an empty bitmap gets a shelf of its own, zero rows
        {10, 0, 37, 0, 10},    // ... and shares it afterwards
        {2048 - 30, 20, 0, 22, 30},   // exactly the width left on the first shelf
        {1, 20, 37, 22, 0},           // first shelf full: next free row
    };
    for (const auto &step : steps) {
        Font_Line *line = find_line_within_page(&page, step.width, step.height);
        ASSERT_NE(line, nullptr) << step.width << " x " << step.height;
        EXPECT_EQ(line->page, &page);
        EXPECT_EQ(line->bitmap_cursor_y, step.shelf_y) << step.width << " x " << step.height;
        EXPECT_EQ(line->height, step.shelf_height) << step.width << " x " << step.height;
        EXPECT_EQ(line->bitmap_cursor_x, step.x) << step.width << " x " << step.height;
        line->bitmap_cursor_x = (s16)(line->bitmap_cursor_x + step.width);  // as a glyph copy does
    }
    EXPECT_EQ(page.line_cursor_y, 59);

    // A shelf is cut to the rows that are left; a glyph taller than those goes nowhere.
    page.line_cursor_y = (s16)(g_fonts.font_page_height - 42);
    Font_Line *last = find_line_within_page(&page, 5, 40);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->height, 42);
    EXPECT_EQ(find_line_within_page(&page, 5, 50), nullptr);
    EXPECT_EQ(find_line_within_page(&page, g_fonts.font_page_width + 1, 1), nullptr);
}

// A 10 x 3 glyph drawing: row 0 is the top row.
bool ink_at(s64 row, s64 column) { return (row + column) % 3 != 0; }

TEST(FontPages, CoverageFromEveryBitmapLayoutFreeTypeHandsOut) {
    ensure_fonts_are_initted();
    const s64 ROWS = 3, WIDTH = 10;
    const struct {
        const char *name;
        unsigned char mode;
        s64 pitch;
    } cases[] = {
        {"8-bit rows down", FT_PIXEL_MODE_GRAY, 12},
        {"8-bit rows up", FT_PIXEL_MODE_GRAY, -12},
        {"1-bit rows down", FT_PIXEL_MODE_MONO, 2},
        {"1-bit rows up", FT_PIXEL_MODE_MONO, -2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        bool mono = c.mode == FT_PIXEL_MODE_MONO;
        s64 row_bytes = c.pitch < 0 ? -c.pitch : c.pitch;
        // Exactly sized, so that the sanitizer build sees any read past the rows.
        std::unique_ptr<u8[]> buffer(new u8[ROWS * row_bytes]());
        for (s64 row = 0; row < ROWS; row++) {
            u8 *stored = buffer.get() + (c.pitch > 0 ? row : ROWS - 1 - row) * row_bytes;
            for (s64 j = 0; j < WIDTH; j++) {
                if (mono) {
                    if (ink_at(row, j)) stored[j >> 3] |= (u8)(0x80 >> (j & 7));
                } else {
                    stored[j] = ink_at(row, j) ? (u8)(200 + j) : (u8)j;
                }
            }
        }
        FT_FaceRec face = {};
        FT_GlyphSlotRec slot = {};
        face.glyph = &slot;
        slot.bitmap.rows = ROWS;
        slot.bitmap.width = WIDTH;
        slot.bitmap.pitch = (int)c.pitch;
        slot.bitmap.buffer = buffer.get();
        slot.bitmap.pixel_mode = c.mode;
        slot.advance.x = 11 * 64;
        slot.metrics.horiBearingY = 3 * 64;

        Glyph_Data glyph;
        copy_glyph_to_bitmap(&face, &glyph);
        ASSERT_NE(glyph.page, nullptr);
        EXPECT_EQ(glyph.advance, 11);
        EXPECT_EQ(glyph.ascent, 3);
        const Bitmap *page = glyph.page->bitmap_data;
        for (s64 i = 0; i < ROWS; i++) {
            s64 row = ROWS - 1 - i;  // page rows hold the glyph bottom-up
            for (s64 j = 0; j < WIDTH; j++) {
                u8 alpha = page->data.data[(glyph.y0 + i) * page->stride + (glyph.x0 + j) * 4 + 3];
                u8 wanted = mono ? (ink_at(row, j) ? 255 : 0) : (ink_at(row, j) ? (u8)(200 + j) : (u8)j);
                EXPECT_EQ(alpha, wanted) << "row " << row << " column " << j;
            }
        }
    }

    // Colour or sub-pixel bitmaps are not coverage: an empty glyph and an error line.
    u8 bgra[4 * 2 * 2] = {};
    FT_FaceRec face = {};
    FT_GlyphSlotRec slot = {};
    face.glyph = &slot;
    slot.bitmap.rows = 2;
    slot.bitmap.width = 2;
    slot.bitmap.pitch = 8;
    slot.bitmap.buffer = bgra;
    slot.bitmap.pixel_mode = FT_PIXEL_MODE_BGRA;
    Glyph_Data glyph;
    testing::internal::CaptureStderr();
    copy_glyph_to_bitmap(&face, &glyph);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("pixel mode 7, which is not coverage"), std::string::npos) << err;
    EXPECT_EQ(glyph.page, nullptr);
    EXPECT_EQ(glyph.width, 0u);
}

// Runs the body with an empty list of pages and puts the real one back afterwards.
struct Scoped_Empty_Pages {
    std::vector<Font_Page *> saved;
    Scoped_Empty_Pages() { saved.swap(g_fonts.font_pages); }
    ~Scoped_Empty_Pages() { saved.swap(g_fonts.font_pages); }
};

TEST(FontPages, GlyphsSpillToTheNextPageAndNewPagesWhenNoneHasRoom) {
    ensure_fonts_are_initted();
    Scoped_Empty_Pages pages;
    s64 width = g_fonts.font_page_width, height = g_fonts.font_page_height;

    Font_Line *first = get_font_line(width, 500);  // a 550-row shelf across a first page
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(g_fonts.font_pages.size(), 1u);
    first->bitmap_cursor_x = (s16)width;
    Font_Line *second = get_font_line(width, 600);  // 474 rows left on page 1: page 2
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->page, g_fonts.font_pages.at(1));
    second->bitmap_cursor_x = (s16)width;
    Font_Line *small = get_font_line(10, 50);  // fits below the first page's shelf
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->bitmap_cursor_y, 550);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->page, g_fonts.font_pages[0]);
    EXPECT_EQ(g_fonts.font_pages.size(), 2u);

    // Larger than a whole page: no line, and no page made for nothing.
    EXPECT_EQ(get_font_line(width + 1, 10), nullptr);
    EXPECT_EQ(get_font_line(10, height + 1), nullptr);
    EXPECT_EQ(g_fonts.font_pages.size(), 2u);
}

TEST(FontPages, GlyphLargerThanAPageLogsAndHasNoPage) {
    Sized_Font *font = window_font(2000);  // 250 screen pixels per design pixel: taller than a page
    ASSERT_NE(font, nullptr);
    testing::internal::CaptureStdout();
    Glyph_Data *glyph = find_or_create_glyph(font, '|');
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "font_line is null!\n");
    EXPECT_EQ(glyph->page, nullptr);
    EXPECT_GT(glyph->height, (u32)g_fonts.font_page_height);
    EXPECT_EQ(find_or_create_glyph(font, '|'), glyph);  // cached that way
}

TEST(FontPages, ReleasedFontsGiveTheirPageBackForANewHeight) {
    // A window resized through many heights makes a font per height; each one released
    // before the next must leave one page, not one page's worth per height.
    ensure_fonts_are_initted();
    Scoped_Empty_Pages pages;
    for (s64 height = 8; height <= 300; height += 4) {
        Sized_Font *font = window_font(height);
        ASSERT_NE(font, nullptr);
        prepare_text(font, "0123456789.mb", 0);
        release_font(font);
    }
    ASSERT_EQ(g_fonts.font_pages.size(), 1u);
    Font_Page *page = g_fonts.font_pages[0];
    EXPECT_EQ(page->glyph_count, 0);
    EXPECT_EQ(page->line_cursor_y, 0);
    EXPECT_TRUE(page->lines.empty());
    release_font(nullptr);
}

TEST(FontPages, APageStaysPackedWhileAnyFontStillHasGlyphsOnIt) {
    ensure_fonts_are_initted();
    Scoped_Empty_Pages pages;
    Sized_Font *kept = window_font(20);
    Sized_Font *released = window_font(24);
    Glyph_Data *kept_glyph = find_or_create_glyph(kept, 'g');
    find_or_create_glyph(released, 'g');
    ASSERT_EQ(g_fonts.font_pages.size(), 1u);
    Font_Page *page = g_fonts.font_pages[0];
    EXPECT_EQ(page->glyph_count, 2);
    s16 rows_used = page->line_cursor_y;

    release_font(released);
    EXPECT_EQ(page->glyph_count, 1);
    EXPECT_EQ(page->line_cursor_y, rows_used);

    // New glyphs go beside the kept one, never over it.
    Sized_Font *other = window_font(20);
    Glyph_Data *new_glyph = find_or_create_glyph(other, 'm');
    ASSERT_EQ(new_glyph->page, page);
    bool apart = new_glyph->y0 != kept_glyph->y0 || new_glyph->x0 >= kept_glyph->x0 + (s64)kept_glyph->width ||
                 kept_glyph->x0 >= new_glyph->x0 + (s64)new_glyph->width;
    EXPECT_TRUE(apart);

    release_font(kept);
    release_font(other);
    EXPECT_EQ(page->glyph_count, 0);
    EXPECT_EQ(page->line_cursor_y, 0);
}

// --- fonts FreeType cannot open ---

TEST(Font, BytesThatAreNoFontGiveNoFontAndAnErrorLine) {
    testing::internal::CaptureStderr();
    Sized_Font *font = get_font_at_size(fixture_font_bytes("broken_not_a_font.ttf"), 16);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(font, nullptr);
    EXPECT_EQ(err.rfind("Unable to open font '' (11 bytes): FT_New_Memory_Face returned error ", 0), 0u) << err;
    testing::internal::CaptureStderr();
    EXPECT_EQ(get_font_at_size(String(), 16), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
}

TEST(FontDeathTest, PageSizesBelow64AreRefused) {
    EXPECT_DEATH(
        {
            g_fonts.fonts_initted = false;
            init_fonts(-1, 512);
        },
        "at least 64");
    ensure_fonts_are_initted();
    EXPECT_DEATH(init_fonts(-1, -1), "init_fonts called twice");
}

}  // namespace

namespace {

u32 read_be32(const std::string &b, size_t at) {
    return ((u32)(u8)b[at] << 24) | ((u32)(u8)b[at + 1] << 16) | ((u32)(u8)b[at + 2] << 8) | (u8)b[at + 3];
}
u16 read_be16(const std::string &b, size_t at) { return (u16)(((u8)b[at] << 8) | (u8)b[at + 1]); }

// Offset of a table in a TrueType file, 0 when it has none.
size_t table_offset(const std::string &font, const char *tag) {
    u16 count = read_be16(font, 4);
    for (u16 i = 0; i < count; i++) {
        size_t record = 12 + 16 * (size_t)i;
        if (font.compare(record, 4, tag) == 0) return read_be32(font, record + 8);
    }
    return 0;
}

TEST(Font, GlyphFreeTypeCannotLoadBecomesEmptyWithAnErrorLine) {
    // The fixture font with the outline of "a" (glyph 10) claiming 1000 contours it does
    // not have: the face opens, the glyph does not load.
    String original = fixture_font_bytes("gsub_features.ttf");
    static std::string bytes(original.data, (size_t)original.count);
    size_t head = table_offset(bytes, "head"), loca = table_offset(bytes, "loca"), glyf = table_offset(bytes, "glyf");
    ASSERT_TRUE(head && loca && glyf);
    size_t glyph_at = read_be16(bytes, head + 50) == 0 ? 2 * (size_t)read_be16(bytes, loca + 2 * 10)
                                                       : read_be32(bytes, loca + 4 * 10);
    bytes[glyf + glyph_at] = (char)0x03;
    bytes[glyf + glyph_at + 1] = (char)0xE8;

    Sized_Font *font = get_font_at_size(String(bytes.data(), (s64)bytes.size()), 16);
    ASSERT_NE(font, nullptr);
    testing::internal::CaptureStderr();
    prepare_text(font, "ab", 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("FT_Load_Glyph failed for glyph 10 of font '' with error ", 0), 0u) << err;
    ASSERT_EQ(font->glyph_run.size(), 2u);
    EXPECT_EQ(font->glyph_run[0]->page, nullptr);
    EXPECT_EQ(font->glyph_run[0]->advance, 0);
    EXPECT_NE(font->glyph_run[1]->page, nullptr);  // "b" is fine
    EXPECT_EQ(font->run_width, font->glyph_run[1]->advance);
}

TEST(Font, FontWithoutAnyUnknownCharacterDrawsMissingOnesAsNothing) {
    // The fixture font with "?" moved to U+0040 in every cmap subtable (all format 4): it
    // then has none of U+FFFD, U+2022 and "?".
    String original = fixture_font_bytes("gsub_features.ttf");
    static std::string bytes(original.data, (size_t)original.count);
    size_t cmap = table_offset(bytes, "cmap");
    ASSERT_NE(cmap, 0u);
    s64 moved = 0;
    for (u16 i = 0; i < read_be16(bytes, cmap + 2); i++) {
        size_t subtable = cmap + read_be32(bytes, cmap + 4 + 8 * (size_t)i + 4);
        ASSERT_EQ(read_be16(bytes, subtable), 4);
        size_t segments = read_be16(bytes, subtable + 6) / 2;
        size_t ends = subtable + 14, starts = ends + 2 * segments + 2;
        for (size_t k = 0; k < segments; k++) {
            if (read_be16(bytes, starts + 2 * k) == '?' && read_be16(bytes, ends + 2 * k) == '?') {
                bytes[starts + 2 * k + 1] = bytes[ends + 2 * k + 1] = '@';
                moved++;
            }
        }
    }
    ASSERT_GT(moved, 0);

    testing::internal::CaptureStdout();
    Sized_Font *font = get_font_at_size(String(bytes.data(), (s64)bytes.size()), 16);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to set unknown character for font ''.\n");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->unknown_glyph_index, 0u);

    testing::internal::CaptureStdout();
    s64 width = prepare_text(font, "a?b", 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to find a glyph in font '' for utf32 character 63.\n");
    ASSERT_EQ(font->glyph_run.size(), 3u);
    // Nothing is rendered for it: an empty glyph, not whatever FreeType rendered last.
    const Glyph_Data *missing = font->glyph_run[1];
    EXPECT_EQ(missing->glyph_index_within_font, 0u);
    EXPECT_EQ(missing->width, 0u);
    EXPECT_EQ(missing->advance, 0);
    EXPECT_EQ(missing->page, nullptr);
    EXPECT_EQ(width, font->glyph_run[0]->advance + font->glyph_run[2]->advance);
}

TEST(Font, DegenerateSizesGiveAUsableFont) {
    // A minimised window asks for 0 pixels; nothing may fail hard on the way to drawing.
    for (s64 pixels : {0, 1}) {
        testing::internal::CaptureStderr();
        Sized_Font *font = get_font_at_size(window_font_bytes(), pixels);
        ASSERT_NE(font, nullptr) << pixels;
        prepare_text(font, "12.5mb", 0);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(font->glyph_run.size(), 6u) << pixels;
    }
}

}  // namespace
