// The glyph substitution (GSUB) table of an OpenType font, reduced to what text preparation
// uses: single substitutions (formats 1 and 2) and multiple substitutions cut to their
// first glyph, for the features "smcp" and "lnum". The raw table is parsed once into the
// records below and then dropped.
#pragma once

#include <memory>
#include <vector>

#include "types.h"

struct Sized_Font;

struct Coverage_Range {
    u32 start = 0;
    u32 end = 0;
    u32 start_coverage_index = 0;
};

struct Coverage_Table {
    s64 format = 0;
    std::vector<u16> glyphs;              // format 1
    std::vector<Coverage_Range> ranges;   // format 2
};

struct Gsub_Sequence {
    std::vector<u16> glyphs;
};

struct Gsub_Subtable {
    s64 format = 0;
    std::unique_ptr<Coverage_Table> coverage;  // none: the subtable covers nothing
    s64 delta = 0;                             // single substitution format 1, as stored (0..65535)
    std::vector<u16> substitutes;              // single substitution format 2
    std::vector<Gsub_Sequence> sequences;      // multiple substitution (lookup type 2)
};

struct Gsub_Lookup {
    u32 lookup_type = 0;  // 0 for a lookup index that named no lookup: it applies nothing
    u32 lookup_flag = 0;  // kept for reference; mark filtering and ignore flags are not applied
    std::vector<Gsub_Subtable> subtables;
};

struct Gsub_Feature {
    u32 tag = 0;     // the four letters as a big-endian number
    s64 table = 0;   // offset of the feature table in the raw GSUB bytes; only while loading
    bool expanded = false;
    std::vector<u16> lookup_indices;
    std::vector<Gsub_Lookup> lookups;
};

// Bounds-checked view of the raw table while it is parsed. Any read past either end sets
// `failed`; the table then does not hold together and the font gets no features.
struct Gsub_Reader {
    const u8 *data = nullptr;
    s64 length = 0;
    bool swap = false;
    bool failed = false;
    s64 expanded_bytes = 0;  // memory the expansion has asked for so far
};

// A table can name one subtable or coverage from many places; past this much expanded
// data a table is taken to be malformed rather than expanded without end.
constexpr s64 GSUB_MAX_EXPANDED_BYTES = 64 * 1024 * 1024;

constexpr u32 make_tag(const char (&letters)[5]) {
    return ((u32)(u8)letters[0] << 24) | ((u32)(u8)letters[1] << 16) | ((u32)(u8)letters[2] << 8) | (u32)(u8)letters[3];
}

// Parses the raw table (version 1.0 only) into the font's `features` and expands "smcp"
// and "lnum". False, with no features, for another version or a table that does not hold
// together. Sets `needs_byte_swap`.
bool read_gsub_table(Sized_Font *font, const u8 *table, s64 length);

Gsub_Feature *find_feature(Sized_Font *font, const char (&tag)[5]);
void expand_feature(Gsub_Reader *reader, Gsub_Feature *feature, s64 lookup_list);
std::unique_ptr<Coverage_Table> read_coverage_table(Gsub_Reader *reader, s64 position);
void read_sequence_table_entry(Gsub_Reader *reader, Gsub_Sequence *sequence, s64 position);

// Position of the glyph index within the coverage, -1 when not covered (or no coverage).
s64 get_index_within_coverage_table(const Coverage_Table *coverage, u32 glyph_index);

// The glyph index the feature substitutes for the given one, -1 when none applies. The
// first subtable that covers the glyph and can give a substitute decides; one whose
// coverage index lies past its substitutes or sequences, or whose sequence is empty, is
// passed over.
s64 substitute_glyph_index(const Gsub_Feature *feature, u32 glyph_index);
