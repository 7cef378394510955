// Operating-system services of the runtime: time, sleeping, threads, memory at a fixed
// address, whole-file access, read-only file mappings, the system's error texts and ending
// the process. Implemented in os_linux.cpp and os_win32.cpp.
#pragma once

#include "types.h"

// Seconds since the runtime was set up (before main), from a monotonic clock.
f64 seconds_since_init();
void sleep_milliseconds(s32 milliseconds);

// The calling thread's last system error (errno or GetLastError) and its text.
s64 last_os_error_code();
String os_error_text(s64 code);  // in temporary storage, no trailing newline

// --- threads ---

struct Thread;
using Thread_Proc = s64 (*)(Thread *thread);

struct Thread {
    Thread_Proc proc = nullptr;
    void *data = nullptr;
    s64 temporary_storage_size = 0;
};

// Starts a detached thread that first gets its own temporary storage of the thread's
// size, then runs proc. False when the system would not start it.
bool thread_start(Thread *thread);

// Puts the calling thread below the process's normal priority, so that it yields the
// processor to the other threads when they compete for it. Threads it starts afterwards
// inherit that (on Linux).
void lower_calling_thread_priority();

// --- files ---

struct File_Contents {
    String data;  // heap bytes, owned by the caller (free())
    bool success = false;
};

// A failed open logs "Could not open file "%": code %, %" as an error line.
File_Contents read_entire_file(String name);
bool write_entire_file(String name, String data);

// --- read-only mappings ---

// A whole file mapped for reading: the bytes are the file's own pages, not a copy, so a
// file of several GiB costs address space, not memory. An empty file maps to an empty
// string with success. While a file is mapped it must not be changed or replaced: on
// Windows a rename over it fails, on Linux a writer that shortens it makes reads past
// the new end fault.
struct File_Mapping {
    String data;
    bool success = false;
};

// A failed open logs "Could not open file "%": code %, %", a failed mapping "Could not
// map file "%": code %, %", as error lines.
File_Mapping map_file_read_only(String name);
void unmap_file(File_Mapping *mapping);  // leaves it empty; an empty or failed one is fine

// --- memory and the process ---

// Fresh, committed, read-write memory exactly at `address`, or null when that address
// cannot be had (already taken, or refused by the system).
void *allocate_memory_at(u64 address, s64 size);

// Ends the whole process at once with the exit code. Buffered standard output is flushed
// first so no line the program printed is lost.
[[noreturn]] void exit_process(s32 exit_code);

// Renames `from` to `to`, replacing a file of that name in one step. 0 on success, else
// the system's error code.
s64 rename_file_replacing(String from, String to);

// A file only ever appended to (the log). Its handle is not inherited by started
// programs. `size` follows the writes made through it.
struct Append_File {
    s64 handle = -1;  // -1: not open
    s64 size = 0;
};

// Opens or creates the file for appending; on failure handle is -1 and error_code says why.
struct Append_File_Open {
    Append_File file;
    s64 error_code = 0;
};
Append_File_Open open_append_file(String name);
// Writes all of data at the end of the file. Safe in a crash handler: no allocation, no lock.
bool append_to_file(Append_File *file, String data);
void close_append_file(Append_File *file);

// --- the program's own folder ---

// The folder holding the running executable (no trailing separator), in temporary
// storage; empty when the system does not tell.
String executable_folder();
// Makes the folder the working directory. 0 on success, else the system's error code.
s64 set_working_directory(String folder);
String get_working_directory();  // in temporary storage
