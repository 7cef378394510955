// The window procedure and the per-frame pump, driven with synthetic messages through a
// fake operating system.
#include <gtest/gtest.h>

#include "fake_input_os.h"
#include "print.h"

namespace {

using Strings = std::vector<std::string>;

class Window_Proc_Test : public testing::Test {
protected:
    void SetUp() override { install_fake_input_os(); }
    void TearDown() override { restore_input_os(); }
};

// --- the message table ---

struct Message_Case {
    const char *name;
    u32 message;
    Message_Word w_param;
    Message_Long l_param;
    Message_Result result;
    Strings calls;
    Strings events;
};

void PrintTo(const Message_Case &c, std::ostream *out) { *out << c.name; }

class Message_Table_Test : public Window_Proc_Test, public testing::WithParamInterface<Message_Case> {};

TEST_P(Message_Table_Test, ResultCallsAndEvents) {
    const Message_Case &c = GetParam();
    EXPECT_EQ(send(c.message, c.w_param, c.l_param), c.result);
    EXPECT_EQ(g_fake_os.calls, c.calls);
    EXPECT_EQ(describe_frame(), c.events);
}

const Message_Case MESSAGE_CASES[] = {
    {"Close", WM_CLOSE, 0, 0, FAKE_DEFAULT_RESULT, {"DefWindowProcW 0x10"}, {"QUIT"}},
    {"Quit", WM_QUIT, 0, 0, FAKE_DEFAULT_RESULT, {"DefWindowProcW 0x12"}, {"QUIT"}},
    {"Move", WM_MOVE, 0, 0x00200010, 0, {}, {}},
    {"SetFocus", WM_SETFOCUS, 0, 0, 0, {}, {}},
    {"KillFocus", WM_KILLFOCUS, 0, 0, 0, {}, {}},
    {"MouseMove", WM_MOUSEMOVE, 0, 0x00050005, 0, {}, {}},
    {"SysChar", WM_SYSCHAR, 'x', 0, 0, {}, {}},
    {"KeyDown", WM_KEYDOWN, 'A', 1, 0, {}, {"KEYBOARD down A s0 c0 a0"}},
    {"SysKeyDownF10", WM_SYSKEYDOWN, VK_F10, 1, 0, {}, {"KEYBOARD down F10 s0 c0 a0"}},
    {"KeyUpNeverDown", WM_KEYUP, 'A', 0, 0, {}, {}},
    {"SysKeyUpNeverDown", WM_SYSKEYUP, VK_MENU, 0, 0, {}, {}},
    {"CharPrintable", WM_CHAR, 'a', 1, 0, {}, {"TEXT 97"}},
    {"CharSpace", WM_CHAR, ' ', 1, 0, {}, {"TEXT 32"}},
    {"CharBackspace", WM_CHAR, 8, 1, 0, {}, {}},
    {"CharTab", WM_CHAR, 9, 1, 0, {}, {}},
    {"CharEnter", WM_CHAR, 13, 1, 0, {}, {}},
    {"CharEscape", WM_CHAR, 27, 1, 0, {}, {}},
    {"CharUnitSeparator", WM_CHAR, 31, 1, 0, {}, {}},
    {"CharNul", WM_CHAR, 0, 1, 0, {}, {}},
    {"LeftButtonDown", WM_LBUTTONDOWN, 1, 0, 0, {"SetCapture 1"}, {"KEYBOARD down MOUSE_BUTTON_LEFT s0 c0 a0"}},
    {"LeftButtonUpNeverDown", WM_LBUTTONUP, 0, 0, 0, {"ReleaseCapture"}, {}},
    {"RightButtonDown", WM_RBUTTONDOWN, 2, 0, 0, {}, {"KEYBOARD down MOUSE_BUTTON_RIGHT s0 c0 a0"}},
    {"MiddleButtonDown", WM_MBUTTONDOWN, 0x10, 0, 0, {}, {"KEYBOARD down MOUSE_BUTTON_MIDDLE s0 c0 a0"}},
    {"WheelAway", WM_MOUSEWHEEL, (Message_Word)120 << 16, 0, 0, {}, {"WHEEL 120"}},
    {"WheelToward", WM_MOUSEWHEEL, (Message_Word)(u16)(s16)-120 << 16 | 0x0008, 0, 0, {}, {"WHEEL -120"}},
    {"RawInput", WM_INPUT, 0, 4242, 0, {"process_raw_input 4242", "DefWindowProcW 0xFF"}, {}},
    {"ActivateAppOff", WM_ACTIVATEAPP, 0, 0, FAKE_DEFAULT_RESULT, {"DefWindowProcW 0x1C"}, {}},
    {"ActivateAppOn", WM_ACTIVATEAPP, 1, 0, FAKE_DEFAULT_RESULT, {"DefWindowProcW 0x1C"}, {}},
    {"Paint", WM_PAINT, 0, 0, FAKE_DEFAULT_RESULT, {"ValidateRect 1", "DefWindowProcW 0xF"}, {}},
    {"Other", 0x0400, 5, 6, FAKE_DEFAULT_RESULT, {"DefWindowProcW 0x400"}, {}},
    {"SizeOtherKind", WM_SIZE, 4, 0, 0, {}, {}},
};

INSTANTIATE_TEST_SUITE_P(Messages, Message_Table_Test, testing::ValuesIn(MESSAGE_CASES),
                         [](const testing::TestParamInfo<Message_Case> &info) { return std::string(info.param.name); });

TEST_F(Window_Proc_Test, RawInputFromTouchOrPenIsSkippedButDefaulted) {
    for (s64 extra : {0x80ll, 0x02ll, 0x82ll, 0xFF515782ll}) {
        g_fake_os.calls.clear();
        g_fake_os.message_extra_info = extra;
        EXPECT_EQ(send(WM_INPUT, 0, 7), 0);
        bool both = (extra & 0x82) == 0x82;
        Strings expected = both ? Strings{"DefWindowProcW 0xFF"} : Strings{"process_raw_input 7", "DefWindowProcW 0xFF"};
        EXPECT_EQ(g_fake_os.calls, expected) << "extra info " << extra;
    }
}

TEST_F(Window_Proc_Test, DpiChangeMovesToTheSuggestedRectangleWithoutZOrderChange) {
    struct {
        s32 left, top, right, bottom;
    } suggested = {100, 200, 900, 300};
    EXPECT_EQ(send(WM_DPICHANGED, 0x00600060, (Message_Long)(intptr_t)&suggested), 0);
    EXPECT_EQ(g_fake_os.calls, Strings{"SetWindowPos -1 100 200 800 100 0x14"});
    // A message without its rectangle is dropped instead of read through a null pointer.
    g_fake_os.calls.clear();
    EXPECT_EQ(send(WM_DPICHANGED, 0, 0), 0);
    EXPECT_TRUE(g_fake_os.calls.empty());
}

TEST_F(Window_Proc_Test, MouseButtonsPressAndReleaseWithCaptureOnlyForTheLeft) {
    send(WM_LBUTTONDOWN);
    send(WM_RBUTTONDOWN);
    send(WM_MBUTTONDOWN);
    send(WM_LBUTTONUP);
    send(WM_RBUTTONUP);
    send(WM_MBUTTONUP);
    EXPECT_EQ(describe_frame(), (Strings{"KEYBOARD down MOUSE_BUTTON_LEFT s0 c0 a0", "KEYBOARD down MOUSE_BUTTON_RIGHT s0 c0 a0",
                                         "KEYBOARD down MOUSE_BUTTON_MIDDLE s0 c0 a0", "KEYBOARD up MOUSE_BUTTON_LEFT s0 c0 a0",
                                         "KEYBOARD up MOUSE_BUTTON_RIGHT s0 c0 a0", "KEYBOARD up MOUSE_BUTTON_MIDDLE s0 c0 a0"}));
    EXPECT_EQ(g_fake_os.calls, (Strings{"SetCapture 1", "ReleaseCapture"}));
}

TEST_F(Window_Proc_Test, CharacterOutsideTheBasicPlaneGivesTwoTextEvents) {
    // U+1F600 as the system delivers it: a high and a low surrogate.
    send(WM_CHAR, 0xD83D);
    send(WM_CHAR, 0xDE00);
    EXPECT_EQ(describe_frame(), (Strings{"TEXT 55357", "TEXT 56832"}));
}

TEST_F(Window_Proc_Test, WheelNotchesAddUpPerFrame) {
    post(WM_MOUSEWHEEL, (Message_Word)120 << 16);
    post(WM_MOUSEWHEEL, (Message_Word)120 << 16);
    post(WM_MOUSEWHEEL, (Message_Word)(u16)(s16)-120 << 16);
    update_window_events();
    EXPECT_EQ(describe_frame(), (Strings{"WHEEL 120", "WHEEL 120", "WHEEL -120"}));
    EXPECT_EQ(mouse_wheel_total, 120);
    update_window_events();
    EXPECT_EQ(mouse_wheel_total, 0);
    EXPECT_TRUE(frame_events.empty());
}

TEST_F(Window_Proc_Test, AltF4GivesTwoKeyEventsAndNoClose) {
    EXPECT_EQ(send(WM_SYSKEYDOWN, VK_MENU, 0x20380001), 0);
    EXPECT_EQ(send(WM_SYSKEYDOWN, VK_F1 + 3, 0x203E0001), 0);
    EXPECT_EQ(describe_frame(), (Strings{"KEYBOARD down ALT s0 c0 a1", "KEYBOARD down F4 s0 c0 a1"}));
    EXPECT_TRUE(g_fake_os.calls.empty()) << "the default handling would close the window";
}

TEST_F(Window_Proc_Test, CloseGivesOneQuitInTheNextFrame) {
    send(WM_CLOSE);  // sent outside a frame, as during creation: discarded by the reset
    post(WM_CLOSE);
    update_window_events();
    EXPECT_EQ(describe_frame(), Strings{"QUIT"});
    update_window_events();
    EXPECT_TRUE(frame_events.empty());
}

TEST_F(Window_Proc_Test, FirstFrameSetsUpOnce) {
    g_input.input_initialised = false;
    update_window_events();
    update_window_events();
    EXPECT_EQ(g_fake_os.init_count, 1);
    EXPECT_EQ(get_key_code(VK_F1 + 12), F13);
}

// --- resize records ---

TEST_F(Window_Proc_Test, SeveralSizesBetweenFramesGiveOneRecordWithTheLastSize) {
    Window_Type window = test_window(1);
    for (s32 width : {300, 420, 640}) {
        g_fake_os.client_sizes[window] = {width, width / 4};
        send(WM_SIZE, SIZE_RESTORED);
    }
    g_fake_os.client_sizes[window] = {700, 90};
    send(WM_EXITSIZEMOVE);
    Resize_Record_List list = get_window_resizes();
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.data[0].window, window);
    EXPECT_EQ(list.data[0].width, 700);
    EXPECT_EQ(list.data[0].height, 90);
    EXPECT_EQ(get_window_resizes().count, 0);
}

TEST_F(Window_Proc_Test, RecordsKeepTheOrderInWhichWindowsWereFirstRecorded) {
    g_fake_os.client_sizes[test_window(2)] = {20, 2};
    g_fake_os.client_sizes[test_window(3)] = {30, 3};
    send(WM_SIZE, SIZE_RESTORED, 0, test_window(3));
    send(WM_SIZE, SIZE_RESTORED, 0, test_window(2));
    send(WM_SIZE, SIZE_RESTORED, 0, test_window(3));
    Resize_Record_List list = get_window_resizes();
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.data[0].window, test_window(3));
    EXPECT_EQ(list.data[1].window, test_window(2));
    EXPECT_EQ(list.data[1].width, 20);
}

TEST_F(Window_Proc_Test, MinimizeThenRestoreGivesNoRecordAndMaximizeGivesOne) {
    Window_Type window = test_window(1);
    g_fake_os.client_sizes[window] = {400, 50};
    send(WM_SIZE, SIZE_MINIMIZED);
    send(WM_SIZE, SIZE_RESTORED);
    EXPECT_EQ(get_window_resizes().count, 0);

    send(WM_SIZE, SIZE_MINIMIZED);
    g_fake_os.client_sizes[window] = {1280, 990};
    send(WM_SIZE, SIZE_MAXIMIZED);
    Resize_Record_List list = get_window_resizes();
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.data[0].width, 1280);
    EXPECT_EQ(list.data[0].height, 990);
    // The maximize ended the minimization: a later restore is a resize again.
    send(WM_SIZE, SIZE_RESTORED);
    EXPECT_EQ(get_window_resizes().count, 1);
}

TEST_F(Window_Proc_Test, RecordsSurviveTheFrameResetAndAFailedSizeQueryGivesZero) {
    send(WM_SIZE, SIZE_RESTORED, 0, test_window(9));  // no size known: the query fails
    update_window_events();
    Resize_Record_List list = get_window_resizes();
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.data[0].width, 0);
    EXPECT_EQ(list.data[0].height, 0);
}

TEST_F(Window_Proc_Test, AddResizeRecordTakesTheCurrentClientSize) {
    g_fake_os.client_sizes[test_window(5)] = {123, 45};
    add_resize_record(test_window(5));
    Resize_Record_List list = get_window_resizes();
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.data[0].width, 123);
    EXPECT_EQ(list.data[0].height, 45);
}

// --- key state over frames ---

TEST_F(Window_Proc_Test, ReleasedKeyReadsDownAndReleasedThatFrameAndUpFromTheNext) {
    post(WM_KEYDOWN, 'K', 1);
    update_window_events();
    EXPECT_EQ(key_states['K'], KEY_DOWN | KEY_PRESSED_NOW);
    update_window_events();
    EXPECT_EQ(key_states['K'], KEY_DOWN);
    post(WM_KEYUP, 'K', 0xC0000001);
    update_window_events();
    EXPECT_EQ(key_states['K'], KEY_DOWN | KEY_RELEASED_NOW);
    update_window_events();
    EXPECT_EQ(key_states['K'], 0u);
}

TEST_F(Window_Proc_Test, PressAndReleaseInOneFrameShowAllThreeFlags) {
    post(WM_KEYDOWN, 'K', 1);
    post(WM_KEYUP, 'K', 0xC0000001);
    update_window_events();
    EXPECT_EQ(key_states['K'], KEY_DOWN | KEY_PRESSED_NOW | KEY_RELEASED_NOW);
    update_window_events();
    EXPECT_EQ(key_states['K'], 0u);
}

TEST_F(Window_Proc_Test, HeldLetterRepeatsAndIsPressedNowOnlyInTheFirstFrame) {
    post(WM_KEYDOWN, 'A', 1);
    update_window_events();
    EXPECT_EQ(describe_frame(), Strings{"KEYBOARD down A s0 c0 a0"});
    EXPECT_EQ(key_states['A'], KEY_DOWN | KEY_PRESSED_NOW);

    post(WM_KEYDOWN, 'A', 1 | REPEAT_BIT);
    post(WM_KEYDOWN, 'A', 1 | REPEAT_BIT);
    update_window_events();
    EXPECT_EQ(describe_frame(), (Strings{"KEYBOARD down A s0 c0 a0 repeat", "KEYBOARD down A s0 c0 a0 repeat"}));
    EXPECT_EQ(key_states['A'], KEY_DOWN) << "an auto-repeat is no new press";

    post(WM_KEYUP, 'A', 0xC0000001);
    update_window_events();
    EXPECT_EQ(describe_frame(), Strings{"KEYBOARD up A s0 c0 a0"});
}

TEST_F(Window_Proc_Test, RepeatBitOnAKeyNotHeldIsAPlainPress) {
    // The key went down before the window had the focus; its first message here already
    // carries the repeat bit.
    send(WM_KEYDOWN, 'Q', 1 | REPEAT_BIT);
    send(WM_KEYDOWN, 'Q', 1 | REPEAT_BIT);
    EXPECT_EQ(describe_frame(), (Strings{"KEYBOARD down Q s0 c0 a0", "KEYBOARD down Q s0 c0 a0 repeat"}));
}

}  // namespace

namespace {

TEST(Input_Event_Printing, RecordsPrintAsTheirFields) {
    Input_Event event = {};
    event.type = MOUSE_WHEEL;
    event.wheel_step = 120;
    event.wheel_delta = -120;
    EXPECT_EQ(tprint("%", event).view(), "{type = MOUSE_WHEEL, pressed = 0, key_code = 0, modifiers = 0, character = 0, "
                                         "repeat = false, wheel_step = 120, wheel_delta = -120}");
    Resize_Record record = {test_window(7), 500, 80};
    EXPECT_EQ(tprint("%", record).view(), "{window = 7, width = 500, height = 80}");
}

}  // namespace
