// The update driver's operating-system calls on Linux.
#include <dlfcn.h>
#include <elf.h>
#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
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

static s64 read_small_file(String name, u8 *buffer, s64 capacity) {
    int fd = open(temp_c_string(name), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return -1;
    s64 done = 0;
    while (done < capacity) {
        ssize_t n = read(fd, buffer + done, (size_t)(capacity - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    close(fd);
    return done;
}

static File_Step failed(const char *step) {
    File_Step result;
    result.error_code = errno;
    result.failed_step = step;
    return result;
}

static File_Step succeeded() {
    File_Step result;
    result.success = true;
    return result;
}

static File_Step put_in_place(String from, String to, String) {
    // The running program keeps its own file open, so renaming over it is safe here.
    File_Step result;
    if (rename(temp_c_string(from), temp_c_string(to)) != 0) {
        result.error_code = errno;
        result.failed_step = "rename";
        return result;
    }
    result.success = true;
    return result;
}

static bool delete_file(String name) { return unlink(temp_c_string(name)) == 0; }

static File_Step remove_file(String name) {
    if (unlink(temp_c_string(name)) != 0 && errno != ENOENT) return failed("unlink");
    return succeeded();
}

// The mode the file keeps: the client is started from it. Set with fchmod so the
// process's umask does not decide it.
constexpr mode_t DOWNLOAD_MODE = 0755;

static Download_Open open_download(String name, bool keep_existing) {
    Download_Open result;
    const char *path = temp_c_string(name);
    int fd = -1;
    if (keep_existing) {
        // O_NOFOLLOW: a link planted at this name is refused, not written through.
        fd = open(path, O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            result.step = failed("open");
            return result;
        }
        struct stat info;
        if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) {
            // Another name for the same file could be somebody else's file.
            result.step = failed("fstat");
            if (result.step.error_code == 0) result.step.error_code = EEXIST;
            close(fd);
            return result;
        }
        result.size = info.st_size;
    } else {
        // Read and write: a patch's result is written through a shared mapping.
        fd = open(path, O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, DOWNLOAD_MODE);
        if (fd < 0) {
            result.step = failed("open");
            return result;
        }
    }
    if (fchmod(fd, DOWNLOAD_MODE) != 0) {
        result.step = failed("fchmod");
        close(fd);
        return result;
    }
    result.handle.value = fd;
    result.step = succeeded();
    return result;
}

static bool preallocate(Download_Handle file, s64 size) {
    // FALLOC_FL_KEEP_SIZE: the length keeps counting the bytes really written, which a
    // resume after a kill relies on.
    int error = fallocate((int)file.value, FALLOC_FL_KEEP_SIZE, 0, (off_t)size);
    return !(error != 0 && errno == ENOSPC);
}

static File_Step write_download(Download_Handle file, String data) {
    s64 done = 0;
    while (done < data.count) {
        ssize_t n = write((int)file.value, data.data + done, (size_t)(data.count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return failed("write");
        }
        done += n;
    }
    return succeeded();
}

static File_Step truncate_download(Download_Handle file) {
    if (ftruncate((int)file.value, 0) != 0) return failed("ftruncate");
    // O_APPEND already puts the next write at the new end; the offset too, for clarity.
    if (lseek((int)file.value, 0, SEEK_SET) != 0) return failed("lseek");
    return succeeded();
}

static void start_writeback(Download_Handle file, s64 offset, s64 count) {
    sync_file_range((int)file.value, (off_t)offset, (off_t)count, SYNC_FILE_RANGE_WRITE);
}

static Download_Mapping map_download(Download_Handle file, s64 size) {
    Download_Mapping result;
    int fd = (int)file.value;
    // A real allocation (not a sparse length): every page written through the mapping
    // has its block already, so a full disk cannot turn into a SIGBUS halfway.
    if (fallocate(fd, 0, 0, (off_t)size) != 0) {
        result.step = failed("fallocate");
        return result;
    }
    void *address = mmap(nullptr, (size_t)size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (address == MAP_FAILED) {
        result.step = failed("mmap");
        return result;
    }
    result.bytes = (u8 *)address;
    result.size = size;
    result.step = succeeded();
    return result;
}

static void unmap_download(Download_Mapping *mapping) {
    if (mapping->bytes) munmap(mapping->bytes, (size_t)mapping->size);
    *mapping = Download_Mapping{};
}

static File_Step flush_and_close_download(Download_Handle file) {
    int fd = (int)file.value;
    if (fdatasync(fd) != 0) {
        File_Step result = failed("fdatasync");
        close(fd);
        return result;
    }
    if (close(fd) != 0) return failed("close");
    return succeeded();
}

static void close_download(Download_Handle file) { close((int)file.value); }

static File_Step rename_into_place(String from, String to) {
    if (rename(temp_c_string(from), temp_c_string(to)) != 0) return failed("rename");
    // The rename is an entry of the folder: sync the folder so it survives a power cut.
    String to_path = to;
    std::string_view view = to_path.view();
    size_t slash = view.rfind('/');
    String folder = slash == std::string_view::npos ? String(".") : String(view.substr(0, slash + 1));
    int directory = open(temp_c_string(folder), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) return failed("open folder");
    int synced = fsync(directory);
    int saved = errno;
    close(directory);
    if (synced != 0) {
        errno = saved;
        return failed("fsync folder");
    }
    return succeeded();
}

// NOTE: dlopen maps a shared object by what its headers promise; when the file is shorter
// (a write cut short), touching the missing pages raises SIGBUS inside dlopen. So the
// headers are checked against the file's size first, with reads that cannot fault.
static bool shared_object_is_whole(const char *path) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return true;  // dlopen reports the failed open itself
    struct stat info;
    bool whole = fstat(fd, &info) == 0;
    u64 size = whole ? (u64)info.st_size : 0;
    Elf64_Ehdr header;
    whole = whole && pread(fd, &header, sizeof(header), 0) == (ssize_t)sizeof(header) &&
            memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 && header.e_ident[EI_CLASS] == ELFCLASS64 &&
            header.e_phentsize == sizeof(Elf64_Phdr);
    // 16-bit counts times small entries: no overflow in 64 bits.
    whole = whole && header.e_phoff <= size && header.e_phoff + (u64)header.e_phnum * sizeof(Elf64_Phdr) <= size;
    whole = whole && (header.e_shoff == 0 || (header.e_shoff <= size &&
                                              header.e_shoff + (u64)header.e_shnum * header.e_shentsize <= size));
    for (u32 i = 0; whole && i < header.e_phnum; i++) {
        Elf64_Phdr segment;
        whole = pread(fd, &segment, sizeof(segment), (off_t)(header.e_phoff + i * sizeof(Elf64_Phdr))) ==
                    (ssize_t)sizeof(segment) &&
                segment.p_offset <= size && segment.p_filesz <= size - segment.p_offset;
    }
    close(fd);
    return whole;
}

static Library_Load load_library(String name) {
    // dlopen searches the system's folders for a bare name; the library is the one in
    // the working directory, named by its full path.
    String path = name;
    if (name.view().find('/') == std::string_view::npos) {
        char folder[4096];
        if (getcwd(folder, sizeof(folder))) path = tprint("%/%", String(folder), name);
        else path = tprint("./%", name);
    }
    Library_Load result;
    if (!shared_object_is_whole(temp_c_string(path))) {
        result.error = tprint("% is not a whole shared object (cut short or not one at all)", path);
        log_error("%", result.error);
        return result;
    }
    // NOTE: Debian's libcurl brings GnuTLS along for RTMP, a protocol we never let it speak
    // (the transfers allow HTTP and HTTPS only, and its TLS is OpenSSL's). GnuTLS sets
    // itself up as it is loaded, reading its configuration: about 0.7 ms of every start.
    // This variable of its own skips that; it is taken away again at once, so that the
    // game started later does not inherit it.
    bool gnutls_init_was_set = getenv("GNUTLS_NO_IMPLICIT_INIT") != nullptr;
    if (!gnutls_init_was_set) setenv("GNUTLS_NO_IMPLICIT_INIT", "1", 0);
    // NOTE: lazily bound: about a third of the thirty libraries Debian's libcurl pulls in
    // are not linked for immediate binding, and binding every procedure of theirs at once
    // cost about 2.6 million instructions of every start (a sixth of it). libcurl itself is
    // linked for immediate binding, so a file of ours that lacks a procedure still fails
    // here, and the procedures we call are each looked up by name after the load.
    result.library = dlopen(temp_c_string(path), RTLD_LAZY | RTLD_LOCAL);
    if (!gnutls_init_was_set) unsetenv("GNUTLS_NO_IMPLICIT_INIT");
    if (!result.library) {
        // NOTE: dlopen sets no errno; its reason is only in dlerror, which the next
        // dl call overwrites, so it is copied here.
        const char *why = dlerror();
        result.error = tprint("%", why ? why : "dlopen gave no reason");
        log_error("dlopen of % failed: %", path, result.error);
    }
    return result;
}

static void unload_library(void *library) { dlclose(library); }

static void *find_procedure(void *library, const char *name) { return dlsym(library, name); }

static s64 last_error() { return errno; }

static void sleep_for(s32 milliseconds) { sleep_milliseconds(milliseconds); }

static Instance_Lock lock_instance(String name) {
    Instance_Lock result;
    // O_NOFOLLOW: a link planted at the lock's name is not followed to somewhere else.
    int fd = open(temp_c_string(name), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        result.error_code = errno;
        return result;
    }
    // The descriptor stays open for the process's life; the kernel drops the lock with it.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        result.acquired = true;
    } else {
        result.held_elsewhere = errno == EWOULDBLOCK;
        result.error_code = errno;
        close(fd);
    }
    return result;
}

static void prepare_process() {}  // no DPI or timer settings to make here

Updater_Os platform_updater_os() {
    Updater_Os os;
    os.show_message_box = show_x11_message_box;
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
