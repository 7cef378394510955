// korvane.exe: the launcher and updater of the game.
#include <chrono>
#include <cstdio>

#include "log.h"
#include "os.h"
#include "update_run.h"

constexpr const char *LOG_FILE = "korvane.log";
constexpr const char *PREVIOUS_LOG_FILE = "korvane_previous.log";
constexpr s64 LOG_FILE_ROTATE_BYTES = 1 << 20;

// A line in the log file alone, so that support can tell one run from the next.
// NOTE: the time is worked out from the clock alone: the C library's gmtime and strftime
// set up the local time zone first, which read /etc/localtime on Linux and took about
// 10 ms of every start under Wine.
static void write_log_heading() {
    using namespace std::chrono;
    auto now = floor<seconds>(system_clock::now());
    auto day = floor<days>(now);
    year_month_day date{day};
    hh_mm_ss time{now - day};
    char when[32];
    snprintf(when, sizeof(when), "%04d-%02u-%02u %02d:%02d:%02d", (int)date.year(), (unsigned)date.month(),
             (unsigned)date.day(), (int)time.hours().count(), (int)time.minutes().count(),
             (int)time.seconds().count());
    write_log_file_heading(tprint("--- korvane.exe started % UTC in %", String(when), get_working_directory()));
}

int main() {
    // Every file the updater reads and writes is named relative to its own folder, however
    // it was started (a shortcut without a start folder, a terminal elsewhere).
    String folder = executable_folder();
    s64 folder_error = folder.count ? set_working_directory(folder) : -1;

    s64 log_error_code = open_log_file(LOG_FILE, PREVIOUS_LOG_FILE, LOG_FILE_ROTATE_BYTES);
    write_log_heading();
    if (folder_error) {
        log_error("Could not make the program's folder \"%\" the working folder: code %, %", folder, folder_error,
                  folder_error > 0 ? os_error_text(folder_error) : String("the system did not name it"));
    }
    if (log_error_code) {
        log_error("Could not open \"%\": code %, %", LOG_FILE, log_error_code, os_error_text(log_error_code));
    }

    run_update();
    // NOTE: ended here rather than by returning: what the libraries registered to run at
    // exit (on Linux OpenSSL's clean-up of its tables, about 0.5 million instructions) frees
    // memory the system takes back anyway, on the path every player takes on every start.
    exit_process(0);
}
