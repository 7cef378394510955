// The process-wide log lock over standard output and standard error, and the log file
// that receives a copy of both.
#include "log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "os.h"

struct Log_State {
    std::mutex mutex;

    Append_File file;
    char *file_name = nullptr;  // heap copies, terminated
    char *previous_name = nullptr;
    s64 rotate_at = 0;
};

static Log_State &get_log_state() {
    // Built on first use so that logging works from static initialisers too. Never freed:
    // other threads may log while the process ends.
    static Log_State *state = new Log_State;
    return *state;
}

static char *heap_copy(String text) {
    char *copy = (char *)malloc((size_t)text.count + 1);
    if (!copy) return nullptr;
    memcpy(copy, text.data, (size_t)text.count);
    copy[text.count] = 0;
    return copy;
}

static void rotate_before(Log_State &log, s64 count) {
    if (log.file.size == 0 || log.file.size + count <= log.rotate_at) return;
    // The previous file goes; if the rename fails we carry on appending to this one rather
    // than lose what it holds.
    close_append_file(&log.file);
    rename_file_replacing(log.file_name, log.previous_name);
    log.file = open_append_file(log.file_name).file;
}

static void write_to_file(Log_State &log, String text) {
    if (log.file.handle == -1 || text.count == 0) return;
    rotate_before(log, text.count);
    append_to_file(&log.file, text);
}

static void write_unlocked(Log_Stream stream, String text, bool add_newline) {
    Log_State &log = get_log_state();
    FILE *file = stream == Log_Stream::STANDARD_OUTPUT ? stdout : stderr;
    if (text.count) fwrite(text.data, 1, (size_t)text.count, file);
    bool newline = add_newline && (text.count == 0 || text.data[text.count - 1] != '\n');
    if (newline) fputc('\n', file);
    fflush(file);

    write_to_file(log, text);
    if (newline) write_to_file(log, "\n");
}

void write_locked(Log_Stream stream, String text) {
    std::lock_guard lock(get_log_state().mutex);
    write_unlocked(stream, text, false);
}

void write_line_locked(Log_Stream stream, String text) {
    std::lock_guard lock(get_log_state().mutex);
    write_unlocked(stream, text, true);
}

s64 open_log_file(String name, String previous_name, s64 rotate_at) {
    Log_State &log = get_log_state();
    std::lock_guard lock(log.mutex);
    close_append_file(&log.file);
    free(log.file_name);
    free(log.previous_name);
    log.file_name = heap_copy(name);
    log.previous_name = heap_copy(previous_name);
    log.rotate_at = rotate_at;
    if (!log.file_name || !log.previous_name) return -1;
    Append_File_Open opened = open_append_file(name);
    log.file = opened.file;
    return opened.error_code;
}

void close_log_file() {
    Log_State &log = get_log_state();
    std::lock_guard lock(log.mutex);
    close_append_file(&log.file);
}

void write_log_file_heading(String line) {
    Log_State &log = get_log_state();
    std::lock_guard lock(log.mutex);
    if (log.file.handle == -1) return;
    bool ends_line = line.count > 0 && line.data[line.count - 1] == '\n';
    rotate_before(log, line.count + 2);
    if (log.file.size > 0) append_to_file(&log.file, "\n");
    append_to_file(&log.file, line);
    if (!ends_line) append_to_file(&log.file, "\n");
}

void write_log_file_unlocked(String text) {
    Log_State &log = get_log_state();
    append_to_file(&log.file, text);
}
