// The update driver's operating-system calls on Linux.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "log.h"
#include "os.h"
#include "temporary_storage.h"
#include "identity.h"
#include "updater_os.h"

extern char **environ;

void show_x11_message_box(String caption, String text);  // message_box_linux.cpp

static Process_Start start_process(String path) {
    const char *file = temp_c_string(path);
    char *arguments[] = {(char *)file, nullptr};
    pid_t child = 0;
    Process_Start result;
    int error = posix_spawn(&child, file, nullptr, nullptr, arguments, environ);
    result.success = error == 0;
    result.error_code = error;
    return result;
}

static File_Time_Set set_file_write_time(String name, u64 ticks) {
    File_Time_Set result;
    int fd = open(temp_c_string(name), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return result;
    result.opened = true;
    Unix_Time time = unix_time_from_ticks(ticks);
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // access time left as it is
    times[1].tv_sec = time.seconds;
    times[1].tv_nsec = time.nanoseconds;
    result.set = futimens(fd, times) == 0;
    if (!result.set) result.error_code = errno;
    close(fd);
    return result;
}

static bool path_exists(String name) {
    struct stat info;
    return stat(temp_c_string(name), &info) == 0;
}

static bool write_file(String name, String data) { return write_entire_file(name, data); }

static bool write_all(int fd, String data) {
    s64 done = 0;
    while (done < data.count) {
        ssize_t n = write(fd, data.data + done, (size_t)(data.count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

static File_Replace replace_file(String name, String data) {
    File_Replace result;
    const char *temporary = temp_c_string(download_temporary_name(name));
    // The mode the file keeps: the client is started from it.
    int fd = open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
    if (fd < 0) {
        result.error_code = errno;
        result.failed_step = "open";
        return result;
    }
    bool written = write_all(fd, data);
    if (!written) result.failed_step = "write";
    if (written && fsync(fd) != 0) {
        written = false;
        result.failed_step = "fsync";
    }
    if (!written) result.error_code = errno;
    if (close(fd) != 0 && written) {
        written = false;
        result.error_code = errno;
        result.failed_step = "close";
    }
    if (written && rename(temporary, temp_c_string(name)) != 0) {
        written = false;
        result.error_code = errno;
        result.failed_step = "rename";
    }
    if (!written) {
        unlink(temporary);
        return result;
    }
    result.success = true;
    return result;
}

static File_Replace put_in_place(String from, String to, String) {
    // The running program keeps its own file open, so renaming over it is safe here.
    File_Replace result;
    if (rename(temp_c_string(from), temp_c_string(to)) != 0) {
        result.error_code = errno;
        result.failed_step = "rename";
        return result;
    }
    result.success = true;
    return result;
}

static bool delete_file(String name) { return unlink(temp_c_string(name)) == 0; }

static void *load_library(String name) {
    // dlopen searches the system's folders for a bare name; the library is the one in
    // the working directory.
    String path = name;
    if (name.view().find('/') == std::string_view::npos) path = tprint("./%", name);
    void *library = dlopen(temp_c_string(path), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char *why = dlerror();
        log_error("dlopen of % failed: %", path, why ? why : "");
    }
    return library;
}

static void *find_procedure(void *library, const char *name) { return dlsym(library, name); }

static s64 last_error() { return errno; }

static void *reserve_memory(s64 size) {
    void *memory = mmap(nullptr, (size_t)size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (memory == MAP_FAILED) return nullptr;
    // NOTE: a 256 MiB body touches 65,536 fresh small pages, and the faults cost more than
    // the copies; huge pages cut them 512-fold where the kernel offers them.
    madvise(memory, (size_t)size, MADV_HUGEPAGE);
    return memory;
}

static void prepare_process() {}  // no DPI or timer settings to make here

Updater_Os platform_updater_os() {
    Updater_Os os;
    os.show_message_box = show_x11_message_box;
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
