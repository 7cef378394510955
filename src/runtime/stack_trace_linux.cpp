// Stack traces and the crash handler on Linux: libbacktrace (shipped with gcc) reads the
// DWARF line tables of the running executable.
#include <backtrace.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "log.h"
#include "stack_trace.h"
#include "temporary_storage.h"

struct Stack_Trace_State {
    backtrace_state *state = nullptr;
    char alternate_stack[64 * 1024];
};

static Stack_Trace_State g_stack_trace;

static void on_backtrace_error(void *, const char *, int) {}

void init_stack_traces() {
    if (!g_stack_trace.state) g_stack_trace.state = backtrace_create_state(nullptr, 1, on_backtrace_error, nullptr);
}

struct Trace_Walk {
    String_Builder *builder;
    String start_at;
    bool started;
};

static int on_frame(void *data, uintptr_t pc, const char *filename, int lineno, const char *function) {
    Trace_Walk *walk = (Trace_Walk *)data;
    if (!function) return 0;  // frames without a name are left out

    String name = short_procedure_name(temp_demangle(function));
    if (!walk->started) {
        if (name.count < walk->start_at.count || !(String(name.data, walk->start_at.count) == walk->start_at)) return 0;
        walk->started = true;
    }
    print_to_builder(walk->builder, "'%' at %:%\n", name, filename ? filename : "?", (s64)lineno);
    return 0;
}

[[gnu::noinline]] void append_stack_trace(String_Builder *builder, String start_at) {
    init_stack_traces();
    if (!g_stack_trace.state) return;
    Trace_Walk walk = {builder, start_at, start_at.count == 0};
    backtrace_full(g_stack_trace.state, 0, on_frame, on_backtrace_error, &walk);
    if (!walk.started) {
        walk.started = true;
        backtrace_full(g_stack_trace.state, 0, on_frame, on_backtrace_error, &walk);
    }
}

static void on_crash_signal(int signal_number, siginfo_t *info, void *) {
    String_Builder report;
    print_to_builder(&report, "Crash: signal % (%) at address %.\nStack trace:\n", (s64)signal_number,
                     strsignal(signal_number), info ? info->si_addr : nullptr);
    append_stack_trace(&report, "");
    // Straight to the descriptor: the crash may have happened inside the log lock.
    ssize_t ignored = write(STDERR_FILENO, report.data, (size_t)report.count);
    (void)ignored;
    write_log_file_unlocked(report.string());

    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

void install_crash_handler() {
    stack_t alternate = {};
    alternate.ss_sp = g_stack_trace.alternate_stack;
    alternate.ss_size = sizeof(g_stack_trace.alternate_stack);
    sigaltstack(&alternate, nullptr);

    struct sigaction action = {};
    action.sa_sigaction = on_crash_signal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal_number : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) sigaction(signal_number, &action, nullptr);
}
