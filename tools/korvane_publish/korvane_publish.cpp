// korvane-publish: makes the identity record of an update site. Run it in the folder the
// site serves, after copying the new client.exe and korvane.exe there:
//
//   korvane-publish DIR          writes DIR/version.data from DIR/client.exe and DIR/korvane.exe
//   korvane-publish --show FILE  prints the record in FILE and whether its length is valid
//   korvane-publish --verify DIR --key minisign.pub
//                                checks the site before upload: every file's minisign
//                                signature against the key, and that version.data matches
//                                the client.exe and korvane.exe beside it
//
// The times in the record are the files' modification times at 100-ns precision, the same
// times the updater gives the files it downloads, so an updated folder then matches.
#include <cstdlib>
#include <string>

#include "identity.h"
#include "log.h"
#include "minisign.h"
#include "os.h"

static int usage() {
    log_error("usage: korvane-publish DIR | korvane-publish --show FILE | korvane-publish --verify DIR --key minisign.pub");
    return 2;
}

static bool read_identity(const std::string &path, UpdaterClientVersions::File *file) {
    Modtime_And_Size identity = file_modtime_and_size(String(path));
    if (!identity.success) {
        log_error("Cannot read the modification time and size of %", path);
        return false;
    }
    *file = make_file_identity(identity.write_time, identity.size);
    return true;
}

static int publish(const std::string &folder) {
    UpdaterClientVersions record = {};
    record.common_version = COMMON_VERSION;
    if (!read_identity(folder + "/korvane.exe", &record.updater)) return 1;
    if (!read_identity(folder + "/client.exe", &record.client)) return 1;

    std::string target = folder + "/version.data";
    if (!write_entire_file(String(target), String((const char *)&record, sizeof(record)))) return 1;
    log_line("Wrote %: %", target, record);
    return 0;
}

static int show(const std::string &path) {
    File_Contents contents = read_entire_file(String(path));
    if (!contents.success) return 1;
    if (contents.data.count != (s64)sizeof(UpdaterClientVersions)) {
        log_line("% is not valid: % bytes instead of %", path, contents.data.count, (s64)sizeof(UpdaterClientVersions));
        return 1;
    }
    UpdaterClientVersions record;
    memcpy(&record, contents.data.data, sizeof(record));
    log_line("%", record);
    if (record.common_version != COMMON_VERSION) {
        log_line("% is valid in length, but its common_version is not %: no updater will match it", path,
                 COMMON_VERSION);
        return 1;
    }
    log_line("% is valid", path);
    return 0;
}

// --- verifying a signed site ---

static const char *const SITE_FILES[] = {"version.data", "client.exe", "korvane.exe"};

static std::string file_text(const std::string &path, bool *found) {
    File_Contents contents = read_entire_file(String(path));
    *found = contents.success;
    if (!contents.success) return {};
    std::string text(contents.data.data, (size_t)contents.data.count);
    free((void *)contents.data.data);
    return text;
}

static String kind_name(Minisign_Kind kind) { return kind == MINISIGN_PREHASHED ? "prehashed" : "legacy"; }

// One file and its .minisig; prints one line and returns whether it passed.
static bool verify_signature(const std::string &folder, const char *name, const Release_Key &key) {
    bool found = false;
    std::string body = file_text(folder + "/" + name, &found);
    if (!found) {
        log_line("FAIL % is missing", name);
        return false;
    }
    std::string signature_text = file_text(folder + "/" + name + ".minisig", &found);
    if (!found) {
        log_line("FAIL %.minisig is missing (sign with: minisign -S -s minisign.key -m %)", name, name);
        return false;
    }
    Signature_Parse parsed = parse_signature(String(std::string_view(signature_text)));
    if (!parsed.success) {
        log_line("FAIL %.minisig is not a minisign signature: %", name, parsed.error);
        return false;
    }
    Minisign_Check check = minisign_verify(key, parsed.signature, String(std::string_view(body)));
    if (!check.ok) {
        log_line("FAIL % is not accepted: %", name, check.reason);
        return false;
    }
    log_line("ok   % (% signature, trusted comment \"%\")", name, kind_name(parsed.signature.kind),
             String(std::string_view(parsed.signature.trusted_comment)));
    return true;
}

static bool same_identity(const UpdaterClientVersions::File &a, const UpdaterClientVersions::File &b) {
    return memcmp(&a, &b, sizeof(a)) == 0;
}

// version.data against the files beside it: what the updater will compare after downloading.
static bool verify_record(const std::string &folder) {
    bool found = false;
    std::string bytes = file_text(folder + "/version.data", &found);
    if (!found) return false;  // already reported
    if (bytes.size() != sizeof(UpdaterClientVersions)) {
        log_line("FAIL version.data is % bytes instead of %", (s64)bytes.size(), (s64)sizeof(UpdaterClientVersions));
        return false;
    }
    UpdaterClientVersions record;
    memcpy(&record, bytes.data(), sizeof(record));
    bool ok = true;
    if (record.common_version != COMMON_VERSION) {
        log_line("FAIL version.data's common_version is not %", COMMON_VERSION);
        ok = false;
    }
    struct Pair {
        const char *name;
        const UpdaterClientVersions::File *recorded;
    };
    const Pair pairs[] = {{"korvane.exe", &record.updater}, {"client.exe", &record.client}};
    for (const Pair &pair : pairs) {
        Modtime_And_Size actual = file_modtime_and_size(String(folder + "/" + pair.name));
        if (!actual.success) continue;  // reported as missing
        UpdaterClientVersions::File identity = make_file_identity(actual.write_time, actual.size);
        if (!same_identity(identity, *pair.recorded)) {
            log_line("FAIL version.data does not match % beside it: the record says %, the file is % "
                     "(run korvane-publish again after copying, then sign again)",
                     pair.name, *pair.recorded, identity);
            ok = false;
        }
    }
    if (ok) log_line("ok   version.data matches client.exe and korvane.exe");
    return ok;
}

static int verify(const std::string &folder, const std::string &key_path) {
    bool found = false;
    std::string key_text = file_text(key_path, &found);
    if (!found) return 2;
    Public_Key_Parse key = parse_public_key(String(std::string_view(key_text)));
    if (!key.success) {
        log_error("% is not a minisign public key: %", key_path, key.error);
        return 2;
    }
    s64 failures = 0;
    for (const char *name : SITE_FILES) {
        if (!verify_signature(folder, name, key.key)) failures++;
    }
    if (!verify_record(folder)) failures++;
    if (failures) {
        log_line("% problem(s): do not upload %", failures, folder);
        return 1;
    }
    log_line("% is signed by the release key and consistent: ready to upload", folder);
    return 0;
}

int main(int argc, char **argv) {
    if (argc == 2 && std::string(argv[1]) != "--show" && std::string(argv[1]) != "--verify") return publish(argv[1]);
    if (argc == 3 && std::string(argv[1]) == "--show") return show(argv[2]);
    if (argc == 5 && std::string(argv[1]) == "--verify" && std::string(argv[3]) == "--key") return verify(argv[2], argv[4]);
    return usage();
}
