// Operating-system services on Linux.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "log.h"
#include "os.h"
#include "temporary_storage.h"

void sleep_milliseconds(s32 milliseconds) {
    timespec remaining = {milliseconds / 1000, (long)(milliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

s64 last_os_error_code() { return errno; }

String os_error_text(s64 code) {
    char buffer[256];
    // The GNU variant returns the text, which may or may not live in the buffer.
    const char *text = strerror_r((int)code, buffer, sizeof(buffer));
    return temp_copy(text);
}

// A regular file opened for reading, with its size: what reading it whole and mapping it
// both start from. On a failure fd is -1 and an error line says what could not be done
// (`doing`: "read", "map").
struct Opened_File {
    int fd = -1;
    s64 size = 0;
};

static Opened_File open_regular_file(String name, const char *doing) {
    Opened_File result;
    int fd = open(temp_c_string(name), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        s64 code = errno;
        log_error("Could not open file \"%\": code %, %", name, code, os_error_text(code));
        return result;
    }
    struct stat info;
    bool stat_ok = fstat(fd, &info) == 0;
    if (!stat_ok || !S_ISREG(info.st_mode)) {
        // Only a regular file has a size to read or to map.
        s64 code = !stat_ok ? errno : S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        log_error("Could not % file \"%\": code %, %", doing, name, code, os_error_text(code));
        close(fd);
        return result;
    }
    result.fd = fd;
    result.size = info.st_size;
    return result;
}

File_Contents read_entire_file(String name) {
    File_Contents result;
    Opened_File opened = open_regular_file(name, "read");
    if (opened.fd < 0) return result;
    char *bytes = (char *)malloc((size_t)opened.size + 1);
    s64 done = 0;
    while (bytes && done < opened.size) {
        ssize_t n = read(opened.fd, bytes + done, (size_t)(opened.size - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    close(opened.fd);
    if (!bytes || done != opened.size) {
        log_error("Could not read file \"%\": % of % bytes read", name, done, opened.size);
        free(bytes);
        return result;
    }
    bytes[opened.size] = 0;
    result.data = String(bytes, opened.size);
    result.success = true;
    return result;
}

bool write_entire_file(String name, String data) {
    int fd = open(temp_c_string(name), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        s64 code = errno;
        log_error("Could not open file \"%\": code %, %", name, code, os_error_text(code));
        return false;
    }
    s64 done = 0;
    while (done < data.count) {
        ssize_t n = write(fd, data.data + done, (size_t)(data.count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    bool ok = done == data.count;
    if (!ok) {
        s64 code = errno;
        log_error("Could not write file \"%\": code %, %", name, code, os_error_text(code));
    }
    if (close(fd) != 0) ok = false;
    return ok;
}

s64 rename_file_replacing(String from, String to) {
    if (rename(temp_c_string(from), temp_c_string(to)) != 0) return errno;
    return 0;
}

Append_File_Open open_append_file(String name) {
    Append_File_Open result;
    int fd = open(temp_c_string(name), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        result.error_code = errno;
        return result;
    }
    struct stat info;
    result.file.handle = fd;
    result.file.size = fstat(fd, &info) == 0 ? (s64)info.st_size : 0;
    return result;
}

bool append_to_file(Append_File *file, String data) {
    if (file->handle < 0) return false;
    s64 done = 0;
    while (done < data.count) {
        ssize_t n = write((int)file->handle, data.data + done, (size_t)(data.count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    file->size += done;
    return done == data.count;
}

void close_append_file(Append_File *file) {
    if (file->handle >= 0) close((int)file->handle);
    file->handle = -1;
    file->size = 0;
}

String executable_folder() {
    // /proc/self/exe names the file the process runs, with symbolic links resolved.
    for (size_t capacity = 256; capacity <= (1u << 20); capacity *= 4) {
        char *path = (char *)talloc((s64)capacity);
        ssize_t length = readlink("/proc/self/exe", path, capacity);
        if (length < 0) return {};
        if ((size_t)length == capacity) continue;  // may be cut short: ask with more room
        while (length > 0 && path[length - 1] != '/') length--;
        if (length > 1) length--;  // the separator, unless the folder is the root
        return String(path, length);
    }
    return {};
}

s64 set_working_directory(String folder) {
    if (chdir(temp_c_string(folder)) != 0) return errno;
    return 0;
}

String get_working_directory() {
    for (size_t capacity = 256; capacity <= (1u << 20); capacity *= 4) {
        char *path = (char *)talloc((s64)capacity);
        if (getcwd(path, capacity)) return String(path);
        if (errno != ERANGE) return {};
    }
    return {};
}

void lower_calling_thread_priority() {
    // NOTE: on Linux the nice value belongs to each thread (the thread id is the "process"
    // setpriority takes), and threads started later by this one inherit it.
    constexpr int LOWER_BY = 10;
    pid_t thread = gettid();
    errno = 0;
    int current = getpriority(PRIO_PROCESS, (id_t)thread);
    if (current == -1 && errno != 0) return;
    if (setpriority(PRIO_PROCESS, (id_t)thread, current + LOWER_BY) != 0) {
        s64 code = errno;
        log_error("setpriority for the thread failed: code %, %", code, os_error_text(code));
    }
}

File_Mapping map_file_read_only(String name) {
    File_Mapping result;
    Opened_File opened = open_regular_file(name, "map");
    if (opened.fd < 0) return result;
    if (opened.size == 0) {  // mmap refuses a length of 0
        close(opened.fd);
        result.success = true;
        return result;
    }
    void *address = mmap(nullptr, (size_t)opened.size, PROT_READ, MAP_PRIVATE, opened.fd, 0);
    s64 code = errno;
    close(opened.fd);  // the mapping keeps its own reference to the file
    if (address == MAP_FAILED) {
        log_error("Could not map file \"%\": code %, %", name, code, os_error_text(code));
        return result;
    }
    result.data = String((const char *)address, opened.size);
    result.success = true;
    return result;
}

void unmap_file(File_Mapping *mapping) {
    if (mapping->data.count > 0) munmap((void *)mapping->data.data, (size_t)mapping->data.count);
    *mapping = File_Mapping{};
}

// --- memory and the process ---

void *allocate_memory_at(u64 address, s64 size) {
    void *memory = mmap((void *)(uintptr_t)address, (size_t)size, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (memory == MAP_FAILED) return nullptr;
    // NOTE: kernels before 4.17 ignore MAP_FIXED_NOREPLACE and treat the address as a hint.
    if ((u64)(uintptr_t)memory != address) {
        munmap(memory, (size_t)size);
        return nullptr;
    }
    return memory;
}

void exit_process(s32 exit_code) {
    fflush(stdout);
    fflush(stderr);
    _exit(exit_code);
}
