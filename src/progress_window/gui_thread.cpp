// The GUI thread: owns the updater window, runs the frame loop beside the downloads and
// ends the process once the run is over or the window is closed.
#include <cmath>
#include <cstdlib>

#include "assertions.h"
#include "embedded_files.h"
#include "events.h"
#include "gl/gl_context.h"
#include "gui_libraries.h"
#include "log.h"
#include "os.h"
#include "render.h"
#include "temporary_storage.h"
#include "updater_window.h"
#include "window.h"
#include "window_creation.h"

// The loop's clock starts at its first reading, so the first iteration's time is 0.
struct Gui_Thread_State {
    bool clock_started = false;
    f64 clock_start = 0;
    Progress_Counters counters;  // handed over by start_updater_gui_thread
    Thread thread;
};

static Gui_Thread_State g_gui_thread;

static const UpdaterWindow UPDATER_WINDOW_TEMPLATE = {
    .time = 0,
    .last_time = 0,
    .dt = 0,
    .width = 400,
    .height = 50,
    .size = {0, 0},
    .window = {},
    .mouse_x = 0,
    .mouse_y = 0,
    .mouse = {0, 0},
    .mouse_moved = 0,
    .font = nullptr,
    .font_data = {},
    .font_loaded = false,
    .counters = {},
};

// NOTE: the run may be over before the window is up (a quick download, this thread below
// the main thread's priority). The main thread then waits for this one to end the process,
// so the start-up stops at the next step instead of making a window nobody will see.
static void end_process_if_run_over(const Progress_Counters &counters) {
    if (counters.done->load()) exit_process(0);
}

UpdaterWindow *updater_window_start(Progress_Counters counters) {
    end_process_if_run_over(counters);
    UpdaterWindow *w = (UpdaterWindow *)allocate_memory_at(UPDATER_WINDOW_ADDRESS, sizeof(UpdaterWindow));
    if (!w) {
        // The fixed address is only a convenience for reading the record in a debugger.
        w = (UpdaterWindow *)malloc(sizeof(UpdaterWindow));
        assert_fatal(w != nullptr, "Out of memory for the updater window record.");
    }
    *w = UPDATER_WINDOW_TEMPLATE;
    w->counters = counters;

    // The window's messages go to the event system; on X11 it is made with the visual the
    // OpenGL context will need.
    init_window_class(0, 0, 0, input_handler.window_proc);
    w->window = custom_create_window(w->width, w->height, "Korvane (Updater)", -1, -1, {}, gl_window_pixel_format(0));
    end_process_if_run_over(counters);

    Render_Dimensions dimensions = get_render_dimensions(w->window);
    w->width = dimensions.width;
    w->height = dimensions.height;
    w->size = {(f32)w->width, (f32)w->height};

    prepare_window(w->window, 0);
    set_render_target(w->window, Coordinate_System::RIGHT_HANDED);
    end_process_if_run_over(counters);

    Loaded_File font_file = load_file(Font);
    w->font_data = font_file.data;
    w->font_loaded = font_file.success;

    update_fonts(w);
    return w;
}

s32 updater_window_iteration(UpdaterWindow *w, s32 sleep_ms) {
    s32 frames = 0;
    update_window_events();

    Resize_Record_List resizes = get_window_resizes();
    for (s64 i = 0; i < resizes.count; i++) {
        const Resize_Record &record = resizes.data[i];
        update_window(record.window);
        if (record.window != w->window) continue;

        bool changed = record.width != w->width || record.height != w->height;
        w->width = record.width;
        w->height = record.height;
        w->size = {(f32)w->width, (f32)w->height};
        if (changed) update_fonts(w);
        if (update_and_render_one_frame(w)) frames++;
    }

    for (const Input_Event &event : frame_events) {
        if (event.type == QUIT) w->counters.done->store(true);
    }

    Cursor_Position cursor = get_cursor_in_client(w->window);
    w->mouse_x = cursor.x;
    w->mouse_y = (s64)w->height - cursor.y;
    Vector2 old_mouse = w->mouse;
    w->mouse = {(f32)cursor.x, (f32)w->height - (f32)cursor.y};
    f32 dx = w->mouse.x - old_mouse.x, dy = w->mouse.y - old_mouse.y;
    w->mouse_moved = std::sqrt(dx * dx + dy * dy);

    f64 now = seconds_since_init();
    if (!g_gui_thread.clock_started) {
        g_gui_thread.clock_started = true;
        g_gui_thread.clock_start = now;
    }
    w->time = now - g_gui_thread.clock_start;
    w->dt = (f32)(w->time - w->last_time);
    w->last_time = w->time;

    if (update_and_render_one_frame(w)) frames++;

    // The sleep in steps of 1 ms, cut short when the run is over: the main thread, done
    // with the downloads and the game started, waits for this thread to end the process.
    for (s32 slept = 0; slept < sleep_ms && !w->counters.done->load(); slept++) sleep_milliseconds(1);
    reset_temporary_storage();
    return frames;
}

s64 updater_gui_thread_proc(Thread *) {
    // The download on the main thread comes first. First of all, so that the renderer's
    // worker threads, started by this one while it makes the context, inherit it too.
    lower_calling_thread_priority();
    // The window's libraries are loaded here, off the download's thread. Without one of
    // them the update goes on without a window, and this thread still ends the process
    // when the run is over, as the main thread expects.
    Gui_Libraries libraries = load_gui_libraries();
    if (!libraries.success) {
        log_error("Could not load %: %; updating without the window", libraries.failed_library, libraries.error);
        while (!g_gui_thread.counters.done->load()) sleep_milliseconds(10);
        exit_process(0);
    }
    UpdaterWindow *w = updater_window_start(g_gui_thread.counters);
    while (!w->counters.done->load()) updater_window_iteration(w, 10);
    exit_process(0);
}

bool start_updater_gui_thread(Progress_Counters counters) {
    g_gui_thread.counters = counters;
    g_gui_thread.thread.proc = updater_gui_thread_proc;
    g_gui_thread.thread.temporary_storage_size = GUI_THREAD_TEMPORARY_STORAGE_SIZE;
    return thread_start(&g_gui_thread.thread);
}
