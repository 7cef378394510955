// Text benchmarks: preparing cached text, first-time glyph creation, and drawing the
// progress text twice (shadow and text) as the progress frame does.
#include <benchmark/benchmark.h>

#include <string>

#include "font.h"
#include "os.h"
#include "render.h"
#include "window_creation.h"
#include "gl/gl_context.h"

namespace {

String window_font_bytes() {
    static String bytes = [] {
        File_Contents file = read_entire_file(KORVANE_SOURCE_DIR "/assets/QuanPixelSmall.ttf");
        if (!file.success) abort();
        return file.data;
    }();
    return bytes;
}

// 64 ASCII characters, every glyph already in the cache.
void BM_PrepareTextCached(benchmark::State &state) {
    static const char TEXT[] = "Downloading client.exe: 12.5mb of 100.0mb received, please wait.";
    static_assert(sizeof(TEXT) - 1 == 64);
    Sized_Font *font = get_font_at_size(window_font_bytes(), 25);
    prepare_text(font, TEXT, 0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(prepare_text(font, TEXT, 0));
    }
    state.counters["per_char"] =
        benchmark::Counter((f64)state.iterations() * 64, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PrepareTextCached);

// The progress frame's text: prepared once, drawn as the shadow and then the text. Needs a
// display (DISPLAY); CPU time is this thread's, so the rasteriser's threads do not count.
// Runs before the glyph-creation benchmark, whose many fonts would scatter this text's
// glyphs over several pages (a texture switch each) where the updater has them on one.
void BM_DrawProgressTextTwice(benchmark::State &state) {
    static Window_Type window = [] {
        Window_Type w = custom_create_window(400, 50, "Korvane text benchmark", -1, -1, {}, gl_window_pixel_format(0));
        if (w) {
            prepare_window(w, 0);
            set_render_target(w, Coordinate_System::RIGHT_HANDED);
            update_window(w);
        }
        return w;
    }();
    if (!window || !renderer_available()) {
        state.SkipWithError("no display or no OpenGL renderer");
        return;
    }
    Sized_Font *font = get_font_at_size(window_font_bytes(), 25);
    s64 width = prepare_text(font, "12.5mb", 0);
    s64 x = (400 - width) / 2, y = 18;
    draw_prepared_text(font, x, y, {1, 1, 1, 1});  // uploads the page once
    s64 frames = 0;
    for (auto _ : state) {
        draw_prepared_text(font, x + 2, y - 2, {0, 0, 0, 1});
        draw_prepared_text(font, x, y, {1, 1, 1, 1});
        if (++frames % 64 == 0) {
            state.PauseTiming();
            swap_buffers(window);
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_DrawProgressTextTwice)->Unit(benchmark::kMicrosecond);

// Rendering and packing the 95 printable ASCII glyphs into a font whose cache is empty.
void BM_FirstTimeGlyphCreation25px(benchmark::State &state) {
    for (auto _ : state) {
        state.PauseTiming();
        Sized_Font *font = get_font_at_size(window_font_bytes(), 25);
        state.ResumeTiming();
        for (u32 c = 0x20; c < 0x7F; c++) benchmark::DoNotOptimize(find_or_create_glyph(font, c));
    }
    state.counters["per_glyph"] =
        benchmark::Counter((f64)state.iterations() * 95, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FirstTimeGlyphCreation25px)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
