// The updater's top-level window: one window class per process, a window whose client
// area has exactly the asked size, centred in the work area unless placed, visible when
// the call returns. Its messages go to the event system's window procedure.
#pragma once

#include "platform_window.h"
#include "types.h"

// Registers the window class once (its background is the given colour, 0..1 per channel).
void init_window_class(f32 red, f32 green, f32 blue);

// None (0) on failure, with an error line. window_x -1: centred in the work area (then
// window_y is computed too, whatever was passed).
Window_Type custom_create_window(s64 width, s64 height, String window_name, s64 window_x = -1, s64 window_y = -1,
                                 Window_Type parent = {});

// --- shared arithmetic ---

struct Work_Area {
    s64 left = 0, top = 0, right = 0, bottom = 0;
};

struct Window_Position {
    s64 x = 0;
    s64 y = 0;
};

// Where the window goes: the passed position, or, when window_x is -1 and the work area is
// known, the middle of the work area less half the client size (integer halves that
// truncate toward zero), lifted by 30 pixels.
Window_Position window_position(s64 width, s64 height, s64 window_x, s64 window_y, const Work_Area *work_area);

// The class background brush colour: red + green * 256 + blue * 65536, each channel * 255
// truncated and held to 0..255.
u32 window_background_color(f32 red, f32 green, f32 blue);

constexpr const char *WINDOW_CLASS_NAME = "Default Window Class";
