// The update run of a build with a release key: version.data is used only with a valid
// signature from that key, fetched first; anything else stops the run before a download or
// a start, with one box and an error line that names the file and the reason. Signatures
// are made here with libsodium in minisign's format (the format itself is checked against
// Debian's minisign in minisign_tests).
#include <gtest/gtest.h>

#include <sodium.h>

#include <cstdio>
#include <fstream>
#include <map>

#include "fake_updater_os.h"
#include "release_check.h"
#include "update_counters.h"
#include "update_run.h"

namespace {

struct Test_Signer {
    u8 public_key[crypto_sign_PUBLICKEYBYTES];
    u8 secret_key[crypto_sign_SECRETKEYBYTES];
    u64 key_id;
};

Test_Signer make_signer(u64 key_id) {
    EXPECT_GE(sodium_init(), 0);
    Test_Signer signer;
    crypto_sign_keypair(signer.public_key, signer.secret_key);
    signer.key_id = key_id;
    return signer;
}

std::string base64(const u8 *bytes, size_t count) {
    std::string out(sodium_base64_ENCODED_LEN(count, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(out.data(), out.size(), bytes, count, sodium_base64_VARIANT_ORIGINAL);
    out.resize(out.size() - 1);
    return out;
}

// A .minisig as `minisign -S` writes it (prehashed).
std::string sign(const Test_Signer &signer, const std::string &message, const std::string &trusted_comment) {
    u8 digest[64];
    crypto_generichash(digest, sizeof(digest), (const u8 *)message.data(), message.size(), nullptr, 0);
    u8 record[74] = {'E', 'D'};
    for (int i = 0; i < 8; i++) record[2 + i] = (u8)(signer.key_id >> (8 * i));
    crypto_sign_detached(record + 10, nullptr, digest, sizeof(digest), signer.secret_key);
    std::string global_message = std::string((const char *)record + 10, 64) + trusted_comment;
    u8 global[64];
    crypto_sign_detached(global, nullptr, (const u8 *)global_message.data(), global_message.size(), signer.secret_key);
    return "untrusted comment: signature from a test key\n" + base64(record, sizeof(record)) +
           "\ntrusted comment: " + trusted_comment + "\n" + base64(global, sizeof(global)) + "\n";
}

Test_Signer g_release_signer;  // the key of the build under test
Compiled_Release_Key test_release_key() {
    Compiled_Release_Key key;
    key.present = true;
    key.key.key_id = g_release_signer.key_id;
    memcpy(key.key.public_key, g_release_signer.public_key, sizeof(key.key.public_key));
    return key;
}

std::string local_record_bytes() {
    UpdaterClientVersions record = {};
    record.common_version = COMMON_VERSION;  // neither korvane.exe nor client.exe exists here
    return std::string((const char *)&record, sizeof(record));
}

struct Keyed_Scope {
    Fake_Os_Scope os;
    Compiled_Release_Key (*saved)() = update_release_key;
    Keyed_Scope(const char *stored_timestamp) {
        g_release_signer = make_signer(0x1122334455667788ull);
        update_release_key = test_release_key;
        if (stored_timestamp) fake.files[RELEASE_STATE_FILE] = stored_timestamp;
    }
    ~Keyed_Scope() { update_release_key = saved; }
};

struct Output {
    std::string out, err;
};
Output run() {
    updater_done = false;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    run_update();
    Output output;
    output.out = testing::internal::GetCapturedStdout();
    output.err = testing::internal::GetCapturedStderr();
    return output;
}

constexpr const char *REFUSAL_BOX =
    "The update site's files are not signed by the game's release key. The game was not updated or started; "
    "please try again later.";

}  // namespace

TEST(SignedRun, UsesTheRecordOnlyWithTheReleaseKeysSignature) {
    std::string record = local_record_bytes();  // matches: a start without downloads
    std::string tampered = record;
    tampered[50] ^= 1;
    enum Serve { SIGNED, TAMPERED_RECORD, NO_SIGNATURE, OTHER_KEY, GARBAGE, OVERSIZED, OLDER, SAME_AGE, NEWER, UNSTAMPED };
    struct Case {
        const char *name;
        Serve serve;
        const char *reason;        // empty: accepted
        const char *state_after;   // the state file's content after the run
    };
    const Case cases[] = {
        {"signed", SIGNED, "", "1000\n"},
        {"record changed after signing", TAMPERED_RECORD, "the signature does not match the file", "1000\n"},
        {"no signature on the site", NO_SIGNATURE, "the update site has no version.data.minisig (HTTP status 404)",
         "1000\n"},
        {"another key", OTHER_KEY, "signed by another key than the release key", "1000\n"},
        {"not a signature", GARBAGE,
         "version.data.minisig is not a minisign signature: the first line is not an \"untrusted comment: \" line",
         "1000\n"},
        {"oversized signature", OVERSIZED, "version.data.minisig is larger than 4096 bytes", "1000\n"},
        {"older release", OLDER,
         "signed at timestamp 999, older than the release already accepted here (timestamp 1000)", "1000\n"},
        {"the same release again", SAME_AGE, "", "1000\n"},
        {"newer release", NEWER, "", "2000\n"},
        {"no timestamp", UNSTAMPED, "", "1000\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Keyed_Scope scope("1000\n");
        Test_Signer other = make_signer(0x99);
        std::string signature;
        switch (c.serve) {
        case SIGNED: case TAMPERED_RECORD: case SAME_AGE:
            signature = sign(g_release_signer, record, "timestamp:1000\tfile:version.data\thashed");
            break;
        case NO_SIGNATURE: break;
        case OTHER_KEY: signature = sign(other, record, "timestamp:1000"); break;
        case GARBAGE: signature = "<html>please log in</html>"; break;
        case OVERSIZED: signature = std::string(5000, 'x'); break;
        case OLDER: signature = sign(g_release_signer, record, "timestamp:999"); break;
        case NEWER: signature = sign(g_release_signer, record, "timestamp:2000\tfile:version.data"); break;
        case UNSTAMPED: signature = sign(g_release_signer, record, "release 12"); break;
        }
        fake.responses[url_of("version.data.minisig")] = {signature, c.serve == NO_SIGNATURE ? 404 : 200};
        fake.responses[url_of("version.data")] = {c.serve == TAMPERED_RECORD ? tampered : record};
        fake.responses[url_of("client.exe")] = {"new client"};
        Output output = run();

        // The signature is asked for first; nothing else is fetched when the record is refused.
        std::vector<std::string> asked = {url_of("version.data.minisig"), url_of("version.data")};
        EXPECT_EQ(fake.requested_urls, asked);
        bool accepted = c.reason[0] == 0;
        if (accepted) {
            EXPECT_TRUE(fake.boxes.empty());
            EXPECT_EQ(fake.started.size(), 1u);
            EXPECT_NE(output.out.find("version.data is signed by the release key\n"), std::string::npos) << output.out;
        } else {
            EXPECT_EQ(fake.boxes, std::vector<std::string>{REFUSAL_BOX});
            EXPECT_TRUE(fake.started.empty());
            EXPECT_FALSE(updater_done.load());
            EXPECT_NE(output.err.find(std::string("version.data is refused: ") + c.reason + "\n"), std::string::npos)
                << output.err;
        }
        // The newest accepted timestamp is kept (the fake writes nothing to disk: the run's
        // replacement of the state file is what shows).
        std::string written = "1000\n";
        for (auto &[name, bytes] : fake.replaced) {
            if (name == RELEASE_STATE_FILE) written = bytes;
        }
        EXPECT_EQ(written, c.state_after);
        EXPECT_TRUE(output.out.size() >= 17 && output.out.substr(output.out.size() - 17) == "Updater: finished")
            << output.out;
    }
}

TEST(SignedRun, AnUnreadableStateFileDoesNotStopUpdates) {
    std::string record = local_record_bytes();
    for (const char *state : {"", "garbage\n", "-5\n", "99999999999999999999999\n"}) {
        SCOPED_TRACE(state);
        Keyed_Scope scope(state);
        fake.responses[url_of("version.data.minisig")] = {sign(g_release_signer, record, "timestamp:7")};
        fake.responses[url_of("version.data")] = {record};
        Output output = run();
        EXPECT_TRUE(fake.boxes.empty());
        EXPECT_EQ(fake.started.size(), 1u);
        EXPECT_NE(output.err.find("korvane_release.state is unreadable; any signed release is accepted"),
                  std::string::npos);
    }
}

TEST(SignedRun, ABuildWithoutAKeyNeverAsksForSignatures) {
    Fake_Os_Scope scope;  // the test program's own key slot: none
    fake.responses[url_of("version.data")] = {local_record_bytes()};
    run();
    EXPECT_EQ(fake.requested_urls, std::vector<std::string>{url_of("version.data")});
    EXPECT_EQ(fake.started.size(), 1u);
}

// --- the downloaded files of a keyed build ---

TEST(SignedDownload, AFileIsStoredOnlyWithItsSignatureFromTheReleaseKey) {
    const std::string client = "the new client, forty bytes of it.......";
    std::string tampered = client;
    tampered[39] ^= 1;
    enum Serve { SIGNED, NONE, OTHER_KEY, EDITED_COMMENT, GARBAGE };
    struct Case {
        const char *name;
        std::string body;  // what the site serves as client.exe
        Serve serve;
        std::map<std::string, std::string> folder;  // a partial download kept for a resume
        std::string reason;   // empty: stored
        bool body_fetched;    // the body is asked for (a refused signature stops before it)
    };
    const UpdaterClientVersions::File entry = make_file_identity(write_time_from_ticks(133'500'000'001'234'567), 40);
    const std::string note = std::string("KVRESUM1", 8) + std::string((const char *)&entry, sizeof(entry));
    const std::map<std::string, std::string> good_part = {{"client.exe.download", client.substr(0, 20)},
                                                          {"client.exe.resume", note}};
    const std::map<std::string, std::string> bad_part = {{"client.exe.download", tampered.substr(0, 20) + "x"},
                                                         {"client.exe.resume", note}};
    const std::map<std::string, std::string> bad_whole = {{"client.exe.download", tampered},
                                                          {"client.exe.resume", note}};
    const Case cases[] = {
        {"signed", client, SIGNED, {}, "", true},
        {"resumed and signed", client, SIGNED, good_part, "", true},
        {"same size, one bit changed", tampered, SIGNED, {}, "the signature does not match the file", true},
        {"a kept part that was tampered with", client, SIGNED, bad_part, "the signature does not match the file",
         true},
        {"finished before, tampered with since", client, SIGNED, bad_whole, "the signature does not match the file",
         false},
        {"no signature", client, NONE, {}, "the update site has no client.exe.minisig (HTTP status 404)", false},
        {"another key", client, OTHER_KEY, {}, "signed by another key than the release key", false},
        {"an edited trusted comment", client, EDITED_COMMENT, {}, "the trusted comment's signature does not match",
         false},
        {"not a signature", client, GARBAGE, {},
         "client.exe.minisig is not a minisign signature: the first line is not an \"untrusted comment: \" line",
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Keyed_Scope scope(nullptr);
        Test_Signer other = make_signer(0x99);
        std::string signature;
        switch (c.serve) {
        case SIGNED: signature = sign(g_release_signer, client, "timestamp:5\tfile:client.exe"); break;
        case NONE: break;
        case OTHER_KEY: signature = sign(other, client, "timestamp:5"); break;
        case EDITED_COMMENT: {
            signature = sign(g_release_signer, client, "timestamp:5");
            size_t at = signature.find("timestamp:5");
            signature.replace(at, 11, "timestamp:9");
            break;
        }
        case GARBAGE: signature = "<html>please log in</html>"; break;
        }
        fake.files = c.folder;
        fake.files["client.exe"] = "old client";
        fake.responses[url_of("client.exe.minisig")] = {signature, c.serve == NONE ? 404 : 200};
        fake.responses[url_of("client.exe")] = {c.body};
        Compiled_Release_Key key = test_release_key();
        Download_Target target;
        target.site_name = "client.exe";
        target.file_name = "client.exe";
        target.entry = &entry;
        target.release_key = &key.key;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        Download_Outcome outcome = download_file(target);
        std::string out = testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();

        EXPECT_EQ(fake.requested_urls.front(), url_of("client.exe.minisig"));
        bool fetched = false;
        for (const std::string &url : fake.requested_urls) fetched = fetched || url == url_of("client.exe");
        EXPECT_EQ(fetched, c.body_fetched);
        if (c.reason.empty()) {
            EXPECT_EQ(outcome, DOWNLOAD_STORED);
            EXPECT_EQ(fake.files["client.exe"], client);
            EXPECT_NE(out.find("client.exe is signed by the release key\n"), std::string::npos) << out;
        } else {
            EXPECT_EQ(outcome, DOWNLOAD_FAILED);
            EXPECT_EQ(fake.files["client.exe"], "old client");
            EXPECT_NE(err.find("client.exe is refused: " + c.reason + "\n"), std::string::npos) << err;
            // Refused like a failed download, never retried: the run's own box follows.
            EXPECT_TRUE(fake.boxes.empty());
            EXPECT_TRUE(fake.sleeps.empty());
        }
        // A refused file is not resumed on the next start: it begins afresh.
        EXPECT_EQ(fake.files.count("client.exe.download"), 0u);
        EXPECT_EQ(fake.files.count("client.exe.resume"), 0u);
    }
}
