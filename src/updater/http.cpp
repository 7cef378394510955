// HTTP GETs through the run-time loaded libcurl: bodies stream into a sink; small files
// land in one capped buffer; transient failures are retried.
#include <algorithm>
#include <charconv>

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

Http_State g_http;

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

// --- one transfer ---

// What the write callback works with during one transfer.
struct Transfer {
    CURL *handle = nullptr;
    const Http_Request *request = nullptr;
    Response_Head head;
    bool began = false;
    bool deliver = false;  // the answer's body goes to the sink (200 or 206)
    bool stopped = false;
};

static Response_Head read_head(CURL *handle) {
    Response_Head head;
    curl.curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &head.status);
    curl_off_t length = -1;
    if (curl.curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK) {
        head.content_length = length;
    }
    curl_header *range = nullptr;
    if (head.status == 206 &&
        curl.curl_easy_header(handle, "Content-Range", 0, CURLH_HEADER, -1, &range) == CURLHE_OK && range) {
        // "bytes FIRST-LAST/LENGTH"
        std::string_view value = range->value;
        if (value.starts_with("bytes ")) value.remove_prefix(6);
        s64 first = 0;
        auto parsed = std::from_chars(value.data(), value.data() + value.size(), first);
        if (parsed.ec == std::errc() && parsed.ptr < value.data() + value.size() && *parsed.ptr == '-') {
            head.range_start = first;
        }
    }
    return head;
}

static void begin_body(Transfer *transfer) {
    transfer->began = true;
    transfer->head = read_head(transfer->handle);
    long status = transfer->head.status;
    transfer->deliver = status == 200 || status == 206;
    const Body_Sink &sink = transfer->request->sink;
    if (transfer->deliver && sink.begin && !sink.begin(sink.user, transfer->head)) transfer->stopped = true;
}

extern "C" size_t http_write_callback(char *data, size_t size, size_t count, void *user) {
    Transfer *transfer = (Transfer *)user;
    size_t bytes = size * count;
    if (transfer->request->counts_progress) download_bytes_received.fetch_add((s64)bytes);
    if (!transfer->began) begin_body(transfer);
    if (transfer->stopped) return 0;
    if (!transfer->deliver) return bytes;  // an error page: read and dropped
    const Body_Sink &sink = transfer->request->sink;
    if (!sink.write(sink.user, (const u8 *)data, (s64)bytes)) {
        // NOTE: a short count makes libcurl fail the transfer with WRITE_ERROR at once.
        transfer->stopped = true;
        return 0;
    }
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

// Time-outs so that a server that accepts and then says nothing, or trickles, cannot hang
// the run: a body slower than 1 KiB/s for 30 s fails (and is retried, resuming).
constexpr long CONNECT_TIMEOUT_SECONDS = 10;
constexpr long LOW_SPEED_LIMIT_BYTES_PER_SECOND = 1024;
constexpr long LOW_SPEED_TIME_SECONDS = 30;
// NOTE: libcurl receives into a buffer of this size. Its default of 16 KiB means one
// receive call per 16 KiB, and under Wine every call, and every wait for the socket
// between calls, costs trips through the emulated socket layer: 2 MiB took a 256 MiB
// transfer there from about 0.5 s to about 0.4 s against 512 KiB (libcurl takes up to
// 10 MiB).
constexpr long RECEIVE_BUFFER_BYTES = 2 * 1024 * 1024;

// Runs one libcurl step; remembers the first failure, prints its line and skips the rest.
struct Curl_Chain {
    CURLcode code = CURLE_OK;
    bool step(CURLcode result, std::source_location caller = std::source_location::current()) {
        if (code != CURLE_OK) return false;
        if (!ensure_curl(result, caller)) {
            code = result;
            return false;
        }
        return true;
    }
};

Http_Result http_transfer(const Http_Request &request) {
    String url = tprint("%/%", update_site_url(), request.name);
    print("%\n", url);

    Http_Result result;
    if (g_http.handle) {
        // Every option back to its default; the connection and the name cache stay.
        curl.curl_easy_reset(g_http.handle);
    } else {
        g_http.handle = curl.curl_easy_init();
        if (!assert_debug(g_http.handle != nullptr)) {
            result.code = CURLE_FAILED_INIT;
            return result;
        }
    }
    CURL *handle = g_http.handle;
    Transfer transfer;
    transfer.handle = handle;
    transfer.request = &request;

    Curl_Chain chain;
    chain.step(curl.curl_easy_setopt(handle, CURLOPT_URL, temp_c_string(url)));
    chain.step(curl.curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L));
    // The update site is HTTP or HTTPS; nothing else libcurl can speak is ever let in.
    chain.step(curl.curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https"));
    if (request.range_start > 0) {
        // A range counts bytes of the stored file: ask for them as they are, not encoded.
        chain.step(curl.curl_easy_setopt(handle, CURLOPT_RANGE, temp_c_string(tprint("%-", request.range_start))));
    } else {
        chain.step(curl.curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, ""));
    }
    chain.step(curl.curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L));
    chain.step(curl.curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, &http_trace_callback));
    chain.step(curl.curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &http_write_callback));
    chain.step(curl.curl_easy_setopt(handle, CURLOPT_WRITEDATA, (void *)&transfer));
    chain.step(curl.curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, RECEIVE_BUFFER_BYTES));
    chain.step(curl.curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, CONNECT_TIMEOUT_SECONDS));
    chain.step(curl.curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, LOW_SPEED_LIMIT_BYTES_PER_SECOND));
    chain.step(curl.curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, LOW_SPEED_TIME_SECONDS));
    if (request.time_limit_ms > 0) chain.step(curl.curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, (long)request.time_limit_ms));
    if (request.max_body >= 0) {
        chain.step(curl.curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, (curl_off_t)request.max_body));
    }
    if (chain.step(curl.curl_easy_perform(handle))) {
        result.performed = true;
        // An answer without a body never reached the callback.
        if (!transfer.began) begin_body(&transfer);
    } else if (transfer.began) {
        result.head = transfer.head;  // how far it got, for the caller's decision
    }
    if (result.performed) result.head = transfer.head;
    result.code = chain.code;
    result.stopped_by_sink = transfer.stopped;
    return result;
}

void http_end() {
    if (g_http.handle) curl.curl_easy_cleanup(g_http.handle);
    g_http.handle = nullptr;
}

bool is_transient_failure(const Http_Result &result) {
    if (result.performed) {
        long status = result.head.status;
        return status >= 500 || status == 408 || status == 429;
    }
    if (result.stopped_by_sink) return false;
    switch (result.code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return true;
    default:
        return false;
    }
}

s32 retry_wait_milliseconds(s32 retry) {
    s32 base = 1000 << std::clamp(retry - 1, 0, 2);
    // xorshift over a seed taken from the clock: the jitter need not be unpredictable,
    // only different between players.
    u64 &state = g_http.jitter_state;
    if (state == 0) state = (u64)(seconds_since_init() * 1e9) * 0x9E3779B97F4A7C15ull | 1;
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    s32 quarter = base / 4;
    return base - quarter + (s32)(state % (u64)(2 * quarter + 1));
}

// --- small files in memory ---

struct Small_Sink {
    s64 cap = 0;
    bool too_large = false;
};

static bool small_body_write(void *user, const u8 *data, s64 count) {
    Small_Sink *sink = (Small_Sink *)user;
    if (count > sink->cap - g_http.small_body_used) {
        sink->too_large = true;
        return false;
    }
    memcpy(g_http.small_body + g_http.small_body_used, data, (size_t)count);
    g_http.small_body_used += count;
    return true;
}

static bool small_body_begin(void *, const Response_Head &) {
    g_http.small_body_used = 0;  // a retry starts the body again
    return true;
}

Small_Fetch fetch_small_file(String name, s64 cap, s64 time_limit_ms, bool counts_progress) {
    f64 deadline = seconds_since_init() + (f64)time_limit_ms / 1000.0;
    Small_Fetch fetch;
    for (s32 attempt = 0;; attempt++) {
        g_http.small_body_used = 0;
        Small_Sink sink;
        sink.cap = std::min<s64>(cap, SMALL_FILE_CAP);
        Http_Request request;
        request.name = name;
        request.sink.begin = small_body_begin;
        request.sink.write = small_body_write;
        request.sink.user = &sink;
        request.max_body = sink.cap;
        request.counts_progress = counts_progress;
        s64 left_ms = (s64)((deadline - seconds_since_init()) * 1000.0);
        request.time_limit_ms = std::max<s64>(left_ms, 1);
        fetch.result = http_transfer(request);

        if (sink.too_large || fetch.result.code == CURLE_FILESIZE_EXCEEDED) {
            fetch.too_large = true;
            log_error("% is larger than the % bytes it may have", name, sink.cap);
            return fetch;
        }
        if (fetch.result.performed && fetch.result.head.status == 200) {
            fetch.body = String((const char *)g_http.small_body, g_http.small_body_used);
            fetch.success = true;
            return fetch;
        }
        if (attempt >= MAX_RETRIES || !is_transient_failure(fetch.result)) return fetch;
        s32 wait = retry_wait_milliseconds(attempt + 1);
        if (seconds_since_init() + wait / 1000.0 >= deadline) return fetch;
        print("Trying % again in % ms\n", name, (s64)wait);
        g_updater_os.sleep_milliseconds(wait);
    }
}

String http_get(String name) {
    Small_Fetch fetch = fetch_small_file(name, SMALL_FILE_CAP, VERSION_TIME_LIMIT_MS);
    if (fetch.result.performed && fetch.result.head.status != 200) {
        display_error_with_os("We asked the website for '%' and it failed with code %",
                              tprint("%/%", update_site_url(), name), (s64)fetch.result.head.status);
    }
    return fetch.success ? fetch.body : String();
}
