// The update driver's operating-system calls on Windows.
#include <windows.h>

#include <algorithm>

#include "error_box.h"
#include "gui_libraries.h"
#include "log.h"
#include "os.h"
#include "temporary_storage.h"
#include "updater_os.h"

static void show_message_box(String caption, String text) {
    // user32 is delay-loaded; a failure to load it is an error line instead of an exception.
    Gui_Libraries libraries = load_gui_libraries();
    if (!libraries.success) {
        log_error("Could not load %: %; the warning is not shown", libraries.failed_library, libraries.error);
        return;
    }
    MessageBoxW(nullptr, (const wchar_t *)temp_utf16(text), (const wchar_t *)temp_utf16(caption), MB_ICONWARNING);
}

static Process_Start start_process(String path) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    static_assert(sizeof(STARTUPINFOA) == 104);
    PROCESS_INFORMATION process = {};
    char command_line[1] = "";
    Process_Start result;
    result.success = CreateProcessA(temp_c_string(path), command_line, nullptr, nullptr, FALSE, 0, nullptr,
                                    nullptr, &startup, &process) != 0;
    if (!result.success) {
        result.error_code = (s64)GetLastError();
        return result;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

static File_Time_Set set_file_write_time(String name, u64 ticks) {
    File_Time_Set result;
    HANDLE file = CreateFileA(temp_c_string(name), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return result;
    result.opened = true;
    FILETIME write_time;
    write_time.dwLowDateTime = (DWORD)ticks;
    write_time.dwHighDateTime = (DWORD)(ticks >> 32);
    result.set = SetFileTime(file, nullptr, nullptr, &write_time) != 0;
    if (!result.set) result.error_code = (s64)GetLastError();
    CloseHandle(file);
    return result;
}

static bool path_exists(String name) {
    return GetFileAttributesW((const wchar_t *)temp_utf16(name)) != INVALID_FILE_ATTRIBUTES;
}

static bool write_file(String name, String data) { return write_entire_file(name, data); }

static s64 read_small_file(String name, u8 *buffer, s64 capacity) {
    HANDLE file = CreateFileW((const wchar_t *)temp_utf16(name), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    s64 done = 0;
    while (done < capacity) {
        DWORD got = 0;
        DWORD want = (DWORD)std::min<s64>(capacity - done, 1 << 20);
        if (!ReadFile(file, buffer + done, want, &got, nullptr) || got == 0) break;
        done += got;
    }
    CloseHandle(file);
    return done;
}

static File_Step failed(const char *step) {
    File_Step result;
    result.error_code = (s64)GetLastError();
    result.failed_step = step;
    return result;
}

static File_Step succeeded() {
    File_Step result;
    result.success = true;
    return result;
}

static File_Step put_in_place(String from, String to, String aside) {
    File_Step result;
    const wchar_t *from16 = (const wchar_t *)temp_utf16(from);
    const wchar_t *to16 = (const wchar_t *)temp_utf16(to);
    const wchar_t *aside16 = (const wchar_t *)temp_utf16(aside);
    if (GetFileAttributesW(from16) == INVALID_FILE_ATTRIBUTES) {
        result.error_code = (s64)GetLastError();
        result.failed_step = "GetFileAttributesW";
        return result;
    }
    // NOTE: Windows refuses to replace or delete the file of a running program, but lets it
    // be renamed; the old file is deleted by a later start, once nothing runs from it.
    bool moved_aside = MoveFileExW(to16, aside16, MOVEFILE_REPLACE_EXISTING) != 0;
    if (!moved_aside) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) {
            result.error_code = (s64)error;
            result.failed_step = "MoveFileExW (aside)";
            return result;
        }
    }
    if (!MoveFileExW(from16, to16, MOVEFILE_WRITE_THROUGH)) {
        result.error_code = (s64)GetLastError();
        result.failed_step = "MoveFileExW";
        if (moved_aside) MoveFileExW(aside16, to16, 0);  // the player keeps a working program
        return result;
    }
    result.success = true;
    return result;
}

static bool delete_file(String name) { return DeleteFileW((const wchar_t *)temp_utf16(name)) != 0; }

static bool opened_by_its_own_name(HANDLE file, String name);

static File_Step remove_file(String name) {
    const wchar_t *path = (const wchar_t *)temp_utf16(name);
    HANDLE file = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return succeeded();
        return failed("CreateFileW");
    }
    // HACK: Windows deletes a link itself, but Wine deletes the file a link of the Linux
    // file system points at. Such a link is left alone (the download then cannot make its
    // temporary file and fails, the old file untouched).
    bool own_name = opened_by_its_own_name(file, name);
    CloseHandle(file);
    if (!own_name) {
        File_Step result;
        result.error_code = ERROR_CANT_ACCESS_FILE;
        result.failed_step = "GetFinalPathNameByHandleW";
        return result;
    }
    if (!DeleteFileW(path)) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return failed("DeleteFileW");
    }
    return succeeded();
}

static HANDLE handle_of(Download_Handle file) { return (HANDLE)(intptr_t)file.value; }

// HACK: Wine opens a link of the Linux file system as the file it points at, even with
// FILE_FLAG_OPEN_REPARSE_POINT, and reports no reparse point; the final path of the handle
// then ends in the target's name instead of ours.
static bool opened_by_its_own_name(HANDLE file, String name) {
    wchar_t path[1024];
    DWORD length = GetFinalPathNameByHandleW(file, path, 1024, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= 1024) return false;
    std::string_view view = name.view();
    size_t slash = view.find_last_of("/\\");
    if (slash != std::string_view::npos) view.remove_prefix(slash + 1);
    const wchar_t *own = (const wchar_t *)temp_utf16(String(view));
    size_t own_length = wcslen(own);
    if (own_length >= length) return false;
    const wchar_t *last = path + length - own_length;
    return (last[-1] == L'\\' || last[-1] == L'/') &&
           CompareStringOrdinal(last, (int)own_length, own, (int)own_length, TRUE) == CSTR_EQUAL;
}

static Download_Open open_download(String name, bool keep_existing) {
    Download_Open result;
    const wchar_t *path = (const wchar_t *)temp_utf16(name);
    // No sharing: a second updater in the same folder cannot write into this file.
    // FILE_FLAG_OPEN_REPARSE_POINT: a link at this name is opened as itself (and then
    // refused), never followed.
    // Read and write: a patch's result is written through a mapping.
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, keep_existing ? OPEN_EXISTING : CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        result.step = failed("CreateFileW");
        return result;
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(file, &info)) {
        result.step = failed("GetFileInformationByHandle");
        CloseHandle(file);
        return result;
    }
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) || info.nNumberOfLinks != 1) {
        // Another name for the same file could be somebody else's file.
        result.step.error_code = ERROR_FILE_EXISTS;
        result.step.failed_step = "GetFileInformationByHandle";
        CloseHandle(file);
        return result;
    }
    if (keep_existing && !opened_by_its_own_name(file, name)) {
        result.step.error_code = ERROR_FILE_EXISTS;
        result.step.failed_step = "GetFinalPathNameByHandleW";
        CloseHandle(file);
        return result;
    }
    result.size = ((s64)info.nFileSizeHigh << 32) | info.nFileSizeLow;
    LARGE_INTEGER end = {};
    if (!SetFilePointerEx(file, end, nullptr, FILE_END)) {
        result.step = failed("SetFilePointerEx");
        CloseHandle(file);
        return result;
    }
    result.handle.value = (s64)(intptr_t)file;
    result.step = succeeded();
    return result;
}

static bool preallocate(Download_Handle file, s64 size) {
    // The allocation, not the end of file: the length keeps counting the bytes really
    // written, which a resume after a kill relies on.
    FILE_ALLOCATION_INFO allocation = {};
    allocation.AllocationSize.QuadPart = size;
    if (SetFileInformationByHandle(handle_of(file), FileAllocationInfo, &allocation, sizeof(allocation))) return true;
    return GetLastError() != ERROR_DISK_FULL;
}

static File_Step write_download(Download_Handle file, String data) {
    s64 done = 0;
    while (done < data.count) {
        // WriteFile takes 32-bit counts.
        DWORD chunk = (DWORD)std::min<s64>(data.count - done, 1 << 30);
        DWORD written = 0;
        if (!WriteFile(handle_of(file), data.data + done, chunk, &written, nullptr)) return failed("WriteFile");
        if (written == 0) {
            File_Step result;
            result.error_code = ERROR_WRITE_FAULT;
            result.failed_step = "WriteFile";
            return result;
        }
        done += written;
    }
    return succeeded();
}

static File_Step truncate_download(Download_Handle file) {
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(handle_of(file), start, nullptr, FILE_BEGIN)) return failed("SetFilePointerEx");
    if (!SetEndOfFile(handle_of(file))) return failed("SetEndOfFile");
    return succeeded();
}

// Windows has no call that starts a range's write-back without waiting for it, and the
// lazy writer may leave most of a large file for the flush before the rename. A helper
// thread flushes the file behind the writes instead; requests that come while it
// flushes fold into one more flush.
struct Background_Flush {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    HANDLE requested = nullptr;  // the file to flush next
    HANDLE flushing = nullptr;   // the file being flushed now
    bool started = false;
};
static Background_Flush g_background_flush;

static DWORD WINAPI background_flush_thread(void *) {
    Background_Flush &flush = g_background_flush;
    AcquireSRWLockExclusive(&flush.lock);
    while (true) {
        while (!flush.requested) SleepConditionVariableSRW(&flush.changed, &flush.lock, INFINITE, 0);
        flush.flushing = flush.requested;
        flush.requested = nullptr;
        ReleaseSRWLockExclusive(&flush.lock);
        // A failure shows again in the flush before the rename, which reports it.
        FlushFileBuffers(flush.flushing);
        AcquireSRWLockExclusive(&flush.lock);
        flush.flushing = nullptr;
        WakeAllConditionVariable(&flush.changed);
    }
}

static void start_writeback(Download_Handle file, s64, s64) {
    Background_Flush &flush = g_background_flush;
    AcquireSRWLockExclusive(&flush.lock);
    if (!flush.started) {
        HANDLE thread = CreateThread(nullptr, 64 << 10, background_flush_thread, nullptr, 0, nullptr);
        if (thread) CloseHandle(thread);
        // Without the thread the flush before the rename does all of it, as it would anyway.
        flush.started = thread != nullptr;
    }
    if (flush.started) {
        flush.requested = handle_of(file);
        WakeAllConditionVariable(&flush.changed);
    }
    ReleaseSRWLockExclusive(&flush.lock);
}

// Before the file's handle is closed: no flush of it is asked for or under way.
static void stop_background_flush(Download_Handle file) {
    Background_Flush &flush = g_background_flush;
    AcquireSRWLockExclusive(&flush.lock);
    if (flush.requested == handle_of(file)) flush.requested = nullptr;
    while (flush.flushing == handle_of(file)) SleepConditionVariableSRW(&flush.changed, &flush.lock, INFINITE, 0);
    ReleaseSRWLockExclusive(&flush.lock);
}

static Download_Mapping map_download(Download_Handle file, s64 size) {
    Download_Mapping result;
    // The allocation first (the space on the disk), then the length the mapping covers:
    // a full disk met while writing through a view would be an exception, not an error.
    // NOTE: a file system that cannot reserve (Wine does not implement it) is let through,
    // as for a streamed download; there a full disk would fault the view.
    if (!preallocate(file, size)) {
        result.step.error_code = ERROR_DISK_FULL;
        result.step.failed_step = "SetFileInformationByHandle";
        return result;
    }
    FILE_END_OF_FILE_INFO end = {};
    end.EndOfFile.QuadPart = size;
    if (!SetFileInformationByHandle(handle_of(file), FileEndOfFileInfo, &end, sizeof(end))) {
        result.step = failed("SetFileInformationByHandle");
        return result;
    }
    HANDLE section = CreateFileMappingW(handle_of(file), nullptr, PAGE_READWRITE, 0, 0, nullptr);
    if (!section) {
        result.step = failed("CreateFileMappingW");
        return result;
    }
    void *address = MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0);
    File_Step mapped = address ? succeeded() : failed("MapViewOfFile");
    CloseHandle(section);  // the view holds it
    if (!address) {
        result.step = mapped;
        return result;
    }
    result.bytes = (u8 *)address;
    result.size = size;
    result.step = mapped;
    return result;
}

static void unmap_download(Download_Mapping *mapping) {
    if (mapping->bytes) {
        // Written back before the view goes, so that the file's flush covers all of it.
        FlushViewOfFile(mapping->bytes, 0);
        UnmapViewOfFile(mapping->bytes);
    }
    *mapping = Download_Mapping{};
}

static File_Step flush_and_close_download(Download_Handle file) {
    stop_background_flush(file);
    if (!FlushFileBuffers(handle_of(file))) {
        File_Step result = failed("FlushFileBuffers");
        CloseHandle(handle_of(file));
        return result;
    }
    if (!CloseHandle(handle_of(file))) return failed("CloseHandle");
    return succeeded();
}

static void close_download(Download_Handle file) {
    stop_background_flush(file);
    CloseHandle(handle_of(file));
}

static File_Step rename_into_place(String from, String to) {
    if (MoveFileExW((const wchar_t *)temp_utf16(from), (const wchar_t *)temp_utf16(to),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return succeeded();
    }
    File_Step result = failed("MoveFileExW");
    // A running program's file, or one another program holds open without sharing.
    result.in_use = result.error_code == ERROR_SHARING_VIOLATION || result.error_code == ERROR_ACCESS_DENIED ||
                    result.error_code == ERROR_LOCK_VIOLATION;
    return result;
}

static Library_Load load_library(String name) {
    // NOTE: a bare name would be searched for in the working folder and on PATH, where
    // anyone could have put a libcurl.dll or one of its dependencies. The library is named
    // by its full path, and it and every library it pulls in come only from its own folder
    // (the file itself) and System32.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    Library_Load result;
    const wchar_t *name16 = (const wchar_t *)temp_utf16(name);
    DWORD needed = GetFullPathNameW(name16, 0, nullptr, nullptr);
    wchar_t *path = nullptr;
    if (needed != 0) {
        path = (wchar_t *)talloc((s64)needed * (s64)sizeof(wchar_t));
        if (GetFullPathNameW(name16, needed, path, nullptr) == 0) path = nullptr;
    }
    if (path) {
        result.library =
            (void *)LoadLibraryExW(path, nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    if (!result.library) result.error = tprint("%", (s64)GetLastError());
    return result;
}

static void unload_library(void *library) { FreeLibrary((HMODULE)library); }

static void *find_procedure(void *library, const char *name) {
    return (void *)GetProcAddress((HMODULE)library, name);
}

static s64 last_error() { return (s64)GetLastError(); }

static void sleep_for(s32 milliseconds) { Sleep((DWORD)milliseconds); }

static Instance_Lock lock_instance(String name) {
    Instance_Lock result;
    // No sharing: while this handle is open (until the process ends) nobody else can open
    // the file. The handle is not inheritable, so the game does not keep it.
    HANDLE file = CreateFileW((const wchar_t *)temp_utf16(name), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        result.error_code = (s64)GetLastError();
        result.held_elsewhere = result.error_code == ERROR_SHARING_VIOLATION;
        return result;
    }
    result.acquired = true;
    return result;
}

// NOTE: the DPI awareness and the 1 ms timer are made when a window or a box is about to be
// shown (load_gui_libraries): making them here loaded user32 and winmm on every start.
static void prepare_process() {}

Updater_Os platform_updater_os() {
    Updater_Os os;
    os.show_message_box = show_message_box;
    os.start_process = start_process;
    os.set_file_write_time = set_file_write_time;
    os.path_exists = path_exists;
    os.write_file = write_file;
    os.read_small_file = read_small_file;
    os.remove_file = remove_file;
    os.open_download = open_download;
    os.preallocate = preallocate;
    os.write_download = write_download;
    os.truncate_download = truncate_download;
    os.start_writeback = start_writeback;
    os.map_download = map_download;
    os.unmap_download = unmap_download;
    os.flush_and_close_download = flush_and_close_download;
    os.close_download = close_download;
    os.rename_into_place = rename_into_place;
    os.put_in_place = put_in_place;
    os.delete_file = delete_file;
    os.map_file = map_file_read_only;
    os.unmap_file = unmap_file;
    os.load_library = load_library;
    os.unload_library = unload_library;
    os.find_procedure = find_procedure;
    os.last_error = last_error;
    os.lock_instance = lock_instance;
    os.sleep_milliseconds = sleep_for;
    os.prepare_process = prepare_process;
    return os;
}
