// The GSUB reader against the fixture fonts (see tests/fixtures/fonts/README.md for their
// glyph ids and tables): what each feature substitutes, and that broken tables give no
// features, or lose only the broken lookup or subtable, without reading outside the table.
#include <gtest/gtest.h>

#include <freetype/tttables.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "font.h"
#include "text_test_fonts.h"

namespace {

FT_Library test_library() {
    static FT_Library library = [] {
        FT_Library l = nullptr;
        EXPECT_EQ(FT_Init_FreeType(&l), 0);
        return l;
    }();
    return library;
}

// A font record with only the face and its features, as font loading leaves them.
std::unique_ptr<Sized_Font> font_with_features(const std::string &file) {
    auto font = std::make_unique<Sized_Font>();
    String bytes = fixture_font_bytes(file);
    EXPECT_EQ(FT_New_Memory_Face(test_library(), (const FT_Byte *)bytes.data, bytes.count, 0, &font->face), 0) << file;
    load_gsub_features(font.get());
    return font;
}

std::vector<u8> gsub_table_of(const std::string &file) {
    auto font = std::make_unique<Sized_Font>();
    String bytes = fixture_font_bytes(file);
    EXPECT_EQ(FT_New_Memory_Face(test_library(), (const FT_Byte *)bytes.data, bytes.count, 0, &font->face), 0);
    FT_ULong length = 0;
    EXPECT_EQ(FT_Load_Sfnt_Table(font->face, make_tag("GSUB"), 0, nullptr, &length), 0);
    std::vector<u8> table(length);
    EXPECT_EQ(FT_Load_Sfnt_Table(font->face, make_tag("GSUB"), 0, table.data(), &length), 0);
    FT_Done_Face(font->face);
    return table;
}

// Glyph ids of the fixture: a b c d e are 10..13 and 17, "0" "1" "2" are 2..4, "?" is 20.
const u32 FIXTURE_GLYPHS[] = {10, 11, 12, 13, 17, 2, 3, 4, 20, 5};

// What a feature makes of each fixture glyph (the glyph itself when nothing applies).
std::map<u32, s64> substitution_map(const Gsub_Feature *feature) {
    std::map<u32, s64> result;
    for (u32 g : FIXTURE_GLYPHS) {
        s64 s = substitute_glyph_index(feature, g);
        result[g] = s < 0 ? g : s;
    }
    return result;
}

const std::map<u32, s64> NO_CHANGE = {{10, 10}, {11, 11}, {12, 12}, {13, 13}, {17, 17}, {2, 2}, {3, 3}, {4, 4}, {20, 20}, {5, 5}};
const std::map<u32, s64> SMALL_CAPS = {{10, 9}, {11, 14}, {12, 15}, {13, 16}, {17, 18}, {2, 8}, {3, 3}, {4, 4}, {20, 20}, {5, 8}};
const std::map<u32, s64> LINING = {{10, 10}, {11, 11}, {12, 12}, {13, 13}, {17, 17}, {2, 5}, {3, 6}, {4, 7}, {20, 20}, {5, 5}};

bool host_is_little_endian() {
    u16 one = 1;
    return *(u8 *)&one == 1;
}

TEST(Gsub, ReadsSmallCapitalsAndLiningFigures) {
    auto font = font_with_features("gsub_features.ttf");
    ASSERT_EQ(font->features.size(), 2u);
    EXPECT_EQ(font->features[0].tag, 0x6C6E756Du);  // "lnum", first in the feature list
    EXPECT_EQ(font->needs_byte_swap, host_is_little_endian());
    ASSERT_NE(font->small_caps_feature, nullptr);
    ASSERT_NE(font->lining_figures_feature, nullptr);
    EXPECT_EQ(font->small_caps_feature->tag, make_tag("smcp"));

    // Format 1 with delta 0xFFFF (a 10 -> 9), format 2 after a subtable that misses
    // (b c d), a multiple substitution cut to its first glyph (e 17 -> 18), coverage
    // formats 1 and 2.
    EXPECT_EQ(substitution_map(font->small_caps_feature), SMALL_CAPS);
    EXPECT_EQ(substitution_map(font->lining_figures_feature), LINING);
    EXPECT_EQ(substitute_glyph_index(nullptr, 10), -1);
}

TEST(Gsub, FontsWithoutUsableTablesHaveNoFeatures) {
    const char *files[] = {
        "assets/QuanPixelSmall.ttf",  // no GSUB table at all
        "gsub_v1_1.ttf",              // a version other than 1.0
        // Tables that do not hold together: some read would go past the end.
        "gsub_truncated.ttf", "gsub_feature_list_past_end.ttf", "gsub_feature_count_too_large.ttf",
        "gsub_lookup_offset_past_end.ttf", "gsub_subtable_count_too_large.ttf",
        "gsub_coverage_count_too_large.ttf", "gsub_sequence_count_too_large.ttf",
    };
    for (const char *file : files) {
        auto font = font_with_features(file);
        EXPECT_TRUE(font->features.empty()) << file;
        EXPECT_EQ(font->small_caps_feature, nullptr) << file;
        EXPECT_EQ(font->lining_figures_feature, nullptr) << file;
    }
}

TEST(Gsub, BrokenLookupsAndSubtablesAreSkippedAlone) {
    const struct {
        const char *file;
        std::map<u32, s64> small_caps;
    } cases[] = {
        // smcp's second lookup index is 9 of 4 lookups: e loses its substitute.
        {"gsub_lookup_index_past_list.ttf", {{10, 9}, {11, 14}, {12, 15}, {13, 16}, {17, 17}, {2, 8}, {3, 3}, {4, 4}, {20, 20}, {5, 8}}},
        // Two substitutes for three covered glyphs: d (coverage index 2) keeps its glyph,
        // b and c are substituted.
        {"gsub_coverage_index_past_substitutes.ttf", {{10, 9}, {11, 14}, {12, 15}, {13, 13}, {17, 18}, {2, 8}, {3, 3}, {4, 4}, {20, 20}, {5, 8}}},
        // An empty sequence substitutes nothing.
        {"gsub_empty_sequence.ttf", {{10, 9}, {11, 14}, {12, 15}, {13, 16}, {17, 17}, {2, 8}, {3, 3}, {4, 4}, {20, 20}, {5, 8}}},
    };
    for (const auto &c : cases) {
        auto font = font_with_features(c.file);
        ASSERT_NE(font->small_caps_feature, nullptr) << c.file;
        EXPECT_EQ(substitution_map(font->small_caps_feature), c.small_caps) << c.file;
        EXPECT_EQ(substitution_map(font->lining_figures_feature), LINING) << c.file;
    }
}

TEST(Gsub, EveryShorterCopyOfTheTableGivesNoFeatures) {
    std::vector<u8> table = gsub_table_of("gsub_features.ttf");
    ASSERT_EQ(table.size(), 220u);
    for (size_t length = 0; length < table.size(); length++) {
        // Exactly sized, so that the sanitizer build catches a read past the end.
        std::unique_ptr<u8[]> copy(new u8[length ? length : 1]);
        std::copy(table.begin(), table.begin() + (std::ptrdiff_t)length, copy.get());
        Sized_Font font;
        EXPECT_FALSE(read_gsub_table(&font, copy.get(), (s64)length)) << length;
        EXPECT_TRUE(font.features.empty()) << length;
    }
    Sized_Font font;
    EXPECT_TRUE(read_gsub_table(&font, table.data(), (s64)table.size()));
    EXPECT_EQ(substitution_map(font.small_caps_feature), SMALL_CAPS);
}

// A small table: one feature "lnum" with one single substitution (format 2, coverage
// format 2) that turns glyph 5 into 99, written in the given byte order.
std::vector<u8> tiny_table(bool big_endian) {
    std::vector<u8> bytes;
    auto u16_ = [&](u16 v) {
        if (big_endian) { bytes.push_back((u8)(v >> 8)); bytes.push_back((u8)v); }
        else { bytes.push_back((u8)v); bytes.push_back((u8)(v >> 8)); }
    };
    auto u32_ = [&](u32 v) {
        if (big_endian) { u16_((u16)(v >> 16)); u16_((u16)v); }
        else { u16_((u16)v); u16_((u16)(v >> 16)); }
    };
    u32_(0x00010000); u16_(0); u16_(10); u16_(24);  // 0: header; feature list 10, lookup list 24
    u16_(1); u32_(make_tag("lnum")); u16_(8);        // 10: feature list; table at 18
    u16_(0); u16_(1); u16_(0);                       // 18: feature table: lookup 0
    u16_(1); u16_(4);                                // 24: lookup list; lookup at 28
    u16_(1); u16_(0); u16_(1); u16_(8);              // 28: lookup type 1; subtable at 36
    u16_(2); u16_(8); u16_(1); u16_(99);             // 36: format 2; coverage at 44; [99]
    u16_(2); u16_(1); u16_(5); u16_(5); u16_(0);     // 44: coverage ranges (5..5 from 0)
    return bytes;
}

TEST(Gsub, EitherByteOrderReadsTheSame) {
    for (bool big_endian : {true, false}) {
        std::vector<u8> table = tiny_table(big_endian);
        Sized_Font font;
        ASSERT_TRUE(read_gsub_table(&font, table.data(), (s64)table.size())) << big_endian;
        EXPECT_EQ(font.needs_byte_swap, big_endian == host_is_little_endian());
        EXPECT_EQ(font.small_caps_feature, nullptr);
        EXPECT_EQ(substitute_glyph_index(font.lining_figures_feature, 5), 99) << big_endian;
        EXPECT_EQ(substitute_glyph_index(font.lining_figures_feature, 6), -1) << big_endian;
    }
}

}  // namespace
