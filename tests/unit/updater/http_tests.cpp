// HTTP pieces that need no server: result lines, the receive buffer's bounds, the
// procedure table's lookup order, the site's host name.
#include <gtest/gtest.h>

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

TEST(Http, WriteCallbackNeverWritesPastTheBuffer) {
    Fake_Os_Scope scope;
    fake.responses[url_of("small")] = {"abcdef"};
    ASSERT_EQ(std::string(http_get("small").view()), "abcdef");  // reserves the buffer

    // Pretend the buffer is nearly full: a chunk that does not fit is refused whole, so
    // libcurl fails the transfer with a write error.
    s64 received = download_bytes_received;
    download_buffer.used = download_buffer.capacity - 4;
    char chunk[8] = "1234567";
    EXPECT_EQ(http_write_callback(chunk, 1, 8, nullptr), 0u);
    EXPECT_EQ(download_buffer.used, download_buffer.capacity - 4);
    EXPECT_EQ(download_bytes_received, received);
    EXPECT_EQ(http_write_callback(chunk, 2, 2, nullptr), 4u);  // exactly fits
    EXPECT_EQ(download_buffer.used, download_buffer.capacity);
    EXPECT_EQ(download_bytes_received, received + 4);
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

TEST(Http, FailedTransferIsEmptyAndStillCounted) {
    Fake_Os_Scope scope;
    fake.responses[url_of("missing")] = {"not here", 404};
    s64 before = download_bytes_received;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(http_get("missing").empty());
    EXPECT_TRUE(http_get("unreachable").empty());
    std::string out = testing::internal::GetCapturedStdout();
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
