// Key codes, per-key state and modifier flags, and the platform-neutral half of raw input:
// mouse motion sums and the decoding of game-pad buttons and hat switches. Virtual-key
// codes never leave this file's callers.
#include "assertions.h"
#include "input_internal.h"

// --- key code table ---

void add_code(u32 virtual_key, Key_Code code) {
    if (!assert_debug(virtual_key < VIRTUAL_KEY_COUNT, "add_code: virtual key % is out of range.", virtual_key)) return;
    assert_debug(!g_input.key_code_mapped[virtual_key], "add_code: virtual key % added twice.", virtual_key);
    g_input.key_code_map[virtual_key] = code;
    g_input.key_code_mapped[virtual_key] = true;
}

Key_Code get_key_code(u32 virtual_key) {
    if (virtual_key >= VIRTUAL_KEY_COUNT || !g_input.key_code_mapped[virtual_key]) return UNKNOWN;
    return g_input.key_code_map[virtual_key];
}

void init_key_code_tables() {
    for (u32 i = 0; i < VIRTUAL_KEY_COUNT; i++) {
        g_input.key_code_map[i] = UNKNOWN;
        g_input.key_code_mapped[i] = false;
    }
    // Digits, the unassigned 58..64 and letters keep their number.
    for (u32 vk = 48; vk <= 90; vk++) add_code(vk, (Key_Code)vk);
    for (u32 vk = 112; vk <= 127; vk++) add_code(vk, (Key_Code)(vk + 31));  // F1..F16
    for (u32 vk = 96; vk <= 105; vk++) add_code(vk, (Key_Code)(vk - 96 + '0'));  // numeric keypad digits

    add_code(VK_LBUTTON, MOUSE_BUTTON_LEFT);
    add_code(VK_MBUTTON, MOUSE_BUTTON_MIDDLE);
    add_code(VK_RBUTTON, MOUSE_BUTTON_RIGHT);
    add_code(VK_SPACE, SPACEBAR);
    add_code(VK_HOME, HOME);
    add_code(VK_END, END);
    add_code(VK_PRIOR, PAGE_UP);
    add_code(VK_NEXT, PAGE_DOWN);
    add_code(VK_LEFT, ARROW_LEFT);
    add_code(VK_RIGHT, ARROW_RIGHT);
    add_code(VK_UP, ARROW_UP);
    add_code(VK_DOWN, ARROW_DOWN);
    add_code(VK_MENU, ALT);
    add_code(VK_SHIFT, SHIFT);
    add_code(VK_CONTROL, CTRL);
    add_code(VK_BACK, BACKSPACE);
    add_code(VK_DELETE, DELETE);
    add_code(VK_INSERT, INSERT);
    add_code(VK_ESCAPE, ESCAPE);
    add_code(VK_RETURN, ENTER);
    add_code(VK_TAB, TAB);
    add_code(VK_OEM_1, (Key_Code)';');
    add_code(VK_OEM_2, (Key_Code)'/');
    add_code(VK_OEM_3, (Key_Code)'`');
    add_code(VK_OEM_4, (Key_Code)'[');
    add_code(VK_OEM_5, (Key_Code)'\\');
    add_code(VK_OEM_6, (Key_Code)']');
    add_code(VK_OEM_7, (Key_Code)'\'');
    add_code(VK_OEM_PLUS, (Key_Code)'+');
    add_code(VK_OEM_MINUS, (Key_Code)'-');
    add_code(VK_OEM_PERIOD, (Key_Code)'.');
    add_code(VK_OEM_COMMA, (Key_Code)',');
    add_code(VK_SNAPSHOT, PRINT_SCREEN);
    add_code(VK_PAUSE, PAUSE);
    add_code(VK_SCROLL, SCROLL_LOCK);
}

// --- key state ---

bool set_key_down_state(u32 virtual_key, bool down) {
    // Virtual keys are bytes; a larger number from a malformed message is never held.
    if (virtual_key >= VIRTUAL_KEY_COUNT) return false;
    bool was_held = g_input.held_keys[virtual_key];
    g_input.held_keys[virtual_key] = down;
    return was_held;
}

void send_key_event(Key_Code code, bool pressed, bool repeat) {
    if (code == ALT) g_input.alt_down = pressed;
    if (code == SHIFT) g_input.shift_down = pressed;
    if (code == CTRL) g_input.ctrl_down = pressed;

    Input_Event event = {};
    event.type = KEYBOARD;
    event.pressed = pressed ? 1 : 0;
    event.key_code = code;
    event.modifiers.shift_pressed = g_input.shift_down;
    event.modifiers.ctrl_pressed = g_input.ctrl_down;
    event.modifiers.alt_pressed = g_input.alt_down;
    event.modifiers.cmd_meta_pressed = false;
    event.repeat = repeat;
    append_event(event);

    if ((u32)code >= (u32)KEY_CODE_COUNT) return;
    if (pressed) {
        // An auto-repeat is no new press: KEY_PRESSED_NOW means the key went down this frame.
        g_input.key_states[code] |= repeat ? KEY_DOWN : KEY_DOWN | KEY_PRESSED_NOW;
    } else {
        g_input.key_states[code] |= KEY_RELEASED_NOW;
    }
}

void maybe_send_vkey_event(u32 virtual_key, bool pressed, bool repeat) {
    bool was_held = set_key_down_state(virtual_key, pressed);
    // A key-up whose key-down we never saw (pressed before the window had the focus).
    if (!pressed && !was_held) return;
    if (pressed && !was_held) repeat = false;
    send_key_event(get_key_code(virtual_key), pressed, repeat);
}

bool handle_keyboard_event(bool e0_prefix, bool e1_prefix, bool pressed, u32 virtual_key, u32 make_code) {
    // Print Screen sends no key-down message; every other key arrives as key messages.
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
    const Modifier modifiers[] = {
        {VK_MENU, ALT, &g_input.alt_down},
        {VK_CONTROL, CTRL, &g_input.ctrl_down},
        {VK_SHIFT, SHIFT, &g_input.shift_down},
    };
    for (const Modifier &modifier : modifiers) {
        if (!*modifier.down && !(g_input.key_states[modifier.code] & KEY_DOWN)) continue;
        if (input_os.async_key_down(modifier.virtual_key)) continue;
        *modifier.down = false;
        g_input.key_states[modifier.code] |= KEY_RELEASED_NOW;
    }
}

void release_keys_on_activation() {
    for (u32 vk = 0; vk < VIRTUAL_KEY_COUNT; vk++) {
        if (!g_input.held_keys[vk] || input_os.async_key_down(vk)) continue;
        send_key_event(get_key_code(vk), false, false);
        g_input.held_keys[vk] = false;
    }
}

void init_input_system() { input_os.init_input_system(); }

void process_raw_input(Message_Long raw_input_handle) { input_os.process_raw_input(raw_input_handle); }

// --- raw input decoding ---

void add_raw_mouse_motion(s64 dx, s64 dy) {
    g_input.mouse_move_x += dx;
    g_input.mouse_move_y += dy;
}

namespace {

constexpr u32 GAMEPAD_BUTTON_COUNT = 10;
constexpr u32 GAMEPAD_BUTTON_CODES[GAMEPAD_BUTTON_COUNT] = {10, 11, 12, 13, 6, 7, 5, 4, 22, 23};

// Direction-pad bits: 0 right, 1 up, 2 left, 3 down; their game-pad codes.
constexpr u8 DPAD_RIGHT = 1, DPAD_UP = 2, DPAD_LEFT = 4, DPAD_DOWN = 8;
constexpr u32 DPAD_CODES[4] = {3, 0, 2, 1};
// Hat value (1 north, clockwise, 0 centred) to direction bits.
constexpr u8 HAT_DIRECTIONS[9] = {
    0,
    DPAD_UP,
    DPAD_UP | DPAD_RIGHT,
    DPAD_RIGHT,
    DPAD_DOWN | DPAD_RIGHT,
    DPAD_DOWN,
    DPAD_DOWN | DPAD_LEFT,
    DPAD_LEFT,
    DPAD_UP | DPAD_LEFT,
};

// Game pads report as pad 0; they leave key_states and held_keys alone.
void send_gamepad_event(u32 gamepad_code, bool pressed) {
    Input_Event event = {};
    event.type = KEYBOARD;
    event.pressed = pressed ? 1 : 0;
    event.key_code = (Key_Code)(GAMEPAD_0_BEGIN + gamepad_code);
    event.modifiers.shift_pressed = g_input.shift_down;
    event.modifiers.ctrl_pressed = g_input.ctrl_down;
    event.modifiers.alt_pressed = g_input.alt_down;
    append_event(event);
}

}  // namespace

void gamepad_report_buttons(const u16 *usages, s64 count, u16 first_usage) {
    u64 now = 0;
    for (s64 i = 0; i < count; i++) {
        // Usages below the first one would wrap to a large index: ignored like the rest.
        u32 index = (u32)usages[i] - first_usage;
        if (usages[i] < first_usage || index >= GAMEPAD_BUTTON_COUNT) continue;
        now |= 1ull << index;
    }
    u64 before = g_input.gamepad_buttons_down;
    for (u32 index = 0; index < GAMEPAD_BUTTON_COUNT; index++) {
        u64 bit = 1ull << index;
        if ((now & bit) && !(before & bit)) send_gamepad_event(GAMEPAD_BUTTON_CODES[index], true);
    }
    for (u32 index = 0; index < GAMEPAD_BUTTON_COUNT; index++) {
        u64 bit = 1ull << index;
        if ((before & bit) && !(now & bit)) send_gamepad_event(GAMEPAD_BUTTON_CODES[index], false);
    }
    g_input.gamepad_buttons_down = now;
}

Gamepad_Button_Range gamepad_button_range(u16 usage_min, u16 usage_max) {
    if (usage_max < usage_min) return {};
    return {usage_min, (u32)usage_max - usage_min + 1};
}

void gamepad_report_button_read(bool read_succeeded, const u16 *usages, u64 usage_count, u64 capacity,
                                u16 first_usage) {
    if (!read_succeeded || usage_count > capacity) return;
    gamepad_report_buttons(usages, (s64)usage_count, first_usage);
}

void gamepad_report_hat(u32 value) {
    if (value >= 9) return;
    u8 now = HAT_DIRECTIONS[value];
    u8 before = g_input.gamepad_dpad_down;
    for (u32 bit = 0; bit < 4; bit++) {
        u8 mask = (u8)(1u << bit);
        if ((now & mask) && !(before & mask)) send_gamepad_event(DPAD_CODES[bit], true);
        if (!(now & mask) && (before & mask)) send_gamepad_event(DPAD_CODES[bit], false);
    }
    g_input.gamepad_dpad_down = now;
}
