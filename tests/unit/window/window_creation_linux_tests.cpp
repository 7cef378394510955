// X11 specifics of window creation: the visual asked for, the title and class properties,
// the close protocol, the placement, and a parent's transient hint.
// GoogleTest first: Xlib defines None as a macro.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>
#include <vector>

#include "window_creation.h"
#include "window_x11.h"

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

// A TrueColor visual of the screen other than the default one, when the server has one.
Window_Pixel_Format other_true_color_visual(Display *display) {
    Window_Pixel_Format format;
    XVisualInfo wanted = {};
    wanted.screen = DefaultScreen(display);
    wanted.c_class = TrueColor;
    int count = 0;
    XVisualInfo *infos = XGetVisualInfo(display, VisualScreenMask | VisualClassMask, &wanted, &count);
    VisualID default_id = XVisualIDFromVisual(DefaultVisual(display, DefaultScreen(display)));
    for (int i = 0; i < count && !format.visual; i++) {
        if (infos[i].visualid == default_id || infos[i].depth != 24) continue;
        format = {infos[i].visual, infos[i].visualid, infos[i].depth};
    }
    if (infos) XFree(infos);
    return format;
}

TEST(Window_Creation_X11, WindowHasTheVisualAskedForAndItsProperties) {
    Display *display = display_or_null();
    if (!display) GTEST_SKIP() << "no X display";
    Window_Pixel_Format asked = other_true_color_visual(display);
    Window window = custom_create_window(400, 50, "Korvane \xE2\x80\x94 X11 test", -1, -1, {}, asked);
    ASSERT_TRUE(window);

    XWindowAttributes attributes = {};
    ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
    EXPECT_EQ(attributes.map_state, IsViewable);
    EXPECT_EQ(attributes.width, 400);
    EXPECT_EQ(attributes.height, 50);
    if (asked.visual) {
        EXPECT_EQ(XVisualIDFromVisual(attributes.visual), asked.visual_id);
        EXPECT_EQ(attributes.depth, asked.depth);
    }
    // Without a pixel format: the screen's default visual.
    Window plain = custom_create_window(40, 10, "Korvane default visual");
    ASSERT_TRUE(plain);
    XWindowAttributes plain_attributes = {};
    ASSERT_TRUE(XGetWindowAttributes(display, plain, &plain_attributes));
    EXPECT_EQ(plain_attributes.visual, DefaultVisual(display, DefaultScreen(display)));
    XDestroyWindow(display, plain);

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

void set_cardinals(Display *display, const char *name, std::vector<long> values) {
    XChangeProperty(display, DefaultRootWindow(display), XInternAtom(display, name, False), XA_CARDINAL, 32,
                    PropModeReplace, (const unsigned char *)values.data(), (int)values.size());
}

TEST(Window_Creation_X11, CentredInTheWorkAreaOfTheCurrentDesktop) {
    Display *display = display_or_null();
    if (!display) GTEST_SKIP() << "no X display";
    Window root = DefaultRootWindow(display);
    if (!text_property(display, root, "_NET_WORKAREA").empty()) GTEST_SKIP() << "a window manager owns the work area";

    // Without a window manager the work area is the screen.
    Window plain = custom_create_window(400, 50, "Korvane work area test");
    ASSERT_TRUE(plain);
    Window child = 0;
    int x = 0, y = 0;
    XTranslateCoordinates(display, plain, root, 0, 0, &x, &y, &child);
    EXPECT_EQ(x, DisplayWidth(display, DefaultScreen(display)) / 2 - 200);
    EXPECT_EQ(y, DisplayHeight(display, DefaultScreen(display)) / 2 - 25 - 30);
    XDestroyWindow(display, plain);

    // As a window manager with two desktops would publish them; the second is current.
    set_cardinals(display, "_NET_WORKAREA", {0, 0, 1280, 1024, 100, 40, 1000, 800});
    set_cardinals(display, "_NET_CURRENT_DESKTOP", {1});
    Window window = custom_create_window(400, 50, "Korvane work area test");
    XDeleteProperty(display, root, XInternAtom(display, "_NET_WORKAREA", False));
    XDeleteProperty(display, root, XInternAtom(display, "_NET_CURRENT_DESKTOP", False));
    XSync(display, False);
    ASSERT_TRUE(window);
    XTranslateCoordinates(display, window, root, 0, 0, &x, &y, &child);
    EXPECT_EQ(x, (100 + 1100) / 2 - 200);
    EXPECT_EQ(y, (40 + 840) / 2 - 25 - 30);
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
