// The platform-neutral arithmetic of window creation: placement and the background colour.
#include "window_creation.h"

Window_Position window_position(s64 width, s64 height, s64 window_x, s64 window_y, bool have_work_area,
                                Work_Area work_area) {
    Window_Position position = {window_x, window_y};
    if (window_x != -1 || !have_work_area) return position;
    // The halves are those of the client size, so the window sits a little right of and
    // below the exact centre before the lift.
    position.x = (work_area.left + work_area.right) / 2 - width / 2;
    position.y = (work_area.top + work_area.bottom) / 2 - height / 2 - 30;
    return position;
}

namespace {

u32 channel_byte(f32 value) {
    f32 scaled = value * 255.0f;
    // NaN and values beyond the range clamp instead of converting out of range.
    if (!(scaled > 0.0f)) return 0;
    if (scaled >= 255.0f) return 255;
    return (u32)scaled;
}

}  // namespace

u32 background_color_value(f32 red, f32 green, f32 blue) {
    return channel_byte(red) + channel_byte(green) * 256 + channel_byte(blue) * 65536;
}
