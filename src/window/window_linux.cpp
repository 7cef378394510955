// The platform window on X11: the shared display connection and its error trap, client
// sizes, the cursor and the draining of the event queue.
#include <X11/Xlib.h>

#include "log.h"
#include "window_x11.h"

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

// --- the window ---

long x11_window_event_mask() {
    return KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask |
           FocusChangeMask | ExposureMask | PropertyChangeMask;
}

Client_Size window_client_size(Window_Type window) {
    Display *display = x11_display();
    if (!display || !window) return {};
    // A window id that is gone is an asynchronous X error: caught, the size is 0 by 0.
    x11_begin_error_trap();
    XWindowAttributes attributes = {};
    Status ok = XGetWindowAttributes(display, window, &attributes);
    if (x11_end_error_trap() || !ok) return {};
    return {attributes.width, attributes.height};
}

Cursor_Position get_cursor_in_client(Window_Type window) {
    Cursor_Position result;
    Display *display = x11_display();
    if (!display || !window) return result;
    ::Window root, child;
    int root_x = 0, root_y = 0, window_x = 0, window_y = 0;
    unsigned int mask = 0;
    if (XQueryPointer(display, window, &root, &child, &root_x, &root_y, &window_x, &window_y, &mask)) {
        result.x = window_x;
        result.y = window_y;
    }
    return result;
}

void window_pump_events(Native_Event_Handler handle) {
    Display *display = x11_display();
    if (!display) return;
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
        if (handle) handle(&event);
    }
}

Device_Context window_device_context(Window_Type) { return x11_display(); }

bool window_copy_pixel_format(Device_Context, Device_Context) {
    // NOTE: an X window's visual is fixed when the window is made; a later window must have
    // been made with the context code's Window_Pixel_Format for the one context to draw on it.
    return true;
}
