// The progress window: the GUI thread's window record, its frame loop and the drawing of
// one progress frame (bar of green segments and the mebibytes received).
#pragma once

#include <atomic>

#include "os.h"
#include "types.h"
#include "window.h"

struct Sized_Font;

// What the GUI thread reads of the update run. The run owns the values and hands their
// addresses over when it starts the thread.
struct Progress_Counters {
    // Bytes the whole update should bring; written before the thread starts.
    const std::atomic<s64> *bytes_total = nullptr;
    // Bytes delivered so far.
    const std::atomic<s64> *bytes_received = nullptr;
    // Set once, by either side: the game was started, or the window was closed.
    std::atomic<bool> *done = nullptr;
};

struct UpdaterWindow {
    f64 time;
    f64 last_time;
    f32 dt;
    s32 width;
    s32 height;
    Vector2 size;
    Window_Type window;
    s64 mouse_x;
    s64 mouse_y;
    Vector2 mouse;
    f32 mouse_moved;
    Sized_Font *font;
    String font_data;
    bool font_loaded;
    Progress_Counters counters;
};

// Where the GUI thread wants its record; any other address serves when that one is taken.
constexpr u64 UPDATER_WINDOW_ADDRESS = 0x10000000000ull;

constexpr s64 GUI_THREAD_TEMPORARY_STORAGE_SIZE = 16384;

// Starts the GUI thread (never joined) reading those counters, which must stay valid for
// the process's life. False when the system would not start it.
bool start_updater_gui_thread(Progress_Counters counters);

// The GUI thread's entry: creates the window and runs the frame loop until the counters'
// done flag is set, then ends the process with exit code 0. Never returns.
[[noreturn]] s64 updater_gui_thread_proc(Thread *thread);

// Start-up steps of the thread: the record (at the fixed address when possible), the
// window, the render target and the font. Split out so tests can run it without the loop.
UpdaterWindow *updater_window_start(Progress_Counters counters);

// One loop iteration after the done check: events, resizes, quit, cursor, time,
// frame, sleep (ended early once the done flag is set), temporary storage. Returns the
// number of frames it drew and presented.
s32 updater_window_iteration(UpdaterWindow *w, s32 sleep_ms);

void update_fonts(UpdaterWindow *w);
// Draws and presents one frame; returns false when the done flag held it back.
bool update_and_render_one_frame(UpdaterWindow *w);

// --- the frame's arithmetic, pure so it can be checked on its own ---

constexpr s32 PROGRESS_SEGMENTS = 20;
constexpr f32 PROGRESS_SEGMENT_SPACING_DIVISOR = 19.0f;
constexpr f32 PROGRESS_SEGMENT_WIDTH = 0.045f;
constexpr f32 PROGRESS_SEGMENT_HEIGHT = 1.0f;

constexpr Vector4 PROGRESS_SEGMENT_COLOR = {52.0f / 255.0f, 158.0f / 255.0f, 76.0f / 255.0f, 1.0f};

// Segments to draw for the counters: the ratio times 20, truncated, held to 0..20.
s32 progress_segment_count(s64 received, s64 total);

// "%mb": the mebibytes received, two decimals with trailing zeros removed ("0mb", "1.5mb").
String progress_text(s64 received);

struct Progress_Text_Position {
    s64 x = 0;
    s64 y = 0;  // baseline, up from the bottom edge
};
// Centred across, a quarter of the font's height below the middle.
Progress_Text_Position progress_text_position(Vector2 size, s64 text_width, s64 character_height);
