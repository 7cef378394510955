// The platform-neutral half of context creation: the pixel-format search with its
// sample-count fallback and the attribute lists, which WGL and GLX share number for number.
#include "gl_context.h"

s32 choose_pixel_format_with_fallback(Pixel_Format_Chooser chooser, void *data, s32 samples) {
    s32 format = -1;
    for (;;) {
        format = -1;
        // A call that succeeds ends the search, even when it matched nothing.
        if (chooser(data, samples, &format)) break;
        if (samples <= 0) break;
        samples >>= 1;
    }
    return format;
}

std::vector<s32> wgl_pixel_format_attributes(s32 samples) {
    return {
        0x2001, 1,                          // WGL_DRAW_TO_WINDOW_ARB
        0x2003, 0x2027,                     // WGL_ACCELERATION_ARB: full
        0x2010, 1,                          // WGL_SUPPORT_OPENGL_ARB
        0x2011, 1,                          // WGL_DOUBLE_BUFFER_ARB
        0x2013, 0x202B,                     // WGL_PIXEL_TYPE_ARB: RGBA
        0x2014, 24,                         // WGL_COLOR_BITS_ARB
        0x201B, 0,                          // WGL_ALPHA_BITS_ARB
        0x2022, 24,                         // WGL_DEPTH_BITS_ARB
        0x2023, 0,                          // WGL_STENCIL_BITS_ARB
        0x201D, 0,                          // WGL_ACCUM_BITS_ARB
        0x2024, 0,                          // WGL_AUX_BUFFERS_ARB
        0x20A9, 1,                          // WGL_FRAMEBUFFER_SRGB_CAPABLE_ARB
        0x2041, samples != 0 ? 1 : 0,       // WGL_SAMPLE_BUFFERS_ARB
        0x2042, samples,                    // WGL_SAMPLES_ARB
        0, 0,
    };
}

std::vector<s32> context_attributes(s32 major_version, s32 minor_version, bool compatibility, bool debug) {
    std::vector<s32> list;
    if (major_version > 0) {
        list.insert(list.end(), {0x2091, major_version});  // CONTEXT_MAJOR_VERSION_ARB
        list.insert(list.end(), {0x2092, minor_version});  // CONTEXT_MINOR_VERSION_ARB
    }
    // CONTEXT_PROFILE_MASK_ARB: compatibility (2) or core (1).
    list.insert(list.end(), {0x9126, compatibility ? 2 : 1});
    if (debug) list.insert(list.end(), {0x2094, 1});  // CONTEXT_FLAGS_ARB: debug
    list.insert(list.end(), {0, 0});
    return list;
}
