// Windows as render targets: their records, the renderer's set-up on the first window,
// the current target and its client size.
#include "render_target.h"

#include "assertions.h"
#include "backend_gl.h"
#include "immediate.h"

Window_Info_Lookup find_or_add_window_info(Window_Type window) {
    for (Window_Info &info : g_renderer.window_infos) {
        if (info.window == window) return {&info, false};
    }
    Window_Info added = {};
    added.window = window;
    g_renderer.window_infos.push_back(added);
    return {&g_renderer.window_infos.back(), true};
}

s32 prepare_window(Window_Type window, s32 wanted_msaa) {
    per_thread_init();
    if (find_or_add_window_info(window).added) update_window(window);
    Window_Info *info = find_or_add_window_info(window).info;
    if (!assert_debug(!info->backend_initted_for_this_window, "prepare_window: the window is set up already.")) {
        return info->msaa;
    }
    info->wanted_msaa = wanted_msaa;
    backend_init(info);
    info->backend_initted_for_this_window = true;
    return info->msaa;
}

void set_render_target(Window_Type window, Coordinate_System coordinate_system) {
    Immediate_State *state = get_immediate_state();
    immediate_flush();
    backend_flush();
    state->current_shader = nullptr;
    state->texture_render_target = nullptr;
    state->coordinate_system = coordinate_system;

    if (find_or_add_window_info(window).added) update_window(window);
    Window_Info *info = find_or_add_window_info(window).info;
    backend_set_render_target(info);
    state->current_window_info = *info;
}

void update_window(Window_Type window) {
    Immediate_State *state = get_immediate_state();
    Window_Info *info = find_or_add_window_info(window).info;
    Render_Dimensions size = get_render_dimensions(window);
    info->window_width = size.width;
    info->window_height = size.height;

    if (window != state->current_window_info.window) return;
    if (size.width != state->current_window_info.window_width ||
        size.height != state->current_window_info.window_height) {
        backend_resize_render_target(info);
        if (!state->texture_render_target && state->current_shader) {
            immediate_set_2d_projection(size.width, size.height);
        }
    }
    state->current_window_info = *info;
}
