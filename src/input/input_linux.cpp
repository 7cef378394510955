// The event system on X11: the pump translates each X event into the window message
// Windows would deliver and calls the same window procedure; key state comes from
// XQueryKeymap, raw mouse motion from XInput2 raw events where the server has them.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

#include <vector>

#include "events.h"
#include "input_os.h"
#include "log.h"

namespace {

struct Known_Window {
    Window window = 0;
    s32 width = -1;
    s32 height = -1;
    bool unmapped = false;
};

struct X11_Input_State {
    bool started = false;
    Atom wm_protocols = 0;
    Atom wm_delete_window = 0;
    int xi_opcode = -1;  // XInput2's major opcode; -1 without it
    bool keycode_down[256] = {};
    std::vector<Known_Window> windows;
};

X11_Input_State g_x11_input;

// --- key symbols to virtual keys ---

struct Keysym_Pair {
    KeySym keysym;
    u32 virtual_key;
};

const Keysym_Pair KEYSYM_TABLE[] = {
    {XK_BackSpace, VK_BACK}, {XK_Tab, VK_TAB}, {XK_ISO_Left_Tab, VK_TAB}, {XK_Return, VK_RETURN},
    {XK_KP_Enter, VK_RETURN}, {XK_Escape, VK_ESCAPE}, {XK_space, VK_SPACE}, {XK_Delete, VK_DELETE},
    {XK_Insert, VK_INSERT}, {XK_Home, VK_HOME}, {XK_End, VK_END}, {XK_Prior, VK_PRIOR}, {XK_Next, VK_NEXT},
    {XK_Left, VK_LEFT}, {XK_Right, VK_RIGHT}, {XK_Up, VK_UP}, {XK_Down, VK_DOWN},
    {XK_Shift_L, VK_SHIFT}, {XK_Shift_R, VK_SHIFT}, {XK_Control_L, VK_CONTROL}, {XK_Control_R, VK_CONTROL},
    {XK_Alt_L, VK_MENU}, {XK_Alt_R, VK_MENU}, {XK_Meta_L, VK_MENU}, {XK_Meta_R, VK_MENU},
    {XK_ISO_Level3_Shift, VK_MENU}, {XK_Super_L, VK_LWIN}, {XK_Super_R, VK_RWIN}, {XK_Menu, VK_APPS},
    {XK_Caps_Lock, VK_CAPITAL}, {XK_Num_Lock, VK_NUMLOCK}, {XK_Scroll_Lock, VK_SCROLL}, {XK_Pause, VK_PAUSE},
    {XK_Print, VK_SNAPSHOT}, {XK_semicolon, VK_OEM_1}, {XK_slash, VK_OEM_2}, {XK_grave, VK_OEM_3},
    {XK_bracketleft, VK_OEM_4}, {XK_backslash, VK_OEM_5}, {XK_bracketright, VK_OEM_6},
    {XK_apostrophe, VK_OEM_7}, {XK_equal, VK_OEM_PLUS}, {XK_plus, VK_OEM_PLUS}, {XK_minus, VK_OEM_MINUS},
    {XK_period, VK_OEM_PERIOD}, {XK_comma, VK_OEM_COMMA}, {XK_less, VK_OEM_102},
    {XK_KP_Multiply, VK_MULTIPLY}, {XK_KP_Add, VK_ADD}, {XK_KP_Separator, VK_SEPARATOR},
    {XK_KP_Subtract, VK_SUBTRACT}, {XK_KP_Decimal, VK_DECIMAL}, {XK_KP_Divide, VK_DIVIDE},
    {XK_KP_Home, VK_HOME}, {XK_KP_End, VK_END}, {XK_KP_Prior, VK_PRIOR}, {XK_KP_Next, VK_NEXT},
    {XK_KP_Left, VK_LEFT}, {XK_KP_Right, VK_RIGHT}, {XK_KP_Up, VK_UP}, {XK_KP_Down, VK_DOWN},
    {XK_KP_Insert, VK_INSERT}, {XK_KP_Delete, VK_DELETE}, {XK_KP_Begin, VK_CLEAR},
};

}  // namespace

// The virtual key of a key symbol, 0 for none. Letters in either case give the letter's
// key, digits theirs, keypad digits the numeric pad's.
u32 virtual_key_from_keysym(KeySym keysym) {
    if (keysym >= XK_a && keysym <= XK_z) return (u32)(keysym - XK_a + 'A');
    if (keysym >= XK_A && keysym <= XK_Z) return (u32)keysym;
    if (keysym >= XK_0 && keysym <= XK_9) return (u32)keysym;
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return VK_NUMPAD0 + (u32)(keysym - XK_KP_0);
    if (keysym >= XK_F1 && keysym <= XK_F24) return VK_F1 + (u32)(keysym - XK_F1);
    for (const Keysym_Pair &pair : KEYSYM_TABLE) {
        if (pair.keysym == keysym) return pair.virtual_key;
    }
    return 0;
}

namespace {

Known_Window *known_window(Window window) {
    for (Known_Window &known : g_x11_input.windows) {
        if (known.window == window) return &known;
    }
    Known_Window &added = g_x11_input.windows.emplace_back();
    added.window = window;
    return &added;
}

void start(Display *display) {
    g_x11_input.started = true;
    g_x11_input.wm_protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    g_x11_input.wm_delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    // Auto-repeat then comes as presses without the releases in between, as on Windows.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(display, True, &supported);
}

// The key's virtual key: the unshifted symbol, except on the numeric pad, where Num Lock
// decides between digits and movement keys.
u32 virtual_key_of(XKeyEvent *event, KeySym looked_up) {
    KeySym base = XLookupKeysym(event, 0);
    if (IsKeypadKey(base) || IsKeypadKey(looked_up)) return virtual_key_from_keysym(looked_up ? looked_up : base);
    u32 key = virtual_key_from_keysym(base);
    return key ? key : virtual_key_from_keysym(looked_up);
}

// The text the key typed, as UTF-16 units, into units[0..2]; returns the count.
s32 typed_units(XKeyEvent *event, KeySym *looked_up, u16 units[2]) {
    char bytes[16];
    int count = XLookupString(event, bytes, sizeof(bytes), looked_up, nullptr);
    u32 code_point = 0;
    if (*looked_up >= 0x01000000 && *looked_up <= 0x0110FFFF) {
        code_point = (u32)(*looked_up - 0x01000000);  // a Unicode key symbol
    } else if (count == 1) {
        code_point = (u8)bytes[0];  // Latin-1
    } else {
        return 0;
    }
    if (code_point < 0x10000) {
        units[0] = (u16)code_point;
        return 1;
    }
    code_point -= 0x10000;
    units[0] = (u16)(0xD800 + (code_point >> 10));
    units[1] = (u16)(0xDC00 + (code_point & 0x3FF));
    return 2;
}

void translate_key(XKeyEvent *event, bool pressed) {
    Window_Type window = (Window_Type)event->window;
    KeySym looked_up = 0;
    u16 units[2] = {};
    s32 unit_count = typed_units(event, &looked_up, units);
    u32 virtual_key = virtual_key_of(event, looked_up);
    u32 keycode = event->keycode & 0xFF;

    bool was_down = g_x11_input.keycode_down[keycode];
    g_x11_input.keycode_down[keycode] = pressed;
    if (!virtual_key) return;

    bool alt = virtual_key == VK_MENU || (event->state & Mod1Mask);
    u32 message = pressed ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
    // Bit 30 of the long parameter: the key was already down (an auto-repeat).
    Message_Long l_param = ((Message_Long)(was_down && pressed) << 30) | ((Message_Long)!pressed << 31);
    window_proc(window, message, virtual_key, l_param);
    if (!pressed) return;
    for (s32 i = 0; i < unit_count; i++) window_proc(window, alt ? WM_SYSCHAR : WM_CHAR, units[i], 1);
}

void translate_button(XButtonEvent *event, bool pressed) {
    Window_Type window = (Window_Type)event->window;
    switch (event->button) {
    case Button1: window_proc(window, pressed ? WM_LBUTTONDOWN : WM_LBUTTONUP, 0, 0); break;
    case Button2: window_proc(window, pressed ? WM_MBUTTONDOWN : WM_MBUTTONUP, 0, 0); break;
    case Button3: window_proc(window, pressed ? WM_RBUTTONDOWN : WM_RBUTTONUP, 0, 0); break;
    case Button4:
    case Button5:
        // One wheel notch per press; the release that follows carries nothing.
        if (pressed) {
            s32 delta = event->button == Button4 ? (s32)WHEEL_DELTA : -(s32)WHEEL_DELTA;
            window_proc(window, WM_MOUSEWHEEL, (Message_Word)(u16)(s16)delta << 16, 0);
        }
        break;
    }
}

void translate_configure(XConfigureEvent *event) {
    Known_Window *known = known_window(event->window);
    if (known->width == event->width && known->height == event->height) return;  // a move
    known->width = event->width;
    known->height = event->height;
    if (known->unmapped) return;
    Window_Type window = (Window_Type)event->window;
    window_proc(window, WM_SIZE, SIZE_RESTORED, ((Message_Long)event->height << 16) | (u16)event->width);
    window_proc(window, WM_EXITSIZEMOVE, 0, 0);
}

void translate_raw_motion(Display *display, XGenericEventCookie *cookie) {
    if (!XGetEventData(display, cookie)) return;
    const XIRawEvent *raw = (const XIRawEvent *)cookie->data;
    f64 motion[2] = {};
    const double *value = raw->raw_values;
    for (int axis = 0; axis < 2 && axis < raw->valuators.mask_len * 8; axis++) {
        if (XIMaskIsSet(raw->valuators.mask, axis)) motion[axis] = *value++;
    }
    add_raw_mouse_motion((s64)motion[0], (s64)motion[1]);
    XFreeEventData(display, cookie);
}

void translate(Display *display, XEvent *event) {
    Window_Type window = (Window_Type)event->xany.window;
    switch (event->type) {
    case KeyPress: translate_key(&event->xkey, true); break;
    case KeyRelease: translate_key(&event->xkey, false); break;
    case ButtonPress: translate_button(&event->xbutton, true); break;
    case ButtonRelease: translate_button(&event->xbutton, false); break;
    case MotionNotify: window_proc(window, WM_MOUSEMOVE, 0, 0); break;
    case ConfigureNotify: translate_configure(&event->xconfigure); break;
    case MapNotify: {
        Known_Window *known = known_window(event->xmap.window);
        bool was_unmapped = known->unmapped;
        known->unmapped = false;
        // Shown for the first time, or restored from an icon: as Windows sends on ShowWindow.
        if (known->width < 0 || was_unmapped) window_proc(window, WM_SIZE, SIZE_RESTORED, 0);
        break;
    }
    case UnmapNotify:
        known_window(event->xunmap.window)->unmapped = true;
        window_proc(window, WM_SIZE, SIZE_MINIMIZED, 0);
        break;
    case FocusIn:
        if (event->xfocus.mode == NotifyNormal || event->xfocus.mode == NotifyWhileGrabbed) {
            window_proc(window, WM_SETFOCUS, 0, 0);
            window_proc(window, WM_ACTIVATEAPP, 1, 0);
        }
        break;
    case FocusOut:
        if (event->xfocus.mode == NotifyNormal || event->xfocus.mode == NotifyWhileGrabbed) {
            window_proc(window, WM_KILLFOCUS, 0, 0);
            window_proc(window, WM_ACTIVATEAPP, 0, 0);
        }
        break;
    case Expose:
        if (event->xexpose.count == 0) window_proc(window, WM_PAINT, 0, 0);
        break;
    case ClientMessage:
        if (event->xclient.message_type == g_x11_input.wm_protocols &&
            (Atom)event->xclient.data.l[0] == g_x11_input.wm_delete_window) {
            window_proc(window, WM_CLOSE, 0, 0);
        }
        break;
    case GenericEvent:
        if (event->xcookie.extension == g_x11_input.xi_opcode && event->xcookie.evtype == XI_RawMotion) {
            translate_raw_motion(display, &event->xcookie);
        }
        break;
    }
}

// --- the table ---

bool key_is_down(u32 virtual_key) {
    Display *display = x11_display();
    if (!display) return false;
    if (virtual_key == VK_LBUTTON || virtual_key == VK_RBUTTON || virtual_key == VK_MBUTTON) {
        Window root, child;
        int root_x, root_y, x, y;
        unsigned mask = 0;
        XQueryPointer(display, DefaultRootWindow(display), &root, &child, &root_x, &root_y, &x, &y, &mask);
        unsigned button = virtual_key == VK_LBUTTON ? Button1Mask : virtual_key == VK_RBUTTON ? Button3Mask : Button2Mask;
        return mask & button;
    }
    char keys[32];
    XQueryKeymap(display, keys);
    // Any physical key whose symbol means this virtual key.
    int min_code = 0, max_code = 0;
    XDisplayKeycodes(display, &min_code, &max_code);
    for (int code = min_code; code <= max_code && code < 256; code++) {
        if (!(keys[code / 8] & (1 << (code % 8)))) continue;
        KeySym keysym = XkbKeycodeToKeysym(display, (KeyCode)code, 0, 0);
        if (virtual_key_from_keysym(keysym) == virtual_key) return true;
    }
    return false;
}

Client_Size client_size(Window_Type window) {
    Display *display = x11_display();
    XWindowAttributes attributes = {};
    if (!display || !window || !XGetWindowAttributes(display, window, &attributes)) return {};
    return {attributes.width, attributes.height};
}

// Nothing is done by default: closing is the program's decision here (the updater ends
// the process on the QUIT event), and the rest has no X11 meaning.
Message_Result default_window_proc(Window_Type, u32, Message_Word, Message_Long) { return 0; }

void set_capture(Window_Type) {}  // X grabs the pointer for the button's duration by itself
void release_capture() {}
void validate_rect(Window_Type) {}
u64 message_extra_info() { return 0; }

void set_window_pos(Window_Type window, s32 x, s32 y, s32 width, s32 height) {
    Display *display = x11_display();
    if (display) XMoveResizeWindow(display, window, x, y, (unsigned)width, (unsigned)height);
}

void pump_messages() {
    Display *display = x11_display();
    if (!display) return;
    if (!g_x11_input.started) start(display);
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
        translate(display, &event);
    }
}

bool register_raw_input() {
    Display *display = x11_display();
    if (!display) return true;  // nothing to register without a display, and nothing to miss
    int event = 0, error = 0;
    if (!XQueryExtension(display, "XInputExtension", &g_x11_input.xi_opcode, &event, &error)) {
        g_x11_input.xi_opcode = -1;
        return true;  // NOTE: an X server without XInput2 simply has no raw motion
    }
    int major = 2, minor = 0;
    if (XIQueryVersion(display, &major, &minor) != Success) {
        g_x11_input.xi_opcode = -1;
        return true;
    }
    unsigned char mask_bits[XIMaskLen(XI_LASTEVENT)] = {};
    XIEventMask mask = {XIAllMasterDevices, (int)sizeof(mask_bits), mask_bits};
    XISetMask(mask_bits, XI_RawMotion);
    return XISelectEvents(display, DefaultRootWindow(display), &mask, 1) == Success;
}

void switch_off_accessibility_shortcuts() {}  // X11 has no such system-wide shortcuts to tame

void decode_raw_input(Message_Long) {}  // raw packets do not exist here: see translate_raw_motion

}  // namespace

Input_Os platform_input_os() {
    Input_Os os;
    os.key_is_down = key_is_down;
    os.client_size = client_size;
    os.default_window_proc = default_window_proc;
    os.set_capture = set_capture;
    os.release_capture = release_capture;
    os.validate_rect = validate_rect;
    os.message_extra_info = message_extra_info;
    os.set_window_pos = set_window_pos;
    os.pump_messages = pump_messages;
    os.register_raw_input = register_raw_input;
    os.switch_off_accessibility_shortcuts = switch_off_accessibility_shortcuts;
    os.process_raw_input = decode_raw_input;
    return os;
}

Input_Os g_input_os = platform_input_os();
