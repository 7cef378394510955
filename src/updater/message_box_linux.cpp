// The warning box on X11: a small dialog of its own with the caption as its title, the
// text and an OK button. Blocks like the Windows one until the player dismisses it with
// Return, Escape, a click on OK or the window manager's close. Without a display there is
// nobody to tell, and it returns at once (the error line has already been written).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "gui_libraries.h"
#include "log.h"
#include "temporary_storage.h"
#include "types.h"

namespace {

constexpr int MARGIN = 16;
constexpr int BUTTON_WIDTH = 80;
constexpr int BUTTON_HEIGHT = 26;
constexpr size_t WRAP_COLUMNS = 64;

struct Box {
    Display *display = nullptr;
    Window window = 0;
    GC gc = nullptr;
    XFontStruct *font = nullptr;
    std::vector<std::string_view> lines;
    int width = 0;
    int height = 0;
    int line_height = 0;
    XRectangle button = {};
};

// Breaks at spaces so that no line is much longer than the wrap width; a word longer than
// that stays whole.
std::vector<std::string_view> wrap(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        size_t newline = text.find('\n');
        std::string_view paragraph = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        do {
            size_t cut = paragraph.size();
            if (cut > WRAP_COLUMNS) {
                size_t space = paragraph.rfind(' ', WRAP_COLUMNS);
                cut = space == std::string_view::npos || space == 0 ? paragraph.find(' ') : space;
                if (cut == std::string_view::npos) cut = paragraph.size();
            }
            lines.push_back(paragraph.substr(0, cut));
            paragraph.remove_prefix(std::min(cut + 1, paragraph.size()));
        } while (!paragraph.empty());
    }
    return lines;
}

int text_width(const Box &box, std::string_view text) {
    return box.font ? XTextWidth(box.font, text.data(), (int)text.size()) : (int)text.size() * 6;
}

void draw(Box &box) {
    XSetForeground(box.display, box.gc, BlackPixel(box.display, DefaultScreen(box.display)));
    int ascent = box.font ? box.font->ascent : 10;
    for (size_t i = 0; i < box.lines.size(); i++) {
        std::string_view line = box.lines[i];
        XDrawString(box.display, box.window, box.gc, MARGIN, MARGIN + ascent + (int)i * box.line_height, line.data(),
                    (int)line.size());
    }
    XDrawRectangle(box.display, box.window, box.gc, box.button.x, box.button.y, box.button.width, box.button.height);
    std::string_view ok = "OK";
    int ok_x = box.button.x + (box.button.width - text_width(box, ok)) / 2;
    int ok_y = box.button.y + (box.button.height + ascent) / 2 - 1;
    XDrawString(box.display, box.window, box.gc, ok_x, ok_y, ok.data(), (int)ok.size());
    XFlush(box.display);
}

bool inside(const XRectangle &r, int x, int y) {
    return x >= r.x && y >= r.y && x < r.x + r.width && y < r.y + r.height;
}

}  // namespace

void show_x11_message_box(String caption, String text) {
    // Xlib is not mapped at start; without it there is no box to show, as without a display.
    // (Only Xlib: a missing OpenGL library must not silence the warning.)
    Gui_Libraries libraries = load_gui_library("libX11.so.6");
    if (!libraries.success) {
        log_error("Could not load %: %; the warning is not shown", libraries.failed_library, libraries.error);
        return;
    }
    XInitThreads();
    Box box;
    box.display = XOpenDisplay(nullptr);
    if (!box.display) return;
    Display *display = box.display;
    int screen = DefaultScreen(display);

    box.font = XLoadQueryFont(display, "fixed");
    box.line_height = box.font ? box.font->ascent + box.font->descent + 2 : 14;
    box.lines = wrap(text.view());
    int widest = 0;
    for (std::string_view line : box.lines) widest = std::max(widest, text_width(box, line));
    box.width = std::max(widest, 240) + 2 * MARGIN;
    box.height = (int)box.lines.size() * box.line_height + 3 * MARGIN + BUTTON_HEIGHT;
    box.button = {(short)((box.width - BUTTON_WIDTH) / 2), (short)(box.height - MARGIN - BUTTON_HEIGHT),
                  (unsigned short)BUTTON_WIDTH, (unsigned short)BUTTON_HEIGHT};

    int x = (DisplayWidth(display, screen) - box.width) / 2;
    int y = (DisplayHeight(display, screen) - box.height) / 2;
    box.window = XCreateSimpleWindow(display, RootWindow(display, screen), x, y, (unsigned)box.width,
                                     (unsigned)box.height, 1, BlackPixel(display, screen), WhitePixel(display, screen));

    const char *title = temp_c_string(caption);
    XStoreName(display, box.window, title);
    Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    XChangeProperty(display, box.window, XInternAtom(display, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                    (const unsigned char *)caption.data, (int)caption.count);
    Atom dialog = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    XChangeProperty(display, box.window, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                    PropModeReplace, (const unsigned char *)&dialog, 1);
    XClassHint class_hint = {(char *)"korvane-message", (char *)"Korvane"};
    XSetClassHint(display, box.window, &class_hint);
    Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, box.window, &delete_window, 1);

    XSelectInput(display, box.window, ExposureMask | KeyPressMask | ButtonPressMask | StructureNotifyMask);
    box.gc = XCreateGC(display, box.window, 0, nullptr);
    if (box.font) XSetFont(display, box.gc, box.font->fid);
    XMapRaised(display, box.window);

    bool open = true;
    while (open) {
        XEvent event;
        XNextEvent(display, &event);
        switch (event.type) {
        case Expose:
            if (event.xexpose.count == 0) draw(box);
            break;
        case KeyPress: {
            KeySym key = XLookupKeysym(&event.xkey, 0);
            if (key == XK_Return || key == XK_KP_Enter || key == XK_Escape || key == XK_space) open = false;
            break;
        }
        case ButtonPress:
            if (event.xbutton.button == Button1 && inside(box.button, event.xbutton.x, event.xbutton.y)) open = false;
            break;
        case ClientMessage:
            if ((Atom)event.xclient.data.l[0] == delete_window) open = false;
            break;
        case DestroyNotify:
            open = false;
            box.window = 0;
            break;
        }
    }

    if (box.window) XDestroyWindow(display, box.window);
    XFreeGC(display, box.gc);
    if (box.font) XFreeFont(display, box.font);
    XCloseDisplay(display);
}
