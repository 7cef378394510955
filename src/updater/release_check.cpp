// The release checks of the update run. A `.minisig` file comes through the small-file
// fetch, capped so a hostile site cannot make it large.
#include "release_check.h"

#include <charconv>
#include <cstdlib>

#include "http.h"
#include "log.h"
#include "os.h"
#include "temporary_storage.h"
#include "updater_os.h"

// The same patience as for version.data: the player is waiting either way.
constexpr s64 SIGNATURE_TIME_LIMIT_MS = 30'000;

Signature_Fetch fetch_signature(String file_name) {
    Signature_Fetch result;
    String name = tprint("%.minisig", file_name);
    // NOTE: not counted by the progress bar, whose total holds only the files themselves.
    Small_Fetch fetch = fetch_small_file(name, MINISIGN_SIGNATURE_FILE_MAX_BYTES, SIGNATURE_TIME_LIMIT_MS, false);
    if (fetch.too_large) {
        result.reason = tprint("% is larger than % bytes", name, MINISIGN_SIGNATURE_FILE_MAX_BYTES);
    } else if (!fetch.result.performed) {
        result.reason = tprint("could not fetch %: CURL code %", name, curl_code_name(fetch.result.code));
    } else if (fetch.result.head.status != 200) {
        result.reason = tprint("the update site has no % (HTTP status %)", name, (s64)fetch.result.head.status);
    } else if (!fetch.success) {
        result.reason = tprint("could not fetch %: CURL code %", name, curl_code_name(fetch.result.code));
    } else {
        Signature_Parse parsed = parse_signature(fetch.body);
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
