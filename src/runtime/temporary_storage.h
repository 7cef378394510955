// Per-thread temporary storage: scratch memory for short-lived things (formatted text,
// names converted for a system call), released all at once by reset_temporary_storage.
#pragma once

#include "types.h"

struct Temporary_Overflow_Page;

struct Temporary_Storage {
    u8 *data = nullptr;
    s64 size = 0;
    s64 occupied = 0;

    // Allocations that did not fit go to pages chained here until the next reset.
    Temporary_Overflow_Page *overflow_pages = nullptr;
    s64 overflow_bytes = 0;  // bytes handed out from overflow pages since the last reset
};

constexpr s64 MAIN_THREAD_TEMPORARY_STORAGE_SIZE = 32 * 1024;
constexpr s64 DEFAULT_TEMPORARY_STORAGE_SIZE = 32 * 1024;

// Gives the calling thread storage of the given size (the main thread's is made before
// main runs; runtime threads get theirs when they start). A thread that never called it
// gets DEFAULT_TEMPORARY_STORAGE_SIZE on first use.
void init_temporary_storage(s64 size);
Temporary_Storage *get_temporary_storage();

// 16-byte aligned, uninitialised. Never fails: a request that does not fit goes to a new
// overflow page.
void *talloc(s64 size);

// Releases everything handed out since the last reset. When the last cycle spilled into
// overflow pages the main block grows to hold that much, so a steady workload stops
// allocating after its first cycle.
void reset_temporary_storage();

// Terminated copies for calls into the operating system or a C library.
const char *temp_c_string(String s);
const u16 *temp_utf16(String s);             // NUL-terminated UTF-16
String temp_utf8_from_utf16(const u16 *text, s64 count);  // count -1: up to the NUL
String temp_copy(String s);
