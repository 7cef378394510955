// Queueing and flushing 10,000 quads: against real OpenGL (llvmpipe on the display in
// $DISPLAY) and against the recording table, which leaves only the renderer's own work.
#include <benchmark/benchmark.h>

#include "recording_gl.h"
#include "render.h"
#include "window_creation.h"
#include "gl/gl_context.h"

namespace {

constexpr s32 QUADS = 10000;
constexpr s32 FLUSHES = (QUADS + 399) / 400;

void queue_quads() {
    for (s32 i = 0; i < QUADS; i++) {
        f32 x = (f32)(i % 400), y = (f32)(i / 400 % 50);
        immediate_quad({x, y}, {x + 1, y}, {x + 1, y + 1}, {x, y + 1}, {0.2f, 0.6f, 0.3f, 1}, {0, 0}, {1, 0}, {1, 1},
                       {0, 1});
    }
    immediate_flush();
}

void report(benchmark::State &state) {
    state.SetItemsProcessed(state.iterations() * QUADS);
    state.counters["flushes"] = FLUSHES;
    state.counters["time_per_flush"] =
        benchmark::Counter(FLUSHES, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

struct Bench_Window {
    Window_Type window = 0;
    bool tried = false;
};
Bench_Window g_bench_window;

void BM_QuadsLlvmpipe(benchmark::State &state) {
    if (!g_bench_window.tried) {
        g_bench_window.tried = true;
        g_bench_window.window = custom_create_window(400, 50, "render_bench", -1, -1, {}, gl_window_pixel_format(0));
        if (g_bench_window.window) prepare_window(g_bench_window.window, 0);
    }
    if (!g_bench_window.window || !renderer_available()) {
        state.SkipWithError("no display or no OpenGL");
        return;
    }
    set_render_target(g_bench_window.window, Coordinate_System::RIGHT_HANDED);
    for (auto _ : state) {
        clear_render_target(0.03f, 0.08f, 0.01f, 1);
        set_shader_for_color(false);
        queue_quads();
        gl.glFinish();  // llvmpipe draws on its own threads: count the drawing too
    }
    swap_buffers(g_bench_window.window);
    report(state);
}
BENCHMARK(BM_QuadsLlvmpipe)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_QuadsRecordingTable(benchmark::State &state) {
    GL_Procedures saved = gl;
    gl = make_recording_table();
    Shader shader;
    shader.position_loc = 0;
    shader.color_scale_loc = 1;
    get_immediate_state()->current_shader = &shader;
    for (auto _ : state) {
        queue_quads();
        g_recorder.calls.clear();
    }
    get_immediate_state()->current_shader = nullptr;
    gl = saved;
    report(state);
}
BENCHMARK(BM_QuadsRecordingTable)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
