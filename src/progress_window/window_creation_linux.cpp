// Window creation on X11: a top-level window with the visual OpenGL will draw with, the
// title, WM_CLASS from the class name, a black background, the close protocol, placed like
// the Windows one in the work area, mapped before the call returns.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "gl/gl_context.h"
#include "log.h"
#include "temporary_storage.h"
#include "window_creation.h"

struct Window_Class_State {
    bool class_registered = false;
    unsigned long background = 0;  // pixel value of the class colour
};

static Window_Class_State g_window_class;

// X has no window classes; what a class gives on Windows (the background) is kept here.
void init_window_class(f32 red, f32 green, f32 blue) {
    if (g_window_class.class_registered) return;
    u32 color = window_background_color(red, green, blue);
    // As a 24-bit TrueColor pixel: red in the high byte.
    g_window_class.background = ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
    g_window_class.class_registered = true;
}

static bool query_work_area(Display *display, Work_Area *area) {
    Window root = DefaultRootWindow(display);
    Atom property = XInternAtom(display, "_NET_WORKAREA", True);
    if (property != None) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(display, root, property, 0, 4, False, XA_CARDINAL, &type, &format, &count, &after,
                               &data) == Success &&
            data && format == 32 && count >= 4) {
            const long *values = (const long *)data;  // x, y, width, height of the first desktop
            *area = {values[0], values[1], values[0] + values[2], values[1] + values[3]};
            XFree(data);
            return true;
        }
        if (data) XFree(data);
    }
    // No window manager says: the whole screen is the work area.
    int screen = DefaultScreen(display);
    *area = {0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
    return true;
}

static Bool is_map_notify_of(Display *, XEvent *event, XPointer window) {
    return event->type == MapNotify && event->xmap.window == (Window)window;
}

Window_Type custom_create_window(s64 width, s64 height, String window_name, s64 window_x, s64 window_y,
                                 Window_Type parent) {
    if (!g_window_class.class_registered) init_window_class(0, 0, 0);
    Display *display = x11_display();
    if (!display) {
        log_error("XCreateWindow returned 0 (no X display).\n");
        return {};
    }
    int screen = DefaultScreen(display);
    Window root = RootWindow(display, screen);

    Work_Area area;
    bool have_work_area = window_x == -1 && query_work_area(display, &area);
    Window_Position position = window_position(width, height, window_x, window_y, have_work_area ? &area : nullptr);

    // NOTE: X fixes a window's visual when it is made; OpenGL can only draw on a window made
    // with the visual of its configuration.
    GL_Window_Visual gl_visual = gl_window_visual(0);
    Visual *visual = gl_visual.visual ? (Visual *)gl_visual.visual : DefaultVisual(display, screen);
    int depth = gl_visual.visual ? gl_visual.depth : DefaultDepth(display, screen);

    XSetWindowAttributes attributes = {};
    attributes.colormap = XCreateColormap(display, root, visual, AllocNone);
    attributes.background_pixel = g_window_class.background;
    attributes.border_pixel = 0;
    attributes.event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            StructureNotifyMask | FocusChangeMask | ExposureMask;
    Window window = XCreateWindow(display, parent ? (Window)parent : root, (int)position.x, (int)position.y,
                                  (unsigned)width, (unsigned)height, 0, depth, InputOutput, visual,
                                  CWColormap | CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    if (!window) {
        log_error("XCreateWindow returned 0.\n");
        return {};
    }

    const char *title = temp_c_string(window_name);
    XStoreName(display, window, title);
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                    XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                    (const unsigned char *)window_name.data, (int)window_name.count);
    XClassHint class_hint = {(char *)"korvane", (char *)WINDOW_CLASS_NAME};
    XSetClassHint(display, window, &class_hint);
    Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &delete_window, 1);
    // A window manager places the window where we computed, as Windows would.
    XSizeHints *hints = XAllocSizeHints();
    if (hints) {
        hints->flags = PPosition | USPosition;
        hints->x = (int)position.x;
        hints->y = (int)position.y;
        XSetWMNormalHints(display, window, hints);
        XFree(hints);
    }

    XMapWindow(display, window);
    // Visible when we return; the MapNotify stays queued for the event pump.
    XEvent mapped;
    XPeekIfEvent(display, &mapped, is_map_notify_of, (XPointer)window);
    return window;
}
