// Creation of the process's OpenGL context on a window: WGL on Windows
// (gl_context_win32.cpp), GLX on Linux (gl_context_linux.cpp). Kept apart from
// gl_procedures.h so that the platform files can include the system's GL headers.
#pragma once

#include <vector>

#include "render_types.h"

struct GL_Context_Result {
    GL_Context context = nullptr;
    Device_Context device_context = nullptr;
    s32 samples = 0;  // multisample count obtained
};

// A double-buffered RGBA context (24 colour bits, no alpha, 24 depth, no stencil,
// sRGB-capable) of the asked version, made current on the calling thread. Every failure
// logs one error line, undoes what was set up and returns all zero.
GL_Context_Result gl_create_context(Window_Type window, GL_Context share_context, s32 major_version,
                                    s32 minor_version, bool compatibility, bool debug, s32 samples);

// What a window must be made with for gl_create_context to succeed on it: on X11 the visual
// of the configuration it will pick (all zero when there is none, or no display); empty
// on Windows, where the pixel format is set on the window afterwards.
Window_Pixel_Format gl_window_pixel_format(s32 samples);

// The pixel-format search shared by both platforms: asks the chooser with the sample
// count, halving it after every failed call down to 0. The chooser returns whether its
// call succeeded and writes the format found (left at -1 when none matched).
using Pixel_Format_Chooser = bool (*)(void *data, s32 samples, s32 *format);
s32 choose_pixel_format_with_fallback(Pixel_Format_Chooser chooser, void *data, s32 samples);

// The integer attribute lists (pairs, ended by 0, 0). WGL and GLX use the same numbers for
// the context attributes.
std::vector<s32> wgl_pixel_format_attributes(s32 samples);
std::vector<s32> context_attributes(s32 major_version, s32 minor_version, bool compatibility, bool debug);

// The platform's presentation and make-current calls on an existing context.
bool gl_make_current(Device_Context device_context, Window_Type window, GL_Context context);
void gl_swap_buffers(Device_Context device_context, Window_Type window);

// For the debug callback's break on errors: a trap only when a debugger watches us.
bool gl_debugger_attached();
void gl_debug_break();
