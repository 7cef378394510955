// Streaming downloads into temporary files: resume, retries, the checks before the rename,
// and the rename itself (with a wait for a target that is still in use).
#include "download.h"

#include <algorithm>
#include <cstdlib>

#include "assertions.h"
#include "error_box.h"
#include "log.h"
#include "os.h"
#include "patch.h"
#include "release_check.h"
#include "temporary_storage.h"
#include "update_counters.h"

// The writer's buffer, allocated on the first download and kept for the process's life.
struct Download_State {
    u8 *buffer = nullptr;
};
static Download_State g_download;

String resume_note_name(String file_name) { return tprint("%.resume", file_name); }

String target_in_use_text(String file_name) {
    return tprint("% could not be replaced because the game is still running. Close the game and start Korvane "
                  "again.",
                  file_name);
}

// --- the writer ---

bool file_writer_flush(File_Writer *writer) {
    if (writer->buffered == 0) return writer->error.success;
    File_Step step = g_updater_os.write_download(writer->file, String((const char *)g_download.buffer, writer->buffered));
    writer->buffered = 0;
    if (!step.success) {
        writer->error = step;
        return false;
    }
    // Start the write-back of whole windows behind the writes, so that the flush before the
    // rename finds little left to do.
    s64 on_file = writer->size;
    while (on_file - writer->written_back >= WRITEBACK_WINDOW_BYTES) {
        g_updater_os.start_writeback(writer->file, writer->written_back, WRITEBACK_WINDOW_BYTES);
        writer->written_back += WRITEBACK_WINDOW_BYTES;
    }
    return true;
}

bool file_writer_write(File_Writer *writer, const u8 *data, s64 count) {
    if (!writer->error.success) return false;
    if (writer->expected >= 0 && count > writer->expected - writer->size) {
        writer->too_large = true;
        return false;
    }
    while (count > 0) {
        s64 room = WRITE_BUFFER_BYTES - writer->buffered;
        s64 part = std::min(room, count);
        memcpy(g_download.buffer + writer->buffered, data, (size_t)part);
        writer->buffered += part;
        writer->size += part;
        data += part;
        count -= part;
        if (writer->buffered == WRITE_BUFFER_BYTES && !file_writer_flush(writer)) return false;
    }
    return true;
}

bool file_writer_restart(File_Writer *writer) {
    writer->buffered = 0;
    writer->size = 0;
    writer->written_back = 0;
    writer->too_large = false;
    File_Step step = g_updater_os.truncate_download(writer->file);
    if (!step.success) writer->error = step;
    return step.success;
}

// --- the sink libcurl's callback writes into ---

struct Download_Sink {
    File_Writer *writer;
    s64 range_start = 0;          // what this transfer asked for
    bool range_mismatch = false;  // a 206 that does not start where the file ends
};

static bool sink_begin(void *user, const Response_Head &head) {
    Download_Sink *sink = (Download_Sink *)user;
    if (head.status == 200) {
        if (sink->range_start == 0) return true;
        // The server ignored the range and sends the whole file: start the file again.
        print("The update site sends all of the file; starting it again\n");
        return file_writer_restart(sink->writer);
    }
    // A part that does not start where the file ends would be stored at the wrong place.
    if (head.range_start != sink->range_start && !(sink->range_start == 0 && head.range_start < 0)) {
        sink->range_mismatch = true;
        log_error("The update site answered from byte % where % was asked for", head.range_start, sink->range_start);
        return false;
    }
    return true;
}

static bool sink_write(void *user, const u8 *data, s64 count) {
    return file_writer_write(((Download_Sink *)user)->writer, data, count);
}

// --- the note of a partial download ---

struct Resume_Note {
    char magic[8];
    UpdaterClientVersions::File entry;
};
static_assert(sizeof(Resume_Note) == 32);
constexpr char RESUME_NOTE_MAGIC[8] = {'K', 'V', 'R', 'E', 'S', 'U', 'M', '1'};

static bool note_matches(String note_name, const UpdaterClientVersions::File &entry) {
    Resume_Note note;
    s64 got = g_updater_os.read_small_file(note_name, (u8 *)&note, sizeof(note));
    return got == (s64)sizeof(note) && memcmp(note.magic, RESUME_NOTE_MAGIC, sizeof(note.magic)) == 0 &&
           memcmp(&note.entry, &entry, sizeof(entry)) == 0;
}

static void write_note(String note_name, const UpdaterClientVersions::File &entry) {
    Resume_Note note;
    memcpy(note.magic, RESUME_NOTE_MAGIC, sizeof(note.magic));
    note.entry = entry;
    if (!g_updater_os.write_file(note_name, String((const char *)&note, sizeof(note)))) {
        // Without the note the next start begins again from byte 0; nothing else is lost.
        log_error("Could not write %", note_name);
    }
}

static void remove_quietly(String name) {
    File_Step removed = g_updater_os.remove_file(name);
    if (!removed.success) {
        log_error("Could not remove \"%\" (%): code %, %", name, removed.failed_step, removed.error_code,
                  os_error_text(removed.error_code));
    }
}

static void report_file_step(String name, const File_Step &step) {
    log_error("Could not write \"%\" (%): code %, %", name, step.failed_step, step.error_code,
              os_error_text(step.error_code));
}

// --- the checks before the rename ---

bool check_before_rename(const Download_Target &target, String temporary_name, s64 size,
                         const Minisign_Signature *signature) {
    // NOTE: this is the one place a finished body is judged before it replaces anything;
    // further checks of the file at its temporary name belong here.
    if (target.entry && size != target.entry->size) {
        log_error("% is % bytes but the update site's record says %", target.site_name, size, target.entry->size);
        return false;
    }
    if (target.release_key) {
        assert_fatal(signature != nullptr, "A keyed download without its signature");
        // Mapped, not read: a client of many GiB is hashed where it lies.
        File_Mapping file = g_updater_os.map_file(temporary_name);
        if (!file.success) {
            log_error("% is refused: its temporary file % could not be read for the signature check",
                      target.site_name, temporary_name);
            return false;
        }
        Minisign_Check check = minisign_verify(*target.release_key, *signature, file.data);
        g_updater_os.unmap_file(&file);
        if (!check.ok) {
            log_error("% is refused: %", target.site_name, check.reason);
            return false;
        }
        print("% is signed by the release key\n", target.site_name);
    }
    return true;
}

// --- the rename ---

// A file the game still runs from cannot be replaced on Windows; the player may be closing
// it right now.
constexpr s32 IN_USE_WAIT_MS = 10'000;
constexpr s32 IN_USE_STEP_MS = 250;

static Download_Outcome move_into_place(const Download_Target &target, String temporary) {
    File_Step moved;
    for (s32 waited = 0;; waited += IN_USE_STEP_MS) {
        moved = g_updater_os.rename_into_place(temporary, target.file_name);
        if (moved.success || !moved.in_use || waited >= IN_USE_WAIT_MS) break;
        if (waited == 0) print("% is in use; waiting for it\n", target.file_name);
        g_updater_os.sleep_milliseconds(IN_USE_STEP_MS);
    }
    if (moved.success) return DOWNLOAD_STORED;
    log_error("Could not replace \"%\" (%): code %, %", target.file_name, moved.failed_step, moved.error_code,
              os_error_text(moved.error_code));
    if (moved.in_use) {
        // The finished file and its note stay: the next start only renames it.
        display_error_with_os("%", target_in_use_text(target.file_name));
        return DOWNLOAD_TARGET_IN_USE;
    }
    display_error_with_os("Failed to write % as file.", target.file_name);
    return DOWNLOAD_FAILED;
}

// --- a patch instead of the whole file ---

// What the patch's transfer works with: the body goes through the decoder into the
// mapped temporary file.
struct Patch_Transfer {
    Patch_Apply *apply;
    String reference;        // the old client, mapped
    Download_Handle file;
    s64 file_size;           // the record's size of the file the patch makes
    // The temporary file takes its full size only once the site has a patch to send: a
    // site without one (the usual answer) costs no room on the disk.
    Download_Mapping result;
    bool began = false;
    s64 total_adjusted = 0;  // what was taken off download_bytes_total for this patch
    s64 written_back = 0;    // the result's bytes whose write-back has been started
};

static bool patch_body_begin(void *user, const Response_Head &head) {
    Patch_Transfer *transfer = (Patch_Transfer *)user;
    if (head.status != 200) return true;  // its body is no patch; the status decides
    transfer->result = g_updater_os.map_download(transfer->file, transfer->file_size);
    if (!transfer->result.step.success) return false;
    if (!patch_begin_in_place(transfer->apply, transfer->reference, transfer->result.bytes, transfer->file_size))
        return false;
    transfer->began = true;
    // The bar counts the patch's bytes in place of the file's, so it still reaches its end.
    if (head.content_length >= 0) {
        transfer->total_adjusted = transfer->file_size - head.content_length;
        download_bytes_total.fetch_sub(transfer->total_adjusted);
    }
    return true;
}

static bool patch_body_write(void *user, const u8 *data, s64 count) {
    Patch_Transfer *transfer = (Patch_Transfer *)user;
    if (!transfer->began) return true;  // an error page, dropped
    if (!patch_feed(transfer->apply, String((const char *)data, count))) return false;
    // As for a whole download: the flush before the rename should find little left to do.
    while (transfer->apply->result_bytes - transfer->written_back >= WRITEBACK_WINDOW_BYTES) {
        g_updater_os.start_writeback(transfer->file, transfer->written_back, WRITEBACK_WINDOW_BYTES);
        transfer->written_back += WRITEBACK_WINDOW_BYTES;
    }
    return true;
}

// Asks for the patch from target.patch_from to target.entry and applies it into the
// temporary file. True when that decided the download (*outcome is then the result: stored,
// or a target that could not be replaced, which a whole download would meet too); false
// when the whole file is to be downloaded instead, with a line that says why. A patch is
// never resumed: a failed one leaves nothing behind.
static bool try_patch(const Download_Target &target, const Minisign_Signature *signature, Download_Outcome *outcome) {
    const UpdaterClientVersions::File &entry = *target.entry;
    String name = patch_name(*target.patch_from);
    String temporary = download_temporary_name(target.file_name);
    String note_name = resume_note_name(target.file_name);
    // A whole download of this file that was cut short goes on where it stopped instead:
    // those bytes are already here.
    if (note_matches(note_name, entry)) return false;
    if (entry.size == 0) return false;  // nothing to patch, and nothing a mapping could hold

    File_Mapping old_file = g_updater_os.map_file(target.file_name);
    if (!old_file.success || old_file.data.count != target.patch_from->size) {
        log_error("% cannot be used: % is no longer the file of % bytes it was; downloading all of %", name,
                  target.file_name, target.patch_from->size, target.site_name);
        g_updater_os.unmap_file(&old_file);
        return false;
    }
    remove_quietly(temporary);
    Download_Open opened = g_updater_os.open_download(temporary, false);
    if (!opened.step.success) {
        // The whole download meets the same folder and tells the player.
        report_file_step(temporary, opened.step);
        g_updater_os.unmap_file(&old_file);
        return false;
    }
    Patch_Apply apply;
    Patch_Transfer transfer;
    transfer.apply = &apply;
    transfer.reference = old_file.data;
    transfer.file = opened.handle;
    transfer.file_size = entry.size;
    s64 received_before = download_bytes_received.load();
    f64 transfer_start = seconds_since_init();

    Http_Request request;
    request.name = name;
    request.sink.begin = patch_body_begin;
    request.sink.write = patch_body_write;
    request.sink.user = &transfer;
    // A patch no smaller than the file itself is of no use.
    request.max_body = entry.size;
    Http_Result last = http_transfer(request);

    const File_Step &mapped = transfer.result.step;
    String reason;
    if (last.head.status == 200 && !mapped.success) {
        reason = tprint("writing % failed (%): code %, %", temporary, mapped.failed_step, mapped.error_code,
                        os_error_text(mapped.error_code));
    } else if (apply.failed) {
        reason = patch_failure(&apply);
    } else if (last.performed && last.head.status != 200) {
        reason = tprint("the update site answered with HTTP status %", (s64)last.head.status);
    } else if (!last.performed && last.code == CURLE_FILESIZE_EXCEEDED) {
        reason = tprint("it is larger than % itself", target.site_name);
    } else if (!last.performed) {
        reason = tprint("its transfer failed (CURL code %)", curl_code_name(last.code));
    } else if (!transfer.began) {
        reason = "the patch is empty";  // no byte came, so nothing was begun
    } else if (!patch_finish(&apply)) {
        reason = patch_failure(&apply);
    }
    patch_abandon(&apply);  // a no-op after patch_finish
    // Nothing reads the old file any more; it must not be mapped when it is replaced.
    g_updater_os.unmap_file(&old_file);
    g_updater_os.unmap_download(&transfer.result);

    f64 flush_start = seconds_since_init();
    if (reason.count == 0) {
        File_Step flushed = g_updater_os.flush_and_close_download(opened.handle);
        if (!flushed.success) {
            reason = tprint("writing % failed (%): code %, %", temporary, flushed.failed_step, flushed.error_code,
                            os_error_text(flushed.error_code));
        } else if (!check_before_rename(target, temporary, apply.result_bytes, signature)) {
            reason = "its result was refused";
        }
    } else {
        g_updater_os.close_download(opened.handle);
    }
    if (reason.count > 0) {
        if (last.performed && last.head.status == 404) {
            // The ordinary answer of a site that has no patch from this client.
            log_error("The update site has no patch from this % (%); downloading all of it", target.file_name, name);
        } else {
            log_error("% cannot be used: %; downloading all of %", name, reason, target.site_name);
        }
        remove_quietly(temporary);
        // The bar's total takes back the file and keeps the patch's bytes already counted.
        download_bytes_total.fetch_add(transfer.total_adjusted + (download_bytes_received.load() - received_before));
        return false;
    }
    f64 flush_end = seconds_since_init();
    *outcome = move_into_place(target, temporary);
    if (*outcome == DOWNLOAD_FAILED) remove_quietly(temporary);
    if (*outcome == DOWNLOAD_STORED) {
        print("Stored % (% bytes) from the patch % (% bytes): transfer and patching % ms, flush % ms, checks and "
              "rename % ms\n",
              target.file_name, apply.result_bytes, name, apply.patch_bytes, (s64)((flush_start - transfer_start) * 1000),
              (s64)((flush_end - flush_start) * 1000), (s64)((seconds_since_init() - flush_end) * 1000));
    }
    return true;
}

// --- one download ---

Download_Outcome download_file(const Download_Target &target) {
    if (!g_download.buffer) {
        g_download.buffer = (u8 *)malloc((size_t)WRITE_BUFFER_BYTES);
        assert_fatal(g_download.buffer != nullptr, "Out of memory for the download buffer");
    }
    // With a release key the signature comes first: a file without a valid one is refused
    // before any of its body is fetched.
    Signature_Fetch signature;
    if (target.release_key) {
        signature = fetch_signature(target.site_name);
        String refusal = signature.reason;
        if (signature.success) {
            Minisign_Check signer = minisign_check_signer(*target.release_key, signature.signature);
            if (!signer.ok) refusal = signer.reason;
        }
        if (refusal.count > 0) {
            log_error("% is refused: %", target.site_name, refusal);
            return DOWNLOAD_FAILED;
        }
    }
    const Minisign_Signature *checked_signature = target.release_key ? &signature.signature : nullptr;

    if (target.patch_from && target.entry) {
        Download_Outcome patched;
        if (try_patch(target, checked_signature, &patched)) return patched;
    }

    String temporary = download_temporary_name(target.file_name);
    String note_name = resume_note_name(target.file_name);
    s64 expected = target.entry ? target.entry->size : -1;

    // A partial file is kept only for the record entry it was started for; anything else
    // at that name (a stale file, a link somebody planted) is removed first.
    bool keep = target.entry && note_matches(note_name, *target.entry);
    Download_Open opened;
    if (keep) {
        opened = g_updater_os.open_download(temporary, true);
        if (!opened.step.success || opened.size > expected) {
            if (opened.step.success) g_updater_os.close_download(opened.handle);
            keep = false;
        }
    }
    if (!keep) {
        remove_quietly(note_name);
        remove_quietly(temporary);
        opened = g_updater_os.open_download(temporary, false);
    }
    if (!opened.step.success) {
        report_file_step(temporary, opened.step);
        display_error_with_os("Failed to write % as file.", target.file_name);
        return DOWNLOAD_FAILED;
    }
    if (keep) {
        print("Resuming % from byte %\n", target.site_name, opened.size);
        // The bar shows the file's progress, the kept part included.
        download_bytes_received.fetch_add(opened.size);
    } else if (target.entry) {
        write_note(note_name, *target.entry);
    }

    File_Writer writer;
    writer.file = opened.handle;
    writer.size = opened.size;
    writer.written_back = opened.size;
    writer.expected = expected;
    writer.error.success = true;
    if (expected > opened.size && !g_updater_os.preallocate(writer.file, expected)) {
        writer.error.failed_step = "preallocate";
        writer.error.error_code = g_updater_os.last_error();
        writer.error.success = false;
    }

    // What became of the transfers.
    f64 transfer_start = seconds_since_init();
    bool complete = false;
    bool refused = false;   // a wrong body: retrying cannot help, the partial file is useless
    bool keep_partial = target.entry != nullptr;
    Http_Result last;
    for (s32 attempt = 0; writer.error.success; attempt++) {
        if (expected >= 0 && writer.size == expected && attempt == 0 && keep) {
            complete = true;  // finished before, not yet renamed
            break;
        }
        Download_Sink sink;
        sink.writer = &writer;
        sink.range_start = writer.size;
        Http_Request request;
        request.name = target.site_name;
        request.sink.begin = sink_begin;
        request.sink.write = sink_write;
        request.sink.user = &sink;
        request.range_start = writer.size;
        // NOTE: the whole size, not what is left: a server that ignores the range announces
        // the whole file, which the writer then takes from byte 0.
        if (expected >= 0) request.max_body = expected;
        last = http_transfer(request);
        if (!file_writer_flush(&writer)) break;

        bool transient = false;
        if (writer.too_large || last.code == CURLE_FILESIZE_EXCEEDED) {
            log_error("% is more than % bytes, the size the update site's record gives it", target.site_name, expected);
            refused = true;
            break;
        }
        if (last.performed && (last.head.status == 200 || last.head.status == 206)) {
            // A body without a length that ends early was cut short, not finished.
            if (expected >= 0 && writer.size < expected && last.head.content_length < 0) {
                print("% ended after % of % bytes\n", target.site_name, writer.size, expected);
                transient = true;
            } else {
                complete = true;
                break;
            }
        } else if (last.performed && last.head.status == 416 && request.range_start > 0) {
            // The server will not give the rest: start again from byte 0, at once.
            print("The update site refused the range; starting % again\n", target.site_name);
            if (!file_writer_restart(&writer)) break;
            continue;
        } else if (sink.range_mismatch) {
            if (!file_writer_restart(&writer)) break;
            transient = true;
        } else {
            transient = is_transient_failure(last);
        }

        if (!transient || attempt >= MAX_RETRIES) break;
        s32 wait = retry_wait_milliseconds(attempt + 1);
        print("Trying % again in % ms\n", target.site_name, (s64)wait);
        g_updater_os.sleep_milliseconds(wait);
    }

    if (!writer.error.success) {
        // The disk is full or failing: nothing of it is kept.
        report_file_step(temporary, writer.error);
        g_updater_os.close_download(writer.file);
        remove_quietly(temporary);
        remove_quietly(note_name);
        display_error_with_os("Failed to write % as file.", target.file_name);
        return DOWNLOAD_FAILED;
    }
    if (!complete) {
        g_updater_os.close_download(writer.file);
        if (last.performed && last.head.status != 200 && last.head.status != 206 && !refused) {
            display_error_with_os("We asked the website for '%' and it failed with code %",
                                  tprint("%/%", update_site_url(), target.site_name), (s64)last.head.status);
        }
        if (refused || !keep_partial || writer.size == 0) {
            remove_quietly(temporary);
            remove_quietly(note_name);
        }
        return DOWNLOAD_FAILED;
    }

    // Nothing partial is ever renamed into place: the file is on the disk first.
    f64 flush_start = seconds_since_init();
    File_Step flushed = g_updater_os.flush_and_close_download(writer.file);
    f64 flush_end = seconds_since_init();
    if (!flushed.success) {
        report_file_step(temporary, flushed);
        remove_quietly(temporary);
        remove_quietly(note_name);
        display_error_with_os("Failed to write % as file.", target.file_name);
        return DOWNLOAD_FAILED;
    }
    if (!check_before_rename(target, temporary, writer.size, checked_signature)) {
        remove_quietly(temporary);
        remove_quietly(note_name);
        return DOWNLOAD_FAILED;
    }
    Download_Outcome outcome = move_into_place(target, temporary);
    if (outcome == DOWNLOAD_STORED) {
        remove_quietly(note_name);
        // Where a download's time went, for whoever looks into a slow update.
        print("Stored % (% bytes): transfer % ms, flush % ms, checks and rename % ms\n", target.file_name, writer.size,
              (s64)((flush_start - transfer_start) * 1000), (s64)((flush_end - flush_start) * 1000),
              (s64)((seconds_since_init() - flush_end) * 1000));
    }
    if (outcome == DOWNLOAD_FAILED) {
        remove_quietly(temporary);
        remove_quietly(note_name);
    }
    return outcome;
}
