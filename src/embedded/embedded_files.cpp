// The embedded-file table and load_file.
#include "embedded_files.h"

#include "assertions.h"
#include "log.h"
#include "os.h"

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

