// HTTP transfers of the update run: the libcurl procedure table (the library is loaded at
// run time, never linked), one blocking GET whose body streams into a sink, the small
// files held in memory under a cap, retries, and the check of every libcurl result.
#pragma once

#include <source_location>

// Only the declarations are used, for the procedures' types.
#define CURL_DISABLE_DEPRECATION
#define CURL_DISABLE_TYPECHECK  // its checks are macros named like the procedures
#include <curl/curl.h>
#include <curl/mprintf.h>

#include "types.h"

// The libcurl procedures, in the order they are looked up by name. Filled once at start-up
// and read-only afterwards.
struct Curl_Procedures {
    decltype(&::curl_strequal) curl_strequal;
    decltype(&::curl_strnequal) curl_strnequal;
    decltype(&::curl_mime_init) curl_mime_init;
    decltype(&::curl_mime_free) curl_mime_free;
    decltype(&::curl_mime_addpart) curl_mime_addpart;
    decltype(&::curl_mime_name) curl_mime_name;
    decltype(&::curl_mime_filename) curl_mime_filename;
    decltype(&::curl_mime_type) curl_mime_type;
    decltype(&::curl_mime_encoder) curl_mime_encoder;
    decltype(&::curl_mime_data) curl_mime_data;
    decltype(&::curl_mime_filedata) curl_mime_filedata;
    decltype(&::curl_mime_data_cb) curl_mime_data_cb;
    decltype(&::curl_mime_subparts) curl_mime_subparts;
    decltype(&::curl_mime_headers) curl_mime_headers;
    decltype(&::curl_formadd) curl_formadd;
    decltype(&::curl_formget) curl_formget;
    decltype(&::curl_formfree) curl_formfree;
    decltype(&::curl_getenv) curl_getenv;
    decltype(&::curl_version) curl_version;
    decltype(&::curl_easy_escape) curl_easy_escape;
    decltype(&::curl_escape) curl_escape;
    decltype(&::curl_easy_unescape) curl_easy_unescape;
    decltype(&::curl_unescape) curl_unescape;
    decltype(&::curl_free) curl_free;
    decltype(&::curl_global_init) curl_global_init;
    decltype(&::curl_global_init_mem) curl_global_init_mem;
    decltype(&::curl_global_cleanup) curl_global_cleanup;
    decltype(&::curl_global_sslset) curl_global_sslset;
    decltype(&::curl_slist_append) curl_slist_append;
    decltype(&::curl_slist_free_all) curl_slist_free_all;
    decltype(&::curl_getdate) curl_getdate;
    decltype(&::curl_share_init) curl_share_init;
    decltype(&::curl_share_setopt) curl_share_setopt;
    decltype(&::curl_share_cleanup) curl_share_cleanup;
    decltype(&::curl_version_info) curl_version_info;
    decltype(&::curl_easy_strerror) curl_easy_strerror;
    decltype(&::curl_share_strerror) curl_share_strerror;
    decltype(&::curl_easy_pause) curl_easy_pause;
    decltype(&::curl_easy_init) curl_easy_init;
    decltype(&::curl_easy_setopt) curl_easy_setopt;
    decltype(&::curl_easy_perform) curl_easy_perform;
    decltype(&::curl_easy_cleanup) curl_easy_cleanup;
    decltype(&::curl_easy_getinfo) curl_easy_getinfo;
    decltype(&::curl_easy_duphandle) curl_easy_duphandle;
    decltype(&::curl_easy_reset) curl_easy_reset;
    decltype(&::curl_easy_recv) curl_easy_recv;
    decltype(&::curl_easy_send) curl_easy_send;
    decltype(&::curl_easy_upkeep) curl_easy_upkeep;
    decltype(&::curl_multi_init) curl_multi_init;
    decltype(&::curl_multi_add_handle) curl_multi_add_handle;
    decltype(&::curl_multi_remove_handle) curl_multi_remove_handle;
    decltype(&::curl_multi_fdset) curl_multi_fdset;
    decltype(&::curl_multi_wait) curl_multi_wait;
    decltype(&::curl_multi_poll) curl_multi_poll;
    decltype(&::curl_multi_wakeup) curl_multi_wakeup;
    decltype(&::curl_multi_perform) curl_multi_perform;
    decltype(&::curl_multi_cleanup) curl_multi_cleanup;
    decltype(&::curl_multi_info_read) curl_multi_info_read;
    decltype(&::curl_multi_strerror) curl_multi_strerror;
    decltype(&::curl_multi_socket) curl_multi_socket;
    decltype(&::curl_multi_socket_action) curl_multi_socket_action;
    decltype(&::curl_multi_socket_all) curl_multi_socket_all;
    decltype(&::curl_multi_timeout) curl_multi_timeout;
    decltype(&::curl_multi_setopt) curl_multi_setopt;
    decltype(&::curl_multi_assign) curl_multi_assign;
    decltype(&::curl_pushheader_bynum) curl_pushheader_bynum;
    decltype(&::curl_pushheader_byname) curl_pushheader_byname;
    decltype(&::curl_url) curl_url;
    decltype(&::curl_url_cleanup) curl_url_cleanup;
    decltype(&::curl_url_dup) curl_url_dup;
    decltype(&::curl_url_get) curl_url_get;
    decltype(&::curl_url_set) curl_url_set;
    decltype(&::curl_url_strerror) curl_url_strerror;
    decltype(&::curl_easy_option_by_name) curl_easy_option_by_name;
    decltype(&::curl_easy_option_by_id) curl_easy_option_by_id;
    decltype(&::curl_easy_option_next) curl_easy_option_next;
    decltype(&::curl_easy_header) curl_easy_header;
    decltype(&::curl_easy_nextheader) curl_easy_nextheader;
    decltype(&::curl_ws_recv) curl_ws_recv;
    decltype(&::curl_ws_send) curl_ws_send;
    decltype(&::curl_ws_meta) curl_ws_meta;
    decltype(&::curl_mprintf) curl_mprintf;
    decltype(&::curl_mfprintf) curl_mfprintf;
    decltype(&::curl_msprintf) curl_msprintf;
    decltype(&::curl_msnprintf) curl_msnprintf;
    decltype(&::curl_maprintf) curl_maprintf;
};

constexpr s64 CURL_PROCEDURE_COUNT = 86;
static_assert(sizeof(Curl_Procedures) == CURL_PROCEDURE_COUNT * sizeof(void *));
extern const char *const CURL_PROCEDURE_NAMES[CURL_PROCEDURE_COUNT];

extern Curl_Procedures curl;

// Writes the HTTP library beside the program when missing, loads it and fills the
// procedure table. Does not return when the library cannot be used.
void load_http_library();

using Find_Procedure = void *(*)(void *library, const char *name);
// Looks the names up in table order into `curl`; stops at the first one the library does
// not have and returns its index, or -1 when all were found.
s64 resolve_curl_procedures(void *library, Find_Procedure find);

// --- transfers ---

// The head of an answer, as far as a body's receiver needs it.
struct Response_Head {
    long status = 0;
    s64 content_length = -1;  // of this answer's body on the wire; -1 when not given
    s64 range_start = -1;     // the first byte a 206 answer carries ("Content-Range"); -1 without
};

// Where a body goes. libcurl's write callback hands each decoded chunk of a 200 or 206
// answer to `write`; `begin` (optional) sees the head once, before the first byte. Either
// returning false stops the transfer. Bodies of other answers are not handed over.
struct Body_Sink {
    bool (*begin)(void *user, const Response_Head &head) = nullptr;
    bool (*write)(void *user, const u8 *data, s64 count) = nullptr;
    void *user = nullptr;
};

struct Http_Request {
    String name;                // the file on the update site
    Body_Sink sink;
    s64 range_start = 0;        // > 0: ask for the bytes from here on
    s64 max_body = -1;          // an answer announcing a longer body fails at once; -1: no limit
    s64 time_limit_ms = 0;      // for the whole transfer; 0: none
    bool counts_progress = true;  // its bytes go to download_bytes_received
};

struct Http_Result {
    bool performed = false;     // the request was answered (any status)
    CURLcode code = CURLE_OK;   // of the first step that failed
    Response_Head head;
    bool stopped_by_sink = false;
};

// One blocking GET of base URL + "/" + name; prints the URL; libcurl failures print the
// "CURL failed" line. No box: the caller decides what a status means.
Http_Result http_transfer(const Http_Request &request);

// Failures worth another try: the network or the server may be back in a moment.
bool is_transient_failure(const Http_Result &result);

// Waits before the 1st, 2nd, 3rd retry: about 1, 2 and 4 s, each moved by up to a quarter
// either way so that many players cut off together do not all come back together.
constexpr s32 MAX_RETRIES = 3;
s32 retry_wait_milliseconds(s32 retry);

// The small files (version.data, signatures) are held in memory, never more than this.
constexpr s64 SMALL_FILE_CAP = 64 * 1024;
// The windowless start waits for version.data: it succeeds or fails within this, retries
// included.
constexpr s64 VERSION_TIME_LIMIT_MS = 30'000;

struct Small_Fetch {
    String body;           // valid until the next small fetch
    Http_Result result;    // of the last attempt
    bool too_large = false;
    bool success = false;  // status 200, complete, within the cap
};
// A small file into the process's small-body buffer, with retries of transient failures
// inside the time limit. Bytes past `cap` (at most SMALL_FILE_CAP) fail the fetch.
// counts_progress false: a file the progress bar does not count (a signature).
Small_Fetch fetch_small_file(String name, s64 cap, s64 time_limit_ms, bool counts_progress = true);

// The module's state: the transfers' libcurl handle, the small files' buffer and the retry
// waits' jitter.
struct Http_State {
    // Kept from one transfer to the next (its options reset each time): a run fetches four
    // to seven files from one site, and every new connection would cost a TCP and, on an
    // HTTPS site, a TLS handshake.
    CURL *handle = nullptr;
    u8 small_body[SMALL_FILE_CAP];
    s64 small_body_used = 0;
    u64 jitter_state = 0;
};
extern Http_State g_http;

// Closes the kept handle and its connection; before curl_global_cleanup.
void http_end();

// The update run's fetch of version.data: the body, or empty on any failure (a status
// other than 200 has been shown in a box).
String http_get(String name);

// False (and one printed line naming the code and the failing step) unless code is CURLE_OK.
bool ensure_curl(CURLcode code, std::source_location caller = std::source_location::current());

extern "C" size_t http_write_callback(char *data, size_t size, size_t count, void *user);
// libcurl's trace of a transfer: what it did ("* "), the headers sent ("> ") and received
// ("< "), one error line each, in the log; the bodies are left out.
extern "C" int http_trace_callback(CURL *handle, curl_infotype type, char *data, size_t size, void *user);

// The libcurl name of a result code without its CURLE_ prefix ("COULDNT_CONNECT"); the
// number as text for codes this build does not know.
String curl_code_name(CURLcode code);

// The build-time update site: "http://host[:port]" and its host alone.
String update_site_url();
String update_site_host();
String host_of_url(String url);
