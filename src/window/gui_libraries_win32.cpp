// The window's system DLLs on Windows: LoadLibrary and GetProcAddress. The calls declared
// dllimport read their target from the generated __imp_ slots, so korvane.exe's import
// table holds none of these DLLs.
#include <windows.h>
#include <mmsystem.h>

#include <cstdlib>
#include <cstring>

#include "gui_libraries_internal.h"
#include "os.h"

Library_Open platform_open_library(const char *name) {
    HMODULE module = LoadLibraryA(name);
    if (module) return {(void *)module, {}};
    // The error text is in temporary storage, which the caller's thread resets.
    String why = os_error_text((s64)GetLastError());
    char *kept = (char *)malloc((size_t)why.count + 1);
    if (!kept) return {nullptr, "out of memory"};
    memcpy(kept, why.data, (size_t)why.count);
    kept[why.count] = 0;
    return {nullptr, String(kept, why.count)};
}

void platform_close_library(void *handle) { FreeLibrary((HMODULE)handle); }

void *platform_find_procedure(void *handle, const char *name) {
    return (void *)GetProcAddress((HMODULE)handle, name);
}

bool platform_library_loaded(const char *name) { return GetModuleHandleA(name) != nullptr; }

void platform_prepare_gui_process() {
    // NOTE: both settings are process-wide and used to be made at every start; only windows
    // (their size on high-DPI screens) and the frame loop's 10 ms sleeps need them.
    SetProcessDPIAware();
    timeBeginPeriod(1);
}
