// korvane-publish: makes the identity record of an update site. Run it in the folder the
// site serves, after copying the new client.exe and korvane.exe there:
//
//   korvane-publish DIR          writes DIR/version.data from DIR/client.exe and DIR/korvane.exe
//   korvane-publish --show FILE  prints the record in FILE and whether its length is valid
//
// The times in the record are the files' modification times at 100-ns precision, the same
// times the updater gives the files it downloads, so an updated folder then matches.
#include <string>

#include "identity.h"
#include "log.h"
#include "os.h"

static int usage() {
    log_error("usage: korvane-publish DIR | korvane-publish --show FILE");
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

int main(int argc, char **argv) {
    if (argc == 2 && std::string(argv[1]) != "--show") return publish(argv[1]);
    if (argc == 3 && std::string(argv[1]) == "--show") return show(argv[2]);
    return usage();
}
