// The release checks of the update run. The `.minisig` transfer is one small GET of its own
// (not the download path's buffer), capped so a hostile site cannot make it large.
#include "release_check.h"

#include <charconv>
#include <cstdlib>

#include "http.h"
#include "log.h"
#include "os.h"
#include "temporary_storage.h"
#include "updater_os.h"

namespace {

// One small transfer at a time, on the main thread.
struct Small_Fetch_State {
    char bytes[MINISIGN_SIGNATURE_FILE_MAX_BYTES];
    s64 used = 0;
    bool too_large = false;
};
Small_Fetch_State g_small_fetch;

constexpr long SMALL_FETCH_CONNECT_TIMEOUT_SECONDS = 10;
constexpr long SMALL_FETCH_TIMEOUT_SECONDS = 30;

extern "C" size_t small_fetch_write(char *data, size_t size, size_t count, void *) {
    size_t bytes = size * count;
    if (bytes > (size_t)(MINISIGN_SIGNATURE_FILE_MAX_BYTES - g_small_fetch.used)) {
        // NOTE: a short count makes libcurl stop the transfer at once with a write error.
        g_small_fetch.too_large = true;
        return 0;
    }
    memcpy(g_small_fetch.bytes + g_small_fetch.used, data, bytes);
    g_small_fetch.used += (s64)bytes;
    return bytes;
}

}  // namespace

Signature_Fetch fetch_signature(String file_name) {
    Signature_Fetch result;
    String name = tprint("%.minisig", file_name);
    String url = tprint("%/%", update_site_url(), name);
    print("%\n", url);
    g_small_fetch.used = 0;
    g_small_fetch.too_large = false;

    CURL *handle = curl.curl_easy_init();
    if (!handle) {
        result.reason = tprint("could not fetch %: no transfer handle", name);
        return result;
    }
    long status = 0;
    CURLcode code = curl.curl_easy_setopt(handle, CURLOPT_URL, temp_c_string(url));
    if (code == CURLE_OK) code = curl.curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    if (code == CURLE_OK) code = curl.curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &small_fetch_write);
    if (code == CURLE_OK) code = curl.curl_easy_setopt(handle, CURLOPT_WRITEDATA, (void *)nullptr);
    if (code == CURLE_OK) code = curl.curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, SMALL_FETCH_CONNECT_TIMEOUT_SECONDS);
    if (code == CURLE_OK) code = curl.curl_easy_setopt(handle, CURLOPT_TIMEOUT, SMALL_FETCH_TIMEOUT_SECONDS);
    if (code == CURLE_OK) code = curl.curl_easy_perform(handle);
    if (code == CURLE_OK) code = curl.curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    curl.curl_easy_cleanup(handle);

    if (g_small_fetch.too_large) {
        result.reason = tprint("% is larger than % bytes", name, MINISIGN_SIGNATURE_FILE_MAX_BYTES);
    } else if (code != CURLE_OK) {
        result.reason = tprint("could not fetch %: CURL code %", name, curl_code_name(code));
    } else if (status != 200) {
        result.reason = tprint("the update site has no % (HTTP status %)", name, (s64)status);
    } else {
        Signature_Parse parsed = parse_signature(String(g_small_fetch.bytes, g_small_fetch.used));
        if (!parsed.success) {
            result.reason = tprint("% is not a minisign signature: %", name, parsed.error);
        } else {
            result.signature = parsed.signature;
            result.success = true;
        }
    }
    return result;
}

Release_Check check_signed_file(const Release_Key &key, const Signature_Fetch &fetched, String body,
                                u64 newest_accepted) {
    Release_Check result;
    if (!fetched.success) {
        result.reason = fetched.reason;
        return result;
    }
    Minisign_Check check = minisign_verify(key, fetched.signature, body);
    if (!check.ok) {
        result.reason = check.reason;
        return result;
    }
    result.timestamp = trusted_timestamp(String(std::string_view(fetched.signature.trusted_comment)));
    if (result.timestamp.found && result.timestamp.value < newest_accepted) {
        result.reason = tprint("signed at timestamp %, older than the release already accepted here (timestamp %)",
                               result.timestamp.value, newest_accepted);
        return result;
    }
    result.ok = true;
    return result;
}

u64 read_newest_accepted_timestamp() {
    // A decimal u64 and a line end; anything longer is not a state file of ours.
    u8 buffer[32];
    s64 count = g_updater_os.read_small_file(RELEASE_STATE_FILE, buffer, (s64)sizeof(buffer));
    if (count < 0) return 0;  // none yet: nothing accepted here
    std::string_view text((const char *)buffer, (size_t)count);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    u64 value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    bool valid = count < (s64)sizeof(buffer) && !text.empty() && error == std::errc() && end == text.data() + text.size();
    if (!valid) {
        // Losing the guard is better than never updating again; the next accepted release
        // writes the file anew.
        log_error("% is unreadable; any signed release is accepted", RELEASE_STATE_FILE);
        return 0;
    }
    return value;
}

bool write_newest_accepted_timestamp(u64 timestamp) {
    File_Step replaced = replace_file_whole(RELEASE_STATE_FILE, tprint("%\n", timestamp));
    if (!replaced.success) {
        log_error("Could not write % (%): code %, %", RELEASE_STATE_FILE, replaced.failed_step, replaced.error_code,
                  os_error_text(replaced.error_code));
    }
    return replaced.success;
}
