// The OpenGL backend of the renderer: shader programs and the vertex format, the window
// targets and presentation, texel formats and texture uploads. Platform calls (device
// contexts, pixel formats, client sizes) come from the window module, context creation and
// presentation from gl/.
#include "backend_gl.h"

#include <cstring>

#include "assertions.h"
#include "bitmap.h"
#include "gl/gl_context.h"
#include "gl/gl_procedures.h"
#include "immediate.h"
#include "log.h"
#include "render_target.h"
#include "shader.h"
#include "shader_sources.h"

Renderer_State g_renderer;

static Render_Dimensions window_render_dimensions(Window_Type window) {
    Client_Size size = window_client_size(window);
    return {size.width, size.height};
}

Render_OS g_render_os = {
    window_render_dimensions, gl_create_context, window_device_context, window_copy_pixel_format,
    gl_make_current, gl_swap_buffers, gl_platform_get_proc_address,
};

Render_Dimensions get_render_dimensions(Window_Type window) { return g_render_os.client_size(window); }

void match_first_window_pixel_format(Device_Context device_context) {
    if (!assert_debug(g_renderer.gl_device_context != nullptr,
                      "match_first_window_pixel_format: no OpenGL context exists yet.")) {
        return;
    }
    g_render_os.set_pixel_format_like(device_context, g_renderer.gl_device_context);
}

namespace {

constexpr s32 INFO_LOG_SIZE = 512;

// Each stage is compiled from its prefix followed by the program's one source.
const char VERTEX_PREFIX[] = "        #version 330 core\n        #define VERTEX_SHADER\n        #define OUT_IN out\n";
const char FRAGMENT_PREFIX[] = "        #version 330 core\n        #define FRAGMENT_SHADER\n        #define OUT_IN in\n";

String info_log_text(const char *buffer) { return String(buffer, (s64)strnlen(buffer, INFO_LOG_SIZE)); }

}  // namespace

String shader_vertex_prefix() { return String(VERTEX_PREFIX, sizeof(VERTEX_PREFIX) - 1); }
String shader_fragment_prefix() { return String(FRAGMENT_PREFIX, sizeof(FRAGMENT_PREFIX) - 1); }

// --- shaders ---

u32 make_shader_object(String source, String prefix, u32 shader_type) {
    u32 object = gl.glCreateShader(shader_type);
    const GLchar *strings[2] = {prefix.data, source.data};
    const GLint lengths[2] = {(GLint)prefix.count, (GLint)source.count};
    gl.glShaderSource(object, 2, strings, lengths);
    gl.glCompileShader(object);

    GLint compiled = 0;
    gl.glGetShaderiv(object, GL_COMPILE_STATUS, &compiled);
    if (compiled) return object;

    char info[INFO_LOG_SIZE] = {};
    gl.glGetShaderInfoLog(object, INFO_LOG_SIZE, nullptr, info);
    log_error("%", info_log_text(info));
    return 0;
}

u32 get_shader_program(String source) {
    u32 vertex = make_shader_object(source, shader_vertex_prefix(), GL_VERTEX_SHADER);
    u32 fragment = make_shader_object(source, shader_fragment_prefix(), GL_FRAGMENT_SHADER);

    u32 program = gl.glCreateProgram();
    gl.glAttachShader(program, vertex);
    gl.glAttachShader(program, fragment);
    gl.glLinkProgram(program);

    GLint linked = 0;
    gl.glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked) {
        gl.glDeleteShader(vertex);
        gl.glDeleteShader(fragment);
        return program;
    }
    char info[INFO_LOG_SIZE] = {};
    gl.glGetProgramInfoLog(program, INFO_LOG_SIZE, nullptr, info);
    log_error("%", info_log_text(info));
    return 0;
}

void backend_init_shaders() {
    u32 color = get_shader_program(SHADER_SOURCE_COLOR);
    g_shaders.shader_color = Shader{};
    g_shaders.shader_color.gl_handle = color;
    g_shaders.shader_color_with_blend = Shader{};
    g_shaders.shader_color_with_blend.gl_handle = color;
    g_shaders.shader_color_with_blend.alpha_blend = true;

    g_shaders.shader_text = Shader{};
    g_shaders.shader_text.gl_handle = get_shader_program(SHADER_SOURCE_TEXT);
    g_shaders.shader_text.alpha_blend = true;

    g_shaders.shader_sprite_flipped = Shader{};
    g_shaders.shader_sprite_flipped.gl_handle = get_shader_program(SHADER_SOURCE_SPRITE_FLIPPED);
    g_shaders.shader_sprite_flipped.alpha_blend = true;

    g_shaders.shader_sprite = Shader{};
    g_shaders.shader_sprite.gl_handle = get_shader_program(SHADER_SOURCE_SPRITE);
    g_shaders.shader_sprite.alpha_blend = true;
}

void backend_use_shader(Shader *shader) {
    if (!renderer_available()) return;
    if (shader->alpha_blend) {
        gl.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        gl.glEnable(GL_BLEND);
    } else {
        gl.glDisable(GL_BLEND);
    }
    gl.glUseProgram(shader->gl_handle);
}

void set_parameter(Shader *shader, const char *name, const Matrix4 &matrix) {
    if (!renderer_available()) return;
    GLint location = gl.glGetUniformLocation(shader->gl_handle, name);
    if (location < 0) {
        log_error("Unknown parameter: '%'\n", name);
        return;
    }
    // Row-major here, so OpenGL transposes it into the column-major matrix the shaders use.
    gl.glUniformMatrix4fv(location, 1, 1, &matrix.m[0][0]);
}

void set_vertex_format_to_XCNUU(Shader *shader) {
    const GLsizei stride = (GLsizei)sizeof(Immediate_Vertex);
    auto offset = [](size_t bytes) { return (const void *)bytes; };
    if (shader->position_loc != -1) {
        gl.glEnableVertexAttribArray((GLuint)shader->position_loc);
        gl.glVertexAttribPointer((GLuint)shader->position_loc, 3, GL_FLOAT, 0, stride,
                                 offset(offsetof(Immediate_Vertex, position)));
    }
    struct Attribute {
        s32 location;
        GLint components;
        GLboolean normalized;
        size_t offset;
    };
    const Attribute attributes[] = {
        {shader->color_scale_loc, 4, 1, offsetof(Immediate_Vertex, color_scale)},
        {shader->normal_loc, 3, 0, offsetof(Immediate_Vertex, normal)},
        {shader->tangent_loc, 4, 0, offsetof(Immediate_Vertex, tangent)},
        {shader->uv_0_loc, 2, 0, offsetof(Immediate_Vertex, uv0)},
        {shader->uv_1_loc, 2, 0, offsetof(Immediate_Vertex, uv1)},
    };
    for (const Attribute &a : attributes) {
        if (a.location == -1) continue;
        gl.glVertexAttribPointer((GLuint)a.location, a.components, GL_FLOAT, a.normalized, stride,
                                 offset(a.offset));
        gl.glEnableVertexAttribArray((GLuint)a.location);
    }
}

Matrix4 orthographic_projection_matrix(f32 left, f32 right, f32 bottom, f32 top, f32 near_plane, f32 far_plane,
                                       bool depth_zero_to_one) {
    Matrix4 result = {};
    result.m[0][0] = 2 / (right - left);
    result.m[0][3] = -(right + left) / (right - left);
    result.m[1][1] = 2 / (top - bottom);
    result.m[1][3] = -(top + bottom) / (top - bottom);
    if (depth_zero_to_one) {
        result.m[2][2] = -1 / (far_plane - near_plane);
        result.m[2][3] = -(far_plane + near_plane) / (2 * (far_plane - near_plane)) + 0.5f;
    } else {
        result.m[2][2] = -2 / (far_plane - near_plane);
        result.m[2][3] = -(far_plane + near_plane) / (far_plane - near_plane);
    }
    result.m[3][3] = 1;
    return result;
}

// --- windows ---

bool renderer_available() { return gl.gl_version_major > 0; }

bool backend_init(Window_Info *info) {
    Immediate_State *state = get_immediate_state();
    bool ok = true;
    if (g_renderer.gl_context) {
        // A later window: the same pixel format as the first, so the one context draws on it.
        info->device_context = g_render_os.get_device_context(info->window);
        match_first_window_pixel_format(info->device_context);
    } else if (g_renderer.context_failed) {
        ok = false;  // logged when it failed; not tried again
    } else if (!info->window) {
        // NOTE: GetDC of no window is the whole screen's device context: a context made on
        // it would draw over the desktop.
        log_error("No window to make the OpenGL context on.");
        g_renderer.context_failed = true;
        ok = false;
    } else {
        GL_Context_Result made = g_render_os.create_context(info->window, nullptr, 3, 3, false, false, info->wanted_msaa);
        if (!made.context) {
            // The line saying why has been logged. From here on the renderer draws nothing:
            // every call through the empty table is skipped.
            g_renderer.context_failed = true;
            ok = false;
        } else {
            g_renderer.gl_context = made.context;
            g_renderer.gl_device_context = made.device_context;
            info->device_context = made.device_context;
            info->msaa = made.samples;

            gl_load(&gl, g_render_os.resolve);
            if (!renderer_available()) {
                log_error("The OpenGL context reports no version; the renderer is off.");
                g_renderer.context_failed = true;
                ok = false;
            } else {
                gl_enable_debug_output(true);
                gl.glGenVertexArrays(1, &g_renderer.renderer_vertex_array);
                gl.glGenBuffers(1, &g_renderer.renderer_vertex_buffer);
                backend_init_shaders();
            }
        }
    }
    state->current_window_info = *info;
    return ok;
}

void backend_set_render_target(Window_Info *info) {
    if (info->backend_initted_for_this_window) {
        if (g_renderer.gl_context) g_render_os.make_current(info->device_context, info->window, g_renderer.gl_context);
    } else {
        backend_init(info);
        info->backend_initted_for_this_window = true;
    }
    if (!renderer_available()) return;
    gl.glViewport(0, 0, info->window_width, info->window_height);
    gl.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    gl.glDrawBuffer(GL_BACK);
}

void backend_resize_render_target(Window_Info *info) {
    if (!renderer_available()) return;
    if (info->window != get_immediate_state()->current_window_info.window) return;
    gl.glViewport(0, 0, info->window_width, info->window_height);
}

void backend_flush() {
    if (g_renderer.gl_context && renderer_available()) gl.glFlush();
}

void clear_render_target(f32 red, f32 green, f32 blue, f32 alpha) {
    if (!renderer_available()) return;
    gl.glClearColor(red, green, blue, alpha);
    gl.glClear(GL_COLOR_BUFFER_BIT);
}

void swap_buffers(Window_Type window) {
    Immediate_State *state = get_immediate_state();
    if (state->current_shader) immediate_flush();
    if (!renderer_available() || !g_renderer.gl_context) return;
    g_render_os.swap_buffers(g_render_os.get_device_context(window), window);
}

// --- texel formats and textures ---

namespace {

struct Format_Row {
    u32 internal_format;
    u32 internal_format_srgb;  // 0: there is no sRGB variant
    u32 pixel_format;
    u32 pixel_type;
    bool compressed;
};

constexpr u32 NONE = GL_INVALID_ENUM;

// False for formats outside the table.
bool format_row(Texture_Format format, Format_Row *row) {
    switch (format) {
    case Texture_Format::Unknown:
    case Texture_Format::ETC_RGB:
    case Texture_Format::ETC_RGBA:
    case Texture_Format::ETC_R:
    case Texture_Format::ETC_RG:
    case Texture_Format::ETC_RGB_A1: *row = {NONE, NONE, NONE, NONE, false}; return true;
    case Texture_Format::R8: *row = {GL_R8, 0, GL_RED, GL_UNSIGNED_BYTE, false}; return true;
    case Texture_Format::RG8: *row = {GL_RG8, 0, GL_RG, GL_UNSIGNED_BYTE, false}; return true;
    case Texture_Format::RGB8: *row = {GL_RGB8, GL_SRGB8, GL_RGB, GL_UNSIGNED_BYTE, false}; return true;
    case Texture_Format::RGBA8: *row = {GL_RGBA8, GL_SRGB8_ALPHA8, GL_RGBA, GL_UNSIGNED_BYTE, false}; return true;
    case Texture_Format::BGRA8: *row = {GL_RGBA8, GL_SRGB8_ALPHA8, GL_BGRA, GL_UNSIGNED_BYTE, false}; return true;
    case Texture_Format::B5G6R5: *row = {GL_RGB, GL_SRGB, GL_BGR, GL_UNSIGNED_SHORT_5_6_5, false}; return true;
    case Texture_Format::RGB10A2: *row = {GL_RGB10_A2, 0, GL_RGBA, GL_UNSIGNED_INT_10_10_10_2, false}; return true;
    case Texture_Format::R16: *row = {GL_R16, 0, GL_RED, GL_UNSIGNED_SHORT, false}; return true;
    case Texture_Format::R16F: *row = {GL_R16F, 0, GL_RED, GL_HALF_FLOAT, false}; return true;
    case Texture_Format::RG16F: *row = {GL_RG16F, 0, GL_RG, GL_HALF_FLOAT, false}; return true;
    case Texture_Format::RGBA16F: *row = {GL_RGBA16F, 0, GL_RGBA, GL_HALF_FLOAT, false}; return true;
    case Texture_Format::R32F: *row = {GL_R32F, 0, GL_RED, GL_FLOAT, false}; return true;
    case Texture_Format::RG32F: *row = {GL_RG32F, 0, GL_RG, GL_FLOAT, false}; return true;
    case Texture_Format::RGBA32F: *row = {GL_RGBA32F, 0, GL_RGBA, GL_FLOAT, false}; return true;
    case Texture_Format::RG11B10F: *row = {GL_R11F_G11F_B10F, 0, GL_RGB, GL_UNSIGNED_INT_10F_11F_11F_REV, false}; return true;
    case Texture_Format::RGB9E5F: *row = {GL_RGB9_E5, 0, GL_RGB, GL_UNSIGNED_INT_5_9_9_9_REV, false}; return true;
    // Integer storage takes its texels in an _INTEGER pixel format; OpenGL refuses others.
    case Texture_Format::R16I: *row = {GL_R16I, 0, GL_RED_INTEGER, GL_SHORT, false}; return true;
    case Texture_Format::RG16I: *row = {GL_RG16I, 0, GL_RG_INTEGER, GL_SHORT, false}; return true;
    case Texture_Format::RGBA16I: *row = {GL_RGBA16I, 0, GL_RGBA_INTEGER, GL_SHORT, false}; return true;
    case Texture_Format::R32I: *row = {GL_R32I, 0, GL_RED_INTEGER, GL_INT, false}; return true;
    case Texture_Format::RG32I: *row = {GL_RG32I, 0, GL_RG_INTEGER, GL_INT, false}; return true;
    case Texture_Format::RGBA32I: *row = {GL_RGBA32I, 0, GL_RGBA_INTEGER, GL_INT, false}; return true;
    case Texture_Format::BC1: *row = {GL_COMPRESSED_RGB_S3TC_DXT1_EXT, GL_COMPRESSED_SRGB_S3TC_DXT1_EXT, NONE, NONE, true}; return true;
    case Texture_Format::BC3: *row = {GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT5_EXT, NONE, NONE, true}; return true;
    case Texture_Format::BC4: *row = {GL_COMPRESSED_RED_RGTC1, 0, NONE, NONE, true}; return true;
    case Texture_Format::BC5: *row = {GL_COMPRESSED_RG_RGTC2, 0, NONE, NONE, true}; return true;
    case Texture_Format::BC6: *row = {GL_COMPRESSED_RGB_BPTC_UNSIGNED_FLOAT, 0, NONE, NONE, true}; return true;
    case Texture_Format::BC7: *row = {GL_COMPRESSED_RGBA_BPTC_UNORM, GL_COMPRESSED_SRGB_ALPHA_BPTC_UNORM, NONE, NONE, true}; return true;
    case Texture_Format::D16: *row = {GL_DEPTH_COMPONENT16, 0, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, false}; return true;
    case Texture_Format::D24S8: *row = {GL_DEPTH24_STENCIL8, 0, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, false}; return true;
    case Texture_Format::D32F: *row = {GL_DEPTH_COMPONENT32F, 0, GL_DEPTH_COMPONENT, GL_FLOAT, false}; return true;
    case Texture_Format::D32FS8: *row = {GL_DEPTH32F_STENCIL8, 0, GL_DEPTH_STENCIL, GL_FLOAT_32_UNSIGNED_INT_24_8_REV, false}; return true;
    }
    return false;
}

}  // namespace

OGL_Format get_ogl_format(Texture_Format format, bool srgb) {
    OGL_Format result;
    Format_Row row;
    if (!format_row(format, &row)) {
        assert_debug(false, "Unknown texture format %.", (u32)format);
        return result;
    }
    result.internal_format = row.internal_format;
    result.pixel_format = row.pixel_format;
    result.pixel_type = row.pixel_type;
    result.compressed = row.compressed;
    if (srgb && row.internal_format != NONE) {
        if (assert_debug(row.internal_format_srgb != 0, "Texture format % has no sRGB variant.", format)) {
            result.internal_format = row.internal_format_srgb;
        }
    }
    return result;
}

bool is_supported(Texture_Format format) { return get_ogl_format(format, false).internal_format != NONE; }

void backend_realloc_texture(Texture *texture, Bitmap *bitmap) {
    if (texture->gl_handle != 0) return;  // the next upload re-specifies its storage
    gl.glGenTextures(1, &texture->gl_handle);
    gl.glBindTexture(GL_TEXTURE_2D, texture->gl_handle);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

void backend_update_texture(Texture *texture, Bitmap *bitmap) {
    OGL_Format format = get_ogl_format(texture->format, has_flag(texture->flags, Texture_Flags::sRGB));
    gl.glBindTexture(GL_TEXTURE_2D, texture->gl_handle);

    s32 bytes_per_texel = get_image_bytes_per_texel(bitmap->format);
    s32 row_length = bytes_per_texel ? bitmap->stride / bytes_per_texel : 0;
    if (row_length == 0) row_length = bitmap->width;
    gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.glPixelStorei(GL_UNPACK_ROW_LENGTH, row_length);
    gl.glTexImage2D(GL_TEXTURE_2D, 0, (GLint)format.internal_format, bitmap->width, bitmap->height, 0,
                    format.pixel_format, format.pixel_type, bitmap->data.data);
}
