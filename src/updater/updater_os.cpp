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

File_Step replace_file_whole(String name, String data) {
    String temporary = download_temporary_name(name);
    // A temporary file left by a run that died is removed; the new one is made exclusively.
    File_Step removed = g_updater_os.remove_file(temporary);
    if (!removed.success) return removed;
    Download_Open opened = g_updater_os.open_download(temporary, false);
    if (!opened.step.success) return opened.step;
    File_Step step = g_updater_os.write_download(opened.handle, data);
    if (!step.success) {
        g_updater_os.close_download(opened.handle);
        g_updater_os.remove_file(temporary);
        return step;
    }
    step = g_updater_os.flush_and_close_download(opened.handle);
    if (step.success) step = g_updater_os.rename_into_place(temporary, name);
    if (!step.success) g_updater_os.remove_file(temporary);
    return step;
}
