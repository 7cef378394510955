// Render targets, the renderer's start-up, presentation and texture uploads, watched
// through the recording OpenGL table and a fake operating system.
#include "render_fixture.h"

namespace {

using Target = Recording_Test;

TEST_F(Target, FirstWindowBringsTheRendererUp) {
    g_fake_os.sizes[fake_window(1)] = {400, 50};
    g_fake_os.context.samples = 4;
    EXPECT_EQ(prepare_window(fake_window(1), 8), 4);
    EXPECT_EQ(g_fake_os.create_calls, 1);
    EXPECT_EQ(g_fake_os.samples_asked, 8);
    EXPECT_TRUE(renderer_available());
    EXPECT_EQ(gl.gl_version_major, 3);
    EXPECT_TRUE(gl.GL_VERSION_3_3);
    EXPECT_FALSE(gl.GL_VERSION_4_0);

    std::vector<std::string> names = g_recorder.names();
    auto vao = std::find(names.begin(), names.end(), "glGenVertexArrays");
    auto vbo = std::find(names.begin(), names.end(), "glGenBuffers");
    auto first_shader = std::find(names.begin(), names.end(), "glCreateShader");
    EXPECT_TRUE(vao < vbo && vbo < first_shader);
    EXPECT_EQ(g_recorder.count("glCreateProgram"), 4);  // colour, text, two sprites

    const Window_Info &info = *find_or_add_window_info(fake_window(1)).info;
    EXPECT_TRUE(info.backend_initted_for_this_window);
    EXPECT_EQ(info.window_width, 400);
    EXPECT_EQ(info.msaa, 4);
    EXPECT_EQ(info.device_context, g_fake_os.context.device_context);
    EXPECT_EQ(g_renderer.gl_context, g_fake_os.context.context);

    g_recorder.take();
    set_render_target(fake_window(1), Coordinate_System::RIGHT_HANDED);
    EXPECT_EQ(g_recorder.take(), (std::vector<Gl_Call>{{"glFlush", {}},
                                                       {"glViewport", {0, 0, 400, 50}},
                                                       {"glBindFramebuffer", {0x8D40, 0}},
                                                       {"glDrawBuffer", {0x0405}}}));
    EXPECT_EQ(get_immediate_state()->current_window_info.window, fake_window(1));
}

TEST_F(Target, PreparingTwiceIsReportedAndChangesNothing) {
    bring_up(fake_window(1), 400, 50);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    prepare_window(fake_window(1), 0);
    std::string out = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("set up already"), std::string::npos);
    EXPECT_EQ(g_fake_os.create_calls, 1);
    EXPECT_TRUE(g_recorder.calls.empty());
}

TEST_F(Target, SetRenderTargetSetsUpAnUnpreparedWindowWithoutMultisampling) {
    g_fake_os.sizes[fake_window(1)] = {400, 50};
    set_render_target(fake_window(1), Coordinate_System::RIGHT_HANDED);
    EXPECT_EQ(g_fake_os.create_calls, 1);
    EXPECT_EQ(g_fake_os.samples_asked, 0);
    EXPECT_TRUE(find_or_add_window_info(fake_window(1)).info->backend_initted_for_this_window);
    EXPECT_EQ(get_immediate_state()->current_shader, nullptr);
}

TEST_F(Target, UnchangedSizeMakesNoCall) {
    bring_up(fake_window(1), 400, 50);
    set_shader_for_color(false);
    g_recorder.take();
    update_window(fake_window(1));
    EXPECT_TRUE(g_recorder.calls.empty());
}

TEST_F(Target, ResizeOfTheTargetUpdatesViewportAndProjectionWhenAShaderIsCurrent) {
    bring_up(fake_window(1), 400, 50);
    g_recorder.uniform_locations = {{"projection", 3}};

    g_fake_os.sizes[fake_window(1)] = {500, 60};
    update_window(fake_window(1));  // no shader current yet
    EXPECT_EQ(g_recorder.take(), (std::vector<Gl_Call>{{"glViewport", {0, 0, 500, 60}}}));

    set_shader_for_color(false);
    g_recorder.take();
    g_fake_os.sizes[fake_window(1)] = {640, 80};
    update_window(fake_window(1));
    std::vector<Gl_Call> calls = g_recorder.take();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], (Gl_Call{"glViewport", {0, 0, 640, 80}}));
    EXPECT_EQ(calls[2].name, "glUniformMatrix4fv");
    EXPECT_FLOAT_EQ(calls[2].floats[0], 2.0f / 640);
    EXPECT_EQ(get_immediate_state()->current_window_info.window_width, 640);
}

TEST_F(Target, ResizeOfAnotherWindowOnlyUpdatesItsRecord) {
    bring_up(fake_window(1), 400, 50);
    set_shader_for_color(false);
    g_fake_os.sizes[fake_window(2)] = {100, 20};
    update_window(fake_window(2));
    g_recorder.take();
    g_fake_os.sizes[fake_window(2)] = {120, 30};
    update_window(fake_window(2));
    EXPECT_TRUE(g_recorder.calls.empty());
    EXPECT_EQ(find_or_add_window_info(fake_window(2)).info->window_width, 120);
    EXPECT_EQ(get_immediate_state()->current_window_info.window_width, 400);
}

TEST_F(Target, ClearAndPresent) {
    bring_up(fake_window(1), 400, 50);
    set_shader_for_color(false);
    g_recorder.take();
    clear_render_target(0.03f, 0.08f, 0.01f, 1);
    queue_quad(0, 0, 10, 10);
    swap_buffers(fake_window(1));
    std::vector<Gl_Call> calls = g_recorder.take();
    EXPECT_EQ(calls[0], (Gl_Call{"glClearColor", {}, {0.03f, 0.08f, 0.01f, 1}}));
    EXPECT_EQ(calls[1], (Gl_Call{"glClear", {0x4000}}));
    EXPECT_EQ(calls.back().name, "glDrawArrays");  // queued quads go out before presenting
    EXPECT_EQ(g_fake_os.swaps, 1);
}

TEST_F(Target, FailedContextTurnsTheRendererOff) {
    g_fake_os.sizes[fake_window(1)] = {400, 50};
    g_fake_os.context = {};
    gl.gl_version_major = 0;  // as before any gl_load
    gl.gl_version_minor = 0;

    EXPECT_EQ(prepare_window(fake_window(1), 0), 0);
    EXPECT_FALSE(renderer_available());
    EXPECT_TRUE(g_renderer.context_failed);
    set_render_target(fake_window(1), Coordinate_System::RIGHT_HANDED);
    update_window(fake_window(1));
    clear_render_target(0, 0, 0, 1);
    set_shader_for_color(false);
    queue_quad(0, 0, 10, 10);
    set_shader_for_text();
    swap_buffers(fake_window(1));

    Bitmap bitmap;
    ASSERT_TRUE(bitmap_alloc(&bitmap, 2, 2, Texture_Format::RGBA8));
    Texture texture;
    EXPECT_FALSE(texture_load_from_bitmap(&texture, &bitmap));
    bitmap_deinit(&bitmap);

    EXPECT_TRUE(g_recorder.calls.empty());
    EXPECT_EQ(g_fake_os.swaps, 0);
    EXPECT_EQ(g_fake_os.create_calls, 1);  // not tried again
    EXPECT_EQ(get_immediate_state()->num_vertices, 0);
}

TEST_F(Target, NoWindowMeansNoContextAndNoRenderer) {
    gl.gl_version_major = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(prepare_window(Window_Type{}, 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "No window to make the OpenGL context on.\n");
    EXPECT_EQ(g_fake_os.create_calls, 0);
    EXPECT_FALSE(renderer_available());
    set_render_target(Window_Type{}, Coordinate_System::RIGHT_HANDED);
    clear_render_target(0, 0, 0, 1);
    swap_buffers(Window_Type{});
    EXPECT_TRUE(g_recorder.calls.empty());
}

// --- textures ---

TEST_F(Target, UploadUsesTheStrideAsRowLengthAndKeepsTheName) {
    bring_up(fake_window(1), 400, 50);
    Bitmap bitmap;
    ASSERT_TRUE(bitmap_alloc(&bitmap, 6, 2, Texture_Format::RGBA8));
    bitmap.width = 4;  // rows padded to 6 texels
    Texture texture;

    ASSERT_TRUE(texture_load_from_bitmap(&texture, &bitmap));
    u32 name = texture.gl_handle;
    EXPECT_NE(name, 0u);
    const s64 pixels = (s64)(intptr_t)bitmap.data.data;
    const std::vector<Gl_Call> first = {
        {"glGenTextures", {1}},
        {"glBindTexture", {0x0DE1, name}},
        {"glTexParameteri", {0x0DE1, 0x2802, 0x812F}},
        {"glTexParameteri", {0x0DE1, 0x2803, 0x812F}},
        {"glTexParameteri", {0x0DE1, 0x2801, 0x2601}},
        {"glTexParameteri", {0x0DE1, 0x2800, 0x2601}},
        {"glBindTexture", {0x0DE1, name}},
        {"glPixelStorei", {0x0CF5, 1}},
        {"glPixelStorei", {0x0CF2, 6}},
        {"glTexImage2D", {0x0DE1, 0, 0x8058, 4, 2, 0, 0x1908, 0x1401, pixels}},
    };
    EXPECT_EQ(g_recorder.take(), first);
    EXPECT_EQ(texture.width, 4);
    EXPECT_EQ(texture.depth, 1);
    EXPECT_EQ(texture.format, Texture_Format::RGBA8);

    // Same size and format again: same name, filters untouched, pixels re-specified.
    ASSERT_TRUE(texture_load_from_bitmap(&texture, &bitmap));
    std::vector<Gl_Call> again = g_recorder.take();
    EXPECT_EQ(again, std::vector<Gl_Call>(first.begin() + 6, first.end()));

    // Another size re-specifies the same name.
    bitmap.width = 6;
    ASSERT_TRUE(texture_load_from_bitmap(&texture, &bitmap));
    EXPECT_EQ(texture.gl_handle, name);
    EXPECT_EQ(g_recorder.count("glGenTextures"), 0);
    EXPECT_EQ(texture.width, 6);
    bitmap_deinit(&bitmap);
}

TEST_F(Target, SrgbBitmapsUploadWithSrgbInternalFormats) {
    bring_up(fake_window(1), 400, 50);
    struct Case {
        Texture_Format format;
        bool srgb;
        s64 internal_format;
    } cases[] = {
        {Texture_Format::RGBA8, true, 0x8C43},
        {Texture_Format::RGBA8, false, 0x8058},
        {Texture_Format::RGB8, true, 0x8C41},
        {Texture_Format::BGRA8, true, 0x8C43},
    };
    for (const Case &c : cases) {
        Bitmap bitmap;
        ASSERT_TRUE(bitmap_alloc(&bitmap, 2, 2, c.format));
        if (c.srgb) bitmap.flags = bitmap.flags | Bitmap_Flags::IS_SRGB;
        Texture texture;
        g_recorder.take();
        ASSERT_TRUE(texture_load_from_bitmap(&texture, &bitmap));
        EXPECT_EQ(has_flag(texture.flags, Texture_Flags::sRGB), c.srgb);
        EXPECT_EQ(g_recorder.calls.back().args[2], c.internal_format) << enum_member_name(c.format);
        bitmap_deinit(&bitmap);
    }
}

TEST_F(Target, UploadsThatCannotWorkReturnFalseWithoutCalls) {
    bring_up(fake_window(1), 400, 50);
    Texture texture;
    EXPECT_FALSE(texture_load_from_bitmap(&texture, nullptr));
    EXPECT_EQ(texture.gl_handle, 0u);

    Bitmap short_data;
    ASSERT_TRUE(bitmap_alloc(&short_data, 4, 4, Texture_Format::RGBA8));
    short_data.data.count = 4 * 4 * 4 - 1;  // one byte short of the last row
    Bitmap no_levels;
    ASSERT_TRUE(bitmap_alloc(&no_levels, 4, 4, Texture_Format::RGBA8));
    no_levels.mipmap_count = 0;
    Bitmap compressed;
    compressed.width = compressed.height = 4;
    compressed.mipmap_count = 1;
    compressed.format = Texture_Format::BC1;

    for (Bitmap *bitmap : {&short_data, &no_levels, &compressed}) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_FALSE(texture_load_from_bitmap(&texture, bitmap));
        std::string out = testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        EXPECT_NE(out.find("texture_load_from_bitmap"), std::string::npos) << out;
    }
    EXPECT_TRUE(g_recorder.calls.empty());
    EXPECT_EQ(texture.gl_handle, 0u);
    bitmap_deinit(&short_data);
    bitmap_deinit(&no_levels);
}

}  // namespace
