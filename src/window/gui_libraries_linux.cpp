// Binding the window's system libraries on Linux: dlopen when a window or a box is about
// to be made, and the binder that fills an entry point's slot at its first call.
#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "assertions.h"
#include "gui_libraries.h"

// The tables of the generated entry points (gui_libraries_linux.S).
extern "C" {
extern void *korvane_lazy_slots[];
extern const u64 korvane_lazy_slot_count;
extern const u8 korvane_lazy_slot_library[];
extern const char *const korvane_lazy_slot_names[];
void *korvane_lazy_bind(u32 slot);
}

namespace {

constexpr s64 MAX_GUI_LIBRARIES = 16;

struct Gui_Libraries_State {
    std::atomic<void *> handles[MAX_GUI_LIBRARIES] = {};
    std::once_flag loaded_once;
    Gui_Libraries loaded;
};

Gui_Libraries_State g_gui_libraries;

struct Opened {
    void *handle = nullptr;
    const char *error = nullptr;
};

// Two threads may open the same library at once: dlopen counts references, so the loser's
// handle is simply closed again.
Opened open_library(s64 index) {
    assert_fatal(index >= 0 && index < gui_library_count && gui_library_count <= MAX_GUI_LIBRARIES,
                 "Library % is not in the list of %", index, gui_library_count);
    void *handle = g_gui_libraries.handles[index].load(std::memory_order_acquire);
    if (handle) return {handle, nullptr};
    handle = dlopen(gui_library_names[index], RTLD_LAZY | RTLD_LOCAL);
    if (!handle) {
        // NOTE: dlerror's text lives until the next dl call of this thread: copy it.
        const char *why = dlerror();
        return {nullptr, strdup(why ? why : "dlopen gave no reason")};
    }
    void *expected = nullptr;
    if (!g_gui_libraries.handles[index].compare_exchange_strong(expected, handle, std::memory_order_acq_rel)) {
        dlclose(handle);
        handle = expected;
    }
    return {handle, nullptr};
}

}  // namespace

// Called by an entry point whose slot is still unbound, with the arguments of the call
// saved; what it returns is where the call goes on. A library or name that cannot be found
// here was not loaded through load_gui_libraries first, or the list is wrong.
void *korvane_lazy_bind(u32 slot) {
    assert_fatal(slot < korvane_lazy_slot_count, "No entry point %", slot);
    s64 library = korvane_lazy_slot_library[slot];
    const char *name = korvane_lazy_slot_names[slot];
    Opened opened = open_library(library);
    assert_fatal(opened.handle != nullptr, "% is needed for % and would not load: %", gui_library_names[library],
                 name, opened.error);
    void *address = dlsym(opened.handle, name);
    assert_fatal(address != nullptr, "% has no %", gui_library_names[library], name);
    __atomic_store_n(&korvane_lazy_slots[slot], address, __ATOMIC_RELEASE);
    return address;
}

Gui_Libraries load_gui_libraries() {
    std::call_once(g_gui_libraries.loaded_once, [] {
        Gui_Libraries result;
        result.success = true;
        for (s64 i = 0; i < gui_library_count; i++) {
            Opened opened = open_library(i);
            if (opened.handle) continue;
            result = {false, gui_library_names[i], opened.error};
            break;
        }
        g_gui_libraries.loaded = result;
    });
    return g_gui_libraries.loaded;
}

bool gui_library_loaded(s64 index) {
    if (index < 0 || index >= gui_library_count) return false;
    void *handle = dlopen(gui_library_names[index], RTLD_LAZY | RTLD_NOLOAD);
    if (!handle) return false;
    dlclose(handle);
    return true;
}
