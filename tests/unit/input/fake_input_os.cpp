// The fake operating system behind the event system's unit tests.
#include "fake_input_os.h"

#include <cstdio>

Fake_Input_OS g_fake_os;

namespace {

Input_OS g_saved_os;

std::string window_text(Window_Type window) { return std::to_string((u64)(uintptr_t)window); }

Message_Result fake_def_window_proc(Window_Type window, u32 message, Message_Word w_param, Message_Long l_param) {
    char text[64];
    snprintf(text, sizeof(text), "DefWindowProcW 0x%X", message);
    g_fake_os.calls.push_back(text);
    return FAKE_DEFAULT_RESULT;
}

Client_Size fake_get_client_size(Window_Type window) {
    auto found = g_fake_os.client_sizes.find(window);
    return found == g_fake_os.client_sizes.end() ? Client_Size{} : found->second;
}

void fake_validate_rect(Window_Type window) { g_fake_os.calls.push_back("ValidateRect " + window_text(window)); }
void fake_set_capture(Window_Type window) { g_fake_os.calls.push_back("SetCapture " + window_text(window)); }
void fake_release_capture() { g_fake_os.calls.push_back("ReleaseCapture"); }
s64 fake_get_message_extra_info() { return g_fake_os.message_extra_info; }

void fake_set_window_pos(Window_Type window, s64 insert_after, s32 x, s32 y, s32 width, s32 height, u32 flags) {
    char text[128];
    snprintf(text, sizeof(text), "SetWindowPos %lld %d %d %d %d 0x%X", (long long)insert_after, x, y, width, height, flags);
    g_fake_os.calls.push_back(text);
}

bool fake_async_key_down(u32 virtual_key) { return g_fake_os.keys_down.count(virtual_key) != 0; }

void fake_pump_messages() {
    std::vector<Fake_Message> queue;
    queue.swap(g_fake_os.queue);
    for (const Fake_Message &m : queue) window_proc(m.window, m.message, m.w_param, m.l_param);
}

void fake_init_input_system() { g_fake_os.init_count++; }

void fake_process_raw_input(Message_Long handle) { g_fake_os.calls.push_back("process_raw_input " + std::to_string(handle)); }

}  // namespace

void install_fake_input_os() {
    g_saved_os = input_os;
    g_fake_os = {};
    Input_OS fake = {};
    fake.def_window_proc = fake_def_window_proc;
    fake.get_client_size = fake_get_client_size;
    fake.validate_rect = fake_validate_rect;
    fake.set_capture = fake_set_capture;
    fake.release_capture = fake_release_capture;
    fake.get_message_extra_info = fake_get_message_extra_info;
    fake.set_window_pos = fake_set_window_pos;
    fake.async_key_down = fake_async_key_down;
    fake.pump_messages = fake_pump_messages;
    fake.init_input_system = fake_init_input_system;
    fake.process_raw_input = fake_process_raw_input;
    input_os = fake;
    g_input = Input_State{};
    init_key_code_tables();
}

void restore_input_os() {
    input_os = g_saved_os;
    g_input = Input_State{};
}

Window_Type test_window(u64 id) { return (Window_Type)(uintptr_t)id; }

std::string describe(const Input_Event &event) {
    switch (event.type) {
    case KEYBOARD: {
        String name = key_code_name(event.key_code);
        std::string text = std::string("KEYBOARD ") + (event.pressed ? "down " : "up ") +
                           (name.empty() ? std::to_string((u32)event.key_code) : std::string(name.view()));
        text += event.modifiers.shift_pressed ? " s1" : " s0";
        text += event.modifiers.ctrl_pressed ? " c1" : " c0";
        text += event.modifiers.alt_pressed ? " a1" : " a0";
        if (event.modifiers.cmd_meta_pressed) text += " meta";
        if (event.repeat) text += " repeat";
        if (event.character || event.wheel_step || event.wheel_delta) text += " (stray fields)";
        return text;
    }
    case TEXT_INPUT:
        return "TEXT " + std::to_string(event.character);
    case MOUSE_WHEEL:
        return "WHEEL " + std::to_string(event.wheel_delta) + (event.wheel_step == 120 ? "" : " step " + std::to_string(event.wheel_step));
    case QUIT:
        return "QUIT";
    }
    return "type " + std::to_string((u32)event.type);
}

std::vector<std::string> describe_frame() {
    std::vector<std::string> result;
    for (const Input_Event &event : frame_events) result.push_back(describe(event));
    return result;
}

Message_Result send(u32 message, Message_Word w_param, Message_Long l_param, Window_Type window) {
    return window_proc(window, message, w_param, l_param);
}

void post(u32 message, Message_Word w_param, Message_Long l_param, Window_Type window) {
    g_fake_os.queue.push_back({window, message, w_param, l_param});
}
