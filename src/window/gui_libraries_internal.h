// What the lazily bound libraries ask of each platform (gui_libraries_linux.cpp,
// gui_libraries_win32.cpp).
#pragma once

#include "types.h"

struct Library_Open {
    void *handle = nullptr;
    String error;  // the system's reason, kept for the life of the process
};

Library_Open platform_open_library(const char *name);
void platform_close_library(void *handle);
void *platform_find_procedure(void *handle, const char *name);
bool platform_library_loaded(const char *name);
// Process-wide settings only windows need, made once the libraries are in.
void platform_prepare_gui_process();
