// The event system's platform-neutral part: the per-frame update, the window procedure,
// resize records, key codes and key state, and the game-pad decoding.
#include "events.h"

#include <unordered_map>

#include "assert.h"
#include "input_os.h"
#include "log.h"
#include "print.h"
#include "temporary_storage.h"

struct Input_State {
    std::vector<Input_Event> frame_events;
    u32 key_states[KEY_CODE_COUNT] = {};
    s64 mouse_move_x = 0;
    s64 mouse_move_y = 0;
    s64 mouse_wheel_total = 0;

    std::vector<Resize_Record> pending_resizes;
    std::vector<Resize_Record> returned_resizes;
    bool window_minimized = false;
    bool input_initialised = false;

    std::unordered_map<u32, Key_Code> key_code_map;
    std::unordered_map<u32, bool> held_keys;
    bool alt_down = false;
    bool ctrl_down = false;
    bool shift_down = false;
    u64 gamepad_buttons_down = 0;  // bits 0..9
    u8 gamepad_dpad_down = 0;      // bit 0 right, 1 up, 2 left, 3 down
};

static Input_State g_input;

std::vector<Input_Event> &frame_events = g_input.frame_events;
u32 (&key_states)[KEY_CODE_COUNT] = g_input.key_states;
s64 &mouse_move_x = g_input.mouse_move_x;
s64 &mouse_move_y = g_input.mouse_move_y;
s64 &mouse_wheel_total = g_input.mouse_wheel_total;

const Input_Handler input_handler = {window_proc};

String enum_member_name(Input_Event_Type type) {
    switch (type) {
    case KEYBOARD: return "KEYBOARD";
    case TEXT_INPUT: return "TEXT_INPUT";
    case MOUSE_WHEEL: return "MOUSE_WHEEL";
    case QUIT: return "QUIT";
    }
    return "?";
}

void reset_input_state() { g_input = Input_State(); }

// --- the frame ---

void input_per_frame_event_and_flag_update() {
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
    g_input_os.pump_messages();
}

// --- resizes ---

void add_resize_record(Window_Type window) {
    Client_Size size = g_input_os.client_size(window);
    Resize_Record *record = nullptr;
    for (Resize_Record &pending : g_input.pending_resizes) {
        if (pending.window == window) record = &pending;
    }
    if (!record) record = &g_input.pending_resizes.emplace_back();
    record->window = window;
    record->width = size.width;
    record->height = size.height;
}

Resize_Record_List get_window_resizes() {
    g_input.returned_resizes.clear();
    if (g_input.pending_resizes.empty()) return {};
    g_input.returned_resizes.swap(g_input.pending_resizes);
    return {(s64)g_input.returned_resizes.size(), g_input.returned_resizes.data()};
}

// --- the window procedure ---

static void append_event(const Input_Event &event) { g_input.frame_events.push_back(event); }

static void send_mouse_button(Window_Type window, u32 virtual_key, bool pressed, bool capture) {
    maybe_send_vkey_event(virtual_key, pressed, false);
    if (!capture) return;
    if (pressed) {
        g_input_os.set_capture(window);
    } else {
        g_input_os.release_capture();
    }
}

Message_Result window_proc(Window_Type window, u32 message, Message_Word w_param, Message_Long l_param) {
    switch (message) {
    case WM_CLOSE:
    case WM_QUIT: {
        Input_Event event = {};
        event.type = QUIT;
        append_event(event);
        return g_input_os.default_window_proc(window, message, w_param, l_param);
    }
    case WM_SIZE:
        if (w_param == SIZE_RESTORED) {
            if (g_input.window_minimized) {
                g_input.window_minimized = false;
            } else {
                add_resize_record(window);
            }
        } else if (w_param == SIZE_MINIMIZED) {
            g_input.window_minimized = true;
        } else if (w_param == SIZE_MAXIMIZED) {
            g_input.window_minimized = false;
            add_resize_record(window);
        }
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
        const s32 *suggested = (const s32 *)(uintptr_t)l_param;  // a RECT: left, top, right, bottom
        if (suggested) {
            g_input_os.set_window_pos(window, suggested[0], suggested[1], suggested[2] - suggested[0],
                                      suggested[3] - suggested[1]);
        }
        return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        // The default handling is skipped on purpose: no Alt+F4 close, no F10 menu.
        maybe_send_vkey_event((u32)w_param, true, (l_param >> 30) & 1);
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
    case WM_LBUTTONDOWN: send_mouse_button(window, VK_LBUTTON, true, true); return 0;
    case WM_LBUTTONUP: send_mouse_button(window, VK_LBUTTON, false, true); return 0;
    case WM_RBUTTONDOWN: send_mouse_button(window, VK_RBUTTON, true, false); return 0;
    case WM_RBUTTONUP: send_mouse_button(window, VK_RBUTTON, false, false); return 0;
    case WM_MBUTTONDOWN: send_mouse_button(window, VK_MBUTTON, true, false); return 0;
    case WM_MBUTTONUP: send_mouse_button(window, VK_MBUTTON, false, false); return 0;
    case WM_MOUSEWHEEL: {
        Input_Event event = {};
        event.type = MOUSE_WHEEL;
        event.wheel_step = WHEEL_DELTA;
        event.wheel_delta = (s16)(u16)(w_param >> 16);
        append_event(event);
        g_input.mouse_wheel_total += event.wheel_delta;
        return 0;
    }
    case WM_INPUT:
        // Input that the system synthesised from touch or a pen (both marker bits) is not ours.
        if ((g_input_os.message_extra_info() & 0x82) != 0x82) process_raw_input(l_param);
        g_input_os.default_window_proc(window, message, w_param, l_param);
        return 0;
    case WM_ACTIVATEAPP:
        if (w_param != 0) release_keys_on_activation();
        return g_input_os.default_window_proc(window, message, w_param, l_param);
    case WM_PAINT:
        g_input_os.validate_rect(window);
        return g_input_os.default_window_proc(window, message, w_param, l_param);
    default:
        return g_input_os.default_window_proc(window, message, w_param, l_param);
    }
}

// --- key codes ---

void add_code(u32 virtual_key, Key_Code code) { g_input.key_code_map[virtual_key] = code; }

void init_key_code_tables() {
    g_input.key_code_map.clear();
    g_input.key_code_map.reserve(512);
    for (u32 key = 48; key <= 90; key++) add_code(key, (Key_Code)key);
    for (u32 key = 112; key <= 127; key++) add_code(key, (Key_Code)(key + 31));
    for (u32 key = 96; key <= 105; key++) add_code(key, (Key_Code)(key - 48));

    struct Pair {
        u32 virtual_key;
        Key_Code code;
    };
    static const Pair pairs[] = {
        {VK_LBUTTON, MOUSE_BUTTON_LEFT}, {VK_MBUTTON, MOUSE_BUTTON_MIDDLE}, {VK_RBUTTON, MOUSE_BUTTON_RIGHT},
        {VK_SPACE, SPACEBAR}, {VK_HOME, HOME}, {VK_END, END}, {VK_PRIOR, PAGE_UP}, {VK_NEXT, PAGE_DOWN},
        {VK_LEFT, ARROW_LEFT}, {VK_RIGHT, ARROW_RIGHT}, {VK_UP, ARROW_UP}, {VK_DOWN, ARROW_DOWN},
        {VK_MENU, ALT}, {VK_SHIFT, SHIFT}, {VK_CONTROL, CTRL}, {VK_BACK, BACKSPACE}, {VK_DELETE, DELETE},
        {VK_INSERT, INSERT}, {VK_ESCAPE, ESCAPE}, {VK_RETURN, ENTER}, {VK_TAB, TAB},
        {VK_OEM_1, (Key_Code)';'}, {VK_OEM_2, (Key_Code)'/'}, {VK_OEM_3, (Key_Code)'`'},
        {VK_OEM_4, (Key_Code)'['}, {VK_OEM_5, (Key_Code)'\\'}, {VK_OEM_6, (Key_Code)']'},
        {VK_OEM_7, (Key_Code)'\''}, {VK_OEM_PLUS, (Key_Code)'+'}, {VK_OEM_MINUS, (Key_Code)'-'},
        {VK_OEM_PERIOD, (Key_Code)'.'}, {VK_OEM_COMMA, (Key_Code)','},
        {VK_SNAPSHOT, PRINT_SCREEN}, {VK_PAUSE, PAUSE}, {VK_SCROLL, SCROLL_LOCK},
    };
    for (const Pair &pair : pairs) add_code(pair.virtual_key, pair.code);
}

Key_Code get_key_code(u32 virtual_key) {
    auto found = g_input.key_code_map.find(virtual_key);
    return found == g_input.key_code_map.end() ? UNKNOWN : found->second;
}

void init_input_system() {
    if (!g_input_os.register_raw_input()) {
        log_error("Failed to initialize Raw Input.\n");
        // NOTE: without raw input only the relative mouse motion, Print Screen and game pads
        // are missing; the window's own messages still arrive, so the report is all.
        assert_debug(false, "Raw input registration failed");
    }
    g_input_os.switch_off_accessibility_shortcuts();
}

// --- keys ---

bool set_key_down_state(u32 virtual_key, bool down) {
    auto found = g_input.held_keys.find(virtual_key);
    bool was_held = found != g_input.held_keys.end();
    if (down && !was_held) g_input.held_keys[virtual_key] = true;
    if (!down && was_held) g_input.held_keys.erase(found);
    return was_held;
}

void maybe_send_vkey_event(u32 virtual_key, bool pressed, bool repeat) {
    bool was_held = set_key_down_state(virtual_key, pressed);
    if (!pressed && !was_held) return;  // its press happened before we were looking
    if (pressed && !was_held) repeat = false;
    send_key_event(get_key_code(virtual_key), pressed, repeat);
}

static Modifier_Flags current_modifiers() {
    Modifier_Flags modifiers = {};
    modifiers.shift_pressed = g_input.shift_down;
    modifiers.ctrl_pressed = g_input.ctrl_down;
    modifiers.alt_pressed = g_input.alt_down;
    modifiers.cmd_meta_pressed = false;
    return modifiers;
}

void send_key_event(Key_Code code, bool pressed, bool repeat) {
    if (code == ALT) g_input.alt_down = pressed;
    if (code == SHIFT) g_input.shift_down = pressed;
    if (code == CTRL) g_input.ctrl_down = pressed;

    Input_Event event = {};
    event.type = KEYBOARD;
    event.pressed = pressed ? 1 : 0;
    event.key_code = code;
    event.modifiers = current_modifiers();
    event.repeat = repeat;
    append_event(event);

    if (code < KEY_CODE_COUNT) g_input.key_states[code] |= pressed ? (KEY_DOWN | KEY_PRESSED_NOW) : KEY_RELEASED_NOW;
}

bool handle_keyboard_event(bool, bool, bool pressed, u32 virtual_key, u32) {
    if (virtual_key != VK_SNAPSHOT) return false;
    bool repeat = pressed && (g_input.key_states[PRINT_SCREEN] & KEY_DOWN);
    maybe_send_vkey_event(VK_SNAPSHOT, pressed, repeat);
    return true;
}

void release_stuck_modifiers() {
    struct Modifier {
        u32 virtual_key;
        Key_Code code;
        bool *down;
    };
    Modifier modifiers[] = {
        {VK_MENU, ALT, &g_input.alt_down},
        {VK_CONTROL, CTRL, &g_input.ctrl_down},
        {VK_SHIFT, SHIFT, &g_input.shift_down},
    };
    for (const Modifier &m : modifiers) {
        bool looks_down = *m.down || (g_input.key_states[m.code] & KEY_DOWN);
        if (looks_down && !g_input_os.key_is_down(m.virtual_key)) {
            *m.down = false;
            g_input.key_states[m.code] |= KEY_RELEASED_NOW;
        }
    }
}

void release_keys_on_activation() {
    for (auto it = g_input.held_keys.begin(); it != g_input.held_keys.end();) {
        if (g_input_os.key_is_down(it->first)) {
            ++it;
            continue;
        }
        send_key_event(get_key_code(it->first), false, false);
        it = g_input.held_keys.erase(it);
    }
}

void process_raw_input(Message_Long raw_input_handle) { g_input_os.process_raw_input(raw_input_handle); }

void add_raw_mouse_motion(s64 dx, s64 dy) {
    g_input.mouse_move_x += dx;
    g_input.mouse_move_y += dy;
}

// --- game pads (every pad reports as pad 0) ---

static const u32 GAMEPAD_BUTTON_CODES[10] = {10, 11, 12, 13, 6, 7, 5, 4, 22, 23};
// Direction bits 0..3 (right, up, left, down) and their game-pad codes.
static const u32 GAMEPAD_DIRECTION_CODES[4] = {3, 0, 2, 1};
// Hat value 0..8 (0 centred, 1 north, clockwise) to direction bits.
static const u8 HAT_DIRECTIONS[9] = {0, 0x2, 0x3, 0x1, 0x9, 0x8, 0xC, 0x4, 0x6};

static void send_gamepad_event(u32 gamepad_code, bool pressed) {
    Input_Event event = {};
    event.type = KEYBOARD;
    event.pressed = pressed ? 1 : 0;
    event.key_code = (Key_Code)(GAMEPAD_0_BEGIN + gamepad_code);
    event.modifiers = current_modifiers();
    append_event(event);
}

void gamepad_update_buttons(const u32 *button_indices, s64 count) {
    u64 now = 0;
    for (s64 i = 0; i < count; i++) {
        if (button_indices[i] < 10) now |= 1ull << button_indices[i];
    }
    u64 before = g_input.gamepad_buttons_down;
    for (u32 i = 0; i < 10; i++) {
        if ((now & (1ull << i)) && !(before & (1ull << i))) send_gamepad_event(GAMEPAD_BUTTON_CODES[i], true);
    }
    for (u32 i = 0; i < 10; i++) {
        if ((before & (1ull << i)) && !(now & (1ull << i))) send_gamepad_event(GAMEPAD_BUTTON_CODES[i], false);
    }
    g_input.gamepad_buttons_down = now;
}

void gamepad_update_hat(u32 value) {
    if (value >= 9) return;
    u8 now = HAT_DIRECTIONS[value];
    u8 before = g_input.gamepad_dpad_down;
    for (u32 bit = 0; bit < 4; bit++) {
        bool is = now & (1u << bit), was = before & (1u << bit);
        if (is && !was) send_gamepad_event(GAMEPAD_DIRECTION_CODES[bit], true);
        if (!is && was) send_gamepad_event(GAMEPAD_DIRECTION_CODES[bit], false);
    }
    g_input.gamepad_dpad_down = now;
}

// --- names, for printing ---

String key_code_name(Key_Code code) {
    static const struct {
        Key_Code code;
        const char *name;
    } names[] = {
        {UNKNOWN, "UNKNOWN"}, {BACKSPACE, "BACKSPACE"}, {TAB, "TAB"}, {LINEFEED, "LINEFEED"}, {ENTER, "ENTER"},
        {ESCAPE, "ESCAPE"}, {SPACEBAR, "SPACEBAR"}, {DELETE, "DELETE"}, {ARROW_UP, "ARROW_UP"},
        {ARROW_DOWN, "ARROW_DOWN"}, {ARROW_LEFT, "ARROW_LEFT"}, {ARROW_RIGHT, "ARROW_RIGHT"}, {PAGE_UP, "PAGE_UP"},
        {PAGE_DOWN, "PAGE_DOWN"}, {HOME, "HOME"}, {END, "END"}, {INSERT, "INSERT"}, {PAUSE, "PAUSE"},
        {SCROLL_LOCK, "SCROLL_LOCK"}, {ALT, "ALT"}, {CTRL, "CTRL"}, {SHIFT, "SHIFT"}, {CMD, "CMD"},
        {PRINT_SCREEN, "PRINT_SCREEN"}, {MOUSE_BUTTON_LEFT, "MOUSE_BUTTON_LEFT"},
        {MOUSE_BUTTON_MIDDLE, "MOUSE_BUTTON_MIDDLE"}, {MOUSE_BUTTON_RIGHT, "MOUSE_BUTTON_RIGHT"},
        {MOUSE_WHEEL_UP, "MOUSE_WHEEL_UP"}, {MOUSE_WHEEL_DOWN, "MOUSE_WHEEL_DOWN"}, {TOUCH, "TOUCH"},
    };
    for (const auto &entry : names) {
        if (entry.code == code) return entry.name;
    }
    if (code >= F1 && code <= F24) return tprint("F%", (s32)(code - F1 + 1));
    if (code >= GAMEPAD_0_BEGIN && code <= GAMEPAD_3_END) {
        return tprint("GAMEPAD_%_%", (s32)((code - GAMEPAD_0_BEGIN) / 33), (s32)((code - GAMEPAD_0_BEGIN) % 33));
    }
    if (code > 32 && code < 127) return tprint("%", (char)code);
    return "";
}
