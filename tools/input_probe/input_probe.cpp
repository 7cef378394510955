// Shows the input layer at work: opens a window through custom_create_window and prints,
// frame by frame, the events, the key-state changes, the resize records and the mouse sums,
// one text line each, until the window is closed or the time runs out.
//
//   input_probe.exe [--title TEXT] [--width N] [--height N] [--x N] [--y N] [--seconds N]
//
// Lines: "window <w> x <h>" (client size after creation), "ready" (after the first
// frame), "event KEYBOARD pressed=<0|1> key=<code> name=<name> shift=.. ctrl=.. alt=..
// repeat=..", "event TEXT_INPUT character=<code>", "event MOUSE_WHEEL step=<s>
// delta=<d>", "event QUIT", "key <code> <name> flags=<f>", "resize <w> <h>",
// "mouse move=<dx>,<dy> wheel=<total>". Exit status 0 after QUIT, 3 when the time ran out,
// 1 when no window could be made, 2 on a bad argument.
#include <cstdlib>
#include <cstring>

#include "events.h"
#include "input_os.h"
#include "log.h"
#include "os.h"
#include "temporary_storage.h"
#include "window_creation.h"

namespace {

struct Probe_Options {
    const char *title = "Korvane input probe";
    s64 width = 400;
    s64 height = 50;
    s64 x = -1;
    s64 y = -1;
    f64 seconds = 60;
};

bool parse_options(int argc, char **argv, Probe_Options *options) {
    for (int i = 1; i < argc; i++) {
        const char *name = argv[i];
        if (i + 1 >= argc) return false;
        const char *value = argv[++i];
        if (strcmp(name, "--title") == 0) {
            options->title = value;
        } else if (strcmp(name, "--width") == 0) {
            options->width = strtoll(value, nullptr, 10);
        } else if (strcmp(name, "--height") == 0) {
            options->height = strtoll(value, nullptr, 10);
        } else if (strcmp(name, "--x") == 0) {
            options->x = strtoll(value, nullptr, 10);
        } else if (strcmp(name, "--y") == 0) {
            options->y = strtoll(value, nullptr, 10);
        } else if (strcmp(name, "--seconds") == 0) {
            options->seconds = strtod(value, nullptr);
        } else {
            return false;
        }
    }
    return true;
}

void print_event(const Input_Event &event) {
    switch (event.type) {
    case KEYBOARD:
        log_line("event KEYBOARD pressed=% key=% name=% shift=% ctrl=% alt=% repeat=%", event.pressed, (u32)event.key_code,
                 key_code_name(event.key_code), (u32)event.modifiers.shift_pressed, (u32)event.modifiers.ctrl_pressed,
                 (u32)event.modifiers.alt_pressed, (u32)event.repeat);
        break;
    case TEXT_INPUT:
        log_line("event TEXT_INPUT character=%", event.character);
        break;
    case MOUSE_WHEEL:
        log_line("event MOUSE_WHEEL step=% delta=%", event.wheel_step, event.wheel_delta);
        break;
    case QUIT:
        log_line("event QUIT");
        break;
    default:
        log_line("event % (unknown type)", (u32)event.type);
        break;
    }
}

}  // namespace

int main(int argc, char **argv) {
    Probe_Options options;
    if (!parse_options(argc, argv, &options)) {
        log_error("usage: input_probe.exe [--title TEXT] [--width N] [--height N] [--x N] [--y N] [--seconds N]");
        return 2;
    }
    init_window_class(0, 0, 0, input_handler.window_proc);
    Window_Type window = custom_create_window(options.width, options.height, options.title, options.x, options.y);
    if (!window) {
        log_error("input_probe: no window");
        return 1;
    }
    Client_Size size = input_os.get_client_size(window);
    log_line("window % x %", size.width, size.height);

    u32 previous_states[KEY_CODE_COUNT] = {};
    f64 deadline = seconds_since_init() + options.seconds;
    bool first_frame = true;
    bool quit = false;
    while (!quit && seconds_since_init() < deadline) {
        update_window_events();
        for (const Resize_Record &record : get_window_resizes()) {
            log_line("resize % %", record.width, record.height);
        }
        for (const Input_Event &event : frame_events) {
            print_event(event);
            if (event.type == QUIT) quit = true;
        }
        for (s32 code = 0; code < KEY_CODE_COUNT; code++) {
            if (key_states[code] == previous_states[code]) continue;
            log_line("key % % flags=%", code, key_code_name((Key_Code)code), key_states[code]);
            previous_states[code] = key_states[code];
        }
        if (mouse_move_x || mouse_move_y || mouse_wheel_total) {
            log_line("mouse move=%,% wheel=%", mouse_move_x, mouse_move_y, mouse_wheel_total);
        }
        if (first_frame) {
            log_line("ready");
            first_frame = false;
        }
        sleep_milliseconds(10);
        reset_temporary_storage();
    }
    return quit ? 0 : 3;
}
