// The HTTP library's start-up step: the libcurl procedure table and its names, and the
// loading of the library that travels inside the program. A library file left broken on
// disk (cut short by a full disk or a kill, an old version, an empty file) is written again
// from the embedded bytes once before the run gives up.
#include "http.h"

#include "assertions.h"
#include "embedded_files.h"
#include "error_box.h"
#include "log.h"
#include "os.h"
#include "updater_os.h"

Curl_Procedures curl;

const char *const CURL_PROCEDURE_NAMES[CURL_PROCEDURE_COUNT] = {
    "curl_strequal",
    "curl_strnequal",
    "curl_mime_init",
    "curl_mime_free",
    "curl_mime_addpart",
    "curl_mime_name",
    "curl_mime_filename",
    "curl_mime_type",
    "curl_mime_encoder",
    "curl_mime_data",
    "curl_mime_filedata",
    "curl_mime_data_cb",
    "curl_mime_subparts",
    "curl_mime_headers",
    "curl_formadd",
    "curl_formget",
    "curl_formfree",
    "curl_getenv",
    "curl_version",
    "curl_easy_escape",
    "curl_escape",
    "curl_easy_unescape",
    "curl_unescape",
    "curl_free",
    "curl_global_init",
    "curl_global_init_mem",
    "curl_global_cleanup",
    "curl_global_sslset",
    "curl_slist_append",
    "curl_slist_free_all",
    "curl_getdate",
    "curl_share_init",
    "curl_share_setopt",
    "curl_share_cleanup",
    "curl_version_info",
    "curl_easy_strerror",
    "curl_share_strerror",
    "curl_easy_pause",
    "curl_easy_init",
    "curl_easy_setopt",
    "curl_easy_perform",
    "curl_easy_cleanup",
    "curl_easy_getinfo",
    "curl_easy_duphandle",
    "curl_easy_reset",
    "curl_easy_recv",
    "curl_easy_send",
    "curl_easy_upkeep",
    "curl_multi_init",
    "curl_multi_add_handle",
    "curl_multi_remove_handle",
    "curl_multi_fdset",
    "curl_multi_wait",
    "curl_multi_poll",
    "curl_multi_wakeup",
    "curl_multi_perform",
    "curl_multi_cleanup",
    "curl_multi_info_read",
    "curl_multi_strerror",
    "curl_multi_socket",
    "curl_multi_socket_action",
    "curl_multi_socket_all",
    "curl_multi_timeout",
    "curl_multi_setopt",
    "curl_multi_assign",
    "curl_pushheader_bynum",
    "curl_pushheader_byname",
    "curl_url",
    "curl_url_cleanup",
    "curl_url_dup",
    "curl_url_get",
    "curl_url_set",
    "curl_url_strerror",
    "curl_easy_option_by_name",
    "curl_easy_option_by_id",
    "curl_easy_option_next",
    "curl_easy_header",
    "curl_easy_nextheader",
    "curl_ws_recv",
    "curl_ws_send",
    "curl_ws_meta",
    "curl_mprintf",
    "curl_mfprintf",
    "curl_msprintf",
    "curl_msnprintf",
    "curl_maprintf",
};

s64 resolve_curl_procedures(void *library, Find_Procedure find) {
    // Every slot of the table is one procedure pointer, in the order of the names.
    void **slots = (void **)&curl;
    for (s64 i = 0; i < CURL_PROCEDURE_COUNT; i++) {
        slots[i] = find(library, CURL_PROCEDURE_NAMES[i]);
        if (!slots[i]) return i;
    }
    return -1;
}

// The library's bytes written the safe way: a temporary file, flushed, renamed over the name.
static bool write_library(String name, String bytes) {
    File_Step replaced = replace_file_whole(name, bytes);
    if (!replaced.success) {
        log_error("Could not write % (%): code %, %", name, replaced.failed_step, replaced.error_code,
                  os_error_text(replaced.error_code));
    }
    return replaced.success;
}

struct Library_Try {
    void *library = nullptr;
    String error;      // why the load failed, as the loader says it
    s64 missing = -1;  // index of the first procedure the library lacks
};

static Library_Try try_load(String name) {
    Library_Try result;
    Library_Load loaded = g_updater_os.load_library(name);
    result.library = loaded.library;
    result.error = loaded.error;
    if (result.library) result.missing = resolve_curl_procedures(result.library, g_updater_os.find_procedure);
    return result;
}

void load_http_library() {
    String name = get_file_path(Libcurl);
    bool written = false;
    if (!g_updater_os.path_exists(name)) {
        // No such file: load_file hands out the embedded bytes.
        written = write_library(name, load_file(Libcurl).data);
        if (!written) display_error_with_os("Failed to write % as file.", name);
    }

    Library_Try loaded = try_load(name);
    if ((!loaded.library || loaded.missing >= 0) && !written) {
        if (!loaded.library) {
            log_error("% could not be loaded (%); writing it again from the embedded copy", name, loaded.error);
        } else {
            log_error("% has no procedure %; writing it again from the embedded copy", name,
                      CURL_PROCEDURE_NAMES[loaded.missing]);
            // NOTE: Windows keeps a loaded library's file locked; it must be let go before
            // the rename can replace it.
            g_updater_os.unload_library(loaded.library);
        }
        // Straight from the table: load_file would hand back the broken file itself.
        Embedded_File_Entry entry = embedded_files().table[Libcurl];
        String embedded((const char *)embedded_files().block + entry.offset, entry.count);
        if (write_library(name, embedded)) loaded = try_load(name);
    }

    if (!loaded.library) {
        display_error_with_os("Failed to load %. Error is %", name, loaded.error);
        assert_fatal(false, "Failed to load lib curl dll.");
    }
    if (loaded.missing >= 0) log_error("% has no procedure %", name, CURL_PROCEDURE_NAMES[loaded.missing]);
    assert_fatal(loaded.missing < 0);
}
