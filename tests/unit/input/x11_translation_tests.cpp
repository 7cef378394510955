// The X11 pump on a real display: X events sent to a window made by custom_create_window
// come out as the events and resize records the window messages give on Windows. XSync
// returns once the server has handled the requests, with the events they caused queued.
// GoogleTest first: Xlib defines None as a macro.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include "fake_input_os.h"
#include "window_creation.h"
#include "window_x11.h"

namespace {

using Strings = std::vector<std::string>;

class X11_Translation_Test : public testing::Test {
protected:
    Display *display = nullptr;
    Window window = 0;

    void SetUp() override {
        display = (Display *)x11_display();
        if (!display) GTEST_SKIP() << "no X display";
        window = custom_create_window(400, 50, "Korvane translation test");
        ASSERT_TRUE(window);
        next_frame();
        get_window_resizes();
    }

    void TearDown() override {
        if (!display) return;  // skipped: there is nothing to pump
        if (window) XDestroyWindow(display, window);
        XSync(display, False);
        next_frame();
        get_window_resizes();
    }

    void next_frame() {
        XSync(display, False);
        update_window_events();
    }

    void send_key(KeySym keysym, bool pressed, Time time, unsigned state = 0) {
        XEvent event = {};
        event.type = pressed ? KeyPress : KeyRelease;
        event.xkey.display = display;
        event.xkey.window = window;
        event.xkey.root = DefaultRootWindow(display);
        event.xkey.same_screen = True;
        event.xkey.time = time;
        event.xkey.state = state;
        event.xkey.keycode = XKeysymToKeycode(display, keysym);
        XSendEvent(display, window, False, 0, &event);
    }

    void send_button(unsigned button, bool pressed) {
        XEvent event = {};
        event.type = pressed ? ButtonPress : ButtonRelease;
        event.xbutton.display = display;
        event.xbutton.window = window;
        event.xbutton.root = DefaultRootWindow(display);
        event.xbutton.same_screen = True;
        event.xbutton.button = button;
        event.xbutton.x = 10;
        event.xbutton.y = 10;
        XSendEvent(display, window, False, 0, &event);
    }
};

TEST_F(X11_Translation_Test, KeysGiveKeyAndCharacterMessages) {
    if (!XKeysymToKeycode(display, XK_a) || !XKeysymToKeycode(display, XK_Shift_L)) GTEST_SKIP() << "no such keys";
    send_key(XK_a, true, 1);
    send_key(XK_a, true, 2);  // held: the server repeats the press
    send_key(XK_a, false, 3);
    send_key(XK_Shift_L, true, 4);
    send_key(XK_a, true, 5, ShiftMask);
    send_key(XK_a, false, 6, ShiftMask);
    send_key(XK_Shift_L, false, 7, ShiftMask);
    send_key(XK_Return, true, 8);
    send_key(XK_Return, false, 9);
    next_frame();
    EXPECT_EQ(describe_frame(), (Strings{"KEYBOARD down A s0 c0 a0", "TEXT 97", "KEYBOARD down A s0 c0 a0 repeat", "TEXT 97",
                                         "KEYBOARD up A s0 c0 a0", "KEYBOARD down SHIFT s1 c0 a0", "KEYBOARD down A s1 c0 a0",
                                         "TEXT 65", "KEYBOARD up A s1 c0 a0", "KEYBOARD up SHIFT s0 c0 a0",
                                         "KEYBOARD down ENTER s0 c0 a0", "KEYBOARD up ENTER s0 c0 a0"}));
}

TEST_F(X11_Translation_Test, ButtonsAndWheel) {
    send_button(Button1, true);
    send_button(Button1, false);
    send_button(Button3, true);
    send_button(Button3, false);
    send_button(Button4, true);
    send_button(Button4, false);
    send_button(Button5, true);
    send_button(Button5, false);
    send_button(Button5, true);
    next_frame();
    EXPECT_EQ(describe_frame(), (Strings{"KEYBOARD down MOUSE_BUTTON_LEFT s0 c0 a0", "KEYBOARD up MOUSE_BUTTON_LEFT s0 c0 a0",
                                         "KEYBOARD down MOUSE_BUTTON_RIGHT s0 c0 a0", "KEYBOARD up MOUSE_BUTTON_RIGHT s0 c0 a0",
                                         "WHEEL 120", "WHEEL -120", "WHEEL -120"}));
    EXPECT_EQ(mouse_wheel_total, -120);
}

TEST_F(X11_Translation_Test, ResizesMinimizeAndRestore) {
    XResizeWindow(display, window, 321, 123);
    XResizeWindow(display, window, 333, 111);
    next_frame();
    Resize_Record_List list = get_window_resizes();
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.data[0].window, window);
    EXPECT_EQ(list.data[0].width, 333);
    EXPECT_EQ(list.data[0].height, 111);

    // Taken off the screen and back, as iconifying does: no record.
    XUnmapWindow(display, window);
    next_frame();
    XMapWindow(display, window);
    next_frame();
    EXPECT_EQ(get_window_resizes().count, 0);
}

TEST_F(X11_Translation_Test, CloseRequestGivesOneQuitAndHidesTheWindow) {
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSendEvent(display, window, False, 0, &event);
    next_frame();
    EXPECT_EQ(describe_frame(), Strings{"QUIT"});
    XWindowAttributes attributes = {};
    ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
    EXPECT_EQ(attributes.map_state, IsUnmapped);
    next_frame();
    EXPECT_TRUE(frame_events.empty());
    EXPECT_EQ(get_window_resizes().count, 0) << "hiding a closed window is no minimization";
}

}  // namespace
