// Loading the window's system DLLs on Windows. The calls into them are delay-loaded (the
// import libraries come from gui_libraries_win32.txt): the first call of each DLL loads it,
// and a DLL that will not load raises an exception there. Loading them here first turns
// that into a result the caller can act on.
#include <windows.h>
#include <mmsystem.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "gui_libraries.h"
#include "os.h"

namespace {

struct Gui_Libraries_State {
    std::once_flag loaded_once;
    Gui_Libraries loaded;
};

Gui_Libraries_State g_gui_libraries;

}  // namespace

Gui_Libraries load_gui_libraries() {
    std::call_once(g_gui_libraries.loaded_once, [] {
        Gui_Libraries result;
        result.success = true;
        for (s64 i = 0; i < gui_library_count; i++) {
            if (LoadLibraryA(gui_library_names[i])) continue;
            DWORD code = GetLastError();
            // The error text is in temporary storage, which the caller's thread resets.
            String why = os_error_text((s64)code);
            char *kept = (char *)malloc((size_t)why.count + 1);
            if (kept) {
                memcpy(kept, why.data, (size_t)why.count);
                kept[why.count] = 0;
            }
            result = {false, gui_library_names[i], String(kept)};
            break;
        }
        if (result.success) {
            // NOTE: both settings are process-wide and used to be made at start; only windows
            // (their size on high-DPI screens) and the frame loop's 10 ms sleeps need them.
            SetProcessDPIAware();
            timeBeginPeriod(1);
        }
        g_gui_libraries.loaded = result;
    });
    return g_gui_libraries.loaded;
}

bool gui_library_loaded(s64 index) {
    if (index < 0 || index >= gui_library_count) return false;
    return GetModuleHandleA(gui_library_names[index]) != nullptr;
}
