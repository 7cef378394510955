// Stack traces and the crash handler on Windows, through dbghelp. Where no symbol is
// found the line names module and offset, so that a trace from a player's machine can
// be symbolised offline with addr2line.
#include <windows.h>

#include <dbghelp.h>

#include "log.h"
#include "stack_trace.h"
#include "temporary_storage.h"

struct Stack_Trace_State {
    bool symbols_tried = false;
};

static Stack_Trace_State g_stack_trace;

// NOTE: SymInitialize reads the debug information of every loaded module; under Wine that
// took 440 ms of every start. Nothing needs symbols until a trace is printed, so they are
// set up then, once.
void init_stack_traces() {}

static void prepare_symbols() {
    if (g_stack_trace.symbols_tried) return;
    g_stack_trace.symbols_tried = true;
    SymSetOptions(SYMOPT_LOAD_LINES | SYMOPT_DEFERRED_LOADS | SYMOPT_FAIL_CRITICAL_ERRORS);
    SymInitialize(GetCurrentProcess(), nullptr, TRUE);
}

static bool name_starts_with(String name, String prefix) {
    return name.count >= prefix.count && String(name.data, prefix.count) == prefix;
}

static void append_trace_from_context(String_Builder *builder, CONTEXT context, String start_at) {
    prepare_symbols();
    HANDLE process = GetCurrentProcess();
    HANDLE thread = GetCurrentThread();

    STACKFRAME64 frame = {};
    frame.AddrPC.Offset = context.Rip;
    frame.AddrPC.Mode = AddrModeFlat;
    frame.AddrFrame.Offset = context.Rbp;
    frame.AddrFrame.Mode = AddrModeFlat;
    frame.AddrStack.Offset = context.Rsp;
    frame.AddrStack.Mode = AddrModeFlat;

    bool started = start_at.count == 0;
    for (int depth = 0; depth < 128; depth++) {
        if (!StackWalk64(IMAGE_FILE_MACHINE_AMD64, process, thread, &frame, &context, nullptr, SymFunctionTableAccess64,
                         SymGetModuleBase64, nullptr))
            break;
        DWORD64 address = frame.AddrPC.Offset;
        if (!address) break;

        alignas(SYMBOL_INFO) char symbol_buffer[sizeof(SYMBOL_INFO) + 512] = {};
        SYMBOL_INFO *symbol = (SYMBOL_INFO *)symbol_buffer;
        symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
        symbol->MaxNameLen = 511;
        DWORD64 displacement = 0;
        bool have_name = SymFromAddr(process, address, &displacement, symbol) != 0;

        String name;
        if (have_name) {
            name = short_procedure_name(temp_demangle(symbol->Name));
        } else {
            DWORD64 base = SymGetModuleBase64(process, address);
            char module_path[MAX_PATH] = "?";
            if (base) GetModuleFileNameA((HMODULE)base, module_path, sizeof(module_path));
            const char *module_name = module_path;
            for (const char *c = module_path; *c; c++)
                if (*c == '\\' || *c == '/') module_name = c + 1;
            name = tprint("%+%", module_name, (void *)(uintptr_t)(address - base));
        }

        if (!started) {
            if (!name_starts_with(name, start_at)) continue;
            started = true;
        }

        IMAGEHLP_LINE64 line = {};
        line.SizeOfStruct = sizeof(line);
        DWORD line_displacement = 0;
        // The return address points after the call; look one byte back for its line.
        if (SymGetLineFromAddr64(process, depth == 0 ? address : address - 1, &line_displacement, &line))
            print_to_builder(builder, "'%' at %:%\n", name, line.FileName, (s64)line.LineNumber);
        else
            print_to_builder(builder, "'%' at ?:0\n", name);
    }
}

[[gnu::noinline]] void append_stack_trace(String_Builder *builder, String start_at) {
    CONTEXT context = {};
    RtlCaptureContext(&context);
    s64 before = builder->count;
    append_trace_from_context(builder, context, start_at);
    if (builder->count == before && start_at.count) append_trace_from_context(builder, context, "");
}

static LONG WINAPI on_unhandled_exception(EXCEPTION_POINTERS *pointers) {
    String_Builder report;
    print_to_builder(&report, "Crash: exception % at address %.\nStack trace:\n",
                     (void *)(uintptr_t)pointers->ExceptionRecord->ExceptionCode,
                     pointers->ExceptionRecord->ExceptionAddress);
    append_trace_from_context(&report, *pointers->ContextRecord, "");
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), report.data, (DWORD)report.count, &written, nullptr);
    write_log_file_unlocked(report.string());
    return EXCEPTION_EXECUTE_HANDLER;
}

void install_crash_handler() { SetUnhandledExceptionFilter(on_unhandled_exception); }
