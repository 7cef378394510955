// Downloads of the big files (client.exe, korvane.exe): the body streams from libcurl into
// `<file>.download` beside its target through a small file writer, is resumed with a Range
// request after a failure, retried, checked, flushed and only then renamed into place.
#pragma once

#include "http.h"
#include "identity.h"
#include "minisign.h"
#include "updater_os.h"

struct Download_Target {
    String site_name;  // the file on the update site ("korvane.exe")
    String file_name;  // where it is stored ("korvane_updated.exe")
    // The server record's entry for the file; null without a valid record (no size to
    // check, no resume across starts).
    const UpdaterClientVersions::File *entry = nullptr;
    // A build with a release key: `<site_name>.minisig` is fetched first and must verify the
    // finished file. Null: no signature is asked for.
    const Release_Key *release_key = nullptr;
    // The entry of the file already here (the old client) when the site may have a patch
    // from it to `entry`; it is asked for first. Null: the whole file only.
    const UpdaterClientVersions::File *patch_from = nullptr;
};

enum Download_Outcome {
    DOWNLOAD_STORED,         // the new file is in place
    DOWNLOAD_FAILED,         // nothing replaced; what went wrong has been printed or shown
    DOWNLOAD_TARGET_IN_USE,  // complete, but the target stayed locked; the player has been told
};

// Downloads, checks and stores one file. The old file is untouched unless this returns
// DOWNLOAD_STORED.
Download_Outcome download_file(const Download_Target &target);

// --- the pieces, for the tests ---

// The note kept beside a partial download: which record entry its bytes belong to.
String resume_note_name(String file_name);

// Bytes the writer gathers before one write to the file, and how far behind the writes
// the write-back to the disk is started.
constexpr s64 WRITE_BUFFER_BYTES = 4 << 20;
constexpr s64 WRITEBACK_WINDOW_BYTES = 16 << 20;

// The writer at the end of a body's path: gathers chunks into big writes, stops a body
// that would pass the expected size, starts the write-back early. A decoder may sit in
// front of it: anything that calls file_writer_write with the file's bytes.
struct File_Writer {
    Download_Handle file;
    s64 size = 0;       // bytes of the file so far, including those still in the buffer
    s64 expected = -1;  // the record's size; -1 unknown
    s64 written_back = 0;  // the write-back was started up to here
    s64 buffered = 0;
    File_Step error;       // the first failed write (success until one fails)
    bool too_large = false;
};
bool file_writer_write(File_Writer *writer, const u8 *data, s64 count);
bool file_writer_flush(File_Writer *writer);  // the buffer to the file
bool file_writer_restart(File_Writer *writer);  // empties the file: the body starts again

// The checks a finished body passes before it may replace anything (the file is flushed
// and closed, and still at its temporary name): its size against the record, and with a
// release key its signature. False: refused, and said why.
bool check_before_rename(const Download_Target &target, String temporary_name, s64 size,
                         const Minisign_Signature *signature);

// The run's box texts of this module.
String target_in_use_text(String file_name);
