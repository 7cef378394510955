// Loading the window's system libraries on request, and binding a generated entry point
// (gui_libraries_<platform>.S, from the list beside this file) at its first call.
#include <atomic>
#include <mutex>

#include "assertions.h"
#include "gui_libraries.h"
#include "gui_libraries_internal.h"

// The tables of the generated entry points.
extern "C" {
extern void *korvane_lazy_slots[];
extern void *korvane_lazy_targets[];
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

// Two threads may open the same library at once: the system counts references, so the
// loser's handle is simply closed again.
Library_Open open_library(s64 index) {
    assert_fatal(index >= 0 && index < gui_library_count && gui_library_count <= MAX_GUI_LIBRARIES,
                 "Library % is not in the list of %", index, gui_library_count);
    void *handle = g_gui_libraries.handles[index].load(std::memory_order_acquire);
    if (handle) return {handle, {}};
    Library_Open opened = platform_open_library(gui_library_names[index]);
    if (!opened.handle) return opened;
    void *expected = nullptr;
    if (!g_gui_libraries.handles[index].compare_exchange_strong(expected, opened.handle, std::memory_order_acq_rel)) {
        platform_close_library(opened.handle);
        opened.handle = expected;
    }
    return opened;
}

}  // namespace

// Called by an entry point's binder with the call's arguments saved; the call goes on to
// what this returns. An address taken from an import slot before it was bound (a window
// procedure handed to the system, say) keeps coming here: the second array answers those
// without a lookup. A library or name that cannot be found here was not loaded through
// load_gui_libraries first, or the list is wrong.
void *korvane_lazy_bind(u32 slot) {
    assert_fatal(slot < korvane_lazy_slot_count, "No entry point %", slot);
    void *known = __atomic_load_n(&korvane_lazy_targets[slot], __ATOMIC_ACQUIRE);
    if (known) return known;
    s64 library = korvane_lazy_slot_library[slot];
    const char *name = korvane_lazy_slot_names[slot];
    Library_Open opened = open_library(library);
    assert_fatal(opened.handle != nullptr, "% is needed for % and would not load: %", gui_library_names[library],
                 name, opened.error);
    void *address = platform_find_procedure(opened.handle, name);
    assert_fatal(address != nullptr, "% has no %", gui_library_names[library], name);
    __atomic_store_n(&korvane_lazy_targets[slot], address, __ATOMIC_RELEASE);
    __atomic_store_n(&korvane_lazy_slots[slot], address, __ATOMIC_RELEASE);
    return address;
}

Gui_Libraries load_gui_libraries() {
    std::call_once(g_gui_libraries.loaded_once, [] {
        Gui_Libraries result;
        result.success = true;
        for (s64 i = 0; i < gui_library_count; i++) {
            Library_Open opened = open_library(i);
            if (opened.handle) continue;
            result = {false, gui_library_names[i], opened.error};
            break;
        }
        if (result.success) platform_prepare_gui_process();
        g_gui_libraries.loaded = result;
    });
    return g_gui_libraries.loaded;
}

Gui_Libraries load_gui_library(String name) {
    for (s64 i = 0; i < gui_library_count; i++) {
        if (String(gui_library_names[i]) != name) continue;
        Library_Open opened = open_library(i);
        if (!opened.handle) return {false, gui_library_names[i], opened.error};
        return {true, {}, {}};
    }
    return {false, name, "not in the list of the window's libraries"};
}

bool gui_library_loaded(s64 index) {
    if (index < 0 || index >= gui_library_count) return false;
    return platform_library_loaded(gui_library_names[index]);
}
