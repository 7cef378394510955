// One frame of the progress window: a dark green background, up to twenty green
// segments filling from the left, and the mebibytes received with a drop shadow.
#include <cmath>

#include "font.h"
#include "print.h"
#include "render.h"
#include "temporary_storage.h"
#include "updater_window.h"

static constexpr Vector4 BACKGROUND_COLOR = {0.03f, 0.08f, 0.01f, 1.0f};
static constexpr Vector4 SHADOW_COLOR = {0, 0, 0, 1};
static constexpr Vector4 TEXT_COLOR = {1, 1, 1, 1};
static constexpr f32 BYTES_PER_MEBIBYTE = 1048576.0f;

s32 progress_segment_count(s64 received, s64 total) {
    f32 ratio = total == 0 ? 0.0f : (f32)received / (f32)total;
    f32 count = ratio * (f32)PROGRESS_SEGMENTS;
    // The server's total may be tiny or wrong; more than a full bar would only draw
    // off-screen quads (or billions of them), so the count stops at a full bar.
    if (!(count > 0.0f)) return 0;
    if (count > (f32)PROGRESS_SEGMENTS) return PROGRESS_SEGMENTS;
    return (s32)count;
}

String progress_text(s64 received) { return tprint("%mb", (f32)received / BYTES_PER_MEBIBYTE); }

Progress_Text_Position progress_text_position(Vector2 size, s64 text_width, s64 character_height) {
    Progress_Text_Position position;
    position.x = (s64)((size.x - (f32)text_width) / 2.0f);
    position.y = (s64)(size.y / 2.0f - (f32)character_height / 4.0f);
    return position;
}

void update_fonts(UpdaterWindow *w) {
    if (!w->font_loaded) return;
    // The font of the old height goes first: every new height would otherwise keep a font
    // and its glyphs for good, and its page space can take the new glyphs.
    release_font(w->font);
    w->font = get_font_at_size(w->font_data, w->height / 2);
}

bool update_and_render_one_frame(UpdaterWindow *w) {
    if (w->counters.done->load()) return false;
    // Without an OpenGL context there is nothing to draw with; the window stays as it is.
    if (!renderer_available()) return false;

    clear_render_target(BACKGROUND_COLOR.x, BACKGROUND_COLOR.y, BACKGROUND_COLOR.z, BACKGROUND_COLOR.w);
    set_shader_for_color(false);

    s64 received = w->counters.bytes_received->load(std::memory_order_relaxed);
    s64 total = w->counters.bytes_total->load(std::memory_order_relaxed);
    s32 segments = progress_segment_count(received, total);

    for (s32 i = 0; i < segments; i++) {
        f32 left = ((f32)i / PROGRESS_SEGMENT_SPACING_DIVISOR) * w->size.x;
        f32 bottom = 0;
        f32 right = left + PROGRESS_SEGMENT_WIDTH * w->size.x;
        f32 top = bottom + PROGRESS_SEGMENT_HEIGHT * w->size.y;
        immediate_quad({left, bottom}, {right, bottom}, {right, top}, {left, top}, PROGRESS_SEGMENT_COLOR, {0, 0}, {1, 0},
                       {1, 1}, {0, 1});
    }

    if (w->font) {
        s64 text_width = prepare_text(w->font, progress_text(received), {});
        Progress_Text_Position at = progress_text_position(w->size, text_width, w->font->character_height);
        draw_prepared_text(w->font, at.x + 2, at.y - 2, SHADOW_COLOR);
        draw_prepared_text(w->font, at.x, at.y, TEXT_COLOR);
    }

    swap_buffers(w->window);
    return true;
}
