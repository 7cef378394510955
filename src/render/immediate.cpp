// The per-thread immediate-mode batch: quads become six vertices each and go out in one
// glDrawArrays per batch.
#include "immediate.h"

#include <cstdlib>
#include <new>

#include "assertions.h"
#include "backend_gl.h"
#include "gl/gl_procedures.h"
#include "render_target.h"

namespace {

// Made on first use and never freed; the batch is 170 KB, too big for a thread_local
// object that every thread would carry.
thread_local Immediate_State *t_immediate_state = nullptr;

void put_vertex(Immediate_Vertex *v, Vector2 p, Vector4 color, Vector2 uv) {
    v->position[0] = p.x;
    v->position[1] = p.y;
    v->position[2] = 0;
    v->color_scale = color;
    v->uv0 = uv;
    v->uv1 = {0, 0};
    v->normal[0] = 0;
    v->normal[1] = 0;
    v->normal[2] = 1;
}

}  // namespace

const char *enum_member_name(Coordinate_System value) {
    switch (value) {
    case Coordinate_System::LEFT_HANDED: return "LEFT_HANDED";
    case Coordinate_System::RIGHT_HANDED: return "RIGHT_HANDED";
    }
    return "(not a Coordinate_System)";
}

void per_thread_init() {
    if (t_immediate_state) return;
    void *memory = calloc(1, sizeof(Immediate_State));
    assert_fatal(memory != nullptr, "Out of memory for the immediate-mode state.");
    t_immediate_state = new (memory) Immediate_State;
    t_immediate_state->coordinate_system = Coordinate_System::RIGHT_HANDED;
}

Immediate_State *get_immediate_state() {
    per_thread_init();
    return t_immediate_state;
}

void immediate_begin() { per_thread_init(); }

void immediate_quad(Vector2 p0, Vector2 p1, Vector2 p2, Vector2 p3, Vector4 color,
                    Vector2 uv0, Vector2 uv1, Vector2 uv2, Vector2 uv3) {
    Immediate_State *state = get_immediate_state();
    if (state->num_vertices > MAX_VERTICES - 6) immediate_flush();

    Immediate_Vertex *v = state->vertices + state->num_vertices;
    state->num_vertices += 6;
    put_vertex(v + 0, p0, color, uv0);
    put_vertex(v + 1, p1, color, uv1);
    put_vertex(v + 2, p2, color, uv2);
    put_vertex(v + 3, p0, color, uv0);
    put_vertex(v + 4, p2, color, uv2);
    put_vertex(v + 5, p3, color, uv3);
}

void immediate_flush() {
    Immediate_State *state = get_immediate_state();
    if (state->num_vertices == 0) return;
    if (!state->current_shader) {
        assert_debug(false, "Tried to immediate_flush when no shader was set.\n");
        state->num_vertices = 0;
        return;
    }
    s32 count = state->num_vertices;
    state->num_vertices = 0;
    if (!renderer_available()) return;

    gl.glBindVertexArray(g_renderer.renderer_vertex_array);
    gl.glBindBuffer(GL_ARRAY_BUFFER, g_renderer.renderer_vertex_buffer);
    gl.glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    gl.glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)count * (GLsizeiptr)sizeof(Immediate_Vertex),
                    state->vertices, GL_STREAM_DRAW);
    gl.glDisable(GL_DEPTH_TEST);
    gl.glDisable(GL_CULL_FACE);
    set_vertex_format_to_XCNUU(state->current_shader);
    gl.glDrawArrays(GL_TRIANGLES, 0, count);
}

void immediate_set_shader(Shader *shader) {
    Immediate_State *state = get_immediate_state();
    // Records, not programs, are compared: the colour shader with and without blending
    // share a program but differ in blend state.
    if (state->current_shader && state->current_shader != shader) immediate_flush();

    if (renderer_available()) {
        shader->position_loc = gl.glGetAttribLocation(shader->gl_handle, "vert_position");
        shader->color_scale_loc = gl.glGetAttribLocation(shader->gl_handle, "vert_color");
        shader->normal_loc = gl.glGetAttribLocation(shader->gl_handle, "vert_normal");
        shader->tangent_loc = gl.glGetAttribLocation(shader->gl_handle, "vert_tangent");
        shader->uv_0_loc = gl.glGetAttribLocation(shader->gl_handle, "vert_uv0");
        shader->uv_1_loc = gl.glGetAttribLocation(shader->gl_handle, "vert_uv1");
    }
    state->current_shader = shader;
    backend_use_shader(shader);
}

void immediate_set_2d_projection(s32 width, s32 height) {
    Immediate_State *state = get_immediate_state();
    if (!state->current_shader) {
        assert_debug(false, "Tried to immediate_set_2d_projection when no shader was set.\n");
        state->num_vertices = 0;
        return;
    }
    f32 w = (f32)width;
    f32 h = (f32)height;
    Matrix4 projection = state->coordinate_system == Coordinate_System::RIGHT_HANDED
                             ? orthographic_projection_matrix(0, w, 0, h, -1, 1, false)
                             : orthographic_projection_matrix(0, w, h, 0, -1, 1, false);
    if (state->texture_render_target) {
        // Textures are addressed bottom-up: flip y.
        for (s32 column = 0; column < 4; column++) projection.m[1][column] = -projection.m[1][column];
    }
    set_parameter(state->current_shader, "projection", projection);
}
