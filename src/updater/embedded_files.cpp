// The embedded-file table, load_file and the HTTP library step of the start-up.
#include "embedded_files.h"

#include "assert.h"
#include "error_box.h"
#include "http.h"
#include "log.h"
#include "os.h"
#include "updater_os.h"

extern "C" const Embedded_File_Entry korvane_embedded_table[Count];
extern "C" const u8 korvane_embedded_block[];

#ifdef _WIN32
constexpr const char *HTTP_LIBRARY_NAME = "libcurl.dll";
#else
constexpr const char *HTTP_LIBRARY_NAME = "libcurl.so";
#endif

String enum_member_name(GameFile file) {
    switch (file) {
    case Libcurl: return "Libcurl";
    case Font: return "Font";
    case Count: return "Count";
    }
    return "?";
}

Embedded_Files embedded_files() { return {korvane_embedded_table, korvane_embedded_block}; }

String get_file_path(GameFile file) {
    switch (file) {
    case Libcurl: return HTTP_LIBRARY_NAME;
    case Font: return "QuanPixelSmall.ttf";
    case Count: assert_fatal(false, "Did not expect get_file_path to be called on 'Count'"); break;
    }
    return {};
}

Loaded_File load_file(GameFile file) {
    String name = get_file_path(file);
    File_Contents contents = read_entire_file(name);
    Loaded_File result;
    if (contents.success) {
        result.data = contents.data;
        print("Loading % from OS\n", file);
    } else {
        Embedded_File_Entry entry = korvane_embedded_table[file];
        result.data = String((const char *)korvane_embedded_block + entry.offset, entry.count);
        print("Loading % from embedded data\n", file);
    }
    result.success = true;
    return result;
}

void load_http_library() {
    String name = get_file_path(Libcurl);
    if (!g_updater_os.path_exists(name)) {
        Loaded_File data = load_file(Libcurl);
        if (!g_updater_os.write_file(name, data.data)) {
            display_error_with_os("Failed to write % as file.", name);
        }
    }

    void *library = g_updater_os.load_library(name);
    if (!library) {
        display_error_with_os("Failed to load %. Error is %", name, g_updater_os.last_error());
        assert_fatal(false, "Failed to load lib curl dll.");
    }

    s64 missing = resolve_curl_procedures(library, g_updater_os.find_procedure);
    if (missing >= 0) log_error("% has no procedure %", name, CURL_PROCEDURE_NAMES[missing]);
    assert_fatal(missing < 0);
}
