// One blocking HTTP GET through the run-time loaded libcurl, into the receive buffer.
#include "http.h"

#include "assertions.h"
#include "embedded_files.h"
#include "error_box.h"
#include "log.h"
#include "os.h"
#include "temporary_storage.h"
#include "update_counters.h"
#include "updater_os.h"

#ifndef KORVANE_UPDATE_URL
#error "KORVANE_UPDATE_URL must name the update site (set by the build)"
#endif

Curl_Procedures curl;
Download_Buffer download_buffer;

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

String curl_code_name(CURLcode code) {
    switch (code) {
    case CURLE_OK: return "OK";
    case CURLE_UNSUPPORTED_PROTOCOL: return "UNSUPPORTED_PROTOCOL";
    case CURLE_FAILED_INIT: return "FAILED_INIT";
    case CURLE_URL_MALFORMAT: return "URL_MALFORMAT";
    case CURLE_NOT_BUILT_IN: return "NOT_BUILT_IN";
    case CURLE_COULDNT_RESOLVE_PROXY: return "COULDNT_RESOLVE_PROXY";
    case CURLE_COULDNT_RESOLVE_HOST: return "COULDNT_RESOLVE_HOST";
    case CURLE_COULDNT_CONNECT: return "COULDNT_CONNECT";
    case CURLE_WEIRD_SERVER_REPLY: return "WEIRD_SERVER_REPLY";
    case CURLE_REMOTE_ACCESS_DENIED: return "REMOTE_ACCESS_DENIED";
    case CURLE_FTP_ACCEPT_FAILED: return "FTP_ACCEPT_FAILED";
    case CURLE_FTP_WEIRD_PASS_REPLY: return "FTP_WEIRD_PASS_REPLY";
    case CURLE_FTP_ACCEPT_TIMEOUT: return "FTP_ACCEPT_TIMEOUT";
    case CURLE_FTP_WEIRD_PASV_REPLY: return "FTP_WEIRD_PASV_REPLY";
    case CURLE_FTP_WEIRD_227_FORMAT: return "FTP_WEIRD_227_FORMAT";
    case CURLE_FTP_CANT_GET_HOST: return "FTP_CANT_GET_HOST";
    case CURLE_HTTP2: return "HTTP2";
    case CURLE_FTP_COULDNT_SET_TYPE: return "FTP_COULDNT_SET_TYPE";
    case CURLE_PARTIAL_FILE: return "PARTIAL_FILE";
    case CURLE_FTP_COULDNT_RETR_FILE: return "FTP_COULDNT_RETR_FILE";
    case CURLE_OBSOLETE20: return "OBSOLETE20";
    case CURLE_QUOTE_ERROR: return "QUOTE_ERROR";
    case CURLE_HTTP_RETURNED_ERROR: return "HTTP_RETURNED_ERROR";
    case CURLE_WRITE_ERROR: return "WRITE_ERROR";
    case CURLE_OBSOLETE24: return "OBSOLETE24";
    case CURLE_UPLOAD_FAILED: return "UPLOAD_FAILED";
    case CURLE_READ_ERROR: return "READ_ERROR";
    case CURLE_OUT_OF_MEMORY: return "OUT_OF_MEMORY";
    case CURLE_OPERATION_TIMEDOUT: return "OPERATION_TIMEDOUT";
    case CURLE_OBSOLETE29: return "OBSOLETE29";
    case CURLE_FTP_PORT_FAILED: return "FTP_PORT_FAILED";
    case CURLE_FTP_COULDNT_USE_REST: return "FTP_COULDNT_USE_REST";
    case CURLE_OBSOLETE32: return "OBSOLETE32";
    case CURLE_RANGE_ERROR: return "RANGE_ERROR";
    case CURLE_HTTP_POST_ERROR: return "HTTP_POST_ERROR";
    case CURLE_SSL_CONNECT_ERROR: return "SSL_CONNECT_ERROR";
    case CURLE_BAD_DOWNLOAD_RESUME: return "BAD_DOWNLOAD_RESUME";
    case CURLE_FILE_COULDNT_READ_FILE: return "FILE_COULDNT_READ_FILE";
    case CURLE_LDAP_CANNOT_BIND: return "LDAP_CANNOT_BIND";
    case CURLE_LDAP_SEARCH_FAILED: return "LDAP_SEARCH_FAILED";
    case CURLE_OBSOLETE40: return "OBSOLETE40";
    case CURLE_FUNCTION_NOT_FOUND: return "FUNCTION_NOT_FOUND";
    case CURLE_ABORTED_BY_CALLBACK: return "ABORTED_BY_CALLBACK";
    case CURLE_BAD_FUNCTION_ARGUMENT: return "BAD_FUNCTION_ARGUMENT";
    case CURLE_OBSOLETE44: return "OBSOLETE44";
    case CURLE_INTERFACE_FAILED: return "INTERFACE_FAILED";
    case CURLE_OBSOLETE46: return "OBSOLETE46";
    case CURLE_TOO_MANY_REDIRECTS: return "TOO_MANY_REDIRECTS";
    case CURLE_UNKNOWN_OPTION: return "UNKNOWN_OPTION";
    case CURLE_SETOPT_OPTION_SYNTAX: return "SETOPT_OPTION_SYNTAX";
    case CURLE_OBSOLETE50: return "OBSOLETE50";
    case CURLE_OBSOLETE51: return "OBSOLETE51";
    case CURLE_GOT_NOTHING: return "GOT_NOTHING";
    case CURLE_SSL_ENGINE_NOTFOUND: return "SSL_ENGINE_NOTFOUND";
    case CURLE_SSL_ENGINE_SETFAILED: return "SSL_ENGINE_SETFAILED";
    case CURLE_SEND_ERROR: return "SEND_ERROR";
    case CURLE_RECV_ERROR: return "RECV_ERROR";
    case CURLE_OBSOLETE57: return "OBSOLETE57";
    case CURLE_SSL_CERTPROBLEM: return "SSL_CERTPROBLEM";
    case CURLE_SSL_CIPHER: return "SSL_CIPHER";
    case CURLE_PEER_FAILED_VERIFICATION: return "PEER_FAILED_VERIFICATION";
    case CURLE_BAD_CONTENT_ENCODING: return "BAD_CONTENT_ENCODING";
    case CURLE_OBSOLETE62: return "OBSOLETE62";
    case CURLE_FILESIZE_EXCEEDED: return "FILESIZE_EXCEEDED";
    case CURLE_USE_SSL_FAILED: return "USE_SSL_FAILED";
    case CURLE_SEND_FAIL_REWIND: return "SEND_FAIL_REWIND";
    case CURLE_SSL_ENGINE_INITFAILED: return "SSL_ENGINE_INITFAILED";
    case CURLE_LOGIN_DENIED: return "LOGIN_DENIED";
    case CURLE_TFTP_NOTFOUND: return "TFTP_NOTFOUND";
    case CURLE_TFTP_PERM: return "TFTP_PERM";
    case CURLE_REMOTE_DISK_FULL: return "REMOTE_DISK_FULL";
    case CURLE_TFTP_ILLEGAL: return "TFTP_ILLEGAL";
    case CURLE_TFTP_UNKNOWNID: return "TFTP_UNKNOWNID";
    case CURLE_REMOTE_FILE_EXISTS: return "REMOTE_FILE_EXISTS";
    case CURLE_TFTP_NOSUCHUSER: return "TFTP_NOSUCHUSER";
    case CURLE_OBSOLETE75: return "OBSOLETE75";
    case CURLE_OBSOLETE76: return "OBSOLETE76";
    case CURLE_SSL_CACERT_BADFILE: return "SSL_CACERT_BADFILE";
    case CURLE_REMOTE_FILE_NOT_FOUND: return "REMOTE_FILE_NOT_FOUND";
    case CURLE_SSH: return "SSH";
    case CURLE_SSL_SHUTDOWN_FAILED: return "SSL_SHUTDOWN_FAILED";
    case CURLE_AGAIN: return "AGAIN";
    case CURLE_SSL_CRL_BADFILE: return "SSL_CRL_BADFILE";
    case CURLE_SSL_ISSUER_ERROR: return "SSL_ISSUER_ERROR";
    case CURLE_FTP_PRET_FAILED: return "FTP_PRET_FAILED";
    case CURLE_RTSP_CSEQ_ERROR: return "RTSP_CSEQ_ERROR";
    case CURLE_RTSP_SESSION_ERROR: return "RTSP_SESSION_ERROR";
    case CURLE_FTP_BAD_FILE_LIST: return "FTP_BAD_FILE_LIST";
    case CURLE_CHUNK_FAILED: return "CHUNK_FAILED";
    case CURLE_NO_CONNECTION_AVAILABLE: return "NO_CONNECTION_AVAILABLE";
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH: return "SSL_PINNEDPUBKEYNOTMATCH";
    case CURLE_SSL_INVALIDCERTSTATUS: return "SSL_INVALIDCERTSTATUS";
    case CURLE_HTTP2_STREAM: return "HTTP2_STREAM";
    case CURLE_RECURSIVE_API_CALL: return "RECURSIVE_API_CALL";
    case CURLE_AUTH_ERROR: return "AUTH_ERROR";
    case CURLE_HTTP3: return "HTTP3";
    case CURLE_QUIC_CONNECT_ERROR: return "QUIC_CONNECT_ERROR";
    case CURLE_PROXY: return "PROXY";
    case CURLE_SSL_CLIENTCERT: return "SSL_CLIENTCERT";
    case CURLE_UNRECOVERABLE_POLL: return "UNRECOVERABLE_POLL";
    default: return tprint("%", (s64)code);
    }
}

String update_site_url() { return KORVANE_UPDATE_URL; }

String host_of_url(String url) {
    std::string_view rest = url.view();
    size_t scheme = rest.find("://");
    if (scheme != std::string_view::npos) rest.remove_prefix(scheme + 3);
    size_t end = rest.find_first_of(":/");
    if (end != std::string_view::npos) rest = rest.substr(0, end);
    return String(rest);
}

String update_site_host() { return host_of_url(update_site_url()); }

bool ensure_curl(CURLcode code, std::source_location caller) {
    if (code == CURLE_OK) return true;
    print("CURL failed with code % at caller %\n", curl_code_name(code), temp_location_text(caller));
    return false;
}

extern "C" size_t http_write_callback(char *data, size_t size, size_t count, void *) {
    size_t bytes = size * count;
    // NOTE: a body that does not fit is refused whole-chunk; libcurl then fails the
    // transfer with a write error instead of us writing past the buffer.
    if (bytes > (size_t)(download_buffer.capacity - download_buffer.used)) return 0;
    memcpy(download_buffer.data + download_buffer.used, data, bytes);
    download_buffer.used += (s64)bytes;
    download_bytes_received.fetch_add((s64)bytes);
    return bytes;
}

// NOTE: libcurl's own trace would go to the C library's standard error of libcurl itself:
// nothing for a windowed program on Windows, and beside our log lock. Through here each
// line goes where our lines go (standard error and korvane.log), whole. The bodies are left
// out; what libcurl did and the headers both ways is what tells a failed download apart.
extern "C" int http_trace_callback(CURL *, curl_infotype type, char *data, size_t size, void *) {
    const char *prefix = nullptr;
    if (type == CURLINFO_TEXT) prefix = "* ";
    if (type == CURLINFO_HEADER_IN) prefix = "< ";
    if (type == CURLINFO_HEADER_OUT) prefix = "> ";
    if (!prefix) return 0;

    String_Builder lines;
    s64 start = 0;
    for (s64 i = 0; i <= (s64)size; i++) {
        if (i < (s64)size && data[i] != '\n') continue;
        s64 end = i;
        if (end > start && data[end - 1] == '\r') end--;
        if (i < (s64)size || end > start) {
            append(&lines, prefix);
            append(&lines, String(data + start, end - start));
            append(&lines, '\n');
        }
        start = i + 1;
    }
    write_locked(Log_Stream::STANDARD_ERROR, lines.string());
    return 0;
}

static bool ensure_download_buffer() {
    if (download_buffer.data) return true;
    download_buffer.data = (u8 *)g_updater_os.reserve_memory(DOWNLOAD_BUFFER_CAPACITY);
    if (!download_buffer.data) {
        s64 code = g_updater_os.last_error();
        log_error("Could not reserve % bytes for downloads: code %, %", DOWNLOAD_BUFFER_CAPACITY, code,
                  os_error_text(code));
        return false;
    }
    download_buffer.capacity = DOWNLOAD_BUFFER_CAPACITY;
    return true;
}

// Time-outs so that a server that accepts and then says nothing cannot hang the run.
constexpr long CONNECT_TIMEOUT_SECONDS = 10;
constexpr long LOW_SPEED_LIMIT_BYTES_PER_SECOND = 1;
constexpr long LOW_SPEED_TIME_SECONDS = 30;

String http_get(String name) {
    String url = tprint("%/%", update_site_url(), name);
    print("%\n", url);

    download_buffer.used = 0;
    if (!ensure_download_buffer()) return {};

    CURL *handle = curl.curl_easy_init();
    String result;
    if (assert_debug(handle != nullptr)) {
        long status = 0;
        bool ok = ensure_curl(curl.curl_easy_setopt(handle, CURLOPT_URL, temp_c_string(url))) &&
                  ensure_curl(curl.curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L)) &&
                  ensure_curl(curl.curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "")) &&
                  ensure_curl(curl.curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L)) &&
                  ensure_curl(curl.curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, &http_trace_callback)) &&
                  ensure_curl(curl.curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &http_write_callback)) &&
                  ensure_curl(curl.curl_easy_setopt(handle, CURLOPT_WRITEDATA, (void *)nullptr)) &&
                  ensure_curl(curl.curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, CONNECT_TIMEOUT_SECONDS)) &&
                  ensure_curl(curl.curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, LOW_SPEED_LIMIT_BYTES_PER_SECOND)) &&
                  ensure_curl(curl.curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, LOW_SPEED_TIME_SECONDS)) &&
                  ensure_curl(curl.curl_easy_perform(handle)) &&
                  ensure_curl(curl.curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status));
        if (ok) {
            result = String((const char *)download_buffer.data, download_buffer.used);
            if (status != 200) {
                display_error_with_os("We asked the website for '%' and it failed with code %", url, (s64)status);
                result = {};
            }
        }
    }
    curl.curl_easy_cleanup(handle);
    return result;
}

void load_http_library() {
    String name = get_file_path(Libcurl);
    if (!g_updater_os.path_exists(name)) {
        Loaded_File data = load_file(Libcurl);
        if (!g_updater_os.write_file(name, data.data)) {
            display_error_with_os("Failed to write % as file.", name);
        }
    }

    void *library = g_updater_os.load_library(name);
    if (!library) {
        display_error_with_os("Failed to load %. Error is %", name, g_updater_os.last_error());
        assert_fatal(false, "Failed to load lib curl dll.");
    }

    s64 missing = resolve_curl_procedures(library, g_updater_os.find_procedure);
    if (missing >= 0) log_error("% has no procedure %", name, CURL_PROCEDURE_NAMES[missing]);
    assert_fatal(missing < 0);
}
