// A stand-in for the operating system and for libcurl, so the update run can be watched
// without a desktop, a network or files of its own: boxes, starts, file replacements and
// times are recorded; each URL answers with a canned body, status or libcurl failure.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "http.h"
#include "updater_os.h"

struct Fake_Response {
    std::string body;
    long status = 200;
    CURLcode perform_result = CURLE_OK;
};

struct Fake_World {
    std::vector<std::string> boxes;
    std::vector<std::string> started;
    std::vector<std::pair<std::string, std::string>> replaced;  // name, bytes
    std::vector<std::pair<std::string, u64>> times_set;
    std::vector<std::string> requested_urls;
    std::map<std::string, Fake_Response> responses;  // by URL; others are refused
    bool start_fails = false;
    std::string replace_fails_for;
    // Files the run finds present besides the HTTP library (which always is).
    std::set<std::string> present;
    std::vector<std::string> put_in_place;  // "from -> to (aside)", in order
    std::vector<std::string> deleted;
    bool put_in_place_fails = false;
    // The run's transfers and its calls that touch files or start programs, in order, as
    // "call name" ("get version.data", "put_in_place korvane_updated.exe"): what comes
    // before what.
    std::vector<std::string> calls;
};

extern Fake_World fake;

// Installs the fake table (and the fake libcurl behind load_library) with an empty world;
// the destructor puts the platform's table back.
struct Fake_Os_Scope {
    Updater_Os saved;
    bool (*saved_progress_window)();
    Fake_Os_Scope();
    ~Fake_Os_Scope();
};

std::string url_of(const char *name);
