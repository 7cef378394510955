// The per-thread immediate-mode batch: quads are queued as vertices and drawn with one
// glDrawArrays per batch of up to 400 quads.
#pragma once

#include "render_types.h"

// Creates the calling thread's Immediate_State (zero-filled, RIGHT_HANDED) when it has
// none yet. Every procedure below does this first.
void per_thread_init();
// The calling thread's state, made on first use.
Immediate_State *get_immediate_state();

void immediate_begin();
// Two triangles (p0, p1, p2) and (p0, p2, p3); uv0..uv3 belong to p0..p3. Untextured
// quads pass (0, 0), (1, 0), (1, 1), (0, 1). Flushes first when the batch is full.
void immediate_quad(Vector2 p0, Vector2 p1, Vector2 p2, Vector2 p3, Vector4 color,
                    Vector2 uv0, Vector2 uv1, Vector2 uv2, Vector2 uv3);
void immediate_flush();
void immediate_set_shader(Shader *shader);
void immediate_set_2d_projection(s32 width, s32 height);
