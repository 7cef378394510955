// Logging: log lines to standard output, error lines to standard error, a newline added
// when missing, both streams behind one process-wide lock. Every write is flushed, so a
// process that ends abruptly has lost nothing it printed.
#pragma once

#include "print.h"

enum class Log_Stream { STANDARD_OUTPUT, STANDARD_ERROR };

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
