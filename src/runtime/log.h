// Logging: log lines to standard output, error lines to standard error, a newline added
// when missing, both streams behind one process-wide lock. Every write is flushed, so a
// process that ends abruptly has lost nothing it printed. Once a log file is open, every
// write to either stream also goes to it.
#pragma once

#include "print.h"

enum class Log_Stream { STANDARD_OUTPUT, STANDARD_ERROR };

// From now on every write also goes to the file `name` (appended). Before a write would
// take the file past `rotate_at` bytes, it is renamed to `previous_name` (replacing the
// older one) and a new file begun, so the two together never hold much more than twice
// that. Returns the system's error code when the file cannot be opened (the standard
// streams go on as before), 0 on success.
s64 open_log_file(String name, String previous_name, s64 rotate_at);
// Back to the standard streams only.
void close_log_file();
// A line for the log file alone that marks the start of a run. It begins a line of its
// own, with an empty line before it when the file already holds something (the run before
// may have ended in the middle of a line).
void write_log_file_heading(String line);
// For crash handlers: the text goes to the log file, if one is open, without taking the
// lock (the crash may have happened inside it) and without allocating.
void write_log_file_unlocked(String text);

// Writes the text as it is (no newline added) under the log lock.
void write_locked(Log_Stream stream, String text);
void write_line_locked(Log_Stream stream, String text);  // adds the newline when missing

template <typename... Args>
void log_line(String format, const Args &...args) {
    String_Builder builder;
    print_to_builder(&builder, format, args...);
    write_line_locked(Log_Stream::STANDARD_OUTPUT, builder.string());
}

template <typename... Args>
void log_error(String format, const Args &...args) {
    String_Builder builder;
    print_to_builder(&builder, format, args...);
    write_line_locked(Log_Stream::STANDARD_ERROR, builder.string());
}

// Plain diagnostic output on standard output, exactly as formatted (no newline added).
template <typename... Args>
void print(String format, const Args &...args) {
    String_Builder builder;
    print_to_builder(&builder, format, args...);
    write_locked(Log_Stream::STANDARD_OUTPUT, builder.string());
}
