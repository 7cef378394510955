// The log lock keeps lines whole when several threads log at once.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log.h"

TEST(Log, AppendsTheMissingNewlineOnly) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    log_line("one");
    log_line("two\n");
    log_error("bad %", 3);
    print("plain");
    print(" text\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "one\ntwo\nplain text\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "bad 3\n");
}

TEST(Log, LinesStayWholeUnderSeveralThreads) {
    constexpr int THREADS = 4;
    constexpr int LINES = 300;
    testing::internal::CaptureStdout();
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; t++) {
        threads.emplace_back([t] {
            for (int i = 0; i < LINES; i++) log_line("thread % line % %", t, i, "abcdefghijklmnopqrstuvwxyz0123456789");
        });
    }
    for (std::thread &thread : threads) thread.join();
    std::string out = testing::internal::GetCapturedStdout();

    std::istringstream lines(out);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        int t = -1, i = -1;
        char tail[64] = {};
        ASSERT_EQ(sscanf(line.c_str(), "thread %d line %d %63s", &t, &i, tail), 3) << line;
        EXPECT_STREQ(tail, "abcdefghijklmnopqrstuvwxyz0123456789") << line;
        count++;
    }
    EXPECT_EQ(count, THREADS * LINES);
}
