// A file's last-write time and size through a handle opened without access rights, so a
// running executable (korvane.exe itself) can be queried.
#include <windows.h>

#include "identity.h"
#include "temporary_storage.h"

File_Times query_file_times(String name) {
    File_Times result;
    HANDLE file = CreateFileW((const wchar_t *)temp_utf16(name), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_ATTRIBUTE_READONLY, nullptr);
    if (file == INVALID_HANDLE_VALUE) return result;

    FILETIME write_time = {};
    GetFileTime(file, nullptr, nullptr, &write_time);
    LARGE_INTEGER size = {};
    result.success = GetFileSizeEx(file, &size) != 0;
    CloseHandle(file);

    result.write_ticks = ((u64)write_time.dwHighDateTime << 32) | write_time.dwLowDateTime;
    result.size = size.QuadPart;
    return result;
}
