// Window placement and the background colour, the same on every platform.
#include "window_creation.h"

Window_Position window_position(s64 width, s64 height, s64 window_x, s64 window_y, const Work_Area *work_area) {
    Window_Position position = {window_x, window_y};
    if (window_x != -1 || !work_area) return position;
    position.x = (work_area->left + work_area->right) / 2 - width / 2;
    position.y = (work_area->top + work_area->bottom) / 2 - height / 2 - 30;
    return position;
}

static u32 channel_byte(f32 value) {
    f32 scaled = value * 255.0f;
    if (!(scaled > 0.0f)) return 0;
    if (scaled > 255.0f) return 255;
    return (u32)scaled;
}

u32 window_background_color(f32 red, f32 green, f32 blue) {
    return channel_byte(red) + channel_byte(green) * 256 + channel_byte(blue) * 65536;
}
