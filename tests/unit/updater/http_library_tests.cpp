// The HTTP library's start-up step against the fake operating system: a missing library is
// written from the embedded bytes; one that cannot be loaded or lacks a procedure is written
// again once and loaded again; only a library that still fails stops the run.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "embedded_files.h"
#include "fake_updater_os.h"
#include "http.h"

namespace {

std::string embedded_library() {
    Embedded_Files files = embedded_files();
    return std::string((const char *)files.block + files.table[Libcurl].offset, (size_t)files.table[Libcurl].count);
}

std::string library_name() { return std::string(get_file_path(Libcurl).view()); }

}  // namespace

TEST(HttpLibrary, WritesOrRepairsTheLibraryFromTheEmbeddedBytes) {
    struct Case {
        const char *name;
        bool absent;
        s32 failing_loads;
        s32 missing_procedure_loads;
        s32 writes;  // of the embedded bytes over the library's name
        s32 loads;
        s32 unloads;
        const char *error_line;  // part of standard error, or empty
    };
    const Case cases[] = {
        {"present and whole", false, 0, 0, 0, 1, 0, ""},
        {"missing", true, 0, 0, 1, 1, 0, ""},
        {"cannot be loaded (cut short, empty)", false, 1, 0, 1, 2, 0,
         "could not be loaded (126); writing it again from the embedded copy"},
        {"lacks a procedure (another version)", false, 0, 1, 1, 2, 1,
         "has no procedure curl_easy_perform; writing it again from the embedded copy"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Fake_Os_Scope scope;
        if (c.absent) fake.absent_paths = {library_name()};
        // The broken file really lies there: the repair must not copy it back.
        if (!c.absent) std::ofstream(library_name(), std::ios::binary) << "a library cut short";
        fake.failing_loads = c.failing_loads;
        fake.missing_procedure = "curl_easy_perform";
        fake.missing_procedure_loads = c.missing_procedure_loads;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        load_http_library();
        testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();

        s32 writes = 0;
        for (auto &[name, bytes] : fake.replaced) {
            EXPECT_EQ(name, library_name());
            EXPECT_TRUE(bytes == embedded_library());
            writes++;
        }
        EXPECT_EQ(writes, c.writes);
        EXPECT_EQ((s32)fake.loads.size(), c.loads);
        EXPECT_EQ(fake.unloads, c.unloads);
        EXPECT_TRUE(fake.boxes.empty());
        EXPECT_NE(curl.curl_easy_perform, nullptr);
        std::remove(library_name().c_str());
        if (c.error_line[0]) {
            EXPECT_NE(err.find(library_name() + " " + c.error_line), std::string::npos) << err;
        }
    }
}

TEST(HttpLibraryDeathTest, ALibraryStillBrokenAfterTheRepairStopsTheRun) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        const char *name;
        s32 failing_loads;
        s32 missing_procedure_loads;
        const char *report;
    };
    const Case cases[] = {
        {"cannot be loaded twice", 2, 0, "Failed to load lib curl dll."},
        {"lacks a procedure twice", 0, 2, "has no procedure curl_easy_perform"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_DEATH(
            {
                Fake_Os_Scope scope;
                fake.failing_loads = c.failing_loads;
                fake.missing_procedure = "curl_easy_perform";
                fake.missing_procedure_loads = c.missing_procedure_loads;
                load_http_library();
            },
            c.report);
    }
}

TEST(HttpLibrary, AFailedRepairIsNotRetried) {
    // The rewrite itself fails (a directory in the way): one error line, no second load.
    Fake_Os_Scope scope;
    fake.failing_loads = 1;
    fake.replace_fails_for = library_name();
    EXPECT_DEATH(load_http_library(), "Failed to load lib curl dll.");
}
