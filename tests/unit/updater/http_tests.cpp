// HTTP pieces that need no server: result lines, the small files' cap, retries and their
// waits, the procedure table's lookup order, the site's host name.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "fake_updater_os.h"
#include "http.h"
#include "update_counters.h"

TEST(Http, EnsureCurlNamesTheCodeAndTheFailingStep) {
    testing::internal::CaptureStdout();
    EXPECT_TRUE(ensure_curl(CURLE_OK));
    int line = __LINE__ + 1;
    EXPECT_FALSE(ensure_curl(CURLE_COULDNT_CONNECT));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("CURL failed with code COULDNT_CONNECT at caller ", 0), 0u) << out;
    EXPECT_NE(out.find("http_tests.cpp:" + std::to_string(line) + ":"), std::string::npos) << out;
    EXPECT_EQ(out.back(), '\n');
}

TEST(Http, CodeNames) {
    EXPECT_EQ(curl_code_name(CURLE_WRITE_ERROR), String("WRITE_ERROR"));
    EXPECT_EQ(curl_code_name(CURLE_OPERATION_TIMEDOUT), String("OPERATION_TIMEDOUT"));
    EXPECT_EQ(curl_code_name((CURLcode)9999), String("9999"));
}

TEST(Http, SmallFilesStopAtTheirCap) {
    struct Case {
        const char *name;
        s64 size;
        bool announce_length;
        bool fetched;
    };
    const Case cases[] = {
        {"exactly the cap", SMALL_FILE_CAP, true, true},
        {"one byte over, announced", SMALL_FILE_CAP + 1, true, false},
        {"one byte over, close-delimited", SMALL_FILE_CAP + 1, false, false},
        {"an endless body", 64 * SMALL_FILE_CAP, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Fake_Os_Scope scope;
        Fake_Response response;
        response.body = std::string((size_t)c.size, 'v');
        response.announce_length = c.announce_length;
        fake.responses[url_of("version.data")] = response;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        String body = http_get("version.data");
        testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(body.count, c.fetched ? c.size : 0);
        EXPECT_EQ(err.find("version.data is larger than the 65536 bytes it may have") != std::string::npos, !c.fetched) << err;
        EXPECT_TRUE(fake.sleeps.empty());  // a body too large is not tried again
        EXPECT_TRUE(fake.boxes.empty());
    }
}

TEST(Http, TransientFailuresAreRetriedWithGrowingWaits) {
    struct Case {
        const char *name;
        std::vector<Fake_Response> first;
        bool served_after;  // the file answers once the first answers are used up
        size_t waits;
        bool fetched;
    };
    const Case cases[] = {
        {"503, then the file", {{"busy", 503}}, true, 1, true},
        {"reset, then the file", {{"", 200, CURLE_RECV_ERROR}}, true, 1, true},
        {"a body cut short, then the file", {{"0123456789", 200, CURLE_PARTIAL_FILE, 4}}, true, 1, true},
        {"nobody listening", {}, false, 3, false},
        {"404 is final", {{"gone", 404}}, false, 0, false},
        {"403 is final", {{"no", 403}}, false, 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Fake_Os_Scope scope;
        std::string url = url_of("version.data");
        fake.first_responses[url] = c.first;
        if (c.served_after) fake.responses[url] = {"0123456789"};
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        String body = http_get("version.data");
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::string(body.view()), c.fetched ? "0123456789" : "");
        ASSERT_EQ(fake.sleeps.size(), c.waits);
        // About 1, 2 and 4 s, each moved by up to a quarter.
        const s32 bases[] = {1000, 2000, 4000};
        for (size_t i = 0; i < fake.sleeps.size(); i++) {
            EXPECT_GE(fake.sleeps[i], bases[i] * 3 / 4) << i;
            EXPECT_LE(fake.sleeps[i], bases[i] * 5 / 4) << i;
        }
        EXPECT_EQ(fake.requested_urls.size(), c.waits + 1);
    }
}

TEST(Http, RetryWaitsAreJittered) {
    std::vector<s32> waits;
    for (int i = 0; i < 20; i++) waits.push_back(retry_wait_milliseconds(1));
    std::sort(waits.begin(), waits.end());
    EXPECT_NE(waits.front(), waits.back());
}

TEST(Http, SecondFetchOverwritesTheFirstFromTheStart) {
    Fake_Os_Scope scope;
    fake.responses[url_of("one")] = {"first body"};
    fake.responses[url_of("two")] = {"2nd"};
    String first = http_get("one");
    EXPECT_EQ(std::string(first.view()), "first body");
    String second = http_get("two");
    EXPECT_EQ(second.data, first.data);
    EXPECT_EQ(std::string(second.view()), "2nd");
}

TEST(Http, OneHandleServesEveryTransferUntilTheEnd) {
    Fake_Os_Scope scope;
    fake.responses[url_of("one")] = {"first body"};
    fake.responses[url_of("two")] = {"rest", 200};
    http_get("one");
    Http_Request ranged;
    ranged.name = "two";
    ranged.range_start = 3;
    ranged.sink.write = [](void *, const u8 *, s64) { return true; };
    http_transfer(ranged);
    http_get("one");
    // The options of one transfer do not carry over to the next on the kept handle.
    EXPECT_EQ(fake.ranges, (std::vector<std::string>{"", "3-", ""}));
    EXPECT_EQ(fake.easy_inits, 1);
    EXPECT_EQ(fake.easy_cleanups, 0);
    http_end();
    EXPECT_EQ(fake.easy_cleanups, 1);
    http_get("one");
    EXPECT_EQ(fake.easy_inits, 2);
    http_end();
}

TEST(Http, FailedTransferIsEmptyAndStillCounted) {
    Fake_Os_Scope scope;
    fake.responses[url_of("missing")] = {"not here", 404};
    s64 before = download_bytes_received;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(http_get("missing").empty());
    EXPECT_TRUE(http_get("unreachable").empty());
    std::string out = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(fake.boxes, std::vector<std::string>{"We asked the website for '" + url_of("missing") +
                                                   "' and it failed with code 404"});
    EXPECT_EQ(download_bytes_received, before + 8);
    EXPECT_NE(out.find("CURL failed with code COULDNT_CONNECT"), std::string::npos);
}

TEST(Http, ProcedureLookupStopsAtTheFirstMissingName) {
    static std::vector<std::string> asked;
    asked.clear();
    static int stand_in;
    auto find = [](void *, const char *name) -> void * {
        asked.push_back(name);
        return std::string(name) == "curl_global_init" || std::string(name) == "curl_ws_send" ? nullptr : &stand_in;
    };
    EXPECT_EQ(resolve_curl_procedures(nullptr, find), 24);
    ASSERT_EQ(asked.size(), 25u);
    EXPECT_EQ(asked.front(), "curl_strequal");
    EXPECT_EQ(asked.back(), "curl_global_init");

    auto find_all = [](void *, const char *) -> void * { return &stand_in; };
    EXPECT_EQ(resolve_curl_procedures(nullptr, find_all), -1);
    EXPECT_EQ(std::string(CURL_PROCEDURE_NAMES[CURL_PROCEDURE_COUNT - 1]), "curl_maprintf");
}

TEST(HttpDeathTest, LibraryThatWillNotLoadIsShownWithTheLoadersReason) {
    EXPECT_DEATH(
        {
            Fake_Os_Scope scope;
            fake.load_fails_with = "libcurl.dll: file too short";
            load_http_library();
        },
        "Failed to load .*\\. Error is libcurl\\.dll: file too short");
}

TEST(Http, PlatformLoaderSaysWhyALibraryWillNotLoad) {
    Library_Load loaded = platform_updater_os().load_library("no_such_library_here.lib");
    EXPECT_EQ(loaded.library, nullptr);
    ASSERT_FALSE(loaded.error.empty());
#ifdef _WIN32
    EXPECT_EQ(loaded.error, String("126"));  // ERROR_MOD_NOT_FOUND
#else
    // The loader's own sentence, not errno's number.
    EXPECT_NE(loaded.error.view().find("no_such_library_here.lib: cannot open shared object file"),
              std::string_view::npos)
        << loaded.error.view();
#endif
}

#ifndef _WIN32
// The variable that spares libcurl's GnuTLS its set-up is there only while the library
// loads: the game started later must not inherit it, and a player's own value stays.
TEST(Http, TheLoadLeavesTheEnvironmentAsItWas) {
    const char *name = "GNUTLS_NO_IMPLICIT_INIT";
    for (const char *before : {(const char *)nullptr, "0"}) {
        if (before) setenv(name, before, 1);
        else unsetenv(name);
        platform_updater_os().load_library("no_such_library_here.lib");
        const char *after = getenv(name);
        if (before) {
            ASSERT_NE(after, nullptr);
            EXPECT_STREQ(after, before);
        } else {
            EXPECT_EQ(after, nullptr) << after;
        }
    }
    unsetenv(name);
}
#endif

TEST(Http, HostOfTheSiteUrl) {
    struct Case {
        const char *url, *host;
    };
    const Case cases[] = {
        {"http://127.0.0.1:8080", "127.0.0.1"},
        {"http://updates.korvane.example", "updates.korvane.example"},
        {"http://host/path", "host"},
        {"host-only", "host-only"},
    };
    for (const Case &c : cases) EXPECT_EQ(host_of_url(c.url), String(c.host)) << c.url;
}

TEST(Http, TraceGoesToTheErrorStreamLineByLineWithoutBodies) {
    struct Case {
        const char *name;
        curl_infotype type;
        std::string data;
        std::string err;
    };
    const Case cases[] = {
        {"what libcurl did", CURLINFO_TEXT, "Connected to 127.0.0.1\n", "* Connected to 127.0.0.1\n"},
        {"text without a line end", CURLINFO_TEXT, "Closing", "* Closing\n"},
        {"request headers, all at once", CURLINFO_HEADER_OUT,
         "GET /version.data HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", "> GET /version.data HTTP/1.1\n> Host: 127.0.0.1\n> \n"},
        {"one response header", CURLINFO_HEADER_IN, "HTTP/1.1 200 OK\r\n", "< HTTP/1.1 200 OK\n"},
        {"body received", CURLINFO_DATA_IN, "binary\nbody", ""},
        {"body sent", CURLINFO_DATA_OUT, "x", ""},
        {"TLS bytes", CURLINFO_SSL_DATA_IN, "x", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string data = c.data;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(http_trace_callback(nullptr, c.type, data.data(), data.size(), nullptr), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
    }
}
