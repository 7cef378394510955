// assert_debug's report, memory_equals, and the crash handler's stack trace.
#include <gtest/gtest.h>

#include <string>

#include "assertions.h"
#include "temporary_storage.h"

[[gnu::noinline]] static bool caller_with_message(bool condition) {
    return assert_debug(condition, "GetLastError %", 5);
}

[[gnu::noinline]] static bool caller_without_message(bool condition) { return assert_debug(condition); }

TEST(AssertDebug, TrueWritesNothing) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(caller_with_message(true));
    EXPECT_TRUE(caller_without_message(true));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(AssertDebug, FalseReportsCallerMessageAndTrace) {
    struct Case {
        bool (*call)(bool);
        const char *message;
        const char *caller;
    } cases[] = {
        {caller_with_message, "GetLastError 5", "caller_with_message"},
        {caller_without_message, "", "caller_without_message"},
    };
    for (const Case &c : cases) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_FALSE(c.call(false));
        std::string out = testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();

        const std::string header = "Debug assertion failed in a release build. Caller is ";
        ASSERT_EQ(out.rfind(header, 0), 0u) << out;
        std::string rest = out.substr(header.size());
        // file:line:column of the call site in this file.
        EXPECT_NE(rest.find("assert_tests.cpp:"), std::string::npos) << rest;
        std::string tail = std::string(". Printing assertion message:\n") + c.message + "\n...";
        ASSERT_GE(rest.size(), tail.size());
        EXPECT_EQ(rest.substr(rest.size() - tail.size()), tail) << out;

        // Innermost first, starting with assert_debug, then its caller.
        EXPECT_EQ(err.rfind("'assert_debug", 0), 0u) << err;
        size_t caller_line = err.find(std::string("'") + c.caller + "' at ");
        EXPECT_NE(caller_line, std::string::npos) << err;
        EXPECT_NE(err.find("assert_tests.cpp:", caller_line), std::string::npos) << err;
    }
    reset_temporary_storage();
}

TEST(MemoryEquals, ComparesBytes) {
    const char a[] = "identity";
    const char b[] = "identitY";
    EXPECT_TRUE(memory_equals(a, b, 0));
    EXPECT_TRUE(memory_equals(a, b, 7));
    EXPECT_FALSE(memory_equals(a, b, 8));
    EXPECT_TRUE(memory_equals(nullptr, nullptr, 0));
}

// Read through a volatile so the compiler cannot see the null and drop the store.
static int *volatile nowhere = nullptr;

[[gnu::noinline]] void procedure_that_faults() { *nowhere = 1; }

TEST(CrashHandler, PrintsAStackTraceNamingTheFaultingProcedure) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Plain patterns: the Windows build of the test framework has only a simple regex dialect.
    EXPECT_DEATH(procedure_that_faults(), "Crash: ");
    EXPECT_DEATH(procedure_that_faults(), "'procedure_that_faults' at .*assert_tests.cpp:");
}

TEST(AssertFatal, ReportsLocationAndEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(assert_fatal(1 + 1 == 3, "arithmetic is %", "broken"), "Assertion failed at .*assert_tests.cpp:");
    EXPECT_DEATH(assert_fatal(1 + 1 == 3, "arithmetic is %", "broken"), "arithmetic is broken");
}
