// Downloads into temporary files against the fake libcurl and an in-memory folder: what
// is asked of the server (ranges), what lands at the target, what stays behind for a
// resume, what the player is told, how long the run waits.
#include <gtest/gtest.h>

#include <cstdlib>

#include "download.h"
#include "fake_updater_os.h"
#include "os.h"
#include "patch.h"
#include "update_counters.h"

namespace {

const std::string NEW_CLIENT = "the new client, forty bytes of it.......";
const s64 HALF = 20;

UpdaterClientVersions::File entry_of_size(s64 size, s64 time = 133'500'000'001'234'567) {
    return make_file_identity(write_time_from_ticks((u64)time), size);
}

std::string note_for(const UpdaterClientVersions::File &entry) {
    return std::string("KVRESUM1", 8) + std::string((const char *)&entry, sizeof(entry));
}

struct Outcome_Output {
    Download_Outcome outcome;
    std::string out, err;
};

Outcome_Output download(const UpdaterClientVersions::File *entry) {
    Download_Target target;
    target.site_name = "client.exe";
    target.file_name = "client.exe";
    target.entry = entry;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Outcome_Output result;
    result.outcome = download_file(target);
    result.out = testing::internal::GetCapturedStdout();
    result.err = testing::internal::GetCapturedStderr();
    return result;
}

Fake_Response cut_at(s64 bytes, CURLcode code = CURLE_RECV_ERROR) {
    Fake_Response response{NEW_CLIENT};
    response.deliver = bytes;
    response.perform_result = code;
    return response;
}

}  // namespace

TEST(Download, ResumesRetriesAndRefuses) {
    const std::string url = url_of("client.exe");
    UpdaterClientVersions::File entry = entry_of_size((s64)NEW_CLIENT.size());
    UpdaterClientVersions::File other_entry = entry_of_size((s64)NEW_CLIENT.size(), 133'500'000'009'999'999);
    Fake_Response ignores_range{NEW_CLIENT};
    ignores_range.honour_range = false;
    Fake_Response close_delimited_cut = cut_at(HALF, CURLE_OK);
    close_delimited_cut.announce_length = false;
    Fake_Response misplaced_part{NEW_CLIENT};
    misplaced_part.misplaced_range = 3;
    misplaced_part.perform_result = CURLE_OK;
    Fake_Response refuses_range{"", 416};
    refuses_range.honour_range = false;

    struct Case {
        const char *name;
        std::vector<Fake_Response> answers;  // in turn; the last one lasts
        std::map<std::string, std::string> folder;
        s64 expected_size;
        Download_Outcome outcome;
        std::vector<std::string> ranges;
        size_t waits;
        bool stored;             // client.exe is the new client afterwards
        bool partial_kept;       // client.exe.download and its note stay for a resume
        std::string told;        // an error line (or box text) that must appear
    };
    const std::string partial = NEW_CLIENT.substr(0, HALF);
    const std::string note = note_for(entry);
    const Case cases[] = {
        {"whole file", {{NEW_CLIENT}}, {}, (s64)NEW_CLIENT.size(), DOWNLOAD_STORED, {""}, 0, true, false, ""},
        {"reset after half, then the rest", {cut_at(HALF), {NEW_CLIENT}}, {}, (s64)NEW_CLIENT.size(), DOWNLOAD_STORED,
         {"", "20-"}, 1, true, false, ""},
        {"the server ignores the range", {cut_at(HALF), ignores_range}, {}, (s64)NEW_CLIENT.size(), DOWNLOAD_STORED,
         {"", "20-"}, 1, true, false, "sends all of the file"},
        {"a close-delimited body cut short", {close_delimited_cut, {NEW_CLIENT}}, {}, (s64)NEW_CLIENT.size(),
         DOWNLOAD_STORED, {"", "20-"}, 1, true, false, "ended after 20 of 40 bytes"},
        {"a part from the wrong byte starts over", {cut_at(HALF), misplaced_part, {NEW_CLIENT}}, {},
         (s64)NEW_CLIENT.size(), DOWNLOAD_STORED, {"", "20-", ""}, 2, true, false, "answered from byte 23"},
        {"503, then the file", {{"busy", 503}, {NEW_CLIENT}}, {}, (s64)NEW_CLIENT.size(), DOWNLOAD_STORED, {"", ""}, 1,
         true, false, ""},
        {"cut every time", {cut_at(5)}, {}, (s64)NEW_CLIENT.size(), DOWNLOAD_FAILED, {"", "5-", "10-", "15-"}, 3,
         false, true, ""},
        {"404", {{"gone", 404}}, {}, (s64)NEW_CLIENT.size(), DOWNLOAD_FAILED, {""}, 0, false, false,
         "failed with code 404"},
        {"a page in place of the client", {{"<html>log in first</html>"}}, {}, (s64)NEW_CLIENT.size(),
         DOWNLOAD_FAILED, {""}, 0, false, false, "client.exe is 25 bytes but the update site's record says 40"},
        {"more than the record says", {{NEW_CLIENT + "and more"}}, {}, (s64)NEW_CLIENT.size(), DOWNLOAD_FAILED, {""},
         0, false, false, "client.exe is more than 40 bytes"},
        {"resumed on the next start", {{NEW_CLIENT}},
         {{"client.exe.download", partial}, {"client.exe.resume", note}}, (s64)NEW_CLIENT.size(), DOWNLOAD_STORED,
         {"20-"}, 0, true, false, "Resuming client.exe from byte 20"},
        {"a partial of another record entry starts over", {{NEW_CLIENT}},
         {{"client.exe.download", partial}, {"client.exe.resume", note_for(other_entry)}}, (s64)NEW_CLIENT.size(),
         DOWNLOAD_STORED, {""}, 0, true, false, ""},
        {"a stale partial without a note starts over", {{NEW_CLIENT}}, {{"client.exe.download", "stale"}},
         (s64)NEW_CLIENT.size(), DOWNLOAD_STORED, {""}, 0, true, false, ""},
        {"a 416 starts over", {refuses_range, {NEW_CLIENT}},
         {{"client.exe.download", partial}, {"client.exe.resume", note}}, (s64)NEW_CLIENT.size(), DOWNLOAD_STORED,
         {"20-", ""}, 0, true, false, "refused the range"},
        {"finished before, only renamed now", {},
         {{"client.exe.download", NEW_CLIENT}, {"client.exe.resume", note}}, (s64)NEW_CLIENT.size(), DOWNLOAD_STORED,
         {}, 0, true, false, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Fake_Os_Scope scope;
        fake.files = c.folder;
        fake.files["client.exe"] = "old client";
        if (!c.answers.empty()) {
            fake.first_responses[url] = std::vector<Fake_Response>(c.answers.begin(), c.answers.end() - 1);
            fake.responses[url] = c.answers.back();
        }
        Outcome_Output result = download(&entry);

        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_EQ(fake.ranges, c.ranges);
        EXPECT_EQ(fake.sleeps.size(), c.waits);
        EXPECT_EQ(fake.files["client.exe"], c.stored ? NEW_CLIENT : "old client");
        EXPECT_EQ(fake.files.count("client.exe.download") != 0, c.partial_kept);
        EXPECT_EQ(fake.files.count("client.exe.resume") != 0, c.partial_kept);
        if (c.partial_kept) {
            EXPECT_EQ(fake.files["client.exe.resume"], note);
        }
        if (!c.told.empty()) {
            EXPECT_NE((result.out + result.err).find(c.told), std::string::npos) << result.out << result.err;
        }
    }
}

TEST(Download, AFullDiskKeepsTheOldFileAndLeavesNothingBehind) {
    struct Case {
        const char *name;
        s64 room;
    };
    // The preallocation already finds no room; or it says nothing and a write fails.
    const Case cases[] = {{"no room at all", 0}, {"room for half", HALF}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Fake_Os_Scope scope;
        UpdaterClientVersions::File entry = entry_of_size((s64)NEW_CLIENT.size());
        fake.files["client.exe"] = "old client";
        fake.responses[url_of("client.exe")] = {NEW_CLIENT};
        fake.disk_room = c.room;
        Outcome_Output result = download(&entry);
        EXPECT_EQ(result.outcome, DOWNLOAD_FAILED);
        EXPECT_EQ(fake.files["client.exe"], "old client");
        EXPECT_EQ(fake.files.count("client.exe.download"), 0u);
        EXPECT_EQ(fake.files.count("client.exe.resume"), 0u);
        EXPECT_EQ(fake.boxes, std::vector<std::string>{"Failed to write client.exe as file."});
        EXPECT_TRUE(fake.sleeps.empty());
    }
}

TEST(Download, WithoutARecordNothingIsCheckedOrNoted) {
    Fake_Os_Scope scope;
    fake.files["client.exe.download"] = "left by a run of another site";
    fake.first_responses[url_of("client.exe")] = {cut_at(HALF)};
    fake.responses[url_of("client.exe")] = {"any size at all"};
    Outcome_Output result = download(nullptr);
    EXPECT_EQ(result.outcome, DOWNLOAD_STORED);
    EXPECT_EQ(fake.files["client.exe"], "any size at all");
    EXPECT_EQ(fake.files.count("client.exe.resume"), 0u);
}

TEST(Download, ATargetInUseIsWaitedForThenReported) {
    struct Case {
        const char *name;
        s32 in_use_renames;
        Download_Outcome outcome;
        size_t boxes;
    };
    const Case cases[] = {
        {"closed after a second", 4, DOWNLOAD_STORED, 0},
        {"still running after ten seconds", 1000, DOWNLOAD_TARGET_IN_USE, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Fake_Os_Scope scope;
        UpdaterClientVersions::File entry = entry_of_size((s64)NEW_CLIENT.size());
        fake.files["client.exe"] = "old client";
        fake.responses[url_of("client.exe")] = {NEW_CLIENT};
        fake.in_use_renames = c.in_use_renames;
        Outcome_Output result = download(&entry);
        EXPECT_EQ(result.outcome, c.outcome);
        s64 waited = 0;
        for (s32 sleep : fake.sleeps) waited += sleep;
        if (c.outcome == DOWNLOAD_STORED) {
            EXPECT_EQ(fake.files["client.exe"], NEW_CLIENT);
        } else {
            EXPECT_GE(waited, 10'000);
            EXPECT_LE(waited, 10'500);
            EXPECT_EQ(fake.files["client.exe"], "old client");
            EXPECT_EQ(fake.boxes, std::vector<std::string>{std::string(target_in_use_text("client.exe").view())});
            // The finished file stays for the next start, which only has to rename it.
            EXPECT_EQ(fake.files["client.exe.download"], NEW_CLIENT);
        }
    }
}

TEST(Download, TheWriterGathersChunksAndNeverPassesTheExpectedSize) {
    Fake_Os_Scope scope;
    // Through download_file so the writer has its buffer; then the writer on its own.
    fake.responses[url_of("client.exe")] = {"x"};
    download(nullptr);

    Download_Open opened = g_updater_os.open_download("w.download", false);
    File_Writer writer;
    writer.file = opened.handle;
    writer.expected = WRITE_BUFFER_BYTES + 5000;
    writer.error.success = true;
    std::string chunk(1000, 'c');
    s64 sent = 0;
    while (sent + (s64)chunk.size() <= writer.expected) {
        ASSERT_TRUE(file_writer_write(&writer, (const u8 *)chunk.data(), (s64)chunk.size()));
        sent += (s64)chunk.size();
    }
    // One big write so far, the rest still gathered.
    EXPECT_EQ((s64)fake.files["w.download"].size(), WRITE_BUFFER_BYTES);
    EXPECT_FALSE(file_writer_write(&writer, (const u8 *)chunk.data(), (s64)chunk.size()));
    EXPECT_TRUE(writer.too_large);
    EXPECT_TRUE(file_writer_flush(&writer));
    EXPECT_EQ((s64)fake.files["w.download"].size(), sent);
    EXPECT_EQ(writer.size, sent);
}

// --- patches ---

namespace {

std::string patch_fixture(const char *name) {
    std::string path = std::string(KORVANE_FIXTURES_DIR "/patch/") + name;
    File_Contents contents = read_entire_file(String(path.c_str()));
    EXPECT_TRUE(contents.success) << path;
    std::string bytes(contents.data.view());
    free((void *)contents.data.data);
    return bytes;
}

}  // namespace

TEST(Download, APatchFromTheOldClientIsTriedFirstAndAnyFailureFallsBackToTheWholeFile) {
    const std::string old_client = patch_fixture("old.bin");
    const std::string new_client = patch_fixture("new.bin");
    const std::string good = patch_fixture("good.zst");
    std::string broken = good;
    broken[good.size() / 2] ^= 0x5A;
    const UpdaterClientVersions::File old_entry = entry_of_size((s64)old_client.size(), 133'400'000'000'000'000);
    const std::string patch_url = url_of(std::string(patch_name(old_entry).view()).c_str());
    const std::string client_url = url_of("client.exe");

    struct Case {
        const char *name;
        std::string here;                     // client.exe in the folder
        std::vector<Fake_Response> patch;     // in turn; empty: not on the site
        std::string whole;                    // what the site serves as client.exe
        std::map<std::string, std::string> folder;  // more files in the folder
        bool patched;                         // stored from the patch, the whole file never asked for
        std::string told;                     // on the error lines
    };
    const std::string extra = new_client + "!";
    Fake_Response good_cut{good};
    good_cut.deliver = 100;
    good_cut.perform_result = CURLE_RECV_ERROR;
    const Case cases[] = {
        {"the patch", old_client, {{good}}, new_client, {}, true, ""},
        {"not on the site", old_client, {{"gone", 404}}, new_client, {}, false,
         "The update site has no patch from this client.exe (" + patch_url.substr(patch_url.rfind('/') + 1) + ")"},
        {"a broken patch", old_client, {{broken}}, new_client, {}, false, "cannot be used: the "},
        {"a patch from another old client", patch_fixture("other_old.bin"), {{good}}, new_client, {}, false,
         "was made from another old client"},
        {"a result of another size than the record's", old_client, {{good}}, extra, {}, false,
         "the patch makes a file of 6700 bytes, the expected size is 6701"},
        {"a patch cut short is not retried", old_client, {good_cut}, new_client, {}, false,
         "its transfer failed (CURL code RECV_ERROR)"},
        {"the server fails", old_client, {{"busy", 503}}, new_client, {}, false, "HTTP status 503"},
        {"a patch larger than the client", old_client, {{std::string(7000, 'p')}}, new_client, {}, false,
         "it is larger than client.exe itself"},
        {"the old client changed since it was looked at", old_client + "more", {{good}}, new_client, {}, false,
         "client.exe is no longer the file of 6000 bytes it was"},
        {"an empty patch", old_client, {{""}}, new_client, {}, false, "cannot be used: the patch is empty"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Fake_Os_Scope scope;
        fake.files = c.folder;
        fake.files["client.exe"] = c.here;
        if (!c.patch.empty()) {
            fake.first_responses[patch_url] = std::vector<Fake_Response>(c.patch.begin(), c.patch.end() - 1);
            fake.responses[patch_url] = c.patch.back();
        }
        fake.responses[client_url] = {c.whole};
        UpdaterClientVersions::File entry = entry_of_size((s64)c.whole.size());
        download_bytes_total = entry.size;
        download_bytes_received = 0;

        Download_Target target;
        target.site_name = "client.exe";
        target.file_name = "client.exe";
        target.entry = &entry;
        target.patch_from = &old_entry;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        Download_Outcome outcome = download_file(target);
        std::string out = testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();

        EXPECT_EQ(outcome, DOWNLOAD_STORED);
        EXPECT_EQ(fake.files["client.exe"], c.whole);
        std::vector<std::string> urls = {patch_url};
        if (!c.patched) urls.push_back(client_url);
        if (c.here.size() != old_client.size()) urls = {client_url};  // nothing to patch from
        EXPECT_EQ(fake.requested_urls, urls);
        // One line says why; nothing the player has to answer.
        EXPECT_TRUE(fake.boxes.empty());
        if (!c.told.empty()) {
            EXPECT_NE(err.find(c.told), std::string::npos) << err;
        }
        EXPECT_EQ(c.patched, err.empty()) << err;
        // The bar reaches its end: the bytes counted are the total, patch bytes included.
        EXPECT_EQ(download_bytes_received.load(), download_bytes_total.load());
        if (c.patched) {
            EXPECT_EQ(download_bytes_total.load(), (s64)good.size());
        }
        EXPECT_EQ(fake.files.count("client.exe.download"), 0u);
        EXPECT_EQ(fake.files.count("client.exe.resume"), 0u);
        // The temporary file takes the result's full size only for a patch that came.
        bool patch_came = !c.patch.empty() && c.patch.back().status == 200 &&
                          c.patch.back().body.size() <= c.whole.size() && c.here.size() == old_client.size();
        EXPECT_EQ(fake.download_maps, patch_came ? 1 : 0);
    }
}

TEST(Download, AWholeDownloadCutShortIsResumedRatherThanPatched) {
    Fake_Os_Scope scope;
    const std::string old_client = patch_fixture("old.bin");
    const std::string new_client = patch_fixture("new.bin");
    const UpdaterClientVersions::File old_entry = entry_of_size((s64)old_client.size(), 133'400'000'000'000'000);
    UpdaterClientVersions::File entry = entry_of_size((s64)new_client.size());
    fake.files["client.exe"] = old_client;
    fake.files["client.exe.download"] = new_client.substr(0, 4000);
    fake.files["client.exe.resume"] = note_for(entry);
    fake.responses[url_of("client.exe")] = {new_client};
    fake.responses[url_of(std::string(patch_name(old_entry).view()).c_str())] = {patch_fixture("good.zst")};
    Download_Target target;
    target.site_name = "client.exe";
    target.file_name = "client.exe";
    target.entry = &entry;
    target.patch_from = &old_entry;
    Outcome_Output result;
    testing::internal::CaptureStdout();
    result.outcome = download_file(target);
    result.out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result.outcome, DOWNLOAD_STORED);
    EXPECT_EQ(fake.requested_urls, std::vector<std::string>{url_of("client.exe")});
    EXPECT_EQ(fake.ranges, std::vector<std::string>{"4000-"});
    EXPECT_EQ(fake.files["client.exe"], new_client);
}
