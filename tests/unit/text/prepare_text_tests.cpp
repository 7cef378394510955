// Text preparation: decoding into glyph runs, run widths, and the small-capitals and
// lining-figures substitutions of the fixture font (ids in tests/fixtures/fonts/README.md).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "font.h"
#include "text_test_fonts.h"

namespace {

std::vector<u32> run_ids(const Sized_Font *font) {
    std::vector<u32> ids;
    for (const Glyph_Data *glyph : font->glyph_run) ids.push_back(glyph->glyph_index_within_font);
    return ids;
}

s64 sum_of_advances(const Sized_Font *font) {
    s64 sum = 0;
    for (const Glyph_Data *glyph : font->glyph_run) sum += glyph->advance;
    return sum;
}

TEST(PrepareText, RunsAndWidthsWithTheWindowFont) {
    Sized_Font *font = get_font_at_size(window_font_bytes(), 16);
    ASSERT_NE(font, nullptr);

    EXPECT_EQ(prepare_text(font, "abc", 0), 30);  // 5 design pixels each, 2 screen pixels apiece
    ASSERT_EQ(font->glyph_run.size(), 3u);
    EXPECT_EQ(font->run_width, sum_of_advances(font));
    EXPECT_EQ(font->glyph_run[0]->utf32, (u32)'a');

    EXPECT_EQ(prepare_text(font, "", 0), 0);
    EXPECT_TRUE(font->glyph_run.empty());

    // C3 A9 is one character, U+00E9, which the font lacks: drawn as "?" and logged once.
    u32 question = FT_Get_Char_Index(font->face, '?');
    testing::internal::CaptureStdout();
    prepare_text(font, "\xC3\xA9", 0);
    prepare_text(font, "\xC3\xA9\xC3\xA9", 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to find a glyph in font '' for utf32 character 233.\n");
    ASSERT_EQ(font->glyph_run.size(), 2u);
    EXPECT_EQ(font->glyph_run[0]->utf32, 0xE9u);
    EXPECT_EQ(font->glyph_run[0]->glyph_index_within_font, question);

    // A lone 0xE9 at the end is cut off: U+FFFD ends the text.
    testing::internal::CaptureStdout();
    prepare_text(font, "ab\xE9", 0);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(font->glyph_run.size(), 3u);
    EXPECT_EQ(font->glyph_run[2]->utf32, 0xFFFDu);
    EXPECT_EQ(font->glyph_run[2]->glyph_index_within_font, question);

    // Effects do nothing in a font without GSUB.
    prepare_text(font, "abc012", SMALL_CAPITALS | LINING_FIGURES);
    EXPECT_EQ(font->glyph_run[0]->utf32, (u32)'a');
    EXPECT_EQ(font->glyph_run[0]->glyph_index_within_font, FT_Get_Char_Index(font->face, 'a'));
}

TEST(PrepareText, EveryFrameReusesTheRunsStorage) {
    // The progress text is prepared every frame: its run must not be allocated anew each time.
    Sized_Font *font = get_font_at_size(window_font_bytes(), 16);
    ASSERT_NE(font, nullptr);
    prepare_text(font, "12.75mb", 0);
    const Glyph_Data *const *storage = font->glyph_run.data();
    for (const char *text : {"12.75mb", "", "13mb", "12.5mb"}) {
        prepare_text(font, text, 0);
        EXPECT_EQ(font->glyph_run.data(), storage) << text;
    }
    release_font(font);
}

TEST(PrepareText, SubstitutionsOfTheFixtureFont) {
    Sized_Font *font = get_font_at_size(fixture_font_bytes("gsub_features.ttf"), 16);
    ASSERT_NE(font, nullptr);
    const struct {
        Text_Effects effects;
        std::vector<u32> run;
    } cases[] = {
        {0, {10, 11, 12, 13, 17, 2, 3, 4, 20}},
        {SMALL_CAPITALS, {9, 14, 15, 16, 18, 8, 3, 4, 20}},
        {LINING_FIGURES, {10, 11, 12, 13, 17, 5, 6, 7, 20}},
        // Digits keep their lining form: "0" is 5, not small-capital 8.
        {SMALL_CAPITALS | LINING_FIGURES, {9, 14, 15, 16, 18, 5, 6, 7, 20}},
    };
    const std::string_view text = "abcde012?";
    for (const auto &c : cases) {
        s64 width = prepare_text(font, text, c.effects);
        EXPECT_EQ(run_ids(font), c.run) << "effects " << c.effects;
        // The width is that of the glyphs before substitution: 9 of 5 design pixels.
        EXPECT_EQ(width, 90) << "effects " << c.effects;
        for (size_t i = 0; i < text.size(); i++) {
            EXPECT_EQ(font->glyph_run[i]->utf32, (u32)(u8)text[i]) << "effects " << c.effects << " at " << i;
        }
    }
    // A substitute is cached under its negated index: the same record every time.
    prepare_text(font, "a", SMALL_CAPITALS);
    Glyph_Data *small_a = font->glyph_run[0];
    prepare_text(font, "aa", SMALL_CAPITALS);
    EXPECT_EQ(font->glyph_run[0], small_a);
    EXPECT_EQ(font->glyph_run[1], small_a);
    EXPECT_EQ(small_a->advance, 12);  // a.sc is 6 design pixels wide
}

TEST(PrepareText, BrokenTablesGiveThePlainRunForEveryEffect) {
    const char *files[] = {"gsub_v1_1.ttf", "gsub_lookup_offset_past_end.ttf", "gsub_coverage_count_too_large.ttf"};
    const std::vector<u32> plain = {10, 11, 12, 13, 17, 2, 3, 4, 20};
    for (const char *file : files) {
        Sized_Font *font = get_font_at_size(fixture_font_bytes(file), 16);
        ASSERT_NE(font, nullptr) << file;
        for (Text_Effects effects : {0u, 1u, 2u, 3u}) {
            prepare_text(font, "abcde012?", effects);
            EXPECT_EQ(run_ids(font), plain) << file << " effects " << effects;
        }
    }
}

}  // namespace
