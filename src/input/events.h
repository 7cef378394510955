// The event system: one call per frame turns the window messages into this frame's input
// events, the per-key state flags, the mouse sums and the windows' resize records. The
// window procedure behind it is written against the Win32 message vocabulary; on Linux
// the X11 layer translates its events into those messages and calls the same procedure.
#pragma once

#include <vector>

#include "key_codes.h"
#include "window.h"
#include "types.h"

// The window procedure's parameter and result types, of the same widths as the system's on
// 64-bit Windows: the word parameter is unsigned, the long parameter and the result signed.
using Message_Word = u64;
using Message_Long = s64;
using Message_Result = s64;

enum Input_Event_Type : u32 {
    KEYBOARD = 1,
    TEXT_INPUT = 2,
    MOUSE_WHEEL = 4,
    QUIT = 5,
};

String enum_member_name(Input_Event_Type type);
struct String_Builder;

// Fields that do not apply to an event's type are zero.
struct Input_Event {
    Input_Event_Type type;
    u32 pressed;               // KEYBOARD: 1 went down, 0 went up
    Key_Code key_code;         // KEYBOARD
    Modifier_Flags modifiers;  // KEYBOARD: modifiers held at that moment
    u32 character;             // TEXT_INPUT: one UTF-16 unit as delivered
    bool repeat;               // KEYBOARD: auto-repeat of a key already down
    s32 wheel_step;            // MOUSE_WHEEL: one notch, always 120
    s32 wheel_delta;           // MOUSE_WHEEL: positive away from the user
};

// key_states flags
constexpr u32 KEY_DOWN = 1;
constexpr u32 KEY_PRESSED_NOW = 4;
constexpr u32 KEY_RELEASED_NOW = 8;

struct Resize_Record {
    Window_Type window;
    s32 width;  // client size in pixels
    s32 height;
};

// Records print as their fields with the "%" formatter.
void print_fields(String_Builder *builder, const Input_Event &event);
void print_fields(String_Builder *builder, const Resize_Record &record);

struct Resize_Record_List {
    s64 count = 0;
    const Resize_Record *data = nullptr;

    const Resize_Record *begin() const { return data; }
    const Resize_Record *end() const { return data + count; }
};

using Window_Proc = Message_Result (*)(Window_Type window, u32 message, Message_Word w_param, Message_Long l_param);

// What window creation needs from the event system.
struct Input_Handler {
    Window_Proc window_proc;
};
extern const Input_Handler input_handler;

// The window procedure itself (published above as input_handler.window_proc).
Message_Result window_proc(Window_Type window, u32 message, Message_Word w_param, Message_Long l_param);

// The GUI thread's input state, kept in the module's state record; valid from the end of
// one update_window_events to the start of the next.
extern std::vector<Input_Event> &frame_events;
extern u32 (&key_states)[KEY_CODE_COUNT];
extern s64 &mouse_move_x;
extern s64 &mouse_move_y;
extern s64 &mouse_wheel_total;

// Once per frame, on the thread that owns the windows.
void update_window_events();
// The per-frame reset that update_window_events starts with.
void input_per_frame_event_and_flag_update();

// Records the window's current client size; one record per window until collected.
void add_resize_record(Window_Type window);
// The windows resized since the last call, each with its latest size; valid until the
// next call.
Resize_Record_List get_window_resizes();

// --- keys ---

void init_key_code_tables();
void init_input_system();
void add_code(u32 virtual_key, Key_Code code);
Key_Code get_key_code(u32 virtual_key);
bool set_key_down_state(u32 virtual_key, bool down);  // returns whether it was held before
void maybe_send_vkey_event(u32 virtual_key, bool pressed, bool repeat);
void send_key_event(Key_Code code, bool pressed, bool repeat);
bool handle_keyboard_event(bool e0_prefix, bool e1_prefix, bool pressed, u32 virtual_key, u32 make_code);
// Clears modifiers the system no longer reports down (run by update_window_events).
void release_stuck_modifiers();
// Releases, with events, held keys the system no longer reports down (on activation).
void release_keys_on_activation();
void process_raw_input(Message_Long raw_input_handle);

// --- raw input, fed with what the platform gathered ---

// Relative motion of a raw mouse packet.
void add_raw_mouse_motion(s64 dx, s64 dy);
// The buttons a game-pad report lists as down, as usages from the first button usage on.
void gamepad_report_buttons(const u16 *usages, s64 count, u16 first_usage);
// The buttons a game pad's first button capability spans (usage_min == usage_max for a
// capability of one usage). A range that ends before it starts spans none: count 0.
struct Gamepad_Button_Range {
    u16 first_usage = 0;
    u32 count = 0;
};
Gamepad_Button_Range gamepad_button_range(u16 usage_min, u16 usage_max);
// One report's buttons as the HID parser read them into room for `capacity` usages. A
// failed read, or one that claims more usages than there was room for, leaves the buttons
// as they were: the buffer then holds an earlier report's usages, not this one's.
void gamepad_report_button_read(bool read_succeeded, const u16 *usages, u64 usage_count, u64 capacity,
                                u16 first_usage);
// A hat-switch value: 1 north, increasing clockwise, 0 centred; 9 and above change nothing.
void gamepad_report_hat(u32 value);
