// What the GUI thread asks of the operating system beyond the window itself: memory at
// a fixed address, the cursor in client coordinates, and ending the process.
#pragma once

#include "platform_window.h"
#include "types.h"

// Fresh, committed, read-write memory exactly at `address`, or null when that address
// cannot be had (already taken, or refused by the system).
void *allocate_memory_at(u64 address, s64 size);

struct Cursor_Position {
    s64 x = 0;
    s64 y = 0;  // client coordinates, y down from the top edge as the system gives them
};

// The cursor in the window's client coordinates; zero when the system does not say.
Cursor_Position get_cursor_in_client(Window_Type window);

// Ends the whole process at once with the exit code. Buffered standard output is flushed
// first so no line the program printed is lost.
[[noreturn]] void exit_process(s32 exit_code);
