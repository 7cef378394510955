// The platform-neutral key vocabulary every KEYBOARD event carries, and the modifier flags.
#pragma once

#include "types.h"

// windows.h, when a file has it already, defines DELETE and ESCAPE as macros that would
// rename two of the codes below.
#ifdef DELETE
#undef DELETE
#endif
#ifdef ESCAPE
#undef ESCAPE
#endif

enum Key_Code : u32 {
    UNKNOWN = 0,
    BACKSPACE = 8,
    TAB = 9,
    LINEFEED = 10,
    ENTER = 13,
    ESCAPE = 27,
    SPACEBAR = 32,
    DELETE = 127,
    ARROW_UP = 128,
    ARROW_DOWN = 129,
    ARROW_LEFT = 130,
    ARROW_RIGHT = 131,
    PAGE_UP = 132,
    PAGE_DOWN = 133,
    HOME = 134,
    END = 135,
    INSERT = 136,
    PAUSE = 137,
    SCROLL_LOCK = 138,
    ALT = 139,
    CTRL = 140,
    SHIFT = 141,
    CMD = 142,
    META = 142,
    F1 = 143,
    F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12, F13, F14, F15, F16,
    F17, F18, F19, F20, F21, F22, F23,
    F24 = 166,
    PRINT_SCREEN = 167,
    MOUSE_BUTTON_LEFT = 168,
    MOUSE_BUTTON_MIDDLE = 169,
    MOUSE_BUTTON_RIGHT = 170,
    MOUSE_WHEEL_UP = 171,
    MOUSE_WHEEL_DOWN = 172,
    GAMEPAD_0_BEGIN = 173,
    GAMEPAD_0_END = 205,
    GAMEPAD_1_BEGIN = 206,
    GAMEPAD_1_END = 238,
    GAMEPAD_2_BEGIN = 239,
    GAMEPAD_2_END = 271,
    GAMEPAD_3_BEGIN = 272,
    GAMEPAD_3_END = 304,
    TOUCH = 305,
};

constexpr s32 KEY_CODE_COUNT = TOUCH + 1;  // 306

union Modifier_Flags {
    struct {
        bool shift_pressed;
        bool ctrl_pressed;
        bool alt_pressed;
        bool cmd_meta_pressed;
    };
    u32 packed;
};
static_assert(sizeof(Modifier_Flags) == 4);

// Member name of a code for printing; printable keys give their character ("A", "5"),
// codes without a name give "".
String key_code_name(Key_Code code);
