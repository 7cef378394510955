// Parsing and checking of minisign keys and signatures. Every byte read from a file goes
// through `next_line` and `decode_base64`, which never look past the text they were given.
#include "minisign.h"

#include <sodium.h>

namespace {

constexpr std::string_view UNTRUSTED_PREFIX = "untrusted comment: ";
constexpr std::string_view TRUSTED_PREFIX = "trusted comment: ";
constexpr s64 KEY_RECORD_BYTES = 2 + MINISIGN_KEY_ID_BYTES + MINISIGN_PUBLIC_KEY_BYTES;
constexpr s64 SIGNATURE_RECORD_BYTES = 2 + MINISIGN_KEY_ID_BYTES + MINISIGN_SIGNATURE_BYTES;

struct Line {
    std::string_view text;
    bool found = false;
};

// The next line from *at on, without its "\n" or "\r\n"; a last line may lack the "\n".
Line next_line(std::string_view text, size_t *at) {
    Line line;
    if (*at >= text.size()) return line;
    size_t end = text.find('\n', *at);
    size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    line.text = text.substr(*at, end - *at);
    if (!line.text.empty() && line.text.back() == '\r') line.text.remove_suffix(1);
    line.found = true;
    *at = next;
    return line;
}

// Exactly `count` bytes from one line of standard padded base64, nothing more or less.
bool decode_base64(std::string_view line, u8 *out, s64 count) {
    // Padded base64 of `count` bytes has this many characters; checking first keeps a long
    // line away from the decoder.
    if ((s64)line.size() != (count + 2) / 3 * 4) return false;
    size_t decoded = 0;
    const char *end = nullptr;
    if (sodium_base642bin(out, (size_t)count, line.data(), line.size(), nullptr, &decoded, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0) {
        return false;
    }
    return decoded == (size_t)count && end == line.data() + line.size();
}

u64 read_key_id(const u8 *bytes) {
    u64 id = 0;
    for (s64 i = MINISIGN_KEY_ID_BYTES - 1; i >= 0; i--) id = (id << 8) | bytes[i];
    return id;
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

// Key and signature files both start with an "untrusted comment: " line; reads past it.
constexpr const char *NO_UNTRUSTED_COMMENT = "the first line is not an \"untrusted comment: \" line";
bool read_untrusted_comment(std::string_view text, size_t *at) {
    Line comment = next_line(text, at);
    return comment.found && starts_with(comment.text, UNTRUSTED_PREFIX);
}

}  // namespace

Public_Key_Parse parse_public_key(String text) {
    Public_Key_Parse result;
    std::string_view all = text.view();
    size_t at = 0;
    if (!read_untrusted_comment(all, &at)) {
        result.error = NO_UNTRUSTED_COMMENT;
        return result;
    }
    Line key_line = next_line(all, &at);
    if (!key_line.found) {
        result.error = "the key line is missing";
        return result;
    }
    u8 record[KEY_RECORD_BYTES];
    if (!decode_base64(key_line.text, record, KEY_RECORD_BYTES)) {
        result.error = "the key line is not the base64 of a 42-byte key";
        return result;
    }
    if (record[0] != 'E' || record[1] != 'd') {
        result.error = "the key is not an Ed25519 key";
        return result;
    }
    result.key.key_id = read_key_id(record + 2);
    memcpy(result.key.public_key, record + 2 + MINISIGN_KEY_ID_BYTES, MINISIGN_PUBLIC_KEY_BYTES);
    result.success = true;
    return result;
}

Signature_Parse parse_signature(String text) {
    Signature_Parse result;
    if (text.count > MINISIGN_SIGNATURE_FILE_MAX_BYTES) {
        result.error = "the signature file is larger than 4096 bytes";
        return result;
    }
    std::string_view all = text.view();
    size_t at = 0;
    if (!read_untrusted_comment(all, &at)) {
        result.error = NO_UNTRUSTED_COMMENT;
        return result;
    }
    Line signature_line = next_line(all, &at);
    u8 record[SIGNATURE_RECORD_BYTES];
    if (!signature_line.found || !decode_base64(signature_line.text, record, SIGNATURE_RECORD_BYTES)) {
        result.error = "the signature line is not the base64 of a 74-byte signature";
        return result;
    }
    Minisign_Signature &signature = result.signature;
    if (record[0] == 'E' && record[1] == 'd') {
        signature.kind = MINISIGN_LEGACY;
    } else if (record[0] == 'E' && record[1] == 'D') {
        signature.kind = MINISIGN_PREHASHED;
    } else {
        result.error = "the signature algorithm is neither Ed (legacy) nor ED (prehashed)";
        return result;
    }
    signature.key_id = read_key_id(record + 2);
    memcpy(signature.signature, record + 2 + MINISIGN_KEY_ID_BYTES, MINISIGN_SIGNATURE_BYTES);

    Line trusted = next_line(all, &at);
    if (!trusted.found || !starts_with(trusted.text, TRUSTED_PREFIX)) {
        result.error = "the third line is not a \"trusted comment: \" line";
        return result;
    }
    signature.trusted_comment = std::string(trusted.text.substr(TRUSTED_PREFIX.size()));
    Line global = next_line(all, &at);
    if (!global.found || !decode_base64(global.text, signature.global_signature, MINISIGN_SIGNATURE_BYTES)) {
        result.error = "the global signature line is not the base64 of a 64-byte signature";
        return result;
    }
    result.success = true;
    return result;
}

// The trusted comment is signed together with the file's signature, so a comment cannot
// be moved to another file's signature or edited.
static bool trusted_comment_matches(const Release_Key &key, const Minisign_Signature &signature) {
    std::string global(MINISIGN_SIGNATURE_BYTES + signature.trusted_comment.size(), '\0');
    memcpy(global.data(), signature.signature, MINISIGN_SIGNATURE_BYTES);
    memcpy(global.data() + MINISIGN_SIGNATURE_BYTES, signature.trusted_comment.data(),
           signature.trusted_comment.size());
    return crypto_sign_verify_detached(signature.global_signature, (const u8 *)global.data(), global.size(),
                                       key.public_key) == 0;
}

static bool key_matches(const Release_Key &key, const Minisign_Signature &signature, Minisign_Check *check) {
    if (sodium_init() < 0) {
        check->reason = "libsodium could not be initialised";
        return false;
    }
    if (signature.key_id != key.key_id) {
        check->reason = "signed by another key than the release key";
        return false;
    }
    return true;
}

Minisign_Check minisign_check_signer(const Release_Key &key, const Minisign_Signature &signature) {
    Minisign_Check check;
    if (!key_matches(key, signature, &check)) return check;
    if (!trusted_comment_matches(key, signature)) {
        check.reason = "the trusted comment's signature does not match";
        return check;
    }
    check.ok = true;
    return check;
}

Minisign_Check minisign_verify(const Release_Key &key, const Minisign_Signature &signature, String message) {
    Minisign_Check check;
    if (!key_matches(key, signature, &check)) return check;

    const u8 *signed_bytes = (const u8 *)message.data;
    u64 signed_count = (u64)message.count;
    u8 digest[crypto_generichash_BYTES_MAX];
    static_assert(crypto_generichash_BYTES_MAX == 64);
    if (signature.kind == MINISIGN_PREHASHED) {
        crypto_generichash(digest, sizeof(digest), signed_bytes, signed_count, nullptr, 0);
        signed_bytes = digest;
        signed_count = sizeof(digest);
    }
    if (crypto_sign_verify_detached(signature.signature, signed_bytes, signed_count, key.public_key) != 0) {
        check.reason = "the signature does not match the file";
        return check;
    }
    if (!trusted_comment_matches(key, signature)) {
        check.reason = "the trusted comment's signature does not match";
        return check;
    }
    check.ok = true;
    return check;
}

Signed_Timestamp trusted_timestamp(String trusted_comment) {
    constexpr std::string_view FIELD = "timestamp:";
    std::string_view rest = trusted_comment.view();
    Signed_Timestamp result;
    while (!rest.empty()) {
        size_t tab = rest.find('\t');
        std::string_view field = rest.substr(0, tab);
        rest = tab == std::string_view::npos ? std::string_view() : rest.substr(tab + 1);
        if (!starts_with(field, FIELD)) continue;
        std::string_view digits = field.substr(FIELD.size());
        if (digits.empty() || digits.size() > 20) return result;
        u64 value = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return result;
            u64 digit = (u64)(c - '0');
            if (value > (UINT64_MAX - digit) / 10) return result;
            value = value * 10 + digit;
        }
        result.value = value;
        result.found = true;
        return result;
    }
    return result;
}
