// One progress frame on a real window with real OpenGL (llvmpipe under Xvfb): the CPU time
// of drawing and presenting, which the frame loop spends besides its 10 ms sleep.
//
//   build/linux/bench/progress_window/progress_window_bench.exe   (needs DISPLAY)
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "embedded_files.h"
#include "events.h"
#include "render.h"
#include "temporary_storage.h"
#include "updater_window.h"
#include "window_creation.h"
#include "gl/gl_context.h"

static std::atomic<s64> download_bytes_total{0};
static std::atomic<s64> download_bytes_received{0};
static std::atomic<bool> updater_done{false};

static UpdaterWindow *open_window() {
    static UpdaterWindow window;
    static bool opened = false;
    if (opened) return &window;
    opened = true;
    window.counters = {&download_bytes_total, &download_bytes_received, &updater_done};
    window.width = 400;
    window.height = 50;
    window.window = custom_create_window(400, 50, "Korvane (Updater)", -1, -1, {}, gl_window_pixel_format(0));
    window.size = {400, 50};
    prepare_window(window.window, 0);
    set_render_target(window.window, Coordinate_System::RIGHT_HANDED);
    Embedded_Files files = embedded_files();
    window.font_data = String((const char *)files.block + files.table[Font].offset, files.table[Font].count);
    window.font_loaded = true;
    update_fonts(&window);
    return &window;
}

static void frame(benchmark::State &state) {
    if (!getenv("DISPLAY")) {
        state.SkipWithError("needs an X display");
        return;
    }
    UpdaterWindow *window = open_window();
    download_bytes_total = 256ll << 20;
    for (auto _ : state) {
        // A different amount each frame, as during a download: the text is prepared anew.
        download_bytes_received = (download_bytes_received + 65536) % download_bytes_total;
        update_and_render_one_frame(window);
        update_window_events();
        reset_temporary_storage();
    }
}
BENCHMARK(frame)->Unit(benchmark::kMicrosecond);
BENCHMARK(frame)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->Name("frame/process_cpu");

BENCHMARK_MAIN();
