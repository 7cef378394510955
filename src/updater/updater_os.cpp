// The platform-neutral pieces of the operating-system layer: the table itself, the
// time conversions of the Linux file system, the warning box's log line.
#include "updater_os.h"

#include "error_box.h"
#include "log.h"
#include "print.h"

Updater_Os g_updater_os = platform_updater_os();

u64 ticks_from_unix_time(s64 seconds, s64 nanoseconds) {
    return (u64)(seconds * 10'000'000 + nanoseconds / 100 + UNIX_EPOCH_TICKS);
}

Unix_Time unix_time_from_ticks(u64 ticks) {
    s64 since_1970 = (s64)ticks - UNIX_EPOCH_TICKS;
    s64 seconds = since_1970 / 10'000'000;
    s64 rest = since_1970 % 10'000'000;
    if (rest < 0) {  // floor, so the nanoseconds stay positive before 1970
        rest += 10'000'000;
        seconds -= 1;
    }
    return {seconds, rest * 100};
}

String download_temporary_name(String name) { return tprint("%.download", name); }

void show_warning(String text) {
    log_error("%", text);
    g_updater_os.show_message_box(MESSAGE_BOX_CAPTION, text);
}
