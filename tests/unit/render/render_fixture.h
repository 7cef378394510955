// A renderer brought up on a fake window with the recording OpenGL table and a fake
// operating system, so that tests can watch every OpenGL call.
#pragma once

#include <gtest/gtest.h>

#include <map>

#include "gl/gl_context.h"
#include "recording_gl.h"
#include "render.h"

struct Fake_Render_OS {
    std::map<Window_Type, Render_Dimensions> sizes;  // client sizes; unknown windows (0, 0)
    GL_Context_Result context = {(GL_Context)0x100, (Device_Context)0x200, 0};
    s32 create_calls = 0;
    s32 samples_asked = -1;
    s32 swaps = 0;
    s32 make_current_calls = 0;
};
extern Fake_Render_OS g_fake_os;

class Recording_Test : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // prepare_window and set_render_target (RIGHT_HANDED) on a fake window of that size,
    // then forgets the calls they made.
    void bring_up(Window_Type window, s32 width, s32 height);

    GL_Procedures saved_gl;
    Render_OS saved_os;
};

void reset_immediate_state();

inline Window_Type fake_window(int n) { return (Window_Type)(uintptr_t)n; }

constexpr Vector2 UV0 = {0, 0}, UV1 = {1, 0}, UV2 = {1, 1}, UV3 = {0, 1};
inline void queue_quad(f32 x0, f32 y0, f32 x1, f32 y1, Vector4 color = {1, 1, 1, 1}) {
    immediate_quad({x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, color, UV0, UV1, UV2, UV3);
}
