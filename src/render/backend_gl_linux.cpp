// The renderer's X11 calls: client sizes, and the counterpart of giving a later window the
// first window's pixel format.
#include <X11/Xlib.h>

#include "assertions.h"
#include "backend_gl_platform.h"

namespace {

struct X_Size_Query {
    bool failed = false;
    XErrorHandler previous = nullptr;
};
X_Size_Query g_size_query;

int note_x_error(Display *, XErrorEvent *) {
    g_size_query.failed = true;
    return 0;
}

}  // namespace

Render_Dimensions os_client_size(Window_Type window) {
    Display *display = (Display *)x11_display();
    if (!display || !window) return {};
    // NOTE: a bad window id is an asynchronous X error, which Xlib's default handler answers
    // by ending the process; catch it for the length of the query.
    XSync(display, False);
    g_size_query.failed = false;
    g_size_query.previous = XSetErrorHandler(note_x_error);
    XWindowAttributes attributes = {};
    Status ok = XGetWindowAttributes(display, window, &attributes);
    XSync(display, False);
    XSetErrorHandler(g_size_query.previous);
    if (!ok || g_size_query.failed) return {};
    return {attributes.width, attributes.height};
}

void os_set_pixel_format_like(Device_Context target, Device_Context model) {
    // NOTE: an X window's visual is fixed when the window is made; a later window must have
    // been made with gl_window_visual for the one context to draw on it.
}
