// Process-wide set-up that runs before main: the clock, the main thread's temporary
// storage, the logger, stack traces and the crash handler. Every program that links the
// runtime pulls this file in through the korvane_runtime_anchor symbol (see CMakeLists).
#include "os.h"
#include "stack_trace.h"
#include "temporary_storage.h"

void init_clock();

extern "C" {
int korvane_runtime_anchor = 0;
}

[[gnu::constructor(101)]] static void init_runtime() {
    init_clock();
    init_temporary_storage(MAIN_THREAD_TEMPORARY_STORAGE_SIZE);
    init_stack_traces();
    install_crash_handler();
}
