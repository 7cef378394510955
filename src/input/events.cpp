// The event pump and the window procedure, written once against the Win32 message
// vocabulary. Owns g_input: the frame's events, the key states, the mouse sums and the
// resize records.
#include "input_internal.h"
#include "print.h"

Input_State g_input;
Input_OS input_os = input_os_platform();

const Input_Handler input_handler = {window_proc};

std::vector<Input_Event> &frame_events = g_input.frame_events;
u32 (&key_states)[KEY_CODE_COUNT] = g_input.key_states;
s64 &mouse_move_x = g_input.mouse_move_x;
s64 &mouse_move_y = g_input.mouse_move_y;
s64 &mouse_wheel_total = g_input.mouse_wheel_total;

String enum_member_name(Input_Event_Type type) {
    switch (type) {
    case KEYBOARD: return "KEYBOARD";
    case TEXT_INPUT: return "TEXT_INPUT";
    case MOUSE_WHEEL: return "MOUSE_WHEEL";
    case QUIT: return "QUIT";
    }
    return "";
}

void print_fields(String_Builder *builder, const Input_Event &event) {
    Field_Printer(builder)
        .field("type", event.type)
        .field("pressed", event.pressed)
        .field("key_code", (u32)event.key_code)
        .field("modifiers", event.modifiers.packed)
        .field("character", event.character)
        .field("repeat", event.repeat)
        .field("wheel_step", event.wheel_step)
        .field("wheel_delta", event.wheel_delta);
}

void print_fields(String_Builder *builder, const Resize_Record &record) {
    Field_Printer(builder)
        .field("window", (u64)(uintptr_t)record.window)
        .field("width", record.width)
        .field("height", record.height);
}

void append_event(const Input_Event &event) { g_input.frame_events.push_back(event); }

// --- the frame ---

void input_per_frame_event_and_flag_update() {
    // Events own nothing; clear() keeps the storage.
    g_input.frame_events.clear();
    for (u32 &state : g_input.key_states) {
        if (state & KEY_RELEASED_NOW) {
            state &= ~(KEY_DOWN | KEY_PRESSED_NOW | KEY_RELEASED_NOW);
        } else {
            state &= ~KEY_PRESSED_NOW;
        }
    }
    g_input.mouse_move_x = 0;
    g_input.mouse_move_y = 0;
    g_input.mouse_wheel_total = 0;
}

void update_window_events() {
    if (!g_input.input_initialised) {
        init_key_code_tables();
        init_input_system();
        g_input.input_initialised = true;
    }
    input_per_frame_event_and_flag_update();
    release_stuck_modifiers();
    input_os.pump_messages();
}

// --- resize records ---

void add_resize_record(Window_Type window) {
    Client_Size size = input_os.get_client_size(window);
    Resize_Record *record = nullptr;
    for (Resize_Record &pending : g_input.pending_resizes) {
        if (pending.window == window) {
            record = &pending;
            break;
        }
    }
    if (!record) record = &g_input.pending_resizes.emplace_back();
    record->window = window;
    record->width = size.width;
    record->height = size.height;
}

Resize_Record_List get_window_resizes() {
    g_input.returned_resizes.clear();
    if (g_input.pending_resizes.empty()) return {};
    g_input.returned_resizes.assign(g_input.pending_resizes.begin(), g_input.pending_resizes.end());
    g_input.pending_resizes.clear();
    return {(s64)g_input.returned_resizes.size(), g_input.returned_resizes.data()};
}

// --- the window procedure ---

namespace {

void handle_size(Window_Type window, Message_Word kind) {
    switch (kind) {
    case SIZE_RESTORED:
        // The restore that ends a minimization brings back the size the window had.
        if (g_input.window_minimized) {
            g_input.window_minimized = false;
        } else {
            add_resize_record(window);
        }
        break;
    case SIZE_MINIMIZED:
        g_input.window_minimized = true;
        break;
    case SIZE_MAXIMIZED:
        g_input.window_minimized = false;
        add_resize_record(window);
        break;
    default:
        break;
    }
}

// The suggested rectangle of WM_DPICHANGED, laid out as the system's RECT.
struct Message_Rect {
    s32 left, top, right, bottom;
};

void button_message(Window_Type window, u32 virtual_key, bool pressed, bool capture) {
    maybe_send_vkey_event(virtual_key, pressed, false);
    if (!capture) return;
    if (pressed) {
        input_os.set_capture(window);
    } else {
        input_os.release_capture();
    }
}

}  // namespace

Message_Result window_proc(Window_Type window, u32 message, Message_Word w_param, Message_Long l_param) {
    switch (message) {
    case WM_CLOSE:
    case WM_QUIT: {
        Input_Event event = {};
        event.type = QUIT;
        append_event(event);
        return input_os.def_window_proc(window, message, w_param, l_param);
    }
    case WM_SIZE:
        handle_size(window, w_param);
        return 0;
    case WM_EXITSIZEMOVE:
        add_resize_record(window);
        return 0;
    case WM_MOVE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_MOUSEMOVE:
    case WM_SYSCHAR:
        return 0;
    case WM_DPICHANGED: {
        const Message_Rect *suggested = (const Message_Rect *)(intptr_t)l_param;
        // A malformed message without its rectangle is dropped rather than followed.
        if (!suggested) return 0;
        input_os.set_window_pos(window, INSERT_AFTER_TOPMOST, suggested->left, suggested->top,
                                suggested->right - suggested->left, suggested->bottom - suggested->top,
                                SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        // Skipping the default keeps the system's Alt-key handling (Alt+F4 closing the
        // window) and F10's menu activation away.
        maybe_send_vkey_event((u32)w_param, true, ((u64)l_param >> 30) & 1);
        return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        maybe_send_vkey_event((u32)w_param, false, false);
        return 0;
    case WM_CHAR:
        if (w_param > 31) {
            Input_Event event = {};
            event.type = TEXT_INPUT;
            event.character = (u32)w_param;
            append_event(event);
        }
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        button_message(window, VK_LBUTTON, message == WM_LBUTTONDOWN, true);
        return 0;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        button_message(window, VK_RBUTTON, message == WM_RBUTTONDOWN, false);
        return 0;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        button_message(window, VK_MBUTTON, message == WM_MBUTTONDOWN, false);
        return 0;
    case WM_MOUSEWHEEL: {
        Input_Event event = {};
        event.type = MOUSE_WHEEL;
        event.wheel_step = WHEEL_DELTA;
        event.wheel_delta = (s16)(u16)((u64)w_param >> 16);
        append_event(event);
        g_input.mouse_wheel_total += event.wheel_delta;
        return 0;
    }
    case WM_INPUT: {
        s64 extra = input_os.get_message_extra_info();
        if ((extra & MESSAGE_EXTRA_INFO_TOUCH_OR_PEN) != MESSAGE_EXTRA_INFO_TOUCH_OR_PEN) {
            input_os.process_raw_input(l_param);
        }
        input_os.def_window_proc(window, message, w_param, l_param);
        return 0;
    }
    case WM_ACTIVATEAPP:
        if (w_param) release_keys_on_activation();
        return input_os.def_window_proc(window, message, w_param, l_param);
    case WM_PAINT:
        input_os.validate_rect(window);
        return input_os.def_window_proc(window, message, w_param, l_param);
    default:
        return input_os.def_window_proc(window, message, w_param, l_param);
    }
}
