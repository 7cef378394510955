// Assertion reports and memory_equals.
#include "assertions.h"

#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>

#include "log.h"
#include "stack_trace.h"
#include "temporary_storage.h"

String temp_location_text(std::source_location location) {
    return tprint("%:%:%", location.file_name(), (s64)location.line(), (s64)location.column());
}

void report_debug_assertion(std::source_location caller, String message) {
    // The three stdout pieces are written apart, as the report is read by people and
    // scripts alike: header, message, then a newline and three dots.
    print("Debug assertion failed in a release build. Caller is %. Printing assertion message:\n",
          temp_location_text(caller));
    write_locked(Log_Stream::STANDARD_OUTPUT, message);
    write_locked(Log_Stream::STANDARD_OUTPUT, "\n...");

    String_Builder trace;
    append_stack_trace(&trace, "assert_debug");
    write_locked(Log_Stream::STANDARD_ERROR, trace.string());
}

bool assert_debug(bool condition, std::source_location caller) {
    if (condition) return true;
    report_debug_assertion(caller, "");
    return false;
}

void report_fatal_assertion(std::source_location caller, String message) {
    String_Builder report;
    print_to_builder(&report, "Assertion failed at %.\n", temp_location_text(caller));
    if (message.count) {
        append(&report, message);
        if (message.data[message.count - 1] != '\n') append(&report, '\n');
    }
    append(&report, "Stack trace:\n");
    append_stack_trace(&report, "assert_fatal");
    write_locked(Log_Stream::STANDARD_ERROR, report.string());
    _Exit(3);
}

void assert_fatal(bool condition, std::source_location caller) {
    if (!condition) report_fatal_assertion(caller, "");
}

bool memory_equals(const void *a, const void *b, s64 count) {
    if (count <= 0) return true;
    return memcmp(a, b, (size_t)count) == 0;
}

// --- names ---

String temp_demangle(const char *name) {
    if (!name) return "";
    if (name[0] == '_' && name[1] == 'Z') {
        int status = 0;
        char *demangled = abi::__cxa_demangle(name, nullptr, nullptr, &status);
        if (status == 0 && demangled) {
            String result = temp_copy(demangled);
            free(demangled);
            return result;
        }
    }
    return temp_copy(name);
}

String short_procedure_name(String name) {
    // Drop the parameter list: the last balanced "(...)" (plus any " const" after it).
    s64 end = name.count;
    while (end > 0 && name[end - 1] != ')') end--;
    if (end > 0) {
        s64 depth = 0;
        for (s64 i = end - 1; i >= 0; i--) {
            if (name[i] == ')') depth++;
            if (name[i] == '(' && --depth == 0) {
                end = i;
                break;
            }
        }
        if (depth != 0) end = name.count;
    } else {
        end = name.count;
    }
    // Drop a return type: everything up to the last space outside template brackets.
    s64 start = 0, depth = 0;
    for (s64 i = 0; i < end; i++) {
        if (name[i] == '<' || name[i] == '(') depth++;
        if (name[i] == '>' || name[i] == ')') depth--;
        if (name[i] == ' ' && depth == 0 && !(i > 0 && name[i - 1] == ',')) start = i + 1;
    }
    if (start >= end) start = 0;
    return String(name.data + start, end - start);
}
