// Text drawn for real: OpenGL on an X display (Xvfb here, natively and under Wine), read
// back from the frame and compared with the glyph bitmaps on the font pages.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "font_page.h"
#include "render.h"
#include "text_test_fonts.h"
#include "window_creation.h"
#include "gl/gl_context.h"

namespace {

constexpr s32 WIDTH = 160;
constexpr s32 HEIGHT = 50;

struct Rgb {
    s32 r, g, b;
};

class TextDrawing : public testing::Test {
protected:
    static Window_Type window;

    static void SetUpTestSuite() {
        const char *display = getenv("DISPLAY");
        if (!display || !*display) return;
        window = custom_create_window(WIDTH, HEIGHT, "Korvane text test", -1, -1, {}, gl_window_pixel_format(0));
        if (!window) return;
        prepare_window(window, 0);
        set_render_target(window, Coordinate_System::RIGHT_HANDED);
        update_window(window);
    }

    void SetUp() override {
        if (!window) GTEST_SKIP() << "no display: DISPLAY is not set or no window could be made";
        if (!renderer_available()) GTEST_SKIP() << "no OpenGL renderer on this display";
    }

    // The frame as drawn so far, bottom row first (from the back buffer: the front buffer
    // reads black under Xvfb).
    static std::vector<u8> read_frame() {
        std::vector<u8> rgb((size_t)WIDTH * HEIGHT * 3);
        gl.glReadBuffer(GL_BACK);
        gl.glPixelStorei(GL_PACK_ALIGNMENT, 1);
        gl.glReadPixels(0, 0, WIDTH, HEIGHT, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        return rgb;
    }
};
Window_Type TextDrawing::window = 0;

TEST_F(TextDrawing, InkWhereTheGlyphsHaveCoverageBackgroundElsewhere) {
    Sized_Font *font = get_font_at_size(window_font_bytes(), 25);
    ASSERT_NE(font, nullptr);

    for (const char *text : {"0mb", "12.5mb"}) {
        SCOPED_TRACE(text);
        clear_render_target(0.03f, 0.08f, 0.01f, 1.0f);
        std::vector<u8> background = read_frame();
        Rgb paper = {background[0], background[1], background[2]};

        prepare_text(font, text, 0);
        const s64 pen_x = 7, pen_y = 18;
        draw_prepared_text(font, pen_x, pen_y, {1, 1, 1, 1});
        std::vector<u8> frame = read_frame();

        // The expected frame: each glyph's coverage blended over what lies below, white ink.
        std::vector<f32> expected((size_t)WIDTH * HEIGHT * 3);
        for (size_t i = 0; i < expected.size(); i++) expected[i] = (f32)background[i];
        s64 pen = pen_x;
        s64 ink_pixels = 0;
        for (const Glyph_Data *glyph : font->glyph_run) {
            ASSERT_NE(glyph->page, nullptr);
            const Bitmap *page = glyph->page->bitmap_data;
            s64 left = pen + glyph->offset_x, bottom = pen_y + glyph->ascent - (s64)glyph->height;
            for (s64 row = 0; row < glyph->height; row++) {
                for (s64 column = 0; column < glyph->width; column++) {
                    s64 x = left + column, y = bottom + row;
                    ASSERT_TRUE(x >= 0 && x < WIDTH && y >= 0 && y < HEIGHT);
                    u8 coverage = page->data.data[(glyph->y0 + row) * page->stride + (glyph->x0 + column) * 4 + 3];
                    f32 a = coverage / 255.0f;
                    for (int c = 0; c < 3; c++) {
                        f32 &e = expected[((size_t)y * WIDTH + (size_t)x) * 3 + (size_t)c];
                        e = 255.0f * a + e * (1 - a);
                    }
                    ink_pixels += coverage == 255;
                }
            }
            pen += glyph->advance;
        }
        EXPECT_GT(ink_pixels, 50);

        s64 mismatches = 0;
        for (s32 y = 0; y < HEIGHT; y++) {
            for (s32 x = 0; x < WIDTH; x++) {
                for (int c = 0; c < 3; c++) {
                    size_t i = ((size_t)y * WIDTH + (size_t)x) * 3 + (size_t)c;
                    if (std::abs((f32)frame[i] - expected[i]) > 3.0f) {
                        if (mismatches++ < 5) {
                            ADD_FAILURE() << "pixel (" << x << ", " << y << ") channel " << c << ": "
                                          << (int)frame[i] << ", expected " << expected[i]
                                          << " (paper " << paper.r << " " << paper.g << " " << paper.b << ")";
                        }
                    }
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
    swap_buffers(window);
}

}  // namespace
