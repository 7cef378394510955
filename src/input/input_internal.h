// Inside the input module: the state record g_input shared by the event pump, the key
// logic and the platform files.
#pragma once

#include <vector>

#include "events.h"
#include "input_os.h"
#include "message_vocabulary.h"

// Virtual-key codes are bytes; the tables below are indexed by them.
constexpr u32 VIRTUAL_KEY_COUNT = 256;

struct Input_State {
    // --- the frame ---
    std::vector<Input_Event> frame_events;
    u32 key_states[KEY_CODE_COUNT] = {};
    s64 mouse_move_x = 0;
    s64 mouse_move_y = 0;
    s64 mouse_wheel_total = 0;
    std::vector<Resize_Record> pending_resizes;
    std::vector<Resize_Record> returned_resizes;
    bool window_minimized = false;
    bool input_initialised = false;

    // --- keys ---
    // key_code_map: UNKNOWN marks a virtual key without an entry.
    Key_Code key_code_map[VIRTUAL_KEY_COUNT] = {};
    bool key_code_mapped[VIRTUAL_KEY_COUNT] = {};
    // held_keys: the keys seen going down and not yet up.
    bool held_keys[VIRTUAL_KEY_COUNT] = {};
    bool alt_down = false;
    bool ctrl_down = false;
    bool shift_down = false;
    u64 gamepad_buttons_down = 0;  // bits 0..9
    u8 gamepad_dpad_down = 0;      // bit 0 right, 1 up, 2 left, 3 down
};

extern Input_State g_input;

void append_event(const Input_Event &event);
