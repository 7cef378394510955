// Windows as render targets: one Window_Info per window, the renderer brought up on the
// first window, client-size tracking.
#pragma once

#include <vector>

#include "render_types.h"

struct Render_Dimensions {
    s32 width = 0;
    s32 height = 0;
};

struct Window_Info_Lookup {
    Window_Info *info = nullptr;  // stays valid until the next record is added
    bool added = false;
};

// Client size of the window; (0, 0) when it cannot be read.
Render_Dimensions get_render_dimensions(Window_Type window);
Window_Info_Lookup find_or_add_window_info(Window_Type window);

// Sets the renderer up for the window (the first window creates the OpenGL context, loads
// the function table and builds the shaders). Result: the multisample count obtained.
s32 prepare_window(Window_Type window, s32 wanted_msaa);
// Makes the window the target of all further drawing; afterwards no shader is current.
void set_render_target(Window_Type window, Coordinate_System coordinate_system);
// Re-reads the window's client size; a change of the current target's size updates the
// viewport and re-sends the projection.
void update_window(Window_Type window);

// False once the first window's OpenGL context could not be made: the failure line has
// been logged, and from then on drawing, presenting and uploads do nothing (uploads return
// false). The progress window goes on without drawing.
bool renderer_available();
