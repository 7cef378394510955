// The log file: a copy of everything written to the standard streams, appended across
// runs, and rotated so that it never grows without end.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "log.h"
#include "temporary_storage.h"

namespace fs = std::filesystem;

struct Log_Folder {
    fs::path folder;
    std::string log, previous;
    Log_Folder() {
        // Several test runs may share the machine.
        folder = fs::temp_directory_path() / ("korvane_log_file_tests_" + std::to_string(std::random_device()()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        log = (const char *)(folder / "test.log").u8string().c_str();
        previous = (const char *)(folder / "test_previous.log").u8string().c_str();
    }
    ~Log_Folder() {
        close_log_file();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    s64 open(s64 rotate_at) { return open_log_file(log.c_str(), previous.c_str(), rotate_at); }
};

static std::string read_bytes(const std::string &name) {
    std::ifstream in(fs::u8path(name), std::ios::binary);
    if (!in) return "<none>";
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Writes through every kind of log call while capturing the streams.
static void log_some(const char *tag) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    log_line("% line", tag);
    log_error("% error %", tag, 7);
    print("% plain", tag);
    print(" text\n");
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
}

TEST(LogFile, HoldsBothStreamsInOrderAndAppendsAcrossRuns) {
    Log_Folder f;
    std::ofstream(fs::u8path(f.log), std::ios::binary) << "from an earlier run\n";
    ASSERT_EQ(f.open(1 << 20), 0);
    write_log_file_heading("--- heading of this run, in the file only");
    log_some("first");
    testing::internal::CaptureStdout();
    print("a run that ends in the middle of a line");
    testing::internal::GetCapturedStdout();
    close_log_file();
    log_some("not logged");  // after closing: the streams only
    ASSERT_EQ(f.open(1 << 20), 0);
    write_log_file_heading("--- the next run\n");
    close_log_file();

    EXPECT_EQ(read_bytes(f.log), "from an earlier run\n"
                                 "\n--- heading of this run, in the file only\n"
                                 "first line\nfirst error 7\nfirst plain text\n"
                                 "a run that ends in the middle of a line"
                                 "\n--- the next run\n");
    EXPECT_EQ(read_bytes(f.previous), "<none>");
    reset_temporary_storage();
}

TEST(LogFile, RotatesBeforeGrowingPastTheLimitKeepingOnePreviousFile) {
    struct Case {
        const char *name;
        std::string earlier;  // in the log file before it is opened
        std::vector<std::string> lines;
        std::string log, previous;
    };
    // Each line is 10 bytes with its newline; the limit is 25 bytes.
    const Case cases[] = {
        {"under the limit", "", {"line 0001", "line 0002"}, "line 0001\nline 0002\n", "<none>"},
        {"the third line would pass it", "", {"line 0001", "line 0002", "line 0003"}, "line 0003\n",
         "line 0001\nline 0002\n"},
        {"only one previous file is kept", "", {"line 0001", "line 0002", "line 0003", "line 0004", "line 0005"},
         "line 0005\n", "line 0003\nline 0004\n"},
        {"an earlier run's file counts", "earlier run 12345678\n", {"line 0001"}, "line 0001\n",
         "earlier run 12345678\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Log_Folder f;
        if (!c.earlier.empty()) std::ofstream(fs::u8path(f.log), std::ios::binary) << c.earlier;
        ASSERT_EQ(f.open(25), 0);
        testing::internal::CaptureStdout();
        for (const std::string &line : c.lines) log_line("%", line.c_str());
        testing::internal::GetCapturedStdout();
        close_log_file();
        EXPECT_EQ(read_bytes(f.log), c.log);
        EXPECT_EQ(read_bytes(f.previous), c.previous);
    }
    reset_temporary_storage();
}

TEST(LogFile, AFileThatCannotBeOpenedLeavesTheStreamsWorking) {
    Log_Folder f;
    std::string inside_missing = (const char *)(f.folder / "no_such_folder" / "test.log").u8string().c_str();
    EXPECT_NE(open_log_file(inside_missing.c_str(), f.previous.c_str(), 1 << 20), 0);
    testing::internal::CaptureStdout();
    log_line("still printed");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "still printed\n");
    reset_temporary_storage();
}
