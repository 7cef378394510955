// minisign keys and signatures: files made by Debian's minisign (tests/fixtures/minisign)
// parse and verify; every kind of malformed or mismatched input is refused with a reason.
#include <gtest/gtest.h>

#include <sodium.h>

#include <fstream>
#include <sstream>
#include <string>

#include "minisign.h"

namespace {

std::string fixture(const char *name) {
    std::ifstream in(std::string(KORVANE_FIXTURES_DIR "/minisign/") + name, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

String as_string(const std::string &text) { return String(text.data(), (s64)text.size()); }

std::string base64(const std::string &bytes) {
    std::string out(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(out.data(), out.size(), (const u8 *)bytes.data(), bytes.size(), sodium_base64_VARIANT_ORIGINAL);
    out.resize(out.size() - 1);  // the terminating zero
    return out;
}

std::string replace_line(const std::string &text, int index, const std::string &line) {
    std::string out;
    std::istringstream in(text);
    std::string current;
    for (int i = 0; std::getline(in, current); i++) out += (i == index ? line : current) + "\n";
    return out;
}

std::string line_of(const std::string &text, int index) {
    std::istringstream in(text);
    std::string current;
    for (int i = 0; std::getline(in, current); i++) {
        if (i == index) return current;
    }
    return {};
}

Release_Key release_key() {
    Public_Key_Parse parsed = parse_public_key(as_string(fixture("release.pub")));
    EXPECT_TRUE(parsed.success) << parsed.error.view();
    return parsed.key;
}

constexpr u64 RELEASE_KEY_ID = 0x9848D79AB611662Aull;  // as minisign printed it

}  // namespace

// --- public keys ---

TEST(MinisignKey, ReadsTheKeyFileMinisignWrote) {
    Public_Key_Parse parsed = parse_public_key(as_string(fixture("release.pub")));
    ASSERT_TRUE(parsed.success) << parsed.error.view();
    EXPECT_TRUE(parsed.error.empty());
    EXPECT_EQ(parsed.key.key_id, RELEASE_KEY_ID);

    // Windows line ends and a missing last newline read the same.
    std::string text = fixture("release.pub");
    std::string crlf = "untrusted comment: x\r\n" + line_of(text, 1) + "\r\n";
    std::string no_newline = "untrusted comment: x\n" + line_of(text, 1);
    for (const std::string &variant : {crlf, no_newline}) {
        Public_Key_Parse again = parse_public_key(as_string(variant));
        ASSERT_TRUE(again.success) << again.error.view();
        EXPECT_EQ(again.key.key_id, parsed.key.key_id);
        EXPECT_EQ(0, memcmp(again.key.public_key, parsed.key.public_key, sizeof(parsed.key.public_key)));
    }
}

TEST(MinisignKey, RefusesWhatIsNotAKeyFile) {
    std::string good_line = line_of(fixture("release.pub"), 1);
    std::string record(42, '\x11');
    record[0] = 'E';
    record[1] = 'D';  // a signature algorithm name, not the key's
    struct Case {
        const char *name;
        std::string text;
        const char *reason;
    };
    const Case cases[] = {
        {"empty", "", "the first line is not an \"untrusted comment: \" line"},
        {"no comment", good_line + "\n", "the first line is not an \"untrusted comment: \" line"},
        {"comment only", "untrusted comment: key\n", "the key line is missing"},
        {"short key", "untrusted comment: k\n" + good_line.substr(0, 52) + "\n",
         "the key line is not the base64 of a 42-byte key"},
        {"long key", "untrusted comment: k\n" + good_line + "AAAA\n", "the key line is not the base64 of a 42-byte key"},
        {"not base64", "untrusted comment: k\n" + std::string(55, '*') + "=\n",
         "the key line is not the base64 of a 42-byte key"},
        {"space after key", "untrusted comment: k\n" + good_line + " \n", "the key line is not the base64 of a 42-byte key"},
        {"a signature file", fixture("message.prehashed.minisig"), "the key line is not the base64 of a 42-byte key"},
        {"other algorithm", "untrusted comment: k\n" + base64(record) + "\n", "the key is not an Ed25519 key"},
    };
    for (const Case &c : cases) {
        Public_Key_Parse parsed = parse_public_key(as_string(c.text));
        EXPECT_FALSE(parsed.success) << c.name;
        EXPECT_EQ(parsed.error, String(c.reason)) << c.name;
    }
}

// --- signature files ---

TEST(MinisignSignature, ReadsBothKindsMinisignWrites) {
    Signature_Parse prehashed = parse_signature(as_string(fixture("message.prehashed.minisig")));
    ASSERT_TRUE(prehashed.success) << prehashed.error.view();
    EXPECT_EQ(prehashed.signature.kind, MINISIGN_PREHASHED);
    EXPECT_EQ(prehashed.signature.key_id, RELEASE_KEY_ID);
    EXPECT_EQ(prehashed.signature.trusted_comment, "timestamp:1700000000\tfile:message.txt\thashed");

    Signature_Parse legacy = parse_signature(as_string(fixture("message.legacy.minisig")));
    ASSERT_TRUE(legacy.success) << legacy.error.view();
    EXPECT_EQ(legacy.signature.kind, MINISIGN_LEGACY);
    EXPECT_EQ(legacy.signature.trusted_comment, "a legacy signature without a timestamp");
}

TEST(MinisignSignature, EveryCutShortFileIsRefused) {
    std::string text = fixture("message.prehashed.minisig");
    ASSERT_EQ(text.back(), '\n');
    // Only the last newline may go; any shorter prefix lacks part of a line that matters.
    EXPECT_TRUE(parse_signature(String(text.data(), (s64)text.size() - 1)).success);
    for (size_t length = 0; length + 1 < text.size(); length++) {
        Signature_Parse parsed = parse_signature(String(text.data(), (s64)length));
        EXPECT_FALSE(parsed.success) << "cut at " << length;
        EXPECT_FALSE(parsed.error.empty()) << "cut at " << length;
    }
}

TEST(MinisignSignature, RefusesMalformedFiles) {
    std::string good = fixture("message.prehashed.minisig");
    std::string record(74, '\x22');
    record[0] = 'X';
    record[1] = 'd';
    struct Case {
        const char *name;
        std::string text;
        const char *reason;
    };
    const Case cases[] = {
        {"no untrusted comment", replace_line(good, 0, "comment: x"),
         "the first line is not an \"untrusted comment: \" line"},
        {"signature line short", replace_line(good, 1, line_of(good, 1).substr(4)),
         "the signature line is not the base64 of a 74-byte signature"},
        {"signature line of a key", replace_line(good, 1, line_of(fixture("release.pub"), 1)),
         "the signature line is not the base64 of a 74-byte signature"},
        {"unknown algorithm", replace_line(good, 1, base64(record)),
         "the signature algorithm is neither Ed (legacy) nor ED (prehashed)"},
        {"no trusted comment", replace_line(good, 2, "timestamp:1"), "the third line is not a \"trusted comment: \" line"},
        {"global signature short", replace_line(good, 3, line_of(good, 3).substr(0, 84)),
         "the global signature line is not the base64 of a 64-byte signature"},
        {"global signature garbage", replace_line(good, 3, std::string(86, '!') + "=="),
         "the global signature line is not the base64 of a 64-byte signature"},
        {"larger than 4 KiB", good + std::string(4096, '\n'), "the signature file is larger than 4096 bytes"},
    };
    for (const Case &c : cases) {
        Signature_Parse parsed = parse_signature(as_string(c.text));
        EXPECT_FALSE(parsed.success) << c.name;
        EXPECT_EQ(parsed.error, String(c.reason)) << c.name;
    }
}

// --- verification ---

TEST(MinisignVerify, AcceptsOnlyTheSignedFileTheKeyAndTheComment) {
    std::string message = fixture("message.txt");
    std::string tampered = message;
    tampered[5] ^= 0x20;  // same size, one bit
    std::string prehashed = fixture("message.prehashed.minisig");
    std::string edited_comment = replace_line(prehashed, 2, "trusted comment: timestamp:1800000000\tfile:message.txt\thashed");
    std::string as_legacy = prehashed;
    {
        // The same signature bytes declared as the other kind.
        std::string line = line_of(prehashed, 1);
        std::string record(74, '\0');
        size_t decoded = 0;
        ASSERT_EQ(0, sodium_base642bin((u8 *)record.data(), record.size(), line.data(), line.size(), nullptr, &decoded,
                                       nullptr, sodium_base64_VARIANT_ORIGINAL));
        record[1] = 'd';
        as_legacy = replace_line(prehashed, 1, base64(record));
    }
    Public_Key_Parse other = parse_public_key(as_string(fixture("other.pub")));
    ASSERT_TRUE(other.success);

    struct Case {
        const char *name;
        std::string signature;
        std::string message;
        Release_Key key;
        const char *reason;  // empty: accepted
    };
    const Case cases[] = {
        {"prehashed", prehashed, message, release_key(), ""},
        {"legacy", fixture("message.legacy.minisig"), message, release_key(), ""},
        {"empty file prehashed", fixture("empty.prehashed.minisig"), "", release_key(), ""},
        {"empty file legacy", fixture("empty.legacy.minisig"), "", release_key(), ""},
        {"tampered prehashed", prehashed, tampered, release_key(), "the signature does not match the file"},
        {"tampered legacy", fixture("message.legacy.minisig"), tampered, release_key(),
         "the signature does not match the file"},
        {"one byte more", prehashed, message + "x", release_key(), "the signature does not match the file"},
        {"another file's signature", fixture("empty.prehashed.minisig"), message, release_key(),
         "the signature does not match the file"},
        {"signed by another key", fixture("message.other_key.minisig"), message, release_key(),
         "signed by another key than the release key"},
        {"checked with another key", prehashed, message, other.key, "signed by another key than the release key"},
        {"edited trusted comment", edited_comment, message, release_key(),
         "the trusted comment's signature does not match"},
        {"kind changed", as_legacy, message, release_key(), "the signature does not match the file"},
    };
    for (const Case &c : cases) {
        Signature_Parse parsed = parse_signature(as_string(c.signature));
        ASSERT_TRUE(parsed.success) << c.name << ": " << parsed.error.view();
        Minisign_Check check = minisign_verify(c.key, parsed.signature, as_string(c.message));
        EXPECT_EQ(check.ok, c.reason[0] == 0) << c.name;
        EXPECT_EQ(check.reason, String(c.reason)) << c.name;
    }
}

TEST(MinisignVerify, AKeyIdCopiedOntoAForeignSignatureStillFails) {
    // An attacker can claim the release key's id; the Ed25519 check still refuses.
    Signature_Parse parsed = parse_signature(as_string(fixture("message.other_key.minisig")));
    ASSERT_TRUE(parsed.success);
    parsed.signature.key_id = RELEASE_KEY_ID;
    Minisign_Check check = minisign_verify(release_key(), parsed.signature, as_string(fixture("message.txt")));
    EXPECT_FALSE(check.ok);
    EXPECT_EQ(check.reason, String("the signature does not match the file"));
}

// --- trusted comments ---

TEST(MinisignTimestamp, FindsTheFieldOrReportsNone) {
    struct Case {
        const char *comment;
        bool found;
        u64 value;
    };
    const Case cases[] = {
        {"timestamp:1700000000\tfile:version.data\thashed", true, 1700000000},
        {"file:version.data\ttimestamp:42", true, 42},
        {"timestamp:0", true, 0},
        {"timestamp:18446744073709551615", true, UINT64_MAX},
        {"timestamp:18446744073709551616", false, 0},  // past 64 bits
        {"timestamp:", false, 0},
        {"timestamp:12a", false, 0},
        {"timestamp:-5", false, 0},
        {"a comment with timestamp:5 inside a field", false, 0},
        {"release 7", false, 0},
        {"", false, 0},
    };
    for (const Case &c : cases) {
        Signed_Timestamp stamp = trusted_timestamp(c.comment);
        EXPECT_EQ(stamp.found, c.found) << c.comment;
        EXPECT_EQ(stamp.value, c.value) << c.comment;
    }
}

// --- the key built into the program ---

TEST(MinisignCompiledKey, IsTheFileTheBuildWasGiven) {
    // This test program is built with tests/fixtures/minisign/release.pub as its key.
    Compiled_Release_Key compiled = compiled_release_key();
    ASSERT_TRUE(compiled.present);
    Release_Key expected = release_key();
    EXPECT_EQ(compiled.key.key_id, expected.key_id);
    EXPECT_EQ(0, memcmp(compiled.key.public_key, expected.public_key, sizeof(expected.public_key)));
}
