// The renderer's fixed shaders and their selection by purpose.
#pragma once

#include "render_types.h"

// The five shader records; built once by backend_init_shaders. shader_color and
// shader_color_with_blend share one program.
struct Shader_Set {
    Shader shader_color;
    Shader shader_color_with_blend;
    Shader shader_text;
    Shader shader_sprite_flipped;
    Shader shader_sprite;
};
extern Shader_Set g_shaders;

// Select a shader (and send the projection for the current target) unless it is
// already current, in which case nothing happens.
void set_shader_for_color(bool use_blending);
void set_shader_for_text();
// 2D projection for the current target's size.
void set_projection();
