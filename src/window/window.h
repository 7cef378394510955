// The platform window as the rest of the program sees it: the native handle, the client
// size, the cursor, the system's side of the event pump and the pixel-format handshake
// with the OpenGL context code. Window creation is in window_creation.h; the X display
// connection and its error trap in window_x11.h.
#pragma once

#include "types.h"

#ifdef _WIN32
struct HWND__;
struct HDC__;
using Window_Type = HWND__ *;
// What a window is drawn through: its device context (HDC).
using Device_Context = HDC__ *;
#else
using Window_Type = unsigned long;  // an X11 Window id
struct _XDisplay;
// What a window is drawn through: the display connection.
using Device_Context = _XDisplay *;
#endif

struct Client_Size {
    s32 width = 0;
    s32 height = 0;
};

// The window's client area in pixels; 0 by 0 when the window is unknown or gone.
Client_Size window_client_size(Window_Type window);

struct Cursor_Position {
    s64 x = 0;
    s64 y = 0;  // client coordinates, y down from the top edge as the system gives them
};

// The cursor in the window's client coordinates; zero when the system does not say.
Cursor_Position get_cursor_in_client(Window_Type window);

// The messages of the calling thread's windows, all that are waiting. On Windows the
// system hands each to the window procedure of its class and `handle` is not used; on
// X11 each waiting event goes to `handle` (an XEvent *), which translates it.
using Native_Event_Handler = void (*)(void *native_event);
void window_pump_events(Native_Event_Handler handle);

Device_Context window_device_context(Window_Type window);

// What a window must be made with for an OpenGL context to draw on it. X11 fixes a
// window's visual when the window is made, so the context code chooses it first
// (gl_window_pixel_format) and window creation uses it. On Windows the context code sets
// the pixel format on the made window instead, and this stays empty.
struct Window_Pixel_Format {
    void *visual = nullptr;  // Visual *; null: the screen's default visual
    u64 visual_id = 0;
    s32 depth = 0;
};

// Gives a later window's device context the pixel format of the model's, so that one
// context draws on both. Nothing to do on X11, where the visual was given at creation.
// False (logged) when the system refused.
bool window_copy_pixel_format(Device_Context target, Device_Context model);
