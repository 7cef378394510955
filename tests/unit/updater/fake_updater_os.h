// A stand-in for the operating system and for libcurl, so the update run can be watched
// without a desktop, a network or files of its own: boxes, starts, files (held in memory),
// renames, times and waits are recorded; each URL answers with canned bodies, statuses or
// libcurl failures, and honours Range requests unless told not to.
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
    CURLcode perform_result = CURLE_OK;  // after the bytes delivered
    s64 deliver = -1;                    // bytes of the body delivered (all when -1): a cut
    bool honour_range = true;            // answer a Range request with 206 and the rest
    bool announce_length = true;         // send a Content-Length
    s64 misplaced_range = 0;             // a 206 says it starts this far from where it does
};

struct Fake_World {
    std::vector<std::string> boxes;
    std::vector<std::string> started;
    std::vector<std::pair<std::string, std::string>> replaced;  // target, bytes
    std::vector<std::pair<std::string, u64>> times_set;
    std::vector<std::string> requested_urls;
    std::vector<std::string> ranges;  // the Range of each request ("" without)
    std::vector<s32> sleeps;
    // Answers in turn before the lasting one of `responses` (e.g. a 503, then the file).
    std::map<std::string, std::vector<Fake_Response>> first_responses;
    std::map<std::string, Fake_Response> responses;  // by URL; others are refused
    std::map<std::string, std::string> files;         // the working folder
    bool start_fails = false;
    std::string replace_fails_for;  // the target whose rename fails
    s32 in_use_renames = 0;         // renames refused as "in use" before they work
    s64 disk_room = -1;             // bytes the disk takes for downloads (-1: no limit)
    std::vector<std::string> locked;       // names given to lock_instance
    bool lock_held_elsewhere = false;
    std::vector<std::string> absent_paths;  // path_exists is false for these, true for others
    std::vector<std::string> mapped;  // names given to map_file, in order (a rename over a
                                      // file still mapped fails, as on Windows)
    s32 download_maps = 0;           // temporary files given their full size by map_download
    std::vector<std::string> loads;  // names given to load_library
    s32 unloads = 0;
    s32 easy_inits = 0;     // libcurl handles made...
    s32 easy_cleanups = 0;  // ...and cleaned up
    s32 failing_loads = 0;            // this many loads fail before one succeeds
    std::string missing_procedure;    // a name the loaded library lacks...
    s32 missing_procedure_loads = 0;  // ...for this many loads
    std::string load_fails_with;  // the loader's reason; empty: the library loads
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
