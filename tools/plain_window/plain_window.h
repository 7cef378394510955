// A bare window for the renderer's probe and tests: no events handled beyond what the
// system needs, no input. The progress window's own window creation lives elsewhere.
#pragma once

#include "window.h"
#include "types.h"

// A visible window with a client area of the given size; 0 when it could not be made
// (no display, for instance).
Window_Type plain_window_create(s32 width, s32 height, const char *title);
void plain_window_destroy(Window_Type window);
// Resizes the client area and waits until the system reports the new size.
void plain_window_resize(Window_Type window, s32 width, s32 height);
// Handles the window messages that are waiting.
void plain_window_pump();
