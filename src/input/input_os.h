// The operating-system calls of the event system, as one table. input_os starts with the
// platform's real calls; tests install their own to feed and watch the window procedure.
#pragma once

#include "events.h"
#include "window.h"

struct Input_OS {
    // DefWindowProcW: the system's handling of a message the procedure passes on.
    Message_Result (*def_window_proc)(Window_Type window, u32 message, Message_Word w_param, Message_Long l_param);
    // The window's client size; 0 by 0 when the system cannot say.
    Client_Size (*get_client_size)(Window_Type window);
    void (*validate_rect)(Window_Type window);
    void (*set_capture)(Window_Type window);
    void (*release_capture)();
    s64 (*get_message_extra_info)();
    void (*set_window_pos)(Window_Type window, s64 insert_after, s32 x, s32 y, s32 width, s32 height, u32 flags);
    // GetAsyncKeyState(virtual_key) & 0x8000
    bool (*async_key_down)(u32 virtual_key);
    // Takes every waiting message off the thread's queue and dispatches it.
    void (*pump_messages)();
    // Raw input registration and the accessibility shortcut settings.
    void (*init_input_system)();
    // Reads one raw input packet and feeds its contents to the decoding.
    void (*process_raw_input)(Message_Long raw_input_handle);
};

Input_OS input_os_platform();
extern Input_OS input_os;
