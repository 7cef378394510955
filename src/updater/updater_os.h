// Every effect the update driver has on the operating system, as one table of procedures:
// the platform files fill it, tests put their own in to watch the calls.
#pragma once

#include "types.h"

struct Process_Start {
    bool success = false;
    s64 error_code = 0;
};

struct File_Time_Set {
    bool opened = false;  // the file could be opened for setting its time
    bool set = false;
    s64 error_code = 0;   // of the failed set
};

struct File_Replace {
    bool success = false;
    s64 error_code = 0;
    String failed_step;  // the call that failed, for the error line
};

struct Updater_Os {
    // Blocks until the player dismisses it.
    void (*show_message_box)(String caption, String text);
    // Starts the program without waiting for it.
    Process_Start (*start_process)(String path);
    File_Time_Set (*set_file_write_time)(String name, u64 ticks);
    bool (*path_exists)(String name);  // file or directory
    bool (*write_file)(String name, String data);  // create or replace in place
    // Writes a temporary file beside the target, flushes it and renames it over the
    // target, so the target is always either the old or the new file.
    File_Replace (*replace_file)(String name, String data);
    // Puts the file `from` in the place of `to`, which may be the running program's own
    // file. Where a running program's file cannot be replaced (Windows), `to` is first
    // renamed to `aside` (a running image may be renamed), and renamed back when `from`
    // then cannot take its place; elsewhere `aside` is not used. On failure `to` is as it
    // was and `from` is still there.
    File_Replace (*put_in_place)(String from, String to, String aside);
    bool (*delete_file)(String name);
    void *(*load_library)(String name);
    void *(*find_procedure)(void *library, const char *name);
    s64 (*last_error)();
    void *(*reserve_memory)(s64 size);
    // Process-wide settings made once before any window exists: DPI awareness and the
    // 1 ms timer resolution.
    void (*prepare_process)();
};

extern Updater_Os g_updater_os;  // starts as the platform's table
Updater_Os platform_updater_os();

// The name of the temporary file a download is written to before it replaces `name`.
String download_temporary_name(String name);
