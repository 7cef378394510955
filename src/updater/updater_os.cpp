// The platform-neutral pieces of the operating-system layer: the table itself, the
// time conversions of the Linux file system, the warning box's log line.
#include "updater_os.h"

#include "error_box.h"
#include "log.h"
#include "print.h"

Updater_Os g_updater_os = platform_updater_os();

String download_temporary_name(String name) { return tprint("%.download", name); }

void show_warning(String text) {
    log_error("%", text);
    g_updater_os.show_message_box(MESSAGE_BOX_CAPTION, text);
}
