// GUI-thread system calls on Windows.
#include <windows.h>

#include <cstdio>

#include "gui_platform.h"

void *allocate_memory_at(u64 address, s64 size) {
    void *memory = VirtualAlloc((void *)(uintptr_t)address, (SIZE_T)size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    // NOTE: VirtualAlloc may round a requested address down to the allocation granularity;
    // anything but the exact address is no use to us.
    if (memory && (u64)(uintptr_t)memory != address) {
        VirtualFree(memory, 0, MEM_RELEASE);
        return nullptr;
    }
    return memory;
}

Cursor_Position get_cursor_in_client(Window_Type window) {
    POINT point = {};
    GetCursorPos(&point);
    ScreenToClient(window, &point);
    return {point.x, point.y};
}

void exit_process(s32 exit_code) {
    fflush(stdout);
    fflush(stderr);
    // NOTE: ExitProcess runs every library's detach code while the OpenGL driver's worker
    // threads still run; under Wine that crashed the process at exit now and then (a
    // segmentation fault instead of exit code 0). Nothing of ours needs that clean-up: the
    // files are written and closed, the output flushed.
    TerminateProcess(GetCurrentProcess(), (UINT)exit_code);
    ExitProcess((UINT)exit_code);  // not reached
}
