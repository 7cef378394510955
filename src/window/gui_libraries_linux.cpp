// The window's system libraries on Linux: dlopen and dlsym.
#include <dlfcn.h>

#include <cstring>

#include "gui_libraries_internal.h"

Library_Open platform_open_library(const char *name) {
    void *handle = dlopen(name, RTLD_LAZY | RTLD_LOCAL);
    if (handle) return {handle, {}};
    // NOTE: dlopen sets no errno, and dlerror's text lives only until the next dl call of
    // this thread: keep a copy.
    const char *why = dlerror();
    return {nullptr, String(strdup(why ? why : "dlopen gave no reason"))};
}

void platform_close_library(void *handle) { dlclose(handle); }

void *platform_find_procedure(void *handle, const char *name) { return dlsym(handle, name); }

bool platform_library_loaded(const char *name) {
    void *handle = dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
    if (!handle) return false;
    dlclose(handle);
    return true;
}

void platform_prepare_gui_process() {}  // X11 has no process-wide DPI or timer setting
