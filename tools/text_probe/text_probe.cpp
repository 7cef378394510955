// Shows the window font at work: its whole character set (U+0020..U+007E) at 8 and at 25
// pixels, white on the progress window's background, read back from the frame and saved
// as a PNG for a person to look at.
//
//   text_probe.exe [--out text_probe.png] [--keep]
//
// --keep leaves the window up until the process is ended. The window is the updater's own
// (custom_create_window).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "font.h"
#include "log.h"
#include "os.h"
#include "events.h"
#include "png_write.h"
#include "render.h"
#include "window_creation.h"
#include "gl/gl_context.h"

namespace {

constexpr s32 WIDTH = 640;
constexpr s32 HEIGHT = 196;

void draw_line(Sized_Font *font, const std::string &text, s64 x, s64 baseline) {
    prepare_text(font, String(text.data(), (s64)text.size()), 0);
    draw_prepared_text(font, x, baseline, {1, 1, 1, 1});
}

}  // namespace

int main(int argc, char **argv) {
    const char *out_path = "text_probe.png";
    bool keep = false;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
            out_path = argv[++i];
        } else if (strcmp(argv[i], "--keep") == 0) {
            keep = true;
        } else {
            fprintf(stderr, "usage: text_probe.exe [--out text_probe.png] [--keep]\n");
            return 2;
        }
    }

    File_Contents font_file = read_entire_file(KORVANE_SOURCE_DIR "/assets/QuanPixelSmall.ttf");
    if (!font_file.success) return 1;
    Sized_Font *small = get_font_at_size(font_file.data, 8);
    Sized_Font *large = get_font_at_size(font_file.data, 25);
    if (!small || !large) return 1;

    Window_Type window = custom_create_window(WIDTH, HEIGHT, "Korvane text probe", -1, -1, {}, gl_window_pixel_format(0));
    if (!window) {
        log_error("text_probe: could not open a window (is DISPLAY set?)");
        return 1;
    }
    prepare_window(window, 0);
    set_render_target(window, Coordinate_System::RIGHT_HANDED);
    update_window(window);
    if (!renderer_available()) {
        log_error("text_probe: no renderer");
        return 1;
    }

    std::string all;
    for (char c = 0x20; c < 0x7F; c++) all += c;

    // y grows upwards: the first line is at the top of the window.
    clear_render_target(0.03f, 0.08f, 0.01f, 1.0f);
    s64 y = HEIGHT - 6 - small->max_ascender;
    draw_line(small, all, 6, y);
    y -= small->line_spacing + 4;
    for (size_t at = 0; at < all.size(); at += 32) {
        y -= large->line_spacing;
        draw_line(large, all.substr(at, 32), 6, y);
    }
    y -= large->line_spacing;
    draw_line(large, "0mb 12.5mb 100.25mb", 6, y);

    // From the back buffer, before presenting: the front buffer reads black under Xvfb.
    std::vector<u8> rgb((size_t)WIDTH * HEIGHT * 3);
    gl.glReadBuffer(GL_BACK);
    gl.glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gl.glReadPixels(0, 0, WIDTH, HEIGHT, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    // OpenGL gives the bottom row first; a PNG starts at the top.
    std::vector<u8> top_down(rgb.size());
    for (s32 row = 0; row < HEIGHT; row++) {
        memcpy(&top_down[(size_t)row * WIDTH * 3], &rgb[(size_t)(HEIGHT - 1 - row) * WIDTH * 3], (size_t)WIDTH * 3);
    }
    if (!write_png_rgb(out_path, top_down.data(), WIDTH, HEIGHT)) {
        log_error("text_probe: could not write %", out_path);
        return 1;
    }
    log_line("character set at 8 and 25 pixels written to %", out_path);

    swap_buffers(window);
    while (keep) {
        update_window_events();
        swap_buffers(window);
        sleep_milliseconds(16);
    }
    return 0;
}
