// The renderer's X11 calls: client sizes, and the counterpart of giving a later window the
// first window's pixel format.
#include <X11/Xlib.h>

#include "assertions.h"
#include "backend_gl_platform.h"

Render_Dimensions os_client_size(Window_Type window) {
    Display *display = (Display *)x11_display();
    if (!display || !window) return {};
    // A window id that is gone is an asynchronous X error: caught, the size is 0 by 0.
    x11_begin_error_trap();
    XWindowAttributes attributes = {};
    Status ok = XGetWindowAttributes(display, window, &attributes);
    if (x11_end_error_trap() || !ok) return {};
    return {attributes.width, attributes.height};
}

void os_set_pixel_format_like(Device_Context target, Device_Context model) {
    // NOTE: an X window's visual is fixed when the window is made; a later window must have
    // been made with gl_window_visual for the one context to draw on it.
}
