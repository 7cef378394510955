// X11 specifics of window creation: the renderer's visual, the title and class properties,
// the close protocol, the placement, and a parent's transient hint.
// GoogleTest first: Xlib defines None as a macro.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>

#include "gl/gl_context.h"
#include "window_creation.h"

namespace {

Display *display_or_null() { return (Display *)x11_display(); }

std::string text_property(Display *display, Window window, const char *name) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    std::string result;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1024, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        data) {
        result.assign((const char *)data, count);
        XFree(data);
    }
    return result;
}

TEST(Window_Creation_X11, WindowHasTheRenderersVisualAndItsProperties) {
    Display *display = display_or_null();
    if (!display) GTEST_SKIP() << "no X display";
    Window window = custom_create_window(400, 50, "Korvane \xE2\x80\x94 X11 test");
    ASSERT_TRUE(window);

    XWindowAttributes attributes = {};
    ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
    EXPECT_EQ(attributes.map_state, IsViewable);
    EXPECT_EQ(attributes.width, 400);
    EXPECT_EQ(attributes.height, 50);
    GL_Window_Visual visual = gl_window_visual(0);
    if (visual.visual) {
        EXPECT_EQ(XVisualIDFromVisual(attributes.visual), visual.visual_id);
        EXPECT_EQ(attributes.depth, visual.depth);
    }

    // Placed as on Windows, in the work area (the screen when no window manager says more).
    Window child = 0;
    int x = 0, y = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    Window_Position expected = window_position(400, 50, -1, -1, true,
                                               {0, 0, DisplayWidth(display, DefaultScreen(display)),
                                                DisplayHeight(display, DefaultScreen(display))});
    if (text_property(display, DefaultRootWindow(display), "_NET_WORKAREA").empty()) {
        EXPECT_EQ(x, expected.x);
        EXPECT_EQ(y, expected.y);
    }

    EXPECT_EQ(text_property(display, window, "_NET_WM_NAME"), "Korvane \xE2\x80\x94 X11 test");
    EXPECT_EQ(text_property(display, window, "WM_NAME"), "Korvane \xE2\x80\x94 X11 test");
    XClassHint class_hint = {};
    ASSERT_TRUE(XGetClassHint(display, window, &class_hint));
    EXPECT_STREQ(class_hint.res_class, "Default Window Class");
    XFree(class_hint.res_name);
    XFree(class_hint.res_class);

    Atom *protocols = nullptr;
    int protocol_count = 0;
    ASSERT_TRUE(XGetWMProtocols(display, window, &protocols, &protocol_count));
    ASSERT_EQ(protocol_count, 1);
    EXPECT_EQ(protocols[0], XInternAtom(display, "WM_DELETE_WINDOW", False));
    XFree(protocols);
    XDestroyWindow(display, window);
    XSync(display, False);
}

TEST(Window_Creation_X11, ParentMakesATransientWindowAtThePassedPosition) {
    Display *display = display_or_null();
    if (!display) GTEST_SKIP() << "no X display";
    Window parent = custom_create_window(200, 100, "Korvane parent");
    Window window = custom_create_window(100, 40, "Korvane owned", 30, 40, parent);
    ASSERT_TRUE(parent);
    ASSERT_TRUE(window);
    Window transient_for = 0;
    ASSERT_TRUE(XGetTransientForHint(display, window, &transient_for));
    EXPECT_EQ(transient_for, parent);
    EXPECT_FALSE(text_property(display, window, "_MOTIF_WM_HINTS").empty());
    Window child = 0;
    int x = 0, y = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    EXPECT_EQ(x, 30);
    EXPECT_EQ(y, 40);
    XDestroyWindow(display, window);
    XDestroyWindow(display, parent);
    XSync(display, False);
}

TEST(Window_Creation_X11, ImpossibleSizeFailsWithAnErrorLine) {
    if (!display_or_null()) GTEST_SKIP() << "no X display";
    for (s64 size : {0ll, -5ll, 40000ll}) {
        testing::internal::CaptureStderr();
        Window_Type window = custom_create_window(size, 50, "Korvane window test");
        std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(window);
        EXPECT_NE(errors.find("XCreateWindow failed"), std::string::npos) << errors;
    }
}

}  // namespace
