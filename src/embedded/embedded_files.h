// The files that travel inside the executable (the HTTP library and the window's font)
// and how their bytes are handed out: from the working directory when a file of that name
// is there, else from the block the build joined into the executable.
#pragma once

#include "types.h"

enum GameFile : s64 {
    Libcurl = 0,
    Font = 1,
    Count = 2,
};

String enum_member_name(GameFile file);

// The build joins the files into one read-only block after this table.
struct Embedded_File_Entry {
    s64 offset;  // from the start of the block
    s64 count;
};

struct Embedded_Files {
    const Embedded_File_Entry *table;  // Count entries, the block right after them
    const u8 *block;
};
Embedded_Files embedded_files();

String get_file_path(GameFile file);

struct Loaded_File {
    String data;  // read-only, lives until the process ends
    bool success = false;
};
// The working directory's file of that name when it can be read, else the embedded bytes.
Loaded_File load_file(GameFile file);
