// Reading the GSUB table into the font's features, and looking substitutes up in them.
// Every read is checked against the table's length: fonts can come from the working
// directory, so the table is untrusted input.
#include "gsub.h"

#include <cstring>

#include "font.h"

// --- reading ---

static u16 swap16(u16 v) { return (u16)((v >> 8) | (v << 8)); }
static u32 swap32(u32 v) { return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24); }

// True when `bytes` bytes from `at` lie inside the table; otherwise marks the table failed.
static bool fits(Gsub_Reader *reader, s64 at, s64 bytes) {
    if (at < 0 || bytes < 0 || at > reader->length || bytes > reader->length - at) {
        reader->failed = true;
        return false;
    }
    return true;
}

static u16 read_u16(Gsub_Reader *reader, s64 at) {
    if (!fits(reader, at, 2)) return 0;
    u16 value;
    memcpy(&value, reader->data + at, 2);
    return reader->swap ? swap16(value) : value;
}

static u32 read_u32(Gsub_Reader *reader, s64 at) {
    if (!fits(reader, at, 4)) return 0;
    u32 value;
    memcpy(&value, reader->data + at, 4);
    return reader->swap ? swap32(value) : value;
}

// Accounts for memory about to be allocated for expanded records.
static bool charge(Gsub_Reader *reader, s64 bytes) {
    reader->expanded_bytes += bytes;
    if (reader->expanded_bytes > GSUB_MAX_EXPANDED_BYTES) reader->failed = true;
    return !reader->failed;
}

// Reads `count` u16 values from `at` into `out`, after checking that they all lie inside.
static bool read_u16_array(Gsub_Reader *reader, s64 at, s64 count, std::vector<u16> *out) {
    if (!fits(reader, at, count * 2) || !charge(reader, count * (s64)sizeof(u16))) return false;
    out->resize((size_t)count);
    for (s64 i = 0; i < count; i++) (*out)[(size_t)i] = read_u16(reader, at + 2 * i);
    return true;
}

bool read_gsub_table(Sized_Font *font, const u8 *table, s64 length) {
    font->features.clear();
    font->small_caps_feature = nullptr;
    font->lining_figures_feature = nullptr;
    if (!table || length < 4) return false;

    // The version as the host reads it tells the byte order: 1.0 is 00 01 00 00.
    u32 version;
    memcpy(&version, table, 4);
    if (version == 0x00000100) {
        font->needs_byte_swap = true;
    } else if (version == 0x00010000) {
        font->needs_byte_swap = false;
    } else {
        return false;
    }

    Gsub_Reader reader;
    reader.data = table;
    reader.length = length;
    reader.swap = font->needs_byte_swap;

    s64 feature_list = read_u16(&reader, 6);
    s64 lookup_list = read_u16(&reader, 8);
    s64 feature_count = read_u16(&reader, feature_list);
    if (fits(&reader, feature_list + 2, feature_count * 6) &&
        charge(&reader, feature_count * (s64)sizeof(Gsub_Feature))) {
        font->features.resize((size_t)feature_count);
        for (s64 i = 0; i < feature_count; i++) {
            s64 record = feature_list + 2 + 6 * i;
            Gsub_Feature *feature = &font->features[(size_t)i];
            feature->tag = read_u32(&reader, record);
            feature->table = feature_list + read_u16(&reader, record + 4);
        }
    }

    if (!reader.failed) {
        font->small_caps_feature = find_feature(font, "smcp");
        font->lining_figures_feature = find_feature(font, "lnum");
        expand_feature(&reader, font->small_caps_feature, lookup_list);
        expand_feature(&reader, font->lining_figures_feature, lookup_list);
    }

    if (reader.failed) {
        font->features.clear();
        font->small_caps_feature = nullptr;
        font->lining_figures_feature = nullptr;
        return false;
    }
    return true;
}

Gsub_Feature *find_feature(Sized_Font *font, const char (&tag)[5]) {
    u32 wanted = make_tag(tag);
    for (Gsub_Feature &feature : font->features) {
        if (feature.tag == wanted) return &feature;
    }
    return nullptr;
}

void expand_feature(Gsub_Reader *reader, Gsub_Feature *feature, s64 lookup_list) {
    if (!feature || feature->expanded) return;
    feature->expanded = true;

    s64 lookup_index_count = read_u16(reader, feature->table + 2);
    if (!read_u16_array(reader, feature->table + 4, lookup_index_count, &feature->lookup_indices)) return;
    if (!charge(reader, lookup_index_count * (s64)sizeof(Gsub_Lookup))) return;
    feature->lookups.resize((size_t)lookup_index_count);

    s64 lookup_count = read_u16(reader, lookup_list);
    for (s64 v = 0; v < lookup_index_count && !reader->failed; v++) {
        s64 index = feature->lookup_indices[(size_t)v];
        // An index past the lookup list leaves this lookup empty: it applies nothing.
        if (index >= lookup_count) continue;

        Gsub_Lookup *lookup = &feature->lookups[(size_t)v];
        s64 lookup_at = lookup_list + read_u16(reader, lookup_list + 2 + 2 * index);
        lookup->lookup_type = read_u16(reader, lookup_at);
        lookup->lookup_flag = read_u16(reader, lookup_at + 2);
        s64 subtable_count = read_u16(reader, lookup_at + 4);
        if (!fits(reader, lookup_at + 6, subtable_count * 2)) return;
        if (!charge(reader, subtable_count * (s64)sizeof(Gsub_Subtable))) return;
        lookup->subtables.resize((size_t)subtable_count);

        for (s64 k = 0; k < subtable_count && !reader->failed; k++) {
            Gsub_Subtable *subtable = &lookup->subtables[(size_t)k];
            s64 at = lookup_at + read_u16(reader, lookup_at + 6 + 2 * k);
            subtable->format = read_u16(reader, at);

            if (lookup->lookup_type == 1) {
                subtable->coverage = read_coverage_table(reader, at + read_u16(reader, at + 2));
                if (subtable->format == 1) {
                    subtable->delta = read_u16(reader, at + 4);
                } else if (subtable->format == 2) {
                    s64 glyph_count = read_u16(reader, at + 4);
                    read_u16_array(reader, at + 6, glyph_count, &subtable->substitutes);
                }
            } else if (lookup->lookup_type == 2) {
                subtable->coverage = read_coverage_table(reader, at + read_u16(reader, at + 2));
                s64 sequence_count = read_u16(reader, at + 4);
                if (!fits(reader, at + 6, sequence_count * 2)) return;
                if (!charge(reader, sequence_count * (s64)sizeof(Gsub_Sequence))) return;
                subtable->sequences.resize((size_t)sequence_count);
                for (s64 i = 0; i < sequence_count && !reader->failed; i++) {
                    read_sequence_table_entry(reader, &subtable->sequences[(size_t)i],
                                              at + read_u16(reader, at + 6 + 2 * i));
                }
            }
        }
    }
}

std::unique_ptr<Coverage_Table> read_coverage_table(Gsub_Reader *reader, s64 position) {
    auto coverage = std::make_unique<Coverage_Table>();
    coverage->format = read_u16(reader, position);
    if (coverage->format == 1) {
        s64 glyph_count = read_u16(reader, position + 2);
        if (glyph_count == 0) return nullptr;
        if (!read_u16_array(reader, position + 4, glyph_count, &coverage->glyphs)) return nullptr;
    } else if (coverage->format == 2) {
        s64 range_count = read_u16(reader, position + 2);
        if (!fits(reader, position + 4, range_count * 6)) return nullptr;
        if (!charge(reader, range_count * (s64)sizeof(Coverage_Range))) return nullptr;
        coverage->ranges.resize((size_t)range_count);
        for (s64 i = 0; i < range_count; i++) {
            Coverage_Range *range = &coverage->ranges[(size_t)i];
            range->start = read_u16(reader, position + 4 + 6 * i);
            range->end = read_u16(reader, position + 6 + 6 * i);
            range->start_coverage_index = read_u16(reader, position + 8 + 6 * i);
        }
    }
    if (reader->failed) return nullptr;
    return coverage;
}

void read_sequence_table_entry(Gsub_Reader *reader, Gsub_Sequence *sequence, s64 position) {
    s64 glyph_count = read_u16(reader, position);
    read_u16_array(reader, position + 2, glyph_count, &sequence->glyphs);
}

// --- lookup ---

s64 get_index_within_coverage_table(const Coverage_Table *coverage, u32 glyph_index) {
    if (!coverage) return -1;
    if (coverage->format == 1) {
        for (size_t i = 0; i < coverage->glyphs.size(); i++) {
            if (coverage->glyphs[i] == glyph_index) return (s64)i;
        }
        return -1;
    }
    if (coverage->format == 2) {
        for (const Coverage_Range &range : coverage->ranges) {
            if (range.start <= glyph_index && glyph_index <= range.end) {
                return (s64)glyph_index + range.start_coverage_index - range.start;
            }
        }
        return -1;
    }
    return -1;
}

s64 substitute_glyph_index(const Gsub_Feature *feature, u32 glyph_index) {
    if (!feature) return -1;
    for (const Gsub_Lookup &lookup : feature->lookups) {
        for (const Gsub_Subtable &subtable : lookup.subtables) {
            s64 i = get_index_within_coverage_table(subtable.coverage.get(), glyph_index);
            if (i < 0) continue;

            if (lookup.lookup_type == 1) {
                if (subtable.format == 1) return (s64)((glyph_index + (u64)subtable.delta) % 65536);
                if (subtable.format == 2 && i < (s64)subtable.substitutes.size()) return subtable.substitutes[(size_t)i];
            } else if (lookup.lookup_type == 2) {
                if (i < (s64)subtable.sequences.size() && !subtable.sequences[(size_t)i].glyphs.empty()) {
                    return subtable.sequences[(size_t)i].glyphs[0];
                }
            }
        }
    }
    return -1;
}
