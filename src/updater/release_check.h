// Checks of what the update site serves against the game's release key: the small fetch of
// a `.minisig` file, the verification of version.data with its rollback guard, and the
// state file that remembers the newest release accepted in this folder.
#pragma once

#include "minisign.h"
#include "types.h"

struct Signature_Fetch {
    Minisign_Signature signature;
    bool success = false;
    String reason;  // why there is no usable signature (names the file)
};
// GET of `<file_name>.minisig` through the small-file fetch (transient failures retried
// within 30 s), at most MINISIGN_SIGNATURE_FILE_MAX_BYTES, parsed. A missing file (any
// status but 200), a failed transfer, an oversized or malformed file is a refusal. Not
// counted by the progress bar; shows no box.
Signature_Fetch fetch_signature(String file_name);

struct Release_Check {
    bool ok = false;
    String reason;
    Signed_Timestamp timestamp;  // of the accepted signature
};
// The signature checked against `key` and `body`; when its trusted comment carries a
// timestamp, it must not be older than `newest_accepted` (an old release served again).
Release_Check check_signed_file(const Release_Key &key, const Signature_Fetch &fetched, String body,
                                u64 newest_accepted);

// The state file beside the updater: the newest signed timestamp of a version.data
// accepted here (0 when none was, or the file is unreadable).
constexpr const char *RELEASE_STATE_FILE = "korvane_release.state";
u64 read_newest_accepted_timestamp();
bool write_newest_accepted_timestamp(u64 timestamp);
