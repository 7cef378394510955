// Drawing a prepared glyph run: one textured quad per glyph at the pen position, batched
// per font page with the text shader; a page is uploaded first when glyphs were added.
#include "assertions.h"
#include "font_page.h"
#include "log.h"
#include "render.h"

void draw_prepared_text(Sized_Font *font, s64 x, s64 y, Vector4 color) {
    generate_quads_for_prepared_text(font, x, y);
    draw_generated_quads(font, color);
}

void generate_quads_for_prepared_text(Sized_Font *font, s64 x, s64 y) {
    assert_fatal(font != nullptr, "generate_quads_for_prepared_text: no font.");
    font->quads.clear();
    font->quads.reserve(font->glyph_run.size());

    bool right_handed = get_immediate_state()->coordinate_system == Coordinate_System::RIGHT_HANDED;
    f32 pen_x = (f32)x;
    f32 pen_y = (f32)y;
    for (Glyph_Data *glyph : font->glyph_run) {
        // Too large for any page: not drawn, and the pen stays.
        if (!glyph->page) continue;

        f32 left = pen_x + glyph->offset_x;
        f32 right = left + (f32)glyph->width;
        f32 low, high;
        if (right_handed) {
            high = pen_y + glyph->ascent;
            low = high - (f32)glyph->height;
        } else {
            low = pen_y - glyph->ascent;
            high = low + (f32)glyph->height;
        }

        Letter_Quad quad;
        quad.p0 = {left, low};
        quad.p1 = {right, low};
        quad.p2 = {right, high};
        quad.p3 = {left, high};

        // Glyph rows lie bottom-up on the page, so v0 always belongs to the p0/p1 edge.
        f32 page_width = (f32)glyph->page->bitmap_data->width;
        f32 page_height = (f32)glyph->page->bitmap_data->height;
        quad.tex_u0 = glyph->x0 / page_width;
        quad.tex_u1 = (glyph->x0 + (f32)glyph->width) / page_width;
        f32 v_bottom = glyph->y0 / page_height;
        f32 v_top = (glyph->y0 + (f32)glyph->height) / page_height;
        quad.tex_v0 = right_handed ? v_bottom : v_top;
        quad.tex_v1 = right_handed ? v_top : v_bottom;
        quad.glyph = glyph;

        font->quads.push_back(quad);
        pen_x += glyph->advance;
    }
}

void draw_generated_quads(Sized_Font *font, Vector4 color) {
    Immediate_State *state = get_immediate_state();
    // Whatever was batched before is drawn with its own shader.
    if (state->current_shader) immediate_flush();
    set_shader_for_text();
    immediate_begin();
    // NOTE: with the renderer off (no context, or one that failed) the GL table is empty;
    // the quads stay generated but nothing is uploaded or drawn.
    if (!renderer_available()) return;

    gl.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl.glEnable(GL_BLEND);

    u32 bound = 0xFFFFFFFF;
    for (const Letter_Quad &quad : font->quads) {
        Font_Page *page = quad.glyph->page;
        if (page->dirty) {
            // The upload binds the page's texture: what was batched for the previous page
            // must be drawn before, while that page's texture is still bound.
            immediate_flush();
            page->dirty = false;
            texture_load_from_bitmap(&page->texture, page->bitmap_data);
        }

        if (page->texture.gl_handle != bound) {
            immediate_flush();  // what was batched belongs to the previous page
            bound = page->texture.gl_handle;

            u32 program = state->current_shader ? state->current_shader->gl_handle : 0;
            s32 location = gl.glGetUniformLocation(program, "text_sampler");
            if (location < 0) log_line("Unable to find text_sampler in shader_text!");

            gl.glActiveTexture(GL_TEXTURE0);
            gl.glBindTexture(GL_TEXTURE_2D, bound);
            // Glyph texels are sampled unfiltered, so pixel-font glyphs stay sharp.
            gl.glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY, 1.0f);
            gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            gl.glUniform1i(location, 0);
        }

        draw_letter_quad(font, &quad, color);
    }

    immediate_flush();
    gl.glDisable(GL_BLEND);
}

void draw_letter_quad(Sized_Font *font, const Letter_Quad *quad, Vector4 color) {
    immediate_quad(quad->p0, quad->p1, quad->p2, quad->p3, color, {quad->tex_u0, quad->tex_v0},
                   {quad->tex_u1, quad->tex_v0}, {quad->tex_u1, quad->tex_v1}, {quad->tex_u0, quad->tex_v1});
}
