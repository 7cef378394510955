// Creation of the updater's top-level window: the window class, registered once per
// process, and a window placed, sized for an exact client area and shown.
#pragma once

#include "types.h"
#include "window.h"

// The procedure the system calls with a window's messages (Windows); the parameter and
// result widths are those of 64-bit Windows. The X11 side has no such call: its input
// layer translates the events and calls the procedure itself.
using Window_Procedure = s64 (*)(Window_Type window, u32 message, u64 w_param, s64 l_param);

// Registers the window class with a background of the colour (channels in 0..1) and the
// procedure (null: the system's default) unless it is registered already. A failure is
// logged; the next call tries again. A window made before any registration registers the
// class black with the default procedure.
void init_window_class(f32 red, f32 green, f32 blue, Window_Procedure procedure);

// A visible top-level window whose client area is width x height pixels. window_x -1:
// centred in the work area (window_y is then ignored too). With a parent the window has
// no minimize and maximize boxes. On X11 the window gets the pixel format's visual (the
// default visual when it has none). Returns the window, or none (logged) on failure.
Window_Type custom_create_window(s64 width, s64 height, String window_name, s64 window_x = -1, s64 window_y = -1,
                                 Window_Type parent = {}, Window_Pixel_Format pixel_format = {});

// --- shared by both platforms ---

constexpr const char *WINDOW_CLASS_NAME = "Default Window Class";

struct Work_Area {
    s64 left = 0, top = 0, right = 0, bottom = 0;
};

struct Window_Position {
    s64 x = 0;
    s64 y = 0;
};

// The position of a window of the client size: the passed one unless window_x is -1, then
// centred in the work area (when there is one; have_work_area false keeps the passed
// values), lifted by 30 pixels. Divisions truncate toward zero.
Window_Position window_position(s64 width, s64 height, s64 window_x, s64 window_y, bool have_work_area,
                                Work_Area work_area);

// The class background as the system's colour value: red + green * 256 + blue * 65536,
// each channel times 255, truncated and clamped to 0..255.
u32 background_color_value(f32 red, f32 green, f32 blue);
