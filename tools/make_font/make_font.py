#!/usr/bin/python3
# Makes the window's TrueType font from its pixel drawing: every ink pixel of
# assets/QuanPixelSmall.glyphs becomes 100 x 100 units of outline in an 800-unit em
# (neighbours in a row share one rectangle).
# Remake the committed font from the top of the checkout with:
#     /usr/bin/python3 tools/make_font/make_font.py
# (Debian's python3-fonttools; the output is byte-for-byte the same on every run.)
#
# tools/make_font/make_fixture_fonts.py uses the reader and builder below for the
# small test fonts under tests/fixtures/fonts/.

import argparse
import os
import sys

from fontTools.agl import UV2AGL
from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import newTable
from fontTools.ttLib.tables import ttProgram

UNITS_PER_PIXEL = 100
ROWS = 8             # rows per glyph drawing
ROWS_ABOVE = 6       # rows standing on the baseline; the rest hang below it
UNITS_PER_EM = ROWS * UNITS_PER_PIXEL
ASCENDER = ROWS_ABOVE * UNITS_PER_PIXEL
DESCENDER = -(ROWS - ROWS_ABOVE) * UNITS_PER_PIXEL

# head.created and head.modified, seconds since 1904-01-01: fixed so that re-running
# the generator gives identical bytes (2025-12-11 00:00:00 UTC).
FIXED_TIMESTAMP = 3879705600

FAMILY_NAME = "Korvane Pixel"
STYLE_NAME = "Regular"
VERSION = "1.000"

CHECKOUT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
DEFAULT_SOURCE = os.path.join(CHECKOUT, "assets", "QuanPixelSmall.glyphs")
DEFAULT_OUTPUT = os.path.join(CHECKOUT, "assets", "QuanPixelSmall.ttf")


class Glyph:
    def __init__(self, name, code_point, advance, rows, line_number):
        self.name = name              # glyph name inside the font
        self.code_point = code_point  # None for unencoded glyphs (.notdef, alternates)
        self.advance = advance        # pixels
        self.rows = rows              # ROWS strings of '#' and '.', top row first
        self.line_number = line_number


class SourceError(Exception):
    pass


def glyph_name_for(code_point):
    return UV2AGL.get(code_point, "uni%04X" % code_point)


def read_glyph_source(path):
    """Reads a glyph drawing file; returns the glyphs in file order."""
    glyphs = []
    current = None
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")

    def finish(glyph):
        if glyph is None:
            return
        where = "%s:%d" % (path, glyph.line_number)
        if len(glyph.rows) != ROWS:
            raise SourceError("%s: glyph %s has %d rows, wants %d" % (where, glyph.name, len(glyph.rows), ROWS))
        widths = {len(r) for r in glyph.rows}
        if len(widths) != 1:
            raise SourceError("%s: rows of glyph %s differ in width" % (where, glyph.name))
        width = widths.pop()
        if width > glyph.advance:
            raise SourceError("%s: glyph %s is %d pixels wide but advances only %d" % (where, glyph.name, width, glyph.advance))
        for r in glyph.rows:
            if set(r) - {"#", "."}:
                raise SourceError("%s: glyph %s has a row with other characters than '#' and '.'" % (where, glyph.name))
        glyphs.append(glyph)

    for number, raw in enumerate(lines, 1):
        line = raw.rstrip()
        if line.startswith(";"):
            continue
        if line.startswith("=="):
            finish(current)
            words = line[2:].split()
            if len(words) < 3 or words[-2] != "advance":
                raise SourceError("%s:%d: a header reads '== U+0041 A advance 6' or '== name advance 6'" % (path, number))
            advance = int(words[-1])
            if words[0].upper().startswith("U+"):
                code_point = int(words[0][2:], 16)
                name = glyph_name_for(code_point)
            else:
                code_point = None
                name = words[0]
            current = Glyph(name, code_point, advance, [], number)
            continue
        if not line:
            continue
        if current is None:
            raise SourceError("%s:%d: pixels before the first glyph header" % (path, number))
        current.rows.append(line)
    finish(current)

    seen_names = set()
    seen_code_points = set()
    for g in glyphs:
        if g.name in seen_names:
            raise SourceError("%s:%d: glyph %s drawn twice" % (path, g.line_number, g.name))
        seen_names.add(g.name)
        if g.code_point is not None:
            if g.code_point in seen_code_points:
                raise SourceError("%s:%d: U+%04X drawn twice" % (path, g.line_number, g.code_point))
            seen_code_points.add(g.code_point)
    return glyphs


def glyph_outline(glyph):
    """One closed rectangle per run of ink pixels in a row.

    Contours run clockwise (TrueType's outer direction, y up): left edge up, top edge
    right, right edge down. Neighbouring runs only touch, so no contour overlaps another.
    """
    pen = TTGlyphPen(None)
    for row_index, row in enumerate(glyph.rows):
        y_top = (ROWS_ABOVE - row_index) * UNITS_PER_PIXEL
        y_bottom = y_top - UNITS_PER_PIXEL
        column = 0
        while column < len(row):
            if row[column] != "#":
                column += 1
                continue
            start = column
            while column < len(row) and row[column] == "#":
                column += 1
            x_left = start * UNITS_PER_PIXEL
            x_right = column * UNITS_PER_PIXEL
            pen.moveTo((x_left, y_bottom))
            pen.lineTo((x_left, y_top))
            pen.lineTo((x_right, y_top))
            pen.lineTo((x_right, y_bottom))
            pen.closePath()
    return pen.glyph()


# --- grid fitting ---
# At sizes that are not a whole multiple of 8 pixels (the window uses 25) a design pixel
# covers a fractional number of screen pixels, and plain scaling leaves grey half-covered
# rows and columns at every edge. Each glyph therefore rounds every outline point to the
# pixel grid in both directions: edges stay sharp, and design pixels come out one screen
# pixel wider or narrower here and there. At 8 and 16 pixels nothing moves.

# Function 0, called with the glyph's point count n (n >= 1) on the stack:
# for i = n - 1 down to 0, round point i in x and in y (MDAP with rounding).
ROUND_ALL_POINTS = bytes([
    0xB0, 0x00,        # PUSHB[0] 0        function number
    0x2C,              # FDEF[]
    0xB0, 0x01,        # loop: PUSHB[0] 1                      n
    0x61,              # SUB[]                                 i = n - 1
    0x01,              # SVTCA[1]          x axis
    0x20,              # DUP[]                                 i i
    0x2F,              # MDAP[1]           round point i       i
    0x00,              # SVTCA[0]          y axis
    0x20,              # DUP[]                                 i i
    0x2F,              # MDAP[1]                               i
    0x20,              # DUP[]                                 i i
    0xB8, 0xFF, 0xF2,  # PUSHW[0] -14      back to loop:       i i -14
    0x23,              # SWAP[]                                i -14 i
    0x78,              # JROT[]            while i != 0        i
    0x21,              # POP[]
    0x2D,              # ENDF[]
])

# Control program: let x moves through. Without this, FreeType's default interpreter
# ignores horizontal hinting for compatibility with old fonts.
ALLOW_HORIZONTAL_HINTING = bytes([
    0xB1, 0x04, 0x03,  # PUSHB[1] 4 3      value 4, selector 3
    0x8E,              # INSTCTRL[]
])


def program(code):
    p = ttProgram.Program()
    p.fromBytecode(code)
    return p


def add_grid_fitting(fb):
    font = fb.font
    font["fpgm"] = newTable("fpgm")
    font["fpgm"].program = program(ROUND_ALL_POINTS)
    font["prep"] = newTable("prep")
    font["prep"].program = program(ALLOW_HORIZONTAL_HINTING)
    glyf = font["glyf"]
    longest = 0
    for name in font.getGlyphOrder():
        g = glyf[name]
        if g.numberOfContours <= 0:
            continue
        points = len(g.coordinates)
        if points > 255:
            raise SourceError("glyph %s has %d outline points; one PUSHB holds at most 255" % (name, points))
        code = bytes([0xB1, points, 0x00, 0x2B])  # PUSHB[1] n 0, CALL[]
        g.program = program(code)
        longest = max(longest, len(code))
    maxp = font["maxp"]
    maxp.maxZones = 1
    maxp.maxFunctionDefs = 1
    maxp.maxStackElements = 8
    maxp.maxSizeOfInstructions = longest


def build_font(glyphs, family_name=FAMILY_NAME, style_name=STYLE_NAME):
    """A FontBuilder holding the glyphs (the first must be .notdef); tables may be added before save()."""
    if not glyphs or glyphs[0].name != ".notdef":
        raise SourceError("the first glyph must be .notdef")
    order = [g.name for g in glyphs]
    fb = FontBuilder(UNITS_PER_EM, isTTF=True)
    # save() would otherwise stamp head.modified with the current time.
    fb.font.recalcTimestamp = False
    fb.setupGlyphOrder(order)
    fb.setupCharacterMap({g.code_point: g.name for g in glyphs if g.code_point is not None})
    outlines = {g.name: glyph_outline(g) for g in glyphs}
    fb.setupGlyf(outlines)
    glyf = fb.font["glyf"]
    metrics = {}
    for g in glyphs:
        outline = glyf[g.name]
        outline.recalcBounds(glyf)
        lsb = outline.xMin if outline.numberOfContours else 0
        metrics[g.name] = (g.advance * UNITS_PER_PIXEL, lsb)
    fb.setupHorizontalMetrics(metrics)
    fb.setupHorizontalHeader(ascent=ASCENDER, descent=DESCENDER, lineGap=0)
    fb.setupHead(
        unitsPerEm=UNITS_PER_EM,
        fontRevision=float(VERSION),
        created=FIXED_TIMESTAMP,
        modified=FIXED_TIMESTAMP,
        # baseline at y = 0, sizes in whole pixels (fontTools sets bit 1 itself)
        flags=0x0009,
        lowestRecPPEM=8,
    )
    fb.setupOS2(
        achVendID="KRVN",
        usWeightClass=400,
        fsType=0,
        fsSelection=0x0040,  # regular
        sTypoAscender=ASCENDER,
        sTypoDescender=DESCENDER,
        sTypoLineGap=0,
        usWinAscent=ASCENDER,
        usWinDescent=-DESCENDER,
        sxHeight=4 * UNITS_PER_PIXEL,
        sCapHeight=6 * UNITS_PER_PIXEL,
        ulUnicodeRange1=1,   # Basic Latin
        ulCodePageRange1=1,  # Latin 1
    )
    fb.setupNameTable({
        "familyName": family_name,
        "styleName": style_name,
        "uniqueFontIdentifier": "%s %s %s" % (family_name, style_name, VERSION),
        "fullName": "%s %s" % (family_name, style_name),
        "version": "Version " + VERSION,
        "psName": "%s-%s" % (family_name.replace(" ", ""), style_name),
        "description": "8-pixel font of the Korvane updater window",
    })
    fb.setupPost(underlinePosition=-UNITS_PER_PIXEL, underlineThickness=UNITS_PER_PIXEL)
    fb.setupMaxp()
    add_grid_fitting(fb)
    return fb


def check_window_font(fb):
    """What the window's text code relies on: raises on any difference."""
    font = fb.font
    glyf = font["glyf"]
    y_min = min(glyf[n].yMin for n in font.getGlyphOrder() if glyf[n].numberOfContours)
    y_max = max(glyf[n].yMax for n in font.getGlyphOrder() if glyf[n].numberOfContours)
    cmap = font.getBestCmap()
    problems = []
    if (y_min, y_max) != (DESCENDER, ASCENDER):
        problems.append("ink spans %d..%d, wants %d..%d (some glyph must reach each)" % (y_min, y_max, DESCENDER, ASCENDER))
    if sorted(cmap) != list(range(0x20, 0x7F)):
        problems.append("characters must be exactly U+0020..U+007E")
    for absent in (0xFFFD, 0x2022):
        if absent in cmap:
            problems.append("U+%04X must not be in the font: '?' is the unknown-character glyph" % absent)
    if problems:
        raise SourceError("; ".join(problems))


def save(fb, path):
    fb.save(path)


def main():
    parser = argparse.ArgumentParser(description="Make the window's pixel font from its glyph drawing.")
    parser.add_argument("--source", default=DEFAULT_SOURCE, help="glyph drawing (default: assets/QuanPixelSmall.glyphs)")
    parser.add_argument("--output", default=DEFAULT_OUTPUT, help="TrueType file to write (default: assets/QuanPixelSmall.ttf)")
    args = parser.parse_args()
    try:
        glyphs = read_glyph_source(args.source)
        fb = build_font(glyphs)
        check_window_font(fb)
    except SourceError as e:
        print("make_font: %s" % e, file=sys.stderr)
        return 1
    save(fb, args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
