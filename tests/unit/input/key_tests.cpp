// Key codes, modifiers, the stuck-modifier and activation releases, Print Screen from raw
// keyboard input, and the game-pad decoding.
#include <gtest/gtest.h>

#include "fake_input_os.h"

namespace {

using Strings = std::vector<std::string>;

class Key_Test : public testing::Test {
protected:
    void SetUp() override { install_fake_input_os(); }
    void TearDown() override { restore_input_os(); }
};

// --- the key code table ---

struct Key_Code_Case {
    u32 virtual_key;
    u32 code;
};

TEST_F(Key_Test, KeyCodeTable) {
    const Key_Code_Case cases[] = {
        {'0', '0'}, {'5', '5'}, {'9', '9'}, {58, 58}, {64, 64}, {'A', 'A'}, {'Z', 'Z'},
        {0x70, F1}, {0x79, F10}, {0x7B, F12}, {0x7C, 155}, {0x7F, F16},
        {0x80, UNKNOWN}, {0x87, UNKNOWN},  // F17 and F24 have no entry
        {0x60, '0'}, {0x65, '5'}, {0x69, '9'},  // the numeric keypad's digits are the digits
        {0x6A, UNKNOWN}, {0x6B, UNKNOWN}, {0x6D, UNKNOWN}, {0x6E, UNKNOWN}, {0x6F, UNKNOWN},  // keypad operators
        {VK_LBUTTON, MOUSE_BUTTON_LEFT}, {VK_MBUTTON, MOUSE_BUTTON_MIDDLE}, {VK_RBUTTON, MOUSE_BUTTON_RIGHT},
        {VK_SPACE, SPACEBAR}, {VK_HOME, HOME}, {VK_END, END}, {VK_PRIOR, PAGE_UP}, {VK_NEXT, PAGE_DOWN},
        {VK_LEFT, ARROW_LEFT}, {VK_RIGHT, ARROW_RIGHT}, {VK_UP, ARROW_UP}, {VK_DOWN, ARROW_DOWN},
        {VK_MENU, ALT}, {VK_SHIFT, SHIFT}, {VK_CONTROL, CTRL}, {VK_BACK, BACKSPACE}, {VK_DELETE, DELETE},
        {VK_INSERT, INSERT}, {VK_ESCAPE, ESCAPE}, {VK_RETURN, ENTER}, {VK_TAB, TAB},
        {0xBA, ';'}, {0xBF, '/'}, {0xC0, '`'}, {0xDB, '['}, {0xDC, '\\'}, {0xDD, ']'}, {0xDE, '\''},
        {0xBB, '+'}, {0xBD, '-'}, {0xBE, '.'}, {0xBC, ','},
        {VK_SNAPSHOT, PRINT_SCREEN}, {VK_PAUSE, PAUSE}, {VK_SCROLL, SCROLL_LOCK},
        // Without an entry: the Windows keys, Caps Lock, Num Lock, left/right modifiers, Clear.
        {0x5B, UNKNOWN}, {0x5C, UNKNOWN}, {0x14, UNKNOWN}, {0x90, UNKNOWN}, {0xA0, UNKNOWN}, {0xA5, UNKNOWN},
        {0x0C, UNKNOWN}, {0, UNKNOWN}, {0xFF, UNKNOWN}, {300, UNKNOWN},
    };
    for (const Key_Code_Case &c : cases) EXPECT_EQ((u32)get_key_code(c.virtual_key), c.code) << "virtual key " << c.virtual_key;
}

TEST_F(Key_Test, UnmappedKeysCollectTheirFlagsInEntryZero) {
    send(WM_KEYDOWN, 0x5B, 1);  // left Windows key
    EXPECT_EQ(describe_frame(), Strings{"KEYBOARD down UNKNOWN s0 c0 a0"});
    EXPECT_EQ(key_states[UNKNOWN], KEY_DOWN | KEY_PRESSED_NOW);
}

TEST_F(Key_Test, OutOfRangeVirtualKeyIsHarmless) {
    send(WM_KEYDOWN, 0x1234, 1);
    send(WM_KEYUP, 0x1234, 0);
    EXPECT_EQ(describe_frame(), Strings{"KEYBOARD down UNKNOWN s0 c0 a0"});
}

// --- modifiers ---

TEST_F(Key_Test, ModifierFlagsAreUpdatedBeforeTheirOwnEvent) {
    send(WM_KEYDOWN, VK_SHIFT, 1);
    send(WM_KEYDOWN, VK_CONTROL, 1);
    send(WM_SYSKEYDOWN, VK_MENU, 1);
    send(WM_SYSKEYDOWN, 'X', 1);
    send(WM_SYSKEYUP, VK_MENU, 0);
    send(WM_KEYUP, VK_CONTROL, 0);
    send(WM_KEYUP, VK_SHIFT, 0);
    EXPECT_EQ(describe_frame(), (Strings{"KEYBOARD down SHIFT s1 c0 a0", "KEYBOARD down CTRL s1 c1 a0", "KEYBOARD down ALT s1 c1 a1",
                                         "KEYBOARD down X s1 c1 a1", "KEYBOARD up ALT s1 c1 a0", "KEYBOARD up CTRL s1 c0 a0",
                                         "KEYBOARD up SHIFT s0 c0 a0"}));
}

TEST_F(Key_Test, StuckAltIsClearedWithoutEventAndReleasedOnReactivation) {
    send(WM_SYSKEYDOWN, VK_MENU, 1);
    update_window_events();  // the key-state query says Alt is up: released elsewhere
    EXPECT_TRUE(frame_events.empty());
    EXPECT_EQ(key_states[ALT], KEY_DOWN | KEY_RELEASED_NOW);
    send(WM_KEYDOWN, 'W', 1);
    EXPECT_EQ(describe_frame(), Strings{"KEYBOARD down W s0 c0 a0"}) << "alt_down was cleared";
    update_window_events();
    EXPECT_EQ(key_states[ALT], 0u);

    // held_keys still holds Alt: activation releases it with an event. W is still down.
    g_fake_os.keys_down = {'W'};
    update_window_events();
    send(WM_ACTIVATEAPP, 1);
    EXPECT_EQ(describe_frame(), Strings{"KEYBOARD up ALT s0 c0 a0"});
    send(WM_ACTIVATEAPP, 1);
    EXPECT_EQ(describe_frame(), Strings{"KEYBOARD up ALT s0 c0 a0"}) << "released once only";
    send(WM_KEYUP, 'W', 0);
    EXPECT_EQ(describe_frame(), (Strings{"KEYBOARD up ALT s0 c0 a0", "KEYBOARD up W s0 c0 a0"})) << "W stayed held";
}

TEST_F(Key_Test, ModifiersStillDownAreLeftAlone) {
    g_fake_os.keys_down = {VK_MENU, VK_CONTROL, VK_SHIFT};
    send(WM_KEYDOWN, VK_SHIFT, 1);
    send(WM_KEYDOWN, VK_CONTROL, 1);
    send(WM_SYSKEYDOWN, VK_MENU, 1);
    update_window_events();
    send(WM_KEYDOWN, 'E', 1);
    EXPECT_EQ(describe_frame(), Strings{"KEYBOARD down E s1 c1 a1"});
    EXPECT_EQ(key_states[SHIFT], KEY_DOWN);
    g_fake_os.keys_down.insert('E');
    send(WM_ACTIVATEAPP, 0);
    send(WM_ACTIVATEAPP, 1);  // the activation release leaves keys that are down
    EXPECT_EQ(describe_frame(), Strings{"KEYBOARD down E s1 c1 a1"});
}

TEST_F(Key_Test, ActivationReleasesOnlyKeysThatAreUp) {
    send(WM_KEYDOWN, 'A', 1);
    send(WM_KEYDOWN, 'B', 1);
    send(WM_LBUTTONDOWN);
    g_fake_os.keys_down = {'B'};
    update_window_events();
    send(WM_ACTIVATEAPP, 1);
    EXPECT_EQ(describe_frame(), (Strings{"KEYBOARD up MOUSE_BUTTON_LEFT s0 c0 a0", "KEYBOARD up A s0 c0 a0"}));
    EXPECT_EQ(key_states['A'], KEY_DOWN | KEY_RELEASED_NOW);
    EXPECT_EQ(key_states['B'], KEY_DOWN);
}

// --- Print Screen from raw keyboard input ---

TEST_F(Key_Test, PrintScreenComesFromRawInputOnly) {
    EXPECT_TRUE(handle_keyboard_event(true, false, true, VK_SNAPSHOT, 0x37));
    update_window_events();
    EXPECT_TRUE(handle_keyboard_event(true, false, true, VK_SNAPSHOT, 0x37));
    EXPECT_TRUE(handle_keyboard_event(true, false, false, VK_SNAPSHOT, 0x37));
    // The key message that follows the raw release finds the key no longer held.
    send(WM_KEYUP, VK_SNAPSHOT, 0);
    EXPECT_EQ(describe_frame(), (Strings{"KEYBOARD down PRINT_SCREEN s0 c0 a0 repeat", "KEYBOARD up PRINT_SCREEN s0 c0 a0"}));

    EXPECT_FALSE(handle_keyboard_event(false, false, true, 'A', 0x1E));
    EXPECT_EQ(frame_events.size(), 2u);
}

// --- game pads ---

struct Gamepad_Step {
    std::vector<u16> buttons;  // usages, from first usage 1
    Strings events;
};

void report_buttons(const std::vector<u16> &usages) { gamepad_report_buttons(usages.data(), (s64)usages.size(), 1); }

TEST_F(Key_Test, GamepadButtonsPressAndReleaseByMaskDifference) {
    const Gamepad_Step steps[] = {
        {{1, 9}, {"KEYBOARD down 183 s0 c0 a0", "KEYBOARD down 195 s0 c0 a0"}},
        {{1, 9}, {}},
        {{9, 2}, {"KEYBOARD down 184 s0 c0 a0", "KEYBOARD up 183 s0 c0 a0"}},
        {{}, {"KEYBOARD up 184 s0 c0 a0", "KEYBOARD up 195 s0 c0 a0"}},
        // Index 10 and above, and usages below the first, are ignored.
        {{11, 12, 0}, {}},
        {{5, 6, 7, 8, 10, 3, 4},
         {"KEYBOARD down 185 s0 c0 a0", "KEYBOARD down 186 s0 c0 a0", "KEYBOARD down 179 s0 c0 a0", "KEYBOARD down 180 s0 c0 a0",
          "KEYBOARD down 178 s0 c0 a0", "KEYBOARD down 177 s0 c0 a0", "KEYBOARD down 196 s0 c0 a0"}},
    };
    for (const Gamepad_Step &step : steps) {
        update_window_events();
        report_buttons(step.buttons);
        EXPECT_EQ(describe_frame(), step.events);
    }
    for (u32 code = GAMEPAD_0_BEGIN; code <= GAMEPAD_0_END; code++) EXPECT_EQ(key_states[code], 0u) << code;
}

TEST_F(Key_Test, GamepadEventsCarryShiftAndCtrl) {
    send(WM_KEYDOWN, VK_SHIFT, 1);
    g_fake_os.keys_down = {VK_SHIFT};
    update_window_events();
    report_buttons({2});
    EXPECT_EQ(describe_frame(), Strings{"KEYBOARD down 184 s1 c0 a0"});
}

TEST_F(Key_Test, GamepadButtonRangeFromTheFirstCapability) {
    const struct {
        u16 usage_min, usage_max;
        u16 first_usage;
        u32 count;
    } cases[] = {
        {1, 10, 1, 10},
        {5, 5, 5, 1},             // a capability of one usage
        {0, 0xFFFF, 0, 65536},    // the widest a usage pair can name
        {2, 1, 0, 0},             // backwards: no buttons, never a count near 2^32
        {0xFFFF, 0, 0, 0},
    };
    for (const auto &c : cases) {
        Gamepad_Button_Range range = gamepad_button_range(c.usage_min, c.usage_max);
        EXPECT_EQ(range.count, c.count) << c.usage_min << ".." << c.usage_max;
        if (c.count) {
            EXPECT_EQ(range.first_usage, c.first_usage) << c.usage_min << ".." << c.usage_max;
        }
    }
}

TEST_F(Key_Test, GamepadButtonsStayAsTheyWereWhenAReadFails) {
    struct Read_Step {
        bool succeeded;
        std::vector<u16> usages;
        u64 usage_count;  // as the parser reported it
        Strings events;
    };
    const Read_Step steps[] = {
        {true, {1, 2}, 2, {"KEYBOARD down 183 s0 c0 a0", "KEYBOARD down 184 s0 c0 a0"}},
        // A failed read leaves what the buffer held before: no presses, no releases.
        {false, {1, 2, 3}, 3, {}},
        {false, {}, 0, {}},
        // More usages than the room given: not this report's buttons either.
        {true, {3, 4, 5}, 11, {}},
        {true, {2}, 1, {"KEYBOARD up 183 s0 c0 a0"}},
    };
    for (const Read_Step &step : steps) {
        update_window_events();
        gamepad_report_button_read(step.succeeded, step.usages.data(), step.usage_count, 10, 1);
        EXPECT_EQ(describe_frame(), step.events) << "read " << step.succeeded << " of " << step.usage_count;
    }
}

struct Hat_Step {
    u32 value;
    Strings events;
};

TEST_F(Key_Test, HatSwitchDirections) {
    // Direction key codes: up 173, down 174, left 175, right 176.
    const Hat_Step steps[] = {
        {2, {"KEYBOARD down 176 s0 c0 a0", "KEYBOARD down 173 s0 c0 a0"}},
        {3, {"KEYBOARD up 173 s0 c0 a0"}},
        {15, {}},
        {9, {}},
        {4, {"KEYBOARD down 174 s0 c0 a0"}},
        {6, {"KEYBOARD up 176 s0 c0 a0", "KEYBOARD down 175 s0 c0 a0"}},
        {8, {"KEYBOARD down 173 s0 c0 a0", "KEYBOARD up 174 s0 c0 a0"}},
        {0, {"KEYBOARD up 173 s0 c0 a0", "KEYBOARD up 175 s0 c0 a0"}},
        {1, {"KEYBOARD down 173 s0 c0 a0"}},
        {5, {"KEYBOARD up 173 s0 c0 a0", "KEYBOARD down 174 s0 c0 a0"}},
        {7, {"KEYBOARD down 175 s0 c0 a0", "KEYBOARD up 174 s0 c0 a0"}},
    };
    for (const Hat_Step &step : steps) {
        update_window_events();
        gamepad_report_hat(step.value);
        EXPECT_EQ(describe_frame(), step.events) << "hat value " << step.value;
    }
}

TEST_F(Key_Test, RawMouseMotionSumsPerFrame) {
    add_raw_mouse_motion(3, -4);
    add_raw_mouse_motion(10, 1);
    EXPECT_EQ(mouse_move_x, 13);
    EXPECT_EQ(mouse_move_y, -3);
    update_window_events();
    EXPECT_EQ(mouse_move_x, 0);
    EXPECT_EQ(mouse_move_y, 0);
}

}  // namespace
