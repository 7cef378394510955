// The system libraries of the window, OpenGL, text and input code, and of the warning box:
// nothing maps them at start, so the up-to-date start (start the game, no window) never
// pays for them. Each function the code calls is an entry point made from
// gui_libraries_<platform>.txt that binds itself at its first call.
#pragma once

#include "types.h"

// The libraries in the list's order (generated from the list).
extern const char *const gui_library_names[];
extern const s64 gui_library_count;

struct Gui_Libraries {
    bool success = false;
    String failed_library;  // the first one that would not load
    String error;           // the system's reason for it
};

// Loads every library of the list, once: later calls, from any thread, get the first
// result. Call it before a window or a box is made: a library that is missing is then a
// result to act on, where the first call into it would end the process. On Windows it also
// makes the process DPI aware and the timer precise to 1 ms, which only windows and the
// frame loop need.
Gui_Libraries load_gui_libraries();

// Loads one library of the list (the warning box needs only Xlib): a name outside the list
// is a failure too.
Gui_Libraries load_gui_library(String name);

// Whether a library of the list is mapped into the process now.
bool gui_library_loaded(s64 index);
