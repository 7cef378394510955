// The shared X display connection.
#include <X11/Xlib.h>

#include "log.h"
#include "platform_window.h"

struct X11_State {
    Display *display = nullptr;
    bool tried = false;
};

static X11_State g_x11;

// Xlib's own handler ends the process on any protocol error (a window that went away, a
// property we asked for wrongly). A failed request is reported and the program goes on.
static int log_x_error(Display *display, XErrorEvent *error) {
    char text[256] = {};
    XGetErrorText(display, error->error_code, text, sizeof(text));
    log_error("X error: % (request %, resource %)", (const char *)text, (s32)error->request_code,
              (u64)error->resourceid);
    return 0;
}

Display *x11_display() {
    if (!g_x11.tried) {
        g_x11.tried = true;
        XInitThreads();
        g_x11.display = XOpenDisplay(nullptr);
        if (g_x11.display) XSetErrorHandler(log_x_error);
    }
    return g_x11.display;
}
