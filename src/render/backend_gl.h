// The OpenGL side of the renderer: shader programs and vertex format, window targets,
// clearing and presenting, texel formats and texture uploads. Process-wide state lives in
// g_renderer; the OpenGL calls go through the table gl.
#pragma once

#include <vector>

#include "gl/gl_procedures.h"
#include "render_target.h"
#include "render_types.h"

struct Renderer_State {
    GL_Context gl_context = nullptr;            // the one context, made with the first window
    Device_Context gl_device_context = nullptr;  // the first window's device context
    u32 renderer_vertex_array = 0;
    u32 renderer_vertex_buffer = 0;
    std::vector<Window_Info> window_infos;  // appended, never removed
    // Set when the first window's context could not be made: nothing may call through the
    // empty function table from then on.
    bool context_failed = false;
};
extern Renderer_State g_renderer;

struct GL_Context_Result;
struct GL_Procedures;

// The operating-system side of the renderer in one table, filled with the platform's
// procedures (the window module and gl/); tests put fakes in.
struct Render_OS {
    Render_Dimensions (*client_size)(Window_Type window);
    GL_Context_Result (*create_context)(Window_Type window, GL_Context share_context, s32 major_version,
                                        s32 minor_version, bool compatibility, bool debug, s32 samples);
    Device_Context (*get_device_context)(Window_Type window);
    bool (*set_pixel_format_like)(Device_Context target, Device_Context model);
    bool (*make_current)(Device_Context device_context, Window_Type window, GL_Context context);
    void (*swap_buffers)(Device_Context device_context, Window_Type window);
    void *(*resolve)(const char *name);  // for gl_load
};
extern Render_OS g_render_os;

// Row-major 4x4 matrix: m[row][column].
struct Matrix4 {
    f32 m[4][4];
};

// --- shaders ---

// The stage prefixes put before a program's source (83 and 84 bytes).
String shader_vertex_prefix();
String shader_fragment_prefix();

void backend_init_shaders();
u32 get_shader_program(String source);  // 0 on failure (the info log is logged)
u32 make_shader_object(String source, String prefix, u32 shader_type);  // 0 on failure
void backend_use_shader(Shader *shader);
void set_parameter(Shader *shader, const char *name, const Matrix4 &matrix);
void set_vertex_format_to_XCNUU(Shader *shader);
Matrix4 orthographic_projection_matrix(f32 left, f32 right, f32 bottom, f32 top, f32 near_plane,
                                       f32 far_plane, bool depth_zero_to_one);

// --- windows ---

// First-time set-up for a window; the first one creates the context. False when the
// context could not be made (the failure has been logged).
bool backend_init(Window_Info *info);
// Gives a later window's device context the first window's pixel format.
void match_first_window_pixel_format(Device_Context device_context);
void backend_set_render_target(Window_Info *info);
void backend_resize_render_target(Window_Info *info);
void backend_flush();
void clear_render_target(f32 red, f32 green, f32 blue, f32 alpha);
void swap_buffers(Window_Type window);

// --- texel formats and textures ---

struct OGL_Format {
    u32 internal_format = GL_INVALID_ENUM;  // when not supported
    u32 pixel_format = GL_INVALID_ENUM;
    u32 pixel_type = GL_INVALID_ENUM;
    bool compressed = false;
};

OGL_Format get_ogl_format(Texture_Format format, bool srgb);
bool is_supported(Texture_Format format);
void backend_realloc_texture(Texture *texture, Bitmap *bitmap);
void backend_update_texture(Texture *texture, Bitmap *bitmap);
