// Operating-system services on Windows.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "log.h"
#include "os.h"
#include "temporary_storage.h"

void sleep_milliseconds(s32 milliseconds) { Sleep((DWORD)milliseconds); }

s64 last_os_error_code() { return (s64)GetLastError(); }

String os_error_text(s64 code) {
    wchar_t *text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, (DWORD)code, 0, (wchar_t *)&text, 0, nullptr);
    if (!length || !text) return tprint("unknown error %", code);
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ')) length--;
    String result = temp_utf8_from_utf16((const u16 *)text, (s64)length);
    LocalFree(text);
    return result;
}

static HANDLE open_file(String name, DWORD access, DWORD creation) {
    return CreateFileW((const wchar_t *)temp_utf16(name), access, FILE_SHARE_READ, nullptr, creation,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A file opened for reading, with its size: what reading it whole and mapping it both
// start from. On a failure file is INVALID_HANDLE_VALUE and an error line says what
// could not be done (`doing`: "read", "map").
struct Opened_File {
    HANDLE file = INVALID_HANDLE_VALUE;
    s64 size = 0;
};

static Opened_File open_file_for_reading(String name, const char *doing) {
    Opened_File result;
    HANDLE file = open_file(name, GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
        s64 code = (s64)GetLastError();
        log_error("Could not open file \"%\": code %, %", name, code, os_error_text(code));
        return result;
    }
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size)) {
        s64 code = (s64)GetLastError();
        log_error("Could not % file \"%\": code %, %", doing, name, code, os_error_text(code));
        CloseHandle(file);
        return result;
    }
    result.file = file;
    result.size = size.QuadPart;
    return result;
}

File_Contents read_entire_file(String name) {
    File_Contents result;
    Opened_File opened = open_file_for_reading(name, "read");
    if (opened.file == INVALID_HANDLE_VALUE) return result;
    char *bytes = (char *)malloc((size_t)opened.size + 1);
    s64 done = 0;
    while (bytes && done < opened.size) {
        DWORD chunk = (DWORD)((opened.size - done) > (1 << 30) ? (1 << 30) : (opened.size - done));
        DWORD got = 0;
        if (!ReadFile(opened.file, bytes + done, chunk, &got, nullptr) || got == 0) break;
        done += got;
    }
    CloseHandle(opened.file);
    if (!bytes || done != opened.size) {
        log_error("Could not read file \"%\": % of % bytes read", name, done, opened.size);
        free(bytes);
        return result;
    }
    bytes[done] = 0;
    result.data = String(bytes, done);
    result.success = true;
    return result;
}

bool write_entire_file(String name, String data) {
    HANDLE file = open_file(name, GENERIC_WRITE, CREATE_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) {
        s64 code = (s64)GetLastError();
        log_error("Could not open file \"%\": code %, %", name, code, os_error_text(code));
        return false;
    }
    s64 done = 0;
    while (done < data.count) {
        DWORD chunk = (DWORD)((data.count - done) > (1 << 30) ? (1 << 30) : (data.count - done));
        DWORD wrote = 0;
        if (!WriteFile(file, data.data + done, chunk, &wrote, nullptr) || wrote == 0) break;
        done += wrote;
    }
    bool ok = done == data.count;
    if (!ok) {
        s64 code = (s64)GetLastError();
        log_error("Could not write file \"%\": code %, %", name, code, os_error_text(code));
    }
    CloseHandle(file);
    return ok;
}

s64 rename_file_replacing(String from, String to) {
    if (!MoveFileExW((const wchar_t *)temp_utf16(from), (const wchar_t *)temp_utf16(to),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return (s64)GetLastError();
    return 0;
}

Append_File_Open open_append_file(String name) {
    Append_File_Open result;
    // FILE_APPEND_DATA alone makes every write land at the end, also with another process
    // appending; sharing lets a second updater, a viewer and the rotation's rename in.
    HANDLE file = CreateFileW((const wchar_t *)temp_utf16(name), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        result.error_code = (s64)GetLastError();
        return result;
    }
    LARGE_INTEGER size = {};
    result.file.handle = (s64)(intptr_t)file;
    result.file.size = GetFileSizeEx(file, &size) ? (s64)size.QuadPart : 0;
    return result;
}

bool append_to_file(Append_File *file, String data) {
    if (file->handle == -1) return false;
    s64 done = 0;
    while (done < data.count) {
        DWORD chunk = (DWORD)((data.count - done) > (1 << 30) ? (1 << 30) : (data.count - done));
        DWORD wrote = 0;
        if (!WriteFile((HANDLE)(intptr_t)file->handle, data.data + done, chunk, &wrote, nullptr) || wrote == 0) break;
        done += wrote;
    }
    file->size += done;
    return done == data.count;
}

void close_append_file(Append_File *file) {
    if (file->handle != -1) CloseHandle((HANDLE)(intptr_t)file->handle);
    file->handle = -1;
    file->size = 0;
}

String executable_folder() {
    for (DWORD capacity = 260; capacity <= 32768 * 4; capacity *= 4) {
        wchar_t *path = (wchar_t *)talloc((s64)capacity * 2);
        DWORD length = GetModuleFileNameW(nullptr, path, capacity);
        if (length == 0) return {};
        if (length >= capacity) continue;  // cut short: ask with more room
        while (length > 0 && path[length - 1] != L'\\' && path[length - 1] != L'/') length--;
        // Keep the separator of a drive's root (C:\), drop any other.
        if (length > 0 && !(length == 3 && path[1] == L':')) length--;
        return temp_utf8_from_utf16((const u16 *)path, (s64)length);
    }
    return {};
}

s64 set_working_directory(String folder) {
    if (!SetCurrentDirectoryW((const wchar_t *)temp_utf16(folder))) return (s64)GetLastError();
    return 0;
}

String get_working_directory() {
    DWORD needed = GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) return {};
    wchar_t *path = (wchar_t *)talloc((s64)needed * 2);
    DWORD length = GetCurrentDirectoryW(needed, path);
    if (length == 0 || length >= needed) return {};
    return temp_utf8_from_utf16((const u16 *)path, (s64)length);
}

void lower_calling_thread_priority() {
    if (!SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL)) {
        s64 code = (s64)GetLastError();
        log_error("SetThreadPriority failed: code %, %", code, os_error_text(code));
    }
}

File_Mapping map_file_read_only(String name) {
    File_Mapping result;
    Opened_File opened = open_file_for_reading(name, "map");
    if (opened.file == INVALID_HANDLE_VALUE) return result;
    if (opened.size == 0) {  // CreateFileMappingW refuses an empty file
        CloseHandle(opened.file);
        result.success = true;
        return result;
    }
    // Sizes 0, 0: the mapping and the view cover the whole file, past 4 GiB too.
    HANDLE section = CreateFileMappingW(opened.file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    void *address = section ? MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0) : nullptr;
    s64 code = (s64)GetLastError();
    // NOTE: the view holds the section and the file open; neither handle is needed after.
    if (section) CloseHandle(section);
    CloseHandle(opened.file);
    if (!address) {
        log_error("Could not map file \"%\": code %, %", name, code, os_error_text(code));
        return result;
    }
    result.data = String((const char *)address, opened.size);
    result.success = true;
    return result;
}

void unmap_file(File_Mapping *mapping) {
    if (mapping->data.count > 0) UnmapViewOfFile(mapping->data.data);
    *mapping = File_Mapping{};
}

// --- memory and the process ---

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
