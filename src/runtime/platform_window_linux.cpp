// The shared X display connection.
#include <X11/Xlib.h>

#include "log.h"
#include "platform_window.h"

struct X11_State {
    Display *display = nullptr;
    bool tried = false;
};

static X11_State g_x11;

// An error trap of the calling thread (errors reach the handler on the thread that reads
// the server's reply, which x11_end_error_trap's XSync makes the trapping one).
struct X11_Error_Trap {
    bool active = false;
    int error_code = 0;
};

static thread_local X11_Error_Trap t_x11_trap;

// Xlib's own handler ends the process on any protocol error (a window that went away, a
// property we asked for wrongly). A failed request is reported and the program goes on.
static int log_x_error(Display *display, XErrorEvent *error) {
    if (t_x11_trap.active) {
        if (!t_x11_trap.error_code) t_x11_trap.error_code = error->error_code;
        return 0;
    }
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

void x11_begin_error_trap() {
    Display *display = x11_display();
    if (!display) return;
    XSync(display, False);  // earlier requests' errors are not the trap's
    t_x11_trap = {true, 0};
}

int x11_end_error_trap() {
    Display *display = x11_display();
    if (display) XSync(display, False);
    int error_code = t_x11_trap.error_code;
    t_x11_trap = {};
    return error_code;
}
