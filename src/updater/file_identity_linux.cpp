// A file's modification time and size from stat, in the system-neutral 100-ns ticks.
#include <sys/stat.h>

#include "identity.h"
#include "temporary_storage.h"

File_Times query_file_times(String name) {
    File_Times result;
    struct stat info;
    if (stat(temp_c_string(name), &info) != 0) return result;
    result.write_ticks = ticks_from_unix_time(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
    result.size = (s64)info.st_size;
    result.success = true;
    return result;
}
