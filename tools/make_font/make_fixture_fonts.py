#!/usr/bin/python3
# Makes the small fonts under tests/fixtures/fonts/ that the text tests load: a font
# whose GSUB table has the "smcp" and "lnum" features, the same table as version 1.1,
# copies with deliberately broken GSUB bytes, and a file that is no font at all.
# Remake all of them from the top of the checkout with:
#     /usr/bin/python3 tools/make_font/make_fixture_fonts.py
# tests/fixtures/fonts/README.md lists the glyph ids and the expected substitutions;
# change it together with this file.
#
# The GSUB table is written byte by byte here (not compiled by fontTools), so that every
# offset stays where the README and the broken variants say it is.

import argparse
import os
import struct
import sys

from fontTools.ttLib.tables.DefaultTable import DefaultTable

import make_font

FIXTURE_DIR = os.path.join(make_font.CHECKOUT, "tests", "fixtures", "fonts")
ALTERNATES_SOURCE = os.path.join(FIXTURE_DIR, "fixture_glyphs.glyphs")

# Glyph ids are positions in this list. 'a' must sit at 10 and its small capital at 9:
# the format-1 substitution with delta 0xFFFF turns 10 into 9.
GLYPH_ORDER = [
    ".notdef",    # 0
    "space",      # 1  U+0020
    "zero",       # 2  U+0030
    "one",        # 3  U+0031
    "two",        # 4  U+0032
    "zero.lnum",  # 5
    "one.lnum",   # 6
    "two.lnum",   # 7
    "zero.sc",    # 8
    "a.sc",       # 9
    "a",          # 10 U+0061
    "b",          # 11 U+0062
    "c",          # 12 U+0063
    "d",          # 13 U+0064
    "b.sc",       # 14
    "c.sc",       # 15
    "d.sc",       # 16
    "e",          # 17 U+0065
    "e.sc",       # 18
    "e.tail",     # 19
    "question",   # 20 U+003F
]
G = {name: index for index, name in enumerate(GLYPH_ORDER)}


# --- a tiny table writer: pieces laid out in order, offsets resolved afterwards ---

class U16:
    size = 2

    def __init__(self, value):
        self.value = value


class U32:
    size = 4

    def __init__(self, value):
        self.value = value


class Tag:
    size = 4

    def __init__(self, text):
        self.value = text.encode("ascii")


class Offset16:
    """Offset of piece `target` from the start of piece `base`."""
    size = 2

    def __init__(self, target, base):
        self.target = target
        self.base = base


class Writer:
    def __init__(self):
        self.pieces = []

    def add(self, name, *fields):
        self.pieces.append((name, fields))

    def layout(self):
        """Returns (bytes, {piece name: offset from the start of the table})."""
        where = {}
        position = 0
        for name, fields in self.pieces:
            assert name not in where, name
            where[name] = position
            position += sum(f.size for f in fields)
        out = bytearray()
        for name, fields in self.pieces:
            for f in fields:
                if isinstance(f, U16):
                    out += struct.pack(">H", f.value)
                elif isinstance(f, U32):
                    out += struct.pack(">I", f.value)
                elif isinstance(f, Tag):
                    out += f.value
                else:
                    out += struct.pack(">H", where[f.target] - where[f.base])
        return bytes(out), where


def u16s(values):
    return [U16(v) for v in values]


def gsub_table(version_1_1=False):
    """The GSUB table of gsub_features.ttf (or its version 1.1 twin)."""
    w = Writer()
    header = [U32(0x00010001 if version_1_1 else 0x00010000),
              Offset16("script list", "header"),
              Offset16("feature list", "header"),
              Offset16("lookup list", "header")]
    if version_1_1:
        header.append(U32(0))  # no feature variations
    w.add("header", *header)

    # Both scripts use both features through their default language system.
    w.add("script list", U16(2),
          Tag("DFLT"), Offset16("DFLT script", "script list"),
          Tag("latn"), Offset16("latn script", "script list"))
    for script in ("DFLT", "latn"):
        w.add(script + " script", Offset16(script + " langsys", script + " script"), U16(0))
        w.add(script + " langsys", U16(0), U16(0xFFFF), U16(2), U16(0), U16(1))

    # Feature records in tag order: lnum is feature 0, smcp feature 1.
    w.add("feature list", U16(2),
          Tag("lnum"), Offset16("lnum feature", "feature list"),
          Tag("smcp"), Offset16("smcp feature", "feature list"))
    w.add("lnum feature", U16(0), U16(1), U16(3))
    w.add("smcp feature", U16(0), U16(3), U16(0), U16(1), U16(2))

    w.add("lookup list", U16(4), *[Offset16("lookup %d" % i, "lookup list") for i in range(4)])

    # Lookup 0, single substitution in two subtables. Subtable 0 (format 1, delta 0xFFFF)
    # covers only 'a'; subtable 1 (format 2) covers b, c, d, so for those the first
    # subtable misses and the second one decides.
    w.add("lookup 0", U16(1), U16(0), U16(2),
          Offset16("lookup 0 subtable 0", "lookup 0"), Offset16("lookup 0 subtable 1", "lookup 0"))
    w.add("lookup 0 subtable 0", U16(1), Offset16("lookup 0 subtable 0 coverage", "lookup 0 subtable 0"), U16(0xFFFF))
    w.add("lookup 0 subtable 0 coverage", U16(1), U16(1), U16(G["a"]))
    w.add("lookup 0 subtable 1", U16(2), Offset16("lookup 0 subtable 1 coverage", "lookup 0 subtable 1"),
          U16(3), *u16s([G["b.sc"], G["c.sc"], G["d.sc"]]))
    # Two ranges; the second starts at coverage index 2, so d takes the third substitute.
    w.add("lookup 0 subtable 1 coverage", U16(2), U16(2),
          U16(G["b"]), U16(G["c"]), U16(0),
          U16(G["d"]), U16(G["d"]), U16(2))

    # Lookup 1, multiple substitution: e -> e.sc e.tail (the program keeps the first).
    w.add("lookup 1", U16(2), U16(0), U16(1), Offset16("lookup 1 subtable 0", "lookup 1"))
    w.add("lookup 1 subtable 0", U16(1), Offset16("lookup 1 subtable 0 coverage", "lookup 1 subtable 0"),
          U16(1), Offset16("lookup 1 sequence 0", "lookup 1 subtable 0"))
    w.add("lookup 1 subtable 0 coverage", U16(1), U16(1), U16(G["e"]))
    w.add("lookup 1 sequence 0", U16(2), U16(G["e.sc"]), U16(G["e.tail"]))

    # Lookup 2, small capitals of the zero, also of its lining form: with both features
    # a digit must keep its lining form, which this makes visible.
    w.add("lookup 2", U16(1), U16(0), U16(1), Offset16("lookup 2 subtable 0", "lookup 2"))
    w.add("lookup 2 subtable 0", U16(2), Offset16("lookup 2 subtable 0 coverage", "lookup 2 subtable 0"),
          U16(2), U16(G["zero.sc"]), U16(G["zero.sc"]))
    w.add("lookup 2 subtable 0 coverage", U16(1), U16(2), U16(G["zero"]), U16(G["zero.lnum"]))

    # Lookup 3 (lnum), format 1 with delta 3 over the range zero..two.
    w.add("lookup 3", U16(1), U16(0), U16(1), Offset16("lookup 3 subtable 0", "lookup 3"))
    w.add("lookup 3 subtable 0", U16(1), Offset16("lookup 3 subtable 0 coverage", "lookup 3 subtable 0"), U16(3))
    w.add("lookup 3 subtable 0 coverage", U16(2), U16(1), U16(G["zero"]), U16(G["two"]), U16(0))

    return w.layout()


def patched(table, at, value):
    """The table with the u16 at byte `at` replaced by `value`."""
    out = bytearray(table)
    out[at:at + 2] = struct.pack(">H", value)
    return bytes(out)


def broken_variants(table, where):
    """(file name, GSUB bytes) of every deliberately broken copy of the table."""
    end = len(table)
    past_end = 0xFF00
    assert past_end > end
    return [
        # The whole table stops being usable: the font gets no features at all.
        ("gsub_truncated.ttf", table[:8]),
        ("gsub_feature_list_past_end.ttf", patched(table, 6, past_end)),
        ("gsub_feature_count_too_large.ttf", patched(table, where["feature list"], 0x4000)),
        ("gsub_lookup_offset_past_end.ttf", patched(table, where["lookup list"] + 2 + 2 * 1, past_end)),
        ("gsub_subtable_count_too_large.ttf", patched(table, where["lookup 0"] + 4, 0x4000)),
        ("gsub_coverage_count_too_large.ttf", patched(table, where["lookup 1 subtable 0 coverage"] + 2, 0x4000)),
        ("gsub_sequence_count_too_large.ttf", patched(table, where["lookup 1 sequence 0"], 0x4000)),
        # Only one lookup or subtable is skipped; the rest still substitutes.
        ("gsub_lookup_index_past_list.ttf", patched(table, where["smcp feature"] + 4 + 2 * 1, 9)),
        ("gsub_coverage_index_past_substitutes.ttf", patched(table, where["lookup 0 subtable 1"] + 4, 2)),
        ("gsub_empty_sequence.ttf", patched(table, where["lookup 1 sequence 0"], 0)),
    ]


def fixture_glyphs():
    by_name = {g.name: g for g in make_font.read_glyph_source(make_font.DEFAULT_SOURCE)}
    for g in make_font.read_glyph_source(ALTERNATES_SOURCE):
        if g.name in by_name:
            raise make_font.SourceError("%s: %s is already in the window font" % (ALTERNATES_SOURCE, g.name))
        by_name[g.name] = g
    return [by_name[name] for name in GLYPH_ORDER]


def write_font(glyphs, gsub, path):
    fb = make_font.build_font(glyphs, family_name="Korvane Fixture")
    table = DefaultTable("GSUB")
    table.data = gsub
    fb.font["GSUB"] = table
    make_font.save(fb, path)


def main():
    parser = argparse.ArgumentParser(description="Make the GSUB test fonts.")
    parser.add_argument("--output-dir", default=FIXTURE_DIR)
    parser.add_argument("--layout", action="store_true", help="print where each piece of the GSUB table lies")
    args = parser.parse_args()

    glyphs = fixture_glyphs()
    table, where = gsub_table()
    if args.layout:
        for name, at in sorted(where.items(), key=lambda item: item[1]):
            print("%4d  %s" % (at, name))
        print("%4d  end of table" % len(table))
        return 0

    os.makedirs(args.output_dir, exist_ok=True)
    write_font(glyphs, table, os.path.join(args.output_dir, "gsub_features.ttf"))
    write_font(glyphs, gsub_table(version_1_1=True)[0], os.path.join(args.output_dir, "gsub_v1_1.ttf"))
    for name, broken in broken_variants(table, where):
        write_font(glyphs, broken, os.path.join(args.output_dir, name))
    with open(os.path.join(args.output_dir, "broken_not_a_font.ttf"), "wb") as f:
        f.write(b"not a font\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
