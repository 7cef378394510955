// The renderer against real OpenGL (Mesa llvmpipe on Xvfb: GLX natively, WGL under Wine):
// the context, the shaders, and pixels read back from what was drawn, on the updater's own
// kind of window. Skipped when there is no display to open a window on.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "plain_window.h"
#include "render.h"
#include "window_creation.h"
#include "gl/gl_context.h"

namespace {

constexpr GLenum GL_NO_ERROR_CODE = 0;

constexpr s32 WIDTH = 400, HEIGHT = 50;
const Vector4 BACKGROUND = {0.03f, 0.08f, 0.01f, 1};

struct Rgb {
    s32 r, g, b;
    bool operator==(const Rgb &) const = default;
};
void PrintTo(const Rgb &c, std::ostream *out) { *out << "(" << c.r << ", " << c.g << ", " << c.b << ")"; }

constexpr Rgb BACKGROUND_RGB = {8, 20, 3};  // 0.03, 0.08, 0.01 in 8 bits

struct Real_Gl_State {
    Window_Type window = 0;
    bool tried = false;
};
Real_Gl_State g_real;

void queue_quad(f32 x0, f32 y0, f32 x1, f32 y1, Vector4 color) {
    immediate_quad({x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, color, {0, 0}, {1, 0}, {1, 1}, {0, 1});
}

class Real_Gl : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (g_real.tried) return;
        g_real.tried = true;
        init_window_class(BACKGROUND.x, BACKGROUND.y, BACKGROUND.z, nullptr);
        g_real.window = custom_create_window(WIDTH, HEIGHT, "render_gl_tests", -1, -1, {}, gl_window_pixel_format(0));
        if (!g_real.window) return;
        prepare_window(g_real.window, 0);
        set_render_target(g_real.window, Coordinate_System::RIGHT_HANDED);
        update_window(g_real.window);
    }

    void SetUp() override {
        if (!g_real.window) GTEST_SKIP() << "no display to open a window on";
        ASSERT_TRUE(renderer_available());
        set_render_target(g_real.window, Coordinate_System::RIGHT_HANDED);
        clear_render_target(BACKGROUND.x, BACKGROUND.y, BACKGROUND.z, BACKGROUND.w);
    }

    void TearDown() override {
        if (!g_real.window || !renderer_available()) return;
        swap_buffers(g_real.window);
        EXPECT_EQ(gl.glGetError(), GL_NO_ERROR_CODE);
    }

    // What the frame holds so far (the back buffer), bottom row first.
    std::vector<u8> read_frame() {
        immediate_flush();
        gl.glFinish();
        std::vector<u8> rgba((size_t)WIDTH * HEIGHT * 4);
        gl.glReadBuffer(GL_BACK);
        gl.glPixelStorei(GL_PACK_ALIGNMENT, 1);
        gl.glReadPixels(0, 0, WIDTH, HEIGHT, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return rgba;
    }

    static Rgb at(const std::vector<u8> &frame, s32 x, s32 y) {
        const u8 *p = &frame[((size_t)y * WIDTH + x) * 4];
        return {p[0], p[1], p[2]};
    }
};

TEST_F(Real_Gl, ContextIsCoreProfile33OrNewerAndTheShadersLink) {
    EXPECT_GE(gl.gl_version_major * 10 + gl.gl_version_minor, 33);
    EXPECT_TRUE(gl.GL_VERSION_3_3);
    GLint profile = 0;
    gl.glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
    EXPECT_TRUE(profile & 1) << "not a core profile";
    const Shader *shaders[] = {&g_shaders.shader_color, &g_shaders.shader_color_with_blend, &g_shaders.shader_text,
                               &g_shaders.shader_sprite_flipped, &g_shaders.shader_sprite};
    for (const Shader *shader : shaders) EXPECT_NE(shader->gl_handle, 0u);
    printf("GL_VERSION: %s\nGL_RENDERER: %s\n", (const char *)gl.glGetString(GL_VERSION),
           (const char *)gl.glGetString(GL_RENDERER));
}

TEST_F(Real_Gl, QuadsLandOnTheirPixelsWithOriginAtTheBottomLeft) {
    set_shader_for_color(false);
    queue_quad(0, 0, 400, 10, {1, 0, 0, 1});       // along the bottom edge
    queue_quad(100, 20, 110, 30, {0, 0, 1, 1});
    queue_quad(390, 45, 400, 50, {0, 1, 0, 1});    // top-right corner
    std::vector<u8> frame = read_frame();

    struct Probe {
        s32 x, y;
        Rgb expected;
    } probes[] = {
        {0, 0, {255, 0, 0}},     {399, 9, {255, 0, 0}},  {200, 10, BACKGROUND_RGB}, {105, 25, {0, 0, 255}},
        {99, 25, BACKGROUND_RGB}, {110, 25, BACKGROUND_RGB}, {105, 30, BACKGROUND_RGB}, {399, 49, {0, 255, 0}},
        {389, 49, BACKGROUND_RGB}, {0, 49, BACKGROUND_RGB},
    };
    for (const Probe &p : probes) EXPECT_EQ(at(frame, p.x, p.y), p.expected) << p.x << ", " << p.y;
}

TEST_F(Real_Gl, QuadOverTheWholeTargetCoversEveryPixel) {
    set_shader_for_color(false);
    queue_quad(0, 0, 400, 50, {52 / 255.0f, 158 / 255.0f, 76 / 255.0f, 1});
    std::vector<u8> frame = read_frame();
    s32 uncovered = 0;
    for (s32 y = 0; y < HEIGHT; y++) {
        for (s32 x = 0; x < WIDTH; x++) {
            Rgb c = at(frame, x, y);
            if (c == Rgb{52, 158, 76}) continue;
            if (uncovered++ == 0) ADD_FAILURE() << "first uncovered pixel at " << x << ", " << y << ": " << c.r << " " << c.g << " " << c.b;
        }
    }
    EXPECT_EQ(uncovered, 0);
}

TEST_F(Real_Gl, BlendingFollowsTheColourShaderChoice) {
    set_shader_for_color(true);
    queue_quad(0, 0, 100, 50, {1, 1, 1, 0.5f});
    set_shader_for_color(false);
    queue_quad(100, 0, 200, 50, {1, 1, 1, 0.5f});
    std::vector<u8> frame = read_frame();
    Rgb blended = at(frame, 50, 25);
    EXPECT_NEAR(blended.r, (255 + 8) / 2, 2);
    EXPECT_NEAR(blended.g, (255 + 20) / 2, 2);
    EXPECT_EQ(at(frame, 150, 25), (Rgb{255, 255, 255}));
}

// A 2 x 2 texture: red, green in the first row; blue, white in the second.
Texture make_checker_texture(u8 alpha_of_green) {
    Bitmap bitmap;
    EXPECT_TRUE(bitmap_alloc(&bitmap, 2, 2, Texture_Format::RGBA8));
    const u8 texels[16] = {255, 0, 0, 255, 0, 255, 0, alpha_of_green, 0, 0, 255, 255, 255, 255, 255, 255};
    memcpy(bitmap.data.data, texels, sizeof(texels));
    Texture texture;
    EXPECT_TRUE(texture_load_from_bitmap(&texture, &bitmap));
    bitmap_deinit(&bitmap);
    gl.glTexParameteri(GL_TEXTURE_2D, 0x2801, GL_NEAREST);
    gl.glTexParameteri(GL_TEXTURE_2D, 0x2800, GL_NEAREST);
    return texture;
}

TEST_F(Real_Gl, SpritePathSamplesTheTexture) {
    Texture texture = make_checker_texture(255);
    immediate_set_shader(&g_shaders.shader_sprite);
    set_projection();
    gl.glActiveTexture(GL_TEXTURE0);
    gl.glBindTexture(GL_TEXTURE_2D, texture.gl_handle);
    queue_quad(300, 0, 340, 40, {1, 1, 1, 1});
    std::vector<u8> frame = read_frame();
    // The first bitmap row is at v = 0, the quad's bottom edge.
    EXPECT_EQ(at(frame, 305, 5), (Rgb{255, 0, 0}));
    EXPECT_EQ(at(frame, 335, 5), (Rgb{0, 255, 0}));
    EXPECT_EQ(at(frame, 305, 35), (Rgb{0, 0, 255}));
    EXPECT_EQ(at(frame, 335, 35), (Rgb{255, 255, 255}));
    EXPECT_EQ(at(frame, 345, 5), BACKGROUND_RGB);
}

TEST_F(Real_Gl, TextShaderTakesCoverageFromTheTextureAlpha) {
    Texture texture = make_checker_texture(0);  // the green texel is fully transparent
    set_shader_for_text();
    GLint sampler = gl.glGetUniformLocation(g_shaders.shader_text.gl_handle, "text_sampler");
    EXPECT_GE(sampler, 0);
    gl.glActiveTexture(GL_TEXTURE0);
    gl.glBindTexture(GL_TEXTURE_2D, texture.gl_handle);
    gl.glUniform1i(sampler, 0);
    queue_quad(0, 0, 40, 40, {1, 1, 0, 1});
    std::vector<u8> frame = read_frame();
    EXPECT_EQ(at(frame, 5, 5), (Rgb{255, 255, 0}));    // opaque texel: the quad's colour
    EXPECT_EQ(at(frame, 35, 5), BACKGROUND_RGB);       // transparent texel: nothing drawn
}

TEST_F(Real_Gl, ResizeOfTheTargetFollowsTheNewSize) {
    plain_window_resize(g_real.window, 200, 40);
    update_window(g_real.window);
    EXPECT_EQ(get_immediate_state()->current_window_info.window_width, 200);
    EXPECT_EQ(get_immediate_state()->current_window_info.window_height, 40);
    set_shader_for_color(false);
    clear_render_target(0, 0, 0, 1);
    queue_quad(100, 20, 200, 40, {1, 1, 1, 1});  // the upper-right quarter of the new size
    std::vector<u8> frame = read_frame();
    EXPECT_EQ(at(frame, 150, 30), (Rgb{255, 255, 255}));
    EXPECT_EQ(at(frame, 199, 39), (Rgb{255, 255, 255}));
    EXPECT_EQ(at(frame, 99, 19), (Rgb{0, 0, 0}));

    plain_window_resize(g_real.window, WIDTH, HEIGHT);
    update_window(g_real.window);
    EXPECT_EQ(get_immediate_state()->current_window_info.window_width, WIDTH);
}

}  // namespace
