// Text preparation: a UTF-8 string into the font's glyph run, with the small-capitals and
// lining-figures substitutions of the font's GSUB features.
#include "font.h"
#include "utf8.h"

s64 prepare_text(Sized_Font *font, String text, Text_Effects effects) {
    convert_to_temporary_glyphs(font, text, effects);
    return font->run_width;
}

void convert_to_temporary_glyphs(Sized_Font *font, String text, Text_Effects effects) {
    // Cleared, not freed: the run is prepared again every frame.
    font->glyph_run.clear();
    font->run_width = 0;
    if (text.empty()) return;

    // At most one glyph per byte: one allocation for the whole run.
    font->glyph_run.reserve((size_t)text.count);
    const u8 *position = (const u8 *)text.data;
    const u8 *end = position + text.count;
    while (position < end) {
        Glyph_Data *glyph = find_or_create_glyph_utf8(font, position, end - position);
        if (glyph) add_glyph_to_temporaries(font, glyph);
        // A character cut off by the end has become U+FFFD and ends the text.
        s64 step = 1 + utf8_continuation_count(*position);
        position += step < end - position ? step : end - position;
    }

    if (effects != 0) do_glyph_substitutions(font, effects);
}

void add_glyph_to_temporaries(Sized_Font *font, Glyph_Data *glyph) {
    font->glyph_run.push_back(glyph);
    font->run_width += glyph->advance;
}

void do_glyph_substitutions(Sized_Font *font, Text_Effects effects) {
    if (effects & LINING_FIGURES) {
        for (Glyph_Data *&glyph : font->glyph_run) {
            if (Glyph_Data *s = single_substitute(font, font->lining_figures_feature, glyph)) glyph = s;
        }
    }
    if (effects & SMALL_CAPITALS) {
        for (Glyph_Data *&glyph : font->glyph_run) {
            // With lining figures on, digits keep their lining form (a substitute keeps
            // its source character's code point, so they are still known as digits).
            if ((effects & LINING_FIGURES) && glyph->utf32 >= '0' && glyph->utf32 <= '9') continue;
            if (Glyph_Data *s = single_substitute(font, font->small_caps_feature, glyph)) glyph = s;
        }
    }
}

Glyph_Data *single_substitute(Sized_Font *font, Gsub_Feature *feature, Glyph_Data *glyph) {
    if (!feature) return glyph;
    s64 index = substitute_glyph_index(feature, glyph->glyph_index_within_font);
    if (index < 0) return glyph;

    // Glyphs made by index are cached under the negated index.
    Glyph_Data *result = find_or_create_glyph(font, 0, (u32)index, (u64)-index);
    if (!result) return nullptr;
    result->utf32 = glyph->utf32;
    return result;
}
