// The fake operating system behind Recording_Test.
#include "render_fixture.h"

Fake_Render_OS g_fake_os;

namespace {

Render_OS fake_render_os() {
    Render_OS os;
    os.client_size = [](Window_Type window) -> Render_Dimensions {
        auto found = g_fake_os.sizes.find(window);
        return found == g_fake_os.sizes.end() ? Render_Dimensions{} : found->second;
    };
    os.create_context = [](Window_Type, GL_Context, s32, s32, bool, bool, s32 samples) -> GL_Context_Result {
        g_fake_os.create_calls++;
        g_fake_os.samples_asked = samples;
        return g_fake_os.context;
    };
    os.get_device_context = [](Window_Type) { return (Device_Context)0x200; };
    os.set_pixel_format_like = [](Device_Context, Device_Context) { return true; };
    os.make_current = [](Device_Context, Window_Type, GL_Context) {
        g_fake_os.make_current_calls++;
        return true;
    };
    os.swap_buffers = [](Device_Context, Window_Type) { g_fake_os.swaps++; };
    // Nothing resolves: gl_load leaves the recording slots in place.
    os.resolve = [](const char *) -> void * { return nullptr; };
    return os;
}

}  // namespace

void reset_immediate_state() {
    Immediate_State *state = get_immediate_state();
    state->current_window_info = Window_Info{};
    state->current_shader = nullptr;
    state->texture_render_target = nullptr;
    state->num_vertices = 0;
    state->coordinate_system = Coordinate_System::RIGHT_HANDED;
}

void Recording_Test::SetUp() {
    saved_gl = gl;
    saved_os = g_render_os;
    g_recorder = Gl_Recorder{};
    g_recorder.integers[GL_MAJOR_VERSION] = 3;
    g_recorder.integers[GL_MINOR_VERSION] = 3;
    gl = make_recording_table();
    g_fake_os = Fake_Render_OS{};
    g_render_os = fake_render_os();
    g_renderer = Renderer_State{};
    g_shaders = Shader_Set{};
    reset_immediate_state();
}

void Recording_Test::TearDown() {
    reset_immediate_state();
    g_renderer = Renderer_State{};
    g_shaders = Shader_Set{};
    gl = saved_gl;
    g_render_os = saved_os;
}

void Recording_Test::bring_up(Window_Type window, s32 width, s32 height) {
    g_fake_os.sizes[window] = {width, height};
    prepare_window(window, 0);
    set_render_target(window, Coordinate_System::RIGHT_HANDED);
    g_recorder.take();
}
