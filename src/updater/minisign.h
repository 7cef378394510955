// Release signatures in the minisign formats: the public-key file that `minisign -G` writes,
// the `.minisig` file that `minisign -S` writes (prehashed or legacy), and their check with
// libsodium's Ed25519 and BLAKE2b. The parsers take outside bytes and refuse anything that
// is not exactly the format, with a reason a publisher can act on.
#pragma once

#include <string>

#include "types.h"

constexpr s64 MINISIGN_KEY_ID_BYTES = 8;
constexpr s64 MINISIGN_PUBLIC_KEY_BYTES = 32;
constexpr s64 MINISIGN_SIGNATURE_BYTES = 64;
// A signature file is four short lines; anything larger is not one (and is never fetched whole).
constexpr s64 MINISIGN_SIGNATURE_FILE_MAX_BYTES = 4096;

struct Release_Key {
    u64 key_id = 0;  // the 8 bytes of the file, little-endian (as minisign prints it in hex)
    u8 public_key[MINISIGN_PUBLIC_KEY_BYTES] = {};
};

struct Public_Key_Parse {
    Release_Key key;
    bool success = false;
    String error;  // why the text is not a public key; empty on success
};
// The text of a minisign.pub: "untrusted comment: ..." then the base64 key line.
Public_Key_Parse parse_public_key(String text);

enum Minisign_Kind : u8 {
    MINISIGN_LEGACY,     // Ed25519 over the file itself ("Ed")
    MINISIGN_PREHASHED,  // Ed25519 over the file's BLAKE2b-512 ("ED"), minisign's default
};

struct Minisign_Signature {
    Minisign_Kind kind = MINISIGN_PREHASHED;
    u64 key_id = 0;
    u8 signature[MINISIGN_SIGNATURE_BYTES] = {};
    std::string trusted_comment;  // after "trusted comment: ", without the line end
    u8 global_signature[MINISIGN_SIGNATURE_BYTES] = {};  // over signature + trusted comment
};

struct Signature_Parse {
    Minisign_Signature signature;
    bool success = false;
    String error;
};
// The text of a .minisig file: untrusted comment, signature, trusted comment, global signature.
Signature_Parse parse_signature(String text);

struct Minisign_Check {
    bool ok = false;
    String reason;  // why the file is refused; empty when ok
};
// True only when the signature was made by `key` over `message` and the trusted comment is
// the one signed with it.
Minisign_Check minisign_verify(const Release_Key &key, const Minisign_Signature &signature, String message);
// The part of the check that needs no file: made by `key`, its trusted comment intact. A
// download asks this before it fetches the body a signature is for.
Minisign_Check minisign_check_signer(const Release_Key &key, const Minisign_Signature &signature);

struct Signed_Timestamp {
    u64 value = 0;
    bool found = false;
};
// minisign's "timestamp:N" among the tab-separated fields of a trusted comment.
Signed_Timestamp trusted_timestamp(String trusted_comment);

// --- the build's own key ---

struct Compiled_Release_Key {
    Release_Key key;
    bool present = false;  // false in a build made without KORVANE_RELEASE_KEY
};
// The key compiled into this program (parsed on first use; a build never embeds a key it
// could not parse).
Compiled_Release_Key compiled_release_key();
