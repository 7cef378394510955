// Drawing glyph quads, watched through the renderer's recording OpenGL table: texture
// switches only at page changes, every batch drawn with its own page's texture, uploads
// only of dirty pages, blending around the text.
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "font_page.h"
#include "render_fixture.h"

namespace {

// What each glDrawArrays drew with: the bound texture, its filters and its vertex count.
struct Draw_Seen {
    s64 texture;
    s64 min_filter, mag_filter;
    s64 vertices;
    bool operator==(const Draw_Seen &) const = default;
};
void PrintTo(const Draw_Seen &d, std::ostream *out) {
    *out << "{texture " << d.texture << ", filters 0x" << std::hex << d.min_filter << "/0x" << d.mag_filter << std::dec
         << ", " << d.vertices << " vertices}";
}

std::vector<Draw_Seen> draws_seen(const std::vector<Gl_Call> &calls) {
    std::vector<Draw_Seen> draws;
    s64 bound = 0;
    std::map<s64, std::pair<s64, s64>> filters;
    for (const Gl_Call &call : calls) {
        if (call.name == "glBindTexture") bound = call.args[1];
        if (call.name == "glTexParameteri" && call.args[1] == GL_TEXTURE_MIN_FILTER) filters[bound].first = call.args[2];
        if (call.name == "glTexParameteri" && call.args[1] == GL_TEXTURE_MAG_FILTER) filters[bound].second = call.args[2];
        if (call.name == "glDrawArrays") draws.push_back({bound, filters[bound].first, filters[bound].second, call.args[2]});
    }
    return draws;
}

class TextDraw : public Recording_Test {
protected:
    // Two small pages of their own with pixels, so that uploads have something to send.
    Bitmap bitmap_a, bitmap_b;
    Font_Page page_a, page_b;
    Font_Page *a = &page_a, *b = &page_b;
    std::deque<Glyph_Data> glyphs;
    Sized_Font font;

    void SetUp() override {
        Recording_Test::SetUp();
        bring_up(fake_window(1), 400, 50);
        g_recorder.uniform_locations = {{"text_sampler", 3}, {"projection", 1}};
        for (auto [page, bitmap] : {std::pair{a, &bitmap_a}, std::pair{b, &bitmap_b}}) {
            bitmap_alloc(bitmap, 64, 64, Texture_Format::RGBA8);
            page->bitmap_data = bitmap;
            page->dirty = true;
        }
    }

    void TearDown() override {
        bitmap_deinit(&bitmap_a);
        bitmap_deinit(&bitmap_b);
        Recording_Test::TearDown();
    }

    Glyph_Data *test_glyph(Font_Page *page) {
        Glyph_Data &glyph = glyphs.emplace_back();
        glyph.page = page;
        glyph.width = 4;
        glyph.height = 6;
        glyph.ascent = 6;
        glyph.advance = 5;
        return &glyph;
    }
};

TEST_F(TextDraw, EachPageIsBoundOnceAndDrawsItsOwnBatch) {
    font.glyph_run = {test_glyph(a), test_glyph(a), test_glyph(b), test_glyph(b)};
    draw_prepared_text(&font, 10, 10, {1, 1, 1, 1});
    std::vector<Gl_Call> calls = g_recorder.take();

    // First draw: both pages uploaded, one batch of two quads per page, unfiltered.
    s64 uploads = 0, sampler_sets = 0;
    for (const Gl_Call &call : calls) {
        uploads += call.name == "glTexImage2D";
        if (call.name == "glUniform1i") {
            EXPECT_EQ(call, (Gl_Call{"glUniform1i", {3, 0}}));
            sampler_sets++;
        }
    }
    EXPECT_EQ(uploads, 2);
    EXPECT_EQ(sampler_sets, 2);
    ASSERT_NE(a->texture.gl_handle, b->texture.gl_handle);
    const std::vector<Draw_Seen> expected = {{a->texture.gl_handle, GL_NEAREST, GL_NEAREST, 12},
                                             {b->texture.gl_handle, GL_NEAREST, GL_NEAREST, 12}};
    EXPECT_EQ(draws_seen(calls), expected);
    EXPECT_FALSE(a->dirty);
    EXPECT_FALSE(b->dirty);
    EXPECT_EQ(calls.back(), (Gl_Call{"glDisable", {GL_BLEND}}));

    // Second draw of the same text: nothing to upload, the same two binds and batches.
    draw_prepared_text(&font, 10, 10, {1, 1, 1, 1});
    EXPECT_EQ(g_recorder.count("glTexImage2D"), 0);
    EXPECT_EQ(g_recorder.count("glGenTextures"), 0);
    EXPECT_EQ(g_recorder.count("glBindTexture"), 2);
    EXPECT_EQ(draws_seen(g_recorder.take()), expected);
}

TEST_F(TextDraw, AlternatingPagesSwitchAtEveryChange) {
    font.glyph_run = {test_glyph(a), test_glyph(b), test_glyph(a)};
    draw_prepared_text(&font, 10, 10, {1, 1, 1, 1});
    g_recorder.take();
    draw_prepared_text(&font, 10, 10, {1, 1, 1, 1});
    const std::vector<Draw_Seen> expected = {{a->texture.gl_handle, GL_NEAREST, GL_NEAREST, 6},
                                             {b->texture.gl_handle, GL_NEAREST, GL_NEAREST, 6},
                                             {a->texture.gl_handle, GL_NEAREST, GL_NEAREST, 6}};
    EXPECT_EQ(g_recorder.count("glBindTexture"), 3);
    EXPECT_EQ(g_recorder.count("glUniform1i"), 3);
    EXPECT_EQ(draws_seen(g_recorder.take()), expected);
}

TEST_F(TextDraw, EmptyRunStillSwitchesShaderAndBlending) {
    draw_prepared_text(&font, 10, 10, {1, 1, 1, 1});
    std::vector<Gl_Call> calls = g_recorder.take();
    EXPECT_EQ(get_immediate_state()->current_shader, &g_shaders.shader_text);
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[calls.size() - 3], (Gl_Call{"glBlendFunc", {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}}));
    EXPECT_EQ(calls[calls.size() - 2], (Gl_Call{"glEnable", {GL_BLEND}}));
    EXPECT_EQ(calls.back(), (Gl_Call{"glDisable", {GL_BLEND}}));
    for (const Gl_Call &call : calls) {
        EXPECT_NE(call.name, "glDrawArrays");
        EXPECT_NE(call.name, "glBindTexture");
    }
}

TEST_F(TextDraw, EarlierBatchIsDrawnWithItsOwnShaderFirst) {
    set_shader_for_color(false);
    queue_quad(0, 0, 10, 10);
    g_recorder.take();
    font.glyph_run = {test_glyph(a)};
    draw_prepared_text(&font, 10, 10, {1, 1, 1, 1});
    std::vector<Gl_Call> calls = g_recorder.take();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].name, "glBindVertexArray");  // the flush of the coloured quad
    std::vector<std::string> order;
    for (const Gl_Call &call : calls) {
        if (call.name == "glDrawArrays" || call.name == "glUseProgram") order.push_back(call.name);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"glDrawArrays", "glUseProgram", "glDrawArrays"}));
}

TEST_F(TextDraw, MissingSamplerIsLoggedAtEveryTextureSwitch) {
    g_recorder.uniform_locations.erase("text_sampler");
    font.glyph_run = {test_glyph(a), test_glyph(b)};
    testing::internal::CaptureStdout();
    draw_prepared_text(&font, 10, 10, {1, 1, 1, 1});
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Unable to find text_sampler in shader_text!\nUnable to find text_sampler in shader_text!\n");
    EXPECT_EQ(g_recorder.count("glDrawArrays"), 2);  // drawing goes on
    for (const Gl_Call &call : g_recorder.calls) {
        if (call.name == "glUniform1i") {
            EXPECT_EQ(call, (Gl_Call{"glUniform1i", {-1, 0}}));
        }
    }
}

TEST_F(TextDraw, RendererOffDrawsNothingAndLeavesPagesForLater) {
    // As after a failed context: the table holds nothing usable, so no call may reach it.
    gl.gl_version_major = 0;
    font.glyph_run = {test_glyph(a), test_glyph(b)};
    draw_prepared_text(&font, 10, 10, {1, 1, 1, 1});
    EXPECT_EQ(g_recorder.names(), std::vector<std::string>{});
    EXPECT_EQ(font.quads.size(), 2u);
    EXPECT_TRUE(a->dirty);
    EXPECT_TRUE(b->dirty);
}

}  // namespace
