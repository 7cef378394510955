// The shared X display connection.
#include <X11/Xlib.h>

#include "platform_window.h"

struct X11_State {
    Display *display = nullptr;
    bool tried = false;
};

static X11_State g_x11;

Display *x11_display() {
    if (!g_x11.tried) {
        g_x11.tried = true;
        XInitThreads();
        g_x11.display = XOpenDisplay(nullptr);
    }
    return g_x11.display;
}
