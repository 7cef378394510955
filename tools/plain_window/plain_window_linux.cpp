// A bare X11 window on the shared display connection, made with the visual that the
// renderer's OpenGL configuration draws on.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "gl/gl_context.h"
#include "plain_window.h"
#include "window_x11.h"

namespace {

// Waits for an event of the type on the window; the X server answers every request that
// changes a mapped window with one.
void wait_for(Display *display, Window window, int type) {
    XEvent event;
    XWindowEvent(display, window, StructureNotifyMask, &event);
    while (event.type != type) XWindowEvent(display, window, StructureNotifyMask, &event);
}

}  // namespace

Window_Type plain_window_create(s32 width, s32 height, const char *title) {
    Display *display = (Display *)x11_display();
    if (!display) return 0;
    int screen = DefaultScreen(display);
    Window_Pixel_Format chosen = gl_window_pixel_format(0);
    Visual *visual = chosen.visual ? (Visual *)chosen.visual : DefaultVisual(display, screen);
    int depth = chosen.visual ? chosen.depth : DefaultDepth(display, screen);
    Window root = RootWindow(display, screen);

    XSetWindowAttributes attributes = {};
    attributes.colormap = XCreateColormap(display, root, visual, AllocNone);
    attributes.event_mask = StructureNotifyMask | ExposureMask;
    attributes.border_pixel = 0;
    Window window = XCreateWindow(display, root, 40, 40, (unsigned)width, (unsigned)height, 0, depth, InputOutput,
                                  visual, CWColormap | CWEventMask | CWBorderPixel, &attributes);
    if (!window) return 0;
    XStoreName(display, window, title);
    XMapWindow(display, window);
    wait_for(display, window, MapNotify);
    return window;
}

void plain_window_destroy(Window_Type window) {
    Display *display = (Display *)x11_display();
    if (!display || !window) return;
    XDestroyWindow(display, window);
    XSync(display, False);
}

void plain_window_resize(Window_Type window, s32 width, s32 height) {
    Display *display = (Display *)x11_display();
    XResizeWindow(display, window, (unsigned)width, (unsigned)height);
    XEvent event;
    for (;;) {
        XWindowEvent(display, window, StructureNotifyMask, &event);
        if (event.type == ConfigureNotify && event.xconfigure.width == width && event.xconfigure.height == height) break;
    }
}

void plain_window_pump() {
    Display *display = (Display *)x11_display();
    if (!display) return;
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
    }
}
