// The immediate-mode batch and the shaders, watched through the recording OpenGL table.
#include <cmath>

#include "render_fixture.h"
#include "shader_sources.h"

namespace {

using Batch = Recording_Test;

TEST_F(Batch, FourHundredQuadsGoOutAsOneDrawWhenThe401stArrives) {
    bring_up(fake_window(1), 400, 50);
    set_shader_for_color(false);
    g_recorder.take();

    for (int i = 0; i < 400; i++) queue_quad(0, 0, 1, 1);
    EXPECT_TRUE(g_recorder.calls.empty());
    EXPECT_EQ(get_immediate_state()->num_vertices, 2400);

    queue_quad(0, 0, 1, 1);
    ASSERT_EQ(g_recorder.count("glDrawArrays"), 1);
    Gl_Call draw = g_recorder.calls.back();
    EXPECT_EQ(draw, (Gl_Call{"glDrawArrays", {GL_TRIANGLES, 0, 2400}}));
    EXPECT_EQ(get_immediate_state()->num_vertices, 6);  // the 401st starts the next batch

    g_recorder.take();
    immediate_flush();
    EXPECT_EQ(g_recorder.calls.back(), (Gl_Call{"glDrawArrays", {GL_TRIANGLES, 0, 6}}));
    EXPECT_EQ(get_immediate_state()->num_vertices, 0);
}

TEST_F(Batch, FlushRespecifiesTheBufferAndDraws) {
    bring_up(fake_window(1), 400, 50);
    g_recorder.attribute_locations = {{"vert_position", 0}};
    set_shader_for_color(false);
    g_recorder.take();

    queue_quad(0, 0, 10, 10);
    queue_quad(0, 0, 10, 10);
    immediate_flush();
    const std::vector<Gl_Call> expected = {
        {"glBindVertexArray", {g_renderer.renderer_vertex_array}},
        {"glBindBuffer", {GL_ARRAY_BUFFER, g_renderer.renderer_vertex_buffer}},
        {"glBindBuffer", {GL_ELEMENT_ARRAY_BUFFER, 0}},
        {"glBufferData", {GL_ARRAY_BUFFER, 12 * 72, GL_STREAM_DRAW}},
        {"glDisable", {GL_DEPTH_TEST}},
        {"glDisable", {GL_CULL_FACE}},
        {"glEnableVertexAttribArray", {0}},
        {"glVertexAttribPointer", {0, 3, GL_FLOAT, 0, 72, 0}},
        {"glDrawArrays", {GL_TRIANGLES, 0, 12}},
    };
    EXPECT_EQ(g_recorder.take(), expected);
    EXPECT_EQ(g_recorder.buffer_data_bytes_copied, 12 * 72);
}

TEST_F(Batch, EmptyFlushMakesNoCallEvenWithoutShader) {
    bring_up(fake_window(1), 400, 50);
    immediate_flush();  // no shader after set_render_target
    set_shader_for_color(false);
    g_recorder.take();
    immediate_flush();
    EXPECT_TRUE(g_recorder.calls.empty());
}

TEST_F(Batch, FlushWithoutShaderReportsAndDropsTheQuads) {
    bring_up(fake_window(1), 400, 50);
    queue_quad(0, 0, 1, 1);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    immediate_flush();
    std::string out = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("Tried to immediate_flush when no shader was set.\n"), std::string::npos) << out;
    EXPECT_EQ(get_immediate_state()->num_vertices, 0);
    EXPECT_TRUE(g_recorder.calls.empty());
}

TEST_F(Batch, ProjectionWithoutShaderReportsAndDropsTheQuads) {
    bring_up(fake_window(1), 400, 50);
    queue_quad(0, 0, 1, 1);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    immediate_set_2d_projection(400, 50);
    std::string out = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("Tried to immediate_set_2d_projection when no shader was set.\n"), std::string::npos);
    EXPECT_EQ(get_immediate_state()->num_vertices, 0);
    EXPECT_TRUE(g_recorder.calls.empty());
}

TEST_F(Batch, QuadBecomesTwoTrianglesWithItsTextureCoordinates) {
    Immediate_State *state = get_immediate_state();
    state->vertices[3].tangent = {7, 7, 7, 7};
    immediate_quad({1, 2}, {3, 4}, {5, 6}, {7, 8}, {0.1f, 0.2f, 0.3f, 0.4f}, {0, 0.5f}, {1, 0.5f}, {1, 1}, {0, 1});
    ASSERT_EQ(state->num_vertices, 6);
    const Vector2 corners[6] = {{1, 2}, {3, 4}, {5, 6}, {1, 2}, {5, 6}, {7, 8}};
    const Vector2 uvs[6] = {{0, 0.5f}, {1, 0.5f}, {1, 1}, {0, 0.5f}, {1, 1}, {0, 1}};
    for (int i = 0; i < 6; i++) {
        const Immediate_Vertex &v = state->vertices[i];
        EXPECT_EQ(v.position[0], corners[i].x) << i;
        EXPECT_EQ(v.position[1], corners[i].y) << i;
        EXPECT_EQ(v.position[2], 0) << i;
        EXPECT_EQ(v.color_scale.y, 0.2f) << i;
        EXPECT_EQ(v.uv0.x, uvs[i].x) << i;
        EXPECT_EQ(v.uv0.y, uvs[i].y) << i;
        EXPECT_EQ(v.uv1.x, 0) << i;
        EXPECT_EQ(v.uv1.y, 0) << i;
        EXPECT_EQ(v.normal[2], 1) << i;
    }
    EXPECT_EQ(state->vertices[3].tangent.x, 7);  // never written
    EXPECT_EQ(offsetof(Immediate_Vertex, color_scale), 12u);
    EXPECT_EQ(offsetof(Immediate_Vertex, uv0), 28u);
    EXPECT_EQ(offsetof(Immediate_Vertex, uv1), 36u);
    EXPECT_EQ(offsetof(Immediate_Vertex, normal), 44u);
    EXPECT_EQ(offsetof(Immediate_Vertex, tangent), 56u);
}

TEST_F(Batch, SwitchingBetweenColourShadersFlushesAndSelectingTheSameCostsNothing) {
    bring_up(fake_window(1), 400, 50);
    g_recorder.uniform_locations = {{"projection", 5}};
    set_shader_for_color(false);
    queue_quad(0, 0, 1, 1);
    g_recorder.take();

    set_shader_for_color(false);
    EXPECT_TRUE(g_recorder.calls.empty());
    EXPECT_EQ(get_immediate_state()->num_vertices, 6);

    set_shader_for_color(true);
    std::vector<std::string> names = g_recorder.names();
    auto draw = std::find(names.begin(), names.end(), "glDrawArrays");
    auto blend = std::find(names.begin(), names.end(), "glBlendFunc");
    ASSERT_NE(draw, names.end());
    ASSERT_NE(blend, names.end());
    EXPECT_LT(draw, blend);  // the queued quad is drawn with the old blend state
    EXPECT_EQ(g_recorder.count("glGetAttribLocation"), 6);
    EXPECT_EQ(g_recorder.count("glUniformMatrix4fv"), 1);
    EXPECT_EQ(get_immediate_state()->current_shader, &g_shaders.shader_color_with_blend);
}

TEST_F(Batch, BlendStateFollowsTheShader) {
    bring_up(fake_window(1), 400, 50);
    immediate_set_shader(&g_shaders.shader_color_with_blend);
    std::vector<Gl_Call> calls = g_recorder.take();
    std::vector<Gl_Call> tail(calls.end() - 3, calls.end());
    EXPECT_EQ(tail, (std::vector<Gl_Call>{{"glBlendFunc", {0x0302, 0x0303}},
                                          {"glEnable", {GL_BLEND}},
                                          {"glUseProgram", {g_shaders.shader_color.gl_handle}}}));
    immediate_set_shader(&g_shaders.shader_color);
    calls = g_recorder.take();
    tail.assign(calls.end() - 2, calls.end());
    EXPECT_EQ(tail, (std::vector<Gl_Call>{{"glDisable", {GL_BLEND}}, {"glUseProgram", {g_shaders.shader_color.gl_handle}}}));
}

TEST_F(Batch, VertexAttributesInOrderWithTheirOffsets) {
    bring_up(fake_window(1), 400, 50);
    g_recorder.attribute_locations = {{"vert_position", 0}, {"vert_color", 1}, {"vert_normal", 2},
                                      {"vert_tangent", 3},  {"vert_uv0", 4},   {"vert_uv1", 5}};
    set_shader_for_text();
    queue_quad(0, 0, 1, 1);
    g_recorder.take();
    immediate_flush();
    std::vector<Gl_Call> attribute_calls;
    for (const Gl_Call &call : g_recorder.calls) {
        if (call.name == "glEnableVertexAttribArray" || call.name == "glVertexAttribPointer") attribute_calls.push_back(call);
    }
    const std::vector<Gl_Call> expected = {
        {"glEnableVertexAttribArray", {0}}, {"glVertexAttribPointer", {0, 3, GL_FLOAT, 0, 72, 0}},
        {"glVertexAttribPointer", {1, 4, GL_FLOAT, 1, 72, 12}}, {"glEnableVertexAttribArray", {1}},
        {"glVertexAttribPointer", {2, 3, GL_FLOAT, 0, 72, 44}}, {"glEnableVertexAttribArray", {2}},
        {"glVertexAttribPointer", {3, 4, GL_FLOAT, 0, 72, 56}}, {"glEnableVertexAttribArray", {3}},
        {"glVertexAttribPointer", {4, 2, GL_FLOAT, 0, 72, 28}}, {"glEnableVertexAttribArray", {4}},
        {"glVertexAttribPointer", {5, 2, GL_FLOAT, 0, 72, 36}}, {"glEnableVertexAttribArray", {5}},
    };
    EXPECT_EQ(attribute_calls, expected);
}

TEST_F(Batch, ProjectionForBothCoordinateSystemsIsUploadedTransposed) {
    struct Case {
        Coordinate_System system;
        f32 y_scale, y_offset;  // row 2 of the row-major matrix
    } cases[] = {
        {Coordinate_System::RIGHT_HANDED, 2.0f / 50, -1},
        {Coordinate_System::LEFT_HANDED, -2.0f / 50, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(enum_member_name(c.system));
        g_fake_os.sizes[fake_window(1)] = {400, 50};
        set_render_target(fake_window(1), c.system);
        g_recorder.uniform_locations = {{"projection", 9}};
        g_recorder.take();
        set_shader_for_color(false);

        ASSERT_EQ(g_recorder.count("glUniformMatrix4fv"), 1);
        Gl_Call upload = g_recorder.calls.back();
        ASSERT_EQ(upload.name, "glUniformMatrix4fv");
        EXPECT_EQ(upload.args, (std::vector<s64>{9, 1, 1}));  // location, one matrix, transposed
        const std::vector<f32> row_major = {
            2.0f / 400, 0, 0,  -1,          //
            0, c.y_scale, 0,   c.y_offset,  //
            0, 0,         -1,  0,           //
            0, 0,         0,   1,
        };
        ASSERT_EQ(upload.floats.size(), 16u);
        for (int i = 0; i < 16; i++) EXPECT_FLOAT_EQ(upload.floats[i], row_major[i]) << i;
    }
}

TEST_F(Batch, OrthographicMatrixPlacesPixels) {
    Matrix4 m = orthographic_projection_matrix(0, 400, 0, 50, -1, 1, false);
    auto clip = [&](f32 x, f32 y, int row) { return m.m[row][0] * x + m.m[row][1] * y + m.m[row][3]; };
    EXPECT_FLOAT_EQ(clip(0, 0, 0), -1);
    EXPECT_FLOAT_EQ(clip(0, 0, 1), -1);  // bottom-left corner
    EXPECT_FLOAT_EQ(clip(400, 50, 0), 1);
    EXPECT_FLOAT_EQ(clip(400, 50, 1), 1);
    EXPECT_FLOAT_EQ(clip(0, 10, 1), 2 * 10.0f / 50 - 1);

    Matrix4 zero_to_one = orthographic_projection_matrix(0, 400, 0, 50, -1, 1, true);
    EXPECT_FLOAT_EQ(zero_to_one.m[2][2], -0.5f);
    EXPECT_FLOAT_EQ(zero_to_one.m[2][3], 0.5f);
}

TEST_F(Batch, MissingUniformIsLoggedAndNothingUploaded) {
    bring_up(fake_window(1), 400, 50);
    testing::internal::CaptureStderr();
    set_shader_for_color(false);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Unknown parameter: 'projection'\n");
    EXPECT_EQ(g_recorder.count("glUniformMatrix4fv"), 0);
}

TEST_F(Batch, ShaderStagesGetTheirPrefixBeforeTheSource) {
    EXPECT_EQ(strlen(SHADER_SOURCE_COLOR), 373u);
    EXPECT_EQ(strlen(SHADER_SOURCE_TEXT), 654u);
    EXPECT_EQ(strlen(SHADER_SOURCE_SPRITE_FLIPPED), 677u);
    EXPECT_EQ(strlen(SHADER_SOURCE_SPRITE), 583u);
    EXPECT_EQ(shader_vertex_prefix().count, 83);
    EXPECT_EQ(shader_fragment_prefix().count, 84);
    EXPECT_EQ(shader_vertex_prefix(),
              String("        #version 330 core\n        #define VERTEX_SHADER\n        #define OUT_IN out\n"));

    u32 object = make_shader_object("void main() {}\n", shader_fragment_prefix(), GL_FRAGMENT_SHADER);
    EXPECT_NE(object, 0u);
    const std::vector<Gl_Call> expected = {
        {"glCreateShader", {0x8B30}},
        {"glShaderSource", {object, 2, 84, 15}},
        {"glCompileShader", {object}},
        {"glGetShaderiv", {object, 0x8B81}},
    };
    EXPECT_EQ(g_recorder.take(), expected);
}

TEST_F(Batch, FailedCompileAndLinkLogTheInfoLogCutTo512Bytes) {
    std::string long_log(700, 'e');
    long_log[0] = 'E';
    g_recorder.info_log = long_log;

    g_recorder.compile_status = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(make_shader_object("x", shader_vertex_prefix(), GL_VERTEX_SHADER), 0u);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, long_log.substr(0, 511) + "\n");
    EXPECT_EQ(g_recorder.count("glDeleteShader"), 0);

    g_recorder.compile_status = 1;
    g_recorder.link_status = 0;
    g_recorder.info_log = "link failed: no main";
    g_recorder.take();
    testing::internal::CaptureStderr();
    EXPECT_EQ(get_shader_program("x"), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "link failed: no main\n");
    EXPECT_EQ(g_recorder.count("glDeleteShader"), 0);
    EXPECT_EQ(g_recorder.count("glGetProgramInfoLog"), 1);
}

TEST_F(Batch, ShadersAreBuiltOnceWithTheColourProgramShared) {
    bring_up(fake_window(1), 400, 50);
    EXPECT_NE(g_shaders.shader_color.gl_handle, 0u);
    EXPECT_EQ(g_shaders.shader_color.gl_handle, g_shaders.shader_color_with_blend.gl_handle);
    EXPECT_FALSE(g_shaders.shader_color.alpha_blend);
    EXPECT_TRUE(g_shaders.shader_color_with_blend.alpha_blend);
    const Shader *blended[] = {&g_shaders.shader_text, &g_shaders.shader_sprite_flipped, &g_shaders.shader_sprite};
    for (const Shader *shader : blended) {
        EXPECT_TRUE(shader->alpha_blend);
        EXPECT_NE(shader->gl_handle, 0u);
        EXPECT_NE(shader->gl_handle, g_shaders.shader_color.gl_handle);
        EXPECT_EQ(shader->position_loc, -1);  // looked up when first made current
    }
}

}  // namespace
