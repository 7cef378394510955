// The X11 side of the event system: drains the shared display connection and translates
// each X event into the window message Windows would deliver, then calls the same window
// procedure. Raw relative mouse motion comes from XInput2 raw events; the key-state query
// behind the stuck-modifier and activation releases is XQueryKeymap.
#include "input_linux.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

#include "input_internal.h"
#include "window_x11.h"

namespace {

struct Known_Window {
    Window window = 0;
    s32 width = -1;
    s32 height = -1;
    bool closed = false;  // unmapped by a close request; its unmap is no minimization
};

struct Raw_Device_Mode {
    int device_id = 0;
    bool relative = false;
};

struct X11_Input_State {
    bool atoms_ready = false;
    Atom wm_protocols = 0;
    Atom wm_delete_window = 0;
    Atom net_wm_state = 0;
    Atom net_wm_state_maximized_vert = 0;
    Atom net_wm_state_maximized_horz = 0;

    bool detectable_repeat = false;
    bool keycode_down[256] = {};
    // The virtual key each key went down as: its release names the same key even when the
    // keyboard mapping changed in between (xdotool maps spare keycodes for a moment).
    u8 keycode_pressed_as[256] = {};
    // Virtual key of each keycode's unshifted keysym, for the key-state query.
    u8 keycode_virtual_key[256] = {};

    int xi_opcode = -1;
    std::vector<Raw_Device_Mode> raw_devices;
    bool has_focus = false;

    std::vector<Known_Window> windows;
};
// Never destroyed, like g_input.
X11_Input_State &g_x11_input = *new X11_Input_State;

// Windows' "no mapping" virtual key, for keys without a counterpart.
constexpr u32 VK_NONE = 0xFF;
constexpr u32 WM_MOUSEHWHEEL_MESSAGE = 0x020E;

Display *display() { return (Display *)x11_display(); }

void prepare_atoms(Display *d) {
    X11_Input_State &x = g_x11_input;
    if (x.atoms_ready) return;
    x.wm_protocols = XInternAtom(d, "WM_PROTOCOLS", False);
    x.wm_delete_window = XInternAtom(d, "WM_DELETE_WINDOW", False);
    x.net_wm_state = XInternAtom(d, "_NET_WM_STATE", False);
    x.net_wm_state_maximized_vert = XInternAtom(d, "_NET_WM_STATE_MAXIMIZED_VERT", False);
    x.net_wm_state_maximized_horz = XInternAtom(d, "_NET_WM_STATE_MAXIMIZED_HORZ", False);
    x.atoms_ready = true;
}

Known_Window *known_window(Window window) {
    for (Known_Window &known : g_x11_input.windows) {
        if (known.window == window) return &known;
    }
    Known_Window &added = g_x11_input.windows.emplace_back();
    added.window = window;
    return &added;
}

void build_keycode_table(Display *d) {
    int min_keycode = 0, max_keycode = 0;
    XDisplayKeycodes(d, &min_keycode, &max_keycode);
    for (int keycode = 0; keycode < 256; keycode++) {
        u32 vk = 0;
        if (keycode >= min_keycode && keycode <= max_keycode) {
            vk = virtual_key_from_keysym(XkbKeycodeToKeysym(d, (KeyCode)keycode, 0, 0));
        }
        g_x11_input.keycode_virtual_key[keycode] = (u8)vk;
    }
}

Message_Long point_parameter(int x, int y) { return (Message_Long)(((u32)(u16)y << 16) | (u16)x); }

bool window_is_maximized(Display *d, Window window) {
    X11_Input_State &x = g_x11_input;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    bool vertical = false, horizontal = false;
    if (XGetWindowProperty(d, window, x.net_wm_state, 0, 64, False, XA_ATOM, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        if (format == 32) {
            const Atom *atoms = (const Atom *)data;
            for (unsigned long i = 0; i < count; i++) {
                if (atoms[i] == x.net_wm_state_maximized_vert) vertical = true;
                if (atoms[i] == x.net_wm_state_maximized_horz) horizontal = true;
            }
        }
        XFree(data);
    }
    return vertical && horizontal;
}

// --- keys ---

// What TranslateMessage would add for a key-down: one character message per UTF-16 unit of
// the typed text (system characters while Alt alone is held).
void send_characters(XKeyEvent *key, const char *latin1, int latin1_count, KeySym typed) {
    u32 message = ((key->state & Mod1Mask) && !(key->state & ControlMask)) ? WM_SYSCHAR : WM_CHAR;
    Window window = key->window;
    if (latin1_count > 0) {
        // XLookupString gives Latin-1, whose bytes are their own code points.
        for (int i = 0; i < latin1_count; i++) window_proc(window, message, (u8)latin1[i], 1);
        return;
    }
    // Characters beyond Latin-1 arrive as Unicode keysyms.
    if (typed >= 0x01000100 && typed <= 0x0110FFFF) {
        u32 code_point = (u32)(typed - 0x01000000);
        if (code_point >= 0x10000) {
            code_point -= 0x10000;
            window_proc(window, message, 0xD800 + (code_point >> 10), 1);
            window_proc(window, message, 0xDC00 + (code_point & 0x3FF), 1);
        } else {
            window_proc(window, message, code_point, 1);
        }
    }
}

// An auto-repeat without detectable repeat shows as a release followed at once by a press
// of the same key with the same time.
bool release_is_auto_repeat(Display *d, XKeyEvent *release) {
    if (!XEventsQueued(d, QueuedAfterReading)) return false;
    XEvent next;
    XPeekEvent(d, &next);
    return next.type == KeyPress && next.xkey.keycode == release->keycode && next.xkey.time == release->time &&
           next.xkey.window == release->window;
}

void translate_key(Display *d, XKeyEvent *key, bool pressed) {
    X11_Input_State &x = g_x11_input;
    u32 keycode = key->keycode & 0xFF;
    if (!pressed && !x.detectable_repeat && release_is_auto_repeat(d, key)) return;

    char text[32];
    KeySym typed = NoSymbol;
    int text_count = 0;
    if (pressed) {
        text_count = XLookupString(key, text, sizeof(text), &typed, nullptr);
    } else {
        XLookupString(key, nullptr, 0, &typed, nullptr);
    }
    KeySym base = XLookupKeysym(key, 0);
    // The numeric keypad's keys depend on Num Lock as on Windows (5 or Clear); the rest are
    // named by their unshifted keysym, as Windows names keys by position, not by case.
    KeySym named = IsKeypadKey(base) ? typed : base;
    u32 vk = virtual_key_from_keysym(named);
    if (!vk) vk = VK_NONE;
    if (pressed) {
        x.keycode_pressed_as[keycode] = (u8)vk;
    } else if (x.keycode_down[keycode]) {
        vk = x.keycode_pressed_as[keycode];
    }

    bool repeat = pressed && x.keycode_down[keycode];
    x.keycode_down[keycode] = pressed;

    // Print Screen has no key-down message on Windows; it comes from raw keyboard input.
    if (vk == VK_SNAPSHOT) {
        handle_keyboard_event(false, false, pressed, vk, keycode);
        return;
    }

    bool alt_only = (key->state & Mod1Mask) && !(key->state & ControlMask);
    bool system_key = alt_only || vk == VK_MENU || vk == VK_F10;
    u64 scan_code = keycode >= 8 ? keycode - 8 : 0;
    u64 l_param = 1 | (scan_code & 0xFF) << 16;
    u32 message;
    if (pressed) {
        if (repeat) l_param |= 1ull << 30;
        message = system_key ? WM_SYSKEYDOWN : WM_KEYDOWN;
    } else {
        l_param |= 1ull << 30 | 1ull << 31;
        message = system_key ? WM_SYSKEYUP : WM_KEYUP;
    }
    window_proc(key->window, message, vk, (Message_Long)l_param);
    if (pressed) send_characters(key, text, text_count, typed);
}

// --- buttons ---

void translate_button(XButtonEvent *button, bool pressed) {
    Window window = button->window;
    Message_Long position = point_parameter(button->x, button->y);
    switch (button->button) {
    case Button1: window_proc(window, pressed ? WM_LBUTTONDOWN : WM_LBUTTONUP, 0, position); break;
    case Button2: window_proc(window, pressed ? WM_MBUTTONDOWN : WM_MBUTTONUP, 0, position); break;
    case Button3: window_proc(window, pressed ? WM_RBUTTONDOWN : WM_RBUTTONUP, 0, position); break;
    case Button4:
    case Button5:
    case 6:
    case 7: {
        // Wheel notches are button presses; their releases mean nothing.
        if (!pressed) break;
        s32 delta = (button->button == Button4 || button->button == 7) ? (s32)WHEEL_DELTA : -(s32)WHEEL_DELTA;
        u32 message = button->button <= Button5 ? WM_MOUSEWHEEL : WM_MOUSEHWHEEL_MESSAGE;
        window_proc(window, message, (Message_Word)(u16)(s16)delta << 16, point_parameter(button->x_root, button->y_root));
        break;
    }
    case 8:
    case 9:
        window_proc(window, pressed ? WM_XBUTTONDOWN : WM_XBUTTONUP, (Message_Word)(button->button - 7) << 16, position);
        break;
    default:
        break;
    }
}

// --- raw mouse motion ---

bool raw_device_is_relative(Display *d, int device_id) {
    X11_Input_State &x = g_x11_input;
    for (const Raw_Device_Mode &mode : x.raw_devices) {
        if (mode.device_id == device_id) return mode.relative;
    }
    Raw_Device_Mode mode;
    mode.device_id = device_id;
    int count = 0;
    XIDeviceInfo *info = XIQueryDevice(d, device_id, &count);
    if (info) {
        for (int i = 0; i < info[0].num_classes; i++) {
            if (info[0].classes[i]->type != XIValuatorClass) continue;
            XIValuatorClassInfo *valuator = (XIValuatorClassInfo *)info[0].classes[i];
            if (valuator->number == 0) mode.relative = valuator->mode == XIModeRelative;
        }
        XIFreeDeviceInfo(info);
    }
    x.raw_devices.push_back(mode);
    return mode.relative;
}

void translate_raw_motion(Display *d, XIRawEvent *raw) {
    // Windows delivers raw input only while a window of ours has the keyboard focus.
    if (!g_x11_input.has_focus || !raw_device_is_relative(d, raw->sourceid)) return;
    const double *value = raw->raw_values;
    double dx = 0, dy = 0;
    for (int axis = 0; axis < raw->valuators.mask_len * 8; axis++) {
        if (!XIMaskIsSet(raw->valuators.mask, axis)) continue;
        if (axis == 0) dx = *value;
        if (axis == 1) dy = *value;
        value++;
    }
    add_raw_mouse_motion((s64)dx, (s64)dy);
}

// --- the pump ---

void translate_event(Display *d, XEvent *event) {
    X11_Input_State &x = g_x11_input;
    switch (event->type) {
    case ClientMessage:
        if (event->xclient.message_type == x.wm_protocols && event->xclient.format == 32 &&
            (Atom)event->xclient.data.l[0] == x.wm_delete_window) {
            window_proc(event->xclient.window, WM_CLOSE, 0, 0);
        }
        break;
    case ConfigureNotify: {
        Known_Window *known = known_window(event->xconfigure.window);
        s32 width = event->xconfigure.width, height = event->xconfigure.height;
        if (known->width == width && known->height == height) break;
        known->width = width;
        known->height = height;
        Message_Word kind = window_is_maximized(d, known->window) ? SIZE_MAXIMIZED : SIZE_RESTORED;
        window_proc(known->window, WM_SIZE, kind, point_parameter(width, height));
        // X has no separate end of a sizing loop: every size change is a finished one.
        window_proc(known->window, WM_EXITSIZEMOVE, 0, 0);
        break;
    }
    case MapNotify: {
        Known_Window *known = known_window(event->xmap.window);
        known->closed = false;
        window_proc(known->window, WM_SIZE, SIZE_RESTORED, point_parameter(known->width, known->height));
        break;
    }
    case UnmapNotify: {
        Known_Window *known = known_window(event->xunmap.window);
        if (!known->closed) window_proc(known->window, WM_SIZE, SIZE_MINIMIZED, 0);
        break;
    }
    case KeyPress:
    case KeyRelease:
        translate_key(d, &event->xkey, event->type == KeyPress);
        break;
    case ButtonPress:
    case ButtonRelease:
        translate_button(&event->xbutton, event->type == ButtonPress);
        break;
    case FocusIn:
    case FocusOut: {
        // Focus moving within the window, or the pointer's own focus, is no activation.
        if (event->xfocus.detail == NotifyInferior || event->xfocus.detail == NotifyPointer) break;
        if (event->xfocus.mode == NotifyGrab || event->xfocus.mode == NotifyUngrab) break;
        bool in = event->type == FocusIn;
        if (in == x.has_focus) break;
        x.has_focus = in;
        if (in) {
            // Keys released while another window had the focus sent us no release: start
            // again from what is down now, so their next press is no auto-repeat.
            char keys[32];
            XQueryKeymap(d, keys);
            for (int keycode = 0; keycode < 256; keycode++) x.keycode_down[keycode] = (keys[keycode / 8] >> (keycode % 8)) & 1;
        }
        window_proc(event->xfocus.window, in ? WM_SETFOCUS : WM_KILLFOCUS, 0, 0);
        window_proc(event->xfocus.window, WM_ACTIVATEAPP, in ? 1 : 0, 0);
        break;
    }
    case Expose:
        if (event->xexpose.count == 0) window_proc(event->xexpose.window, WM_PAINT, 0, 0);
        break;
    case MotionNotify:
        window_proc(event->xmotion.window, WM_MOUSEMOVE, 0, point_parameter(event->xmotion.x, event->xmotion.y));
        break;
    case MappingNotify:
        if (event->xmapping.request == MappingKeyboard || event->xmapping.request == MappingModifier) {
            XRefreshKeyboardMapping(&event->xmapping);
            build_keycode_table(d);
        }
        break;
    case GenericEvent:
        if (event->xcookie.extension == x.xi_opcode && XGetEventData(d, &event->xcookie)) {
            if (event->xcookie.evtype == XI_RawMotion) translate_raw_motion(d, (XIRawEvent *)event->xcookie.data);
            XFreeEventData(d, &event->xcookie);
        }
        break;
    default:
        break;
    }
}

void translate_waiting_event(void *native_event) { translate_event(display(), (XEvent *)native_event); }

void x11_pump_messages() {
    Display *d = display();
    if (!d) return;
    prepare_atoms(d);
    window_pump_events(translate_waiting_event);
}

// --- the calls behind the window procedure ---

Message_Result x11_def_window_proc(Window_Type window, u32 message, Message_Word w_param, Message_Long l_param) {
    Display *d = display();
    if (message != WM_CLOSE || !d) return 0;
    // NOTE: Windows destroys a closed window. Here it is only taken off the screen: the
    // frame loop may still present to it once before it sees the close, and drawing to a
    // destroyed X window is an error that Xlib answers by ending the process.
    known_window(window)->closed = true;
    x11_begin_error_trap();  // the window may be gone already
    XUnmapWindow(d, window);
    x11_end_error_trap();
    return 0;
}

void x11_validate_rect(Window_Type window) {}
// The X server grabs the pointer for a window from a button press until the last release,
// which is what SetCapture asks for.
void x11_set_capture(Window_Type window) {}
void x11_release_capture() {}
s64 x11_get_message_extra_info() { return 0; }

void x11_set_window_pos(Window_Type window, s64 insert_after, s32 x, s32 y, s32 width, s32 height, u32 flags) {
    Display *d = display();
    if (!d || width <= 0 || height <= 0) return;
    XMoveResizeWindow(d, window, x, y, (unsigned)width, (unsigned)height);
}

bool x11_async_key_down(u32 virtual_key) {
    Display *d = display();
    if (!d) return false;
    if (virtual_key == VK_LBUTTON || virtual_key == VK_RBUTTON || virtual_key == VK_MBUTTON) {
        Window root = 0, child = 0;
        int root_x, root_y, x, y;
        unsigned mask = 0;
        XQueryPointer(d, DefaultRootWindow(d), &root, &child, &root_x, &root_y, &x, &y, &mask);
        unsigned wanted = virtual_key == VK_LBUTTON ? Button1Mask : virtual_key == VK_RBUTTON ? Button3Mask : Button2Mask;
        return (mask & wanted) != 0;
    }
    char keys[32];
    XQueryKeymap(d, keys);
    for (int keycode = 0; keycode < 256; keycode++) {
        if ((keys[keycode / 8] >> (keycode % 8)) & 1) {
            if (g_x11_input.keycode_virtual_key[keycode] == virtual_key) return true;
        }
    }
    return false;
}

void x11_init_input_system() {
    Display *d = display();
    if (!d) return;
    prepare_atoms(d);
    build_keycode_table(d);
    // With detectable auto-repeat the server sends a held key's repeats as presses only.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(d, True, &supported);
    g_x11_input.detectable_repeat = supported;

    int event = 0, error = 0;
    if (XQueryExtension(d, "XInputExtension", &g_x11_input.xi_opcode, &event, &error)) {
        int major = 2, minor = 0;
        if (XIQueryVersion(d, &major, &minor) == Success) {
            unsigned char mask_bits[XIMaskLen(XI_LASTEVENT)] = {};
            XISetMask(mask_bits, XI_RawMotion);
            XIEventMask mask = {XIAllMasterDevices, (int)sizeof(mask_bits), mask_bits};
            XISelectEvents(d, DefaultRootWindow(d), &mask, 1);
        } else {
            g_x11_input.xi_opcode = -1;
        }
    } else {
        g_x11_input.xi_opcode = -1;
    }
    XFlush(d);
}

void x11_process_raw_input(Message_Long raw_input_handle) {}

}  // namespace

u32 virtual_key_from_keysym(u64 keysym) {
    if (keysym >= XK_a && keysym <= XK_z) return (u32)(keysym - XK_a + 'A');
    if (keysym >= XK_A && keysym <= XK_Z) return (u32)keysym;
    if (keysym >= XK_0 && keysym <= XK_9) return (u32)keysym;
    if (keysym >= XK_F1 && keysym <= XK_F24) return (u32)(keysym - XK_F1 + VK_F1);
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return (u32)(keysym - XK_KP_0 + VK_NUMPAD0);
    switch (keysym) {
    case XK_BackSpace: return VK_BACK;
    case XK_Tab:
    case XK_ISO_Left_Tab: return VK_TAB;
    case XK_Return:
    case XK_KP_Enter: return VK_RETURN;
    case XK_Escape: return VK_ESCAPE;
    case XK_space:
    case XK_KP_Space: return VK_SPACE;
    case XK_Delete:
    case XK_KP_Delete: return VK_DELETE;
    case XK_Insert:
    case XK_KP_Insert: return VK_INSERT;
    case XK_Home:
    case XK_KP_Home: return VK_HOME;
    case XK_End:
    case XK_KP_End: return VK_END;
    case XK_Prior:
    case XK_KP_Prior: return VK_PRIOR;
    case XK_Next:
    case XK_KP_Next: return VK_NEXT;
    case XK_Left:
    case XK_KP_Left: return VK_LEFT;
    case XK_Right:
    case XK_KP_Right: return VK_RIGHT;
    case XK_Up:
    case XK_KP_Up: return VK_UP;
    case XK_Down:
    case XK_KP_Down: return VK_DOWN;
    case XK_KP_Begin:
    case XK_Clear: return VK_CLEAR;
    case XK_KP_Multiply: return VK_MULTIPLY;
    case XK_KP_Add: return VK_ADD;
    case XK_KP_Separator: return VK_SEPARATOR;
    case XK_KP_Subtract: return VK_SUBTRACT;
    case XK_KP_Decimal: return VK_DECIMAL;
    case XK_KP_Divide: return VK_DIVIDE;
    case XK_Shift_L:
    case XK_Shift_R: return VK_SHIFT;
    case XK_Control_L:
    case XK_Control_R: return VK_CONTROL;
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R:
    case XK_ISO_Level3_Shift: return VK_MENU;
    case XK_Super_L: return VK_LWIN;
    case XK_Super_R: return VK_RWIN;
    case XK_Menu: return VK_APPS;
    case XK_Caps_Lock: return VK_CAPITAL;
    case XK_Num_Lock: return VK_NUMLOCK;
    case XK_Scroll_Lock: return VK_SCROLL;
    case XK_Pause:
    case XK_Break: return VK_PAUSE;
    case XK_Print:
    case XK_Sys_Req: return VK_SNAPSHOT;
    case XK_semicolon: return VK_OEM_1;
    case XK_slash: return VK_OEM_2;
    case XK_grave: return VK_OEM_3;
    case XK_bracketleft: return VK_OEM_4;
    case XK_backslash: return VK_OEM_5;
    case XK_bracketright: return VK_OEM_6;
    case XK_apostrophe: return VK_OEM_7;
    case XK_equal:
    case XK_plus: return VK_OEM_PLUS;
    case XK_minus: return VK_OEM_MINUS;
    case XK_period: return VK_OEM_PERIOD;
    case XK_comma: return VK_OEM_COMMA;
    case XK_less: return VK_OEM_102;
    default: return 0;
    }
}

Input_OS input_os_platform() {
    Input_OS os = {};
    os.def_window_proc = x11_def_window_proc;
    os.get_client_size = window_client_size;
    os.validate_rect = x11_validate_rect;
    os.set_capture = x11_set_capture;
    os.release_capture = x11_release_capture;
    os.get_message_extra_info = x11_get_message_extra_info;
    os.set_window_pos = x11_set_window_pos;
    os.async_key_down = x11_async_key_down;
    os.pump_messages = x11_pump_messages;
    os.init_input_system = x11_init_input_system;
    os.process_raw_input = x11_process_raw_input;
    return os;
}
