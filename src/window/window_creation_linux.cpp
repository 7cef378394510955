// Window creation with Xlib: a top-level window with the visual of the OpenGL context
// code's configuration, placed in the work area as on Windows, and mapped before returning. There
// is no window class on X; its name becomes the window's WM_CLASS and its background the
// window's background.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include "log.h"
#include "os.h"
#include "temporary_storage.h"
#include "window_creation.h"
#include "window_x11.h"

namespace {

struct Window_Creation_State {
    bool class_registered = false;
    u32 background = 0;  // red + green * 256 + blue * 65536
};
Window_Creation_State g_window_creation;

// Up to count 32-bit cardinals of a root window property, from item offset on; the number
// read.
int read_cardinals(Display *display, Window root, const char *name, long offset, long count, long *values) {
    Atom type = None;
    int format = 0;
    unsigned long got = 0, after = 0;
    unsigned char *data = nullptr;
    int read = 0;
    if (XGetWindowProperty(display, root, XInternAtom(display, name, False), offset, count, False, XA_CARDINAL, &type,
                           &format, &got, &after, &data) == Success &&
        data) {
        if (format == 32) {
            // Xlib hands 32-bit items over as longs.
            for (unsigned long i = 0; i < got && i < (unsigned long)count; i++) values[read++] = ((const long *)data)[i];
        }
        XFree(data);
    }
    return read;
}

// _NET_WORKAREA of the current desktop (the screen minus panels), else the whole screen.
Work_Area query_work_area(Display *display, int screen) {
    Work_Area area = {0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
    Window root = RootWindow(display, screen);
    long desktop = 0;
    if (read_cardinals(display, root, "_NET_CURRENT_DESKTOP", 0, 1, &desktop) != 1 || desktop < 0) desktop = 0;
    long values[4] = {};
    if (read_cardinals(display, root, "_NET_WORKAREA", desktop * 4, 4, values) == 4 && values[2] > 0 && values[3] > 0) {
        area = {values[0], values[1], values[0] + values[2], values[1] + values[3]};
    }
    return area;
}

// The pixel value of the background colour in a TrueColor visual.
unsigned long pixel_for(Visual *visual, u32 color) {
    auto place = [](unsigned long mask, u32 byte) -> unsigned long {
        if (!mask) return 0;
        int shift = 0;
        while (!((mask >> shift) & 1)) shift++;
        int bits = 0;
        while ((mask >> (shift + bits)) & 1) bits++;
        unsigned long value = bits >= 8 ? (unsigned long)byte << (bits - 8) : (unsigned long)byte >> (8 - bits);
        return (value << shift) & mask;
    };
    return place(visual->red_mask, color & 0xFF) | place(visual->green_mask, (color >> 8) & 0xFF) |
           place(visual->blue_mask, (color >> 16) & 0xFF);
}

void set_utf8_property(Display *display, Window window, const char *name, String value) {
    Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    XChangeProperty(display, window, XInternAtom(display, name, False), utf8, 8, PropModeReplace,
                    (const unsigned char *)value.data, (int)value.count);
}

bool is_ascii(String text) {
    for (s64 i = 0; i < text.count; i++) {
        if ((u8)text.data[i] >= 0x80) return false;
    }
    return true;
}

// With a parent the window manager is asked for no minimize and maximize boxes.
void remove_minimize_and_maximize(Display *display, Window window) {
    struct Motif_Hints {
        unsigned long flags, functions, decorations;
        long input_mode;
        unsigned long status;
    };
    constexpr unsigned long HINT_FUNCTIONS = 1, HINT_DECORATIONS = 2;
    constexpr unsigned long FUNCTION_RESIZE = 2, FUNCTION_MOVE = 4, FUNCTION_CLOSE = 32;
    constexpr unsigned long DECORATION_BORDER = 2, DECORATION_RESIZE = 4, DECORATION_TITLE = 8, DECORATION_MENU = 16;
    Motif_Hints hints = {HINT_FUNCTIONS | HINT_DECORATIONS, FUNCTION_RESIZE | FUNCTION_MOVE | FUNCTION_CLOSE,
                         DECORATION_BORDER | DECORATION_RESIZE | DECORATION_TITLE | DECORATION_MENU, 0, 0};
    Atom atom = XInternAtom(display, "_MOTIF_WM_HINTS", False);
    XChangeProperty(display, window, atom, atom, 32, PropModeReplace, (const unsigned char *)&hints, 5);
}

struct Map_Wait {
    Window window;
    bool mapped;
};

// Looks at the queue without taking anything off it: the pump translates these events.
Bool note_map(Display *, XEvent *event, XPointer argument) {
    Map_Wait *wait = (Map_Wait *)argument;
    if (event->type == MapNotify && event->xmap.window == wait->window) wait->mapped = true;
    return False;
}

// Waits (up to a few seconds, in case a window manager holds the window back) until the
// server reports the window mapped.
bool wait_until_mapped(Display *display, Window window) {
    Map_Wait wait = {window, false};
    f64 deadline = seconds_since_init() + 5.0;
    for (;;) {
        XEvent unused;
        XCheckIfEvent(display, &unused, note_map, (XPointer)&wait);
        if (wait.mapped) return true;
        f64 left = deadline - seconds_since_init();
        if (left <= 0) return false;
        pollfd connection = {ConnectionNumber(display), POLLIN, 0};
        poll(&connection, 1, (int)(left * 1000) + 1);
        XEventsQueued(display, QueuedAfterReading);
    }
}

}  // namespace

void init_window_class(f32 red, f32 green, f32 blue, Window_Procedure) {
    if (g_window_creation.class_registered) return;
    // Nothing to register with the server; the class is what every window gets at creation.
    if (!x11_display()) {
        log_error("No window class without an X display (is DISPLAY set?).\n");
        return;
    }
    g_window_creation.background = background_color_value(red, green, blue);
    g_window_creation.class_registered = true;
}

Window_Type custom_create_window(s64 width, s64 height, String window_name, s64 window_x, s64 window_y,
                                 Window_Type parent, Window_Pixel_Format pixel_format) {
    if (!g_window_creation.class_registered) init_window_class(0, 0, 0, nullptr);
    Display *display = (Display *)x11_display();
    if (!display) {
        log_error("XCreateWindow failed: no X display.\n");
        return 0;
    }
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767) {
        log_error("XCreateWindow failed: a client area of % x % pixels is not possible.\n", width, height);
        return 0;
    }
    int screen = DefaultScreen(display);
    Window root = RootWindow(display, screen);

    // An X window has no frame of its own: the window is the client area, and the window
    // manager puts its frame around it.
    bool have_work_area = window_x == -1;
    Work_Area work_area = have_work_area ? query_work_area(display, screen) : Work_Area{};
    Window_Position position = window_position(width, height, window_x, window_y, have_work_area, work_area);

    // X fixes a window's visual at creation, and OpenGL draws only on windows made with the
    // visual of its configuration.
    Visual *visual = pixel_format.visual ? (Visual *)pixel_format.visual : DefaultVisual(display, screen);
    int depth = pixel_format.visual ? pixel_format.depth : DefaultDepth(display, screen);

    XSetWindowAttributes attributes = {};
    attributes.colormap = XCreateColormap(display, root, visual, AllocNone);
    attributes.background_pixel = pixel_for(visual, g_window_creation.background);
    attributes.border_pixel = 0;
    attributes.event_mask = x11_window_event_mask();
    x11_begin_error_trap();
    Window window = XCreateWindow(display, root, (int)position.x, (int)position.y, (unsigned)width, (unsigned)height, 0,
                                  depth, InputOutput, visual, CWColormap | CWBackPixel | CWBorderPixel | CWEventMask,
                                  &attributes);
    int error = x11_end_error_trap();
    if (!window || error) {
        char text[256] = {};
        XGetErrorText(display, error, text, sizeof(text));
        log_error("XCreateWindow failed: %\n", error ? text : "no window id");
        if (window) XDestroyWindow(display, window);
        XFreeColormap(display, attributes.colormap);
        return 0;
    }

    // The title: _NET_WM_NAME in UTF-8; WM_NAME as plain text when it is ASCII, else in
    // UTF-8 too, which is what window managers read in its place.
    set_utf8_property(display, window, "_NET_WM_NAME", window_name);
    if (is_ascii(window_name)) {
        XStoreName(display, window, temp_c_string(window_name));
    } else {
        set_utf8_property(display, window, "WM_NAME", window_name);
    }
    XClassHint class_hint = {(char *)WINDOW_CLASS_NAME, (char *)WINDOW_CLASS_NAME};
    XSetClassHint(display, window, &class_hint);

    // The placement is ours, not the window manager's choice.
    XSizeHints *size_hints = XAllocSizeHints();
    if (size_hints) {
        size_hints->flags = USPosition | PPosition | USSize | PSize;
        size_hints->x = (int)position.x;
        size_hints->y = (int)position.y;
        size_hints->width = (int)width;
        size_hints->height = (int)height;
        XSetWMNormalHints(display, window, size_hints);
        XFree(size_hints);
    }
    Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &delete_window, 1);
    if (parent) {
        XSetTransientForHint(display, window, parent);
        remove_minimize_and_maximize(display, window);
    }

    XMapWindow(display, window);
    XFlush(display);
    if (!wait_until_mapped(display, window)) {
        log_error("XMapWindow: the window was not mapped within 5 seconds.\n");
    }
    return window;
}
