// What the event system asks of the operating system, as one table: the platform files
// fill it (input_win32.cpp, input_linux.cpp), tests put in their own to feed synthetic
// messages and key states.
#pragma once

#include "message_vocabulary.h"
#include "platform_window.h"
#include "types.h"

struct Client_Size {
    s32 width = 0;
    s32 height = 0;
};

struct Input_Os {
    // Whether the key is physically down right now (GetAsyncKeyState's 0x8000 bit).
    bool (*key_is_down)(u32 virtual_key);
    Client_Size (*client_size)(Window_Type window);  // 0 by 0 when the system does not say
    Message_Result (*default_window_proc)(Window_Type window, u32 message, Message_Word w_param, Message_Long l_param);
    void (*set_capture)(Window_Type window);
    void (*release_capture)();
    void (*validate_rect)(Window_Type window);
    u64 (*message_extra_info)();
    // Moves and sizes the window without changing its z-order (x, y, outer width and height).
    void (*set_window_pos)(Window_Type window, s32 x, s32 y, s32 width, s32 height);
    // Hands every queued message of the thread's windows to the window procedure.
    void (*pump_messages)();
    bool (*register_raw_input)();
    // Stops the accessibility features' keyboard shortcuts from switching them on.
    void (*switch_off_accessibility_shortcuts)();
    // Decodes one raw input packet into add_raw_mouse_motion, handle_keyboard_event and
    // the game-pad updates.
    void (*process_raw_input)(Message_Long raw_input_handle);
};

extern Input_Os g_input_os;  // starts as the platform's table
Input_Os platform_input_os();
