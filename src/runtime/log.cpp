// The process-wide log lock over standard output and standard error.
#include "log.h"

#include <cstdio>
#include <mutex>

struct Log_State {
    std::mutex mutex;
};

static Log_State &get_log_state() {
    // Built on first use so that logging works from static initialisers too.
    static Log_State *state = new Log_State;
    return *state;
}

static void write_unlocked(Log_Stream stream, String text, bool add_newline) {
    FILE *file = stream == Log_Stream::STANDARD_OUTPUT ? stdout : stderr;
    if (text.count) fwrite(text.data, 1, (size_t)text.count, file);
    if (add_newline && (text.count == 0 || text.data[text.count - 1] != '\n')) fputc('\n', file);
    fflush(file);
}

void write_locked(Log_Stream stream, String text) {
    std::lock_guard lock(get_log_state().mutex);
    write_unlocked(stream, text, false);
}

void write_line_locked(Log_Stream stream, String text) {
    std::lock_guard lock(get_log_state().mutex);
    write_unlocked(stream, text, true);
}
