// GLX context creation refusing windows it cannot draw on, with the failure line and
// without ending the process on the X error.
// NOTE: gtest first: Xlib defines None as a macro, which gtest uses as a name.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include "gl/gl_context.h"
#include "window_creation.h"
#include "window_x11.h"

namespace {

TEST(GlxContext, WindowsItCannotDrawOnFailWithALine) {
    Display *display = (Display *)x11_display();
    if (!display) GTEST_SKIP() << "no display";
    // A window with the screen's default visual, which no sRGB-capable configuration uses
    // on Xvfb, and a window id that does not exist.
    Window plain = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 40, 10, 0, 0, 0);
    Window_Pixel_Format wanted = gl_window_pixel_format(0);
    if (wanted.visual_id == XVisualIDFromVisual(DefaultVisual(display, DefaultScreen(display)))) {
        XDestroyWindow(display, plain);
        GTEST_SKIP() << "the default visual is the renderer's own here";
    }
    const struct {
        Window_Type window;
        const char *line;
    } cases[] = {
        {plain, "Couldn't find a working pixel format\n"},
        {(Window_Type)0x7ffffff0, "XGetWindowAttributes of the window for the GL context failed\n"},
    };
    for (const auto &c : cases) {
        testing::internal::CaptureStderr();
        GL_Context_Result result = gl_create_context(c.window, nullptr, 3, 3, false, false, 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
        EXPECT_EQ(result.context, nullptr);
        EXPECT_EQ(result.device_context, nullptr);
        EXPECT_EQ(result.samples, 0);
    }
    XDestroyWindow(display, plain);
}

TEST(GlxContext, WindowMadeWithTheChosenVisualGetsA33CoreContext) {
    if (!x11_display()) GTEST_SKIP() << "no display";
    Window_Pixel_Format format = gl_window_pixel_format(0);
    ASSERT_NE(format.visual, nullptr);
    Window_Type window = custom_create_window(40, 10, "glx context test", -1, -1, {}, format);
    ASSERT_NE(window, 0u);
    // X fixes the visual at creation: the window must have the configuration's.
    XWindowAttributes attributes = {};
    ASSERT_TRUE(XGetWindowAttributes((Display *)x11_display(), window, &attributes));
    EXPECT_EQ(XVisualIDFromVisual(attributes.visual), format.visual_id);
    EXPECT_EQ(attributes.depth, format.depth);

    GL_Context_Result result = gl_create_context(window, nullptr, 3, 3, false, false, 8);
    EXPECT_NE(result.context, nullptr);
    EXPECT_EQ(result.device_context, x11_display());
    EXPECT_EQ(result.samples, 0);  // the window's visual has no samples
    XDestroyWindow((Display *)x11_display(), window);
}

}  // namespace
