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

// Between these two calls the X errors of the calling thread's requests on that connection
// are caught instead of logged, so a request that may fail (a window that went away, a
// configuration the server refuses) can be answered by its caller. Both wait for the
// server to catch up; end returns the first error code, 0 for none.
void x11_begin_error_trap();
int x11_end_error_trap();
#endif
