// GUI-thread system calls on Linux.
#include <X11/Xlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>

#include "gui_platform.h"

void *allocate_memory_at(u64 address, s64 size) {
    void *memory = mmap((void *)(uintptr_t)address, (size_t)size, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (memory == MAP_FAILED) return nullptr;
    // NOTE: kernels before 4.17 ignore MAP_FIXED_NOREPLACE and treat the address as a hint.
    if ((u64)(uintptr_t)memory != address) {
        munmap(memory, (size_t)size);
        return nullptr;
    }
    return memory;
}

Cursor_Position get_cursor_in_client(Window_Type window) {
    Cursor_Position result;
    Display *display = x11_display();
    if (!display || !window) return result;
    ::Window root, child;
    int root_x = 0, root_y = 0, window_x = 0, window_y = 0;
    unsigned int mask = 0;
    if (XQueryPointer(display, window, &root, &child, &root_x, &root_y, &window_x, &window_y, &mask)) {
        result.x = window_x;
        result.y = window_y;
    }
    return result;
}

void exit_process(s32 exit_code) {
    fflush(stdout);
    fflush(stderr);
    _exit(exit_code);
}
