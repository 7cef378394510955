// The X display connection that window, renderer and input code share, and the error trap
// around requests that may fail. X11 only.
#pragma once

#include "window.h"

// Opened on first use from $DISPLAY (Xlib threads initialised first). Null when there is
// no display.
_XDisplay *x11_display();

// Between these two calls the X errors of the calling thread's requests on that connection
// are caught instead of logged, so a request that may fail (a window that went away, a
// configuration the server refuses) can be answered by its caller. Both wait for the
// server to catch up; end returns the first error code, 0 for none.
void x11_begin_error_trap();
int x11_end_error_trap();

// The events every window of ours selects: what the input layer translates (keys, buttons,
// structure changes, focus, exposure, property changes).
long x11_window_event_mask();
