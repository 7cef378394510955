// The renderer's records: windows as render targets, shaders, textures, bitmaps and the
// per-thread immediate-mode batch. Procedures live in the module headers beside this one.
#pragma once

#include "types.h"
#include "window.h"

// --- platform handles ---

// HGLRC on Windows, GLXContext on Linux.
using GL_Context = void *;

// --- 2D coordinates ---

enum class Coordinate_System : u8 {
    LEFT_HANDED = 0,   // origin at the top-left corner, y down
    RIGHT_HANDED = 1,  // origin at the bottom-left corner, y up
};
const char *enum_member_name(Coordinate_System value);

// --- windows ---

struct Window_Info {
    Window_Type window = 0;
    s32 window_width = 0;
    s32 window_height = 0;
    s32 wanted_msaa = 0;
    s32 msaa = 0;  // set only on the window that created the context
    bool backend_initted_for_this_window = false;
    Device_Context device_context = nullptr;
};

// --- shaders ---

struct Shader {
    u32 gl_handle = 0;  // linked program; 0 before start-up or after a failed build
    s32 position_loc = -1;
    s32 color_scale_loc = -1;
    s32 normal_loc = -1;
    s32 tangent_loc = -1;
    s32 uv_0_loc = -1;
    s32 uv_1_loc = -1;
    s32 diffuse_texture_loc = -1;
    bool alpha_blend = false;
};

// --- texel formats, textures and bitmaps ---

enum class Texture_Format : u16 {
    Unknown = 0,
    R8 = 1,
    RG8 = 2,
    RGB8 = 3,
    RGBA8 = 4,
    BGRA8 = 5,
    B5G6R5 = 6,
    RGB10A2 = 7,
    R16 = 8,
    R16F = 16,
    RG16F = 17,
    RGBA16F = 18,
    R32F = 19,
    RG32F = 20,
    RGBA32F = 21,
    RG11B10F = 22,
    RGB9E5F = 23,
    R16I = 24,
    RG16I = 25,
    RGBA16I = 26,
    R32I = 27,
    RG32I = 28,
    RGBA32I = 29,
    BC1 = 256,
    BC3 = 257,
    BC4 = 258,
    BC5 = 259,
    BC6 = 260,
    BC7 = 261,
    ETC_RGB = 262,
    ETC_RGBA = 263,
    ETC_R = 264,
    ETC_RG = 265,
    ETC_RGB_A1 = 266,
    D16 = 267,
    D24S8 = 268,
    D32F = 269,
    D32FS8 = 270,
};
const char *enum_member_name(Texture_Format value);

enum class Texture_Flags : u16 {
    NONE = 0,
    sRGB = 1,
    Cube = 2,
    Array = 4,
    Volume = 8,
    Buffer = 16,
    Render_Target = 32,
    Multisampled = 64,
    No_Skip_Mipmaps = 128,
    Display_Target = 256,
};
constexpr Texture_Flags operator|(Texture_Flags a, Texture_Flags b) { return Texture_Flags((u16)a | (u16)b); }
constexpr Texture_Flags operator&(Texture_Flags a, Texture_Flags b) { return Texture_Flags((u16)a & (u16)b); }
constexpr Texture_Flags operator~(Texture_Flags a) { return Texture_Flags(~(u16)a); }
constexpr bool has_flag(Texture_Flags flags, Texture_Flags flag) { return ((u16)flags & (u16)flag) != 0; }

struct Texture {
    s32 width = 0;
    s32 height = 0;
    s32 depth = 0;  // 1 for the 2D textures made here
    u16 mipmap_count = 0;
    u16 array_length = 0;
    Texture_Format format = Texture_Format::Unknown;
    Texture_Flags flags = Texture_Flags::NONE;
    u32 gl_handle = 0;  // OpenGL texture name, 0 until the first upload
};

enum class Bitmap_Flags : u32 {
    NONE = 0,
    FREE_DATA_ON_DEINIT = 1,  // the bitmap owns data
    IS_SRGB = 2,              // the pixels are sRGB-encoded
};
constexpr Bitmap_Flags operator|(Bitmap_Flags a, Bitmap_Flags b) { return Bitmap_Flags((u32)a | (u32)b); }
constexpr Bitmap_Flags operator&(Bitmap_Flags a, Bitmap_Flags b) { return Bitmap_Flags((u32)a & (u32)b); }
constexpr Bitmap_Flags operator~(Bitmap_Flags a) { return Bitmap_Flags(~(u32)a); }
constexpr bool has_flag(Bitmap_Flags flags, Bitmap_Flags flag) { return ((u32)flags & (u32)flag) != 0; }

struct Byte_Array {
    s64 count = 0;
    u8 *data = nullptr;
};

struct Bitmap {
    s32 width = 0;
    s32 height = 0;
    s32 mipmap_count = 0;  // 1 from bitmap_alloc
    Byte_Array data;       // rows from the first to the last, stride bytes apart
    s32 stride = 0;
    Bitmap_Flags flags = Bitmap_Flags::NONE;
    Texture_Format format = Texture_Format::Unknown;
};

// --- the immediate-mode batch ---

// One vertex as stored in the batch and uploaded byte for byte (stride 72).
struct Immediate_Vertex {
    f32 position[3];
    Vector4 color_scale;
    Vector2 uv0;
    Vector2 uv1;
    f32 normal[3];
    Vector4 tangent;  // never written by immediate_quad
};
static_assert(sizeof(Immediate_Vertex) == 72);

constexpr s32 MAX_VERTICES = 2400;  // 400 quads

struct Immediate_State {
    Window_Info current_window_info;      // copy of the current target's record
    Shader *current_shader = nullptr;
    Texture *texture_render_target = nullptr;  // always null in this program
    s32 num_vertices = 0;
    Immediate_Vertex vertices[MAX_VERTICES];
    Coordinate_System coordinate_system = Coordinate_System::RIGHT_HANDED;
};
