// Laying a glyph run out as quads: corners in both coordinate systems, texture
// coordinates on the page, glyphs without a page passed over.
#include <gtest/gtest.h>

#include "font_page.h"
#include "render.h"

namespace {

struct Quad_Case {
    Coordinate_System system;
    f32 low, high;     // y of p0/p1 and of p2/p3
    f32 v0, v1;        // tex_v0 (at p0/p1) and tex_v1
};

TEST(TextQuads, CornersAndTextureCoordinatesInBothCoordinateSystems) {
    Bitmap bitmap;  // only its size matters here
    bitmap.width = 2048;
    bitmap.height = 1024;
    Font_Page page;
    page.bitmap_data = &bitmap;

    Glyph_Data glyph;
    glyph.page = &page;
    glyph.x0 = 100;
    glyph.y0 = 200;
    glyph.width = 7;
    glyph.height = 12;
    glyph.ascent = 10;
    glyph.offset_x = 1;
    glyph.advance = 8;
    Glyph_Data too_large = glyph;  // no page: neither drawn nor advancing the pen
    too_large.page = nullptr;

    Sized_Font font;
    font.glyph_run = {&glyph, &too_large, &glyph};

    const Quad_Case cases[] = {
        // Ascent 10 and height 12 at pen y 100: 98..110 with y up, 90..102 with y down.
        {Coordinate_System::RIGHT_HANDED, 98, 110, 200 / 1024.0f, 212 / 1024.0f},
        {Coordinate_System::LEFT_HANDED, 90, 102, 212 / 1024.0f, 200 / 1024.0f},
    };
    Coordinate_System saved = get_immediate_state()->coordinate_system;
    for (const Quad_Case &c : cases) {
        get_immediate_state()->coordinate_system = c.system;
        generate_quads_for_prepared_text(&font, 50, 100);
        ASSERT_EQ(font.quads.size(), 2u);
        for (size_t i = 0; i < 2; i++) {
            const Letter_Quad &q = font.quads[i];
            f32 left = 51 + 8.0f * (f32)i;
            EXPECT_EQ(q.glyph, &glyph);
            EXPECT_EQ(q.p0.x, left);
            EXPECT_EQ(q.p0.y, c.low);
            EXPECT_EQ(q.p1.x, left + 7);
            EXPECT_EQ(q.p1.y, c.low);
            EXPECT_EQ(q.p2.x, left + 7);
            EXPECT_EQ(q.p2.y, c.high);
            EXPECT_EQ(q.p3.x, left);
            EXPECT_EQ(q.p3.y, c.high);
            EXPECT_FLOAT_EQ(q.tex_u0, 100 / 2048.0f);
            EXPECT_FLOAT_EQ(q.tex_u1, 107 / 2048.0f);
            EXPECT_FLOAT_EQ(q.tex_v0, c.v0);
            EXPECT_FLOAT_EQ(q.tex_v1, c.v1);
        }
    }
    get_immediate_state()->coordinate_system = saved;

    font.glyph_run.clear();
    generate_quads_for_prepared_text(&font, 0, 0);
    EXPECT_TRUE(font.quads.empty());
}

}  // namespace
