// Picking a shader by purpose and sending the 2D projection for the current target.
#include "shader.h"

#include "immediate.h"

Shader_Set g_shaders;

namespace {

// Selecting the current shader again costs nothing: no flush, no projection.
void select_shader(Shader *shader) {
    Immediate_State *state = get_immediate_state();
    if (state->current_shader == shader) return;
    immediate_set_shader(shader);
    set_projection();
}

}  // namespace

void set_shader_for_color(bool use_blending) {
    select_shader(use_blending ? &g_shaders.shader_color_with_blend : &g_shaders.shader_color);
}

void set_shader_for_text() { select_shader(&g_shaders.shader_text); }

void set_projection() {
    Immediate_State *state = get_immediate_state();
    if (state->texture_render_target) {
        immediate_set_2d_projection(state->texture_render_target->width, state->texture_render_target->height);
    } else {
        immediate_set_2d_projection(state->current_window_info.window_width,
                                    state->current_window_info.window_height);
    }
}
