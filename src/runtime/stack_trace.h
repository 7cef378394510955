// Stack traces of the calling thread, one line per procedure: 'name' at path:line.
// Implemented per platform (libbacktrace on Linux, dbghelp on Windows).
#pragma once

#include "print.h"

// Called once before main: sets up what a trace needs that is cheap to have ready (where
// the symbols themselves are costly to read, that waits until the first trace).
void init_stack_traces();

// Appends the calling thread's trace, innermost first. Frames above the first procedure
// whose name starts with `start_at` are left out (all frames when none matches).
void append_stack_trace(String_Builder *builder, String start_at);

// Installs the handler that prints a trace when the process faults.
void install_crash_handler();

// Procedure name without return type and parameter list, from a demangled name.
String short_procedure_name(String demangled);
// Demangles an Itanium name into temporary storage; other names come back unchanged.
String temp_demangle(const char *name);
