// The main thread's update run.
#include "update_run.h"

#include "assertions.h"
#include "download.h"
#include "embedded_files.h"
#include "error_box.h"
#include "http.h"
#include "log.h"
#include "os.h"
#include "release_check.h"
#include "update_counters.h"
#include "updater_os.h"
#include "updater_window.h"

constexpr const char *UPDATER_FILE = "korvane.exe";
constexpr const char *CLIENT_FILE = "client.exe";
constexpr const char *UPDATED_UPDATER_FILE = "korvane_updated.exe";
constexpr const char *VERSION_FILE = "version.data";
constexpr const char *INSTANCE_LOCK_FILE = "korvane.lock";
// Where Windows keeps the replaced updater's file until a later start deletes it.
constexpr const char *OLD_UPDATER_FILE = "korvane_old.exe";
#ifdef _WIN32
constexpr const char *CLIENT_START_PATH = ".\\client.exe";
#else
constexpr const char *CLIENT_START_PATH = "./client.exe";
#endif

static bool start_gui_thread() {
    if (start_updater_gui_thread({&download_bytes_total, &download_bytes_received, &updater_done})) return true;
    log_error("Could not start the progress window's thread; updating without it");
    return false;
}
bool (*start_progress_window)() = start_gui_thread;
Compiled_Release_Key (*update_release_key)() = compiled_release_key;

// A version.data that does not carry the release key's signature: nothing is fetched or
// started, as when the site cannot be reached; the error line says what was wrong.
static void refuse_unsigned_site(String file, String reason) {
    log_error("% is refused: %", file, reason);
    display_error_with_os("The update site's files are not signed by the game's release key. The game was not "
                          "updated or started; please try again later.");
}

UpdaterClientVersions local_identity() {
    UpdaterClientVersions record = {};
    Modtime_And_Size updater = file_modtime_and_size(UPDATER_FILE);
    if (updater.success) record.updater = make_file_identity(updater.write_time, updater.size);
    Modtime_And_Size client = file_modtime_and_size(CLIENT_FILE);
    if (client.success) record.client = make_file_identity(client.write_time, client.size);
    record.common_version = COMMON_VERSION;
    return record;
}

void start_client() {
    Process_Start started = g_updater_os.start_process(CLIENT_START_PATH);
    if (!started.success) display_error_with_os("Failed to start %. Error is %", CLIENT_FILE, started.error_code);
    updater_done = true;
}

static void set_download_time(String name, const UpdaterClientVersions::File &server_file) {
    Ticks_Result ticks = to_filetime(file_write_time(server_file));
    File_Time_Set set = g_updater_os.set_file_write_time(name, ticks.ticks);
    if (set.opened) assert_debug(set.set, "GetLastError %", set.error_code);
}

Download_Outcome fetch_and_store(String site_name, String file_name, const UpdaterClientVersions::File &server_file,
                                 bool have_server_record, const Release_Key *release_key,
                                 const UpdaterClientVersions::File *patch_from) {
    Download_Target target;
    target.site_name = site_name;
    target.file_name = file_name;
    target.entry = have_server_record ? &server_file : nullptr;
    target.release_key = release_key;
    target.patch_from = patch_from;
    Download_Outcome outcome = download_file(target);
    if (outcome == DOWNLOAD_STORED && have_server_record) set_download_time(file_name, server_file);
    return outcome;
}

bool put_new_updater_in_place() {
    File_Step moved = g_updater_os.put_in_place(UPDATED_UPDATER_FILE, UPDATER_FILE, OLD_UPDATER_FILE);
    if (!moved.success) {
        log_error("Could not put \"%\" in place of \"%\" (%): code %, %. The next start tries again.",
                  UPDATED_UPDATER_FILE, UPDATER_FILE, moved.failed_step, moved.error_code,
                  os_error_text(moved.error_code));
    }
    return moved.success;
}

void finish_earlier_self_update() {
    // A failed delete is no harm: the old program may still be running; a later start
    // deletes it.
    if (g_updater_os.path_exists(OLD_UPDATER_FILE)) g_updater_os.delete_file(OLD_UPDATER_FILE);
    if (g_updater_os.path_exists(UPDATED_UPDATER_FILE)) put_new_updater_in_place();
}

void run_update() {
    // One run per folder: a second one would write the same files (the library, the
    // downloads) under the first.
    Instance_Lock lock = g_updater_os.lock_instance(INSTANCE_LOCK_FILE);
    if (lock.held_elsewhere) {
        print("Another korvane.exe is already running in this folder; this one ends.\n");
        return;
    }
    if (!lock.acquired) {
        log_error("Could not lock %: code %, %; going on without it", INSTANCE_LOCK_FILE, lock.error_code,
                  os_error_text(lock.error_code));
    }

    load_http_library();
    curl.curl_global_init(CURL_GLOBAL_ALL);
    g_updater_os.prepare_process();

    // Before the identities are compared, so that an updater downloaded earlier counts.
    finish_earlier_self_update();
    UpdaterClientVersions ours = local_identity();
    print("Our version is %\n", ours);

    // With a release key the signature comes first, so the record's check needs no second
    // transfer; the record's body is the receive buffer's until the next http_get.
    Compiled_Release_Key release = update_release_key();
    Signature_Fetch version_signature;
    if (release.present) version_signature = fetch_signature(VERSION_FILE);

    String body = http_get(VERSION_FILE);
    if (release.present && body.count > 0) {
        u64 newest_accepted = read_newest_accepted_timestamp();
        Release_Check check = check_signed_file(release.key, version_signature, body, newest_accepted);
        if (!check.ok) {
            refuse_unsigned_site(VERSION_FILE, check.reason);
            print("Updater: finished");
            http_end();
            curl.curl_global_cleanup();
            return;
        }
        print("% is signed by the release key\n", VERSION_FILE);
        if (check.timestamp.found && check.timestamp.value > newest_accepted) {
            write_newest_accepted_timestamp(check.timestamp.value);
        }
    }
    UpdaterClientVersions server = {};
    bool have_server_record = false;
    if (body.count == 0) display_error_with_os("Received 0 count version from server");

    bool up_to_date = true;
    if (body.count == (s64)sizeof(UpdaterClientVersions)) {
        memcpy(&server, body.data, sizeof(server));
        have_server_record = true;
        print("Version on server is %\n", server);
        if (!memory_equals(&ours, &server, sizeof(server))) {
            up_to_date = false;
            print("Version mismatched our own\n");
        }
    } else {
        up_to_date = false;
        print("Version is invalid for being % bytes instead of %\n", body.count, (s64)sizeof(UpdaterClientVersions));
    }

    bool updater_written = false;
    bool client_in_use = false;
    bool window_running = false;
    if (up_to_date) {
        start_client();
        print("Starting game");
    } else {
        download_bytes_received = 0;
        download_bytes_total = download_size_of(server);
        window_running = start_progress_window();

        // With a release key every downloaded file must carry its signature.
        const Release_Key *release_key = release.present ? &release.key : nullptr;
        // A client that is here and differs from the record's may be patched instead of
        // downloaded whole.
        const UpdaterClientVersions::File no_file = {};
        bool patchable = have_server_record && !memory_equals(&ours.client, &no_file, sizeof(no_file)) &&
                         !memory_equals(&ours.client, &server.client, sizeof(server.client));
        Download_Outcome client = fetch_and_store(CLIENT_FILE, CLIENT_FILE, server.client, have_server_record,
                                                  release_key, patchable ? &ours.client : nullptr);
        if (client == DOWNLOAD_STORED) {
            print("Downloaded client");
            if (fetch_and_store(UPDATER_FILE, UPDATED_UPDATER_FILE, server.updater, have_server_record,
                                release_key) == DOWNLOAD_STORED) {
                print("Downloaded updater");
                updater_written = true;
                // Before the game starts: from then on the GUI thread may end the process.
                put_new_updater_in_place();
            }
            start_client();
        }
        // The player has been told that the game must be closed first; the general box
        // would only blame the server.
        client_in_use = client == DOWNLOAD_TARGET_IN_USE;
    }

    if (!up_to_date && !updater_written && !client_in_use) {
        display_error_with_os("Failed to download both client and updater. Perhaps the server is not up? Check if "
                              "you can go to '%' in your browser.",
                              update_site_host());
    }
    print("Updater: finished");
    http_end();
    curl.curl_global_cleanup();
    if (window_running) {
        // NOTE: returning from main would run the static destructors while the GUI thread may
        // still be drawing with them, and ending the process from here while that thread is
        // inside the window system's calls crashed it under Wine. The GUI thread ends the
        // process at the top of its next iteration; it is given ten seconds to get there.
        updater_done = true;
        for (s32 waited = 0; waited < 10'000; waited += 10) sleep_milliseconds(10);
        exit_process(0);
    }
}
