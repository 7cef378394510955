// libFuzzer target: arbitrary bytes as a minisign public-key file and as a signature file.
// The parsers must never read outside the bytes, and whatever they accept must be safe to
// verify (the check refuses it rather than crash).
#include <cstdlib>

#include "minisign.h"

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size) {
    String text((const char *)data, (s64)size);

    Public_Key_Parse key = parse_public_key(text);
    if (key.success != key.error.empty()) abort();  // a reason exactly when refused

    Signature_Parse signature = parse_signature(text);
    if (signature.success != signature.error.empty()) abort();
    if (signature.success) {
        if (signature.signature.trusted_comment.size() > size) abort();
        Release_Key release = key.success ? key.key : Release_Key{};
        release.key_id = signature.signature.key_id;  // get past the key-id check to Ed25519
        Minisign_Check check = minisign_verify(release, signature.signature, text);
        if (check.ok != check.reason.empty()) abort();
        trusted_timestamp(String(std::string_view(signature.signature.trusted_comment)));
    }
    return 0;
}
