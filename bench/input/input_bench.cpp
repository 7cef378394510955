// The per-frame pump: update_window_events on a real window of the X display with nothing
// waiting and with 100 key messages waiting, and the window procedure's share of the
// latter through a table that hands the messages over without a display.
//
//   DISPLAY=:N input_bench.exe
#include <benchmark/benchmark.h>

#include <X11/Xlib.h>

#include "input_internal.h"
#include "window_creation.h"
#include "window_x11.h"

namespace {

constexpr int KEY_MESSAGES = 100;

Window_Type bench_window() {
    static Window_Type window = custom_create_window(400, 50, "Korvane input bench");
    return window;
}

void BM_update_window_events_nothing_pending(benchmark::State &state) {
    Window_Type window = bench_window();
    if (!window) {
        state.SkipWithError("no window (is DISPLAY set?)");
        return;
    }
    update_window_events();
    for (auto _ : state) {
        update_window_events();
        benchmark::DoNotOptimize(frame_events.data());
    }
}
BENCHMARK(BM_update_window_events_nothing_pending);

void BM_update_window_events_100_key_messages(benchmark::State &state) {
    Window_Type window = bench_window();
    if (!window) {
        state.SkipWithError("no window (is DISPLAY set?)");
        return;
    }
    Display *display = (Display *)x11_display();
    update_window_events();
    XEvent event = {};
    event.xkey.display = display;
    event.xkey.window = window;
    event.xkey.root = DefaultRootWindow(display);
    event.xkey.same_screen = True;
    event.xkey.keycode = XKeysymToKeycode(display, 'a');
    for (auto _ : state) {
        state.PauseTiming();
        // Alternate presses and releases of one key, as typing would.
        for (int i = 0; i < KEY_MESSAGES; i++) {
            event.type = (i & 1) ? KeyRelease : KeyPress;
            event.xkey.time = (Time)(i / 2 + 1);
            XSendEvent(display, window, False, 0, &event);
        }
        XSync(display, False);
        state.ResumeTiming();
        update_window_events();
        benchmark::DoNotOptimize(frame_events.data());
    }
    state.counters["events"] = (double)frame_events.size();
}
BENCHMARK(BM_update_window_events_100_key_messages);

// --- the window procedure alone ---

Input_OS g_real_os;

void pump_100_key_messages() {
    for (int i = 0; i < KEY_MESSAGES; i++) {
        if (i & 1) {
            window_proc(0, WM_KEYUP, 'A', (Message_Long)0xC0000001);
        } else {
            window_proc(0, WM_KEYDOWN, 'A', 1);
            window_proc(0, WM_CHAR, 'a', 1);
        }
    }
}

bool no_key_down(u32) { return false; }

void BM_update_window_events_100_key_messages_without_display(benchmark::State &state) {
    g_real_os = input_os;
    update_window_events();  // the first-frame set-up, with the real calls
    input_os.pump_messages = pump_100_key_messages;
    input_os.async_key_down = no_key_down;
    for (auto _ : state) {
        update_window_events();
        benchmark::DoNotOptimize(frame_events.data());
    }
    state.counters["events"] = (double)frame_events.size();
    input_os = g_real_os;
}
BENCHMARK(BM_update_window_events_100_key_messages_without_display);

}  // namespace

BENCHMARK_MAIN();
