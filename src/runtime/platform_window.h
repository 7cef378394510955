// The native window handle as the window, renderer and input code pass it around, and on
// Linux the X display connection they share.
#pragma once

#ifdef _WIN32
struct HWND__;
using Window_Type = HWND__ *;
#else
using Window_Type = unsigned long;  // an X11 Window id

struct _XDisplay;
// The display connection of the window, renderer and input code, opened on first use
// from $DISPLAY (Xlib threads initialised first). Null when there is no display.
_XDisplay *x11_display();
#endif
