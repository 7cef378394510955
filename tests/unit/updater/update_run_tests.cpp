// The update run against a fake operating system and a fake libcurl: what the player is
// shown, which files are replaced and timed, whether the game starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "fake_updater_os.h"
#include "download.h"
#include "http.h"
#include "update_counters.h"
#include "update_run.h"

#ifdef _WIN32
constexpr const char *CLIENT_START = ".\\client.exe";
#else
constexpr const char *CLIENT_START = "./client.exe";
#endif

static std::string record_bytes(const UpdaterClientVersions &record) {
    return std::string((const char *)&record, sizeof(record));
}

static std::string step_10_box() {
    return "Failed to download both client and updater. Perhaps the server is not up? Check if you can go to '" +
           std::string(update_site_host().view()) + "' in your browser.";
}

// The tests run where neither korvane.exe nor client.exe exists: the local record is the
// all-zero identities with the constant.
static UpdaterClientVersions local_record() {
    UpdaterClientVersions record = {};
    record.common_version = COMMON_VERSION;
    return record;
}

static UpdaterClientVersions server_record() {
    UpdaterClientVersions record = local_record();
    record.client = make_file_identity(write_time_from_ticks(133'500'000'001'234'567), 5);
    record.updater = make_file_identity(write_time_from_ticks(133'400'000'000'000'001), 7);
    return record;
}

struct Run_Output {
    std::string out;
    std::string err;
};

static Run_Output run() {
    updater_done = false;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    run_update();
    Run_Output output;
    output.out = testing::internal::GetCapturedStdout();
    output.err = testing::internal::GetCapturedStderr();
    return output;
}

static bool ends_with(const std::string &text, const std::string &end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(UpdateRun, MatchingRecordStartsTheGameWithoutDownloading) {
    Fake_Os_Scope scope;
    fake.responses[url_of("version.data")] = {record_bytes(local_record())};
    Run_Output output = run();

    EXPECT_EQ(fake.started, std::vector<std::string>{CLIENT_START});
    EXPECT_TRUE(updater_done);
    EXPECT_TRUE(fake.boxes.empty());
    EXPECT_EQ(fake.requested_urls, std::vector<std::string>{url_of("version.data")});
    EXPECT_TRUE(ends_with(output.out, "Starting gameUpdater: finished")) << output.out;
}

TEST(UpdateRun, MismatchDownloadsBothFilesAndGivesThemTheServerTimes) {
    Fake_Os_Scope scope;
    UpdaterClientVersions server = server_record();
    fake.responses[url_of("version.data")] = {record_bytes(server)};
    fake.responses[url_of("client.exe")] = {"hello"};
    fake.responses[url_of("korvane.exe")] = {"updater"};
    Run_Output output = run();

    using Replaced = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(fake.replaced, (Replaced{{"client.exe", "hello"}, {"korvane_updated.exe", "updater"}}));
    using Times = std::vector<std::pair<std::string, u64>>;
    EXPECT_EQ(fake.times_set, (Times{{"client.exe", 133'500'000'001'234'567}, {"korvane_updated.exe", 133'400'000'000'000'001}}));
    EXPECT_EQ(fake.started, std::vector<std::string>{CLIENT_START});
    // The new updater takes the running one's place before the game starts (from then on
    // the progress window may end the process).
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"get version.data", "get client.exe", "replace client.exe",
                                                    "get korvane.exe", "replace korvane_updated.exe",
                                                    "put_in_place korvane_updated.exe",
                                                    std::string("start ") + CLIENT_START}));
    EXPECT_EQ(fake.put_in_place, std::vector<std::string>{"korvane_updated.exe -> korvane.exe (korvane_old.exe)"});
    EXPECT_TRUE(fake.boxes.empty());
    EXPECT_EQ(download_bytes_total, 12);
    EXPECT_EQ(download_bytes_received, 12);  // counted from 0 after the version check
    EXPECT_NE(output.out.find("Version mismatched our own\n"), std::string::npos);
    EXPECT_NE(output.out.find("Downloaded clienthttp"), std::string::npos) << output.out;
    EXPECT_TRUE(ends_with(output.out, "Downloaded updaterUpdater: finished")) << output.out;
}

TEST(UpdateRun, FailuresShowWhatThePlayerMustKnow) {
    struct Case {
        const char *name;
        Fake_Response version;
        bool client_served, updater_served;
        std::string replace_fails_for;
        bool start_fails;
        std::vector<std::string> boxes;
        std::vector<std::string> replaced;
        bool started;
        bool times_set;
        std::string client_body = "hello";  // the record says 5 bytes
        s32 in_use_renames = 0;
    };
    std::string valid = record_bytes(server_record());
    std::string version_url = url_of("version.data");
    const Case cases[] = {
        {"empty version", {""}, true, true, "", false,
         {"Received 0 count version from server"}, {"client.exe", "korvane_updated.exe"}, true, false},
        {"version 404", {"", 404}, true, true, "", false,
         {"We asked the website for '" + version_url + "' and it failed with code 404",
          "Received 0 count version from server"},
         {"client.exe", "korvane_updated.exe"}, true, false},
        {"version of 55 bytes", {valid.substr(0, 55)}, true, true, "", false, {},
         {"client.exe", "korvane_updated.exe"}, true, false},
        {"version of 57 bytes", {valid + "x"}, true, true, "", false, {},
         {"client.exe", "korvane_updated.exe"}, true, false},
        {"client download fails", {valid}, false, true, "", false, {step_10_box()}, {}, false, false},
        {"updater download fails", {valid}, true, false, "", false, {step_10_box()}, {"client.exe"}, true, true},
        {"client cannot be written", {valid}, true, true, "client.exe", false,
         {"Failed to write client.exe as file.", step_10_box()}, {}, false, false},
        {"updater cannot be written", {valid}, true, true, "korvane_updated.exe", false,
         {"Failed to write korvane_updated.exe as file.", step_10_box()}, {"client.exe"}, true, true},
        {"client does not start", {valid}, true, true, "", true,
         {"Failed to start client.exe. Error is 2"}, {"client.exe", "korvane_updated.exe"}, true, true},
        {"client of another size than the record's", {valid}, true, true, "", false, {step_10_box()}, {}, false,
         false, "<html>please log in</html>"},
        {"client still running", {valid}, true, true, "", false,
         {std::string(target_in_use_text("client.exe").view())}, {}, false, false, "hello", 1000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Fake_Os_Scope scope;
        fake.responses[version_url] = c.version;
        // The sizes of the record's entries.
        if (c.client_served) fake.responses[url_of("client.exe")] = {c.client_body};
        fake.in_use_renames = c.in_use_renames;
        if (c.updater_served) fake.responses[url_of("korvane.exe")] = {"updater"};
        fake.replace_fails_for = c.replace_fails_for;
        fake.start_fails = c.start_fails;
        Run_Output output = run();

        EXPECT_EQ(fake.boxes, c.boxes);
        std::vector<std::string> replaced;
        for (auto &[name, bytes] : fake.replaced) replaced.push_back(name);
        EXPECT_EQ(replaced, c.replaced);
        // Only an updater that was written is put in place.
        bool updater_written = std::find(replaced.begin(), replaced.end(), "korvane_updated.exe") != replaced.end();
        EXPECT_EQ(fake.put_in_place.size(), updater_written ? 1u : 0u);
        EXPECT_EQ(fake.started.size(), c.started ? 1u : 0u);
        EXPECT_EQ(updater_done.load(), c.started);
        EXPECT_EQ(fake.times_set.empty(), !c.times_set);
        // Every box is also an error line.
        for (const std::string &box : c.boxes) EXPECT_NE(output.err.find(box + "\n"), std::string::npos) << box;
        EXPECT_TRUE(ends_with(output.out, "Updater: finished")) << output.out;
    }
}

TEST(UpdateRun, InvalidLengthIsPrinted) {
    Fake_Os_Scope scope;
    fake.responses[url_of("version.data")] = {std::string(57, 'x')};
    Run_Output output = run();
    EXPECT_NE(output.out.find("Version is invalid for being 57 bytes instead of 56\n"), std::string::npos);
    EXPECT_EQ(download_bytes_total, 0);
}

TEST(UpdateRun, ASecondRunInTheFolderEndsQuietly) {
    Fake_Os_Scope scope;
    fake.lock_held_elsewhere = true;
    fake.responses[url_of("version.data")] = {record_bytes(server_record())};
    Run_Output output = run();
    EXPECT_EQ(fake.locked, std::vector<std::string>{"korvane.lock"});
    EXPECT_EQ(output.out, "Another korvane.exe is already running in this folder; this one ends.\n");
    EXPECT_TRUE(fake.loads.empty());  // not even the library is touched
    EXPECT_TRUE(fake.requested_urls.empty());
    EXPECT_TRUE(fake.boxes.empty());
    EXPECT_TRUE(fake.started.empty());
    EXPECT_FALSE(updater_done.load());
}

TEST(InstanceLock, TheSystemRefusesASecondHolder) {
    // The platform's own lock, taken twice: the second holder is told another has it.
    Instance_Lock first = platform_updater_os().lock_instance("instance_lock_tests.lock");
    Instance_Lock second = platform_updater_os().lock_instance("instance_lock_tests.lock");
    EXPECT_TRUE(first.acquired);
    EXPECT_FALSE(first.held_elsewhere);
    EXPECT_FALSE(second.acquired);
    EXPECT_TRUE(second.held_elsewhere);
}

TEST(UpdateRun, SelfUpdateIsFinishedAtTheNextStart) {
    struct Case {
        const char *name;
        std::set<std::string> left_by_earlier_run;
        bool put_in_place_fails;
        std::vector<std::string> calls_before_the_version_check;
        std::set<std::string> left_after;
        bool error_line;
    };
    const Case cases[] = {
        {"nothing left", {}, false, {}, {}, false},
        {"new updater left", {"korvane_updated.exe"}, false, {"put_in_place korvane_updated.exe"}, {}, false},
        {"old updater's file left", {"korvane_old.exe"}, false, {"delete korvane_old.exe"}, {}, false},
        {"both left", {"korvane_old.exe", "korvane_updated.exe"}, false,
         {"delete korvane_old.exe", "put_in_place korvane_updated.exe"}, {}, false},
        {"new updater still cannot be put in place", {"korvane_updated.exe"}, true,
         {"put_in_place korvane_updated.exe"}, {"korvane_updated.exe"}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Fake_Os_Scope scope;
        fake.present = c.left_by_earlier_run;
        fake.put_in_place_fails = c.put_in_place_fails;
        fake.responses[url_of("version.data")] = {record_bytes(local_record())};
        Run_Output output = run();

        // All of it before the version check, so that the comparison sees the new updater.
        std::vector<std::string> expected = c.calls_before_the_version_check;
        expected.push_back("get version.data");
        expected.push_back(std::string("start ") + CLIENT_START);
        EXPECT_EQ(fake.calls, expected);
        std::set<std::string> left;
        for (const char *name : {"korvane_updated.exe", "korvane_old.exe"})
            if (fake.present.count(name)) left.insert(name);
        EXPECT_EQ(left, c.left_after);
        bool told = output.err.find("Could not put \"korvane_updated.exe\" in place of \"korvane.exe\" (rename): code 13") !=
                    std::string::npos;
        EXPECT_EQ(told, c.error_line) << output.err;
        EXPECT_TRUE(fake.boxes.empty());  // the game starts; nothing for the player to do
    }
}

TEST(UpdateRun, NewUpdaterThatCannotBePutInPlaceStaysAndTheGameStarts) {
    Fake_Os_Scope scope;
    fake.put_in_place_fails = true;
    fake.responses[url_of("version.data")] = {record_bytes(server_record())};
    fake.responses[url_of("client.exe")] = {"hello"};
    fake.responses[url_of("korvane.exe")] = {"updater"};
    Run_Output output = run();

    EXPECT_EQ(fake.put_in_place.size(), 1u);
    EXPECT_EQ(fake.present.count("korvane_updated.exe"), 1u);
    EXPECT_NE(output.err.find("Could not put \"korvane_updated.exe\" in place of \"korvane.exe\" (rename): code 13, "),
              std::string::npos)
        << output.err;
    EXPECT_NE(output.err.find("The next start tries again.\n"), std::string::npos) << output.err;
    EXPECT_TRUE(fake.boxes.empty());
    EXPECT_EQ(fake.started, std::vector<std::string>{CLIENT_START});
}
