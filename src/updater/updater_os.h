// Every effect the update driver has on the operating system, as one table of procedures:
// the platform files fill it, tests put their own in to watch the calls.
#pragma once

#include "os.h"
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

// The result of one file operation; names the call that failed for the error line.
struct File_Step {
    bool success = false;
    s64 error_code = 0;
    String failed_step;
    bool in_use = false;  // the target is held open by another program (the game still running)
};

// A temporary download file held open for writing: a descriptor or a handle.
struct Download_Handle {
    s64 value = -1;
    bool valid() const { return value != -1; }
};

struct Download_Open {
    Download_Handle handle;
    s64 size = 0;  // bytes already in the file (an existing file kept for a resume)
    File_Step step;
};

// The temporary file's whole length mapped writable: a patch is decoded straight into it.
struct Download_Mapping {
    u8 *bytes = nullptr;
    s64 size = 0;
    File_Step step;
};

struct Instance_Lock {
    bool acquired = false;
    bool held_elsewhere = false;  // another process holds it
    s64 error_code = 0;           // when neither: why the lock could not be taken
};

struct Library_Load {
    void *library = nullptr;
    // Why the load failed, as the system says it: the loader's own text where it has one
    // (dlerror), the error code otherwise.
    String error;
};

struct Updater_Os {
    // Blocks until the player dismisses it.
    void (*show_message_box)(String caption, String text);
    // Starts the program without waiting for it.
    Process_Start (*start_process)(String path);
    File_Time_Set (*set_file_write_time)(String name, u64 ticks);
    bool (*path_exists)(String name);  // file or directory
    bool (*write_file)(String name, String data);  // create or replace in place
    // Up to `capacity` bytes of a small file; -1 when it cannot be read. No error line:
    // a missing file is an ordinary answer here.
    s64 (*read_small_file)(String name, u8 *buffer, s64 capacity);
    // Removes a file (a link itself, never what it points at); a missing file is success.
    File_Step (*remove_file)(String name);

    // --- the temporary file a download streams into ---
    // keep_existing: open the file that is there (a plain file with one name, never through
    // a link) and append to it; otherwise create it anew, failing when anything exists at
    // that name. The mode is set explicitly (the client is started from it).
    Download_Open (*open_download)(String name, bool keep_existing);
    // Reserves room for `size` bytes without changing the file's length. False when the
    // disk does not have the room (other failures are not reported: it is only a hint).
    bool (*preallocate)(Download_Handle file, s64 size);
    File_Step (*write_download)(Download_Handle file, String data);
    // Back to an empty file (a server that ignored a range request sends all of it).
    File_Step (*truncate_download)(Download_Handle file);
    // Starts writing back a finished range to the disk without waiting for it, so the
    // flush before the rename has little left to do.
    void (*start_writeback)(Download_Handle file, s64 offset, s64 count);
    // Gives the file its full length of `size` bytes, every one of them reserved on the
    // disk (a full disk met while writing through a mapping is a fault, not an error),
    // and maps it writable. Fails where the room cannot be reserved.
    Download_Mapping (*map_download)(Download_Handle file, s64 size);
    // Ends the mapping; what was written through it is then the file's like any write,
    // for the flush that follows.
    void (*unmap_download)(Download_Mapping *mapping);
    // Flushes to the disk and closes; the file is complete on the disk when this succeeds.
    File_Step (*flush_and_close_download)(Download_Handle file);
    void (*close_download)(Download_Handle file);  // without a flush: the failure paths
    // Renames the finished temporary file over the target (the target is always either the
    // old or the new file) and makes the rename itself durable.
    File_Step (*rename_into_place)(String from, String to);
    // A whole file mapped read-only (the old client a patch refers to, a finished download
    // whose signature is checked): its own pages, never a copy. Unmap before anything
    // renames over the file: Windows refuses to replace a mapped file.
    File_Mapping (*map_file)(String name);
    void (*unmap_file)(File_Mapping *mapping);

    // Puts the file `from` in the place of `to`, which may be the running program's own
    // file. Where a running program's file cannot be replaced (Windows), `to` is first
    // renamed to `aside` (a running image may be renamed), and renamed back when `from`
    // then cannot take its place; elsewhere `aside` is not used. On failure `to` is as it
    // was and `from` is still there.
    File_Step (*put_in_place)(String from, String to, String aside);
    bool (*delete_file)(String name);
    // Loads the working directory's library of that name by its full path (never by the
    // system's search of other folders).
    Library_Load (*load_library)(String name);
    void (*unload_library)(void *library);
    void *(*find_procedure)(void *library, const char *name);
    s64 (*last_error)();
    void (*sleep_milliseconds)(s32 milliseconds);
    // An exclusive lock on the file `name` that the system holds for the process and lets
    // go when the process ends, however it ends; the game started later does not inherit it.
    Instance_Lock (*lock_instance)(String name);
    // Process-wide settings made once before any window exists: DPI awareness and the
    // 1 ms timer resolution.
    void (*prepare_process)();
};

extern Updater_Os g_updater_os;  // starts as the platform's table
Updater_Os platform_updater_os();

// The name of the temporary file a download is written to before it replaces `name`.
String download_temporary_name(String name);

// Writes a small file whole through its temporary name (created anew, flushed, renamed
// over the target), so the target is always either the old or the new file: the HTTP
// library, the release state.
File_Step replace_file_whole(String name, String data);
