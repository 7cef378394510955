// The platform-neutral half of the runtime's operating-system services.
#include "os.h"

#include <chrono>
#include <thread>

#include "temporary_storage.h"

struct Clock_State {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

static Clock_State &clock_state() {
    static Clock_State state;
    return state;
}

void init_clock() { (void)clock_state(); }

f64 seconds_since_init() {
    auto elapsed = std::chrono::steady_clock::now() - clock_state().start;
    return std::chrono::duration<f64>(elapsed).count();
}

bool thread_start(Thread *thread) {
    try {
        std::thread([thread] {
            init_temporary_storage(thread->temporary_storage_size);
            thread->proc(thread);
        }).detach();
        return true;
    } catch (...) {
        // std::thread reports a refused thread only by throwing; nothing else throws here.
        return false;
    }
}
