// A fake operating system for the event system: records the calls the window procedure
// makes, answers client sizes and key states from tables, and pumps scripted messages.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "input_internal.h"

struct Fake_Message {
    Window_Type window;
    u32 message;
    Message_Word w_param;
    Message_Long l_param;
};

struct Fake_Input_OS {
    std::vector<std::string> calls;
    std::map<Window_Type, Client_Size> client_sizes;
    std::set<u32> keys_down;  // what the key-state query reports down
    s64 message_extra_info = 0;
    std::vector<Fake_Message> queue;  // dispatched by the next pump
    s32 init_count = 0;
};

extern Fake_Input_OS g_fake_os;

constexpr Message_Result FAKE_DEFAULT_RESULT = 77;

// Installs the fake table and a fresh input state with the key code table built.
void install_fake_input_os();
void restore_input_os();

// A window handle for tests, the same on both platforms.
Window_Type test_window(u64 id);

// Short text forms of events, for readable comparisons:
// "KEYBOARD down A s0 c0 a0", "KEYBOARD up 168 s0 c0 a0 repeat", "TEXT 97", "WHEEL 120", "QUIT".
std::string describe(const Input_Event &event);
std::vector<std::string> describe_frame();

// Sends one message to the window procedure; returns its result.
Message_Result send(u32 message, Message_Word w_param = 0, Message_Long l_param = 0, Window_Type window = test_window(1));
// Queues a message for the next update_window_events.
void post(u32 message, Message_Word w_param = 0, Message_Long l_param = 0, Window_Type window = test_window(1));

// The long parameter of a key-down that auto-repeats (bit 30: the key was down before).
constexpr Message_Long REPEAT_BIT = 1ll << 30;
