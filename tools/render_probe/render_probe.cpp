// Shows the renderer at work: a 400 x 50 window cleared to the progress window's
// background, a few coloured quads and a textured quad, presented; optionally the frame
// is read back (from the back buffer, just before it is presented: reading the front
// buffer of a window gives black under Xvfb) and written to a PPM file.
//
//   render_probe.exe [--out frame.ppm] [--keep]
//
// --keep leaves the window up until it is closed (or the process is ended).
#include <cstdio>
#include <cstring>
#include <vector>

#include "log.h"
#include "plain_window.h"
#include "render.h"
#include "window_creation.h"
#include "gl/gl_context.h"

namespace {

constexpr Vector2 UV0 = {0, 0}, UV1 = {1, 0}, UV2 = {1, 1}, UV3 = {0, 1};

void quad(f32 x0, f32 y0, f32 x1, f32 y1, Vector4 color) {
    immediate_quad({x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, color, UV0, UV1, UV2, UV3);
}

// Rows come from OpenGL bottom-up; a PPM lists them top-down.
bool write_ppm(const char *path, s32 width, s32 height, const std::vector<u8> &rgb) {
    FILE *file = fopen(path, "wb");
    if (!file) return false;
    fprintf(file, "P6\n%d %d\n255\n", width, height);
    for (s32 y = height - 1; y >= 0; y--) fwrite(&rgb[(size_t)y * width * 3], 1, (size_t)width * 3, file);
    return fclose(file) == 0;
}

}  // namespace

int main(int argc, char **argv) {
    const char *out_path = nullptr;
    bool keep = false;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
            out_path = argv[++i];
        } else if (strcmp(argv[i], "--keep") == 0) {
            keep = true;
        } else {
            fprintf(stderr, "usage: render_probe.exe [--out frame.ppm] [--keep]\n");
            return 2;
        }
    }

    const s32 width = 400, height = 50;
    init_window_class(0.03f, 0.08f, 0.01f, nullptr);
    Window_Type window = custom_create_window(width, height, "Korvane render probe", -1, -1, {}, gl_window_pixel_format(0));
    if (!window) {
        log_error("render_probe: could not open a window (is DISPLAY set?)");
        return 1;
    }
    prepare_window(window, 0);
    set_render_target(window, Coordinate_System::RIGHT_HANDED);
    update_window(window);
    if (!renderer_available()) {
        log_error("render_probe: no renderer");
        return 1;
    }
    log_line("GL_VERSION: %", (const char *)gl.glGetString(GL_VERSION));
    log_line("GL_RENDERER: %", (const char *)gl.glGetString(GL_RENDERER));
    log_line("OpenGL %.% loaded; window % x %", gl.gl_version_major, gl.gl_version_minor, width, height);

    // A 2 x 2 checker of red, green, blue and white for the sprite path.
    Bitmap bitmap;
    bitmap_alloc(&bitmap, 2, 2, Texture_Format::RGBA8);
    const u8 texels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
    memcpy(bitmap.data.data, texels, sizeof(texels));
    Texture texture;
    texture_load_from_bitmap(&texture, &bitmap);

    clear_render_target(0.03f, 0.08f, 0.01f, 1.0f);
    set_shader_for_color(false);
    quad(0, 0, 18, 50, {52 / 255.0f, 158 / 255.0f, 76 / 255.0f, 1});
    quad(21, 0, 39, 50, {52 / 255.0f, 158 / 255.0f, 76 / 255.0f, 1});
    quad(100, 0, 150, 10, {1, 0, 0, 1});
    quad(160, 40, 210, 50, {0, 0, 1, 1});
    immediate_flush();

    immediate_set_shader(&g_shaders.shader_sprite);
    set_projection();
    gl.glActiveTexture(GL_TEXTURE0);
    gl.glBindTexture(GL_TEXTURE_2D, texture.gl_handle);
    quad(300, 5, 340, 45, {1, 1, 1, 1});
    immediate_flush();

    std::vector<u8> rgb;
    if (out_path) {
        rgb.resize((size_t)width * height * 3);
        gl.glReadBuffer(GL_BACK);
        gl.glPixelStorei(GL_PACK_ALIGNMENT, 1);
        gl.glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        if (!write_ppm(out_path, width, height, rgb)) {
            log_error("render_probe: could not write %", out_path);
            return 1;
        }
        log_line("frame written to %", out_path);
    }
    swap_buffers(window);
    while (keep) {
        plain_window_pump();
        swap_buffers(window);
    }
    bitmap_deinit(&bitmap);
    plain_window_destroy(window);
    return 0;
}
