// Printable names of key codes, for logs and the input probe.
#include "key_codes.h"

String key_code_name(Key_Code code) {
    static const char *const PRINTABLE[] = {
        " ", "!", "\"", "#", "$", "%", "&", "'", "(", ")", "*", "+", ",", "-", ".", "/",
        "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", ":", ";", "<", "=", ">", "?",
        "@", "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M", "N", "O",
        "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z", "[", "\\", "]", "^", "_", "`",
    };
    static const char *const FUNCTION_KEYS[] = {
        "F1",  "F2",  "F3",  "F4",  "F5",  "F6",  "F7",  "F8",  "F9",  "F10", "F11", "F12",
        "F13", "F14", "F15", "F16", "F17", "F18", "F19", "F20", "F21", "F22", "F23", "F24",
    };
    switch (code) {
    case UNKNOWN: return "UNKNOWN";
    case BACKSPACE: return "BACKSPACE";
    case TAB: return "TAB";
    case LINEFEED: return "LINEFEED";
    case ENTER: return "ENTER";
    case ESCAPE: return "ESCAPE";
    case SPACEBAR: return "SPACEBAR";
    case DELETE: return "DELETE";
    case ARROW_UP: return "ARROW_UP";
    case ARROW_DOWN: return "ARROW_DOWN";
    case ARROW_LEFT: return "ARROW_LEFT";
    case ARROW_RIGHT: return "ARROW_RIGHT";
    case PAGE_UP: return "PAGE_UP";
    case PAGE_DOWN: return "PAGE_DOWN";
    case HOME: return "HOME";
    case END: return "END";
    case INSERT: return "INSERT";
    case PAUSE: return "PAUSE";
    case SCROLL_LOCK: return "SCROLL_LOCK";
    case ALT: return "ALT";
    case CTRL: return "CTRL";
    case SHIFT: return "SHIFT";
    case CMD: return "CMD";
    case PRINT_SCREEN: return "PRINT_SCREEN";
    case MOUSE_BUTTON_LEFT: return "MOUSE_BUTTON_LEFT";
    case MOUSE_BUTTON_MIDDLE: return "MOUSE_BUTTON_MIDDLE";
    case MOUSE_BUTTON_RIGHT: return "MOUSE_BUTTON_RIGHT";
    case MOUSE_WHEEL_UP: return "MOUSE_WHEEL_UP";
    case MOUSE_WHEEL_DOWN: return "MOUSE_WHEEL_DOWN";
    case TOUCH: return "TOUCH";
    default: break;
    }
    if (code >= SPACEBAR && code <= (Key_Code)'`') return PRINTABLE[code - SPACEBAR];
    if (code >= F1 && code <= F24) return FUNCTION_KEYS[code - F1];
    return "";
}
