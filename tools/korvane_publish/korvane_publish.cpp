// korvane-publish: makes the identity record of an update site, and the patches that
// take players from older clients to the site's client. Run it in the folder the site
// serves, after copying the new client.exe and korvane.exe there:
//
//   korvane-publish DIR [--patch-from OLD_DIR]...
//       writes DIR/version.data from DIR/client.exe and DIR/korvane.exe; for each OLD_DIR
//       (an earlier site folder with its version.data and client.exe) first writes the
//       zstd patch from that client to the new one, named after OLD_DIR's record
//   korvane-publish --show FILE  prints the record in FILE and whether its length is valid
//   korvane-publish --verify DIR --key minisign.pub
//                                checks the site before upload: every file's minisign
//                                signature against the key, and that version.data matches
//                                the client.exe and korvane.exe beside it
//
// The times in the record are the files' modification times at 100-ns precision, the same
// times the updater gives the files it downloads, so an updated folder then matches.
// A player's old client carries the time and size of its site's record, so that record,
// not the old file's own time, names the patch.
#define ZSTD_STATIC_LINKING_ONLY  // long-distance matching and window parameters
#include <zstd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "identity.h"
#include "log.h"
#include "minisign.h"
#include "os.h"
#include "patch.h"

static int usage() {
    log_error("usage: korvane-publish DIR [--patch-from OLD_DIR]... | korvane-publish --show FILE | "
              "korvane-publish --verify DIR --key minisign.pub");
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

// --- patches ---

// zstd's default level: fast enough for clients of several GiB, and with long-distance
// matching the patch comes close to the size of what changed.
constexpr int PATCH_LEVEL = 3;

static int window_log_for(s64 size) {
    int log = 10;
    while (log < ZSTD_WINDOWLOG_MAX_64 && ((s64)1 << log) <= size) log++;
    return log;
}

// Compresses the new client against the old one into the file at path.
static bool compress_patch(String old_client, String new_client, const std::string &path) {
    FILE *file = fopen(path.c_str(), "wb");
    if (!file) {
        log_error("Cannot create %", path);
        return false;
    }
    ZSTD_CCtx *encoder = ZSTD_createCCtx();
    std::vector<char> buffer(ZSTD_CStreamOutSize());
    // A window larger than either client: a part of the new client lies about the old
    // client's size after the same part of the old one, and must reach back that far.
    // zstd reaches no further than 2 GiB, so larger clients make poor patches.
    s64 larger = old_client.count > new_client.count ? old_client.count : new_client.count;
    size_t status = encoder ? 0 : (size_t)-1;
    auto set = [&](ZSTD_cParameter parameter, int value) {
        if (!ZSTD_isError(status)) status = ZSTD_CCtx_setParameter(encoder, parameter, value);
    };
    set(ZSTD_c_compressionLevel, PATCH_LEVEL);
    set(ZSTD_c_windowLog, window_log_for(larger));
    set(ZSTD_c_enableLongDistanceMatching, 1);
    set(ZSTD_c_checksumFlag, 1);  // the updater refuses patches without it
    set(ZSTD_c_contentSizeFlag, 1);
    if (!ZSTD_isError(status)) status = ZSTD_CCtx_setPledgedSrcSize(encoder, (unsigned long long)new_client.count);
    if (!ZSTD_isError(status)) status = ZSTD_CCtx_refPrefix(encoder, old_client.data, (size_t)old_client.count);

    ZSTD_inBuffer input = {new_client.data, (size_t)new_client.count, 0};
    bool ok = !ZSTD_isError(status);
    while (ok) {
        ZSTD_outBuffer output = {buffer.data(), buffer.size(), 0};
        status = ZSTD_compressStream2(encoder, &output, &input, ZSTD_e_end);
        if (ZSTD_isError(status)) break;
        ok = fwrite(buffer.data(), 1, output.pos, file) == output.pos;
        if (status == 0) break;
    }
    if (ZSTD_isError(status)) {
        log_error("zstd could not compress the patch %: %", path, encoder ? ZSTD_getErrorName(status) : "no memory");
        ok = false;
    } else if (!ok) {
        log_error("Cannot write %", path);
    }
    if (fclose(file) != 0) ok = false;
    ZSTD_freeCCtx(encoder);
    return ok;
}

struct Comparing_Sink {
    String expected;
    s64 at = 0;
};

static bool compare_piece(void *context, String piece) {
    Comparing_Sink *sink = (Comparing_Sink *)context;
    if (piece.count > sink->expected.count - sink->at) return false;
    if (memcmp(piece.data, sink->expected.data + sink->at, (size_t)piece.count) != 0) return false;
    sink->at += piece.count;
    return true;
}

// Applies the written patch as the updater will and compares the result with the new
// client, so a site never serves a patch that would be refused.
static bool verify_patch(String old_client, String new_client, const std::string &path) {
    File_Mapping patch = map_file_read_only(String(path));
    if (!patch.success) return false;
    Comparing_Sink sink = {new_client};
    Patch_Apply apply;
    bool ok = patch_begin(&apply, old_client, new_client.count, {compare_piece, &sink});
    ok = ok && patch_feed(&apply, patch.data);
    ok = patch_finish(&apply) && ok;
    if (!ok) log_error("The patch % does not give the new client: %", path, patch_failure(&apply));
    unmap_file(&patch);
    return ok;
}

static bool read_record(const std::string &path, UpdaterClientVersions *record) {
    File_Contents contents = read_entire_file(String(path));
    if (!contents.success) return false;
    bool valid = contents.data.count == (s64)sizeof(*record);
    if (valid) memcpy(record, contents.data.data, sizeof(*record));
    free((void *)contents.data.data);
    if (!valid || record->common_version != COMMON_VERSION) {
        log_error("% is not a valid identity record", path);
        return false;
    }
    return true;
}

// Only the size can be checked: a copied release folder has other file times than its
// record, and the patch's checksum catches other bytes of the same size.
static bool old_client_matches(const std::string &old_folder, const UpdaterClientVersions &old_record) {
    std::string path = old_folder + "/client.exe";
    Modtime_And_Size identity = file_modtime_and_size(String(path));
    if (!identity.success) {
        log_error("Cannot read the size of %", path);
        return false;
    }
    if (identity.size != old_record.client.size) {
        log_error("% has % bytes, but %/version.data says %: it is not the client of that record", path,
                  identity.size, old_folder, old_record.client.size);
        return false;
    }
    return true;
}

// Writes DIR/client.exe.patch-<old record's client entry> from OLD_DIR/client.exe to
// DIR/client.exe. A patch appears under its name only once it is complete and checked.
static bool publish_patch(const std::string &folder, const std::string &old_folder,
                          const UpdaterClientVersions &old_record, const UpdaterClientVersions::File &new_client,
                          std::vector<std::string> *names) {
    std::error_code error;
    if (memcmp(&old_record.client, &new_client, sizeof(new_client)) == 0) {
        log_line("No patch from %: its client is the current one", old_folder);
        return true;
    }
    std::string name(patch_name(old_record.client).view());
    for (const std::string &done : *names) {
        if (done == name) {
            log_line("No patch from %: its client is that of an earlier folder (%)", old_folder, name);
            return true;
        }
    }

    std::string old_path = old_folder + "/client.exe", new_path = folder + "/client.exe";
    File_Mapping old_client = map_file_read_only(String(old_path));
    File_Mapping new_client_bytes = map_file_read_only(String(new_path));
    bool ok = old_client.success && new_client_bytes.success;
    if (ok && old_client.data.count != old_record.client.size) {
        log_error("% changed while the patches were made", old_path);
        ok = false;
    }
    std::string target = folder + "/" + name;
    std::string partial = target + ".partial";
    ok = ok && compress_patch(old_client.data, new_client_bytes.data, partial);
    ok = ok && verify_patch(old_client.data, new_client_bytes.data, partial);
    s64 patch_size = ok ? (s64)std::filesystem::file_size(partial, error) : 0;
    s64 whole = new_client_bytes.data.count;
    // A patch no smaller than the client would only cost the player more than the client.
    bool worth_it = patch_size < whole;
    if (ok && !worth_it)
        log_line("No patch from %: it would be % bytes, no smaller than the % bytes of client.exe", old_folder,
                 patch_size, whole);
    if (ok && worth_it) std::filesystem::rename(partial, target, error);
    if (ok && worth_it && error) {
        log_error("Cannot rename % to %: %", partial, target, error.message());
        ok = false;
    }
    if (ok && worth_it) {
        f64 percent = 100.0 * (f64)patch_size / (f64)whole;
        log_line("Wrote %: % bytes, % of the % bytes of client.exe (from %)", target, patch_size,
                 tprint("%\x25", percent), whole, old_folder);
        names->push_back(name);
    } else {
        std::filesystem::remove(partial, error);
    }
    unmap_file(&old_client);
    unmap_file(&new_client_bytes);
    return ok;
}

static int publish(const std::string &folder, const std::vector<std::string> &old_folders) {
    UpdaterClientVersions record = {};
    record.common_version = COMMON_VERSION;
    if (!read_identity(folder + "/korvane.exe", &record.updater)) return 1;
    if (!read_identity(folder + "/client.exe", &record.client)) return 1;

    // Every old folder is looked at before anything is written.
    std::vector<UpdaterClientVersions> old_records(old_folders.size());
    for (size_t i = 0; i < old_folders.size(); i++) {
        std::error_code error;
        if (std::filesystem::equivalent(folder, old_folders[i], error)) {
            log_error("--patch-from % is the site folder itself: give the folder of an earlier release",
                      old_folders[i]);
            return 1;
        }
        if (!read_record(old_folders[i] + "/version.data", &old_records[i])) return 1;
        if (!old_client_matches(old_folders[i], old_records[i])) return 1;
    }
    // The patches first: a player who sees the new record may ask for them at once.
    std::vector<std::string> names;
    for (size_t i = 0; i < old_folders.size(); i++) {
        if (!publish_patch(folder, old_folders[i], old_records[i], record.client, &names)) return 1;
    }

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
    if (argc == 3 && std::string(argv[1]) == "--show") return show(argv[2]);
    if (argc == 5 && std::string(argv[1]) == "--verify" && std::string(argv[3]) == "--key") return verify(argv[2], argv[4]);

    std::string folder;
    std::vector<std::string> old_folders;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--patch-from" && i + 1 < argc) {
            old_folders.push_back(argv[++i]);
        } else if (arg.rfind("--", 0) == 0 || !folder.empty()) {
            return usage();
        } else {
            folder = arg;
        }
    }
    if (folder.empty()) return usage();
    return publish(folder, old_folders);
}
