// The window-message and virtual-key vocabulary the window procedure is written against.
// On Windows these are the system's own definitions; elsewhere the same numbers are
// defined here, and the platform layer translates its events into them.
#pragma once

#include "events.h"
#include "types.h"

#ifdef _WIN32
#include <windows.h>
// windows.h defines these as macros (an access right and a printer escape); here they are
// key codes.
#undef DELETE
#undef ESCAPE
#else

// --- window messages ---
constexpr u32 WM_MOVE = 0x0003;
constexpr u32 WM_SIZE = 0x0005;
constexpr u32 WM_SETFOCUS = 0x0007;
constexpr u32 WM_KILLFOCUS = 0x0008;
constexpr u32 WM_PAINT = 0x000F;
constexpr u32 WM_CLOSE = 0x0010;
constexpr u32 WM_QUIT = 0x0012;
constexpr u32 WM_ACTIVATEAPP = 0x001C;
constexpr u32 WM_INPUT = 0x00FF;
constexpr u32 WM_KEYDOWN = 0x0100;
constexpr u32 WM_KEYUP = 0x0101;
constexpr u32 WM_CHAR = 0x0102;
constexpr u32 WM_SYSKEYDOWN = 0x0104;
constexpr u32 WM_SYSKEYUP = 0x0105;
constexpr u32 WM_SYSCHAR = 0x0106;
constexpr u32 WM_MOUSEMOVE = 0x0200;
constexpr u32 WM_LBUTTONDOWN = 0x0201;
constexpr u32 WM_LBUTTONUP = 0x0202;
constexpr u32 WM_RBUTTONDOWN = 0x0204;
constexpr u32 WM_RBUTTONUP = 0x0205;
constexpr u32 WM_MBUTTONDOWN = 0x0207;
constexpr u32 WM_MBUTTONUP = 0x0208;
constexpr u32 WM_MOUSEWHEEL = 0x020A;
constexpr u32 WM_XBUTTONDOWN = 0x020B;
constexpr u32 WM_XBUTTONUP = 0x020C;
constexpr u32 WM_EXITSIZEMOVE = 0x0232;
constexpr u32 WM_DPICHANGED = 0x02E0;

// WM_SIZE word parameter
constexpr u32 SIZE_RESTORED = 0;
constexpr u32 SIZE_MINIMIZED = 1;
constexpr u32 SIZE_MAXIMIZED = 2;

constexpr u32 WHEEL_DELTA = 120;

// SetWindowPos flags
constexpr u32 SWP_NOZORDER = 0x0004;
constexpr u32 SWP_NOACTIVATE = 0x0010;

// --- virtual keys ---
constexpr u32 VK_LBUTTON = 0x01;
constexpr u32 VK_RBUTTON = 0x02;
constexpr u32 VK_MBUTTON = 0x04;
constexpr u32 VK_BACK = 0x08;
constexpr u32 VK_TAB = 0x09;
constexpr u32 VK_CLEAR = 0x0C;
constexpr u32 VK_RETURN = 0x0D;
constexpr u32 VK_SHIFT = 0x10;
constexpr u32 VK_CONTROL = 0x11;
constexpr u32 VK_MENU = 0x12;
constexpr u32 VK_PAUSE = 0x13;
constexpr u32 VK_CAPITAL = 0x14;
constexpr u32 VK_ESCAPE = 0x1B;
constexpr u32 VK_SPACE = 0x20;
constexpr u32 VK_PRIOR = 0x21;
constexpr u32 VK_NEXT = 0x22;
constexpr u32 VK_END = 0x23;
constexpr u32 VK_HOME = 0x24;
constexpr u32 VK_LEFT = 0x25;
constexpr u32 VK_UP = 0x26;
constexpr u32 VK_RIGHT = 0x27;
constexpr u32 VK_DOWN = 0x28;
constexpr u32 VK_SNAPSHOT = 0x2C;
constexpr u32 VK_INSERT = 0x2D;
constexpr u32 VK_DELETE = 0x2E;
constexpr u32 VK_LWIN = 0x5B;
constexpr u32 VK_RWIN = 0x5C;
constexpr u32 VK_APPS = 0x5D;
constexpr u32 VK_NUMPAD0 = 0x60;
constexpr u32 VK_NUMPAD9 = 0x69;
constexpr u32 VK_MULTIPLY = 0x6A;
constexpr u32 VK_ADD = 0x6B;
constexpr u32 VK_SEPARATOR = 0x6C;
constexpr u32 VK_SUBTRACT = 0x6D;
constexpr u32 VK_DECIMAL = 0x6E;
constexpr u32 VK_DIVIDE = 0x6F;
constexpr u32 VK_F1 = 0x70;
constexpr u32 VK_F10 = 0x79;
constexpr u32 VK_F16 = 0x7F;
constexpr u32 VK_F24 = 0x87;
constexpr u32 VK_NUMLOCK = 0x90;
constexpr u32 VK_SCROLL = 0x91;
constexpr u32 VK_OEM_1 = 0xBA;
constexpr u32 VK_OEM_PLUS = 0xBB;
constexpr u32 VK_OEM_COMMA = 0xBC;
constexpr u32 VK_OEM_MINUS = 0xBD;
constexpr u32 VK_OEM_PERIOD = 0xBE;
constexpr u32 VK_OEM_2 = 0xBF;
constexpr u32 VK_OEM_3 = 0xC0;
constexpr u32 VK_OEM_4 = 0xDB;
constexpr u32 VK_OEM_5 = 0xDC;
constexpr u32 VK_OEM_6 = 0xDD;
constexpr u32 VK_OEM_7 = 0xDE;
constexpr u32 VK_OEM_102 = 0xE2;

#endif

// SetWindowPos's insert-after value HWND_TOPMOST, as a number.
constexpr s64 INSERT_AFTER_TOPMOST = -1;
// GetMessageExtraInfo bits that together mark input the system synthesised from touch or
// pen (whose raw input is skipped).
constexpr s64 MESSAGE_EXTRA_INFO_TOUCH_OR_PEN = 0x80 | 0x02;
