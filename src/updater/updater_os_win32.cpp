// The update driver's operating-system calls on Windows.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>

#include "error_box.h"
#include "log.h"
#include "os.h"
#include "temporary_storage.h"
#include "updater_os.h"

static void show_message_box(String caption, String text) {
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

// WriteFile takes 32-bit counts.
static bool write_all(HANDLE file, String data) {
    s64 done = 0;
    while (done < data.count) {
        DWORD chunk = (DWORD)std::min<s64>(data.count - done, 1 << 30);
        DWORD written = 0;
        if (!WriteFile(file, data.data + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

static File_Replace replace_file(String name, String data) {
    File_Replace result;
    String temporary = download_temporary_name(name);
    const wchar_t *temporary16 = (const wchar_t *)temp_utf16(temporary);

    HANDLE file = CreateFileW(temporary16, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        result.error_code = (s64)GetLastError();
        result.failed_step = "CreateFileW";
        return result;
    }
    bool written = write_all(file, data);
    if (!written) result.failed_step = "WriteFile";
    if (written && !FlushFileBuffers(file)) {
        written = false;
        result.failed_step = "FlushFileBuffers";
    }
    if (!written) result.error_code = (s64)GetLastError();
    CloseHandle(file);

    if (written && !MoveFileExW(temporary16, (const wchar_t *)temp_utf16(name),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        written = false;
        result.error_code = (s64)GetLastError();
        result.failed_step = "MoveFileExW";
    }
    if (!written) {
        DeleteFileW(temporary16);
        return result;
    }
    result.success = true;
    return result;
}

static File_Replace put_in_place(String from, String to, String aside) {
    File_Replace result;
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

static void *load_library(String name) { return (void *)LoadLibraryA(temp_c_string(name)); }

static void *find_procedure(void *library, const char *name) {
    return (void *)GetProcAddress((HMODULE)library, name);
}

static s64 last_error() { return (s64)GetLastError(); }

static void *reserve_memory(s64 size) {
    return VirtualAlloc(nullptr, (SIZE_T)size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

static void prepare_process() {
    SetProcessDPIAware();
    timeBeginPeriod(1);
}

Updater_Os platform_updater_os() {
    Updater_Os os;
    os.show_message_box = show_message_box;
    os.start_process = start_process;
    os.set_file_write_time = set_file_write_time;
    os.path_exists = path_exists;
    os.write_file = write_file;
    os.replace_file = replace_file;
    os.put_in_place = put_in_place;
    os.delete_file = delete_file;
    os.load_library = load_library;
    os.find_procedure = find_procedure;
    os.last_error = last_error;
    os.reserve_memory = reserve_memory;
    os.prepare_process = prepare_process;
    return os;
}
