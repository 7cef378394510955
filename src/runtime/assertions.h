// Assertions: fatal ones for impossible states (report, stack trace, process end) and
// assert_debug for surprises the run survives (report, stack trace, carry on).
#pragma once

#include <source_location>

#include "print.h"
#include "types.h"

// Writes the debug-assertion report: header with the caller's location, the message and
// "\n..." on standard output, then the calling thread's stack trace on standard error.
void report_debug_assertion(std::source_location caller, String message);
[[noreturn]] void report_fatal_assertion(std::source_location caller, String message);

// Never stops the process; returns the condition so the caller can skip dependent work.
[[gnu::noinline]] bool assert_debug(bool condition, std::source_location caller = std::source_location::current());

template <typename... Args>
[[gnu::noinline]] bool assert_debug(bool condition, Located_Format format, const Args &...args) {
    if (condition) return true;
    String_Builder builder;
    print_to_builder(&builder, format.text, args...);
    report_debug_assertion(format.location, builder.string());
    return false;
}

void assert_fatal(bool condition, std::source_location caller = std::source_location::current());

template <typename... Args>
void assert_fatal(bool condition, Located_Format format, const Args &...args) {
    if (condition) return;
    String_Builder builder;
    print_to_builder(&builder, format.text, args...);
    report_fatal_assertion(format.location, builder.string());
}

// Byte-wise comparison; a count of 0 is equal.
bool memory_equals(const void *a, const void *b, s64 count);

// "file:line:column"
String temp_location_text(std::source_location location);
